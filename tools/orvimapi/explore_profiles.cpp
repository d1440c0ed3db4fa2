// profiles and stores.
#include "commands.h"
#include "stores.h"

namespace orvimapi {

namespace {

using ProfileReader = int32_t(ORVIMAPI_CALL*)(uint32_t, char*, uint32_t*);

Json ProfileName(ProfileReader read)
{
    char name[256];
    uint32_t length = 0;
    if (read(sizeof name, name, &length) != 0) return nullptr;
    return std::string(name, length);
}

const char* VersionText(int32_t code)
{
    switch (code) {
        case 3:
            return "Outlook 2000 (9.0)";
        case 2:
            return "Outlook 98 (8.5)";
        case 1:
            return "Outlook 97 (8.0 or 8.3)";
        default:
            return "none found, or another release";
    }
}

} // namespace

int RunProfiles(Context& context, Arguments& arguments)
{
    arguments.positional(0, 0, "profiles");
    Json result = Json::object();
    result.set("registryDefaultProfile", ProfileName(OrviMapiGetRegistryDefaultProfileName));
    if (OrviMapiInitialize() != 0) Fail("cannot initialise MAPI");
    result.set("mapiDefaultProfile", ProfileName(OrviMapiGetDefaultProfileName));
    {
        Session session(context.options.profile);
        result.set("sessionProfile", ProfileName(OrviMapiGetCurrentProfileName));
    }
    const int32_t version = OrviMapiGetClientOutlookVersion();
    result.set("outlookVersionCode", version);

    if (context.options.json) {
        context.print(result.dump());
        return 0;
    }
    const auto show = [&](const char* label, const char* key) {
        const Json* value = result.find(key);
        context.print(std::string(label) + (value->text() == "null" ? "(none)" : value->text()));
    };
    show("registry default profile: ", "registryDefaultProfile");
    show("MAPI default profile:     ", "mapiDefaultProfile");
    show("session profile:          ", "sessionProfile");
    context.print("Outlook version code:     " + std::to_string(version) + " (" +
                  VersionText(version) + ")");
    return 0;
}

int RunStores(Context& context, Arguments& arguments)
{
    const bool all = arguments.flag("--all");
    arguments.positional(0, 0, "stores [--all]");
    Session session(context.options.profile);

    Table table;
    if (OrviMapiMsgStoreQuerySet(table.out(), all ? 1 : 0) != 0) Fail("cannot list the stores");
    Json stores = Json::array();
    for (;;) {
        RowSet rows;
        const int32_t count = OrviMapiMsgStoreQueryGetRow(table.get(), rows.out());
        if (count < 0) Fail("cannot read the store table");
        if (count == 0) break;
        const StoreRow row = ReadStoreRow(rows.get());
        Json store = Json::object();
        store.set("displayName", row.displayName);
        store.set("default", row.isDefault);
        store.set("exchange", row.isExchange);
        store.set("entryId", Hex(row.entryId));
        stores.push(std::move(store));
    }

    if (context.options.json) {
        context.print(stores.dump());
        return 0;
    }
    for (const Json& store : stores.elements()) {
        std::string line = store.find("displayName")->text();
        if (store.find("default")->text() == "true") line += "  (default)";
        if (store.find("exchange")->text() == "true") line += "  [Exchange]";
        context.print(line);
        context.print("    entry id " + store.find("entryId")->text());
    }
    return 0;
}

} // namespace orvimapi
