// Outlook message files (.msg) to messages of the mailbox model.
//
// A .msg file is a compound file: the message's properties in the stream
// "__properties_version1.0" (fixed-size values inline, the others in
// "__substg1.0_TTTTYYYY" streams), one storage per recipient
// ("__recip_version1.0_#N") and per attachment ("__attach_version1.0_#N"),
// an attached message as a storage inside its attachment, and the file's
// named properties in "__nameid_version1.0". Named properties are mapped
// through the store's named-property map, so the store's GetNamesFromIDs
// finds them under the store's own identifiers.
//
//   auto msg = read_msg_file("mail.msg", store);   // throws MsgError
//   store.attach_message(inbox, msg);
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "mapisim/model/mailbox.h"

#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

namespace mapisim::loader::msg {

// One line: "origin: place: what is wrong", place being a storage or
// stream path inside the file.
struct MsgError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The message in the file at path. Named properties it uses are added to
// store's map even when reading fails later: read into a store that is not
// yet installed.
std::shared_ptr<model::Message> read_msg_file(const std::string& path, model::Store& store);
// The same for a file's bytes; origin names them in errors.
std::shared_ptr<model::Message> read_msg_bytes(const void* data, std::size_t size,
                                               std::string_view origin, model::Store& store);

} // namespace mapisim::loader::msg

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif
