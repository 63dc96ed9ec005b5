#pragma once
// The settings store as the simulated host hands it to the plug-in: the real store, behind
// the scenario's faults on GetSetting and SaveSetting.

#include "platform/settings_store.h"
#include "sim/faults.h"

namespace murl::sim {

class FaultingSettingsStore final : public SettingsStore {
public:
    // Both must outlive this store.
    FaultingSettingsStore(SettingsStore& inner, const Faults& faults) noexcept
        : inner_(inner), faults_(faults) {}

    std::u16string GetSetting(std::u16string_view application, std::u16string_view section,
                              std::u16string_view key, std::u16string_view fallback) override {
        faults_.Apply(Operation::GetSetting);
        return inner_.GetSetting(application, section, key, fallback);
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
