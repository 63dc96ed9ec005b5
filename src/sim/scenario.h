#pragma once
// Scenario files: UTF-8 text, one host event per line. docs/scenarios.md describes the language
// for the people who write scenarios; keep it in step (a test checks the verbs and escapes).
//
//   init | terminate | destroy | create | login | heal
//   identity1 TEXT | identity2 TEXT
//   chat COLOUR TEXT | status TEXT | type TEXT      (each also as chat@eat, status@eat, type@eat)
//   check NAME on|off | hit NAME | accept NAME
//   fault OPERATION [NAME] | missing OPERATION [NAME]
//
// Fields are separated by single blanks. TEXT is the rest of the line, exactly as it stands,
// unless it starts with a double quote: then it is a quoted string with the escapes \" \\ \t
// \n \r and \uXXXX, closed by a double quote at the very end of the line. The CR of a CRLF line
// break is not part of the line. Blank lines and lines whose first non-blank character is #
// are skipped. A CR anywhere but before the LF, a line (comments too) that is not well-formed
// UTF-8, and a UTF-16 file, are refused.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "sim/event.h"
#include "sim/scenario_fields.h"
#include "text/readable_text.h"

namespace murl::sim {

struct ParseError {
    int line = 0;
    std::string message;
    bool operator==(const ParseError&) const = default;
};

// One line of a scenario, without its line break: nothing (blank or comment), an event, or
// the reason it is malformed.
using ParsedLine = std::variant<std::monostate, Event, std::string>;
ParsedLine ParseLine(std::string_view line, int number);

// Calls `visit(number, line)` for every line of `content`, numbered from 1, with the line
// break (LF, or CR LF) and a leading byte-order mark removed.
template <class Visit>
void ForEachLine(std::string_view content, Visit&& visit) {
    if (content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);
    int number = 0;
    while (!content.empty()) {
        const size_t end = content.find('\n');
        std::string_view line = content.substr(0, end);
        content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        visit(++number, line);
    }
}

// Every malformed line of `content`, in line order; empty when the whole scenario is sound.
std::vector<ParseError> CheckScenario(std::string_view content);

// The verbs, comma-separated, as an unknown verb's message lists them.
std::string VerbListing();

// Calls `run(event)` for every event of `content`, in order. Malformed lines are skipped, so
// check the scenario first.
template <class Run>
void ForEachEvent(std::string_view content, Run&& run) {
    ForEachLine(content, [&](int number, std::string_view line) {
        auto parsed = ParseLine(line, number);
        if (auto* event = std::get_if<Event>(&parsed)) run(*event);
    });
}

// Whether `text` is well-formed UTF-8 (no surrogates, no overlong forms, nothing past
// U+10FFFF), and the offset of its first byte that is not, or npos.
bool IsUtf8(std::string_view text);
size_t FirstNonUtf8(std::string_view text);

// The panel's push buttons (its check boxes are the switch table's), and the host objects
// that Offer may name besides the controls, as scenarios name them.
inline constexpr std::array<std::u16string_view, 2> kPushButtonNames = {u"cmdReset", u"cmdOut"};
inline constexpr std::array<std::u16string_view, 3> kHostObjectNames = {u"hooks", u"stats",
                                                                        u"loader"};

}  // namespace murl::sim
