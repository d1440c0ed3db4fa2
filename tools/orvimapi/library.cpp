#include "library.h"

#include <cstdio>

namespace orvimapi {

namespace {

// The value of one "Error X: value " line of the last-error text.
std::string Field(const std::string& text, const std::string& label)
{
    const size_t start = text.find(label);
    if (start == std::string::npos) return {};
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string value = text.substr(start + label.size(), end - start - label.size());
    // System texts end in CR LF and every field in a blank: keep the words.
    while (!value.empty() && (value.back() == ' ' || value.back() == '\r' || value.back() == '\n'))
        value.pop_back();
    return value;
}

}  // namespace

void Usage(const std::string& message) { throw CommandFailure(message, 2); }

std::string LastErrorLine()
{
    char buffer[3000];
    uint32_t length = 0;
    OrviMapiGetLastError(buffer, sizeof buffer, &length);
    if (length == 0) return "no failure recorded";
    const std::string text(buffer, length);
    std::string line = Field(text, "Error Text: ");
    const std::string code = Field(text, "Error Code: ");
    if (code != "none") line += " [" + code + "]";
    return line + " at " + Field(text, "Error Loc: ");
}

void Fail(const std::string& what) { throw CommandFailure(what + ": " + LastErrorLine()); }

std::string Hex(const unsigned char* bytes, size_t size)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0xF];
    }
    return out;
}

bool ParseHex(const std::string& text, Bytes& out)
{
    const auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (text.empty() || text.size() % 2 != 0) return false;
    out.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = nibble(text[i]), low = nibble(text[i + 1]);
        if (high < 0 || low < 0) return false;
        out.push_back(static_cast<unsigned char>(high << 4 | low));
    }
    return true;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

Session::Session(const std::string& profile)
{
    if (OrviMapiStart(profile.c_str(), 0) != 0) Fail("cannot start a MAPI session");
}

Session::~Session() { OrviMapiStop(); }

}  // namespace orvimapi
