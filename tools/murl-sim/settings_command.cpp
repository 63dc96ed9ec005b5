// murl-sim settings: the plug-in's entries in the settings store.

#include <iostream>
#include <string>

#include "commands.h"
#include "host/text.h"
#include "platform/posix/sqlite_settings_store.h"
#include "sim/transcript.h"

namespace murl::tool {

namespace {
constexpr std::u16string_view kApplication = u"Murl";
}  // namespace

std::string StorePath(const std::string& given) {
    return given.empty() ? SqliteSettingsStore::DefaultPath().string() : given;
}

int SettingsList(const SettingsOptions& options) {
    SqliteSettingsStore store(StorePath(options.store));
    std::string out;
    for (const auto& entry : store.List()) {
        if (entry.application != kApplication) continue;
        if (options.json) {
            out += "{\"app\":";
            sim::AppendJsonString(out, entry.application);
            out += ",\"section\":";
            sim::AppendJsonString(out, entry.section);
            out += ",\"key\":";
            sim::AppendJsonString(out, entry.key);
            out += ",\"value\":";
            sim::AppendJsonString(out, entry.value);
            out += "}\n";
        } else {
            out += "[" + ToUtf8(entry.section) + "] " + ToUtf8(entry.key) + " = " +
                   sim::ReadableText(entry.value) + "\n";
        }
    }
    std::cout << out << std::flush;
    return kExitOk;
}

int SettingsGet(const SettingsOptions& options) {
    SqliteSettingsStore store(StorePath(options.store));
    const auto value = store.Find(kApplication, ToUtf16(options.section), ToUtf16(options.key));
    if (!value) return kExitAbsent;
    std::cout << ToUtf8(*value) << '\n' << std::flush;
    return kExitOk;
}

int SettingsSet(const SettingsOptions& options) {
    SqliteSettingsStore store(StorePath(options.store));
    store.SaveSetting(kApplication, ToUtf16(options.section), ToUtf16(options.key),
                      ToUtf16(options.value));
    return kExitOk;
}

}  // namespace murl::tool
