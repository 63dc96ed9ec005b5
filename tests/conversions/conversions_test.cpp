#include "plugin/conversions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/error.h"
#include "text/text.h"

namespace murl {
namespace {

constexpr int32_t kMax = 2147483647;
constexpr int32_t kMin = -2147483647 - 1;

std::u16string Repeat(char16_t c, size_t n) {
    return std::u16string(n, c);
}

// `convert` gives `value`, or, when `error` is set, fails with that number and its description.
template <typename Value, typename Convert>
void ExpectConversion(Convert convert, Value value, int32_t error) {
    try {
        const Value got = convert();
        EXPECT_EQ(error, 0) << "converted to " << got;
        EXPECT_EQ(got, value);
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), error);
        EXPECT_EQ(e.description(), StandardDescription(error));
    }
}

struct NumberCase {
    std::u16string text;
    int32_t value;  // expected when error == 0
    int32_t error;  // expected Error number, or 0
};

std::vector<NumberCase> NumberCases() {
    const int32_t mismatch = err::kTypeMismatch, overflow = err::kOverflow;
    return {
        // Plain integers and the range ends.
        {u"0", 0, 0},
        {u"-3", -3, 0},
        {u"+7", 7, 0},
        {u"007", 7, 0},
        {u"-0", 0, 0},
        {u"2147483647", kMax, 0},
        {u"-2147483648", kMin, 0},
        {u"2147483648", 0, overflow},
        {u"-2147483649", 0, overflow},
        {u"3000000000", 0, overflow},
        {u"99999999999999999999", 0, overflow},
        // Half to even, on both sides of zero.
        {u"0.5", 0, 0},
        {u"1.5", 2, 0},
        {u"2.5", 2, 0},
        {u"12.5", 12, 0},
        {u"13.5", 14, 0},
        {u"-1.5", -2, 0},
        {u"-0.5", 0, 0},
        {u"0.49", 0, 0},
        {u"-2.5", -2, 0},
        {u"0.51", 1, 0},
        {u".5", 0, 0},
        {u"5.", 5, 0},
        {u"12.4999999999999999999999999", 12, 0},
        {u"12.5000000000000000000000001", 13, 0},
        // Rounding decides the range.
        {u"2147483646.5", 2147483646, 0},
        {u"2147483647.4999999999999999999", kMax, 0},
        {u"2147483647.5", 0, overflow},
        {u"-2147483648.5", kMin, 0},
        {u"-2147483647.5", kMin, 0},
        {u"-2147483648.5000000000000000001", 0, overflow},
        // Exponents, exact at any size.
        {u"1.25e1", 12, 0},
        {u"1.35E+1", 14, 0},
        {u"125e-1", 12, 0},
        {u"15e-1", 2, 0},
        {u"2147483647e0", kMax, 0},
        {u"21474836465e-1", 2147483646, 0},
        {u"21474836475e-1", 0, overflow},
        {u"0.00000000000000000001e20", 1, 0},
        {u"1e9", 1000000000, 0},
        {u"1e10", 0, overflow},
        {u"1e400", 0, overflow},
        {u"1e-400", 0, 0},
        {u"-1e-400", 0, 0},
        {u"0e99999999999999999999999999", 0, 0},
        {u"1e99999999999999999999999999", 0, overflow},
        {u"1e-99999999999999999999999999", 0, 0},
        // Long digit strings.
        {Repeat(u'0', 1000) + u"42", 42, 0},
        {u"1" + Repeat(u'0', 1000), 0, overflow},
        {u"1" + Repeat(u'0', 1000) + u"e-1000", 1, 0},
        {u"0." + Repeat(u'0', 1000) + u"5e1000", 0, 0},
        {u"0." + Repeat(u'0', 1000) + u"15e1001", 2, 0},
        {u"2.5" + Repeat(u'0', 1000) + u"1", 3, 0},
        // Blanks around, but nowhere else.
        {u" 42 ", 42, 0},
        {u"\t-42\t", -42, 0},
        {u"  1.5e1  ", 15, 0},
        {u"- 1", 0, mismatch},
        {u"1 2", 0, mismatch},
        {u"1 e2", 0, mismatch},
        {u"\n1", 0, mismatch},
        {u"\u00A01", 0, mismatch},
        // Not numbers.
        {u"", 0, mismatch},
        {u" ", 0, mismatch},
        {u"abc", 0, mismatch},
        {u".", 0, mismatch},
        {u"-", 0, mismatch},
        {u"+", 0, mismatch},
        {u"e5", 0, mismatch},
        {u".e5", 0, mismatch},
        {u"1e", 0, mismatch},
        {u"1e+", 0, mismatch},
        {u"1,000", 0, mismatch},
        {u"12abc", 0, mismatch},
        {u"0x10", 0, mismatch},
        {u"&H10", 0, mismatch},
        {u"1.2.3", 0, mismatch},
        {u"1d2", 0, mismatch},
        {u"--1", 0, mismatch},
        {u"\uFF11", 0, mismatch},
        {u"Infinity", 0, mismatch},
        {u"NaN", 0, mismatch},
        {std::u16string(u"1\0", 2), 0, mismatch},
    };
}

TEST(NumberFromText, ConvertsOrFails) {
    for (const auto& c : NumberCases()) {
        SCOPED_TRACE(testing::Message() << '"' << ToUtf8(c.text.substr(0, 60)) << '"');
        ExpectConversion([&] { return NumberFromText(c.text); }, c.value, c.error);
    }
}

TEST(NumberFromText, ReadsEveryCounterTextBack) {
    for (const int64_t value : {0LL, 1LL, -5LL, 1234LL, 2147483647LL, -2147483648LL}) {
        SCOPED_TRACE(value);
        EXPECT_EQ(NumberFromText(DecimalText(value)), value);
    }
}

struct BooleanCase {
    std::u16string_view text;
    HostBool value;
    int32_t error;
};

constexpr int32_t kMismatch = err::kTypeMismatch;

constexpr BooleanCase kBooleanCases[] = {
    {u"True", kHostTrue, 0},
    {u"true", kHostTrue, 0},
    {u"TRUE", kHostTrue, 0},
    {u"tRuE", kHostTrue, 0},
    {u"False", kHostFalse, 0},
    {u"FALSE", kHostFalse, 0},
    {u"false", kHostFalse, 0},
    {u" True ", kHostTrue, 0},
    {u"\tfalse", kHostFalse, 0},
    // Numbers: zero is false, any other value true, whatever its size.
    {u"0", kHostFalse, 0},
    {u"1", kHostTrue, 0},
    {u"-1", kHostTrue, 0},
    {u"0.0", kHostFalse, 0},
    {u"-0", kHostFalse, 0},
    {u"0.4", kHostTrue, 0},
    {u"3000000000", kHostTrue, 0},
    {u"1e400", kHostTrue, 0},
    {u"1e-400", kHostTrue, 0},
    {u"0e99999", kHostFalse, 0},
    {u" 2 ", kHostTrue, 0},
    // Anything else.
    {u"yes", kHostFalse, kMismatch},
    {u"no", kHostFalse, kMismatch},
    {u"", kHostFalse, kMismatch},
    {u"T", kHostFalse, kMismatch},
    {u"tru", kHostFalse, kMismatch},
    {u"truee", kHostFalse, kMismatch},
    {u"true false", kHostFalse, kMismatch},
    {u"#TRUE#", kHostFalse, kMismatch},
    {u"on", kHostFalse, kMismatch},
    {u"\u0131rue", kHostFalse, kMismatch},
};

TEST(BooleanFromText, ConvertsOrFails) {
    for (const auto& c : kBooleanCases) {
        SCOPED_TRACE(testing::Message() << '"' << ToUtf8(c.text) << '"');
        ExpectConversion([&] { return BooleanFromText(c.text); }, c.value, c.error);
    }
}

TEST(SwitchText, WritesTrueForAnyNonZeroAndReadsBack) {
    const struct {
        HostBool value;
        std::u16string_view text;
    } cases[] = {{-1, u"True"}, {0, u"False"}, {1, u"True"}, {-32768, u"True"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(SwitchText(c.value), c.text);
        EXPECT_EQ(BooleanFromText(SwitchText(c.value)), c.value ? kHostTrue : kHostFalse);
    }
}

}  // namespace
}  // namespace murl
