#include "session/date_time_text.h"

#include <cstdio>

int DateTimeText(char* buf, uint32_t bufSize, SYSTEMTIME time)
{
    if (bufSize < 15) return -1;
    std::snprintf(buf, bufSize, "%u%02u%02u%02u%02u%02u", unsigned{time.wYear},
                  unsigned{time.wMonth}, unsigned{time.wDay}, unsigned{time.wHour},
                  unsigned{time.wMinute}, unsigned{time.wSecond});
    return 0;
}
