// The contact column set, set on a contacts folder's contents table.
// Positions 9 to 18 start as placeholders and are patched with the store's
// own tags when named properties are resolved.
#pragma once

#include "frame/platform.h"

namespace contactcol {
// clang-format off
enum : ULONG {
    DisplayName, EntryId, Subject, CompanyName, DisplayNamePrefix, GivenName, MiddleName, Surname,
    Generation, FileUnder, Email1AddrType, Email1EmailAddress, Email1OriginalDisplayName,
    Email2AddrType, Email2EmailAddress, Email2OriginalDisplayName, Email3AddrType,
    Email3EmailAddress, Email3OriginalDisplayName, Count
};
// clang-format on
} // namespace contactcol

// The placeholder of position 9 + i is 0x8006001E + (i << 16).
inline constexpr ULONG kContactPlaceholderFirst = 0x8006001E;

LPSPropTagArray ContactColumns();
void SetContactColumn(ULONG position, ULONG propTag);
ULONG ContactColumn(ULONG position);
void ResetContactColumnsForTests();

// One key, the display name ascending.
LPSSortOrderSet ContactSortOrder();
