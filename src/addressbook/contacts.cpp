// Contact items of a contacts folder: the folder's contents table read into
// ContactRecords, new contacts, and new e-mail entries for existing ones.
// The file-under name and the e-mail entries are named properties: they are
// read and written under the tags NamedPropTags holds at the time.
#include "addressbook/contact_columns.h"
#include "addressbook/contact_record.h"
#include "session/session_check.h"
#include "frame/handles.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"
#include "frame/table_rows.h"
#include "stores/named_props.h"

namespace {

// An e-mail entry: the record's fields and the named slots they go to.
struct EmailEntry {
    ContactTextField addressType;
    ContactTextField address;
    ULONG NamedPropTagTable::*addressTypeSlot;
    ULONG NamedPropTagTable::*addressSlot;
    ULONG NamedPropTagTable::*originalDisplayNameSlot;
    ULONG addressTypeColumn;
    ULONG addressColumn;
};

constexpr EmailEntry kEmailEntries[] = {
    {contactfield::Email1AddressType, contactfield::Email1Address,
     &NamedPropTagTable::Email1AddrType, &NamedPropTagTable::Email1EmailAddress,
     &NamedPropTagTable::Email1OriginalDisplayName, contactcol::Email1AddrType,
     contactcol::Email1EmailAddress},
    {contactfield::Email2AddressType, contactfield::Email2Address,
     &NamedPropTagTable::Email2AddrType, &NamedPropTagTable::Email2EmailAddress,
     &NamedPropTagTable::Email2OriginalDisplayName, contactcol::Email2AddrType,
     contactcol::Email2EmailAddress},
    {contactfield::Email3AddressType, contactfield::Email3Address,
     &NamedPropTagTable::Email3AddrType, &NamedPropTagTable::Email3EmailAddress,
     &NamedPropTagTable::Email3OriginalDisplayName, contactcol::Email3AddrType,
     contactcol::Email3EmailAddress},
};

// The values one writer sets, in the order they are built.
class ContactValues {
public:
    void Add(ULONG propTag, const char* text)
    {
        SPropValue& value = values_[count_++];
        value = SPropValue{};
        value.ulPropTag = propTag;
        value.Value.lpszA = const_cast<char*>(text);
    }

    // Each entry whose address type and address are both given: its type,
    // its address, and the address again as its original display name.
    void AddEmailEntries(const ContactRecord& record)
    {
        const NamedPropTagTable& slots = NamedPropTags();
        for (const EmailEntry& entry : kEmailEntries) {
            const char* addressType = record.*entry.addressType.text;
            const char* address = record.*entry.address.text;
            if (addressType == nullptr || address == nullptr) continue;
            Add(slots.*entry.addressTypeSlot, addressType);
            Add(slots.*entry.addressSlot, address);
            Add(slots.*entry.originalDisplayNameSlot, address);
        }
    }

    ULONG count() const { return count_; }
    SPropValue* values() { return values_; }

private:
    // Class, subject three times, display name, three e-mail entries of three.
    SPropValue values_[14];
    ULONG count_ = 0;
};

// SetProps then SaveChanges on a contact; a failure of either is recorded
// with the message's own account of it, and the contact stays unsaved.
int32_t WriteAndSave(IMessage* message, ContactValues& values)
{
    HRESULT hr = message->SetProps(values.count(), values.values(), nullptr);
    if (FAILED(hr)) {
        RecordLastError(__FILE__, __LINE__, "pMsg->SetProps", hr);
        FetchObjectErrorText(message, hr);
        return -1;
    }
    hr = message->SaveChanges(flag::DeferredErrors);
    if (FAILED(hr)) {
        RecordLastError(__FILE__, __LINE__, "pMsg->SaveChanges", hr);
        FetchObjectErrorText(message, hr);
        return -1;
    }
    return 0;
}

} // namespace

ORVIMAPI_EXTERN(int32_t) OrviMapiContactContQuerySet(OrviMapiFolder folder, OrviMapiTable* tableOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(folder != nullptr, "Folder not defined", -1);
    CHECK_ARG(tableOut != nullptr, "pTable not defined", -1);

    ComPtr<IMAPITable> table;
    CHECK_HR(AsMapi(folder)->GetContentsTable(flag::DeferredErrors, table.put()), -1);
    // The column set as it stands now: placeholders until named properties
    // are resolved, the store's own tags after.
    CHECK_HR(table->SetColumns(ContactColumns(), flag::TblBatch), -1);
    CHECK_HR(table->SortTable(ContactSortOrder(), flag::TblBatch), -1);
    *tableOut = ToHandle(table.release());
    return 0;
}

// A null table is refused as the address-book reader refuses one, rather
// than called through.
ORVIMAPI_EXTERN(int32_t)
OrviMapiContactContQueryGetRow(OrviMapiTable table, OrviMapiRowSet* rowsOut)
{
    CHECK_SESSION(-1);
    return HandOutNextRows(table, 1, rowsOut);
}

ORVIMAPI_EXTERN(int32_t) OrviMapiContactContGetParam(OrviMapiRowSet rows, ContactRecord* record)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(record != nullptr, "pParam is NULL", -1);

    const SRow& row = AsMapi(rows)->aRow[0];
    const NamedPropTagTable& slots = NamedPropTags();
    ClearContactRecord(*record);
    FillEntryIdField(*record, row, contactcol::EntryId);
    FillTextField(*record, contactfield::Subject, row, contactcol::Subject, tag::Subject);
    FillTextField(*record, contactfield::DisplayName, row, contactcol::DisplayName,
                  tag::DisplayName);
    FillTextField(*record, contactfield::Company, row, contactcol::CompanyName, tag::CompanyName);
    FillTextField(*record, contactfield::DisplayNamePrefix, row, contactcol::DisplayNamePrefix,
                  tag::DisplayNamePrefix);
    FillTextField(*record, contactfield::GivenName, row, contactcol::GivenName, tag::GivenName);
    FillTextField(*record, contactfield::MiddleName, row, contactcol::MiddleName, tag::MiddleName);
    FillTextField(*record, contactfield::Surname, row, contactcol::Surname, tag::Surname);
    FillTextField(*record, contactfield::Generation, row, contactcol::Generation, tag::Generation);
    FillTextField(*record, contactfield::FileUnder, row, contactcol::FileUnder, slots.FileUnder);
    for (const EmailEntry& entry : kEmailEntries) {
        FillTextField(*record, entry.addressType, row, entry.addressTypeColumn,
                      slots.*entry.addressTypeSlot);
        FillTextField(*record, entry.address, row, entry.addressColumn, slots.*entry.addressSlot);
    }
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiContactContGetEID(OrviMapiRowSet rows, uint32_t* cbOut, unsigned char** bytesOut)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(cbOut != nullptr && bytesOut != nullptr, "EID out not defined", -1);
    const SPropValue* value = RowValue(AsMapi(rows)->aRow[0], contactcol::EntryId);
    if (value == nullptr || value->ulPropTag != tag::EntryId) return -1; // deliberately unrecorded
    *cbOut = value->Value.bin.cb;
    *bytesOut = value->Value.bin.lpb;
    return 0;
}

ORVIMAPI_EXTERN(int32_t) OrviMapiContactAdd(OrviMapiFolder folder, const ContactRecord* record)
{
    CHECK_SESSION(-1);
    CHECK_ARG(folder != nullptr, "pFolder is NULL", -1);
    CHECK_ARG(record != nullptr, "pParam is NULL", -1);

    ComPtr<IMessage> message;
    CHECK_HR_FETCH(AsMapi(folder)->CreateMessage(nullptr, flag::DeferredErrors, message.put()),
                   AsMapi(folder), -1);

    ContactValues values;
    values.Add(tag::MessageClass, "IPM.Contact");
    if (record->subject != nullptr) {
        values.Add(tag::Subject, record->subject);
        values.Add(tag::NormalizedSubject, record->subject);
        values.Add(tag::ConversationTopic, record->subject);
    }
    if (record->displayName != nullptr) values.Add(tag::DisplayName, record->displayName);
    values.AddEmailEntries(*record);
    return WriteAndSave(message.get(), values);
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiContactUpdate(OrviMapiFolder folder, int32_t cbEntryId, const unsigned char* entryId,
                      const ContactRecord* record)
{
    CHECK_SESSION(-1);
    CHECK_ARG(folder != nullptr, "pFolder is NULL", -1);
    CHECK_ARG(cbEntryId > 0, "Bad iEIDLength value", -1);
    CHECK_ARG(entryId != nullptr, "pEID is NULL", -1);
    CHECK_ARG(record != nullptr, "pParam is NULL", -1);

    IMAPIFolder* mapiFolder = AsMapi(folder);
    ULONG objectType = 0;
    ComPtr<IMessage> message;
    const HRESULT hr =
        mapiFolder->OpenEntry(static_cast<ULONG>(cbEntryId), AsEntryId(entryId), nullptr,
                              flag::BestAccess, &objectType, message.putUnknown());
    CHECK_HR_FETCH(hr, mapiFolder, -1);
    if (objectType != MAPI_MESSAGE) return RECORD_FAILURE("EntryID not Msg Object", hr, -1);

    ContactValues values;
    values.AddEmailEntries(*record);
    if (values.count() == 0) return 0;
    return WriteAndSave(message.get(), values);
}
