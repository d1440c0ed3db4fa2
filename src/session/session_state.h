// The one session of the process, shared by every export.
#pragma once

#include "frame/platform.h"

struct SessionState {
    int mapiInitialized = 0;
    IMAPISession* currentSession = nullptr;
    IAddrBook* currentAddressBook = nullptr;
    int sessionUseCount = 0;
    // Set whenever the library uninitialises MAPI (a failed logon, the last
    // stop), so that a later OrviMapiInitialize initialises it again.
    bool uninitializedSinceInitialize = false;
};

// MAPIUninitialize, remembered for OrviMapiInitialize.
void UninitializeMapi();

SessionState& Session();

inline bool SessionIsOpen() { return Session().currentSession != nullptr; }
