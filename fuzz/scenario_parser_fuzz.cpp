// The simulator's scenario parser on any bytes: every line is skipped, parsed or refused with
// a message, the whole-file check agrees with the line parser (a UTF-16 file is refused as a
// whole), and every parsed event, written back out as the text transcript shows it, parses to
// the same event.

#include <string>
#include <variant>

#include "fuzz_support.h"
#include "sim/scenario.h"
#include "sim/verbs.h"

namespace murl::fuzz {
namespace {

using sim::Event;

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
            std::string written;
            sim::AppendEventText(written, *event);
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
