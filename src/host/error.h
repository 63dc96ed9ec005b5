#pragma once
// A failure as the platform carries it: a signed 32-bit number, a source and a description.
// Every failure in the core travels as this exception.

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace murl {

// Numbers of the classic platform's run-time errors that the core raises or maps to.
namespace err {
inline constexpr int32_t kInvalidCall = 5;
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kOutOfMemory = 7;
inline constexpr int32_t kTypeMismatch = 13;
inline constexpr int32_t kFileNotFound = 53;
inline constexpr int32_t kPermissionDenied = 70;
inline constexpr int32_t kPathNotFound = 76;
inline constexpr int32_t kObjectNotSet = 91;
inline constexpr int32_t kNotSupported = 438;
inline constexpr int32_t kLogOutput = -2147213504;  // 0x80041F40: the log's own failure
}  // namespace err

// The classic description of a platform error number; empty for numbers it does not know.
std::u16string_view StandardDescription(int32_t number) noexcept;

class Error : public std::exception {
public:
    // Carries the platform's own description for `number`.
    explicit Error(int32_t number);
    Error(int32_t number, std::u16string description, std::u16string source = {});

    int32_t number() const noexcept { return number_; }
    const std::u16string& source() const noexcept { return source_; }
    const std::u16string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    int32_t number_;
    std::u16string source_;
    std::u16string description_;
    std::string what_;  // UTF-8 copy of the description, for what()
};

// The description of whatever `e` is: an Error's own text, "Out of memory" for bad_alloc,
// what() of any other exception as text.
std::u16string DescribeException(const std::exception& e);

}  // namespace murl
