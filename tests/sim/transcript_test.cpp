#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <variant>

#include "sim/scenario.h"
#include "sim/transcript.h"

namespace murl::sim {
namespace {

Event Parse(std::string_view line) {
    auto parsed = ParseLine(line, 12);
    return std::get<Event>(parsed);
}

struct LineCase {
    std::string_view scenario_line;
    std::optional<HostBool> eat;
    std::vector<PrintedLine> printed;
    std::optional<std::u16string> failed;
    std::string_view json;
    std::string_view text;  // in the text transcript
    bool heard = true;
};

const LineCase kLineCases[] = {
    {"chat@eat 21 You evaded it",
     kHostTrue,
     {},
     {},
     R"({"line":12,"event":"chat","colour":21,"text":"You evaded it","bEat":-1,"printed":[]})",
     "    12  eaten  chat@eat 21 \"You evaded it\"\n"},
    {"chat -7 x",
     kHostFalse,
     {},
     {},
     R"({"line":12,"event":"chat","colour":-7,"text":"x","bEat":0,"printed":[]})",
     "    12  shown  chat -7 \"x\"\n"},
    {"status s",
     HostBool{1},
     {},
     {},
     R"({"line":12,"event":"status","text":"s","bEat":1,"printed":[]})",
     "    12  eat=1  status \"s\"\n"},
    {"type /murl help",
     kHostTrue,
     {{u"Murl! version: 1.0.15", 5, 1}, {u"See x for the latest version", 5, 1}},
     {},
     R"({"line":12,"event":"type","text":"/murl help","bEat":-1,"printed":[)"
     R"({"text":"Murl! version: 1.0.15","colour":5,"target":1},)"
     R"({"text":"See x for the latest version","colour":5,"target":1}]})",
     "    12  eaten  type \"/murl help\"\n"
     "                 > Murl! version: 1.0.15\n"
     "                 > See x for the latest version\n"},
    {"hit cmdOut",
     {},
     {{u"Melee evades = 3", 5, 1}},
     u"Write \"failed\"",
     R"({"line":12,"event":"hit","name":"cmdOut","printed":[)"
     R"({"text":"Melee evades = 3","colour":5,"target":1}],"failed":"Write \"failed\""})",
     "    12         hit cmdOut\n"
     "                 > Melee evades = 3\n"
     "                 ! failed: Write \"failed\"\n"},
    {"check chkZero off",
     {},
     {},
     {},
     R"({"line":12,"event":"check","name":"chkZero","state":"off","printed":[]})",
     "    12         check chkZero off  (nobody listening)\n",
     false},
    {"accept cmdReset",
     {},
     {},
     {},
     R"({"line":12,"event":"accept","name":"cmdReset","printed":[]})",
     "    12         accept cmdReset\n"},
    {"fault GetChecked chkBots",
     {},
     {},
     {},
     R"({"line":12,"event":"fault","name":"chkBots","operation":"GetChecked","printed":[]})",
     "    12         fault GetChecked chkBots\n"},
    {"missing GetHooks",
     {},
     {},
     {},
     R"({"line":12,"event":"missing","operation":"GetHooks","printed":[]})",
     "    12         missing GetHooks\n"},
    {"identity2 \"\\uD800\"",
     {},
     {},
     {},
     "{\"line\":12,\"event\":\"identity2\",\"text\":\"\xEF\xBF\xBD\",\"textUnits\":[55296],"
     "\"printed\":[]}",
     "    12         identity2 \"\\uD800\"\n"},
    {"identity1 A",
     {},
     {{u"Hi \xDBFF!", 5, 1}},
     u"lone \xDC00",
     "{\"line\":12,\"event\":\"identity1\",\"text\":\"A\",\"printed\":[{\"text\":\"Hi "
     "\xEF\xBF\xBD!\",\"textUnits\":[72,105,32,56319,33],\"colour\":5,\"target\":1}],"
     "\"failed\":\"lone \xEF\xBF\xBD\",\"failedUnits\":[108,111,110,101,32,56320]}",
     "    12         identity1 \"A\"\n"
     "                 > Hi \\uDBFF!\n"
     "                 ! failed: lone \\uDC00\n"},
    {"init",
     {},
     {},
     u"Path not found",
     R"({"line":12,"event":"init","printed":[],"failed":"Path not found"})",
     "    12         init  (no plug-in object)\n                 ! failed: Path not found\n",
     false},
    {"status \"\\t\\u007F\\u0085\"",
     kHostFalse,
     {{u"elsewhere", 7, 2}},
     {},
     R"({"line":12,"event":"status","text":"\t)"
     "\x7F\xC2\x85"
     R"(","bEat":0,"printed":[)"
     R"({"text":"elsewhere","colour":7,"target":2}]})",
     "    12  shown  status \"\\t\\u007F\xC2\x85\"\n"
     "                 > elsewhere  [colour 7, target 2]\n"},
    {"heal", {}, {}, {}, R"({"line":12,"event":"heal","printed":[]})", "    12         heal\n"},
};

// The record of `event` with the outcome a case gives it.
Record RecordOf(const Event& event, const LineCase& c) {
    Record record;
    record.event = &event;
    record.eat = c.eat;
    record.printed = c.printed;
    record.failed = c.failed;
    return record;
}

TEST(JsonLine, KeysInTheirOrderAndOnlyWhereTheyBelong) {
    for (const auto& c : kLineCases) {
        SCOPED_TRACE(std::string(c.scenario_line));
        const Event event = Parse(c.scenario_line);
        EXPECT_EQ(JsonLine(RecordOf(event, c)), c.json);
    }
}

TEST(JsonTranscript, OneObjectPerLineInOrder) {
    std::ostringstream out;
    {
        JsonTranscript transcript(out);
        for (int i = 1; i <= 3000; ++i) {  // past the buffer's flush threshold
            Event event = Parse("login");
            event.line = i;
            Record record;
            record.event = &event;
            transcript.Write(record);
        }
    }
    std::string expected;
    for (int i = 1; i <= 3000; ++i) {
        expected += "{\"line\":" + std::to_string(i) + ",\"event\":\"login\",\"printed\":[]}\n";
    }
    EXPECT_EQ(out.str(), expected);
}

TEST(TextTranscript, VerdictEventAudiencePrintedLinesAndFailure) {
    for (const auto& c : kLineCases) {
        SCOPED_TRACE(std::string(c.scenario_line));
        const Event event = Parse(c.scenario_line);
        Record record = RecordOf(event, c);
        record.heard = c.heard;
        std::ostringstream out;
        TextTranscript(out).Write(record);
        EXPECT_EQ(out.str(), c.text);
    }
}

}  // namespace
}  // namespace murl::sim
