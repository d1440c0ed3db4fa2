// IStream over a property's bytes, and the compressed-RTF wrappers.
#pragma once

#include <functional>
#include <memory>

#include "mapisim/mapi/base.h"

namespace mapisim::mapi {

// What the stand-in's streams share: the interfaces they answer to, their
// log name, Stat over a size and a mode, and the methods a stream takes as
// a no-op or refuses. A stream adds Write, Seek, SetSize and Commit, says
// its size and mode, and reads itself for Read and CopyTo.
class StreamObject : public StandInObject<IStream> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        return query(this, riid, out, {&IID_IUnknown, &IID_ISequentialStream, &IID_IStream});
    }

    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
    // Logs, zeroes the count and checks the buffer; read_into() reads.
    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* read) override;
    // Logs, zeroes the counts and checks the destination; copy_to() copies.
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* dest, ULARGE_INTEGER cb, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override;

    HRESULT STDMETHODCALLTYPE Revert() override { return logged_only("Revert"); }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return refuse("LockRegion", STG_E_INVALIDFUNCTION);
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return refuse("UnlockRegion", STG_E_INVALIDFUNCTION);
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override
    {
        return refuse("Clone", STG_E_INVALIDFUNCTION);
    }

protected:
    const char* iface() const override { return "IStream"; }
    // The size Stat reports, or the failure that keeps the stream from knowing it.
    virtual HRESULT size(std::uint64_t& out) = 0;
    // STGM_READ, STGM_WRITE or STGM_READWRITE.
    virtual DWORD mode() const = 0;
    // Up to cb bytes from the position into out, n of them read; a stream
    // that cannot be read refuses.
    virtual HRESULT read_into(std::uint8_t*, ULONG, ULONG&) { return STG_E_ACCESSDENIED; }
    // Up to cb bytes from the position into dest, counted where asked; a
    // stream that cannot be read refuses.
    virtual HRESULT copy_to(IStream*, std::uint64_t, ULARGE_INTEGER*, ULARGE_INTEGER*, Call& call)
    {
        return call.fail(STG_E_ACCESSDENIED, unsupported_why());
    }

    // A method the stream only logs: hr, a success or a refusal that the
    // last error explains with unsupported_why().
    HRESULT refuse(const char* method, HRESULT hr);
};

// A stream whose bytes sit in memory hands the rest of them out to be read
// in place, as the compressed-RTF reader does, where nothing can change
// them while the stream lives.
class InPlaceBytes {
public:
    // The bytes from the position to the end, moving the position to the
    // end; null, with the position kept, for a stream that can be written.
    virtual const std::uint8_t* take_rest(std::size_t& n) noexcept = 0;

protected:
    ~InPlaceBytes() = default;
};

// The stream as InPlaceBytes when it is one of the stand-in's property
// streams; null for any other stream. An exact type test, far cheaper than
// a cross-cast, since every compressed body read asks it.
InPlaceBytes* in_place_bytes(IStream* stream) noexcept;

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
HRESULT open_value_stream(std::optional<Value> raw, ULONG tag, ULONG flags,
                          std::function<HRESULT(Value)> store, LPUNKNOWN* out);

// A read-only stream on the bag's value of a PT_BINARY or PT_STRING8 tag
// as open_value_stream() makes it without MAPI_MODIFY or MAPI_CREATE, but
// reading the stored bytes in place; null when the bag holds no value of
// the tag's type (open_value_stream() then decides).
IStream* open_stored_stream(const model::PropertyBag& bag, ULONG tag);

} // namespace mapisim::mapi
