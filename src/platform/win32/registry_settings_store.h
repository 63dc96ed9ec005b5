#pragma once
// The settings store where the platform's own GetSetting and SaveSetting keep it:
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<application>\<section>, one string
// value per key, so that settings written by other programs through those functions read as
// they are. The empty section is the application's key itself; a backslash in a section name
// makes nested keys.

#include <string>
#include <vector>

#include "platform/settings_store.h"

namespace murl {

class RegistrySettingsStore final : public SettingsStore {
public:
    std::u16string GetSetting(std::u16string_view application, std::u16string_view section,
                              std::u16string_view key, std::u16string_view fallback) override;
    void SaveSetting(std::u16string_view application, std::u16string_view section,
                     std::u16string_view key, std::u16string_view value) override;

    struct Entry {
        std::u16string section, key, value;
        bool operator==(const Entry&) const = default;
    };
    // Every string value of `application`, sorted by section then key. A nested key's section
    // is its full path below the application's key ("a\b"). Creates nothing.
    std::vector<Entry> List(std::u16string_view application);
};

}  // namespace murl
