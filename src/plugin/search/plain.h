#pragma once
// The plain loop: what every other path must find, and the last resort of each.

#include "plugin/search/pair.h"

namespace murl::utf16::detail {

// (Kept out of the callers: it is their last resort, and murl.dll's size is counted.)
__attribute__((noinline)) inline size_t FindEitherPlain(std::u16string_view text, size_t from,
                                                        const Pair& a, const Pair& b) noexcept {
    for (size_t i = from; i < text.size(); ++i) {
        if (a.At(text, i) || b.At(text, i)) return i;
    }
    return npos;
}

}  // namespace murl::utf16::detail
