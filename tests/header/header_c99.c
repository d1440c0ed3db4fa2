/* The public header compiled alone, as C99, with every warning an error. */
#include "OrviMapi.h"

/* Negative array sizes stop the build when a record's 32-bit layout drifts. */
#if defined(UINTPTR_MAX) && UINTPTR_MAX == 0xFFFFFFFFu
typedef char folder_contents_record_is_124_bytes[sizeof(FolderContentsRecord) == 124 ? 1 : -1];
typedef char folder_props_record_is_24_bytes[sizeof(FolderPropsRecord) == 24 ? 1 : -1];
typedef char msg_props_record_is_228_bytes[sizeof(MsgPropsRecord) == 228 ? 1 : -1];
typedef char msg_addr_record_is_36_bytes[sizeof(MsgAddrRecord) == 36 ? 1 : -1];
typedef char msg_attach_record_is_96_bytes[sizeof(MsgAttachRecord) == 96 ? 1 : -1];
typedef char contact_record_is_128_bytes[sizeof(ContactRecord) == 128 ? 1 : -1];
#endif

int orvimapi_header_c99_probe(void);
int orvimapi_header_c99_probe(void)
{
    char text[64];
    uint32_t length = 0;
    OrviMapiGetLastError(text, (uint32_t)sizeof text, &length);
    return (int)length;
}
