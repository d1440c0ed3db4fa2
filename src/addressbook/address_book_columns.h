// The address-book column set, set on the contents table of an
// address-book container. Readers find values by these positions.
#pragma once

#include "frame/platform.h"

namespace abcol {
enum : ULONG {
    AddrType,
    DisplayType,
    EmailAddress,
    DisplayName,
    EntryId,
    Subject,
    CompanyName,
    DisplayNamePrefix,
    GivenName,
    MiddleName,
    Surname,
    Generation,
    Count
};
}

LPSPropTagArray AddressBookColumns();

// One key, the display name ascending.
LPSSortOrderSet AddressBookSortOrder();
