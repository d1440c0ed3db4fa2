// A message's attachments: the attachment table and its row readers, and an
// attachment opened by number, with its data as a stream or as a message.
#include "session/session_check.h"
#include "frame/handles.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"
#include "messages/message_tables.h"

namespace {

// The content id, content location and MIME tag appear twice each; the
// record takes each from the position its field names.
namespace attachcol {
// clang-format off
enum : ULONG {
    Filename, ContentId, ContentLocation, LongFilename, Method, Flags, MimeTag, MimeTagForInline,
    Num, Pathname, Size, DisplayName, ContentIdForRecord, ContentLocationForRecord,
    RenderingPosition, Count
};
// clang-format on
} // namespace attachcol

// clang-format off
SizedSPropTagArray(attachcol::Count, attachmentColumns) = {
    attachcol::Count,
    {tag::AttachFilename, tag::AttachContentId, tag::AttachContentLocation,
     tag::AttachLongFilename, tag::AttachMethod, tag::AttachFlags, tag::AttachMimeTag,
     tag::AttachMimeTag, tag::AttachNum, tag::AttachPathname, tag::AttachSize, tag::DisplayName,
     tag::AttachContentId, tag::AttachContentLocation, tag::RenderingPosition}};
// clang-format on

LPSPropTagArray AttachmentColumns()
{
    return reinterpret_cast<LPSPropTagArray>(&attachmentColumns);
}

// Attachment data that cannot be opened is reported only through the last
// error: the export still returns 0 and leaves its out-argument alone.
template <class Interface>
Interface* OpenAttachmentData(IAttach* attach, ULONG propTag, const IID& iid)
{
    ComPtr<Interface> data;
    const HRESULT hr =
        attach->OpenProperty(propTag, &iid, 0, flag::DeferredErrors, data.putUnknown());
    if (FAILED(hr)) {
        RecordLastError(__FILE__, __LINE__, nullptr, hr);
        FetchObjectErrorText(attach, hr);
        return nullptr;
    }
    return data.release();
}

} // namespace

ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAttachQuerySet(OrviMapiMessage msg, OrviMapiTable* tableOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(msg != nullptr, "Message not defined", -1);
    CHECK_ARG(tableOut != nullptr, "pTable not defined", -1);

    ComPtr<IMAPITable> table;
    CHECK_HR(AsMapi(msg)->GetAttachmentTable(flag::DeferredErrors, table.put()), -1);
    CHECK_HR(table->SetColumns(AttachmentColumns(), flag::TblBatch), -1);
    *tableOut = ToHandle(table.release());
    return 0;
}

ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAttachGetRowCount(OrviMapiTable table)
{
    return MessageTableRowCount(table);
}

ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAttachGetRow(OrviMapiTable table, OrviMapiRowSet* rowsOut)
{
    return MessageTableNextRow(table, rowsOut);
}

ORVIMAPI_EXTERN(int32_t) OrviMapiMsgAttachGetAllRows(OrviMapiTable table, OrviMapiRowSet* rowsOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(table != nullptr, "Table not defined", -1);
    CHECK_ARG(rowsOut != nullptr, "pRows not defined", -1);
    RowSetPtr rows;
    CHECK_HR(HrQueryAllRows(AsMapi(table), AttachmentColumns(), nullptr, nullptr, 0, rows.put()),
             -1);
    const int32_t count = rows ? static_cast<int32_t>(rows->cRows) : 0;
    *rowsOut = ToHandle(rows.release());
    return count;
}

// A row index beyond the row set is recorded as a failure rather than read.
ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgAttachGetParam(OrviMapiRowSet rows, uint32_t rowIndex, MsgAttachRecord* record)
{
    CHECK_SESSION(-1);
    CHECK_ROWS(rows, -1);
    CHECK_ARG(rowIndex < AsMapi(rows)->cRows, "Row index out of range", -1);
    CHECK_ARG(record != nullptr, "pRecord is NULL", -1);

    const RowReader row(AsMapi(rows)->aRow[rowIndex]);
    MsgAttachRecord& r = *record;
    row.TextOrNull(attachcol::ContentIdForRecord, tag::AttachContentId, r.contentIdLength,
                   r.contentId);
    row.TextOrNull(attachcol::ContentLocationForRecord, tag::AttachContentLocation,
                   r.contentLocationLength, r.contentLocation);
    row.TextOrNull(attachcol::MimeTag, tag::AttachMimeTag, r.mimeTagLength, r.mimeTag);

    const SPropValue* method = row.Find(attachcol::Method, tag::AttachMethod);
    r.notByValue = method != nullptr && method->Value.ul != ATTACH_BY_VALUE ? 1 : 0;
    const SPropValue* flags = row.Find(attachcol::Flags, tag::AttachFlags);
    const bool tagged = row.Find(attachcol::MimeTagForInline, tag::AttachMimeTag) != nullptr ||
                        row.Find(attachcol::ContentId, tag::AttachContentId) != nullptr;
    r.isInline = r.notByValue == 0 && tagged && flags != nullptr && flags->Value.ul == 0 ? 1 : 0;

    if (row.Find(attachcol::LongFilename, tag::AttachLongFilename) != nullptr)
        row.TextOrNull(attachcol::LongFilename, tag::AttachLongFilename, r.fileNameLength,
                       r.fileName);
    else
        row.TextOrNull(attachcol::Filename, tag::AttachFilename, r.fileNameLength, r.fileName);

    const SPropValue* position = row.Find(attachcol::RenderingPosition, tag::RenderingPosition);
    r.renderingPosition = position != nullptr ? position->Value.l : -1;
    for (uint32_t& reserved : r.reserved15to18) reserved = 0;
    row.TextOrNull(attachcol::DisplayName, tag::DisplayName, r.displayNameLength, r.displayName);
    const SPropValue* number = row.Find(attachcol::Num, tag::AttachNum);
    r.attachmentNumber = number != nullptr ? number->Value.l : -1;
    const SPropValue* size = row.Find(attachcol::Size, tag::AttachSize);
    r.size = size != nullptr ? size->Value.ul : 0;
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgAttachOpen(OrviMapiMessage msg, uint32_t attachmentNumber, OrviMapiAttach* attachOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(msg != nullptr, "Message not defined", -1);
    CHECK_ARG(attachOut != nullptr, "pAttach not defined", -1);

    IMessage* message = AsMapi(msg);
    ComPtr<IAttach> attach;
    CHECK_HR_FETCH(message->OpenAttach(attachmentNumber, nullptr, flag::BestAccess, attach.put()),
                   message, -1);
    *attachOut = ToHandle(attach.release());
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgAttachGetStream(OrviMapiAttach attach, OrviMapiStream* streamOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(attach != nullptr, "Message not defined", -1);
    CHECK_ARG(streamOut != nullptr, "pStream not defined", -1);
    IAttach* mapiAttach = AsMapi(attach);
    if (IStream* stream =
            OpenAttachmentData<IStream>(mapiAttach, tag::AttachDataBin, guid::IidIStream))
        *streamOut = ToHandle(stream);
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgAttachGetEmbeddedMsg(OrviMapiAttach attach, OrviMapiMessage* msgOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(attach != nullptr, "Message not defined", -1);
    CHECK_ARG(msgOut != nullptr, "pMessage not defined", -1);
    IAttach* mapiAttach = AsMapi(attach);
    if (IMessage* message =
            OpenAttachmentData<IMessage>(mapiAttach, tag::AttachDataObj, guid::IidIMessage))
        *msgOut = ToHandle(message);
    return 0;
}
