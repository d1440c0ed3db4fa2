#include "frame/last_error.h"

#include <cstdio>
#include <cstring>

namespace {

LastErrorRecord lastError; // zero-filled at load
char objectErrorText[3000];

// Field texts are cut at the record's 255 characters.
void CopyField(char (&field)[256], const char* text)
{
    std::strncpy(field, text, sizeof field - 1);
    field[sizeof field - 1] = '\0';
}

const char* FacilityText(HRESULT result)
{
    switch ((static_cast<ULONG>(result) >> 16) & 0x1FFF) {
        case 0:
            return "Facility NULL";
        case 1:
            return "Facility RPC";
        case 2:
            return "Facility DIPATCH";
        case 3:
            return "Facility STORAGE";
        case 4:
            return "Facility ITF";
        case 7:
            return "Facility WIN32";
        case 8:
            return "Facility WINDOWS";
        case 9:
            return "Facility SSPI";
        case 10:
            return "Facility CONTROL";
        case 11:
            return "Facility CERT";
        case 12:
            return "Facility INTERNET";
        default:
            return "Facility N/A";
    }
}

} // namespace

void RecordLastError(const char* sourcePath, int line, const char* message, HRESULT result)
{
    lastError = LastErrorRecord{};

    char location[sizeof lastError.location + 16];
    std::snprintf(location, sizeof location, "%s#%d", sourcePath, line);
    CopyField(lastError.location, location);

    if (result == 0) {
        if (message != nullptr) CopyField(lastError.text, message);
        return;
    }

    const ULONG low = static_cast<ULONG>(result) & 0xFFFF;
    if (low != 0) {
        char code[64];
        std::snprintf(code, sizeof code, "%s, Error Num %lu", FacilityText(result),
                      static_cast<unsigned long>(low));
        CopyField(lastError.code, code);
    } else {
        CopyField(lastError.code, FacilityText(result));
    }

    LPSTR systemText = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                       static_cast<DWORD>(result), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                       reinterpret_cast<LPSTR>(&systemText), 0, nullptr);
    if (length != 0 && systemText != nullptr) CopyField(lastError.text, systemText);
    if (systemText != nullptr) LocalFree(systemText);
}

const LastErrorRecord& CurrentLastError() { return lastError; }

void ResetLastErrorForTests()
{
    lastError = LastErrorRecord{};
    objectErrorText[0] = '\0';
}

const char* LastObjectErrorText() { return objectErrorText; }

void StoreObjectErrorText(const char* mapiText)
{
    std::snprintf(objectErrorText, sizeof objectErrorText, "MAPI Error Text: %s", mapiText);
}
