#include "mapisim/text/text.h"

namespace mapisim::text {
namespace {

// Code page 1252's characters of the bytes 0x80-0x9F, where it differs
// from Latin-1; 0 where it has none.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool is_surrogate(char32_t c) { return c >= 0xD800 && c < 0xE000; }

} // namespace

char32_t from_cp1252(unsigned char byte)
{
    if (byte < 0x80 || byte >= 0xA0) return byte;
    const char16_t c = kCp1252High[byte - 0x80];
    return c ? c : kReplacement;
}

std::optional<unsigned char> to_cp1252(char32_t code)
{
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<unsigned char>(code);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] && kCp1252High[i] == code) return static_cast<unsigned char>(0x80 + i);
    return std::nullopt;
}

std::size_t utf8_sequence_length(std::string_view s, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return 1;
    const std::size_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (n == 0 || lead > 0xF4 || lead == 0xC0 || lead == 0xC1 || i + n > s.size()) return 0;
    char32_t code = lead & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(i + k) & 0x3F);
    }
    const char32_t least = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
    if (code < least || code > 0x10FFFF || is_surrogate(code)) return 0;
    return n;
}

char32_t next_utf8(std::string_view s, std::size_t& i)
{
    const std::size_t n = utf8_sequence_length(s, i);
    if (n == 0) {
        ++i;
        return kReplacement;
    }
    const auto lead = static_cast<unsigned char>(s[i]);
    char32_t code = n == 1 ? lead : lead & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k)
        code = code << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += n;
    return code;
}

void append_utf8(std::string& out, char32_t code)
{
    if (code > 0x10FFFF || is_surrogate(code)) code = kReplacement;
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

void append_utf16(std::u16string& out, char32_t code)
{
    if (code > 0x10FFFF || is_surrogate(code)) code = kReplacement;
    if (code < 0x10000) {
        out.push_back(static_cast<char16_t>(code));
        return;
    }
    code -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
}

std::u16string cp1252_to_utf16(std::string_view s)
{
    std::u16string out;
    out.reserve(s.size());
    for (unsigned char c : s) out.push_back(static_cast<char16_t>(from_cp1252(c)));
    return out;
}

std::string utf16_to_cp1252(std::u16string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char16_t w : s) out.push_back(static_cast<char>(to_cp1252(w).value_or('?')));
    return out;
}

std::u16string utf8_to_utf16(std::string_view s)
{
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) append_utf16(out, next_utf8(s, i));
    return out;
}

std::string utf16_to_utf8(std::u16string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t code = s[i];
        const bool pair = code >= 0xD800 && code < 0xDC00 && i + 1 < s.size() &&
                          s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000;
        if (pair) code = 0x10000 + ((code - 0xD800) << 10) + (s[++i] - 0xDC00);
        append_utf8(out, code);
    }
    return out;
}

} // namespace mapisim::text
