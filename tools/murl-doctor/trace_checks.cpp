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

// The switch's key and value as the player finds them in the registry editor.
std::string SwitchKeyName() {
    return "HKEY_CURRENT_USER\\" + Utf8(trace::kSwitchKey);
}
std::string SwitchName() {
    return SwitchKeyName() + "\\" + Utf8(trace::kSwitchValue);
}
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
        const std::optional<unsigned long long> size = path.empty() ? std::nullopt : FileSize(path);
        if (size) left.push_back(Utf8(path) + " (" + DecimalUtf8(Whole{*size}) + " bytes)");
    }
    return left;
}

std::string Listed(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text;
}

// Whether this account may store the trace switch: the key, or where it would be made, lets
// this account change it. Asked without changing anything; ERROR_SUCCESS when it may.
LONG SwitchWritable() {
    RegistryKey key;
    LONG status =
        RegOpenKeyExW(HKEY_CURRENT_USER, trace::kSwitchKey, 0, KEY_SET_VALUE, PutOut(key));
    if (status == ERROR_FILE_NOT_FOUND) {
        status = RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_CREATE_SUB_KEY, PutOut(key));
    }
    return status;
}

std::string SwitchUnwritable(LONG status) {
    return "the trace switch cannot be stored in " + SwitchKeyName() + ": " +
           SystemText(static_cast<DWORD>(status));
}

std::string SwitchRight() {
    return "sign in to Windows as the account that plays the game, or ask whoever looks after "
           "this computer to let it change " +
           SwitchKeyName() + ".";
}

// Why Murl cannot write its trace, and what to do: each cause's own fix. The trace can be
// switched off instead only where this account may store the switch.
struct Why {
    std::string found, action;
};
Why SystemWhy(DWORD error, bool switchable) {
    const std::string folder = Utf8(TracePath());
    const std::string found = "cannot write in " + folder + ": " + SystemText(error, TracePath());
    const std::string or_off = switchable ? ", or run \"murl-doctor trace off\"." : ".";
    switch (error) {
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_NOT_READY:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_DEV_NOT_EXIST:
            return {found, "make the folder that holds " + folder +
                               " (this account's local application data) reachable again: "
                               "connect its drive, or create the folder" +
                               or_off};
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            return {found, "let this account change " + folder +
                               " or the folder that holds it (Properties, Security)" + or_off};
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return {found, "make room on the drive of " + folder + or_off};
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return {found, "close any program that has the trace file open" + or_off};
        default:
            return {found, switchable ? "run \"murl-doctor trace off\"." : SwitchRight()};
    }
}

Why Unwritable(trace::Refusal refusal, DWORD error, bool switchable) {
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
    return SystemWhy(error, switchable);
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
        return "the number " + DecimalUtf8(value);
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
            return "a value of type " + DecimalUtf8(type);
    }
}

void CheckFile(bool on, const std::vector<std::string>& left, Report& report) {
    if (on) {
        DWORD error = 0;
        const trace::Refusal refusal = trace::File::Look(error);
        if (refusal == trace::Refusal::kNone) return;
        const Why why = Unwritable(refusal, error, SwitchWritable() == ERROR_SUCCESS);
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
                        "off: " + SwitchName() + " holds " + StoredValue() +
                            ", which Murl reads as off (\"murl-doctor trace on\" switches it on)",
                        {},
                        {}});
            break;
        case trace::Switch::kOff:
        case trace::Switch::kAbsent: {
            // "trace on" is proposed only where it can work.
            const LONG writable = SwitchWritable();
            report.Add({"trace.switch",
                        Status::kOk,
                        writable == ERROR_SUCCESS
                            ? "off (\"murl-doctor trace on\" makes Murl write " + file + ")"
                            : "off, and it cannot be switched on for this account: " +
                                  SwitchUnwritable(writable),
                        {},
                        {}});
            break;
        }
    }
    CheckFile(false, left, report);
}

bool SwitchTrace(bool on, std::string& message) {
    DWORD error = 0;
    const trace::Refusal refusal = on ? trace::File::Look(error) : trace::Refusal::kNone;
    if (refusal != trace::Refusal::kNone) {
        const Why why = Unwritable(refusal, error, false);
        message = "The trace was not switched on: Murl could not write it, as " + why.found +
                  ". To do: " + why.action + " Then run \"murl-doctor trace on\" again.";
        return false;
    }
    const LONG status = trace::WriteSwitch(on);
    if (status != ERROR_SUCCESS) {
        message = std::string("The trace was not switched ") + (on ? "on: " : "off: ") +
                  SwitchUnwritable(status) + ". To do: " + SwitchRight();
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
    if (refusal == trace::Refusal::kNotFolder || refusal == trace::Refusal::kNoFolder) {
        // No trace folder, so no trace file: a file in its place is not Murl's to delete.
        message = "There was no trace file to delete.";
        return true;
    }
    if (refusal != trace::Refusal::kNone) {
        const Why why = Unwritable(refusal, error, SwitchWritable() == ERROR_SUCCESS);
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
