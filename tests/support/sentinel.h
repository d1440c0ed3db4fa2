// The sentinel the tests fill a caller's records, buffers and handles with
// before an export runs, so that a field the export should leave alone, or
// a stray write, shows.
#pragma once

#include <cstdint>
#include <cstring>

namespace testsupport {

inline constexpr unsigned char kSentinelByte = 0xA5;
inline constexpr uint32_t kSentinel = 0xA5A5A5A5u;

// Fills a record, array or handle in place.
template <class T>
void Fill(T& object)
{
    std::memset(static_cast<void*>(&object), kSentinelByte, sizeof object);
}

// A value of T made of sentinel bytes only.
template <class T>
T Sentinel()
{
    T value;
    Fill(value);
    return value;
}

} // namespace testsupport
