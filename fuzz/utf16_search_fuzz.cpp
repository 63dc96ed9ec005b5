// The vectorised UTF-16 search against its plain loop. Each input is searched once at its own
// length, from the start and from the starts around the vector boundaries (where the vector
// loop hands over to the overlapping last vector), for the chat filter's pairs, for pairs the
// header chooses and for one made of the text's own units, so that something is found.
// Header: two pairs of (unit choice, distance, unit choice, distance), one byte each; a unit
// choice below 0x80 is that ASCII unit, any other the text's unit at that place.

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "plugin/utf16_search.h"

namespace murl::fuzz {
namespace {

constexpr size_t kLongestDistance = 32;

char16_t ChooseUnit(uint8_t choice, std::u16string_view text) {
    if (choice < 0x80 || text.empty()) return static_cast<char16_t>(choice & 0x7F);
    return text[choice % text.size()];
}

utf16::Pair MakePair(const uint8_t (&header)[4], std::u16string_view text) {
    return {ChooseUnit(header[0], text), header[1] % kLongestDistance, ChooseUnit(header[2], text),
            header[3] % kLongestDistance};
}

// The starts to search from: around the first vectors of 8 and 16 units, around the last
// vector that the pairs (whose farther unit is `reach` on) leave room for, and the last ones.
std::vector<size_t> Starts(size_t length, size_t reach) {
    std::vector<size_t> starts;
    for (const size_t lanes : {size_t{8}, size_t{16}}) {
        for (const size_t at : {size_t{0}, lanes, 2 * lanes}) {
            for (const size_t near : {at, at + 1, at + lanes - 1}) starts.push_back(near);
        }
        for (const size_t back : {reach + lanes + 1, reach + lanes, reach + lanes - 1, size_t{1}}) {
            if (back <= length) starts.push_back(length - back);
        }
    }
    starts.push_back(length);
    starts.push_back(length + 1);
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    while (!starts.empty() && starts.back() > length + 1) starts.pop_back();
    return starts;
}

std::string Describe(const utf16::Pair& p) {
    return "(" + std::to_string(p.first) + "@" + std::to_string(p.first_at) + ", " +
           std::to_string(p.second) + "@" + std::to_string(p.second_at) + ")";
}

void CheckSearch(std::u16string_view text, const utf16::Pair& chosen_a,
                 const utf16::Pair& chosen_b) {
    using Find = bool (*)(std::u16string_view, size_t, utf16::Pair, utf16::Pair, size_t&);
    std::vector<Find> finds;
#if defined(MURL_HAVE_SIMD_SEARCH)
    if (utf16::detail::HasSse2()) finds.push_back(utf16::detail::FindSse2);
    if (utf16::detail::HasAvx2()) finds.push_back(utf16::detail::FindAvx2);
#endif
    const size_t n = text.size();
    const utf16::Pair own{n ? text[n / 2] : u'a', n % 3, n ? text[n - 1] : u'b', n % 19};
    const utf16::Pair bot{u'-', 0, u'-', 2};
    const utf16::Pair pairs[][2] = {{bot, {u'0', 4, u'f', 14}},
                                    {bot, {u'x', 5, u'.', 11}},
                                    {chosen_a, chosen_b},
                                    {chosen_a, chosen_a},
                                    {own, own},
                                    {bot, own}};
    for (const auto& pair : pairs) {
        const utf16::Pair& a = pair[0];
        const utf16::Pair& b = pair[1];
        const size_t reach = std::max({a.first_at, a.second_at, b.first_at, b.second_at});
        for (const size_t from : Starts(n, reach)) {
            const size_t expected = utf16::detail::FindEitherPlain(text, from, a, b);
            const auto context = [&] {  // built only for a failure
                return "length " + std::to_string(n) + " from " + std::to_string(from) + " pairs " +
                       Describe(a) + " " + Describe(b) + " text " + Show(text);
            };
            for (const Find find : finds) {
                size_t found = 0;
                if (!find(text, from, a, b, found)) continue;  // too short for its vector
                FUZZ_CHECK(found == expected, context() + " found " + std::to_string(found));
            }
            FUZZ_CHECK(utf16::FindEither(text, from, a, b) == expected, context());
        }
    }
}

}  // namespace
}  // namespace murl::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace murl::fuzz;
    Input in(data, size);
    uint8_t first[4], second[4];
    for (auto& byte : first) byte = in.Byte();
    for (auto& byte : second) byte = in.Byte();
    const std::u16string text = in.RestAsUtf16();
    CheckSearch(text, MakePair(first, text), MakePair(second, text));
    return 0;
}
