// Opening a message and reading its properties: the message handle, the
// subject alone, the 39-property array and the MsgPropsRecord made from it.
#include <cstring>

#include "session/session_check.h"
#include "frame/handles.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"
#include "frame/record_codes.h"
#include "messages/message_columns.h"
#include "stores/named_props.h"

namespace {

SizedSPropTagArray(1, subjectColumns) = {1, {tag::Subject}};

// Records point at these where a message lacks its subject or class.
const char kEmptySubject[] = "";
const char kDefaultMessageClass[] = "IPM.Notes";

constexpr ULONG kVerbReplyToSender = 102;
constexpr ULONG kVerbReplyToAll = 103;
constexpr ULONG kVerbForward = 104;

// A text property with a null pointer is not expected from MAPI; it reads as
// empty rather than crash.
uint32_t TextLength(const char* text)
{
    return text != nullptr ? static_cast<uint32_t>(std::strlen(text)) : 0;
}

// Reads the property array by column position, testing the full tag.
class PropsReader {
public:
    explicit PropsReader(const SPropValue* props) : props_(props) {}

    const SPropValue* Find(ULONG column, ULONG expectedTag) const
    {
        const SPropValue& value = props_[column];
        return value.ulPropTag == expectedTag ? &value : nullptr;
    }
    const SPropValue* Find(ULONG column) const { return Find(column, MessageColumn(column)); }

    // Size 0 and the pointer left alone when missing.
    void Binary(ULONG column, uint32_t& size, unsigned char*& bytes) const
    {
        const SPropValue* value = Find(column);
        if (value == nullptr) {
            size = 0;
            return;
        }
        size = value->Value.bin.cb;
        bytes = value->Value.bin.lpb;
    }
    void Text(const SPropValue* value, uint32_t& length, char*& text) const
    {
        if (value == nullptr) {
            length = 0;
            return;
        }
        length = TextLength(value->Value.lpszA);
        text = value->Value.lpszA;
    }
    void Text(ULONG column, uint32_t& length, char*& text) const
    {
        Text(Find(column), length, text);
    }

    // A time that is missing or does not convert gives false and leaves
    // `time` alone.
    bool Time(ULONG column, OrviMapiSystemTime& time) const
    {
        const SPropValue* value = Find(column);
        SYSTEMTIME converted{};
        if (value == nullptr || !FileTimeToSystemTime(&value->Value.ft, &converted)) return false;
        std::memcpy(&time, &converted, sizeof time);
        return true;
    }

private:
    const SPropValue* props_;
};

constexpr OrviMapiSystemTime kNoTime{};

} // namespace

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgGet(OrviMapiFolder folder, uint32_t cbEntryId, const unsigned char* entryId,
               OrviMapiMessage* msgOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(folder != nullptr, "Folder not defined", -1);
    CHECK_ARG(msgOut != nullptr, "pMessage not defined", -1);

    IMAPIFolder* mapiFolder = AsMapi(folder);
    ULONG objectType = 0;
    ComPtr<IMessage> message;
    const HRESULT hr =
        mapiFolder->OpenEntry(cbEntryId, AsEntryId(entryId), nullptr, flag::DeferredErrors,
                              &objectType, message.putUnknown());
    CHECK_HR_FETCH(hr, mapiFolder, -1);
    if (objectType != MAPI_MESSAGE) return RECORD_FAILURE("Not Msg Object", hr, -1);
    *msgOut = ToHandle(message.release());
    return 0;
}

// Failures after the argument checks are reported only through the last
// error: the result stays 0 and the buffer and length are not written.
ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgGetSubject(OrviMapiStore store, int32_t cbEntryId, const unsigned char* entryId,
                      char* buf, uint32_t bufSize, uint32_t* lenOut)
{
    CHECK_ARG(store != nullptr, "pMsgStore is missing", -1);
    CHECK_ARG(cbEntryId > 0 && entryId != nullptr, "EID is missing", -1);
    CHECK_SESSION(-1);
    // Not even a terminator fits a buffer of size 0.
    CHECK_ARG(buf != nullptr && bufSize > 0 && lenOut != nullptr, "Subject buffer not defined", -1);

    IMsgStore* mapiStore = AsMapi(store);
    ULONG objectType = 0;
    ComPtr<IMessage> message;
    HRESULT hr = mapiStore->OpenEntry(static_cast<ULONG>(cbEntryId), AsEntryId(entryId), nullptr,
                                      flag::DeferredErrors, &objectType, message.putUnknown());
    if (FAILED(hr)) {
        RecordLastError(__FILE__, __LINE__, nullptr, hr);
        FetchObjectErrorText(mapiStore, hr);
        return 0;
    }
    if (objectType != MAPI_MESSAGE) return RECORD_FAILURE("Not Msg Object", hr, 0);

    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    hr = message->GetProps(reinterpret_cast<LPSPropTagArray>(&subjectColumns), 0, &count,
                           values.put());
    if (FAILED(hr)) {
        RecordLastError(__FILE__, __LINE__, nullptr, hr);
        FetchObjectErrorText(message.get(), hr);
        return 0;
    }
    if (count == 0 || !values || values[0].ulPropTag != tag::Subject) return 0;

    uint32_t copied = TextLength(values[0].Value.lpszA);
    if (copied > bufSize - 1) copied = bufSize - 1;
    if (copied > 0) std::memcpy(buf, values[0].Value.lpszA, copied);
    buf[copied] = '\0';
    *lenOut = copied;
    return 0;
}

ORVIMAPI_EXTERN(int32_t) OrviMapiMsgPropsGet(OrviMapiMessage msg, OrviMapiProps* propsOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(msg != nullptr, "pMessage is NULL", -1);
    CHECK_ARG(propsOut != nullptr, "pProps not defined", -1);

    IMessage* message = AsMapi(msg);
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    const HRESULT hr = message->GetProps(MessageColumns(), 0, &count, values.put());
    int32_t result = 0;
    if (FAILED(hr)) {
        RecordLastError(__FILE__, __LINE__, nullptr, hr);
        FetchObjectErrorText(message, hr);
        result = hr;
    }
    // An array that came back with values is the caller's whatever the
    // result; one without values is freed here.
    if (count > 0 && values) *propsOut = ToHandle(values.release());
    return result;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgPropsRead(OrviMapiMessage msg, OrviMapiProps props, MsgPropsRecord* record)
{
    CHECK_ARG(msg != nullptr, "pMessage is NULL", -1);
    CHECK_ARG(props != nullptr, "pProps is NULL", -1);
    CHECK_ARG(record != nullptr, "pRecord is NULL", -1);

    const PropsReader in(AsMapi(props));
    MsgPropsRecord& r = *record;

    const SPropValue* flagsValue = in.Find(msgcol::MessageFlags);
    const ULONG flags = flagsValue != nullptr ? flagsValue->Value.ul : 0;
    const bool haveFlags = flagsValue != nullptr;
    const SPropValue* verbValue = in.Find(msgcol::LastVerbExecuted);
    const ULONG verb = verbValue != nullptr ? verbValue->Value.ul : 0;

    r.associated = haveFlags && (flags & MSGFLAG_ASSOCIATED) != 0 ? 1 : 0;
    const SPropValue* cpid = in.Find(msgcol::InternetCpid);
    r.internetCodePage = cpid != nullptr ? cpid->Value.ul : 0;
    in.Binary(msgcol::EntryId, r.entryIdSize, r.entryId);
    r.forwarded = verbValue != nullptr && verb == kVerbForward ? 1 : 0;
    r.replied =
        verbValue != nullptr && (verb == kVerbReplyToSender || verb == kVerbReplyToAll) ? 1 : 0;
    const SPropValue* importance = in.Find(msgcol::Importance);
    r.importanceCode = importance != nullptr ? ImportanceCode(importance->Value.l) : 1;
    r.modifiedFlag = haveFlags && (flags & MSGFLAG_UNMODIFIED) == 0 ? 1 : 0;
    in.Binary(msgcol::ParentEntryId, r.parentIdSize, r.parentId);
    const SPropValue* priority = in.Find(msgcol::Priority);
    r.priorityCode = priority != nullptr ? PriorityCode(priority->Value.l) : 1;
    const SPropValue* sensitivity = in.Find(msgcol::Sensitivity);
    r.sensitivityCode = sensitivity != nullptr ? SensitivityCode(sensitivity->Value.ul) : 1;
    r.sentItem = in.Find(msgcol::SentMailEntryId) != nullptr ? 1 : 0;
    const SPropValue* hasAttach = in.Find(msgcol::HasAttach);
    r.hasAttachments = hasAttach != nullptr && hasAttach->Value.b == 1 ? 1 : 0;
    r.submitted = haveFlags && (flags & MSGFLAG_SUBMIT) != 0 ? 1 : 0;
    r.unsent = haveFlags && (flags & MSGFLAG_UNSENT) != 0 ? 1 : 0;
    r.unread = haveFlags && (flags & MSGFLAG_READ) == 0 ? 1 : 0;

    if (!in.Time(msgcol::CreationTime, r.created)) r.created = kNoTime;
    if (!in.Time(msgcol::LastModificationTime, r.modified)) r.modified = kNoTime;
    // Delivery and submit times stand in for each other.
    const bool delivered = in.Time(msgcol::MessageDeliveryTime, r.delivered);
    if (!delivered) r.delivered = kNoTime;
    if (in.Time(msgcol::ClientSubmitTime, r.submittedTime)) {
        if (!delivered) r.delivered = r.submittedTime;
    } else {
        r.submittedTime = delivered ? r.delivered : kNoTime;
    }

    const SPropValue* subject = in.Find(msgcol::Subject);
    r.subject = subject != nullptr && subject->Value.lpszA != nullptr
                    ? subject->Value.lpszA
                    : const_cast<char*>(kEmptySubject);
    r.subjectLength = TextLength(r.subject);
    const SPropValue* normalized = in.Find(msgcol::NormalizedSubject);
    if (normalized == nullptr) {
        r.subjectPrefixLength = 0;
    } else {
        const int64_t prefix = int64_t{r.subjectLength} - TextLength(normalized->Value.lpszA);
        r.subjectPrefixLength = prefix > 0 ? static_cast<int32_t>(prefix) : 0;
    }

    const SPropValue* messageClass = in.Find(msgcol::MessageClass);
    r.messageClass = messageClass != nullptr && messageClass->Value.lpszA != nullptr
                         ? messageClass->Value.lpszA
                         : const_cast<char*>(kDefaultMessageClass);
    r.messageClassLength = TextLength(r.messageClass);

    const SPropValue* size = in.Find(msgcol::MessageSize);
    r.size = size != nullptr ? size->Value.ul : 0;

    const SPropValue* headers = in.Find(msgcol::TransportMessageHeaders);
    in.Text(headers != nullptr ? headers : in.Find(msgcol::InternetHeaders5901), r.headersLength,
            r.headers);
    in.Text(msgcol::InternetMessageId, r.messageIdLength, r.messageId);
    in.Binary(msgcol::ReportTag, r.reportTagSize, r.reportTag);
    in.Binary(msgcol::SearchKey, r.searchKeySize, r.searchKey);
    in.Text(msgcol::ConversationTopic, r.topicLength, r.topic);
    in.Binary(msgcol::ConversationIndex, r.conversationIndexSize, r.conversationIndex);

    r.reserved17 = 0;
    const SPropValue* flagStatus = in.Find(msgcol::FlagStatus);
    const ULONG followUp = flagStatus != nullptr ? flagStatus->Value.ul : 0;
    r.followUpCode = followUp == 1 || followUp == 2 ? followUp : 0;
    // Compared with the resolved slot: before resolution no property matches.
    in.Text(in.Find(msgcol::FlagRequest, NamedPropTags().FlagRequest), r.flagTextLength,
            r.flagText);
    r.unsentCopy = r.unsent;
    return 0;
}
