#pragma once
// Searches over UTF-16 text many code units at a time, for the chat filter's short literals. A
// literal is found through two of its units at fixed distances (a pair); only where a pair holds
// is the literal compared whole. Two pairs are searched in one pass, so that every rule that
// searches a line reads its text once.
//
// On x86 the search takes the widest path that the processor has and the system saves the
// registers of (processor.h, asked once, at load):
// - AVX-512BW, 64 units a step, and AVX2, 32 (avx512.h, avx2.h, one loop in packed.h): each unit
//   compared once, on bytes, against the first unit of each pair;
// - SSE2, 8 units a vector (sse2.h): for pairs the packed paths do not take, and on processors
//   without AVX2;
// - the plain loop (plain.h), for what remains; other processors use it for everything.

#include "plugin/search/avx2.h"
#include "plugin/search/avx512.h"
#include "plugin/search/pair.h"
#include "plugin/search/plain.h"
#include "plugin/search/processor.h"
#include "plugin/search/sse2.h"

namespace murl::utf16 {
namespace detail {

// Read when the program or module loads. (A function-local static would check its guard on every
// line, and make MinGW's runtime create the semaphore that guards such initialisations.) A search
// made before, by another static initialiser, takes the plain loop.
inline const SearchPath kBestPath = ReadBestPath();
inline SearchPath g_path = kBestPath;

// The path the search takes for `a` and `b` (a pair of like units first, as the packed paths
// want it): `path` (one this processor can take) or, if it cannot take the pairs, the next
// narrower one that can.
inline SearchPath PathFor(SearchPath path, const Pair& first, const Pair& second) noexcept {
#if defined(MURL_HAVE_SIMD_SEARCH)
    if (path == SearchPath::kAvx512bw && Packable(first, second, 64)) return SearchPath::kAvx512bw;
    if (path >= SearchPath::kAvx2 && Packable(first, second, 32)) return SearchPath::kAvx2;
    return path >= SearchPath::kSse2 ? SearchPath::kSse2 : SearchPath::kPlain;
#else
    (void)path, (void)first, (void)second;
    return SearchPath::kPlain;
#endif
}

// Whether `b` goes first: a pair of like units leads, for the packed paths; either order finds
// the same start.
inline bool LikeFirst(const Pair& a, const Pair& b) noexcept {
    return Like(b) && !Like(a);
}

// The first start at or after `from` where `a` or `b` holds, or npos, on PathFor's path.
inline size_t FindOn(SearchPath path, std::u16string_view text, size_t from, const Pair& a,
                     const Pair& b) noexcept {
    const bool swap = LikeFirst(a, b);
    const Pair& first = swap ? b : a;
    const Pair& second = swap ? a : b;
    switch (PathFor(path, first, second)) {
#if defined(MURL_HAVE_SIMD_SEARCH)
        case SearchPath::kAvx512bw:
            return FindAvx512(text, from, first, second);
        case SearchPath::kAvx2:
            return FindAvx2(text, from, first, second);
        case SearchPath::kSse2:
            if (size_t found = npos; FindSse2(text, from, a, b, found)) return found;
            break;
#endif
        default:
            break;
    }
    return FindEitherPlain(text, from, a, b);
}

}  // namespace detail

// The path this processor and system can take at best, and the one the search takes (for pairs
// it cannot take, a narrower one: PathTaken).
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

// The path the search takes for `a` and `b`.
inline SearchPath PathTaken(const Pair& a, const Pair& b) noexcept {
    const bool swap = detail::LikeFirst(a, b);
    return detail::PathFor(detail::g_path, swap ? b : a, swap ? a : b);
}

// The first start at or after `from` where `a` or `b` holds, or npos.
inline size_t FindEither(std::u16string_view text, size_t from, const Pair& a,
                         const Pair& b) noexcept {
    return detail::FindOn(detail::g_path, text, from, a, b);
}

}  // namespace murl::utf16
