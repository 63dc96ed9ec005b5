#pragma once
// A failure as the platform carries it: a signed 32-bit number, a source and a description.
// Every failure in the core travels as this exception.

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace murl {

// The classic platform's run-time errors that the core raises or maps to: each number named
// once, with the description the platform gives it.
#define MURL_CLASSIC_ERRORS(X)                                              \
    X(kInvalidCall, 5, u"Invalid procedure call or argument")               \
    X(kOverflow, 6, u"Overflow")                                            \
    X(kOutOfMemory, 7, u"Out of memory")                                    \
    X(kTypeMismatch, 13, u"Type mismatch")                                  \
    X(kInternalError, 51, u"Internal error")                                \
    X(kBadFileName, 52, u"Bad file name or number")                         \
    X(kFileNotFound, 53, u"File not found")                                 \
    X(kDeviceIoError, 57, u"Device I/O error")                              \
    X(kFileAlreadyExists, 58, u"File already exists")                       \
    X(kDiskFull, 61, u"Disk full")                                          \
    X(kTooManyFiles, 67, u"Too many files")                                 \
    X(kPermissionDenied, 70, u"Permission denied")                          \
    X(kPathFileAccessError, 75, u"Path/File access error")                  \
    X(kPathNotFound, 76, u"Path not found")                                 \
    X(kObjectNotSet, 91, u"Object variable or With block variable not set") \
    X(kNoAutomation, 430, u"Class doesn't support Automation")              \
    X(kNotSupported, 438, u"Object doesn't support this property or method")

namespace err {
#define MURL_ERROR_NUMBER(name, number, description) inline constexpr int32_t name = number;
MURL_CLASSIC_ERRORS(MURL_ERROR_NUMBER)
#undef MURL_ERROR_NUMBER
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
