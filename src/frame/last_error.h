// The process-wide record of the last failure, and the routine that writes it.
#pragma once

#include "frame/platform.h"

struct LastErrorRecord {
    char location[256];
    char code[256];
    char text[256];
};

// Replaces the record: location "sourcePath#line"; with result 0 the text is
// `message`, otherwise the facility text goes to the code and the system's
// message for `result` (if any) to the text.
void RecordLastError(const char* sourcePath, int line, const char* message, HRESULT result);

// Read access for the library's own tests.
const LastErrorRecord& CurrentLastError();

// Empties the record as at load; for tests only (the library never clears it).
void ResetLastErrorForTests();

// The failing MAPI object's own description of `result`, fetched after a
// recorded failure. Kept aside for diagnostics; the record does not carry it.
template <class MapiObject>
void FetchObjectErrorText(MapiObject* object, HRESULT result);

const char* LastObjectErrorText();
void StoreObjectErrorText(const char* mapiText);

template <class MapiObject>
void FetchObjectErrorText(MapiObject* object, HRESULT result)
{
    if (object == nullptr) return;
    LPMAPIERROR error = nullptr;
    if (SUCCEEDED(object->GetLastError(result, 0, &error)) && error != nullptr) {
        if (error->lpszError != nullptr && error->lpszError[0] != '\0')
            StoreObjectErrorText(error->lpszError);
        MAPIFreeBuffer(error);
    }
}
