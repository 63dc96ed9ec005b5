#pragma once
// SSE2, 8 units a vector, both units of each pair compared at every start: for pairs the packed
// paths do not take (a first unit outside 1 to 254, a distance beyond the block, like units
// other than two apart), and on processors without AVX2.

#include <algorithm>

#include "plugin/search/processor.h"

#if defined(MURL_HAVE_SIMD_SEARCH)
#include <immintrin.h>

namespace murl::utf16::detail {

// Lanes of the 8 units from `at` equal to `unit`, and lanes of the 8 starts from `at`
// where `p` holds.
__attribute__((target("sse2"))) inline __m128i LanesSse2(const char16_t* at,
                                                         char16_t unit) noexcept {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    return _mm_cmpeq_epi16(units, _mm_set1_epi16(static_cast<short>(unit)));
}
__attribute__((target("sse2"))) inline __m128i PairLanesSse2(const char16_t* at,
                                                             const Pair& p) noexcept {
    return _mm_and_si128(LanesSse2(at + p.first_at, p.first),
                         LanesSse2(at + p.second_at, p.second));
}

// The first start from `start` where `p` holds, the text's last starts taken by one vector that
// overlaps the ones before it. The text holds at least one vector beyond `p`'s farther unit.
__attribute__((target("sse2"), noinline)) inline size_t TailSse2(std::u16string_view text,
                                                                 size_t start,
                                                                 const Pair& p) noexcept {
    constexpr size_t kLanes = 8;
    const size_t last = text.size() - (std::max(p.first_at, p.second_at) + kLanes);
    for (; start <= last; start += kLanes) {
        const auto mask =
            static_cast<unsigned>(_mm_movemask_epi8(PairLanesSse2(text.data() + start, p)));
        if (mask != 0) return start + static_cast<size_t>(__builtin_ctz(mask)) / 2;
    }
    if (start - last >= kLanes) return npos;
    // Two mask bits per lane; the lanes before `start` were searched already.
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(PairLanesSse2(text.data() + last, p)));
    mask &= ~0u << (2 * (start - last));
    return mask != 0 ? last + static_cast<size_t>(__builtin_ctz(mask)) / 2 : npos;
}

// The starts of the 8 from `at` where `a` or `b` holds.
__attribute__((target("sse2"))) inline __m128i HitLanesSse2(const char16_t* at, const Pair& a,
                                                            const Pair& b, bool one) noexcept {
    __m128i hits = PairLanesSse2(at, a);
    if (!one) hits = _mm_or_si128(hits, PairLanesSse2(at, b));
    return hits;
}

// The first start from `from` where `a` or `b` holds, or npos, in `found`, 8 starts a vector;
// false, with nothing searched, for a text too short for this vector.
// `pairs`: PairsOf, or FixedPairs, whose pairs are constants of the code.
template <class Pairs>
__attribute__((target("sse2"))) inline bool FindSse2(const Pairs& pairs, std::u16string_view text,
                                                     size_t from, size_t& found) noexcept {
    constexpr size_t kLanes = 8;
    const Pair& a = pairs.a;
    const Pair& b = pairs.b;
    const size_t reach = std::max({a.first_at, a.second_at, b.first_at, b.second_at}) + kLanes;
    if (text.size() < reach) return false;
    const bool one = a == b;
    const size_t last = text.size() - reach;  // the last start of a whole vector
    size_t start = from;
    // Two vectors a step, each pair compared whole: a unit of a pair is common in some texts (a
    // hyphen in hyphenated words), and a test of first units alone would branch unpredictably
    // there; both units of a pair together are rare.
    for (; start + kLanes <= last; start += 2 * kLanes) {
        const char16_t* const at = text.data() + start;
        const __m128i low = HitLanesSse2(at, a, b, one);
        const __m128i high = HitLanesSse2(at + kLanes, a, b, one);
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(low)) |
                          static_cast<unsigned>(_mm_movemask_epi8(high)) << 16;
        if (mask == 0) continue;
        found = start + static_cast<size_t>(__builtin_ctz(mask)) / 2;
        return true;
    }
    if (start <= last) {
        const auto mask =
            static_cast<unsigned>(_mm_movemask_epi8(HitLanesSse2(text.data() + start, a, b, one)));
        if (mask != 0) {
            found = start + static_cast<size_t>(__builtin_ctz(mask)) / 2;
            return true;
        }
        start += kLanes;
    }
    found = one ? TailSse2(text, start, a)
                : std::min(TailSse2(text, start, a), TailSse2(text, start, b));
    return true;
}

}  // namespace murl::utf16::detail
#endif
