// The bounded text copy the readers share.
#pragma once

#include <cstdint>
#include <cstring>

// Copies n = min(strlen(text), bufSize - 1) bytes and a terminator into buf
// and returns n; when n is 0 nothing at all is written.
inline uint32_t BoundedTextCopy(const char* text, uint32_t bufSize, char* buf)
{
    if (bufSize == 0) return 0;
    const size_t length = std::strlen(text);
    const uint32_t copied = length < bufSize - 1 ? static_cast<uint32_t>(length) : bufSize - 1;
    if (copied == 0) return 0;
    std::memcpy(buf, text, copied);
    buf[copied] = '\0';
    return copied;
}
