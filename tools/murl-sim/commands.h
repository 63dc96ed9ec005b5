#pragma once
// The subcommands of murl-sim. Each returns the process's exit status.

#include <optional>
#include <string>

namespace murl::tool {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitAbsent = 1;   // settings get: no such entry
inline constexpr int kExitUsage = 2;    // bad command line, or a scenario that does not parse
inline constexpr int kExitFailure = 3;  // the environment let us down (store, files)

struct RunOptions {
    bool json = false;
    std::string store;       // empty: the default store
    std::string module_dir;  // empty: the default folder, created when needed
    std::string clock;       // empty: the system clock
    std::string plugin = "builtin";
    std::string dll;       // with plugin "com": create from this DLL instead of the registration
    std::string scenario;  // "-" for standard input
};
int Run(const RunOptions& options);

struct SettingsOptions {
    bool json = false;
    std::string store;
    std::string section, key, value;
};
int SettingsList(const SettingsOptions& options);
int SettingsGet(const SettingsOptions& options);
int SettingsSet(const SettingsOptions& options);

struct PanelOptions {
    std::string svg;  // empty: print the controls as a table
};
int Panel(const PanelOptions& options);

// Reports a usage error on standard error and returns kExitUsage.
int UsageError(const std::string& message);

}  // namespace murl::tool
