#pragma once
// The six rules with every switch on, as a user would give them to the strongest
// regular-expression engines. Such a filter sees text only, so the colour goes in front of the
// line ("21<TAB>You evaded ..."), assembled per line in a reused buffer. PCRE2 matches the
// UTF-16 text; RE2 and Hyperscan match bytes, so they get the corpus in UTF-8, converted once
// up front (in their favour: fewer bytes, no conversion per line).

#include <memory>
#include <string>
#include <vector>

#include "chat_corpus.h"

namespace murl::bench {

using testing_support::ChatLine;

struct Utf8Line {
    int32_t colour;
    std::string text;
};
std::vector<Utf8Line> ToUtf8Lines(const std::vector<ChatLine>& lines);

// The one expression, for engines with backtracking-style syntax.
constexpr char kRulesPattern[] =
    "^(?:21\\t(?:You evaded |.*?for 0 points of)|7\\t(?:You resist|.*?has expired\\.))"
    "|(?i:-t-|-b-)";

// PCRE2 with the JIT, 16-bit code units.
class Pcre2Filter {
public:
    Pcre2Filter();
    ~Pcre2Filter();
    Pcre2Filter(const Pcre2Filter&) = delete;
    Pcre2Filter& operator=(const Pcre2Filter&) = delete;
    bool Eats(const ChatLine& line);

private:
    struct Compiled;
    std::unique_ptr<Compiled> compiled_;
    std::u16string subject_;
};

// RE2, the same expression.
class Re2Filter {
public:
    Re2Filter();
    ~Re2Filter();
    Re2Filter(const Re2Filter&) = delete;
    Re2Filter& operator=(const Re2Filter&) = delete;
    bool Eats(const Utf8Line& line);

private:
    struct Compiled;
    std::unique_ptr<Compiled> compiled_;
    std::string subject_;
};

// Hyperscan in block mode: the rules as one database of five patterns, each reporting once,
// the scan stopped at the first match; scratch space allocated once.
class HyperscanFilter {
public:
    HyperscanFilter();
    ~HyperscanFilter();
    HyperscanFilter(const HyperscanFilter&) = delete;
    HyperscanFilter& operator=(const HyperscanFilter&) = delete;
    bool Eats(const Utf8Line& line);

private:
    struct Compiled;
    std::unique_ptr<Compiled> compiled_;
    std::string subject_;
};

}  // namespace murl::bench
