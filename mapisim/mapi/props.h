// Properties of model objects as MAPI shows them: what the model stores,
// and what a store computes (identifiers, counts, sizes, flags).
//
// A value stored in an object's bag wins over the computed one, so a
// mailbox can pin a property or hide it with a PT_ERROR value.
#pragma once

#include <optional>
#include <vector>

#include "mapisim/decl/mapitags.h"
#include "mapisim/mapi/alloc.h"
#include "mapisim/mapi/entryid.h"
#include "mapisim/model/world.h"

namespace mapisim::mapi {

using model::Value;

// The value in the form the tag asks for: strings converted between _A and
// _W, PT_UNSPECIFIED as stored, PT_ERROR values kept as errors. Empty when
// missing or of another type.
std::optional<Value> fit(std::optional<Value> v, ULONG tag);

// Raw values by property identifier (the tag's type is not looked at).
std::optional<Value> store_prop(const model::Store& s, ULONG tag);
std::optional<Value> folder_prop(const model::Store& s, const model::Folder& f, ULONG tag);
// store may be null for a message outside any store; folder is the parent
// (for a message not yet saved, where it goes), read for PR_PARENT_ENTRYID
// only; bag is the message's (possibly unsaved) properties.
std::optional<Value> message_prop(const model::Store* s, const model::Folder* folder,
                                  const model::Message& m, const model::PropertyBag& bag,
                                  ULONG tag);

// The value of the message's bag that message_prop() gives unchanged, or
// null (PR_MESSAGE_FLAGS is always adjusted to the message).
const Value* stored_message_value(const model::PropertyBag& bag, ULONG tag);
// stored_message_value() of each tag, in one walk (PropertyBag::find_each).
void stored_message_values(const model::PropertyBag& bag, const ULONG* tags,
                           const std::vector<std::uint32_t>& order, const Value** out);
// message_prop() where stored_message_value() gave null: what the store
// computes, without looking in the bag again.
std::optional<Value> computed_message_prop(const model::Store* s, const model::Folder* folder,
                                           const model::Message& m, const model::PropertyBag& bag,
                                           ULONG tag);
// What computed_message_out() did with a tag.
enum class Computed {
    Out,     // the value is in out
    Missing, // computed_message_prop() has none: it goes out as MAPI_E_NOT_FOUND
    Other,   // computed_message_prop() and returned_value() make it
};
// Whether computed_message_prop() has anything for tag's identifier; for
// the others it has nothing (Computed::Missing) without being asked. Asked
// for every column of every row and message read, so answered from two
// 32-bit masks over the blocks the identifiers sit in.
namespace detail {
inline constexpr ULONG kComputedMessageIds[] = {
    PROP_ID(PR_MESSAGE_FLAGS),    PROP_ID(PR_ENTRYID),     PROP_ID(PR_PARENT_ENTRYID),
    PROP_ID(PR_RECORD_KEY),       PROP_ID(PR_SEARCH_KEY),  PROP_ID(PR_STORE_ENTRYID),
    PROP_ID(PR_STORE_RECORD_KEY), PROP_ID(PR_OBJECT_TYPE), PROP_ID(PR_MESSAGE_SIZE),
    PROP_ID(PR_HASATTACH),        PROP_ID(PR_ACCESS),      PROP_ID(PR_MSG_STATUS),
    PROP_ID(PR_DISPLAY_TO),       PROP_ID(PR_DISPLAY_CC),  PROP_ID(PR_DISPLAY_BCC)};
inline constexpr ULONG kComputedBlockA = 0x0E00; // flags, size, recipients ...
inline constexpr ULONG kComputedBlockB = 0x0FE0; // identifiers, keys, type, access
constexpr std::uint32_t computed_mask(ULONG block)
{
    std::uint32_t mask = 0;
    for (const ULONG id : kComputedMessageIds)
        if ((id & ~ULONG{31}) == block) mask |= std::uint32_t{1} << (id & 31);
    return mask;
}
constexpr bool computed_ids_covered()
{
    for (const ULONG id : kComputedMessageIds)
        if ((id & ~ULONG{31}) != kComputedBlockA && (id & ~ULONG{31}) != kComputedBlockB &&
            id != PROP_ID(PR_SEARCH_KEY))
            return false;
    return true;
}
static_assert(computed_ids_covered(), "a computed identifier outside the masks");
inline constexpr std::uint32_t kComputedMaskA = computed_mask(kComputedBlockA);
inline constexpr std::uint32_t kComputedMaskB = computed_mask(kComputedBlockB);
} // namespace detail

inline bool is_computed_message_prop(ULONG tag)
{
    const ULONG id = PROP_ID(tag);
    const ULONG block = id & ~ULONG{31};
    if (block == detail::kComputedBlockA) return (detail::kComputedMaskA >> (id & 31)) & 1;
    if (block == detail::kComputedBlockB) return (detail::kComputedMaskB >> (id & 31)) & 1;
    return id == PROP_ID(PR_SEARCH_KEY);
}

// The common computed_message_prop() values (identifiers, keys, flags,
// sizes, empty recipient lists) straight into out, as GetProps and tables
// return them for tag, where they go out as asked within limit bytes.
Computed computed_message_out(const model::Store* s, const model::Folder* folder,
                              const model::Message& m, const model::PropertyBag& bag, ULONG tag,
                              std::uint32_t limit, OutValue& out);

// The tags GetPropList and GetProps(NULL) report.
std::vector<ULONG> store_tags(const model::Store& s);
std::vector<ULONG> folder_tags(const model::Store& s, const model::Folder& f);
std::vector<ULONG> message_tags(const model::Store* s, const model::Folder* folder,
                                const model::Message& m, const model::PropertyBag& bag);

// Properties a caller may not set on a message or folder (MAPI_E_COMPUTED).
bool is_computed(ULONG tag);

EntryId folder_id(const model::Store& s, const model::Folder& f);
EntryId message_id(const model::Store& s, const model::Message& m);
EntryId store_id(const model::Store& s);

model::FileTime now();

} // namespace mapisim::mapi
