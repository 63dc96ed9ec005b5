#pragma once
// An in-memory settings store for tests: it logs every call with its arguments, exposes its
// entries (text, numbers and values of types Murl cannot read alike), and fails where told. Its
// operations for the FailPlan are StoreCall's; fail_for_key adds failures by key.
//
//     FakeSettingsStore store;
//     store.fail_at(StoreCall::SaveSetting, Error(err::kPermissionDenied), 2);  // second write
//     store.fail_for_key(StoreCall::ReadSetting, u"Expired", Error(err::kPermissionDenied));
//
// A failed call changes no entry.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "host/error.h"
#include "platform/fake/fail_plan.h"
#include "platform/settings_store.h"

namespace murl {

enum class StoreCall { ReadSetting, SaveSetting };

class FakeSettingsStore final : public SettingsStore, public FailPlan<StoreCall> {
public:
    using Address =
        std::tuple<std::u16string, std::u16string, std::u16string>;  // app, section, key

    struct Call {
        StoreCall operation;
        std::u16string application;
        std::u16string section;
        std::u16string key;
        std::u16string value;  // the value of SaveSetting
        bool failed = false;   // made to fail by plan
        bool operator==(const Call&) const = default;
    };

    std::optional<SettingValue> ReadSetting(std::u16string_view application,
                                            std::u16string_view section,
                                            std::u16string_view key) override;
    void SaveSetting(std::u16string_view application, std::u16string_view section,
                     std::u16string_view key, std::u16string_view value) override;

    // Every later call of `operation` for `key` (in any section) throws `error`, until
    // clear_failures.
    void fail_for_key(StoreCall operation, std::u16string_view key, Error error);
    void clear_failures();

    // Every call with its arguments since construction, failed ones included.
    const std::vector<Call>& call_log() const noexcept { return call_log_; }

    // The stored entries, for seeding and inspection; neither is logged nor fails.
    std::map<Address, SettingValue>& entries() noexcept { return entries_; }
    const std::map<Address, SettingValue>& entries() const noexcept { return entries_; }
    void Set(std::u16string_view application, std::u16string_view section, std::u16string_view key,
             SettingValue value);
    // The stored text; nothing when the entry is absent or not text.
    std::optional<std::u16string> Find(std::u16string_view application, std::u16string_view section,
                                       std::u16string_view key) const;

private:
    struct KeyFailure {
        StoreCall operation;
        std::u16string key;
        Error error;
    };

    // Logs the call and throws when a failure is due.
    void Enter(Call call);

    std::map<Address, SettingValue> entries_;
    std::vector<Call> call_log_;
    std::vector<KeyFailure> key_failures_;
};

}  // namespace murl
