#pragma once
// Where murl.dll's trace is switched and where it writes. The switch is per user and lives
// outside the key that holds the plug-in's counters and switches, so the settings store never
// sees it; the file goes to the account's local application data, never the program folder.

namespace murl::win32::trace {

inline constexpr wchar_t kSwitchKey[] = L"Software\\Murl";  // under HKEY_CURRENT_USER
inline constexpr wchar_t kSwitchValue[] = L"Trace";
inline constexpr unsigned long kSwitchOn = 1;  // the one REG_DWORD that switches it on
inline constexpr wchar_t kFolder[] = L"Murl";  // under local application data
inline constexpr wchar_t kFileName[] = L"murl_trace.log";
inline constexpr wchar_t kOlderFileName[] = L"murl_trace.old.log";  // the one older file kept
inline constexpr unsigned long kFileCap = 1ul << 20;  // bytes before the file is rotated

}  // namespace murl::win32::trace
