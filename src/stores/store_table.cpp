// The session's message-store table, its row readers, and opening a store.
#include <cstring>

#include "session/session_check.h"
#include "frame/handles.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"
#include "frame/table_rows.h"
#include "frame/text_copy.h"
#include "stores/named_props.h"

namespace {

namespace storecol {
enum : ULONG { EntryId, DefaultStore, DisplayName, ProviderDisplay, Count };
}

// clang-format off
SizedSPropTagArray(storecol::Count, storeColumns) = {
    storecol::Count, {tag::EntryId, tag::DefaultStore, tag::DisplayName, tag::ProviderDisplay}};
// clang-format on
SizedSSortOrderSet(1, storeSortOrder) = {1, 0, 0, {{tag::DisplayName, TABLE_SORT_ASCEND}}};

constexpr ULONG kStatusPrimaryStore = 0x1000;
constexpr const char* kExcludedProvider = "Tarsk Quillbank";

// The row's provider name matches when it equals a leading piece of
// `literal` (the empty name included).
bool ProviderPrefixMatches(const char* provider, const char* literal)
{
    const size_t length = std::strlen(provider);
    return length <= std::strlen(literal) && std::memcmp(provider, literal, length) == 0;
}

HRESULT RestrictEquals(IMAPITable* table, ULONG relop, SPropValue& value)
{
    SRestriction restriction{};
    restriction.rt = RES_PROPERTY;
    restriction.res.resProperty.relop = relop;
    restriction.res.resProperty.ulPropTag = value.ulPropTag;
    restriction.res.resProperty.lpProp = &value;
    return table->Restrict(&restriction, flag::TblBatch);
}

} // namespace

ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreQuerySet(OrviMapiTable* tableOut, int32_t allStores)
{
    CHECK_SESSION(-1);
    CHECK_ARG(tableOut != nullptr, "pTable not defined", -1);

    ComPtr<IMAPITable> table;
    CHECK_HR(Session().currentSession->GetMsgStoresTable(0, table.put()), -1);
    CHECK_HR(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&storeColumns), flag::TblBatch),
             -1);

    if (allStores == 0) {
        SPropValue isDefault{};
        isDefault.ulPropTag = tag::DefaultStore;
        isDefault.Value.b = TRUE;
        CHECK_HR(RestrictEquals(table.get(), RELOP_EQ, isDefault), -1);
        ULONG count = 0;
        CHECK_HR(table->GetRowCount(0, &count), -1);
        if (count == 0) {
            // No store flagged as default: take the primary store instead.
            SPropValue primary{};
            primary.ulPropTag = tag::ResourceFlags;
            primary.Value.ul = kStatusPrimaryStore;
            CHECK_HR(RestrictEquals(table.get(), RELOP_EQ, primary), -1);
            CHECK_HR(table->GetRowCount(0, &count), -1);
            if (count == 0) return RECORD_FAILURE(nullptr, 0, -1);
        }
    } else {
        SPropValue provider{};
        provider.ulPropTag = tag::ProviderDisplay;
        provider.Value.lpszA = const_cast<LPSTR>(kExcludedProvider);
        CHECK_HR(RestrictEquals(table.get(), RELOP_NE, provider), -1);
    }

    CHECK_HR(table->SortTable(reinterpret_cast<LPSSortOrderSet>(&storeSortOrder), flag::TblBatch),
             -1);
    *tableOut = ToHandle(table.release());
    return 0;
}

ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreQueryGetRow(OrviMapiTable table, OrviMapiRowSet* rowsOut)
{
    CHECK_SESSION(-1);
    return HandOutNextRows(table, 1, rowsOut);
}

ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreQueryGetRowCount(OrviMapiTable table)
{
    CHECK_SESSION(-1);
    return CountTableRows(table);
}

ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreQuerySeekBeginning(OrviMapiTable table)
{
    CHECK_SESSION(-1);
    CHECK_ARG(table != nullptr, "Table not defined", -1);
    CHECK_HR(AsMapi(table)->SeekRow(BOOKMARK_BEGINNING, 0, nullptr), -1);
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgStoreResultGetDefaultFlag(OrviMapiRowSet rows, int32_t* isDefault)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(isDefault != nullptr, "isDefault not defined", -1);
    const SPropValue& value = AsMapi(rows)->aRow[0].lpProps[storecol::DefaultStore];
    if (value.ulPropTag != tag::DefaultStore) return -1;
    *isDefault = value.Value.b != 0 ? 1 : 0;
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgStoreResultGetDisplayName(OrviMapiRowSet rows, uint32_t bufSize, char* buf)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    const SPropValue& value = AsMapi(rows)->aRow[0].lpProps[storecol::DisplayName];
    if (value.ulPropTag != tag::DisplayName || buf == nullptr) return 0;
    return static_cast<int32_t>(BoundedTextCopy(value.Value.lpszA, bufSize, buf));
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgStoreResultGetEID(OrviMapiRowSet rows, uint32_t* cbOut, unsigned char** bytesOut)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(cbOut != nullptr && bytesOut != nullptr, "EID out not defined", -1);
    const SPropValue& value = AsMapi(rows)->aRow[0].lpProps[storecol::EntryId];
    if (value.ulPropTag != tag::EntryId) return -1;
    *cbOut = value.Value.bin.cb;
    *bytesOut = value.Value.bin.lpb;
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgStoreResultGetEIDParam(OrviMapiRowSet rows, OrviMapiBinary* binOut)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(binOut != nullptr, "EID out not defined", -1);
    binOut->size = 0;
    const SPropValue& value = AsMapi(rows)->aRow[0].lpProps[storecol::EntryId];
    if (value.ulPropTag != tag::EntryId) return -1;
    binOut->size = value.Value.bin.cb;
    binOut->bytes = value.Value.bin.lpb;
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgStoreResultGetMsgStoreType(OrviMapiRowSet rows, int32_t* typeOut)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(typeOut != nullptr, "typeOut not defined", -1);
    const SPropValue& value = AsMapi(rows)->aRow[0].lpProps[storecol::ProviderDisplay];
    if (value.ulPropTag != tag::ProviderDisplay) return -1;
    *typeOut = ProviderPrefixMatches(value.Value.lpszA, "Microsoft Exchange Server") ? 1 : 0;
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgStoreResultOpenStore(OrviMapiRowSet rows, OrviMapiStore* storeOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(storeOut != nullptr, "MsgStore not defined", -1);
    CHECK_ROWS(rows, -1);

    const SRow& row = AsMapi(rows)->aRow[0];
    const SPropValue& entryId = row.lpProps[storecol::EntryId];
    // A row without an entry identifier names no store to open.
    if (entryId.ulPropTag != tag::EntryId)
        return RECORD_FAILURE(nullptr, MAPI_E_NOT_FOUND, MAPI_E_NOT_FOUND);

    ComPtr<IMsgStore> store;
    IMAPISession* session = Session().currentSession;
    const HRESULT hr = session->OpenMsgStore(0, entryId.Value.bin.cb,
                                             reinterpret_cast<LPENTRYID>(entryId.Value.bin.lpb),
                                             nullptr, flag::BestAccess, store.put());
    if (FAILED(hr)) {
        RecordLastError(__FILE__, __LINE__, nullptr, hr);
        FetchObjectErrorText(session, hr);
        return hr;
    }

    // A provider name missing from the row counts as not "Personal Folders".
    const SPropValue& provider = row.lpProps[storecol::ProviderDisplay];
    if (provider.ulPropTag == tag::ProviderDisplay &&
        ProviderPrefixMatches(provider.Value.lpszA, "Personal Folders") && !NamedPropsResolved()) {
        ResolveNamedProperties(store.get());
        NamedPropsResolved() = true;
    }
    *storeOut = ToHandle(store.release());
    return 0;
}
