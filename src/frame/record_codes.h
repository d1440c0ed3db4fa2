// The codes the caller records give for a message's importance, priority
// and sensitivity, shared by the contents-table and message records.
#pragma once

#include <cstdint>

#include "frame/platform.h"

// PR_IMPORTANCE: low 0 gives 2, high 2 gives 3, anything else 1.
inline uint32_t ImportanceCode(LONG importance)
{
    switch (importance) {
        case 0:
            return 2;
        case 2:
            return 3;
        default:
            return 1;
    }
}

// PR_PRIORITY: non-urgent -1 gives 3, urgent 1 gives 2, anything else 1.
inline uint32_t PriorityCode(LONG priority)
{
    switch (priority) {
        case -1:
            return 3;
        case 1:
            return 2;
        default:
            return 1;
    }
}

// PR_SENSITIVITY taken as unsigned: 0 to 3 give 1 to 4, anything else 1.
inline uint32_t SensitivityCode(ULONG sensitivity)
{
    return sensitivity <= 3 ? sensitivity + 1 : 1;
}
