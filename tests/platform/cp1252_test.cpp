#include <gtest/gtest.h>

#include "host/text.h"
#include "platform/cp1252.h"

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

}  // namespace
}  // namespace murl
