#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "host/text.h"
#include "plugin/switches.h"
#include "sim/scenario.h"
#include "sim/verbs.h"

namespace murl::sim {
namespace {

struct EventCase {
    std::string_view line;
    Verb verb;
    bool eat = false;
    int32_t colour = 0;
    std::u16string_view text = {};
    std::u16string_view name = {};
    bool on = false;
    Operation operation = Operation::GetHooks;
};

const EventCase kEventCases[] = {
    {"init", Verb::Init},
    {"  terminate", Verb::Terminate},
    {"destroy", Verb::Destroy},
    {"create", Verb::Create},
    {"login", Verb::Login},
    {"heal", Verb::Heal},
    {"identity1 Abc", Verb::Identity1, false, 0, u"Abc"},
    {"identity2 ", Verb::Identity2, false, 0, u""},
    {"chat 21 You evaded the monster!", Verb::Chat, false, 21, u"You evaded the monster!"},
    {"chat -2147483648 x", Verb::Chat, false, INT32_MIN, u"x"},
    {"chat 2147483647 x", Verb::Chat, false, INT32_MAX, u"x"},
    {"chat 007 x", Verb::Chat, false, 7, u"x"},
    {"chat 5  two  blanks  ", Verb::Chat, false, 5, u" two  blanks  "},
    {"chat 5 ", Verb::Chat, false, 5, u""},
    {"chat@eat 5 x", Verb::Chat, true, 5, u"x"},
    {"status@eat  lead", Verb::Status, true, 0, u" lead"},
    {"type /murl help", Verb::Type, false, 0, u"/murl help"},
    {"type@eat \"\"", Verb::Type, true, 0, u""},
    {"type \"a \\\"q\\\" \\\\ \\t\\n\\r\"", Verb::Type, false, 0, u"a \"q\" \\ \t\n\r"},
    {"type \"\\uD800\\udc00\\u0041\"", Verb::Type, false, 0,
     u"\xD800\xDC00"
     u"A"},
    {"type \"\\uDC00 lone\"", Verb::Type, false, 0, u"\xDC00 lone"},
    {"type \"\\u00ff\\u00FF\\uAbCd\"", Verb::Type, false, 0, u"\u00FF\u00FF\uABCD"},
    {"type a \\n \"stays\"", Verb::Type, false, 0, u"a \\n \"stays\""},
    {"type caf\xC3\xA9 \xF0\x9F\x98\x80", Verb::Type, false, 0, u"caf\u00E9 \U0001F600"},
    {"type tab\there", Verb::Type, false, 0, u"tab\there"},
    {"check chkZero on", Verb::Check, false, 0, u"", u"chkZero", true},
    {"check chkBots off", Verb::Check, false, 0, u"", u"chkBots", false},
    {"hit cmdOut", Verb::Hit, false, 0, u"", u"cmdOut"},
    {"accept cmdReset", Verb::Accept, false, 0, u"", u"cmdReset"},
    {"fault GetHooks", Verb::Fault, false, 0, u"", u"", false, Operation::GetHooks},
    {"fault FindControl chkResists", Verb::Fault, false, 0, u"", u"chkResists", false,
     Operation::FindControl},
    {"fault FindControl cmdOut", Verb::Fault, false, 0, u"", u"cmdOut", false,
     Operation::FindControl},
    {"fault GetChecked chkEvades", Verb::Fault, false, 0, u"", u"chkEvades", false,
     Operation::GetChecked},
    {"fault SetChecked", Verb::Fault, false, 0, u"", u"", false, Operation::SetChecked},
    {"fault Offer hooks", Verb::Fault, false, 0, u"", u"hooks", false, Operation::Offer},
    {"fault Offer cmdReset", Verb::Fault, false, 0, u"", u"cmdReset", false, Operation::Offer},
    {"fault SaveSetting", Verb::Fault, false, 0, u"", u"", false, Operation::SaveSetting},
    {"missing LoadViewXml", Verb::Missing, false, 0, u"", u"", false, Operation::LoadViewXml},
    {"missing FindControl chkZero", Verb::Missing, false, 0, u"", u"chkZero", false,
     Operation::FindControl},
    {"missing Offer loader", Verb::Missing, false, 0, u"", u"loader", false, Operation::Offer},
};

TEST(ScenarioLine, ReadsEveryVerbAndArgument) {
    for (const auto& c : kEventCases) {
        SCOPED_TRACE(std::string(c.line));
        const auto parsed = ParseLine(c.line, 7);
        const auto* event = std::get_if<Event>(&parsed);
        ASSERT_NE(event, nullptr) << (std::holds_alternative<std::string>(parsed)
                                          ? std::get<std::string>(parsed)
                                          : std::string("skipped"));
        EXPECT_EQ(event->line, 7);
        EXPECT_EQ(event->verb, c.verb);
        EXPECT_EQ(event->eat, c.eat);
        EXPECT_EQ(event->colour, c.colour);
        EXPECT_EQ(event->text, c.text);
        EXPECT_EQ(event->name, c.name);
        EXPECT_EQ(event->on, c.on);
        if (c.verb == Verb::Fault || c.verb == Verb::Missing) {
            EXPECT_EQ(event->operation, c.operation);
        }
    }
}

struct ErrorCase {
    std::string_view line;
    std::string_view message;
};

const ErrorCase kErrorCases[] = {
    {"jump", "unknown verb \"jump\""},
    {"Init", "unknown verb \"Init\""},
    {"init@eat", "unknown verb \"init@eat\""},
    {"chat@eaten 5 x", "unknown verb \"chat@eaten\""},
    {"init now", "init: extra argument \"now\""},
    {"login ", "login: extra blank at the end of the line"},
    {"chat", "chat: missing argument COLOUR"},
    {"chat 21", "chat: missing argument TEXT"},
    {"status", "status: missing argument TEXT"},
    {"identity1", "identity1: missing argument TEXT"},
    {"chat 2147483648 x", "chat: COLOUR 2147483648 is outside the signed 32-bit range"},
    {"chat -2147483649 x", "chat: COLOUR -2147483649 is outside the signed 32-bit range"},
    {"chat red x", "chat: COLOUR \"red\" is not a signed decimal number"},
    {"chat  21 x", "chat: COLOUR \"\" is not a signed decimal number"},
    {"chat +5 x", "chat: COLOUR \"+5\" is not a signed decimal number"},
    {"chat - x", "chat: COLOUR \"-\" is not a signed decimal number"},
    {"chat 0x15 x", "chat: COLOUR \"0x15\" is not a signed decimal number"},
    {"check chkFoo on", "check: unknown control name \"chkFoo\""},
    {"check chkzero on", "check: unknown control name \"chkzero\""},
    {"check cmdOut on", "check: \"cmdOut\" is not a check box"},
    {"check chkZero", "check: missing argument on|off"},
    {"check chkZero yes", "check: the state must be on or off, not \"yes\""},
    {"check chkZero on now", "check: extra argument \"now\""},
    {"hit chkZero", "hit: \"chkZero\" is not a push button"},
    {"hit", "hit: missing argument NAME"},
    {"accept cmdOut twice", "accept: extra argument \"twice\""},
    {"fault", "fault: missing argument OPERATION"},
    {"fault Explode", "fault: unknown operation \"Explode\""},
    {"fault GetHooks chkZero", "fault: extra argument \"chkZero\""},
    {"fault GetChecked cmdOut", "fault: \"cmdOut\" is not a check box"},
    {"fault FindControl view", "fault: unknown control name \"view\""},
    {"fault Offer", "fault: missing argument NAME (a control name, hooks, stats or loader)"},
    {"fault Offer site",
     "fault: unknown control name \"site\" (Offer takes a control name, hooks, stats or loader)"},
    {"fault FindControl chkZero chkBots", "fault: extra argument \"chkBots\""},
    {"missing GetChecked", "missing: GetChecked returns no object, so it cannot be missing"},
    {"missing WriteChatText", "missing: WriteChatText returns no object, so it cannot be missing"},
    {"type \"open", "type: unterminated quote"},
    {"type \"", "type: unterminated quote"},
    {"type \"ends in escape\\\"", "type: unterminated quote"},
    {"type \"a\" b", "type: the closing quote must end the line"},
    {"type \"a\"\"", "type: the closing quote must end the line"},
    {"type \"\\q\"", "type: bad escape \"\\q\""},
    {"type \"\\'\"", "type: bad escape \"\\'\""},
    {"type \"\\u12\"", "type: bad escape \"\\u12\": \\u takes four hexadecimal digits"},
    {"type \"\\u12G4\"", "type: bad escape \"\\u12\": \\u takes four hexadecimal digits"},
    {"chat 5 \"x\\0\"", "chat: bad escape \"\\0\""},
};

TEST(ScenarioLine, NamesWhatIsWrong) {
    for (const auto& c : kErrorCases) {
        SCOPED_TRACE(std::string(c.line));
        const auto parsed = ParseLine(c.line, 1);
        const auto* message = std::get_if<std::string>(&parsed);
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(*message, c.message);
    }
}

TEST(ScenarioLine, SkipsBlankAndCommentLines) {
    for (const std::string_view line : {"", " ", "\t \t", "# comment", "   # indented", "#init"}) {
        SCOPED_TRACE(std::string(line));
        EXPECT_TRUE(std::holds_alternative<std::monostate>(ParseLine(line, 1)));
    }
}

// The language's reference names, in backticks, everything the parser's tables accept: each
// verb and its @eat form, each escape, each operation of fault and missing, each check box.
TEST(ScenarioDocument, NamesEveryVerbEscapeOperationAndCheckBox) {
    std::ifstream in(MURL_SCENARIO_DOC);
    ASSERT_TRUE(in) << MURL_SCENARIO_DOC;
    const std::string document{std::istreambuf_iterator<char>(in), {}};
    const auto code = [](std::string_view term) { return "`" + std::string(term) + "`"; };
    std::vector<std::string> terms;
    for (const VerbRow& row : AllVerbs()) {
        terms.push_back(code(row.name));
        if (row.eat_form) terms.push_back(code(std::string(row.name) + "@eat"));
    }
    for (const NamedEscape& escape : kNamedEscapes) {
        terms.push_back(code(std::string("\\") + escape.letter));
    }
    terms.push_back(code("\\uXXXX"));
    for (int i = 0; !OperationName(static_cast<Operation>(i)).empty(); ++i) {
        terms.push_back(code(OperationName(static_cast<Operation>(i))));
    }
    for (const auto name : kCheckBoxNames) terms.push_back(code(ToUtf8(name)));
    for (const auto& term : terms) {
        EXPECT_NE(document.find(term), std::string::npos)
            << term << " is missing from " << MURL_SCENARIO_DOC;
    }
}

TEST(ScenarioFile, NumbersLinesAndDropsTheCrOfCrLf) {
    const std::string_view content =
        "\xEF\xBB\xBFinit\r\n# note\r\n\r\nchat 5 trailing\r\nstatus "
        "\"q\"\r\nlogin";
    std::vector<Event> events;
    ForEachEvent(content, [&](const Event& e) { events.push_back(e); });
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].line, 1);
    EXPECT_EQ(events[0].verb, Verb::Init);
    EXPECT_EQ(events[1].line, 4);
    EXPECT_EQ(events[1].text, u"trailing");
    EXPECT_EQ(events[2].text, u"q");  // the quote closes at the end, before the CR
    EXPECT_EQ(events[3].line, 6);
}

// A CR anywhere but before the LF would hide what follows it; a UTF-16 file is refused whole.
TEST(ScenarioFile, RefusesLoneCrsAndUtf16) {
    constexpr std::string_view kCr = "a CR inside the line: lines end with LF or CR LF";
    constexpr std::string_view kUtf16 =
        "the file is UTF-16 (it starts with a UTF-16 byte-order mark); scenarios must be UTF-8";
    const struct {
        const char* name;
        std::string content;
        ParseError error;
    } kCases[] = {
        {"CR-only line ends", "identity1 Alice\rinit\rlogin\n", {1, std::string(kCr)}},
        {"a CR inside a text", "init\ntype mid\rline\r\n", {2, std::string(kCr)}},
        {"a CR in a comment", "# note\rinit\n", {1, std::string(kCr)}},
        {"UTF-16 little-endian", {"\xFF\xFEi\0n\0i\0t\0\n\0", 12}, {1, std::string(kUtf16)}},
        {"UTF-16 big-endian", {"\xFE\xFF\0i\0n\0i\0t\0\n", 12}, {1, std::string(kUtf16)}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CheckScenario(c.content), std::vector<ParseError>{c.error});
    }
}

// Whatever the input holds, a message shows it on one short line of printable text.
TEST(ScenarioFile, MessagesShowInputSafely) {
    const auto repeat = [](std::string_view piece, int times) {
        std::string out;
        for (int i = 0; i < times; ++i) out += piece;
        return out;
    };
    const struct {
        const char* name;
        std::string line;
        std::string message;
    } kCases[] = {
        {"escape sequences", "\x1b[2J\x1b]0;x\x07 y", "unknown verb \"\\x1B[2J\\x1B]0;x\\x07\""},
        {"bytes that are not UTF-8", "\xff\xc0\x80ok\xe2\x82",
         "unknown verb \"\\xFF\\xC0\\x80ok\\xE2\\x82\""},
        {"C1 controls and DEL", "a\xc2\x85\x7f\xc2\xa0", "unknown verb \"a\\u0085\\x7F\xc2\xa0\""},
        {"a long word", repeat("v", 100000), "unknown verb \"" + repeat("v", 60) + "...\""},
        {"a long wide word", repeat("\xc3", 300),
         "unknown verb \"" + repeat("\\xC3", 60) + "...\""},
        {"a long argument", "check chkZero " + repeat("o", 1000),
         "check: the state must be on or off, not \"" + repeat("o", 60) + "...\""},
        {"a long colour", "chat " + repeat("9", 1000) + " x",
         "chat: COLOUR " + repeat("9", 60) + "... is outside the signed 32-bit range"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CheckScenario(c.line + "\n"), (std::vector<ParseError>{{1, c.message}}));
    }
}

TEST(ScenarioFile, ReportsEveryMalformedLineInOrder) {
    const auto errors = CheckScenario("init\nbogus\nchat 5 ok\nchat x y\r\nhit cmdOut\n");
    const std::vector<ParseError> expected = {
        {2, "unknown verb \"bogus\""},
        {4, "chat: COLOUR \"x\" is not a signed decimal number"},
    };
    EXPECT_EQ(errors, expected);
    EXPECT_TRUE(CheckScenario("").empty());
    EXPECT_TRUE(CheckScenario("\n\n# only comments\n").empty());
}

}  // namespace
}  // namespace murl::sim
