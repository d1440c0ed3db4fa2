// The msg command: a message's folder path, and the changes users make to
// mail every minute: file messages into folders, delete or recycle them,
// mark them read or unread, flag them, open them in the client's form.
#include <cstdio>
#include <set>

#include "commands.h"
#include "events.h"
#include "folders.h"
#include "mapisim/mapisim.h"
#include "messages.h"
#include "stores.h"

namespace orvimapi {

namespace {

constexpr const char* kUsage =
    "msg path PATH MSG [--separator C] | copy PATH MSGS TO | move PATH MSGS TO | delete PATH MSGS "
    "| "
    "recycle PATH MSGS [--one-by-one] | read PATH MSGS | unread PATH MSGS | "
    "flag PATH MSGS [TEXT] [--complete] | unflag PATH MSGS | edit PATH MSG | new PATH   [--store "
    "NAME]";

int32_t Size(const Bytes& bytes) { return static_cast<int32_t>(bytes.size()); }

std::string Where(const FolderAtPath& folder)
{
    return folder.path.empty() ? std::string("the top folder") : folder.path;
}

bool AllDigits(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// "1,3-5" (positions in `messages PATH`, from 1), entry identifiers in hex,
// or both, separated by commas: the entry identifiers in the order given,
// each once. As for MSG, up to 20 digits are a position.
std::vector<Bytes> MessageEntryIds(const FolderAtPath& folder, const std::string& references)
{
    std::vector<Bytes> ids;
    std::set<Bytes> seen;
    const auto add = [&](Bytes id) {
        if (seen.insert(id).second) ids.push_back(std::move(id));
    };
    Json listed = Json::array();
    bool listedYet = false;
    const auto position = [&](const std::string& digits) {
        if (!listedYet) {
            listed = ListMessages(folder.folder.get());
            listedYet = true;
        }
        const size_t count = listed.elements().size();
        const size_t significant = digits.find_first_not_of('0');
        if (significant == std::string::npos || digits.size() - significant > 9 ||
            std::stoul(digits.substr(significant)) > count)
            Usage("no such message " + digits + " in " + Where(folder) + " (it holds " +
                  std::to_string(count) + ")");
        return std::stoul(digits.substr(significant));
    };
    const auto byPosition = [&](size_t index) {
        Bytes id;
        ParseHex(listed.elements()[index - 1].find("entryId")->text(), id);
        return id;
    };
    size_t start = 0;
    while (start <= references.size()) {
        size_t end = references.find(',', start);
        if (end == std::string::npos) end = references.size();
        const std::string item = references.substr(start, end - start);
        start = end + 1;
        if (item.empty()) continue;
        const size_t dash = item.find('-');
        if (dash != std::string::npos && AllDigits(item.substr(0, dash)) &&
            AllDigits(item.substr(dash + 1)) && item.size() <= 41) {
            const size_t first = position(item.substr(0, dash)),
                         last = position(item.substr(dash + 1));
            if (first > last) Usage("the range " + item + " runs backwards");
            for (size_t index = first; index <= last; ++index) add(byPosition(index));
        } else if (AllDigits(item) && item.size() <= 20) {
            add(byPosition(position(item)));
        } else {
            Bytes id;
            if (!ParseHex(item, id))
                Usage(
                    "MSGS expects message positions, ranges such as 3-5 or entry identifiers in "
                    "hex, "
                    "not \"" +
                    item + "\"");
            add(std::move(id));
        }
    }
    if (ids.empty()) Usage("no messages named in \"" + references + "\"");
    return ids;
}

// The identifiers as the ENTRYLIST the list functions take; `ids` must
// outlive it.
struct EntryList {
    explicit EntryList(std::vector<Bytes>& ids)
    {
        for (Bytes& id : ids) entries.push_back({static_cast<uint32_t>(id.size()), id.data()});
        list.count = static_cast<uint32_t>(entries.size());
        list.entries = entries.data();
    }
    std::vector<OrviMapiBinary> entries;
    OrviMapiEntryList list{};
};

std::string Plural(size_t count)
{
    return std::to_string(count) + (count == 1 ? " message" : " messages");
}

Json DescribeForm()
{
    Json form = Json::object();
    mapisim_form shown{};
    if (mapisim_last_form(&shown) != 0) return form;
    form.set("window", static_cast<int64_t>(shown.window));
    form.set("store", std::string(shown.store));
    form.set("folder", std::string(shown.folder));
    form.set("token", shown.token);
    form.set("flags", shown.flags);
    form.set("status", shown.status);
    form.set("messageFlags", shown.message_flags);
    form.set("access", shown.access);
    form.set("class", std::string(shown.message_class));
    form.set("subject", std::string(shown.subject));
    form.set("result", static_cast<int64_t>(shown.result));
    return form;
}

void PrintForm(Context& context, const Json& form)
{
    if (form.find("token") == nullptr) return;
    const uint32_t flags = static_cast<uint32_t>(std::stoul(form.find("flags")->text()));
    context.print("the stand-in's form received:");
    context.print("  store     " + form.find("store")->text());
    context.print("  folder    " + form.find("folder")->text());
    context.print("  class     " + form.find("class")->text());
    context.print("  subject   " + form.find("subject")->text());
    context.print("  flags     " + std::string((flags & 0x2) != 0 ? "post, new message" : "post"));
    context.print("  status " + form.find("status")->text() + ", message flags " +
                  form.find("messageFlags")->text() + ", access " + form.find("access")->text() +
                  ", window " + form.find("window")->text() + ", token " +
                  form.find("token")->text());
}

} // namespace

int RunMessageChange(Context& context, Arguments& arguments)
{
    const std::string storeName = arguments.option("--store");
    const std::string separator = arguments.option("--separator", "/");
    const bool oneByOne = arguments.flag("--one-by-one");
    const bool complete = arguments.flag("--complete");
    const bool showEvents = arguments.flag("--events");
    const auto words = arguments.positional(2, 4, kUsage);
    const std::string& action = words[0];
    const std::set<std::string> listActions = {"delete", "recycle", "read", "unread", "unflag"};
    const bool fits = (action == "new" && words.size() == 2) ||
                      ((action == "path" || action == "edit") && words.size() == 3) ||
                      (listActions.count(action) != 0 && words.size() == 3) ||
                      ((action == "copy" || action == "move") && words.size() == 4) ||
                      (action == "flag" && (words.size() == 3 || words.size() == 4));
    if (!fits) Usage("usage: " + std::string(kUsage));
    if (separator.size() != 1) Usage("--separator takes one character");

    Session session(context.options.profile);
    StoreRow storeRow;
    Store store = OpenStore(storeName, &storeRow);
    const Bytes& storeId = storeRow.entryId;
    EventWatch events(context, store.get(), showEvents);
    FolderAtPath folder = OpenFolderAtPath(store.get(), words[1]);
    const Bytes& folderId = folder.entryId;
    Json result = Json::object();
    std::string done;

    if (action == "new") {
        if (OrviMapiMsgEditNew(0, store.get(), folder.folder.get()) != 0)
            Fail("cannot open a new message in " + Where(folder));
        done = "opened a new message's form in " + Where(folder);
        result.set("form", DescribeForm());
    } else if (action == "path" || action == "edit") {
        std::vector<Bytes> ids = MessageEntryIds(folder, words[2]);
        if (ids.size() != 1) Usage(action + " takes one message");
        const Bytes& id = ids[0];
        if (action == "edit") {
            const int32_t shown =
                OrviMapiMsgEdit(0, Size(storeId), storeId.data(), Size(id), id.data());
            if (shown != 0) Fail("cannot open the message's form");
            done = "opened the message's form";
            result.set("form", DescribeForm());
        } else {
            std::vector<char> path(2049, '\0');
            int32_t length = 0, status = -1;
            OrviMapiMsgGetFolderPath(store.get(), static_cast<uint32_t>(id.size()), id.data(),
                                     separator.c_str(), path.data(), 2048, &length, &status);
            if (status != 0) Fail("cannot find the message's folder path");
            result.set("path", std::string(path.data(), static_cast<size_t>(length)));
        }
    } else {
        std::vector<Bytes> ids = MessageEntryIds(folder, words[2]);
        EntryList list(ids);
        const std::string count = Plural(ids.size());
        if (action == "copy" || action == "move") {
            FolderAtPath target = OpenFolderAtPath(store.get(), words[3]);
            const auto run = action == "move" ? OrviMapiMsgMove : OrviMapiMsgCopy;
            if (run(Size(storeId), storeId.data(), Size(folderId), folderId.data(),
                    Size(target.entryId), target.entryId.data(), &list.list) != 0)
                Fail("cannot " + action + " the messages");
            done = (action == "move" ? "moved " : "copied ") + count + " to " + Where(target);
        } else if (action == "delete") {
            if (OrviMapiMsgDelete(Size(storeId), storeId.data(), Size(folderId), folderId.data(),
                                  &list.list) != 0)
                Fail("cannot delete the messages");
            done = "deleted " + count;
        } else if (action == "recycle") {
            const auto run = oneByOne ? OrviMapiMsgRecycle2 : OrviMapiMsgRecycle;
            if (run(Size(storeId), storeId.data(), Size(folderId), folderId.data(), &list.list) !=
                0)
                Fail("cannot recycle the messages");
            done = oneByOne ? "deleted " + count + " one at a time"
                            : "moved " + count + " to Deleted Items";
        } else if (action == "read" || action == "unread") {
            if (OrviMapiMsgSetUnread(Size(storeId), storeId.data(), Size(folderId), folderId.data(),
                                     &list.list, action == "unread" ? 1 : 0) != 0)
                Fail("cannot mark the messages " + action);
            done = "marked " + count + " " + action;
        } else {
            const int32_t state = action == "unflag" ? 0 : complete ? 1 : 2;
            const std::string text = words.size() == 4 ? words[3] : "";
            if (OrviMapiMsgSetTag(Size(storeId), storeId.data(), Size(folderId), folderId.data(),
                                  &list.list, state, text.c_str()) != 0)
                Fail("cannot change the messages' flags");
            done = (state == 0   ? "cleared the flag of "
                    : state == 1 ? "completed the flag of "
                                 : "flagged ") +
                   count;
            // The contents table does not show a flag's text: read each message back.
            Json flags = Json::array();
            for (const Bytes& id : ids) {
                Message message;
                if (OrviMapiMsgStoreGetMsgInterface(store.get(), Size(id), id.data(),
                                                    message.out()) != 0)
                    continue;
                const Json described = DescribeMessage(message.get());
                Json flag = Json::object();
                flag.set("subject", described.find("subject")->text());
                flag.set("followUpCode",
                         static_cast<int64_t>(std::stoul(described.find("followUpCode")->text())));
                flag.set("flagText", described.find("flagText")->text());
                flags.push(std::move(flag));
            }
            result.set("flags", std::move(flags));
        }
        // A change by list succeeds when any message does: show the folder as it is now.
        result.set("messages", ListMessages(folder.folder.get()));
    }

    if (!done.empty()) result.set("done", done);
    if (context.options.json) {
        if (events.on()) result.set("events", events.TakeJson());
        context.print(result.dump());
        return 0;
    }
    if (const Json* path = result.find("path")) context.print(path->text());
    if (!done.empty()) context.print(done);
    if (const Json* form = result.find("form")) PrintForm(context, *form);
    if (const Json* flags = result.find("flags"))
        for (const Json& flag : flags->elements()) {
            const std::string code = flag.find("followUpCode")->text();
            context.print("  " + flag.find("subject")->text() + ": " +
                          (code == "2"   ? "flagged"
                           : code == "1" ? "completed"
                                         : "no flag") +
                          ", \"" + flag.find("flagText")->text() + "\"");
        }
    if (events.on()) {
        context.print("notifications:");
        events.Print();
    }
    if (const Json* messages = result.find("messages")) PrintMessageList(context.out, *messages);
    return 0;
}

} // namespace orvimapi
