#pragma once
// Which switch each chat rule reads, and for lines of which colour. The filter reads a switch
// only through its rule's row here, so a rule without a row does not build, and the reads of
// a colour's lines (which the benchmarks' contract floors copy) follow from the rows.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "plugin/search/pair.h"
#include "plugin/switches.h"

namespace murl {

struct ChatRule {
    bool any_colour;  // the rule runs for a line of every colour
    int32_t colour;   // otherwise, the colour whose lines it runs for
    size_t box;       // the switch it reads, on every line it runs for
};

// In the order the filter runs them; every rule reads its switch whether or not the text matches.
inline constexpr auto kChatRules = std::to_array<ChatRule>({
    {false, 21, SwitchIndex(u"chkEvades")},  // begins "You evaded "
    {false, 21, SwitchIndex(u"chkZero")},    // holds "for 0 points of"
    {false, 7, SwitchIndex(u"chkResists")},  // begins "You resist"
    {false, 7, SwitchIndex(u"chkExpired")},  // holds "has expired."
    {true, 0, SwitchIndex(u"chkBots")},      // a bot mark, "-t-" or "-b-"
});

// The rule that reads `control`; a switch that no rule reads does not compile.
consteval const ChatRule& RuleReading(std::u16string_view control) {
    for (const ChatRule& rule : kChatRules) {
        if (rule.box == SwitchIndex(control)) return rule;
    }
    throw "no chat rule reads that switch";
}

// The texts the rules look for inside the line, each found through a pair of its rarer units:
// digits are rare in chat, 'x' is rare in English, and each is paired with a unit further on.
// The search-paths checks and the fuzz targets take their pairs from here.
struct ChatLiteral {
    size_t box;  // the switch of the rule that looks for it
    std::u16string_view text;
    utf16::Pair pair;  // stands at the text's start
};
inline constexpr auto kChatLiterals = std::to_array<ChatLiteral>({
    {SwitchIndex(u"chkZero"), u"for 0 points of", {u'0', 4, u'f', 14}},
    {SwitchIndex(u"chkExpired"), u"has expired.", {u'x', 5, u'.', 11}},
});
static_assert(std::ranges::all_of(kChatLiterals,
                                  [](const ChatLiteral& l) { return l.pair.At(l.text, 0); }),
              "a literal's pair must stand at the literal's start");
static_assert(std::ranges::all_of(kChatLiterals,
                                  [](const ChatLiteral& l) {
                                      return std::ranges::any_of(
                                          kChatRules,
                                          [&](const ChatRule& r) { return r.box == l.box; });
                                  }),
              "a literal must belong to a rule of kChatRules");

// "-t-" or "-b-", found through its two hyphens by every rule that looks for a bot mark.
inline constexpr utf16::Pair kBotHyphens{u'-', 0, u'-', 2};

// The text that `rule` looks for inside the line; a rule without one does not compile.
consteval const ChatLiteral& LiteralOf(const ChatRule& rule) {
    for (const ChatLiteral& literal : kChatLiterals) {
        if (literal.box == rule.box) return literal;
    }
    throw "no literal in kChatLiterals for that rule";
}

constexpr bool RunsFor(const ChatRule& rule, int32_t colour) noexcept {
    return rule.any_colour || rule.colour == colour;
}

// The most switches that a line of any one colour makes the rules read.
inline constexpr size_t kMostChatReads = [] {
    size_t most = 0;
    for (const ChatRule& rule : kChatRules) {
        size_t reads = 0;
        for (const ChatRule& other : kChatRules) reads += RunsFor(other, rule.colour) ? 1 : 0;
        if (reads > most) most = reads;
    }
    return most;
}();

// The switches a chat line of `colour` makes the rules read, in the order they read them.
struct SwitchReads {
    std::array<size_t, kMostChatReads> box{};
    size_t count = 0;
};

constexpr SwitchReads ChatSwitchReads(int32_t colour) noexcept {
    SwitchReads reads;
    for (const ChatRule& rule : kChatRules) {
        if (RunsFor(rule, colour)) reads.box[reads.count++] = rule.box;
    }
    return reads;
}

}  // namespace murl
