#pragma once
// The panel's view definition: pieces of XML joined with nothing between them. The check boxes
// come from the switch table, the buttons from the table below; both are written out at compile
// time, so a new switch needs no piece of its own here.

#include <array>
#include <cstddef>
#include <string_view>

#include "plugin/switches.h"
#include "text/digits.h"

namespace murl {

struct ButtonRow {
    std::u16string_view control;
    PanelPlace place;
    std::u16string_view text;
};

inline constexpr auto kButtons = std::to_array<ButtonRow>({
    {u"cmdReset", {16, 160, 88, 24}, u"Reset Stats"},
    {u"cmdOut", {168, 160, 88, 24}, u"Output Stats"},
});

// The buttons stand in the definition directly after this box; the boxes after it follow them.
inline constexpr size_t kButtonsFollow = SwitchIndex(u"chkStatus");

namespace view_detail {

// One piece, written into fixed storage at compile time.
struct Piece {
    static constexpr size_t kCapacity = 192;
    std::array<char16_t, kCapacity> units{};
    size_t size = 0;

    constexpr Piece& operator<<(std::u16string_view text) {
        if (text.size() > kCapacity - size) throw "a view definition piece outgrew its storage";
        for (char16_t unit : text) units[size++] = unit;
        return *this;
    }
    constexpr Piece& operator<<(int number) {
        if (number < 0) throw "panel places are not negative";
        PutDecimal([this](char digit) { *this << static_cast<char16_t>(digit); }, number);
        return *this;
    }
    constexpr Piece& operator<<(char16_t unit) { return *this << std::u16string_view(&unit, 1); }
    constexpr std::u16string_view View() const { return {units.data(), size}; }
};

constexpr Piece Control(std::u16string_view progid, std::u16string_view name, PanelPlace place,
                        bool checked, std::u16string_view text) {
    Piece piece;
    piece << u"<control progid=\"" << progid << u"\" name=\"" << name << u"\" left=\"" << place.left
          << u"\" top=\"" << place.top << u"\" width=\"" << place.width << u"\" height=\""
          << place.height << u"\"";
    if (checked) piece << u" checked=\"true\"";
    piece << u" text=\"" << text << u"\" />";
    return piece;
}

constexpr Piece Literal(std::u16string_view text) {
    Piece piece;
    piece << text;
    return piece;
}

constexpr Piece Box(const SwitchRow& row) {
    return Control(u"DecalControls.Checkbox", row.control, row.place, row.initial == u"True",
                   row.text);
}

constexpr Piece Button(const ButtonRow& row) {
    return Control(u"DecalControls.PushButton", row.control, row.place, false, row.text);
}

inline constexpr std::array<std::u16string_view, 3> kOpening = {
    u"<?xml version=\"1.0\"?>",
    u"<view icon=\"0\" title=\"Murl!\" width=\"310\" height=\"270\">",
    u"<control progid=\"DecalControls.FixedLayout\" clipped=\"\">",
};
inline constexpr std::array<std::u16string_view, 2> kClosing = {u"</control>", u"</view>"};

inline constexpr size_t kPieceCount =
    kOpening.size() + kSwitches.size() + kButtons.size() + kClosing.size();

// The pieces in fixed storage: a compile-time step only, never kept in the module.
constexpr std::array<Piece, kPieceCount> Pieces() {
    std::array<Piece, kPieceCount> pieces{};
    size_t next = 0;
    for (std::u16string_view text : kOpening) pieces[next++] = Literal(text);
    for (size_t box = 0; box < kSwitches.size(); ++box) {
        pieces[next++] = Box(kSwitches[box]);
        if (box != kButtonsFollow) continue;
        for (const ButtonRow& button : kButtons) pieces[next++] = Button(button);
    }
    for (std::u16string_view text : kClosing) pieces[next++] = Literal(text);
    return pieces;
}

inline constexpr size_t kLength = [] {
    size_t length = 0;
    for (const Piece& piece : Pieces()) length += piece.size;
    return length;
}();

// The whole definition, the pieces one after another.
inline constexpr std::array<char16_t, kLength> kText = [] {
    std::array<char16_t, kLength> text{};
    size_t at = 0;
    for (const Piece& piece : Pieces()) {
        for (char16_t unit : piece.View()) text[at++] = unit;
    }
    return text;
}();

}  // namespace view_detail

inline constexpr std::array<std::u16string_view, view_detail::kPieceCount> kViewDefinitionPieces =
    [] {
        std::array<std::u16string_view, view_detail::kPieceCount> views{};
        size_t at = 0;
        const auto pieces = view_detail::Pieces();
        for (size_t i = 0; i < views.size(); ++i) {
            views[i] = std::u16string_view(view_detail::kText.data() + at, pieces[i].size);
            at += pieces[i].size;
        }
        return views;
    }();

}  // namespace murl
