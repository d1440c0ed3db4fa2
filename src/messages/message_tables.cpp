// The row readers the recipient and attachment exports share.
#include "messages/message_tables.h"

#include "session/session_check.h"

int32_t MessageTableRowCount(OrviMapiTable table)
{
    CHECK_SESSION(-1);
    CHECK_ARG(table != nullptr, "Table not defined", -1);
    ULONG count = 0;
    CHECK_HR(AsMapi(table)->GetRowCount(0, &count), -1);
    return static_cast<int32_t>(count);
}

int32_t MessageTableNextRow(OrviMapiTable table, OrviMapiRowSet* rowsOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(table != nullptr, "Table not defined", -1);
    CHECK_ARG(rowsOut != nullptr, "pRows not defined", -1);
    SRowSet* rows = nullptr;
    CHECK_HR(AsMapi(table)->QueryRows(1, 0, &rows), -1);
    *rowsOut = ToHandle(rows);
    return rows != nullptr ? static_cast<int32_t>(rows->cRows) : 0;
}
