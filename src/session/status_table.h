// The session's status table as the library reads it.
#pragma once

#include "frame/platform.h"

namespace statuscol {
enum : ULONG {
    DisplayName,
    EntryId,
    ProviderDisplay,
    ResourceFlags,
    ResourceType,
    StatusCode,
    Count
};
}

// PR_DISPLAY_NAME_A, PR_ENTRYID, PR_PROVIDER_DISPLAY_A, PR_RESOURCE_FLAGS,
// PR_RESOURCE_TYPE, PR_STATUS_CODE.
LPSPropTagArray StatusColumns();

inline constexpr ULONG kMapiSubsystem = 39;
inline constexpr ULONG kMapiSpooler = 37;
inline constexpr ULONG kMapiTransportProvider = 36;
