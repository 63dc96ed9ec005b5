#include "regex_peers.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <hs.h>
#include <pcre2.h>
#include <re2/re2.h>

#include <charconv>
#include <stdexcept>

#include "text/text.h"

namespace murl::bench {

namespace {

template <class Text>
void PutColourInFront(Text& subject, int32_t colour) {
    char digits[16];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, colour);
    subject.clear();
    for (const char* c = digits; c != end; ++c)
        subject += static_cast<typename Text::value_type>(*c);
    subject += '\t';
}

}  // namespace

std::vector<Utf8Line> ToUtf8Lines(const std::vector<ChatLine>& lines) {
    std::vector<Utf8Line> utf8;
    utf8.reserve(lines.size());
    for (const auto& line : lines) utf8.push_back({line.colour, ToUtf8(line.text)});
    return utf8;
}

// ---- PCRE2 ----------------------------------------------------------------------------------

struct Pcre2Filter::Compiled {
    pcre2_code* code = nullptr;
    pcre2_match_data* match = nullptr;
    ~Compiled() {
        pcre2_match_data_free(match);
        pcre2_code_free(code);
    }
};

Pcre2Filter::Pcre2Filter() : compiled_(std::make_unique<Compiled>()) {
    const std::u16string pattern(std::begin(kRulesPattern), std::end(kRulesPattern) - 1);
    int error = 0;
    PCRE2_SIZE offset = 0;
    compiled_->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                    PCRE2_DOTALL, &error, &offset, nullptr);
    if (!compiled_->code) throw std::runtime_error("PCRE2: the pattern does not compile");
    if (pcre2_jit_compile(compiled_->code, PCRE2_JIT_COMPLETE) != 0)
        throw std::runtime_error("PCRE2: no JIT");
    compiled_->match = pcre2_match_data_create_from_pattern(compiled_->code, nullptr);
}

Pcre2Filter::~Pcre2Filter() = default;

bool Pcre2Filter::Eats(const ChatLine& line) {
    PutColourInFront(subject_, line.colour);
    subject_ += line.text;
    return pcre2_match(compiled_->code, reinterpret_cast<PCRE2_SPTR>(subject_.data()),
                       subject_.size(), 0, 0, compiled_->match, nullptr) >= 0;
}

// ---- RE2 ------------------------------------------------------------------------------------

struct Re2Filter::Compiled {
    explicit Compiled(const RE2::Options& options) : re(kRulesPattern, options) {}
    RE2 re;
};

namespace {
RE2::Options Re2Options() {
    RE2::Options options;
    options.set_dot_nl(true);
    options.set_log_errors(false);
    return options;
}
}  // namespace

Re2Filter::Re2Filter() : compiled_(std::make_unique<Compiled>(Re2Options())) {
    if (!compiled_->re.ok()) throw std::runtime_error("RE2: " + compiled_->re.error());
}

Re2Filter::~Re2Filter() = default;

bool Re2Filter::Eats(const Utf8Line& line) {
    PutColourInFront(subject_, line.colour);
    subject_ += line.text;
    return RE2::PartialMatch(subject_, compiled_->re);
}

// ---- Hyperscan ------------------------------------------------------------------------------

struct HyperscanFilter::Compiled {
    hs_database_t* database = nullptr;
    hs_scratch_t* scratch = nullptr;
    ~Compiled() {
        hs_free_scratch(scratch);
        hs_free_database(database);
    }
};

HyperscanFilter::HyperscanFilter() : compiled_(std::make_unique<Compiled>()) {
    const char* const patterns[] = {"^21\\tYou evaded ", "^21\\t.*for 0 points of",
                                    "^7\\tYou resist", "^7\\t.*has expired\\.", "-[tb]-"};
    const unsigned flags[] = {HS_FLAG_SINGLEMATCH, HS_FLAG_SINGLEMATCH | HS_FLAG_DOTALL,
                              HS_FLAG_SINGLEMATCH, HS_FLAG_SINGLEMATCH | HS_FLAG_DOTALL,
                              HS_FLAG_SINGLEMATCH | HS_FLAG_CASELESS};
    const unsigned ids[] = {1, 2, 3, 4, 5};
    hs_compile_error_t* error = nullptr;
    if (hs_compile_multi(patterns, flags, ids, 5, HS_MODE_BLOCK, nullptr, &compiled_->database,
                         &error) != HS_SUCCESS) {
        const std::string message = error ? error->message : "unknown error";
        hs_free_compile_error(error);
        throw std::runtime_error("Hyperscan: " + message);
    }
    if (hs_alloc_scratch(compiled_->database, &compiled_->scratch) != HS_SUCCESS)
        throw std::runtime_error("Hyperscan: no scratch space");
}

HyperscanFilter::~HyperscanFilter() = default;

bool HyperscanFilter::Eats(const Utf8Line& line) {
    PutColourInFront(subject_, line.colour);
    subject_ += line.text;
    // The first match decides: the callback stops the scan.
    const auto stop = [](unsigned, unsigned long long, unsigned long long, unsigned, void*) -> int {
        return 1;
    };
    const hs_error_t status =
        hs_scan(compiled_->database, subject_.data(), static_cast<unsigned>(subject_.size()), 0,
                compiled_->scratch, stop, nullptr);
    if (status != HS_SUCCESS && status != HS_SCAN_TERMINATED)
        throw std::runtime_error("Hyperscan: scan failed");
    return status == HS_SCAN_TERMINATED;
}

}  // namespace murl::bench
