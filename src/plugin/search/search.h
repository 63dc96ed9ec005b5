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
