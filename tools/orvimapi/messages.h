// Messages of a folder and one message's details, as the command shows them.
#pragma once

#include <string>
#include <vector>

#include "json.h"
#include "library.h"

namespace orvimapi {

// "2026-11-30 09:15" (UTC), or "" for an all-zero time.
std::string TimeText(const OrviMapiSystemTime& time);

// The folder's messages in the table's order, read in batches; each as the
// contents record's fields. `batches` receives the size of each batch read.
Json ListMessages(OrviMapiFolder folder, std::vector<int>* batches = nullptr);

// A message named by position in ListMessages (from 1) or by entry
// identifier in hex; a usage error when it names none. folderPath names the
// folder in messages.
Bytes MessageEntryId(OrviMapiFolder folder, const std::string& folderPath,
                     const std::string& reference);

// An entry identifier that names no message in the folder is a usage error.
Message OpenMessage(OrviMapiFolder folder, const Bytes& entryId,
                    const std::string& folderPath = {});

// The properties record, sender, "from", recipients and attachments.
Json DescribeMessage(OrviMapiMessage message);

// One-line summaries for the human output.
void PrintMessageList(FILE* out, const Json& messages);
void PrintMessage(FILE* out, const Json& message);

} // namespace orvimapi
