#pragma once
// AVX2, 32 units a step, from two vectors of 16 units (packed.h). Alike by design with
// avx512.h: one path a header, each a Blocks type that packed.h walks.

#include "plugin/search/packed.h"
#include "plugin/search/processor.h"

#if defined(MURL_HAVE_SIMD_SEARCH)
#include <immintrin.h>

namespace murl::utf16::detail {

struct Avx2Blocks {
    using Mask = uint32_t;
    __m256i a, b;               // each pair's first unit, in every byte
    char16_t a_first, b_first;  // the same, as units

    __attribute__((target("avx2"))) static Avx2Blocks For(const Pair& a, const Pair& b) noexcept {
        return {_mm256_set1_epi8(static_cast<char>(a.first)),
                _mm256_set1_epi8(static_cast<char>(b.first)), a.first, b.first};
    }

    __attribute__((target("avx2"))) void Bits(__m256i low, __m256i high, Mask& a_bits,
                                              Mask& b_bits) const noexcept {
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), 0xD8);
        a_bits = static_cast<Mask>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, a)));
        b_bits = static_cast<Mask>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, b)));
    }

    __attribute__((target("avx2"))) void Whole(const char16_t* at, Mask& a_bits,
                                               Mask& b_bits) const noexcept {
        Bits(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)),
             _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 16)), a_bits, b_bits);
    }

    // Read in whole 32-bit lanes by masked loads, an odd last unit on its own.
    __attribute__((target("avx2"))) void End(const char16_t* at, size_t left, Mask& a_bits,
                                             Mask& b_bits) const noexcept {
        const __m256i pairs = _mm256_set1_epi32(static_cast<int>(left / 2));
        const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        const auto* words = reinterpret_cast<const int*>(at);
        const __m256i low = _mm256_maskload_epi32(words, _mm256_cmpgt_epi32(pairs, lane));
        const __m256i high = _mm256_maskload_epi32(
            words + 8, _mm256_cmpgt_epi32(pairs, _mm256_add_epi32(lane, _mm256_set1_epi32(8))));
        Bits(low, high, a_bits, b_bits);
        if (left % 2 != 0) {
            const char16_t last = at[left - 1];
            a_bits |= Mask{last == a_first} << (left - 1);
            b_bits |= Mask{last == b_first} << (left - 1);
        }
    }
};

// `pairs`: PairsOf, or FixedPairs, whose pairs and compare vectors are constants of the code.
template <class Pairs>
__attribute__((target("avx2"), flatten)) inline size_t FindAvx2(const Pairs& pairs,
                                                                std::u16string_view text,
                                                                size_t from) noexcept {
    return FindPacked(Avx2Blocks::For(pairs.a, pairs.b), text, from, pairs.a, pairs.b);
}

// The same for a text whose units from `from` on fit in one block (InOneBlock).
template <class Pairs>
__attribute__((target("avx2"), flatten)) inline size_t FindAvx2InBlock(const Pairs& pairs,
                                                                       std::u16string_view text,
                                                                       size_t from) noexcept {
    return FindInBlock(Avx2Blocks::For(pairs.a, pairs.b), text, from, pairs.a, pairs.b);
}

}  // namespace murl::utf16::detail
#endif
