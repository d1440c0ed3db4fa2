// The subcommands.
#pragma once

#include "command.h"

namespace orvimapi {

struct CommandInfo {
    const char* name;
    const char* usage;
    const char* help;
    int (*run)(Context& context, Arguments& arguments);
};

const CommandInfo* FindCommand(const std::string& name);

int RunTour(Context& context, Arguments& arguments);
int RunProfiles(Context& context, Arguments& arguments);
int RunStores(Context& context, Arguments& arguments);
int RunFolders(Context& context, Arguments& arguments);
int RunMessages(Context& context, Arguments& arguments);
int RunMessage(Context& context, Arguments& arguments);
int RunFolderChange(Context& context, Arguments& arguments);
int RunMessageChange(Context& context, Arguments& arguments);
int RunAddressBook(Context& context, Arguments& arguments);
int RunContacts(Context& context, Arguments& arguments);
int RunWatch(Context& context, Arguments& arguments);

} // namespace orvimapi
