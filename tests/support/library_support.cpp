#include "support/library_support.h"

#include <fstream>
#include <iterator>

#include "messages/message_columns.h"
#include "addressbook/contact_columns.h"
#include "frame/last_error.h"
#include "session/profiles.h"
#include "session/session_state.h"
#include "stores/named_props.h"

namespace testsupport {

namespace {

std::string Field(const std::string& label)
{
    const std::string text = LastError();
    const size_t start = text.find(label);
    if (start == std::string::npos) return {};
    size_t end = text.find(" \n", start);
    if (end == std::string::npos) end = text.size();
    return text.substr(start + label.size(), end - start - label.size());
}

int32_t FindCall(const char* method, uint32_t occurrence)
{
    int32_t index = -1;
    uint32_t from = 0;
    for (uint32_t seen = 0; seen <= occurrence; ++seen) {
        index = mapisim_call_find(method, from);
        if (index < 0) return -1;
        from = static_cast<uint32_t>(index) + 1;
    }
    return index;
}

} // namespace

void ResetLibraryState()
{
    ResetLastErrorForTests();
    Session() = SessionState{};
    ResetNamedPropertiesForTests();
    SetClientOutlookVersion(2);
}

std::string LastError()
{
    char buffer[3000];
    uint32_t length = 0;
    OrviMapiGetLastError(buffer, sizeof buffer, &length);
    return std::string(buffer, length);
}

std::string LastErrorText() { return Field("Error Text: "); }
std::string LastErrorCode() { return Field("Error Code: "); }
std::string LastErrorLocation() { return Field("Error Loc: "); }

std::string SystemText(uint32_t code, const char* windowsText)
{
#ifdef _WIN32
    static_cast<void>(windowsText);
    LPSTR text = nullptr;
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                        reinterpret_cast<LPSTR>(&text), 0, nullptr);
    const std::string system = length != 0 && text != nullptr ? std::string(text, length) : "none";
    if (text != nullptr) LocalFree(text);
    return system;
#else
    static_cast<void>(code);
    return windowsText;
#endif
}

std::string CallArg(const char* method, const char* name, uint32_t occurrence)
{
    const int32_t index = FindCall(method, occurrence);
    if (index < 0) return "(no call)";
    char value[1024];
    if (mapisim_call_arg(static_cast<uint32_t>(index), name, value, sizeof value) < 0)
        return "(no arg)";
    return value;
}

uint32_t CallFlags(const char* method, uint32_t occurrence)
{
    const int32_t index = FindCall(method, occurrence);
    mapisim_call call{};
    if (index < 0 || mapisim_call_get(static_cast<uint32_t>(index), &call) != 0) return ~0u;
    return call.flags;
}

void LibraryTest::SetUp()
{
    mapisim_reset();
    mapisim_reset_platform();
    mapisim_reset_misuse_counters();
    ResetLibraryState();
    ASSERT_EQ(mapisim_live_objects(), 0u) << "an earlier test leaked objects";
    ASSERT_EQ(mapisim_live_allocations(), 0u) << "an earlier test leaked MAPI buffers";
}

void LibraryTest::TearDown()
{
    for (int guard = 0; SessionIsOpen() && guard < 100; ++guard) OrviMapiStop();
    EXPECT_EQ(mapisim_live_objects(), 0u) << "objects left alive";
    EXPECT_EQ(mapisim_live_allocations(), 0u) << "MAPI buffers left allocated";
    EXPECT_EQ(mapisim_live_local_allocations(), 0u) << "FormatMessageA texts left";
    EXPECT_EQ(mapisim_open_registry_keys(), 0u) << "registry keys left open";
    EXPECT_EQ(mapisim_dead_calls(), 0u) << "calls on released objects";
    EXPECT_EQ(mapisim_bad_frees(), 0u) << "frees of what was not a live allocation";
    mapisim_clear_faults();
}

void LibraryTest::Load(const std::string& json)
{
    ASSERT_EQ(mapisim_load_mailbox_string(json.c_str()), 0) << mapisim_last_load_error();
}

void LibraryTest::LoadSample()
{
    ASSERT_EQ(mapisim_load_mailbox_file(ORVIMAPI_SOURCE_DIR "/samples/mailbox.json"), 0)
        << mapisim_last_load_error();
}

void LibraryTest::Start(const char* profile, int32_t shareSession)
{
    ASSERT_EQ(OrviMapiStart(profile, shareSession), 0) << LastError();
}

OrviMapiStore LibraryTest::OpenDefaultStore(Bytes* storeEntryId)
{
    OrviMapiTable table = nullptr;
    EXPECT_EQ(OrviMapiMsgStoreQuerySet(&table, 0), 0) << LastError();
    OrviMapiRowSet rows = nullptr;
    EXPECT_EQ(OrviMapiMsgStoreQueryGetRow(table, &rows), 1) << LastError();
    OrviMapiStore store = nullptr;
    EXPECT_EQ(OrviMapiMsgStoreResultOpenStore(rows, &store), 0) << LastError();
    if (storeEntryId != nullptr) {
        uint32_t size = 0;
        unsigned char* bytes = nullptr;
        EXPECT_EQ(OrviMapiMsgStoreResultGetEID(rows, &size, &bytes), 0);
        storeEntryId->assign(bytes, bytes + size);
    }
    OrviMapiReleaseResult(rows);
    OrviMapiReleaseTable(table);
    return store;
}

} // namespace testsupport
