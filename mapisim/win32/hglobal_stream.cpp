// CreateStreamOnHGlobal with a null HGLOBAL: a growable memory IStream.
//
// Clones share the bytes and keep their own seek pointers; the bytes go
// with the last of them. Sizes and positions stay within 32 bits, as an
// HGLOBAL's do. The calls that can fail on Windows (creation, Read, Write,
// Seek, SetSize, Stat, CopyTo) go through the call hook as
// "CreateStreamOnHGlobal" and "HGlobalStream::Method", so that tests can log
// and fail them like MAPI's.
#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <functional>
#include <vector>

#include "mapisim/core/object_count.h"
#include "mapisim/decl/win32.h"
#include "mapisim/mapi/calls.h"

namespace {

using mapisim::mapi::Call;

constexpr const char* kIface = "HGlobalStream";
constexpr ULONGLONG kMaxSize = 0xFFFFFFFFull;
constexpr ULONG kCopyChunk = 64 * 1024;

using Bytes = std::vector<BYTE>;

// The bytes of the last stream released, emptied, for the next stream's
// first write: a body read is a stream made, written once and released,
// and reusing a block still in the cache costs less than a fresh one from
// the heap each time. Larger blocks go back to the heap. Used under the
// stand-in lock (every method's Call and the last Release hold it). Never
// destroyed: a stream may be released while statics are destroyed.
Bytes& spare_bytes()
{
    static Bytes* const spare = new Bytes();
    return *spare;
}
constexpr std::size_t kMaxSpare = 1u << 20;

class HGlobalStream final : public mapisim::ComObject<IStream> {
public:
    HGlobalStream() = default;
    HGlobalStream(std::shared_ptr<Bytes> bytes, ULONGLONG position)
        : shared_(std::move(bytes)), position_(position)
    {}
    ~HGlobalStream() override
    {
        Bytes& spare = spare_bytes();
        if (own_.capacity() > spare.capacity() && own_.capacity() <= kMaxSpare) {
            own_.clear();
            own_.swap(spare);
        }
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override
    {
        if (ppvObject == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
            AddRef();
            *ppvObject = static_cast<IStream*>(this);
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }

    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        if (pcbRead != nullptr) *pcbRead = 0;
        Call call(nullptr, kIface, "Read");
        call.arg("cb", cb);
        if (const HRESULT injected = call.begin(); injected != S_OK) return injected;
        return call.done(ReadBytes(pv, cb, pcbRead));
    }

    HRESULT ReadBytes(void* pv, ULONG cb, ULONG* pcbRead)
    {
        if (pv == nullptr) return STG_E_INVALIDPOINTER;
        const ULONGLONG size = bytes().size();
        const ULONG count =
            position_ >= size ? 0 : static_cast<ULONG>(std::min<ULONGLONG>(cb, size - position_));
        if (count != 0) std::memcpy(pv, bytes().data() + position_, count);
        position_ += count;
        if (pcbRead != nullptr) *pcbRead = count;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override
    {
        if (pcbWritten != nullptr) *pcbWritten = 0;
        Call call(nullptr, kIface, "Write");
        call.arg("cb", cb);
        if (const HRESULT injected = call.begin(); injected != S_OK) return injected;
        return call.done(WriteBytes(pv, cb, pcbWritten));
    }

    HRESULT WriteBytes(const void* pv, ULONG cb, ULONG* pcbWritten)
    {
        if (pv == nullptr) return STG_E_INVALIDPOINTER;
        if (cb == 0) return S_OK;
        const ULONGLONG end = position_ + cb;
        if (end > kMaxSize) return STG_E_MEDIUMFULL;
        const auto* from = static_cast<const BYTE*>(pv);
        const bool inside = !std::less<const BYTE*>()(from, bytes().data()) &&
                            std::less<const BYTE*>()(from, bytes().data() + bytes().size());
        if (position_ == bytes().size() && !inside) {
            // Appending, the common case: no zero fill before the copy.
            if (!shared_ && own_.capacity() == 0) own_.swap(spare_bytes());
            try {
                bytes().insert(bytes().end(), from, from + cb);
            } catch (const std::exception&) {
                return STG_E_MEDIUMFULL;
            }
            position_ = end;
            if (pcbWritten != nullptr) *pcbWritten = cb;
            return S_OK;
        }
        if (end > bytes().size()) {
            const HRESULT grown = Resize(end);
            if (FAILED(grown)) return grown;
        }
        // memmove: pv may point into these very bytes.
        std::memmove(bytes().data() + position_, pv, cb);
        position_ = end;
        if (pcbWritten != nullptr) *pcbWritten = cb;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                                   ULARGE_INTEGER* plibNewPosition) override
    {
        Call call(nullptr, kIface, "Seek");
        call.arg("origin", dwOrigin);
        if (const HRESULT injected = call.begin(); injected != S_OK) return injected;
        return call.done(Move(dlibMove, dwOrigin, plibNewPosition));
    }

    HRESULT Move(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition)
    {
        LONGLONG base;
        switch (dwOrigin) {
            case STREAM_SEEK_SET:
                base = 0;
                break;
            case STREAM_SEEK_CUR:
                base = static_cast<LONGLONG>(position_);
                break;
            case STREAM_SEEK_END:
                base = static_cast<LONGLONG>(bytes().size());
                break;
            default:
                return STG_E_INVALIDFUNCTION;
        }
        // Both terms are within 2^32 of 0 or the move is out of range anyway.
        const LONGLONG move = dlibMove.QuadPart;
        if (move < -static_cast<LONGLONG>(kMaxSize) - 1 || move > static_cast<LONGLONG>(kMaxSize))
            return STG_E_INVALIDFUNCTION;
        const LONGLONG target = base + move;
        if (target < 0 || target > static_cast<LONGLONG>(kMaxSize)) return STG_E_INVALIDFUNCTION;
        position_ = static_cast<ULONGLONG>(target);
        if (plibNewPosition != nullptr) plibNewPosition->QuadPart = position_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER libNewSize) override
    {
        Call call(nullptr, kIface, "SetSize");
        if (const HRESULT injected = call.begin(); injected != S_OK) return injected;
        if (libNewSize.QuadPart > kMaxSize) return call.done(STG_E_INVALIDFUNCTION);
        return call.done(Resize(libNewSize.QuadPart));
    }

    HRESULT STDMETHODCALLTYPE CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                     ULARGE_INTEGER* pcbWritten) override
    {
        if (pcbRead != nullptr) pcbRead->QuadPart = 0;
        if (pcbWritten != nullptr) pcbWritten->QuadPart = 0;
        Call call(nullptr, kIface, "CopyTo");
        if (const HRESULT injected = call.begin(); injected != S_OK) return injected;
        return call.done(CopyBytes(pstm, cb, pcbRead, pcbWritten));
    }

    HRESULT CopyBytes(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                      ULARGE_INTEGER* pcbWritten)
    {
        if (pstm == nullptr) return STG_E_INVALIDPOINTER;
        ULONGLONG left = cb.QuadPart;
        ULONGLONG totalRead = 0;
        ULONGLONG totalWritten = 0;
        HRESULT result = S_OK;
        // Through a separate buffer, so that a copy onto this stream works.
        std::vector<BYTE> chunk;
        try {
            chunk.resize(kCopyChunk);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        while (left != 0) {
            ULONG read = 0;
            ReadBytes(chunk.data(), static_cast<ULONG>(std::min<ULONGLONG>(left, kCopyChunk)),
                      &read);
            if (read == 0) break;
            totalRead += read;
            left -= read;
            ULONG written = 0;
            result = pstm->Write(chunk.data(), read, &written);
            totalWritten += written;
            if (FAILED(result)) break;
        }
        if (pcbRead != nullptr) pcbRead->QuadPart = totalRead;
        if (pcbWritten != nullptr) pcbWritten->QuadPart = totalWritten;
        return FAILED(result) ? result : S_OK;
    }

    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }

    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }

    HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) override
    {
        Call call(nullptr, kIface, "Stat", grfStatFlag);
        if (const HRESULT injected = call.begin(); injected != S_OK) return injected;
        if (pstatstg == nullptr) return call.done(STG_E_INVALIDPOINTER);
        *pstatstg = STATSTG{};
        pstatstg->pwcsName = nullptr; // a memory stream has no name
        pstatstg->type = STGTY_STREAM;
        pstatstg->cbSize.QuadPart = bytes().size();
        pstatstg->grfMode = STGM_READWRITE;
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE Clone(IStream** ppstm) override
    {
        if (ppstm == nullptr) return STG_E_INVALIDPOINTER;
        *ppstm = nullptr;
        if (!shared_) {
            try {
                shared_ = std::make_shared<Bytes>(std::move(own_));
            } catch (const std::bad_alloc&) {
                return E_OUTOFMEMORY;
            }
        }
        *ppstm = new (std::nothrow) HGlobalStream(shared_, position_);
        return *ppstm != nullptr ? S_OK : E_OUTOFMEMORY;
    }

private:
    // Growth fills with zeros; the seek pointer stays where it is.
    HRESULT Resize(ULONGLONG size)
    {
        try {
            bytes().resize(static_cast<std::size_t>(size));
        } catch (const std::exception&) {
            return STG_E_MEDIUMFULL;
        }
        return S_OK;
    }

    // The stream's own bytes until it is first cloned, then shared_ with
    // its clones: most streams are never cloned.
    Bytes& bytes() { return shared_ ? *shared_ : own_; }

    Bytes own_;
    std::shared_ptr<Bytes> shared_;
    ULONGLONG position_ = 0;
};

} // namespace

extern "C" MAPISIM_API HRESULT WINAPI CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease,
                                                            LPSTREAM* ppstm)
{
    (void)fDeleteOnRelease; // the stream's own memory always goes with it
    if (ppstm == nullptr) return E_INVALIDARG;
    *ppstm = nullptr;
    Call call(nullptr, "", "CreateStreamOnHGlobal");
    if (const HRESULT injected = call.begin(); injected != S_OK) return injected;
    // The stand-in has no GlobalAlloc, so no caller can own an HGLOBAL.
    if (hGlobal != nullptr) return call.done(E_INVALIDARG);
    *ppstm = new (std::nothrow) HGlobalStream();
    return call.done(*ppstm != nullptr ? S_OK : E_OUTOFMEMORY);
}
