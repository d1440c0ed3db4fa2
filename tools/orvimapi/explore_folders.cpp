// folders, messages, message and folder changes.
#include <cstdio>

#include "commands.h"
#include "events.h"
#include "folders.h"
#include "messages.h"
#include "platform_view.h"
#include "stores.h"

namespace orvimapi {

namespace {

Json DescribeTree(OrviMapiStore store, OrviMapiFolder folder, const std::string& path, int depth)
{
    Json children = Json::array();
    for (const FolderRow& row : ListSubfolders(folder)) {
        const std::string childPath = path.empty() ? row.displayName : path + "/" + row.displayName;
        Folder child;
        if (OrviMapiMsgStoreGetFolderInterface(store, static_cast<int32_t>(row.entryId.size()),
                                               row.entryId.data(), child.out()) != 0)
            Fail("cannot open " + childPath);
        Json node = Json::object();
        node.set("name", row.displayName);
        node.set("path", childPath);
        const int32_t type = FolderTypeCode(store, row.entryId);
        node.set("type", static_cast<int64_t>(type));
        node.set("class", ContainerClass(child.get()));
        node.set("contentCount", row.contentCount);
        node.set("entryId", Hex(row.entryId));
        if (row.hasSubfolders && depth != 1)
            node.set("folders", DescribeTree(store, child.get(), childPath, depth - 1));
        children.push(std::move(node));
    }
    return children;
}

void PrintTree(FILE* out, const Json& folders, int indent)
{
    for (const Json& folder : folders.elements()) {
        const int type = std::stoi(folder.find("type")->text());
        std::fprintf(out, "%*s%-*s %3d %-16s %5s  %s\n", indent, "", 34 - indent,
                     folder.find("name")->text().c_str(), type, FolderTypeName(type),
                     folder.find("contentCount")->text().c_str(),
                     folder.find("class")->text().c_str());
        if (const Json* children = folder.find("folders")) PrintTree(out, *children, indent + 2);
    }
}

// Runs a change that reports 0 or a failing result.
void Change(int32_t result, const std::string& what)
{
    if (result != 0) Fail(what);
}

int32_t Size(const Bytes& bytes) { return static_cast<int32_t>(bytes.size()); }

} // namespace

int RunFolders(Context& context, Arguments& arguments)
{
    const std::string storeName = arguments.option("--store");
    const int depth =
        static_cast<int>(ParseWhole("--depth", arguments.option("--depth", "0"), 0, 1000));
    const auto words = arguments.positional(0, 1, "folders [PATH] [--store NAME] [--depth N]");
    Session session(context.options.profile);
    Store store = OpenStore(storeName);
    FolderAtPath top = OpenFolderAtPath(store.get(), words.empty() ? "" : words[0]);
    const Json tree = DescribeTree(store.get(), top.folder.get(), top.path, depth);
    if (context.options.json) {
        context.print(tree.dump());
        return 0;
    }
    std::fprintf(context.out, "%-34s %3s %-16s %5s  %s\n",
                 top.path.empty() ? "(top of the tree)" : top.path.c_str(), "typ", "kind", "items",
                 "class");
    PrintTree(context.out, tree, 2);
    return 0;
}

int RunMessages(Context& context, Arguments& arguments)
{
    const std::string storeName = arguments.option("--store");
    const auto words = arguments.positional(1, 1, "messages PATH [--store NAME]");
    Session session(context.options.profile);
    Store store = OpenStore(storeName);
    FolderAtPath folder = OpenFolderAtPath(store.get(), words[0]);
    const Json messages = ListMessages(folder.folder.get());
    if (context.options.json)
        context.print(messages.dump());
    else
        PrintMessageList(context.out, messages);
    return 0;
}

int RunMessage(Context& context, Arguments& arguments)
{
    const std::string storeName = arguments.option("--store");
    const std::string body = arguments.option("--body");
    const std::string attachment = arguments.option("--attachment");
    const std::string outPath = arguments.option("--out");
    const auto words = arguments.positional(
        2, 2,
        "message PATH MSG [--store NAME] [--body text|rtf|html] [--attachment N] [--out FILE]");
    if (!body.empty() && body != "text" && body != "rtf" && body != "html")
        Usage("--body takes text, rtf or html, not " + body);
    if (!body.empty() && !attachment.empty()) Usage("--body and --attachment go one at a time");
    const uint32_t attachmentNumber =
        attachment.empty()
            ? 0
            : static_cast<uint32_t>(ParseWhole("--attachment", attachment, 0, 0xFFFFFFFF));

    Session session(context.options.profile);
    Store store = OpenStore(storeName);
    FolderAtPath folder = OpenFolderAtPath(store.get(), words[0]);
    const Bytes entryId = MessageEntryId(folder.folder.get(), folder.path, words[1]);
    Message message = OpenMessage(folder.folder.get(), entryId, folder.path);
    const Json description = DescribeMessage(message.get());

    if (body.empty() && attachment.empty()) {
        if (context.options.json)
            context.print(description.dump());
        else
            PrintMessage(context.out, description);
        return 0;
    }

    Stream stream;
    Message embedded;
    std::string what;
    if (!body.empty()) {
        what = "the " + body + " body";
        int32_t result = 0;
        if (body == "text") {
            result = OrviMapiMsgGetBodyTextStream(message.get(), stream.out());
        } else if (body == "rtf") {
            uint32_t compressedSize = 0;
            result = OrviMapiMsgGetBodyRTFStream(message.get(), stream.out(), &compressedSize);
        } else {
            int32_t codePage = std::stoi(description.find("internetCodePage")->text());
            // -1 here means no HTML either way, and nothing is recorded for it.
            if (OrviMapiMsgGetBodyHTMLStream(message.get(), codePage != 0 ? codePage : 1252,
                                             stream.out()) != 0)
                throw CommandFailure(
                    "the message has no HTML body (none in its RTF, no HTML property)");
        }
        if (result != 0) Fail("cannot read " + what);
        if (!stream) Usage("the message has no " + body + " body");
    } else {
        what = "attachment #" + attachment;
        Attach attach;
        if (OrviMapiMsgAttachOpen(message.get(), attachmentNumber, attach.out()) != 0)
            FailOrNoSuch("cannot open " + what, what + " in the message");
        if (OrviMapiMsgAttachGetStream(attach.get(), stream.out()) != 0 || !stream) {
            if (OrviMapiMsgAttachGetEmbeddedMsg(attach.get(), embedded.out()) != 0 || !embedded)
                Fail("attachment #" + attachment + " has neither data nor an attached message");
        }
    }

    FILE* file = context.out;
    if (!outPath.empty() && (file = std::fopen(outPath.c_str(), "wb")) == nullptr)
        throw CommandFailure("cannot write " + outPath);
    long long written = 0;
    if (embedded) {
        const std::string text = DescribeMessage(embedded.get()).dump() + "\n";
        written = static_cast<long long>(std::fwrite(text.data(), 1, text.size(), file));
    } else {
        written = CopyStream(stream.get(), file);
    }
    if (file != context.out && std::fclose(file) != 0) written = -1;
    if (written < 0) throw CommandFailure("cannot write " + what);
    if (!outPath.empty()) {
        if (context.options.json) {
            Json result = Json::object();
            result.set("file", outPath);
            result.set("bytes", static_cast<int64_t>(written));
            result.set("attachedMessage", static_cast<bool>(embedded));
            context.print(result.dump());
        } else {
            context.print("wrote " + what + (embedded ? " (an attached message, as JSON)" : "") +
                          " to " + outPath + ": " + std::to_string(written) + " bytes");
        }
    }
    return 0;
}

int RunFolderChange(Context& context, Arguments& arguments)
{
    const std::string storeName = arguments.option("--store");
    const bool showEvents = arguments.flag("--events");
    const std::string usage =
        "folder create PATH NAME | rename PATH NAME | copy PATH TO | move PATH TO | recycle PATH | "
        "delete PATH | empty PATH   [--store NAME] [--events]";
    const auto words = arguments.positional(2, 3, usage);
    const std::string& action = words[0];
    const bool twoPaths =
        action == "create" || action == "rename" || action == "copy" || action == "move";
    const bool onePath = action == "recycle" || action == "delete" || action == "empty";
    if (!(twoPaths && words.size() == 3) && !(onePath && words.size() == 2))
        Usage("usage: " + usage);

    Session session(context.options.profile);
    StoreRow storeRow;
    Store store = OpenStore(storeName, &storeRow);
    const Bytes& storeId = storeRow.entryId;
    FolderAtPath folder = OpenFolderAtPath(store.get(), words[1]);
    const Bytes& folderId = folder.entryId;
    std::string done;
    EventWatch events(context, store.get(), showEvents);

    if (action == "create") {
        Folder created;
        Change(OrviMapiFolderNew(Size(storeId), storeId.data(), Size(folderId), folderId.data(),
                                 words[2].c_str(), created.out()),
               "cannot create \"" + words[2] + "\" in " + folder.path);
        // A taken name gets a number: report the name the folder got.
        std::string name = words[2];
        OrviMapiProps props = nullptr;
        if (OrviMapiFolderPropsGet(created.get(), &props) == 0 && props != nullptr) {
            FolderPropsRecord record{};
            if (OrviMapiFolderPropsRead(created.get(), props, &record) == 0 &&
                record.displayName != nullptr)
                name.assign(record.displayName, record.displayNameLength);
            OrviMapiFolderPropsRelease(created.get(), props);
        }
        done = "created \"" + name + "\" in " +
               (folder.path.empty() ? std::string("the top folder") : folder.path);
    } else if (action == "rename") {
        Change(OrviMapiFolderRename(Size(storeId), storeId.data(), Size(folderId), folderId.data(),
                                    words[2].c_str()),
               "cannot rename " + folder.path);
        done = "renamed " + folder.path + " to \"" + words[2] + "\"";
    } else if (action == "copy" || action == "move") {
        FolderAtPath target = OpenFolderAtPath(store.get(), words[2]);
        Change(OrviMapiFolderCopy(Size(storeId), storeId.data(), Size(folderId), folderId.data(),
                                  Size(target.entryId), target.entryId.data(),
                                  action == "move" ? 1 : 0),
               "cannot " + action + " " + folder.path);
        done = (action == "move" ? "moved " : "copied ") + folder.path + " into " +
               (target.path.empty() ? std::string("the top folder") : target.path);
    } else if (action == "recycle") {
        Change(
            OrviMapiFolderRecycle(Size(storeId), storeId.data(), Size(folderId), folderId.data()),
            "cannot recycle " + folder.path);
        done = "moved " + folder.path + " to Deleted Items";
    } else if (action == "delete") {
        Change(OrviMapiFolderDelete(Size(storeId), storeId.data(), Size(folderId), folderId.data()),
               "cannot delete " + folder.path);
        done = "deleted " + folder.path;
    } else {
        Change(OrviMapiFolderEmpty(Size(storeId), storeId.data(), Size(folderId), folderId.data()),
               "cannot empty " + folder.path);
        done = "emptied " + folder.path;
    }

    // The stand-in keeps the mailbox in memory: show the tree as the change left it.
    FolderAtPath top = OpenFolderAtPath(store.get(), "");
    const Json tree = DescribeTree(store.get(), top.folder.get(), "", 0);
    if (context.options.json) {
        Json result = Json::object();
        result.set("done", done);
        if (events.on()) result.set("events", events.TakeJson());
        result.set("folders", tree);
        context.print(result.dump());
    } else {
        context.print(done);
        if (events.on()) {
            context.print("notifications:");
            events.Print();
        }
        PrintTree(context.out, tree, 2);
    }
    return 0;
}

} // namespace orvimapi
