#include "library.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

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

std::string LastErrorText()
{
    char buffer[3000];
    uint32_t length = 0;
    OrviMapiGetLastError(buffer, sizeof buffer, &length);
    return std::string(buffer, length);
}

struct NamedResult {
    uint32_t result;
    const char* name;
};

// The failures MAPI and the platform report to this command's calls.
constexpr NamedResult kResultNames[] = {
    {0x80004005, "MAPI_E_CALL_FAILED"},       {0x8007000E, "MAPI_E_NOT_ENOUGH_MEMORY"},
    {0x80070057, "MAPI_E_INVALID_PARAMETER"}, {0x80004002, "MAPI_E_INTERFACE_NOT_SUPPORTED"},
    {0x80070005, "MAPI_E_NO_ACCESS"},         {0x80040102, "MAPI_E_NO_SUPPORT"},
    {0x80040103, "MAPI_E_BAD_CHARWIDTH"},     {0x80040105, "MAPI_E_STRING_TOO_LONG"},
    {0x80040106, "MAPI_E_UNKNOWN_FLAGS"},     {0x80040107, "MAPI_E_INVALID_ENTRYID"},
    {0x80040108, "MAPI_E_INVALID_OBJECT"},    {0x80040109, "MAPI_E_OBJECT_CHANGED"},
    {0x8004010A, "MAPI_E_OBJECT_DELETED"},    {0x8004010B, "MAPI_E_BUSY"},
    {0x8004010D, "MAPI_E_NOT_ENOUGH_DISK"},   {0x8004010E, "MAPI_E_NOT_ENOUGH_RESOURCES"},
    {0x8004010F, "MAPI_E_NOT_FOUND"},         {0x80040110, "MAPI_E_VERSION"},
    {0x80040111, "MAPI_E_LOGON_FAILED"},      {0x80040112, "MAPI_E_SESSION_LIMIT"},
    {0x80040113, "MAPI_E_USER_CANCEL"},       {0x80040115, "MAPI_E_NETWORK_ERROR"},
    {0x80040116, "MAPI_E_DISK_ERROR"},        {0x80040117, "MAPI_E_TOO_COMPLEX"},
    {0x80040118, "MAPI_E_BAD_COLUMN"},        {0x8004011B, "MAPI_E_CORRUPT_DATA"},
    {0x8004011C, "MAPI_E_UNCONFIGURED"},      {0x80040201, "MAPI_E_UNKNOWN_ENTRYID"},
    {0x80040301, "MAPI_E_BAD_VALUE"},         {0x80040302, "MAPI_E_INVALID_TYPE"},
    {0x80040305, "MAPI_E_TOO_BIG"},           {0x80040401, "MAPI_E_TIMEOUT"},
    {0x80040402, "MAPI_E_TABLE_EMPTY"},       {0x80040600, "MAPI_E_CORRUPT_STORE"},
    {0x80040604, "MAPI_E_COLLISION"},         {0x80040605, "MAPI_E_NOT_INITIALIZED"},
    {0x80040609, "MAPI_E_HAS_FOLDERS"},       {0x8004060A, "MAPI_E_HAS_MESSAGES"},
    {0x8004060B, "MAPI_E_FOLDER_CYCLE"},
};

// The facility numbers behind the library's facility texts; "Facility N/A"
// stands for several and is left out.
constexpr const char* kFacilityNames[] = {"NULL",    "RPC",   "DIPATCH", "STORAGE", "ITF",
                                          nullptr,   nullptr, "WIN32",   "WINDOWS", "SSPI",
                                          "CONTROL", "CERT",  "INTERNET"};

} // namespace

void Usage(const std::string& message) { throw CommandFailure(message, 2); }

uint32_t LastErrorResult()
{
    const std::string code = Field(LastErrorText(), "Error Code: ");
    const std::string prefix = "Facility ";
    if (code.compare(0, prefix.size(), prefix) != 0) return 0;
    const size_t comma = code.find(',');
    const std::string facilityName = code.substr(prefix.size(), comma - prefix.size());
    uint32_t facility = 0;
    while (facility < std::size(kFacilityNames) &&
           (kFacilityNames[facility] == nullptr || facilityName != kFacilityNames[facility]))
        ++facility;
    if (facility == std::size(kFacilityNames)) return 0;
    uint32_t low = 0;
    const std::string number = ", Error Num ";
    if (comma != std::string::npos && code.compare(comma, number.size(), number) == 0)
        low =
            static_cast<uint32_t>(std::strtoul(code.c_str() + comma + number.size(), nullptr, 10));
    return 0x80000000u | facility << 16 | (low & 0xFFFFu);
}

const char* ResultName(uint32_t result)
{
    for (const NamedResult& named : kResultNames)
        if (named.result == result) return named.name;
    return nullptr;
}

std::string LastErrorLine()
{
    const std::string text = LastErrorText();
    if (text.empty()) return "no failure recorded";
    const std::string message = Field(text, "Error Text: ");
    const std::string code = Field(text, "Error Code: ");
    std::vector<std::string> parts;
    if (const char* name = ResultName(LastErrorResult())) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(LastErrorResult()));
        parts.push_back(std::string(name) + " " + hex + (message != "none" ? ":" : ""));
    }
    if (message != "none" || code == "none") parts.push_back(message);
    if (code != "none") parts.push_back("[" + code + "]");
    std::string line;
    for (const std::string& part : parts) line += part + " ";
    return line + "at " + Field(text, "Error Loc: ");
}

void Fail(const std::string& what) { throw CommandFailure(what + ": " + LastErrorLine()); }

void FailOrNoSuch(const std::string& what, const std::string& thing)
{
    const uint32_t result = LastErrorResult();
    if (result == 0x8004010F || result == 0x80040107 || result == 0x80040201)
        Usage("no such " + thing);
    Fail(what);
}

int64_t ParseWhole(const std::string& option, const std::string& text, int64_t min, int64_t max)
{
    const auto refuse = [&]() {
        Usage(option + " expects a whole number from " + std::to_string(min) + " to " +
              std::to_string(max) + ", not \"" + text + "\"");
    };
    const bool negative = !text.empty() && text[0] == '-' && min < 0;
    const std::string digits = negative ? text.substr(1) : text;
    if (digits.empty() || digits.size() > 18 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        refuse();
    const int64_t value = (negative ? -1 : 1) * std::stoll(digits);
    if (value < min || value > max) refuse();
    return value;
}

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

} // namespace orvimapi
