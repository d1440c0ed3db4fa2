// The building blocks every export is written with: argument checks that
// record and return, and the MAPI-call check that records the HRESULT. Each
// records at the line where it stands. The session check, which needs the
// session, is in session/session_check.h.
#pragma once

#include "frame/handles.h"
#include "frame/last_error.h"
#include "frame/platform.h"

// Records a failure at this line and evaluates to `status`.
#define RECORD_FAILURE(message, result, status) \
    (RecordLastError(__FILE__, __LINE__, (message), (result)), (status))

// An argument check: when `condition` fails, records `message` with result 0.
#define CHECK_ARG(condition, message, status)                        \
    do {                                                             \
        if (!(condition)) return RECORD_FAILURE(message, 0, status); \
    } while (0)

// A MAPI call's result: negative fails the export with the HRESULT recorded.
// Warnings such as MAPI_W_ERRORS_RETURNED count as success.
#define CHECK_HR(hr, status)                                                                \
    do {                                                                                    \
        const HRESULT checkedResult_ = (hr);                                                \
        if (FAILED(checkedResult_)) return RECORD_FAILURE(nullptr, checkedResult_, status); \
    } while (0)

// As CHECK_HR, and asks `object` for its own description of the failure.
#define CHECK_HR_FETCH(hr, object, status)                                \
    do {                                                                  \
        const HRESULT checkedResult_ = (hr);                              \
        if (FAILED(checkedResult_)) {                                     \
            RecordLastError(__FILE__, __LINE__, nullptr, checkedResult_); \
            FetchObjectErrorText((object), checkedResult_);               \
            return (status);                                              \
        }                                                                 \
    } while (0)

// A result deliberately not acted on (an HRESULT, or a Win32 BOOL), with the
// reason: the marker that tells a choice from an oversight (grep IGNORE_HR).
// `why` is a string literal.
#define IGNORE_HR(expr, why)                                             \
    do {                                                                 \
        static_assert(sizeof(why) > 1, "say why the result is ignored"); \
        static_cast<void>(expr);                                         \
    } while (0)

// A row set handed in by the application must hold a row; a null one is
// treated as empty rather than read.
#define CHECK_ROWS(rows, status)                                 \
    do {                                                         \
        const SRowSet* checkedRows_ = AsMapi(rows);              \
        if (checkedRows_ == nullptr || checkedRows_->cRows == 0) \
            return RECORD_FAILURE("Table is empty", 0, status);  \
    } while (0)
