// murl-sim: the host simulator. Plays scenarios against the plug-in, and looks at its settings
// store and its panel.

#include <CLI/CLI.hpp>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>

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

CLI::Validator Text() {
    return CLI::Validator(Utf8Problem, "");
}

// A path or a time: empty would quietly stand for the default, which is had by leaving it out.
CLI::Validator NonEmptyText() {
    return CLI::Validator(
        [](const std::string& value) {
            return value.empty() ? std::string("empty; leave the option out for the default")
                                 : Utf8Problem(value);
        },
        "");
}

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

}  // namespace

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

    RunOptions run;
    auto* run_cmd = app.add_subcommand("run",
                                       "Play a scenario against the plug-in and print the "
                                       "transcript");
    run_cmd->add_flag("--json", run.json, "One JSON object per event line instead of text");
    run_cmd
        ->add_option("--store", run.store,
                     "Settings store file (default: $XDG_CONFIG_HOME/murl/settings.sqlite)")
        ->check(NonEmptyText());
    run_cmd
        ->add_option("--module-dir", run.module_dir,
                     "Folder of the plug-in's module, where murl_err.log goes; it must exist "
                     "(default: $XDG_STATE_HOME/murl, created when needed)")
        ->check(NonEmptyText());
    run_cmd
        ->add_option("--clock", run.clock,
                     "Fixed local time \"YYYY-MM-DD HH:MM:SS\" for every clock reading")
        ->check(NonEmptyText());
    run_cmd->add_option("--plugin", run.plugin, "How to reach the plug-in: builtin or com")
        ->check(CLI::IsMember({"builtin", "com"}));
    run_cmd
        ->add_option("--dll", run.dll,
                     "With --plugin com: create the plug-in through DllGetClassObject of this "
                     "murl.dll instead of its registration")
        ->check(NonEmptyText());
    run_cmd->add_option("SCENARIO", run.scenario, "Scenario file, or - for standard input")
        ->required()
        ->check(NonEmptyText());

    SettingsOptions settings;
    auto* settings_cmd = app.add_subcommand("settings", "Read or write the settings store");
    settings_cmd->require_subcommand(1);
    auto* list_cmd = settings_cmd->add_subcommand("list",
                                                  "Print every entry of the application "
                                                  "\"Murl\", by section and key");
    list_cmd->add_flag("--json", settings.json, "One JSON object per entry");
    list_cmd->add_option("--store", settings.store, "Settings store file")->check(NonEmptyText());
    auto* get_cmd = settings_cmd->add_subcommand(
        "get", "Print one value; exit status 1 and no output when it is absent");
    get_cmd->add_option("SECTION", settings.section, "Section")->required()->check(Text());
    get_cmd->add_option("KEY", settings.key, "Key")->required()->check(Text());
    get_cmd->add_option("--store", settings.store, "Settings store file")->check(NonEmptyText());
    auto* set_cmd = settings_cmd->add_subcommand("set", "Create or replace one value");
    set_cmd->add_option("SECTION", settings.section, "Section")->required()->check(Text());
    set_cmd->add_option("KEY", settings.key, "Key")->required()->check(Text());
    set_cmd->add_option("VALUE", settings.value, "Value")->required()->check(Text());
    set_cmd->add_option("--store", settings.store, "Settings store file")->check(NonEmptyText());

    PanelOptions panel;
    auto* panel_cmd =
        app.add_subcommand("panel", "Show the plug-in's panel as its view definition lays it out");
    panel_cmd
        ->add_option("--svg", panel.svg,
                     "Draw the panel into this SVG file instead of "
                     "printing a table of its controls")
        ->check(NonEmptyText());

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

    try {
        if (*run_cmd) return CheckOutput(Run(run));
        if (*list_cmd) return CheckOutput(SettingsList(settings));
        if (*get_cmd) return CheckOutput(SettingsGet(settings));
        if (*set_cmd) return CheckOutput(SettingsSet(settings));
        if (*panel_cmd) return CheckOutput(Panel(panel));
    } catch (const std::exception& e) {
        std::cerr << "murl-sim: " << e.what() << '\n';
        return kExitFailure;
    }
    return kExitUsage;
}
