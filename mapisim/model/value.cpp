#include "mapisim/model/value.h"

#include <algorithm>
#include <cstring>

#include "mapisim/text/text.h"

namespace mapisim::model {
namespace {

ULONG with_type(ULONG tag, ULONG type) { return CHANGE_PROP_TYPE(tag, type); }

} // namespace

Value Value::i2(ULONG tag, std::int16_t v) { return Value(with_type(tag, PT_I2), v); }
Value Value::i4(ULONG tag, std::int32_t v) { return Value(with_type(tag, PT_LONG), v); }
Value Value::boolean(ULONG tag, bool v) { return Value(with_type(tag, PT_BOOLEAN), v); }
Value Value::i8(ULONG tag, std::int64_t v) { return Value(with_type(tag, PT_I8), v); }
Value Value::dbl(ULONG tag, double v) { return Value(with_type(tag, PT_DOUBLE), v); }
Value Value::systime(ULONG tag, FileTime v) { return Value(with_type(tag, PT_SYSTIME), v); }
Value Value::string8(ULONG tag, std::string v)
{
    return Value(with_type(tag, PT_STRING8), std::move(v));
}
Value Value::unicode(ULONG tag, std::u16string v)
{
    return Value(with_type(tag, PT_UNICODE), std::move(v));
}
Value Value::binary(ULONG tag, Bytes v) { return Value(with_type(tag, PT_BINARY), std::move(v)); }
Value Value::binary(ULONG tag, const void* data, std::size_t size)
{
    auto p = static_cast<const std::uint8_t*>(data);
    return binary(tag, size ? Bytes(p, p + size) : Bytes{});
}
Value Value::clsid(ULONG tag, const GUID& v) { return Value(with_type(tag, PT_CLSID), v); }
Value Value::mv_string8(ULONG tag, std::vector<std::string> v)
{
    return Value(with_type(tag, PT_MV_STRING8), std::move(v));
}
Value Value::mv_long(ULONG tag, std::vector<std::int32_t> v)
{
    return Value(with_type(tag, PT_MV_LONG), std::move(v));
}
Value Value::mv_binary(ULONG tag, std::vector<Bytes> v)
{
    return Value(with_type(tag, PT_MV_BINARY), std::move(v));
}
Value Value::error(ULONG tag, SCODE sc) { return Value(with_type(tag, PT_ERROR), ErrorCode{sc}); }

std::optional<Value> Value::from_mapi(const SPropValue& v)
{
    const ULONG tag = v.ulPropTag;
    const auto& u = v.Value;
    switch (PROP_TYPE(tag)) {
        case PT_I2:
            return i2(tag, u.i);
        case PT_LONG:
            return i4(tag, u.l);
        case PT_BOOLEAN:
            return boolean(tag, u.b != 0);
        case PT_I8:
            return i8(tag, u.li.QuadPart);
        case PT_DOUBLE:
            return dbl(tag, u.dbl);
        case PT_SYSTIME:
            return systime(
                tag, FileTime{(std::uint64_t(u.ft.dwHighDateTime) << 32) | u.ft.dwLowDateTime});
        case PT_ERROR:
            return error(tag, u.err);
        case PT_STRING8:
            if (!u.lpszA) return std::nullopt;
            return string8(tag, u.lpszA);
        case PT_UNICODE: {
            if (!u.lpszW) return std::nullopt;
            std::u16string s;
            for (const WCHAR* p = u.lpszW; *p; ++p) s.push_back(*p);
            return unicode(tag, std::move(s));
        }
        case PT_BINARY:
            if (u.bin.cb && !u.bin.lpb) return std::nullopt;
            return binary(tag, u.bin.lpb, u.bin.cb);
        case PT_CLSID:
            if (!u.lpguid) return std::nullopt;
            return clsid(tag, *u.lpguid);
        case PT_MV_STRING8: {
            if (u.MVszA.cValues && !u.MVszA.lppszA) return std::nullopt;
            std::vector<std::string> items;
            for (ULONG i = 0; i < u.MVszA.cValues; ++i) {
                if (!u.MVszA.lppszA[i]) return std::nullopt;
                items.emplace_back(u.MVszA.lppszA[i]);
            }
            return mv_string8(tag, std::move(items));
        }
        case PT_MV_LONG: {
            if (u.MVl.cValues && !u.MVl.lpl) return std::nullopt;
            return mv_long(tag, std::vector<std::int32_t>(u.MVl.lpl, u.MVl.lpl + u.MVl.cValues));
        }
        case PT_MV_BINARY: {
            if (u.MVbin.cValues && !u.MVbin.lpbin) return std::nullopt;
            std::vector<Bytes> items;
            for (ULONG i = 0; i < u.MVbin.cValues; ++i) {
                const SBinary& b = u.MVbin.lpbin[i];
                if (b.cb && !b.lpb) return std::nullopt;
                items.emplace_back(b.lpb, b.lpb + b.cb);
            }
            return mv_binary(tag, std::move(items));
        }
        default:
            return std::nullopt;
    }
}

std::size_t Value::payload_size() const
{
    if (auto s = get<std::string>()) return s->size() + 1;
    if (auto w = get<std::u16string>()) return (w->size() + 1) * 2;
    if (auto b = get<Bytes>()) return b->size();
    if (auto m = get<std::vector<std::string>>()) {
        std::size_t n = 0;
        for (auto& s : *m) n += s.size() + 1;
        return n;
    }
    if (auto m = get<std::vector<std::int32_t>>()) return m->size() * 4;
    if (auto m = get<std::vector<Bytes>>()) {
        std::size_t n = 0;
        for (auto& b : *m) n += b.size();
        return n;
    }
    return 0;
}

Value Value::converted(ULONG wanted) const
{
    if (wanted == PT_STRING8) {
        if (auto w = get<std::u16string>()) return string8(tag_, text::utf16_to_cp1252(*w));
    } else if (wanted == PT_UNICODE) {
        if (auto s = get<std::string>()) return unicode(tag_, text::cp1252_to_utf16(*s));
    }
    return *this;
}

namespace {
std::uint64_t counter = 1;
}

std::uint64_t generation() noexcept { return counter; }
void touch() noexcept { ++counter; }

const PropertyBag::Map& PropertyBag::map() const noexcept
{
    static const Map none;
    return values_ ? *values_ : none;
}

PropertyBag::Map& PropertyBag::own()
{
    if (!values_)
        values_ = std::make_shared<Map>();
    else if (values_.use_count() > 1)
        values_ = std::make_shared<Map>(*values_);
    return *values_;
}

void PropertyBag::set(Value v)
{
    touch();
    set_unwatched(std::move(v));
}

void PropertyBag::set_unwatched(Value v)
{
    const ULONG id = v.id();
    Map& values = own();
    auto it = values.begin() + (position(values, id) - values.data());
    if (it != values.end() && it->first == id)
        it->second = std::move(v);
    else
        values.emplace(it, id, std::move(v));
}

std::vector<std::uint32_t> PropertyBag::sort_by_id(const ULONG* tags, std::size_t n)
{
    std::vector<std::uint32_t> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<std::uint32_t>(i);
    std::stable_sort(order.begin(), order.end(), [tags](std::uint32_t a, std::uint32_t b) {
        return PROP_ID(tags[a]) < PROP_ID(tags[b]);
    });
    return order;
}

void PropertyBag::find_each(const ULONG* tags, const std::vector<std::uint32_t>& order,
                            const Value** out, ULONG skip_id) const noexcept
{
    const Map& values = map();
    auto at = values.begin();
    for (const std::uint32_t i : order) {
        const ULONG id = PROP_ID(tags[i]);
        while (at != values.end() && at->first < id) ++at;
        out[i] = at != values.end() && at->first == id && id != skip_id ? &at->second : nullptr;
    }
}

std::shared_ptr<const Value> PropertyBag::share(ULONG tag) const
{
    const Value* v = find(tag);
    if (!v) return nullptr;
    // Shares the ownership of all the values: own() copies shared values
    // before any change.
    return std::shared_ptr<const Value>(values_, v);
}

std::optional<Value> PropertyBag::get(ULONG tag) const
{
    const Value* v = find(tag);
    if (!v) return std::nullopt;
    const ULONG want = PROP_TYPE(tag);
    if (want == PT_UNSPECIFIED || want == v->type()) return *v;
    if ((want == PT_STRING8 && v->type() == PT_UNICODE) ||
        (want == PT_UNICODE && v->type() == PT_STRING8))
        return v->converted(want);
    return std::nullopt;
}

bool PropertyBag::erase(ULONG tag)
{
    touch();
    if (!find(tag)) return false;
    Map& values = own();
    values.erase(values.begin() + (position(values, PROP_ID(tag)) - values.data()));
    return true;
}

std::optional<std::string> PropertyBag::text(ULONG tag) const
{
    auto v = get(CHANGE_PROP_TYPE(tag, PT_STRING8));
    if (!v) return std::nullopt;
    return *v->get<std::string>();
}

std::optional<std::int32_t> PropertyBag::i4(ULONG tag) const
{
    const Value* v = find(tag);
    if (!v || !v->get<std::int32_t>()) return std::nullopt;
    return *v->get<std::int32_t>();
}

std::optional<bool> PropertyBag::boolean(ULONG tag) const
{
    const Value* v = find(tag);
    if (!v || !v->get<bool>()) return std::nullopt;
    return *v->get<bool>();
}

ULONG NameMap::id_of(const NamedId& name)
{
    if (auto id = find(name)) return *id;
    const ULONG id = 0x8000 + static_cast<ULONG>(entries_.size());
    if (id > 0xFFFE) return 0;
    entries_.emplace_back(id, name);
    return id;
}

std::optional<ULONG> NameMap::find(const NamedId& name) const
{
    for (auto& [id, n] : entries_)
        if (n == name) return id;
    return std::nullopt;
}

const NamedId* NameMap::name_of(ULONG id) const
{
    if (id < 0x8000 || id - 0x8000 >= entries_.size()) return nullptr;
    return &entries_[id - 0x8000].second;
}

} // namespace mapisim::model
