// The mailbox of the folder tests and a fixture that opens its store and
// the top of its folder tree, with helpers that find folders by path.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "frame/platform.h"
#include "support/library_support.h"
#include "support/sentinel.h"

namespace foldertest {

using namespace testsupport;

// Top-level folders, in name order: Addresses, Archive, Bulk, Calendar,
// Contacts, Deleted Items, Empty, Inbox, Mixed, Odd People, Outbox, Projects,
// Sent Items, tasks. No top-level Drafts.
inline constexpr const char* kMailbox =
    R"({"profiles": [{"name": "Folders", "default": true, "stores": [
 {"name": "Mailbox", "provider": "Personal Folders", "default": true, "special": {"inbox": "Inbox",
  "outbox": "Outbox", "sent_items": "Sent Items", "deleted_items": "Deleted Items"}, "folders": [
  {"name": "Inbox", "class": "IPF.Appointment", "folders": [{"name": "Sent Items", "class": "IPF.Note"}]},
  {"name": "Outbox", "class": "IPF.Note"}, {"name": "Sent Items", "class": "IPF.Note"},
  {"name": "Deleted Items", "class": "IPF.Note", "folders": [{"name": "Projects"}]},
  {"name": "Projects", "class": "IPF.Note", "folders": [{"name": "Plans"}],
   "messages": [{"subject": "Kick-off"}], "associated": [{"class": "IPM.Configuration"}]},
  {"name": "Contacts", "class": "IPF.Contact"}, {"name": "Addresses", "class": "IPF.Contact"},
  {"name": "Odd People", "class": "IPF.Contact.Extra"}, {"name": "tasks", "class": "ipf.task"},
  {"name": "Calendar", "class": "IPF.Appointment"}, {"name": "Empty"},
  {"name": "Archive", "class": "IPF.Note",
   "folders": [{"name": "Inbox"}, {"name": "Inbox1"}, {"name": "Drafts", "class": "IPF.Note"}]},
  {"name": "Bulk", "class": "IPF.Note", "messages": [{"repeat": 250, "step": "PT1H", "message": {
   "class": "IPM.Note", "subject": "Order ${n}", "received": "2000-05-01T00:00:00Z"}}]},
  {"name": "Mixed", "class": "IPF.Note", "messages": [
   {"class": "IPM.Note", "subject": "Forwarded", "sender": "Ann <ann@harrow.example>", "to": "Tom <t@x.example>",
    "last_verb": "forward", "importance": "high", "priority": "urgent", "sensitivity": "private",
    "flags": ["read"], "sent": "2000-03-14T09:26:53Z", "received": "2000-03-14T09:27:10Z",
    "modified": "2000-03-15T10:00:00Z", "0x0044001E": "Boss", "0x0E0A0102": {"hex": "01 02"},
    "attachments": [{"filename": "a.txt", "data": {"text": "abc"}}]},
   {"class": "IPM.Note", "subject": "Replied", "sender": "Bob <bob@example.com>", "last_verb": "reply_all",
    "importance": "low", "priority": "non_urgent", "sensitivity": 7, "flags": ["unsent"],
    "sent": "2000-03-16T08:00:00Z", "received_representing": "Rep <rep@example.com>"},
   {"subject": "Plain"}]}]}]}]})";

class FolderTest : public LibraryTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The folder at `path` ("Archive/Inbox", "" for the top): its entry
    // identifier, its subfolders' names, the folder opened (the caller's).
    Bytes FolderId(const std::string& path);
    std::vector<std::string> Subfolders(const std::string& path);
    OrviMapiFolder OpenFolder(const std::string& path);
    std::string NameOf(OrviMapiFolder folder);

    OrviMapiStore store = nullptr;
    Bytes storeId, topId;
    OrviMapiFolder top = nullptr;

private:
    void EachSubfolder(const Bytes& id,
                       const std::function<void(const std::string&, Bytes)>& visit);
};

} // namespace foldertest
