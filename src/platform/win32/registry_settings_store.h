#pragma once
// The settings store where the platform's own GetSetting and SaveSetting keep it:
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<application>\<section>, one string
// value per key, so that settings written by other programs through those functions read as
// they are. The empty section is the application's key itself.

#include "platform/settings_store.h"

namespace murl {

class RegistrySettingsStore final : public SettingsStore {
public:
    std::u16string GetSetting(std::u16string_view application, std::u16string_view section,
                              std::u16string_view key, std::u16string_view fallback) override;
    void SaveSetting(std::u16string_view application, std::u16string_view section,
                     std::u16string_view key, std::u16string_view value) override;
};

}  // namespace murl
