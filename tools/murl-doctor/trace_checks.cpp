// The trace: whether this account switched it on, whether Murl can write it, and what it left.
// The switch, the path and the file's rules are murl.dll's own (platform/win32/trace_file.h).

#include "checks.h"

#include <array>

#include "platform/win32/trace_file.h"
#include "platform/win32/win32_holders.h"

namespace murl::doctor {

namespace {

namespace trace = win32::trace;
using win32::RegistryKey;

constexpr char kSwitchName[] = "HKEY_CURRENT_USER\\Software\\Murl\\Trace";
constexpr char kClear[] =
    "\"murl-doctor trace clear\" deletes them (or delete them by hand while the game is closed).";

// This account's trace folder, or a file in it; empty when the account has no such folder.
std::wstring TracePath(const wchar_t* name = nullptr) {
    wchar_t path[MAX_PATH];
    return trace::PathOf(name, path) ? std::wstring(path) : std::wstring();
}

// The trace files this account has, with their sizes.
std::vector<std::string> FilesLeft() {
    std::vector<std::string> left;
    for (const wchar_t* name : std::array{trace::kFileName, trace::kOlderFileName}) {
        const std::wstring path = TracePath(name);
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (path.empty() || !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            continue;
        }
        const unsigned long long size =
            (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        left.push_back(Utf8(path) + " (" + std::to_string(size) + " bytes)");
    }
    return left;
}

std::string Listed(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text;
}

// Why Murl cannot write its trace, and what to do.
struct Why {
    std::string found, action;
};
Why Unwritable(trace::Refusal refusal, DWORD error) {
    const std::string folder = Utf8(TracePath());
    switch (refusal) {
        case trace::Refusal::kNoFolder:
            return {"this account has no LOCALAPPDATA folder for it",
                    "sign in to Windows with a full account (the trace needs its own local "
                    "application data folder)."};
        case trace::Refusal::kNotFolder:
            return {folder + " is a file, not a folder",
                    "delete or rename the file " + folder + "."};
        case trace::Refusal::kNotFile:
            return {Utf8(TracePath(trace::kFileName)) + " is a folder, not a file",
                    "delete or rename that folder."};
        case trace::Refusal::kLink:
            return {folder +
                        " or the trace file in it is a link to another place, which Murl "
                        "does not follow",
                    "delete the link (not what it points to), then start the game again."};
        case trace::Refusal::kFull:
            return {"the trace file is full and cannot be moved aside",
                    "close the program that has it open."};
        case trace::Refusal::kSizeUnread:
            return {"the size of the trace file cannot be read",
                    "run \"murl-doctor trace clear\"."};
        case trace::Refusal::kBusy:
        case trace::Refusal::kSystem:
        case trace::Refusal::kNone:
            break;
    }
    return {"cannot write in " + folder + ": " + SystemText(error, TracePath()),
            "close any program that has the trace file open, or run \"murl-doctor trace off\"."};
}

// The stored value as it is, for a switch that is neither on nor off.
std::string StoredValue() {
    RegistryKey key;
    DWORD type = REG_NONE, size = 0;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, trace::kSwitchKey, 0, KEY_QUERY_VALUE, PutOut(key)) !=
            ERROR_SUCCESS ||
        RegQueryValueExW(key.get(), trace::kSwitchValue, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS) {
        return "a value that cannot be read";
    }
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD value = 0;
        RegQueryValueExW(key.get(), trace::kSwitchValue, nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&value), &size);
        return "the number " + std::to_string(value);
    }
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
        case REG_MULTI_SZ:
            return "a text";
        case REG_QWORD:
            return "a 64-bit number";
        case REG_BINARY:
            return "bytes";
        default:
            return "a value of type " + std::to_string(type);
    }
}

void CheckFile(bool on, const std::vector<std::string>& left, Report& report) {
    if (on) {
        DWORD error = 0;
        const trace::Refusal refusal = trace::File::Look(error);
        if (refusal == trace::Refusal::kNone) return;
        const Why why = Unwritable(refusal, error);
        report.Add({"trace.file",
                    Status::kProblem,
                    "the trace is on, but Murl cannot write it: " + why.found,
                    why.action,
                    {}});
        return;
    }
    if (left.empty()) return;
    report.Add({"trace.file",
                Status::kNote,
                "trace files left while the trace is off: " + Listed(left),
                {},
                {std::string("They hold chat text. ") + kClear}});
}

}  // namespace

void CheckTrace(Report& report) {
    const std::string file = Utf8(TracePath(trace::kFileName));
    const std::vector<std::string> left = FilesLeft();
    switch (trace::ReadSwitch()) {
        case trace::Switch::kOn:
            report.Add({"trace.switch",
                        Status::kNote,
                        "on (read when the game starts): Murl writes " + file,
                        {},
                        {"The trace holds chat text. Send it only to someone you trust, and switch "
                         "it off with \"murl-doctor trace off\" when done.",
                         "Written so far: " + (left.empty() ? "nothing" : Listed(left)) + "."}});
            CheckFile(true, left, report);
            return;
        case trace::Switch::kOther:
            report.Add({"trace.switch",
                        Status::kNote,
                        std::string("off: ") + kSwitchName + " holds " + StoredValue() +
                            ", which Murl reads as off (\"murl-doctor trace on\" switches it on)",
                        {},
                        {}});
            break;
        case trace::Switch::kOff:
        case trace::Switch::kAbsent:
            report.Add({"trace.switch",
                        Status::kOk,
                        "off (\"murl-doctor trace on\" makes Murl write " + file + ")",
                        {},
                        {}});
            break;
    }
    CheckFile(false, left, report);
}

bool SwitchTrace(bool on, std::string& message) {
    RegistryKey key;
    LONG status =
        RegCreateKeyExW(HKEY_CURRENT_USER, trace::kSwitchKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, PutOut(key), nullptr);
    const DWORD value = on ? trace::kSwitchOn : 0;
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key.get(), trace::kSwitchValue, 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    if (status != ERROR_SUCCESS) {
        message = "cannot store the trace switch in HKEY_CURRENT_USER\\Software\\Murl: " +
                  SystemText(static_cast<DWORD>(status));
        return false;
    }
    if (on) {
        message =
            "The trace is on for this account from the next start of the game. Murl "
            "writes it to " +
            Utf8(TracePath(trace::kFileName)) +
            ". It holds chat text: switch it off with \"murl-doctor trace off\" when done.";
        return true;
    }
    const std::vector<std::string> left = FilesLeft();
    message = "The trace is off for this account from the next start of the game.";
    message += left.empty()
                   ? " No trace file is left."
                   : " Its files stay: " + Listed(left) + ". They hold chat text: " + kClear;
    return true;
}

bool ClearTrace(std::string& message) {
    const std::vector<std::string> left = FilesLeft();
    DWORD error = 0;
    const trace::Refusal refusal = trace::Clear(error);
    if (refusal != trace::Refusal::kNone) {
        const Why why = Unwritable(refusal, error);
        message = "cannot delete the trace files: " + why.found + "; " + why.action;
        return false;
    }
    message =
        left.empty() ? "There was no trace file to delete." : "Deleted: " + Listed(left) + ".";
    if (trace::ReadSwitch() == trace::Switch::kOn) {
        message += " The trace is still on: \"murl-doctor trace off\" switches it off.";
    }
    return true;
}

}  // namespace murl::doctor
