#pragma once
// Every search path this processor can take against the plain loop, on texts where pairs stand
// around the block boundaries of every path. Shared by the native tests, the fuzz target and the
// Windows tests, which run it built as murl.dll's search is built.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/utf16_search.h"

namespace murl::search_check {

inline std::string Describe(const utf16::Pair& p) {
    return "(" + std::to_string(p.first) + "@" + std::to_string(p.first_at) + ", " +
           std::to_string(p.second) + "@" + std::to_string(p.second_at) + ")";
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

// Calls fail(message) for each start from which a path's answer differs from the plain loop's.
template <class Fail>
void ComparePaths(std::u16string_view text, const utf16::Pair& a, const utf16::Pair& b,
                  Fail&& fail) {
    const size_t reach = std::max({a.first_at, a.second_at, b.first_at, b.second_at});
    for (const size_t from : Starts(text.size(), reach)) {
        const size_t expected = utf16::detail::FindEitherPlain(text, from, a, b);
        for (const utf16::SearchPath path : utf16::kSearchPaths) {
            if (path > utf16::BestSearchPath()) break;
            const size_t found = utf16::detail::FindOn(path, text, from, a, b);
            if (found == expected) continue;
            fail(std::string(utf16::SearchPathName(path)) + " found " + std::to_string(found) +
                 ", the plain loop " + std::to_string(expected) + ": length " +
                 std::to_string(text.size()) + " from " + std::to_string(from) + " pairs " +
                 Describe(a) + " " + Describe(b));
        }
    }
}

// The chat filter's pairs: the bot mark's hyphens with each colour's literal, and alone.
inline constexpr utf16::Pair kBot{u'-', 0, u'-', 2};
inline constexpr utf16::Pair kFilterPairs[][2] = {
    {kBot, {u'0', 4, u'f', 14}}, {kBot, {u'x', 5, u'.', 11}}, {kBot, kBot}};

// Each filter pair planted at places around the block boundaries of texts of every length up to
// a few blocks, in a background of near-misses: single hyphens, the first units, and units that
// pack to the bytes of 0 and 255 or differ from a needle only in the high byte. `place` puts each
// text where it is searched: so that it ends where an unreadable page begins, a path that reads
// past the end faults.
template <class Fail, class Place>
void CompareAroundBoundaries(Fail&& fail, Place&& place) {
    static constexpr char16_t kBackground[] = {
        u'a',      u'-', u'b', u' ',      u'0', u'\u012D', u'x', u'c',     u'\u802D',
        u'\u00FF', u'-', u'd', u'\u0130', u'f', u'y',      u'e', u'\u0000'};
    constexpr size_t kLongest = 200;
    std::u16string text;
    for (size_t length = 0; length <= kLongest; ++length) {
        for (const auto& pairs : kFilterPairs) {
            for (const utf16::Pair& planted : pairs) {
                std::vector<size_t> ats{0, 1, 2};
                for (const size_t boundary : {size_t{8}, size_t{32}, size_t{64}, size_t{128}}) {
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
                    ComparePaths(place(text), pairs[0], pairs[1], fail);
                }
            }
        }
    }
}

}  // namespace murl::search_check
