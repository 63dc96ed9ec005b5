#pragma once
// Searches over UTF-16 text many code units at a time, for the chat filter's short literals. A
// literal is found through two of its units at fixed distances (a pair), compared for all the
// starts of a vector at once; only where both stand is the literal compared whole. Two pairs are
// searched in one pass, so that every rule that searches a line reads its text once.
//
// On x86 the search takes sixteen units a step with AVX2 and eight with SSE2, each where the
// processor has it (asked once, at load), and the plain loop for what remains; other
// processors use the plain loop.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define MURL_HAVE_SIMD_SEARCH 1
#endif

namespace murl::utf16 {

inline constexpr size_t npos = std::u16string_view::npos;

// text[i + first_at] == first and text[i + second_at] == second: i is a candidate start.
struct Pair {
    char16_t first;
    size_t first_at;
    char16_t second;
    size_t second_at;

    friend constexpr bool operator==(const Pair&, const Pair&) = default;

    constexpr bool At(std::u16string_view text, size_t i) const noexcept {
        return i + first_at < text.size() && i + second_at < text.size() &&
               text[i + first_at] == first && text[i + second_at] == second;
    }
};

namespace detail {

inline size_t FindEitherPlain(std::u16string_view text, size_t from, const Pair& a,
                              const Pair& b) noexcept {
    for (size_t i = from; i < text.size(); ++i) {
        if (a.At(text, i) || b.At(text, i)) return i;
    }
    return npos;
}

#if defined(MURL_HAVE_SIMD_SEARCH)
// The processor's features, read once: SSE2, and AVX2 where the system also saves the wide
// registers.
struct Features {
    bool sse2 = false;
    bool avx2 = false;

    static Features Read() noexcept {
        Features f;
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return f;
        f.sse2 = (edx & bit_SSE2) != 0;
        if (!(ecx & bit_OSXSAVE) || !(ecx & bit_AVX)) return f;
        unsigned saved_low = 0, saved_high = 0;
        __asm__("xgetbv" : "=a"(saved_low), "=d"(saved_high) : "c"(0));
        if ((saved_low & 6) != 6) return f;  // the system saves the SSE and AVX registers
        if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) f.avx2 = (ebx & bit_AVX2) != 0;
        return f;
    }
};

// Read when the program or module loads. (A function-local static would check its guard on every
// line, and make MinGW's runtime create the semaphore that guards such initialisations.) A search
// made before, by another static initialiser, takes the plain loop.
inline const Features kProcessorFeatures = Features::Read();
inline bool HasSse2() noexcept {
    return kProcessorFeatures.sse2;
}
inline bool HasAvx2() noexcept {
    return kProcessorFeatures.avx2;
}

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
__attribute__((target("sse2"))) inline size_t TailSse2(std::u16string_view text, size_t start,
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
__attribute__((target("sse2"))) inline bool FindSse2(std::u16string_view text, size_t from,
                                                     const Pair a, const Pair b,
                                                     size_t& found) noexcept {
    constexpr size_t kLanes = 8;
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

// The same, sixteen units a step.
__attribute__((target("avx2"))) inline __m256i LanesAvx2(const char16_t* at,
                                                         char16_t unit) noexcept {
    const __m256i units = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    return _mm256_cmpeq_epi16(units, _mm256_set1_epi16(static_cast<short>(unit)));
}
__attribute__((target("avx2"))) inline __m256i PairLanesAvx2(const char16_t* at,
                                                             const Pair& p) noexcept {
    return _mm256_and_si256(LanesAvx2(at + p.first_at, p.first),
                            LanesAvx2(at + p.second_at, p.second));
}

__attribute__((target("avx2"))) inline size_t TailAvx2(std::u16string_view text, size_t start,
                                                       const Pair& p) noexcept {
    constexpr size_t kLanes = 16;
    const size_t last = text.size() - (std::max(p.first_at, p.second_at) + kLanes);
    for (; start <= last; start += kLanes) {
        const auto mask =
            static_cast<unsigned>(_mm256_movemask_epi8(PairLanesAvx2(text.data() + start, p)));
        if (mask != 0) return start + static_cast<size_t>(__builtin_ctz(mask)) / 2;
    }
    if (start - last >= kLanes) return npos;
    // Two mask bits per lane; the lanes before `start` were searched already.
    auto mask = static_cast<unsigned>(_mm256_movemask_epi8(PairLanesAvx2(text.data() + last, p)));
    mask &= ~0u << (2 * (start - last));
    return mask != 0 ? last + static_cast<size_t>(__builtin_ctz(mask)) / 2 : npos;
}

// The starts of the 16 from `at` where `a` or `b` holds, as a lane mask (two bits a lane).
__attribute__((target("avx2"))) inline __m256i HitLanesAvx2(const char16_t* at, const Pair& a,
                                                            const Pair& b, bool one) noexcept {
    __m256i hits = PairLanesAvx2(at, a);
    if (!one) hits = _mm256_or_si256(hits, PairLanesAvx2(at, b));
    return hits;
}

__attribute__((target("avx2"))) inline bool FindAvx2(std::u16string_view text, size_t from,
                                                     const Pair a, const Pair b,
                                                     size_t& found) noexcept {
    constexpr size_t kLanes = 16;
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
        const __m256i low = HitLanesAvx2(at, a, b, one);
        const __m256i high = HitLanesAvx2(at + kLanes, a, b, one);
        const __m256i both = _mm256_or_si256(low, high);
        if (_mm256_testz_si256(both, both)) continue;
        const uint64_t mask = static_cast<uint32_t>(_mm256_movemask_epi8(low)) |
                              uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(high))} << 32;
        found = start + static_cast<size_t>(__builtin_ctzll(mask)) / 2;
        return true;
    }
    if (start <= last) {
        const auto mask = static_cast<unsigned>(
            _mm256_movemask_epi8(HitLanesAvx2(text.data() + start, a, b, one)));
        if (mask != 0) {
            found = start + static_cast<size_t>(__builtin_ctz(mask)) / 2;
            return true;
        }
        start += kLanes;
    }
    found = one ? TailAvx2(text, start, a)
                : std::min(TailAvx2(text, start, a), TailAvx2(text, start, b));
    return true;
}
#endif

}  // namespace detail

// The units the search takes a step on this processor: 16 (AVX2), 8 (SSE2) or 1 (plain loop).
inline size_t SearchStepUnits() noexcept {
#if defined(MURL_HAVE_SIMD_SEARCH)
    if (detail::HasAvx2()) return 16;
    if (detail::HasSse2()) return 8;
#endif
    return 1;
}

// The first start at or after `from` where `a` or `b` holds, or npos.
inline size_t FindEither(std::u16string_view text, size_t from, const Pair& a,
                         const Pair& b) noexcept {
#if defined(MURL_HAVE_SIMD_SEARCH)
    size_t found = npos;
    if (detail::HasAvx2() && detail::FindAvx2(text, from, a, b, found)) return found;
    if (detail::HasSse2() && detail::FindSse2(text, from, a, b, found)) return found;
#endif
    return detail::FindEitherPlain(text, from, a, b);
}

}  // namespace murl::utf16
