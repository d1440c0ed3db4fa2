#include "mapisim/loader/outlook_values.h"

#include <cstring>

#include "mapisim/decl/mapitags.h"
#include "mapisim/text/text.h"

namespace mapisim::loader::outlook {
namespace {

template <class T>
T little(const std::uint8_t* p)
{
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) v |= std::uint64_t{p[i]} << (8 * i);
    T out;
    if constexpr (sizeof(T) == 8) {
        std::memcpy(&out, &v, 8);
    } else {
        out = static_cast<T>(v);
    }
    return out;
}

std::string without_terminators(std::string s)
{
    while (!s.empty() && s.back() == '\0') s.pop_back();
    return s;
}

std::u16string without_terminators(std::u16string s)
{
    while (!s.empty() && s.back() == u'\0') s.pop_back();
    return s;
}

} // namespace

std::u16string utf16le(const std::uint8_t* data, std::size_t size)
{
    std::u16string out(size / 2, u'\0');
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    return out;
}

std::optional<Value> fixed_value(ULONG tag, const std::uint8_t* p, std::size_t size)
{
    auto fits = [&](std::size_t n) { return p && size >= n; };
    switch (PROP_TYPE(tag)) {
        case PT_I2:
            if (fits(2)) return Value::i2(tag, little<std::int16_t>(p));
            break;
        case PT_LONG:
            if (fits(4)) return Value::i4(tag, little<std::int32_t>(p));
            break;
        case PT_BOOLEAN:
            if (fits(1)) return Value::boolean(tag, p[0] != 0);
            break;
        case PT_DOUBLE:
            if (fits(8)) return Value::dbl(tag, little<double>(p));
            break;
        case PT_I8:
            if (fits(8)) return Value::i8(tag, little<std::int64_t>(p));
            break;
        case PT_SYSTIME:
            if (fits(8)) return Value::systime(tag, model::FileTime{little<std::uint64_t>(p)});
            break;
        case PT_ERROR:
            if (fits(4)) return Value::error(tag, little<std::int32_t>(p));
            break;
        default:
            break;
    }
    return std::nullopt;
}

std::optional<Value> variable_value(ULONG tag, Bytes data)
{
    switch (PROP_TYPE(tag)) {
        case PT_STRING8:
            return Value::string8(tag, without_terminators(std::string(data.begin(), data.end())));
        case PT_UNICODE:
            return Value::unicode(tag, without_terminators(utf16le(data.data(), data.size())));
        case PT_BINARY:
            if (PROP_ID(tag) == PROP_ID(PR_HTML))
                return Value::string8(PR_BODY_HTML_A,
                                      without_terminators(std::string(data.begin(), data.end())));
            return Value::binary(tag, std::move(data));
        case PT_CLSID: {
            if (data.size() < sizeof(GUID)) return std::nullopt;
            GUID g;
            std::memcpy(&g, data.data(), sizeof g);
            return Value::clsid(tag, g);
        }
        default:
            return std::nullopt;
    }
}

std::optional<Value> multi_value(ULONG tag, std::vector<Bytes> items)
{
    switch (PROP_TYPE(tag)) {
        case PT_MV_STRING8: {
            std::vector<std::string> texts;
            for (auto& b : items)
                texts.push_back(without_terminators(std::string(b.begin(), b.end())));
            return Value::mv_string8(tag, std::move(texts));
        }
        case PT_MV_UNICODE: {
            std::vector<std::string> texts;
            for (auto& b : items)
                texts.push_back(
                    text::utf16_to_cp1252(without_terminators(utf16le(b.data(), b.size()))));
            return Value::mv_string8(tag, std::move(texts));
        }
        case PT_MV_BINARY:
            return Value::mv_binary(tag, std::move(items));
        default:
            return std::nullopt;
    }
}

std::optional<Value> multi_long(ULONG tag, const Bytes& packed)
{
    std::vector<std::int32_t> items;
    for (std::size_t i = 0; i + 4 <= packed.size(); i += 4)
        items.push_back(little<std::int32_t>(packed.data() + i));
    return Value::mv_long(tag, std::move(items));
}

} // namespace mapisim::loader::outlook
