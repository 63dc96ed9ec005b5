#include "host/json.h"

#include "host/escaped_text.h"
#include "host/text.h"

namespace murl {

namespace {

constexpr NamedEscape kJsonEscapes[] = {
    {'"', u'"'},  {'\\', u'\\'}, {'t', u'\t'}, {'n', u'\n'},
    {'r', u'\r'}, {'b', u'\b'},  {'f', u'\f'},
};

bool JsonEscape(char16_t unit, std::string& out) {
    for (const auto& named : kJsonEscapes) {
        if (named.unit != unit) continue;
        out += '\\';
        out += named.letter;
        return true;
    }
    if (unit >= 0x20) return false;
    AppendHex4(out, unit);
    return true;
}

}  // namespace

void AppendJsonString(std::string& out, std::u16string_view text) {
    out += '"';
    AppendEscaped(out, text, JsonEscape, [](char16_t, std::string& to) { AppendUtf8(to, 0xFFFD); });
    out += '"';
}

void AppendJsonString(std::string& out, std::string_view utf8) {
    AppendJsonString(out, std::u16string_view(ToUtf16(utf8)));
}

bool HasLoneSurrogate(std::u16string_view text) noexcept {
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsLoneSurrogate(text, i)) return true;
    }
    return false;
}

void AppendJsonUnits(std::string& out, std::string_view key, std::u16string_view text) {
    if (!HasLoneSurrogate(text)) return;
    out += ",\"";
    out += key;
    out += "Units\":[";
    for (size_t i = 0; i < text.size(); ++i) {
        if (i != 0) out += ',';
        AppendDecimal(out, text[i]);
    }
    out += ']';
}

void AppendJsonKey(std::string& out, std::string_view key) {
    out += ",\"";
    out += key;
    out += "\":";
}

void AppendJsonMember(std::string& out, std::string_view key, int64_t value) {
    AppendJsonKey(out, key);
    AppendDecimal(out, value);
}

void AppendJsonMember(std::string& out, std::string_view key, std::u16string_view text) {
    AppendJsonKey(out, key);
    AppendJsonString(out, text);
    AppendJsonUnits(out, key, text);
}

void AppendJsonUtf8Member(std::string& out, std::string_view key, std::string_view utf8) {
    AppendJsonKey(out, key);
    AppendJsonString(out, utf8);
}

void AppendJsonAsciiMember(std::string& out, std::string_view key, std::string_view ascii) {
    AppendJsonKey(out, key);
    out += '"';
    out += ascii;
    out += '"';
}

}  // namespace murl
