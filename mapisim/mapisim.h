/* Test controls of the MAPI and Win32 stand-ins (libmapisim).
 *
 * Plain C (C99), callable from any language that can call C. Every name
 * starts with mapisim_. Functions that take arguments return 0 on success
 * and -1 when an argument is unusable (a null or empty text where one is
 * needed), and change nothing then.
 *
 * Counters count since the library was loaded unless a reset function
 * below says otherwise. The stand-in may be called from several threads at
 * once, as MAPI may: every MAPI call and every control here runs under one
 * lock of the stand-in (the Win32 stand-ins keep locks of their own). A
 * control that changes the stand-in (a load, a fault rule, a reset) while
 * calls are in flight on other threads takes effect between two of them.
 * The notification thread runs sinks without that lock, and whatever waits
 * for it (Unadvise, the last Release of an advised object,
 * mapisim_wait_for_notifications, turning the thread off) lets go of the
 * lock while it waits, so a sink may call the stand-in. Texts handed out
 * (the call log's, the load error) stay valid only while no other thread
 * clears or replaces them. */
#ifndef MAPISIM_MAPISIM_H
#define MAPISIM_MAPISIM_H

#include <stdint.h>

#if defined(_WIN32)
#define MAPISIM_EXPORT
#elif defined(__GNUC__)
#define MAPISIM_EXPORT __attribute__((visibility("default")))
#else
#define MAPISIM_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Live counts: zero at the end of a test that leaked nothing ---- */

/* Stand-in COM objects (streams, and later sessions, stores, tables ...)
 * that have not yet had their last Release. */
MAPISIM_EXPORT uint32_t mapisim_live_objects(void);

/* MAPI buffers not yet freed: every live block counts, roots from
 * MAPIAllocateBuffer and the blocks chained to them by MAPIAllocateMore.
 * Texts handed out by FormatMessageA are not included (see below). */
MAPISIM_EXPORT uint32_t mapisim_live_allocations(void);

/* Buffers handed out by FormatMessageA that LocalFree has not released. */
MAPISIM_EXPORT uint32_t mapisim_live_local_allocations(void);

/* Registry handles opened by RegOpenKeyExA and not yet closed. */
MAPISIM_EXPORT uint32_t mapisim_open_registry_keys(void);

/* ---- Misuse: calls that real Windows would turn into a crash or a
 * silent corruption; the stand-in survives them and counts them ---- */

/* AddRef, Release or QueryInterface called on a stand-in object after its
 * last Release (recognised for the most recent 4096 objects released). */
MAPISIM_EXPORT uint32_t mapisim_dead_calls(void);

/* MAPIFreeBuffer or LocalFree given a pointer that is not a live root
 * allocation of theirs: a block chained by MAPIAllocateMore, a block
 * already freed, or memory from elsewhere. Null is not misuse. */
MAPISIM_EXPORT uint32_t mapisim_bad_frees(void);

/* Sets mapisim_dead_calls and mapisim_bad_frees back to 0. */
MAPISIM_EXPORT void mapisim_reset_misuse_counters(void);

/* ---- MAPI allocations ---- */

/* MAPIAllocateBuffer and MAPIAllocateMore calls so far, failed ones
 * included; a fault sweep reads it to learn how many there are to fail. */
MAPISIM_EXPORT uint32_t mapisim_allocation_calls(void);

/* Makes the nth MAPIAllocateBuffer/MAPIAllocateMore call from now (1 is the
 * next one) fail with MAPI_E_NOT_ENOUGH_MEMORY; with persistent non-zero,
 * every call after it fails too. nth 0 turns failing off. */
MAPISIM_EXPORT void mapisim_fail_allocation(uint32_t nth, int persistent);

/* ---- Registry (what RegOpenKeyExA and RegEnumValueA read) ----
 *
 * key is a path below the root such as "Software\\Microsoft\\Office";
 * "" is the root key itself. Key paths match without regard to letter case,
 * as on Windows; setting a value under a key creates the key and its
 * parents. Value names are kept as first given; a later set of a name that
 * differs only in letter case replaces that value's data and type in place,
 * as Windows does. A null or empty name is the key's default value. Values
 * enumerate in the order they were first set. Open handles see later
 * changes; a handle to a key deleted afterwards stays valid and keeps the
 * values the key had. */
typedef enum mapisim_root {
    MAPISIM_HKCU = 1, /* HKEY_CURRENT_USER */
    MAPISIM_HKLM = 2  /* HKEY_LOCAL_MACHINE */
} mapisim_root;

/* REG_SZ: the text and its terminator. */
MAPISIM_EXPORT int mapisim_registry_set_string(mapisim_root root, const char* key, const char* name,
                                               const char* value);
/* REG_DWORD: four bytes, little-endian. */
MAPISIM_EXPORT int mapisim_registry_set_dword(mapisim_root root, const char* key, const char* name,
                                              uint32_t value);
/* REG_BINARY: size bytes from data (data may be null when size is 0). */
MAPISIM_EXPORT int mapisim_registry_set_binary(mapisim_root root, const char* key, const char* name,
                                               const void* data, uint32_t size);
/* Any type with the bytes as given, e.g. a REG_SZ without terminator. */
MAPISIM_EXPORT int mapisim_registry_set_value(mapisim_root root, const char* key, const char* name,
                                              uint32_t type, const void* data, uint32_t size);
/* A key (and its parents) without values; an existing key is kept. */
MAPISIM_EXPORT int mapisim_registry_create_key(mapisim_root root, const char* key);
/* -1 also when the key or value does not exist. */
MAPISIM_EXPORT int mapisim_registry_delete_value(mapisim_root root, const char* key,
                                                 const char* name);
/* Deletes the key with everything below it; -1 when it does not exist. */
MAPISIM_EXPORT int mapisim_registry_delete_key(mapisim_root root, const char* key);
/* Empties both roots. */
MAPISIM_EXPORT void mapisim_registry_clear(void);

/* ---- File versions (what GetFileVersionInfoA and VerQueryValueA read) ----
 *
 * A registered path has a version resource; any other path has none.
 * Paths match without regard to letter case. Each version is two 32-bit
 * halves: MS = major << 16 | minor, LS = build << 16 | revision. Registering
 * a path again replaces its versions. */
MAPISIM_EXPORT int mapisim_version_register(const char* path, uint32_t product_ms,
                                            uint32_t product_ls, uint32_t file_ms,
                                            uint32_t file_ls);
/* -1 when the path was not registered. */
MAPISIM_EXPORT int mapisim_version_unregister(const char* path);
MAPISIM_EXPORT void mapisim_version_clear(void);

/* ---- Mailbox descriptions (docs/mailbox-format.md) ----
 *
 * A load replaces the installed world (profiles, stores, status rows,
 * address books, settings, script) with the description's, and replaces
 * the registry and the file versions when the description has a
 * "registry" or "file_versions" member. It succeeds wholly or changes
 * nothing. Objects handed out before a load keep working on the old world. */

/* Loads the UTF-8 JSON file at path. 0, or -1 when path is null or empty,
 * names no regular file (a directory, FIFO or device is refused before it
 * is opened), the file is larger than the size limit or cannot be read, or
 * the description is not valid; then mapisim_last_load_error says why. A
 * load's peak memory stays near twice the file's size. */
MAPISIM_EXPORT int mapisim_load_mailbox_file(const char* path);
/* The largest description, file or text, a load accepts: 1 GiB (1073741824
 * bytes) unless set; 0 sets that default again. A larger one fails with
 * "... the description has N bytes, more than the limit of L
 * (mapisim_set_mailbox_size_limit)". */
MAPISIM_EXPORT void mapisim_set_mailbox_size_limit(uint64_t bytes);
/* The same for the zero-terminated JSON text itself. */
MAPISIM_EXPORT int mapisim_load_mailbox_string(const char* text);
/* Why the last load failed, one line: "file:line:column: json.path: what is
 * wrong" (no "file:" for a text); "" after a successful load or before any.
 * Valid until the next load. */
MAPISIM_EXPORT const char* mapisim_last_load_error(void);

/* ---- Real Outlook files (docs/outlook-files.md) ----
 *
 * Each load installs a new world, as a mailbox description does: one
 * default profile, "Outlook", whose one default store, "Personal Folders",
 * holds what the files hold. It succeeds wholly or changes nothing; a
 * failure says why in mapisim_last_load_error, one line naming the file and
 * the place in it. A stand-in built without a file's reader (libgsf for
 * .msg, libpff for .pst) fails, saying so; mapisim_can_read tells first. */

/* Non-zero when this stand-in reads the kind of file: "msg" or "pst". */
MAPISIM_EXPORT int mapisim_can_read(const char* kind);
/* The .msg files at paths, as the messages of the store's Inbox in the
 * order given. -1 when paths is null or count is 0, or a file fails. */
MAPISIM_EXPORT int mapisim_load_msg_files(const char* const* paths, uint32_t count);
/* The PST at path as the store, with its own folder tree. Loading reads
 * the tree only; a folder's messages are read when first listed or opened,
 * so memory follows what is explored rather than the size of the file. */
MAPISIM_EXPORT int mapisim_load_pst_file(const char* path);

/* ---- Whole platform ---- */

/* Empties the registry and the file versions. Counters, handles and
 * objects already handed out are left alone. */
MAPISIM_EXPORT void mapisim_reset_platform(void);

/* ---- The MAPI stand-in ----
 *
 * The mailbox the stand-in serves is the installed world of the mailbox
 * model (mapisim/model/world.h); loaders install a new one in one step. */

/* Back to a fresh stand-in: an empty world (no profiles; default settings
 * and scripted choices), MAPI not initialised, no shared session, an empty
 * call log, no fault rules, and notifications delivered inside the changing
 * call. Objects handed out earlier keep working on what they hold.
 * Live-object, allocation and misuse counters are left. */
MAPISIM_EXPORT void mapisim_reset(void);

/* How many MAPIInitialize calls are not yet matched by MAPIUninitialize. */
MAPISIM_EXPORT uint32_t mapisim_mapi_initialized(void);

/* Settings of the installed world (a newly installed world brings its own).
 * GetProps and tables give text and binary values larger than bytes as
 * PT_ERROR MAPI_E_NOT_ENOUGH_MEMORY (default 32768). */
MAPISIM_EXPORT void mapisim_set_getprops_limit(uint32_t bytes);
/* The most rows one QueryRows call returns, as servers cap them; 0 = none. */
MAPISIM_EXPORT void mapisim_set_queryrows_cap(uint32_t rows);
/* Whether tables hand out short-term entry identifiers (default 1). */
MAPISIM_EXPORT void mapisim_set_short_term_ids(int on);

/* What "the user" does in the stand-in's dialogs.
 * MAPILogonEx's profile choice: a profile name; "" cancels
 * (MAPI_E_USER_CANCEL); NULL takes the default profile (the default). */
MAPISIM_EXPORT void mapisim_script_logon_choice(const char* profile);
/* The result of IMAPISession::ShowForm and of IAddrBook::Address, e.g.
 * MAPI_E_USER_CANCEL (0x80040113); default S_OK. */
MAPISIM_EXPORT void mapisim_script_show_form(int32_t hresult);
MAPISIM_EXPORT void mapisim_script_address_dialog(int32_t hresult);

/* What the last IMAPISession::ShowForm that showed a form was given: a
 * call whose token came from PrepareForm (a token is good for one ShowForm,
 * also when that call fails) with a store and a folder. Texts stay valid
 * until the next form is shown or mapisim_reset. */
typedef struct mapisim_form {
    uintptr_t window;   /* the UI parameter: the parent window */
    const char* store;  /* display name of the store; "" when not the stand-in's */
    const char* folder; /* display name of the parent folder; "" likewise */
    uint32_t token;
    uint32_t flags;  /* MAPI_POST_MESSAGE 0x1, MAPI_NEW_MESSAGE 0x2 */
    uint32_t status; /* the message status given */
    uint32_t message_flags;
    uint32_t access;
    const char* message_class; /* "" for none */
    const char* subject;       /* of the message the token stood for; "" for none */
    int32_t result;            /* what ShowForm returned */
} mapisim_form;
/* 0 and *out filled, or -1 when out is null or no form was shown since
 * mapisim_reset. */
MAPISIM_EXPORT int mapisim_last_form(mapisim_form* out);

/* What the last address-book dialog was shown with: an IAddrBook::Address
 * call that passed its argument checks and no injected fault. */
typedef struct mapisim_address_dialog {
    uintptr_t window;     /* the UI parameter: the parent window */
    uint32_t flags;       /* ADRPARM's ulFlags: DIALOG_MODAL 0x1, DIALOG_SDI 0x2 */
    uint32_t dest_fields; /* recipient wells; 0 when the dialog only browses */
    int32_t address_list; /* 1 when an address list to fill was passed */
    const char* caption;  /* null when none was given */
    int32_t result;       /* what Address returned */
} mapisim_address_dialog;
/* 0 and *out filled (texts valid until the next dialog or mapisim_reset),
 * or -1 when out is null or no dialog was shown since mapisim_reset. */
MAPISIM_EXPORT int mapisim_last_address_dialog(mapisim_address_dialog* out);

/* Fault injection. method names a MAPI call as the call log does:
 * "IMAPITable::QueryRows", "MAPILogonEx"; the memory streams of
 * CreateStreamOnHGlobal are logged and failed the same way, as
 * "CreateStreamOnHGlobal" and "HGlobalStream::Write" (Read, Seek, SetSize,
 * Stat, CopyTo). "IMAPIFolder::*" is every method
 * of an interface, "*::GetProps" a method of any, "*" every MAPI call.
 * The nth matching call from now (1 = the next) fails with hresult before
 * doing anything; with persistent non-zero every matching call after it
 * too. Rules add up; the first rule that fires decides. -1 for a null or
 * empty method, nth 0 or a hresult that is not a failure. */
MAPISIM_EXPORT int mapisim_fail_method(const char* method, uint32_t nth, int persistent,
                                       int32_t hresult);
MAPISIM_EXPORT void mapisim_clear_faults(void);

/* The call log: every MAPI call served, in order, with its flags and the
 * arguments that matter ("profile=Outlook; ui=0", "name=Inbox",
 * "entryid=00000000..."). Texts stay valid until the log is cleared. */
typedef struct mapisim_call {
    const char* method; /* "IMAPIFolder::CreateFolder", "MAPILogonEx" */
    uint32_t flags;
    int32_t result;   /* the HRESULT returned */
    int injected;     /* non-zero when a fault rule made it fail */
    const char* args; /* "name=value" pairs separated by "; " */
} mapisim_call;
MAPISIM_EXPORT uint32_t mapisim_call_count(void);
/* -1 when index is past the end or out is null. */
MAPISIM_EXPORT int mapisim_call_get(uint32_t index, mapisim_call* out);
/* Index of the first call of method at or after from, or -1. */
MAPISIM_EXPORT int32_t mapisim_call_find(const char* method, uint32_t from);
/* How many calls of method the log holds. */
MAPISIM_EXPORT uint32_t mapisim_call_count_of(const char* method);
/* The value of an argument of a logged call, copied into buf (size bytes,
 * terminated, cut to fit); returns its full length, or -1 when the call or
 * argument is not there. */
MAPISIM_EXPORT int32_t mapisim_call_arg(uint32_t index, const char* name, char* buf, uint32_t size);
MAPISIM_EXPORT void mapisim_call_log_clear(void);
/* Turns the call log off (0) or back on; on by default and after
 * mapisim_reset. Off, calls are not logged and their arguments not
 * formatted, for long runs that only measure; fault rules still apply. */
MAPISIM_EXPORT void mapisim_set_call_log(int on);

/* ---- Notifications ----
 *
 * Every change the stand-in makes raises the notifications a real store
 * raises, to the sinks advised on the store (IMsgStore::Advise) and on the
 * open tables it affects (IMAPITable::Advise). By default each sink is
 * called inside the call that made the change, before it returns. */

/* With on non-zero, sinks are called on a notification thread of the
 * stand-in instead, in the order raised, while the application goes on (as
 * MAPI does); 0 goes back to calling them inside the changing call, after
 * delivering what is queued. A sink is never called after its Unadvise (or
 * its store's or table's last Release) has returned. The stand-in's objects
 * are not synchronised: a sink on the notification thread should not call
 * them while the application thread does. -1 when called from a sink on the
 * notification thread. mapisim_reset turns the thread off. */
MAPISIM_EXPORT int mapisim_set_notification_thread(int on);
/* Returns once the notification thread has delivered everything raised so
 * far (at once when it is off). */
MAPISIM_EXPORT void mapisim_wait_for_notifications(void);

/* Delivers mail as a transport does. message_json is one message object of
 * the mailbox description format (docs/mailbox-format.md) or an array of
 * them; each in turn is placed in the folder at folder_path of the store
 * named store_name (a store's display name in the installed world; null or
 * "" for the default store of the default profile). folder_path names
 * folders below the top of the store's folder tree ("Inbox",
 * "Inbox/Projects"); null or "" takes the store's receive folder for the
 * message's class. Each delivery raises fnevNewMail and then
 * fnevObjectCreated on the store, in one OnNotify per sink. A message
 * without "received" gets the time of delivery, one without "flags" arrives
 * unread. Returns the number delivered, or -1 with nothing delivered when
 * the store, the folder or the text is not usable; mapisim_last_load_error
 * then says why. */
MAPISIM_EXPORT int32_t mapisim_deliver_mail(const char* store_name, const char* folder_path,
                                            const char* message_json);

/* One notification for mapisim_raise_notifications, laid out for the sink
 * as a MAPI NOTIFICATION with ulEventType event_type: fnevNewMail (0x2)
 * fills its NEWMAIL_NOTIFICATION from the entry and parent identifiers;
 * every other value (fnevObjectCreated 0x4 ... fnevExtended 0x80000000, or
 * any other) fills the OBJECT_NOTIFICATION positions: ulObjType from
 * object_type (MAPI_STORE 1, MAPI_FOLDER 3, MAPI_MESSAGE 5, MAPI_ATTACH 7
 * ...) and the four identifiers. An identifier may be null with size 0. */
typedef struct mapisim_notification {
    uint32_t event_type;
    uint32_t object_type;
    const unsigned char* entry_id;
    uint32_t entry_id_size;
    const unsigned char* parent_id;
    uint32_t parent_id_size;
    const unsigned char* old_id;
    uint32_t old_id_size;
    const unsigned char* old_parent_id;
    uint32_t old_parent_id_size;
} mapisim_notification;

/* Delivers count notifications in one OnNotify to each sink advised on the
 * stand-in object (an IMsgStore: every sink of its store, whichever store
 * object it was advised on; or an IMAPITable), whatever the sink's event
 * mask and entry identifier, as a provider might. The identifiers are
 * copied. -1 for a null object or list, a count of 0, or an object with no
 * sink advised. */
MAPISIM_EXPORT int mapisim_raise_notifications(void* object, const mapisim_notification* list,
                                               uint32_t count);

#ifdef __cplusplus
}
#endif

#endif /* MAPISIM_MAPISIM_H */
