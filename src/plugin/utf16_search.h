#pragma once
// Searches over UTF-16 text many code units at a time, for the chat filter's short literals. A
// literal is found through two of its units at fixed distances (a pair), compared for all the
// starts of a vector at once; only where both stand is the literal compared whole. Two pairs are
// searched in one pass, so that every rule that searches a line reads its text once.
//
// On x86 the search takes sixteen units a step with AVX2 and eight with SSE2, each where the
// processor has it (checked once at run time), and the plain loop for what remains; other
// processors use the plain loop.

#include <algorithm>
#include <cstddef>
#include <string_view>

#if defined(__i386__) || defined(__x86_64__)
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
// The processor's features are read on first use: a module's constructors may not have run the
// runtime's own reading yet.
inline bool HasSse2() noexcept {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("sse2"));
    return has;
}
inline bool HasAvx2() noexcept {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    return has;
}

// Lanes of the eight (sixteen) units from `at` equal to `unit`.
__attribute__((target("sse2"))) inline __m128i LanesSse2(const char16_t* at,
                                                         char16_t unit) noexcept {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    return _mm_cmpeq_epi16(units, _mm_set1_epi16(static_cast<short>(unit)));
}
__attribute__((target("avx2"))) inline __m256i LanesAvx2(const char16_t* at,
                                                         char16_t unit) noexcept {
    const __m256i units = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    return _mm256_cmpeq_epi16(units, _mm256_set1_epi16(static_cast<short>(unit)));
}

// Steps of eight starts from `i` while their loads stay inside the text, each pair's two units
// compared lane by lane; the first start where `a` or `b` holds, or npos with `i` at the first
// start not stepped over.
__attribute__((target("sse2"))) inline size_t StepSse2(std::u16string_view text, size_t& i,
                                                       const Pair a, const Pair b) noexcept {
    constexpr size_t kLanes = 8;
    const size_t reach = std::max({a.first_at, a.second_at, b.first_at, b.second_at}) + kLanes;
    if (text.size() < reach) return npos;
    const char16_t* const data = text.data();
    const size_t last = text.size() - reach;
    const bool one = a == b;
    size_t start = i;
    for (; start <= last; start += kLanes) {
        const char16_t* const at = data + start;
        __m128i hits = _mm_and_si128(LanesSse2(at + a.first_at, a.first),
                                     LanesSse2(at + a.second_at, a.second));
        if (!one) {
            hits = _mm_or_si128(hits, _mm_and_si128(LanesSse2(at + b.first_at, b.first),
                                                    LanesSse2(at + b.second_at, b.second)));
        }
        // Two mask bits per lane.
        if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0) {
            i = start;
            return start + static_cast<size_t>(__builtin_ctz(mask)) / 2;
        }
    }
    i = start;
    return npos;
}

// The same, sixteen starts a step.
__attribute__((target("avx2"))) inline size_t StepAvx2(std::u16string_view text, size_t& i,
                                                       const Pair a, const Pair b) noexcept {
    constexpr size_t kLanes = 16;
    const size_t reach = std::max({a.first_at, a.second_at, b.first_at, b.second_at}) + kLanes;
    if (text.size() < reach) return npos;
    const char16_t* const data = text.data();
    const size_t last = text.size() - reach;
    const bool one = a == b;
    size_t start = i;
    for (; start <= last; start += kLanes) {
        const char16_t* const at = data + start;
        __m256i hits = _mm256_and_si256(LanesAvx2(at + a.first_at, a.first),
                                        LanesAvx2(at + a.second_at, a.second));
        if (!one) {
            hits = _mm256_or_si256(hits, _mm256_and_si256(LanesAvx2(at + b.first_at, b.first),
                                                          LanesAvx2(at + b.second_at, b.second)));
        }
        if (const auto mask = static_cast<unsigned>(_mm256_movemask_epi8(hits)); mask != 0) {
            i = start;
            return start + static_cast<size_t>(__builtin_ctz(mask)) / 2;
        }
    }
    i = start;
    return npos;
}
#endif

}  // namespace detail

// The first start at or after `from` where `a` or `b` holds, or npos.
inline size_t FindEither(std::u16string_view text, size_t from, const Pair& a,
                         const Pair& b) noexcept {
    size_t i = from;
#if defined(MURL_HAVE_SIMD_SEARCH)
    if (detail::HasAvx2()) {
        if (const size_t hit = detail::StepAvx2(text, i, a, b); hit != npos) return hit;
    }
    if (detail::HasSse2()) {
        if (const size_t hit = detail::StepSse2(text, i, a, b); hit != npos) return hit;
    }
#endif
    return detail::FindEitherPlain(text, i, a, b);
}

}  // namespace murl::utf16
