// The command's view of the library: owners for the handles it hands out,
// the session, and failures that carry the library's last-error text.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "OrviMapi.h"

namespace orvimapi {

// Ends a command: a one-line message and the exit status.
class CommandFailure : public std::runtime_error {
public:
    explicit CommandFailure(const std::string& message, int status = 1)
        : std::runtime_error(message), status_(status)
    {}
    int status() const { return status_; }

private:
    int status_;
};

// A usage error: bad arguments, an unknown folder or message (status 2).
[[noreturn]] void Usage(const std::string& message);

// The result recorded with the library's last failure, rebuilt from its code
// line ("Facility ITF, Error Num 271" is 0x8004010F); 0 when there is none or
// its facility does not name one number ("Facility N/A").
uint32_t LastErrorResult();
// MAPI's name for a result ("MAPI_E_NOT_FOUND"), or null.
const char* ResultName(uint32_t result);

// The library's last failure as one line:
// "MAPI_E_NOT_FOUND 0x8004010F: TEXT [CODE] at LOCATION", without the name
// when MAPI has none and without TEXT when the record holds none.
std::string LastErrorLine();

// A library call failed: what was being done, and the library's own account.
[[noreturn]] void Fail(const std::string& what);
// As Fail, unless the library found nothing under the name or number the
// user gave (MAPI_E_NOT_FOUND, an unknown entry identifier): then a usage
// error "no such " + thing.
[[noreturn]] void FailOrNoSuch(const std::string& what, const std::string& thing);

// A whole-number argument: decimal digits, a leading '-' only where min is
// negative, within [min, max]; anything else is a usage error naming the
// option, the range and what was given.
int64_t ParseWhole(const std::string& option, const std::string& text, int64_t min, int64_t max);

template <class Handle, void (*Release)(Handle)>
class Owned {
public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Owned& operator=(Owned&& other) noexcept
    {
        reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    ~Owned() { reset(); }

    Handle get() const { return handle_; }
    Handle* out()
    {
        reset();
        return &handle_;
    }
    void reset(Handle handle = nullptr)
    {
        if (handle_ != nullptr) Release(handle_);
        handle_ = handle;
    }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    Handle handle_ = nullptr;
};

inline void ReleaseStore(OrviMapiStore store) { OrviMapiMsgStoreRelease(store); }

using Table = Owned<OrviMapiTable, OrviMapiReleaseTable>;
using RowSet = Owned<OrviMapiRowSet, OrviMapiReleaseResult>;
using Folder = Owned<OrviMapiFolder, OrviMapiReleaseFolder>;
using Message = Owned<OrviMapiMessage, OrviMapiReleaseMsg>;
using Attach = Owned<OrviMapiAttach, OrviMapiReleaseAttach>;
using Stream = Owned<OrviMapiStream, OrviMapiReleaseStream>;
using Store = Owned<OrviMapiStore, ReleaseStore>;

using Bytes = std::vector<unsigned char>;

std::string Hex(const unsigned char* bytes, size_t size);
inline std::string Hex(const Bytes& bytes) { return Hex(bytes.data(), bytes.size()); }
// Parses an even number of hex digits (an entry identifier as the command
// shows it); false for anything else, the empty text included.
bool ParseHex(const std::string& text, Bytes& out);

// ASCII letters compared without regard to case, as MAPI compares names.
bool EqualsIgnoringCase(const std::string& a, const std::string& b);

// One session for the life of the command: OrviMapiStart on construction,
// OrviMapiStop on destruction.
class Session {
public:
    explicit Session(const std::string& profile);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();
};

} // namespace orvimapi
