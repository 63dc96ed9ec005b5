#pragma once
// The settings store where the platform's own GetSetting and SaveSetting keep it:
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<application>\<section>, one string
// value per key, so that settings written by other programs through those functions read as
// they are. The empty section is the application's key itself; a backslash in a section name
// makes nested keys. Murl writes REG_SZ; a value of another type that a player or a tool put
// there reads as RegistryValue says.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/settings_store.h"

namespace murl {

// A registry value of `type` whose data is `size` bytes at `data`, as Murl reads it: REG_SZ as
// its text, REG_EXPAND_SZ as its text unexpanded, REG_DWORD (either byte order) and REG_QWORD
// as their unsigned numbers, any other type (or a number of the wrong size) as a value that
// Murl cannot read, named by its type.
SettingValue RegistryValue(unsigned long type, const unsigned char* data, size_t size);

class RegistrySettingsStore final : public SettingsStore {
public:
    // The store's operations and SaveNumber are alike by design in every store.
    std::optional<SettingValue> ReadSetting(std::u16string_view application,
                                            std::u16string_view section,
                                            std::u16string_view key) override;
    void SaveSetting(std::u16string_view application, std::u16string_view section,
                     std::u16string_view key, std::u16string_view value) override;

    // Stores `value` as a REG_DWORD, or a REG_QWORD beyond 32 bits, as another program may;
    // Murl itself stores text.
    void SaveNumber(std::u16string_view application, std::u16string_view section,
                    std::u16string_view key, uint64_t value);

    struct Entry {
        std::u16string section, key;
        SettingValue value;
        bool operator==(const Entry&) const = default;
    };
    // Every value of `application`, of any type, sorted by section then key. A nested key's section
    // is its full path below the application's key ("a\b"). Creates nothing.
    std::vector<Entry> List(std::u16string_view application);

private:
    // Creates or replaces one value of registry `type`, `bytes` long.
    void Save(std::u16string_view application, std::u16string_view section, std::u16string_view key,
              unsigned long type, const void* data, size_t bytes);
};

}  // namespace murl
