// orvimapi contacts: a contacts folder's contacts, adding one, and new
// e-mail entries for one.
#include <cstdio>

#include "commands.h"
#include "contact_view.h"
#include "folders.h"
#include "stores.h"

namespace orvimapi {

namespace {

constexpr int32_t kContactsFolderType = 36;
constexpr const char* kUsage =
    "contacts [FOLDER] | contacts add --name N [--subject S] [--email TYPE:ADDRESS]... | "
    "contacts update ENTRY --email TYPE:ADDRESS... (each with [--folder FOLDER] [--store NAME])";

// The named folder, or the store's first contacts folder.
Folder OpenContactsFolder(OrviMapiStore store, const std::string& path)
{
    if (!path.empty()) return std::move(OpenFolderAtPath(store, path).folder);
    Folder folder;
    if (OrviMapiFolderFindByType(store, kContactsFolderType, folder.out()) != 0)
        Fail("cannot look for the contacts folder");
    if (!folder) Usage("the store has no contacts folder; name one");
    return folder;
}

Json ListContacts(OrviMapiFolder folder)
{
    Table table;
    if (OrviMapiContactContQuerySet(folder, table.out()) != 0) Fail("cannot list the contacts");
    Json contacts = Json::array();
    for (;;) {
        RowSet rows;
        const int32_t count = OrviMapiContactContQueryGetRow(table.get(), rows.out());
        if (count < 0) Fail("cannot read the contacts");
        if (count == 0) break;
        ContactRecord record;
        if (OrviMapiContactContGetParam(rows.get(), &record) != 0) Fail("cannot read a contact");
        contacts.push(DescribeContact(record));
    }
    return contacts;
}

void Show(const Context& context, const Json& contacts)
{
    if (context.options.json) {
        context.print(contacts.dump());
        return;
    }
    size_t position = 0;
    for (const Json& contact : contacts.elements()) {
        std::fprintf(context.out, "%3zu  ", ++position);
        PrintContactLine(context.out, contact);
    }
}

// Up to three e-mail entries into the record; the texts stay in `emails`.
void SetEmails(ContactRecord& record, const std::vector<EmailArgument>& emails)
{
    if (emails.size() > 3) Usage("a contact has at most three e-mail entries");
    char** types[] = {&record.email1AddressType, &record.email2AddressType,
                      &record.email3AddressType};
    char** addresses[] = {&record.email1Address, &record.email2Address, &record.email3Address};
    for (size_t i = 0; i < emails.size(); ++i) {
        *types[i] = const_cast<char*>(emails[i].type.c_str());
        *addresses[i] = const_cast<char*>(emails[i].address.c_str());
    }
}

std::vector<EmailArgument> TakeEmails(Arguments& arguments)
{
    std::vector<EmailArgument> emails;
    for (const std::string& text : arguments.options("--email"))
        emails.push_back(ParseEmailArgument(text));
    return emails;
}

// ENTRY: a position in the listing (from 1) or an entry identifier in hex.
Bytes ContactEntryId(const Json& contacts, const std::string& reference)
{
    const bool isIndex = !reference.empty() && reference.size() <= 6 &&
                         reference.find_first_not_of("0123456789") == std::string::npos;
    Bytes entryId;
    if (!isIndex) {
        if (!ParseHex(reference, entryId))
            Usage("\"" + reference +
                  "\" is neither a contact position nor an entry identifier in hex");
        return entryId;
    }
    const size_t index = std::stoul(reference);
    if (index == 0 || index > contacts.elements().size())
        Usage("no contact " + reference + " in the folder (it holds " +
              std::to_string(contacts.elements().size()) + ")");
    const Json* id = contacts.elements()[index - 1].find("entryId");
    if (id == nullptr || !ParseHex(id->text(), entryId))
        Usage("contact " + reference + " has no entry identifier");
    return entryId;
}

bool SameEntry(const Json& contact, const Bytes& entryId)
{
    Bytes id;
    const Json* text = contact.find("entryId");
    if (text == nullptr || !ParseHex(text->text(), id)) return false;
    int32_t same = 0;
    return OrviMapiMsgStoreCompareEntryIds(0, 0, static_cast<int32_t>(id.size()), id.data(),
                                           static_cast<int32_t>(entryId.size()), entryId.data(),
                                           &same) == 0 &&
           same == 1;
}

} // namespace

int RunContacts(Context& context, Arguments& arguments)
{
    const std::string storeName = arguments.option("--store");
    std::string folderPath = arguments.option("--folder");
    const std::string name = arguments.option("--name");
    const std::string subject = arguments.option("--subject");
    const std::vector<EmailArgument> emails = TakeEmails(arguments);
    const auto words = arguments.positional(0, 2, kUsage);
    const std::string action = words.empty() ? "" : words[0];
    const bool adding = action == "add", updating = action == "update";
    if (adding && words.size() != 1) Usage("usage: " + std::string(kUsage));
    if (updating && words.size() != 2) Usage("contacts update needs the ENTRY to update");
    if (!adding && !updating && words.size() > 1) Usage("usage: " + std::string(kUsage));
    if (!adding && !updating && !words.empty()) folderPath = words[0];
    if (adding && name.empty()) Usage("contacts add needs --name");
    if (updating && emails.empty())
        Usage("contacts update needs at least one --email TYPE:ADDRESS");
    if (!adding && !updating && (!name.empty() || !subject.empty() || !emails.empty()))
        Usage("--name, --subject and --email go with add or update");
    if (updating && (!name.empty() || !subject.empty()))
        Usage("contacts update changes only e-mail entries");

    Session session(context.options.profile);
    Store store = OpenStore(storeName);
    Folder folder = OpenContactsFolder(store.get(), folderPath);
    if (!adding && !updating) {
        Show(context, ListContacts(folder.get()));
        return 0;
    }

    ContactRecord record{};
    SetEmails(record, emails);
    Json changed = Json::array();
    if (adding) {
        record.displayName = const_cast<char*>(name.c_str());
        if (!subject.empty()) record.subject = const_cast<char*>(subject.c_str());
        if (OrviMapiContactAdd(folder.get(), &record) != 0) Fail("cannot add the contact");
        const Json contacts = ListContacts(folder.get());
        for (const Json& contact : contacts.elements())
            if (contact.find("displayName")->text() == name) changed.push(contact);
    } else {
        const Bytes entryId = ContactEntryId(ListContacts(folder.get()), words[1]);
        if (OrviMapiContactUpdate(folder.get(), static_cast<int32_t>(entryId.size()),
                                  entryId.data(), &record) != 0)
            Fail("cannot update the contact");
        const Json contacts = ListContacts(folder.get());
        for (const Json& contact : contacts.elements())
            if (SameEntry(contact, entryId)) changed.push(contact);
    }
    Show(context, changed);
    return 0;
}

} // namespace orvimapi
