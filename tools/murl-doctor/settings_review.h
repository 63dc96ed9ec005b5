#pragma once
// The settings of this account as Murl loads them: each stored value judged with the plug-in's
// own conversions, so that the doctor and the plug-in agree on every value, of every type.

#include <string>
#include <vector>

#include "platform/settings_store.h"
#include "report.h"

namespace murl::doctor {

struct StoredValue {
    std::u16string section, key;
    SettingValue value;
};

// Adds the listing of `values` (sorted by section, then key), one problem row per value that
// Murl cannot load and one note per negative count.
void ReviewSettings(const std::vector<StoredValue>& values, Report& report);

// How a stored text reads in the report: as ReadableText shows it, cut to the report's length.
std::string Shown(std::u16string_view text);

}  // namespace murl::doctor
