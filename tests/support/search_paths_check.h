#pragma once
// Every search path this processor can take against the plain loop, on texts where pairs stand
// around the block boundaries of every path. Shared by the native tests, the fuzz target and the
// Windows tests, which run it built as murl.dll's search is built.

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "plugin/chat_rules.h"
#include "plugin/search/search.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace murl::search_check {

// The widest path that the processor itself reports it has and the system saves the registers
// of, read apart from the search's own detection: by CPUID leaf, register and bit from the
// processor manuals, and XCR0 read only where the processor says the system enabled XGETBV.
inline utf16::SearchPath ReportedPath() {
    using utf16::SearchPath;
#if defined(__i386__) || defined(__x86_64__)
    enum Register : uint8_t { kEbx, kEcx, kEdx };
    struct Need {
        SearchPath path;
        unsigned leaf;
        Register in;
        unsigned bit;
    };
    static constexpr Need kOsxsave{SearchPath::kAvx2, 1, kEcx, 27};             // XGETBV enabled
    static constexpr Need kInstructions[] = {{SearchPath::kSse2, 1, kEdx, 26},  // SSE2
                                             kOsxsave,
                                             {SearchPath::kAvx2, 1, kEcx, 28},       // AVX
                                             {SearchPath::kAvx2, 7, kEbx, 5},        // AVX2
                                             {SearchPath::kAvx512bw, 7, kEbx, 16},   // AVX512F
                                             {SearchPath::kAvx512bw, 7, kEbx, 30}};  // AVX512BW
    struct Saved {
        SearchPath path;
        uint32_t xcr0;
    };
    static constexpr Saved kRegisters[] = {
        {SearchPath::kAvx2, 0x6},                            // XMM and YMM state
        {SearchPath::kAvx512bw, 0x6 | 0x20 | 0x40 | 0x80}};  // opmask, ZMM upper halves, ZMM16-31
    const auto has = [](const Need& need) {
        unsigned r[4] = {};
        if (__get_cpuid_count(need.leaf, 0, &r[0], &r[1], &r[2], &r[3]) == 0) return false;
        const unsigned value = need.in == kEbx ? r[1] : need.in == kEcx ? r[2] : r[3];
        return ((value >> need.bit) & 1) != 0;
    };
    uint32_t xcr0 = 0;
    if (has(kOsxsave)) {
        uint32_t high = 0;
        __asm__ volatile("xgetbv" : "=a"(xcr0), "=d"(high) : "c"(0));
    }
    SearchPath reported = SearchPath::kPlain;
    for (const SearchPath path : utf16::kSearchPaths) {
        if (path == SearchPath::kPlain) continue;
        bool takes = true;
        for (const Need& need : kInstructions) takes &= need.path != path || has(need);
        for (const Saved& saved : kRegisters) {
            takes &= saved.path != path || (xcr0 & saved.xcr0) == saved.xcr0;
        }
        if (!takes) break;
        reported = path;
    }
    return reported;
#else
    return SearchPath::kPlain;
#endif
}

inline std::string Describe(const utf16::Pair& p) {
    std::string text(1, '(');
    text += std::to_string(p.first) + "@" + std::to_string(p.first_at) + ", ";
    text += std::to_string(p.second) + "@" + std::to_string(p.second_at) + ")";
    return text;
}

// The starts to search from: around the first blocks of every path (8, 32 and 64 units), around
// the last ones that the pairs (whose farther unit is `reach` on) leave room for, and the last.
inline std::vector<size_t> Starts(size_t length, size_t reach) {
    std::vector<size_t> starts;
    for (const size_t block : {size_t{8}, size_t{16}, size_t{32}, size_t{64}}) {
        for (const size_t at : {size_t{0}, block, 2 * block}) {
            for (const size_t around : {at, at + 1, at + block - 1}) starts.push_back(around);
        }
        for (const size_t back : {reach + block + 1, reach + block, reach + block - 1, size_t{1}}) {
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

// The chat filter's pairs, as it searches for them: the bot mark's hyphens with each rule's
// literal, each alone, and the bot mark alone.
inline constexpr utf16::Pair kBot = kBotHyphens;
inline constexpr auto kFilterPairs = [] {
    std::array<std::array<utf16::Pair, 2>, 2 * kChatLiterals.size() + 1> pairs{};
    for (size_t i = 0; i < kChatLiterals.size(); ++i) {
        pairs[2 * i] = {kBot, kChatLiterals[i].pair};
        pairs[2 * i + 1] = {kChatLiterals[i].pair, kChatLiterals[i].pair};
    }
    pairs.back() = {kBot, kBot};
    return pairs;
}();

// The search of each of kFilterPairs as the filter makes it, its pairs constants of its code.
using FixedSearch = size_t (*)(utf16::SearchPath, std::u16string_view, size_t);
template <size_t... I>
constexpr auto FixedSearches(std::index_sequence<I...>) {
    return std::array<FixedSearch, sizeof...(I)>{
        &utf16::detail::FindOn<kFilterPairs[I][0], kFilterPairs[I][1]>...};
}
inline constexpr auto kFixedSearches =
    FixedSearches(std::make_index_sequence<kFilterPairs.size()>());

// Calls fail(message) for each start from which the answer of `path` (each path this processor
// can take, if none is named) differs from the plain loop's.
// `fixed`, if given, is the same search with its pairs fixed when compiling, compared too.
template <class Fail>
void ComparePaths(std::u16string_view text, const utf16::Pair& a, const utf16::Pair& b, Fail&& fail,
                  std::optional<utf16::SearchPath> only = std::nullopt,
                  FixedSearch fixed = nullptr) {
    const size_t reach = std::max({a.first_at, a.second_at, b.first_at, b.second_at});
    for (const size_t from : Starts(text.size(), reach)) {
        const size_t expected = utf16::detail::FindEitherPlain(text, from, a, b);
        for (const utf16::SearchPath path : utf16::kSearchPaths) {
            if (path > utf16::BestSearchPath()) break;
            if (only && path != *only) continue;
            for (const bool fixed_pairs : {false, true}) {
                if (fixed_pairs && !fixed) continue;
                const size_t found = fixed_pairs ? fixed(path, text, from)
                                                 : utf16::detail::FindOn(path, text, from, a, b);
                if (found == expected) continue;
                fail(std::string(utf16::SearchPathName(path)) +
                     (fixed_pairs ? " (pairs fixed when compiling)" : "") + " found " +
                     std::to_string(found) + ", the plain loop " + std::to_string(expected) +
                     ": length " + std::to_string(text.size()) + " from " + std::to_string(from) +
                     " pairs " + Describe(a) + " " + Describe(b));
            }
        }
    }
}

// Each filter pair planted at places around the block boundaries of texts of every length up to
// a few blocks, in a background of near-misses: single hyphens, the first units, and units that
// pack to the bytes of 0 and 255 or differ from a needle only in the high byte. `place` puts each
// text where it is searched: so that it ends where an unreadable page begins, a path that reads
// past the end faults.
template <class Fail, class Place>
void CompareAroundBoundaries(utf16::SearchPath path, Fail&& fail, Place&& place) {
    static constexpr char16_t kBackground[] = {
        u'a',      u'-', u'b', u' ',      u'0', u'\u012D', u'x', u'c',     u'\u802D',
        u'\u00FF', u'-', u'd', u'\u0130', u'f', u'y',      u'e', u'\u0000'};
    constexpr size_t kLongest = 288;  // the packed paths' two-block steps too
    std::u16string text;
    for (size_t length = 0; length <= kLongest; ++length) {
        for (size_t set = 0; set < kFilterPairs.size(); ++set) {
            const auto& pairs = kFilterPairs[set];
            for (const utf16::Pair& planted : pairs) {
                std::vector<size_t> ats{0, 1, 2};
                for (const size_t boundary :
                     {size_t{8}, size_t{32}, size_t{64}, size_t{128}, size_t{192}, size_t{256}}) {
                    for (size_t at = boundary - 3; at <= boundary + 1; ++at) ats.push_back(at);
                }
                for (const size_t back : {size_t{1}, size_t{2}, size_t{3}, size_t{15}}) {
                    if (back <= length) ats.push_back(length - back);
                }
                for (const size_t at : ats) {
                    text.assign(length, u'a');
                    for (size_t i = 0; i < length; ++i) {
                        text[i] = kBackground[(i * 7 + length) % std::size(kBackground)];
                    }
                    if (at + planted.second_at < length && at + planted.first_at < length) {
                        text[at + planted.first_at] = planted.first;
                        text[at + planted.second_at] = planted.second;
                    }
                    ComparePaths(place(text), pairs[0], pairs[1], fail, path, kFixedSearches[set]);
                }
            }
        }
    }
}

}  // namespace murl::search_check
