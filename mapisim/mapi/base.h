// What every stand-in MAPI object shares: references, QueryInterface, the
// logging base, GetLastError, the mixins for OpenEntry, CompareEntryIDs and
// advise sinks, and the IMAPIProp methods over a small set of hooks.
#pragma once

#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include "mapisim/core/object_count.h"
#include "mapisim/mapi/notify.h"
#include "mapisim/mapi/alloc.h"
#include "mapisim/mapi/calls.h"
#include "mapisim/mapi/props.h"

namespace mapisim::mapi {

// Owns one reference to a COM object.
template <class T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* adopt) noexcept : p_(adopt) {}
    static Ref share(T* p) noexcept
    {
        if (p) p->AddRef();
        return Ref(p);
    }
    Ref(const Ref& o) noexcept : p_(o.p_)
    {
        if (p_) p_->AddRef();
    }
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref o) noexcept
    {
        std::swap(p_, o.p_);
        return *this;
    }
    ~Ref()
    {
        if (p_) p_->Release();
    }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T* release() noexcept { return std::exchange(p_, nullptr); }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// Sets *out to self (with a reference) when riid is one of iids.
template <class Self>
HRESULT query(Self* self, REFIID riid, void** out, std::initializer_list<const IID*> iids)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    for (const IID* iid : iids)
        if (*iid == riid) {
            self->AddRef();
            *out = self;
            return S_OK;
        }
    return E_NOINTERFACE;
}

// IMAPIProp::GetLastError and friends: a MAPIERROR describing the object's
// last failure when it was hr; none (S_OK, null) otherwise.
HRESULT write_last_error(const ErrorState& err, HRESULT hr, ULONG flags, LPMAPIERROR* out);

// Problems of SetProps/DeleteProps, as MAPI returns them.
struct Problem {
    ULONG index;
    ULONG tag;
    SCODE scode;
};
HRESULT make_problems(const std::vector<Problem>& problems, LPSPropProblemArray* out);

// The size limit of GetProps and tables, from the installed world.
std::uint32_t value_limit();
// A value as GetProps returns it for tag: fitted, or a PT_ERROR value.
Value returned_value(std::optional<Value> raw, ULONG tag, bool limit_size);
// Whether returned_value() would give a stored value unchanged, so that the
// value can go out as it is stored: no error, of the asked type (any for
// PT_UNSPECIFIED) and within limit.
inline bool returned_as_stored(const Value& v, ULONG tag, std::uint32_t limit)
{
    const ULONG want = PROP_TYPE(tag);
    return !v.is_error() && (want == PT_UNSPECIFIED || want == v.type()) &&
           v.payload_size() <= limit;
}

// The positions of tags by property identifier, for stored_each(): kept
// for the tag list asked last, since a caller asks for the same list again
// and again (a message's column set).
const std::vector<std::uint32_t>& tag_order(const ULONG* tags, std::size_t n);

// Whether two entry identifiers of the stand-in name the same object: S_OK
// with *result TRUE or FALSE, MAPI_E_UNKNOWN_ENTRYID for a foreign one.
HRESULT compare_entry_ids(ULONG cb1, const ENTRYID* e1, ULONG cb2, const ENTRYID* e2,
                          ULONG* result);

// The base of every stand-in object: the interface name its calls are
// logged under, its last error, and the methods it does not serve. Every
// method of an object starts a Call on err_: the call hook is the one place
// that logs and injects faults.
template <class I>
class StandInObject : public ComObject<I> {
protected:
    // The interface the object's calls are logged as ("IMsgStore").
    virtual const char* iface() const = 0;
    // What the last error says of a method the object does not serve.
    virtual const char* unsupported_why() const { return "not supported by the stand-in"; }

    // A method the object does not serve: logged, then MAPI_E_NO_SUPPORT.
    HRESULT unsupported(const char* method, ULONG flags = 0)
    {
        Call call(&err_, iface(), method, flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        return call.fail(MAPI_E_NO_SUPPORT, unsupported_why());
    }

    // A method with nothing to do beyond being logged (Logoff, Revert ...).
    HRESULT logged_only(const char* method, ULONG flags = 0)
    {
        Call call(&err_, iface(), method, flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        return call.done(S_OK);
    }

    ErrorState err_;
};

// A stand-in object whose interface has GetLastError (IMAPIProp and every
// interface that derives from it, IMAPISession, IMAPITable, IProfAdmin).
template <class I>
class ReportingObject : public StandInObject<I> {
public:
    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT hr, ULONG flags, LPMAPIERROR* out) override
    {
        Call call(&this->err_, this->iface(), "GetLastError", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        return call.done(write_last_error(this->err_, hr, flags, out));
    }
};

// Mixins over a stand-in base for the methods several interfaces share,
// each doing the logging and argument checks once:
//
//   class StoreObject final : public ComparesEntryIds<OpensEntries<PropObject<IMsgStore>>> {
//       HRESULT open_entry(...) override { ... }   // only what differs
//   };

// OpenEntry: logs, checks the out-arguments, then open_entry(). A failure
// open_entry() leaves unfinished is logged as "could not open the entry".
template <class Base>
class OpensEntries : public Base {
public:
    using Base::Base;

    HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cb, LPENTRYID eid, LPCIID iid, ULONG flags,
                                        ULONG* type, LPUNKNOWN* out) override
    {
        Call call(&this->err_, this->iface(), "OpenEntry", flags);
        call.arg_hex("entryid", eid, cb);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!type || !out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        HRESULT hr = open_entry(cb, eid, iid, flags, type, out, call);
        if (call.finished()) return hr;
        return FAILED(hr) ? call.fail(hr, "could not open the entry") : call.done(hr);
    }

protected:
    virtual HRESULT open_entry(ULONG cb, const ENTRYID* eid, LPCIID iid, ULONG flags, ULONG* type,
                               LPUNKNOWN* out, Call& call) = 0;
};

// CompareEntryIDs over the stand-in's entry identifiers.
template <class Base>
class ComparesEntryIds : public Base {
public:
    using Base::Base;

    HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG cb1, LPENTRYID e1, ULONG cb2, LPENTRYID e2,
                                              ULONG flags, ULONG* result) override
    {
        Call call(&this->err_, this->iface(), "CompareEntryIDs", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        HRESULT hr = compare_entry_ids(cb1, e1, cb2, e2, result);
        return FAILED(hr) ? call.fail(hr, "not an entry identifier of the stand-in")
                          : call.done(hr);
    }
};

// Unadvise, and the sinks an object's Advise registers (Advise itself
// differs between interfaces: add_sink() is its common end).
template <class Base>
class TakesAdviseSinks : public Base {
public:
    using Base::Base;

    HRESULT STDMETHODCALLTYPE Unadvise(ULONG conn) override
    {
        Call call(&this->err_, this->iface(), "Unadvise");
        call.arg("connection", conn);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!sinks_.remove(conn)) return call.fail(MAPI_E_NOT_FOUND, "no such connection");
        return call.done(S_OK);
    }

protected:
    // Registers sink through `add` (AdviseSinks::add_store or add_table,
    // given sinks_ and the sink), once Advise has checked what is
    // particular to it.
    template <class Add>
    HRESULT add_sink(LPMAPIADVISESINK sink, ULONG* conn, Call& call, Add add)
    {
        if (!sink || !conn) return call.fail(MAPI_E_INVALID_PARAMETER, "no sink or no connection");
        *conn = add(sinks_, sink);
        return call.done(S_OK);
    }

    // The object's address is the interface pointer handed out: the
    // notification controls find the sinks by it.
    AdviseSinks sinks_{this};
};

template <class I>
class PropObject : public ReportingObject<I> {
public:
    HRESULT STDMETHODCALLTYPE SaveChanges(ULONG flags) override
    {
        Call call(&err_, iface(), "SaveChanges", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        return call.done(save(flags, call));
    }

    HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                                       LPSPropValue* out) override
    {
        Call call(&err_, iface(), "GetProps", flags);
        if (tags) call.arg("count", tags->cValues);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!count || !out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        if (tags && (tags->cValues == 0 || tags->cValues > kMaxItems))
            return call.fail(MAPI_E_INVALID_PARAMETER, "no tags, or too many");
        if (HRESULT h = alive(); FAILED(h)) return call.fail(h, "the object is gone");
        std::vector<ULONG> listed;
        if (!tags) listed = list();
        const ULONG* want = tags ? tags->aulPropTag : listed.data();
        const std::size_t n = tags ? tags->cValues : listed.size();
        const bool wide = flags & MAPI_UNICODE;
        const std::uint32_t limit = value_limit();
        Scratch<const Value*, kScratchItems> kept_scratch(n);
        const Value** const kept_values = kept_scratch.data();
        stored_each(want, tag_order(want, n), kept_values);
        // Stored values go out from where they are, missing ones as errors
        // and the common computed ones as the OutValue itself; the others
        // are made here (reserved at the first: their addresses must not
        // move).
        std::vector<Value> made;
        // Every path below writes values[i].
        Scratch<OutValue, kScratchItems, false> value_scratch(n);
        OutValue* const values = value_scratch.data();
        bool errors = false;
        for (std::size_t i = 0; i < n; ++i) {
            ULONG tag = want[i];
            if (wide && PROP_TYPE(tag) == PT_STRING8 && !tags)
                tag = CHANGE_PROP_TYPE(tag, PT_UNICODE);
            const Value* kept = kept_values[i];
            if (kept && returned_as_stored(*kept, tag, limit) &&
                !(wide && PROP_TYPE(tag) == PT_UNSPECIFIED && kept->type() == PT_STRING8)) {
                values[i].set(*kept);
                continue;
            }
            // (PT_UNSPECIFIED under MAPI_UNICODE may turn a text wide.)
            const Computed computed = kept || (wide && PROP_TYPE(tag) == PT_UNSPECIFIED)
                                          ? Computed::Other
                                          : computed_out(tag, limit, values[i]);
            if (computed == Computed::Out) continue;
            if (computed == Computed::Missing) {
                values[i].set_error(tag, MAPI_E_NOT_FOUND);
                errors = true;
                continue;
            }
            std::optional<Value> raw = kept ? read(tag) : read_unstored(tag);
            if (!raw) {
                values[i].set_error(tag, MAPI_E_NOT_FOUND);
                errors = true;
                continue;
            }
            if (PROP_TYPE(tag) == PT_UNSPECIFIED && wide && raw->type() == PT_STRING8)
                raw = raw->converted(PT_UNICODE);
            if (made.capacity() == 0) made.reserve(n);
            made.push_back(returned_value(std::move(raw), tag, true));
            values[i].set(made.back());
            errors |= made.back().is_error();
        }
        HRESULT hr = make_prop_array(values, n, count, out);
        if (FAILED(hr)) return call.fail(hr, "out of memory");
        return call.done(errors ? MAPI_W_ERRORS_RETURNED : S_OK);
    }

    HRESULT STDMETHODCALLTYPE GetPropList(ULONG flags, LPSPropTagArray* out) override
    {
        Call call(&err_, iface(), "GetPropList", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        if (HRESULT h = alive(); FAILED(h)) return call.fail(h, "the object is gone");
        std::vector<ULONG> tags = list();
        if (flags & MAPI_UNICODE)
            for (ULONG& t : tags)
                if (PROP_TYPE(t) == PT_STRING8) t = CHANGE_PROP_TYPE(t, PT_UNICODE);
        return call.done(make_tag_array(tags, out));
    }

    HRESULT STDMETHODCALLTYPE OpenProperty(ULONG tag, LPCIID iid, ULONG options, ULONG flags,
                                           LPUNKNOWN* out) override
    {
        Call call(&err_, iface(), "OpenProperty", flags);
        call.arg_tag("tag", tag);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!iid || !out) return call.fail(MAPI_E_INVALID_PARAMETER, "no interface or no out");
        if (HRESULT h = alive(); FAILED(h)) return call.fail(h, "the object is gone");
        if ((flags & (MAPI_MODIFY | MAPI_CREATE)) && !writable_)
            return call.fail(MAPI_E_NO_ACCESS, "the object was opened read-only");
        return open_property(tag, *iid, options, flags, out, call);
    }

    HRESULT STDMETHODCALLTYPE SetProps(ULONG n, LPSPropValue props,
                                       LPSPropProblemArray* problems) override
    {
        Call call(&err_, iface(), "SetProps");
        call.arg("count", n);
        // Up to 16 tags: enough for every value a single item write carries.
        for (ULONG i = 0; props && i < n && i < 16; ++i) call.arg_tag("tag", props[i].ulPropTag);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (problems) *problems = nullptr;
        if ((n && !props) || n > kMaxItems)
            return call.fail(MAPI_E_INVALID_PARAMETER, "no values, or too many");
        if (HRESULT h = alive(); FAILED(h)) return call.fail(h, "the object is gone");
        if (!writable_) return call.fail(MAPI_E_NO_ACCESS, "the object was opened read-only");
        std::vector<Problem> found;
        std::vector<Value> accepted;
        for (ULONG i = 0; i < n; ++i) {
            const ULONG tag = props[i].ulPropTag;
            const ULONG type = PROP_TYPE(tag);
            if (type == PT_ERROR || type == PT_NULL) continue;
            if (type == PT_OBJECT || PROP_ID(tag) == PROP_ID_NULL ||
                PROP_ID(tag) == PROP_ID_INVALID) {
                found.push_back({i, tag, MAPI_E_INVALID_TYPE});
                continue;
            }
            if (is_computed(tag) && !settable(tag)) {
                found.push_back({i, tag, MAPI_E_COMPUTED});
                continue;
            }
            auto v = Value::from_mapi(props[i]);
            if (!v) {
                found.push_back({i, tag, MAPI_E_BAD_VALUE});
                continue;
            }
            if (PROP_ID(tag) >= 0x8000 && !named_ok(tag)) {
                found.push_back({i, tag, MAPI_E_UNEXPECTED_ID});
                continue;
            }
            accepted.push_back(std::move(*v));
        }
        if (HRESULT h = check_set(accepted, call); FAILED(h)) return h;
        for (auto& v : accepted) write(std::move(v));
        if (problems && !found.empty()) {
            if (HRESULT h = make_problems(found, problems); FAILED(h))
                return call.fail(h, "out of memory");
        }
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray tags,
                                          LPSPropProblemArray* problems) override
    {
        Call call(&err_, iface(), "DeleteProps");
        for (ULONG i = 0; tags && i < tags->cValues && i < 8; ++i)
            call.arg_tag("tag", tags->aulPropTag[i]);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (problems) *problems = nullptr;
        if (!tags || tags->cValues > kMaxItems)
            return call.fail(MAPI_E_INVALID_PARAMETER, "no tags, or too many");
        if (HRESULT h = alive(); FAILED(h)) return call.fail(h, "the object is gone");
        if (!writable_) return call.fail(MAPI_E_NO_ACCESS, "the object was opened read-only");
        std::vector<Problem> found;
        for (ULONG i = 0; i < tags->cValues; ++i) {
            const ULONG tag = tags->aulPropTag[i];
            if (is_computed(tag) && !settable(tag))
                found.push_back({i, tag, MAPI_E_COMPUTED});
            else
                remove(tag);
        }
        if (problems && !found.empty()) {
            if (HRESULT h = make_problems(found, problems); FAILED(h))
                return call.fail(h, "out of memory");
        }
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE CopyTo(ULONG, LPCIID, LPSPropTagArray, MAPIDEFS_UIPARAM,
                                     LPMAPIPROGRESS, LPCIID, LPVOID, ULONG flags,
                                     LPSPropProblemArray*) override
    {
        Call call(&err_, iface(), "CopyTo", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        return call.fail(MAPI_E_NO_SUPPORT, "not supported by the stand-in");
    }

    HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray, MAPIDEFS_UIPARAM, LPMAPIPROGRESS, LPCIID,
                                        LPVOID, ULONG flags, LPSPropProblemArray*) override
    {
        Call call(&err_, iface(), "CopyProps", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        return call.fail(MAPI_E_NO_SUPPORT, "not supported by the stand-in");
    }

    HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray* tags, LPGUID guid, ULONG flags,
                                              ULONG* count, LPMAPINAMEID** names) override;
    HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG n, LPMAPINAMEID* names, ULONG flags,
                                              LPSPropTagArray* out) override;

protected:
    using ReportingObject<I>::err_;
    using ReportingObject<I>::iface;

    // The raw value with the tag's identifier, or empty.
    virtual std::optional<Value> read(ULONG tag) = 0;
    // The value read(tag) would copy, where the object keeps it as it is;
    // null where read() makes or adjusts it (or has nothing).
    virtual const Value* stored(ULONG) { return nullptr; }
    // stored() of each tag; order lists them by identifier (tag_order()).
    virtual void stored_each(const ULONG* tags, const std::vector<std::uint32_t>& order,
                             const Value** out)
    {
        for (const std::uint32_t i : order) out[i] = stored(tags[i]);
    }
    // read(tag) for a tag stored() has no value for.
    virtual std::optional<Value> read_unstored(ULONG tag) { return read(tag); }
    // read_unstored(tag) as GetProps returns it, where it needs no Value of
    // its own (computed_message_out()).
    virtual Computed computed_out(ULONG, std::uint32_t, OutValue&) { return Computed::Other; }
    // Every property the object has, for GetPropList and GetProps(NULL).
    virtual std::vector<ULONG> list() = 0;
    // Stores an accepted value (SetProps has checked it).
    virtual void write(Value) {}
    virtual void remove(ULONG) {}
    // A chance to refuse a whole SetProps (a folder name that collides).
    virtual HRESULT check_set(const std::vector<Value>&, Call&) { return S_OK; }
    virtual bool settable(ULONG) const { return false; }
    virtual HRESULT save(ULONG, Call&) { return S_OK; }
    virtual HRESULT open_property(ULONG, REFIID, ULONG, ULONG, LPUNKNOWN*, Call& call)
    {
        return call.fail(MAPI_E_NO_SUPPORT, "no property of this object opens as an object");
    }
    // The named-property map the object's identifiers come from.
    virtual model::NameMap* names() { return nullptr; }
    // S_OK while the model node behind the object still exists.
    virtual HRESULT alive() { return S_OK; }

    bool named_ok(ULONG tag)
    {
        model::NameMap* map = names();
        return !map || map->name_of(PROP_ID(tag)) != nullptr;
    }

    bool writable_ = false;
};

HRESULT names_from_ids(model::NameMap& map, LPSPropTagArray* tags, LPGUID guid, ULONG flags,
                       ULONG* count, LPMAPINAMEID** names);
HRESULT ids_from_names(model::NameMap& map, ULONG n, LPMAPINAMEID* names, ULONG flags,
                       LPSPropTagArray* out);

template <class I>
HRESULT STDMETHODCALLTYPE PropObject<I>::GetNamesFromIDs(LPSPropTagArray* tags, LPGUID guid,
                                                         ULONG flags, ULONG* count,
                                                         LPMAPINAMEID** out)
{
    Call call(&err_, iface(), "GetNamesFromIDs", flags);
    call.arg("tags", tags && *tags ? "given" : "all");
    if (HRESULT h = call.begin(); h != S_OK) return h;
    if (!tags || !count || !out)
        return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
    model::NameMap* map = names();
    if (!map) return call.fail(MAPI_E_NO_SUPPORT, "this object has no named properties");
    HRESULT hr = names_from_ids(*map, tags, guid, flags, count, out);
    return FAILED(hr) ? call.fail(hr, "could not list the names") : call.done(hr);
}

template <class I>
HRESULT STDMETHODCALLTYPE PropObject<I>::GetIDsFromNames(ULONG n, LPMAPINAMEID* names_in,
                                                         ULONG flags, LPSPropTagArray* out)
{
    Call call(&err_, iface(), "GetIDsFromNames", flags);
    call.arg("count", n);
    if (HRESULT h = call.begin(); h != S_OK) return h;
    if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
    model::NameMap* map = names();
    if (!map) return call.fail(MAPI_E_NO_SUPPORT, "this object has no named properties");
    if ((flags & MAPI_CREATE) && !writable_)
        return call.fail(MAPI_E_NO_ACCESS, "the object was opened read-only");
    HRESULT hr = ids_from_names(*map, n, names_in, flags, out);
    return FAILED(hr) ? call.fail(hr, "bad names") : call.done(hr);
}

} // namespace mapisim::mapi
