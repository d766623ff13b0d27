#include "base/text_codec.h"

#include <gtest/gtest.h>

#include <string>

TEST(TextCodec, DecodesHexDigitsAndPercentEscapesAsEachCallerNeeds)
{
    struct DigitCase { char c; int value; };
    const DigitCase digits[] = {{'0', 0}, {'9', 9}, {'a', 10}, {'f', 15}, {'A', 10}, {'F', 15},
        {'g', -1}, {'G', -1}, {'/', -1}, {':', -1}, {'@', -1}, {'`', -1}, {' ', -1}, {'\xC1', -1}};
    for (const DigitCase& d : digits)
        EXPECT_EQ(HexDigitValue(d.c), d.value) << "digit '" << d.c << "'";
    EXPECT_EQ(HexPairValue('f', 'F'), 255);
    EXPECT_EQ(HexPairValue('0', 'x'), -1);

    // A file list keeps backslashes; a settings key stores '/' as '\'.
    struct DecodeCase { std::string text; std::string asUri; std::string asKey; };
    const DecodeCase cases[] = {
        {"/a%20b%2fc%2F", "/a b/c/", "/a b/c/"},
        {"a+b", "a+b", "a+b"},
        {"%zz%4", "%zz%4", "%zz%4"},
        {"%", "%", "%"},
        {"100%", "100%", "100%"},
        {"%%41", "%A", "%A"},
        {"%C3%A9", "\xC3\xA9", "\xC3\xA9"},
        {"a\\b%5Cc", "a\\b\\c", "a/b\\c"},
    };
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(PercentDecode(c.text), c.asUri) << c.text;
        EXPECT_EQ(PercentDecode(c.text, '/'), c.asKey) << c.text;
    }
}

TEST(TextCodec, Latin1BytesBecomeValidUtf8)
{
    EXPECT_EQ(Latin1ToUtf8("port\x80 \xE9\xFF"), "port\xC2\x80 \xC3\xA9\xC3\xBF");
    EXPECT_EQ(Latin1ToUtf8(""), "");
}
