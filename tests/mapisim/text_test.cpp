// The text conversions of the stand-in, its loader and the command, and
// their one rule: what is not a character reads as U+FFFD, what code page
// 1252 cannot hold writes as '?'.
#include <gtest/gtest.h>

#include "mapisim/model/value.h"
#include "mapisim/text/text.h"

namespace {

using namespace mapisim::text;

const std::u16string kFffd(1, u'\uFFFD');

std::u16string Repeat(char16_t c, std::size_t n) { return std::u16string(n, c); }

TEST(Cp1252, EveryDefinedByteRoundTripsAndTheFiveHolesReadAsReplacement)
{
    int undefined = 0;
    for (int b = 0; b < 256; ++b) {
        const char32_t c = from_cp1252(static_cast<unsigned char>(b));
        if (c == kReplacement) {
            ++undefined;
            continue;
        }
        ASSERT_EQ(to_cp1252(c), b) << b;
        if (b < 0x80 || b >= 0xA0) {
            EXPECT_EQ(c, static_cast<char32_t>(b)) << "Latin-1 range " << b;
        }
    }
    EXPECT_EQ(undefined, 5);
    EXPECT_EQ(from_cp1252(0x80), U'\u20AC');
    EXPECT_EQ(from_cp1252(0x9F), U'\u0178');
    // The C1 controls have no byte: 0x81 is not a way to write U+0081.
    EXPECT_FALSE(to_cp1252(0x81));
    EXPECT_EQ(to_cp1252(0), 0) << "the table's holes are not where NUL is written";
}

TEST(Cp1252, WritingReplacesWhatThePageCannotHold)
{
    EXPECT_EQ(utf16_to_cp1252(u"caf\u00e9 \u20ac \u4e2d \U0001F600"), "caf\xe9 \x80 ? ??");
    EXPECT_EQ(utf16_to_cp1252(u"\u0081\xd800"), "??");
    EXPECT_EQ(cp1252_to_utf16("\x80\x81x\xff"), u"\u20ac\uFFFDx\u00ff");
    // _A to _W and back, as a store converts a property.
    using mapisim::model::Value;
    const Value a = Value::string8(0x0037001E, "\x81\x93ok\x94");
    const Value w = a.converted(PT_UNICODE);
    EXPECT_EQ(*w.get<std::u16string>(), u"\uFFFD\u201cok\u201d");
    EXPECT_EQ(*w.converted(PT_STRING8).get<std::string>(), "?\x93ok\x94");
}

TEST(Utf8, WellFormedSequencesRoundTripThroughUtf16)
{
    const std::string s = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf";
    EXPECT_EQ(utf8_to_utf16(s), u"a\u00e9\u20ac\U0001F600\U0010FFFF");
    EXPECT_EQ(utf16_to_utf8(utf8_to_utf16(s)), s);
    EXPECT_EQ(utf8_sequence_length(s, 0), 1u);
    EXPECT_EQ(utf8_sequence_length(s, 1), 2u);
    EXPECT_EQ(utf8_sequence_length(s, 3), 3u);
    EXPECT_EQ(utf8_sequence_length(s, 6), 4u);
    EXPECT_EQ(utf8_sequence_length(s, 7), 0u) << "a continuation byte starts nothing";
}

TEST(Utf8, EveryMalformedByteReadsAsOneReplacement)
{
    struct Case {
        const char* bytes;
        std::size_t replacements;
    } cases[] = {
        {"\xff", 1},             // never a lead
        {"\xc0\xaf", 2},         // overlong '/'
        {"\xe0\x80\x80", 3},     // overlong NUL
        {"\xed\xa0\x80", 3},     // a surrogate
        {"\xf4\x90\x80\x80", 4}, // above U+10FFFF
        {"\xe2\x82", 2},         // cut short at the end
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8_to_utf16(c.bytes), Repeat(u'\uFFFD', c.replacements)) << c.bytes;
        EXPECT_EQ(utf8_sequence_length(c.bytes, 0), 0u) << c.bytes;
    }
    // A bad byte costs itself only: the character after it survives.
    EXPECT_EQ(utf8_to_utf16("\xe2\x82x\xc3\xa9"), u"\uFFFD\uFFFDx\u00e9");
}

TEST(Utf16, LoneSurrogatesWriteAsReplacement)
{
    EXPECT_EQ(utf16_to_utf8(std::u16string(1, u'\xd800') + u"x"), "\xef\xbf\xbdx");
    EXPECT_EQ(utf16_to_utf8(std::u16string(1, u'\xdc00')), "\xef\xbf\xbd");
    std::u16string out;
    append_utf16(out, 0x110000);
    EXPECT_EQ(out, kFffd);
}

} // namespace
