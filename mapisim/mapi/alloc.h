// Building what MAPI hands out in its own allocations: property arrays,
// row sets, entry identifiers and texts. Every builder frees what it made
// when an allocation fails part way, so callers only see all or nothing.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "mapisim/decl/mapi.h"
#include "mapisim/model/value.h"

namespace mapisim::mapi {

struct MapiFree {
    void operator()(void* p) const noexcept { MAPIFreeBuffer(p); }
};
template <class T>
using MapiPtr = std::unique_ptr<T, MapiFree>;

struct RowsFree {
    void operator()(SRowSet* p) const noexcept { FreeProws(p); }
};
using RowsPtr = std::unique_ptr<SRowSet, RowsFree>;

// Copies size bytes into a block chained to root (or a root block when
// root is null).
HRESULT alloc_bytes(const void* data, std::size_t size, void* root, void** out);
HRESULT alloc_text(const std::string& text, void* root, char** out);
HRESULT alloc_wide(const std::u16string& text, void* root, WCHAR** out);

// The value into out; its variable data is chained to root.
HRESULT to_mapi(const model::Value& v, void* root, SPropValue& out);

// One allocation holding the values and everything they point to (count
// may be 0: a valid empty array).
HRESULT make_prop_array(const std::vector<model::Value>& values, ULONG* count, SPropValue** out);
// A value on its way out that stays where it is (in a bag, or made for the
// call): nothing is copied but into the array. Or, without a value, one the
// OutValue carries itself: a PT_ERROR value, a number (PT_LONG, PT_BOOLEAN)
// or a few bytes (PT_BINARY, or PT_STRING8 with its terminating zero), so
// that computed identifiers and flags need no allocation of their own.
struct OutValue {
    static constexpr std::size_t kMaxBytes = 32;

    const model::Value* value = nullptr;
    ULONG tag = 0;           // when value is null; its type says what goes out
    SCODE scode = S_OK;      // PT_ERROR
    std::int32_t number = 0; // PT_LONG, PT_BOOLEAN
    std::uint32_t cb = 0;    // PT_BINARY, PT_STRING8
    std::uint8_t bytes[kMaxBytes];

    static OutValue of(const model::Value& v)
    {
        OutValue o;
        o.value = &v;
        return o;
    }
    static OutValue error(ULONG tag, SCODE sc)
    {
        OutValue o;
        o.tag = CHANGE_PROP_TYPE(tag, PT_ERROR);
        o.scode = sc;
        return o;
    }
    // As of() and error(), in place: a row of them is written value by
    // value, and a whole OutValue is larger than what these set.
    void set(const model::Value& v) { value = &v; }
    void set_error(ULONG t, SCODE sc)
    {
        value = nullptr;
        tag = CHANGE_PROP_TYPE(t, PT_ERROR);
        scode = sc;
    }
    // tag's type is PT_LONG or PT_BOOLEAN.
    static OutValue scalar(ULONG tag, std::int32_t v)
    {
        OutValue o;
        o.tag = tag;
        o.number = v;
        return o;
    }
    // tag's type is PT_BINARY or PT_STRING8; size is at most kMaxBytes.
    static OutValue inline_bytes(ULONG tag, const void* data, std::size_t size);
    bool is_error() const { return value ? value->is_error() : PROP_TYPE(tag) == PT_ERROR; }
};
HRESULT make_prop_array(const std::vector<OutValue>& values, ULONG* count, SPropValue** out);
HRESULT make_prop_array(const OutValue* values, std::size_t n, ULONG* count, SPropValue** out);

// How many of a call's working items stay off the heap: a message's column
// set fits.
inline constexpr std::size_t kScratchItems = 64;

// Room for a call's n working items: inside the object up to N of them (a
// column set, a batch of rows), on the heap beyond. Only the n items are
// constructed, value-initialized when T has no constructor of its own
// (pointers start null), default-constructed otherwise; with Construct
// false, items inside the object are left as they are, for a caller that
// writes every item before reading it (T is an aggregate: its lifetime
// begins with the storage's).
template <class T, std::size_t N, bool Construct = true>
class Scratch {
    static_assert(std::is_trivially_destructible_v<T>, "items are never destroyed");
    static_assert(Construct || std::is_aggregate_v<T>, "items must be implicit-lifetime");

public:
    explicit Scratch(std::size_t n)
    {
        if (n > N)
            heap_.resize(n);
        else if constexpr (!Construct)
            return;
        else if constexpr (std::is_trivially_default_constructible_v<T>)
            std::uninitialized_value_construct_n(local(), n);
        else
            std::uninitialized_default_construct_n(local(), n);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    T* data() { return heap_.empty() ? local() : heap_.data(); }
    T& operator[](std::size_t i) { return data()[i]; }

private:
    T* local() { return std::launder(reinterpret_cast<T*>(storage_)); }

    alignas(T) unsigned char storage_[N * sizeof(T)];
    std::vector<T> heap_;
};

// A row set of the rows, each row's values its own allocation, as
// FreeProws expects.
HRESULT make_row_set(const std::vector<std::vector<model::Value>>& rows, SRowSet** out);
HRESULT make_row_set(const std::vector<std::vector<OutValue>>& rows, SRowSet** out);
// A row set built a row at a time, each row's values their own allocation
// as FreeProws expects: the set first, then each row in turn. What was
// built goes with the builder unless released.
class RowSetBuilder {
public:
    // The set, with room for `rows` rows.
    HRESULT start(std::size_t rows);
    HRESULT add(const OutValue* values, std::size_t n);
    SRowSet* release() { return set_.release(); }

private:
    RowsPtr set_;
};

// A tag array of the tags.
HRESULT make_tag_array(const std::vector<ULONG>& tags, SPropTagArray** out);

} // namespace mapisim::mapi
