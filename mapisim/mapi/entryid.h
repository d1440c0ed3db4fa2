// Entry identifiers of the stand-in's objects.
//
// 32 opaque bytes: abFlags[4] (abFlags[0] is 0 for a long-term identifier,
// MAPI_SHORTTERM for the short-term form tables hand out), the stand-in's
// provider MAPIUID, the kind of object, then the store (or address-book
// container) number and the object number, little-endian. Both forms name
// the same object; comparisons ignore the flags.
#pragma once

#include <cstdint>
#include <optional>

#include "mapisim/decl/mapi.h"
#include "mapisim/model/value.h"

// Exported: tests and loaders turn model nodes into identifiers with it.
#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

namespace mapisim::mapi {

enum class Kind : std::uint8_t {
    Store = 1,
    Folder = 2,
    Message = 3,
    Status = 4,      // a row of the session's status table
    AbContainer = 5, // number 0 is the address book's root container
    AbEntry = 6,     // "store" is the container number
};

struct EntryId {
    Kind kind{};
    std::uint32_t store = 0;
    std::uint32_t number = 0;
    bool short_term = false;

    friend bool operator==(const EntryId& a, const EntryId& b)
    {
        return a.kind == b.kind && a.store == b.store && a.number == b.number;
    }
};

inline constexpr std::size_t kEntryIdSize = 32;

model::Bytes encode(const EntryId& id);
// encode() into kEntryIdSize bytes at out.
void encode_into(const EntryId& id, std::uint8_t* out);
model::Value entryid_value(ULONG tag, const EntryId& id);
// Empty unless the bytes are one of ours (right size, provider and kind).
std::optional<EntryId> decode(ULONG cb, const void* bytes);

// The same bytes with the short-term flag set, when they are one of ours.
model::Bytes short_term(const model::Bytes& eid);

} // namespace mapisim::mapi

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif
