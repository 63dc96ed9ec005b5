#pragma once
// The panel's filter switches, one row each. Binding the check boxes, loading and saving their
// states, the boxes of the view definition, the simulator's control names and the test
// fixtures all come from this table.

#include <array>
#include <cstddef>
#include <string_view>

namespace murl {

// A control's rectangle on the panel, in the view definition's units.
struct PanelPlace {
    int left, top, width, height;
};

struct SwitchRow {
    std::u16string_view control;  // check box name in the view definition
    std::u16string_view key;      // key under the store's switch section
    std::u16string_view initial;  // stored text assumed while the store has none; "True" draws
                                  // the box checked
    PanelPlace place;
    std::u16string_view text;  // the box's caption
};

inline constexpr auto kSwitches = std::to_array<SwitchRow>({
    {u"chkEvades", u"Evades", u"True", {10, 8, 175, 24}, u"Filter 'You evaded' messages"},
    {u"chkZero", u"Zero", u"True", {8, 32, 175, 24}, u"Filter Zero damage messages"},
    {u"chkResists", u"Resists", u"True", {8, 56, 175, 24}, u"Filter 'You resist' messages"},
    {u"chkExpired", u"Expired", u"True", {8, 80, 175, 24}, u"Filter Spell Expiration messages"},
    {u"chkStatus",
     u"Status",
     u"False",
     {8, 104, 232, 24},
     u"Filter Status Messages (floating red text)"},
    {u"chkBots", u"Bots", u"False", {8, 128, 224, 16}, u"Filter Bots (-b- and -t-)"},
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
