#include "text/cp1252.h"

#include <array>
#include <cstdint>

#include "text/code_points.h"

namespace murl {

namespace {

// The characters of bytes 0x80 to 0x9F. The five bytes without a character map to the C1
// control of the same value, as the platform's own conversion does.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char Encode(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == c) return static_cast<char>(0x80 + i);
    }
    return '?';
}

}  // namespace

std::u16string FromCp1252(std::string_view bytes) {
    std::u16string text(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text[i] = byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t{byte};
    }
    return text;
}

std::string ToCp1252(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    // A character outside the basic plane is one "?".
    ForEachCodePoint(text, [&](char32_t cp, bool) {
        out.push_back(cp < 0x10000 ? Encode(static_cast<char16_t>(cp)) : '?');
    });
    return out;
}

}  // namespace murl
