// Shared set-up of the library's tests: each test starts from a fresh
// stand-in and a library as at load, drives the public exports, and ends by
// checking that nothing it did is left alive.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "OrviMapi.h"
#include "mapisim/mapisim.h"

namespace testsupport {

// The library's process-wide state back as at load: last error, session,
// named-property table and column sets, Outlook version code.
void ResetLibraryState();

// The last-error text as OrviMapiGetLastError gives it, and its fields.
std::string LastError();
std::string LastErrorText(); // "none" when empty
std::string LastErrorCode(); // "none" when empty
std::string LastErrorLocation();

// The system's text for a result or Win32 code, "none" where it has none: what the last error records in place
// of the library's own message. On Windows the platform's FormatMessageA gives it, in the
// platform's own words (Wine's differ from Windows' and lack some); elsewhere the stand-in plays
// the platform and must give Windows' own text, `windowsText`.
std::string SystemText(uint32_t code, const char* windowsText);

// The value of an argument of the nth logged call of `method` (0 = first).
std::string CallArg(const char* method, const char* name, uint32_t occurrence = 0);
// The flags of the nth logged call of `method`, or ~0u when there is none.
uint32_t CallFlags(const char* method, uint32_t occurrence = 0);

// Entry identifiers as bytes.
using Bytes = std::vector<unsigned char>;
inline int32_t Size(const Bytes& bytes) { return static_cast<int32_t>(bytes.size()); }

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override;
    // Stops a session the test left open, then expects no live stand-in
    // object, MAPI allocation or misuse.
    void TearDown() override;

    // Loads a mailbox description; fails the test when it does not load.
    void Load(const std::string& json);
    void LoadSample(); // samples/mailbox.json

    // OrviMapiStart, expected to succeed.
    void Start(const char* profile = "", int32_t shareSession = 0);

    // Opens the profile's default store the way an application does.
    OrviMapiStore OpenDefaultStore(Bytes* storeEntryId = nullptr);
};

// Releases a store when the test is done with it.
struct StoreHandle {
    OrviMapiStore store = nullptr;
    ~StoreHandle()
    {
        if (store != nullptr) OrviMapiMsgStoreRelease(store);
    }
};

} // namespace testsupport
