// murl-sim run: checks the whole scenario, then plays it against the plug-in.

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <sstream>

#include "commands.h"
#include "machine.h"
#include "sim/builtin_binding.h"
#include "text/text.h"
#ifdef _WIN32
#include "sim/com_binding.h"
#endif
#include "sim/error_log_faults.h"
#include "sim/faulting_settings_store.h"
#include "sim/fixed_clock.h"
#include "sim/runner.h"
#include "sim/scenario.h"
#include "sim/sim_host.h"
#include "sim/transcript.h"
#include "sim/xml_parser.h"

namespace murl::tool {

namespace {

namespace fs = std::filesystem;

struct RunOptions {
    bool json = false;
    std::string store;       // empty: the default store
    std::string module_dir;  // empty: the default folder, created when needed
    std::string clock;       // empty: the system clock
    std::string plugin = "builtin";
    std::string dll;       // with plugin "com": create from this DLL instead of the registration
    std::string scenario;  // "-" for standard input
};

// The whole scenario, or the reason it cannot be read.
bool ReadScenario(const std::string& name, std::string& content, std::string& reason) {
    if (name == "-") {
        std::ostringstream all;
        all << std::cin.rdbuf();
        content = std::move(all).str();
        if (std::cin.bad()) reason = "standard input cannot be read";
        return !std::cin.bad();
    }
    std::error_code ec;
    if (fs::is_directory(ArgumentPath(name), ec)) {
        reason = "it is a folder";
        return false;
    }
    errno = 0;
    std::ifstream in(ArgumentPath(name), std::ios::binary);
    if (!in) {
        reason = errno != 0 ? std::strerror(errno) : "it cannot be opened";
        return false;
    }
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        reason = errno != 0 ? std::strerror(errno) : "a read failed";
        return false;
    }
    return true;
}

// A scenario line of a few hundred MiB can exhaust the address space of the 32-bit
// simulator; its longest line is the one to blame.
int OutOfMemory(const RunOptions& options, std::string_view content) {
    const std::string file_name = options.scenario == "-" ? "<stdin>" : options.scenario;
    const std::string simulator = DecimalUtf8(sizeof(void*) * 8) + "-bit simulator";
    size_t longest = 0;
    int at = 0;
    sim::ForEachLine(content, [&](int number, std::string_view line) {
        if (line.size() > longest) {
            longest = line.size();
            at = number;
        }
    });
    if (at == 0) {
        std::cerr << "murl-sim: the scenario \"" << file_name << "\" is too large for the "
                  << simulator << '\n';
    } else {
        std::cerr << "murl-sim: " << file_name << ':' << at << ": line " << at << " ("
                  << longest / (1 << 20) << " MiB) is too long for the " << simulator << '\n';
    }
    return kExitFailure;
}

// The options that do not go together on this build, or that do not hold a value.
std::optional<int> RefuseOptions(const RunOptions& options) {
    const bool com = options.plugin == "com";
#ifdef _WIN32
    if (com && !options.module_dir.empty()) {
        return UsageError(
            "--module-dir does not go with --plugin com: murl.dll keeps its error "
            "log in its own folder");
    }
    if (com && !options.clock.empty()) {
        return UsageError("--clock does not go with --plugin com: murl.dll reads the system clock");
    }
#else
    if (com) {
        return UsageError(
            "--plugin com drives murl.dll through COM and needs the Windows build; "
            "this build has the built-in plug-in only");
    }
#endif
    if (!com && !options.dll.empty()) return UsageError("--dll goes with --plugin com only");
    if (!options.clock.empty() && !sim::ParseDateTime(options.clock)) {
        return UsageError("--clock takes a valid local time as \"YYYY-MM-DD HH:MM:SS\", not \"" +
                          options.clock + "\"");
    }
    return std::nullopt;
}

// Reads the scenario into `content` and checks all of it; returns the exit status when it
// cannot be played.
std::optional<int> ReadAndCheck(const RunOptions& options, std::string& content) {
    std::string reason;
    if (!ReadScenario(options.scenario, content, reason)) {
        return UsageError("cannot read the scenario \"" + options.scenario + "\": " + reason);
    }
    const std::string file_name = options.scenario == "-" ? "<stdin>" : options.scenario;
    const auto errors = sim::CheckScenario(content);
    if (errors.empty()) return std::nullopt;
    for (const auto& error : errors) {
        std::cerr << file_name << ':' << error.line << ": " << error.message << '\n';
    }
    return kExitUsage;
}

std::unique_ptr<sim::PluginBinding> MakePlugin([[maybe_unused]] const RunOptions& options,
                                               const Platform& platform) {
#ifdef _WIN32
    if (options.plugin == "com") return std::make_unique<sim::ComBinding>(ToUtf16(options.dll));
#endif
    return std::make_unique<sim::BuiltinBinding>(platform);
}

// Plays the checked scenario on the store and module folder; writes the transcript.
int Play(const RunOptions& options, Store& store, const fs::path& module_dir,
         const std::string& content) {
    const std::optional<DateTime> fixed_time =
        options.clock.empty() ? std::nullopt : sim::ParseDateTime(options.clock);
    auto parser = sim::MakeXmlParser();
    sim::SimHost host(*parser);
    sim::FaultingSettingsStore settings(store.settings(), host.faults());
    auto ports = MakePorts(module_dir);
    sim::FixedClock fixed_clock(fixed_time.value_or(DateTime{}));
    Clock& clock = fixed_time ? static_cast<Clock&>(fixed_clock) : ports->SystemClock();
    const Platform platform = ports->MakePlatform(settings, clock);

    std::unique_ptr<sim::TranscriptWriter> transcript;
    if (options.json) {
        transcript = std::make_unique<sim::JsonTranscript>(std::cout);
    } else {
        transcript = std::make_unique<sim::TextTranscript>(std::cout);
    }
    {
        const auto plugin = MakePlugin(options, platform);
        sim::ErrorLogFaults error_log(platform, *plugin);
        sim::Runner runner(host, *plugin, *transcript, error_log);
        runner.Run(content);
    }
    transcript->Flush();
    return std::cout.good() ? kExitOk : kExitFailure;
}

int RunScenario(const RunOptions& options, std::string& content) {
    if (const auto refused = RefuseOptions(options)) return *refused;
    fs::path module_dir = ArgumentPath(options.module_dir);
    const bool default_module_dir = module_dir.empty() && options.plugin != "com";
    if (default_module_dir) {
        module_dir = DefaultModuleFolder();
        if (module_dir.empty()) {
            return UsageError("no module folder: set XDG_STATE_HOME or HOME, or give --module-dir");
        }
    }
    if (const auto status = ReadAndCheck(options, content)) return *status;

    std::string refused;
    auto store = OpenStore(options.store, refused);
    if (!store) return UsageError(refused);
    store->Verify();  // a damaged store stops the run before anything is written
    if (default_module_dir) fs::create_directories(module_dir);
    return Play(options, *store, module_dir, content);
}

int Run(const RunOptions& options) {
    std::string content;
    try {
        return RunScenario(options, content);
    } catch (const std::bad_alloc&) {
        std::cout.flush();
        return OutOfMemory(options, content);
    }
}

}  // namespace

void AddRunCommand(CLI::App& app, Commands& commands) {
    auto options = std::make_shared<RunOptions>();
    auto* run = app.add_subcommand("run",
                                   "Play a scenario against the plug-in and print the "
                                   "transcript");
    run->footer("Verbs: " + sim::VerbListing() + "\nThe scenario language: docs/scenarios.md");
    run->add_flag("--json", options->json, "One JSON object per event line instead of text");
    run->add_option("--store", options->store, kStoreHelp)
        ->check(NonEmptyText())
        ->check(StoreFile());
    run->add_option("--module-dir", options->module_dir,
                    "Folder of the plug-in's module, where murl_err.log goes; it must exist "
                    "(default: $XDG_STATE_HOME/murl, created when needed)")
        ->check(NonEmptyText())
        ->check(ExistingFolder());
    run->add_option("--clock", options->clock,
                    "Fixed local time \"YYYY-MM-DD HH:MM:SS\" for every clock reading")
        ->check(NonEmptyText());
#ifdef _WIN32
    constexpr const char* kPluginHelp = "How to reach the plug-in: builtin or com";
#else
    constexpr const char* kPluginHelp =
        "How to reach the plug-in: builtin, or com on the Windows build only";
#endif
    run->add_option("--plugin", options->plugin, kPluginHelp)
        ->check(CLI::IsMember({"builtin", "com"}));
    run->add_option("--dll", options->dll,
                    "With --plugin com: create the plug-in through DllGetClassObject of this "
                    "murl.dll instead of its registration")
        ->check(NonEmptyText());
    run->add_option("SCENARIO", options->scenario, "Scenario file, or - for standard input")
        ->required()
        ->check(NonEmptyText());
    commands.push_back({run, [options] { return Run(*options); }});
}

}  // namespace murl::tool
