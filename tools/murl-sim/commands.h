#pragma once
// The subcommands of murl-sim. Each file adds its own to the command line; main runs the one
// that was chosen and returns its exit status.

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

namespace murl::tool {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitAbsent = 1;   // settings get: no such entry
inline constexpr int kExitUsage = 2;    // bad command line, or a scenario that does not parse
inline constexpr int kExitFailure = 3;  // the environment let us down (store, files)

// A subcommand as parsed: what runs it, once the command line has chosen it.
struct Command {
    const CLI::App* chosen;
    std::function<int()> run;
};
using Commands = std::vector<Command>;

// Each adds its subcommand to `app` and what runs it (and its own subcommands) to `commands`.
void AddRunCommand(CLI::App& app, Commands& commands);
void AddSettingsCommand(CLI::App& app, Commands& commands);
void AddPanelCommand(CLI::App& app, Commands& commands);

// Option checks: UTF-8 text, and UTF-8 text that is not empty (a path or a time, where empty
// would quietly stand for the default that leaving the option out gives).
CLI::Validator Text();
CLI::Validator NonEmptyText();
// Why `folder` is no existing folder, or empty when it is one.
std::string FolderProblem(const std::string& folder);
// A folder that exists (checked after NonEmptyText).
CLI::Validator ExistingFolder();
// A settings store file that this platform can open or create: see StoreProblem.
CLI::Validator StoreFile();

// The help of every --store option.
inline constexpr const char* kStoreHelp =
    "Settings store file: a missing file reads as empty and is created at the first write; "
    "its folder must exist (default: $XDG_CONFIG_HOME/murl/settings.sqlite, created with its "
    "folders at the first write)";

// A path or other value as messages quote it: in double quotes, whole.
inline std::string Quoted(const std::string& value) {
    return '"' + value + '"';
}

// Reports a usage error on standard error and returns kExitUsage.
int UsageError(const std::string& message);

}  // namespace murl::tool
