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
    {"message", "message PATH MSG [--store NAME] [--body text|rtf|html] [--attachment N] [--out FILE]",
     "One message, MSG being its position in `messages PATH` or its entry\n"
     "identifier in hex: its properties, sender, recipients and attachments.\n"
     "--body writes the body raw (RTF decompressed; HTML extracted from the RTF,\n"
     "else the HTML body) to standard output or --out FILE; --attachment N saves\n"
     "attachment number N (an attached message as JSON).",
     RunMessage},
    {"folder", "folder ACTION ... [--store NAME]",
     "Changes the folder tree, then shows it:\n"
     "  folder create PATH NAME    a new folder NAME in PATH (a taken name gets\n"
     "                             a number: NAME1, NAME2 ...)\n"
     "  folder rename PATH NAME\n"
     "  folder copy PATH TO        copy PATH with its subfolders into TO\n"
     "  folder move PATH TO\n"
     "  folder recycle PATH        move PATH into Deleted Items\n"
     "  folder delete PATH         delete PATH with everything in it\n"
     "  folder empty PATH          delete PATH's messages and subfolders\n"
     "The stand-in keeps the mailbox in memory: changes last for the run.",
     RunFolderChange},
};

}  // namespace

const CommandInfo* FindCommand(const std::string& name)
{
    for (const CommandInfo& command : kCommands)
        if (name == command.name) return &command;
    return nullptr;
}

}  // namespace orvimapi
