#pragma once
// The doctor's checks of this machine, in report order, then its two commands. Each check only
// looks: none changes a file or a registry value, and none runs a module it has not verified;
// only the commands (SwitchTrace, ClearTrace), which the player types, change anything.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/windows_headers.h"
#include "platform/win32/win32_file_system.h"
#include "report.h"
#include "text/text.h"

namespace murl::doctor {

// What the checks learn and pass on to the later ones.
struct Findings {
    std::wstring own;     // the doctor's own folder
    std::wstring setup;   // the setup program's installation, from its uninstall entry; empty
                          // when the setup program installed no Murl here
    std::wstring folder;  // the installation checked: the setup program's, else the registered
                          // one, else the doctor's own folder; when Murl is not installed, where
                          // it was
    std::wstring module;  // murl.dll of that installation
    std::wstring
        registered;         // the class's InprocServer32 value as stored; empty when not registered
    std::wstring resolved;  // the file a game's process loads for it; empty when it finds none
    bool module_verified = false;  // `module` is byte for byte the murl.dll this release shipped
    bool verified = false;         // so is `resolved`
    bool installed = true;         // false when nothing is registered and no murl.dll is found
};

void CheckModule(Findings& f, Report& report);
void CheckRegistration(Findings& f, Report& report);
void CheckLoading(const Findings& f, Report& report);
void CheckErrorLog(const Findings& f, Report& report);
void CheckSettings(const Findings& f, Report& report);
void CheckTrace(Report& report);
// Room for the trace on its drive, when the trace is on.
void CheckTraceRoom(const Findings& f, Report& report);

// `murl-doctor trace on|off`: stores the switch for this account; on failure false with the
// reason in `message`.
bool SwitchTrace(bool on, std::string& message);
// `murl-doctor trace clear`: deletes this account's trace files; on failure false with the
// reason in `message`.
bool ClearTrace(std::string& message);

// Reads the class's registration into `f.registered` and `f.resolved`, as COM reads it for a
// process whose program and current folders are not Murl's.
void ReadRegistration(Findings& f);
// The folder the setup program installed Murl in, from its uninstall entry; empty when there
// is no entry.
std::wstring SetupInstallation();
// Whether this process's account may have `access` to the file or folder `path`, by its
// security descriptor; on failure the system's error in `error`.
bool MayAccess(const std::wstring& path, DWORD access, DWORD& error);

// Marks every check of `area` that has no row yet as skipped, saying why: a failed step
// leaves the rows after it to one cause.
void SkipRest(Report& report, Area area, const std::string& why);
// The same for the checks `ids` alone.
void SkipRest(Report& report, std::span<const CheckId> ids, const std::string& why);

// When Murl is not installed (`Findings::installed` false), each check names what is left of
// Murl for this account in a note: what and where, and how to remove it.
Row Leftover(CheckId id, const std::string& what, const std::string& removal);

// A file's size and SHA-256 (lower-case hex), read through an open handle.
struct Digest {
    std::string hex;    // empty when the file could not be read
    std::string error;  // why not
    unsigned long long size = 0;
};
Digest Sha256(HANDLE file, const std::wstring& path);
Digest Sha256(const std::wstring& path);
// Whether `digest` is the murl.dll this release shipped.
bool Shipped(const Digest& digest);
// "N bytes, SHA-256 X".
std::string SizeAndDigest(const Digest& digest);

// The room this account has on the drive of `folder` (of its nearest folder that is there).
struct Room {
    std::wstring drive;  // the drive's root (T:\ and the like), or the folder itself
    unsigned long long free = 0;
    DWORD error = 0;  // why the room cannot be told
};
Room RoomFor(const std::wstring& folder);
// "drive T:\", or for a drive mounted in a folder "the drive mounted at C:\Games".
std::string DriveName(const Room& room);
// "only N free on drive X, less than the M".
std::string LessRoomThan(const Room& room, unsigned long long needed);
// The room the error log needs on its drive: 2,048 entries of 512 bytes (a time, a routine
// and a long description from the system), more than many sessions that fail at every event
// write. With less, Murl's next failures may go unrecorded, and the first one that does
// switches the log off until the game restarts.
inline constexpr unsigned long long kLogRoom = 2048ull * 512;

// What the checks share.
inline constexpr char kReinstall[] =
    "run Murl's setup program again: it puts murl.dll back and registers it.";
// The fix for a registration: the setup program where it installed Murl; else "regsvr32" in
// the installation's folder when it holds murl.dll, saying what it risks where any program of
// this account can change that folder; else the setup program.
std::string RegisterHere(const Findings& f);
std::string Utf8(std::wstring_view text);
// The system's text for a Win32 error or an HRESULT, with the number in brackets after it;
// a "%1" in it names `file`.
std::string SystemText(DWORD code, std::wstring_view file = {});
std::string Hex(DWORD value);
bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);
// The size of the file at `path`; nothing where there is no file (a folder, or nothing there).
std::optional<unsigned long long> FileSize(const std::wstring& path);
// Whether two paths name one existing file, by the file-system port's test.
bool SameFile(const std::wstring& a, const std::wstring& b);
// Whether two texts name one path, whether or not a file is there.
bool SamePath(const std::wstring& a, const std::wstring& b);
using win32::FolderOf;

}  // namespace murl::doctor
