#pragma once
// Text helpers. The core's text is UTF-16 (std::u16string): one character is one code unit.

#include <cstdint>
#include <string>
#include <string_view>

#include "text/digits.h"

namespace murl {

// UTF-8 <-> UTF-16. Invalid input never fails: a malformed UTF-8 sequence becomes U+FFFD,
// a lone surrogate is encoded as its three-byte form so that it survives a round trip.
std::u16string ToUtf16(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

// Plain decimal text of a number, as PutDecimal writes it: "-" for negatives, no blanks, no
// leading zeros; in UTF-16 and in UTF-8.
std::u16string DecimalText(Whole number);
std::string DecimalUtf8(Whole number);
inline std::u16string DecimalText(int64_t value) {
    return DecimalText(WholeOf(value));
}
inline std::string DecimalUtf8(int64_t value) {
    return DecimalUtf8(WholeOf(value));
}

// ASCII-only lower case of one code unit; every other unit is returned unchanged.
constexpr char16_t AsciiLower(char16_t c) noexcept {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

}  // namespace murl
