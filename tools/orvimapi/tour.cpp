// tour: the road of one typical request, step by step, on the default store.
#include <cstdio>

#include "commands.h"
#include "folders.h"
#include "messages.h"
#include "platform_view.h"
#include "stores.h"

namespace orvimapi {

namespace {

class Steps {
public:
    explicit Steps(Context& context) : context_(context) {}

    void step(const std::string& did, Json got)
    {
        ++number_;
        if (context_.options.json) {
            Json entry = Json::object();
            entry.set("step", number_);
            entry.set("did", did);
            entry.set("got", got);
            steps_.push(std::move(entry));
        } else {
            std::fprintf(context_.out, "%2d. %s\n", number_, did.c_str());
            if (got.isArray()) {
                for (const Json& line : got.elements())
                    std::fprintf(context_.out, "      %s\n", line.text().c_str());
            } else if (!got.text().empty() && got.text() != "null") {
                std::fprintf(context_.out, "      %s\n", got.text().c_str());
            }
        }
    }

    void finish()
    {
        if (context_.options.json) context_.print(steps_.dump());
    }

private:
    Context& context_;
    int number_ = 0;
    Json steps_ = Json::array();
};

std::string Excerpt(const std::string& html, size_t limit)
{
    std::string text;
    for (char c : html.substr(0, limit))
        if (c != '\n') text += c == '\r' ? ' ' : c;
    return text + (html.size() > limit ? " ..." : "");
}

// The first message of the listing whose body is HTML carried in RTF.
Bytes FirstMessageWithRtfBody(OrviMapiFolder folder, const Json& messages)
{
    for (const Json& listed : messages.elements()) {
        Bytes entryId;
        ParseHex(listed.find("entryId")->text(), entryId);
        Message message = OpenMessage(folder, entryId);
        Stream rtf;
        uint32_t compressedSize = 0;
        if (OrviMapiMsgGetBodyRTFStream(message.get(), rtf.out(), &compressedSize) == 0 && rtf &&
            compressedSize > 0)
            return entryId;
    }
    return {};
}

} // namespace

int RunTour(Context& context, Arguments& arguments)
{
    arguments.positional(0, 0, "tour");
    Steps steps(context);
    {
        Session session(context.options.profile);
        char profile[256];
        uint32_t length = 0;
        const bool named = OrviMapiGetCurrentProfileName(sizeof profile, profile, &length) == 0;
        steps.step("OrviMapiStart: started a MAPI session and opened its address book",
                   "profile " + (named ? std::string(profile, length) : std::string("(unnamed)")));

        Json storeNames = Json::array();
        {
            Table table;
            if (OrviMapiMsgStoreQuerySet(table.out(), 1) != 0) Fail("cannot list the stores");
            for (RowSet rows; OrviMapiMsgStoreQueryGetRow(table.get(), rows.out()) > 0;) {
                const StoreRow row = ReadStoreRow(rows.get());
                storeNames.push(row.displayName + (row.isDefault ? " (default)" : ""));
            }
        }
        steps.step("OrviMapiMsgStoreQuerySet, OrviMapiMsgStoreQueryGetRow: listed the stores",
                   storeNames);

        StoreRow storeRow;
        Store store = OpenStore("", &storeRow);
        steps.step("OrviMapiMsgStoreResultOpenStore: opened the default store",
                   storeRow.displayName + ", entry id " + Hex(storeRow.entryId));

        Folder top = OpenTopFolder(store.get());
        const std::vector<FolderRow> folders = ListSubfolders(top.get());
        Json folderLines = Json::array();
        for (const FolderRow& row : folders)
            folderLines.push(row.displayName + " (" + std::to_string(row.contentCount) +
                             (row.contentCount == 1 ? " item)" : " items)"));
        steps.step(
            "OrviMapiMsgStoreGetRootFolder, OrviMapiFolderHier...: walked the top-level folders",
            folderLines);

        const FolderRow* inbox = nullptr;
        for (const FolderRow& row : folders)
            if (FolderTypeCode(store.get(), row.entryId) == 32) inbox = &row;
        if (inbox == nullptr && !folders.empty()) inbox = &folders.front();
        if (inbox == nullptr) throw CommandFailure("the default store has no folders to read");
        Folder folder;
        if (OrviMapiMsgStoreGetFolderInterface(store.get(),
                                               static_cast<int32_t>(inbox->entryId.size()),
                                               inbox->entryId.data(), folder.out()) != 0)
            Fail("cannot open " + inbox->displayName);
        steps.step("OrviMapiMsgStoreGetFolderInterface: opened " + inbox->displayName,
                   "type code " + std::to_string(FolderTypeCode(store.get(), inbox->entryId)));

        std::vector<int> batches;
        const Json messages = ListMessages(folder.get(), &batches);
        std::string batchText;
        for (int batch : batches)
            batchText += (batchText.empty() ? "" : " + ") + std::to_string(batch);
        steps.step(
            "OrviMapiFolderContQueryGetRow, OrviMapiFolderContReadParam: read its messages in "
            "batches",
            std::to_string(messages.elements().size()) + " messages" +
                (batchText.empty() ? "" : " (" + batchText + ")"));
        if (messages.elements().empty())
            throw CommandFailure(inbox->displayName + " holds no message to open");

        Bytes chosen = FirstMessageWithRtfBody(folder.get(), messages);
        if (chosen.empty()) ParseHex(messages.elements()[0].find("entryId")->text(), chosen);
        Message message = OpenMessage(folder.get(), chosen);
        const Json details = DescribeMessage(message.get());
        steps.step("OrviMapiMsgGet, OrviMapiMsgPropsGet, OrviMapiMsgPropsRead: opened one message",
                   Json::Array{"subject: " + details.find("subject")->text(),
                               "delivered: " + details.find("delivered")->text() + " UTC",
                               "class: " + details.find("class")->text() + ", code page " +
                                   details.find("internetCodePage")->text()});

        Json people = Json::array();
        if (const Json* sender = details.find("sender"))
            people.push("sender: " + sender->find("name")->text() + " <" +
                        sender->find("email")->text() + ">");
        for (const Json& r : details.find("recipients")->elements())
            people.push(r.find("kind")->text() + ": " + r.find("name")->text() + " <" +
                        r.find("email")->text() + ">");
        steps.step(
            "OrviMapiMsgAddrSenderGet, OrviMapiMsgAddrOther...: read its sender and recipients",
            people);

        const int32_t codePage = std::stoi(details.find("internetCodePage")->text());
        Stream html;
        if (OrviMapiMsgGetBodyHTMLStream(message.get(), codePage != 0 ? codePage : 1252,
                                         html.out()) != 0)
            Fail("cannot read the message's body as HTML");
        const std::string body = ReadStream(html.get());
        steps.step(
            "OrviMapiMsgGetBodyHTMLStream: extracted its HTML body from the compressed RTF",
            Json::Array{std::to_string(body.size()) + " bytes of HTML:", Excerpt(body, 300)});
    }
    steps.step(
        "OrviMapiRelease..., OrviMapiMsgStoreRelease, OrviMapiStop: released everything and "
        "stopped",
        nullptr);
    steps.finish();
    return 0;
}

} // namespace orvimapi
