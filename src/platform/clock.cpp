#include "platform/clock.h"

#include "host/text.h"

namespace murl {

namespace {

// `value` in decimal, zero-padded to `width` characters, the sign included.
void AppendPadded(std::u16string& out, int value, size_t width) {
    std::u16string digits = DecimalText(value);
    const size_t sign = value < 0 ? 1 : 0;
    if (digits.size() < width) digits.insert(sign, width - digits.size(), u'0');
    out += digits;
}

}  // namespace

// "YYYY-MM-DD HH:MM:SS". Formatted by hand: the C library's formatted output would add its
// whole implementation to murl.dll.
std::u16string FormatDateTime(const DateTime& at) {
    std::u16string text;
    AppendPadded(text, at.year, 4);
    for (const auto& [separator, value] :
         {std::pair{u'-', at.month}, std::pair{u'-', at.day}, std::pair{u' ', at.hour},
          std::pair{u':', at.minute}, std::pair{u':', at.second}}) {
        text += separator;
        AppendPadded(text, value, 2);
    }
    return text;
}

}  // namespace murl
