// The last-error record as the application reads it through OrviMapiGetLastError.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "OrviMapi.h"
#include "frame/last_error.h"
#include "support/library_support.h"

namespace {

struct Reported {
    std::string text;
    uint32_t length;
};

Reported ReadLastError(uint32_t bufSize = 3000)
{
    std::string buffer(3000, '\x7f');
    uint32_t length = 0xDEADBEEF;
    OrviMapiGetLastError(buffer.data(), bufSize, &length);
    return {std::string(buffer.c_str()), length};
}

std::string Expected(const std::string& location, const std::string& text, const std::string& code)
{
    return "\n\nError Loc: " + location + " \nError Text: " + text + " \nError Code: " + code;
}

class LastErrorTest : public ::testing::Test {
protected:
    void SetUp() override { ResetLastErrorForTests(); }
};

TEST_F(LastErrorTest, NothingRecordedGivesEmptyTextAndZeroLength)
{
    const Reported reported = ReadLastError();
    EXPECT_EQ(reported.text, "");
    EXPECT_EQ(reported.length, 0u);
}

TEST_F(LastErrorTest, OwnMessageWithResultZero)
{
    RecordLastError("src/folders/hierarchy.cpp", 42, "Folder not defined", 0);
    const Reported reported = ReadLastError();
    EXPECT_EQ(reported.text,
              Expected("src/folders/hierarchy.cpp#42", "Folder not defined", "none"));
    EXPECT_EQ(reported.length, reported.text.size());

    // Reading does not consume the record.
    EXPECT_EQ(ReadLastError().text, reported.text);
}

TEST_F(LastErrorTest, ResultZeroWithoutMessagePrintsNoneTwice)
{
    RecordLastError("a.cpp", 7, nullptr, 0);
    EXPECT_EQ(ReadLastError().text, Expected("a.cpp#7", "none", "none"));
    RecordLastError("a.cpp", 8, "", 0);
    EXPECT_EQ(ReadLastError().text, Expected("a.cpp#8", "none", "none"));
}

TEST_F(LastErrorTest, NonZeroResultDropsOwnMessageForSystemText)
{
    RecordLastError("a.cpp", 1, "EntryId1 not defined", E_INVALIDARG);
    EXPECT_EQ(ReadLastError().text,
              Expected("a.cpp#1",
                       testsupport::SystemText(E_INVALIDARG, "The parameter is incorrect.\r\n"),
                       "Facility WIN32, Error Num 87"));

    RecordLastError("a.cpp", 2, "ignored", E_FAIL);
    EXPECT_EQ(ReadLastError().text,
              Expected("a.cpp#2", testsupport::SystemText(E_FAIL, "Unspecified error\r\n"),
                       "Facility NULL, Error Num 16389"));
}

TEST_F(LastErrorTest, MapiResultsHaveNoSystemText)
{
    RecordLastError("a.cpp", 3, "ignored", MAPI_E_NOT_FOUND);
    EXPECT_EQ(ReadLastError().text, Expected("a.cpp#3", "none", "Facility ITF, Error Num 271"));
}

TEST_F(LastErrorTest, InnerExportStatusMinusOneReplacesEarlierRecord)
{
    RecordLastError("inner.cpp", 10, "MsgStore not defined", 0);
    RecordLastError("outer.cpp", 20, "OrviMapiMsgStoreGetFolderInterface return error", -1);
    EXPECT_EQ(ReadLastError().text,
              Expected("outer.cpp#20", "none", "Facility N/A, Error Num 65535"));
}

// How a result's code is taken apart, rather than the facility names one
// by one: 13 bits of facility, the low word as the number, a number of 0
// left out, and a facility without a name.
TEST_F(LastErrorTest, FacilityIsThirteenBitsWithItsNumber)
{
    const struct {
        uint32_t result;
        const char* code;
    } cases[] = {
        {static_cast<uint32_t>(MAPI_E_NOT_FOUND), "Facility ITF, Error Num 271"},
        {0xA0040002, "Facility ITF, Error Num 2"}, // the bits above the 13 do not count
        {0x8007FFFF, "Facility WIN32, Error Num 65535"},
        {0x80040000, "Facility ITF"},
        {0x00070000, "Facility WIN32"},
        {0x80050001, "Facility N/A, Error Num 1"}, // a gap in the names
        {0x9FFF0001, "Facility N/A, Error Num 1"}, // beyond them
    };
    for (const auto& c : cases) {
        RecordLastError("f.cpp", 1, nullptr, static_cast<HRESULT>(c.result));
        EXPECT_STREQ(CurrentLastError().code, c.code) << std::hex << c.result;
    }
}

TEST_F(LastErrorTest, FieldsAreCutAt255Characters)
{
    const std::string longMessage(300, 'm');
    const std::string longPath(300, 'p');
    RecordLastError(longPath.c_str(), 123456, longMessage.c_str(), 0);
    EXPECT_EQ(std::string(CurrentLastError().text), std::string(255, 'm'));
    EXPECT_EQ(std::string(CurrentLastError().location), std::string(255, 'p'));
}

TEST_F(LastErrorTest, SmallBufferGetsCutTextAndTerminator)
{
    RecordLastError("a.cpp", 1, "Table not defined", 0);
    char buffer[16];
    std::memset(buffer, '\x7f', sizeof buffer);
    uint32_t length = 0;
    OrviMapiGetLastError(buffer, 10, &length);
    EXPECT_EQ(length, 9u);
    EXPECT_EQ(std::string(buffer), std::string("\n\nError L"));
    EXPECT_EQ(buffer[10], '\x7f') << "wrote past bufSize";

    OrviMapiGetLastError(buffer, 1, &length);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer[0], '\0');
}

TEST_F(LastErrorTest, LongestTextFitsTheDocumentedBound)
{
    const std::string longText(300, 't');
    RecordLastError(std::string(300, 'p').c_str(), 1, longText.c_str(), 0);
    const Reported reported = ReadLastError();
    EXPECT_EQ(reported.length, 41u + 255u + 255u + 4u); // code prints as "none"
    EXPECT_LE(reported.length, 806u);
}

} // namespace
