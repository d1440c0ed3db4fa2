// MAPI32's process state: initialisation count and the shared session.
#pragma once

#include <cstdint>

namespace mapisim::mapi {

std::uint32_t init_count();
// Back to a process that never called MAPIInitialize; sessions already
// handed out keep working.
void reset_runtime();

}  // namespace mapisim::mapi
