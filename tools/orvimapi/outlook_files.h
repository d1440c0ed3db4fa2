// --pst and --msg: the command on real Outlook files instead of a mailbox
// description, read by the stand-in's own readers.
#pragma once

#include "command.h"

namespace orvimapi {

// Takes "--pst FILE" or "--msg FILE..." at argv[i] into options, moving i
// to the last word taken; false when argv[i] is neither.
bool TakeOutlookFileOption(int argc, char** argv, int& i, Options& options);

// Loads the files the options name; false when they name none.
bool LoadOutlookFiles(const Options& options);

} // namespace orvimapi
