#include "text/readable_text.h"

namespace murl {

namespace {

template <class Escape>
void AppendReadable(std::string& out, std::u16string_view text, Escape&& escape) {
    AppendEscaped(out, text, escape, [](char16_t unit, std::string& to) { AppendHex4(to, unit); });
}

// The named escapes (without kQuotes, those of the controls only), other controls and DEL (with
// kC1 also the C1 controls) as \uXXXX.
template <bool kQuotes, bool kC1>
bool ReadableEscape(char16_t unit, std::string& out) {
    const std::span<const NamedEscape> named = kQuotes ? kNamedEscapes : kControlEscapes;
    if (PutNamedEscape(Utf8Sink{out}, named, unit)) return true;
    if (unit < 0x20 || unit == 0x7F || (kC1 && unit >= 0x80 && unit < 0xA0)) {
        AppendHex4(out, unit);
        return true;
    }
    return false;
}

}  // namespace

std::string ReadableText(std::u16string_view text, size_t most) {
    const std::u16string_view shown = CutUnits(text, most);
    std::string out = "\"";
    AppendReadable(out, shown, ReadableEscape<true, false>);
    out += '"';
    if (shown.size() < text.size()) out += "...";
    return out;
}

std::string ReadableName(std::u16string_view text) {
    std::string out;
    AppendReadable(out, text, ReadableEscape<false, true>);
    return out;
}

void AppendVerbatim(std::string& out, std::u16string_view text) {
    AppendReadable(out, text, [](char16_t, std::string&) { return false; });
}

}  // namespace murl
