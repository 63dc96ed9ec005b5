// murl-sim: the host simulator. Plays scenarios against the plug-in, and looks at its settings
// store and its panel.

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "commands.h"
#include "machine.h"
#include "sim/scenario.h"

namespace murl::tool {

int UsageError(const std::string& message) {
    std::cerr << "murl-sim: " << message << '\n';
    return kExitUsage;
}

namespace {

// Every value is text that we keep as UTF-8; a value that is not would be altered on the way.
std::string Utf8Problem(const std::string& value) {
    return sim::IsUtf8(value) ? std::string() : "not UTF-8 text: " + sim::QuoteInput(value);
}

// --help-all expands the subcommands of subcommands too (settings list, get, set), where
// CLI11 would list only their names.
class ExpandAll final : public CLI::Formatter {
public:
    std::string make_subcommands(const CLI::App* app, CLI::AppFormatMode mode) const override {
        return Formatter::make_subcommands(
            app, mode == CLI::AppFormatMode::Sub ? CLI::AppFormatMode::All : mode);
    }
};

// The subcommands, in the order the help lists them.
constexpr void (*kSubcommands[])(CLI::App&, Commands&) = {
    AddRunCommand,
    AddSettingsCommand,
    AddPanelCommand,
};

// What reached standard output, checked once everything is written.
int CheckOutput(int status) {
    errno = 0;
    std::cout.flush();
    if (std::cout.good()) return status;
    const int error = errno;
    std::cerr << "murl-sim: cannot write to standard output"
              << (error != 0 ? std::string(": ") + std::strerror(error) : std::string()) << '\n';
    return kExitFailure;
}

// The command as people type it: "murl-sim", "run", "settings list".
std::string CommandName(const CLI::App& app) {
    const CLI::App* parent = app.get_parent();
    if (parent == nullptr) return app.get_name();
    return parent->get_parent() == nullptr ? app.get_name()
                                           : CommandName(*parent) + " " + app.get_name();
}

std::string Listing(const std::vector<std::string>& names) {
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) {
        out += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    return out;
}

// Every subcommand under `app` that has the option `name`.
void AddOwners(const CLI::App& app, const std::string& name, std::vector<std::string>& owners) {
    for (const CLI::App* sub : app.get_subcommands({})) {
        if (sub->get_option_no_throw(name) != nullptr) owners.push_back(CommandName(*sub));
        AddOwners(*sub, name, owners);
    }
}

// "; the subcommands [of COMMAND] are: ...", for `at` under the program `app`.
std::string SubcommandsOf(const CLI::App& app, const CLI::App& at) {
    std::vector<std::string> names;
    for (const CLI::App* sub : at.get_subcommands({})) names.push_back(sub->get_name());
    const std::string of = &at == &app ? "" : " of " + CommandName(at);
    return "; the subcommands" + of + " are: " + Listing(names);
}

// What is wrong with a command line that CLI11 refused, where its own message would mislead:
// a subcommand that is none of them, and an option of another subcommand. Empty otherwise.
std::string Mistake(const CLI::App& app, const std::vector<std::string>& arguments) {
    const CLI::App* at = &app;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") break;
        if (argument.size() > 1 && argument.front() == '-') {
            const std::string name = argument.substr(0, argument.find('='));
            if (const CLI::Option* option = at->get_option_no_throw(name)) {
                if (option->get_type_size_min() > 0 && name.size() == argument.size()) ++i;
                continue;
            }
            std::vector<std::string> owners;
            AddOwners(app, name, owners);
            if (owners.empty()) return {};
            return name + " is an option of " + Listing(owners) + ", not of " + CommandName(*at);
        }
        const auto subcommands = at->get_subcommands({});
        if (subcommands.empty()) continue;  // an argument of `at`
        const auto chosen =
            std::find_if(subcommands.begin(), subcommands.end(),
                         [&](const CLI::App* sub) { return sub->get_name() == argument; });
        if (chosen == subcommands.end()) {
            return "unknown subcommand " + Quoted(argument) + SubcommandsOf(app, *at);
        }
        at = *chosen;
    }
    if (at->get_require_subcommand_min() > 0)
        return "a subcommand is missing" + SubcommandsOf(app, *at);
    return {};
}

// Parses the command line; returns the exit status when that is all there is to do.
std::optional<int> Parse(CLI::App& app, int argc, char** argv) {
    const std::vector<std::string> arguments = Arguments(argc, argv);
    try {
        std::vector<const char*> pointers;
        pointers.reserve(arguments.size());
        for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
        app.parse(static_cast<int>(pointers.size()), pointers.data());
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() != static_cast<int>(CLI::ExitCodes::Success)) {
            if (const std::string mistake = Mistake(app, arguments); !mistake.empty()) {
                return UsageError(mistake +
                                  "\nRun with --help or --help-all for more information.");
            }
        }
        const int status = app.exit(e);
        return status == 0 ? kExitOk : kExitUsage;
    }
    return std::nullopt;
}

}  // namespace

CLI::Validator Text() {
    return CLI::Validator(Utf8Problem, "");
}

std::string FolderProblem(const std::string& folder) {
    std::error_code ec;
    const auto status = std::filesystem::status(ArgumentPath(folder), ec);
    if (status.type() == std::filesystem::file_type::not_found) {
        return "the folder " + Quoted(folder) + " does not exist";
    }
    if (!std::filesystem::is_directory(status)) return Quoted(folder) + " is not a folder";
    return {};
}

CLI::Validator ExistingFolder() {
    return CLI::Validator(FolderProblem, "");
}

CLI::Validator StoreFile() {
    return CLI::Validator(StoreProblem, "");
}

CLI::Validator NonEmptyText() {
    return CLI::Validator(
        [](const std::string& value) {
            return value.empty() ? std::string("empty; leave the option out for the default")
                                 : Utf8Problem(value);
        },
        "");
}

}  // namespace murl::tool

int main(int argc, char** argv) {
    using namespace murl::tool;
    std::ios::sync_with_stdio(false);
#ifdef SIGXFSZ
    // A write beyond the file-size limit fails with EFBIG and is reported like any failed write.
    std::signal(SIGXFSZ, SIG_IGN);
#endif

    CLI::App app{"murl-sim: a host for the Murl plug-in, driven by scenario files", "murl-sim"};
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Print the help of every subcommand");
    app.formatter(std::make_shared<ExpandAll>());  // before the subcommands, which inherit it
    Commands commands;
    for (const auto add : kSubcommands) add(app, commands);
    try {
        if (const auto status = Parse(app, argc, argv)) return *status;
        for (const auto& command : commands) {
            if (*command.chosen) return CheckOutput(command.run());
        }
    } catch (const std::exception& e) {
        std::cerr << "murl-sim: " << e.what() << '\n';
        return kExitFailure;
    }
    return kExitUsage;
}
