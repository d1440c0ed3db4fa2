// WrapCompressedRTFStream: a stream that decompresses PR_RTF_COMPRESSED as
// it is read (never holding the whole RTF), or compresses what is written
// into it when it is committed.
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "mapisim/mapi/stream.h"
#include "mapisim/rtfcomp/lzfu.h"

namespace mapisim::mapi {
namespace {

constexpr ULONG STORE_UNCOMPRESSED_RTF_ = 0x00008000;

// Pulls compressed bytes from the wrapped stream and keeps its failure.
class StreamSource final : public lzfu::Source {
public:
    explicit StreamSource(IStream* s) : stream_(s) {}
    std::size_t read(void* buf, std::size_t n) override
    {
        ULONG got = 0;
        const ULONG want = n > 0x10000000 ? 0x10000000 : static_cast<ULONG>(n);
        HRESULT hr = stream_->Read(buf, want, &got);
        if (FAILED(hr)) {
            failure = hr;
            return kFailed;
        }
        return got > want ? want : got;
    }
    // The stand-in's own property streams are decoded in place.
    const std::uint8_t* take_rest(std::size_t& n) noexcept override
    {
        n = 0;
        InPlaceBytes* bytes = in_place_bytes(stream_);
        return bytes ? bytes->take_rest(n) : nullptr;
    }
    HRESULT failure = S_OK;

private:
    IStream* stream_;
};

// A reader's decoder state (about 28 KB), apart from the reader: a released
// reader's storage stays behind as a tombstone for a while (calls on
// released objects are counted), so the state must not sit inside it.
struct DecoderState {
    explicit DecoderState(IStream* s) : source(s), decoder(source) {}
    StreamSource source;
    lzfu::Decoder decoder;
};

// The storage of the last state let go, for the next reader: one reader
// is made and released per body read, and a block this size from the heap
// costs more each time than reusing one that is still in the cache. Used
// under the stand-in lock (reads and the last Release hold it).
void* spareState = nullptr;

struct DecoderStateFree {
    void operator()(DecoderState* state) const noexcept
    {
        state->~DecoderState();
        if (spareState == nullptr)
            spareState = state;
        else
            ::operator delete(state);
    }
};
using DecoderStatePtr = std::unique_ptr<DecoderState, DecoderStateFree>;

DecoderStatePtr new_decoder_state(IStream* source)
{
    static_assert(alignof(DecoderState) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
    void* storage = std::exchange(spareState, nullptr);
    if (storage == nullptr) storage = ::operator new(sizeof(DecoderState));
    return DecoderStatePtr(new (storage) DecoderState(source));
}

class RtfReader final : public StreamObject {
public:
    explicit RtfReader(Ref<IStream> source) : source_(std::move(source))
    {
        ULARGE_INTEGER here{};
        LARGE_INTEGER zero{};
        restartable_ = SUCCEEDED(source_->Seek(zero, STREAM_SEEK_CUR, &here));
        start_ = here.QuadPart;
    }

    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG* written) override
    {
        Call call(&err_, kIface, "Write");
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (written) *written = 0;
        return call.fail(STG_E_ACCESSDENIED, "the stream was opened for reading");
    }

    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                   ULARGE_INTEGER* newpos) override
    {
        Call call(&err_, kIface, "Seek");
        call.arg("origin", origin);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        long long target;
        if (origin == STREAM_SEEK_SET)
            target = move.QuadPart;
        else if (origin == STREAM_SEEK_CUR)
            target = static_cast<long long>(pos_) + move.QuadPart;
        else
            return call.fail(STG_E_INVALIDFUNCTION, "the decompressed size is not known");
        if (target < 0) return call.fail(STG_E_INVALIDFUNCTION, "before the start");
        if (static_cast<std::uint64_t>(target) < pos_) {
            if (!restartable_) return call.fail(STG_E_INVALIDFUNCTION, "cannot go back");
            LARGE_INTEGER at;
            at.QuadPart = static_cast<LONGLONG>(start_);
            if (HRESULT hr = source_->Seek(at, STREAM_SEEK_SET, nullptr); FAILED(hr))
                return call.fail(hr, "the compressed stream cannot go back");
            state_.reset();
            decoder_ = nullptr;
            pos_ = 0;
        }
        std::uint8_t skip[4096];
        while (pos_ < static_cast<std::uint64_t>(target)) {
            const std::uint64_t left = static_cast<std::uint64_t>(target) - pos_;
            ULONG n = 0;
            HRESULT hr = pull(skip, static_cast<ULONG>(left < sizeof skip ? left : sizeof skip), n);
            if (FAILED(hr)) return call.fail(hr, why(hr));
            if (n == 0) break; // past the end stays at the end
        }
        if (newpos) newpos->QuadPart = pos_;
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override
    {
        return refuse("SetSize", STG_E_ACCESSDENIED);
    }

    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return refuse("Commit", S_OK); }

protected:
    HRESULT size(std::uint64_t& out) override
    {
        HRESULT hr = open();
        if (SUCCEEDED(hr)) out = decoder_->raw_size();
        return hr;
    }
    DWORD mode() const override { return STGM_READ; }
    HRESULT read_into(std::uint8_t* out, ULONG cb, ULONG& n) override { return pull(out, cb, n); }
    const char* unsupported_why() const override
    {
        return "not possible on a decompressing stream";
    }

    HRESULT copy_to(IStream* dest, std::uint64_t cb, ULARGE_INTEGER* read, ULARGE_INTEGER* written,
                    Call& call) override
    {
        std::uint8_t buf[4096];
        std::uint64_t left = cb;
        while (left) {
            ULONG n = 0;
            HRESULT hr = pull(buf, static_cast<ULONG>(left < sizeof buf ? left : sizeof buf), n);
            if (FAILED(hr)) return call.fail(hr, why(hr));
            if (n == 0) break;
            if (read) read->QuadPart += n;
            ULONG w = 0;
            hr = dest->Write(buf, n, &w);
            if (written) written->QuadPart += w;
            if (FAILED(hr)) return call.fail(hr, "the destination refused the bytes");
            left -= n;
        }
        return call.done(S_OK);
    }

private:
    static constexpr const char* kIface = "IStream";

    static std::string why(HRESULT hr)
    {
        return hr == MAPI_E_CORRUPT_DATA ? "the compressed RTF is damaged"
                                         : "the compressed stream failed";
    }

    HRESULT status_result() const
    {
        const lzfu::Status s = state_->decoder.status();
        if (!lzfu::is_error(s)) return S_OK;
        if (s == lzfu::Status::SourceFailed) return state_->source.failure;
        return MAPI_E_CORRUPT_DATA;
    }

    HRESULT open()
    {
        if (!state_) state_ = new_decoder_state(source_.get());
        decoder_ = &state_->decoder;
        decoder_->open();
        return status_result();
    }

    HRESULT pull(std::uint8_t* out, ULONG cb, ULONG& n)
    {
        n = 0;
        if (!decoder_)
            if (HRESULT hr = open(); FAILED(hr)) return hr;
        n = static_cast<ULONG>(decoder_->read(out, cb));
        pos_ += n;
        return status_result();
    }

    Ref<IStream> source_;
    DecoderStatePtr state_;
    lzfu::Decoder* decoder_ = nullptr;
    std::uint64_t pos_ = 0;
    std::uint64_t start_ = 0;
    bool restartable_ = false;
};

// MAPI_MODIFY: collects the RTF and writes it compressed at Commit.
class RtfWriter final : public StreamObject {
public:
    RtfWriter(Ref<IStream> target, bool uncompressed)
        : target_(std::move(target)), uncompressed_(uncompressed)
    {}
    ~RtfWriter() override
    {
        if (dirty_) flush();
    }

    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG* read) override
    {
        if (read) *read = 0;
        return refuse("Read", STG_E_ACCESSDENIED);
    }

    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* written) override
    {
        Call call(&err_, kIface, "Write");
        call.arg("cb", cb);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (written) *written = 0;
        if (!pv && cb) return call.fail(STG_E_INVALIDPOINTER, "no buffer");
        if (rtf_.size() + cb > 0x7FFFFFF0u) return call.fail(STG_E_MEDIUMFULL, "too large");
        const auto* p = static_cast<const std::uint8_t*>(pv);
        rtf_.insert(rtf_.end(), p, p + cb);
        dirty_ = true;
        if (written) *written = cb;
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                   ULARGE_INTEGER* newpos) override
    {
        Call call(&err_, kIface, "Seek");
        if (HRESULT h = call.begin(); h != S_OK) return h;
        // Only asking where the end is: the data is appended.
        if (move.QuadPart != 0 || origin > STREAM_SEEK_END)
            return call.fail(STG_E_INVALIDFUNCTION, "a compressing stream only appends");
        if (newpos) newpos->QuadPart = origin == STREAM_SEEK_SET ? 0 : rtf_.size();
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override
    {
        return refuse("SetSize", STG_E_INVALIDFUNCTION);
    }
    // Refused before the destination or the counts are looked at.
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                     ULARGE_INTEGER*) override
    {
        return refuse("CopyTo", STG_E_ACCESSDENIED);
    }

    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override
    {
        Call call(&err_, kIface, "Commit", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        HRESULT hr = flush();
        return FAILED(hr) ? call.fail(hr, "could not write the compressed RTF") : call.done(S_OK);
    }

protected:
    HRESULT size(std::uint64_t& out) override
    {
        out = rtf_.size();
        return S_OK;
    }
    DWORD mode() const override { return STGM_WRITE; }
    const char* unsupported_why() const override { return "not possible on a compressing stream"; }

private:
    static constexpr const char* kIface = "IStream";

    HRESULT flush()
    {
        dirty_ = false;
        std::vector<std::uint8_t> out = uncompressed_
                                            ? lzfu::store_uncompressed(rtf_.data(), rtf_.size())
                                            : lzfu::compress(rtf_.data(), rtf_.size());
        if (out.empty()) return MAPI_E_NOT_ENOUGH_MEMORY;
        LARGE_INTEGER zero{};
        if (HRESULT hr = target_->Seek(zero, STREAM_SEEK_SET, nullptr); FAILED(hr)) return hr;
        ULONG written = 0;
        if (HRESULT hr = target_->Write(out.data(), static_cast<ULONG>(out.size()), &written);
            FAILED(hr))
            return hr;
        ULARGE_INTEGER size;
        size.QuadPart = out.size();
        if (HRESULT hr = target_->SetSize(size); FAILED(hr)) return hr;
        return target_->Commit(0);
    }

    Ref<IStream> target_;
    bool uncompressed_;
    bool dirty_ = false;
    std::vector<std::uint8_t> rtf_;
};

} // namespace
} // namespace mapisim::mapi

extern "C" MAPISIM_API HRESULT STDAPICALLTYPE WrapCompressedRTFStream(LPSTREAM source, ULONG flags,
                                                                      LPSTREAM* out)
{
    using namespace mapisim::mapi;
    Call call(nullptr, "", "WrapCompressedRTFStream", flags);
    if (HRESULT h = call.begin(); h != S_OK) return h;
    if (!source || !out) return call.fail(MAPI_E_INVALID_PARAMETER, "no stream or no out");
    if (flags & ~(MAPI_MODIFY | STORE_UNCOMPRESSED_RTF_))
        return call.fail(MAPI_E_UNKNOWN_FLAGS, "unknown flags");
    if (flags & MAPI_MODIFY)
        *out = new RtfWriter(Ref<IStream>::share(source), flags & STORE_UNCOMPRESSED_RTF_);
    else
        *out = new RtfReader(Ref<IStream>::share(source));
    return call.done(S_OK);
}
