#include "platform/clock.h"

#include <cstdio>

#include "host/text.h"

namespace murl {

std::u16string FormatDateTime(const DateTime& at) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", at.year, at.month, at.day,
                  at.hour, at.minute, at.second);
    return ToUtf16(text);
}

}  // namespace murl
