#include "addressbook/contact_columns.h"

#include "frame/mapi_constants.h"

namespace {

SizedSPropTagArray(contactcol::Count, contactColumns);

struct Initializer {
    Initializer() { ResetContactColumnsForTests(); }
} initializer;

}  // namespace

LPSPropTagArray ContactColumns() { return reinterpret_cast<LPSPropTagArray>(&contactColumns); }

void SetContactColumn(ULONG position, ULONG propTag)
{
    if (position < contactcol::Count) contactColumns.aulPropTag[position] = propTag;
}

ULONG ContactColumn(ULONG position)
{
    return position < contactcol::Count ? contactColumns.aulPropTag[position] : PR_NULL;
}

void ResetContactColumnsForTests()
{
    constexpr ULONG fixed[] = {tag::DisplayName,       tag::EntryId,   tag::Subject,
                               tag::CompanyName,       tag::DisplayNamePrefix,
                               tag::GivenName,         tag::MiddleName, tag::Surname,
                               tag::Generation};
    contactColumns.cValues = contactcol::Count;
    ULONG position = 0;
    for (ULONG value : fixed) contactColumns.aulPropTag[position++] = value;
    for (ULONG i = 0; position < contactcol::Count; ++i)
        contactColumns.aulPropTag[position++] = kContactPlaceholderFirst + (i << 16);
}
