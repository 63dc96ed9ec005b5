#pragma once
// Which switches the chat rules read for a line of each colour. Every rule a line's colour
// selects reads its switch from its check box on every line, so this is also the least reading
// any correct filter does per line; the benchmarks' contract floors read what it lists.

#include <array>
#include <cstddef>
#include <cstdint>

#include "plugin/switches.h"

namespace murl {

// A colour's two rules: one tests the line's start, one searches its text for a literal.
struct ColourRules {
    int32_t colour;
    size_t prefix_box;
    size_t literal_box;
};

inline constexpr ColourRules kCombatRules{21, SwitchIndex(u"chkEvades"), SwitchIndex(u"chkZero")};
inline constexpr ColourRules kMagicRules{7, SwitchIndex(u"chkResists"), SwitchIndex(u"chkExpired")};
inline constexpr std::array<ColourRules, 2> kColourRules = {kCombatRules, kMagicRules};

// The bot mark's rule, which reads its switch for a line of any colour.
inline constexpr size_t kBotsBox = SwitchIndex(u"chkBots");

// The switches a chat line of `colour` makes the rules read, in the order they read them.
struct SwitchReads {
    std::array<size_t, 3> box{};
    size_t count = 0;
};

constexpr SwitchReads ChatSwitchReads(int32_t colour) noexcept {
    SwitchReads reads;
    for (const ColourRules& rules : kColourRules) {
        if (rules.colour != colour) continue;
        reads.box[reads.count++] = rules.prefix_box;
        reads.box[reads.count++] = rules.literal_box;
    }
    reads.box[reads.count++] = kBotsBox;
    return reads;
}

}  // namespace murl
