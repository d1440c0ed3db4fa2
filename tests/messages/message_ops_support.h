// The mailbox of the message-operation tests, a fixture that opens its
// store and top folder, and helpers that name folders by path and messages
// by subject, and build the ENTRYLISTs the list exports take.
#pragma once

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "frame/platform.h"
#include "mapisim/decl/mapitags.h"
#include "session/session_state.h"
#include "support/library_support.h"

namespace msgops {

using namespace testsupport;

// Store "Mail": Top of Information Store / Archive, Deleted Items (Old),
// Inbox (One read, Two unread, Three flagged) / Lists (Deep), and a folder
// with an empty name (Nameless). FlagRequest and ReminderSet are mapped.
inline constexpr const char* kMailbox = R"({"profiles": [{"name": "P", "default": true, "stores": [
 {"name": "Mail", "provider": "Personal Folders", "default": true,
  "special": {"inbox": "Inbox", "deleted_items": "Deleted Items"},
  "named_properties": [{"set": "PSETID_Common", "lid": "0x8530"}, {"set": "PSETID_Common", "lid": "0x8503"}],
  "folders": [
   {"name": "Inbox", "messages": [
     {"subject": "One", "class": "IPM.Note", "flags": ["read"]},
     {"subject": "Two", "class": "IPM.Note.Custom", "flags": ["unsent"], "status": 4},
     {"subject": "Three", "flags": ["read"], "flag_status": "flagged", "flag_request": "Call",
      "reminder_set": true, "reply_time": "2001-02-03T04:05:06Z"}],
    "folders": [{"name": "Lists", "messages": [{"subject": "Deep"}]}]},
   {"name": "Deleted Items", "messages": [{"subject": "Old"}]},
   {"name": "Archive"},
   {"name": "", "messages": [{"subject": "Nameless"}]}]}]}]})";

// Entry identifiers gathered into the ENTRYLIST a caller builds.
class EntryList {
public:
    EntryList(std::vector<Bytes> ids = {}) : ids_(std::move(ids))
    {
        for (Bytes& id : ids_) entries_.push_back({static_cast<uint32_t>(id.size()), id.data()});
        list_.count = static_cast<uint32_t>(entries_.size());
        list_.entries = entries_.empty() ? nullptr : entries_.data();
    }
    EntryList(const EntryList&) = delete;
    const OrviMapiEntryList* get() const { return &list_; }
    OrviMapiEntryList* get() { return &list_; }
    OrviMapiBinary& operator[](size_t index) { return entries_[index]; }

private:
    std::vector<Bytes> ids_;
    std::vector<OrviMapiBinary> entries_;
    OrviMapiEntryList list_{};
};

class MessageOpsTest : public LibraryTest {
protected:
    void SetUp() override
    {
        LibraryTest::SetUp();
        Open(kMailbox);
    }
    void TearDown() override
    {
        Close();
        LibraryTest::TearDown();
    }
    // Replaces the mailbox: loads `json`, starts and opens its default store.
    void Open(const std::string& json)
    {
        Close();
        Load(json);
        Start();
        store = OpenDefaultStore(&storeId);
        uint32_t size = 0;
        topId.resize(256);
        ASSERT_EQ(OrviMapiMsgStoreGetRootFolder(store, &top, &size, topId.data()), 0)
            << LastError();
        topId.resize(size);
        mapisim_call_log_clear();
    }
    void Close()
    {
        mapisim_clear_faults();
        OrviMapiReleaseFolder(top);
        top = nullptr;
        if (store != nullptr) OrviMapiMsgStoreRelease(store);
        store = nullptr;
        for (int guard = 0; SessionIsOpen() && guard < 100; ++guard) OrviMapiStop();
    }

    // The folder at `path` below the top ("Inbox/Lists"; "" is the top).
    Bytes FolderId(const std::string& path)
    {
        Bytes id = topId;
        std::istringstream names(path);
        for (std::string name; std::getline(names, name, '/');) id = ChildId(id, name);
        return id;
    }
    // The subfolder `name` (which may be empty) of the folder `parent`.
    Bytes ChildId(const Bytes& parent, const std::string& name)
    {
        Bytes found;
        EachRow(parent, false, [&](const SPropValue* values) {
            if (name == values[1].Value.lpszA)
                found.assign(values[0].Value.bin.lpb,
                             values[0].Value.bin.lpb + values[0].Value.bin.cb);
        });
        if (found.empty()) ADD_FAILURE() << "no folder " << name;
        return found;
    }
    // The subjects of the folder's messages, in contents-table order.
    std::vector<std::string> Subjects(const std::string& path)
    {
        std::vector<std::string> subjects;
        EachMessage(FolderId(path),
                    [&](const std::string& subject, const Bytes&) { subjects.push_back(subject); });
        return subjects;
    }
    Bytes MessageId(const std::string& path, const std::string& subject)
    {
        return MessageIdIn(FolderId(path), subject);
    }
    Bytes MessageIdIn(const Bytes& folderId, const std::string& subject)
    {
        Bytes found;
        EachMessage(folderId, [&](const std::string& s, const Bytes& id) {
            if (s == subject) found = id;
        });
        if (found.empty()) ADD_FAILURE() << "no message " << subject;
        return found;
    }
    OrviMapiFolder OpenFolder(const std::string& path)
    {
        const Bytes id = FolderId(path);
        OrviMapiFolder folder = nullptr;
        EXPECT_EQ(OrviMapiMsgStoreGetFolderInterface(store, Size(id), id.data(), &folder), 0)
            << LastError();
        return folder;
    }

    OrviMapiStore store = nullptr;
    OrviMapiFolder top = nullptr;
    Bytes storeId, topId;

private:
    // Calls `visit` with each row's values: hierarchy rows (entry id,
    // display name), or contents rows (entry id, subject).
    void EachRow(const Bytes& folderId, bool contents,
                 const std::function<void(const SPropValue*)>& visit)
    {
        OrviMapiFolder folder = nullptr;
        ASSERT_EQ(
            OrviMapiMsgStoreGetFolderInterface(store, Size(folderId), folderId.data(), &folder), 0)
            << LastError();
        IMAPITable* table = nullptr;
        IMAPIFolder* mapiFolder = reinterpret_cast<IMAPIFolder*>(folder);
        HRESULT hr = contents ? mapiFolder->GetContentsTable(0, &table)
                              : mapiFolder->GetHierarchyTable(0, &table);
        ASSERT_EQ(hr, S_OK);
        // clang-format off
        SizedSPropTagArray(2, columns) = {
            2, {PR_ENTRYID, contents ? PR_SUBJECT_A : PR_DISPLAY_NAME_A}};
        // clang-format on
        SRowSet* rows = nullptr;
        ASSERT_EQ(HrQueryAllRows(table, reinterpret_cast<LPSPropTagArray>(&columns), nullptr,
                                 nullptr, 0, &rows),
                  S_OK);
        for (ULONG i = 0; i < rows->cRows; ++i) visit(rows->aRow[i].lpProps);
        FreeProws(rows);
        table->Release();
        OrviMapiReleaseFolder(folder);
    }
    void EachMessage(const Bytes& folderId,
                     const std::function<void(const std::string&, const Bytes&)>& visit)
    {
        EachRow(folderId, true, [&](const SPropValue* values) {
            const std::string subject =
                PROP_TYPE(values[1].ulPropTag) == PT_STRING8 ? values[1].Value.lpszA : "";
            visit(subject,
                  Bytes(values[0].Value.bin.lpb, values[0].Value.bin.lpb + values[0].Value.bin.cb));
        });
    }
};

} // namespace msgops
