#pragma once
// The trace's switch and file, for murl.dll and the doctor alike: how the switch is read, where
// the file lives, and its opening, cap and rotation. The file is reached through the Win32 call
// table only, so a test can play every fault. Nothing here allocates or throws.
//
// The folder is found through the account's LOCALAPPDATA variable, not the shell's known
// folder: murl.dll runs inside the game's process, may import no shell DLL, and the uninstaller
// reads the same variable of the signed-in account from its hive.

#include "platform/win32/windows_headers.h"

#include "platform/win32/trace_location.h"

namespace murl::win32::trace {

// What this account's switch holds. Only the value "murl-doctor trace on" writes (a REG_DWORD
// of 1) is kOn; any other value, of any type, leaves the trace off.
enum class Switch { kAbsent, kOff, kOn, kOther };
Switch ReadSwitch() noexcept;
// Stores the switch for this account, on or off; the system's status, ERROR_SUCCESS when stored.
long WriteSwitch(bool on) noexcept;

// %LOCALAPPDATA%\Murl, or the file `name` in it; false when the account has no such variable
// or the path would not fit.
bool PathOf(const wchar_t* name, wchar_t (&path)[MAX_PATH]) noexcept;

// Why a line stays out of the file.
enum class Refusal {
    kNone,
    kNoFolder,    // the account has no local application data folder
    kNotFolder,   // something other than a folder stands where the folder should be
    kNotFile,     // something other than a file stands where the file should be
    kLink,        // the folder or the file is a link, a junction or has a second name
    kFull,        // the file is full and could not be moved aside
    kSizeUnread,  // the file's size cannot be read, so its cap cannot be kept
    kBusy,        // another client kept the file past the wait: this line alone stays out
    kSystem,      // the system refused; error() says why
};

// The trace file of this account, appended to by every process of it that traces. Constant
// initialised and without a destructor, so that murl.dll can hold one for its whole life:
// Close() lets go of the file.
class File {
public:
    constexpr File() noexcept = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // The longest line taken; murl.dll's are at most about 4.5 KiB.
    static constexpr DWORD kLongestLine = 8192;

    // One whole line to the end of the file, never past its cap, in turn with every other
    // client of the account: a full file replaces the older one and a new file is begun. A
    // line that cannot wait for its turn, or that a full file that cannot be moved aside
    // keeps out, stays out, and the next line written follows a note that counts it.
    Refusal Append(const char* bytes, DWORD size) noexcept;
    // Counts a line that the caller kept out after kFull, for that note.
    void LeaveOut() noexcept { ++left_full_; }
    void Close() noexcept;
    // The system's error behind the last kSystem.
    DWORD error() const noexcept { return error_; }

    // Whether a line could be appended now, without creating or changing anything: the
    // doctor's question. A folder or file not there yet is tried by creating a probe file
    // that goes when closed.
    static Refusal Look(DWORD& error) noexcept;

private:
    enum class Turn { kDone, kReopen };
    Refusal Open(DWORD disposition) noexcept;
    Turn AppendInTurn(const char* bytes, DWORD size, bool& moved, Refusal& refusal) noexcept;
    bool Named() const noexcept;
    static constexpr size_t kNotesRoom = 400;
    DWORD Notes(char (&text)[kNotesRoom]) const noexcept;
    bool Write(const char* bytes, DWORD size) noexcept;
    void MoveAside() noexcept;

    HANDLE handle_ = nullptr;  // none open
    DWORD error_ = 0;
    DWORD left_full_ = 0;  // lines left out: the full file could not be moved aside
    DWORD left_busy_ = 0;  // lines left out: another client kept the file too long
};

// Deletes this account's trace files and then the folder when empty, never through a link;
// kNone when none is left.
Refusal Clear(DWORD& error) noexcept;

}  // namespace murl::win32::trace
