#pragma once
// The system's words for an error, as every Windows part of Murl tells them: the COM skin's
// descriptions, the simulator's reasons and the doctor's report.

#include "platform/win32/windows_headers.h"

#include <optional>
#include <string>
#include <string_view>

namespace murl::win32 {

// The system's text for a Win32 error or an HRESULT, without the line break and the full stop
// it ends with; empty when the system has none. With `insert`, each "%1" in it becomes
// `insert`; without, the inserts stay as the system wrote them.
std::u16string SystemMessage(DWORD code, std::optional<std::u16string_view> insert = std::nullopt);

// Puts `insert` in the place of each "%1" of `text`; whether there was one.
bool FillInserts(std::u16string& text, std::u16string_view insert);

}  // namespace murl::win32
