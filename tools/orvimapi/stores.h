// Stores as the command finds them: by display name, or the default one.
#pragma once

#include <string>

#include "library.h"

namespace orvimapi {

struct StoreRow {
    std::string displayName;
    bool isDefault = false;
    bool isExchange = false;
    Bytes entryId;
};

// Reads the current row of a store row set.
StoreRow ReadStoreRow(OrviMapiRowSet rows);

// Opens the store named `displayName` (compared without regard to letter
// case), or the default store when it is empty. Fills `row` when given.
Store OpenStore(const std::string& displayName, StoreRow* row = nullptr);

} // namespace orvimapi
