#include "folders/folder_tables.h"

#include "frame/call_frame.h"
#include "frame/mapi_constants.h"
#include "frame/table_rows.h"

int32_t QueryAllOfFolder(OrviMapiFolder folder, FolderTable which, LPSPropTagArray columns,
                         LPSSortOrderSet order, OrviMapiTable* tableOut, OrviMapiRowSet* rowsOut)
{
    CHECK_ARG(folder != nullptr, "Folder not defined", -1);
    CHECK_ARG(tableOut != nullptr && rowsOut != nullptr, "pTable not defined", -1);

    ComPtr<IMAPITable> table;
    if (which == FolderTable::Contents)
        CHECK_HR(AsMapi(folder)->GetContentsTable(flag::DeferredErrors, table.put()), -1);
    else
        CHECK_HR(AsMapi(folder)->GetHierarchyTable(flag::DeferredErrors, table.put()), -1);
    return HandOutAllRows(std::move(table), columns, order, tableOut, rowsOut);
}
