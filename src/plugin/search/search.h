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

#include <cstdlib>
#include <string_view>

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

// The path named `name` (as SearchPathName names it) if `best` reaches it, `best` otherwise: a
// path can be narrowed, never widened.
inline SearchPath Narrowed(SearchPath best, const char* name) noexcept {
    for (const SearchPath path : kSearchPaths) {
        if (name != nullptr && path <= best && std::string_view(name) == SearchPathName(path)) {
            return path;
        }
    }
    return best;
}

// The environment's MURL_SEARCH_PATH narrows the path from the start, for a benchmark of
// murl.dll on each path, or to set a vector path aside on a player's machine.
inline SearchPath g_path = Narrowed(kBestPath, std::getenv("MURL_SEARCH_PATH"));

// The path the search takes for `a` and `b` (a pair of like units first, as the packed paths
// want it): `path` (one this processor can take) or, if it cannot take the pairs, the next
// narrower one that can.
[[gnu::always_inline]] constexpr SearchPath PathFor(SearchPath path, const Pair& first,
                                                    const Pair& second) noexcept {
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
constexpr bool LikeFirst(const Pair& a, const Pair& b) noexcept {
    return Like(b) && !Like(a);
}

// `a` and `b` in the order the packed paths want them.
constexpr PairsOf Ordered(const Pair& a, const Pair& b) noexcept {
    return LikeFirst(a, b) ? PairsOf{b, a} : PairsOf{a, b};
}

// Pairs known at compile time, in the packed paths' order: each path's choice, its compare
// vectors and the pairs' distances are constants of the code that searches for them.
template <Pair A, Pair B>
struct FixedPairs {
    static constexpr Pair a = Ordered(A, B).a;
    static constexpr Pair b = Ordered(A, B).b;
};

// The first start at or after `from` where `pairs.a` or `pairs.b` holds, or npos, on PathFor's
// path. `pairs`: PairsOf or FixedPairs, in the packed paths' order.
template <class Pairs>
inline size_t FindOrdered(SearchPath path, const Pairs& pairs, std::u16string_view text,
                          size_t from) noexcept {
    switch (PathFor(path, pairs.a, pairs.b)) {
#if defined(MURL_HAVE_SIMD_SEARCH)
        case SearchPath::kAvx512bw:
            return InOneBlock(text, from, 64) ? FindAvx512InBlock(pairs, text, from)
                                              : FindAvx512(pairs, text, from);
        case SearchPath::kAvx2:
            return InOneBlock(text, from, 32) ? FindAvx2InBlock(pairs, text, from)
                                              : FindAvx2(pairs, text, from);
        case SearchPath::kSse2:
            if (size_t found = npos; FindSse2(pairs, text, from, found)) return found;
            break;
#endif
        default:
            break;
    }
    return FindEitherPlain(text, from, pairs.a, pairs.b);
}

// The first start at or after `from` where `a` or `b` holds, or npos, on PathFor's path.
inline size_t FindOn(SearchPath path, std::u16string_view text, size_t from, const Pair& a,
                     const Pair& b) noexcept {
    return FindOrdered(path, Ordered(a, b), text, from);
}

// The same for pairs known at compile time: only `path` is read when searching.
template <Pair A, Pair B>
inline size_t FindOn(SearchPath path, std::u16string_view text, size_t from) noexcept {
    return FindOrdered(path, FixedPairs<A, B>{}, text, from);
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
    const PairsOf ordered = detail::Ordered(a, b);
    return detail::PathFor(detail::g_path, ordered.a, ordered.b);
}

// The first start at or after `from` where `a` or `b` holds, or npos.
inline size_t FindEither(std::u16string_view text, size_t from, const Pair& a,
                         const Pair& b) noexcept {
    return detail::FindOn(detail::g_path, text, from, a, b);
}

// The same for pairs known at compile time, as the chat filter's are: what depends only on the
// pairs is decided when compiling, and a search reads only the path the processor takes.
template <Pair A, Pair B>
inline size_t FindEither(std::u16string_view text, size_t from) noexcept {
    return detail::FindOn<A, B>(detail::g_path, text, from);
}

}  // namespace murl::utf16
