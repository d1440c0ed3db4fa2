// The caller records are shared with applications written in other
// languages: their 32-bit layout is fixed.
#include <cstddef>
#include <cstdint>

#include "frame/export.h"

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(FolderContentsRecord) == 124);
static_assert(sizeof(FolderPropsRecord) == 24);
static_assert(sizeof(MsgPropsRecord) == 228);
static_assert(sizeof(MsgAddrRecord) == 36);
static_assert(sizeof(MsgAttachRecord) == 96);
static_assert(sizeof(ContactRecord) == 128);
static_assert(offsetof(MsgPropsRecord, created) == 6 * 4);
static_assert(offsetof(MsgPropsRecord, modified) == 28 * 4);
static_assert(offsetof(MsgPropsRecord, delivered) == 33 * 4);
static_assert(offsetof(MsgPropsRecord, submittedTime) == 39 * 4);
static_assert(offsetof(MsgPropsRecord, unsentCopy) == 56 * 4);
static_assert(offsetof(MsgAttachRecord, notByValue) == 10 * 4);
static_assert(offsetof(MsgAttachRecord, displayNameLength) == 19 * 4);
static_assert(offsetof(MsgAttachRecord, size) == 23 * 4);
#endif
