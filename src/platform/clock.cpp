#include "platform/clock.h"

#include "text/text.h"

namespace murl {

namespace {

// `value` in decimal, zero-padded to `width` characters, the sign included.
void AppendPadded(std::u16string& out, int value, size_t width) {
    PutDecimal([&](char c) { out += static_cast<char16_t>(c); }, value, width);
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
