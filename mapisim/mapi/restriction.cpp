#include "mapisim/mapi/restriction.h"

#include <algorithm>
#include <cstring>

#include "mapisim/mapi/props.h"
#include "mapisim/model/mailbox.h"
#include "mapisim/text/text.h"

namespace mapisim::mapi {

using model::Bytes;

namespace {

constexpr int kMaxDepth = 64;

HRESULT copy_value(const SPropValue* p, ULONG tag, Res& out)
{
    if (!p) return MAPI_E_INVALID_PARAMETER;
    auto v = Value::from_mapi(*p);
    if (!v) return MAPI_E_INVALID_PARAMETER;
    // Compare in the tag's type: a _W value against an _A column is converted.
    auto f = fit(v, CHANGE_PROP_TYPE(tag, (PROP_TYPE(tag) & ~MV_FLAG)));
    out.value = f ? *f : *v;
    return S_OK;
}

HRESULT copy(const SRestriction& in, Res& out, int depth)
{
    if (depth > kMaxDepth) return MAPI_E_TOO_COMPLEX;
    out.rt = in.rt;
    switch (in.rt) {
        case RES_AND:
        case RES_OR: {
            const ULONG n = in.rt == RES_AND ? in.res.resAnd.cRes : in.res.resOr.cRes;
            const SRestriction* list = in.rt == RES_AND ? in.res.resAnd.lpRes : in.res.resOr.lpRes;
            if (n && !list) return MAPI_E_INVALID_PARAMETER;
            if (n > 100000) return MAPI_E_TOO_COMPLEX;
            out.children.resize(n);
            for (ULONG i = 0; i < n; ++i)
                if (HRESULT hr = copy(list[i], out.children[i], depth + 1); FAILED(hr)) return hr;
            return S_OK;
        }
        case RES_NOT: {
            if (!in.res.resNot.lpRes) return MAPI_E_INVALID_PARAMETER;
            out.children.resize(1);
            return copy(*in.res.resNot.lpRes, out.children[0], depth + 1);
        }
        case RES_CONTENT: {
            const auto& c = in.res.resContent;
            const ULONG type = PROP_TYPE(c.ulPropTag) & ~MV_FLAG;
            if (type != PT_STRING8 && type != PT_UNICODE && type != PT_BINARY)
                return MAPI_E_TOO_COMPLEX;
            out.op = c.ulFuzzyLevel;
            out.tag = c.ulPropTag;
            return copy_value(c.lpProp, c.ulPropTag, out);
        }
        case RES_PROPERTY: {
            const auto& p = in.res.resProperty;
            if (p.relop > RELOP_NE)
                return p.relop == RELOP_RE ? MAPI_E_TOO_COMPLEX : MAPI_E_INVALID_PARAMETER;
            out.op = p.relop;
            out.tag = p.ulPropTag;
            return copy_value(p.lpProp, p.ulPropTag, out);
        }
        case RES_COMPAREPROPS: {
            const auto& p = in.res.resCompareProps;
            if (p.relop > RELOP_NE) return MAPI_E_TOO_COMPLEX;
            out.op = p.relop;
            out.tag = p.ulPropTag1;
            out.tag2 = p.ulPropTag2;
            return S_OK;
        }
        case RES_BITMASK:
            if (in.res.resBitMask.relBMR > BMR_NEZ) return MAPI_E_INVALID_PARAMETER;
            out.op = in.res.resBitMask.relBMR;
            out.tag = in.res.resBitMask.ulPropTag;
            out.num = in.res.resBitMask.ulMask;
            return S_OK;
        case RES_SIZE:
            if (in.res.resSize.relop > RELOP_NE) return MAPI_E_TOO_COMPLEX;
            out.op = in.res.resSize.relop;
            out.tag = in.res.resSize.ulPropTag;
            out.num = in.res.resSize.cb;
            return S_OK;
        case RES_EXIST:
            out.tag = in.res.resExist.ulPropTag;
            return S_OK;
        case RES_COMMENT:
            if (in.res.resComment.lpRes) {
                out.children.resize(1);
                return copy(*in.res.resComment.lpRes, out.children[0], depth + 1);
            }
            return S_OK;
        default:
            return MAPI_E_TOO_COMPLEX;
    }
}

char16_t fold16(char16_t c)
{
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
    return c;
}

int compare_wide(const std::u16string& a, const std::u16string& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = fold16(a[i]), y = fold16(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int compare_text(const std::string& a, const std::string& b)
{
    const std::string x = model::fold_case(a), y = model::fold_case(b);
    const int c = std::memcmp(x.data(), y.data(), std::min(x.size(), y.size()));
    if (c) return c < 0 ? -1 : 1;
    return x.size() == y.size() ? 0 : (x.size() < y.size() ? -1 : 1);
}

int compare_bytes(const Bytes& a, const Bytes& b)
{
    const int c =
        a.empty() || b.empty() ? 0 : std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (c) return c < 0 ? -1 : 1;
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

template <class T>
int three_way(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Values of one type (the caller fits both to the tag's type).
int compare_same(const Value& a, const Value& b)
{
    return std::visit(
        [&](const auto& x) -> int {
            using T = std::decay_t<decltype(x)>;
            const T* y = b.get<T>();
            if (!y) return three_way(a.data().index(), b.data().index());
            if constexpr (std::is_same_v<T, std::string>)
                return compare_text(x, *y);
            else if constexpr (std::is_same_v<T, std::u16string>)
                return compare_wide(x, *y);
            else if constexpr (std::is_same_v<T, Bytes>)
                return compare_bytes(x, *y);
            else if constexpr (std::is_same_v<T, model::FileTime>)
                return three_way(x.ticks, y->ticks);
            else if constexpr (std::is_same_v<T, GUID>)
                return std::memcmp(&x, y, sizeof x) < 0 ? -1 : (std::memcmp(&x, y, sizeof x) > 0);
            else if constexpr (std::is_same_v<T, model::ErrorCode>)
                return three_way(x.scode, y->scode);
            else if constexpr (std::is_same_v<T, std::monostate>)
                return 0;
            else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
                for (std::size_t i = 0; i < x.size() && i < y->size(); ++i)
                    if (int c = compare_text(x[i], (*y)[i])) return c;
                return three_way(x.size(), y->size());
            } else if constexpr (std::is_same_v<T, std::vector<Bytes>>) {
                for (std::size_t i = 0; i < x.size() && i < y->size(); ++i)
                    if (int c = compare_bytes(x[i], (*y)[i])) return c;
                return three_way(x.size(), y->size());
            } else {
                return three_way(x, *y);
            }
        },
        a.data());
}

bool relop_holds(ULONG relop, int c)
{
    switch (relop) {
        case RELOP_LT:
            return c < 0;
        case RELOP_LE:
            return c <= 0;
        case RELOP_GT:
            return c > 0;
        case RELOP_GE:
            return c >= 0;
        case RELOP_EQ:
            return c == 0;
        case RELOP_NE:
            return c != 0;
        default:
            return false;
    }
}

// The single values of a property, one per item for multi-valued ones.
std::vector<Value> items(const Value& v)
{
    std::vector<Value> out;
    const ULONG single = CHANGE_PROP_TYPE(v.tag(), (v.type() & ~MV_FLAG));
    if (auto m = v.get<std::vector<std::string>>())
        for (auto& s : *m) out.push_back(Value::string8(single, s));
    else if (auto l = v.get<std::vector<std::int32_t>>())
        for (auto x : *l) out.push_back(Value::i4(single, x));
    else if (auto b = v.get<std::vector<Bytes>>())
        for (auto& x : *b) out.push_back(Value::binary(single, x));
    else
        out.push_back(v);
    return out;
}

bool content_matches(const Value& row, const Value& want, ULONG fuzzy)
{
    const bool nocase = fuzzy & (FL_IGNORECASE | FL_LOOSE);
    const ULONG how = fuzzy & 0xFFFF;
    auto match = [&](std::string_view hay, std::string_view needle) {
        if (how == FL_SUBSTRING) return hay.find(needle) != std::string_view::npos;
        if (how == FL_PREFIX) return hay.substr(0, needle.size()) == needle;
        return hay == needle;
    };
    if (auto b = row.get<Bytes>()) {
        auto n = want.get<Bytes>();
        if (!n) return false;
        return match(std::string_view(reinterpret_cast<const char*>(b->data()), b->size()),
                     std::string_view(reinterpret_cast<const char*>(n->data()), n->size()));
    }
    auto as8 = [](const Value& v) -> std::optional<std::string> {
        if (auto s = v.get<std::string>()) return *s;
        if (auto w = v.get<std::u16string>()) return text::utf16_to_cp1252(*w);
        return std::nullopt;
    };
    auto hay = as8(row), needle = as8(want);
    if (!hay || !needle) return false;
    if (nocase) return match(model::fold_case(*hay), model::fold_case(*needle));
    return match(*hay, *needle);
}

std::optional<Value> present(const Getter& get, ULONG tag)
{
    auto v = get(tag);
    if (!v || v->is_error()) return std::nullopt;
    return v;
}

} // namespace

HRESULT copy_restriction(const SRestriction& in, Res& out)
{
    out = Res{};
    return copy(in, out, 0);
}

int compare(const std::optional<Value>& a, const std::optional<Value>& b)
{
    const bool ha = a && !a->is_error(), hb = b && !b->is_error();
    if (!ha || !hb) return ha == hb ? 0 : (ha ? 1 : -1);
    return compare_same(*a, *b);
}

bool evaluate(const Res& r, const Getter& get)
{
    switch (r.rt) {
        case RES_AND:
            return std::all_of(r.children.begin(), r.children.end(),
                               [&](const Res& c) { return evaluate(c, get); });
        case RES_OR:
            return std::any_of(r.children.begin(), r.children.end(),
                               [&](const Res& c) { return evaluate(c, get); });
        case RES_NOT:
            return !evaluate(r.children[0], get);
        case RES_COMMENT:
            return r.children.empty() || evaluate(r.children[0], get);
        case RES_EXIST:
            return present(get, r.tag).has_value();
        case RES_PROPERTY: {
            auto v = present(get, r.tag);
            // A missing property differs from every value and matches nothing else.
            if (!v) return r.op == RELOP_NE;
            for (const Value& item : items(*v))
                if (relop_holds(r.op, compare(item, r.value))) return true;
            return false;
        }
        case RES_CONTENT: {
            auto v = present(get, r.tag);
            if (!v) return false;
            for (const Value& item : items(*v))
                if (content_matches(item, *r.value, r.op)) return true;
            return false;
        }
        case RES_COMPAREPROPS: {
            auto a = present(get, r.tag);
            auto b = present(get, r.tag2);
            if (!a || !b) return false;
            return relop_holds(r.op, compare(a, fit(b, a->tag())));
        }
        case RES_BITMASK: {
            auto v = present(get, r.tag);
            if (!v || !v->get<std::int32_t>()) return false;
            const bool zero = (static_cast<ULONG>(*v->get<std::int32_t>()) & r.num) == 0;
            return r.op == BMR_EQZ ? zero : !zero;
        }
        case RES_SIZE: {
            auto v = present(get, r.tag);
            if (!v) return false;
            const auto size = static_cast<long long>(v->payload_size());
            return relop_holds(r.op, size < r.num ? -1 : (size > r.num ? 1 : 0));
        }
        default:
            return false;
    }
}

} // namespace mapisim::mapi
