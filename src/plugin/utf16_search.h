#pragma once
// Searches over UTF-16 text many code units at a time, for the chat filter's short literals. A
// literal is found through two of its units at fixed distances (a pair); only where a pair holds
// is the literal compared whole. Two pairs are searched in one pass, so that every rule that
// searches a line reads its text once.
//
// On x86 the search takes the widest path that the processor has and the system saves the
// registers of (asked once, at load):
// - AVX-512BW, 64 units a step, and AVX2, 32: each unit is compared once against the first unit
//   of each pair, on bytes: the units are packed to bytes with unsigned saturation (a unit above
//   255 becomes 255, one of 0x8000 or more becomes 0, neither of which is a pair's first unit on
//   this path), and the compares give one bit a unit. A pair whose two units are the same (the
//   bot mark's hyphens) is formed from that one mask, the previous block's bits carried across;
//   only the starts whose bits stand are checked whole. The end of a text is read by masked
//   loads, which read nothing past it.
// - SSE2, 8 units a vector, both units of each pair compared at every start: for pairs the packed
//   paths do not take (a first unit outside 1 to 254, a distance beyond the block, like units
//   other than two apart), and on processors without AVX2.
// - the plain loop, for what remains; other processors use it for everything.

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

// The ways the search can go, each wider than the one before; a processor that can take one can
// take those before it.
enum class SearchPath : uint8_t { kPlain, kSse2, kAvx2, kAvx512bw };

inline constexpr SearchPath kSearchPaths[] = {SearchPath::kPlain, SearchPath::kSse2,
                                              SearchPath::kAvx2, SearchPath::kAvx512bw};

constexpr const char* SearchPathName(SearchPath path) noexcept {
    switch (path) {
        case SearchPath::kSse2:
            return "SSE2";
        case SearchPath::kAvx2:
            return "AVX2";
        case SearchPath::kAvx512bw:
            return "AVX-512BW";
        case SearchPath::kPlain:
            break;
    }
    return "plain";
}

namespace detail {

// (Kept out of the callers: it is their last resort, and murl.dll's size is counted.)
__attribute__((noinline)) inline size_t FindEitherPlain(std::u16string_view text, size_t from,
                                                        const Pair& a, const Pair& b) noexcept {
    for (size_t i = from; i < text.size(); ++i) {
        if (a.At(text, i) || b.At(text, i)) return i;
    }
    return npos;
}

#if defined(MURL_HAVE_SIMD_SEARCH)
// The widest path this processor has and the system saves the registers of.
inline SearchPath ReadBestPath() noexcept {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(edx & bit_SSE2)) return SearchPath::kPlain;
    if (!(ecx & bit_OSXSAVE) || !(ecx & bit_AVX)) return SearchPath::kSse2;
    unsigned saved = 0, saved_high = 0;
    __asm__("xgetbv" : "=a"(saved), "=d"(saved_high) : "c"(0));
    constexpr unsigned kXmmYmm = 0x6;      // the SSE and AVX registers
    constexpr unsigned kOpmaskZmm = 0xE0;  // the opmask registers and the upper ZMM registers
    if ((saved & kXmmYmm) != kXmmYmm) return SearchPath::kSse2;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) || !(ebx & bit_AVX2)) {
        return SearchPath::kSse2;
    }
    constexpr unsigned kAvx512fbw = bit_AVX512F | bit_AVX512BW;
    if ((saved & kOpmaskZmm) == kOpmaskZmm && (ebx & kAvx512fbw) == kAvx512fbw) {
        return SearchPath::kAvx512bw;
    }
    return SearchPath::kAvx2;
}
#else
constexpr SearchPath ReadBestPath() noexcept {
    return SearchPath::kPlain;
}
#endif

// Read when the program or module loads. (A function-local static would check its guard on every
// line, and make MinGW's runtime create the semaphore that guards such initialisations.) A search
// made before, by another static initialiser, takes the plain loop.
inline const SearchPath kBestPath = ReadBestPath();
inline SearchPath g_path = kBestPath;

#if defined(MURL_HAVE_SIMD_SEARCH)
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

// The packed paths. A block's masks hold one bit a unit: where it equals `a`'s first unit, and
// where it equals `b`'s. The starts of one block are decided when the next block's masks are
// known, so that a pair reaching into the next block is seen: where a block is flagged, the two
// blocks' masks together are shifted down to each of a pair's distances.

// The bits of `prev` followed by `cur`, from bit `shift` on (shift below the mask's width).
template <class Mask>
inline Mask Across(Mask prev, Mask cur, size_t shift) noexcept {
    constexpr size_t kBits = sizeof(Mask) * 8;
    return static_cast<Mask>((prev >> shift) | ((cur << 1) << (kBits - 1 - shift)));
}

// The starts of the block of `prev` where `p`'s first unit stands, and its second where both
// units are the same.
template <class Mask>
inline Mask Starts(const Pair& p, Mask prev, Mask cur) noexcept {
    const size_t second_at = p.second == p.first ? p.second_at : p.first_at;
    return Across(prev, cur, p.first_at) & Across(prev, cur, second_at);
}

template <class Mask>
inline size_t LowestBit(Mask mask) noexcept {
    if constexpr (sizeof(Mask) == 8 && sizeof(size_t) < 8) {
        // In two halves, as a 32-bit processor's registers hold it (no call to the runtime).
        const auto low = static_cast<uint32_t>(mask);
        return low != 0
                   ? static_cast<size_t>(__builtin_ctz(low))
                   : 32 + static_cast<size_t>(__builtin_ctz(static_cast<uint32_t>(mask >> 32)));
    } else if constexpr (sizeof(Mask) == 8) {
        return static_cast<size_t>(__builtin_ctzll(mask));
    } else {
        return static_cast<size_t>(__builtin_ctz(mask));
    }
}

// The first of the candidate starts from `window` on where `a` or `b` holds.
template <class Mask>
inline bool Confirmed(std::u16string_view text, size_t window, Mask candidates, const Pair& a,
                      const Pair& b, size_t& found) noexcept {
    for (; candidates != 0; candidates &= candidates - 1) {
        const size_t at = window + LowestBit(candidates);
        if (a.At(text, at) || b.At(text, at)) {
            found = at;
            return true;
        }
    }
    return false;
}

// The distance between the units of a pair of like units that the packed paths take: the bot
// mark's two hyphens. It is fixed, so that the flags of a block take a few instructions.
inline constexpr size_t kLikeApart = 2;

inline bool Like(const Pair& p) noexcept {
    return p.first == p.second;
}

// Whether the packed paths take `a` and `b`: first units a byte can stand for, distances within
// a block of `bits` units, like units kLikeApart apart, and of `b`, unlike units unless it is `a`.
// (FindOn puts a pair of like units first.)
inline bool Packable(const Pair& a, const Pair& b, size_t bits) noexcept {
    const auto takes = [bits](const Pair& p) {
        const size_t apart =
            p.first_at > p.second_at ? p.first_at - p.second_at : p.second_at - p.first_at;
        return p.first >= 1 && p.first <= 254 && std::max(p.first_at, p.second_at) < bits &&
               (!Like(p) || apart == kLikeApart);
    };
    return takes(a) && takes(b) && (!Like(b) || a == b);
}

// The scalar side of the packed paths. Given the bits of each block in turn (where its units
// equal `a`'s and `b`'s first units), it decides the starts of the block before. A block is
// flagged where it may hold a start: where a pair's units are unlike, by any of its first units
// (the second is checked with the start); where alike, by two of them kLikeApart apart, the bits
// of the block before carried. Only where that block or this one is flagged are the starts
// computed and checked whole.
template <class Mask>
class PackedStarts {
public:
    static constexpr size_t kBits = sizeof(Mask) * 8;

    PackedStarts(std::u16string_view text, const Pair& a, const Pair& b, Mask a_bits,
                 Mask b_bits) noexcept
        : text_(text),
          a_(a),
          b_(b),
          a_unlike_(Like(a) ? Mask{0} : static_cast<Mask>(~Mask{0})),
          b_other_(a == b ? Mask{0} : static_cast<Mask>(~Mask{0})),
          a_prev_(a_bits),
          b_prev_(b_bits),
          flagged_(Flags(0, a_bits, b_bits)) {}

    // The bits of the next block (none past the text's end); true, with `found`, at the first
    // start from `window` (where the block before begins) where `a` or `b` holds.
    __attribute__((always_inline)) bool Next(Mask a_bits, Mask b_bits, size_t window,
                                             size_t& found) noexcept {
        const Mask flagged = Flags(a_prev_, a_bits, b_bits);
        bool holds = false;
        if ((flagged_ | flagged) != 0) [[unlikely]] {
            holds = Check(text_, a_, b_, a_prev_, b_prev_, a_bits, b_bits, window, found);
        }
        flagged_ = flagged;
        a_prev_ = a_bits;
        b_prev_ = b_bits;
        return holds;
    }

private:
    __attribute__((always_inline)) Mask Flags(Mask a_prev, Mask a_bits,
                                              Mask b_bits) const noexcept {
        const auto earlier =
            static_cast<Mask>((a_bits << kLikeApart) | (a_prev >> (kBits - kLikeApart)));
        return (a_bits & (a_unlike_ | earlier)) | (b_bits & b_other_);
    }

    // Off the loop: the starts of a flagged block, each checked whole. (Static, so that the
    // loop's state stays in registers.)
    __attribute__((noinline)) static bool Check(std::u16string_view text, const Pair& a,
                                                const Pair& b, Mask a_prev, Mask b_prev,
                                                Mask a_bits, Mask b_bits, size_t window,
                                                size_t& found) noexcept {
        const Mask starts = Starts(a, a_prev, a_bits) | Starts(b, b_prev, b_bits);
        return Confirmed(text, window, starts, a, b, found);
    }

    std::u16string_view text_;
    const Pair& a_;
    const Pair& b_;
    Mask a_unlike_, b_other_;
    Mask a_prev_, b_prev_, flagged_;
};

// The bits of the 64 units from `at`: packed to bytes (8 units of each 128-bit lane of either
// vector in turn, then put in order) and compared.
__attribute__((target("avx512bw"), always_inline)) inline void BitsAvx512(
    __m512i low, __m512i high, __m512i a, __m512i b, uint64_t& a_bits, uint64_t& b_bits) noexcept {
    const __m512i order = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
    // (The zero-masking form: GCC 12 warns of the plain one's undefined source.)
    const __m512i bytes =
        _mm512_maskz_permutexvar_epi64(0xFF, order, _mm512_packus_epi16(low, high));
    a_bits = _mm512_cmpeq_epi8_mask(bytes, a);
    b_bits = _mm512_cmpeq_epi8_mask(bytes, b);
}

// The same for the `left` units from `at` (all 64 if there are as many): the lanes beyond are
// neither read nor matched.
__attribute__((target("avx512bw"), always_inline)) inline void EndAvx512(
    const char16_t* at, size_t left, __m512i a, __m512i b, uint64_t& a_bits,
    uint64_t& b_bits) noexcept {
    const auto lanes = [](size_t n) -> __mmask32 { return n >= 32 ? ~0u : (1u << n) - 1; };
    BitsAvx512(_mm512_maskz_loadu_epi16(lanes(left), at),
               _mm512_maskz_loadu_epi16(lanes(left < 32 ? 0 : left - 32), at + 32), a, b, a_bits,
               b_bits);
}

__attribute__((target("avx512bw"))) inline size_t FindAvx512(std::u16string_view text, size_t from,
                                                             const Pair a, const Pair b) noexcept {
    constexpr size_t kBlock = 64;
    const size_t size = text.size();
    if (from >= size) return npos;
    const char16_t* const units = text.data();
    const __m512i a_unit = _mm512_set1_epi8(static_cast<char>(a.first));
    const __m512i b_unit = _mm512_set1_epi8(static_cast<char>(b.first));
    uint64_t a_bits = 0, b_bits = 0;
    EndAvx512(units + from, size - from, a_unit, b_unit, a_bits, b_bits);
    PackedStarts<uint64_t> starts(text, a, b, a_bits, b_bits);
    size_t next = from + kBlock;
    size_t found = npos;
    for (; next + kBlock <= size; next += kBlock) {
        BitsAvx512(_mm512_loadu_si512(units + next), _mm512_loadu_si512(units + next + 32), a_unit,
                   b_unit, a_bits, b_bits);
        if (starts.Next(a_bits, b_bits, next - kBlock, found)) return found;
    }
    for (;; next += kBlock) {  // the last units, if any, then none
        a_bits = b_bits = 0;
        if (next < size) EndAvx512(units + next, size - next, a_unit, b_unit, a_bits, b_bits);
        if (starts.Next(a_bits, b_bits, next - kBlock, found)) return found;
        if (next >= size) return npos;
    }
}

// The same, 32 units a block, from two vectors of 16 units.
__attribute__((target("avx2"), always_inline)) inline void BitsAvx2(__m256i low, __m256i high,
                                                                    __m256i a, __m256i b,
                                                                    uint32_t& a_bits,
                                                                    uint32_t& b_bits) noexcept {
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), 0xD8);
    a_bits = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, a)));
    b_bits = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, b)));
}

// The end of a text, `left` units (32 at most) from `at`: read in whole 32-bit lanes by masked
// loads, an odd last unit on its own.
__attribute__((target("avx2"), always_inline)) inline void EndAvx2(
    const char16_t* at, size_t left, __m256i a, __m256i b, const Pair& a_pair, const Pair& b_pair,
    uint32_t& a_bits, uint32_t& b_bits) noexcept {
    const __m256i pairs = _mm256_set1_epi32(static_cast<int>(left / 2));
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const auto* words = reinterpret_cast<const int*>(at);
    const __m256i low = _mm256_maskload_epi32(words, _mm256_cmpgt_epi32(pairs, lane));
    const __m256i high = _mm256_maskload_epi32(
        words + 8, _mm256_cmpgt_epi32(pairs, _mm256_add_epi32(lane, _mm256_set1_epi32(8))));
    BitsAvx2(low, high, a, b, a_bits, b_bits);
    if (left % 2 != 0) {
        const char16_t last = at[left - 1];
        a_bits |= uint32_t{last == a_pair.first} << (left - 1);
        b_bits |= uint32_t{last == b_pair.first} << (left - 1);
    }
}

__attribute__((target("avx2"), always_inline)) inline void WholeAvx2(const char16_t* at, __m256i a,
                                                                     __m256i b, uint32_t& a_bits,
                                                                     uint32_t& b_bits) noexcept {
    BitsAvx2(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)),
             _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 16)), a, b, a_bits, b_bits);
}

__attribute__((target("avx2"))) inline size_t FindAvx2(std::u16string_view text, size_t from,
                                                       const Pair a, const Pair b) noexcept {
    constexpr size_t kBlock = 32;
    const size_t size = text.size();
    if (from >= size) return npos;
    const char16_t* const units = text.data();
    const __m256i a_unit = _mm256_set1_epi8(static_cast<char>(a.first));
    const __m256i b_unit = _mm256_set1_epi8(static_cast<char>(b.first));
    uint32_t a_bits = 0, b_bits = 0;
    EndAvx2(units + from, std::min(size - from, kBlock), a_unit, b_unit, a, b, a_bits, b_bits);
    PackedStarts<uint32_t> starts(text, a, b, a_bits, b_bits);
    size_t next = from + kBlock;
    size_t found = npos;
    for (; next + kBlock <= size; next += kBlock) {
        WholeAvx2(units + next, a_unit, b_unit, a_bits, b_bits);
        if (starts.Next(a_bits, b_bits, next - kBlock, found)) return found;
    }
    for (;; next += kBlock) {  // the last units, if any, then none
        a_bits = b_bits = 0;
        if (next < size) EndAvx2(units + next, size - next, a_unit, b_unit, a, b, a_bits, b_bits);
        if (starts.Next(a_bits, b_bits, next - kBlock, found)) return found;
        if (next >= size) return npos;
    }
}
#endif

// The first start at or after `from` where `a` or `b` holds, or npos, taking `path` (one this
// processor can take) or, for pairs it cannot take, the next narrower one that can.
inline size_t FindOn(SearchPath path, std::u16string_view text, size_t from, const Pair& a,
                     const Pair& b) noexcept {
#if defined(MURL_HAVE_SIMD_SEARCH)
    // A pair of like units first, for the packed paths; either order finds the same start.
    const bool swap = Like(b) && !Like(a);
    const Pair& first = swap ? b : a;
    const Pair& second = swap ? a : b;
    size_t found = npos;
    switch (path) {
        case SearchPath::kAvx512bw:
            if (Packable(first, second, 64)) return FindAvx512(text, from, first, second);
            [[fallthrough]];
        case SearchPath::kAvx2:
            if (path >= SearchPath::kAvx2 && Packable(first, second, 32)) {
                return FindAvx2(text, from, first, second);
            }
            [[fallthrough]];
        case SearchPath::kSse2:
            if (FindSse2(text, from, a, b, found)) return found;
            break;
        case SearchPath::kPlain:
            break;
    }
#else
    (void)path;
#endif
    return FindEitherPlain(text, from, a, b);
}

}  // namespace detail

// The path this processor and system can take at best, and the one the search takes.
inline SearchPath BestSearchPath() noexcept {
    return detail::kBestPath;
}
inline SearchPath ActiveSearchPath() noexcept {
    return detail::g_path;
}

// For tests and benchmarks: makes the search take `path` from now on, if this processor can;
// false (nothing changed) if it cannot.
inline bool ForceSearchPath(SearchPath path) noexcept {
    if (path > detail::kBestPath) return false;
    detail::g_path = path;
    return true;
}

// The first start at or after `from` where `a` or `b` holds, or npos.
inline size_t FindEither(std::u16string_view text, size_t from, const Pair& a,
                         const Pair& b) noexcept {
    return detail::FindOn(detail::g_path, text, from, a, b);
}

}  // namespace murl::utf16
