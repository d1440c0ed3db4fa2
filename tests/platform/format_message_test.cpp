// FormatMessageA as the last-error record calls it, and LocalFree.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mapisim/decl/mapi.h"
#include "mapisim/mapisim.h"
#include "support/library_support.h"

namespace {

using testsupport::SystemText;

constexpr DWORD kFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM;
constexpr DWORD kLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);

// The text the library would record, or "none"; checks the length and that the buffer is given
// back.
std::string Formatted(DWORD id)
{
    const uint32_t liveBefore = mapisim_live_local_allocations();
    LPSTR text = reinterpret_cast<LPSTR>(1);
    const DWORD length =
        FormatMessageA(kFlags, nullptr, id, kLanguage, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length == 0) {
        EXPECT_EQ(text, nullptr);
        return "none";
    }
    EXPECT_EQ(mapisim_live_local_allocations(), liveBefore + 1);
    std::string result(text);
    EXPECT_EQ(result.size(), length);
    EXPECT_EQ(LocalFree(text), nullptr);
    EXPECT_EQ(mapisim_live_local_allocations(), liveBefore);
    return result;
}

TEST(FormatMessageTest, CommonResultsHaveTheSystemTexts)
{
    const struct {
        HRESULT result;
        const char* windowsText;
    } results[] = {
        {E_INVALIDARG, "The parameter is incorrect.\r\n"},
        {E_FAIL, "Unspecified error\r\n"},
        {E_NOINTERFACE, "No such interface supported\r\n"},
        {E_POINTER, "Invalid pointer\r\n"},
        {E_NOTIMPL, "Not implemented\r\n"},
        {E_ABORT, "Operation aborted\r\n"},
        {E_UNEXPECTED, "Catastrophic failure\r\n"},
        {E_ACCESSDENIED, "Access is denied.\r\n"},
        {E_HANDLE, "The handle is invalid.\r\n"},
        {E_OUTOFMEMORY, "Not enough storage is available to complete this operation.\r\n"},
        {STG_E_INVALIDFUNCTION, "Unable to perform requested operation.\r\n"},
        {STG_E_MEDIUMFULL, "There is insufficient disk space to complete operation.\r\n"},
    };
    for (const auto& r : results)
        EXPECT_EQ(Formatted(static_cast<DWORD>(r.result)), SystemText(r.result, r.windowsText))
            << std::hex << r.result;
}

TEST(FormatMessageTest, Win32CodesReadTheSameBareOrAsHresults)
{
    for (DWORD code : {ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_INVALID_HANDLE, 8L, 14L,
                       ERROR_INVALID_PARAMETER, ERROR_MORE_DATA, ERROR_NO_MORE_ITEMS}) {
        const std::string bare = Formatted(code);
        EXPECT_NE(bare, "none") << code;
        EXPECT_EQ(bare.substr(bare.size() - 2), "\r\n");
        EXPECT_EQ(Formatted(static_cast<DWORD>(MAKE_HRESULT(1, 7, code))), bare) << code;
    }
    EXPECT_EQ(Formatted(ERROR_SUCCESS),
              SystemText(ERROR_SUCCESS, "The operation completed successfully.\r\n"));
    EXPECT_EQ(Formatted(ERROR_NO_MORE_ITEMS),
              SystemText(ERROR_NO_MORE_ITEMS, "No more data is available.\r\n"));
}

TEST(FormatMessageTest, MapiResultsAndUnknownCodesHaveNoText)
{
    for (HRESULT result : {MAPI_E_NOT_FOUND, MAPI_E_NO_SUPPORT, MAPI_E_COLLISION,
                           MAPI_E_USER_CANCEL, MAPI_E_EXTENDED_ERROR, MAPI_W_ERRORS_RETURNED,
                           static_cast<HRESULT>(0xFFFFFFFF), static_cast<HRESULT>(0x8007FFFF)})
        EXPECT_EQ(Formatted(static_cast<DWORD>(result)), "none") << std::hex << result;
}

TEST(FormatMessageTest, CallerBufferMustHoldTextAndTerminator)
{
    const std::string expected = SystemText(E_INVALIDARG, "The parameter is incorrect.\r\n");
    char buffer[64];
    std::memset(buffer, 0x7f, sizeof buffer);
    const DWORD length = static_cast<DWORD>(expected.size());
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 87, 0, buffer, length, nullptr),
              0u);
    EXPECT_EQ(
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 87, 0, buffer, length + 1, nullptr),
        length);
    EXPECT_EQ(buffer, expected);
}

TEST(FormatMessageTest, LocalFreeOfForeignMemoryIsCountedAndReturnsIt)
{
    mapisim_reset_misuse_counters();
    EXPECT_EQ(LocalFree(nullptr), nullptr);
    int foreign = 0;
    EXPECT_EQ(LocalFree(&foreign), &foreign);
    EXPECT_EQ(mapisim_bad_frees(), 1u);
    mapisim_reset_misuse_counters();
}

} // namespace
