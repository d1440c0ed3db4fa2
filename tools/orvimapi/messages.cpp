#include "messages.h"

#include <cstdio>
#include <cstring>

#include "platform_view.h"

namespace orvimapi {

namespace {

std::string Text(const char* text, uint32_t length)
{
    return text != nullptr && length > 0 ? std::string(text, length) : std::string();
}

const char* KindName(uint32_t kind)
{
    switch (kind) {
        case 1:
            return "from";
        case 2:
            return "sender";
        case 3:
            return "to";
        case 4:
            return "cc";
        case 5:
            return "bcc";
        default:
            return "other";
    }
}

Json Address(const MsgAddrRecord& record, bool recipient)
{
    Json address = Json::object();
    address.set("kind", KindName(record.kind));
    address.set("name", Text(record.name, record.nameLength));
    address.set("addressType", Text(record.addressType, record.addressTypeLength));
    address.set("email", Text(record.email, record.emailLength));
    if (recipient)
        address.set("recipientDisplayName",
                    Text(record.recipientDisplayName, record.recipientDisplayNameLength));
    return address;
}

// Records are filled field by field; what a reader leaves alone stays null.
template <class Record>
Record Cleared()
{
    Record record;
    std::memset(&record, 0, sizeof record);
    return record;
}

const char* ImportanceName(uint32_t code)
{
    return code == 2 ? "low" : code == 3 ? "high" : "normal";
}

} // namespace

std::string TimeText(const OrviMapiSystemTime& time)
{
    if (time.year == 0) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", time.year, time.month, time.day,
                  time.hour, time.minute);
    return text;
}

Json ListMessages(OrviMapiFolder folder, std::vector<int>* batches)
{
    Table table;
    if (OrviMapiFolderContQuerySet(folder, table.out()) != 0)
        Fail("cannot list the folder's messages");
    Json messages = Json::array();
    for (;;) {
        RowSet rows;
        const int32_t count = OrviMapiFolderContQueryGetRow(table.get(), rows.out());
        if (count < 0) Fail("cannot read the folder's messages");
        if (count == 0) break;
        if (batches != nullptr) batches->push_back(count);
        for (uint32_t i = 0; i < static_cast<uint32_t>(count); ++i) {
            auto record = Cleared<FolderContentsRecord>();
            if (OrviMapiFolderContReadParam(rows.get(), i, &record) != 0)
                Fail("cannot read a message row");
            char sender[256];
            const int32_t senderLength =
                OrviMapiFolderContGetMsgSenderName(rows.get(), sizeof sender, i, sender);
            Json message = Json::object();
            message.set("index", static_cast<int64_t>(messages.elements().size() + 1));
            message.set("entryId", Hex(record.entryId, record.entryIdSize));
            message.set("subject", Text(record.subject, record.subjectLength));
            message.set("sender", senderLength > 0
                                      ? std::string(sender, static_cast<size_t>(senderLength))
                                      : "");
            message.set("delivered", TimeText(record.delivered));
            message.set("submitted", TimeText(record.submitted));
            message.set("modified", TimeText(record.modified));
            message.set("class", Text(record.messageClass, record.messageClassLength));
            message.set("size", record.size);
            message.set("read", record.read != 0);
            message.set("unsent", record.unsent != 0);
            message.set("hasAttachments", record.hasAttachments != 0);
            message.set("importance", ImportanceName(record.importanceCode));
            message.set("priorityCode", record.priorityCode);
            message.set("sensitivityCode", record.sensitivityCode);
            message.set("replied", record.replied != 0);
            message.set("forwarded", record.forwarded != 0);
            message.set("sentItem", record.sentItemCode == 1);
            message.set("receivedFor", Text(record.receivedFor, record.receivedForLength));
            message.set("followUpCode", record.followUpCode);
            messages.push(std::move(message));
        }
    }
    return messages;
}

Bytes MessageEntryId(OrviMapiFolder folder, const std::string& folderPath,
                     const std::string& reference)
{
    // Up to 20 digits are a position: a MAPI entry identifier is at least 20
    // bytes (a 4-byte flag and a 16-byte provider UID), so 40 hex digits.
    const bool isPosition = !reference.empty() && reference.size() <= 20 &&
                            reference.find_first_not_of("0123456789") == std::string::npos;
    if (!isPosition) {
        Bytes entryId;
        if (!ParseHex(reference, entryId))
            Usage(
                "MSG expects a message position or an even number of hex digits "
                "(an entry identifier), not \"" +
                reference + "\"");
        return entryId;
    }
    const Json messages = ListMessages(folder);
    const size_t count = messages.elements().size();
    const std::string where = folderPath.empty() ? "the top folder" : folderPath;
    const size_t significant = reference.find_first_not_of('0');
    if (significant == std::string::npos || reference.size() - significant > 9 ||
        std::stoul(reference.substr(significant)) > count)
        Usage("no such message " + reference + " in " + where + " (it holds " +
              std::to_string(count) + ")");
    const size_t index = std::stoul(reference.substr(significant));
    Bytes entryId;
    ParseHex(messages.elements()[index - 1].find("entryId")->text(), entryId);
    return entryId;
}

Message OpenMessage(OrviMapiFolder folder, const Bytes& entryId, const std::string& folderPath)
{
    Message message;
    if (OrviMapiMsgGet(folder, static_cast<uint32_t>(entryId.size()), entryId.data(),
                       message.out()) != 0)
        FailOrNoSuch("cannot open the message " + Hex(entryId),
                     "message " + Hex(entryId) + " in " +
                         (folderPath.empty() ? "the top folder" : folderPath));
    return message;
}

Json DescribeMessage(OrviMapiMessage message)
{
    OrviMapiProps props = nullptr;
    if (OrviMapiMsgPropsGet(message, &props) != 0 || props == nullptr)
        Fail("cannot read the message's properties");
    struct PropsOwner {
        OrviMapiMessage message;
        OrviMapiProps props;
        ~PropsOwner() { OrviMapiMsgPropsRelease(message, props); }
    } owner{message, props};

    auto record = Cleared<MsgPropsRecord>();
    if (OrviMapiMsgPropsRead(message, props, &record) != 0)
        Fail("cannot read the message's properties");
    Json result = Json::object();
    result.set("entryId", Hex(record.entryId, record.entryIdSize));
    result.set("subject", Text(record.subject, record.subjectLength));
    result.set("subjectPrefixLength", static_cast<int64_t>(record.subjectPrefixLength));
    result.set("class", Text(record.messageClass, record.messageClassLength));
    result.set("internetCodePage", record.internetCodePage);
    result.set("created", TimeText(record.created));
    result.set("submitted", TimeText(record.submittedTime));
    result.set("delivered", TimeText(record.delivered));
    result.set("modified", TimeText(record.modified));
    result.set("size", record.size);
    result.set("unread", record.unread != 0);
    result.set("unsent", record.unsent != 0);
    result.set("hasAttachments", record.hasAttachments != 0);
    result.set("importance", ImportanceName(record.importanceCode));
    result.set("priorityCode", record.priorityCode);
    result.set("sensitivityCode", record.sensitivityCode);
    result.set("replied", record.replied != 0);
    result.set("forwarded", record.forwarded != 0);
    result.set("followUpCode", record.followUpCode);
    result.set("flagText", Text(record.flagText, record.flagTextLength));
    result.set("messageId", Text(record.messageId, record.messageIdLength));
    result.set("topic", Text(record.topic, record.topicLength));
    result.set("headersLength", record.headersLength);

    auto address = Cleared<MsgAddrRecord>();
    if (OrviMapiMsgAddrFromGet(message, props, &address) == 0)
        result.set("from", Address(address, false));
    address = Cleared<MsgAddrRecord>();
    if (OrviMapiMsgAddrSenderGet(message, props, &address) == 0)
        result.set("sender", Address(address, false));

    Json recipients = Json::array();
    Table recipientTable;
    if (OrviMapiMsgAddrOtherQuerySet(message, recipientTable.out()) != 0)
        Fail("cannot read the recipients");
    for (;;) {
        RowSet rows;
        const int32_t count = OrviMapiMsgAddrOtherGetRow(recipientTable.get(), rows.out());
        if (count < 0) Fail("cannot read the recipients");
        if (count == 0) break;
        address = Cleared<MsgAddrRecord>();
        if (OrviMapiMsgAddrOtherGetParam(rows.get(), &address) != 0)
            Fail("cannot read a recipient");
        recipients.push(Address(address, true));
    }
    result.set("recipients", std::move(recipients));

    Json attachments = Json::array();
    Table attachmentTable;
    if (OrviMapiMsgAttachQuerySet(message, attachmentTable.out()) != 0)
        Fail("cannot read the attachments");
    RowSet rows;
    const int32_t count = OrviMapiMsgAttachGetAllRows(attachmentTable.get(), rows.out());
    if (count < 0) Fail("cannot read the attachments");
    for (uint32_t i = 0; i < static_cast<uint32_t>(count); ++i) {
        auto attach = Cleared<MsgAttachRecord>();
        if (OrviMapiMsgAttachGetParam(rows.get(), i, &attach) != 0)
            Fail("cannot read an attachment");
        Json entry = Json::object();
        entry.set("number", static_cast<int64_t>(attach.attachmentNumber));
        entry.set("fileName", Text(attach.fileName, attach.fileNameLength));
        entry.set("displayName", Text(attach.displayName, attach.displayNameLength));
        entry.set("mimeTag", Text(attach.mimeTag, attach.mimeTagLength));
        entry.set("contentId", Text(attach.contentId, attach.contentIdLength));
        entry.set("size", attach.size);
        entry.set("inline", attach.isInline != 0);
        entry.set("notByValue", attach.notByValue != 0);
        entry.set("renderingPosition", static_cast<int64_t>(attach.renderingPosition));
        attachments.push(std::move(entry));
    }
    result.set("attachments", std::move(attachments));
    return result;
}

void PrintMessageList(FILE* out, const Json& messages)
{
    for (const Json& m : messages.elements()) {
        std::fprintf(out, "%4s  %-16s  %-22.22s  %s%s%s\n", m.find("index")->text().c_str(),
                     m.find("delivered")->text().c_str(), m.find("sender")->text().c_str(),
                     m.find("read")->text() == "true" ? "" : "* ",
                     m.find("subject")->text().c_str(),
                     m.find("hasAttachments")->text() == "true" ? "  [att]" : "");
    }
    std::fprintf(out, "%zu message(s); * unread\n", messages.elements().size());
}

void PrintMessage(FILE* out, const Json& message)
{
    const auto line = [&](const char* label, const std::string& value) {
        if (!value.empty()) std::fprintf(out, "%-12s %s\n", label, value.c_str());
    };
    const auto address = [](const Json* a) {
        if (a == nullptr) return std::string();
        std::string text = a->find("name")->text();
        const std::string email = a->find("email")->text();
        if (!email.empty()) text += " <" + email + ">";
        return text;
    };
    line("Subject:", message.find("subject")->text());
    line("From:", address(message.find("from")));
    line("Sender:", address(message.find("sender")));
    for (const Json& r : message.find("recipients")->elements()) {
        std::string label = r.find("kind")->text() + ":";
        label[0] = static_cast<char>(label[0] - 32);
        line(label.c_str(), address(&r));
    }
    line("Delivered:", message.find("delivered")->text());
    line("Submitted:", message.find("submitted")->text());
    line("Class:", message.find("class")->text());
    line("Code page:", message.find("internetCodePage")->text());
    line("Size:", message.find("size")->text() + " bytes");
    line("Importance:", message.find("importance")->text());
    line("Flag:", message.find("flagText")->text());
    line("Entry id:", message.find("entryId")->text());
    for (const Json& a : message.find("attachments")->elements()) {
        std::string text = "#" + a.find("number")->text() + " " + a.find("fileName")->text() +
                           " (" + a.find("size")->text() + " bytes";
        if (!a.find("mimeTag")->text().empty()) text += ", " + a.find("mimeTag")->text();
        if (a.find("inline")->text() == "true")
            text += ", inline cid:" + a.find("contentId")->text();
        if (a.find("notByValue")->text() == "true") text += ", attached message";
        line("Attachment:", text + ")");
    }
}

} // namespace orvimapi
