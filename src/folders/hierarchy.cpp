// A folder's hierarchy table: its immediate subfolders, one row at a time or
// all at once, and the readers of a row.
#include "folders/folder_tables.h"
#include "folders/hierarchy_columns.h"
#include "session/session_check.h"
#include "frame/handles.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"
#include "frame/table_rows.h"
#include "frame/text_copy.h"

namespace {

// clang-format off
SizedSPropTagArray(hiercol::Count, hierarchyColumns) = {
    hiercol::Count,
    {tag::EntryId, tag::DisplayName, tag::ContentCount, tag::Subfolders, tag::ContainerClass,
     tag::ParentEntryId}};
// clang-format on
// clang-format off
SizedSPropTagArray(hiercol::ParentEntryId, hierarchyRowColumns) = {
    hiercol::ParentEntryId,
    {tag::EntryId, tag::DisplayName, tag::ContentCount, tag::Subfolders, tag::ContainerClass}};
// clang-format on
SizedSSortOrderSet(1, hierarchySortOrder) = {1, 0, 0, {{tag::DisplayName, TABLE_SORT_ASCEND}}};

const SPropValue& FirstRowValue(OrviMapiRowSet rows, ULONG column)
{
    return AsMapi(rows)->aRow[0].lpProps[column];
}

} // namespace

LPSPropTagArray HierarchyColumns() { return reinterpret_cast<LPSPropTagArray>(&hierarchyColumns); }

LPSPropTagArray HierarchyRowColumns()
{
    return reinterpret_cast<LPSPropTagArray>(&hierarchyRowColumns);
}

LPSSortOrderSet HierarchySortOrder()
{
    return reinterpret_cast<LPSSortOrderSet>(&hierarchySortOrder);
}

ORVIMAPI_EXTERN(int32_t) OrviMapiFolderHierQuerySet(OrviMapiFolder folder, OrviMapiTable* tableOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(folder != nullptr, "Folder not defined", -1);
    CHECK_ARG(tableOut != nullptr, "pTable not defined", -1);

    ComPtr<IMAPITable> table;
    CHECK_HR_FETCH(AsMapi(folder)->GetHierarchyTable(flag::DeferredErrors, table.put()),
                   AsMapi(folder), -1);
    CHECK_HR(table->SetColumns(HierarchyColumns(), flag::TblBatch), -1);
    CHECK_HR(table->SortTable(HierarchySortOrder(), flag::TblBatch), -1);
    *tableOut = ToHandle(table.release());
    return 0;
}

// A null folder is rejected as by OrviMapiFolderHierQuerySet.
ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderHierQueryAll(OrviMapiFolder folder, OrviMapiTable* tableOut, OrviMapiRowSet* rowsOut)
{
    CHECK_SESSION(-1);
    return QueryAllOfFolder(folder, FolderTable::Hierarchy, HierarchyRowColumns(),
                            HierarchySortOrder(), tableOut, rowsOut);
}

ORVIMAPI_EXTERN(int32_t) OrviMapiFolderHierQueryGetRow(OrviMapiTable table, OrviMapiRowSet* rowsOut)
{
    CHECK_SESSION(-1);
    return HandOutNextRows(table, 1, rowsOut);
}

// The tag is not tested; a value that is no binary (a missing identifier)
// is handed out as 0 bytes, which callers pass over.
ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderHierGetEID(OrviMapiRowSet rows, uint32_t* cbOut, unsigned char** bytesOut)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(cbOut != nullptr && bytesOut != nullptr, "EID out not defined", -1);
    const SPropValue& value = FirstRowValue(rows, hiercol::EntryId);
    if (PROP_TYPE(value.ulPropTag) != PT_BINARY) {
        *cbOut = 0;
        *bytesOut = nullptr;
        return 0;
    }
    *cbOut = value.Value.bin.cb;
    *bytesOut = value.Value.bin.lpb;
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderHierGetDisplayName(OrviMapiRowSet rows, uint32_t bufSize, char* buf)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    const SPropValue& value = FirstRowValue(rows, hiercol::DisplayName);
    if (value.ulPropTag != tag::DisplayName || buf == nullptr) return 0;
    return static_cast<int32_t>(BoundedTextCopy(value.Value.lpszA, bufSize, buf));
}

ORVIMAPI_EXTERN(int32_t) OrviMapiFolderHierGetContentCount(OrviMapiRowSet rows, uint32_t* countOut)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(countOut != nullptr, "countOut not defined", -1);
    const SPropValue& value = FirstRowValue(rows, hiercol::ContentCount);
    *countOut = value.ulPropTag == tag::ContentCount ? value.Value.ul : 0;
    return 0;
}

ORVIMAPI_EXTERN(int32_t) OrviMapiFolderHierGetSubFolderFlag(OrviMapiRowSet rows, uint32_t* flagOut)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(flagOut != nullptr, "flagOut not defined", -1);
    const SPropValue& value = FirstRowValue(rows, hiercol::Subfolders);
    *flagOut = value.ulPropTag == tag::Subfolders && value.Value.b == 1 ? 1 : 0;
    return 0;
}

// Neither column set carries an archive property: the flag is its status.
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderHierGetArchiveFlag(OrviMapiRowSet rows)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    return 0;
}
