#include "frame/table_rows.h"

#include "frame/call_frame.h"

int32_t HandOutNextRows(OrviMapiTable table, LONG count, OrviMapiRowSet* rowsOut)
{
    CHECK_ARG(table != nullptr, "Table not defined", -1);
    CHECK_ARG(rowsOut != nullptr, "pRows not defined", -1);
    SRowSet* rows = nullptr;
    CHECK_HR(AsMapi(table)->QueryRows(count, 0, &rows), -1);
    *rowsOut = ToHandle(rows);
    return rows != nullptr ? static_cast<int32_t>(rows->cRows) : 0;
}

int32_t CountTableRows(OrviMapiTable table)
{
    CHECK_ARG(table != nullptr, "Table not defined", -1);
    ULONG count = 0;
    CHECK_HR(AsMapi(table)->GetRowCount(0, &count), -1);
    return static_cast<int32_t>(count);
}

int32_t HandOutAllRows(ComPtr<IMAPITable> table, LPSPropTagArray columns, LPSSortOrderSet order,
                       OrviMapiTable* tableOut, OrviMapiRowSet* rowsOut)
{
    RowSetPtr rows;
    CHECK_HR(HrQueryAllRows(table.get(), columns, nullptr, order, 0, rows.put()), -1);
    const auto count = static_cast<int32_t>(rows->cRows);
    *tableOut = ToHandle(table.release());
    *rowsOut = ToHandle(rows.release());
    return count;
}
