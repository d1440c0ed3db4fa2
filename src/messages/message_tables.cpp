// The row readers the recipient and attachment exports share.
#include "messages/message_tables.h"

#include "session/session_check.h"
#include "frame/table_rows.h"

int32_t MessageTableRowCount(OrviMapiTable table)
{
    CHECK_SESSION(-1);
    return CountTableRows(table);
}

int32_t MessageTableNextRow(OrviMapiTable table, OrviMapiRowSet* rowsOut)
{
    CHECK_SESSION(-1);
    return HandOutNextRows(table, 1, rowsOut);
}
