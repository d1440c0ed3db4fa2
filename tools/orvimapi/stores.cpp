#include "stores.h"

namespace orvimapi {

StoreRow ReadStoreRow(OrviMapiRowSet rows)
{
    StoreRow row;
    char name[256];
    const int32_t length = OrviMapiMsgStoreResultGetDisplayName(rows, sizeof name, name);
    if (length > 0) row.displayName.assign(name, static_cast<size_t>(length));
    int32_t flag = 0;
    if (OrviMapiMsgStoreResultGetDefaultFlag(rows, &flag) == 0) row.isDefault = flag != 0;
    int32_t type = 0;
    if (OrviMapiMsgStoreResultGetMsgStoreType(rows, &type) == 0) row.isExchange = type == 1;
    uint32_t size = 0;
    unsigned char* bytes = nullptr;
    if (OrviMapiMsgStoreResultGetEID(rows, &size, &bytes) == 0)
        row.entryId.assign(bytes, bytes + size);
    return row;
}

Store OpenStore(const std::string& displayName, StoreRow* rowOut)
{
    Table table;
    if (OrviMapiMsgStoreQuerySet(table.out(), displayName.empty() ? 0 : 1) != 0)
        Fail("cannot list the stores");
    for (;;) {
        RowSet rows;
        const int32_t count = OrviMapiMsgStoreQueryGetRow(table.get(), rows.out());
        if (count < 0) Fail("cannot read the store table");
        if (count == 0) break;
        StoreRow row = ReadStoreRow(rows.get());
        if (!displayName.empty() && !EqualsIgnoringCase(row.displayName, displayName)) continue;
        Store store;
        if (OrviMapiMsgStoreResultOpenStore(rows.get(), store.out()) != 0)
            Fail("cannot open the store \"" + row.displayName + "\"");
        if (rowOut != nullptr) *rowOut = std::move(row);
        return store;
    }
    if (displayName.empty()) Usage("the profile has no default store");
    Usage("no such store \"" + displayName + "\"");
}

} // namespace orvimapi
