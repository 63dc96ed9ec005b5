#pragma once
// Code points and their code units: the walk over UTF-16 text by code points, and the one writer
// of each encoding (UTF-8 bytes, UTF-16 units) and the one reader of UTF-8. Each writes to a sink,
// any callable taking one unit, so that a writer into a fixed buffer allocates nothing.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace murl {

constexpr bool IsHighSurrogate(char16_t c) noexcept {
    return c >= 0xD800 && c <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char16_t c) noexcept {
    return c >= 0xDC00 && c <= 0xDFFF;
}
constexpr bool IsSurrogate(char32_t c) noexcept {
    return c >= 0xD800 && c <= 0xDFFF;
}

// Whether text[i] is half of a surrogate pair whose other half is missing.
constexpr bool IsLoneSurrogate(std::u16string_view text, size_t i) noexcept {
    if (IsHighSurrogate(text[i])) return i + 1 == text.size() || !IsLowSurrogate(text[i + 1]);
    if (IsLowSurrogate(text[i])) return i == 0 || !IsHighSurrogate(text[i - 1]);
    return false;
}

// Walks `text` by code points: `visit(cp, lone)` gets a surrogate pair as its code point and any
// other unit as it is, `lone` saying whether it is half of a pair without its other half.
template <class Visit>
constexpr void ForEachCodePoint(std::u16string_view text, Visit&& visit) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            visit(0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[i + 1] - 0xDC00u), false);
            ++i;
        } else {
            visit(char32_t{unit}, IsSurrogate(unit));
        }
    }
}

// How many bytes PutUtf8 writes for `cp`.
constexpr size_t Utf8Size(char32_t cp) noexcept {
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

// Puts `cp` as UTF-8 bytes to `sink`. A surrogate gets its three-byte form, so that a lone one
// survives a round trip through ToUtf16.
template <class Sink>
constexpr void PutUtf8(Sink&& sink, char32_t cp) {
    const size_t size = Utf8Size(cp);
    if (size == 1) return sink(static_cast<char>(cp));
    constexpr unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    sink(static_cast<char>(kLead[size] | (cp >> (6 * (size - 1)))));
    for (size_t rest = size - 1; rest > 0; --rest) {
        sink(static_cast<char>(0x80 | ((cp >> (6 * (rest - 1))) & 0x3F)));
    }
}

// Puts `cp` as UTF-16 units to `sink`: one, or a surrogate pair.
template <class Sink>
constexpr void PutUtf16(Sink&& sink, char32_t cp) {
    if (cp < 0x10000) return sink(static_cast<char16_t>(cp));
    sink(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
    sink(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
}

// One UTF-8 sequence read: its code point and its length in bytes, 0 when malformed (a bad lead
// or continuation byte, a cut sequence, an overlong form, a value past U+10FFFF). An encoded
// surrogate is read as it is; callers that refuse it say so.
struct Utf8Read {
    char32_t cp = 0;
    size_t length = 0;
};

constexpr Utf8Read ReadUtf8(std::string_view text) noexcept {
    const auto lead = static_cast<unsigned char>(text[0]);
    const size_t length = lead < 0x80           ? 1
                          : (lead >> 5) == 0x6  ? 2
                          : (lead >> 4) == 0xE  ? 3
                          : (lead >> 3) == 0x1E ? 4
                                                : 0;
    if (length == 0 || length > text.size()) return {};
    char32_t cp = length == 1 ? lead : lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) {
        const auto c = static_cast<unsigned char>(text[k]);
        if ((c & 0xC0) != 0x80) return {};
        cp = (cp << 6) | (c & 0x3F);
    }
    constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[length] || cp > 0x10FFFF) return {};
    return {cp, length};
}

// The first `most` units of `text`, one fewer where the cut would split a surrogate pair.
constexpr std::u16string_view CutUnits(std::u16string_view text, size_t most) noexcept {
    if (text.size() <= most) return text;
    if (most > 0 && IsHighSurrogate(text[most - 1]) && IsLowSurrogate(text[most])) --most;
    return text.substr(0, most);
}

}  // namespace murl
