#include "text/text.h"

#include "text/code_points.h"

namespace murl {

std::u16string ToUtf16(std::string_view in) {
    std::u16string out;
    out.reserve(in.size());
    const auto put = [&](char16_t unit) { out.push_back(unit); };
    while (!in.empty()) {
        const Utf8Read read = ReadUtf8(in);
        PutUtf16(put, read.length == 0 ? char32_t{0xFFFD} : read.cp);
        in.remove_prefix(read.length == 0 ? 1 : read.length);
    }
    return out;
}

std::string ToUtf8(std::u16string_view in) {
    std::string out;
    out.reserve(in.size());
    const auto put = [&](char byte) { out.push_back(byte); };
    ForEachCodePoint(in, [&](char32_t cp, bool) { PutUtf8(put, cp); });
    return out;
}

std::u16string DecimalText(Whole number) {
    std::u16string out;
    PutDecimal([&](char c) { out.push_back(static_cast<char16_t>(c)); }, number);
    return out;
}

std::string DecimalUtf8(Whole number) {
    std::string out;
    PutDecimal([&](char c) { out.push_back(c); }, number);
    return out;
}

}  // namespace murl
