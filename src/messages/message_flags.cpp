// The follow-up flag and the read state of messages: one message of an
// open store at a time, or every message of a caller-built list.
//
// The flag's text and reminder live in named properties whose tags the
// named-property table holds; while it is unresolved the writes go to its
// placeholder tag, which nothing reads, and only the status write and the
// save decide the result.
#include "session/session_check.h"
#include "frame/handles.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"
#include "messages/message_lists.h"
#include "session/profiles.h"
#include "stores/named_props.h"

namespace {

constexpr const char* kSetFailed = "pMsg->GetProps";
constexpr const char* kSaveFailed = "pMsg->SaveChanges";

constexpr ULONG kMsgFlagRead = 0x1;

// Outlook 8.5 and 9.0 keep a reminder and a reply time with the flag.
bool ClientKeepsReminders()
{
    const int32_t code = ClientOutlookVersion();
    return code == 2 || code == 3;
}

bool IsEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

// An identifier without bytes or with a count of 0 is refused before MAPI
// is asked to open it.
#define CHECK_MESSAGE_ID(cbEntryId, entryId) \
    CHECK_ARG(EntryIdGiven(cbEntryId, entryId), "Message EID not defined", -1)

// OrviMapiMsgStoreGetMsgInterface; a negative result is recorded as its
// failure and gives -1.
int32_t OpenMessage(OrviMapiStore store, int32_t cbEntryId, const unsigned char* entryId,
                    ComPtr<IMessage>& message)
{
    OrviMapiMessage handle = nullptr;
    const int32_t result = OrviMapiMsgStoreGetMsgInterface(store, cbEntryId, entryId, &handle);
    message.reset(AsMapi(handle));
    return result < 0 ? RECORD_FAILURE(kMessageOpenFailed, result, -1) : 0;
}

HRESULT SetText(IMessage* message, ULONG propTag, const char* text)
{
    SPropValue value{};
    value.ulPropTag = propTag;
    value.Value.lpszA = const_cast<LPSTR>(text);
    return message->SetProps(1, &value, nullptr);
}

HRESULT SetLong(IMessage* message, ULONG propTag, LONG number)
{
    SPropValue value{};
    value.ulPropTag = propTag;
    value.Value.l = number;
    return message->SetProps(1, &value, nullptr);
}

HRESULT SetBoolean(IMessage* message, ULONG propTag, bool on)
{
    SPropValue value{};
    value.ulPropTag = propTag;
    value.Value.b = on ? 1 : 0;
    return message->SetProps(1, &value, nullptr);
}

// The store's entry identifier is opened once, and `apply` called for each
// message of the list with the store, the entry's count and its bytes.
// 0 when at least one message succeeded, E_FAIL (nothing recorded here)
// when none did.
template <class Apply>
int32_t ApplyToList(int32_t cbStoreEid, const unsigned char* storeEid,
                    const OrviMapiEntryList* msgList, Apply apply)
{
    ComPtr<IMsgStore> store;
    if (const int32_t failed = OpenStoreById(cbStoreEid, storeEid, store)) return failed;
    uint32_t succeeded = 0;
    for (uint32_t i = 0; i < msgList->count; ++i) {
        const OrviMapiBinary& entry = msgList->entries[i];
        if (apply(ToHandle(store.get()), static_cast<int32_t>(entry.size), entry.bytes) == 0)
            ++succeeded;
    }
    return succeeded > 0 ? 0 : E_FAIL;
}

// The argument checks the two list exports share; the store identifier is
// checked first, the state last.
#define CHECK_LIST_ARGUMENTS(cbStoreEid, storeEid, cbFolderEid, folderEid, msgList, stateValid) \
    do {                                                                                        \
        CHECK_SESSION(-1);                                                                      \
        if (!EntryIdGiven(cbStoreEid, storeEid))                                                \
            return RECORD_FAILURE("MsgStore not defined", E_INVALIDARG, E_INVALIDARG);          \
        if (!EntryIdGiven(cbFolderEid, folderEid))                                              \
            return RECORD_FAILURE("Folder EID not defined", E_INVALIDARG, E_INVALIDARG);        \
        if (!MessageListGiven(msgList))                                                         \
            return RECORD_FAILURE("Message List not defined", E_INVALIDARG, E_INVALIDARG);      \
        if (!(stateValid))                                                                      \
            return RECORD_FAILURE("Bad iUnreadFlag value", E_INVALIDARG, E_INVALIDARG);         \
    } while (0)

} // namespace

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgUpdateMsgFlag(OrviMapiStore store, int32_t cbEntryId, const unsigned char* entryId,
                         int32_t iState, const char* pText)
{
    CHECK_SESSION(-1);
    CHECK_ARG(store != nullptr, "MsgStore not defined", -1);
    CHECK_ARG(iState >= 0 && iState <= 2, "Bad iState Value", -1);
    CHECK_MESSAGE_ID(cbEntryId, entryId);

    ComPtr<IMessage> message;
    if (OpenMessage(store, cbEntryId, entryId, message) != 0) return -1;

    const HRESULT hr = SetLong(message.get(), tag::FlagStatus, iState);
    if (FAILED(hr)) return RECORD_FAILURE(kSetFailed, hr, -1);

    // The text and the reminder are best effort: the status write and the
    // save decide the result.
    const NamedPropTagTable& named = NamedPropTags();
    if (iState != 0 && !IsEmpty(pText))
        IGNORE_HR(SetText(message.get(), named.FlagRequest, pText),
                  "the flag's text is best effort");
    if (iState == 0) {
        // Overwritten, not deleted.
        IGNORE_HR(SetText(message.get(), named.FlagRequest, " "), "the flag's text is best effort");
        if (ClientKeepsReminders()) {
            IGNORE_HR(SetBoolean(message.get(), named.ReminderSet, false),
                      "the reminder is best effort");
            SizedSPropTagArray(1, replyTime) = {1, {tag::ReplyTime}};
            IGNORE_HR(message->DeleteProps(reinterpret_cast<LPSPropTagArray>(&replyTime), nullptr),
                      "the reply time is best effort");
        }
    }

    const HRESULT saved = message->SaveChanges(flag::KeepOpenReadOnly);
    if (FAILED(saved)) return RECORD_FAILURE(kSaveFailed, saved, -1);
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgUpdateMsgFlagText(OrviMapiStore store, int32_t cbEntryId, const unsigned char* entryId,
                             const char* pText)
{
    if (ClientKeepsReminders()) return RECORD_FAILURE("Outlook98 Feature Only", 0, -1);
    CHECK_SESSION(-1);
    CHECK_ARG(store != nullptr, "MsgStore not defined", -1);
    CHECK_ARG(!IsEmpty(pText), "Bad pText value", -1);
    CHECK_MESSAGE_ID(cbEntryId, entryId);

    ComPtr<IMessage> message;
    if (OpenMessage(store, cbEntryId, entryId, message) != 0) return -1;

    const HRESULT hr = SetText(message.get(), NamedPropTags().FlagRequest, pText);
    if (FAILED(hr)) return RECORD_FAILURE(kSetFailed, hr, -1);
    const HRESULT saved = message->SaveChanges(flag::KeepOpenReadOnly);
    if (FAILED(saved)) return RECORD_FAILURE(kSaveFailed, saved, -1);
    return 0;
}

// SetReadFlag changes the message at once; no SaveChanges follows.
ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgUpdateReadFlag(OrviMapiStore store, int32_t cbEntryId, const unsigned char* entryId,
                          int32_t iFlag)
{
    CHECK_SESSION(-1);
    CHECK_ARG(store != nullptr, "MsgStore not defined", -1);
    CHECK_ARG(iFlag == 0 || iFlag == 1, "Bad iFlag value", -1);
    CHECK_MESSAGE_ID(cbEntryId, entryId);

    ComPtr<IMessage> message;
    if (OpenMessage(store, cbEntryId, entryId, message) != 0) return -1;

    SizedSPropTagArray(1, flagColumns) = {1, {tag::MessageFlags}};
    ULONG count = 0;
    MapiBuffer<SPropValue> flags;
    const HRESULT hr =
        message->GetProps(reinterpret_cast<LPSPropTagArray>(&flagColumns), 0, &count, flags.put());
    if (FAILED(hr)) return RECORD_FAILURE(kSetFailed, hr, -1);
    if (count == 0 || !flags || flags[0].ulPropTag != tag::MessageFlags)
        return RECORD_FAILURE("Property not returned", hr, -1);
    const bool readNow = (static_cast<ULONG>(flags[0].Value.l) & kMsgFlagRead) != 0;

    // A message already in the requested state passes through the other
    // state first.
    const bool markUnread = iFlag == 1;
    const ULONG toRead = 0, toUnread = flag::ClearReadFlag;
    ULONG calls[2];
    ULONG callCount = 0;
    if (markUnread == !readNow) calls[callCount++] = markUnread ? toRead : toUnread;
    calls[callCount++] = markUnread ? toUnread : toRead;
    for (ULONG i = 0; i < callCount; ++i) {
        const HRESULT set = message->SetReadFlag(calls[i]);
        if (FAILED(set)) return RECORD_FAILURE(kSetFailed, set, -1);
    }
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgSetTag(int32_t cbStoreEid, const unsigned char* storeEid, int32_t cbFolderEid,
                  const unsigned char* folderEid, const OrviMapiEntryList* msgList, int32_t iState,
                  const char* pText)
{
    CHECK_LIST_ARGUMENTS(cbStoreEid, storeEid, cbFolderEid, folderEid, msgList,
                         iState >= 0 && iState <= 2);
    return ApplyToList(cbStoreEid, storeEid, msgList,
                       [&](OrviMapiStore store, int32_t cbEntryId, const unsigned char* entryId) {
                           return OrviMapiMsgUpdateMsgFlag(store, cbEntryId, entryId, iState,
                                                           pText);
                       });
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgSetUnread(int32_t cbStoreEid, const unsigned char* storeEid, int32_t cbFolderEid,
                     const unsigned char* folderEid, const OrviMapiEntryList* msgList,
                     int32_t iUnreadFlag)
{
    CHECK_LIST_ARGUMENTS(cbStoreEid, storeEid, cbFolderEid, folderEid, msgList,
                         iUnreadFlag == 0 || iUnreadFlag == 1);
    return ApplyToList(cbStoreEid, storeEid, msgList,
                       [&](OrviMapiStore store, int32_t cbEntryId, const unsigned char* entryId) {
                           return OrviMapiMsgUpdateReadFlag(store, cbEntryId, entryId, iUnreadFlag);
                       });
}
