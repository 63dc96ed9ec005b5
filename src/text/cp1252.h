#pragma once
// Windows-1252, the single-byte text format of the log files on every platform.

#include <string>
#include <string_view>

namespace murl {

// Encodes UTF-16 text as Windows-1252 bytes. A character the code page cannot represent,
// a surrogate pair included, becomes one "?"; the conversion never fails.
std::string ToCp1252(std::u16string_view text);

// Decodes Windows-1252 bytes as UTF-16, each byte one unit; the five bytes without a character
// become the C1 control of the same value, as the platform's own conversion does.
std::u16string FromCp1252(std::string_view bytes);

}  // namespace murl
