// Property tags, flags and GUIDs the library uses, with their published
// values. They are the library's own constants so that the code never
// depends on the ANSI/Unicode macro variants of a platform header.
#pragma once

#include "frame/platform.h"

namespace tag {
// Identity and hierarchy.
inline constexpr ULONG EntryId = 0x0FFF0102;
inline constexpr ULONG ParentEntryId = 0x0E090102;
inline constexpr ULONG DisplayName = 0x3001001E;
inline constexpr ULONG ProviderDisplay = 0x3006001E;
inline constexpr ULONG ResourceFlags = 0x30090003;
inline constexpr ULONG ResourceType = 0x3E030003;
inline constexpr ULONG StatusCode = 0x3E040003;
inline constexpr ULONG DefaultStore = 0x3400000B;
inline constexpr ULONG DefaultProfile = 0x3D04000B;
inline constexpr ULONG ContentCount = 0x36020003;
inline constexpr ULONG Subfolders = 0x360A000B;
inline constexpr ULONG ContainerClass = 0x3613001E;
inline constexpr ULONG IpmSubtreeEntryId = 0x35E00102;
inline constexpr ULONG IpmOutboxEntryId = 0x35E20102;
inline constexpr ULONG IpmWastebasketEntryId = 0x35E30102;
inline constexpr ULONG IpmSentMailEntryId = 0x35E40102;
inline constexpr ULONG FolderType = 0x36010003;

// Messages.
inline constexpr ULONG Access = 0x0FF40003;
inline constexpr ULONG ClientSubmitTime = 0x00390040;
inline constexpr ULONG CreationTime = 0x30070040;
inline constexpr ULONG InternetCpid = 0x3FDE0003;
inline constexpr ULONG ConversationIndex = 0x00710102;
inline constexpr ULONG ConversationTopic = 0x0070001E;
inline constexpr ULONG DeleteAfterSubmit = 0x0E01000B;
inline constexpr ULONG DisplayTo = 0x0E04001E;
inline constexpr ULONG HasAttach = 0x0E1B000B;
inline constexpr ULONG Importance = 0x00170003;
inline constexpr ULONG LastModificationTime = 0x30080040;
inline constexpr ULONG MessageClass = 0x001A001E;
inline constexpr ULONG MessageDeliveryTime = 0x0E060040;
inline constexpr ULONG MessageFlags = 0x0E070003;
inline constexpr ULONG InternetMessageId = 0x1035001E;
inline constexpr ULONG MessageSize = 0x0E080003;
inline constexpr ULONG MsgStatus = 0x0E170003;
inline constexpr ULONG NormalizedSubject = 0x0E1D001E;
inline constexpr ULONG LastVerbExecuted = 0x10810003;
inline constexpr ULONG FlagStatus = 0x10900003;
inline constexpr ULONG ReplyTime = 0x00300040;
inline constexpr ULONG InternetHeaders5901 = 0x5901001E;
inline constexpr ULONG Priority = 0x00260003;
inline constexpr ULONG ReceivedByEntryId = 0x003F0102;
inline constexpr ULONG ReplyRecipientNames = 0x0050001E;
inline constexpr ULONG ReportTag = 0x00310102;
inline constexpr ULONG SearchKey = 0x300B0102;
inline constexpr ULONG Sensitivity = 0x00360003;
inline constexpr ULONG SentRepresentingAddrType = 0x0064001E;
inline constexpr ULONG SentRepresentingEmailAddress = 0x0065001E;
inline constexpr ULONG SentRepresentingName = 0x0042001E;
inline constexpr ULONG SenderAddrType = 0x0C1E001E;
inline constexpr ULONG SenderEmailAddress = 0x0C1F001E;
inline constexpr ULONG SenderName = 0x0C1A001E;
inline constexpr ULONG SentMailEntryId = 0x0E0A0102;
inline constexpr ULONG Subject = 0x0037001E;
inline constexpr ULONG TransportMessageHeaders = 0x007D001E;
inline constexpr ULONG RcvdRepresentingEmailAddress = 0x0078001E;
inline constexpr ULONG RcvdRepresentingName = 0x0044001E;

// Bodies.
inline constexpr ULONG Body = 0x1000001E;
inline constexpr ULONG RtfCompressed = 0x10090102;
inline constexpr ULONG BodyHtml = 0x1013001E;

// Recipients and attachments.
inline constexpr ULONG RecipientType = 0x0C150003;
inline constexpr ULONG AddrType = 0x3002001E;
inline constexpr ULONG EmailAddress = 0x3003001E;
inline constexpr ULONG RecipientDisplayName = 0x5FF6001E;
inline constexpr ULONG AttachFilename = 0x3704001E;
inline constexpr ULONG AttachContentId = 0x3712001E;
inline constexpr ULONG AttachContentLocation = 0x3713001E;
inline constexpr ULONG AttachLongFilename = 0x3707001E;
inline constexpr ULONG AttachMethod = 0x37050003;
inline constexpr ULONG AttachFlags = 0x37140003;
inline constexpr ULONG AttachMimeTag = 0x370E001E;
inline constexpr ULONG AttachNum = 0x0E210003;
inline constexpr ULONG AttachPathname = 0x3708001E;
inline constexpr ULONG AttachSize = 0x0E200003;
inline constexpr ULONG RenderingPosition = 0x370B0003;
inline constexpr ULONG AttachDataBin = 0x37010102;
inline constexpr ULONG AttachDataObj = 0x3701000D;

// Address book and contacts.
inline constexpr ULONG DisplayType = 0x39000003;
inline constexpr ULONG CompanyName = 0x3A16001E;
inline constexpr ULONG DisplayNamePrefix = 0x3A45001E;
inline constexpr ULONG GivenName = 0x3A06001E;
inline constexpr ULONG MiddleName = 0x3A44001E;
inline constexpr ULONG Surname = 0x3A11001E;
inline constexpr ULONG Generation = 0x3A05001E;

// A tag no property carries: named-property slots hold it until resolved.
inline constexpr ULONG Unresolved = 0x66990003;
} // namespace tag

namespace flag {
inline constexpr ULONG LogonUi = 0x1;
inline constexpr ULONG NewSession = 0x2;
inline constexpr ULONG AllowOthers = 0x8;
inline constexpr ULONG ExplicitProfile = 0x10;
inline constexpr ULONG Extended = 0x20;
inline constexpr ULONG UseDefault = 0x40;

inline constexpr ULONG AbNoDialog = 0x1;
inline constexpr ULONG BestAccess = 0x10;
inline constexpr ULONG DeferredErrors = 0x8;
inline constexpr ULONG TblBatch = 0x2;
inline constexpr ULONG DialogModal = 0x1;

inline constexpr ULONG FolderGeneric = 0x1;
inline constexpr ULONG FolderMove = 0x1;
inline constexpr ULONG FolderDialog = 0x2;
inline constexpr ULONG CopySubfolders = 0x10;
inline constexpr ULONG DelMessages = 0x1;
inline constexpr ULONG DelFolders = 0x4;
inline constexpr ULONG KeepOpenReadWrite = 0x2;
inline constexpr ULONG KeepOpenReadOnly = 0x1;

inline constexpr ULONG MessageMove = 0x1;
inline constexpr ULONG MessageDialog = 0x2;
inline constexpr ULONG ClearReadFlag = 0x4;
inline constexpr ULONG PostMessage = 0x1;
inline constexpr ULONG NewMessage = 0x2;
} // namespace flag

namespace guid {
inline constexpr GUID IidIMAPIStatus = {
    0x00020305, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID IidIMessage = {
    0x00020307, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID IidIStream = {
    0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID IidIUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID IidIMAPIAdviseSink = {
    0x00020302, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID PsetidCommon = {
    0x00062008, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
} // namespace guid
