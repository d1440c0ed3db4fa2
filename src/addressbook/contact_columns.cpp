#include "addressbook/contact_columns.h"

#include "frame/column_set.h"
#include "frame/mapi_constants.h"

namespace {

constexpr std::array<ULONG, contactcol::Count> InitialColumns()
{
    constexpr ULONG fixed[] = {tag::DisplayName, tag::EntryId,           tag::Subject,
                               tag::CompanyName, tag::DisplayNamePrefix, tag::GivenName,
                               tag::MiddleName,  tag::Surname,           tag::Generation};
    std::array<ULONG, contactcol::Count> columns{};
    ULONG position = 0;
    for (ULONG value : fixed) columns[position++] = value;
    for (ULONG i = 0; position < contactcol::Count; ++i)
        columns[position++] = kContactPlaceholderFirst + (i << 16);
    return columns;
}

constinit PatchableColumns<contactcol::Count> contactColumns(InitialColumns());

} // namespace

LPSPropTagArray ContactColumns() { return contactColumns.Array(); }
void SetContactColumn(ULONG position, ULONG propTag) { contactColumns.Set(position, propTag); }
ULONG ContactColumn(ULONG position) { return contactColumns.At(position); }
void ResetContactColumnsForTests() { contactColumns.Reset(); }

LPSSortOrderSet ContactSortOrder()
{
    static SizedSSortOrderSet(1, sortOrder) = {1, 0, 0, {{tag::DisplayName, TABLE_SORT_ASCEND}}};
    return reinterpret_cast<LPSSortOrderSet>(&sortOrder);
}
