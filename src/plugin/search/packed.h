#pragma once
// The scalar side of the packed paths (AVX-512BW and AVX2), and their loop, one for both widths.
// Each unit is compared once against the first unit of each pair, on bytes: the units are packed
// to bytes with unsigned saturation (a unit above 255 becomes 255, one of 0x8000 or more becomes
// 0, neither of which is a pair's first unit on these paths), and the compares give one bit a
// unit. A block's masks hold one bit a unit: where it equals `a`'s first unit, and where it
// equals `b`'s. The starts of one block are decided when the next block's masks are known, so
// that a pair reaching into the next block is seen: where a block is flagged, the two blocks'
// masks together are shifted down to each of a pair's distances. A pair whose two units are the
// same (the bot mark's hyphens) is formed from that one mask, the previous block's bits carried
// across. The end of a text is read by masked loads, which read nothing past it.

#include <algorithm>
#include <cstdint>

#include "plugin/search/pair.h"

namespace murl::utf16::detail {

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

constexpr bool Like(const Pair& p) noexcept {
    return p.first == p.second;
}

// Whether the packed paths take `a` and `b`: first units a byte can stand for, distances within
// a block of `bits` units, like units kLikeApart apart, and of `b`, unlike units unless it is `a`.
// (FindOn puts a pair of like units first.)
constexpr bool Packable(const Pair& a, const Pair& b, size_t bits) noexcept {
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

    // The bits of the next two blocks; true, with nothing decided, where either of them or the
    // block before is flagged (then Next takes them one at a time); false where none is, and
    // the two blocks are taken.
    __attribute__((always_inline)) bool Flagged(Mask a1, Mask b1, Mask a2, Mask b2) noexcept {
        if ((flagged_ | Flags(a_prev_, a1, b1) | Flags(a1, a2, b2)) != 0) [[unlikely]] {
            return true;
        }
        flagged_ = 0;
        a_prev_ = a2;
        b_prev_ = b2;
        return false;
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

public:
    // The starts of the last block, no block following: for a text of one block, no loop.
    __attribute__((always_inline)) size_t Last(size_t window) noexcept {
        size_t found = npos;
        Next(0, 0, window, found);
        return found;
    }

private:
    std::u16string_view text_;
    const Pair& a_;
    const Pair& b_;
    Mask a_unlike_, b_other_;
    Mask a_prev_, b_prev_, flagged_;
};

// The first start at or after `from` where `a` or `b` holds, or npos, in a text whose units
// from `from` on fit in one block of `blocks`: one End, no loop, and a frame that holds no
// vector, so that a short line pays for little more than its compares.
template <class Blocks>
inline size_t FindInBlock(const Blocks& blocks, std::u16string_view text, size_t from,
                          const Pair& a, const Pair& b) noexcept {
    using Mask = typename Blocks::Mask;
    Mask a_bits = 0, b_bits = 0;
    blocks.End(text.data() + from, text.size() - from, a_bits, b_bits);
    return PackedStarts<Mask>(text, a, b, a_bits, b_bits).Last(from);
}

// Whether the units of `text` from `from` on fit in one block of `bits` units.
constexpr bool InOneBlock(std::u16string_view text, size_t from, size_t bits) noexcept {
    return from <= text.size() && text.size() - from <= bits;
}

// The first start at or after `from` where `a` or `b` holds, or npos, a block of `blocks` a
// step. `Blocks` has the vector work of one width: its Mask (one bit a unit of a block), and
// Whole(at, a_bits, b_bits) and End(at, left, a_bits, b_bits), the bits of a whole block and of
// the `left` units of the text's last one. Its caller
// carries the width's target and flattens this loop into itself: the vector work is inlined there,
// where its instructions are allowed.
template <class Blocks>
inline size_t FindPacked(const Blocks& blocks, std::u16string_view text, size_t from, const Pair& a,
                         const Pair& b) noexcept {
    using Mask = typename Blocks::Mask;
    constexpr size_t kBlock = PackedStarts<Mask>::kBits;
    const size_t size = text.size();
    if (from >= size) return npos;
    const char16_t* const units = text.data();
    Mask a_bits = 0, b_bits = 0;
    blocks.End(units + from, std::min(size - from, kBlock), a_bits, b_bits);
    PackedStarts<Mask> starts(text, a, b, a_bits, b_bits);
    size_t next = from + kBlock;
    size_t found = npos;
    // Two blocks a step: one test of their flags, the blocks taken one at a time where flagged.
    for (; next + 2 * kBlock <= size; next += 2 * kBlock) {
        Mask a_next = 0, b_next = 0;
        blocks.Whole(units + next, a_bits, b_bits);
        blocks.Whole(units + next + kBlock, a_next, b_next);
        if (!starts.Flagged(a_bits, b_bits, a_next, b_next)) continue;
        if (starts.Next(a_bits, b_bits, next - kBlock, found)) return found;
        if (starts.Next(a_next, b_next, next, found)) return found;
    }
    for (; next + kBlock <= size; next += kBlock) {
        blocks.Whole(units + next, a_bits, b_bits);
        if (starts.Next(a_bits, b_bits, next - kBlock, found)) return found;
    }
    for (;; next += kBlock) {  // the last units, if any, then none
        a_bits = b_bits = 0;
        if (next < size) blocks.End(units + next, size - next, a_bits, b_bits);
        if (starts.Next(a_bits, b_bits, next - kBlock, found)) return found;
        if (next >= size) return npos;
    }
}

}  // namespace murl::utf16::detail
