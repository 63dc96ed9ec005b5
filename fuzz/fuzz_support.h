#pragma once
// What every fuzz target shares: reading its input and failing loudly on a broken invariant.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/text.h"

// libFuzzer's entry point; the replay program calls it too.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace murl::fuzz {

// Stops the run with a message when an invariant breaks; libFuzzer keeps the input.
#define FUZZ_CHECK(condition, what)                                                   \
    do {                                                                              \
        if (!(condition)) ::murl::fuzz::Fail(__FILE__, __LINE__, #condition, (what)); \
    } while (false)

[[noreturn]] inline void Fail(const char* file, int line, const char* condition,
                              const std::string& what) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n  %s\n", file, line, condition,
                 what.c_str());
    std::abort();
}

// A fuzz input: a few header bytes that choose states, then the payload.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    // The next byte, or 0 once the input is used up.
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t Word() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = value << 8 | Byte();
        return value;
    }
    // The rest as UTF-16 code units, two bytes each, low byte first; an odd last byte is dropped.
    std::u16string RestAsUtf16() {
        std::u16string text;
        for (; at_ + 1 < size_; at_ += 2) {
            text += static_cast<char16_t>(data_[at_] | data_[at_ + 1] << 8);
        }
        at_ = size_;
        return text;
    }
    // The rest, one code unit per byte.
    std::u16string RestAsBytes() {
        std::u16string text(data_ + at_, data_ + size_);
        at_ = size_;
        return text;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// A text for a failure message: UTF-8, cut short when long.
inline std::string Show(std::u16string_view text) {
    return '"' + ToUtf8(text.substr(0, 200)) + (text.size() > 200 ? "...\"" : "\"");
}

}  // namespace murl::fuzz
