#include "mapisim/loader/json.h"

#include <algorithm>
#include <charconv>
#include <new>

namespace mapisim::json {

const Value* Value::find(std::string_view name) const noexcept
{
    for (const Member& m : members_)
        if (m.first == name) return &m.second;
    return nullptr;
}

bool Value::to_int64(std::int64_t& out) const noexcept
{
    if (type_ != Type::Number || text_.find_first_of(".eE") != std::string::npos) return false;
    const char* b = text_.data();
    const char* e = b + text_.size();
    auto [ptr, ec] = std::from_chars(b, e, out);
    return ec == std::errc() && ptr == e;
}

bool Value::to_uint64(std::uint64_t& out) const noexcept
{
    if (type_ != Type::Number || text_.empty() || text_[0] == '-' ||
        text_.find_first_of(".eE") != std::string::npos)
        return false;
    const char* b = text_.data();
    const char* e = b + text_.size();
    auto [ptr, ec] = std::from_chars(b, e, out);
    return ec == std::errc() && ptr == e;
}

bool Value::to_double(double& out) const noexcept
{
    if (type_ != Type::Number) return false;
    const char* b = text_.data();
    const char* e = b + text_.size();
    auto [ptr, ec] = std::from_chars(b, e, out);
    return ec == std::errc() && ptr == e;
}

namespace {

bool is_identifier(std::string_view s) noexcept
{
    if (s.empty()) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        const bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        const bool digit = c >= '0' && c <= '9';
        if (!(alpha || (digit && i > 0))) return false;
    }
    return true;
}

} // namespace

void append_member(std::string& path, std::string_view name)
{
    if (is_identifier(name)) {
        if (!path.empty()) path += '.';
        path += name;
        return;
    }
    path += "[\"";
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            path += '\\';
            path += c;
        } else if (u < 0x20) {
            static const char kHex[] = "0123456789abcdef";
            path += "\\u00";
            path += kHex[u >> 4];
            path += kHex[u & 15];
        } else {
            path += c;
        }
    }
    path += "\"]";
}

void append_index(std::string& path, std::size_t index)
{
    path += '[';
    path += std::to_string(index);
    path += ']';
}

class Parser {
public:
    Parser(std::string_view text, const Options& options)
        : p_(text.data()), end_(text.data() + text.size()), max_depth_(options.max_depth)
    {}

    bool run(Value& out, Error& err)
    {
        try {
            if (end_ - p_ >= 3 && static_cast<unsigned char>(p_[0]) == 0xEF &&
                static_cast<unsigned char>(p_[1]) == 0xBB &&
                static_cast<unsigned char>(p_[2]) == 0xBF)
                p_ += 3;
            Value v;
            skip_space();
            if (!value(v)) return report(err);
            skip_space();
            if (p_ != end_) {
                fail("unexpected text after the end of the document");
                return report(err);
            }
            out = std::move(v);
            return true;
        } catch (const std::bad_alloc&) {
            if (!failed_) fail("out of memory");
            return report(err);
        }
    }

private:
    struct Step {
        bool is_index;
        std::size_t index;
        std::string name;
        bool named = false; // false while an object's member name is being read
    };

    bool report(Error& err)
    {
        err = std::move(error_);
        return false;
    }

    bool fail(const char* message) { return fail_at(here(), message); }

    bool fail_at(Pos pos, std::string message)
    {
        if (failed_) return false;
        failed_ = true;
        error_.pos = pos;
        error_.message = std::move(message);
        error_.path.clear();
        for (const Step& s : path_) {
            if (s.is_index)
                append_index(error_.path, s.index);
            else if (s.named)
                append_member(error_.path, s.name);
        }
        return false;
    }

    Pos here() const noexcept { return Pos{line_, column_}; }

    // Moves past one byte, keeping line and column: a column is one
    // character, so UTF-8 continuation bytes do not count.
    void advance() noexcept
    {
        const auto b = static_cast<unsigned char>(*p_++);
        if (b == '\n') {
            ++line_;
            column_ = 1;
        } else if ((b & 0xC0) != 0x80) {
            ++column_;
        }
    }

    void skip_space() noexcept
    {
        while (p_ != end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) advance();
    }

    bool value(Value& v)
    {
        if (p_ == end_) return fail("unexpected end of input, expected a value");
        v.pos_ = here();
        switch (*p_) {
            case '{':
                return object(v);
            case '[':
                return array(v);
            case '"':
                v.type_ = Type::String;
                return string(v.text_);
            case 't':
                return literal(v, "true", Type::Bool, true);
            case 'f':
                return literal(v, "false", Type::Bool, false);
            case 'n':
                return literal(v, "null", Type::Null, false);
            default:
                if (*p_ == '-' || (*p_ >= '0' && *p_ <= '9')) return number(v);
                if (*p_ == '\'') return fail("strings are written in double quotes");
                if (*p_ == '/') return fail("comments are not allowed in JSON");
                return fail("expected a value");
        }
    }

    bool literal(Value& v, std::string_view word, Type type, bool b)
    {
        if (static_cast<std::size_t>(end_ - p_) < word.size() ||
            std::string_view(p_, word.size()) != word)
            return fail("expected a value");
        for (std::size_t i = 0; i < word.size(); ++i) advance();
        if (p_ != end_ && ((*p_ >= 'a' && *p_ <= 'z') || (*p_ >= 'A' && *p_ <= 'Z')))
            return fail("expected a value");
        v.type_ = type;
        v.bool_ = b;
        return true;
    }

    bool digits()
    {
        if (p_ == end_ || *p_ < '0' || *p_ > '9') return fail("expected a digit");
        while (p_ != end_ && *p_ >= '0' && *p_ <= '9') advance();
        return true;
    }

    bool number(Value& v)
    {
        const char* start = p_;
        if (*p_ == '-') advance();
        if (p_ != end_ && *p_ == '0') {
            advance();
            if (p_ != end_ && *p_ >= '0' && *p_ <= '9')
                return fail(
                    "numbers do not start with 0 (write hexadecimal as a \"0x...\" string)");
            if (p_ != end_ && (*p_ == 'x' || *p_ == 'X'))
                return fail("hexadecimal numbers are written as \"0x...\" strings");
        } else if (!digits()) {
            return false;
        }
        if (p_ != end_ && *p_ == '.') {
            advance();
            if (!digits()) return false;
        }
        if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
            advance();
            if (p_ != end_ && (*p_ == '+' || *p_ == '-')) advance();
            if (!digits()) return false;
        }
        v.type_ = Type::Number;
        v.text_.assign(start, p_);
        return true;
    }

    static void put_utf8(std::string& out, std::uint32_t cp)
    {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    bool hex4(std::uint32_t& out)
    {
        out = 0;
        for (int i = 0; i < 4; ++i) {
            if (p_ == end_) return fail("unexpected end of input in a \\u escape");
            const char c = *p_;
            std::uint32_t d;
            if (c >= '0' && c <= '9')
                d = static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                d = static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                d = static_cast<std::uint32_t>(c - 'A' + 10);
            else
                return fail("a \\u escape needs four hexadecimal digits");
            out = out << 4 | d;
            advance();
        }
        return true;
    }

    bool escape(std::string& out)
    {
        const Pos at = here();
        advance(); // the backslash
        if (p_ == end_) return fail("unexpected end of input in a string");
        const char c = *p_;
        switch (c) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                advance();
                std::uint32_t cp;
                if (!hex4(cp)) return false;
                if (cp >= 0xDC00 && cp <= 0xDFFF)
                    return fail_at(at,
                                   "a low surrogate \\u escape without a high surrogate before it");
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u')
                        return fail_at(at,
                                       "a high surrogate \\u escape must be followed by a low one");
                    advance();
                    advance();
                    std::uint32_t lo;
                    if (!hex4(lo)) return false;
                    if (lo < 0xDC00 || lo > 0xDFFF)
                        return fail_at(at,
                                       "a high surrogate \\u escape must be followed by a low one");
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                }
                put_utf8(out, cp);
                return true;
            }
            default:
                return fail_at(at, "unknown escape in a string");
        }
        advance();
        return true;
    }

    // Checks one UTF-8 sequence at p_ (its lead byte is >= 0x80) and copies it.
    bool utf8(std::string& out)
    {
        const auto* s = reinterpret_cast<const unsigned char*>(p_);
        const std::size_t left = static_cast<std::size_t>(end_ - p_);
        const unsigned char b0 = s[0];
        std::size_t n;
        unsigned char lo = 0x80, hi = 0xBF; // range of the second byte
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            n = 2;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            n = 3;
            if (b0 == 0xE0) lo = 0xA0; // overlong
            if (b0 == 0xED) hi = 0x9F; // surrogates
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            n = 4;
            if (b0 == 0xF0) lo = 0x90; // overlong
            if (b0 == 0xF4) hi = 0x8F; // above U+10FFFF
        } else {
            return fail("invalid UTF-8");
        }
        if (left < n || s[1] < lo || s[1] > hi) return fail("invalid UTF-8");
        for (std::size_t i = 2; i < n; ++i)
            if (s[i] < 0x80 || s[i] > 0xBF) return fail("invalid UTF-8");
        out.append(p_, n);
        for (std::size_t i = 0; i < n; ++i) advance();
        return true;
    }

    bool string(std::string& out)
    {
        // The decoded text is never longer than its source: room for it at
        // once, rather than a large text grown by doubling, which would
        // hold up to three times its size for a moment.
        const char* scan = p_ + 1;
        while (scan != end_ && *scan != '"' && *scan != '\n')
            scan += *scan == '\\' && scan + 1 != end_ ? 2 : 1;
        out.reserve(out.size() + static_cast<std::size_t>(scan - p_));
        advance(); // the opening quote
        for (;;) {
            const char* run = p_;
            while (p_ != end_) {
                const auto b = static_cast<unsigned char>(*p_);
                if (b == '"' || b == '\\' || b < 0x20 || b >= 0x80) break;
                ++p_;
            }
            column_ += static_cast<std::uint32_t>(p_ - run);
            out.append(run, p_);
            if (p_ == end_) return fail("unexpected end of input in a string");
            const auto b = static_cast<unsigned char>(*p_);
            if (b == '"') {
                advance();
                return true;
            }
            if (b == '\\') {
                if (!escape(out)) return false;
            } else if (b < 0x20) {
                return fail(b == '\n' ? "a string may not span lines (write \\n)"
                                      : "control character in a string (write it as an escape)");
            } else if (!utf8(out)) {
                return false;
            }
        }
    }

    bool enter()
    {
        if (++depth_ > max_depth_)
            return fail_at(here(), "nested deeper than " + std::to_string(max_depth_) + " levels");
        return true;
    }

    bool array(Value& v)
    {
        if (!enter()) return false;
        advance();
        v.type_ = Type::Array;
        skip_space();
        if (p_ != end_ && *p_ == ']') {
            advance();
            --depth_;
            return true;
        }
        path_.push_back(Step{true, 0, {}});
        for (;;) {
            path_.back().index = v.items_.size();
            v.items_.emplace_back();
            if (!value(v.items_.back())) return false;
            skip_space();
            if (p_ == end_) return fail("unexpected end of input, expected ',' or ']'");
            if (*p_ == ']') break;
            if (*p_ != ',') return fail("expected ',' or ']'");
            advance();
            skip_space();
            if (p_ != end_ && *p_ == ']') {
                path_.pop_back();
                return fail("a trailing comma is not allowed");
            }
        }
        advance();
        path_.pop_back();
        --depth_;
        return true;
    }

    bool object(Value& v)
    {
        if (!enter()) return false;
        advance();
        v.type_ = Type::Object;
        skip_space();
        if (p_ != end_ && *p_ == '}') {
            advance();
            --depth_;
            return true;
        }
        std::vector<Pos> name_pos;
        path_.push_back(Step{false, 0, {}});
        for (;;) {
            path_.back().named = false;
            if (p_ == end_) return fail("unexpected end of input, expected a member name");
            if (*p_ != '"')
                return fail(*p_ == '}' ? "a trailing comma is not allowed"
                                       : "expected a member name in double quotes");
            name_pos.push_back(here());
            path_.back().named = false;
            std::string name;
            if (!string(name)) return false;
            path_.back().name = name;
            path_.back().named = true;
            skip_space();
            if (p_ == end_ || *p_ != ':') return fail("expected ':' after the member name");
            advance();
            skip_space();
            v.members_.emplace_back(std::move(name), Value());
            if (!value(v.members_.back().second)) return false;
            skip_space();
            if (p_ == end_) return fail("unexpected end of input, expected ',' or '}'");
            if (*p_ == '}') break;
            if (*p_ != ',') return fail("expected ',' or '}'");
            advance();
            skip_space();
        }
        if (!unique_names(v, name_pos)) return false;
        advance();
        path_.pop_back();
        --depth_;
        return true;
    }

    // Reports the first repeated name in source order.
    bool unique_names(const Value& v, const std::vector<Pos>& name_pos)
    {
        const auto& m = v.members_;
        std::size_t first_dup = m.size();
        if (m.size() <= 16) {
            for (std::size_t i = 1; i < m.size() && first_dup == m.size(); ++i)
                for (std::size_t j = 0; j < i; ++j)
                    if (m[i].first == m[j].first) {
                        first_dup = i;
                        break;
                    }
        } else {
            std::vector<std::size_t> order(m.size());
            for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
            std::stable_sort(order.begin(), order.end(),
                             [&](std::size_t a, std::size_t b) { return m[a].first < m[b].first; });
            for (std::size_t i = 1; i < order.size(); ++i)
                if (m[order[i]].first == m[order[i - 1]].first)
                    first_dup = std::min(first_dup, order[i]);
        }
        if (first_dup == m.size()) return true;
        path_.back().name = m[first_dup].first;
        return fail_at(name_pos[first_dup], "duplicate member name");
    }

    const char* p_;
    const char* end_;
    std::uint32_t line_ = 1, column_ = 1;
    std::uint32_t depth_ = 0;
    std::uint32_t max_depth_;
    std::vector<Step> path_;
    bool failed_ = false;
    Error error_;
};

bool parse(std::string_view text, Value& out, Error& err, const Options& options)
{
    Parser parser(text, options);
    return parser.run(out, err);
}

} // namespace mapisim::json
