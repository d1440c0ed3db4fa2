// The one entry hook of every MAPI call the stand-in serves: it writes the
// call log, applies injected faults and keeps each object's last error.
//
//   HRESULT Folder::CreateFolder(...) {
//       Call call(*this, "CreateFolder", ulFlags);
//       call.arg("name", name);
//       if (HRESULT hr = call.begin(); hr != S_OK) return hr;   // injected
//       ...
//       if (clash) return call.fail(MAPI_E_COLLISION, "a sibling has that name");
//       return call.done(S_OK);
//   }
//
// A Call holds the stand-in lock (core/stand_in_lock.h) from construction to
// destruction, so a method's work happens under it when the Call is its first
// statement.
//
// Names in the log and in fault rules are "Interface::Method" for object
// methods (the interface the object was handed out as: IMAPIFolder::GetProps)
// and the bare function name for MAPI32 functions (MAPILogonEx).
#pragma once

#include <cstdint>
#include <cstddef>
#include <string>
#include <string_view>
#include <deque>
#include <vector>

#include "mapisim/core/stand_in_lock.h"
#include "mapisim/decl/mapi.h"

namespace mapisim::mapi {

// What GetLastError reports for an object: its last failure.
// More items than any real caller passes in one array: a count this large
// is a caller's mistake, refused before the array is read.
inline constexpr ULONG kMaxItems = 0x10000;

struct ErrorState {
    HRESULT hr = S_OK;
    std::string text;
};

struct CallRecord {
    std::string method; // "IMAPIFolder::CreateFolder", "MAPILogonEx"
    ULONG flags = 0;
    std::string args; // "name=Inbox; comment=" pairs, in the order given
    HRESULT result = S_OK;
    bool injected = false;
};

// Whether any call must be logged or checked against fault rules: false in
// a measuring run, where a Call then costs little more than the lock.
extern bool callHooksOn;

class Call {
public:
    // object may be null for MAPI32 functions.
    Call(ErrorState* object, const char* iface, const char* method, ULONG flags = 0)
        : object_(object), iface_(iface ? iface : ""), method_(method), flags_(flags)
    {}
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    ~Call()
    {
        // A path that forgot done() still leaves a complete log entry.
        if (!finished_ && index_ != SIZE_MAX) unfinished();
    }

    Call& arg(const char* name, std::string_view text);
    Call& arg(const char* name, const char* text); // null logs as "(null)"
    Call& arg_wide(const char* name, const WCHAR* text);
    Call& arg(const char* name, ULONG value);
    Call& arg_tag(const char* name, ULONG tag); // 0x0037001E
    Call& arg_hex(const char* name, const void* bytes, ULONG size);

    // Adds to the logged arguments after begin(): what the call decided.
    void note(const char* name, std::string_view text);

    // Logs the call and applies the fault rules: S_OK to go on, or the
    // injected failure (already finished) to return at once.
    HRESULT begin() { return callHooksOn ? hook() : S_OK; }
    // Finishes with hr; a failure becomes the object's last error.
    HRESULT done(HRESULT hr)
    {
        finished_ = true;
        if (index_ != SIZE_MAX || (FAILED(hr) && object_)) record(hr);
        return hr;
    }
    HRESULT fail(HRESULT hr, std::string why);
    // Whether done() or fail() has been called.
    bool finished() const { return finished_; }

private:
    // "Iface::Method", made only when something needs it: most calls of a
    // measuring run neither log nor fail.
    const std::string& name();
    // begin() when calls are logged or faults may be injected.
    HRESULT hook();
    // done()'s log entry and last error.
    void record(HRESULT hr);
    void unfinished();

    StandInGuard guard_; // first: held from construction to destruction
    ErrorState* object_;
    const char* iface_; // "" for MAPI32 functions; literals, like method_
    const char* method_;
    std::string name_; // empty until name()
    ULONG flags_;
    std::string args_;
    std::size_t index_ = SIZE_MAX;
    bool finished_ = false;
};

// Call log and fault rules, for the controls in mapisim.h.
const std::deque<CallRecord>& call_log();
void clear_call_log();
// Off, calls are neither logged nor have their arguments formatted; fault
// rules still apply.
void set_call_logging(bool on);
// pattern is "Iface::Method", "Iface::*", "*::Method", a function name, or
// "*" for every call. nth counts matching calls from now, 1 = the next.
void add_fault(std::string pattern, std::uint32_t nth, bool persistent, HRESULT hr);
void clear_faults();

} // namespace mapisim::mapi
