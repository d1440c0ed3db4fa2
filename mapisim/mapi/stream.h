// IStream over a property's bytes, and the compressed-RTF wrappers.
#pragma once

#include <functional>
#include <memory>

#include "mapisim/mapi/base.h"

namespace mapisim::mapi {

// Receives the stream's bytes at Commit, and at the last Release when they
// changed since. Runs with the stream alive; it may hold references.
using CommitFn = std::function<HRESULT(const model::Bytes&)>;

// A stream on the bytes (one reference). Without commit it is read-only:
// Write and SetSize give STG_E_ACCESSDENIED.
IStream* new_prop_stream(model::Bytes data, CommitFn commit);

// OpenProperty of a text or binary property as a stream: texts without
// their terminator (UTF-16LE for PT_UNICODE). raw is the property now (or
// empty); store takes the new value, null for a read-only stream.
// MAPI_CREATE starts from an empty stream.
HRESULT open_value_stream(const std::optional<Value>& raw, ULONG tag, ULONG flags,
                          std::function<HRESULT(Value)> store, LPUNKNOWN* out);

}  // namespace mapisim::mapi
