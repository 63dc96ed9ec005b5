#pragma once
// Windows-1252, the single-byte text format of the log files on every platform.

#include <string>
#include <string_view>

namespace murl {

// Encodes UTF-16 text as Windows-1252 bytes. A character the code page cannot represent,
// a surrogate pair included, becomes one "?"; the conversion never fails.
std::string ToCp1252(std::u16string_view text);

}  // namespace murl
