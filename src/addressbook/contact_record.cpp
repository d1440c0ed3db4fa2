#include "addressbook/contact_record.h"

#include <cstring>

#include "frame/mapi_constants.h"

void ClearContactRecord(ContactRecord& record) { record = ContactRecord{}; }

const SPropValue* RowValue(const SRow& row, ULONG position)
{
    if (row.lpProps == nullptr || position >= row.cValues) return nullptr;
    return &row.lpProps[position];
}

void FillTextField(ContactRecord& record, ContactTextField field, const SRow& row, ULONG position,
                   ULONG expectedTag)
{
    const SPropValue* value = RowValue(row, position);
    // An unresolved named slot is no string tag and so never matches.
    if (value == nullptr || value->ulPropTag != expectedTag ||
        PROP_TYPE(expectedTag) != PT_STRING8 || value->Value.lpszA == nullptr)
        return;
    record.*field.length = static_cast<uint32_t>(std::strlen(value->Value.lpszA));
    record.*field.text = value->Value.lpszA;
}

void FillEntryIdField(ContactRecord& record, const SRow& row, ULONG position)
{
    const SPropValue* value = RowValue(row, position);
    if (value == nullptr || value->ulPropTag != tag::EntryId) return;
    record.entryIdSize = value->Value.bin.cb;
    record.entryId = value->Value.bin.lpb;
}
