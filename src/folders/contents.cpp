// A folder's contents table: its messages in batches or all at once, the
// typed readers of a row, and the FolderContentsRecord of a row.
#include <cstring>

#include "folders/folder_tables.h"
#include "session/session_check.h"
#include "frame/handles.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"
#include "frame/record_codes.h"
#include "frame/table_rows.h"
#include "frame/text_copy.h"
#include "messages/message_columns.h"
#include "session/date_time_text.h"

namespace {

namespace contcol {
// clang-format off
enum : ULONG {
    EntryId, ClientSubmitTime, DisplayTo, HasAttach, Importance, LastModificationTime,
    MessageClass, MessageDeliveryTime, MessageFlags, MessageSize, MsgStatus, LastVerbExecuted,
    InternetHeaders5901, FlagRequest, Priority, ReceivedByEntryId, RcvdRepresentingEmailAddress,
    RcvdRepresentingName, SenderEmailAddress, SenderName, Sensitivity, SentMailEntryId, Subject,
    TransportMessageHeaders, Count
};
// clang-format on
} // namespace contcol

// Column 13 keeps the placeholder: resolution patches only the message column set.
// clang-format off
SizedSPropTagArray(contcol::Count, contentsColumns) = {
    contcol::Count,
    {tag::EntryId, tag::ClientSubmitTime, tag::DisplayTo, tag::HasAttach, tag::Importance,
     tag::LastModificationTime, tag::MessageClass, tag::MessageDeliveryTime, tag::MessageFlags,
     tag::MessageSize, tag::MsgStatus, tag::LastVerbExecuted, tag::InternetHeaders5901,
     kFlagRequestPlaceholder, tag::Priority, tag::ReceivedByEntryId,
     tag::RcvdRepresentingEmailAddress, tag::RcvdRepresentingName, tag::SenderEmailAddress,
     tag::SenderName, tag::Sensitivity, tag::SentMailEntryId, tag::Subject,
     tag::TransportMessageHeaders}};
// clang-format on
SizedSSortOrderSet(1, deliveryTimeSortOrder) = {
    1, 0, 0, {{tag::MessageDeliveryTime, TABLE_SORT_DESCEND}}};

constexpr int32_t kBatchRows = 100;
constexpr ULONG kMsgFlagRead = 0x01;
constexpr ULONG kMsgFlagUnsent = 0x08;
constexpr ULONG kVerbReplyToSender = 102;
constexpr ULONG kVerbReplyToAll = 103;
constexpr ULONG kVerbForward = 104;
constexpr const char* kRowOutOfRange = "Row index out of range";

LPSPropTagArray ContentsColumns() { return reinterpret_cast<LPSPropTagArray>(&contentsColumns); }

const SPropValue& RowValue(OrviMapiRowSet rows, uint32_t rowIndex, ULONG column)
{
    return AsMapi(rows)->aRow[rowIndex].lpProps[column];
}

bool RowExists(OrviMapiRowSet rows, uint32_t rowIndex) { return rowIndex < AsMapi(rows)->cRows; }

uint32_t CopyTextColumn(OrviMapiRowSet rows, uint32_t rowIndex, ULONG column, ULONG expectedTag,
                        uint32_t bufSize, char* buf)
{
    const SPropValue& value = RowValue(rows, rowIndex, column);
    if (value.ulPropTag != expectedTag || buf == nullptr) return 0;
    return BoundedTextCopy(value.Value.lpszA, bufSize, buf);
}

// The UTC time of a time column; false when it is missing or not convertible.
bool ColumnTime(const SPropValue& value, ULONG expectedTag, SYSTEMTIME& time)
{
    if (value.ulPropTag != expectedTag) return false;
    SYSTEMTIME converted{};
    if (!FileTimeToSystemTime(&value.Value.ft, &converted)) return false;
    time = converted;
    return true;
}

void SetTime(OrviMapiSystemTime& field, const SYSTEMTIME& time)
{
    static_assert(sizeof(OrviMapiSystemTime) == sizeof(SYSTEMTIME));
    std::memcpy(&field, &time, sizeof field);
}

uint32_t FollowUpCode(const SPropValue& value)
{
    if (value.ulPropTag != tag::FlagStatus) return 0;
    return value.Value.ul == 1 || value.Value.ul == 2 ? value.Value.ul : 0;
}

void SetText(uint32_t& length, char*& text, const SPropValue& value)
{
    length = static_cast<uint32_t>(std::strlen(value.Value.lpszA));
    text = value.Value.lpszA;
}

} // namespace

ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContQuerySet(OrviMapiFolder folder, OrviMapiTable* tableOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(folder != nullptr, "Folder not defined", -1);
    CHECK_ARG(tableOut != nullptr, "pTable not defined", -1);

    ComPtr<IMAPITable> table;
    CHECK_HR(AsMapi(folder)->GetContentsTable(flag::DeferredErrors, table.put()), -1);
    CHECK_HR(table->SetColumns(ContentsColumns(), flag::TblBatch), -1);
    *tableOut = ToHandle(table.release());
    return 0;
}

// A null folder is rejected as by OrviMapiFolderContQuerySet.
ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderContQueryAll(OrviMapiFolder folder, OrviMapiTable* tableOut, OrviMapiRowSet* rowsOut)
{
    CHECK_SESSION(-1);
    return QueryAllOfFolder(folder, FolderTable::Contents, ContentsColumns(),
                            reinterpret_cast<LPSSortOrderSet>(&deliveryTimeSortOrder), tableOut,
                            rowsOut);
}

ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContQueryGetRow(OrviMapiTable table, OrviMapiRowSet* rowsOut)
{
    CHECK_SESSION(-1);
    return HandOutNextRows(table, kBatchRows, rowsOut);
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderContGetEID(OrviMapiRowSet rows, uint32_t rowIndex, uint32_t* cbOut,
                         unsigned char** bytesOut)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(RowExists(rows, rowIndex), kRowOutOfRange, -1);
    CHECK_ARG(cbOut != nullptr && bytesOut != nullptr, "EID out not defined", -1);
    const SPropValue& value = RowValue(rows, rowIndex, contcol::EntryId);
    if (value.ulPropTag != tag::EntryId) return -1;
    *cbOut = value.Value.bin.cb;
    *bytesOut = value.Value.bin.lpb;
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderContGetDisplayTo(OrviMapiRowSet rows, uint32_t bufSize, char* buf)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    return static_cast<int32_t>(
        CopyTextColumn(rows, 0, contcol::DisplayTo, tag::DisplayTo, bufSize, buf));
}

ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContGetHasAttachFlag(OrviMapiRowSet rows, uint32_t* flagOut)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(flagOut != nullptr, "flagOut not defined", -1);
    const SPropValue& value = RowValue(rows, 0, contcol::HasAttach);
    *flagOut = value.ulPropTag == tag::HasAttach && value.Value.b == 1 ? 1 : 0;
    return 0;
}

// A row without a modification time gives the all-zero time, as the record
// does; an unconvertible one is left to FileTimeToSystemTime.
ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderContGetMsgModifyTime(OrviMapiRowSet rows, OrviMapiSystemTime* timeOut)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(timeOut != nullptr, "timeOut not defined", -1);
    const SPropValue& value = RowValue(rows, 0, contcol::LastModificationTime);
    if (value.ulPropTag != tag::LastModificationTime) {
        std::memset(timeOut, 0, sizeof *timeOut);
        return 0;
    }
    IGNORE_HR(FileTimeToSystemTime(&value.Value.ft, reinterpret_cast<SYSTEMTIME*>(timeOut)),
              "an unconvertible time is left as FileTimeToSystemTime leaves it");
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderContGetMsgClass(OrviMapiRowSet rows, uint32_t bufSize, char* buf)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    return static_cast<int32_t>(
        CopyTextColumn(rows, 0, contcol::MessageClass, tag::MessageClass, bufSize, buf));
}

ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContGetMsgDeliveryTime(OrviMapiRowSet rows, char* buf)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    const SPropValue& value = RowValue(rows, 0, contcol::MessageDeliveryTime);
    if (value.ulPropTag != tag::MessageDeliveryTime || buf == nullptr) return 0;
    // A failed conversion leaves the zero time, which formats as "00000000000".
    SYSTEMTIME time{};
    IGNORE_HR(FileTimeToSystemTime(&value.Value.ft, &time), "the zero time stands in");
    char text[32];
    if (DateTimeText(text, sizeof text, time) != 0) return 0;
    const size_t length = std::strlen(text);
    std::memcpy(buf, text, length + 1);
    return static_cast<int32_t>(length);
}

ORVIMAPI_EXTERN(int32_t) OrviMapiFolderContGetMsgSize(OrviMapiRowSet rows, uint32_t* sizeOut)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(sizeOut != nullptr, "sizeOut not defined", -1);
    const SPropValue& value = RowValue(rows, 0, contcol::MessageSize);
    *sizeOut = value.ulPropTag == tag::MessageSize ? value.Value.ul : 0;
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderContGetMsgSenderEmailAddress(OrviMapiRowSet rows, uint32_t bufSize, uint32_t rowIndex,
                                           char* buf)
{
    CHECK_SESSION(-1);
    if (bufSize == 0) return 0;
    CHECK_ROWS(rows, -1);
    CHECK_ARG(RowExists(rows, rowIndex), kRowOutOfRange, -1);
    return static_cast<int32_t>(CopyTextColumn(rows, rowIndex, contcol::SenderEmailAddress,
                                               tag::SenderEmailAddress, bufSize, buf));
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderContGetMsgSenderName(OrviMapiRowSet rows, uint32_t bufSize, uint32_t rowIndex,
                                   char* buf)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(RowExists(rows, rowIndex), kRowOutOfRange, -1);
    return static_cast<int32_t>(
        CopyTextColumn(rows, rowIndex, contcol::SenderName, tag::SenderName, bufSize, buf));
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderContGetMsgSubject(OrviMapiRowSet rows, uint32_t bufSize, char* buf)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    return static_cast<int32_t>(
        CopyTextColumn(rows, 0, contcol::Subject, tag::Subject, bufSize, buf));
}

// A row index beyond the row set is refused with a recorded failure.
ORVIMAPI_EXTERN(int32_t)
OrviMapiFolderContReadParam(OrviMapiRowSet rows, uint32_t rowIndex, FolderContentsRecord* record)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(RowExists(rows, rowIndex), kRowOutOfRange, -1);
    CHECK_ARG(record != nullptr, "Record not defined", -1);

    const SPropValue* row = AsMapi(rows)->aRow[rowIndex].lpProps;
    FolderContentsRecord& r = *record;

    const SPropValue& entryId = row[contcol::EntryId];
    r.entryIdSize = 0;
    if (entryId.ulPropTag == tag::EntryId) {
        r.entryIdSize = entryId.Value.bin.cb;
        r.entryId = entryId.Value.bin.lpb;
    }
    r.sentItemCode = row[contcol::SentMailEntryId].ulPropTag == tag::SentMailEntryId ? 1 : 2;

    const SPropValue& verb = row[contcol::LastVerbExecuted];
    const ULONG lastVerb = verb.ulPropTag == tag::LastVerbExecuted ? verb.Value.ul : 0;
    r.forwarded = lastVerb == kVerbForward ? 1 : 0;
    r.replied = lastVerb == kVerbReplyToSender || lastVerb == kVerbReplyToAll ? 1 : 0;

    const SPropValue& hasAttach = row[contcol::HasAttach];
    r.hasAttachments = hasAttach.ulPropTag == tag::HasAttach && hasAttach.Value.b == 1 ? 1 : 0;
    // Importance, priority and sensitivity take their values untested: a
    // missing property's error code falls to the default code 1.
    r.importanceCode = ImportanceCode(row[contcol::Importance].Value.l);

    const SPropValue& flags = row[contcol::MessageFlags];
    const ULONG messageFlags = flags.ulPropTag == tag::MessageFlags ? flags.Value.ul : 0;
    r.unsent = (messageFlags & kMsgFlagUnsent) ? 1 : 0;
    r.read = (messageFlags & kMsgFlagRead) ? 1 : 0;

    const SPropValue& messageClass = row[contcol::MessageClass];
    r.messageClassLength = 0;
    if (messageClass.ulPropTag == tag::MessageClass)
        SetText(r.messageClassLength, r.messageClass, messageClass);

    SYSTEMTIME time{};
    SetTime(r.modified,
            ColumnTime(row[contcol::LastModificationTime], tag::LastModificationTime, time)
                ? time
                : SYSTEMTIME{});
    r.priorityCode = PriorityCode(row[contcol::Priority].Value.l);

    SYSTEMTIME delivered{};
    const bool hasDelivered =
        ColumnTime(row[contcol::MessageDeliveryTime], tag::MessageDeliveryTime, delivered);
    SetTime(r.delivered, delivered);

    const SPropValue& forAddress = row[contcol::RcvdRepresentingEmailAddress];
    const SPropValue& forName = row[contcol::RcvdRepresentingName];
    const bool hasForAddress = forAddress.ulPropTag == tag::RcvdRepresentingEmailAddress;
    r.receivedForLength = 0;
    if (hasForAddress && forAddress.Value.lpszA[0] != '\0')
        SetText(r.receivedForLength, r.receivedFor, forAddress);
    else if (forName.ulPropTag == tag::RcvdRepresentingName)
        SetText(r.receivedForLength, r.receivedFor, forName);
    else if (hasForAddress)
        SetText(r.receivedForLength, r.receivedFor, forAddress);

    r.sensitivityCode = SensitivityCode(row[contcol::Sensitivity].Value.ul);

    SYSTEMTIME submitted{};
    const bool hasSubmitted =
        ColumnTime(row[contcol::ClientSubmitTime], tag::ClientSubmitTime, submitted);
    if (hasSubmitted) {
        SetTime(r.submitted, submitted);
        if (!hasDelivered) SetTime(r.delivered, submitted);
    } else {
        SetTime(r.submitted, delivered);
    }

    const SPropValue& size = row[contcol::MessageSize];
    r.size = size.ulPropTag == tag::MessageSize ? size.Value.ul : 0;

    const SPropValue& subject = row[contcol::Subject];
    r.subjectLength = 0;
    if (subject.ulPropTag == tag::Subject) SetText(r.subjectLength, r.subject, subject);

    r.followUpCode = FollowUpCode(row[contcol::FlagRequest]);
    return 0;
}
