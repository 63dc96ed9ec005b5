// murl-sim settings: the plug-in's entries in the settings store.

#include <charconv>
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>

#include "commands.h"
#include "machine.h"
#include "plugin/conversions.h"
#include "plugin/stored_values.h"
#include "sim/transcript.h"
#include "text/json.h"
#include "text/readable_text.h"
#include "text/text.h"

namespace murl::tool {

namespace {

struct SettingsOptions {
    bool json = false;
    bool number = false;
    std::string store;
    std::string section, key, value;
};

std::unique_ptr<Store> Open(const SettingsOptions& options, int& status) {
    std::string refused;
    auto store = OpenStore(options.store, refused);
    if (!store) status = UsageError(refused);
    return store;
}

void AddJsonValue(JsonWriter& json, const SettingValue& value) {
    switch (value.kind) {
        case SettingValue::Kind::kText:
            json.Member("value", value.text);
            break;
        case SettingValue::Kind::kNumber:
            json.Member("value", Whole{value.magnitude, value.negative});
            break;
        case SettingValue::Kind::kUnreadable:
            json.Null("value");
            break;
    }
    if (!value.type.empty()) json.Member("type", value.type);
}

int SettingsList(const SettingsOptions& options) {
    int status = kExitOk;
    auto store = Open(options, status);
    if (!store) return status;
    std::string out;
    for (const auto& entry : store->List()) {
        if (options.json) {
            JsonWriter json(out);
            json.Object().Member("app", kSettingsApplication).Member("section", entry.section);
            json.Member("key", entry.key);
            AddJsonValue(json, entry.value);
            json.Close();
            out += '\n';
        } else {
            out += '[';
            out += ReadableName(entry.section);
            out += "] ";
            out += ReadableName(entry.key);
            out += " = ";
            out += ShownValue(entry.value);
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
    if (value->kind == SettingValue::Kind::kUnreadable) {
        std::cerr << "murl-sim: the value is of type " << ToUtf8(value->type)
                  << ", which Murl cannot read\n";
        return kExitFailure;
    }
    const std::u16string shown =
        value->kind == SettingValue::Kind::kNumber ? StoredNumberText(*value) : value->text;
    std::cout << ToUtf8(shown) << '\n' << std::flush;
    return kExitOk;
}

int SettingsSet(const SettingsOptions& options) {
    int64_t number = 0;
    if (options.number) {
        const char* end = options.value.data() + options.value.size();
        const auto [stop, error] = std::from_chars(options.value.data(), end, number);
        if (error != std::errc() || stop != end) {
            return UsageError("VALUE: " + Quoted(options.value) +
                              " is not a whole number from -9223372036854775808 to "
                              "9223372036854775807, as --number needs");
        }
    }
    int status = kExitOk;
    auto store = Open(options, status);
    if (!store) return status;
    const std::u16string section = ToUtf16(options.section), key = ToUtf16(options.key);
    if (!options.number) {
        store->settings().SaveSetting(kSettingsApplication, section, key, ToUtf16(options.value));
        return kExitOk;
    }
    const std::string refused = store->SaveNumber(section, key, number);
    return refused.empty() ? kExitOk : UsageError("VALUE: " + refused);
}

}  // namespace

void AddSettingsCommand(CLI::App& app, Commands& commands) {
    auto options = std::make_shared<SettingsOptions>();
    auto* settings = app.add_subcommand("settings", "Read or write the settings store");
    settings->require_subcommand(1);
    auto* list = settings->add_subcommand("list",
                                          "Print every entry of the application "
                                          "\"Murl\", by section and key");
    list->add_flag("--json", options->json, "One JSON object per entry");
    list->add_option("--store", options->store, kStoreHelp)
        ->check(NonEmptyText())
        ->check(StoreFile());
    auto* get = settings->add_subcommand(
        "get", "Print one value; exit status 1 and no output when it is absent");
    get->add_option("SECTION", options->section, "Section")->required()->check(Text());
    get->add_option("KEY", options->key, "Key")->required()->check(Text());
    get->add_option("--store", options->store, kStoreHelp)
        ->check(NonEmptyText())
        ->check(StoreFile());
    auto* set = settings->add_subcommand("set", "Create or replace one value");
    set->add_option("SECTION", options->section, "Section")->required()->check(Text());
    set->add_option("KEY", options->key, "Key")->required()->check(Text());
    set->add_option("VALUE", options->value, "Value")->required()->check(Text());
    set->add_flag("--number", options->number,
                  "Store VALUE, a whole number, in the store's own number type (SQLite INTEGER, "
                  "registry REG_DWORD or REG_QWORD), as another program may; Murl stores text");
    set->add_option("--store", options->store, kStoreHelp)
        ->check(NonEmptyText())
        ->check(StoreFile());
    commands.push_back({list, [options] { return SettingsList(*options); }});
    commands.push_back({get, [options] { return SettingsGet(*options); }});
    commands.push_back({set, [options] { return SettingsSet(*options); }});
}

}  // namespace murl::tool
