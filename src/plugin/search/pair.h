#pragma once
// What the search looks for, and the ways it can go.

#include <cstddef>
#include <cstdint>
#include <string_view>

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

// Two pairs searched together, known only when searched (the tests' and the fuzzer's pairs).
struct PairsOf {
    Pair a, b;
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

}  // namespace murl::utf16
