#include "sim/scenario.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <utility>

#include "host/text.h"
#include "plugin/switches.h"

namespace murl::sim {

namespace {

struct VerbInfo {
    std::string_view name;
    Verb verb;
    bool eat_form;  // also spelt NAME@eat
};

constexpr std::array<VerbInfo, 16> kVerbs = {{
    {"init", Verb::Init, false},
    {"terminate", Verb::Terminate, false},
    {"destroy", Verb::Destroy, false},
    {"create", Verb::Create, false},
    {"identity1", Verb::Identity1, false},
    {"identity2", Verb::Identity2, false},
    {"login", Verb::Login, false},
    {"chat", Verb::Chat, true},
    {"status", Verb::Status, true},
    {"type", Verb::Type, true},
    {"check", Verb::Check, false},
    {"hit", Verb::Hit, false},
    {"accept", Verb::Accept, false},
    {"fault", Verb::Fault, false},
    {"missing", Verb::Missing, false},
    {"heal", Verb::Heal, false},
}};

constexpr std::array<std::u16string_view, 2> kPushButtons = {u"cmdReset", u"cmdOut"};
constexpr std::array<std::u16string_view, 3> kHostObjects = {u"hooks", u"stats", u"loader"};

// `text` as one of `names`, pointing at the table's own copy; empty when it is none of them.
template <size_t N>
std::u16string_view Lookup(const std::array<std::u16string_view, N>& names, std::string_view text) {
    for (const auto name : names) {
        if (name.size() == text.size() &&
            std::equal(name.begin(), name.end(), text.begin(),
                       [](char16_t a, char b) { return a == static_cast<unsigned char>(b); })) {
            return name;
        }
    }
    return {};
}

std::string Quote(std::string_view text) {
    return QuoteInput(text);
}

// A run of digits, cut like quoted input.
std::string Cut(std::string_view digits) {
    constexpr size_t kLongest = 60;
    if (digits.size() <= kLongest) return std::string(digits);
    return std::string(digits.substr(0, kLongest)) + "...";
}

// The length of the UTF-8 sequence at the start of `text`, or 0 when it is not one.
size_t Utf8Length(std::string_view text) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    size_t length;
    uint32_t code;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (overlong || surrogate || code > 0x10FFFF) return 0;
    return length;
}

// Splits off the next blank-separated field. Returns nothing when `rest` is exhausted.
std::optional<std::string_view> NextField(std::string_view& rest, bool& more) {
    if (!more) return std::nullopt;
    const size_t blank = rest.find(' ');
    std::string_view field = rest.substr(0, blank);
    if (blank == std::string_view::npos) {
        more = false;
        rest = {};
    } else {
        rest.remove_prefix(blank + 1);
    }
    return field;
}

int HexDigit(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// TEXT as written: taken as it stands, or a quoted string. Returns an error message or empty.
std::string ReadText(std::string_view raw, std::u16string& text) {
    if (raw.empty() || raw.front() != '"') {
        text = ToUtf16(raw);
        return {};
    }
    text.clear();
    size_t i = 1;
    size_t run = i;  // start of the current stretch of plain characters
    auto flush = [&](size_t end) { text += ToUtf16(raw.substr(run, end - run)); };
    while (i < raw.size()) {
        const char c = raw[i];
        if (c == '"') {
            if (i + 1 != raw.size()) return "the closing quote must end the line";
            flush(i);
            return {};
        }
        if (c != '\\') {
            ++i;
            continue;
        }
        flush(i);
        if (i + 1 >= raw.size()) return "unterminated quote";
        const char e = raw[i + 1];
        size_t length = 2;
        switch (e) {
            case '"':
                text += u'"';
                break;
            case '\\':
                text += u'\\';
                break;
            case 't':
                text += u'\t';
                break;
            case 'n':
                text += u'\n';
                break;
            case 'r':
                text += u'\r';
                break;
            case 'u': {
                int value = 0;
                for (size_t k = 0; k < 4; ++k) {
                    const int digit = i + 2 + k < raw.size() ? HexDigit(raw[i + 2 + k]) : -1;
                    if (digit < 0) {
                        return "bad escape " + Quote(raw.substr(i, 2 + k)) +
                               ": \\u takes four hexadecimal digits";
                    }
                    value = value * 16 + digit;
                }
                text += static_cast<char16_t>(value);
                length = 6;
                break;
            }
            default: {
                // Quote the whole character after the backslash, even when it is not ASCII.
                size_t end = i + 2;
                while (end < raw.size() && (static_cast<unsigned char>(raw[end]) & 0xC0) == 0x80) {
                    ++end;
                }
                return "bad escape " + Quote(raw.substr(i, end - i));
            }
        }
        i += length;
        run = i;
    }
    return "unterminated quote";
}

std::string ReadColour(std::string_view field, int32_t& colour) {
    const std::string_view digits = field.substr(!field.empty() && field.front() == '-' ? 1 : 0);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return "COLOUR " + Quote(field) + " is not a signed decimal number";
    }
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), colour);
    if (ec == std::errc::result_out_of_range) {
        return "COLOUR " + Cut(field) + " is outside the signed 32-bit range";
    }
    return {};
}

std::string ControlName(std::string_view field, Verb verb, std::u16string_view& name) {
    const auto box = Lookup(kCheckBoxNames, field);
    const auto button = Lookup(kPushButtons, field);
    if (box.empty() && button.empty()) return "unknown control name " + Quote(field);
    if (verb == Verb::Check && box.empty()) return Quote(field) + " is not a check box";
    if ((verb == Verb::Hit || verb == Verb::Accept) && button.empty()) {
        return Quote(field) + " is not a push button";
    }
    name = box.empty() ? button : box;
    return {};
}

std::string FaultTargetName(std::string_view field, Operation op, std::u16string_view& name) {
    const auto box = Lookup(kCheckBoxNames, field);
    const auto button = Lookup(kPushButtons, field);
    const auto object = Lookup(kHostObjects, field);
    switch (TargetOf(op)) {
        case FaultTarget::None:
            return "extra argument " + Quote(field);
        case FaultTarget::CheckBox:
            if (!box.empty()) break;
            if (!button.empty()) return Quote(field) + " is not a check box";
            return "unknown control name " + Quote(field);
        case FaultTarget::AnyControl:
            if (!box.empty() || !button.empty()) break;
            return "unknown control name " + Quote(field);
        case FaultTarget::Offerer:
            if (!box.empty() || !button.empty() || !object.empty()) break;
            return "unknown control name " + Quote(field) +
                   " (Offer takes a control name, hooks, stats or loader)";
    }
    name = !box.empty() ? box : !button.empty() ? button : object;
    return {};
}

}  // namespace

bool IsUtf8(std::string_view text) {
    while (!text.empty()) {
        const size_t length = Utf8Length(text);
        if (length == 0) return false;
        text.remove_prefix(length);
    }
    return true;
}

std::string QuoteInput(std::string_view raw) {
    constexpr size_t kLongest = 60;  // characters of the input shown
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string quoted = "\"";
    size_t shown = 0;
    while (!raw.empty()) {
        if (shown == kLongest) {
            quoted += "...";
            break;
        }
        ++shown;
        const size_t length = Utf8Length(raw);
        const auto lead = static_cast<unsigned char>(raw[0]);
        const bool c1_control =
            length == 2 && lead == 0xC2 && static_cast<unsigned char>(raw[1]) < 0xA0;
        if (length == 0 || lead < 0x20 || lead == 0x7F || c1_control) {
            switch (lead) {
                case '\t':
                    quoted += "\\t";
                    break;
                case '\n':
                    quoted += "\\n";
                    break;
                case '\r':
                    quoted += "\\r";
                    break;
                default: {
                    const auto value = c1_control ? static_cast<unsigned char>(raw[1]) : lead;
                    quoted += c1_control ? "\\u00" : "\\x";
                    quoted += kHex[value >> 4];
                    quoted += kHex[value & 0xF];
                }
            }
            raw.remove_prefix(c1_control ? 2 : 1);
            continue;
        }
        quoted += raw.substr(0, length);
        raw.remove_prefix(length);
    }
    quoted += '"';
    return quoted;
}

std::string_view VerbName(Verb verb) noexcept {
    for (const auto& info : kVerbs) {
        if (info.verb == verb) return info.name;
    }
    return {};
}

bool IsCheckBoxName(std::u16string_view name) noexcept {
    for (const auto box : kCheckBoxNames) {
        if (box == name) return true;
    }
    return false;
}

bool IsPushButtonName(std::u16string_view name) noexcept {
    for (const auto button : kPushButtons) {
        if (button == name) return true;
    }
    return false;
}

ParsedLine ParseLine(std::string_view line, int number) {
    // A CR that does not end the line would hide what follows it, in a text or a comment.
    if (line.find('\r') != std::string_view::npos) {
        return "a CR inside the line: lines end with LF or CR LF";
    }
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos || line[start] == '#') return std::monostate{};
    std::string_view rest = line.substr(start);
    bool more = true;
    const std::string_view word = *NextField(rest, more);

    Event event;
    event.line = number;
    std::string_view verb_name = word;
    if (verb_name.size() > 4 && verb_name.substr(verb_name.size() - 4) == "@eat") {
        verb_name.remove_suffix(4);
        event.eat = true;
    }
    const VerbInfo* info = nullptr;
    for (const auto& candidate : kVerbs) {
        if (candidate.name == verb_name && (!event.eat || candidate.eat_form)) info = &candidate;
    }
    if (!info) return "unknown verb " + Quote(word);
    event.verb = info->verb;

    const std::string prefix = std::string(word) + ": ";
    auto error = [&](const std::string& message) -> ParsedLine { return prefix + message; };
    auto field = [&](std::string_view what, std::string_view& out) -> std::string {
        auto next = NextField(rest, more);
        if (!next) return "missing argument " + std::string(what);
        out = *next;
        return {};
    };
    auto text = [&]() -> std::string {
        if (!more) return "missing argument TEXT";
        more = false;
        return ReadText(std::exchange(rest, {}), event.text);
    };

    std::string problem;
    std::string_view value;
    switch (event.verb) {
        case Verb::Init:
        case Verb::Terminate:
        case Verb::Destroy:
        case Verb::Create:
        case Verb::Login:
        case Verb::Heal:
            break;
        case Verb::Identity1:
        case Verb::Identity2:
        case Verb::Status:
        case Verb::Type:
            problem = text();
            break;
        case Verb::Chat:
            problem = field("COLOUR", value);
            if (problem.empty()) problem = ReadColour(value, event.colour);
            if (problem.empty()) problem = text();
            break;
        case Verb::Check:
            problem = field("NAME", value);
            if (problem.empty()) problem = ControlName(value, event.verb, event.name);
            if (problem.empty()) problem = field("on|off", value);
            if (problem.empty()) {
                if (value == "on" || value == "off") {
                    event.on = value == "on";
                } else {
                    problem = "the state must be on or off, not " + Quote(value);
                }
            }
            break;
        case Verb::Hit:
        case Verb::Accept:
            problem = field("NAME", value);
            if (problem.empty()) problem = ControlName(value, event.verb, event.name);
            break;
        case Verb::Fault:
        case Verb::Missing: {
            problem = field("OPERATION", value);
            if (!problem.empty()) break;
            const auto op = OperationFromName(value);
            if (!op) {
                problem = "unknown operation " + Quote(value);
                break;
            }
            event.operation = *op;
            if (event.verb == Verb::Missing && !ReturnsObject(*op)) {
                problem = std::string(value) + " returns no object, so it cannot be missing";
                break;
            }
            if (more) {
                if (TargetOf(*op) == FaultTarget::None) break;  // reported as extra below
                problem = FaultTargetName(*NextField(rest, more), *op, event.name);
            } else if (TargetOf(*op) == FaultTarget::Offerer) {
                problem = "missing argument NAME (a control name, hooks, stats or loader)";
            }
            break;
        }
    }
    if (problem.empty() && more) {
        problem =
            rest.empty() ? "extra blank at the end of the line" : "extra argument " + Quote(rest);
    }
    if (!problem.empty()) return error(problem);
    return event;
}

std::vector<ParseError> CheckScenario(std::string_view content) {
    std::vector<ParseError> errors;
    if (content.starts_with("\xFF\xFE") || content.starts_with("\xFE\xFF")) {
        errors.push_back({1,
                          "the file is UTF-16 (it starts with a UTF-16 byte-order mark); "
                          "scenarios must be UTF-8"});
        return errors;
    }
    ForEachLine(content, [&](int number, std::string_view line) {
        auto parsed = ParseLine(line, number);
        if (auto* message = std::get_if<std::string>(&parsed)) {
            errors.push_back({number, std::move(*message)});
        }
    });
    return errors;
}

}  // namespace murl::sim
