#include "sim/transcript.h"

#include <charconv>

#include "host/text.h"

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

// Appends `text` with `escape(unit, out)` deciding for each BMP unit outside a surrogate pair
// whether it needs an escape; a pair becomes its four-byte UTF-8 form, a lone surrogate an
// escape.
template <class Escape>
void AppendEscaped(std::string& out, std::u16string_view text, Escape&& escape) {
    out.reserve(out.size() + text.size() + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            AppendHex4(out, unit);
        } else if (!escape(unit, out)) {
            AppendUtf8(out, unit);
        }
    }
}

bool JsonEscape(char16_t unit, std::string& out) {
    switch (unit) {
        case u'"':
            out += "\\\"";
            return true;
        case u'\\':
            out += "\\\\";
            return true;
        case u'\n':
            out += "\\n";
            return true;
        case u'\r':
            out += "\\r";
            return true;
        case u'\t':
            out += "\\t";
            return true;
        case u'\b':
            out += "\\b";
            return true;
        case u'\f':
            out += "\\f";
            return true;
        default:
            if (unit < 0x20) {
                AppendHex4(out, unit);
                return true;
            }
            return false;
    }
}

void AppendKey(std::string& out, std::string_view key) {
    out += ",\"";
    out += key;
    out += "\":";
}

void AppendAscii(std::string& out, std::string_view text) {
    out += '"';
    out += text;
    out += '"';
}

void FlushIfFull(std::string& buffer, std::ostream& out, bool force) {
    if (buffer.size() >= kFlushAt || (force && !buffer.empty())) {
        out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        buffer.clear();
    }
    if (force) out.flush();
}

}  // namespace

void AppendJsonString(std::string& out, std::u16string_view text) {
    out += '"';
    AppendEscaped(out, text, JsonEscape);
    out += '"';
}

std::string ReadableText(std::u16string_view text) {
    std::string out = "\"";
    AppendEscaped(out, text, [](char16_t unit, std::string& to) {
        switch (unit) {
            case u'"':
                to += "\\\"";
                return true;
            case u'\\':
                to += "\\\\";
                return true;
            case u'\n':
                to += "\\n";
                return true;
            case u'\r':
                to += "\\r";
                return true;
            case u'\t':
                to += "\\t";
                return true;
            default:
                if (unit < 0x20 || unit == 0x7F) {
                    AppendHex4(to, unit);
                    return true;
                }
                return false;
        }
    });
    out += '"';
    return out;
}

std::string ReadableName(std::u16string_view text) {
    std::string out;
    AppendEscaped(out, text, [](char16_t unit, std::string& to) {
        switch (unit) {
            case u'\n':
                to += "\\n";
                return true;
            case u'\r':
                to += "\\r";
                return true;
            case u'\t':
                to += "\\t";
                return true;
            default:
                if (unit < 0x20 || unit == 0x7F || (unit >= 0x80 && unit < 0xA0)) {
                    AppendHex4(to, unit);
                    return true;
                }
                return false;
        }
    });
    return out;
}

std::string JsonLine(const Record& record) {
    const Event& e = *record.event;
    std::string out = "{\"line\":";
    AppendNumber(out, e.line);
    AppendKey(out, "event");
    AppendAscii(out, VerbName(e.verb));
    switch (e.verb) {
        case Verb::Chat:
            AppendKey(out, "colour");
            AppendNumber(out, e.colour);
            AppendKey(out, "text");
            AppendJsonString(out, e.text);
            break;
        case Verb::Identity1:
        case Verb::Identity2:
        case Verb::Status:
        case Verb::Type:
            AppendKey(out, "text");
            AppendJsonString(out, e.text);
            break;
        case Verb::Check:
            AppendKey(out, "name");
            AppendJsonString(out, e.name);
            AppendKey(out, "state");
            AppendAscii(out, e.on ? "on" : "off");
            break;
        case Verb::Hit:
        case Verb::Accept:
            AppendKey(out, "name");
            AppendJsonString(out, e.name);
            break;
        case Verb::Fault:
        case Verb::Missing:
            if (!e.name.empty()) {
                AppendKey(out, "name");
                AppendJsonString(out, e.name);
            }
            AppendKey(out, "operation");
            AppendAscii(out, OperationName(e.operation));
            break;
        default:
            break;
    }
    if (record.eat) {
        AppendKey(out, "bEat");
        AppendNumber(out, *record.eat);
    }
    AppendKey(out, "printed");
    out += '[';
    for (size_t i = 0; i < record.printed.size(); ++i) {
        const auto& line = record.printed[i];
        if (i != 0) out += ',';
        out += "{\"text\":";
        AppendJsonString(out, line.text);
        AppendKey(out, "colour");
        AppendNumber(out, line.colour);
        AppendKey(out, "target");
        AppendNumber(out, line.target);
        out += '}';
    }
    out += ']';
    if (record.failed) {
        AppendKey(out, "failed");
        AppendJsonString(out, *record.failed);
    }
    out += '}';
    return out;
}

// ---- JSON ---------------------------------------------------------------------------------

JsonTranscript::~JsonTranscript() {
    try {
        Flush();
    } catch (...) {
    }
}

void JsonTranscript::Write(const Record& record) {
    buffer_ += JsonLine(record);
    buffer_ += '\n';
    FlushIfFull(buffer_, out_, false);
}

void JsonTranscript::Flush() {
    FlushIfFull(buffer_, out_, true);
}

// ---- Text ---------------------------------------------------------------------------------

TextTranscript::~TextTranscript() {
    try {
        Flush();
    } catch (...) {
    }
}

void TextTranscript::Write(const Record& record) {
    // "  line  verdict  event", then what was printed ("> ") and the failure ("! ").
    const Event& e = *record.event;
    std::string& out = buffer_;
    const std::string number = std::to_string(e.line);
    if (number.size() < 6) out.append(6 - number.size(), ' ');
    out += number;
    out += "  ";
    if (!record.eat) {
        out += "       ";
    } else if (*record.eat == kHostTrue) {
        out += "eaten  ";
    } else if (*record.eat == kHostFalse) {
        out += "shown  ";
    } else {
        out += "eat=";
        AppendNumber(out, *record.eat);
        out += "  ";
    }
    out += VerbName(e.verb);
    if (e.eat) out += "@eat";
    switch (e.verb) {
        case Verb::Chat:
            out += ' ';
            AppendNumber(out, e.colour);
            out += ' ';
            out += ReadableText(e.text);
            break;
        case Verb::Identity1:
        case Verb::Identity2:
        case Verb::Status:
        case Verb::Type:
            out += ' ';
            out += ReadableText(e.text);
            break;
        case Verb::Check:
            out += ' ';
            out += ToUtf8(e.name);
            out += e.on ? " on" : " off";
            break;
        case Verb::Hit:
        case Verb::Accept:
            out += ' ';
            out += ToUtf8(e.name);
            break;
        case Verb::Fault:
        case Verb::Missing:
            out += ' ';
            out += OperationName(e.operation);
            if (!e.name.empty()) {
                out += ' ';
                out += ToUtf8(e.name);
            }
            break;
        default:
            break;
    }
    if (!record.heard) {
        const bool to_plugin =
            e.verb == Verb::Init || e.verb == Verb::Terminate || e.verb == Verb::Destroy;
        out += to_plugin ? "  (no plug-in object)" : "  (nobody listening)";
    }
    out += '\n';
    for (const auto& line : record.printed) {
        out += "                 > ";
        out += ToUtf8(line.text);
        if (line.colour != 5 || line.target != 1) {
            out += "  [colour ";
            AppendNumber(out, line.colour);
            out += ", target ";
            AppendNumber(out, line.target);
            out += ']';
        }
        out += '\n';
    }
    if (record.failed) {
        out += "                 ! failed: ";
        out += ToUtf8(*record.failed);
        out += '\n';
    }
    FlushIfFull(buffer_, out_, false);
}

void TextTranscript::Flush() {
    FlushIfFull(buffer_, out_, true);
}

}  // namespace murl::sim
