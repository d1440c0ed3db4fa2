#include "session/session_state.h"

SessionState& Session()
{
    static SessionState state;
    return state;
}

void UninitializeMapi()
{
    MAPIUninitialize();
    Session().uninitializedSinceInitialize = true;
}
