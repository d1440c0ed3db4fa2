#include "json.h"

#include <cstdio>

namespace orvimapi {

namespace {

// Windows-1252 bytes 0x80-0x9F that differ from Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Length of the valid UTF-8 sequence starting at text[i], or 0.
size_t Utf8SequenceLength(const std::string& text, size_t i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    return length;
}

}  // namespace

std::string JsonQuote(const std::string& text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            if (const size_t length = Utf8SequenceLength(text, i)) {
                out.append(text, i, length);
                i += length;
            } else {
                AppendUtf8(out, c < 0xA0 ? kCp1252High[c - 0x80] : c);
                ++i;
            }
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    return out + "\"";
}

Json& Json::set(const std::string& key, Json value)
{
    auto& members = std::get<Object>(value_);
    members.emplace_back(key, std::move(value));
    return members.back().second;
}

Json& Json::push(Json value)
{
    auto& elements = std::get<Array>(value_);
    elements.push_back(std::move(value));
    return elements.back();
}

const Json* Json::find(const std::string& key) const
{
    if (const auto* members = std::get_if<Object>(&value_))
        for (const auto& [name, value] : *members)
            if (name == key) return &value;
    return nullptr;
}

std::string Json::text() const
{
    if (const auto* s = std::get_if<std::string>(&value_)) return *s;
    return dump(false);
}

std::string Json::dump(bool pretty) const
{
    std::string out;
    write(out, pretty, 0);
    return out;
}

void Json::write(std::string& out, bool pretty, int depth) const
{
    const auto newline = [&](int level) {
        if (!pretty) return;
        out += '\n';
        out.append(static_cast<size_t>(level) * 2, ' ');
    };
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::nullptr_t>) {
                out += "null";
            } else if constexpr (std::is_same_v<T, bool>) {
                out += v ? "true" : "false";
            } else if constexpr (std::is_same_v<T, int64_t>) {
                out += std::to_string(v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                out += JsonQuote(v);
            } else if constexpr (std::is_same_v<T, Array>) {
                out += '[';
                for (size_t i = 0; i < v.size(); ++i) {
                    if (i > 0) out += ',';
                    newline(depth + 1);
                    v[i].write(out, pretty, depth + 1);
                }
                if (!v.empty()) newline(depth);
                out += ']';
            } else {
                out += '{';
                for (size_t i = 0; i < v.size(); ++i) {
                    if (i > 0) out += ',';
                    newline(depth + 1);
                    out += JsonQuote(v[i].first);
                    out += pretty ? ": " : ":";
                    v[i].second.write(out, pretty, depth + 1);
                }
                if (!v.empty()) newline(depth);
                out += '}';
            }
        },
        value_);
}

}  // namespace orvimapi
