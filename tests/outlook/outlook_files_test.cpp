// The stand-in's readers of real Outlook files: what a person sees of the
// messages in Outlook comes out of the model, damaged files give one clear
// line and change nothing, and a PST is read only as far as it is explored.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "mapisim/decl/mapitags.h"
#include "mapisim/mapisim.h"
#include "mapisim/model/world.h"
#include "support/real_data.h"
#if MAPISIM_HAVE_MSG
#include "mapisim/loader/msg/msg_reader.h"
#endif
#if MAPISIM_HAVE_PST
#include "mapisim/loader/pst/pst_reader.h"
#endif

namespace {

using namespace mapisim::model;
using testsupport::RealDataDir;

// The helpers below serve tests that are left out when a reader is not built.
[[maybe_unused]] std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

[[maybe_unused]] std::string Text(const PropertyBag& bag, ULONG tag)
{
    return bag.text(tag).value_or("<none>");
}

// The named property's value by its published name, through the store's map.
[[maybe_unused]] const Value* Named(const Store& store, const Message& m, const NamedId& name)
{
    auto id = const_cast<Store&>(store).names.find(name);
    return id ? m.props.find(PROP_TAG(PT_UNSPECIFIED, *id)) : nullptr;
}

#if MAPISIM_HAVE_MSG
class MsgFiles : public ::testing::Test {
protected:
    void SetUp() override { SKIP_WITHOUT_REAL_DATA("msg"); }
    std::shared_ptr<Message> Load(const std::string& name)
    {
        return mapisim::loader::msg::read_msg_file(RealDataDir() + "/msg/" + name, *store);
    }
    World world;
    std::shared_ptr<Store> store = world.add_profile("P").add_store("S", "Personal Folders");
};

TEST_F(MsgFiles, RecipientsKeepTheirKindsAndOrder)
{
    auto m = Load("Subject.msg");
    EXPECT_EQ(Text(m->props, PR_SUBJECT_A), "Subject");
    ASSERT_EQ(m->recipients.size(), 3u);
    const char* names[] = {"ToUser", "ToCc", "ToBcc"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m->recipients[i].props.i4(PR_RECIPIENT_TYPE), i + 1); // To, Cc, Bcc
        EXPECT_EQ(Text(m->recipients[i].props, PR_DISPLAY_NAME_A), names[i]);
    }
    EXPECT_EQ(Text(m->recipients[2].props, PR_EMAIL_ADDRESS_A), "bcc@example.com");
    EXPECT_EQ(Load("200 recipients.msg")->recipients.size(), 200u);
}

TEST_F(MsgFiles, AttachmentsByValueWithNamesSizesAndInlineMarks)
{
    auto m = Load("attachAndInline.msg");
    ASSERT_EQ(m->attachments.size(), 2u);
    const Attachment& file = m->attachments[0];
    const Attachment& image = m->attachments[1];
    EXPECT_EQ(Text(file.props, PR_ATTACH_LONG_FILENAME_A), "attach.png");
    EXPECT_EQ(file.props.i4(PR_ATTACH_SIZE), 1558);
    EXPECT_EQ(Text(image.props, PR_ATTACH_CONTENT_ID_A), "image001.png@01D78380.EF6DC500");
    EXPECT_EQ(Text(image.props, PR_ATTACH_MIME_TAG_A), "image/png");
    // The data is the file itself: a PNG signature.
    const Bytes* data = image.props.find(PR_ATTACH_DATA_BIN)->get<Bytes>();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(data->begin() + 1, data->begin() + 4), "PNG");
    EXPECT_EQ(image.number, 1u);
}

TEST_F(MsgFiles, AttachedMessagesOpenAsMessagesTwoDeep)
{
    auto m = Load("longerFat.msg");
    ASSERT_EQ(m->attachments.size(), 1u);
    EXPECT_EQ(m->attachments[0].props.i4(PR_ATTACH_METHOD), ATTACH_EMBEDDED_MSG);
    auto inner = m->attachments[0].embedded;
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(Text(inner->props, PR_SUBJECT_A), "Has 64KB.bin");
    ASSERT_EQ(inner->attachments.size(), 1u);
    EXPECT_EQ(inner->attachments[0].props.i4(PR_ATTACH_SIZE), 65536);

    auto mixed = Load("msgInMsg.msg");
    ASSERT_EQ(mixed->attachments.size(), 2u);
    ASSERT_NE(mixed->attachments[0].embedded, nullptr);
    EXPECT_EQ(mixed->attachments[0].embedded->recipients.size(), 1u);
    EXPECT_EQ(Text(mixed->attachments[1].props, PR_ATTACH_FILENAME_A), "green.png");
}

TEST_F(MsgFiles, NamedPropertiesGoThroughTheStoresMap)
{
    auto contact = Load("contactAnsi.msg");
    EXPECT_EQ(Text(contact->props, PR_MESSAGE_CLASS_A), "IPM.Contact");
    const Value* email = Named(*store, *contact, NamedId::by_lid(PSETID_Address, 0x8083));
    ASSERT_NE(email, nullptr);
    EXPECT_EQ(*email->get<std::string>(), "test@example.com");
    // A second file using the same names shares the store's identifiers.
    const std::size_t mapped = store->names.entries().size();
    auto again = Load("contactAnsi.msg");
    EXPECT_EQ(store->names.entries().size(), mapped);
    for (const auto& [id, value] : again->props)
        if (id >= 0x8000) {
            EXPECT_NE(store->names.name_of(id), nullptr) << std::hex << id;
        }
}

TEST_F(MsgFiles, BodiesAsOutlookWroteThem)
{
    auto m = Load("Hello +CJK.msg");
    EXPECT_EQ(m->props.i4(PR_INTERNET_CPID), 65001);
    const Value* body = m->props.find(PR_BODY_W);
    ASSERT_NE(body, nullptr);
    ASSERT_NE(body->get<std::u16string>(), nullptr); // Unicode kept as Unicode
    EXPECT_TRUE(m->props.contains(PR_RTF_COMPRESSED));
    // An 8-bit file keeps its 8-bit texts byte for byte.
    auto ansi = Load("nonUnicodeMail.msg");
    EXPECT_EQ(ansi->props.find(PR_SUBJECT_A)->type(), ULONG{PT_STRING8});
}

TEST_F(MsgFiles, EveryRealFileLoads)
{
    for (const auto& path : testsupport::RealDataFiles("msg")) {
        EXPECT_NO_THROW({
            auto m = mapisim::loader::msg::read_msg_file(path, *store);
            EXPECT_TRUE(m->props.contains(PR_MESSAGE_CLASS_A)) << path;
        }) << path;
    }
}

// Damage anywhere gives a MsgError that names the file, or a message;
// never a crash, a hang or another exception.
TEST_F(MsgFiles, DamagedFilesFailWithOneLineNamingFileAndPlace)
{
    const std::string good = Read(RealDataDir() + "/msg/test2.msg");
    auto attempt = [&](const std::string& bytes) -> std::string {
        try {
            mapisim::loader::msg::read_msg_bytes(bytes.data(), bytes.size(), "bad.msg", *store);
            return "";
        } catch (const mapisim::loader::msg::MsgError& e) {
            return e.what();
        }
    };
    EXPECT_EQ(attempt("From: someone\r\n\r\nnot a compound file"),
              "bad.msg: not a compound file (No OLE2 signature)");
    EXPECT_EQ(attempt(""), "bad.msg: not a compound file (No OLE2 signature)");
    for (std::size_t cut = 512; cut < good.size(); cut += 512) {
        const std::string error = attempt(good.substr(0, cut));
        if (!error.empty()) {
            EXPECT_EQ(error.rfind("bad.msg: ", 0), 0u) << error;
        }
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
    // A directory entry reached twice (here its own left sibling) is refused
    // before libgsf builds a tree of it.
    {
        const auto u32 = [](const std::string& b, std::size_t at) {
            return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at]) |
                                              static_cast<unsigned char>(b[at + 1]) << 8 |
                                              static_cast<unsigned char>(b[at + 2]) << 16 |
                                              static_cast<unsigned char>(b[at + 3]) << 24);
        };
        const std::size_t sector = std::size_t{1} << (static_cast<unsigned char>(good[30]));
        const std::size_t entry1 = (u32(good, 48) + 1) * sector + 128;
        std::string looped = good;
        for (std::size_t i = 0; i < 4; ++i) looped[entry1 + 68 + i] = i == 0 ? 1 : 0;
        EXPECT_EQ(attempt(looped),
                  "bad.msg: not a compound file (directory entry 1 links to "
                  "entry 1 again)");
        std::string outside = good;
        outside.replace(entry1 + 72, 4, std::string("\x70\x70\0\0", 4));
        EXPECT_EQ(attempt(outside),
                  "bad.msg: not a compound file (directory entry 1 links to "
                  "entry 28784, past the end)");
    }
    for (std::size_t at = 0; at + 64 <= good.size(); at += 509) {
        std::string damaged = good;
        for (std::size_t i = 0; i < 64; ++i) damaged[at + i] = static_cast<char>(0xFF - i);
        const std::string error = attempt(damaged);
        if (!error.empty()) {
            EXPECT_EQ(error.rfind("bad.msg: ", 0), 0u) << error;
        }
    }
}
#endif

TEST(OutlookFileControls, RefuseMissingArgumentsAndFiles)
{
    ASSERT_EQ(mapisim_load_mailbox_string(R"({"profiles": [{"name": "Kept"}]})"), 0);
    EXPECT_EQ(mapisim_load_msg_files(nullptr, 1), -1);
    EXPECT_STREQ(mapisim_last_load_error(), "no .msg files given");
    EXPECT_EQ(mapisim_load_pst_file(""), -1);
    EXPECT_STREQ(mapisim_last_load_error(), "no .pst file given");
    // A missing file is named; without its reader the control says so instead.
    const char* missing[] = {"/nonexistent/a.msg"};
    EXPECT_EQ(mapisim_load_msg_files(missing, 1), -1);
    EXPECT_EQ(std::string(mapisim_last_load_error())
                  .rfind(mapisim_can_read("msg") ? "/nonexistent/a.msg"
                                                 : "this stand-in was built without",
                         0),
              0u)
        << mapisim_last_load_error();
    EXPECT_EQ(mapisim_load_pst_file("/nonexistent/a.pst"), -1);
    EXPECT_EQ(std::string(mapisim_last_load_error())
                  .rfind(mapisim_can_read("pst") ? "/nonexistent/a.pst: "
                                                 : "this stand-in was built without",
                         0),
              0u)
        << mapisim_last_load_error();
    // Nothing was installed by the failures.
    EXPECT_NE(current().find_profile("Kept"), nullptr);
    mapisim_reset();
}

TEST(OutlookFileControls, OneBadFileLoadsNoneOfTheOthers)
{
    SKIP_WITHOUT_REAL_DATA("msg");
    ASSERT_EQ(mapisim_load_mailbox_string(R"({"profiles": [{"name": "Kept"}]})"), 0);
    const std::string good = RealDataDir() + "/msg/Simple.msg";
    const std::string bad = RealDataDir() + "/README.md";
    const char* paths[] = {good.c_str(), bad.c_str()};
    EXPECT_EQ(mapisim_load_msg_files(paths, 2), -1);
    EXPECT_EQ(std::string(mapisim_last_load_error()),
              bad + ": not a compound file (No OLE2 signature)");
    EXPECT_NE(current().find_profile("Kept"), nullptr);

    ASSERT_EQ(mapisim_load_msg_files(paths, 1), 0) << mapisim_last_load_error();
    EXPECT_STREQ(mapisim_last_load_error(), "");
    auto store = current().default_profile()->stores.at(0);
    auto [inbox, cls] = store->receive_folder("IPM.Note");
    EXPECT_EQ(store->find_folder(inbox)->messages().size(), 1u);
    mapisim_reset();
}

#if MAPISIM_HAVE_PST
class PstFile : public ::testing::Test {
protected:
    void SetUp() override { SKIP_WITHOUT_REAL_DATA("pst"); }
    std::string path =
        testsupport::RealDataFiles("pst").empty() ? "" : testsupport::RealDataFiles("pst").front();
    World world;
    Profile& profile = world.add_profile("P");
};

TEST_F(PstFile, OpensTheFolderTreeAndNoMessages)
{
    auto store = mapisim::loader::pst::open_pst(profile, path);
    EXPECT_EQ(store->provider_display, "Personal Folders");
    auto top = store->find_folder(store->ipm_subtree);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->display_name(), "Top of Personal Folders");
    std::vector<std::string> names;
    for (auto& f : top->subfolders()) {
        names.push_back(f->display_name());
        EXPECT_TRUE(f->messages_pending()) << f->display_name();
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Deleted Items", "Inbox", "Outbox", "Sent Items",
                                               "Calendar", "Contacts", "Journal", "Notes", "Tasks",
                                               "Drafts", "RSS Feeds", "Junk E-mail"}));
    EXPECT_EQ(store->find_folder(store->wastebasket)->display_name(), "Deleted Items");
    EXPECT_EQ(store->find_folder(store->receive_folder("IPM.Note").first)->display_name(), "Inbox");
    EXPECT_TRUE(store->names.entries().empty()); // no message read yet
}

TEST_F(PstFile, AFoldersMessagesAreReadWhenFirstAskedFor)
{
    auto store = mapisim::loader::pst::open_pst(profile, path);
    auto top = store->find_folder(store->ipm_subtree);
    auto contacts = top->find_subfolder("Contacts");
    // Until then the file's own count stands for them.
    EXPECT_EQ(contacts->props.i4(PR_CONTENT_COUNT), 2);
    ASSERT_EQ(contacts->messages().size(), 2u);
    EXPECT_FALSE(contacts->props.contains(PR_CONTENT_COUNT));
    EXPECT_TRUE(top->find_subfolder("Calendar")->messages_pending());

    std::map<std::string, std::shared_ptr<Message>> by_subject;
    for (auto& m : contacts->messages()) by_subject[Text(m->props, PR_SUBJECT_A)] = m;
    auto contact = by_subject.at("contact name 1");
    EXPECT_EQ(Text(contact->props, PR_MESSAGE_CLASS_A), "IPM.Contact");
    const Value* email = Named(*store, *contact, NamedId::by_lid(PSETID_Address, 0x8083));
    ASSERT_NE(email, nullptr);
    EXPECT_EQ(*email->converted(PT_STRING8).get<std::string>(), "contact1@rjohnson.id.au");
    EXPECT_EQ(store->find_message(contact->number()), contact);

    auto calendar = top->find_subfolder("Calendar");
    ASSERT_EQ(calendar->messages().size(), 1u);
    const Message& appointment = *calendar->messages()[0];
    EXPECT_EQ(Text(appointment.props, PR_SUBJECT_A), "Test appointment");
    ASSERT_EQ(appointment.attachments.size(), 2u);
    EXPECT_NE(appointment.attachments[0].embedded, nullptr); // its exceptions, as messages
}

TEST_F(PstFile, DamagedOrForeignFilesFailWithOneLine)
{
    const std::string msg = RealDataDir() + "/msg/Simple.msg";
    try {
        mapisim::loader::pst::open_pst(profile, msg);
        FAIL() << "a .msg file opened as a PST";
    } catch (const mapisim::loader::pst::PstError& e) {
        EXPECT_EQ(std::string(e.what()), msg + ": not a personal folders file (no !BDN signature)");
    }
    EXPECT_TRUE(profile.stores.empty());

    // The real file cut short or overwritten in places: an error or a store,
    // never a crash; a failed open adds no store.
    const std::string good = Read(path);
    const std::string damaged_path =
        ::testing::TempDir() + "/damaged-" + std::to_string(::getpid()) + ".pst";
    auto attempt = [&](const std::string& bytes) {
        std::ofstream(damaged_path, std::ios::binary) << bytes;
        const std::size_t before = profile.stores.size();
        try {
            auto store = mapisim::loader::pst::open_pst(profile, damaged_path);
            for (auto& f : store->root()->subfolders()) (void)f->messages();
        } catch (const mapisim::loader::pst::PstError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(damaged_path + ": ", 0), 0u) << e.what();
            EXPECT_EQ(profile.stores.size(), before);
        }
    };
    for (std::size_t cut : {std::size_t{4}, std::size_t{512}, good.size() / 2})
        attempt(good.substr(0, cut));
    for (std::size_t at = 4096; at + 256 <= good.size(); at += 16384) {
        std::string damaged = good;
        for (std::size_t i = 0; i < 256; ++i) damaged[at + i] = static_cast<char>(i * 7);
        attempt(damaged);
    }
    std::remove(damaged_path.c_str());
}
#endif

} // namespace
