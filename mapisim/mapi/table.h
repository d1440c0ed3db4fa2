// IMAPITable over rows that a source produces afresh at every call, so a
// table always shows its container as it is now (rows added, changed or
// removed since the table was opened included).
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "mapisim/mapi/base.h"

namespace mapisim::mapi {

class Row {
public:
    virtual ~Row() = default;
    // The raw value with the tag's identifier (any type), or empty.
    virtual std::optional<Value> get(ULONG tag) const = 0;
    // The value get(tag) would copy, where the row keeps it as it is; null
    // where get() makes or adjusts it (or has nothing).
    virtual const Value* stored(ULONG) const { return nullptr; }
    // stored() of each tag; order lists them by identifier.
    virtual void stored_each(const ULONG* tags, const std::vector<std::uint32_t>& order,
                             const Value** out) const
    {
        for (const std::uint32_t i : order) out[i] = stored(tags[i]);
    }
    // get(tag) for a tag stored() has no value for.
    virtual std::optional<Value> get_unstored(ULONG tag) const { return get(tag); }
    // get_unstored(tag) as a table returns it, where it needs no Value of
    // its own (computed_message_out()).
    virtual Computed computed_out(ULONG, std::uint32_t, OutValue&) const { return Computed::Other; }
    std::uint64_t key = 0; // PR_INSTANCE_KEY: unique in the table, stable
};
using RowPtr = std::shared_ptr<const Row>;

// A row that is a property bag.
class BagRow final : public Row {
public:
    explicit BagRow(model::PropertyBag b, std::uint64_t k) : bag(std::move(b)) { key = k; }
    std::optional<Value> get(ULONG tag) const override
    {
        if (const Value* v = bag.find(tag)) return *v;
        return std::nullopt;
    }
    const Value* stored(ULONG tag) const override { return bag.find(tag); }
    void stored_each(const ULONG* tags, const std::vector<std::uint32_t>& order,
                     const Value** out) const override
    {
        bag.find_each(tags, order, out);
    }
    std::optional<Value> get_unstored(ULONG) const override { return std::nullopt; }
    model::PropertyBag bag;
};

struct Event;

// Which rows of a table a change of its store touches, by key; `whole`
// when more changed than single rows can say (a subtree moved).
struct RowChanges {
    std::vector<std::uint64_t> added, deleted, modified;
    bool whole = false;
    bool empty() const { return added.empty() && deleted.empty() && modified.empty() && !whole; }
};

class RowSource {
public:
    virtual ~RowSource() = default;
    // What a notification raised on `store` means for these rows; nothing
    // for a table over something else.
    virtual RowChanges changes_for(const model::Store&, const Event&) const { return {}; }
    // The rows in the container's own order; a failure (the container was
    // deleted) fails the table call.
    virtual HRESULT rows(std::vector<RowPtr>& out) = 0;
    // Columns before SetColumns.
    virtual std::vector<ULONG> columns() const = 0;
};

// A new table (one reference). flags: MAPI_UNICODE makes the default
// text columns _W.
IMAPITable* new_table(std::unique_ptr<RowSource> source, ULONG flags);

} // namespace mapisim::mapi
