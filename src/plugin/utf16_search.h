#pragma once
// Searches over UTF-16 text many code units at a time, for the chat filter's short literals. A
// literal is found through two of its units at fixed distances (a pair): only where the first
// stands is the second checked, and only where both stand is the literal compared whole. Two
// pairs are searched in one pass, so that every rule that searches a line reads its text once.
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
inline bool HasSse2() noexcept {
    static const bool has = __builtin_cpu_supports("sse2");
    return has;
}
inline bool HasAvx2() noexcept {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// Steps of eight starts from `i` while their loads stay inside the text; the first start where
// `a` or `b` holds, or npos with `i` at the first start not stepped over.
__attribute__((target("sse2"))) inline size_t StepSse2(std::u16string_view text, size_t& i,
                                                       const Pair& a, const Pair& b) noexcept {
    constexpr size_t kLanes = 8;
    const size_t reach = std::max(a.first_at, b.first_at) + kLanes;
    if (text.size() < reach) return npos;
    const __m128i a_unit = _mm_set1_epi16(static_cast<short>(a.first));
    const __m128i b_unit = _mm_set1_epi16(static_cast<short>(b.first));
    const char16_t* const data = text.data();
    for (; i <= text.size() - reach; i += kLanes) {
        const auto* at_a = reinterpret_cast<const __m128i*>(data + i + a.first_at);
        const auto* at_b = reinterpret_cast<const __m128i*>(data + i + b.first_at);
        const __m128i hits = _mm_or_si128(_mm_cmpeq_epi16(_mm_loadu_si128(at_a), a_unit),
                                          _mm_cmpeq_epi16(_mm_loadu_si128(at_b), b_unit));
        // Two mask bits per lane.
        for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0;
             mask &= mask - 1, mask &= mask - 1) {
            const size_t start = i + static_cast<size_t>(__builtin_ctz(mask)) / 2;
            if (a.At(text, start) || b.At(text, start)) return start;
        }
    }
    return npos;
}

// The same, sixteen starts a step.
__attribute__((target("avx2"))) inline size_t StepAvx2(std::u16string_view text, size_t& i,
                                                       const Pair& a, const Pair& b) noexcept {
    constexpr size_t kLanes = 16;
    const size_t reach = std::max(a.first_at, b.first_at) + kLanes;
    if (text.size() < reach) return npos;
    const __m256i a_unit = _mm256_set1_epi16(static_cast<short>(a.first));
    const __m256i b_unit = _mm256_set1_epi16(static_cast<short>(b.first));
    const char16_t* const data = text.data();
    for (; i <= text.size() - reach; i += kLanes) {
        const auto* at_a = reinterpret_cast<const __m256i*>(data + i + a.first_at);
        const auto* at_b = reinterpret_cast<const __m256i*>(data + i + b.first_at);
        const __m256i hits = _mm256_or_si256(_mm256_cmpeq_epi16(_mm256_loadu_si256(at_a), a_unit),
                                             _mm256_cmpeq_epi16(_mm256_loadu_si256(at_b), b_unit));
        for (auto mask = static_cast<unsigned>(_mm256_movemask_epi8(hits)); mask != 0;
             mask &= mask - 1, mask &= mask - 1) {
            const size_t start = i + static_cast<size_t>(__builtin_ctz(mask)) / 2;
            if (a.At(text, start) || b.At(text, start)) return start;
        }
    }
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
