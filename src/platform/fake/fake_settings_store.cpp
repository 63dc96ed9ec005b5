#include "platform/fake/fake_settings_store.h"

#include <utility>

namespace murl {

namespace {
FakeSettingsStore::Address AddressOf(std::u16string_view application, std::u16string_view section,
                                     std::u16string_view key) {
    return {std::u16string(application), std::u16string(section), std::u16string(key)};
}
}  // namespace

void FakeSettingsStore::fail_for_key(StoreCall operation, std::u16string_view key, Error error) {
    key_failures_.push_back({operation, std::u16string(key), std::move(error)});
}

void FakeSettingsStore::clear_failures() {
    FailPlan::clear_failures();
    key_failures_.clear();
}

void FakeSettingsStore::Enter(Call call) {
    call_log_.push_back(std::move(call));
    Call& logged = call_log_.back();
    try {
        // Counted first, so that the plan's call numbers include calls failed by key.
        CountOrFail(logged.operation);
    } catch (...) {
        logged.failed = true;
        throw;
    }
    for (const auto& failure : key_failures_) {
        if (failure.operation == logged.operation && failure.key == logged.key) {
            logged.failed = true;
            throw failure.error;
        }
    }
}

std::optional<SettingValue> FakeSettingsStore::ReadSetting(std::u16string_view application,
                                                           std::u16string_view section,
                                                           std::u16string_view key) {
    Enter({StoreCall::ReadSetting,
           std::u16string(application),
           std::u16string(section),
           std::u16string(key),
           {}});
    const auto found = entries_.find(AddressOf(application, section, key));
    if (found == entries_.end()) return std::nullopt;
    return found->second;
}

void FakeSettingsStore::SaveSetting(std::u16string_view application, std::u16string_view section,
                                    std::u16string_view key, std::u16string_view value) {
    Enter({StoreCall::SaveSetting, std::u16string(application), std::u16string(section),
           std::u16string(key), std::u16string(value)});
    Set(application, section, key, std::u16string(value));
}

void FakeSettingsStore::Set(std::u16string_view application, std::u16string_view section,
                            std::u16string_view key, SettingValue value) {
    entries_[AddressOf(application, section, key)] = std::move(value);
}

std::optional<std::u16string> FakeSettingsStore::Find(std::u16string_view application,
                                                      std::u16string_view section,
                                                      std::u16string_view key) const {
    const auto found = entries_.find(AddressOf(application, section, key));
    if (found == entries_.end() || found->second.kind != SettingValue::Kind::kText) {
        return std::nullopt;
    }
    return found->second.text;
}

}  // namespace murl
