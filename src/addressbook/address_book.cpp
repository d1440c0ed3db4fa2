// The personal address book of the session: its entry identifier, its
// containers and their entries read into ContactRecords, and MAPI's own
// address-book dialog.
#include "addressbook/address_book_columns.h"
#include "addressbook/contact_record.h"
#include "session/session_check.h"
#include "frame/handles.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"
#include "frame/table_rows.h"

namespace {

// clang-format off
SizedSPropTagArray(abcol::Count, addressBookColumns) = {
    abcol::Count,
    {tag::AddrType, tag::DisplayType, tag::EmailAddress, tag::DisplayName, tag::EntryId,
     tag::Subject, tag::CompanyName, tag::DisplayNamePrefix, tag::GivenName, tag::MiddleName,
     tag::Surname, tag::Generation}};
// clang-format on
SizedSSortOrderSet(1, addressBookSortOrder) = {1, 0, 0, {{tag::DisplayName, TABLE_SORT_ASCEND}}};

// A session whose address book failed to open is still a session; the
// address-book exports refuse to work on it rather than call through null.
#define CHECK_ADDRESS_BOOK(status)                                       \
    do {                                                                 \
        if (Session().currentAddressBook == nullptr)                     \
            return RECORD_FAILURE("Address Book not opened", 0, status); \
    } while (0)

} // namespace

LPSPropTagArray AddressBookColumns()
{
    return reinterpret_cast<LPSPropTagArray>(&addressBookColumns);
}

LPSSortOrderSet AddressBookSortOrder()
{
    return reinterpret_cast<LPSSortOrderSet>(&addressBookSortOrder);
}

ORVIMAPI_EXTERN(int32_t) OrviMapiABGetEID(uint32_t* cbOut, unsigned char** bytesOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(cbOut != nullptr && bytesOut != nullptr, "EID out not defined", -1);
    CHECK_ADDRESS_BOOK(-1);

    ULONG size = 0;
    MapiBuffer<ENTRYID> entryId;
    const HRESULT hr = Session().currentAddressBook->GetPAB(&size, entryId.put());
    if (FAILED(hr)) return -1; // deliberately unrecorded
    if (size == 0) return RECORD_FAILURE("No PAB defined", hr, -1);
    *cbOut = size;
    *bytesOut = reinterpret_cast<unsigned char*>(entryId.release());
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiABGetFolder(int32_t cbEntryId, const unsigned char* entryId,
                    OrviMapiABContainer* containerOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(cbEntryId > 0 && entryId != nullptr, "Invalid EntryID", -1);
    CHECK_ARG(containerOut != nullptr, "pContainer not defined", -1);
    CHECK_ADDRESS_BOOK(-1);

    IAddrBook* addressBook = Session().currentAddressBook;
    ULONG objectType = 0;
    ComPtr<IABContainer> container;
    const HRESULT hr =
        addressBook->OpenEntry(static_cast<ULONG>(cbEntryId), AsEntryId(entryId), nullptr,
                               flag::BestAccess, &objectType, container.putUnknown());
    CHECK_HR_FETCH(hr, addressBook, -1);
    if (objectType != MAPI_ABCONT) {
        container.reset();
        return RECORD_FAILURE("Not Address Book Object", hr, -1);
    }
    *containerOut = ToHandle(container.release());
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiABContQuerySet(OrviMapiABContainer container, OrviMapiTable* tableOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(container != nullptr, "Folder not defined", -1);
    CHECK_ARG(tableOut != nullptr, "pTable not defined", -1);

    ComPtr<IMAPITable> table;
    CHECK_HR_FETCH(AsMapi(container)->GetContentsTable(flag::DeferredErrors, table.put()),
                   AsMapi(container), -1);
    CHECK_HR(table->SetColumns(AddressBookColumns(), flag::TblBatch), -1);
    CHECK_HR(table->SortTable(AddressBookSortOrder(), flag::TblBatch), -1);
    *tableOut = ToHandle(table.release());
    return 0;
}

ORVIMAPI_EXTERN(int32_t) OrviMapiABContQueryGetRow(OrviMapiTable table, OrviMapiRowSet* rowsOut)
{
    CHECK_SESSION(-1);
    return HandOutNextRows(table, 1, rowsOut);
}

ORVIMAPI_EXTERN(int32_t) OrviMapiABContGetParam(OrviMapiRowSet rows, ContactRecord* record)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(record != nullptr, "pParam is NULL", -1);

    const SRow& row = AsMapi(rows)->aRow[0];
    // An address-book entry has no file-under name and one e-mail address:
    // those fields stay empty.
    ClearContactRecord(*record);
    FillEntryIdField(*record, row, abcol::EntryId);
    FillTextField(*record, contactfield::Subject, row, abcol::Subject, tag::Subject);
    FillTextField(*record, contactfield::DisplayName, row, abcol::DisplayName, tag::DisplayName);
    FillTextField(*record, contactfield::Company, row, abcol::CompanyName, tag::CompanyName);
    FillTextField(*record, contactfield::DisplayNamePrefix, row, abcol::DisplayNamePrefix,
                  tag::DisplayNamePrefix);
    FillTextField(*record, contactfield::GivenName, row, abcol::GivenName, tag::GivenName);
    FillTextField(*record, contactfield::MiddleName, row, abcol::MiddleName, tag::MiddleName);
    FillTextField(*record, contactfield::Surname, row, abcol::Surname, tag::Surname);
    FillTextField(*record, contactfield::Generation, row, abcol::Generation, tag::Generation);
    FillTextField(*record, contactfield::Email1AddressType, row, abcol::AddrType, tag::AddrType);
    FillTextField(*record, contactfield::Email1Address, row, abcol::EmailAddress,
                  tag::EmailAddress);
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiABGetContactEID(OrviMapiRowSet rows, uint32_t* cbOut, unsigned char** bytesOut)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(cbOut != nullptr && bytesOut != nullptr, "EID out not defined", -1);
    const SPropValue* value = RowValue(AsMapi(rows)->aRow[0], abcol::EntryId);
    if (value == nullptr || value->ulPropTag != tag::EntryId) return -1; // deliberately unrecorded
    *cbOut = value->Value.bin.cb;
    *bytesOut = value->Value.bin.lpb;
    return 0;
}

// The identifier only decides whether "Invalid EntryID" is recorded: the
// dialog browses the whole address book either way.
ORVIMAPI_EXTERN(int32_t) OrviMapiABShowForm(int32_t cbEntryId, const unsigned char* entryId)
{
    CHECK_SESSION(-1);
    if (cbEntryId <= 0 || entryId == nullptr)
        RecordLastError(__FILE__, __LINE__, "Invalid EntryID", 0);
    CHECK_ADDRESS_BOOK(-1);

    IAddrBook* addressBook = Session().currentAddressBook;
    ULONG_PTR uiParam = 0;
    ADRPARM parameters{};
    parameters.ulFlags = flag::DialogModal;
    CHECK_HR_FETCH(addressBook->Address(&uiParam, &parameters, nullptr), addressBook, -1);
    return 0;
}
