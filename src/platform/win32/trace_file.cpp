#include "platform/win32/windows_headers.h"

#include "platform/win32/trace_file.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <cwchar>

#include "platform/file_rules.h"
#include "platform/win32/append_lock.h"
#include "platform/win32/system_calls.h"
#include "text/digits.h"

namespace murl::win32::trace {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// How long a line waits for its turn. Another client holds the file for one line, well under
// a millisecond; the wait covers one descheduled on a busy machine, and keeps what a hung one
// costs the game per event short.
constexpr std::chrono::milliseconds kTurnWait{100};

// The lock every client takes for its line, as the error log's streams do. Nothing holds the
// trace for longer than a line, and a lock the system refuses is done without, as on a file
// system without locks.
struct TurnLock {
    using Value = HANDLE;
    static bool TryLock(HANDLE file) noexcept {
        return append_lock::TryTake(file) != append_lock::Try::kHeld;
    }
    static bool HeldLockAtWork(HANDLE) noexcept { return false; }
    static void Pause() noexcept { Sleep(1); }
};

// Why lines were left out, in the note before the next line written.
constexpr char kLeftFull[] =
    "the trace file was full and could not be moved aside (was it open in another program?)";
constexpr char kLeftBusy[] = "another game client kept the trace file busy for more than 0.1 s";

// A handle from the call table, closed through it.
class Held {
public:
    explicit Held(HANDLE handle = INVALID_HANDLE_VALUE) noexcept : handle_(handle) {}
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() {
        if (open()) system_calls->CloseHandle(handle_);
    }
    bool open() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const noexcept { return handle_; }
    void reset(HANDLE handle) noexcept {
        if (open()) system_calls->CloseHandle(handle_);
        handle_ = handle;
    }
    HANDLE release() noexcept {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }

private:
    HANDLE handle_;
};

// Whether what `handle` opened is a plain folder (`folder`) or a plain file with one name:
// never a link, a junction or a file that another name reaches too.
Refusal Plain(HANDLE handle, bool folder, DWORD& error) noexcept {
    BY_HANDLE_FILE_INFORMATION info;
    if (!system_calls->GetFileInformationByHandle(handle, &info)) {
        error = GetLastError();
        return Refusal::kSystem;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return Refusal::kLink;
    const bool is_folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder != is_folder) return folder ? Refusal::kNotFolder : Refusal::kNotFile;
    if (!folder && info.nNumberOfLinks > 1) return Refusal::kLink;
    return Refusal::kNone;
}

// The trace folder, opened as itself (a link is not followed) and held so that it cannot be
// renamed or replaced meanwhile.
Refusal OpenFolder(Held& folder, DWORD& error) noexcept {
    wchar_t path[MAX_PATH];
    if (!PathOf(nullptr, path)) return Refusal::kNoFolder;
    folder.reset(system_calls->CreateFileW(
        path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder.open()) {
        error = GetLastError();
        return Refusal::kSystem;
    }
    return Plain(folder.get(), true, error);
}

// The file `name` of the trace folder (held open by the caller), opened as itself for
// appending. Readers need not let it be renamed meanwhile.
Refusal OpenIn(const wchar_t* name, DWORD disposition, Held& file, DWORD& error) noexcept {
    wchar_t path[MAX_PATH];
    if (!PathOf(name, path)) return Refusal::kNoFolder;
    file.reset(system_calls->CreateFileW(
        path, FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
        disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.open()) {
        error = GetLastError();
        return Refusal::kSystem;
    }
    return Plain(file.get(), false, error);
}

// Whether two handles hold the same file.
bool SameFile(HANDLE a, HANDLE b) noexcept {
    BY_HANDLE_FILE_INFORMATION one, other;
    return system_calls->GetFileInformationByHandle(a, &one) &&
           system_calls->GetFileInformationByHandle(b, &other) &&
           one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
           one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

// Whether a file that nobody else names can be created in the folder at `path`.
Refusal Probe(const wchar_t* folder, DWORD& error) noexcept {
    wchar_t path[MAX_PATH];
    const auto folder_length = static_cast<size_t>(lstrlenW(folder));
    constexpr wchar_t kProbe[] = L"\\murl-trace-probe-";
    constexpr wchar_t kExtension[] = L".tmp";
    // The folder, the probe's name, the process id (ten digits at most) and the extension.
    if (folder_length + std::size(kProbe) + 10 + std::size(kExtension) > size_t{MAX_PATH}) {
        return Refusal::kNoFolder;
    }
    wchar_t* at = path;
    at = std::copy_n(folder, folder_length, at);
    at = std::copy_n(kProbe, std::size(kProbe) - 1, at);
    PutDecimal([&at](char digit) { *at++ = static_cast<wchar_t>(digit); },
               static_cast<int64_t>(GetCurrentProcessId()));
    std::copy_n(kExtension, std::size(kExtension), at);
    const Held probe(system_calls->CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                               nullptr));
    if (!probe.open()) {
        error = GetLastError();
        return Refusal::kSystem;
    }
    return Refusal::kNone;
}

constexpr const wchar_t* kFileNames[] = {kFileName, kOlderFileName};

bool Missing(DWORD error) noexcept {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

Switch ReadSwitch() noexcept {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSwitchKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return Switch::kAbsent;
    }
    DWORD type = REG_NONE, value = 0, size = sizeof value;
    const LONG status =
        RegQueryValueExW(key, kSwitchValue, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (status == ERROR_FILE_NOT_FOUND) return Switch::kAbsent;
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return Switch::kOther;
    return value == kSwitchOn ? Switch::kOn : value == 0 ? Switch::kOff : Switch::kOther;
}

long WriteSwitch(bool on) noexcept {
    HKEY key;
    LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, kSwitchKey, 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    const DWORD value = on ? kSwitchOn : 0;
    status = RegSetValueExW(key, kSwitchValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value);
    RegCloseKey(key);
    return status;
}

bool PathOf(const wchar_t* name, wchar_t (&path)[MAX_PATH]) noexcept {
    constexpr DWORD kRoom = MAX_PATH - 40;  // for the folder and the longest name
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", path, kRoom);
    if (length == 0 || length >= kRoom) return false;
    if (name) {
        wsprintfW(path + length, L"\\%s\\%s", kFolder, name);
    } else {
        wsprintfW(path + length, L"\\%s", kFolder);
    }
    return true;
}

Refusal File::Open(DWORD disposition) noexcept {
    wchar_t path[MAX_PATH];
    if (!PathOf(nullptr, path)) return Refusal::kNoFolder;
    system_calls->CreateDirectoryW(path, nullptr);
    Held folder, file;
    Refusal refusal = OpenFolder(folder, error_);
    if (refusal == Refusal::kNone) refusal = OpenIn(kFileName, disposition, file, error_);
    if (refusal == Refusal::kNone) handle_ = file.release();
    return refusal;
}

void File::Close() noexcept {
    if (handle_) system_calls->CloseHandle(handle_);
    handle_ = nullptr;
}

// The open file, full, to the older file's name. The file under the name is opened and moved
// by that handle only when it is this one: when another client has moved it already, nothing
// that client began since is moved over it.
void File::MoveAside() noexcept {
    wchar_t path[MAX_PATH], older[MAX_PATH];
    if (!PathOf(kFileName, path) || !PathOf(kOlderFileName, older)) return;
    const Held named(system_calls->CreateFileW(path, DELETE | FILE_READ_ATTRIBUTES, kShareAll,
                                               nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                               nullptr));
    if (!named.open() || !SameFile(handle_, named.get())) return;
    union {
        FILE_RENAME_INFO info;
        BYTE bytes[sizeof(FILE_RENAME_INFO) + sizeof older];
    } rename{};
    const DWORD length = static_cast<DWORD>(wcslen(older));
    rename.info.ReplaceIfExists = TRUE;
    rename.info.FileNameLength = length * DWORD{sizeof(wchar_t)};
    wmemcpy(rename.info.FileName, older, length + 1);
    system_calls->SetFileInformationByHandle(named.get(), FileRenameInfo, &rename, sizeof rename);
}

// Whether the open file is still the one under the trace file's name: another client may have
// moved it aside, and the older file may have gone since.
bool File::Named() const noexcept {
    wchar_t path[MAX_PATH];
    if (!PathOf(kFileName, path)) return false;
    const Held named(system_calls->CreateFileW(path, FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                               OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                               nullptr));
    return named.open() && SameFile(handle_, named.get());
}

// The notes that count the lines left out since the last line written, each a line; their
// length.
DWORD File::Notes(char (&text)[kNotesRoom]) const noexcept {
    const struct {
        DWORD count;
        const char* why;
    } notes[] = {{left_full_, kLeftFull}, {left_busy_, kLeftBusy}};
    DWORD length = 0;
    const auto put = [&text, &length](char c) {
        if (length < kNotesRoom) text[length++] = c;
    };
    const auto put_text = [&put](const char* words) {
        for (; *words != '\0'; ++words) put(*words);
    };
    for (const auto& note : notes) {
        if (note.count == 0) continue;
        put_text("murl trace: ");
        PutDecimal(put, static_cast<int64_t>(note.count));
        put_text(note.count == 1 ? " line was" : " lines were");
        put_text(" left out before this one: ");
        put_text(note.why);
        put_text("\r\n");
    }
    return length;
}

bool File::Write(const char* bytes, DWORD size) noexcept {
    DWORD written = 0;
    if (size == 0 ||
        (system_calls->WriteFile(handle_, bytes, size, &written, nullptr) && written == size)) {
        return true;
    }
    error_ = GetLastError();
    return false;
}

// One try at the line with the file's lock held: kReopen when the file was moved aside, by
// another client or by this one (`moved`), and a new one must be opened.
File::Turn File::AppendInTurn(const char* bytes, DWORD size, bool& moved,
                              Refusal& refusal) noexcept {
    LARGE_INTEGER length;
    if (!system_calls->GetFileSizeEx(handle_, &length)) {
        refusal = Refusal::kSizeUnread;
        return Turn::kDone;
    }
    // Only a file that a line could take past the cap can have been moved aside by another
    // client: the name is looked up, which costs more than the line, only then.
    if (length.QuadPart + kNotesRoom + kLongestLine > static_cast<LONGLONG>(kFileCap) && !Named()) {
        return Turn::kReopen;
    }
    char notes[kNotesRoom];
    const DWORD noted = Notes(notes);
    if (length.QuadPart + noted + size > static_cast<LONGLONG>(kFileCap)) {
        if (moved) {
            ++left_full_;
            refusal = Refusal::kFull;
            return Turn::kDone;
        }
        MoveAside();
        moved = true;
        return Turn::kReopen;
    }
    if (!Write(notes, noted) || !Write(bytes, size)) {
        refusal = Refusal::kSystem;
    } else {
        left_full_ = left_busy_ = 0;
    }
    return Turn::kDone;
}

Refusal File::Append(const char* bytes, DWORD size) noexcept {
    if (size > kLongestLine) {
        error_ = ERROR_INVALID_PARAMETER;
        return Refusal::kSystem;
    }
    bool moved = false;
    // A try for this file, one after another client moved it, one after this one did.
    for (int tries = 0; tries < 3; ++tries) {
        if (!handle_) {
            const Refusal refusal = Open(OPEN_ALWAYS);
            if (refusal != Refusal::kNone) return refusal;
        }
        if (!file_rules::AwaitLock<TurnLock>(handle_, kTurnWait)) break;
        Refusal refusal = Refusal::kNone;
        const Turn turn = AppendInTurn(bytes, size, moved, refusal);
        append_lock::Release(handle_);
        if (turn == Turn::kDone && refusal == Refusal::kNone) return refusal;
        Close();
        if (turn == Turn::kDone) return refusal;
    }
    ++left_busy_;
    return Refusal::kBusy;
}

Refusal File::Look(DWORD& error) noexcept {
    wchar_t path[MAX_PATH];
    if (!PathOf(nullptr, path)) return Refusal::kNoFolder;
    Held folder, file;
    Refusal refusal = OpenFolder(folder, error);
    if (refusal == Refusal::kSystem && Missing(error)) {
        // Murl makes the folder at its first line: whether it can, the parent tells.
        if (wchar_t* cut = wcsrchr(path, L'\\')) *cut = 0;
        return Probe(path, error);
    }
    if (refusal != Refusal::kNone) return refusal;
    refusal = OpenIn(kFileName, OPEN_EXISTING, file, error);
    if (refusal == Refusal::kSystem && Missing(error)) return Probe(path, error);
    return refusal;
}

Refusal Clear(DWORD& error) noexcept {
    wchar_t path[MAX_PATH];
    if (!PathOf(nullptr, path)) return Refusal::kNoFolder;
    {
        Held folder;
        const Refusal refusal = OpenFolder(folder, error);
        if (refusal == Refusal::kSystem && Missing(error)) return Refusal::kNone;
        if (refusal != Refusal::kNone) return refusal;
        for (const wchar_t* name : kFileNames) {
            wchar_t file[MAX_PATH];
            if (PathOf(name, file) && !system_calls->DeleteFileW(file) &&
                !Missing(GetLastError())) {
                error = GetLastError();
                return Refusal::kSystem;
            }
        }
    }
    system_calls->RemoveDirectoryW(path);  // only when nothing else is in it
    return Refusal::kNone;
}

}  // namespace murl::win32::trace
