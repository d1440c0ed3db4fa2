// A strict JSON reader (RFC 8259) for mailbox descriptions.
//
// Strict: no comments, no trailing commas, no NaN or hex numbers, no
// duplicate member names, valid UTF-8 only (no overlong forms, no encoded
// surrogates), control characters escaped, \u escapes with surrogate pairs
// paired. A leading UTF-8 byte-order mark is skipped, since editors on
// Windows like to write one.
//
// Every value remembers where it starts (line and column, both from 1;
// columns count characters, not bytes) so that the loader can name the
// place of a value it rejects. Nothing is thrown out of parse().
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// libmapisim hides symbols by default; the reader is also for tests and
// fuzzers.
#if defined(__GNUC__)
#define MAPISIM_JSON_API __attribute__((visibility("default")))
#else
#define MAPISIM_JSON_API
#endif

namespace mapisim::json {

struct Pos {
    std::uint32_t line = 1;
    std::uint32_t column = 1;
};

enum class Type { Null, Bool, Number, String, Array, Object };

class MAPISIM_JSON_API Value {
public:
    using Member = std::pair<std::string, Value>;

    Type type() const noexcept { return type_; }
    Pos pos() const noexcept { return pos_; }

    bool is_null() const noexcept { return type_ == Type::Null; }
    bool is_bool() const noexcept { return type_ == Type::Bool; }
    bool is_number() const noexcept { return type_ == Type::Number; }
    bool is_string() const noexcept { return type_ == Type::String; }
    bool is_array() const noexcept { return type_ == Type::Array; }
    bool is_object() const noexcept { return type_ == Type::Object; }

    bool boolean() const noexcept { return bool_; }
    // A string's text (UTF-8, may hold NUL bytes), or a number's text as
    // written in the source.
    const std::string& text() const noexcept { return text_; }
    const std::vector<Value>& items() const noexcept { return items_; }
    // In source order; names are unique.
    const std::vector<Member>& members() const noexcept { return members_; }
    // The member of that name, or null.
    const Value* find(std::string_view name) const noexcept;

    // A number written without fraction or exponent, within range.
    bool to_int64(std::int64_t& out) const noexcept;
    bool to_uint64(std::uint64_t& out) const noexcept;
    // Any number; false when it overflows a double.
    bool to_double(double& out) const noexcept;

private:
    friend class Parser;
    Type type_ = Type::Null;
    Pos pos_;
    bool bool_ = false;
    std::string text_;
    std::vector<Value> items_;
    std::vector<Member> members_;
};

struct Error {
    Pos pos;
    std::string path;    // where in the document, e.g. stores[1].folders
    std::string message; // e.g. "expected ',' or '}'"
};

struct Options {
    // Arrays and objects nested deeper than this are refused, which keeps
    // recursion bounded whatever the input.
    std::uint32_t max_depth = 200;
};

// Parses one JSON document (whitespace around it allowed). On failure,
// returns false, fills err and leaves out unchanged.
MAPISIM_JSON_API bool parse(std::string_view text, Value& out, Error& err,
                            const Options& options = {});

// A path step appended to a JSON path: ".name" for plain identifiers,
// "[\"odd name\"]" otherwise; and "[i]" for an array index. A leading
// "." is dropped when the path is empty.
MAPISIM_JSON_API void append_member(std::string& path, std::string_view name);
MAPISIM_JSON_API void append_index(std::string& path, std::size_t index);

} // namespace mapisim::json
