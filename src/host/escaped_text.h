#pragma once
// The pieces every writer of UTF-16 text as escaped UTF-8 shares (JSON, the simulator's
// readable texts): surrogates, UTF-8, \uXXXX and the walk over a text that decides, unit by
// unit, what needs an escape.

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace murl {

constexpr bool IsHighSurrogate(char16_t c) noexcept {
    return c >= 0xD800 && c <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char16_t c) noexcept {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Whether text[i] is half of a surrogate pair whose other half is missing.
constexpr bool IsLoneSurrogate(std::u16string_view text, size_t i) noexcept {
    if (IsHighSurrogate(text[i])) return i + 1 == text.size() || !IsLowSurrogate(text[i + 1]);
    if (IsLowSurrogate(text[i])) return i == 0 || !IsHighSurrogate(text[i - 1]);
    return false;
}

// Appends code point `cp` (never a surrogate) as UTF-8.
inline void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

enum class HexCase { kUpper, kLower };

// Appends the low `digits` hexadecimal digits of `value`, leading zeros included: the one
// hexadecimal writer of the code base.
inline void AppendHex(std::string& out, uint64_t value, int digits,
                      HexCase letters = HexCase::kUpper) {
    const char* hex = letters == HexCase::kUpper ? "0123456789ABCDEF" : "0123456789abcdef";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += hex[(value >> shift) & 0xF];
}

// Appends `unit` as \uXXXX, upper-case hexadecimal.
inline void AppendHex4(std::string& out, char16_t unit) {
    out += "\\u";
    AppendHex(out, unit, 4);
}

inline void AppendDecimal(std::string& out, int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

// Appends `text` with `escape(unit, out)` deciding for each BMP unit outside a surrogate pair
// whether it needs an escape; a pair becomes its four-byte UTF-8 form, a lone surrogate what
// `lone(unit, out)` makes of it.
template <class Escape, class Lone>
void AppendEscaped(std::string& out, std::u16string_view text, Escape&& escape, Lone&& lone) {
    out.reserve(out.size() + text.size() + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            lone(unit, out);
        } else if (!escape(unit, out)) {
            AppendUtf8(out, unit);
        }
    }
}

}  // namespace murl
