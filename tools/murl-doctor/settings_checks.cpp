// This account's settings, read from the registry by the settings store that the plug-in reads
// them with.

#include "checks.h"
#include "host/error.h"
#include "host/text.h"
#include "platform/win32/registry_settings_store.h"
#include "plugin/stored_values.h"
#include "settings_review.h"

namespace murl::doctor {

void CheckSettings(Report& report) {
    std::vector<StoredValue> values;
    try {
        RegistrySettingsStore store;
        for (auto& entry : store.List(kSettingsApplication)) {
            values.push_back(
                {std::move(entry.section), std::move(entry.key), std::move(entry.value)});
        }
    } catch (const Error& e) {
        report.Add({"settings.read",
                    Status::kProblem,
                    "cannot read HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Murl: " +
                        ToUtf8(e.description()),
                    "sign in with the account that plays and run the doctor again; if it "
                    "persists, ask whoever administers the computer to check that account's "
                    "registry.",
                    {}});
        return;
    }
    ReviewSettings(values, report);
}

}  // namespace murl::doctor
