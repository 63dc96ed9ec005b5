#pragma once
// What murl-sim needs of the machine it runs on: the settings store and the platform ports
// that the plug-in is handed. One implementation per platform (machine_posix.cpp, ...).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/settings_store.h"
#include "plugin/stored_values.h"

namespace murl::tool {

struct StoreEntry {
    std::u16string section, key;
    SettingValue value;
};

// The per-user settings store, or the one given by `path` where the platform allows a choice.
class Store {
public:
    virtual ~Store() = default;
    virtual SettingsStore& settings() = 0;
    // Throws when the store is there but cannot be used (damaged, not a file). Creates nothing.
    virtual void Verify() {}
    // Every entry of the application "Murl", sorted by section then key. Creates nothing.
    virtual std::vector<StoreEntry> List() = 0;
    // Stores `value` under "Murl" in the store's own number type, as another program may (Murl
    // stores text). Returns why the store cannot hold it, or nothing.
    virtual std::string SaveNumber(std::u16string_view section, std::u16string_view key,
                                   int64_t value) = 0;
    // One value of "Murl"; nothing when absent. Creates nothing.
    std::optional<SettingValue> Find(std::u16string_view section, std::u16string_view key) {
        return settings().ReadSetting(kSettingsApplication, section, key);
    }
};

// What stands against `path` as a store file given on the command line, or nothing: on POSIX
// its folder must exist (the default store's folders are created at the first write instead).
std::string StoreProblem(const std::string& path);

// `path` empty: the default store. Returns null with `error` set when the platform refuses.
std::unique_ptr<Store> OpenStore(const std::string& path, std::string& error);

// The ports of this machine (files, clock, message box, module information) for a plug-in
// whose module folder is `module_folder`.
class Ports {
public:
    virtual ~Ports() = default;
    // A Platform over these ports, `settings` and `clock`; valid while all three live.
    virtual Platform MakePlatform(SettingsStore& settings, Clock& clock) = 0;
    virtual Clock& SystemClock() = 0;
};
std::unique_ptr<Ports> MakePorts(const std::filesystem::path& module_folder);

// The Ports over a platform's own set of ports (`files`, `clock`, `message_box`, `app`), whose
// paths take `kSeparator`.
template <class Native, char16_t kSeparator>
class NativePorts final : public Ports {
public:
    explicit NativePorts(std::u16string module_folder) : ports_(std::move(module_folder)) {}

    Platform MakePlatform(SettingsStore& settings, Clock& clock) override {
        return Platform{ports_.files, clock, ports_.message_box, ports_.app, settings, kSeparator};
    }
    Clock& SystemClock() override { return ports_.clock; }

private:
    Native ports_;
};

// The folder that stands for the module's folder when none is given; empty when there is
// none to be found.
std::filesystem::path DefaultModuleFolder();

// The program's arguments as UTF-8 text. On Windows they are taken from the wide command line,
// so that every character arrives as it was typed; elsewhere they are `argv` as it is.
std::vector<std::string> Arguments(int argc, char** argv);

// The path that a command-line argument names.
std::filesystem::path ArgumentPath(const std::string& argument);

}  // namespace murl::tool
