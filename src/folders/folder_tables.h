// What the QueryAll exports of a folder's contents and hierarchy tables
// share once the session is checked.
#pragma once

#include "frame/handles.h"

enum class FolderTable { Contents, Hierarchy };

// Checks the folder and the out-arguments, opens the folder's table with
// deferred errors and hands out it and all its rows in `columns` and
// `order`; their number, or -1.
int32_t QueryAllOfFolder(OrviMapiFolder folder, FolderTable which, LPSPropTagArray columns,
                         LPSSortOrderSet order, OrviMapiTable* tableOut, OrviMapiRowSet* rowsOut);
