// The one session of the process, shared by every export.
#pragma once

#include "frame/platform.h"

struct SessionState {
    int mapiInitialized = 0;
    IMAPISession* currentSession = nullptr;
    IAddrBook* currentAddressBook = nullptr;
    int sessionUseCount = 0;
};

SessionState& Session();

inline bool SessionIsOpen() { return Session().currentSession != nullptr; }
