// Property values and property bags of the mailbox model.
//
// A Value owns its data (no pointers into MAPI allocations) and carries its
// full property tag; the tag's type decides which alternative it holds:
//
//   PT_I2 int16_t        PT_LONG int32_t       PT_BOOLEAN bool
//   PT_I8 int64_t        PT_DOUBLE double      PT_SYSTIME FileTime
//   PT_STRING8 std::string (8-bit, code page 1252)
//   PT_UNICODE std::u16string                   PT_BINARY Bytes
//   PT_CLSID GUID        PT_MV_STRING8 std::vector<std::string>
//   PT_MV_LONG std::vector<int32_t>             PT_MV_BINARY std::vector<Bytes>
//   PT_ERROR ErrorCode (an SCODE)
//
// Build values with the named constructors (Value::string8(tag, "x") ...);
// each forces the type part of the tag, so Value::string8(PR_SUBJECT_W, ..)
// gives a PT_STRING8 value. A PropertyBag keeps at most one value per
// property identifier, as MAPI objects do.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "mapisim/decl/mapi.h"

// Exported from libmapisim for the loader's users and the tests.
#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

namespace mapisim::model {

using Bytes = std::vector<std::uint8_t>;

// A FILETIME as one number: 100-ns intervals since 1601-01-01 UTC.
struct FileTime {
    std::uint64_t ticks = 0;
    friend bool operator==(FileTime, FileTime) = default;
};

struct ErrorCode {
    SCODE scode = MAPI_E_NOT_FOUND;
    friend bool operator==(ErrorCode, ErrorCode) = default;
};

class Value {
public:
    using Data =
        std::variant<std::monostate, std::int16_t, std::int32_t, bool, std::int64_t, double,
                     FileTime, std::string, std::u16string, Bytes, GUID, std::vector<std::string>,
                     std::vector<std::int32_t>, std::vector<Bytes>, ErrorCode>;

    Value() = default; // PR_NULL, holds nothing

    static Value i2(ULONG tag, std::int16_t v);
    static Value i4(ULONG tag, std::int32_t v); // PT_LONG
    static Value boolean(ULONG tag, bool v);
    static Value i8(ULONG tag, std::int64_t v);
    static Value dbl(ULONG tag, double v);
    static Value systime(ULONG tag, FileTime v);
    static Value string8(ULONG tag, std::string v);
    static Value unicode(ULONG tag, std::u16string v);
    static Value binary(ULONG tag, Bytes v);
    static Value binary(ULONG tag, const void* data, std::size_t size);
    static Value clsid(ULONG tag, const GUID& v);
    static Value mv_string8(ULONG tag, std::vector<std::string> v);
    static Value mv_long(ULONG tag, std::vector<std::int32_t> v);
    static Value mv_binary(ULONG tag, std::vector<Bytes> v);
    static Value error(ULONG tag, SCODE sc); // the tag's type becomes PT_ERROR

    // A copy of a MAPI value. Empty when the type is not one of the above
    // or the value is malformed (a null string, a null array with items).
    static std::optional<Value> from_mapi(const SPropValue& v);

    ULONG tag() const noexcept { return tag_; }
    ULONG type() const noexcept { return PROP_TYPE(tag_); }
    ULONG id() const noexcept { return PROP_ID(tag_); }
    const Data& data() const noexcept { return data_; }

    // Typed access; nullptr when the value holds another type.
    template <class T>
    const T* get() const noexcept
    {
        return std::get_if<T>(&data_);
    }

    // The held T moved out, for a value about to be dropped; empty when the
    // value holds another type.
    template <class T>
    std::optional<T> take() &&
    {
        if (T* p = std::get_if<T>(&data_)) return std::move(*p);
        return std::nullopt;
    }

    bool is_error() const noexcept { return type() == PT_ERROR; }

    // Bytes the value occupies as MAPI returns it: text with its terminator
    // (2 bytes per character for PT_UNICODE), binary data, the items of a
    // multi-valued property; 0 for fixed-size types.
    std::size_t payload_size() const;

    // The same data under another property identifier (the type stays).
    Value with_id(ULONG id) const { return Value(PROP_TAG(type(), id), data_); }

    // The same property in the other string type (PT_STRING8 <-> PT_UNICODE,
    // also for the MV_STRING8 form); a copy for any other type.
    Value converted(ULONG wanted_type) const;

    friend bool operator==(const Value&, const Value&) = default;

private:
    Value(ULONG tag, Data d) : tag_(tag), data_(std::move(d)) {}
    ULONG tag_ = PR_NULL;
    Data data_;
};

// A counter that every change of the model moves on: bag edits, tree
// edits through Store, recipients and attachments added through Message,
// install(). Tables use it to know when to look again; code that changes
// the model by other means (assigning a vector) calls touch().
std::uint64_t generation() noexcept;
void touch() noexcept;

// Values keyed by property identifier, in identifier order. Copies share
// their values until one of them changes (opening a message copies its bag,
// and most opens only read). The values sit side by side in one block:
// reading a message's few dozen properties then touches a few cache lines
// rather than a tree of scattered nodes. A change may move them, so a
// pointer from find() lasts until the bag changes.
class PropertyBag {
public:
    PropertyBag() = default;
    PropertyBag(const PropertyBag&) = default;
    PropertyBag(PropertyBag&&) noexcept = default;
    PropertyBag& operator=(const PropertyBag& o)
    {
        values_ = o.values_;
        touch();
        return *this;
    }
    PropertyBag& operator=(PropertyBag&& o) noexcept
    {
        values_ = std::move(o.values_);
        touch();
        return *this;
    }

    // Adds or replaces the value with the same property identifier.
    void set(Value v);
    // As set(), for a bag being built that the model does not hold (a table
    // row made on the fly): the generation stays, so tables watching the
    // model do not look again and folder counts stay counted.
    void set_unwatched(Value v);
    // The value with the tag's identifier, whatever its type; nullptr if none.
    const Value* find(ULONG tag) const noexcept
    {
        if (!values_) return nullptr;
        const ULONG id = PROP_ID(tag);
        const Map::value_type* at = position(*values_, id);
        return at != values_->data() + values_->size() && at->first == id ? &at->second : nullptr;
    }
    // The value converted to the tag's type when that is PT_STRING8/PT_UNICODE
    // and the stored one is the other form; PT_UNSPECIFIED takes the stored
    // type. Empty when missing or of a type that does not convert.
    std::optional<Value> get(ULONG tag) const;
    // The value with the tag's identifier, held: while the result lives the
    // value stays as it is, since a change of this bag or of any copy of it
    // then works on a copy of the values. nullptr if none.
    std::shared_ptr<const Value> share(ULONG tag) const;
    bool erase(ULONG tag); // by identifier; false when it was not there
    bool contains(ULONG tag) const { return find(tag) != nullptr; }
    std::size_t size() const noexcept { return map().size(); }
    bool empty() const noexcept { return map().empty(); }
    void clear() noexcept
    {
        values_.reset();
        touch();
    }

    // The values of many tags in one walk over the bag: out[i] is find() of
    // tags[i]. order lists the positions of tags by identifier (sort_by_id);
    // a walk in step costs far less than a search for each tag.
    static std::vector<std::uint32_t> sort_by_id(const ULONG* tags, std::size_t n);
    // A tag whose identifier is skip_id finds nothing (kNoId: none is skipped).
    static constexpr ULONG kNoId = 0x10000;
    void find_each(const ULONG* tags, const std::vector<std::uint32_t>& order, const Value** out,
                   ULONG skip_id = kNoId) const noexcept;

    // Convenience readers: empty when missing or of another type. text()
    // accepts either string form.
    std::optional<std::string> text(ULONG tag) const;
    std::optional<std::int32_t> i4(ULONG tag) const;
    std::optional<bool> boolean(ULONG tag) const;

    auto begin() const { return map().begin(); } // pairs of (id, Value)
    auto end() const { return map().end(); }

    friend bool operator==(const PropertyBag& a, const PropertyBag& b)
    {
        return a.values_ == b.values_ || a.map() == b.map();
    }

private:
    using Map = std::vector<std::pair<ULONG, Value>>; // sorted by identifier
    const Map& map() const noexcept;
    // Where the identifier is or would go.
    static const Map::value_type* position(const Map& values, ULONG id) noexcept
    {
        return std::lower_bound(values.data(), values.data() + values.size(), id,
                                [](const Map::value_type& v, ULONG key) { return v.first < key; });
    }
    Map& own();                   // the values, no longer shared with any copy
    std::shared_ptr<Map> values_; // null: no values
};

// A named property: a property set and either a numeric LID (MNID_ID) or
// a name (MNID_STRING, 16-bit characters, compared exactly).
struct NamedId {
    GUID guid{};
    ULONG kind = MNID_ID;
    LONG lid = 0;
    std::u16string name;

    static NamedId by_lid(const GUID& set, LONG lid) { return {set, MNID_ID, lid, {}}; }
    static NamedId by_name(const GUID& set, std::u16string n)
    {
        return {set, MNID_STRING, 0, std::move(n)};
    }
    friend bool operator==(const NamedId& a, const NamedId& b)
    {
        return a.guid == b.guid && a.kind == b.kind &&
               (a.kind == MNID_ID ? a.lid == b.lid : a.name == b.name);
    }
};

// A store's mapping of named properties to its own identifiers, which it
// hands out from 0x8000 upwards in the order names are first seen.
class NameMap {
public:
    // The identifier of the name, taking the next free one if it is new;
    // 0 when all 0x8000..0xFFFE are taken.
    ULONG id_of(const NamedId& name);
    // The identifier if the name is known, else empty.
    std::optional<ULONG> find(const NamedId& name) const;
    // The name behind an identifier, or nullptr.
    const NamedId* name_of(ULONG id) const;
    // Every (identifier, name), in the order they were mapped.
    const std::vector<std::pair<ULONG, NamedId>>& entries() const noexcept { return entries_; }

private:
    std::vector<std::pair<ULONG, NamedId>> entries_;
};

// Published property sets used with named properties.
inline constexpr GUID PS_PUBLIC_STRINGS = {
    0x00020329, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID PS_MAPI = {
    0x00020328, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID PSETID_Common = {
    0x00062008, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID PSETID_Address = {
    0x00062004, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID PSETID_Task = {
    0x00062003, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID PSETID_Appointment = {
    0x00062002, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

} // namespace mapisim::model

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif
