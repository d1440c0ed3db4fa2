// Extended MAPI declarations for builds without the Windows SDK.
//
// Same names, values, layouts and interface member order as the SDK's
// mapidefs.h, mapix.h, mapiutil.h, mapicode.h and mapitags.h, limited to
// what the library and the MAPI stand-in use. 8-bit (ANSI) forms only.
// On Windows the SDK's (mingw-w64's) headers themselves.
#pragma once

#include "mapisim/decl/win32.h"

#if defined(_WIN32)
#include <mapix.h>
#include <mapiutil.h>
#include <mapidefs.h>
#include <mapicode.h>

// mingw-w64's mapidefs.h gives the window parameter of the IMAPIProp,
// IMAPIFolder, IMessage, IABContainer and IMAPIStatus methods (and
// IAddrBook::Details) as ULONG where the Windows SDK has ULONG_PTR; the
// stand-in's methods take what the headers in use declare.
typedef ULONG MAPIDEFS_UIPARAM;
#else

#define MAPI_DIM 1
// The window parameter of the mapidefs.h interfaces' methods: ULONG_PTR, as
// in the Windows SDK (see the Windows branch above).
typedef ULONG_PTR MAPIDEFS_UIPARAM;
#define MAPIMETHOD_(type, name) virtual type STDMETHODCALLTYPE name
#define MAPIMETHOD(name) MAPIMETHOD_(HRESULT, name)

// ---- Results (mapicode.h) ----
#define MAKE_MAPI_E(err) (MAKE_HRESULT(1, 4, err))
#define MAKE_MAPI_S(warn) (MAKE_HRESULT(0, 4, warn))
#define SUCCESS_SUCCESS 0L
#define MAPI_E_CALL_FAILED E_FAIL
#define MAPI_E_NOT_ENOUGH_MEMORY E_OUTOFMEMORY
#define MAPI_E_INVALID_PARAMETER E_INVALIDARG
#define MAPI_E_INTERFACE_NOT_SUPPORTED E_NOINTERFACE
#define MAPI_E_NO_ACCESS E_ACCESSDENIED
#define MAPI_E_NO_SUPPORT MAKE_MAPI_E(0x102)
#define MAPI_E_BAD_CHARWIDTH MAKE_MAPI_E(0x103)
#define MAPI_E_STRING_TOO_LONG MAKE_MAPI_E(0x105)
#define MAPI_E_UNKNOWN_FLAGS MAKE_MAPI_E(0x106)
#define MAPI_E_INVALID_ENTRYID MAKE_MAPI_E(0x107)
#define MAPI_E_INVALID_OBJECT MAKE_MAPI_E(0x108)
#define MAPI_E_OBJECT_CHANGED MAKE_MAPI_E(0x109)
#define MAPI_E_OBJECT_DELETED MAKE_MAPI_E(0x10A)
#define MAPI_E_BUSY MAKE_MAPI_E(0x10B)
#define MAPI_E_NOT_ENOUGH_DISK MAKE_MAPI_E(0x10D)
#define MAPI_E_NOT_ENOUGH_RESOURCES MAKE_MAPI_E(0x10E)
#define MAPI_E_NOT_FOUND MAKE_MAPI_E(0x10F)
#define MAPI_E_VERSION MAKE_MAPI_E(0x110)
#define MAPI_E_LOGON_FAILED MAKE_MAPI_E(0x111)
#define MAPI_E_SESSION_LIMIT MAKE_MAPI_E(0x112)
#define MAPI_E_USER_CANCEL MAKE_MAPI_E(0x113)
#define MAPI_E_UNABLE_TO_ABORT MAKE_MAPI_E(0x114)
#define MAPI_E_NETWORK_ERROR MAKE_MAPI_E(0x115)
#define MAPI_E_DISK_ERROR MAKE_MAPI_E(0x116)
#define MAPI_E_TOO_COMPLEX MAKE_MAPI_E(0x117)
#define MAPI_E_BAD_COLUMN MAKE_MAPI_E(0x118)
#define MAPI_E_EXTENDED_ERROR MAKE_MAPI_E(0x119)
#define MAPI_E_COMPUTED MAKE_MAPI_E(0x11A)
#define MAPI_E_CORRUPT_DATA MAKE_MAPI_E(0x11B)
#define MAPI_E_UNCONFIGURED MAKE_MAPI_E(0x11C)
#define MAPI_E_FAILONEPROVIDER MAKE_MAPI_E(0x11D)
#define MAPI_E_UNKNOWN_CPID MAKE_MAPI_E(0x11E)
#define MAPI_E_UNKNOWN_LCID MAKE_MAPI_E(0x11F)
#define MAPI_E_CORRUPT_STORE MAKE_MAPI_E(0x600)
#define MAPI_E_NOT_IN_QUEUE MAKE_MAPI_E(0x601)
#define MAPI_E_NO_SUPPRESS MAKE_MAPI_E(0x602)
#define MAPI_E_COLLISION MAKE_MAPI_E(0x604)
#define MAPI_E_NOT_INITIALIZED MAKE_MAPI_E(0x605)
#define MAPI_E_NON_STANDARD MAKE_MAPI_E(0x606)
#define MAPI_E_NO_RECIPIENTS MAKE_MAPI_E(0x607)
#define MAPI_E_SUBMITTED MAKE_MAPI_E(0x608)
#define MAPI_E_HAS_FOLDERS MAKE_MAPI_E(0x609)
#define MAPI_E_HAS_MESSAGES MAKE_MAPI_E(0x60A)
#define MAPI_E_FOLDER_CYCLE MAKE_MAPI_E(0x60B)
#define MAPI_E_END_OF_SESSION MAKE_MAPI_E(0x200)
#define MAPI_E_UNKNOWN_ENTRYID MAKE_MAPI_E(0x201)
#define MAPI_E_MISSING_REQUIRED_COLUMN MAKE_MAPI_E(0x202)
#define MAPI_E_BAD_VALUE MAKE_MAPI_E(0x301)
#define MAPI_E_INVALID_TYPE MAKE_MAPI_E(0x302)
#define MAPI_E_TYPE_NO_SUPPORT MAKE_MAPI_E(0x303)
#define MAPI_E_UNEXPECTED_TYPE MAKE_MAPI_E(0x304)
#define MAPI_E_TOO_BIG MAKE_MAPI_E(0x305)
#define MAPI_E_DECLINE_COPY MAKE_MAPI_E(0x306)
#define MAPI_E_UNEXPECTED_ID MAKE_MAPI_E(0x307)
#define MAPI_E_UNABLE_TO_COMPLETE MAKE_MAPI_E(0x400)
#define MAPI_E_TIMEOUT MAKE_MAPI_E(0x401)
#define MAPI_E_TABLE_EMPTY MAKE_MAPI_E(0x402)
#define MAPI_E_TABLE_TOO_BIG MAKE_MAPI_E(0x403)
#define MAPI_E_INVALID_BOOKMARK MAKE_MAPI_E(0x405)
#define MAPI_W_ERRORS_RETURNED MAKE_MAPI_S(0x380)
#define MAPI_W_POSITION_CHANGED MAKE_MAPI_S(0x481)
#define MAPI_W_APPROX_COUNT MAKE_MAPI_S(0x482)
#define MAPI_W_PARTIAL_COMPLETION MAKE_MAPI_S(0x680)

// ---- Property types and tags ----
#define PT_UNSPECIFIED ((ULONG)0)
#define PT_NULL ((ULONG)1)
#define PT_I2 ((ULONG)2)
#define PT_SHORT PT_I2
#define PT_LONG ((ULONG)3)
#define PT_I4 PT_LONG
#define PT_R4 ((ULONG)4)
#define PT_DOUBLE ((ULONG)5)
#define PT_CURRENCY ((ULONG)6)
#define PT_APPTIME ((ULONG)7)
#define PT_ERROR ((ULONG)10)
#define PT_BOOLEAN ((ULONG)11)
#define PT_OBJECT ((ULONG)13)
#define PT_I8 ((ULONG)20)
#define PT_STRING8 ((ULONG)30)
#define PT_UNICODE ((ULONG)31)
#define PT_SYSTIME ((ULONG)64)
#define PT_CLSID ((ULONG)72)
#define PT_BINARY ((ULONG)258)
#define MV_FLAG 0x1000
#define PT_MV_LONG (MV_FLAG | PT_LONG)
#define PT_MV_STRING8 (MV_FLAG | PT_STRING8)
#define PT_MV_UNICODE (MV_FLAG | PT_UNICODE)
#define PT_MV_BINARY (MV_FLAG | PT_BINARY)
#define PROP_TYPE_MASK ((ULONG)0x0000FFFF)
#define PROP_TYPE(ulPropTag) (((ULONG)(ulPropTag)) & PROP_TYPE_MASK)
#define PROP_ID(ulPropTag) (((ULONG)(ulPropTag)) >> 16)
#define PROP_TAG(ulPropType, ulPropID) ((((ULONG)(ulPropID)) << 16) | ((ULONG)(ulPropType)))
#define CHANGE_PROP_TYPE(ulPropTag, ulPropType) \
    (((ULONG)0xFFFF0000 & (ulPropTag)) | (ulPropType))
#define PROP_ID_NULL 0
#define PROP_ID_INVALID 0xFFFF
#define PR_NULL PROP_TAG(PT_NULL, PROP_ID_NULL)

// ---- Basic MAPI types ----
typedef struct _ENTRYID {
    BYTE abFlags[4];
    BYTE ab[MAPI_DIM];
} ENTRYID, *LPENTRYID;

typedef struct _MAPIUID {
    BYTE ab[16];
} MAPIUID, *LPMAPIUID;

typedef const IID* LPCIID;

typedef struct _SBinary {
    ULONG cb;
    LPBYTE lpb;
} SBinary, *LPSBinary;

typedef struct _SPropTagArray {
    ULONG cValues;
    ULONG aulPropTag[MAPI_DIM];
} SPropTagArray, *LPSPropTagArray;

#define CbNewSPropTagArray(_ctag) \
    (offsetof(SPropTagArray, aulPropTag) + (_ctag) * sizeof(ULONG))
#define SizedSPropTagArray(_ctag, _name) \
    struct _SPropTagArray_##_name {      \
        ULONG cValues;                   \
        ULONG aulPropTag[_ctag];         \
    } _name

typedef struct _SShortArray { ULONG cValues; short int* lpi; } SShortArray;
typedef struct _SLongArray { ULONG cValues; LONG* lpl; } SLongArray;
typedef struct _SRealArray { ULONG cValues; float* lpflt; } SRealArray;
typedef struct _SDoubleArray { ULONG cValues; double* lpdbl; } SDoubleArray;
typedef struct _SCurrencyArray { ULONG cValues; CURRENCY* lpcur; } SCurrencyArray;
typedef struct _SAppTimeArray { ULONG cValues; double* lpat; } SAppTimeArray;
typedef struct _SDateTimeArray { ULONG cValues; FILETIME* lpft; } SDateTimeArray;
typedef struct _SBinaryArray { ULONG cValues; SBinary* lpbin; } SBinaryArray;
typedef SBinaryArray ENTRYLIST, *LPENTRYLIST;
typedef struct _SLPSTRArray { ULONG cValues; LPSTR* lppszA; } SLPSTRArray;
typedef struct _SWStringArray { ULONG cValues; LPWSTR* lppszW; } SWStringArray;
typedef struct _SGuidArray { ULONG cValues; GUID* lpguid; } SGuidArray;
typedef struct _SLargeIntegerArray { ULONG cValues; LARGE_INTEGER* lpli; } SLargeIntegerArray;

typedef union _PV {
    short int i;
    LONG l;
    ULONG ul;
    float flt;
    double dbl;
    unsigned short int b;
    CURRENCY cur;
    double at;
    FILETIME ft;
    LPSTR lpszA;
    SBinary bin;
    LPWSTR lpszW;
    LPGUID lpguid;
    LARGE_INTEGER li;
    SShortArray MVi;
    SLongArray MVl;
    SRealArray MVflt;
    SDoubleArray MVdbl;
    SCurrencyArray MVcur;
    SAppTimeArray MVat;
    SDateTimeArray MVft;
    SBinaryArray MVbin;
    SLPSTRArray MVszA;
    SWStringArray MVszW;
    SGuidArray MVguid;
    SLargeIntegerArray MVli;
    SCODE err;
    LONG x;
} __UPV;

typedef struct _SPropValue {
    ULONG ulPropTag;
    ULONG dwAlignPad;
    union _PV Value;
} SPropValue, *LPSPropValue;

typedef struct _SPropProblem {
    ULONG ulIndex;
    ULONG ulPropTag;
    SCODE scode;
} SPropProblem, *LPSPropProblem;

typedef struct _SPropProblemArray {
    ULONG cProblem;
    SPropProblem aProblem[MAPI_DIM];
} SPropProblemArray, *LPSPropProblemArray;

typedef struct _FlagList {
    ULONG cFlags;
    ULONG ulFlag[MAPI_DIM];
} FlagList, *LPFlagList;

typedef struct _SRow {
    ULONG ulAdrEntryPad;
    ULONG cValues;
    LPSPropValue lpProps;
} SRow, *LPSRow;

typedef struct _SRowSet {
    ULONG cRows;
    SRow aRow[MAPI_DIM];
} SRowSet, *LPSRowSet;

#define CbNewSRowSet(_crow) (offsetof(SRowSet, aRow) + (_crow) * sizeof(SRow))

typedef struct _ADRENTRY {
    ULONG ulReserved1;
    ULONG cValues;
    LPSPropValue rgPropVals;
} ADRENTRY, *LPADRENTRY;

typedef struct _ADRLIST {
    ULONG cEntries;
    ADRENTRY aEntries[MAPI_DIM];
} ADRLIST, *LPADRLIST;

typedef struct _MAPIERROR {
    ULONG ulVersion;
    LPSTR lpszError;
    LPSTR lpszComponent;
    ULONG ulLowLevelError;
    ULONG ulContext;
} MAPIERROR, *LPMAPIERROR;

#define MNID_ID 0
#define MNID_STRING 1
typedef struct _MAPINAMEID {
    LPGUID lpguid;
    ULONG ulKind;
    union {
        LONG lID;
        LPWSTR lpwstrName;
    } Kind;
} MAPINAMEID, *LPMAPINAMEID;

// ---- Sorting and restrictions ----
#define TABLE_SORT_ASCEND ((ULONG)0x00000000)
#define TABLE_SORT_DESCEND ((ULONG)0x00000001)
#define TABLE_SORT_COMBINE ((ULONG)0x00000002)

typedef struct _SSortOrder {
    ULONG ulPropTag;
    ULONG ulOrder;
} SSortOrder, *LPSSortOrder;

typedef struct _SSortOrderSet {
    ULONG cSorts;
    ULONG cCategories;
    ULONG cExpanded;
    SSortOrder aSort[MAPI_DIM];
} SSortOrderSet, *LPSSortOrderSet;

#define CbNewSSortOrderSet(_csort) (offsetof(SSortOrderSet, aSort) + (_csort) * sizeof(SSortOrder))
#define SizedSSortOrderSet(_csort, _name) \
    struct _SSortOrderSet_##_name {       \
        ULONG cSorts;                     \
        ULONG cCategories;                \
        ULONG cExpanded;                  \
        SSortOrder aSort[_csort];         \
    } _name

typedef ULONG BOOKMARK;
#define BOOKMARK_BEGINNING ((BOOKMARK)0)
#define BOOKMARK_CURRENT ((BOOKMARK)1)
#define BOOKMARK_END ((BOOKMARK)2)

#define FL_FULLSTRING ((ULONG)0x00000000)
#define FL_SUBSTRING ((ULONG)0x00000001)
#define FL_PREFIX ((ULONG)0x00000002)
#define FL_IGNORECASE ((ULONG)0x00010000)
#define FL_IGNORENONSPACE ((ULONG)0x00020000)
#define FL_LOOSE ((ULONG)0x00040000)

typedef struct _SRestriction* LPSRestriction;

#define RES_AND ((ULONG)0x00000000)
#define RES_OR ((ULONG)0x00000001)
#define RES_NOT ((ULONG)0x00000002)
#define RES_CONTENT ((ULONG)0x00000003)
#define RES_PROPERTY ((ULONG)0x00000004)
#define RES_COMPAREPROPS ((ULONG)0x00000005)
#define RES_BITMASK ((ULONG)0x00000006)
#define RES_SIZE ((ULONG)0x00000007)
#define RES_EXIST ((ULONG)0x00000008)
#define RES_SUBRESTRICTION ((ULONG)0x00000009)
#define RES_COMMENT ((ULONG)0x0000000A)

#define RELOP_LT ((ULONG)0)
#define RELOP_LE ((ULONG)1)
#define RELOP_GT ((ULONG)2)
#define RELOP_GE ((ULONG)3)
#define RELOP_EQ ((ULONG)4)
#define RELOP_NE ((ULONG)5)
#define RELOP_RE ((ULONG)6)

#define BMR_EQZ ((ULONG)0)
#define BMR_NEZ ((ULONG)1)

typedef struct _SAndRestriction { ULONG cRes; LPSRestriction lpRes; } SAndRestriction;
typedef struct _SOrRestriction { ULONG cRes; LPSRestriction lpRes; } SOrRestriction;
typedef struct _SNotRestriction { ULONG ulReserved; LPSRestriction lpRes; } SNotRestriction;
typedef struct _SContentRestriction {
    ULONG ulFuzzyLevel;
    ULONG ulPropTag;
    LPSPropValue lpProp;
} SContentRestriction;
typedef struct _SBitMaskRestriction { ULONG relBMR; ULONG ulPropTag; ULONG ulMask; } SBitMaskRestriction;
typedef struct _SPropertyRestriction {
    ULONG relop;
    ULONG ulPropTag;
    LPSPropValue lpProp;
} SPropertyRestriction;
typedef struct _SComparePropsRestriction {
    ULONG relop;
    ULONG ulPropTag1;
    ULONG ulPropTag2;
} SComparePropsRestriction;
typedef struct _SSizeRestriction { ULONG relop; ULONG ulPropTag; ULONG cb; } SSizeRestriction;
typedef struct _SExistRestriction {
    ULONG ulReserved1;
    ULONG ulPropTag;
    ULONG ulReserved2;
} SExistRestriction;
typedef struct _SSubRestriction { ULONG ulSubObject; LPSRestriction lpRes; } SSubRestriction;
typedef struct _SCommentRestriction {
    ULONG cValues;
    LPSRestriction lpRes;
    LPSPropValue lpProp;
} SCommentRestriction;

typedef struct _SRestriction {
    ULONG rt;
    union {
        SComparePropsRestriction resCompareProps;
        SAndRestriction resAnd;
        SOrRestriction resOr;
        SNotRestriction resNot;
        SContentRestriction resContent;
        SPropertyRestriction resProperty;
        SBitMaskRestriction resBitMask;
        SSizeRestriction resSize;
        SExistRestriction resExist;
        SSubRestriction resSub;
        SCommentRestriction resComment;
    } res;
} SRestriction;

// ---- Notifications ----
#define fnevCriticalError ((ULONG)0x00000001)
#define fnevNewMail ((ULONG)0x00000002)
#define fnevObjectCreated ((ULONG)0x00000004)
#define fnevObjectDeleted ((ULONG)0x00000008)
#define fnevObjectModified ((ULONG)0x00000010)
#define fnevObjectMoved ((ULONG)0x00000020)
#define fnevObjectCopied ((ULONG)0x00000040)
#define fnevSearchComplete ((ULONG)0x00000080)
#define fnevTableModified ((ULONG)0x00000100)
#define fnevStatusObjectModified ((ULONG)0x00000200)
#define fnevExtended ((ULONG)0x80000000)

#define TABLE_CHANGED 1
#define TABLE_ERROR 2
#define TABLE_ROW_ADDED 3
#define TABLE_ROW_DELETED 4
#define TABLE_ROW_MODIFIED 5
#define TABLE_SORT_DONE 6
#define TABLE_RESTRICT_DONE 7
#define TABLE_SETCOL_DONE 8
#define TABLE_RELOAD 9

typedef struct _ERROR_NOTIFICATION {
    ULONG cbEntryID;
    LPENTRYID lpEntryID;
    SCODE scode;
    ULONG ulFlags;
    LPMAPIERROR lpMAPIError;
} ERROR_NOTIFICATION;

typedef struct _NEWMAIL_NOTIFICATION {
    ULONG cbEntryID;
    LPENTRYID lpEntryID;
    ULONG cbParentID;
    LPENTRYID lpParentID;
    ULONG ulFlags;
    LPSTR lpszMessageClass;
    ULONG ulMessageFlags;
} NEWMAIL_NOTIFICATION;

typedef struct _OBJECT_NOTIFICATION {
    ULONG cbEntryID;
    LPENTRYID lpEntryID;
    ULONG ulObjType;
    ULONG cbParentID;
    LPENTRYID lpParentID;
    ULONG cbOldID;
    LPENTRYID lpOldID;
    ULONG cbOldParentID;
    LPENTRYID lpOldParentID;
    LPSPropTagArray lpPropTagArray;
} OBJECT_NOTIFICATION;

typedef struct _TABLE_NOTIFICATION {
    ULONG ulTableEvent;
    HRESULT hResult;
    SPropValue propIndex;
    SPropValue propPrior;
    SRow row;
    ULONG ulPad;
} TABLE_NOTIFICATION;

typedef struct _EXTENDED_NOTIFICATION {
    ULONG ulEvent;
    ULONG cb;
    LPBYTE pbEventParameters;
} EXTENDED_NOTIFICATION;

typedef struct {
    ULONG cbEntryID;
    LPENTRYID lpEntryID;
    ULONG cValues;
    LPSPropValue lpPropVals;
} STATUS_OBJECT_NOTIFICATION;

typedef struct _NOTIFICATION {
    ULONG ulEventType;
    ULONG ulAlignPad;
    union {
        ERROR_NOTIFICATION err;
        NEWMAIL_NOTIFICATION newmail;
        OBJECT_NOTIFICATION obj;
        TABLE_NOTIFICATION tab;
        EXTENDED_NOTIFICATION ext;
        STATUS_OBJECT_NOTIFICATION statobj;
    } info;
} NOTIFICATION, *LPNOTIFICATION;

// ---- Object types ----
#define MAPI_STORE ((ULONG)0x00000001)
#define MAPI_ADDRBOOK ((ULONG)0x00000002)
#define MAPI_FOLDER ((ULONG)0x00000003)
#define MAPI_ABCONT ((ULONG)0x00000004)
#define MAPI_MESSAGE ((ULONG)0x00000005)
#define MAPI_MAILUSER ((ULONG)0x00000006)
#define MAPI_ATTACH ((ULONG)0x00000007)
#define MAPI_DISTLIST ((ULONG)0x00000008)
#define MAPI_PROFSECT ((ULONG)0x00000009)
#define MAPI_STATUS ((ULONG)0x0000000A)
#define MAPI_SESSION ((ULONG)0x0000000B)
#define MAPI_FORMINFO ((ULONG)0x0000000C)

// ---- Flags (mapidefs.h, mapix.h) ----
#define MAPI_MODIFY ((ULONG)0x00000001)
#define MAPI_ACCESS_MODIFY ((ULONG)0x00000001)
#define MAPI_ACCESS_READ ((ULONG)0x00000002)
#define MAPI_ACCESS_DELETE ((ULONG)0x00000004)
#define MAPI_ACCESS_CREATE_HIERARCHY ((ULONG)0x00000008)
#define MAPI_ACCESS_CREATE_CONTENTS ((ULONG)0x00000010)
#define MAPI_ACCESS_CREATE_ASSOCIATED ((ULONG)0x00000020)
#define MAPI_UNICODE ((ULONG)0x80000000)
#define MAPI_ORIG 0
#define MAPI_TO 1
#define MAPI_CC 2
#define MAPI_BCC 3
#define MAPI_SHORTTERM 0x80
#define MAPI_NOTRECIP 0x40
#define MAPI_THISSESSION 0x20
#define MAPI_NOW 0x10
#define MAPI_NOTRESERVED 0x08
#define MAPI_ERROR_VERSION 0L
#define KEEP_OPEN_READONLY ((ULONG)0x00000001)
#define KEEP_OPEN_READWRITE ((ULONG)0x00000002)
#define FORCE_SAVE ((ULONG)0x00000004)
#define MAPI_CREATE ((ULONG)0x00000002)
#define MAPI_MOVE ((ULONG)0x00000001)
#define MAPI_NOREPLACE ((ULONG)0x00000002)
#define MAPI_DECLINE_OK ((ULONG)0x00000004)
#define MAPI_DIALOG ((ULONG)0x00000008)
#define MAPI_NO_STRINGS ((ULONG)0x00000001)
#define MAPI_NO_IDS ((ULONG)0x00000002)
#define TBL_ALL_COLUMNS ((ULONG)0x00000001)
#define TBL_NOWAIT ((ULONG)0x00000001)
#define TBL_ASYNC ((ULONG)0x00000001)
#define TBL_BATCH ((ULONG)0x00000002)
#define TBL_NOADVANCE ((ULONG)0x00000001)
#define DIR_BACKWARD ((ULONG)0x00000001)
#define TBLSTAT_COMPLETE ((ULONG)0)
#define TBLTYPE_SNAPSHOT ((ULONG)0)
#define TBLTYPE_KEYSET ((ULONG)1)
#define TBLTYPE_DYNAMIC ((ULONG)2)
#define MAPI_STORE_PROVIDER ((ULONG)33)
#define MAPI_AB ((ULONG)34)
#define MAPI_AB_PROVIDER ((ULONG)35)
#define MAPI_TRANSPORT_PROVIDER ((ULONG)36)
#define MAPI_SPOOLER ((ULONG)37)
#define MAPI_PROFILE_PROVIDER ((ULONG)38)
#define MAPI_SUBSYSTEM ((ULONG)39)
#define MAPI_HOOK_PROVIDER ((ULONG)40)
#define STATUS_VALIDATE_STATE ((ULONG)0x00000001)
#define STATUS_SETTINGS_DIALOG ((ULONG)0x00000002)
#define STATUS_CHANGE_PASSWORD ((ULONG)0x00000004)
#define STATUS_FLUSH_QUEUES ((ULONG)0x00000008)
#define STATUS_DEFAULT_OUTBOUND ((ULONG)0x00000001)
#define STATUS_DEFAULT_STORE ((ULONG)0x00000002)
#define STATUS_PRIMARY_IDENTITY ((ULONG)0x00000004)
#define STATUS_SIMPLE_STORE ((ULONG)0x00000008)
#define STATUS_NO_DEFAULT_STORE ((ULONG)0x00000040)
#define STATUS_PRIMARY_STORE ((ULONG)0x00001000)
#define STATUS_SECONDARY_STORE ((ULONG)0x00002000)
#define STATUS_AVAILABLE ((ULONG)0x00000001)
#define STATUS_OFFLINE ((ULONG)0x00000002)
#define STATUS_FAILURE ((ULONG)0x00000004)
#define STATUS_INBOUND_ENABLED ((ULONG)0x00010000)
#define STATUS_INBOUND_ACTIVE ((ULONG)0x00020000)
#define STATUS_INBOUND_FLUSH ((ULONG)0x00040000)
#define STATUS_OUTBOUND_ENABLED ((ULONG)0x00100000)
#define STATUS_OUTBOUND_ACTIVE ((ULONG)0x00200000)
#define STATUS_OUTBOUND_FLUSH ((ULONG)0x00400000)
#define FLUSH_UPLOAD ((ULONG)0x00000002)
#define FLUSH_DOWNLOAD ((ULONG)0x00000004)
#define FLUSH_FORCE ((ULONG)0x00000008)
#define FLUSH_NO_UI ((ULONG)0x00000010)
#define FLUSH_ASYNC_OK ((ULONG)0x00000020)
#define MAPI_BEST_ACCESS ((ULONG)0x00000010)
#define FOLDER_ROOT ((ULONG)0x00000000)
#define FOLDER_GENERIC ((ULONG)0x00000001)
#define FOLDER_SEARCH ((ULONG)0x00000002)
#define MESSAGE_MOVE ((ULONG)0x00000001)
#define MESSAGE_DIALOG ((ULONG)0x00000002)
#define OPEN_IF_EXISTS ((ULONG)0x00000001)
#define DEL_MESSAGES ((ULONG)0x00000001)
#define FOLDER_DIALOG ((ULONG)0x00000002)
#define DEL_FOLDERS ((ULONG)0x00000004)
#define DEL_ASSOCIATED ((ULONG)0x00000008)
#define FOLDER_MOVE ((ULONG)0x00000001)
#define COPY_SUBFOLDERS ((ULONG)0x00000010)
#define STORE_ENTRYID_UNIQUE ((ULONG)0x00000001)
#define STORE_MODIFY_OK ((ULONG)0x00000008)
#define STORE_CREATE_OK ((ULONG)0x00000010)
#define STORE_ATTACH_OK ((ULONG)0x00000020)
#define STORE_MV_PROPS_OK ((ULONG)0x00000200)
#define STORE_RESTRICTION_OK ((ULONG)0x00001000)
#define STORE_SORT_OK ((ULONG)0x00002000)
#define FOLDER_IPM_SUBTREE_VALID ((ULONG)0x00000001)
#define FOLDER_IPM_INBOX_VALID ((ULONG)0x00000002)
#define FOLDER_IPM_OUTBOX_VALID ((ULONG)0x00000004)
#define FOLDER_IPM_WASTEBASKET_VALID ((ULONG)0x00000008)
#define FOLDER_IPM_SENTMAIL_VALID ((ULONG)0x00000010)
#define MSGFLAG_READ ((ULONG)0x00000001)
#define MSGFLAG_UNMODIFIED ((ULONG)0x00000002)
#define MSGFLAG_SUBMIT ((ULONG)0x00000004)
#define MSGFLAG_UNSENT ((ULONG)0x00000008)
#define MSGFLAG_HASATTACH ((ULONG)0x00000010)
#define MSGFLAG_FROMME ((ULONG)0x00000020)
#define MSGFLAG_ASSOCIATED ((ULONG)0x00000040)
#define SUPPRESS_RECEIPT ((ULONG)0x00000001)
#define CLEAR_READ_FLAG ((ULONG)0x00000004)
#define GENERATE_RECEIPT_ONLY ((ULONG)0x00000010)
#define CLEAR_RN_PENDING ((ULONG)0x00000020)
#define CLEAR_NRN_PENDING ((ULONG)0x00000040)
#define ATTACH_BY_VALUE ((ULONG)0x00000001)
#define ATTACH_BY_REFERENCE ((ULONG)0x00000002)
#define ATTACH_BY_REF_RESOLVE ((ULONG)0x00000003)
#define ATTACH_BY_REF_ONLY ((ULONG)0x00000004)
#define ATTACH_EMBEDDED_MSG ((ULONG)0x00000005)
#define ATTACH_OLE ((ULONG)0x00000006)
#define MAPI_DEFERRED_ERRORS ((ULONG)0x00000008)
#define MAPI_ASSOCIATED ((ULONG)0x00000040)
#define MDB_NO_DIALOG ((ULONG)0x00000001)
#define MDB_WRITE ((ULONG)0x00000004)
#define MDB_TEMPORARY ((ULONG)0x00000020)
#define MDB_NO_MAIL ((ULONG)0x00000080)
#define AB_RECIPIENTS ((ULONG)0x00000001)
#define AB_SUBCONTAINERS ((ULONG)0x00000002)
#define AB_MODIFIABLE ((ULONG)0x00000004)
#define AB_UNMODIFIABLE ((ULONG)0x00000008)
#define DT_MAILUSER ((ULONG)0x00000000)
#define DT_DISTLIST ((ULONG)0x00000001)
#define DT_PRIVATE_DISTLIST ((ULONG)0x00000005)
#define DT_MODIFIABLE ((ULONG)0x00010000)
#define DT_NOT_SPECIFIC ((ULONG)0x00050000)
#define MAPI_LOGON_UI 0x00000001
#define MAPI_NEW_SESSION 0x00000002
#define MAPI_ALLOW_OTHERS 0x00000008
#define MAPI_EXPLICIT_PROFILE 0x00000010
#define MAPI_EXTENDED 0x00000020
#define MAPI_USE_DEFAULT 0x00000040
#define MAPI_FORCE_DOWNLOAD 0x00001000
#define MAPI_NO_MAIL 0x00008000
#define MAPI_INIT_VERSION 0
#define MAPI_MULTITHREAD_NOTIFICATIONS 0x00000001
#define MAPI_POST_MESSAGE 0x00000001
#define MAPI_NEW_MESSAGE 0x00000002

// ---- Interface identifiers (mapiguid.h) ----
#define MAPISIM_OLEGUID(name, l) \
    inline constexpr IID name = {l, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}}
MAPISIM_OLEGUID(IID_IMAPISession, 0x00020300);
MAPISIM_OLEGUID(IID_IMAPITable, 0x00020301);
MAPISIM_OLEGUID(IID_IMAPIAdviseSink, 0x00020302);
MAPISIM_OLEGUID(IID_IMAPIProp, 0x00020303);
MAPISIM_OLEGUID(IID_IProfSect, 0x00020304);
MAPISIM_OLEGUID(IID_IMAPIStatus, 0x00020305);
MAPISIM_OLEGUID(IID_IMsgStore, 0x00020306);
MAPISIM_OLEGUID(IID_IMessage, 0x00020307);
MAPISIM_OLEGUID(IID_IAttachment, 0x00020308);
MAPISIM_OLEGUID(IID_IAddrBook, 0x00020309);
MAPISIM_OLEGUID(IID_IMailUser, 0x0002030A);
MAPISIM_OLEGUID(IID_IMAPIContainer, 0x0002030B);
MAPISIM_OLEGUID(IID_IMAPIFolder, 0x0002030C);
MAPISIM_OLEGUID(IID_IABContainer, 0x0002030D);
MAPISIM_OLEGUID(IID_IDistList, 0x0002030E);
MAPISIM_OLEGUID(IID_IProfAdmin, 0x0002031C);
#undef MAPISIM_OLEGUID

// ---- Address book dialog parameters ----
typedef void(STDMETHODCALLTYPE DISMISSMODELESS)(ULONG_PTR ulUIParam, LPVOID lpvContext);
typedef DISMISSMODELESS* LPFNDISMISS;
typedef SCODE(STDMETHODCALLTYPE* LPFNABSDI)(ULONG_PTR ulUIParam, LPVOID lpvmsg);
typedef SCODE(STDMETHODCALLTYPE* LPFNBUTTON)(ULONG_PTR ulUIParam, LPVOID lpvContext, ULONG cbEntryID,
                                             LPENTRYID lpSelection, ULONG ulFlags);

typedef struct _ADRPARM {
    ULONG cbABContEntryID;
    LPENTRYID lpABContEntryID;
    ULONG ulFlags;
    LPVOID lpReserved;
    ULONG ulHelpContext;
    LPSTR lpszHelpFileName;
    LPFNABSDI lpfnABSDI;
    LPFNDISMISS lpfnDismiss;
    LPVOID lpvDismissContext;
    LPSTR lpszCaption;
    LPSTR lpszNewEntryTitle;
    LPSTR lpszDestWellsTitle;
    ULONG cDestFields;
    ULONG nDestFieldFocus;
    LPSTR* lppszDestTitles;
    ULONG* lpulDestComps;
    LPSRestriction lpContRestriction;
    LPSRestriction lpHierRestriction;
} ADRPARM, *LPADRPARM;

#define DIALOG_MODAL ((ULONG)0x00000001)
#define DIALOG_SDI ((ULONG)0x00000002)
#define AB_NO_DIALOG ((ULONG)0x00000001)

// ---- Interfaces, in the SDK's member order ----
struct IMAPIAdviseSink : public IUnknown {
    MAPIMETHOD_(ULONG, OnNotify)(ULONG cNotif, LPNOTIFICATION lpNotifications) = 0;
};
typedef IMAPIAdviseSink* LPMAPIADVISESINK;

struct IMAPIProgress : public IUnknown {
    MAPIMETHOD(Progress)(ULONG ulValue, ULONG ulCount, ULONG ulTotal) = 0;
    MAPIMETHOD(GetFlags)(ULONG* lpulFlags) = 0;
    MAPIMETHOD(GetMax)(ULONG* lpulMax) = 0;
    MAPIMETHOD(GetMin)(ULONG* lpulMin) = 0;
    MAPIMETHOD(SetLimits)(LPULONG lpulMin, LPULONG lpulMax, LPULONG lpulFlags) = 0;
};
typedef IMAPIProgress* LPMAPIPROGRESS;

struct IMAPITable : public IUnknown {
    MAPIMETHOD(GetLastError)(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
    MAPIMETHOD(Advise)(ULONG ulEventMask, LPMAPIADVISESINK lpAdviseSink, ULONG* lpulConnection) = 0;
    MAPIMETHOD(Unadvise)(ULONG ulConnection) = 0;
    MAPIMETHOD(GetStatus)(ULONG* lpulTableStatus, ULONG* lpulTableType) = 0;
    MAPIMETHOD(SetColumns)(LPSPropTagArray lpPropTagArray, ULONG ulFlags) = 0;
    MAPIMETHOD(QueryColumns)(ULONG ulFlags, LPSPropTagArray* lpPropTagArray) = 0;
    MAPIMETHOD(GetRowCount)(ULONG ulFlags, ULONG* lpulCount) = 0;
    MAPIMETHOD(SeekRow)(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) = 0;
    MAPIMETHOD(SeekRowApprox)(ULONG ulNumerator, ULONG ulDenominator) = 0;
    MAPIMETHOD(QueryPosition)(ULONG* lpulRow, ULONG* lpulNumerator, ULONG* lpulDenominator) = 0;
    MAPIMETHOD(FindRow)(LPSRestriction lpRestriction, BOOKMARK bkOrigin, ULONG ulFlags) = 0;
    MAPIMETHOD(Restrict)(LPSRestriction lpRestriction, ULONG ulFlags) = 0;
    MAPIMETHOD(CreateBookmark)(BOOKMARK* lpbkPosition) = 0;
    MAPIMETHOD(FreeBookmark)(BOOKMARK bkPosition) = 0;
    MAPIMETHOD(SortTable)(LPSSortOrderSet lpSortCriteria, ULONG ulFlags) = 0;
    MAPIMETHOD(QuerySortOrder)(LPSSortOrderSet* lppSortCriteria) = 0;
    MAPIMETHOD(QueryRows)(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) = 0;
    MAPIMETHOD(Abort)() = 0;
    MAPIMETHOD(ExpandRow)(ULONG cbInstanceKey, LPBYTE pbInstanceKey, ULONG ulRowCount,
                          ULONG ulFlags, LPSRowSet* lppRows, ULONG* lpulMoreRows) = 0;
    MAPIMETHOD(CollapseRow)(ULONG cbInstanceKey, LPBYTE pbInstanceKey, ULONG ulFlags,
                            ULONG* lpulRowCount) = 0;
    MAPIMETHOD(WaitForCompletion)(ULONG ulFlags, ULONG ulTimeout, ULONG* lpulTableStatus) = 0;
    MAPIMETHOD(GetCollapseState)(ULONG ulFlags, ULONG cbInstanceKey, LPBYTE lpbInstanceKey,
                                 ULONG* lpcbCollapseState, LPBYTE* lppbCollapseState) = 0;
    MAPIMETHOD(SetCollapseState)(ULONG ulFlags, ULONG cbCollapseState, LPBYTE pbCollapseState,
                                 BOOKMARK* lpbkLocation) = 0;
};
typedef IMAPITable* LPMAPITABLE;

struct IMAPIProp : public IUnknown {
    MAPIMETHOD(GetLastError)(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
    MAPIMETHOD(SaveChanges)(ULONG ulFlags) = 0;
    MAPIMETHOD(GetProps)(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                         LPSPropValue* lppPropArray) = 0;
    MAPIMETHOD(GetPropList)(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) = 0;
    MAPIMETHOD(OpenProperty)(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions, ULONG ulFlags,
                             LPUNKNOWN* lppUnk) = 0;
    MAPIMETHOD(SetProps)(ULONG cValues, LPSPropValue lpPropArray,
                         LPSPropProblemArray* lppProblems) = 0;
    MAPIMETHOD(DeleteProps)(LPSPropTagArray lpPropTagArray, LPSPropProblemArray* lppProblems) = 0;
    MAPIMETHOD(CopyTo)(ULONG ciidExclude, LPCIID rgiidExclude, LPSPropTagArray lpExcludeProps,
                       ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress, LPCIID lpInterface,
                       LPVOID lpDestObj, ULONG ulFlags, LPSPropProblemArray* lppProblems) = 0;
    MAPIMETHOD(CopyProps)(LPSPropTagArray lpIncludeProps, ULONG_PTR ulUIParam,
                          LPMAPIPROGRESS lpProgress, LPCIID lpInterface, LPVOID lpDestObj,
                          ULONG ulFlags, LPSPropProblemArray* lppProblems) = 0;
    MAPIMETHOD(GetNamesFromIDs)(LPSPropTagArray* lppPropTags, LPGUID lpPropSetGuid, ULONG ulFlags,
                                ULONG* lpcPropNames, LPMAPINAMEID** lpppPropNames) = 0;
    MAPIMETHOD(GetIDsFromNames)(ULONG cPropNames, LPMAPINAMEID* lppPropNames, ULONG ulFlags,
                                LPSPropTagArray* lppPropTags) = 0;
};
typedef IMAPIProp* LPMAPIPROP;

struct IMAPIContainer : public IMAPIProp {
    MAPIMETHOD(GetContentsTable)(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    MAPIMETHOD(GetHierarchyTable)(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    MAPIMETHOD(OpenEntry)(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                          ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
    MAPIMETHOD(SetSearchCriteria)(LPSRestriction lpRestriction, LPENTRYLIST lpContainerList,
                                  ULONG ulSearchFlags) = 0;
    MAPIMETHOD(GetSearchCriteria)(ULONG ulFlags, LPSRestriction* lppRestriction,
                                  LPENTRYLIST* lppContainerList, ULONG* lpulSearchState) = 0;
};
typedef IMAPIContainer* LPMAPICONTAINER;

struct IMessage;
struct IAttach;
typedef IMessage* LPMESSAGE;
typedef IAttach* LPATTACH;

struct IMAPIFolder : public IMAPIContainer {
    MAPIMETHOD(CreateMessage)(LPCIID lpInterface, ULONG ulFlags, LPMESSAGE* lppMessage) = 0;
    MAPIMETHOD(CopyMessages)(LPENTRYLIST lpMsgList, LPCIID lpInterface, LPVOID lpDestFolder,
                             ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
    MAPIMETHOD(DeleteMessages)(LPENTRYLIST lpMsgList, ULONG_PTR ulUIParam,
                               LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
    MAPIMETHOD(CreateFolder)(ULONG ulFolderType, LPSTR lpszFolderName, LPSTR lpszFolderComment,
                             LPCIID lpInterface, ULONG ulFlags, IMAPIFolder** lppFolder) = 0;
    MAPIMETHOD(CopyFolder)(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface,
                           LPVOID lpDestFolder, LPSTR lpszNewFolderName, ULONG_PTR ulUIParam,
                           LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
    MAPIMETHOD(DeleteFolder)(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG_PTR ulUIParam,
                             LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
    MAPIMETHOD(SetReadFlags)(LPENTRYLIST lpMsgList, ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                             ULONG ulFlags) = 0;
    MAPIMETHOD(GetMessageStatus)(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulFlags,
                                 ULONG* lpulMessageStatus) = 0;
    MAPIMETHOD(SetMessageStatus)(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulNewStatus,
                                 ULONG ulNewStatusMask, ULONG* lpulOldStatus) = 0;
    MAPIMETHOD(SaveContentsSort)(LPSSortOrderSet lpSortCriteria, ULONG ulFlags) = 0;
    MAPIMETHOD(EmptyFolder)(ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
};
typedef IMAPIFolder* LPMAPIFOLDER;

struct IMsgStore : public IMAPIProp {
    MAPIMETHOD(Advise)(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask,
                       LPMAPIADVISESINK lpAdviseSink, ULONG* lpulConnection) = 0;
    MAPIMETHOD(Unadvise)(ULONG ulConnection) = 0;
    MAPIMETHOD(CompareEntryIDs)(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2,
                                LPENTRYID lpEntryID2, ULONG ulFlags, ULONG* lpulResult) = 0;
    MAPIMETHOD(OpenEntry)(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                          ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
    MAPIMETHOD(SetReceiveFolder)(LPSTR lpszMessageClass, ULONG ulFlags, ULONG cbEntryID,
                                 LPENTRYID lpEntryID) = 0;
    MAPIMETHOD(GetReceiveFolder)(LPSTR lpszMessageClass, ULONG ulFlags, ULONG* lpcbEntryID,
                                 LPENTRYID* lppEntryID, LPSTR* lppszExplicitClass) = 0;
    MAPIMETHOD(GetReceiveFolderTable)(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    MAPIMETHOD(StoreLogoff)(ULONG* lpulFlags) = 0;
    MAPIMETHOD(AbortSubmit)(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulFlags) = 0;
    MAPIMETHOD(GetOutgoingQueue)(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    MAPIMETHOD(SetLockState)(LPMESSAGE lpMessage, ULONG ulLockState) = 0;
    MAPIMETHOD(FinishedMsg)(ULONG ulFlags, ULONG cbEntryID, LPENTRYID lpEntryID) = 0;
    MAPIMETHOD(NotifyNewMail)(LPNOTIFICATION lpNotification) = 0;
};
typedef IMsgStore* LPMDB;

struct IMessage : public IMAPIProp {
    MAPIMETHOD(GetAttachmentTable)(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    MAPIMETHOD(OpenAttach)(ULONG ulAttachmentNum, LPCIID lpInterface, ULONG ulFlags,
                           LPATTACH* lppAttach) = 0;
    MAPIMETHOD(CreateAttach)(LPCIID lpInterface, ULONG ulFlags, ULONG* lpulAttachmentNum,
                             LPATTACH* lppAttach) = 0;
    MAPIMETHOD(DeleteAttach)(ULONG ulAttachmentNum, ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                             ULONG ulFlags) = 0;
    MAPIMETHOD(GetRecipientTable)(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    MAPIMETHOD(ModifyRecipients)(ULONG ulFlags, LPADRLIST lpMods) = 0;
    MAPIMETHOD(SubmitMessage)(ULONG ulFlags) = 0;
    MAPIMETHOD(SetReadFlag)(ULONG ulFlags) = 0;
};

struct IAttach : public IMAPIProp {};

struct IMailUser : public IMAPIProp {};
typedef IMailUser* LPMAILUSER;

struct IMAPIStatus : public IMAPIProp {
    MAPIMETHOD(ValidateState)(ULONG_PTR ulUIParam, ULONG ulFlags) = 0;
    MAPIMETHOD(SettingsDialog)(ULONG_PTR ulUIParam, ULONG ulFlags) = 0;
    MAPIMETHOD(ChangePassword)(LPSTR lpOldPass, LPSTR lpNewPass, ULONG ulFlags) = 0;
    MAPIMETHOD(FlushQueues)(ULONG_PTR ulUIParam, ULONG cbTargetTransport,
                            LPENTRYID lpTargetTransport, ULONG ulFlags) = 0;
};
typedef IMAPIStatus* LPMAPISTATUS;

struct IABContainer : public IMAPIContainer {
    MAPIMETHOD(CreateEntry)(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulCreateFlags,
                            LPMAPIPROP* lppMAPIPropEntry) = 0;
    MAPIMETHOD(CopyEntries)(LPENTRYLIST lpEntries, ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                            ULONG ulFlags) = 0;
    MAPIMETHOD(DeleteEntries)(LPENTRYLIST lpEntries, ULONG ulFlags) = 0;
    MAPIMETHOD(ResolveNames)(LPSPropTagArray lpPropTagArray, ULONG ulFlags, LPADRLIST lpAdrList,
                             LPFlagList lpFlagList) = 0;
};
typedef IABContainer* LPABCONT;

struct IAddrBook : public IMAPIProp {
    MAPIMETHOD(OpenEntry)(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                          ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
    MAPIMETHOD(CompareEntryIDs)(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2,
                                LPENTRYID lpEntryID2, ULONG ulFlags, ULONG* lpulResult) = 0;
    MAPIMETHOD(Advise)(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask,
                       LPMAPIADVISESINK lpAdviseSink, ULONG* lpulConnection) = 0;
    MAPIMETHOD(Unadvise)(ULONG ulConnection) = 0;
    MAPIMETHOD(CreateOneOff)(LPSTR lpszName, LPSTR lpszAdrType, LPSTR lpszAddress, ULONG ulFlags,
                             ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
    MAPIMETHOD(NewEntry)(ULONG_PTR ulUIParam, ULONG ulFlags, ULONG cbEIDContainer,
                         LPENTRYID lpEIDContainer, ULONG cbEIDNewEntryTpl,
                         LPENTRYID lpEIDNewEntryTpl, ULONG* lpcbEIDNewEntry,
                         LPENTRYID* lppEIDNewEntry) = 0;
    MAPIMETHOD(ResolveName)(ULONG_PTR ulUIParam, ULONG ulFlags, LPSTR lpszNewEntryTitle,
                            LPADRLIST lpAdrList) = 0;
    MAPIMETHOD(Address)(ULONG_PTR* lpulUIParam, LPADRPARM lpAdrParms, LPADRLIST* lppAdrList) = 0;
    MAPIMETHOD(Details)(ULONG_PTR* lpulUIParam, LPFNDISMISS lpfnDismiss, LPVOID lpvDismissContext,
                        ULONG cbEntryID, LPENTRYID lpEntryID, LPFNBUTTON lpfButtonCallback,
                        LPVOID lpvButtonContext, LPSTR lpszButtonText, ULONG ulFlags) = 0;
    MAPIMETHOD(RecipOptions)(ULONG_PTR ulUIParam, ULONG ulFlags, LPADRENTRY lpRecip) = 0;
    MAPIMETHOD(QueryDefaultRecipOpt)(LPSTR lpszAdrType, ULONG ulFlags, ULONG* lpcValues,
                                     LPSPropValue* lppOptions) = 0;
    MAPIMETHOD(GetPAB)(ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
    MAPIMETHOD(SetPAB)(ULONG cbEntryID, LPENTRYID lpEntryID) = 0;
    MAPIMETHOD(GetDefaultDir)(ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
    MAPIMETHOD(SetDefaultDir)(ULONG cbEntryID, LPENTRYID lpEntryID) = 0;
    MAPIMETHOD(GetSearchPath)(ULONG ulFlags, LPSRowSet* lppSearchPath) = 0;
    MAPIMETHOD(SetSearchPath)(ULONG ulFlags, LPSRowSet lpSearchPath) = 0;
    MAPIMETHOD(PrepareRecips)(ULONG ulFlags, LPSPropTagArray lpPropTagArray,
                              LPADRLIST lpRecipList) = 0;
};
typedef IAddrBook* LPADRBOOK;

struct IProfSect;
struct IMsgServiceAdmin;
typedef IProfSect* LPPROFSECT;
typedef IMsgServiceAdmin* LPSERVICEADMIN;

struct IMAPISession : public IUnknown {
    MAPIMETHOD(GetLastError)(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
    MAPIMETHOD(GetMsgStoresTable)(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    MAPIMETHOD(OpenMsgStore)(ULONG_PTR ulUIParam, ULONG cbEntryID, LPENTRYID lpEntryID,
                             LPCIID lpInterface, ULONG ulFlags, LPMDB* lppMDB) = 0;
    MAPIMETHOD(OpenAddressBook)(ULONG_PTR ulUIParam, LPCIID lpInterface, ULONG ulFlags,
                                LPADRBOOK* lppAdrBook) = 0;
    MAPIMETHOD(OpenProfileSection)(LPMAPIUID lpUID, LPCIID lpInterface, ULONG ulFlags,
                                   LPPROFSECT* lppProfSect) = 0;
    MAPIMETHOD(GetStatusTable)(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    MAPIMETHOD(OpenEntry)(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                          ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
    MAPIMETHOD(CompareEntryIDs)(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2,
                                LPENTRYID lpEntryID2, ULONG ulFlags, ULONG* lpulResult) = 0;
    MAPIMETHOD(Advise)(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask,
                       LPMAPIADVISESINK lpAdviseSink, ULONG* lpulConnection) = 0;
    MAPIMETHOD(Unadvise)(ULONG ulConnection) = 0;
    MAPIMETHOD(MessageOptions)(ULONG_PTR ulUIParam, ULONG ulFlags, LPSTR lpszAdrType,
                               LPMESSAGE lpMessage) = 0;
    MAPIMETHOD(QueryDefaultMessageOpt)(LPSTR lpszAdrType, ULONG ulFlags, ULONG* lpcValues,
                                       LPSPropValue* lppOptions) = 0;
    MAPIMETHOD(EnumAdrTypes)(ULONG ulFlags, ULONG* lpcAdrTypes, LPSTR** lpppszAdrTypes) = 0;
    MAPIMETHOD(QueryIdentity)(ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
    MAPIMETHOD(Logoff)(ULONG_PTR ulUIParam, ULONG ulFlags, ULONG ulReserved) = 0;
    MAPIMETHOD(SetDefaultStore)(ULONG ulFlags, ULONG cbEntryID, LPENTRYID lpEntryID) = 0;
    MAPIMETHOD(AdminServices)(ULONG ulFlags, LPSERVICEADMIN* lppServiceAdmin) = 0;
    MAPIMETHOD(ShowForm)(ULONG_PTR ulUIParam, LPMDB lpMsgStore, LPMAPIFOLDER lpParentFolder,
                         LPCIID lpInterface, ULONG ulMessageToken, LPMESSAGE lpMessageSent,
                         ULONG ulFlags, ULONG ulMessageStatus, ULONG ulMessageFlags,
                         ULONG ulAccess, LPSTR lpszMessageClass) = 0;
    MAPIMETHOD(PrepareForm)(LPCIID lpInterface, LPMESSAGE lpMessage, ULONG* lpulMessageToken) = 0;
};
typedef IMAPISession* LPMAPISESSION;

struct IProfAdmin : public IUnknown {
    MAPIMETHOD(GetLastError)(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
    MAPIMETHOD(GetProfileTable)(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    MAPIMETHOD(CreateProfile)(LPSTR lpszProfileName, LPSTR lpszPassword, ULONG_PTR ulUIParam,
                              ULONG ulFlags) = 0;
    MAPIMETHOD(DeleteProfile)(LPSTR lpszProfileName, ULONG ulFlags) = 0;
    MAPIMETHOD(ChangeProfilePassword)(LPSTR lpszProfileName, LPSTR lpszOldPassword,
                                      LPSTR lpszNewPassword, ULONG ulFlags) = 0;
    MAPIMETHOD(CopyProfile)(LPSTR lpszOldProfileName, LPSTR lpszOldPassword,
                            LPSTR lpszNewProfileName, ULONG_PTR ulUIParam, ULONG ulFlags) = 0;
    MAPIMETHOD(RenameProfile)(LPSTR lpszOldProfileName, LPSTR lpszOldPassword,
                              LPSTR lpszNewProfileName, ULONG_PTR ulUIParam, ULONG ulFlags) = 0;
    MAPIMETHOD(SetDefaultProfile)(LPSTR lpszProfileName, ULONG ulFlags) = 0;
    MAPIMETHOD(AdminServices)(LPSTR lpszProfileName, LPSTR lpszPassword, ULONG_PTR ulUIParam,
                              ULONG ulFlags, LPSERVICEADMIN* lppServiceAdmin) = 0;
};
typedef IProfAdmin* LPPROFADMIN;

// ---- MAPI32 functions ----
typedef struct {
    ULONG ulVersion;
    ULONG ulFlags;
} MAPIINIT_0, *LPMAPIINIT_0;

typedef void(STDAPICALLTYPE FREEBUFFER_FN)(void);

extern "C" {
MAPISIM_API HRESULT STDAPICALLTYPE MAPIInitialize(LPVOID lpMapiInit);
MAPISIM_API void STDAPICALLTYPE MAPIUninitialize(void);
MAPISIM_API HRESULT STDAPICALLTYPE MAPILogonEx(ULONG_PTR ulUIParam, LPSTR lpszProfileName, LPSTR lpszPassword,
                                ULONG ulFlags, LPMAPISESSION* lppSession);
MAPISIM_API HRESULT STDAPICALLTYPE MAPIAdminProfiles(ULONG ulFlags, LPPROFADMIN* lppProfAdmin);
MAPISIM_API SCODE STDAPICALLTYPE MAPIAllocateBuffer(ULONG cbSize, LPVOID* lppBuffer);
MAPISIM_API SCODE STDAPICALLTYPE MAPIAllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer);
MAPISIM_API ULONG STDAPICALLTYPE MAPIFreeBuffer(LPVOID lpBuffer);
MAPISIM_API HRESULT STDAPICALLTYPE HrQueryAllRows(LPMAPITABLE lpTable, LPSPropTagArray lpPropTags,
                                   LPSRestriction lpRestriction, LPSSortOrderSet lpSortOrderSet,
                                   LONG crowsMax, LPSRowSet* lppRows);
MAPISIM_API void STDAPICALLTYPE FreeProws(LPSRowSet lpRows);
MAPISIM_API HRESULT STDAPICALLTYPE HrGetOneProp(LPMAPIPROP lpMapiProp, ULONG ulPropTag, LPSPropValue* lppProp);
MAPISIM_API HRESULT STDAPICALLTYPE WrapCompressedRTFStream(LPSTREAM lpCompressedRTFStream, ULONG ulFlags,
                                            LPSTREAM* lpUncompressedRTFStream);
}
#endif  // _WIN32
