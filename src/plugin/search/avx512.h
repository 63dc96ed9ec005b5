#pragma once
// AVX-512BW, 64 units a step (packed.h). Alike by design with avx2.h: one path a header, each
// a Blocks type that packed.h walks.

#include "plugin/search/packed.h"
#include "plugin/search/processor.h"

#if defined(MURL_HAVE_SIMD_SEARCH)
#include <immintrin.h>

namespace murl::utf16::detail {

struct Avx512Blocks {
    using Mask = uint64_t;
    __m512i a, b;  // each pair's first unit, in every byte

    __attribute__((target("avx512bw"))) static Avx512Blocks For(const Pair& a,
                                                                const Pair& b) noexcept {
        return {_mm512_set1_epi8(static_cast<char>(a.first)),
                _mm512_set1_epi8(static_cast<char>(b.first))};
    }

    // The bits of the 64 units of `low` and `high`: packed to bytes (8 units of each 128-bit
    // lane of either vector in turn, then put in order) and compared.
    __attribute__((target("avx512bw"))) void Bits(__m512i low, __m512i high, Mask& a_bits,
                                                  Mask& b_bits) const noexcept {
        const __m512i order = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
        // (The zero-masking form: GCC 12 warns of the plain one's undefined source.)
        const __m512i bytes =
            _mm512_maskz_permutexvar_epi64(0xFF, order, _mm512_packus_epi16(low, high));
        a_bits = _mm512_cmpeq_epi8_mask(bytes, a);
        b_bits = _mm512_cmpeq_epi8_mask(bytes, b);
    }

    __attribute__((target("avx512bw"))) void Whole(const char16_t* at, Mask& a_bits,
                                                   Mask& b_bits) const noexcept {
        Bits(_mm512_loadu_si512(at), _mm512_loadu_si512(at + 32), a_bits, b_bits);
    }

    // The lanes beyond `left` are neither read nor matched.
    __attribute__((target("avx512bw"))) void End(const char16_t* at, size_t left, Mask& a_bits,
                                                 Mask& b_bits) const noexcept {
        const auto lanes = [](size_t n) -> __mmask32 { return n >= 32 ? ~0u : (1u << n) - 1; };
        Bits(_mm512_maskz_loadu_epi16(lanes(left), at),
             _mm512_maskz_loadu_epi16(lanes(left < 32 ? 0 : left - 32), at + 32), a_bits, b_bits);
    }
};

// `pairs`: PairsOf, or FixedPairs, whose pairs and compare vectors are constants of the code.
template <class Pairs>
__attribute__((target("avx512bw"), flatten)) inline size_t FindAvx512(const Pairs& pairs,
                                                                      std::u16string_view text,
                                                                      size_t from) noexcept {
    return FindPacked(Avx512Blocks::For(pairs.a, pairs.b), text, from, pairs.a, pairs.b);
}

// The same for a text whose units from `from` on fit in one block (InOneBlock).
template <class Pairs>
__attribute__((target("avx512bw"), flatten)) inline size_t FindAvx512InBlock(
    const Pairs& pairs, std::u16string_view text, size_t from) noexcept {
    return FindInBlock(Avx512Blocks::For(pairs.a, pairs.b), text, from, pairs.a, pairs.b);
}

}  // namespace murl::utf16::detail
#endif
