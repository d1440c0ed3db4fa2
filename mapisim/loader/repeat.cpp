// Repeated messages ("repeat": 250) and the ${...} templating of their
// texts, within the bounds that keep one file from making too much.
#include <cstdio>

#include "mapisim/loader/description.h"

namespace mapisim::loader::description {

std::string Loader::str(const J& v)
{
    if (!v.is_string()) fail(v, "expected a string");
    if (!repeat_.on) return v.text();
    return substitute(v, v.text());
}

std::string Loader::substitute(const J& v, const std::string& s) const
{
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t at = s.find("${", i);
        if (at == std::string::npos) {
            out.append(s, i, std::string::npos);
            break;
        }
        out.append(s, i, at - i);
        const std::size_t end = s.find('}', at + 2);
        if (end == std::string::npos) fail(v, "\"${\" without its \"}\" (write ${$} for a $)");
        const std::string_view body(s.data() + at + 2, end - at - 2);
        i = end + 1;
        if (body == "$") {
            out += '$';
            continue;
        }
        if (body.substr(0, 5) == "pick:") {
            std::vector<std::string_view> choices;
            std::string_view rest = body.substr(5);
            for (;;) {
                const std::size_t bar = rest.find('|');
                choices.push_back(rest.substr(0, bar));
                if (bar == std::string_view::npos) break;
                rest.remove_prefix(bar + 1);
            }
            out += choices[static_cast<std::size_t>(repeat_.n - 1) % choices.size()];
            continue;
        }
        // ${n}, ${n+K}, ${n-K}, each optionally with :W
        bool good = !body.empty() && body[0] == 'n';
        std::size_t k = 1;
        std::int64_t value = repeat_.n;
        if (good && k < body.size() && (body[k] == '+' || body[k] == '-')) {
            const bool minus = body[k++] == '-';
            std::int64_t offset = 0;
            const std::size_t digits = k;
            while (k < body.size() && body[k] >= '0' && body[k] <= '9' && k - digits < 15)
                offset = offset * 10 + (body[k++] - '0');
            good = k > digits;
            value += minus ? -offset : offset;
        }
        std::size_t width = 0;
        if (good && k < body.size() && body[k] == ':') {
            const std::size_t digits = ++k;
            while (k < body.size() && body[k] >= '0' && body[k] <= '9' && k - digits < 2)
                width = width * 10 + static_cast<std::size_t>(body[k++] - '0');
            good = k > digits;
        }
        if (!good || k != body.size())
            fail(v, "unknown substitution " + quote(std::string(s, at, end + 1 - at)) +
                        " (known: ${n}, ${n+K}, ${n:W}, ${pick:a|b}, ${$})");
        std::string digits = std::to_string(value < 0 ? -value : value);
        if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
        if (value < 0) out += '-';
        out += digits;
    }
    return out;
}

std::uint64_t Loader::weight(const J& v) const
{
    std::uint64_t w = 16 + v.text().size();
    for (const J& item : v.items()) w += weight(item);
    for (const auto& [name, value] : v.members()) w += name.size() + weight(value);
    return w;
}

void Loader::load_repeat(model::Store& s, model::Folder& f, const J& v, bool associated)
{
    check_members(v, {"repeat", "step", "message"}, "a repeat");
    std::int64_t count, step_ticks = 0;
    {
        Step step(*this, "repeat");
        const J& r = required(v, "repeat");
        count = whole(r, 1, kMaxRepeat);
        if (repeated_messages_ + count > kMaxRepeatedMessages)
            fail(r, "repeats would make more than " + std::to_string(kMaxRepeatedMessages) +
                        " messages");
    }
    if (const J* st = member(v, "step")) {
        Step step(*this, "step");
        step_ticks = parse_duration(*st, str(*st));
    }
    Step step(*this, "message");
    const J& tmpl = required(v, "message");
    need_object(tmpl, "a message");
    const std::uint64_t w = weight(tmpl);
    if (w > (kMaxRepeatedWeight - repeated_weight_) / static_cast<std::uint64_t>(count))
        fail(tmpl, "repeats would make more than " + std::to_string(kMaxRepeatedWeight >> 20) +
                       " MB of text");
    repeated_weight_ += w * static_cast<std::uint64_t>(count);
    repeated_messages_ += count;
    const std::int64_t abs_step = step_ticks < 0 ? -step_ticks : step_ticks;
    for (std::int64_t n = 1; n <= count; ++n) {
        if (abs_step && (n - 1) > INT64_MAX / abs_step)
            fail(tmpl, "the repeat's step moves its times out of range");
        repeat_ = Repeat{true, n, (n - 1) * step_ticks};
        auto msg = s.add_message(f, associated);
        try {
            load_message(s, *msg, tmpl);
        } catch (LoadError& e) {
            e.message += " (in the copy for n = " + std::to_string(n) + ")";
            repeat_ = Repeat{};
            throw;
        }
    }
    repeat_ = Repeat{};
}

} // namespace mapisim::loader::description
