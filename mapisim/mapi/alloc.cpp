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

namespace {

// Allocates through `more(size, &p)`: chained MAPI blocks, or pieces of one
// block sized beforehand.
template <class More>
HRESULT copy_in(More& more, const void* data, std::size_t size, void** out)
{
    HRESULT hr = more(size, out);
    if (FAILED(hr)) return hr;
    if (size) std::memcpy(*out, data, size);
    return S_OK;
}

template <class More>
HRESULT value_to_mapi(const Value& v, More& more, SPropValue& out)
{
    out.ulPropTag = v.tag();
    out.dwAlignPad = 0;
    std::memset(&out.Value, 0, sizeof out.Value);
    auto& u = out.Value;
    HRESULT hr = S_OK;
    void* p = nullptr;
    auto text = [&](const std::string& t, char** to) {
        void* q = nullptr;
        const HRESULT r = copy_in(more, t.c_str(), t.size() + 1, &q);
        *to = static_cast<char*>(q);
        return r;
    };
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
            hr = text(*v.get<std::string>(), &u.lpszA);
            break;
        case PT_UNICODE: {
            const std::u16string& w = *v.get<std::u16string>();
            hr = copy_in(more, w.c_str(), (w.size() + 1) * sizeof(WCHAR), &p);
            u.lpszW = static_cast<WCHAR*>(p);
            break;
        }
        case PT_BINARY: {
            const Bytes& b = *v.get<Bytes>();
            hr = copy_in(more, b.data(), b.size(), &p);
            u.bin.cb = static_cast<ULONG>(b.size());
            u.bin.lpb = static_cast<LPBYTE>(p);
            break;
        }
        case PT_CLSID:
            hr = copy_in(more, v.get<GUID>(), sizeof(GUID), &p);
            u.lpguid = static_cast<LPGUID>(p);
            break;
        case PT_MV_LONG: {
            const auto& items = *v.get<std::vector<std::int32_t>>();
            hr = copy_in(more, items.data(), items.size() * sizeof(LONG), &p);
            u.MVl.cValues = static_cast<ULONG>(items.size());
            u.MVl.lpl = static_cast<LONG*>(p);
            break;
        }
        case PT_MV_STRING8: {
            const auto& items = *v.get<std::vector<std::string>>();
            hr = more(items.size() * sizeof(LPSTR), &p);
            if (FAILED(hr)) break;
            auto** list = static_cast<LPSTR*>(p);
            for (std::size_t i = 0; i < items.size() && SUCCEEDED(hr); ++i)
                hr = text(items[i], &list[i]);
            u.MVszA.cValues = static_cast<ULONG>(items.size());
            u.MVszA.lppszA = list;
            break;
        }
        case PT_MV_BINARY: {
            const auto& items = *v.get<std::vector<Bytes>>();
            hr = more(items.size() * sizeof(SBinary), &p);
            if (FAILED(hr)) break;
            auto* list = static_cast<SBinary*>(p);
            for (std::size_t i = 0; i < items.size() && SUCCEEDED(hr); ++i) {
                void* item = nullptr;
                hr = copy_in(more, items[i].data(), items[i].size(), &item);
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

// Chains every piece to root.
struct Chained {
    void* root;
    HRESULT operator()(std::size_t size, void** out) const { return alloc(size, root, out); }
};

constexpr std::size_t piece(std::size_t size) { return (size + 7) & ~std::size_t(7); }

// What value_to_mapi asks a Carving for, in pieces 8-aligned as MAPI's
// allocations are.
std::size_t pieces_size(const Value& v)
{
    switch (v.type()) {
        case PT_STRING8:
            return piece(v.get<std::string>()->size() + 1);
        case PT_UNICODE:
            return piece((v.get<std::u16string>()->size() + 1) * sizeof(WCHAR));
        case PT_BINARY:
            return piece(v.get<Bytes>()->size());
        case PT_CLSID:
            return piece(sizeof(GUID));
        case PT_MV_LONG:
            return piece(v.get<std::vector<std::int32_t>>()->size() * sizeof(LONG));
        case PT_MV_STRING8: {
            const auto& items = *v.get<std::vector<std::string>>();
            std::size_t total = piece(items.size() * sizeof(LPSTR));
            for (const auto& item : items) total += piece(item.size() + 1);
            return total;
        }
        case PT_MV_BINARY: {
            const auto& items = *v.get<std::vector<Bytes>>();
            std::size_t total = piece(items.size() * sizeof(SBinary));
            for (const auto& item : items) total += piece(item.size());
            return total;
        }
        default:
            return 0;
    }
}

// Hands out consecutive pieces of a block pieces_size measured.
struct Carving {
    unsigned char* next;
    HRESULT operator()(std::size_t size, void** out)
    {
        *out = next;
        next += piece(size);
        return S_OK;
    }
};

} // namespace

HRESULT alloc_bytes(const void* data, std::size_t size, void* root, void** out)
{
    Chained more{root};
    return copy_in(more, data, size, out);
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
    Chained more{root};
    return value_to_mapi(v, more, out);
}

namespace {

std::size_t pieces_size(const OutValue& v)
{
    if (v.value) return pieces_size(*v.value);
    const ULONG type = PROP_TYPE(v.tag);
    return type == PT_BINARY || type == PT_STRING8 ? piece(v.cb) : 0;
}

void put_value(const Value& v, Carving& carving, SPropValue& out)
{
    value_to_mapi(v, carving, out);
}

// Inline, with errors first: most values of a row or a message's column set
// are missing properties.
inline void put_value(const OutValue& v, Carving& carving, SPropValue& out)
{
    if (v.value) {
        value_to_mapi(*v.value, carving, out);
        return;
    }
    out.ulPropTag = v.tag;
    out.dwAlignPad = 0;
    std::memset(&out.Value, 0, sizeof out.Value);
    if (PROP_TYPE(v.tag) == PT_ERROR) {
        out.Value.err = v.scode;
        return;
    }
    void* p = nullptr;
    switch (PROP_TYPE(v.tag)) {
        case PT_LONG:
            out.Value.l = v.number;
            break;
        case PT_BOOLEAN:
            out.Value.b = v.number ? 1 : 0;
            break;
        case PT_BINARY:
            copy_in(carving, v.bytes, v.cb, &p);
            out.Value.bin.cb = v.cb;
            out.Value.bin.lpb = static_cast<LPBYTE>(p);
            break;
        case PT_STRING8:
            copy_in(carving, v.bytes, v.cb, &p);
            out.Value.lpszA = static_cast<char*>(p);
            break;
        default:
            out.Value.err = v.scode;
            break;
    }
}

} // namespace

OutValue OutValue::inline_bytes(ULONG tag, const void* data, std::size_t size)
{
    OutValue v;
    v.tag = tag;
    v.cb = static_cast<std::uint32_t>(size);
    if (size) std::memcpy(v.bytes, data, size);
    return v;
}

namespace {

// A run of values as prop_array_of takes them.
struct OutValues {
    const OutValue* first;
    std::size_t n;
    std::size_t size() const { return n; }
    const OutValue& operator[](std::size_t i) const { return first[i]; }
    const OutValue* begin() const { return first; }
    const OutValue* end() const { return first + n; }
};

template <class Values>
HRESULT prop_array_of(const Values& values, ULONG* count, SPropValue** out)
{
    *out = nullptr;
    *count = 0;
    // One block for the array and everything its values point to: a value
    // at a time, the allocations cost more than the copying.
    const std::size_t head = values.size() * sizeof(SPropValue);
    std::size_t total = head;
    for (const auto& v : values) total += pieces_size(v);
    void* p = nullptr;
    HRESULT hr = alloc(total, nullptr, &p);
    if (FAILED(hr)) return hr;
    auto* array = static_cast<SPropValue*>(p);
    Carving carving{static_cast<unsigned char*>(p) + head};
    for (std::size_t i = 0; i < values.size(); ++i) put_value(values[i], carving, array[i]);
    *count = static_cast<ULONG>(values.size());
    *out = array;
    return S_OK;
}

} // namespace

HRESULT make_prop_array(const std::vector<Value>& values, ULONG* count, SPropValue** out)
{
    return prop_array_of(values, count, out);
}

HRESULT make_prop_array(const std::vector<OutValue>& values, ULONG* count, SPropValue** out)
{
    return prop_array_of(values, count, out);
}

HRESULT make_prop_array(const OutValue* values, std::size_t n, ULONG* count, SPropValue** out)
{
    return prop_array_of(OutValues{values, n}, count, out);
}

namespace {

template <class Rows>
HRESULT row_set_of(const Rows& rows, SRowSet** out)
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

} // namespace

HRESULT make_row_set(const std::vector<std::vector<Value>>& rows, SRowSet** out)
{
    return row_set_of(rows, out);
}

HRESULT make_row_set(const std::vector<std::vector<OutValue>>& rows, SRowSet** out)
{
    return row_set_of(rows, out);
}

HRESULT RowSetBuilder::start(std::size_t rows)
{
    set_.reset();
    void* p = nullptr;
    HRESULT hr = alloc(CbNewSRowSet(rows), nullptr, &p);
    if (FAILED(hr)) return hr;
    set_.reset(static_cast<SRowSet*>(p));
    set_->cRows = 0;
    return S_OK;
}

HRESULT RowSetBuilder::add(const OutValue* values, std::size_t n)
{
    ULONG count = 0;
    SPropValue* props = nullptr;
    HRESULT hr = prop_array_of(OutValues{values, n}, &count, &props);
    if (FAILED(hr)) return hr;
    SRow& row = set_->aRow[set_->cRows++];
    row.ulAdrEntryPad = 0;
    row.cValues = count;
    row.lpProps = props;
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
