// orvimapi: the explorer and the tour, driving the OrviMapi library the way
// an application does, on the bundled sample mailbox or one of your own.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "command.h"
#include "commands.h"
#include "outlook_files.h"
#include "mapisim/mapisim.h"

namespace orvimapi {

extern const unsigned char kSampleMailbox[];
extern const std::size_t kSampleMailboxSize;

namespace {

constexpr const char* kHelp =
    "usage: orvimapi [--mailbox FILE | --pst FILE | --msg FILE...] [--profile NAME] [--json]\n"
    "                COMMAND [ARGS]\n"
    "\n"
    "Explores a mailbox through the OrviMapi library, as an application would.\n"
    "Without --mailbox the bundled sample mailbox is used.\n"
    "\n"
    "commands:\n"
    "  tour                     walk the typical road: session, stores, folders,\n"
    "                           messages, one message as HTML, and back\n"
    "  profiles                 profile names and the Outlook version code\n"
    "  stores [--all]           the stores of the profile (default store only)\n"
    "  folders [PATH]           the folder tree with type codes, counts, classes\n"
    "  messages PATH            a folder's messages\n"
    "  message PATH MSG         one message: properties, sender, recipients,\n"
    "                           attachments; --body text|rtf|html writes its body\n"
    "  folder ACTION ...        create, rename, copy, move, recycle, delete, empty;\n"
    "                           --events shows the notifications a change raised\n"
    "  msg ACTION PATH MSGS     a message's folder path; copy, move, delete,\n"
    "                           recycle, read, unread, flag, unflag, edit, new;\n"
    "                           --events as for folder\n"
    "  ab [--dialog]            the personal address book's entries, or its dialog\n"
    "  contacts [FOLDER]        contacts; contacts add ..., contacts update ENTRY ...\n"
    "  watch                    the store's notifications as they arrive, e.g.\n"
    "                           while delivering new mail (--deliver FILE --to PATH)\n"
    "\n"
    "options:\n"
    "  --mailbox FILE   load this mailbox description instead of the sample\n"
    "  --pst FILE       explore this Outlook data file (.pst) as the default store\n"
    "  --msg FILE...    explore these Outlook messages (.msg), the Inbox's messages\n"
    "  --profile NAME   log on to this profile (default: the registry's default)\n"
    "  --store NAME     (folder and message commands) the store to use\n"
    "  --json           machine-readable output\n"
    "  --help           this text; COMMAND --help for a command's own\n"
    "\n"
    "A folder PATH names folders from the top of the store: Inbox/Projects.\n"
    "A message MSG is its position in `messages PATH` (from 1) or its entry\n"
    "identifier in hex.\n";

// A file of the user's is the loader's to read: it refuses what is no
// regular file or too large, and names the file in its one-line error.
void LoadMailbox(const Options& options)
{
    if (LoadOutlookFiles(options)) return;
    if (!options.mailboxPath.empty()) {
        if (mapisim_load_mailbox_file(options.mailboxPath.c_str()) != 0)
            throw CommandFailure(mapisim_last_load_error(), 2);
        return;
    }
    const std::string text(reinterpret_cast<const char*>(kSampleMailbox), kSampleMailboxSize);
    if (mapisim_load_mailbox_string(text.c_str()) != 0)
        throw CommandFailure(std::string("the sample mailbox: ") + mapisim_last_load_error(), 2);
}

int Run(int argc, char** argv)
{
    Context context;
    std::vector<std::string> words;
    std::string commandName;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (commandName.empty() && (word == "--help" || word == "-h")) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (commandName.empty() && TakeOutlookFileOption(argc, argv, i, context.options)) {
            continue;
        } else if (commandName.empty() && (word == "--mailbox" || word == "--profile")) {
            if (i + 1 >= argc) Usage(word + " needs a value");
            (word == "--mailbox" ? context.options.mailboxPath : context.options.profile) =
                argv[++i];
            // An empty name would quietly mean the bundled sample.
            if (word == "--mailbox" && context.options.mailboxPath.empty())
                Usage("--mailbox expects a file name, not \"\"");
        } else if (word == "--json") {
            context.options.json = true;
        } else if (commandName.empty() && word.compare(0, 2, "--") == 0) {
            Usage("unknown option " + word + " (see orvimapi --help)");
        } else if (commandName.empty()) {
            commandName = word;
        } else {
            words.push_back(word);
        }
    }
    if (commandName.empty()) {
        std::fputs(kHelp, stderr);
        return 2;
    }
    const CommandInfo* command = FindCommand(commandName);
    if (command == nullptr) Usage("unknown command " + commandName + " (see orvimapi --help)");
    for (const std::string& word : words)
        if (word == "--help" || word == "-h") {
            std::printf("usage: orvimapi %s\n\n%s\n", command->usage, command->help);
            return 0;
        }

    LoadMailbox(context.options);
    Arguments arguments(words);
    return command->run(context, arguments);
}

} // namespace
} // namespace orvimapi

int main(int argc, char** argv)
{
    try {
        return orvimapi::Run(argc, argv);
    } catch (const orvimapi::CommandFailure& failure) {
        std::fprintf(stderr, "orvimapi: %s\n", failure.what());
        return failure.status();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "orvimapi: %s\n", error.what());
        return 1;
    }
}
