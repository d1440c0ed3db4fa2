// The stand-in's test controls declared in mapisim.h.
#include <cstring>
#include <string>

#include "mapisim/mapi/calls.h"
#include "mapisim/mapi/notify.h"
#include "mapisim/mapi/session.h"
#include "mapisim/mapisim.h"
#include "mapisim/model/world.h"

using namespace mapisim;

namespace {

// The value of name in "a=1; b=2", or nullptr.
const char* find_arg(const std::string& args, const char* name, std::size_t& len)
{
    const std::size_t n = std::strlen(name);
    std::size_t pos = 0;
    while (pos < args.size()) {
        std::size_t end = args.find("; ", pos);
        if (end == std::string::npos) end = args.size();
        if (args.compare(pos, n, name) == 0 && pos + n < end && args[pos + n] == '=') {
            len = end - (pos + n + 1);
            return args.c_str() + pos + n + 1;
        }
        pos = end + 2;
    }
    return nullptr;
}

} // namespace

extern "C" {

MAPISIM_EXPORT void mapisim_reset(void)
{
    // Joins the notification thread, whose sinks may be waiting for the
    // lock: before taking it.
    mapi::notify::set_threaded(false);
    const StandInGuard guard;
    model::install(nullptr);
    mapi::reset_runtime();
    mapi::clear_call_log();
    mapi::set_call_logging(true);
    mapi::clear_faults();
}

MAPISIM_EXPORT uint32_t mapisim_mapi_initialized(void)
{
    const StandInGuard guard;
    return mapi::init_count();
}

MAPISIM_EXPORT void mapisim_set_getprops_limit(uint32_t bytes)
{
    const StandInGuard guard;
    model::current().settings.getprops_limit = bytes;
}

MAPISIM_EXPORT void mapisim_set_queryrows_cap(uint32_t rows)
{
    const StandInGuard guard;
    model::current().settings.queryrows_cap = rows;
}

MAPISIM_EXPORT void mapisim_set_short_term_ids(int on)
{
    const StandInGuard guard;
    model::current().settings.short_term_ids_in_tables = on != 0;
}

MAPISIM_EXPORT void mapisim_script_logon_choice(const char* profile)
{
    const StandInGuard guard;
    auto& choice = model::current().script.logon_choice;
    if (profile)
        choice = std::string(profile);
    else
        choice.reset();
}

MAPISIM_EXPORT void mapisim_script_show_form(int32_t hresult)
{
    const StandInGuard guard;
    model::current().script.show_form_result = hresult;
}

MAPISIM_EXPORT void mapisim_script_address_dialog(int32_t hresult)
{
    const StandInGuard guard;
    model::current().script.address_dialog_result = hresult;
}

MAPISIM_EXPORT int mapisim_last_form(mapisim_form* out)
{
    const StandInGuard guard;
    const mapi::ShownForm& form = mapi::last_form();
    if (!out || !form.shown) return -1;
    out->window = form.window;
    out->store = form.store.c_str();
    out->folder = form.folder.c_str();
    out->token = form.token;
    out->flags = form.flags;
    out->status = form.status;
    out->message_flags = form.message_flags;
    out->access = form.access;
    out->message_class = form.message_class.c_str();
    out->subject = form.subject.c_str();
    out->result = form.result;
    return 0;
}

MAPISIM_EXPORT int mapisim_last_address_dialog(mapisim_address_dialog* out)
{
    const mapi::ShownAddressDialog& dialog = mapi::last_address_dialog();
    if (!out || !dialog.shown) return -1;
    out->window = dialog.window;
    out->flags = dialog.flags;
    out->dest_fields = dialog.dest_fields;
    out->address_list = dialog.address_list ? 1 : 0;
    out->caption = dialog.caption_given ? dialog.caption.c_str() : nullptr;
    out->result = dialog.result;
    return 0;
}

MAPISIM_EXPORT int mapisim_fail_method(const char* method, uint32_t nth, int persistent,
                                       int32_t hresult)
{
    const StandInGuard guard;
    if (!method || !*method || nth == 0 || hresult >= 0) return -1;
    mapi::add_fault(method, nth, persistent != 0, hresult);
    return 0;
}

MAPISIM_EXPORT void mapisim_clear_faults(void)
{
    const StandInGuard guard;
    mapi::clear_faults();
}

MAPISIM_EXPORT uint32_t mapisim_call_count(void)
{
    const StandInGuard guard;
    return static_cast<uint32_t>(mapi::call_log().size());
}

MAPISIM_EXPORT int mapisim_call_get(uint32_t index, mapisim_call* out)
{
    const StandInGuard guard;
    const auto& log = mapi::call_log();
    if (!out || index >= log.size()) return -1;
    const auto& r = log[index];
    out->method = r.method.c_str();
    out->flags = r.flags;
    out->result = r.result;
    out->injected = r.injected ? 1 : 0;
    out->args = r.args.c_str();
    return 0;
}

MAPISIM_EXPORT int32_t mapisim_call_find(const char* method, uint32_t from)
{
    const StandInGuard guard;
    const auto& log = mapi::call_log();
    if (!method) return -1;
    for (std::size_t i = from; i < log.size(); ++i)
        if (log[i].method == method) return static_cast<int32_t>(i);
    return -1;
}

MAPISIM_EXPORT uint32_t mapisim_call_count_of(const char* method)
{
    const StandInGuard guard;
    if (!method) return 0;
    uint32_t n = 0;
    for (const auto& r : mapi::call_log())
        if (r.method == method) ++n;
    return n;
}

MAPISIM_EXPORT int32_t mapisim_call_arg(uint32_t index, const char* name, char* buf, uint32_t size)
{
    const StandInGuard guard;
    const auto& log = mapi::call_log();
    if (!name || index >= log.size()) return -1;
    std::size_t len = 0;
    const char* value = find_arg(log[index].args, name, len);
    if (!value) return -1;
    if (buf && size) {
        const std::size_t n = len < size - 1 ? len : size - 1;
        std::memcpy(buf, value, n);
        buf[n] = 0;
    }
    return static_cast<int32_t>(len);
}

MAPISIM_EXPORT void mapisim_call_log_clear(void)
{
    const StandInGuard guard;
    mapi::clear_call_log();
}

MAPISIM_EXPORT void mapisim_set_call_log(int on)
{
    const StandInGuard guard;
    mapi::set_call_logging(on != 0);
}

} // extern "C"
