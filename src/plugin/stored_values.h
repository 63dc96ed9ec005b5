#pragma once
// Where the plug-in keeps its values in the settings store: the switches under one section,
// the counters under a section per character.

#include <array>
#include <string_view>

namespace murl {

inline constexpr std::u16string_view kSettingsApplication = u"Murl";
inline constexpr std::u16string_view kSwitchSection = u"Settings";
// The keys of a character's counters, in the order EvadeCount, ResistCount, ZeroCount.
inline constexpr std::array<std::u16string_view, 3> kCounterKeys = {u"Evades", u"Resists", u"Zero"};

}  // namespace murl
