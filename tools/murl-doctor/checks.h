#pragma once
// The doctor's checks of this machine, in report order. Each only looks; none changes a file
// or a registry value.

#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/windows_headers.h"
#include "report.h"

namespace murl::doctor {

// What the checks learn and pass on to the later ones.
struct Findings {
    std::wstring folder;      // the doctor's own folder
    std::wstring module;      // murl.dll beside the doctor
    std::wstring registered;  // the class's InprocServer32 path; empty when not registered
};

void CheckModule(Findings& f, Report& report);
void CheckRegistration(Findings& f, Report& report);
void CheckLoading(const Findings& f, Report& report);
void CheckErrorLog(const Findings& f, Report& report);
void CheckSettings(Report& report);
void CheckTrace(Report& report);

// `murl-doctor trace on|off`: stores the switch for this account; on failure false with the
// reason in `message`.
bool SwitchTrace(bool on, std::string& message);
// `murl-doctor trace clear`: deletes this account's trace files; on failure false with the
// reason in `message`.
bool ClearTrace(std::string& message);

// What the checks share.
inline constexpr char kReinstall[] =
    "run Murl's setup program again: it puts murl.dll back and registers it.";
std::string Utf8(std::wstring_view text);
// The system's text for a Win32 error or an HRESULT, with the number in brackets after it;
// a "%1" in it names `file`.
std::string SystemText(DWORD code, std::wstring_view file = {});
std::string Hex(DWORD value);
bool FileExists(const std::wstring& path);
std::wstring FolderOf(const std::wstring& path);

}  // namespace murl::doctor
