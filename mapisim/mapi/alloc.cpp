#include "mapisim/mapi/alloc.h"

#include <cstring>

namespace mapisim::mapi {

using model::Bytes;
using model::Value;

namespace {

HRESULT alloc(std::size_t size, void* root, void** out)
{
    *out = nullptr;
    if (size > 0x7FFFFFF0u) return MAPI_E_NOT_ENOUGH_MEMORY;
    const ULONG cb = static_cast<ULONG>(size);
    return root ? MAPIAllocateMore(cb, root, out) : MAPIAllocateBuffer(cb, out);
}

} // namespace

HRESULT alloc_bytes(const void* data, std::size_t size, void* root, void** out)
{
    HRESULT hr = alloc(size, root, out);
    if (FAILED(hr)) return hr;
    if (size) std::memcpy(*out, data, size);
    return S_OK;
}

HRESULT alloc_text(const std::string& text, void* root, char** out)
{
    void* p = nullptr;
    HRESULT hr = alloc_bytes(text.c_str(), text.size() + 1, root, &p);
    *out = static_cast<char*>(p);
    return hr;
}

HRESULT alloc_wide(const std::u16string& text, void* root, WCHAR** out)
{
    void* p = nullptr;
    HRESULT hr = alloc_bytes(text.c_str(), (text.size() + 1) * sizeof(WCHAR), root, &p);
    *out = static_cast<WCHAR*>(p);
    return hr;
}

HRESULT to_mapi(const Value& v, void* root, SPropValue& out)
{
    out.ulPropTag = v.tag();
    out.dwAlignPad = 0;
    std::memset(&out.Value, 0, sizeof out.Value);
    auto& u = out.Value;
    HRESULT hr = S_OK;
    void* p = nullptr;
    switch (v.type()) {
        case PT_I2:
            u.i = *v.get<std::int16_t>();
            break;
        case PT_LONG:
            u.l = *v.get<std::int32_t>();
            break;
        case PT_BOOLEAN:
            u.b = *v.get<bool>() ? 1 : 0;
            break;
        case PT_I8:
            u.li.QuadPart = *v.get<std::int64_t>();
            break;
        case PT_DOUBLE:
            u.dbl = *v.get<double>();
            break;
        case PT_SYSTIME: {
            const auto t = v.get<model::FileTime>()->ticks;
            u.ft.dwLowDateTime = static_cast<DWORD>(t);
            u.ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
            break;
        }
        case PT_ERROR:
            u.err = v.get<model::ErrorCode>()->scode;
            break;
        case PT_STRING8:
            hr = alloc_text(*v.get<std::string>(), root, &u.lpszA);
            break;
        case PT_UNICODE:
            hr = alloc_wide(*v.get<std::u16string>(), root, &u.lpszW);
            break;
        case PT_BINARY: {
            const Bytes& b = *v.get<Bytes>();
            hr = alloc_bytes(b.data(), b.size(), root, &p);
            u.bin.cb = static_cast<ULONG>(b.size());
            u.bin.lpb = static_cast<LPBYTE>(p);
            break;
        }
        case PT_CLSID:
            hr = alloc_bytes(v.get<GUID>(), sizeof(GUID), root, &p);
            u.lpguid = static_cast<LPGUID>(p);
            break;
        case PT_MV_LONG: {
            const auto& items = *v.get<std::vector<std::int32_t>>();
            hr = alloc_bytes(items.data(), items.size() * sizeof(LONG), root, &p);
            u.MVl.cValues = static_cast<ULONG>(items.size());
            u.MVl.lpl = static_cast<LONG*>(p);
            break;
        }
        case PT_MV_STRING8: {
            const auto& items = *v.get<std::vector<std::string>>();
            hr = alloc(items.size() * sizeof(LPSTR), root, &p);
            if (FAILED(hr)) break;
            auto** list = static_cast<LPSTR*>(p);
            for (std::size_t i = 0; i < items.size() && SUCCEEDED(hr); ++i)
                hr = alloc_text(items[i], root, &list[i]);
            u.MVszA.cValues = static_cast<ULONG>(items.size());
            u.MVszA.lppszA = list;
            break;
        }
        case PT_MV_BINARY: {
            const auto& items = *v.get<std::vector<Bytes>>();
            hr = alloc(items.size() * sizeof(SBinary), root, &p);
            if (FAILED(hr)) break;
            auto* list = static_cast<SBinary*>(p);
            for (std::size_t i = 0; i < items.size() && SUCCEEDED(hr); ++i) {
                void* item = nullptr;
                hr = alloc_bytes(items[i].data(), items[i].size(), root, &item);
                list[i].cb = static_cast<ULONG>(items[i].size());
                list[i].lpb = static_cast<LPBYTE>(item);
            }
            u.MVbin.cValues = static_cast<ULONG>(items.size());
            u.MVbin.lpbin = list;
            break;
        }
        default:
            out.ulPropTag = CHANGE_PROP_TYPE(v.tag(), PT_ERROR);
            u.err = MAPI_E_NOT_FOUND;
            break;
    }
    return hr;
}

HRESULT make_prop_array(const std::vector<Value>& values, ULONG* count, SPropValue** out)
{
    *out = nullptr;
    *count = 0;
    void* p = nullptr;
    HRESULT hr = alloc(values.size() * sizeof(SPropValue), nullptr, &p);
    if (FAILED(hr)) return hr;
    MapiPtr<SPropValue> array(static_cast<SPropValue*>(p));
    for (std::size_t i = 0; i < values.size(); ++i) {
        hr = to_mapi(values[i], array.get(), array.get()[i]);
        if (FAILED(hr)) return hr;
    }
    *count = static_cast<ULONG>(values.size());
    *out = array.release();
    return S_OK;
}

HRESULT make_row_set(const std::vector<std::vector<Value>>& rows, SRowSet** out)
{
    *out = nullptr;
    void* p = nullptr;
    HRESULT hr = alloc(CbNewSRowSet(rows.size()), nullptr, &p);
    if (FAILED(hr)) return hr;
    RowsPtr set(static_cast<SRowSet*>(p));
    set->cRows = 0;
    for (const auto& row : rows) {
        SRow& r = set->aRow[set->cRows];
        ULONG n = 0;
        SPropValue* props = nullptr;
        hr = make_prop_array(row, &n, &props);
        if (FAILED(hr)) return hr;
        r.ulAdrEntryPad = 0;
        r.cValues = n;
        r.lpProps = props;
        ++set->cRows;
    }
    *out = set.release();
    return S_OK;
}

HRESULT make_tag_array(const std::vector<ULONG>& tags, SPropTagArray** out)
{
    *out = nullptr;
    void* p = nullptr;
    HRESULT hr = alloc(CbNewSPropTagArray(tags.size()), nullptr, &p);
    if (FAILED(hr)) return hr;
    auto* a = static_cast<SPropTagArray*>(p);
    a->cValues = static_cast<ULONG>(tags.size());
    for (std::size_t i = 0; i < tags.size(); ++i) a->aulPropTag[i] = tags[i];
    *out = a;
    return S_OK;
}

} // namespace mapisim::mapi
