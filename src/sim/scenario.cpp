#include "sim/scenario.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <utility>

#include "plugin/switches.h"
#include "sim/error_log_faults.h"
#include "sim/scenario_fields.h"
#include "sim/verbs.h"
#include "text/escaped_text.h"
#include "text/text.h"

namespace murl::sim {

namespace {

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

bool SameIgnoringCase(std::string_view a, std::string_view b) noexcept {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

std::string Join(const std::vector<std::string>& names) {
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) out += (i ? ", " : "") + names[i];
    return out;
}

// What follows "unknown ... FIELD" when `field` is none of `names`: the name that it spells
// but for letter case, or else all of them after `listing`.
std::string NoneOf(std::string_view field, const std::vector<std::string>& names,
                   std::string_view listing) {
    for (const auto& name : names) {
        if (SameIgnoringCase(field, name)) {
            return "; only the letter case differs from " + Quote(name);
        }
    }
    return "; " + std::string(listing) + ": " + Join(names);
}

template <size_t N>
void AddNames(std::vector<std::string>& names, const std::array<std::u16string_view, N>& table) {
    for (const auto name : table) names.push_back(ToUtf8(name));
}

template <size_t N>
std::vector<std::string> NamesOf(const std::array<std::u16string_view, N>& table) {
    std::vector<std::string> names;
    AddNames(names, table);
    return names;
}

// Every control name, and with `offerers` the host objects that Offer may name as well.
std::vector<std::string> ControlNames(bool offerers) {
    std::vector<std::string> names = NamesOf(kCheckBoxNames);
    AddNames(names, kPushButtonNames);
    if (offerers) AddNames(names, kHostObjectNames);
    return names;
}

// The conditions that `fault ErrorLog` brings about.
std::vector<std::string> LogConditionNames() {
    std::vector<std::string> names;
    for (const auto& row : kLogConditions) names.push_back(ToUtf8(row.name));
    return names;
}

// The verbs, or with `eat` their @eat forms.
std::vector<std::string> VerbNames(bool eat) {
    std::vector<std::string> names;
    for (const auto& row : Verbs()) {
        if (!eat) names.emplace_back(row.name);
        if (eat && row.eat_form) names.push_back(std::string(row.name) + "@eat");
    }
    return names;
}

// A run of digits, cut like quoted input.
std::string Cut(std::string_view digits) {
    constexpr size_t kLongest = 60;
    if (digits.size() <= kLongest) return std::string(digits);
    return std::string(digits.substr(0, kLongest)) + "...";
}

// The length of the UTF-8 sequence at the start of `text`, or 0 when it is not one (an encoded
// surrogate included).
size_t Utf8Length(std::string_view text) {
    const Utf8Read read = ReadUtf8(text);
    return IsSurrogate(read.cp) ? 0 : read.length;
}

int HexDigit(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads the escape whose backslash is at raw[i] into `text`; returns its length, or 0 with
// `problem` set.
size_t ReadEscape(std::string_view raw, size_t i, std::u16string& text, std::string& problem) {
    if (i + 1 >= raw.size()) {
        problem = "unterminated quote: " + Quote(raw);
        return 0;
    }
    const char letter = raw[i + 1];
    for (const auto& named : kNamedEscapes) {
        if (named.letter != letter) continue;
        text += named.unit;
        return 2;
    }
    if (letter == 'u') {
        int value = 0;
        for (size_t k = 0; k < 4; ++k) {
            const int digit = i + 2 + k < raw.size() ? HexDigit(raw[i + 2 + k]) : -1;
            if (digit < 0) {
                problem = "bad escape " + Quote(raw.substr(i, 2 + k)) +
                          ": \\u takes four hexadecimal digits";
                return 0;
            }
            value = value * 16 + digit;
        }
        text += static_cast<char16_t>(value);
        return 6;
    }
    // Quote the whole character after the backslash, even when it is not ASCII.
    size_t end = i + 2;
    while (end < raw.size() && (static_cast<unsigned char>(raw[end]) & 0xC0) == 0x80) ++end;
    problem = "bad escape " + Quote(raw.substr(i, end - i));
    return 0;
}

// TEXT as written: taken as it stands, or a quoted string. Returns an error message or empty.
std::string ReadText(std::string_view raw, std::u16string& text) {
    if (raw.empty() || raw.front() != '"') {
        text = ToUtf16(raw);
        return {};
    }
    text.clear();
    size_t run = 1;  // start of the current stretch of plain characters
    for (size_t i = run; i < raw.size();) {
        const char c = raw[i];
        if (c != '"' && c != '\\') {
            ++i;
            continue;
        }
        text += ToUtf16(raw.substr(run, i - run));
        if (c == '"') {
            if (i + 1 == raw.size()) return {};
            return "the closing quote must end the line, but " + Quote(raw.substr(i + 1)) +
                   " follows";
        }
        std::string problem;
        const size_t length = ReadEscape(raw, i, text, problem);
        if (length == 0) return problem;
        i += length;
        run = i;
    }
    return "unterminated quote: " + Quote(raw);
}

// A control character or a byte that is not UTF-8, as QuoteInput shows it: its named escape
// (\t \n \r), a C1 control as \u00XX, anything else as \xXX.
void AppendEscapedByte(std::string& out, unsigned char value, bool c1_control) {
    if (c1_control) return AppendHex4(out, value);
    if (PutNamedEscape(Utf8Sink{out}, kControlEscapes, value)) return;
    out += "\\x";
    AppendHex(out, value, 2);
}

// `field` as one of the control names `names`; `kind` and `kinds` name them for people.
template <size_t N>
std::string ReadControl(std::string_view field, const std::array<std::u16string_view, N>& names,
                        std::string_view kind, std::string_view kinds, std::u16string_view& name) {
    name = Lookup(names, field);
    if (!name.empty()) return {};
    const std::string listing = "the " + std::string(kinds) + " are";
    if (Lookup(kCheckBoxNames, field).empty() && Lookup(kPushButtonNames, field).empty()) {
        return "unknown control name " + Quote(field) + NoneOf(field, NamesOf(names), listing);
    }
    return Quote(field) + " is not a " + std::string(kind) + "; " + listing + ": " +
           Join(NamesOf(names));
}

std::u16string_view AnyControl(std::string_view field) {
    const auto box = Lookup(kCheckBoxNames, field);
    return box.empty() ? Lookup(kPushButtonNames, field) : box;
}

}  // namespace

std::optional<std::string_view> Fields::Next() noexcept {
    if (!more_) return std::nullopt;
    const size_t blank = rest_.find(' ');
    const std::string_view field = rest_.substr(0, blank);
    if (blank == std::string_view::npos) {
        more_ = false;
        rest_ = {};
    } else {
        rest_.remove_prefix(blank + 1);
    }
    return field;
}

std::string Fields::Next(std::string_view what, std::string_view& out) {
    const auto next = Next();
    if (!next) return "missing argument " + std::string(what);
    out = *next;
    return {};
}

std::string Fields::Text(std::u16string& text) {
    if (!more_) return "missing argument TEXT";
    more_ = false;
    return ReadText(std::exchange(rest_, {}), text);
}

std::string Fields::Leftover() const {
    if (!more_) return {};
    return rest_.empty() ? "extra blank at the end of the line" : "extra argument " + Quote(rest_);
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

std::string ReadCheckBox(std::string_view field, std::u16string_view& name) {
    return ReadControl(field, kCheckBoxNames, "check box", "check boxes", name);
}

std::string ReadPushButton(std::string_view field, std::u16string_view& name) {
    return ReadControl(field, kPushButtonNames, "push button", "push buttons", name);
}

std::string ReadFaultTarget(std::string_view field, Operation op, std::u16string_view& name) {
    switch (TargetOf(op)) {
        case FaultTarget::None:
            return "extra argument " + Quote(field);
        case FaultTarget::CheckBox:
            return ReadCheckBox(field, name);
        case FaultTarget::AnyControl:
            name = AnyControl(field);
            if (!name.empty()) return {};
            return "unknown control name " + Quote(field) +
                   NoneOf(field, ControlNames(false), "the controls are");
        case FaultTarget::Offerer:
            name = AnyControl(field);
            if (name.empty()) name = Lookup(kHostObjectNames, field);
            if (!name.empty()) return {};
            return "unknown control name " + Quote(field) +
                   NoneOf(field, ControlNames(true), std::string(OperationName(op)) + " takes");
        case FaultTarget::Condition:
            for (const auto& row : kLogConditions) {
                if (ToUtf8(row.name) == field) {
                    name = row.name;
                    return {};
                }
            }
            return "unknown condition " + Quote(field) +
                   NoneOf(field, LogConditionNames(), std::string(OperationName(op)) + " takes");
    }
    return {};
}

std::string ReadOperation(std::string_view field, bool missing, Operation& op) {
    const auto found = OperationFromName(field);
    if (found && (!missing || ReturnsObject(*found))) {
        op = *found;
        return {};
    }
    if (found) return std::string(field) + " returns no object, so it cannot be missing";
    std::vector<std::string> names;
    for (const auto name : OperationNames()) {
        if (!missing || ReturnsObject(*OperationFromName(name))) names.emplace_back(name);
    }
    return "unknown operation " + Quote(field) +
           NoneOf(field, names,
                  missing ? "the operations that return an object are" : "the operations are");
}

std::string RequiredTargetNames(Operation op) {
    switch (TargetOf(op)) {
        case FaultTarget::Offerer:
            return Join(ControlNames(true));
        case FaultTarget::Condition:
            return Join(LogConditionNames());
        default:
            return {};
    }
}

size_t FirstNonUtf8(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        const size_t length = Utf8Length(text.substr(at));
        if (length == 0) return at;
        at += length;
    }
    return std::string_view::npos;
}

bool IsUtf8(std::string_view text) {
    return FirstNonUtf8(text) == std::string_view::npos;
}

std::string QuoteInput(std::string_view raw) {
    constexpr size_t kLongest = 60;  // characters of the input shown
    std::string quoted = "\"";
    for (size_t shown = 0; !raw.empty(); ++shown) {
        if (shown == kLongest) {
            quoted += "...";
            break;
        }
        const size_t length = Utf8Length(raw);
        const auto lead = static_cast<unsigned char>(raw[0]);
        const bool c1_control =
            length == 2 && lead == 0xC2 && static_cast<unsigned char>(raw[1]) < 0xA0;
        if (length == 0 || lead < 0x20 || lead == 0x7F || c1_control) {
            AppendEscapedByte(quoted, c1_control ? static_cast<unsigned char>(raw[1]) : lead,
                              c1_control);
            raw.remove_prefix(c1_control ? 2 : 1);
            continue;
        }
        quoted += raw.substr(0, length);
        raw.remove_prefix(length);
    }
    quoted += '"';
    return quoted;
}

std::string VerbListing() {
    return Join(VerbNames(false));
}

ParsedLine ParseLine(std::string_view line, int number) {
    // A CR that does not end the line would hide what follows it, in a text or a comment.
    if (const size_t cr = line.find('\r'); cr != std::string_view::npos) {
        return "a CR inside the line at byte " + DecimalUtf8(static_cast<int64_t>(cr + 1)) + ": " +
               Quote(line.substr(cr)) + " (lines end with LF or CR LF)";
    }
    if (const size_t bad = FirstNonUtf8(line); bad != std::string_view::npos) {
        return "not UTF-8 at byte " + DecimalUtf8(static_cast<int64_t>(bad + 1)) + ": " +
               Quote(line.substr(bad));
    }
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos || line[start] == '#') return std::monostate{};
    Fields fields(line.substr(start));
    const std::string_view word = *fields.Next();

    Event event;
    event.line = number;
    std::string_view verb_name = word;
    event.eat = verb_name.size() > 4 && verb_name.ends_with("@eat");
    if (event.eat) verb_name.remove_suffix(4);
    const VerbRow* row = FindVerb(verb_name, event.eat);
    if (!row) {
        return "unknown verb " + Quote(word) +
               NoneOf(word, VerbNames(event.eat),
                      event.eat ? "the @eat forms are" : "the verbs are");
    }
    event.verb = row->verb;

    std::string problem = row->arguments.read(fields, event);
    if (problem.empty()) problem = fields.Leftover();
    if (!problem.empty()) return std::string(word) + ": " + problem;
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
