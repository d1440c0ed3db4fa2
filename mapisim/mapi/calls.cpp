#include "mapisim/mapi/calls.h"

#include <cstdio>

namespace mapisim::mapi {
namespace {

struct FaultRule {
    std::string pattern;
    std::uint32_t nth;
    bool persistent;
    HRESULT hr;
    std::uint32_t seen = 0;
};

// Logs grow without bound only in a run that never clears them; a cap keeps
// a runaway loop from eating the machine.
constexpr std::size_t kMaxLog = 1u << 20;

std::deque<CallRecord>& log_storage()
{
    static std::deque<CallRecord> log;
    return log;
}

bool logging = true;

// Constant-initialized: the call hook reads it without a guard.
std::vector<FaultRule> faultRules;

std::vector<FaultRule>& rules() { return faultRules; }

bool part_matches(std::string_view pattern, std::string_view part)
{
    return pattern == "*" || pattern == part;
}

bool matches(const std::string& pattern, const std::string& method)
{
    if (pattern == "*") return true;
    const auto p = pattern.find("::");
    const auto m = method.find("::");
    if (p == std::string::npos || m == std::string::npos) return pattern == method;
    return part_matches(std::string_view(pattern).substr(0, p),
                        std::string_view(method).substr(0, m)) &&
           part_matches(std::string_view(pattern).substr(p + 2),
                        std::string_view(method).substr(m + 2));
}

} // namespace

const std::string& Call::name()
{
    if (name_.empty()) {
        if (*iface_) {
            name_ = iface_;
            name_ += "::";
        }
        name_ += method_;
    }
    return name_;
}

void Call::unfinished()
{
    if (index_ < log_storage().size()) log_storage()[index_].result = E_UNEXPECTED;
}

Call& Call::arg(const char* name, std::string_view text)
{
    if (!logging) return *this;
    if (!args_.empty()) args_ += "; ";
    args_ += name;
    args_ += '=';
    args_.append(text.data(), text.size());
    return *this;
}

Call& Call::arg(const char* name, const char* text)
{
    return arg(name, text ? std::string_view(text) : std::string_view("(null)"));
}

Call& Call::arg_wide(const char* name, const WCHAR* text)
{
    if (!logging) return *this;
    if (!text) return arg(name, "(null)");
    std::string s;
    for (const WCHAR* p = text; *p; ++p) s.push_back(*p < 0x80 ? static_cast<char>(*p) : '?');
    return arg(name, std::string_view(s));
}

Call& Call::arg(const char* name, ULONG value)
{
    if (!logging) return *this;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%lu", static_cast<unsigned long>(value));
    return arg(name, std::string_view(buf));
}

Call& Call::arg_tag(const char* name, ULONG tag)
{
    if (!logging) return *this;
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(tag));
    return arg(name, std::string_view(buf));
}

Call& Call::arg_hex(const char* name, const void* bytes, ULONG size)
{
    if (!logging) return *this;
    if (!bytes) return arg(name, "(null)");
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (ULONG i = 0; i < size && i < 256; ++i) {
        s.push_back(digits[p[i] >> 4]);
        s.push_back(digits[p[i] & 15]);
    }
    return arg(name, std::string_view(s));
}

void Call::note(const char* name, std::string_view text)
{
    if (index_ == SIZE_MAX || index_ >= log_storage().size()) return;
    std::string& args = log_storage()[index_].args;
    if (!args.empty()) args += "; ";
    args += name;
    args += '=';
    args.append(text.data(), text.size());
}

HRESULT Call::hook()
{
    auto& log = log_storage();
    if (logging && log.size() < kMaxLog) {
        index_ = log.size();
        log.push_back({name(), flags_, args_, S_OK, false});
    }
    for (auto& rule : rules()) {
        if (!matches(rule.pattern, name())) continue;
        ++rule.seen;
        const bool fire = rule.seen == rule.nth || (rule.persistent && rule.seen > rule.nth);
        if (!fire) continue;
        if (index_ != SIZE_MAX) log[index_].injected = true;
        return fail(rule.hr, "failure injected by the test");
    }
    return S_OK;
}

void Call::record(HRESULT hr)
{
    if (index_ != SIZE_MAX && index_ < log_storage().size()) log_storage()[index_].result = hr;
    if (FAILED(hr) && object_) {
        object_->hr = hr;
        object_->text = name() + " failed";
    }
}

HRESULT Call::fail(HRESULT hr, std::string why)
{
    done(hr);
    if (object_) object_->text = name() + ": " + why;
    return hr;
}

bool callHooksOn = true; // logging starts on

const std::deque<CallRecord>& call_log() { return log_storage(); }
void clear_call_log() { log_storage().clear(); }

void set_call_logging(bool on)
{
    logging = on;
    callHooksOn = logging || !faultRules.empty();
}

void add_fault(std::string pattern, std::uint32_t nth, bool persistent, HRESULT hr)
{
    rules().push_back({std::move(pattern), nth, persistent, hr});
    callHooksOn = true;
}

void clear_faults()
{
    rules().clear();
    callHooksOn = logging;
}

} // namespace mapisim::mapi
