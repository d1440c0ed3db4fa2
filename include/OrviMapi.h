/*
 * OrviMapi: a flat, handle-based interface to Extended MAPI.
 *
 * Conventions that hold for every function below unless its comment says
 * otherwise:
 * - Results: 0 for success and -1 for failure; readers return counts or
 *   lengths. A failure is recorded: OrviMapiGetLastError() describes the
 *   most recent one. A successful call leaves the last failure in place.
 * - Texts are 8-bit and zero-terminated; lengths are byte counts without
 *   the terminator.
 * - Entry identifiers travel in as a byte count followed by a pointer to
 *   the bytes.
 * - Handles are the MAPI objects themselves, opaque to the application.
 *   Every handle the library hands out belongs to the caller, who gives it
 *   back through the release function named in its comment. Texts and
 *   identifiers inside row sets, property arrays and records are not copied:
 *   they stay valid until the row set or property array is released.
 *
 * Threads: the library starts no thread and takes no lock. Its process-wide
 * state is shared by every call without synchronisation: the session with
 * its address book and use count (OrviMapiInitialize, OrviMapiLogon,
 * OrviMapiStart, OrviMapiStop and every function that checks for a
 * session, which is nearly all); the last-error record (written by every
 * failing call, read by OrviMapiGetLastError); the Outlook version code
 * (OrviMapiStart, OrviMapiLogon, OrviMapiGetClientOutlookVersion); the
 * named-property table and the column sets it patches (filled by the first
 * "Personal Folders" store opened, read by the message, contact and flag
 * functions); and the buffers and state of the one HTML conversion
 * (OrviMapiMsgGetBodyHTMLStream). An application that calls from several
 * threads must serialise all its calls into the library, one at a time,
 * for example behind one lock of its own. Handles may be used from any
 * thread under that serialisation, and streams handed out may be read
 * outside it, each by one thread at a time. A notification callback runs on
 * MAPI's thread, not the caller's: it must not call into the library except
 * under the same serialisation, and must not wait for a thread that holds
 * it.
 *
 * This header is C99 and C++ clean.
 */
#ifndef ORVIMAPI_H
#define ORVIMAPI_H

#include <stdint.h>

/* The library's version: the major number changes only when an existing
 * function or record changes incompatibly; it is the number of the shared
 * library's SONAME. */
#define ORVIMAPI_VERSION_MAJOR 0
#define ORVIMAPI_VERSION_MINOR 1
#define ORVIMAPI_VERSION_PATCH 0

/* Exports are cdecl; the notification callback is stdcall (the callee removes
 * its arguments) wherever the processor has the distinction: Windows, and
 * 32-bit x86 elsewhere, so that both sides of the call always agree. */
#if defined(_WIN32)
#define ORVIMAPI_CALL __cdecl
#define ORVIMAPI_CALLBACK __stdcall
#elif defined(__i386__) && defined(__GNUC__)
#define ORVIMAPI_CALL
#define ORVIMAPI_CALLBACK __attribute__((stdcall))
#else
#define ORVIMAPI_CALL
#define ORVIMAPI_CALLBACK
#endif

#if defined(ORVIMAPI_BUILDING) && defined(__GNUC__) && !defined(_WIN32)
#define ORVIMAPI_VISIBLE __attribute__((visibility("default")))
#else
#define ORVIMAPI_VISIBLE
#endif

#define ORVIMAPI_EXTERN(type) ORVIMAPI_VISIBLE type ORVIMAPI_CALL

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Handles ------------------------------------------------------------ */

typedef struct OrviMapiSession_ *OrviMapiSession;     /* IMAPISession */
typedef struct OrviMapiStore_ *OrviMapiStore;         /* IMsgStore */
typedef struct OrviMapiFolder_ *OrviMapiFolder;       /* IMAPIFolder */
typedef struct OrviMapiMessage_ *OrviMapiMessage;     /* IMessage */
typedef struct OrviMapiAttach_ *OrviMapiAttach;       /* IAttach */
typedef struct OrviMapiTable_ *OrviMapiTable;         /* IMAPITable */
typedef struct OrviMapiStream_ *OrviMapiStream;       /* IStream */
typedef struct OrviMapiRowSet_ *OrviMapiRowSet;       /* SRowSet */
typedef struct OrviMapiProps_ *OrviMapiProps;         /* SPropValue array */
typedef struct OrviMapiABContainer_ *OrviMapiABContainer; /* IABContainer */
typedef struct OrviMapiSink_ *OrviMapiSink;           /* the library's advise sink */

/* A byte count and a pointer, laid out as MAPI's SBinary. */
typedef struct OrviMapiBinary {
    uint32_t size;
    unsigned char *bytes;
} OrviMapiBinary;

/* A list of entry identifiers, laid out as MAPI's ENTRYLIST: count entries
 * at entries. Built and owned by the application; the library reads no
 * further than count and keeps nothing of it. */
typedef struct OrviMapiEntryList {
    uint32_t count;
    OrviMapiBinary *entries;
} OrviMapiEntryList;

/* A date and time, laid out as Windows' SYSTEMTIME. Always UTC. */
typedef struct OrviMapiSystemTime {
    uint16_t year;
    uint16_t month;
    uint16_t dayOfWeek;
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint16_t milliseconds;
} OrviMapiSystemTime;

/* ---- Caller records ------------------------------------------------------
 * Allocated by the application and filled field by field by the library.
 * Pointers in them point into the row set or property array they were read
 * from. A field a reader does not write keeps what the caller left there.
 */

/* One row of a folder's contents table. */
typedef struct FolderContentsRecord {
    uint32_t entryIdSize;
    unsigned char *entryId;
    uint32_t sentItemCode;       /* 1 sent item, 2 otherwise */
    uint32_t forwarded;
    uint32_t hasAttachments;
    uint32_t importanceCode;     /* 1 normal, 2 low, 3 high */
    uint32_t read;
    uint32_t unsent;
    OrviMapiSystemTime modified;
    uint32_t priorityCode;       /* 1 normal, 2 urgent, 3 non-urgent */
    OrviMapiSystemTime delivered;
    uint32_t replied;
    uint32_t sensitivityCode;    /* 1 none, 2 personal, 3 private, 4 confidential */
    OrviMapiSystemTime submitted;
    uint32_t size;
    uint32_t messageClassLength;
    char *messageClass;
    uint32_t subjectLength;
    char *subject;
    uint32_t receivedForLength;
    char *receivedFor;
    uint32_t followUpCode;
} FolderContentsRecord;

/* A folder's main properties. */
typedef struct FolderPropsRecord {
    uint32_t contentCount;
    uint32_t hasSubfolders;
    uint32_t entryIdSize;
    unsigned char *entryId;
    uint32_t displayNameLength;
    char *displayName;
} FolderPropsRecord;

/* A message's properties: 57 slots of 32 bits (a time takes four). */
typedef struct MsgPropsRecord {
    uint32_t entryIdSize;              /* slot 0 */
    unsigned char *entryId;
    uint32_t parentIdSize;
    unsigned char *parentId;
    uint32_t associated;
    uint32_t internetCodePage;         /* slot 5 */
    OrviMapiSystemTime created;        /* slots 6-9 */
    uint32_t forwarded;                /* slot 10 */
    uint32_t hasAttachments;
    uint32_t importanceCode;           /* 1 normal, 2 low, 3 high */
    uint32_t replied;
    uint32_t submitted;
    uint32_t unread;                   /* slot 15 */
    uint32_t unsent;
    uint32_t reserved17;               /* always written 0 */
    uint32_t reserved18;               /* never written */
    uint32_t reportTagSize;
    unsigned char *reportTag;          /* slot 20 */
    uint32_t messageClassLength;
    char *messageClass;
    uint32_t headersLength;
    char *headers;
    uint32_t messageIdLength;          /* slot 25 */
    char *messageId;
    uint32_t modifiedFlag;
    OrviMapiSystemTime modified;       /* slots 28-31 */
    uint32_t priorityCode;             /* slot 32: 1 normal, 2 urgent, 3 non-urgent */
    OrviMapiSystemTime delivered;      /* slots 33-36 */
    uint32_t searchKeySize;            /* slot 37 */
    unsigned char *searchKey;
    OrviMapiSystemTime submittedTime;  /* slots 39-42 */
    uint32_t sensitivityCode;          /* slot 43 */
    uint32_t sentItem;
    uint32_t size;                     /* slot 45 */
    uint32_t subjectLength;
    char *subject;
    int32_t subjectPrefixLength;
    uint32_t followUpCode;
    uint32_t flagTextLength;           /* slot 50 */
    char *flagText;
    uint32_t topicLength;
    char *topic;
    uint32_t conversationIndexSize;
    unsigned char *conversationIndex;  /* slot 55 */
    uint32_t unsentCopy;
} MsgPropsRecord;

/* A sender, "from" address or recipient. */
typedef struct MsgAddrRecord {
    uint32_t kind;                     /* 1 from, 2 sender, 3 To, 4 Cc, 5 Bcc, 0 other */
    uint32_t addressTypeLength;
    char *addressType;
    uint32_t emailLength;
    char *email;
    uint32_t nameLength;
    char *name;
    uint32_t recipientDisplayNameLength; /* recipients only */
    char *recipientDisplayName;          /* recipients only */
} MsgAddrRecord;

/* One row of a message's attachment table. */
typedef struct MsgAttachRecord {
    uint32_t contentIdLength;
    char *contentId;
    uint32_t contentLocationLength;
    char *contentLocation;
    uint32_t mimeTagLength;
    char *mimeTag;
    uint32_t reserved6to9[4];          /* never written */
    uint32_t notByValue;
    uint32_t isInline;
    uint32_t fileNameLength;
    char *fileName;
    int32_t renderingPosition;
    uint32_t reserved15to18[4];        /* always written as zeros */
    uint32_t displayNameLength;
    char *displayName;
    int32_t attachmentNumber;
    uint32_t reserved22;               /* never written */
    uint32_t size;
} MsgAttachRecord;

/* An address-book entry or contact item. */
typedef struct ContactRecord {
    uint32_t entryIdSize;
    unsigned char *entryId;
    uint32_t subjectLength;
    char *subject;
    uint32_t displayNameLength;
    char *displayName;
    uint32_t companyLength;
    char *company;
    uint32_t displayNamePrefixLength;
    char *displayNamePrefix;
    uint32_t givenNameLength;
    char *givenName;
    uint32_t middleNameLength;
    char *middleName;
    uint32_t surnameLength;
    char *surname;
    uint32_t generationLength;
    char *generation;
    uint32_t fileUnderLength;
    char *fileUnder;
    uint32_t email1AddressTypeLength;
    char *email1AddressType;
    uint32_t email1AddressLength;
    char *email1Address;
    uint32_t email2AddressTypeLength;
    char *email2AddressType;
    uint32_t email2AddressLength;
    char *email2Address;
    uint32_t email3AddressTypeLength;
    char *email3AddressType;
    uint32_t email3AddressLength;
    char *email3Address;
} ContactRecord;

/*
 * The application's notification function, called once per notification on
 * whatever thread MAPI delivers on (possibly while the application is inside
 * the library on another), with: the address of the sink's store handle, the
 * user value given at registration, the event code (1 new mail, 2 created,
 * 3 copied, 4 deleted, 5 modified, 6 moved, 0 any other), the object kind
 * (1 folder, 2 message, 0 other; always 2 for new mail), then four entry
 * identifiers (object, parent, old, old parent), each as a byte count and
 * the address of a pointer to its bytes (new mail has no old ones: count 0
 * and a null pointer). The pointers and the bytes are valid only during the
 * call: copy what is kept. The result is ignored.
 * The user value is pointer-sized so that an application can pass a context
 * pointer; on 32-bit Windows it is the 32-bit value of the original interface.
 */
typedef int32_t (ORVIMAPI_CALLBACK *NotificationCallback)(
    OrviMapiStore *storeHandle, uintptr_t userValue, int32_t eventCode, int32_t objectKind,
    uint32_t entryIdSize, unsigned char **entryId,
    uint32_t parentIdSize, unsigned char **parentId,
    uint32_t oldIdSize, unsigned char **oldId,
    uint32_t oldParentIdSize, unsigned char **oldParentId);

/* ---- Last error --------------------------------------------------------- */

/*
 * Writes the last failure as text:
 * "\n\nError Loc: <file#line> \nError Text: <text> \nError Code: <code>",
 * with "none" for an empty text or code, and the text's length to *lenOut.
 * Before any failure it writes "" and 0. Writes at most bufSize - 1
 * characters and a terminator (the full text is at most 806 characters).
 * Needs no session.
 */
ORVIMAPI_EXTERN(void) OrviMapiGetLastError(char *buf, uint32_t bufSize, uint32_t *lenOut);

/* ---- Session -----------------------------------------------------------
 * One MAPI session per process, shared by every function. Each successful
 * OrviMapiLogon or OrviMapiStart counts one use; each OrviMapiStop gives one
 * back, and the one that brings the count to 0 closes the session.
 */

/* Initialises MAPI (once). Returns 0 or the failing HRESULT. */
ORVIMAPI_EXTERN(int32_t) OrviMapiInitialize(void);

/*
 * Logs on after OrviMapiInitialize: with newSession non-zero MAPI lets the
 * user choose a profile for a new session, with 0 it takes the default
 * profile or the running shared session. The profile name is accepted but
 * the flags decide. Returns 0, E_FAIL (0x80004005, nothing recorded) before
 * OrviMapiInitialize, or the failing HRESULT. A session whose address book
 * fails to open stays open without a counted use.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiLogon(const char *profileName, int32_t newSession);

/*
 * Initialises MAPI and logs on to profileName (at most 64 characters; empty
 * for the registry's default profile). shareSession 1 joins the running
 * shared session where Outlook's release allows it. Returns 0 or -1.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiStart(const char *profileName, int32_t shareSession);

/* Gives back one use; the last closes the address book and the session. */
ORVIMAPI_EXTERN(void) OrviMapiStop(void);

/* The open session (null when none), without a reference added: valid while
 * the session stays open. */
ORVIMAPI_EXTERN(void) OrviMapiReturnSession(OrviMapiSession *sessionOut);

/* ---- Profiles and client version ---------------------------------------
 * The profile-name functions copy min(length, bufSize - 1) characters and a
 * terminator into buf only when that count is above 0, and store the count
 * in *lenOut. They return 0, or -1 when there is no such name.
 */

/* The registry's default profile; needs neither session nor MAPI. */
ORVIMAPI_EXTERN(int32_t) OrviMapiGetRegistryDefaultProfileName(uint32_t bufSize, char *buf, uint32_t *lenOut);
/* MAPI's default profile; needs OrviMapiInitialize, not a session. */
ORVIMAPI_EXTERN(int32_t) OrviMapiGetDefaultProfileName(uint32_t bufSize, char *buf, uint32_t *lenOut);
/* The open session's profile. */
ORVIMAPI_EXTERN(int32_t) OrviMapiGetCurrentProfileName(uint32_t bufSize, char *buf, uint32_t *lenOut);
/* The installed Outlook: 3 for 9.0, 2 for 8.5, 1 for 8.0/8.3, 0 otherwise.
 * Needs no session; records nothing. */
ORVIMAPI_EXTERN(int32_t) OrviMapiGetClientOutlookVersion(void);

/* Asks the spooler to upload and download through every idle transport.
 * Failures show only in the last error. */
ORVIMAPI_EXTERN(void) OrviMapiSendReceive(void);

/*
 * The folder of the store in which an item of itemKind is saved: 4 the
 * Outbox, 5 Sent Items, 16 Drafts, any other kind the Inbox; the Inbox also
 * when the store has no folder of the kind. Returns 0, -1, or the result of
 * the Inbox search when neither search found a folder (*folderOut is then
 * unchanged). The caller releases the folder with OrviMapiReleaseFolder.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiGetSaveLocFolder(int32_t itemKind, OrviMapiStore store, OrviMapiFolder *folderOut);

/* ---- Store table --------------------------------------------------------
 * A store row set holds one row of the session's store table; the getters
 * read its first row, and the pointers they hand out point into it.
 */

/*
 * The session's store table, sorted by display name: the default store only
 * (allStores 0) or every store but those of the "Tarsk Quillbank" provider.
 * The caller releases the table with OrviMapiReleaseTable.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreQuerySet(OrviMapiTable *tableOut, int32_t allStores);
/* The next row: returns 1, or 0 at the end. The row set, empty or not, is
 * the caller's: release it with OrviMapiReleaseResult. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreQueryGetRow(OrviMapiTable table, OrviMapiRowSet *rowsOut);
/* The table's row count, or -1. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreQueryGetRowCount(OrviMapiTable table);
/* Moves the table's cursor back to the first row. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreQuerySeekBeginning(OrviMapiTable table);
/* *isDefault = 1 for the default store, else 0. -1 when the row lacks the flag. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreResultGetDefaultFlag(OrviMapiRowSet rows, int32_t *isDefault);
/* Copies the display name (bounded, see above); returns the characters copied. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreResultGetDisplayName(OrviMapiRowSet rows, uint32_t bufSize, char *buf);
/* The store's entry identifier: count and a pointer into the row set. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreResultGetEID(OrviMapiRowSet rows, uint32_t *cbOut, unsigned char **bytesOut);
/* The same into an OrviMapiBinary (its size is set to 0 first). */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreResultGetEIDParam(OrviMapiRowSet rows, OrviMapiBinary *binOut);
/* *typeOut = 1 for a "Microsoft Exchange Server" store, else 0. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreResultGetMsgStoreType(OrviMapiRowSet rows, int32_t *typeOut);
/*
 * Opens the row's store. Returns 0, -1, or the failing HRESULT of the open.
 * The first "Personal Folders" store opened resolves the named properties.
 * The caller releases the store with OrviMapiMsgStoreRelease.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreResultOpenStore(OrviMapiRowSet rows, OrviMapiStore *storeOut);

/* ---- Store entry operations ---------------------------------------------
 * Functions that copy an entry identifier into eidBuf take no size: the
 * buffer must hold any identifier the store may give (256 bytes is ample).
 * Folders and messages handed out are released with OrviMapiReleaseFolder
 * and OrviMapiReleaseMsg.
 */

/*
 * Compares two entry identifiers; the first two arguments are ignored.
 * *isSame is set to 0 first, then 1 when they name the same object.
 * Returns 0, -1 without a session, 0x80070057 for a missing identifier, or
 * the failing HRESULT.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreCompareEntryIds(int32_t reserved1, int32_t reserved2,
    int32_t cbEntryId1, const unsigned char *entryId1, int32_t cbEntryId2, const unsigned char *entryId2,
    int32_t *isSame);
/* Copies the long-term form of an entry identifier into eidBuf and its size
 * to *cbOut. Returns 0 or -1; the outputs are written only on success. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreReadLongTermEntryId(int32_t cbEntryId, const unsigned char *entryId,
    uint32_t *cbOut, unsigned char *eidBuf);
/* Copies the store's display name (bounded; buf[0] is set to 0 first);
 * returns the characters copied, or -1. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreGetDisplayName(OrviMapiStore store, uint32_t bufSize, char *buf);
/* Opens a folder of the store by entry identifier. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreGetFolderInterface(OrviMapiStore store, int32_t cbEntryId,
    const unsigned char *entryId, OrviMapiFolder *folderOut);
/* Opens the parent of a folder given by entry identifier. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreGetFolderParentInterface(OrviMapiStore store, int32_t cbEntryId,
    const unsigned char *entryId, OrviMapiFolder *folderOut);
/* Opens a message of the store by entry identifier. Returns 0, -1 without a
 * session, 0x80004005 for a null store or a non-message, or the failing
 * HRESULT of the open. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreGetMsgInterface(OrviMapiStore store, int32_t cbEntryId,
    const unsigned char *entryId, OrviMapiMessage *msgOut);
/* Copies the entry identifier of the store's IPM subtree. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreGetIPMSubtreeEID(OrviMapiStore store, uint32_t *cbOut,
    unsigned char *eidBuf);
/* Opens the store's IPM subtree folder and copies its entry identifier. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreGetRootFolder(OrviMapiStore store, OrviMapiFolder *folderOut,
    uint32_t *cbOut, unsigned char *eidBuf);
/* Deletes an open message from its folder; the message handle stays the
 * caller's. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreMsgDelete(OrviMapiStore store, OrviMapiMessage msg);
/* Opens a store by entry identifier (never resolves named properties).
 * Returns 0, -1, or the failing HRESULT of the open. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgStoreGetMsgStoreInterface(int32_t cbEntryId, const unsigned char *entryId,
    OrviMapiStore *storeOut);
/* Releases a store. Needs no session; a null store is recorded as a failure. */
ORVIMAPI_EXTERN(void) OrviMapiMsgStoreRelease(OrviMapiStore store);

/* ---- Notifications ------------------------------------------------------
 * A sink handle is the library's advise sink. The application holds one
 * reference to it from the create function until it hands the handle to the
 * matching destroy function, which ends the registration and gives that
 * reference back; MAPI holds its own reference in between. A failed create
 * frees the sink at once and writes neither *connectionOut nor *sinkOut.
 */

/*
 * Registers a sink on the whole store for new mail, objects created,
 * copied, deleted, modified and moved, and extended events. From then on
 * MAPI calls `callback` once per notification, directly on whatever thread
 * it delivers on (see NotificationCallback); the store handle passed to it
 * is the address of the sink's copy of `store`. A null callback drops every
 * notification. Returns 0, or -1 (with the failing HRESULT recorded when
 * MAPI refuses the advise). End it with OrviMapiAdviseMsgStoreDestroy.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiAdviseMsgStoreCreate(OrviMapiStore store, uintptr_t userValue,
    NotificationCallback callback, int32_t *connectionOut, OrviMapiSink *sinkOut);
/*
 * Ends a store registration: unadvises connection on the store (a failure
 * there is not reported) and releases the sink. Returns 0, or -1 for a
 * missing store, a connection of 0 or below, or a null sink; nothing is
 * unadvised or released then.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiAdviseMsgStoreDestroy(OrviMapiStore store, int32_t connection,
    OrviMapiSink sink);
/*
 * Registers a silent sink on a table for its table notifications: they are
 * acknowledged and dropped, the application is never called. Returns 0, or
 * -1 (with the failing HRESULT recorded when MAPI refuses the advise). End
 * it with OrviMapiAdviseTableDestroy before releasing the sink's table.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiAdviseTableCreate(OrviMapiTable table, int32_t *connectionOut,
    OrviMapiSink *sinkOut);
/*
 * Ends a table registration the way OrviMapiAdviseMsgStoreDestroy ends a
 * store registration: unadvises connection on the table (a failure there is
 * not reported) and releases the sink. Returns 0, or -1 for a missing table
 * ("Table not defined"), a connection of 0 or below or a null sink.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiAdviseTableDestroy(OrviMapiTable table, int32_t connection,
    OrviMapiSink sink);

/* ---- Folder hierarchy table ---------------------------------------------
 * The immediate subfolders of a folder, sorted by display name. A hierarchy
 * row set is released with OrviMapiReleaseResult, also when it holds no row;
 * the getters read its first row and fail with "Table is empty" on a row set
 * without rows. Pointers they hand out point into the row set.
 */

/* The folder's hierarchy table; the caller releases it with
 * OrviMapiReleaseTable. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderHierQuerySet(OrviMapiFolder folder, OrviMapiTable *tableOut);
/* The table and all its rows at once. Returns the row count, or -1. The
 * caller releases both. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderHierQueryAll(OrviMapiFolder folder, OrviMapiTable *tableOut,
    OrviMapiRowSet *rowsOut);
/* The next row: returns 1, or 0 at the end (the empty row set is the
 * caller's too), or -1. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderHierQueryGetRow(OrviMapiTable table, OrviMapiRowSet *rowsOut);
/* The subfolder's entry identifier: count and a pointer into the row set
 * (0 bytes when the row has none). */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderHierGetEID(OrviMapiRowSet rows, uint32_t *cbOut, unsigned char **bytesOut);
/* Copies min(length, bufSize - 1) characters of the display name and a
 * terminator when that count is above 0; returns the count (0 and nothing
 * written for a missing or empty name). */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderHierGetDisplayName(OrviMapiRowSet rows, uint32_t bufSize, char *buf);
/* The number of messages; 0 when the row lacks it. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderHierGetContentCount(OrviMapiRowSet rows, uint32_t *countOut);
/* 1 when the subfolder has subfolders of its own, else 0. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderHierGetSubFolderFlag(OrviMapiRowSet rows, uint32_t *flagOut);
/* Returns 0 for a row set with a row; reads and writes nothing else. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderHierGetArchiveFlag(OrviMapiRowSet rows);

/* ---- Folder contents table ----------------------------------------------
 * A folder's messages. Row sets are released with OrviMapiReleaseResult;
 * getters without a row index read the first row, and all fail with
 * "Table is empty" on a row set without rows. Text getters copy
 * min(length, bufSize - 1) characters and a terminator when that count is
 * above 0 and return the count; a missing text gives 0 and writes nothing.
 * Times are UTC. Pointers handed out point into the row set.
 */

/* The folder's contents table in the store's order; the caller releases it
 * with OrviMapiReleaseTable. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContQuerySet(OrviMapiFolder folder, OrviMapiTable *tableOut);
/* The table and all its rows, newest delivery first. Returns the row count,
 * or -1. The caller releases both. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContQueryAll(OrviMapiFolder folder, OrviMapiTable *tableOut,
    OrviMapiRowSet *rowsOut);
/* The next batch of up to 100 rows: returns the rows read, 0 at the end (the
 * empty row set is the caller's too), or -1. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContQueryGetRow(OrviMapiTable table, OrviMapiRowSet *rowsOut);
/* Fills *record from row rowIndex; its texts and identifier point into the
 * row set. A row index beyond the row set is a failure. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContReadParam(OrviMapiRowSet rows, uint32_t rowIndex,
    FolderContentsRecord *record);
/* The entry identifier of row rowIndex: count and a pointer into the row
 * set. -1 without a record when the row has none. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContGetEID(OrviMapiRowSet rows, uint32_t rowIndex, uint32_t *cbOut,
    unsigned char **bytesOut);
/* The display list of To recipients. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContGetDisplayTo(OrviMapiRowSet rows, uint32_t bufSize, char *buf);
/* 1 when the message has attachments, else 0. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContGetHasAttachFlag(OrviMapiRowSet rows, uint32_t *flagOut);
/* The last modification time; all zero when the row has none. Returns 0. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContGetMsgModifyTime(OrviMapiRowSet rows, OrviMapiSystemTime *timeOut);
/* The message class. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContGetMsgClass(OrviMapiRowSet rows, uint32_t bufSize, char *buf);
/* The delivery time as YYYYMMDDhhmmss and a terminator into buf, which must
 * hold 16 bytes; returns the text's length, 0 (nothing written) without a
 * delivery time. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContGetMsgDeliveryTime(OrviMapiRowSet rows, char *buf);
/* The message size in bytes; 0 when the row lacks it. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContGetMsgSize(OrviMapiRowSet rows, uint32_t *sizeOut);
/* The sender's address of row rowIndex. bufSize 0 returns 0 before any
 * other check. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContGetMsgSenderEmailAddress(OrviMapiRowSet rows, uint32_t bufSize,
    uint32_t rowIndex, char *buf);
/* The sender's name of row rowIndex. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContGetMsgSenderName(OrviMapiRowSet rows, uint32_t bufSize,
    uint32_t rowIndex, char *buf);
/* The subject. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContGetMsgSubject(OrviMapiRowSet rows, uint32_t bufSize, char *buf);

/* ---- Folder management --------------------------------------------------
 * The functions taking entry identifiers open the store and folders
 * themselves and release them before returning. They return 0, -1 without a
 * session, 0x80070057 for a missing identifier or name and for a store or
 * folder that cannot be opened, 0x80040108 where a folder is needed and the
 * identifier names something else, or the failing HRESULT. A name colliding
 * with a sibling's is retried with the suffixes 1 to 99 ("Inbox1" ...);
 * names are cut to 127 characters, a copy's base name to 125.
 */

/* Creates a subfolder of parent named name, unchanged (a collision fails).
 * The caller releases the folder with OrviMapiReleaseFolder. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderAdd(OrviMapiFolder parent, const char *name, OrviMapiFolder *folderOut);
/* Creates a subfolder of the parent folder named name or name1 to name99.
 * The caller releases the folder with OrviMapiReleaseFolder. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderNew(int32_t cbStoreEntryId, const unsigned char *storeEntryId,
    int32_t cbParentEntryId, const unsigned char *parentEntryId, const char *name, OrviMapiFolder *folderOut);
/* Copies the source folder with its subfolders into the destination, or
 * moves it when move is 1, under its own name or that name with a suffix.
 * A store's root folder (without a parent) cannot be copied: 0x8004010F. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderCopy(int32_t cbStoreEntryId, const unsigned char *storeEntryId,
    int32_t cbSourceEntryId, const unsigned char *sourceEntryId, int32_t cbDestEntryId,
    const unsigned char *destEntryId, int32_t move);
/* Moves the folder into the store's Deleted Items folder. 0x80040108 for
 * Deleted Items itself or a store without one. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderRecycle(int32_t cbStoreEntryId, const unsigned char *storeEntryId,
    int32_t cbEntryId, const unsigned char *entryId);
/* Deletes the folder with its messages and subfolders. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderDelete(int32_t cbStoreEntryId, const unsigned char *storeEntryId,
    int32_t cbEntryId, const unsigned char *entryId);
/* Deletes the subfolder entryId of parent with its messages and subfolders.
 * Returns 0 or -1. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderDelete2(OrviMapiFolder parent, int32_t cbEntryId, const unsigned char *entryId);
/* Deletes the folder's messages and subfolders; the folder and its
 * associated messages stay. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderEmpty(int32_t cbStoreEntryId, const unsigned char *storeEntryId,
    int32_t cbEntryId, const unsigned char *entryId);
/* Renames the folder. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderRename(int32_t cbStoreEntryId, const unsigned char *storeEntryId,
    int32_t cbEntryId, const unsigned char *entryId, const char *name);
/* Renames an open folder. Returns 0 or -1; an empty name returns -1 without
 * recording a failure. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderSetDisplayName(OrviMapiFolder folder, const char *name);

/* ---- Folder lookup, type and properties --------------------------------
 * Folder type codes: 32 Inbox, 33 Outbox, 34 Deleted Items, 35 calendar,
 * 36 contacts, 37 journal, 38 notes, 39 tasks, 40 Drafts, 41 Sent Items,
 * 42 the store's own identifier, 99 the top of the folder tree, 5 any other.
 */

/* Opens the folder entryId through container. The caller releases it with
 * OrviMapiReleaseFolder. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderGet(OrviMapiFolder container, uint32_t cbEntryId,
    const unsigned char *entryId, OrviMapiFolder *folderOut);
/*
 * Copies the display name of the folder entryId: min(length, bufSize - 1)
 * characters and always a terminator, the count to *lenOut. Checks store and
 * identifier before the session. Returns -1 for those checks, else 0 even
 * when MAPI fails (recorded): *lenOut is written only when a name was copied.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderGetDisplayName(OrviMapiStore store, int32_t cbEntryId,
    const unsigned char *entryId, char *buf, uint32_t bufSize, uint32_t *lenOut);
/* As OrviMapiFolderGetDisplayName, for the subject of the message entryId. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderGetMsgSubject(OrviMapiStore store, int32_t cbEntryId,
    const unsigned char *entryId, char *buf, uint32_t bufSize, uint32_t *lenOut);
/* The folder's property array (entry identifier, display name, content
 * count, subfolders flag, container class, parent identifier). The caller
 * releases it with OrviMapiFolderPropsRelease. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderPropsGet(OrviMapiFolder folder, OrviMapiProps *propsOut);
/* Fills *record from a property array of OrviMapiFolderPropsGet; its texts
 * and identifier point into the array. Needs no session. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderPropsRead(OrviMapiFolder folder, OrviMapiProps props,
    FolderPropsRecord *record);
/* The folder type code of the folder entryId (see above); 5 whenever a step
 * fails. -1 (recorded) only without a session. */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderGetFolderType(OrviMapiStore store, int32_t cbEntryId,
    const unsigned char *entryId);
/*
 * Opens the first folder of folderType among the top-level folders, in
 * display-name order. Returns 0 also when there is none (*folderOut is then
 * unchanged), or -1. The caller releases the folder with
 * OrviMapiReleaseFolder.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiFolderFindByType(OrviMapiStore store, int32_t folderType, OrviMapiFolder *folderOut);

/* ---- Messages: open and properties --------------------------------------
 * A message handle is released with OrviMapiReleaseMsg, a property array
 * with OrviMapiMsgPropsRelease.
 */

/* Opens a message of the folder by entry identifier. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgGet(OrviMapiFolder folder, uint32_t cbEntryId,
    const unsigned char *entryId, OrviMapiMessage *msgOut);
/*
 * Copies the subject of the store's message named by entry identifier:
 * min(length, bufSize - 1) characters and a terminator (also for an empty
 * subject), the count to *lenOut. Returns -1 only for missing arguments or
 * session; once they pass it returns 0, and a failure to read the subject
 * shows only in the last error, with buf and *lenOut unwritten.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgGetSubject(OrviMapiStore store, int32_t cbEntryId,
    const unsigned char *entryId, char *buf, uint32_t bufSize, uint32_t *lenOut);
/*
 * Fetches the message's 39 properties in one array, the caller's to release
 * with OrviMapiMsgPropsRelease. Returns 0 (also when some properties are
 * missing), -1, or the failing HRESULT of the fetch. *propsOut is written
 * only when values came back.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgPropsGet(OrviMapiMessage msg, OrviMapiProps *propsOut);
/*
 * Fills the record from an array of OrviMapiMsgPropsGet; texts and binary
 * values point into the array (the class "IPM.Notes" of a message without
 * one, and an empty subject, into the library). The message is only tested
 * for null. Needs no session.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgPropsRead(OrviMapiMessage msg, OrviMapiProps props,
    MsgPropsRecord *record);

/* ---- Messages: bodies ---------------------------------------------------
 * Streams handed out are the caller's: release them with
 * OrviMapiReleaseStream.
 */

/*
 * The decompressed RTF body as a read-only stream, and the size of the
 * compressed body (not of the RTF) in *sizeOut. Returns 0 with *sizeOut 0
 * and *streamOut unwritten when the message has no RTF body; -1.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgGetBodyRTFStream(OrviMapiMessage msg, OrviMapiStream *streamOut,
    uint32_t *sizeOut);
/*
 * The plain-text body as a stream. Returns 0 with *streamOut null, recording
 * nothing, when the message has no body (MAPI_E_NOT_FOUND) or an empty one,
 * as the other body exports treat a missing body; -1 with the failure
 * recorded when MAPI fails to open or rewind it otherwise. (A missing body
 * is the ordinary case of a message without text, not a fault to report.)
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgGetBodyTextStream(OrviMapiMessage msg, OrviMapiStream *streamOut);
/*
 * Copies min(length, bufSize - 1) characters of the plain-text body and a
 * terminator into buf, only when that count is above 0, and returns the
 * count: 0 without a body (or one too large to fetch whole; read the
 * stream instead). -1 only without a session.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgGetBodyText(OrviMapiMessage msg, uint32_t bufSize, char *buf);
/*
 * The HTML body as a memory stream: extracted from an RTF body that carries
 * HTML, led by a META tag naming the charset of codePage (65001 also writes
 * RTF's Unicode characters as UTF-8), else the message's own HTML body.
 * Returns 0 or -1 (no HTML either way; nothing new recorded then). HTML
 * that the memory stream cannot take whole (out of memory) is no result:
 * that failure is recorded and the message's own HTML body is given
 * instead where there is one. One conversion at a time per process.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgGetBodyHTMLStream(OrviMapiMessage msg, int32_t codePage,
    OrviMapiStream *streamOut);

/* ---- Messages: recipients and attachments -------------------------------
 * Tables are released with OrviMapiReleaseTable, row sets with
 * OrviMapiReleaseResult, attachments with OrviMapiReleaseAttach. Texts in
 * records point into the property array or row set they were read from.
 */

/* The "from" address (kind 1) from an array of OrviMapiMsgPropsGet: a
 * missing text gives length 0 and a null pointer. The last two fields are
 * not written. The message is only tested for null. Needs no session. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAddrFromGet(OrviMapiMessage msg, OrviMapiProps props,
    MsgAddrRecord *record);
/* The sender (kind 2), as OrviMapiMsgAddrFromGet. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAddrSenderGet(OrviMapiMessage msg, OrviMapiProps props,
    MsgAddrRecord *record);
/* The message's recipient table. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAddrOtherQuerySet(OrviMapiMessage msg, OrviMapiTable *tableOut);
/* The recipient table's row count, or -1. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAddrOtherGetRowCount(OrviMapiTable table);
/* The next recipient row: returns 1, or 0 at the end. The row set, empty or
 * not, is the caller's. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAddrOtherGetRow(OrviMapiTable table, OrviMapiRowSet *rowsOut);
/* Fills all nine fields from the first row (kind 3 To, 4 Cc, 5 Bcc, 0
 * other); a missing text gives length 0 and leaves its pointer alone. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAddrOtherGetParam(OrviMapiRowSet rows, MsgAddrRecord *record);
/* The message's attachment table. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAttachQuerySet(OrviMapiMessage msg, OrviMapiTable *tableOut);
/* The attachment table's row count, or -1. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAttachGetRowCount(OrviMapiTable table);
/* The next attachment row: returns 1, or 0 at the end; the row set is the
 * caller's. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAttachGetRow(OrviMapiTable table, OrviMapiRowSet *rowsOut);
/* Every attachment row in one row set, the caller's; returns the count. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAttachGetAllRows(OrviMapiTable table, OrviMapiRowSet *rowsOut);
/* Fills the record from row rowIndex (below the row count) of the row
 * set; a missing text gives length 0 and a null pointer. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAttachGetParam(OrviMapiRowSet rows, uint32_t rowIndex,
    MsgAttachRecord *record);
/* Opens the attachment with a record's attachmentNumber. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAttachOpen(OrviMapiMessage msg, uint32_t attachmentNumber,
    OrviMapiAttach *attachOut);
/* The attachment's data as a stream (release with OrviMapiReleaseStream).
 * Returns 0 also when there is none: that shows only in the last error,
 * with *streamOut unwritten. -1 without a session or attachment. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAttachGetStream(OrviMapiAttach attach, OrviMapiStream *streamOut);
/* An attached message (release with OrviMapiReleaseMsg), as
 * OrviMapiMsgAttachGetStream: 0 with *msgOut unwritten when there is none. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAttachGetEmbeddedMsg(OrviMapiAttach attach, OrviMapiMessage *msgOut);

/* ---- Messages: folder path -------------------------------------------------- */

/*
 * The display path of the folder that holds the message entryId (or of the
 * folder entryId, or of the store for the store's own identifier): the
 * store's display name, then the names of the folders below the top of the
 * store's folder tree, the top's own name left out, each led by separator,
 * a text of exactly one character. A message in Inbox/Lists of store "Mail"
 * gives "Mail/Lists" with separator "/"; a store name containing the
 * separator loses its part from there on, and keeps the top's name instead.
 * path holds maxLength + 1 bytes; start a walk with *pathLength 0 (a value
 * above 0 keeps the first *pathLength characters of path and prepends to
 * them). On success *status is 0, path holds the text and its terminator
 * and *pathLength its length. A failure sets *status to -1 and is recorded;
 * path then holds what the walk had built (never more than maxLength
 * characters), and a path longer than maxLength or than 2,047 characters
 * at any step of the walk is a failure. Returns -1 for a null store (then
 * *status is not written), else 0.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgGetFolderPath(OrviMapiStore store, uint32_t cbEntryId,
    const unsigned char *entryId, const char *separator, char *path, int32_t maxLength,
    int32_t *pathLength, int32_t *status);

/* ---- Messages: copy, move and delete ---------------------------------------
 * The messages of msgList, all in the source folder, named with the store's
 * and the folders' entry identifiers. Each function opens the store and the
 * folders itself and releases them before it returns. They return 0 (also
 * when some entries were not found in the folder), -1 without a session,
 * 0x80070057 for a missing identifier or list and for a store or folder
 * that cannot be opened, or the failing HRESULT. An entry with a count
 * above 0 and no bytes makes the list missing.
 */

/* Copies the messages into the destination folder (which may be the
 * source); MAPI may show its own progress display. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgCopy(int32_t cbStoreEid, const unsigned char *storeEid,
    int32_t cbSrcFolderEid, const unsigned char *srcFolderEid, int32_t cbDstFolderEid,
    const unsigned char *dstFolderEid, const OrviMapiEntryList *msgList);
/* Moves the messages, as OrviMapiMsgCopy; -2 when MAPI reports
 * MAPI_E_EXTENDED_ERROR (0x80040119, recorded). */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgMove(int32_t cbStoreEid, const unsigned char *storeEid,
    int32_t cbSrcFolderEid, const unsigned char *srcFolderEid, int32_t cbDstFolderEid,
    const unsigned char *dstFolderEid, const OrviMapiEntryList *msgList);
/* Deletes the messages of the folder for good. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgDelete(int32_t cbStoreEid, const unsigned char *storeEid,
    int32_t cbFolderEid, const unsigned char *folderEid, const OrviMapiEntryList *msgList);
/* Moves the messages of the folder into the store's Deleted Items folder.
 * 0x80040108 when the folder is Deleted Items itself (nothing moves) or the
 * store has none. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgRecycle(int32_t cbStoreEid, const unsigned char *storeEid,
    int32_t cbFolderEid, const unsigned char *folderEid, const OrviMapiEntryList *msgList);
/* Deletes the messages one at a time, first to last, each from its own
 * folder; folderEid is checked but not used. The first failure ends the
 * walk and is returned: the messages before it stay deleted. An entry with
 * no bytes or a count of 0 fails with 0x80070057. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgRecycle2(int32_t cbStoreEid, const unsigned char *storeEid,
    int32_t cbFolderEid, const unsigned char *folderEid, const OrviMapiEntryList *msgList);

/* ---- Messages: flags and read state ----------------------------------------
 * The single-message functions open the message entryId of an open store
 * and save their change before they return 0, or -1 on any failure. The
 * list functions apply them to every message of msgList; a failing message
 * does not stop the walk. They return 0 when at least one message
 * succeeded, 0x80004005 when none did (an empty list included; the last
 * message's failure is then the last error), -1 without a session, or
 * 0x80070057 for a missing identifier, list or state and for a store that
 * cannot be opened. An entry with no bytes or a count of 0 fails as a
 * message ("Message EID not defined").
 */

/*
 * Sets the follow-up state: 0 no flag, 1 completed, 2 flagged. With 1 or 2
 * a non-empty text becomes the flag's text; 0 writes " " as the text and,
 * when Outlook 8.5 or 9.0 is installed, clears the reminder and deletes the
 * reply time. Only the state write and the save decide the result.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgUpdateMsgFlag(OrviMapiStore store, int32_t cbEntryId,
    const unsigned char *entryId, int32_t iState, const char *pText);
/* Sets only the flag's text (not empty). -1 without anything else done
 * while Outlook 8.5 or 9.0 is installed ("Outlook98 Feature Only"). */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgUpdateMsgFlagText(OrviMapiStore store, int32_t cbEntryId,
    const unsigned char *entryId, const char *pText);
/* Marks the message read (iFlag 0) or unread (1). A message already in that
 * state passes through the other state first. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgUpdateReadFlag(OrviMapiStore store, int32_t cbEntryId,
    const unsigned char *entryId, int32_t iFlag);
/* OrviMapiMsgUpdateMsgFlag for every message of the list; folderEid is
 * checked but not used. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgSetTag(int32_t cbStoreEid, const unsigned char *storeEid,
    int32_t cbFolderEid, const unsigned char *folderEid, const OrviMapiEntryList *msgList,
    int32_t iState, const char *pText);
/* OrviMapiMsgUpdateReadFlag for every message of the list; folderEid is
 * checked but not used. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgSetUnread(int32_t cbStoreEid, const unsigned char *storeEid,
    int32_t cbFolderEid, const unsigned char *folderEid, const OrviMapiEntryList *msgList,
    int32_t iUnreadFlag);

/* ---- Messages: forms --------------------------------------------------------
 * The message is handed to the MAPI client's own form, with hwnd as the
 * form's parent window; the functions return when the client's ShowForm
 * returns. A user who cancels the form is no failure. The library keeps no
 * reference to the message.
 */

/* Opens the message msgEid of the store in its form. Returns 0,
 * -1 without a session, 0x80070057 for a missing identifier or a store that
 * cannot be opened, or the failing HRESULT (0x80004005 when msgEid names no
 * message). */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgEdit(uintptr_t hwnd, int32_t cbStoreEid,
    const unsigned char *storeEid, int32_t cbMsgEid, const unsigned char *msgEid);
/* Creates a message in folder and opens a blank "IPM.Note" form on it.
 * store and folder stay the caller's. Returns 0 or -1. */
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgEditNew(uintptr_t hwnd, OrviMapiStore store, OrviMapiFolder folder);

/* ---- Address book ------------------------------------------------------
 * The session's personal address book and its containers. A container is
 * released with OrviMapiReleaseFolder((OrviMapiFolder)container), its
 * contents table with OrviMapiReleaseTable and row sets with
 * OrviMapiReleaseResult. The row readers read the first row and fail with
 * "Table is empty" on a row set without rows.
 */

/*
 * The personal address book's entry identifier: its byte count and a MAPI
 * buffer the caller frees with MAPIFreeBuffer (or, without MAPI's own
 * functions at hand, OrviMapiMsgPropsRelease(NULL, (OrviMapiProps)bytes)).
 * -1 without a record when MAPI fails to name it; -1 with "No PAB defined"
 * when the profile has none.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiABGetEID(uint32_t *cbOut, unsigned char **bytesOut);
/* Opens the address-book container entryId ("Invalid EntryID" for a count
 * of 0 or less or null bytes; "Not Address Book Object" for an entry that is
 * no container). */
ORVIMAPI_EXTERN(int32_t) OrviMapiABGetFolder(int32_t cbEntryId, const unsigned char *entryId,
    OrviMapiABContainer *containerOut);
/* The container's entries, sorted by display name; the caller releases the
 * table with OrviMapiReleaseTable. */
ORVIMAPI_EXTERN(int32_t) OrviMapiABContQuerySet(OrviMapiABContainer container, OrviMapiTable *tableOut);
/* The next entry: returns 1, or 0 at the end (the empty row set is the
 * caller's too), or -1. */
ORVIMAPI_EXTERN(int32_t) OrviMapiABContQueryGetRow(OrviMapiTable table, OrviMapiRowSet *rowsOut);
/*
 * Fills every field of *record from the entry: a missing property gives
 * length 0 and a null pointer; the file-under name and the second and third
 * e-mail entries are always empty, e-mail 1 is the entry's address type and
 * address. Texts and the identifier point into the row set: valid until it
 * is released.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiABContGetParam(OrviMapiRowSet rows, ContactRecord *record);
/* The entry's identifier: count and a pointer into the row set. -1 without
 * a record when the row has none. */
ORVIMAPI_EXTERN(int32_t) OrviMapiABGetContactEID(OrviMapiRowSet rows, uint32_t *cbOut,
    unsigned char **bytesOut);
/*
 * Shows MAPI's modal address-book dialog for browsing and returns 0 when the
 * user closes it, or -1 when it fails. The identifier is only checked: a
 * missing one records "Invalid EntryID" and the dialog is shown all the same.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiABShowForm(int32_t cbEntryId, const unsigned char *entryId);

/* ---- Contacts ------------------------------------------------------------
 * Contact items of a contacts folder. The file-under name and the e-mail
 * entries are named properties, known once the first "Personal Folders"
 * store opened through OrviMapiMsgStoreResultOpenStore has resolved them;
 * until then they read back empty and are written where nothing reads them.
 * Row sets are released with OrviMapiReleaseResult.
 */

/* The folder's contacts, sorted by display name; the caller releases the
 * table with OrviMapiReleaseTable. A table prepared before the named
 * properties are resolved never shows them. */
ORVIMAPI_EXTERN(int32_t) OrviMapiContactContQuerySet(OrviMapiFolder folder, OrviMapiTable *tableOut);
/* The next contact: returns 1, or 0 at the end (the empty row set is the
 * caller's too), or -1. */
ORVIMAPI_EXTERN(int32_t) OrviMapiContactContQueryGetRow(OrviMapiTable table, OrviMapiRowSet *rowsOut);
/*
 * Fills every field of *record from the contact: a missing property gives
 * length 0 and a null pointer. Texts and the identifier point into the row
 * set: valid until it is released.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiContactContGetParam(OrviMapiRowSet rows, ContactRecord *record);
/* The contact's identifier: count and a pointer into the row set. -1
 * without a record when the row has none. */
ORVIMAPI_EXTERN(int32_t) OrviMapiContactContGetEID(OrviMapiRowSet rows, uint32_t *cbOut,
    unsigned char **bytesOut);
/*
 * Creates and saves a contact (class "IPM.Contact") in the folder from the
 * record's pointers; lengths are ignored and a null pointer means not given.
 * Written: the subject (also as normalized subject and conversation topic),
 * the display name, and each e-mail entry whose address type and address
 * are both given (the address also as the entry's display name). Nothing
 * else of the record is written. A contact that fails to be written is not
 * saved. The new contact's identifier is not handed out.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiContactAdd(OrviMapiFolder folder, const ContactRecord *record);
/*
 * Writes the record's complete e-mail entries (as OrviMapiContactAdd) to the
 * contact entryId of the folder and saves it; nothing else is changed.
 * Returns 0 without writing when no entry is complete. "EntryID not Msg
 * Object" when the identifier names something other than a message.
 */
ORVIMAPI_EXTERN(int32_t) OrviMapiContactUpdate(OrviMapiFolder folder, int32_t cbEntryId,
    const unsigned char *entryId, const ContactRecord *record);

/* ---- Release ------------------------------------------------------------
 * Give back what the library handed out. None needs a session, none records
 * anything, and each is a harmless no-op for a null handle.
 */

/* Releases a table (store, hierarchy, contents, recipient or attachment). */
ORVIMAPI_EXTERN(void) OrviMapiReleaseTable(OrviMapiTable table);
/* Releases a folder. */
ORVIMAPI_EXTERN(void) OrviMapiReleaseFolder(OrviMapiFolder folder);
/* Releases an attachment. */
ORVIMAPI_EXTERN(void) OrviMapiReleaseAttach(OrviMapiAttach attach);
/* Releases a body or attachment stream. */
ORVIMAPI_EXTERN(void) OrviMapiReleaseStream(OrviMapiStream stream);
/* Releases a message. */
ORVIMAPI_EXTERN(void) OrviMapiReleaseMsg(OrviMapiMessage message);
/* Frees a row set. */
ORVIMAPI_EXTERN(void) OrviMapiReleaseResult(OrviMapiRowSet rows);
/* Frees a folder's property array; the folder is not used and may be null. */
ORVIMAPI_EXTERN(void) OrviMapiFolderPropsRelease(OrviMapiFolder folder, OrviMapiProps props);
/* Frees a message's property array; the message is not used and may be null. */
ORVIMAPI_EXTERN(void) OrviMapiMsgPropsRelease(OrviMapiMessage message, OrviMapiProps props);

#ifdef __cplusplus
}
#endif

#endif /* ORVIMAPI_H */
