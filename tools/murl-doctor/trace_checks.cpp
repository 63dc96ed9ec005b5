// The trace: whether this account switched it on, and where it writes.

#include "checks.h"
#include <shlobj.h>
#include "platform/win32/trace_location.h"
#include "platform/win32/win32_holders.h"

namespace murl::doctor {

namespace {

using win32::RegistryKey;

// %LOCALAPPDATA%\Murl\murl_trace.log of this account.
std::wstring TraceFile() {
    wchar_t* folder = nullptr;
    std::wstring path;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder))) path = folder;
    CoTaskMemFree(folder);
    return path + L"\\" + win32::trace::kFolder + L"\\" + win32::trace::kFileName;
}

// ", N bytes so far" for a trace file that is there.
std::string SizeNote(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return {};
    const unsigned long long size =
        (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return ", " + std::to_string(size) + " bytes so far";
}

}  // namespace

void CheckTrace(Report& report) {
    RegistryKey key;
    DWORD value = 0, type = 0, size = sizeof value;
    const bool stored = RegOpenKeyExW(HKEY_CURRENT_USER, win32::trace::kSwitchKey, 0,
                                      KEY_QUERY_VALUE, PutOut(key)) == ERROR_SUCCESS &&
                        RegQueryValueExW(key.get(), win32::trace::kSwitchValue, nullptr, &type,
                                         reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS;
    const std::string file = Utf8(TraceFile());
    if (stored && (type != REG_DWORD || size != sizeof value)) {
        report.Add({"trace.switch",
                    Status::kProblem,
                    "HKEY_CURRENT_USER\\Software\\Murl\\Trace is not a number; Murl takes the "
                    "trace as off",
                    "run \"murl-doctor trace off\" (or \"trace on\" to trace).",
                    {}});
        return;
    }
    if (stored && value == 1) {
        report.Add({"trace.switch",
                    Status::kNote,
                    "on (read when the game starts): Murl writes " + file + SizeNote(TraceFile()),
                    {},
                    {"The trace holds chat text. Send it only to someone you trust, and switch "
                     "it off with \"murl-doctor trace off\" when done."}});
        return;
    }
    report.Add({"trace.switch",
                Status::kOk,
                "off (\"murl-doctor trace on\" makes Murl write " + file + ")",
                {},
                {}});
}

bool SwitchTrace(bool on, std::string& message) {
    RegistryKey key;
    LONG status =
        RegCreateKeyExW(HKEY_CURRENT_USER, win32::trace::kSwitchKey, 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, PutOut(key), nullptr);
    const DWORD value = on ? 1 : 0;
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key.get(), win32::trace::kSwitchValue, 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    if (status != ERROR_SUCCESS) {
        message = "cannot store the trace switch in HKEY_CURRENT_USER\\Software\\Murl: " +
                  SystemText(static_cast<DWORD>(status));
        return false;
    }
    const std::string file = Utf8(TraceFile());
    message = on ? "The trace is on for this account from the next start of the game. Murl "
                   "writes it to " +
                       file +
                       ". It holds chat text: switch it off with "
                       "\"murl-doctor trace off\" when done."
                 : "The trace is off for this account from the next start of the game.";
    return true;
}

}  // namespace murl::doctor
