#include "sim/transcript.h"

#include <charconv>

#include "host/text.h"
#include "sim/verbs.h"

namespace murl::sim {

namespace {

constexpr size_t kFlushAt = 1 << 16;

bool IsHighSurrogate(char16_t c) noexcept {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) noexcept {
    return c >= 0xDC00 && c <= 0xDFFF;
}

void AppendHex4(std::string& out, char16_t unit) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
}

void AppendNumber(std::string& out, int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

// Appends code point `cp` (never a surrogate) as UTF-8.
void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Whether text[i] is half of a surrogate pair whose other half is missing.
bool IsLoneSurrogate(std::u16string_view text, size_t i) noexcept {
    if (IsHighSurrogate(text[i])) return i + 1 == text.size() || !IsLowSurrogate(text[i + 1]);
    if (IsLowSurrogate(text[i])) return i == 0 || !IsHighSurrogate(text[i - 1]);
    return false;
}

// Appends `text` with `escape(unit, out)` deciding for each BMP unit outside a surrogate pair
// whether it needs an escape; a pair becomes its four-byte UTF-8 form, a lone surrogate what
// `lone(unit, out)` makes of it.
template <class Escape, class Lone>
void AppendEscaped(std::string& out, std::u16string_view text, Escape&& escape, Lone&& lone) {
    out.reserve(out.size() + text.size() + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            lone(unit, out);
        } else if (!escape(unit, out)) {
            AppendUtf8(out, unit);
        }
    }
}

// For people: a lone surrogate as the scenario language's \uXXXX escape.
template <class Escape>
void AppendEscaped(std::string& out, std::u16string_view text, Escape&& escape) {
    AppendEscaped(out, text, escape, [](char16_t unit, std::string& to) { AppendHex4(to, unit); });
}

// The scenario language's named escapes, which JSON shares; without `quotes`, those of the
// line breaks and the tab only.
bool AppendNamedEscape(char16_t unit, bool quotes, std::string& out) {
    if (!quotes && (unit == u'"' || unit == u'\\')) return false;
    for (const auto& named : kNamedEscapes) {
        if (named.unit != unit) continue;
        out += '\\';
        out += named.letter;
        return true;
    }
    return false;
}

bool JsonEscape(char16_t unit, std::string& out) {
    if (AppendNamedEscape(unit, true, out)) return true;
    if (unit == u'\b' || unit == u'\f') {
        out += unit == u'\b' ? "\\b" : "\\f";
    } else if (unit < 0x20) {
        AppendHex4(out, unit);
    } else {
        return false;
    }
    return true;
}

// The escapes for people: JSON's without \b and \f, and DEL (with kC1 also the C1 controls)
// as \uXXXX.
template <bool kQuotes, bool kC1>
bool ReadableEscape(char16_t unit, std::string& out) {
    if (AppendNamedEscape(unit, kQuotes, out)) return true;
    if (unit < 0x20 || unit == 0x7F || (kC1 && unit >= 0x80 && unit < 0xA0)) {
        AppendHex4(out, unit);
        return true;
    }
    return false;
}

// `text` as it is, but for a lone surrogate, which UTF-8 cannot carry.
void AppendVerbatim(std::string& out, std::u16string_view text) {
    AppendEscaped(out, text, [](char16_t, std::string&) { return false; });
}

void AppendKey(std::string& out, std::string_view key) {
    out += ",\"";
    out += key;
    out += "\":";
}

// The verdict column: what became of the eat flag, blank where the event has none.
void AppendVerdict(std::string& out, const std::optional<HostBool>& eat) {
    if (!eat) {
        out += "       ";
    } else if (*eat == kHostTrue) {
        out += "eaten  ";
    } else if (*eat == kHostFalse) {
        out += "shown  ";
    } else {
        out += "eat=";
        AppendNumber(out, *eat);
        out += "  ";
    }
}

// A printed line, with its colour and target where they are not the usual ones.
void AppendPrinted(std::string& out, const PrintedLine& line) {
    out += "                 > ";
    AppendVerbatim(out, line.text);
    if (line.colour != 5 || line.target != 1) {
        out += "  [colour ";
        AppendNumber(out, line.colour);
        out += ", target ";
        AppendNumber(out, line.target);
        out += ']';
    }
    out += '\n';
}

}  // namespace

bool HasLoneSurrogate(std::u16string_view text) noexcept {
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsLoneSurrogate(text, i)) return true;
    }
    return false;
}

void AppendJsonString(std::string& out, std::u16string_view text) {
    out += '"';
    AppendEscaped(out, text, JsonEscape, [](char16_t, std::string& to) { AppendUtf8(to, 0xFFFD); });
    out += '"';
}

void AppendJsonUnits(std::string& out, std::string_view key, std::u16string_view text) {
    if (!HasLoneSurrogate(text)) return;
    out += ",\"";
    out += key;
    out += "Units\":[";
    for (size_t i = 0; i < text.size(); ++i) {
        if (i != 0) out += ',';
        AppendNumber(out, text[i]);
    }
    out += ']';
}

std::string ReadableText(std::u16string_view text) {
    std::string out = "\"";
    AppendEscaped(out, text, ReadableEscape<true, false>);
    out += '"';
    return out;
}

std::string ReadableName(std::u16string_view text) {
    std::string out;
    AppendEscaped(out, text, ReadableEscape<false, true>);
    return out;
}

void AppendJsonMember(std::string& out, std::string_view key, int64_t value) {
    AppendKey(out, key);
    AppendNumber(out, value);
}

void AppendJsonMember(std::string& out, std::string_view key, std::u16string_view text) {
    AppendKey(out, key);
    AppendJsonString(out, text);
    AppendJsonUnits(out, key, text);
}

void AppendJsonAsciiMember(std::string& out, std::string_view key, std::string_view ascii) {
    AppendKey(out, key);
    out += '"';
    out += ascii;
    out += '"';
}

std::string JsonLine(const Record& record) {
    std::string out = "{\"line\":";
    AppendNumber(out, record.event->line);
    AppendEventJson(out, *record.event);
    if (record.eat) AppendJsonMember(out, "bEat", *record.eat);
    AppendKey(out, "printed");
    out += '[';
    for (size_t i = 0; i < record.printed.size(); ++i) {
        const auto& line = record.printed[i];
        if (i != 0) out += ',';
        out += "{\"text\":";
        AppendJsonString(out, line.text);
        AppendJsonUnits(out, "text", line.text);
        AppendJsonMember(out, "colour", line.colour);
        AppendJsonMember(out, "target", line.target);
        out += '}';
    }
    out += ']';
    if (record.failed) AppendJsonMember(out, "failed", *record.failed);
    out += '}';
    return out;
}

void AppendTextRecord(std::string& out, const Record& record) {
    // "  line  verdict  event", then what was printed ("> ") and the failure ("! ").
    const Event& e = *record.event;
    const std::string number = std::to_string(e.line);
    if (number.size() < 6) out.append(6 - number.size(), ' ');
    out += number;
    out += "  ";
    AppendVerdict(out, record.eat);
    AppendEventText(out, e);
    if (!record.heard) {
        out += "  (";
        out += RowOf(e.verb).unheard;
        out += ')';
    }
    out += '\n';
    for (const auto& line : record.printed) AppendPrinted(out, line);
    if (record.failed) {
        out += "                 ! failed: ";
        AppendVerbatim(out, *record.failed);
        out += '\n';
    }
}

// ---- Streams ------------------------------------------------------------------------------

StreamTranscript::~StreamTranscript() {
    try {
        Flush(true);
    } catch (...) {
    }
}

void StreamTranscript::Write(const Record& record) {
    format_(buffer_, record);
    if (buffer_.size() >= kFlushAt) Flush(false);
}

void StreamTranscript::Flush() {
    Flush(true);
}

void StreamTranscript::Flush(bool to_device) {
    if (!buffer_.empty()) out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
    if (to_device) out_.flush();
}

void AppendJsonRecord(std::string& out, const Record& record) {
    out += JsonLine(record);
    out += '\n';
}

}  // namespace murl::sim
