#pragma once

#include <cstdint>

#include "frame/platform.h"

// Writes the digits YYYYMMDDhhmmss of `time` (the year without leading
// zeros, the rest two digits each). Returns 0, or -1 without writing when
// bufSize is below 15. A year above 9999 needs 16 bytes; callers pass 32.
int DateTimeText(char* buf, uint32_t bufSize, SYSTEMTIME time);
