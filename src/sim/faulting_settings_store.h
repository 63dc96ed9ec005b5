#pragma once
// The settings store as the simulated host hands it to the plug-in: the real store, behind
// the scenario's faults on GetSetting (every read) and SaveSetting.

#include "platform/settings_store.h"
#include "sim/faults.h"

namespace murl::sim {

class FaultingSettingsStore final : public SettingsStore {
public:
    // Both must outlive this store.
    FaultingSettingsStore(SettingsStore& inner, const Faults& faults) noexcept
        : inner_(inner), faults_(faults) {}

    std::optional<SettingValue> ReadSetting(std::u16string_view application,
                                            std::u16string_view section,
                                            std::u16string_view key) override {
        faults_.Apply(Operation::GetSetting);
        return inner_.ReadSetting(application, section, key);
    }
    void SaveSetting(std::u16string_view application, std::u16string_view section,
                     std::u16string_view key, std::u16string_view value) override {
        faults_.Apply(Operation::SaveSetting);
        inner_.SaveSetting(application, section, key, value);
    }

private:
    SettingsStore& inner_;
    const Faults& faults_;
};

}  // namespace murl::sim
