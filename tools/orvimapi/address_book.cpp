// orvimapi ab: the personal address book's entries, and the address-book
// dialog as the stand-in saw it.
#include <cstdio>

#include "commands.h"
#include "contact_view.h"
#include "mapisim/mapisim.h"

namespace orvimapi {

namespace {

inline void ReleaseContainer(OrviMapiABContainer container)
{
    OrviMapiReleaseFolder(reinterpret_cast<OrviMapiFolder>(container));
}
using Container = Owned<OrviMapiABContainer, ReleaseContainer>;

Bytes PabEntryId()
{
    uint32_t size = 0;
    unsigned char* bytes = nullptr;
    if (OrviMapiABGetEID(&size, &bytes) != 0) Fail("the profile has no personal address book");
    Bytes id(bytes, bytes + size);
    // A MAPI buffer; the property-array release frees exactly that.
    OrviMapiMsgPropsRelease(nullptr, reinterpret_cast<OrviMapiProps>(bytes));
    return id;
}

Json ListEntries(const Bytes& pabId)
{
    Container pab;
    if (OrviMapiABGetFolder(static_cast<int32_t>(pabId.size()), pabId.data(), pab.out()) != 0)
        Fail("cannot open the personal address book");
    Table table;
    if (OrviMapiABContQuerySet(pab.get(), table.out()) != 0) Fail("cannot list the address book");
    Json entries = Json::array();
    for (;;) {
        RowSet rows;
        const int32_t count = OrviMapiABContQueryGetRow(table.get(), rows.out());
        if (count < 0) Fail("cannot read the address book");
        if (count == 0) break;
        ContactRecord record;
        if (OrviMapiABContGetParam(rows.get(), &record) != 0) Fail("cannot read an entry");
        entries.push(DescribeContact(record));
    }
    return entries;
}

Json ShowDialog(const Bytes& pabId)
{
    const int32_t result = OrviMapiABShowForm(static_cast<int32_t>(pabId.size()), pabId.data());
    Json shown = Json::object();
    shown.set("result", static_cast<int64_t>(result));
    mapisim_address_dialog dialog{};
    if (mapisim_last_address_dialog(&dialog) != 0) return shown;
    char flags[16];
    std::snprintf(flags, sizeof flags, "0x%08X", dialog.flags);
    shown.set("flags", std::string(flags));
    shown.set("window", static_cast<int64_t>(dialog.window));
    shown.set("recipient_wells", static_cast<int64_t>(dialog.dest_fields));
    shown.set("caption", dialog.caption ? Json(std::string(dialog.caption)) : Json());
    return shown;
}

} // namespace

int RunAddressBook(Context& context, Arguments& arguments)
{
    const bool dialog = arguments.flag("--dialog");
    arguments.positional(0, 0, "ab [--dialog]");
    Session session(context.options.profile);
    const Bytes pabId = PabEntryId();
    if (dialog) {
        const Json shown = ShowDialog(pabId);
        if (context.options.json) {
            context.print(shown.dump());
        } else {
            context.print("dialog result: " + shown.find("result")->text());
            if (const Json* flags = shown.find("flags")) context.print("flags: " + flags->text());
            if (const Json* window = shown.find("window"))
                context.print("parent window: " + window->text());
            if (const Json* wells = shown.find("recipient_wells"))
                context.print("recipient wells: " + wells->text());
        }
        return shown.find("result")->text() == "0" ? 0 : 1;
    }
    const Json entries = ListEntries(pabId);
    if (context.options.json) {
        context.print(entries.dump());
        return 0;
    }
    for (const Json& entry : entries.elements()) PrintContactLine(context.out, entry);
    return 0;
}

} // namespace orvimapi
