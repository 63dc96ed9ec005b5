#include "host/error.h"

#include <new>

#include "text/text.h"

namespace murl {

std::u16string_view StandardDescription(int32_t number) noexcept {
    struct Known {
        int32_t number;
        std::u16string_view description;
    };
#define MURL_ERROR_ROW(name, number, description) {err::name, description},
    static constexpr Known kKnown[] = {MURL_CLASSIC_ERRORS(MURL_ERROR_ROW)};
#undef MURL_ERROR_ROW
    for (const Known& known : kKnown) {
        if (known.number == number) return known.description;
    }
    return {};
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
