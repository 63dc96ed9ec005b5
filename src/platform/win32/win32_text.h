#pragma once
// The core's UTF-16 text as the Win32 API's wide strings: the same code units.

#include <string>
#include <string_view>

#include "host/error.h"
#include "text/text.h"

namespace murl::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

inline std::u16string Utf16(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

// `value` in decimal. std::to_wstring would bring the C library's formatted output into
// murl.dll.
inline std::wstring WideDecimal(int64_t value) {
    return Wide(DecimalText(value));
}

}  // namespace murl::win32
