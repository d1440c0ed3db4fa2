#include <cstring>

#include "frame/export.h"
#include "frame/last_error.h"

ORVIMAPI_EXTERN(void) OrviMapiGetLastError(char* buf, uint32_t bufSize, uint32_t* lenOut)
{
    if (buf != nullptr && bufSize > 0) buf[0] = '\0';
    if (lenOut != nullptr) *lenOut = 0;

    const LastErrorRecord& record = CurrentLastError();
    if (record.location[0] == '\0') return;

    // wsprintfA writes at most 1024 bytes; the text is at most 807 with its
    // terminator. It is then cut to what the caller's buffer holds.
    char text[1024];
    const int length =
        wsprintfA(text, "\n\nError Loc: %s \nError Text: %s \nError Code: %s", record.location,
                  record.text[0] ? record.text : "none", record.code[0] ? record.code : "none");
    if (buf == nullptr || bufSize == 0 || length <= 0) return;

    const uint32_t copied =
        static_cast<uint32_t>(length) < bufSize - 1 ? static_cast<uint32_t>(length) : bufSize - 1;
    std::memcpy(buf, text, copied);
    buf[copied] = '\0';
    if (lenOut != nullptr) *lenOut = copied;
}
