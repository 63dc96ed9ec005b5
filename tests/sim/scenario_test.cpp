#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/switches.h"
#include "sim/error_log_faults.h"
#include "sim/scenario.h"
#include "sim/verbs.h"
#include "text/text.h"

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
    {"fault ErrorLog read-only", Verb::Fault, false, 0, u"", u"read-only", false,
     Operation::ErrorLog},
    {"fault ErrorLog locked", Verb::Fault, false, 0, u"", u"locked", false, Operation::ErrorLog},
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
    {"jump", "unknown verb \"jump\"; the verbs are: {verbs}"},
    {"Init", "unknown verb \"Init\"; only the letter case differs from \"init\""},
    {"CHAT@eat 5 x", "unknown verb \"CHAT@eat\"; only the letter case differs from \"chat@eat\""},
    {"init@eat", "unknown verb \"init@eat\"; the @eat forms are: {eat forms}"},
    {"chat@eaten 5 x", "unknown verb \"chat@eaten\"; the verbs are: {verbs}"},
    {"@eat", "unknown verb \"@eat\"; the verbs are: {verbs}"},
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
    {"check chkFoo on", "check: unknown control name \"chkFoo\"; the check boxes are: {boxes}"},
    {"check chkzero on",
     "check: unknown control name \"chkzero\"; only the letter case differs from \"chkZero\""},
    {"check cmdOut on", "check: \"cmdOut\" is not a check box; the check boxes are: {boxes}"},
    {"check chkZero", "check: missing argument on|off"},
    {"check chkZero yes", "check: the state must be on or off, not \"yes\""},
    {"check chkZero on now", "check: extra argument \"now\""},
    {"hit chkZero", "hit: \"chkZero\" is not a push button; the push buttons are: {buttons}"},
    {"hit cmdout",
     "hit: unknown control name \"cmdout\"; only the letter case differs from \"cmdOut\""},
    {"accept Out", "accept: unknown control name \"Out\"; the push buttons are: {buttons}"},
    {"hit", "hit: missing argument NAME"},
    {"accept cmdOut twice", "accept: extra argument \"twice\""},
    {"fault", "fault: missing argument OPERATION"},
    {"fault Explode", "fault: unknown operation \"Explode\"; the operations are: {operations}"},
    {"fault gethooks",
     "fault: unknown operation \"gethooks\"; only the letter case differs from \"GetHooks\""},
    {"missing Explode",
     "missing: unknown operation \"Explode\"; the operations that return an object are: "
     "{object operations}"},
    {"fault GetHooks chkZero", "fault: extra argument \"chkZero\""},
    {"fault GetChecked cmdOut",
     "fault: \"cmdOut\" is not a check box; the check boxes are: {boxes}"},
    {"fault FindControl view",
     "fault: unknown control name \"view\"; the controls are: {controls}"},
    {"fault FindControl CMDRESET",
     "fault: unknown control name \"CMDRESET\"; only the letter case differs from \"cmdReset\""},
    {"fault Offer", "fault: missing argument NAME; Offer takes: {offerers}"},
    {"fault Offer site", "fault: unknown control name \"site\"; Offer takes: {offerers}"},
    {"fault Offer Hooks",
     "fault: unknown control name \"Hooks\"; only the letter case differs from \"hooks\""},
    {"fault FindControl chkZero chkBots", "fault: extra argument \"chkBots\""},
    {"missing GetChecked", "missing: GetChecked returns no object, so it cannot be missing"},
    {"missing WriteChatText", "missing: WriteChatText returns no object, so it cannot be missing"},
    {"fault ErrorLog", "fault: missing argument NAME; ErrorLog takes: {conditions}"},
    {"fault ErrorLog full", "fault: unknown condition \"full\"; ErrorLog takes: {conditions}"},
    {"fault ErrorLog Read-Only",
     "fault: unknown condition \"Read-Only\"; only the letter case differs from \"read-only\""},
    {"fault ErrorLog chkZero",
     "fault: unknown condition \"chkZero\"; ErrorLog takes: {conditions}"},
    {"fault ErrorLog locked now", "fault: extra argument \"now\""},
    {"missing ErrorLog", "missing: ErrorLog returns no object, so it cannot be missing"},
    {"type \"open", "type: unterminated quote: \"\"open\""},
    {"type \"", "type: unterminated quote: \"\"\""},
    {"type \"ends in escape\\\"", "type: unterminated quote: \"\"ends in escape\\\"\""},
    {"type \"a\" b", "type: the closing quote must end the line, but \" b\" follows"},
    {"type \"a\"\"", "type: the closing quote must end the line, but \"\"\" follows"},
    {"type \"\\q\"", "type: bad escape \"\\q\""},
    {"type \"\\'\"", "type: bad escape \"\\'\""},
    {"type \"\\u12\"", "type: bad escape \"\\u12\": \\u takes four hexadecimal digits"},
    {"type \"\\u12G4\"", "type: bad escape \"\\u12\": \\u takes four hexadecimal digits"},
    {"chat 5 \"x\\0\"", "chat: bad escape \"\\0\""},
};

std::string Join(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& name : names) out += (out.empty() ? "" : ", ") + name;
    return out;
}

template <class Table>
std::vector<std::string> Utf8Names(const Table& table) {
    std::vector<std::string> names;
    for (const auto name : table) names.push_back(ToUtf8(name));
    return names;
}

// `message` with each {listing} replaced by the names that the tables give it.
std::string WithListings(std::string message) {
    std::vector<std::string> verbs, eat_forms, operations, object_operations;
    for (const auto& row : Verbs()) {
        verbs.emplace_back(row.name);
        if (row.eat_form) eat_forms.push_back(std::string(row.name) + "@eat");
    }
    for (const auto name : OperationNames()) {
        operations.emplace_back(name);
        if (ReturnsObject(*OperationFromName(name))) object_operations.emplace_back(name);
    }
    const auto boxes = Utf8Names(kCheckBoxNames);
    const auto buttons = Utf8Names(kPushButtonNames);
    std::vector<std::string> controls = boxes;
    controls.insert(controls.end(), buttons.begin(), buttons.end());
    std::vector<std::string> offerers = controls;
    for (const auto& object : Utf8Names(kHostObjectNames)) offerers.push_back(object);
    std::vector<std::string> conditions;
    for (const auto& row : kLogConditions) conditions.push_back(ToUtf8(row.name));
    const std::pair<std::string, std::string> listings[] = {
        {"{verbs}", Join(verbs)},           {"{eat forms}", Join(eat_forms)},
        {"{operations}", Join(operations)}, {"{object operations}", Join(object_operations)},
        {"{boxes}", Join(boxes)},           {"{buttons}", Join(buttons)},
        {"{controls}", Join(controls)},     {"{offerers}", Join(offerers)},
        {"{conditions}", Join(conditions)},
    };
    for (const auto& [placeholder, names] : listings) {
        if (const size_t at = message.find(placeholder); at != std::string::npos) {
            message.replace(at, placeholder.size(), names);
        }
    }
    return message;
}

TEST(ScenarioLine, NamesWhatIsWrong) {
    for (const auto& c : kErrorCases) {
        SCOPED_TRACE(std::string(c.line));
        const auto parsed = ParseLine(c.line, 1);
        const auto* message = std::get_if<std::string>(&parsed);
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(*message, WithListings(std::string(c.message)));
    }
}

TEST(ScenarioLine, SkipsBlankAndCommentLines) {
    for (const std::string_view line : {"", " ", "\t \t", "# comment", "   # indented", "#init"}) {
        SCOPED_TRACE(std::string(line));
        EXPECT_TRUE(std::holds_alternative<std::monostate>(ParseLine(line, 1)));
    }
}

// The language's reference names, in backticks, everything the parser's tables accept: each
// verb and its @eat form, each escape, each operation of fault and missing, each condition of
// the error log, each check box.
TEST(ScenarioDocument, NamesEveryVerbEscapeOperationAndCheckBox) {
    std::ifstream in(MURL_SCENARIO_DOC);
    ASSERT_TRUE(in) << MURL_SCENARIO_DOC;
    const std::string document{std::istreambuf_iterator<char>(in), {}};
    const auto code = [](std::string_view term) { return "`" + std::string(term) + "`"; };
    std::vector<std::string> terms;
    for (const VerbRow& row : Verbs()) {
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
    for (const auto& row : kLogConditions) terms.push_back(code(ToUtf8(row.name)));
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

// A CR anywhere but before the LF would hide what follows it; bytes that are not UTF-8 would
// be altered on the way; a UTF-16 file is refused whole.
TEST(ScenarioFile, RefusesLoneCrsBytesThatAreNotUtf8AndUtf16) {
    const auto cr = [](int byte, std::string_view rest) {
        return "a CR inside the line at byte " + std::to_string(byte) + ": \"" + std::string(rest) +
               "\" (lines end with LF or CR LF)";
    };
    const auto not_utf8 = [](int byte, std::string_view rest) {
        return "not UTF-8 at byte " + std::to_string(byte) + ": \"" + std::string(rest) + "\"";
    };
    constexpr std::string_view kUtf16 =
        "the file is UTF-16 (it starts with a UTF-16 byte-order mark); scenarios must be UTF-8";
    const struct {
        const char* name;
        std::string content;
        ParseError error;
    } kCases[] = {
        {"CR-only line ends", "identity1 Alice\rinit\rlogin\n", {1, cr(16, "\\rinit\\rlogin")}},
        {"a CR inside a text", "init\ntype mid\rline\r\n", {2, cr(9, "\\rline")}},
        {"a CR in a comment", "# note\rinit\n", {1, cr(7, "\\rinit")}},
        {"UTF-16 little-endian", {"\xFF\xFEi\0n\0i\0t\0\n\0", 12}, {1, std::string(kUtf16)}},
        {"UTF-16 big-endian", {"\xFE\xFF\0i\0n\0i\0t\0\n", 12}, {1, std::string(kUtf16)}},
        {"stray bytes in a text", "init\nchat 5 ab\xFF\xFE\n", {2, not_utf8(10, "\\xFF\\xFE")}},
        {"in a quoted text", "type \"a\xFF\"\n", {1, not_utf8(8, "\\xFF\"")}},
        {"in a comment", "# caf\xE9\n", {1, not_utf8(6, "\\xE9")}},
        {"in the verb", "in\x80it\n", {1, not_utf8(3, "\\x80it")}},
        {"a cut sequence at the end", "type \xE2\x82", {1, not_utf8(6, "\\xE2\\x82")}},
        {"an overlong NUL", "type \xE0\x80\x80\n", {1, not_utf8(6, "\\xE0\\x80\\x80")}},
        {"an overlong slash", "type a\xC0\xAF\n", {1, not_utf8(7, "\\xC0\\xAF")}},
        {"the first encoded surrogate", "type \xED\xA0\x80\n", {1, not_utf8(6, "\\xED\\xA0\\x80")}},
        {"the last encoded surrogate", "type \xED\xBF\xBF\n", {1, not_utf8(6, "\\xED\\xBF\\xBF")}},
        {"past U+10FFFF", "type \xF4\x90\x80\x80\n", {1, not_utf8(6, "\\xF4\\x90\\x80\\x80")}},
        {"a lead byte past U+10FFFF",
         "type \xF5\x80\x80\x80\n",
         {1, not_utf8(6, "\\xF5\\x80\\x80\\x80")}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CheckScenario(c.content), std::vector<ParseError>{c.error});
    }
    // The last code point of each length is UTF-8, and so are the neighbours of the surrogates,
    // U+D7FF and U+E000.
    EXPECT_TRUE(CheckScenario("type \x7F\xDF\xBF\xEF\xBF\xBF\xF4\x8F\xBF\xBF\n").empty());
    EXPECT_TRUE(CheckScenario("type \xED\x9F\xBF\xEE\x80\x80\n").empty());
}

// Whatever the input holds, a message shows it on one short line of printable text.
TEST(ScenarioFile, MessagesShowInputSafely) {
    const auto repeat = [](std::string_view piece, int times) {
        std::string out;
        for (int i = 0; i < times; ++i) out += piece;
        return out;
    };
    const std::string boxes = WithListings("; the check boxes are: {boxes}");
    const struct {
        const char* name;
        std::string line;
        std::string message;
    } kCases[] = {
        {"escape sequences", "check \x1b[2J\x1b]0;x\x07 y",
         "check: unknown control name \"\\x1B[2J\\x1B]0;x\\x07\"" + boxes},
        {"bytes that are not UTF-8", "\xff\xc0\x80ok\xe2\x82",
         "not UTF-8 at byte 1: \"\\xFF\\xC0\\x80ok\\xE2\\x82\""},
        {"C1 controls and DEL", "check a\xc2\x85\x7f\xc2\xa0 on",
         "check: unknown control name \"a\\u0085\\x7F\xc2\xa0\"" + boxes},
        {"a long word", "check " + repeat("v", 100000),
         "check: unknown control name \"" + repeat("v", 60) + "...\"" + boxes},
        {"a word of 60 characters", "check " + repeat("\xc3\xa9", 60),
         "check: unknown control name \"" + repeat("\xc3\xa9", 60) + "\"" + boxes},
        {"a word of 61 characters", "check " + repeat("\xc3\xa9", 61),
         "check: unknown control name \"" + repeat("\xc3\xa9", 60) + "...\"" + boxes},
        {"60 escaped bytes", repeat("\xc3", 60),
         "not UTF-8 at byte 1: \"" + repeat("\\xC3", 60) + "\""},
        {"61 escaped bytes", repeat("\xc3", 61),
         "not UTF-8 at byte 1: \"" + repeat("\\xC3", 60) + "...\""},
        {"a long argument", "check chkZero " + repeat("o", 1000),
         "check: the state must be on or off, not \"" + repeat("o", 60) + "...\""},
        {"a long colour", "chat " + repeat("9", 1000) + " x",
         "chat: COLOUR " + repeat("9", 60) + "... is outside the signed 32-bit range"},
        {"a colour of 60 digits", "chat " + repeat("9", 60) + " x",
         "chat: COLOUR " + repeat("9", 60) + " is outside the signed 32-bit range"},
        {"a colour of 61 digits", "chat " + repeat("9", 61) + " x",
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
        {2, WithListings("unknown verb \"bogus\"; the verbs are: {verbs}")},
        {4, "chat: COLOUR \"x\" is not a signed decimal number"},
    };
    EXPECT_EQ(errors, expected);
    EXPECT_TRUE(CheckScenario("").empty());
    EXPECT_TRUE(CheckScenario("\n\n# only comments\n").empty());
}

}  // namespace
}  // namespace murl::sim
