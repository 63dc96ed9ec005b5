#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "text/cp1252.h"
#include "text/digits.h"
#include "text/json.h"
#include "text/text.h"

namespace murl {
namespace {

TEST(Cp1252, EncodesWhatItCanAndQuestionMarksTheRest) {
    struct Case {
        const char* name;
        std::u16string_view text;
        std::string bytes;
        bool decodes_back = true;  // FromCp1252(bytes) gives the text again
    };
    const Case kCases[] = {
        {"ASCII and controls", u"A z\t\r\n\x7f", "A z\t\r\n\x7f"},
        {"Latin-1 upper half", u"\u00a0\u00e9\u00ff", "\xa0\xe9\xff"},
        {"0x80 to 0x9F block", u"\u20ac\u201a\u0192\u2122\u0178\u017e", "\x80\x82\x83\x99\x9f\x9e"},
        {"unassigned bytes keep their controls", u"\u0081\u008d\u008f\u0090\u009d",
         "\x81\x8d\x8f\x90\x9d"},
        {"other C1 controls", u"\u0080\u0085\u009f", "???", false},
        {"beyond the code page", u"\u0100\u2713\uffff", "???", false},
        {"surrogate pair is one character", u"a\U0001F600b", "a?b", false},
        {"lone surrogates", std::u16string_view(u"\xd800x\xdc00", 3), "?x?", false},
        {"zero bytes", std::u16string_view(u"a\0\0b", 4), std::string("a\0\0b", 4)},
        {"empty", u"", ""},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ToCp1252(c.text), c.bytes);
        if (c.decodes_back) {
            EXPECT_EQ(FromCp1252(c.bytes), c.text);
        }
    }
}

TEST(Cp1252, DecodesEveryByteToTheCharacterThatEncodesBackToIt) {
    for (int byte = 0; byte < 256; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        EXPECT_EQ(ToCp1252(FromCp1252(one)), one) << "byte " << byte;
    }
}

// UTF-16 and UTF-8 at the edges of each encoded length, both ways.
TEST(Utf8, EncodesEachLengthAtItsEdgesAndReadsBack) {
    const struct {
        std::u16string_view utf16;
        std::string_view utf8;
    } cases[] = {
        {u"\u007F", "\x7F"},
        {u"\u0080", "\xC2\x80"},
        {u"\u07FF", "\xDF\xBF"},
        {u"\u0800", "\xE0\xA0\x80"},
        {u"\uFFFF", "\xEF\xBF\xBF"},
        {u"\U00010000", "\xF0\x90\x80\x80"},
        {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
        {u"\xD800", "\xED\xA0\x80"},  // a lone surrogate survives the round trip
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "U+" << std::hex << int(c.utf16[0]));
        EXPECT_EQ(ToUtf8(c.utf16), c.utf8);
        EXPECT_EQ(ToUtf16(c.utf8), c.utf16);
    }
}

// What the reader makes of what is not UTF-8: U+FFFD for each byte it cannot take.
TEST(Utf8, ReadsEachMalformedByteAsOneReplacement) {
    const struct {
        std::string_view utf8;
        std::u16string_view utf16;
    } cases[] = {
        {"\xC0\x80", u"\uFFFD\uFFFD"},                      // overlong
        {"\xE0\x9F\xBF", u"\uFFFD\uFFFD\uFFFD"},            // overlong in three bytes
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
        {"a\xE2\x82", u"a\uFFFD\uFFFD"},                    // cut short
        {"\xC3(", u"\uFFFD("},                              // a continuation missing
        {"\x80z", u"\uFFFDz"},                              // a continuation alone
        {"\xFF", u"\uFFFD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.utf8)));
        EXPECT_EQ(ToUtf16(c.utf8), c.utf16);
    }
}

TEST(Decimal, WritesEveryWholeNumberWithItsSignAndPadding) {
    constexpr int64_t kLeast = std::numeric_limits<int64_t>::min();
    constexpr int64_t kMost = std::numeric_limits<int64_t>::max();
    const struct {
        Whole number;
        size_t width;
        std::string_view text;
    } cases[] = {
        {WholeOf(0), 0, "0"},
        {WholeOf(7), 0, "7"},
        {WholeOf(-1), 0, "-1"},
        {WholeOf(1000), 0, "1000"},
        {WholeOf(kMost), 0, "9223372036854775807"},
        {WholeOf(kLeast), 0, "-9223372036854775808"},
        {{18446744073709551615u, false}, 0, "18446744073709551615"},
        {{18446744073709551615u, true}, 0, "-18446744073709551615"},
        {WholeOf(7), 3, "007"},
        {WholeOf(-7), 3, "-07"},  // the sign counts in the width
        {WholeOf(2024), 2, "2024"},
        {WholeOf(0), 2, "00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        std::string put;
        PutDecimal([&](char digit) { put += digit; }, c.number, c.width);
        EXPECT_EQ(put, c.text);
        if (c.width == 0) {
            EXPECT_EQ(DecimalUtf8(c.number), c.text);
            EXPECT_EQ(ToUtf8(DecimalText(c.number)), c.text);
        }
    }
}

struct StringCase {
    std::u16string_view text;
    std::string_view json;
};

const StringCase kStringCases[] = {
    {u"", R"("")"},
    {u"You evaded the monster!", R"("You evaded the monster!")"},
    {u"quote \" backslash \\ slash /", R"("quote \" backslash \\ slash /")"},
    {u"\t\n\r\b\f", R"("\t\n\r\b\f")"},
    {u"\x01\x1F\x7F", "\"\\u0001\\u001F\x7F\""},
    {std::u16string_view(u"nul\0!", 5), R"("nul\u0000!")"},
    {u"caf\u00E9 \u20AC", "\"caf\xC3\xA9 \xE2\x82\xAC\""},
    {u"\U0001F600", "\"\xF0\x9F\x98\x80\""},
    // A lone surrogate is U+FFFD in the string, and the units member carries the exact text.
    {u"\xD800", "\"\xEF\xBF\xBD\",\"textUnits\":[55296]"},
    {u"\xDFFF tail", "\"\xEF\xBF\xBD tail\",\"textUnits\":[57343,32,116,97,105,108]"},
    // a pair in the wrong order is two lone ones
    {u"\xDC00\xD800", "\"\xEF\xBF\xBD\xEF\xBF\xBD\",\"textUnits\":[56320,55296]"},
    {u"\xD83D\xD83D\xDE00", "\"\xEF\xBF\xBD\xF0\x9F\x98\x80\",\"textUnits\":[55357,55357,56832]"},
    {u"\xFFFD stands for itself", "\"\xEF\xBF\xBD stands for itself\""},
};

TEST(JsonString, CarriesEveryCodeUnit) {
    for (const auto& c : kStringCases) {
        SCOPED_TRACE(std::string(c.json));
        std::string out;
        JsonWriter(out).Object().Member("text", c.text).Close();
        EXPECT_EQ(out, "{\"text\":" + std::string(c.json) + "}");
    }
}

// The writer lays out commas, braces and brackets; its callers never write one.
TEST(JsonWriter, LaysOutObjectsAndArrays) {
    const struct {
        std::string_view name;
        std::function<void(JsonWriter&)> write;
        std::string_view json;
    } cases[] = {
        {"empty object", [](JsonWriter& j) { j.Object().Close(); }, "{}"},
        {"empty array", [](JsonWriter& j) { j.Array().Close(); }, "[]"},
        {"members of each kind",
         [](JsonWriter& j) {
             j.Object().Member("a", 1).Member("b", "x").Member("c", u"y");
             j.Member("d", Whole{5, true}).Boolean("e", true).Boolean("f", false).Null("g");
             j.Close();
         },
         R"({"a":1,"b":"x","c":"y","d":-5,"e":true,"f":false,"g":null})"},
        {"values of each kind",
         [](JsonWriter& j) { j.Array().Value(-2).Value("x").Value(u"y").Close(); },
         R"([-2,"x","y"])"},
        {"nested",
         [](JsonWriter& j) {
             j.Object().Object("a").Array("b").Object().Close().Array().Value(1).Close();
             j.Object().Null("c").Close().Close().Close().Array("d").Close().Close();
         },
         R"({"a":{"b":[{},[1],{"c":null}]},"d":[]})"},
        {"documents one after another",
         [](JsonWriter& j) { j.Object().Close().Array().Close().Value(3); }, "{}[]3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name));
        std::string out;
        JsonWriter json(out);
        c.write(json);
        EXPECT_EQ(out, c.json);
    }
}

}  // namespace
}  // namespace murl
