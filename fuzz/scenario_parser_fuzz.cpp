// The simulator's scenario parser on any bytes: every line is skipped, parsed or refused with
// a message, the whole-file check agrees with the line parser (a UTF-16 file is refused as a
// whole), and every parsed event, written back out with its text quoted, parses to the same
// event.

#include <string>
#include <variant>

#include "fuzz_support.h"
#include "sim/scenario.h"

namespace murl::fuzz {
namespace {

using sim::Event;
using sim::Verb;

std::string Utf8(std::u16string_view text) {
    return ToUtf8(text);
}

// TEXT as a quoted string that keeps every code unit: printable ASCII as it is, the named
// escapes, and \uXXXX for everything else.
std::string Quoted(std::u16string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (const char16_t c : text) {
        switch (c) {
            case u'"':
                out += "\\\"";
                break;
            case u'\\':
                out += "\\\\";
                break;
            case u'\t':
                out += "\\t";
                break;
            case u'\n':
                out += "\\n";
                break;
            case u'\r':
                out += "\\r";
                break;
            default:
                if (c >= 0x20 && c < 0x7F) {
                    out += static_cast<char>(c);
                } else {
                    out += "\\u";
                    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[c >> shift & 0xF];
                }
        }
    }
    return out + '"';
}

std::string Written(const Event& e) {
    std::string line(sim::VerbName(e.verb));
    if (e.eat) line += "@eat";
    switch (e.verb) {
        case Verb::Chat:
            return line + ' ' + std::to_string(e.colour) + ' ' + Quoted(e.text);
        case Verb::Identity1:
        case Verb::Identity2:
        case Verb::Status:
        case Verb::Type:
            return line + ' ' + Quoted(e.text);
        case Verb::Check:
            return line + ' ' + Utf8(e.name) + (e.on ? " on" : " off");
        case Verb::Hit:
        case Verb::Accept:
            return line + ' ' + Utf8(e.name);
        case Verb::Fault:
        case Verb::Missing:
            line += ' ' + std::string(sim::OperationName(e.operation));
            return e.name.empty() ? line : line + ' ' + Utf8(e.name);
        default:
            return line;
    }
}

bool Same(const Event& a, const Event& b) {
    return a.line == b.line && a.verb == b.verb && a.eat == b.eat && a.colour == b.colour &&
           a.text == b.text && a.name == b.name && a.on == b.on && a.operation == b.operation;
}

bool IsSkippable(std::string_view line) {
    const size_t start = line.find_first_not_of(" \t");
    return start == std::string_view::npos || line[start] == '#';
}

}  // namespace
}  // namespace murl::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace murl;
    using namespace murl::fuzz;
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const auto errors = sim::CheckScenario(content);
    if (content.starts_with("\xFF\xFE") || content.starts_with("\xFE\xFF")) {
        FUZZ_CHECK(errors.size() == 1 && errors[0].line == 1, "a UTF-16 file is refused whole");
        return 0;
    }

    int lines = 0, events = 0;
    size_t next_error = 0;
    sim::ForEachLine(content, [&](int number, std::string_view line) {
        FUZZ_CHECK(number == ++lines, "lines are numbered from 1 without gaps");
        FUZZ_CHECK(line.find('\n') == line.npos, "a line holds no line break");
        const std::string context =
            "line " + std::to_string(number) + ": " + std::string(line.substr(0, 200));
        auto parsed = sim::ParseLine(line, number);
        if (const auto* message = std::get_if<std::string>(&parsed)) {
            FUZZ_CHECK(!message->empty(), context);
            FUZZ_CHECK(next_error < errors.size() && errors[next_error].line == number &&
                           errors[next_error].message == *message,
                       context + " -> " + *message);
            ++next_error;
        } else if (const auto* event = std::get_if<Event>(&parsed)) {
            ++events;
            FUZZ_CHECK(event->line == number, context);
            const std::string written = Written(*event);
            const auto again = sim::ParseLine(written, number);
            const auto* same = std::get_if<Event>(&again);
            FUZZ_CHECK(same && Same(*event, *same), context + " written back as " + written);
        } else {
            FUZZ_CHECK(IsSkippable(line), context);
        }
    });
    FUZZ_CHECK(next_error == errors.size(), "CheckScenario reports only what ParseLine refuses");

    int played = 0;
    sim::ForEachEvent(content, [&](const Event&) { ++played; });
    FUZZ_CHECK(played == events, "ForEachEvent visits every event line");
    return 0;
}
