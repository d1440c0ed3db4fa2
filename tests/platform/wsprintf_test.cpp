// wsprintfA: Windows' formatter, with 'l' as 32 bits and a 1024-byte cap.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mapisim/decl/win32.h"

namespace {

// Formats into a sentinel-filled buffer and checks the count and terminator.
template <class... Args>
std::string Format(const char* format, Args... args)
{
    char buffer[1100];
    std::memset(buffer, 0x7f, sizeof buffer);
    const int length = wsprintfA(buffer, format, args...);
    EXPECT_GE(length, 0);
    EXPECT_EQ(buffer[length], '\0');
    return std::string(buffer, static_cast<std::size_t>(length));
}

TEST(WsprintfTest, LongIsThirtyTwoBits)
{
    // On LP64 a long fills a 64-bit slot; only its low half counts.
    const long minusOne = static_cast<long>(0x1FFFFFFFFLL);
    const long hex = static_cast<long>(0x1ABCDEF01LL);
    EXPECT_EQ(Format("%ld|%lu|%lx|%d", minusOne, minusOne, hex, 7), "-1|4294967295|abcdef01|7");
    EXPECT_EQ(Format("%li %lX", static_cast<LONG>(-2147483647 - 1), 0xBEEFu), "-2147483648 BEEF");
    EXPECT_EQ(Format("%I64d %I64x", -9LL, 0x1234567890ULL), "-9 1234567890");
    EXPECT_EQ(Format("%hd %hu", 0x18001, 0x18001), "-32767 32769");
}

TEST(WsprintfTest, FlagsWidthAndPrecisionAsWindowsFormatsThem)
{
    EXPECT_EQ(Format("[%5d][%-5d][%05d][%-05d]", 42, 42, -42, 42), "[   42][42   ][-0042][42   ]");
    EXPECT_EQ(Format("[%.5d][%8.3d][%.0d]", -42, 7, 0), "[-0042][     007][0]");
    EXPECT_EQ(Format("[%#x][%#X][%#5x][%#05x][%-#6x]", 255, 255, 42, 5, 31),
              "[0xff][0XFF][   0x2a][0x00005][0x1f    ]");
    EXPECT_EQ(Format("[%x][%u][%i]", -1, 0x80000000u, -1), "[ffffffff][2147483648][-1]");
    EXPECT_EQ(Format("[%5.2s][%-4s][%.0s][%05s][%s]", "xyz", "ab", "all", "ab",
                     static_cast<char*>(nullptr)),
              "[   xy][ab  ][all][   ab][(null)]");
    EXPECT_EQ(Format("[%c][%3c][%-3c]", 'Q', 'a', 'b'), "[Q][  a][b  ]");
    EXPECT_EQ(Format("100%% %q"), "100% q");
}

TEST(WsprintfTest, WideArgumentsAndPointers)
{
    const WCHAR wide[] = {u'w', u'\u00e9', u'\u4e2d', 0};
    EXPECT_EQ(Format("%ls|%S|%hs|%lc", wide, wide, "narrow", u'Z'), "w\xe9?|w\xe9?|narrow|Z");
    const std::string pointer = Format("%p", reinterpret_cast<void*>(0xABC));
    EXPECT_EQ(pointer, std::string(2 * sizeof(void*) - 3, '0') + "ABC");
}

TEST(WsprintfTest, OutputStopsAt1023CharactersAndATerminator)
{
    const std::string text(2000, 'a');
    char buffer[1100];
    std::memset(buffer, 0x7f, sizeof buffer);
    EXPECT_EQ(wsprintfA(buffer, "x%sy", text.c_str()), 1023);
    EXPECT_EQ(buffer[1022], 'a');
    EXPECT_EQ(buffer[1023], '\0');
    EXPECT_EQ(buffer[1024], 0x7f);

    const std::string exact(1023, 'b');
    EXPECT_EQ(wsprintfA(buffer, "%s", exact.c_str()), 1023);
    EXPECT_EQ(Format("%2000d", 1).size(), 1023u);
}

} // namespace
