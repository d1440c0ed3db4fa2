// A one-store mailbox whose Inbox messages the messages tests open as an
// application does.
#pragma once

#include <string>
#include <vector>

#include "frame/platform.h"
#include "support/library_support.h"
#include "support/sentinel.h"

namespace msgtest {

using namespace testsupport;

inline std::string Text(const void* text, uint32_t length)
{
    return std::string(static_cast<const char*>(text), length);
}

inline std::string ReadAll(OrviMapiStream stream)
{
    std::string all, block(65536, '\0');
    ULONG got = 0;
    while (reinterpret_cast<IStream*>(stream)->Read(block.data(), 65536, &got) == S_OK && got > 0)
        all.append(block, 0, got);
    return all;
}

class MessageTest : public LibraryTest {
protected:
    // The Inbox of the default store (of `provider`) holds `messages`, a
    // JSON array; FlagRequest is the store's fourth named property.
    void OpenInbox(const std::string& messages, const char* provider = "Personal Folders")
    {
        Load(std::string(R"({"profiles": [{"name": "P", "default": true, "stores": [{"name": "S",
            "default": true, "special": {"inbox": "Inbox"}, "provider": ")") +
             provider +
             R"(", "named_properties": [{"set": "PS_PUBLIC_STRINGS", "name": "Keywords"},
             {"set": "PS_PUBLIC_STRINGS", "name": "a"}, {"set": "PS_PUBLIC_STRINGS", "name": "b"},
             {"set": "PSETID_Common", "lid": "0x8530"}],
            "folders": [{"name": "Inbox", "messages": )" +
             messages + "}]}]}]}");
        Start();
        store_ = OpenDefaultStore();
        ASSERT_EQ(OrviMapiFolderFindByType(store_, 32, &inbox_), 0) << LastError();
        ASSERT_EQ(OrviMapiFolderContQuerySet(inbox_, &contents_), 0) << LastError();
        ASSERT_GE(OrviMapiFolderContQueryGetRow(contents_, &rows_), 0) << LastError();
        mapisim_call_log_clear();
    }
    Bytes EntryId(uint32_t index)
    {
        uint32_t size = 0;
        unsigned char* bytes = nullptr;
        EXPECT_EQ(OrviMapiFolderContGetEID(rows_, index, &size, &bytes), 0) << LastError();
        return Bytes(bytes, bytes + size);
    }
    // Released at the end of the test, as is every message in messages_.
    OrviMapiMessage Message(uint32_t index)
    {
        const Bytes id = EntryId(index);
        messages_.push_back(nullptr);
        EXPECT_EQ(OrviMapiMsgGet(inbox_, Size(id), id.data(), &messages_.back()), 0) << LastError();
        return messages_.back();
    }
    void TearDown() override
    {
        for (OrviMapiMessage message : messages_) OrviMapiReleaseMsg(message);
        OrviMapiReleaseResult(rows_);
        OrviMapiReleaseTable(contents_);
        OrviMapiReleaseFolder(inbox_);
        if (store_ != nullptr) OrviMapiMsgStoreRelease(store_);
        LibraryTest::TearDown();
    }

    OrviMapiStore store_ = nullptr;
    OrviMapiFolder inbox_ = nullptr;
    OrviMapiTable contents_ = nullptr;
    OrviMapiRowSet rows_ = nullptr;
    std::vector<OrviMapiMessage> messages_;
};

} // namespace msgtest
