#include "messages/message_columns.h"

#include "frame/column_set.h"
#include "frame/mapi_constants.h"

namespace {

constexpr std::array<ULONG, msgcol::Count> kInitialColumns = {
    tag::Access,
    tag::ClientSubmitTime,
    tag::CreationTime,
    tag::InternetCpid,
    tag::ConversationIndex,
    tag::ConversationTopic,
    tag::DeleteAfterSubmit,
    tag::EntryId,
    tag::HasAttach,
    tag::Importance,
    tag::LastModificationTime,
    tag::MessageClass,
    tag::MessageDeliveryTime,
    tag::MessageFlags,
    tag::InternetMessageId,
    tag::MessageSize,
    tag::MsgStatus,
    tag::NormalizedSubject,
    tag::LastVerbExecuted,
    tag::FlagStatus,
    tag::InternetHeaders5901,
    kKeywordsPlaceholder,
    kFlagRequestPlaceholder,
    tag::ParentEntryId,
    tag::Priority,
    tag::ReceivedByEntryId,
    tag::ReplyRecipientNames,
    tag::ReportTag,
    tag::SearchKey,
    tag::Sensitivity,
    tag::SentRepresentingAddrType,
    tag::SentRepresentingEmailAddress,
    tag::SentRepresentingName,
    tag::SenderAddrType,
    tag::SenderEmailAddress,
    tag::SenderName,
    tag::SentMailEntryId,
    tag::Subject,
    tag::TransportMessageHeaders,
};

constinit PatchableColumns<msgcol::Count> messageColumns(kInitialColumns);

} // namespace

LPSPropTagArray MessageColumns() { return messageColumns.Array(); }
void SetMessageColumn(ULONG position, ULONG propTag) { messageColumns.Set(position, propTag); }
ULONG MessageColumn(ULONG position) { return messageColumns.At(position); }
void ResetMessageColumnsForTests() { messageColumns.Reset(); }
