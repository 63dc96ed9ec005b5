#pragma once
// Numbers as digits: the one hexadecimal writer and the one decimal writer of the code base. Each
// puts ASCII characters to a sink, any callable taking one character, so that a writer into a
// fixed buffer allocates nothing.

#include <cstddef>
#include <cstdint>

namespace murl {

enum class HexCase { kUpper, kLower };

// Puts the low `digits` hexadecimal digits of `value`, leading zeros included, to `sink`.
template <class Sink>
constexpr void PutHex(Sink&& sink, uint64_t value, int digits, HexCase letters = HexCase::kUpper) {
    const char* hex = letters == HexCase::kUpper ? "0123456789ABCDEF" : "0123456789abcdef";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) sink(hex[(value >> shift) & 0xF]);
}

// Puts `unit` as \uXXXX, upper-case hexadecimal.
template <class Sink>
constexpr void PutHex4(Sink&& sink, char16_t unit) {
    sink('\\');
    sink('u');
    PutHex(sink, unit, 4);
}

// A whole number as its sign and magnitude: any int64_t, and any uint64_t with either sign (a
// stored number).
struct Whole {
    uint64_t magnitude = 0;
    bool negative = false;
};

constexpr Whole WholeOf(int64_t value) noexcept {
    const auto bits = static_cast<uint64_t>(value);
    return value < 0 ? Whole{0 - bits, true} : Whole{bits, false};
}

// Puts `number` in decimal to `sink`: "-" before a negative, no leading zeros but those that
// bring it to `width` characters, the sign included.
template <class Sink>
constexpr void PutDecimal(Sink&& sink, Whole number, size_t width = 0) {
    char digits[20];
    size_t count = 0;
    uint64_t rest = number.magnitude;
    do {
        digits[count++] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (number.negative) sink('-');
    for (size_t shown = count + (number.negative ? 1 : 0); shown < width; ++shown) sink('0');
    while (count > 0) sink(digits[--count]);
}

template <class Sink>
constexpr void PutDecimal(Sink&& sink, int64_t value, size_t width = 0) {
    PutDecimal(sink, WholeOf(value), width);
}

}  // namespace murl
