// Building what MAPI hands out in its own allocations: property arrays,
// row sets, entry identifiers and texts. Every builder frees what it made
// when an allocation fails part way, so callers only see all or nothing.
#pragma once

#include <memory>
#include <string>
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
// call): nothing is copied but into the array. Or, without a value, a
// PT_ERROR value of the tag.
struct OutValue {
    const model::Value* value = nullptr;
    ULONG tag = 0; // when value is null
    SCODE scode = S_OK;

    static OutValue of(const model::Value& v) { return {&v, 0, S_OK}; }
    static OutValue error(ULONG tag, SCODE sc)
    {
        return {nullptr, CHANGE_PROP_TYPE(tag, PT_ERROR), sc};
    }
    bool is_error() const { return value ? value->is_error() : true; }
};
HRESULT make_prop_array(const std::vector<OutValue>& values, ULONG* count, SPropValue** out);

// A row set of the rows, each row's values its own allocation, as
// FreeProws expects.
HRESULT make_row_set(const std::vector<std::vector<model::Value>>& rows, SRowSet** out);
HRESULT make_row_set(const std::vector<std::vector<OutValue>>& rows, SRowSet** out);

// A tag array of the tags.
HRESULT make_tag_array(const std::vector<ULONG>& tags, SPropTagArray** out);

} // namespace mapisim::mapi
