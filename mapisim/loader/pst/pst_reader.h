// Personal folders files (.pst) as stores of the mailbox model, over libpff.
//
// Opening reads the store's properties and its folder tree; each folder
// gets a message source (model::MessageSource) that reads its messages,
// with their recipients and attachments, the first time they are asked
// for. The file stays open while any folder of the store may still read
// from it.
//
//   auto store = open_pst(profile, "archive.pst");   // throws PstError
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "mapisim/model/world.h"

#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

namespace mapisim::loader::pst {

// One line: "path: place: what is wrong".
struct PstError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Adds the PST at path to profile as a "Personal Folders" store and
// returns it. Nothing is added when it throws.
std::shared_ptr<model::Store> open_pst(model::Profile& profile, const std::string& path);

} // namespace mapisim::loader::pst

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif
