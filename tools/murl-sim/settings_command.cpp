// murl-sim settings: the plug-in's entries in the settings store.

#include <iostream>
#include <string>

#include "commands.h"
#include "host/text.h"
#include "machine.h"
#include "sim/transcript.h"

namespace murl::tool {

namespace {

constexpr std::u16string_view kApplication = u"Murl";

std::unique_ptr<Store> Open(const SettingsOptions& options, int& status) {
    std::string refused;
    auto store = OpenStore(options.store, refused);
    if (!store) status = UsageError(refused);
    return store;
}

}  // namespace

int SettingsList(const SettingsOptions& options) {
    int status = kExitOk;
    auto store = Open(options, status);
    if (!store) return status;
    std::string out;
    for (const auto& entry : store->List()) {
        if (options.json) {
            out += "{\"app\":";
            sim::AppendJsonString(out, kApplication);
            out += ",\"section\":";
            sim::AppendJsonString(out, entry.section);
            out += ",\"key\":";
            sim::AppendJsonString(out, entry.key);
            out += ",\"value\":";
            sim::AppendJsonString(out, entry.value);
            out += "}\n";
        } else {
            out += '[';
            out += sim::ReadableName(entry.section);
            out += "] ";
            out += sim::ReadableName(entry.key);
            out += " = ";
            out += sim::ReadableText(entry.value);
            out += '\n';
        }
    }
    std::cout << out << std::flush;
    return kExitOk;
}

int SettingsGet(const SettingsOptions& options) {
    int status = kExitOk;
    auto store = Open(options, status);
    if (!store) return status;
    const auto value = store->Find(ToUtf16(options.section), ToUtf16(options.key));
    if (!value) return kExitAbsent;
    std::cout << ToUtf8(*value) << '\n' << std::flush;
    return kExitOk;
}

int SettingsSet(const SettingsOptions& options) {
    int status = kExitOk;
    auto store = Open(options, status);
    if (!store) return status;
    store->settings().SaveSetting(kApplication, ToUtf16(options.section), ToUtf16(options.key),
                                  ToUtf16(options.value));
    return kExitOk;
}

}  // namespace murl::tool
