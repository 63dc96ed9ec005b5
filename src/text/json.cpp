#include "text/json.h"

#include "text/escaped_text.h"
#include "text/text.h"

namespace murl {

namespace {

constexpr NamedEscape kJsonEscapes[] = {
    {'"', u'"'},  {'\\', u'\\'}, {'t', u'\t'}, {'n', u'\n'},
    {'r', u'\r'}, {'b', u'\b'},  {'f', u'\f'},
};

bool JsonEscape(char16_t unit, std::string& out) {
    if (PutNamedEscape(Utf8Sink{out}, kJsonEscapes, unit)) return true;
    if (unit >= 0x20) return false;
    AppendHex4(out, unit);
    return true;
}

void AppendJsonString(std::string& out, std::u16string_view text) {
    out += '"';
    AppendEscaped(out, text, JsonEscape, [](char16_t, std::string& to) { AppendUtf8(to, 0xFFFD); });
    out += '"';
}

bool HasLoneSurrogate(std::u16string_view text) noexcept {
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsLoneSurrogate(text, i)) return true;
    }
    return false;
}

}  // namespace

void JsonWriter::Next() {
    if (!first_ && !closing_.empty()) out_ += ',';
    first_ = false;
}

void JsonWriter::Key(std::string_view key) {
    Next();
    out_ += '"';
    out_ += key;
    out_ += "\":";
}

void JsonWriter::Open(char opening, char closing) {
    out_ += opening;
    closing_ += closing;
    first_ = true;
}

JsonWriter& JsonWriter::Close() {
    out_ += closing_.back();
    closing_.pop_back();
    first_ = false;
    return *this;
}

JsonWriter& JsonWriter::Object() {
    Next();
    Open('{', '}');
    return *this;
}

JsonWriter& JsonWriter::Array() {
    Next();
    Open('[', ']');
    return *this;
}

JsonWriter& JsonWriter::Value(std::u16string_view text) {
    Next();
    AppendJsonString(out_, text);
    return *this;
}

JsonWriter& JsonWriter::Value(std::string_view utf8) {
    return Value(std::u16string_view(ToUtf16(utf8)));
}

JsonWriter& JsonWriter::Value(int64_t number) {
    Next();
    AppendDecimal(out_, number);
    return *this;
}

JsonWriter& JsonWriter::Object(std::string_view key) {
    Key(key);
    Open('{', '}');
    return *this;
}

JsonWriter& JsonWriter::Array(std::string_view key) {
    Key(key);
    Open('[', ']');
    return *this;
}

JsonWriter& JsonWriter::Member(std::string_view key, std::u16string_view text) {
    Key(key);
    AppendJsonString(out_, text);
    if (!HasLoneSurrogate(text)) return *this;
    Array(std::string(key) + "Units");
    for (const char16_t unit : text) Value(int64_t{unit});
    return Close();
}

JsonWriter& JsonWriter::Member(std::string_view key, std::string_view utf8) {
    Key(key);
    AppendJsonString(out_, ToUtf16(utf8));
    return *this;
}

JsonWriter& JsonWriter::Member(std::string_view key, int64_t number) {
    return Member(key, WholeOf(number));
}

JsonWriter& JsonWriter::Member(std::string_view key, Whole number) {
    Key(key);
    PutDecimal(Utf8Sink{out_}, number);
    return *this;
}

JsonWriter& JsonWriter::Boolean(std::string_view key, bool value) {
    Key(key);
    out_ += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null(std::string_view key) {
    Key(key);
    out_ += "null";
    return *this;
}

}  // namespace murl
