// murl-doctor: looks at Murl's installation, registration, error log, settings and trace on
// this machine and for this account, and says what is wrong and what to do. It changes
// nothing, except the trace switch and files when asked (`murl-doctor trace on|off|clear`).

#include "platform/win32/windows_headers.h"

#include <shellapi.h>

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "checks.h"
#include "host/text.h"
#include "murl_version.h"
#include "platform/win32/win32_holders.h"
#include "platform/win32/win32_text.h"
#include "report.h"

namespace {

using namespace murl::doctor;

constexpr int kExitOk = 0;
constexpr int kExitProblem = 1;
constexpr int kExitUsage = 2;

// The release as players see it: 1.0.0.15 is 1.0.15.
std::string Version() {
    return std::to_string(MURL_VERSION_MAJOR) + "." + std::to_string(MURL_VERSION_MINOR) + "." +
           std::to_string(MURL_VERSION_REVISION);
}

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

Report Examine() {
    Findings f;
    f.folder = OwnFolder();
    f.module = f.folder + L"\\murl.dll";
    Report report;
    CheckModule(f, report);
    CheckRegistration(f, report);
    CheckLoading(f, report);
    CheckErrorLog(f, report);
    CheckSettings(report);
    CheckTrace(report);
    return report;
}

}  // namespace

int main() {
    const std::string version = Version();
    CLI::App app{"murl-doctor " + version +
                     ": checks Murl on this computer for this account and says what to do. It "
                     "changes nothing unless a subcommand asks it to.",
                 "murl-doctor"};
    bool json = false, pause = false;
    app.add_flag("--json", json, "Write the report as one JSON document");
    app.add_flag("--pause", pause, "Wait for Enter before closing (the Start-menu entry)");
    std::string state;
    CLI::App* trace = app.add_subcommand(
        "trace",
        "Switch Murl's trace on or off for this account (read when the game starts), or clear "
        "its files");
    trace->add_option("state", state, "on, off or clear")
        ->required()
        ->check(CLI::IsMember({"on", "off", "clear"}));
    try {
        std::vector<std::string> arguments = Arguments();
        std::vector<const char*> pointers;
        pointers.reserve(arguments.size());
        for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
        app.parse(static_cast<int>(pointers.size()), pointers.data());
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? kExitOk : kExitUsage;
    }

    try {
        if (trace->parsed()) {
            std::string message;
            const bool done =
                state == "clear" ? ClearTrace(message) : SwitchTrace(state == "on", message);
            Write(message + "\n");
            return done ? kExitOk : kExitProblem;
        }
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        const Report report = Examine();
        if (SUCCEEDED(com)) CoUninitialize();
        Write(json ? AsJson(report, version) : AsText(report, version));
        if (pause) Pause();
        return report.Problems() == 0 ? kExitOk : kExitProblem;
    } catch (const std::exception& e) {
        Write(std::string("murl-doctor: ") + e.what() + "\n");
        if (pause) Pause();
        return kExitProblem;
    }
}
