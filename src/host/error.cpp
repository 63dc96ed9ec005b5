#include "host/error.h"

#include <new>

#include "host/text.h"

namespace murl {

std::u16string_view StandardDescription(int32_t number) noexcept {
    switch (number) {
        case err::kInvalidCall:
            return u"Invalid procedure call or argument";
        case err::kOverflow:
            return u"Overflow";
        case err::kOutOfMemory:
            return u"Out of memory";
        case err::kTypeMismatch:
            return u"Type mismatch";
        case err::kFileNotFound:
            return u"File not found";
        case err::kPermissionDenied:
            return u"Permission denied";
        case err::kPathNotFound:
            return u"Path not found";
        case err::kObjectNotSet:
            return u"Object variable or With block variable not set";
        case err::kNotSupported:
            return u"Object doesn't support this property or method";
        default:
            return {};
    }
}

Error::Error(int32_t number) : Error(number, std::u16string(StandardDescription(number))) {}

Error::Error(int32_t number, std::u16string description, std::u16string source)
    : number_(number),
      source_(std::move(source)),
      description_(std::move(description)),
      what_(ToUtf8(description_)) {}

std::u16string DescribeException(const std::exception& e) {
    if (auto* error = dynamic_cast<const Error*>(&e)) return error->description();
    if (dynamic_cast<const std::bad_alloc*>(&e)) {
        return std::u16string(StandardDescription(err::kOutOfMemory));
    }
    return ToUtf16(e.what());
}

}  // namespace murl
