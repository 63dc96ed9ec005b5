// Every path of the vectorised UTF-16 search this processor can take against its plain loop.
// Each input is searched at its own length, from the start and from the starts around the block
// boundaries of every path, for the chat filter's pairs, for pairs the header chooses and for one
// made of the text's own units, so that something is found.
// Header: two pairs of (unit choice, distance, unit choice, distance), one byte each; a unit
// choice below 0x80 is that ASCII unit, any other the text's unit at that place.

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "plugin/search/search.h"
#include "search_paths_check.h"

namespace murl::fuzz {
namespace {

constexpr size_t kLongestDistance = 72;  // beyond a block of every path

char16_t ChooseUnit(uint8_t choice, std::u16string_view text) {
    if (choice < 0x80 || text.empty()) return static_cast<char16_t>(choice & 0x7F);
    return text[choice % text.size()];
}

utf16::Pair MakePair(const uint8_t (&header)[4], std::u16string_view text) {
    return {ChooseUnit(header[0], text), header[1] % kLongestDistance, ChooseUnit(header[2], text),
            header[3] % kLongestDistance};
}

void CheckSearch(std::u16string_view text, const utf16::Pair& chosen_a,
                 const utf16::Pair& chosen_b) {
    const size_t n = text.size();
    const utf16::Pair own{n ? text[n / 2] : u'a', n % 3, n ? text[n - 1] : u'b', n % 19};
    const std::array<utf16::Pair, 2> others[] = {
        {chosen_a, chosen_b}, {chosen_a, chosen_a}, {own, own}, {search_check::kBot, own}};
    const auto check = [&](const std::array<utf16::Pair, 2>& pair,
                           search_check::FixedSearch fixed) {
        search_check::ComparePaths(
            text, pair[0], pair[1],
            [&](const std::string& message) { FUZZ_CHECK(false, message + " text " + Show(text)); },
            std::nullopt, fixed);
        FUZZ_CHECK(utf16::FindEither(text, 0, pair[0], pair[1]) ==
                       utf16::detail::FindEitherPlain(text, 0, pair[0], pair[1]),
                   "the dispatching search differs from the plain loop: text " + Show(text));
    };
    // The filter's pairs also as it searches for them, fixed when compiling.
    for (size_t i = 0; i < search_check::kFilterPairs.size(); ++i) {
        check(search_check::kFilterPairs[i], search_check::kFixedSearches[i]);
    }
    for (const auto& pair : others) check(pair, nullptr);
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
