#pragma once
// The pieces every writer of escaped UTF-16 text shares (JSON, the trace, the readable texts of
// the simulator and the doctor): surrogates, UTF-8, hexadecimal digits and the walk over a text
// that decides, unit by unit, what needs an escape. The walk and the digits write to a sink,
// any callable taking one code point, so a writer into a fixed buffer allocates nothing.

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

// An escape that stands for one character: a backslash and `letter`.
struct NamedEscape {
    char letter;
    char16_t unit;
};

enum class HexCase { kUpper, kLower };

// Puts the low `digits` hexadecimal digits of `value`, leading zeros included, to `sink`: the
// one hexadecimal writer of the code base.
template <class Sink>
void PutHex(Sink&& sink, uint64_t value, int digits, HexCase letters = HexCase::kUpper) {
    const char* hex = letters == HexCase::kUpper ? "0123456789ABCDEF" : "0123456789abcdef";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) sink(hex[(value >> shift) & 0xF]);
}

// Puts `unit` as \uXXXX, upper-case hexadecimal.
template <class Sink>
void PutHex4(Sink&& sink, char16_t unit) {
    sink('\\');
    sink('u');
    PutHex(sink, unit, 4);
}

// The sink that appends UTF-8 to a string.
struct Utf8Sink {
    std::string& out;
    void operator()(char32_t cp) const { AppendUtf8(out, cp); }
};

inline void AppendHex(std::string& out, uint64_t value, int digits,
                      HexCase letters = HexCase::kUpper) {
    PutHex(Utf8Sink{out}, value, digits, letters);
}

inline void AppendHex4(std::string& out, char16_t unit) {
    PutHex4(Utf8Sink{out}, unit);
}

inline void AppendDecimal(std::string& out, int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

// Walks `text`: a surrogate pair goes to `sink` as its code point, a lone surrogate to
// `lone(unit)`, and any other unit to `escape(unit)`, which says whether it wrote an escape; when
// it did not, the unit goes to `sink` as it is.
template <class Sink, class Escape, class Lone>
void PutEscaped(Sink&& sink, std::u16string_view text, Escape&& escape, Lone&& lone) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            sink(0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            lone(unit);
        } else if (!escape(unit)) {
            sink(char32_t{unit});
        }
    }
}

// PutEscaped as UTF-8 appended to `out`, with `escape(unit, out)` and `lone(unit, out)`.
template <class Escape, class Lone>
void AppendEscaped(std::string& out, std::u16string_view text, Escape&& escape, Lone&& lone) {
    out.reserve(out.size() + text.size() + 2);
    PutEscaped(
        Utf8Sink{out}, text, [&](char16_t unit) { return escape(unit, out); },
        [&](char16_t unit) { lone(unit, out); });
}

// The first `most` units of `text`, one fewer where the cut would split a surrogate pair.
constexpr std::u16string_view CutUnits(std::u16string_view text, size_t most) noexcept {
    if (text.size() <= most) return text;
    if (most > 0 && IsHighSurrogate(text[most - 1]) && IsLowSurrogate(text[most])) --most;
    return text.substr(0, most);
}

}  // namespace murl
