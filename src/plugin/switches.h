#pragma once
// The panel's filter switches, one row each. Binding the check boxes, loading and saving their
// states, the simulator's control names and the test fixtures all come from this table; the
// view definition text places the boxes on the panel.

#include <array>
#include <cstddef>
#include <string_view>

namespace murl {

struct SwitchRow {
    std::u16string_view control;  // check box name in the view definition
    std::u16string_view key;      // key under the store's switch section
    std::u16string_view initial;  // stored text assumed while the store has none
    int label;                    // line label of binding the box during initialisation
};

inline constexpr std::array<SwitchRow, 6> kSwitches = {{
    {u"chkEvades", u"Evades", u"True", 70},
    {u"chkZero", u"Zero", u"True", 80},
    {u"chkResists", u"Resists", u"True", 90},
    {u"chkExpired", u"Expired", u"True", 100},
    {u"chkStatus", u"Status", u"False", 110},
    {u"chkBots", u"Bots", u"False", 120},
}};

// The check boxes' names, in the table's order.
inline constexpr auto kCheckBoxNames = [] {
    std::array<std::u16string_view, kSwitches.size()> names{};
    for (size_t i = 0; i < kSwitches.size(); ++i) names[i] = kSwitches[i].control;
    return names;
}();

// The row of the box named `control`; naming a box the table lacks does not compile.
consteval size_t SwitchIndex(std::u16string_view control) {
    for (size_t i = 0; i < kSwitches.size(); ++i) {
        if (kSwitches[i].control == control) return i;
    }
    throw "no switch of that name";
}

}  // namespace murl
