#pragma once
// The per-user settings store: text values addressed by (application, section, key).
// Any text is a valid section or key, the empty one included.

#include <string>
#include <string_view>

namespace murl {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored value, or `fallback` when the application, section or key is absent.
    // Never creates anything.
    virtual std::u16string GetSetting(std::u16string_view application, std::u16string_view section,
                                      std::u16string_view key, std::u16string_view fallback) = 0;
    // Creates what is missing and replaces an existing value.
    virtual void SaveSetting(std::u16string_view application, std::u16string_view section,
                             std::u16string_view key, std::u16string_view value) = 0;
};

}  // namespace murl
