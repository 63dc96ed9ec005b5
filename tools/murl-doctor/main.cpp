// murl-doctor: looks at Murl's installation, registration, error log, settings and trace on
// this machine and for this account, and says what is wrong and what to do. It changes
// nothing, except the trace switch and files when asked (`murl-doctor trace on|off|clear`).

#include "platform/win32/windows_headers.h"

#include <shellapi.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <string>
#include <vector>

#include "checks.h"
#include "text/json.h"
#include "text/text.h"
#include "murl_version.h"
#include "platform/app_info.h"
#include "platform/win32/win32_holders.h"
#include "platform/win32/win32_text.h"
#include "report.h"

namespace {

using namespace murl::doctor;

constexpr int kExitOk = 0;
constexpr int kExitProblem = 1;
constexpr int kExitUsage = 2;

std::string Version() {
    return murl::ToUtf8(
        murl::ReleaseText({MURL_VERSION_MAJOR, MURL_VERSION_MINOR, MURL_VERSION_REVISION}));
}

constexpr char kUsage[] =
    "usage: murl-doctor [--json] [--pause]      checks Murl and says what to do\n"
    "       murl-doctor [--json] trace on|off   switches Murl's trace for this account\n"
    "       murl-doctor [--json] trace clear    deletes this account's trace files\n";

// UTF-8 `text` to standard output: as characters to a console, as bytes to a file or pipe.
void Write(const std::string& text) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode)) {
        const std::wstring wide = murl::win32::Wide(murl::ToUtf16(text));
        DWORD written = 0;
        WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    DWORD written = 0;
    WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Keeps a window opened for the report (the Start-menu entry) until the player presses Enter.
void Pause() {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(in, &mode)) return;
    Write("\nPress Enter to close this window.\n");
    wchar_t line[16];
    DWORD read = 0;
    ReadConsoleW(in, line, 16, &read, nullptr);
}

std::vector<std::string> Arguments() {
    int count = 0;
    const murl::win32::LocalMemory<wchar_t**> wide(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::string> arguments;
    for (int i = 0; wide.get() && i < count; ++i) arguments.push_back(Utf8(wide.get()[i]));
    return arguments;
}

std::wstring OwnFolder() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return L".";
        if (length < path.size()) return FolderOf(std::wstring(path.data(), length));
        path.resize(path.size() * 2);
    }
}

// The installation the checks judge, whichever copy of Murl this doctor runs from: the setup
// program's, where its uninstall entry names one; else the one the class is registered to, as
// a game finds it; else the doctor's own folder.
Findings ChooseInstallation() {
    Findings f;
    f.own = OwnFolder();
    f.setup = SetupInstallation();
    ReadRegistration(f);
    if (!f.setup.empty()) {
        f.folder = f.setup;
        f.module = f.folder + L"\\murl.dll";
    } else if (!f.resolved.empty() && FileExists(f.resolved)) {
        f.folder = FolderOf(f.resolved);
        f.module = f.resolved;
    } else {
        f.folder = f.own;
        f.module = f.folder + L"\\murl.dll";
    }
    return f;
}

Report Examine() {
    Findings f = ChooseInstallation();
    Report report;
    CheckModule(f, report);
    CheckRegistration(f, report);
    CheckLoading(f, report);
    CheckErrorLog(f, report);
    CheckSettings(f, report);
    CheckTrace(report);
    CheckTraceRoom(f, report);
    return report;
}

// One answer that is not a report: the outcome of a subcommand, or a mistake with the usage.
void Answer(bool json, std::string_view version, bool ok, const std::string& message,
            std::string_view usage = {}) {
    if (!json) return Write(message + "\n" + std::string(usage));
    std::string out;
    murl::JsonWriter answer(out);
    answer.Object().Member("doctor", version).Boolean("ok", ok).Member("message", message);
    if (!usage.empty()) answer.Member("usage", usage);
    answer.Close();
    Write(out + "\n");
}

// The command line as the player gave it; `mistake` says in plain words what is wrong with it.
struct CommandLine {
    bool json = false, pause = false, trace = false;
    std::string state, mistake;
    std::string help;  // asked for: the help text
};

// What is wrong with a command line that parsed, in the player's words; empty when nothing is.
std::string Mistake(const CommandLine& line, const std::vector<std::string>& extras) {
    if (!extras.empty()) return "murl-doctor does not know \"" + extras.front() + "\".";
    if (!line.trace) return {};
    if (line.state.empty()) {
        return "say whether to switch the trace on or off, or clear its files: \"trace on\", "
               "\"trace off\" or \"trace clear\".";
    }
    if (line.state != "on" && line.state != "off" && line.state != "clear") {
        return "the trace is switched \"on\" or \"off\", or its files cleared with \"clear\", "
               "not \"" +
               line.state + "\".";
    }
    return {};
}

CommandLine Parse(const std::string& version) {
    CommandLine line;
    CLI::App app{"murl-doctor " + version +
                     ": checks Murl on this computer for this account and says what to do. It "
                     "changes nothing unless a subcommand asks it to.",
                 "murl-doctor"};
    app.allow_extras();
    app.add_flag("--json", line.json, "Write the answer as one JSON document");
    app.add_flag("--pause", line.pause, "Wait for Enter before closing (the Start-menu entry)");
    CLI::App* trace = app.add_subcommand(
        "trace",
        "Switch Murl's trace on or off for this account (read when the game starts), or clear "
        "its files");
    trace->allow_extras()->fallthrough();
    trace->add_option("state", line.state, "on, off or clear");
    const std::vector<std::string> arguments = Arguments();
    line.json = std::find(arguments.begin(), arguments.end(), "--json") != arguments.end();
    std::vector<const char*> pointers;
    pointers.reserve(arguments.size());
    for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
    try {
        app.parse(static_cast<int>(pointers.size()), pointers.data());
    } catch (const CLI::CallForHelp&) {
        line.help = app.help();
        return line;
    } catch (const CLI::ParseError&) {
        line.mistake = "murl-doctor does not understand its command line.";
        return line;
    }
    line.trace = trace->parsed();
    std::vector<std::string> extras = app.remaining();
    if (line.trace) {
        const std::vector<std::string> more = trace->remaining();
        extras.insert(extras.end(), more.begin(), more.end());
    }
    line.mistake = Mistake(line, extras);
    return line;
}

}  // namespace

int main() {
    const std::string version = Version();
    const CommandLine line = Parse(version);
    if (!line.help.empty()) {
        Write(line.help);
        return kExitOk;
    }
    if (!line.mistake.empty()) {
        Answer(line.json, version, false, "murl-doctor: " + line.mistake, kUsage);
        return kExitUsage;
    }
    try {
        if (line.trace) {
            std::string message;
            const bool done = line.state == "clear" ? ClearTrace(message)
                                                    : SwitchTrace(line.state == "on", message);
            Answer(line.json, version, done, message);
            return done ? kExitOk : kExitProblem;
        }
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        const Report report = Examine();
        if (SUCCEEDED(com)) CoUninitialize();
        Write(line.json ? AsJson(report, version) : AsText(report, version));
        if (line.pause) Pause();
        return report.Problems() == 0 ? kExitOk : kExitProblem;
    } catch (const std::exception& e) {
        Answer(line.json, version, false, std::string("murl-doctor: ") + e.what());
        if (line.pause) Pause();
        return kExitProblem;
    }
}
