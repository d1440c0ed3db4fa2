#include "stores/named_props.h"

#include "addressbook/contact_columns.h"
#include "frame/call_frame.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"
#include "messages/message_columns.h"

namespace {

NamedPropTagTable namedPropTags = {
    tag::Unresolved, tag::Unresolved, tag::Unresolved, tag::Unresolved, tag::Unresolved,
    tag::Unresolved, tag::Unresolved, tag::Unresolved, tag::Unresolved, tag::Unresolved,
    tag::Unresolved, tag::Unresolved, tag::Unresolved};
bool namedPropsResolved = false;

constexpr LONG kLidFlagRequest = 0x8530;
constexpr LONG kLidReminderSet = 0x8503;

// The contact slots in column-set order, with the LID each is matched on.
struct ContactSlot {
    LONG lid;
    ULONG NamedPropTagTable::*slot;
};
constexpr ContactSlot kContactSlots[] = {
    {0x8005, &NamedPropTagTable::FileUnder},
    {0x8082, &NamedPropTagTable::Email1AddrType},
    {0x8083, &NamedPropTagTable::Email1EmailAddress},
    {0x8084, &NamedPropTagTable::Email1OriginalDisplayName},
    {0x8092, &NamedPropTagTable::Email2AddrType},
    {0x8093, &NamedPropTagTable::Email2EmailAddress},
    {0x8094, &NamedPropTagTable::Email2OriginalDisplayName},
    {0x80A2, &NamedPropTagTable::Email3AddrType},
    {0x80A3, &NamedPropTagTable::Email3EmailAddress},
    {0x80A4, &NamedPropTagTable::Email3OriginalDisplayName},
};

// Exact, case-sensitive comparison of a 16-bit wide name with ASCII text.
bool WideNameEquals(const WCHAR* name, const char* ascii)
{
    if (name == nullptr) return false;
    for (; *ascii != '\0'; ++name, ++ascii)
        if (static_cast<unsigned>(*name) != static_cast<unsigned char>(*ascii)) return false;
    return *name == 0;
}

ULONG AsString8(ULONG propTag) { return (propTag & 0xFFFF0000) | PT_STRING8; }

} // namespace

NamedPropTagTable& NamedPropTags() { return namedPropTags; }
bool& NamedPropsResolved() { return namedPropsResolved; }

int ResolveNamedProperties(IMsgStore* store)
{
    NamedPropTagTable& slots = namedPropTags;
    const ULONG keywords = slots.Keywords; // unresolved from load: runs at most once
    slots = NamedPropTagTable{keywords,        tag::Unresolved, tag::Unresolved, tag::Unresolved,
                              tag::Unresolved, tag::Unresolved, tag::Unresolved, tag::Unresolved,
                              tag::Unresolved, tag::Unresolved, tag::Unresolved, tag::Unresolved,
                              tag::Unresolved};

    MapiBuffer<SPropTagArray> tags;
    MapiBuffer<LPMAPINAMEID> names;
    ULONG count = 0;
    LPSPropTagArray tagsIn = nullptr; // null in: every named property of the store
    HRESULT hr = store->GetNamesFromIDs(&tagsIn, nullptr, 0, &count, names.put());
    *tags.put() = tagsIn;
    if (FAILED(hr)) {
        RecordLastError(__FILE__, __LINE__, "MDB->GetNamesFromIDs Failed", hr);
        return 0;
    }

    for (ULONG i = 0; names && tags && i < count && i < tags->cValues; ++i) {
        const MAPINAMEID* name = names[i];
        if (name == nullptr) continue; // not expected from MAPI; nothing to match
        const ULONG propTag = tags->aulPropTag[i];
        if (name->ulKind != MNID_ID) {
            if (WideNameEquals(name->Kind.lpwstrName, "Keywords")) slots.Keywords = propTag;
            continue;
        }
        const bool common = name->lpguid != nullptr && *name->lpguid == guid::PsetidCommon;
        const LONG lid = name->Kind.lID;
        if (lid == kLidFlagRequest && common) {
            slots.FlagRequest = AsString8(propTag);
            SetMessageColumn(msgcol::FlagRequest, slots.FlagRequest);
        } else if (lid == kLidReminderSet && common) {
            slots.ReminderSet = (propTag & 0xFFFF0000) + PT_BOOLEAN;
        } else {
            for (const ContactSlot& contact : kContactSlots)
                if (contact.lid == lid) slots.*contact.slot = propTag;
        }
    }

    if (slots.Keywords != tag::Unresolved) {
        slots.Keywords = AsString8(slots.Keywords);
        SetMessageColumn(msgcol::Keywords, slots.Keywords);
    }
    ULONG position = contactcol::FileUnder;
    for (const ContactSlot& contact : kContactSlots) {
        ULONG& slot = slots.*contact.slot;
        if (slot != tag::Unresolved) {
            slot = AsString8(slot);
            SetContactColumn(position, slot);
        }
        ++position;
    }
    return 0;
}

void ResetNamedPropertiesForTests()
{
    namedPropTags = NamedPropTagTable{
        tag::Unresolved, tag::Unresolved, tag::Unresolved, tag::Unresolved, tag::Unresolved,
        tag::Unresolved, tag::Unresolved, tag::Unresolved, tag::Unresolved, tag::Unresolved,
        tag::Unresolved, tag::Unresolved, tag::Unresolved};
    namedPropsResolved = false;
    ResetMessageColumnsForTests();
    ResetContactColumnsForTests();
}
