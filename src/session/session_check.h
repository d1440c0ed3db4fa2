// The first check of most exports: the session is open. Kept out of frame/
// so that the bottom layer knows nothing of sessions.
#pragma once

#include "frame/call_frame.h"
#include "session/session_state.h"

inline constexpr const char* kSessionNotStarted = "MAPI Session not started";

#define CHECK_SESSION(status)                                                       \
    do {                                                                            \
        if (!SessionIsOpen()) return RECORD_FAILURE(kSessionNotStarted, 0, status); \
    } while (0)
