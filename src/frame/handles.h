// Handles are the MAPI objects themselves; these convert between the
// public opaque types and the MAPI types, and nothing else.
#pragma once

#include "frame/export.h"
#include "frame/platform.h"

#define ORVIMAPI_HANDLE_KIND(Handle, MapiType)                                             \
    inline MapiType* AsMapi(Handle handle) { return reinterpret_cast<MapiType*>(handle); } \
    inline Handle ToHandle(MapiType* object) { return reinterpret_cast<Handle>(object); }

ORVIMAPI_HANDLE_KIND(OrviMapiSession, IMAPISession)
ORVIMAPI_HANDLE_KIND(OrviMapiStore, IMsgStore)
ORVIMAPI_HANDLE_KIND(OrviMapiFolder, IMAPIFolder)
ORVIMAPI_HANDLE_KIND(OrviMapiMessage, IMessage)
ORVIMAPI_HANDLE_KIND(OrviMapiAttach, IAttach)
ORVIMAPI_HANDLE_KIND(OrviMapiTable, IMAPITable)
ORVIMAPI_HANDLE_KIND(OrviMapiStream, IStream)
ORVIMAPI_HANDLE_KIND(OrviMapiRowSet, SRowSet)
ORVIMAPI_HANDLE_KIND(OrviMapiProps, SPropValue)
ORVIMAPI_HANDLE_KIND(OrviMapiABContainer, IABContainer)

#undef ORVIMAPI_HANDLE_KIND

// Entry identifiers arrive as const bytes; MAPI's signatures take them
// non-const but never write through them.
inline LPENTRYID AsEntryId(const unsigned char* bytes)
{
    return reinterpret_cast<LPENTRYID>(const_cast<unsigned char*>(bytes));
}
