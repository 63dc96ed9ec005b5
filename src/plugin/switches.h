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
};

inline constexpr auto kSwitches = std::to_array<SwitchRow>({
    {u"chkEvades", u"Evades", u"True"},
    {u"chkZero", u"Zero", u"True"},
    {u"chkResists", u"Resists", u"True"},
    {u"chkExpired", u"Expired", u"True"},
    {u"chkStatus", u"Status", u"False"},
    {u"chkBots", u"Bots", u"False"},
});

// The check boxes' names, in the table's order.
inline constexpr auto kCheckBoxNames = [] {
    std::array<std::u16string_view, kSwitches.size()> names{};
    for (size_t i = 0; i < kSwitches.size(); ++i) names[i] = kSwitches[i].control;
    return names;
}();

// Line labels of binding the controls during initialisation. The buttons hold 130 and 140; the
// boxes take 70, 80, ... in the table's order, passing over the buttons' two, so a box appended
// to the table takes the next free label and no label that a report has named moves.
inline constexpr int kResetLabel = 130;
inline constexpr int kOutLabel = 140;
constexpr int BoxLabel(size_t box) noexcept {
    const int label = 70 + 10 * static_cast<int>(box);
    return label < kResetLabel ? label : label + (kOutLabel + 10 - kResetLabel);
}

// The row of the box named `control`; naming a box the table lacks does not compile.
consteval size_t SwitchIndex(std::u16string_view control) {
    for (size_t i = 0; i < kSwitches.size(); ++i) {
        if (kSwitches[i].control == control) return i;
    }
    throw "no switch of that name";
}

}  // namespace murl
