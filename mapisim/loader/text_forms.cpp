// Text and byte forms of the description: code page 1252 text (from the
// UTF-8 of the file, through mapisim/text), lines, UTF-16 text, bytes as
// hex, base64 or text, GUIDs and property sets.
#include <cstdio>
#include <cstring>

#include "mapisim/loader/description.h"
#include "mapisim/text/text.h"

namespace mapisim::loader::description {

namespace {

int base64_digit(char c)
{
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

} // namespace

std::string Loader::to_cp1252(const J& v, std::string_view utf8) const
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        // Runs of ASCII (all of most bodies) copy as they are.
        const std::size_t run = i;
        while (i < utf8.size() && utf8[i] > 0 && static_cast<unsigned char>(utf8[i]) < 0x80) ++i;
        out.append(utf8, run, i - run);
        if (i == utf8.size()) break;
        const char32_t cp = text::next_utf8(utf8, i);
        if (cp == 0) fail(v, "text may not hold a NUL character");
        if (const auto byte = text::to_cp1252(cp)) {
            out += static_cast<char>(*byte);
            continue;
        }
        char buf[16];
        std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
        fail(v, std::string("code page 1252 has no character ") + buf +
                    " (give such text to a property of type 001F, PT_UNICODE)");
    }
    return out;
}

std::string Loader::text8(const J& v)
{
    if (v.is_object()) {
        Bytes b = bytes(v);
        for (const auto c : b)
            if (c == 0) fail(v, "text may not hold a NUL byte");
        return std::string(b.begin(), b.end());
    }
    if (!v.is_string()) fail(v, "expected a string");
    // Without templates the text is converted where it stands, not copied first.
    if (!repeat_.on) return to_cp1252(v, v.text());
    return to_cp1252(v, str(v));
}

std::string Loader::lines8(const J& v)
{
    if (!v.is_array()) return text8(v);
    std::string out;
    for (std::size_t i = 0; i < v.items().size(); ++i) {
        Step step(*this, i);
        if (i) out += "\r\n";
        out += text8(v.items()[i]);
    }
    return out;
}

std::u16string Loader::text16(const J& v)
{
    const std::string s = str(v);
    if (s.find('\0') != std::string::npos) fail(v, "text may not hold a NUL character");
    return text::utf8_to_utf16(s);
}

Bytes Loader::bytes(const J& v)
{
    if (!v.is_object() || v.members().size() != 1)
        fail(v, "expected bytes: an object with one of \"hex\", \"base64\" or \"text\"");
    const auto& [kind, data] = v.members()[0];
    Step step(*this, kind);
    Bytes out;
    if (kind == "text") {
        const std::string s = str(data);
        out.assign(s.begin(), s.end());
    } else if (kind == "hex") {
        const std::string s = str(data);
        for (std::size_t i = 0; i < s.size();) {
            if (s[i] == ' ') {
                ++i;
                continue;
            }
            const int hi = hex_digit(s[i]);
            const int lo = i + 1 < s.size() ? hex_digit(s[i + 1]) : -1;
            if (hi < 0 || lo < 0) fail(data, "expected pairs of hexadecimal digits");
            out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
            i += 2;
        }
    } else if (kind == "base64") {
        std::string s;
        if (data.is_array()) {
            for (std::size_t i = 0; i < data.items().size(); ++i) {
                Step item(*this, i);
                s += str(data.items()[i]);
            }
        } else {
            s = str(data);
        }
        if (s.size() % 4 != 0) fail(data, "base64 text must come in groups of four characters");
        out.reserve(s.size() / 4 * 3);
        for (std::size_t i = 0; i < s.size(); i += 4) {
            int d[4];
            int pad = 0;
            for (int k = 0; k < 4; ++k) {
                const char c = s[i + k];
                if (c == '=' && i + 4 == s.size() && k >= 2) {
                    d[k] = 0;
                    ++pad;
                } else if (pad || (d[k] = base64_digit(c)) < 0) {
                    fail(data, "not base64 text");
                }
            }
            const std::uint32_t g =
                static_cast<std::uint32_t>(d[0] << 18 | d[1] << 12 | d[2] << 6 | d[3]);
            out.push_back(static_cast<std::uint8_t>(g >> 16));
            if (pad < 2) out.push_back(static_cast<std::uint8_t>(g >> 8));
            if (pad < 1) out.push_back(static_cast<std::uint8_t>(g));
        }
    } else {
        fail(data,
             "unknown kind of bytes " + quote(kind) + "; expected \"hex\", \"base64\" or \"text\"");
    }
    return out;
}

GUID Loader::guid(const J& v, const std::string& s) const
{
    // {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}
    static const char kShape[] = "{........-....-....-....-............}";
    bool ok = s.size() == sizeof kShape - 1;
    for (std::size_t i = 0; ok && i < s.size(); ++i)
        ok = kShape[i] == '.' ? hex_digit(s[i]) >= 0 : s[i] == kShape[i];
    if (!ok) fail(v, "expected a GUID such as \"{00062008-0000-0000-C000-000000000046}\"");
    auto hex = [&](std::size_t at, std::size_t n) {
        std::uint32_t x = 0;
        for (std::size_t i = 0; i < n; ++i)
            x = x << 4 | static_cast<std::uint32_t>(hex_digit(s[at + i]));
        return x;
    };
    GUID g{};
    g.Data1 = hex(1, 8);
    g.Data2 = static_cast<std::uint16_t>(hex(10, 4));
    g.Data3 = static_cast<std::uint16_t>(hex(15, 4));
    g.Data4[0] = static_cast<std::uint8_t>(hex(20, 2));
    g.Data4[1] = static_cast<std::uint8_t>(hex(22, 2));
    for (int k = 0; k < 6; ++k) g.Data4[2 + k] = static_cast<std::uint8_t>(hex(25 + 2 * k, 2));
    return g;
}

GUID Loader::property_set(const J& v)
{
    const std::string s = str(v);
    static const std::pair<const char*, GUID> kSets[] = {
        {"PS_PUBLIC_STRINGS", model::PS_PUBLIC_STRINGS},
        {"PS_MAPI", model::PS_MAPI},
        {"PSETID_Common", model::PSETID_Common},
        {"PSETID_Address", model::PSETID_Address},
        {"PSETID_Appointment", model::PSETID_Appointment},
        {"PSETID_Task", model::PSETID_Task}};
    for (const auto& [name, g] : kSets)
        if (s == name) return g;
    if (s.empty() || s[0] != '{')
        fail(v, "unknown property set " + quote(s) +
                    "; expected PS_PUBLIC_STRINGS, PS_MAPI, PSETID_Common, PSETID_Address, "
                    "PSETID_Appointment, PSETID_Task or a GUID in braces");
    return guid(v, s);
}

} // namespace mapisim::loader::description
