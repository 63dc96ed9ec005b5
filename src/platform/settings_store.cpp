#include "platform/settings_store.h"

#include "host/error.h"

namespace murl {

std::u16string SettingsStore::GetSetting(std::u16string_view application,
                                         std::u16string_view section, std::u16string_view key,
                                         std::u16string_view fallback) {
    auto value = ReadSetting(application, section, key);
    if (!value) return std::u16string(fallback);
    if (value->kind != SettingValue::Kind::kText) throw Error(err::kTypeMismatch);
    return std::move(value->text);
}

}  // namespace murl
