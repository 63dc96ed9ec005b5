// murl-sim: the host simulator. Plays scenarios against the plug-in, and looks at its settings
// store and its panel.

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

// Parses the command line; returns the exit status when that is all there is to do.
std::optional<int> Parse(CLI::App& app, int argc, char** argv) {
    try {
        const std::vector<std::string> arguments = Arguments(argc, argv);
        std::vector<const char*> pointers;
        pointers.reserve(arguments.size());
        for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
        app.parse(static_cast<int>(pointers.size()), pointers.data());
    } catch (const CLI::ParseError& e) {
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
