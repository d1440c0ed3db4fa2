#include "mapisim/mapi/base.h"

#include <algorithm>
#include <cstring>

#include "mapisim/text/text.h"

namespace mapisim::mapi {

HRESULT write_last_error(const ErrorState& err, HRESULT hr, ULONG flags, LPMAPIERROR* out)
{
    *out = nullptr;
    if (err.hr != hr || !FAILED(hr)) return S_OK;
    void* p = nullptr;
    HRESULT h = MAPIAllocateBuffer(sizeof(MAPIERROR), &p);
    if (FAILED(h)) return h;
    MapiPtr<MAPIERROR> e(static_cast<MAPIERROR*>(p));
    std::memset(e.get(), 0, sizeof(MAPIERROR));
    e->ulVersion = MAPI_ERROR_VERSION;
    const std::string component = "mapisim";
    if (flags & MAPI_UNICODE) {
        WCHAR* text = nullptr;
        WCHAR* comp = nullptr;
        if (FAILED(h = alloc_wide(text::cp1252_to_utf16(err.text), e.get(), &text))) return h;
        if (FAILED(h = alloc_wide(text::cp1252_to_utf16(component), e.get(), &comp))) return h;
        e->lpszError = reinterpret_cast<LPSTR>(text);
        e->lpszComponent = reinterpret_cast<LPSTR>(comp);
    } else {
        if (FAILED(h = alloc_text(err.text, e.get(), &e->lpszError))) return h;
        if (FAILED(h = alloc_text(component, e.get(), &e->lpszComponent))) return h;
    }
    *out = e.release();
    return S_OK;
}

HRESULT make_problems(const std::vector<Problem>& problems, LPSPropProblemArray* out)
{
    *out = nullptr;
    void* p = nullptr;
    const std::size_t size =
        offsetof(SPropProblemArray, aProblem) + problems.size() * sizeof(SPropProblem);
    HRESULT hr = MAPIAllocateBuffer(static_cast<ULONG>(size), &p);
    if (FAILED(hr)) return hr;
    auto* a = static_cast<SPropProblemArray*>(p);
    a->cProblem = static_cast<ULONG>(problems.size());
    for (std::size_t i = 0; i < problems.size(); ++i)
        a->aProblem[i] = {problems[i].index, problems[i].tag, problems[i].scode};
    *out = a;
    return S_OK;
}

std::uint32_t value_limit() { return model::current().settings.getprops_limit; }

Value returned_value(std::optional<Value> raw, ULONG tag, bool limit_size)
{
    const ULONG id_tag = PROP_TYPE(tag) == PT_UNSPECIFIED && raw ? raw->tag() : tag;
    auto v = fit(std::move(raw), tag);
    if (!v) return Value::error(id_tag, MAPI_E_NOT_FOUND);
    if (limit_size && !v->is_error() && v->payload_size() > value_limit())
        return Value::error(v->tag(), MAPI_E_NOT_ENOUGH_MEMORY);
    return std::move(*v);
}

const std::vector<std::uint32_t>& tag_order(const ULONG* tags, std::size_t n)
{
    // Under the stand-in lock, as every call is.
    static std::vector<ULONG> last_tags;
    static std::vector<std::uint32_t> last_order;
    if (last_tags.size() != n || !std::equal(last_tags.begin(), last_tags.end(), tags)) {
        last_tags.assign(tags, tags + n);
        last_order = model::PropertyBag::sort_by_id(tags, n);
    }
    return last_order;
}

namespace {

// One MAPINAMEID with its GUID and name chained to root.
HRESULT make_name(const model::NamedId& n, void* root, LPMAPINAMEID* out)
{
    void* p = nullptr;
    HRESULT hr = MAPIAllocateMore(sizeof(MAPINAMEID), root, &p);
    if (FAILED(hr)) return hr;
    auto* name = static_cast<MAPINAMEID*>(p);
    std::memset(name, 0, sizeof *name);
    if (FAILED(hr = alloc_bytes(&n.guid, sizeof(GUID), root, &p))) return hr;
    name->lpguid = static_cast<LPGUID>(p);
    name->ulKind = n.kind;
    if (n.kind == MNID_ID) {
        name->Kind.lID = n.lid;
    } else if (FAILED(hr = alloc_wide(n.name, root, &name->Kind.lpwstrName))) {
        return hr;
    }
    *out = name;
    return S_OK;
}

} // namespace

HRESULT names_from_ids(model::NameMap& map, LPSPropTagArray* tags, LPGUID guid, ULONG flags,
                       ULONG* count, LPMAPINAMEID** names)
{
    *count = 0;
    *names = nullptr;
    std::vector<ULONG> ids;
    const bool all = *tags == nullptr;
    if (all) {
        for (auto& [id, n] : map.entries()) {
            if (guid && !(n.guid == *guid)) continue;
            if ((flags & MAPI_NO_STRINGS) && n.kind == MNID_STRING) continue;
            if ((flags & MAPI_NO_IDS) && n.kind == MNID_ID) continue;
            ids.push_back(PROP_TAG(PT_UNSPECIFIED, id));
        }
    } else {
        if ((*tags)->cValues == 0 || (*tags)->cValues > kMaxItems) return MAPI_E_INVALID_PARAMETER;
        ids.assign((*tags)->aulPropTag, (*tags)->aulPropTag + (*tags)->cValues);
    }
    void* p = nullptr;
    HRESULT hr = MAPIAllocateBuffer(
        static_cast<ULONG>((ids.empty() ? 1 : ids.size()) * sizeof(LPMAPINAMEID)), &p);
    if (FAILED(hr)) return hr;
    MapiPtr<LPMAPINAMEID> list(static_cast<LPMAPINAMEID*>(p));
    bool missing = false;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        list.get()[i] = nullptr;
        const model::NamedId* n = map.name_of(PROP_ID(ids[i]));
        if (!n || (guid && !(n->guid == *guid))) {
            missing = true;
            continue;
        }
        if (FAILED(hr = make_name(*n, list.get(), &list.get()[i]))) return hr;
    }
    if (all) {
        SPropTagArray* out_tags = nullptr;
        if (FAILED(hr = make_tag_array(ids, &out_tags))) return hr;
        *tags = out_tags;
    }
    *count = static_cast<ULONG>(ids.size());
    *names = list.release();
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT ids_from_names(model::NameMap& map, ULONG n, LPMAPINAMEID* names, ULONG flags,
                       LPSPropTagArray* out)
{
    *out = nullptr;
    if (n == 0 || n > kMaxItems || !names)
        return MAPI_E_INVALID_PARAMETER; // listing every id is not supported
    std::vector<ULONG> tags;
    bool missing = false;
    for (ULONG i = 0; i < n; ++i) {
        const MAPINAMEID* in = names[i];
        if (!in || !in->lpguid || (in->ulKind != MNID_ID && in->ulKind != MNID_STRING) ||
            (in->ulKind == MNID_STRING && !in->Kind.lpwstrName))
            return MAPI_E_INVALID_PARAMETER;
        model::NamedId name;
        name.guid = *in->lpguid;
        name.kind = in->ulKind;
        if (in->ulKind == MNID_ID) {
            name.lid = in->Kind.lID;
        } else {
            for (const WCHAR* w = in->Kind.lpwstrName; *w; ++w) name.name.push_back(*w);
        }
        std::optional<ULONG> id = map.find(name);
        if (!id && (flags & MAPI_CREATE)) {
            ULONG fresh = map.id_of(name);
            if (fresh) id = fresh;
        }
        if (!id) missing = true;
        tags.push_back(id ? PROP_TAG(PT_UNSPECIFIED, *id) : PROP_TAG(PT_ERROR, PROP_ID_NULL));
    }
    HRESULT hr = make_tag_array(tags, out);
    if (FAILED(hr)) return hr;
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

} // namespace mapisim::mapi
