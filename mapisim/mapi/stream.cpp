#include "mapisim/mapi/stream.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <typeinfo>

namespace mapisim::mapi {
namespace {

// Streams larger than this are refused, as a store's would be.
constexpr std::uint64_t kMaxStream = 0x7FFFFFFF;

struct Shared {
    model::Bytes data;
    CommitFn commit;
    bool dirty = false;
    // A read-only stream on a stored value reads the value's bytes where
    // they are instead of data; the hold keeps them unchanged.
    std::shared_ptr<const Value> held;
    std::span<const std::uint8_t> view;

    std::span<const std::uint8_t> bytes() const
    {
        return held ? view : std::span<const std::uint8_t>(data.data(), data.size());
    }
};

class PropStream final : public StreamObject, public InPlaceBytes {
public:
    explicit PropStream(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

    const std::uint8_t* take_rest(std::size_t& n) noexcept override
    {
        n = 0;
        if (shared_->commit) return nullptr;
        const auto d = shared_->bytes();
        const std::uint64_t at = std::min<std::uint64_t>(pos_, d.size());
        n = d.size() - static_cast<std::size_t>(at);
        pos_ = std::max<std::uint64_t>(pos_, d.size());
        return d.data() + at;
    }

    ~PropStream() override
    {
        // The last stream on the data commits what was written.
        if (shared_.use_count() == 1 && shared_->dirty && shared_->commit)
            shared_->commit(shared_->data);
    }

    HRESULT read_into(std::uint8_t* out, ULONG cb, ULONG& n) override
    {
        const auto d = shared_->bytes();
        const std::uint64_t avail = pos_ < d.size() ? d.size() - pos_ : 0;
        n = static_cast<ULONG>(std::min<std::uint64_t>(cb, avail));
        if (n) std::memcpy(out, d.data() + pos_, n);
        pos_ += n;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* written) override
    {
        Call call(&err_, kIface, "Write");
        call.arg("cb", cb);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (written) *written = 0;
        if (!shared_->commit) return call.fail(STG_E_ACCESSDENIED, "the stream is read-only");
        if (!pv && cb) return call.fail(STG_E_INVALIDPOINTER, "no buffer");
        if (pos_ + cb > kMaxStream) return call.fail(STG_E_MEDIUMFULL, "the stream is too large");
        auto& d = shared_->data;
        if (pos_ + cb > d.size()) d.resize(static_cast<std::size_t>(pos_ + cb));
        if (cb) std::memcpy(d.data() + pos_, pv, cb);
        pos_ += cb;
        shared_->dirty = true;
        if (written) *written = cb;
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                   ULARGE_INTEGER* newpos) override
    {
        Call call(&err_, kIface, "Seek");
        call.arg("origin", origin);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        long long base;
        switch (origin) {
            case STREAM_SEEK_SET:
                base = 0;
                break;
            case STREAM_SEEK_CUR:
                base = static_cast<long long>(pos_);
                break;
            case STREAM_SEEK_END:
                base = static_cast<long long>(shared_->bytes().size());
                break;
            default:
                return call.fail(STG_E_INVALIDFUNCTION, "bad origin");
        }
        const long long target = base + move.QuadPart;
        if (target < 0 || (move.QuadPart > 0 && target < base))
            return call.fail(STG_E_INVALIDFUNCTION, "before the start");
        pos_ = static_cast<std::uint64_t>(target);
        if (newpos) newpos->QuadPart = pos_;
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override
    {
        Call call(&err_, kIface, "SetSize");
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!shared_->commit) return call.fail(STG_E_ACCESSDENIED, "the stream is read-only");
        if (size.QuadPart > kMaxStream) return call.fail(STG_E_MEDIUMFULL, "too large");
        shared_->data.resize(static_cast<std::size_t>(size.QuadPart));
        shared_->dirty = true;
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override
    {
        Call call(&err_, kIface, "Commit", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (shared_->commit && shared_->dirty) {
            if (HRESULT hr = shared_->commit(shared_->data); FAILED(hr))
                return call.fail(hr, "the property could not take the bytes");
            shared_->dirty = false;
        }
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE Clone(IStream** out) override
    {
        Call call(&err_, kIface, "Clone");
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(STG_E_INVALIDPOINTER, "no place for the result");
        auto* clone = new PropStream(shared_);
        clone->pos_ = pos_;
        *out = clone;
        return call.done(S_OK);
    }

protected:
    HRESULT size(std::uint64_t& out) override
    {
        out = shared_->bytes().size();
        return S_OK;
    }
    DWORD mode() const override { return shared_->commit ? STGM_READWRITE : STGM_READ; }
    const char* unsupported_why() const override { return "no locking"; }

    HRESULT copy_to(IStream* dest, std::uint64_t cb, ULARGE_INTEGER* read, ULARGE_INTEGER* written,
                    Call& call) override
    {
        const auto d = shared_->bytes();
        const std::uint64_t avail = pos_ < d.size() ? d.size() - pos_ : 0;
        std::uint64_t n = std::min(cb, avail);
        // Copied out first: writing to a clone of this stream may move the data.
        model::Bytes chunk;
        if (n) chunk.assign(d.data() + pos_, d.data() + pos_ + n);
        pos_ += n;
        if (read) read->QuadPart = n;
        ULONG done = 0;
        HRESULT hr = n ? dest->Write(chunk.data(), static_cast<ULONG>(n), &done) : S_OK;
        if (written) written->QuadPart = done;
        return FAILED(hr) ? call.fail(hr, "the destination refused the bytes") : call.done(S_OK);
    }

private:
    static constexpr const char* kIface = "IStream";
    std::shared_ptr<Shared> shared_;
    std::uint64_t pos_ = 0;
};

} // namespace

HRESULT STDMETHODCALLTYPE StreamObject::Stat(STATSTG* stat, DWORD flags)
{
    Call call(&err_, iface(), "Stat", flags);
    if (HRESULT h = call.begin(); h != S_OK) return h;
    if (!stat) return call.fail(STG_E_INVALIDPOINTER, "no place for the result");
    std::uint64_t bytes = 0;
    if (HRESULT hr = size(bytes); FAILED(hr)) return call.fail(hr, "the size is not known");
    std::memset(stat, 0, sizeof *stat);
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = bytes;
    stat->grfMode = mode();
    return call.done(S_OK);
}

HRESULT STDMETHODCALLTYPE StreamObject::Read(void* pv, ULONG cb, ULONG* read)
{
    Call call(&err_, iface(), "Read");
    call.arg("cb", cb);
    if (HRESULT h = call.begin(); h != S_OK) return h;
    if (read) *read = 0;
    if (!pv && cb) return call.fail(STG_E_INVALIDPOINTER, "no buffer");
    ULONG n = 0;
    HRESULT hr = read_into(static_cast<std::uint8_t*>(pv), cb, n);
    if (read) *read = n;
    return FAILED(hr) ? call.fail(hr, "the stream could not be read") : call.done(S_OK);
}

HRESULT STDMETHODCALLTYPE StreamObject::CopyTo(IStream* dest, ULARGE_INTEGER cb,
                                               ULARGE_INTEGER* read, ULARGE_INTEGER* written)
{
    Call call(&err_, iface(), "CopyTo");
    if (HRESULT h = call.begin(); h != S_OK) return h;
    if (read) read->QuadPart = 0;
    if (written) written->QuadPart = 0;
    if (!dest) return call.fail(STG_E_INVALIDPOINTER, "no destination");
    return copy_to(dest, cb.QuadPart, read, written, call);
}

HRESULT StreamObject::refuse(const char* method, HRESULT hr)
{
    Call call(&err_, iface(), method);
    if (HRESULT h = call.begin(); h != S_OK) return h;
    return SUCCEEDED(hr) ? call.done(hr) : call.fail(hr, unsupported_why());
}

HRESULT open_value_stream(std::optional<Value> raw, ULONG tag, ULONG flags,
                          std::function<HRESULT(Value)> store, LPUNKNOWN* out)
{
    const ULONG type = PROP_TYPE(tag);
    if (type != PT_BINARY && type != PT_STRING8 && type != PT_UNICODE) return MAPI_E_INVALID_TYPE;
    model::Bytes bytes;
    if (!(flags & MAPI_CREATE)) {
        if (!raw) return MAPI_E_NOT_FOUND;
        if (raw->is_error()) return raw->get<model::ErrorCode>()->scode;
        // The value is this call's own copy: its bytes move into the stream.
        if (raw->type() != type) raw = fit(std::move(raw), tag);
        if (!raw) return MAPI_E_NOT_FOUND;
        const Value& v = *raw;
        if (auto b = std::move(*raw).take<model::Bytes>())
            bytes = std::move(*b);
        else if (auto s = v.get<std::string>())
            bytes.assign(s->begin(), s->end());
        else if (auto w = v.get<std::u16string>())
            for (char16_t c : *w) {
                bytes.push_back(static_cast<std::uint8_t>(c));
                bytes.push_back(static_cast<std::uint8_t>(c >> 8));
            }
    }
    CommitFn commit;
    if (store && (flags & MAPI_MODIFY))
        commit = [tag, type, store](const model::Bytes& b) -> HRESULT {
            if (type == PT_BINARY) return store(Value::binary(tag, b));
            if (type == PT_STRING8)
                return store(Value::string8(tag, std::string(b.begin(), b.end())));
            std::u16string w;
            for (std::size_t i = 0; i + 1 < b.size(); i += 2)
                w.push_back(static_cast<char16_t>(b[i] | (b[i + 1] << 8)));
            return store(Value::unicode(tag, std::move(w)));
        };
    *out = new_prop_stream(std::move(bytes), std::move(commit));
    return S_OK;
}

InPlaceBytes* in_place_bytes(IStream* stream) noexcept
{
    // PropStream is final: no other type can be one.
    if (stream == nullptr || typeid(*stream) != typeid(PropStream)) return nullptr;
    return static_cast<PropStream*>(stream);
}

IStream* open_stored_stream(const model::PropertyBag& bag, ULONG tag)
{
    const ULONG type = PROP_TYPE(tag);
    if (type != PT_BINARY && type != PT_STRING8) return nullptr;
    std::shared_ptr<const Value> held = bag.share(tag);
    if (!held || held->type() != type) return nullptr;
    auto shared = std::make_shared<Shared>();
    if (auto b = held->get<model::Bytes>())
        shared->view = std::span<const std::uint8_t>(b->data(), b->size());
    else if (auto t = held->get<std::string>())
        shared->view = std::span<const std::uint8_t>(
            reinterpret_cast<const std::uint8_t*>(t->data()), t->size());
    shared->held = std::move(held);
    return new PropStream(std::move(shared));
}

IStream* new_prop_stream(model::Bytes data, CommitFn commit)
{
    auto shared = std::make_shared<Shared>();
    shared->data = std::move(data);
    shared->commit = std::move(commit);
    return new PropStream(std::move(shared));
}

} // namespace mapisim::mapi
