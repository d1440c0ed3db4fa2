#include "messages/message_columns.h"

#include "frame/mapi_constants.h"

namespace {

constexpr ULONG kInitialColumns[msgcol::Count] = {
    tag::Access, tag::ClientSubmitTime, tag::CreationTime, tag::InternetCpid,
    tag::ConversationIndex, tag::ConversationTopic, tag::DeleteAfterSubmit, tag::EntryId,
    tag::HasAttach, tag::Importance, tag::LastModificationTime, tag::MessageClass,
    tag::MessageDeliveryTime, tag::MessageFlags, tag::InternetMessageId, tag::MessageSize,
    tag::MsgStatus, tag::NormalizedSubject, tag::LastVerbExecuted, tag::FlagStatus,
    tag::InternetHeaders5901, kKeywordsPlaceholder, kFlagRequestPlaceholder, tag::ParentEntryId,
    tag::Priority, tag::ReceivedByEntryId, tag::ReplyRecipientNames, tag::ReportTag,
    tag::SearchKey, tag::Sensitivity, tag::SentRepresentingAddrType,
    tag::SentRepresentingEmailAddress, tag::SentRepresentingName, tag::SenderAddrType,
    tag::SenderEmailAddress, tag::SenderName, tag::SentMailEntryId, tag::Subject,
    tag::TransportMessageHeaders,
};

SizedSPropTagArray(msgcol::Count, messageColumns);

struct Initializer {
    Initializer() { ResetMessageColumnsForTests(); }
} initializer;

}  // namespace

LPSPropTagArray MessageColumns() { return reinterpret_cast<LPSPropTagArray>(&messageColumns); }

void SetMessageColumn(ULONG position, ULONG propTag)
{
    if (position < msgcol::Count) messageColumns.aulPropTag[position] = propTag;
}

ULONG MessageColumn(ULONG position)
{
    return position < msgcol::Count ? messageColumns.aulPropTag[position] : PR_NULL;
}

void ResetMessageColumnsForTests()
{
    messageColumns.cValues = msgcol::Count;
    for (ULONG i = 0; i < msgcol::Count; ++i) messageColumns.aulPropTag[i] = kInitialColumns[i];
}
