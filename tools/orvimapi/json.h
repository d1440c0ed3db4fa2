// A small JSON value for the command's machine-readable output.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace orvimapi {

class Json {
public:
    using Array = std::vector<Json>;
    // Members keep the order in which they were added.
    using Object = std::vector<std::pair<std::string, Json>>;

    Json() : value_(nullptr) {}
    Json(std::nullptr_t) : value_(nullptr) {}
    Json(bool value) : value_(value) {}
    Json(int value) : value_(static_cast<int64_t>(value)) {}
    Json(int64_t value) : value_(value) {}
    Json(uint32_t value) : value_(static_cast<int64_t>(value)) {}
    Json(const char* value) : value_(std::string(value)) {}
    Json(std::string value) : value_(std::move(value)) {}
    Json(Array value) : value_(std::move(value)) {}
    Json(Object value) : value_(std::move(value)) {}

    static Json object() { return Json(Object{}); }
    static Json array() { return Json(Array{}); }

    // Adds a member to an object, or an element to an array.
    Json& set(const std::string& key, Json value);
    Json& push(Json value);

    const Json* find(const std::string& key) const;
    bool isArray() const { return std::holds_alternative<Array>(value_); }
    const Array& elements() const { return std::get<Array>(value_); }
    std::string text() const; // a string's value, or the JSON of anything else

    // Compact JSON (one line) or indented by two spaces per level.
    std::string dump(bool pretty = true) const;

private:
    void write(std::string& out, bool pretty, int depth) const;

    std::variant<std::nullptr_t, bool, int64_t, std::string, Array, Object> value_;
};

// JSON text of an 8-bit string. Bytes that do not form valid UTF-8 are
// taken as Windows-1252 (the charset of the mailbox's 8-bit texts).
std::string JsonQuote(const std::string& text);

} // namespace orvimapi
