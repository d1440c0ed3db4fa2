// The store properties that name its special folders, asked for together.
#pragma once

#include "frame/platform.h"

namespace specialcol {
enum : ULONG { StoreEntryId, IpmSubtree, Outbox, Wastebasket, SentMail, Count };
}

// PR_ENTRYID, PR_IPM_SUBTREE_ENTRYID, PR_IPM_OUTBOX_ENTRYID,
// PR_IPM_WASTEBASKET_ENTRYID, PR_IPM_SENTMAIL_ENTRYID.
LPSPropTagArray SpecialFolderColumns();
