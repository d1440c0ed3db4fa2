#include "commands.h"

namespace orvimapi {

namespace {

const CommandInfo kCommands[] = {
    {"tour", "tour",
     "Walks the road of one typical request on the default store: start the\n"
     "session, list the stores, open the default one, walk its top-level\n"
     "folders, read the Inbox's messages in batches, open one message, read its\n"
     "properties, sender and recipients, show its body as HTML extracted from\n"
     "its compressed RTF, release everything and stop.",
     RunTour},
    {"profiles", "profiles",
     "The registry's default profile, MAPI's default profile, the profile a\n"
     "session logs on to, and the installed Outlook's version code.",
     RunProfiles},
    {"stores", "stores [--all]",
     "The stores of the profile: the default store, or with --all every store\n"
     "the library lists. Entry identifiers are shown in hex.",
     RunStores},
    {"folders", "folders [PATH] [--store NAME] [--depth N]",
     "The folder tree below PATH (default: the top of the store): each folder's\n"
     "name, type code and kind, item count and container class. --depth 1\n"
     "shows one level.",
     RunFolders},
    {"messages", "messages PATH [--store NAME]",
     "A folder's messages in the store's order, read in batches: position,\n"
     "delivery time (UTC), sender, subject; * marks unread ones.",
     RunMessages},
    {"message",
     "message PATH MSG [--store NAME] [--body text|rtf|html] [--attachment N] [--out FILE]",
     "One message, MSG being its position in `messages PATH` or its entry\n"
     "identifier in hex: its properties, sender, recipients and attachments.\n"
     "--body writes the body raw (RTF decompressed; HTML extracted from the RTF,\n"
     "else the HTML body) to standard output or --out FILE; --attachment N saves\n"
     "attachment number N (an attached message as JSON).",
     RunMessage},
    {"folder", "folder ACTION ... [--store NAME] [--events]",
     "Changes the folder tree, then shows it:\n"
     "  folder create PATH NAME    a new folder NAME in PATH (a taken name gets\n"
     "                             a number: NAME1, NAME2 ...)\n"
     "  folder rename PATH NAME\n"
     "  folder copy PATH TO        copy PATH with its subfolders into TO\n"
     "  folder move PATH TO\n"
     "  folder recycle PATH        move PATH into Deleted Items\n"
     "  folder delete PATH         delete PATH with everything in it\n"
     "  folder empty PATH          delete PATH's messages and subfolders\n"
     "--events also shows the notifications the change raised.\n"
     "The stand-in keeps the mailbox in memory: changes last for the run.",
     RunFolderChange},
    {"msg", "msg ACTION PATH MSGS ... [--store NAME] [--events]",
     "A message's folder path, and changes to messages (then the folder's messages):\n"
     "  msg path PATH MSG [--separator C]   the folder path of the message, as\n"
     "                                      the store's name and the folders below\n"
     "                                      the top (separator / by default)\n"
     "  msg copy PATH MSGS TO               copy the messages into folder TO\n"
     "  msg move PATH MSGS TO\n"
     "  msg delete PATH MSGS\n"
     "  msg recycle PATH MSGS               move them to Deleted Items; with\n"
     "                                      --one-by-one delete them one at a time\n"
     "  msg read PATH MSGS, msg unread PATH MSGS\n"
     "  msg flag PATH MSGS [TEXT]           flag for follow-up (--complete: done)\n"
     "  msg unflag PATH MSGS\n"
     "  msg edit PATH MSG                   open the message in the client's form\n"
     "  msg new PATH                        open a blank note's form in PATH\n"
     "MSGS lists positions in `messages PATH` and ranges, or entry identifiers in\n"
     "hex, separated by commas: 1,3-5. edit and new show what the stand-in's form\n"
     "was given. Changes last for the run. --events also shows the notifications\n"
     "the change raised.",
     RunMessageChange},
    {"ab", "ab [--dialog]",
     "The personal address book's entries, a line each: display name, e-mail\n"
     "address, company (--json: every field of the record by name). --dialog\n"
     "opens the address-book dialog instead and shows what it was called with.",
     RunAddressBook},
    {"contacts", "contacts [FOLDER] | add ... | update ENTRY ... [--folder FOLDER] [--store NAME]",
     "The contacts of the store's contacts folder, or of FOLDER, sorted by\n"
     "display name:\n"
     "  contacts [FOLDER]\n"
     "  contacts add --name N [--subject S] [--email TYPE:ADDRESS]...\n"
     "                             a new contact (up to three e-mail entries)\n"
     "  contacts update ENTRY --email TYPE:ADDRESS...\n"
     "                             new e-mail entries 1, 2 ... for the contact\n"
     "                             ENTRY (its position in the listing, from 1,\n"
     "                             or its entry identifier in hex)\n"
     "add and update show the contact afterwards; --folder names the folder.\n"
     "The stand-in keeps the mailbox in memory: changes last for the run.",
     RunContacts},
    {"watch", "watch [--store NAME] [--deliver FILE [--to PATH]] [--thread]",
     "Listens to the store's notifications and shows each as it arrives, one\n"
     "line each (--json: one JSON object a line): event, kind, the object's name\n"
     "or subject (its entry identifier in hex once it is gone) and its folder.\n"
     "--deliver FILE delivers the messages of FILE (one message of the mailbox\n"
     "format, or an array of them) as new mail into PATH (default: the receive\n"
     "folder of each message's class). --thread has the stand-in call back on\n"
     "a notification thread of its own, as MAPI does.",
     RunWatch},
};

} // namespace

const CommandInfo* FindCommand(const std::string& name)
{
    for (const CommandInfo& command : kCommands)
        if (name == command.name) return &command;
    return nullptr;
}

} // namespace orvimapi
