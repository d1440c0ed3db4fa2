// The hierarchy column set: what a hierarchy table shows of each subfolder,
// and the property list read from a single folder. Readers find values by
// these positions.
#pragma once

#include "frame/platform.h"

namespace hiercol {
enum : ULONG {
    EntryId,
    DisplayName,
    ContentCount,
    Subfolders,
    ContainerClass,
    ParentEntryId,
    Count
};
}

// All six columns.
LPSPropTagArray HierarchyColumns();

// The first five, without PR_PARENT_ENTRYID, for reading all rows at once.
LPSPropTagArray HierarchyRowColumns();

// One key, the display name ascending.
LPSSortOrderSet HierarchySortOrder();
