// What the table exports share once the session is checked: the next rows
// of an application's table, its row count, and all rows of a table just
// opened. Each checks its arguments in that order and records failures as
// an export does.
#pragma once

#include "frame/handles.h"
#include "frame/mapi_ptr.h"

// The next `count` rows handed out in *rowsOut; how many there are (0 at
// the end), or -1.
int32_t HandOutNextRows(OrviMapiTable table, LONG count, OrviMapiRowSet* rowsOut);

// The table's row count, or -1.
int32_t CountTableRows(OrviMapiTable table);

// All rows of `table` in `columns` and `order` (may be null): the table and
// the rows handed out, and their number; or -1, the table released.
int32_t HandOutAllRows(ComPtr<IMAPITable> table, LPSPropTagArray columns, LPSSortOrderSet order,
                       OrviMapiTable* tableOut, OrviMapiRowSet* rowsOut);
