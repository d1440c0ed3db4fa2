// The mailbox loader: the sample loads, a small mailbox of our own comes out
// in the model as written, errors name their place, and a failed load
// changes nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "mapisim/decl/mapitags.h"
#include "mapisim/decl/win32.h"
#include "mapisim/mapisim.h"
#include "mapisim/model/world.h"
#include "mapisim/rtfcomp/lzfu.h"

using namespace mapisim::model;

namespace {

const std::string kSample = std::string(ORVIMAPI_SOURCE_DIR) + "/samples/mailbox.json";

class Loader : public ::testing::Test {
protected:
    void SetUp() override { mapisim_reset_platform(); }
    void TearDown() override
    {
        install(nullptr);
        mapisim_reset_platform();
    }
};

// Wraps one store's folders in a profile.
std::string with_folders(const std::string& folders, const std::string& store_extra = "")
{
    return R"({"profiles": [{"name": "P", "stores": [{"name": "S")" + store_extra +
           R"(, "folders": [)" + folders + "]}]}]}";
}
std::string with_message(const std::string& message)
{
    return with_folders(R"({"name": "Inbox", "messages": [)" + message + "]}");
}

int load(const std::string& json) { return mapisim_load_mailbox_string(json.c_str()); }

Store& only_store() { return *current().profiles.at(0)->stores.at(0); }
Folder& folder(const std::string& path)
{
    std::shared_ptr<Folder> f = only_store().find_folder(only_store().ipm_subtree);
    std::size_t start = 0;
    while (f && start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        f = f->find_subfolder(path.substr(start, slash - start));
        start = slash == std::string::npos ? path.size() + 1 : slash + 1;
    }
    EXPECT_TRUE(f) << path;
    return *f;
}
Message& first_message() { return *folder("Inbox").messages().at(0); }

std::string text(const PropertyBag& bag, ULONG tag) { return bag.text(tag).value_or("<none>"); }
std::string registry_value(HKEY root, const char* key, const char* name)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &h) != 0) return "<no key>";
    std::string found = "<no value>";
    for (DWORD i = 0;; ++i) {
        char value_name[256], data[300];
        DWORD cch = sizeof value_name, cb = sizeof data, type = 0;
        if (RegEnumValueA(h, i, value_name, &cch, nullptr, &type, reinterpret_cast<BYTE*>(data),
                          &cb) != 0)
            break;
        if (std::strcmp(value_name, name) == 0) found.assign(data, cb ? cb - 1 : 0);
    }
    RegCloseKey(h);
    return found;
}

} // namespace

TEST_F(Loader, SampleLoadsWithWhatTheLibraryReads)
{
    std::ifstream in(kSample, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_LT(bytes.size(), 300u * 1024) << "the command embeds the sample";
    ASSERT_EQ(mapisim_load_mailbox_file(kSample.c_str()), 0) << mapisim_last_load_error();
    EXPECT_STREQ(mapisim_last_load_error(), "");

    World& w = current();
    ASSERT_EQ(w.profiles.size(), 3u);
    ASSERT_TRUE(w.default_profile());
    Profile& p = *w.default_profile();
    std::vector<std::string> providers;
    for (auto& s : p.stores) providers.push_back(s->provider_display);
    EXPECT_EQ(providers, (std::vector<std::string>{"Personal Folders", "Microsoft Exchange Server",
                                                   "Tarsk Quillbank"}));
    Store& pst = *p.stores[0];
    EXPECT_TRUE(pst.is_default);
    auto top = pst.find_folder(pst.ipm_subtree);
    ASSERT_TRUE(top);
    for (const char* name : {"Inbox", "Outbox", "Sent Items", "Deleted Items", "Drafts", "Calendar",
                             "Contacts", "Journal", "Notes", "Tasks"})
        EXPECT_TRUE(top->find_subfolder(name)) << name;
    EXPECT_EQ(pst.receive_folder("IPM.Note").first, top->find_subfolder("Inbox")->number());
    EXPECT_EQ(pst.outbox, top->find_subfolder("Outbox")->number());
    EXPECT_EQ(pst.sentmail, top->find_subfolder("Sent Items")->number());
    EXPECT_EQ(pst.wastebasket, top->find_subfolder("Deleted Items")->number());
    EXPECT_EQ(*top->find_subfolder("Contacts")->props.text(PR_CONTAINER_CLASS_A), "IPF.Contact");
    EXPECT_TRUE(top->find_subfolder("Inbox")->find_subfolder("Clients")->find_subfolder(
        "Harrow Vale Brewery"));

    // The names the library resolves from the first "Personal Folders" store.
    EXPECT_TRUE(pst.names.find(NamedId::by_name(mapisim::model::PS_PUBLIC_STRINGS, u"Keywords")));
    for (LONG lid : {0x8530, 0x8503})
        EXPECT_TRUE(pst.names.find(NamedId::by_lid(PSETID_Common, lid))) << lid;
    for (LONG lid :
         {0x8005, 0x8082, 0x8083, 0x8084, 0x8092, 0x8093, 0x8094, 0x80A2, 0x80A3, 0x80A4})
        EXPECT_TRUE(pst.names.find(NamedId::by_lid(PSETID_Address, lid))) << lid;

    // 250 web orders, a step apart, so that tables of 100 rows take three reads.
    auto orders = top->find_subfolder("Inbox")->find_subfolder("Web Orders");
    ASSERT_EQ(orders->messages().size(), 250u);
    const auto delivered = [&](std::size_t i) {
        return orders->messages()[i]->props.find(PR_MESSAGE_DELIVERY_TIME)->get<FileTime>()->ticks;
    };
    EXPECT_GT(delivered(0), delivered(249));
    EXPECT_EQ(*orders->messages()[0]->props.text(PR_SUBJECT_A),
              "Web order 10401: 500 business cards");

    // Bodies: HTML in RTF in both code pages, an inline picture, an embedded message.
    int html_rtf = 0, utf8 = 0, inline_pictures = 0, embedded = 0, bcc = 0;
    for (auto& m : top->find_subfolder("Inbox")->messages()) {
        if (const Value* rtf = m->props.find(PR_RTF_COMPRESSED)) {
            std::vector<std::uint8_t> raw;
            const Bytes& packed = *rtf->get<Bytes>();
            ASSERT_EQ(mapisim::lzfu::decompress(packed.data(), packed.size(), raw),
                      mapisim::lzfu::Status::End);
            if (std::string(raw.begin(), raw.end()).find("\\fromhtml1") != std::string::npos) {
                ++html_rtf;
                utf8 += m->props.i4(PR_INTERNET_CPID) == 65001;
            }
        }
        for (auto& a : m->attachments) {
            inline_pictures +=
                a.props.contains(PR_ATTACH_CONTENT_ID_A) && a.props.i4(PR_ATTACH_FLAGS) == 0;
            embedded +=
                a.embedded != nullptr && a.props.i4(PR_ATTACH_METHOD) == ATTACH_EMBEDDED_MSG;
        }
    }
    for (auto& m : top->find_subfolder("Sent Items")->messages())
        for (auto& r : m->recipients) bcc += r.props.i4(PR_RECIPIENT_TYPE) == MAPI_BCC;
    EXPECT_GE(html_rtf, 3);
    EXPECT_EQ(utf8, 1);
    EXPECT_EQ(inline_pictures, 1);
    EXPECT_EQ(embedded, 1);
    EXPECT_GE(bcc, 1);

    // A spooler (made by the stand-in) and two idle transports.
    EXPECT_TRUE(p.has_spooler);
    ASSERT_EQ(p.status_rows.size(), 2u);
    for (auto& row : p.status_rows) {
        EXPECT_EQ(row.resource_type, ULONG{MAPI_TRANSPORT_PROVIDER});
        EXPECT_EQ(row.status_code, std::optional<ULONG>(0x110001));
    }
    EXPECT_NE(p.address_book.pab, 0u);

    // The registry and the version the library reads: default profile, Outlook 9.0.
    EXPECT_EQ(registry_value(HKEY_CURRENT_USER,
                             "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
                             "Subsystem\\Profiles",
                             "DefaultProfile"),
              "Outlook");
    const std::string exe =
        registry_value(HKEY_LOCAL_MACHINE,
                       "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Outlook.exe", "");
    ASSERT_EQ(exe, "C:\\Program Files\\Microsoft Office\\Office\\OUTLOOK.EXE");
    const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<unsigned char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<LPVOID*>(&info), &len));
    EXPECT_EQ(info->dwProductVersionMS, 0x00090000u);
}

TEST_F(Loader, TheDocumentedExampleLoads)
{
    std::ifstream in(std::string(ORVIMAPI_SOURCE_DIR) + "/docs/mailbox-format.md");
    const std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t start = doc.rfind("```json\n");
    ASSERT_NE(start, std::string::npos);
    const std::size_t end = doc.find("```", start + 8);
    ASSERT_EQ(load(doc.substr(start + 8, end - start - 8)), 0) << mapisim_last_load_error();
    EXPECT_EQ(text(first_message().props, PR_NORMALIZED_SUBJECT_A), "Label proofs");
}

TEST_F(Loader, StoresFoldersAndProfilesComeOutAsWritten)
{
    ASSERT_EQ(load(R"({
      "settings": {"getprops_limit": 100, "queryrows_cap": "0x10", "short_term_ids_in_tables": false},
      "script": {"logon_choice": "", "show_form_result": "0x80040113"},
      "profiles": [
        {"name": "Home", "spooler": false,
         "status_rows": [{"name": "T", "type": "spooler", "resource_flags": ["default_outbound"],
                          "0x3E08001E": "idle"}],
         "address_book": [{"name": "GAL"},
                          {"name": "PAB", "pab": true, "entries": [
                            {"name": "Ann", "email": "ann@x.example", "company": "X"},
                            {"name": "Bob", "0x39000003": 6}]}]},
        {"name": "Work", "default": true, "spooler": {"status": "0x5"}, "stores": [
          {"name": "Box", "provider": "Microsoft Exchange Server", "default": true,
           "resource_flags": 4098, "0x340D0003": 1, "subtree": "IPM",
           "named_properties": [{"set": "PSETID_Common", "lid": 34096},
                                {"set": "{00020329-0000-0000-C000-000000000046}", "name": "Keywords"}],
           "root_folders": [{"name": "Finder"}],
           "folders": [{"name": "Inbox", "class": "IPF.Note", "folders": [{"name": "A/B"}],
                        "associated": [{"subject": "view"}]},
                       {"name": "", "comment": ["two", "lines"], "0x36E4000B": true}],
           "special": {"inbox": "Inbox", "outbox": ["Inbox", "A/B"], "finder": "/Finder"},
           "receive_folders": {"IPM.Note.Special": "/Finder"}},
          {"name": "Bare", "subtree": null, "folders": [{"name": "Loose"}]}]}]})"),
              0)
        << mapisim_last_load_error();
    World& w = current();
    EXPECT_EQ(w.settings.getprops_limit, 100u);
    EXPECT_EQ(w.settings.queryrows_cap, 16u);
    EXPECT_FALSE(w.settings.short_term_ids_in_tables);
    EXPECT_EQ(w.script.logon_choice, std::optional<std::string>(""));
    EXPECT_EQ(w.script.show_form_result, MAPI_E_USER_CANCEL);

    Profile& home = *w.profiles[0];
    EXPECT_FALSE(home.is_default);
    EXPECT_FALSE(home.has_spooler);
    EXPECT_EQ(home.status_rows[0].resource_type, ULONG{MAPI_SPOOLER});
    EXPECT_EQ(home.status_rows[0].resource_flags, ULONG{STATUS_DEFAULT_OUTBOUND});
    EXPECT_FALSE(home.status_rows[0].status_code);
    EXPECT_EQ(text(home.status_rows[0].props, PR_STATUS_STRING_A), "idle");
    const auto& containers = home.address_book.containers();
    EXPECT_EQ(home.address_book.pab, containers[1]->number);
    const AbEntry& ann = containers[1]->entries[0];
    EXPECT_EQ(text(ann.props, PR_ADDRTYPE_A), "SMTP");
    EXPECT_EQ(text(ann.props, PR_COMPANY_NAME_A), "X");
    EXPECT_EQ(ann.props.i4(PR_DISPLAY_TYPE), DT_MAILUSER);
    const AbEntry& bob = containers[1]->entries[1];
    EXPECT_FALSE(bob.props.contains(PR_EMAIL_ADDRESS_A));
    EXPECT_FALSE(bob.props.contains(PR_ADDRTYPE_A));
    EXPECT_EQ(bob.props.i4(PR_DISPLAY_TYPE), 6);

    Profile& work = *w.default_profile();
    EXPECT_EQ(work.name, "Work");
    EXPECT_EQ(work.spooler_status, 5u);
    Store& box = *work.stores[0];
    EXPECT_TRUE(box.is_default);
    EXPECT_EQ(box.resource_flags, 4098u);
    EXPECT_EQ(box.props.i4(PR_STORE_SUPPORT_MASK), 1);
    // Listed names take the first identifiers, in order.
    EXPECT_EQ(box.names.find(NamedId::by_lid(PSETID_Common, 0x8530)), std::optional<ULONG>(0x8000));
    EXPECT_EQ(box.names.find(NamedId::by_name(mapisim::model::PS_PUBLIC_STRINGS, u"Keywords")),
              std::optional<ULONG>(0x8001));
    auto ipm = box.find_folder(box.ipm_subtree);
    ASSERT_TRUE(ipm && ipm->parent() == box.root());
    EXPECT_EQ(ipm->display_name(), "IPM");
    auto inbox = ipm->find_subfolder("Inbox");
    auto ab = inbox->find_subfolder("A/B");
    EXPECT_EQ(box.receive_folder("IPM.Note").first, inbox->number());
    EXPECT_EQ(box.receive_folder("IPM.Note.Special.X").first,
              box.root()->find_subfolder("Finder")->number());
    EXPECT_EQ(box.outbox, ab->number());
    EXPECT_EQ(box.finder, box.root()->find_subfolder("Finder")->number());
    EXPECT_EQ(box.sentmail, 0u);
    ASSERT_EQ(inbox->messages().size(), 1u);
    EXPECT_TRUE(inbox->messages()[0]->associated);
    auto unnamed = ipm->find_subfolder("");
    ASSERT_TRUE(unnamed);
    EXPECT_EQ(text(unnamed->props, PR_COMMENT_A), "two\r\nlines");
    EXPECT_FALSE(unnamed->props.contains(PR_CONTAINER_CLASS_A));
    EXPECT_EQ(unnamed->props.boolean(PROP_TAG(PT_BOOLEAN, 0x36E4)), true);

    Store& bare = *work.stores[1];
    EXPECT_EQ(bare.ipm_subtree, 0u);
    EXPECT_TRUE(bare.root()->find_subfolder("Loose"));
    EXPECT_EQ(bare.provider_display, "");
}

TEST_F(Loader, MessagePropertiesComeOutAsWritten)
{
    ASSERT_EQ(load(with_message(R"({
      "class": "IPM.Note", "subject": "RE: Caf\u00e9 \u20ac5",
      "from": "\"Hollis, Ann\" <ann@x.example>",
      "to": ["Bob <bob@x.example>", {"name": "Cy", "email": "/O=X/CN=CY", "addrtype": "EX"}],
      "cc": "dee@x.example", "bcc": {"name": "Ed"},
      "recipients": [{"type": "bcc", "name": "Flo", "email": "flo@x.example", "display_name": "F"},
                     {"type": null, "name": "Gil"}, {"type": 7, "name": "Hal", "0x3A06001E": "Hal"}],
      "sent": "2000-03-14T09:26:53.5Z", "received": "1601-01-01T00:00:00Z",
      "flags": ["read", "unsent"], "importance": "high", "priority": "non_urgent",
      "sensitivity": 3, "last_verb": "forward", "flag_status": "flagged", "codepage": 65001,
      "body": ["one", "two"], "rtf": "{\\rtf1 hi}", "headers": "H: v",
      "keywords": ["a", "b"], "flag_request": "Follow up", "reminder_set": true,
      "named": [{"set": "PSETID_Task", "lid": "0x8102", "type": "double", "value": 0.5},
                {"set": "PS_PUBLIC_STRINGS", "name": "Tag", "value": 7},
                {"set": "PSETID_Appointment", "lid": 33293, "type": "time", "value": "2000-01-01T00:00:00Z"}],
      "0x1234001F": "\u0141\u00f3d\u017a", "0x12350102": {"base64": ["AAEC", "/w=="]},
      "0x12361003": [1, "0xFFFFFFFF"], "0x1237101E": ["x", {"hex": "41 42"}], "0x12380014": "0x8000000000000000",
      "0x12390048": "{00062008-0000-0000-C000-000000000046}", "0x123A0002": -2,
      "0x123B000A": "0x8004010F", "0x123C0005": 1.25, "0x123D000B": false,
      "attachments": [
        {"filename": "a.txt", "data": {"text": "hello"}, "content_id": "a@b", "flags": 0},
        {"message": {"subject": "inner", "attachments": [{"data": {"hex": ""}, "size": 99}]}},
        {"method": "by_reference", "pathname": "\\\\srv\\a.doc", "size": null}]
    })")),
              0)
        << mapisim_last_load_error();
    Store& s = only_store();
    Message& m = first_message();
    const PropertyBag& p = m.props;
    EXPECT_EQ(text(p, PR_SUBJECT_A),
              "RE: Caf\xE9 \x80"
              "5");
    EXPECT_EQ(text(p, PR_SUBJECT_PREFIX_A), "RE: ");
    EXPECT_EQ(text(p, PR_NORMALIZED_SUBJECT_A),
              "Caf\xE9 \x80"
              "5");
    EXPECT_EQ(text(p, PR_SENT_REPRESENTING_NAME_A), "Hollis, Ann");
    EXPECT_EQ(text(p, PR_SENDER_EMAIL_ADDRESS_A), "ann@x.example");
    EXPECT_EQ(text(p, PR_SENDER_ADDRTYPE_A), "SMTP");

    // FILETIME of 2000-03-14 09:26:53.5 UTC, checked against the Win32 conversion.
    const FILETIME ft = [&] {
        const std::uint64_t t = p.find(PR_CLIENT_SUBMIT_TIME)->get<FileTime>()->ticks;
        return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
    }();
    SYSTEMTIME st{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ(std::vector<int>({st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                                st.wMilliseconds}),
              (std::vector<int>{2000, 3, 14, 9, 26, 53, 500}));
    EXPECT_EQ(p.find(PR_MESSAGE_DELIVERY_TIME)->get<FileTime>()->ticks, 0u);

    EXPECT_EQ(p.i4(PR_MESSAGE_FLAGS), MSGFLAG_READ | MSGFLAG_UNSENT);
    EXPECT_EQ(p.i4(PR_IMPORTANCE), 2);
    EXPECT_EQ(p.i4(PR_PRIORITY), -1);
    EXPECT_EQ(p.i4(PR_SENSITIVITY), 3);
    EXPECT_EQ(p.i4(PR_LAST_VERB_EXECUTED), 104);
    EXPECT_EQ(p.i4(PR_FLAG_STATUS), 2);
    EXPECT_EQ(p.i4(PR_INTERNET_CPID), 65001);
    EXPECT_EQ(text(p, PR_BODY_A), "one\r\ntwo");
    std::vector<std::uint8_t> rtf;
    const Bytes& packed = *p.find(PR_RTF_COMPRESSED)->get<Bytes>();
    ASSERT_EQ(mapisim::lzfu::decompress(packed.data(), packed.size(), rtf),
              mapisim::lzfu::Status::End);
    EXPECT_EQ(std::string(rtf.begin(), rtf.end()), "{\\rtf1 hi}");

    auto named = [&](const NamedId& id, ULONG type) {
        const auto pid = s.names.find(id);
        return pid ? p.find(PROP_TAG(type, *pid)) : nullptr;
    };
    ASSERT_TRUE(
        named(NamedId::by_name(mapisim::model::PS_PUBLIC_STRINGS, u"Keywords"), PT_MV_STRING8));
    EXPECT_EQ(named(NamedId::by_name(mapisim::model::PS_PUBLIC_STRINGS, u"Keywords"), PT_MV_STRING8)
                  ->type(),
              ULONG{PT_MV_STRING8});
    EXPECT_EQ(*named(NamedId::by_lid(PSETID_Common, 0x8530), PT_STRING8)->get<std::string>(),
              "Follow up");
    EXPECT_EQ(*named(NamedId::by_lid(PSETID_Common, 0x8503), PT_BOOLEAN)->get<bool>(), true);
    EXPECT_EQ(*named(NamedId::by_lid(PSETID_Task, 0x8102), PT_DOUBLE)->get<double>(), 0.5);
    EXPECT_EQ(*named(NamedId::by_name(mapisim::model::PS_PUBLIC_STRINGS, u"Tag"), PT_LONG)
                   ->get<std::int32_t>(),
              7);
    EXPECT_EQ(named(NamedId::by_lid(PSETID_Appointment, 0x820D), PT_SYSTIME)->type(),
              ULONG{PT_SYSTIME});

    EXPECT_EQ(*p.find(0x1234001F)->get<std::u16string>(), u"\u0141\u00f3d\u017a");
    EXPECT_EQ(*p.find(0x12350102)->get<Bytes>(), (Bytes{0, 1, 2, 0xFF}));
    EXPECT_EQ(*p.find(0x12361003)->get<std::vector<std::int32_t>>(),
              (std::vector<std::int32_t>{1, -1}));
    EXPECT_EQ(*p.find(0x1237101E)->get<std::vector<std::string>>(),
              (std::vector<std::string>{"x", "AB"}));
    EXPECT_EQ(*p.find(0x12380014)->get<std::int64_t>(), INT64_MIN);
    EXPECT_EQ(*p.find(0x12390048)->get<GUID>(), PSETID_Common);
    EXPECT_EQ(*p.find(0x123A0002)->get<std::int16_t>(), -2);
    EXPECT_TRUE(p.find(0x123B000A)->is_error());
    EXPECT_EQ(p.find(0x123B000A)->get<ErrorCode>()->scode, MAPI_E_NOT_FOUND);
    EXPECT_EQ(*p.find(0x123C0005)->get<double>(), 1.25);
    EXPECT_EQ(*p.find(0x123D000B)->get<bool>(), false);

    // Recipients: to, cc, bcc, then the list; types and derived address types.
    std::vector<std::string> order;
    for (auto& r : m.recipients) {
        const auto type = r.props.i4(PR_RECIPIENT_TYPE);
        order.push_back(text(r.props, PR_DISPLAY_NAME_A) + "/" +
                        (type ? std::to_string(*type) : "-") + "/" + text(r.props, PR_ADDRTYPE_A));
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Bob/1/SMTP", "Cy/1/EX", "dee@x.example/2/SMTP",
                                               "Ed/3/<none>", "Flo/3/SMTP", "Gil/-/<none>",
                                               "Hal/7/<none>"}));
    EXPECT_EQ(text(m.recipients[4].props, PR_RECIPIENT_DISPLAY_NAME_A), "F");
    EXPECT_EQ(text(m.recipients[6].props, PR_GIVEN_NAME_A), "Hal");

    // Attachments: numbered in order, sizes from data, an embedded message.
    ASSERT_EQ(m.attachments.size(), 3u);
    const Attachment& a = m.attachments[0];
    EXPECT_EQ(a.number, 0u);
    EXPECT_EQ(a.props.i4(PR_ATTACH_METHOD), ATTACH_BY_VALUE);
    EXPECT_EQ(a.props.i4(PR_ATTACH_SIZE), 5);
    EXPECT_EQ(a.props.i4(PR_ATTACH_FLAGS), 0);
    EXPECT_EQ(text(a.props, PR_ATTACH_LONG_FILENAME_A), "a.txt");
    EXPECT_FALSE(a.props.contains(PR_ATTACH_FILENAME_A));
    const Attachment& e = m.attachments[1];
    EXPECT_EQ(e.props.i4(PR_ATTACH_METHOD), ATTACH_EMBEDDED_MSG);
    ASSERT_TRUE(e.embedded);
    EXPECT_EQ(e.embedded->number(), 0u);
    EXPECT_EQ(text(e.embedded->props, PR_SUBJECT_A), "inner");
    EXPECT_EQ(e.embedded->attachments.at(0).props.i4(PR_ATTACH_SIZE), 99);
    const Attachment& r = m.attachments[2];
    EXPECT_EQ(r.number, 2u);
    EXPECT_EQ(r.props.i4(PR_ATTACH_METHOD), ATTACH_BY_REFERENCE);
    EXPECT_FALSE(r.props.contains(PR_ATTACH_SIZE));
    EXPECT_EQ(text(r.props, PR_ATTACH_PATHNAME_A), "\\\\srv\\a.doc");
}

TEST_F(Loader, NullLeavesOutWhatWouldBeDerived)
{
    ASSERT_EQ(load(with_message(
                  R"({"subject": "FW: x", "from": "a@x.example", "normalized_subject": null,
                      "0x0C1A001E": "Own"},
                     {"from": "a@x.example", "sender": null})")),
              0)
        << mapisim_last_load_error();
    const PropertyBag& p = first_message().props;
    EXPECT_EQ(text(p, PR_SUBJECT_PREFIX_A), "FW: ");
    EXPECT_FALSE(p.contains(PR_NORMALIZED_SUBJECT_A));
    EXPECT_EQ(text(p, PR_SENDER_NAME_A), "Own");
    EXPECT_EQ(text(p, PR_SENDER_EMAIL_ADDRESS_A), "a@x.example");
    const PropertyBag& q = folder("Inbox").messages().at(1)->props;
    EXPECT_TRUE(q.contains(PR_SENT_REPRESENTING_EMAIL_ADDRESS_A));
    EXPECT_FALSE(q.contains(PR_SENDER_EMAIL_ADDRESS_A));
    EXPECT_FALSE(q.contains(PR_NORMALIZED_SUBJECT_A));
    // Only one to three letters before ": " make a prefix.
    for (const char* subject : {"Re:no space", "Fwd2: x", "ABCD: x", ": x", "\\u00c4W: x"}) {
        const std::string json = std::string(R"({"subject": ")") + subject + "\"}";
        ASSERT_EQ(load(with_message(json)), 0) << mapisim_last_load_error();
        EXPECT_EQ(first_message().props.contains(PR_SUBJECT_PREFIX_A),
                  std::strcmp(subject, "\\u00c4W: x") == 0)
            << subject;
    }
}

TEST_F(Loader, RepeatMakesNumberedCopiesWithMovingTimes)
{
    ASSERT_EQ(load(with_message(R"(
      {"repeat": 4, "step": "-P1DT1H30M", "message": {
        "subject": "#${n+100:5} ${pick:a|b|c} ${n} ${$}{x} ${n-10}",
        "received": "2000-01-10T12:00:00Z", "flags": "${pick:0x1|0}",
        "named": [{"set": "PS_PUBLIC_STRINGS", "name": "N${n}", "value": "v"}]}})")),
              0)
        << mapisim_last_load_error();
    const auto& msgs = folder("Inbox").messages();
    ASSERT_EQ(msgs.size(), 4u);
    EXPECT_EQ(text(msgs[0]->props, PR_SUBJECT_A), "#00101 a 1 ${x} -9");
    EXPECT_EQ(text(msgs[3]->props, PR_SUBJECT_A), "#00104 a 4 ${x} -6");
    EXPECT_EQ(text(msgs[1]->props, PR_SUBJECT_A).substr(7, 1), "b");
    EXPECT_EQ(msgs[0]->props.i4(PR_MESSAGE_FLAGS), 1);
    EXPECT_EQ(msgs[1]->props.i4(PR_MESSAGE_FLAGS), 0);
    const auto t = [&](int i) {
        return static_cast<std::int64_t>(
            msgs[i]->props.find(PR_MESSAGE_DELIVERY_TIME)->get<FileTime>()->ticks);
    };
    EXPECT_EQ(t(0) - t(3), 3 * (25 * 3600 + 1800) * 10000000LL);
    EXPECT_EQ(only_store().names.entries().size(), 4u);
}

TEST_F(Loader, ErrorsNameLineColumnPathAndFault)
{
    struct Case {
        std::string json;
        std::string error; // the whole message, or a part of it
    };
    const Case cases[] = {
        {"{\n  \"profiles\": [\n    {\"name\": 7}\n  ]\n}",
         "3:14: profiles[0].name: expected a string"},
        {"{\"profiles\": [{\"name\": \"P\",}]}",
         "1:28: profiles[0]: a trailing comma is not allowed"},
        {with_message(R"({"subjetc": "x"})"),
         R"(messages[0].subjetc: unknown member "subjetc" in a message)"},
        {with_message(R"({"subject": "a", "0x0037001E": "b"})"),
         R"(messages[0]["0x0037001E"]: sets property 0x0037, which "subject" sets already)"},
        {with_message(R"({"flags": ["read", "raed"]})"),
         R"(flags[1]: unknown flag "raed"; the flags are read,)"},
        {with_message(R"({"importance": "hihg"})"),
         R"(importance: unknown name "hihg"; expected one of low, normal, high)"},
        {with_message(R"({"sent": "2001-02-29T00:00:00Z"})"), "sent: no such time"},
        {with_message(R"({"sent": "2001-02-28 00:00:00"})"), "sent: expected a UTC time"},
        {with_message(R"({"subject": "\u4e2d"})"),
         "subject: code page 1252 has no character U+4E2D"},
        {with_message(R"({"subject": "a\u0000b"})"), "subject: text may not hold a NUL character"},
        {with_message(R"({"codepage": 1.5})"), "codepage: expected a whole number"},
        {with_message(R"({"codepage": 4294967296})"), "codepage: number out of range"},
        {with_message(R"({"0x00370000": 1})"),
         R"(["0x00370000"]: properties of type 0000 cannot be given)"},
        {with_message(R"({"0x0000001E": "x"})"), "property identifier 0 is not a property"},
        {with_message(R"({"attachments": [{"data": {"hex": "ABC"}}]})"),
         "attachments[0].data.hex: expected pairs of hexadecimal digits"},
        {with_message(R"({"attachments": [{"data": {"base64": "AB=C"}}]})"),
         "data.base64: not base64 text"},
        {with_message(R"({"attachments": [{"data": {"hex": ""}, "message": {}}]})"),
         "attachments[0].message: an attachment has \"data\" or a \"message\", not both"},
        {with_message(R"({"attachments": [{"0x0E210003": 1}]})"),
         "attachment numbers follow the order"},
        {with_message(R"({"named": [{"set": "PSETID_Commn", "lid": 1, "value": 1}]})"),
         R"(named[0].set: unknown property set "PSETID_Commn")"},
        {with_message(
             R"({"named": [{"set": "{00062008-0000-0000-C000-00000000004}", "lid": 1, "value": 1}]})"),
         "named[0].set: expected a GUID"},
        {with_message(R"({"named": [{"set": "PS_MAPI", "name": "x", "lid": 1, "value": 1}]})"),
         "named[0]: give either \"name\" or \"lid\""},
        {with_message(R"({"named": [{"set": "PS_MAPI", "lid": 1, "value": {}}]})"),
         "named[0].value: give the \"type\" of this value"},
        {with_message(R"({"to": "Ann <>"})"), "to: an address needs an e-mail address"},
        {with_message(R"({"repeat": 3, "message": {"subject": "${n} ${m}"}})"),
         R"(message.subject: unknown substitution "${m}")"},
        {with_message(
             R"({"repeat": 3, "message": {"received": "9999-12-31T00:00:00Z"}, "step": "P1D"})"),
         "(in the copy for n = 2)"},
        {with_message(R"({"repeat": 100001, "message": {}})"),
         "repeat: number out of range 1 to 100000"},
        {with_message(R"({"repeat": 100000, "message": {"subject": ")" + std::string(3000, 'x') +
                      R"("}})"),
         "message: repeats would make more than 256 MB of text"},
        {with_message(R"({"repeat": 2, "step": "PT1D", "message": {}})"),
         "step: expected a duration"},
        {with_folders(R"({"name": "Inbox"}, {"name": "INBOX"})"),
         R"(folders[1].name: a folder named "INBOX" is already in this folder)"},
        {with_folders(R"({"name": "Inbox"})", R"(, "special": {"outbox": "Inbox/Out"})"),
         R"(special.outbox: no folder "Out" in "Inbox")"},
        {with_folders(R"({"name": "Inbox"})", R"(, "special": {"sent": "Inbox"})"),
         R"(special.sent: unknown member "sent" in special folders)"},
        {with_folders(R"({"name": "Inbox"})", R"(, "special": {"inbox": "Inbox//"})"),
         "special.inbox: an empty folder name in the path"},
        {R"({"profiles": [{"name": "A"}, {"name": "a"}]})",
         R"(profiles[1].name: a profile named "a" is already)"},
        {R"({"profiles": [{"default": true}]})", R"(1:15: profiles[0]: "name" is required here)"},
        {R"({"profiles": [{"name": "A", "address_book": [{"name": "1", "pab": true}, {"name": "2", "pab": true}]}]})",
         "address_book[1].pab: the profile has a personal address book already"},
        {R"({"profiles": [{"name": "A", "status_rows": [{"name": "T", "status": ["idle"]}]}]})",
         R"(status_rows[0].status[0]: unknown flag "idle")"},
        {R"({"registry": [{"root": "HKCR", "key": "k"}]})",
         R"(registry[0].root: unknown root "HKCR")"},
        {R"({"registry": [{"root": "HKCU", "key": "k", "name": "n"}]})",
         "registry[0]: a named registry value needs"},
        {R"({"registry": [{"root": "HKCU", "key": "k", "dword": 1, "string": "s"}]})",
         "registry[0]: give one of"},
        {R"({"file_versions": [{"path": "x", "product": "9.0.65536.0"}]})",
         "file_versions[0].product: expected a version"},
        {R"({"version": 2})", "version: only version 1 is known"},
        {"[]", "1:1: expected a mailbox description (an object)"},
    };
    for (const Case& c : cases) {
        EXPECT_NE(load(c.json), 0) << c.json;
        const std::string error = mapisim_last_load_error();
        EXPECT_NE(error.find(c.error), std::string::npos)
            << "got:  " << error << "\nwant: " << c.error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

TEST_F(Loader, FileErrorsNameTheFile)
{
    const std::string path = ::testing::TempDir() + "loader_test_bad.json";
    std::ofstream(path, std::ios::binary) << "{\n\"profiles\": 3\n}\n";
    EXPECT_EQ(mapisim_load_mailbox_file(path.c_str()), -1);
    EXPECT_EQ(std::string(mapisim_last_load_error()), path + ":2:13: profiles: expected an array");
    std::remove(path.c_str());
    EXPECT_EQ(mapisim_load_mailbox_file(path.c_str()), -1);
    EXPECT_EQ(std::string(mapisim_last_load_error()).rfind(path + ": cannot open", 0), 0u);
    EXPECT_EQ(mapisim_load_mailbox_file(nullptr), -1);
    EXPECT_EQ(mapisim_load_mailbox_string(nullptr), -1);
    EXPECT_STRNE(mapisim_last_load_error(), "");
}

TEST_F(Loader, FailedLoadChangesNothing)
{
    ASSERT_EQ(mapisim_load_mailbox_file(kSample.c_str()), 0) << mapisim_last_load_error();
    const std::shared_ptr<World> before = current_ptr();
    const char* profiles_key =
        "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
    // The fault is in the last message, after registry and versions were read.
    const std::string bad = R"({"registry": [], "file_versions": [],
      "profiles": [{"name": "Other", "stores": [{"name": "S", "folders": [
        {"name": "Inbox", "messages": [{"subject": "ok"}, {"subject": "ok", "flags": ["nope"]}]}]}]}]})";
    EXPECT_EQ(load(bad), -1);
    EXPECT_EQ(current_ptr(), before);
    EXPECT_EQ(current().profiles.size(), 3u);
    EXPECT_EQ(registry_value(HKEY_CURRENT_USER, profiles_key, "DefaultProfile"), "Outlook");
    EXPECT_GT(GetFileVersionInfoSizeA("C:\\Program Files\\Microsoft Office\\Office\\OUTLOOK.EXE",
                                      nullptr),
              0u);

    // Without "registry" a load leaves the registry alone; with one it replaces it.
    ASSERT_EQ(load(R"({"profiles": []})"), 0);
    EXPECT_STREQ(mapisim_last_load_error(), "");
    EXPECT_EQ(registry_value(HKEY_CURRENT_USER, profiles_key, "DefaultProfile"), "Outlook");
    ASSERT_EQ(
        load(
            R"({"registry": [{"root": "HKLM", "key": "A\\B", "name": "v", "data": {"text": "xy"}, "type": 7},
                                   {"root": "HKCU", "key": "Empty"}]})"),
        0);
    EXPECT_EQ(registry_value(HKEY_CURRENT_USER, profiles_key, "DefaultProfile"), "<no key>");
    EXPECT_EQ(registry_value(HKEY_LOCAL_MACHINE, "A\\B", "v"), "x");
    EXPECT_EQ(registry_value(HKEY_CURRENT_USER, "Empty", "x"), "<no value>");
    EXPECT_TRUE(current().profiles.empty());
}

TEST_F(Loader, NoPrefixOfTheSampleCrashesOrHalfLoads)
{
    std::ifstream in(kSample, std::ios::binary);
    const std::string sample((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    ASSERT_FALSE(sample.empty());
    install(nullptr);
    const std::shared_ptr<World> empty = current_ptr();
    for (std::size_t cut = 0; cut + 2 < sample.size(); cut += 613) {
        const std::string prefix = sample.substr(0, cut);
        ASSERT_EQ(load(prefix), -1) << cut;
        ASSERT_EQ(current_ptr(), empty);
    }
}
