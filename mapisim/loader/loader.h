// The mailbox loader: a JSON mailbox description (docs/mailbox-format.md)
// to the mailbox model, the registry and the file versions.
//
// A load builds a new world on the side and installs it, with the
// description's registry values and file versions, only when every part of
// the description is good; a failed load changes nothing. The C controls
// mapisim_load_mailbox_file/_string (mapisim.h) call this.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mapisim/model/mailbox.h"

namespace mapisim::loader {

// Loads and installs the description in text. origin names it in error
// messages (a file path), or is empty. Returns true, or false with error set
// to one line: "origin:line:column: json.path: what is wrong".
bool load_mailbox(std::string_view text, std::string_view origin, std::string& error) noexcept;
// The same for a text the loader may free once it is parsed, so that the
// text, the parsed document and the new world are never all alive at once:
// a load's peak memory stays near twice the description's size.
bool load_mailbox(std::string&& text, std::string_view origin, std::string& error) noexcept;

// The largest description a load accepts, in bytes; 0 sets the default
// (mapisim_set_mailbox_size_limit in mapisim.h).
std::uint64_t mailbox_size_limit() noexcept;
void set_mailbox_size_limit(std::uint64_t bytes) noexcept;
// The one-line error of a description above the limit.
std::string size_limit_error(std::string_view origin, std::uint64_t size);

// Builds the messages text describes (one message object, or an array of
// them, in the format of a folder's "messages") for store, in no folder yet;
// names they use are mapped in store. Returns true, or false with error set
// as load_mailbox does and out empty.
bool load_messages(std::string_view text, model::Store& store,
                   std::vector<std::shared_ptr<model::Message>>& out, std::string& error) noexcept;

// What mapisim_last_load_error reports: the last load's (or delivery's) failure.
std::string& last_error();

} // namespace mapisim::loader
