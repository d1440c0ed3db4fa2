// The message column set: the 39 properties OrviMapiMsgPropsGet asks for,
// in the order every reader relies on. Positions 21 and 22 start as
// placeholders and are patched with the store's own tags when named
// properties are resolved.
#pragma once

#include "frame/platform.h"

namespace msgcol {
// clang-format off
enum : ULONG {
    Access, ClientSubmitTime, CreationTime, InternetCpid, ConversationIndex, ConversationTopic,
    DeleteAfterSubmit, EntryId, HasAttach, Importance, LastModificationTime, MessageClass,
    MessageDeliveryTime, MessageFlags, InternetMessageId, MessageSize, MsgStatus,
    NormalizedSubject, LastVerbExecuted, FlagStatus, InternetHeaders5901, Keywords, FlagRequest,
    ParentEntryId, Priority, ReceivedByEntryId, ReplyRecipientNames, ReportTag, SearchKey,
    Sensitivity, SentRepresentingAddrType, SentRepresentingEmailAddress, SentRepresentingName,
    SenderAddrType, SenderEmailAddress, SenderName, SentMailEntryId, Subject,
    TransportMessageHeaders, Count
};
// clang-format on
} // namespace msgcol

inline constexpr ULONG kKeywordsPlaceholder = 0x8002101E;
inline constexpr ULONG kFlagRequestPlaceholder = 0x8003001E;

// The process-wide array, as MAPI calls take it.
LPSPropTagArray MessageColumns();

// Patches one entry (named-property resolution).
void SetMessageColumn(ULONG position, ULONG propTag);
ULONG MessageColumn(ULONG position);

// Puts the placeholders back, as at load; for tests.
void ResetMessageColumnsForTests();
