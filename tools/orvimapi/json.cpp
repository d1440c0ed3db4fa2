#include "json.h"

#include <cstdio>

#include "mapisim/text/text.h"

namespace orvimapi {

std::string JsonQuote(const std::string& text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            // Well-formed UTF-8 stays; any other byte is read as code page 1252.
            if (const size_t length = mapisim::text::utf8_sequence_length(text, i)) {
                out.append(text, i, length);
                i += length;
            } else {
                mapisim::text::append_utf8(out, mapisim::text::from_cp1252(c));
                ++i;
            }
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
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

} // namespace orvimapi
