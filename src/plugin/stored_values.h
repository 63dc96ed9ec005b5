#pragma once
// Where the plug-in keeps its values in the settings store: the switches under one section,
// the counters under a section per character.

#include <array>
#include <string_view>

namespace murl {

inline constexpr std::u16string_view kSettingsApplication = u"Murl";
inline constexpr std::u16string_view kSwitchSection = u"Settings";
// The keys of a character's counters.
inline constexpr std::u16string_view kEvadesKey = u"Evades";
inline constexpr std::u16string_view kResistsKey = u"Resists";
inline constexpr std::u16string_view kZeroKey = u"Zero";
// Every counter key, for code that visits them all.
inline constexpr std::array kCounterKeys = {kEvadesKey, kResistsKey, kZeroKey};

}  // namespace murl
