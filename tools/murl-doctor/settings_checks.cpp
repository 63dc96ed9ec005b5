// This account's settings, read from the registry by the settings store that the plug-in reads
// them with.

#include "checks.h"
#include "host/error.h"
#include "text/text.h"
#include "platform/win32/registry_settings_store.h"
#include "plugin/stored_values.h"
#include "settings_review.h"

namespace murl::doctor {

namespace {

constexpr char kSettingsKeyText[] =
    "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Murl";

}  // namespace

void CheckSettings(const Findings& f, Report& report) {
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
                    "cannot read " + std::string(kSettingsKeyText) + ": " + ToUtf8(e.description()),
                    "sign in with the account that plays and run the doctor again; if it "
                    "persists, ask whoever administers the computer to check that account's "
                    "registry.",
                    {}});
        return;
    }
    if (!f.installed) {
        // Without Murl nothing loads these values: they are named as left over, not judged.
        if (values.empty()) {
            report.Add({"settings.read", Status::kSkipped, "Murl is not installed", {}, {}});
        } else {
            report.Add(Leftover("settings.read",
                                "this account's settings (" +
                                    Counted(values.size(), "value", "values") + ") in " +
                                    std::string(kSettingsKeyText),
                                "reg delete \"" + std::string(kSettingsKeyText) +
                                    "\" /f, in a command prompt of this account"));
        }
        report.Add({"settings.value", Status::kSkipped, "Murl is not installed", {}, {}});
        return;
    }
    ReviewSettings(values, report);
}

}  // namespace murl::doctor
