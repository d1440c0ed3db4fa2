// The display path of the folder that holds a message: a walk from the
// entry up through its parent folders, each level prepending its folder's
// name, ending at the store's root with the store's display name.
//
// The walk is a loop rather than one call per level, so that a deep folder
// tree cannot exhaust the stack; each level still opens, reads and releases
// its own objects, in the order and with the failures of a level-by-level
// walk.
#include <cstring>

#include "frame/call_frame.h"
#include "frame/handles.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"

namespace {

// The area in which each step assembles the next path, the store's display
// name included. A path that does not fit it fails the walk as one longer
// than the caller's maximum does.
constexpr size_t kWorkAreaSize = 2048;

constexpr LONG kFolderRoot = 0;

namespace pathcol {
enum : ULONG { ParentEntryId, FolderType, DisplayName, Count };
}

SizedSPropTagArray(1, parentColumns) = {1, {tag::ParentEntryId}};
// clang-format off
SizedSPropTagArray(pathcol::Count, folderColumns) = {
    pathcol::Count, {tag::ParentEntryId, tag::FolderType, tag::DisplayName}};
// clang-format on

LPSPropTagArray ParentColumns() { return reinterpret_cast<LPSPropTagArray>(&parentColumns); }
LPSPropTagArray FolderColumns() { return reinterpret_cast<LPSPropTagArray>(&folderColumns); }

// What every level of one walk shares: the caller's buffer and counters.
struct PathWalk {
    IMsgStore* store;
    char separator;
    char* path;
    int32_t maxLength;
    int32_t* pathLength;
    int32_t* status;
};

// A failure of the walk: records `result` at this line with an empty text
// and sets the status to -1.
#define FAIL_WALK(walk, result)                                 \
    do {                                                        \
        RecordLastError(__FILE__, __LINE__, nullptr, (result)); \
        *(walk).status = -1;                                    \
    } while (0)

// As FAIL_WALK, and keeps `object`'s own description of the failure.
#define FAIL_WALK_FETCH(walk, result, object)     \
    do {                                          \
        FAIL_WALK(walk, result);                  \
        FetchObjectErrorText((object), (result)); \
    } while (0)

const SPropValue* Value(const MapiBuffer<SPropValue>& props, ULONG count, ULONG column,
                        ULONG expectedTag)
{
    if (!props || column >= count || props[column].ulPropTag != expectedTag) return nullptr;
    return &props[column];
}

// Makes `text` (of `length` characters) the path.
void SetPath(const PathWalk& walk, const char* text, size_t length)
{
    std::memcpy(walk.path, text, length);
    walk.path[length] = '\0';
    *walk.pathLength = static_cast<int32_t>(length);
}

// Assembles head, the separator and the current path in `work`; false when
// they do not fit it.
bool Assemble(const PathWalk& walk, const char* head, size_t headLength,
              char (&work)[kWorkAreaSize], size_t& length)
{
    const size_t current = static_cast<size_t>(*walk.pathLength);
    length = headLength + 1 + current;
    if (length >= kWorkAreaSize) return false;
    std::memmove(work, head, headLength);
    work[headLength] = walk.separator;
    std::memcpy(work + headLength + 1, walk.path, current);
    work[length] = '\0';
    return true;
}

// A folder's level: its name and a separator go in front of the path.
bool ComponentStep(const PathWalk& walk, const char* name, HRESULT propsResult)
{
    char work[kWorkAreaSize];
    size_t length = 0;
    if (!Assemble(walk, name, std::strlen(name), work, length) ||
        length > static_cast<size_t>(walk.maxLength)) {
        FAIL_WALK(walk, propsResult);
        return false;
    }
    SetPath(walk, work, length);
    return true;
}

// The last level: the store's name in front, then the filter that drops the
// first folder name after it (the top of the folder tree) and the separator
// that ended the path.
void RootStep(const PathWalk& walk, HRESULT propsResult)
{
    // Stays empty when the store's name cannot be read.
    char work[kWorkAreaSize] = "";
    IGNORE_HR(OrviMapiMsgStoreGetDisplayName(ToHandle(walk.store), kWorkAreaSize, work),
              "an unreadable name leaves the work area empty");
    size_t length = 0;
    if (!Assemble(walk, work, std::strlen(work), work, length)) {
        FAIL_WALK(walk, propsResult);
        return;
    }

    size_t kept = 0;
    if (length > 1) {
        const size_t end = length - 1; // the last character always goes
        const char* first = static_cast<const char*>(std::memchr(work, walk.separator, end));
        const size_t cutFrom = first != nullptr ? static_cast<size_t>(first - work) : end;
        const char* second = nullptr;
        if (first != nullptr)
            second =
                static_cast<const char*>(std::memchr(first + 1, walk.separator, end - cutFrom - 1));
        const size_t cutTo = second != nullptr ? static_cast<size_t>(second - work) : end;
        std::memmove(work + cutFrom, work + cutTo, end - cutTo);
        kept = cutFrom + (end - cutTo);
    }
    if (kept > static_cast<size_t>(walk.maxLength)) {
        FAIL_WALK(walk, propsResult);
        return;
    }
    SetPath(walk, work, kept);
}

// One level after another until the root step, a failure, or a folder
// without a parent.
void Walk(const PathWalk& walk, ULONG cbEntryId, LPENTRYID entryId)
{
    // From the second level on, the entry to open points into the property
    // array of the level below, which is held until that entry is open.
    MapiBuffer<SPropValue> entryHolder;
    SBinary entry{cbEntryId, reinterpret_cast<LPBYTE>(entryId)};
    for (;;) {
        ULONG objectType = 0;
        ComPtr<IMAPIProp> object;
        HRESULT hr = walk.store->OpenEntry(entry.cb, reinterpret_cast<LPENTRYID>(entry.lpb),
                                           nullptr, 0, &objectType, object.putUnknown());
        if (FAILED(hr)) {
            FAIL_WALK_FETCH(walk, hr, walk.store);
            return;
        }
        entryHolder.reset();

        if (objectType == MAPI_MESSAGE) {
            ComPtr<IMAPIProp> parent;
            ULONG count = 0;
            MapiBuffer<SPropValue> parentProps;
            hr = object->GetProps(ParentColumns(), 0, &count, parentProps.put());
            const SPropValue* parentId = Value(parentProps, count, 0, tag::ParentEntryId);
            if (parentId == nullptr) {
                FAIL_WALK_FETCH(walk, hr, object.get());
                return;
            }
            hr = walk.store->OpenEntry(parentId->Value.bin.cb,
                                       reinterpret_cast<LPENTRYID>(parentId->Value.bin.lpb),
                                       nullptr, 0, &objectType, parent.putUnknown());
            if (FAILED(hr)) {
                FAIL_WALK_FETCH(walk, hr, walk.store);
                return;
            }
            object = std::move(parent); // releases the message
        } else if (objectType != MAPI_FOLDER && objectType != MAPI_STORE) {
            FAIL_WALK(walk, hr);
            return;
        }

        ULONG count = 0;
        MapiBuffer<SPropValue> props;
        hr = object->GetProps(FolderColumns(), 0, &count, props.put());
        if (FAILED(hr)) {
            FAIL_WALK_FETCH(walk, hr, object.get());
            return;
        }

        const SPropValue* folderType = Value(props, count, pathcol::FolderType, tag::FolderType);
        const SPropValue* name = Value(props, count, pathcol::DisplayName, tag::DisplayName);
        if (folderType == nullptr || folderType->Value.l == kFolderRoot || name == nullptr ||
            name->Value.lpszA == nullptr || name->Value.lpszA[0] == '\0') {
            RootStep(walk, hr);
            return;
        }
        if (!ComponentStep(walk, name->Value.lpszA, hr)) return;
        const SPropValue* parentId =
            Value(props, count, pathcol::ParentEntryId, tag::ParentEntryId);
        if (parentId == nullptr || parentId->Value.bin.cb == 0) return;
        entry = parentId->Value.bin;
        *entryHolder.put() = props.release();
    }
}

} // namespace

// Null path, length or status pointers, an identifier count without its
// bytes, and a path length on entry above the maximum (the buffer holds no
// more) are refused with the argument failures.
ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgGetFolderPath(OrviMapiStore store, uint32_t cbEntryId, const unsigned char* entryId,
                         const char* separator, char* path, int32_t maxLength, int32_t* pathLength,
                         int32_t* status)
{
    if (cbEntryId == 0 || entryId == nullptr || maxLength <= 0 || separator == nullptr ||
        separator[0] == '\0' || separator[1] != '\0' || path == nullptr || pathLength == nullptr ||
        status == nullptr || *pathLength > maxLength) {
        RecordLastError(__FILE__, __LINE__, nullptr, 0);
        if (status != nullptr) *status = -1;
        return 0;
    }
    CHECK_ARG(store != nullptr, "MsgStore not defined", -1);

    if (*pathLength <= 0) {
        path[0] = '\0';
        *pathLength = 0;
        *status = 0;
    }
    const PathWalk walk{AsMapi(store), separator[0], path, maxLength, pathLength, status};
    Walk(walk, cbEntryId, AsEntryId(entryId));
    return 0;
}
