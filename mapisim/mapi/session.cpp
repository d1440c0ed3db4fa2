// MAPIInitialize, MAPILogonEx and the session, profile administration and
// status objects.
#include <cstring>
#include <map>

#include "mapisim/decl/mapitags.h"
#include "mapisim/mapi/objects.h"
#include "mapisim/mapi/session.h"

namespace mapisim::mapi {
namespace {

using model::PropertyBag;

struct Runtime {
    std::uint32_t initialized = 0;
    // The session other logons share while it lives (MAPI_ALLOW_OTHERS).
    std::weak_ptr<model::Profile> shared_profile;
    std::uint32_t shared_users = 0;
    ShownForm last_form;
    ShownAddressDialog last_address_dialog;
};

Runtime& runtime()
{
    static Runtime r;
    return r;
}

// Status-table numbers: 1 the subsystem, 2 the spooler, then the stores
// and the model's own rows in order.
constexpr std::uint32_t kSubsystem = 1;
constexpr std::uint32_t kSpooler = 2;

PropertyBag status_bag(std::uint32_t number, const std::string& name, const std::string& provider,
                       ULONG type, ULONG resource_flags, std::optional<ULONG> code)
{
    PropertyBag b;
    b.set_unwatched(entryid_value(PR_ENTRYID, {Kind::Status, 0, number, false}));
    b.set_unwatched(Value::string8(PR_DISPLAY_NAME_A, name));
    b.set_unwatched(Value::string8(PR_PROVIDER_DISPLAY_A, provider));
    b.set_unwatched(Value::i4(PR_RESOURCE_TYPE, static_cast<std::int32_t>(type)));
    b.set_unwatched(Value::i4(PR_RESOURCE_FLAGS, static_cast<std::int32_t>(resource_flags)));
    if (code) b.set_unwatched(Value::i4(PR_STATUS_CODE, static_cast<std::int32_t>(*code)));
    b.set_unwatched(Value::i4(PR_OBJECT_TYPE, MAPI_STATUS));
    return b;
}

class StatusObject final : public PropObject<IMAPIStatus> {
public:
    explicit StatusObject(PropertyBag row) : row_(std::move(row)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        return query(this, riid, out, {&IID_IUnknown, &IID_IMAPIProp, &IID_IMAPIStatus});
    }

    HRESULT STDMETHODCALLTYPE ValidateState(MAPIDEFS_UIPARAM, ULONG flags) override
    {
        return logged_only("ValidateState", flags);
    }

    HRESULT STDMETHODCALLTYPE SettingsDialog(MAPIDEFS_UIPARAM, ULONG flags) override
    {
        Call call(&err_, kIface, "SettingsDialog", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        return call.fail(MAPI_E_NO_SUPPORT, "no dialogs");
    }

    HRESULT STDMETHODCALLTYPE ChangePassword(LPSTR, LPSTR, ULONG flags) override
    {
        Call call(&err_, kIface, "ChangePassword", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        return call.fail(MAPI_E_NO_SUPPORT, "no passwords");
    }

    HRESULT STDMETHODCALLTYPE FlushQueues(MAPIDEFS_UIPARAM ui, ULONG cb, LPENTRYID target,
                                          ULONG flags) override
    {
        Call call(&err_, kIface, "FlushQueues", flags);
        call.arg("ui", static_cast<ULONG>(ui)).arg_hex("target", target, cb);
        if (auto id = decode(cb, target); id && id->kind == Kind::Status)
            call.arg("transport", id->number);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (cb && !target) return call.fail(MAPI_E_INVALID_PARAMETER, "a size without bytes");
        return call.done(S_OK);
    }

protected:
    const char* iface() const override { return kIface; }
    std::optional<Value> read(ULONG tag) override
    {
        if (const Value* v = row_.find(tag)) return *v;
        return std::nullopt;
    }
    std::vector<ULONG> list() override
    {
        std::vector<ULONG> tags;
        for (auto& [id, v] : row_) tags.push_back(v.tag());
        return tags;
    }

private:
    static constexpr const char* kIface = "IMAPIStatus";
    PropertyBag row_;
};

class ProfAdminObject final : public ReportingObject<IProfAdmin> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        return query(this, riid, out, {&IID_IUnknown, &IID_IProfAdmin});
    }

    HRESULT STDMETHODCALLTYPE GetProfileTable(ULONG flags, LPMAPITABLE* out) override
    {
        Call call(&err_, kIface, "GetProfileTable", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        std::vector<PropertyBag> rows;
        for (auto& p : model::current().profiles) {
            PropertyBag b;
            b.set_unwatched(Value::string8(PR_DISPLAY_NAME_A, p->name));
            b.set_unwatched(Value::boolean(PR_DEFAULT_PROFILE, p->is_default));
            rows.push_back(std::move(b));
        }
        *out = new_bag_table(std::move(rows), {PR_DISPLAY_NAME_A, PR_DEFAULT_PROFILE}, flags);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE CreateProfile(LPSTR, LPSTR, ULONG_PTR, ULONG flags) override
    {
        return unsupported("CreateProfile", flags);
    }
    HRESULT STDMETHODCALLTYPE DeleteProfile(LPSTR, ULONG flags) override
    {
        return unsupported("DeleteProfile", flags);
    }
    HRESULT STDMETHODCALLTYPE ChangeProfilePassword(LPSTR, LPSTR, LPSTR, ULONG flags) override
    {
        return unsupported("ChangeProfilePassword", flags);
    }
    HRESULT STDMETHODCALLTYPE CopyProfile(LPSTR, LPSTR, LPSTR, ULONG_PTR, ULONG flags) override
    {
        return unsupported("CopyProfile", flags);
    }
    HRESULT STDMETHODCALLTYPE RenameProfile(LPSTR, LPSTR, LPSTR, ULONG_PTR, ULONG flags) override
    {
        return unsupported("RenameProfile", flags);
    }

    HRESULT STDMETHODCALLTYPE SetDefaultProfile(LPSTR name, ULONG flags) override
    {
        Call call(&err_, kIface, "SetDefaultProfile", flags);
        call.arg("profile", name);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        auto& world = model::current();
        auto chosen = name ? world.find_profile(name) : nullptr;
        if (name && !chosen) return call.fail(MAPI_E_NOT_FOUND, "no such profile");
        for (auto& p : world.profiles) p->is_default = p == chosen;
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE AdminServices(LPSTR, LPSTR, ULONG_PTR, ULONG flags,
                                            LPSERVICEADMIN*) override
    {
        return unsupported("AdminServices", flags);
    }

protected:
    const char* iface() const override { return kIface; }
    const char* unsupported_why() const override
    {
        return "profiles come from the mailbox description";
    }

private:
    static constexpr const char* kIface = "IProfAdmin";
};

class SessionObject final : public ComparesEntryIds<OpensEntries<ReportingObject<IMAPISession>>> {
public:
    SessionObject(ProfilePtr profile, bool shared) : profile_(std::move(profile)), shared_(shared)
    {
        if (shared_) ++runtime().shared_users;
    }

    ~SessionObject() override
    {
        for (auto& [token, msg] : forms_) msg->Release();
        if (shared_ && runtime().shared_users && --runtime().shared_users == 0)
            runtime().shared_profile.reset();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        return query(this, riid, out, {&IID_IUnknown, &IID_IMAPISession});
    }

    HRESULT STDMETHODCALLTYPE GetMsgStoresTable(ULONG flags, LPMAPITABLE* out) override
    {
        Call call(&err_, kIface, "GetMsgStoresTable", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        std::vector<PropertyBag> rows;
        for (auto& s : profile_->stores) {
            PropertyBag b;
            for (ULONG tag :
                 {PR_ENTRYID, PR_DISPLAY_NAME_A, PR_PROVIDER_DISPLAY_A, PR_DEFAULT_STORE,
                  PR_RESOURCE_FLAGS, PR_MDB_PROVIDER, PR_RECORD_KEY, PR_OBJECT_TYPE})
                if (auto v = store_prop(*s, tag)) b.set_unwatched(*v);
            b.set_unwatched(Value::i4(PR_RESOURCE_TYPE, MAPI_STORE_PROVIDER));
            rows.push_back(std::move(b));
        }
        *out =
            new_bag_table(std::move(rows),
                          {PR_ENTRYID, PR_DISPLAY_NAME_A, PR_DEFAULT_STORE, PR_PROVIDER_DISPLAY_A,
                           PR_RESOURCE_FLAGS, PR_MDB_PROVIDER, PR_INSTANCE_KEY},
                          flags);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE OpenMsgStore(ULONG_PTR, ULONG cb, LPENTRYID eid, LPCIID iid,
                                           ULONG flags, LPMDB* out) override
    {
        Call call(&err_, kIface, "OpenMsgStore", flags);
        call.arg_hex("entryid", eid, cb);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        auto id = decode(cb, eid);
        if (!id || id->kind != Kind::Store)
            return call.fail(MAPI_E_INVALID_ENTRYID, "not a store identifier");
        auto store = profile_->find_store(id->store);
        if (!store) return call.fail(MAPI_E_NOT_FOUND, "no such store in the profile");
        LPUNKNOWN unk = nullptr;
        HRESULT hr = hand_out(new_store(store, flags & (MAPI_BEST_ACCESS | MDB_WRITE)), iid, &unk);
        if (FAILED(hr)) return call.fail(hr, "bad interface");
        *out = static_cast<LPMDB>(unk);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE OpenAddressBook(ULONG_PTR, LPCIID iid, ULONG flags,
                                              LPADRBOOK* out) override
    {
        Call call(&err_, kIface, "OpenAddressBook", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        LPUNKNOWN unk = nullptr;
        if (HRESULT hr = hand_out(new_address_book(profile_), iid, &unk); FAILED(hr))
            return call.fail(hr, "bad interface");
        *out = static_cast<LPADRBOOK>(unk);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID, LPCIID, ULONG flags,
                                                 LPPROFSECT*) override
    {
        return unsupported("OpenProfileSection", flags);
    }

    HRESULT STDMETHODCALLTYPE GetStatusTable(ULONG flags, LPMAPITABLE* out) override
    {
        Call call(&err_, kIface, "GetStatusTable", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        *out = new_bag_table(status_rows(*profile_),
                             {PR_DISPLAY_NAME_A, PR_ENTRYID, PR_PROVIDER_DISPLAY_A,
                              PR_RESOURCE_FLAGS, PR_RESOURCE_TYPE, PR_STATUS_CODE},
                             flags);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG*) override
    {
        return unsupported("Advise", 0);
    }
    HRESULT STDMETHODCALLTYPE Unadvise(ULONG) override { return unsupported("Unadvise", 0); }
    HRESULT STDMETHODCALLTYPE MessageOptions(ULONG_PTR, ULONG flags, LPSTR, LPMESSAGE) override
    {
        return unsupported("MessageOptions", flags);
    }
    HRESULT STDMETHODCALLTYPE QueryDefaultMessageOpt(LPSTR, ULONG flags, ULONG*,
                                                     LPSPropValue*) override
    {
        return unsupported("QueryDefaultMessageOpt", flags);
    }
    HRESULT STDMETHODCALLTYPE EnumAdrTypes(ULONG flags, ULONG*, LPSTR**) override
    {
        return unsupported("EnumAdrTypes", flags);
    }
    HRESULT STDMETHODCALLTYPE QueryIdentity(ULONG*, LPENTRYID*) override
    {
        return unsupported("QueryIdentity", 0);
    }

    HRESULT STDMETHODCALLTYPE Logoff(ULONG_PTR, ULONG flags, ULONG) override
    {
        return logged_only("Logoff", flags);
    }

    HRESULT STDMETHODCALLTYPE SetDefaultStore(ULONG flags, ULONG, LPENTRYID) override
    {
        return unsupported("SetDefaultStore", flags);
    }
    HRESULT STDMETHODCALLTYPE AdminServices(ULONG flags, LPSERVICEADMIN*) override
    {
        return unsupported("AdminServices", flags);
    }

    HRESULT STDMETHODCALLTYPE ShowForm(ULONG_PTR ui, LPMDB store, LPMAPIFOLDER folder, LPCIID,
                                       ULONG token, LPMESSAGE sent, ULONG flags, ULONG status,
                                       ULONG msg_flags, ULONG access, LPSTR cls) override
    {
        // A token is good for one ShowForm, whatever comes of it.
        Ref<IMessage> message;
        if (auto it = forms_.find(token); it != forms_.end()) {
            message = Ref<IMessage>(it->second);
            forms_.erase(it);
        }
        Call call(&err_, kIface, "ShowForm", flags);
        call.arg("ui", static_cast<ULONG>(ui))
            .arg("token", token)
            .arg("status", status)
            .arg("message_flags", msg_flags)
            .arg("access", access)
            .arg("class", cls);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!message) return call.fail(MAPI_E_INVALID_PARAMETER, "no such form token");
        if (!store || !folder || sent)
            return call.fail(MAPI_E_INVALID_PARAMETER, "bad form arguments");
        const HRESULT scripted = model::current().script.show_form_result;

        ShownForm& form = runtime().last_form;
        form = ShownForm{};
        form.shown = true;
        form.window = ui;
        if (StorePtr s = store_of_store_object(store)) form.store = s->display_name;
        FolderPtr parent;
        if (store_of_folder_object(folder, &parent)) form.folder = parent->display_name();
        form.token = token;
        form.flags = flags;
        form.status = status;
        form.message_flags = msg_flags;
        form.access = access;
        form.message_class = cls ? cls : "";
        if (MessagePtr m = message_of_object(message.get()))
            if (auto subject = m->props.text(PR_SUBJECT_A)) form.subject = *subject;
        form.result = scripted;
        return FAILED(scripted) ? call.fail(scripted, "the user's form result")
                                : call.done(scripted);
    }

    HRESULT STDMETHODCALLTYPE PrepareForm(LPCIID, LPMESSAGE msg, ULONG* token) override
    {
        Call call(&err_, kIface, "PrepareForm");
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!msg || !token) return call.fail(MAPI_E_INVALID_PARAMETER, "no message or no token");
        msg->AddRef();
        *token = next_token_++;
        forms_[*token] = msg;
        return call.done(S_OK);
    }

protected:
    const char* iface() const override { return kIface; }

    HRESULT open_entry(ULONG cb, const ENTRYID* eid, LPCIID iid, ULONG flags, ULONG* type,
                       LPUNKNOWN* out, Call& call) override
    {
        if (cb == 0 || !eid) return call.fail(MAPI_E_INVALID_ENTRYID, "no identifier");
        auto id = decode(cb, eid);
        if (!id) return call.fail(MAPI_E_INVALID_ENTRYID, "not an identifier of the stand-in");
        if (id->kind == Kind::Status) {
            PropertyBag row;
            const Value wanted = entryid_value(PR_ENTRYID, {Kind::Status, 0, id->number, false});
            for (auto& r : status_rows(*profile_))
                if (auto v = r.find(PR_ENTRYID); v && *v == wanted) row = r;
            if (row.empty()) return call.fail(MAPI_E_NOT_FOUND, "no such status row");
            *type = MAPI_STATUS;
            return hand_out(new StatusObject(std::move(row)), iid, out);
        }
        if (id->kind == Kind::AbContainer || id->kind == Kind::AbEntry) {
            Ref<IAddrBook> ab(new_address_book(profile_));
            return ab->OpenEntry(cb, const_cast<ENTRYID*>(eid), iid, flags, type, out);
        }
        auto store = profile_->find_store(id->store);
        if (!store) return call.fail(MAPI_E_NOT_FOUND, "no such store in the profile");
        return open_in_store(store, nullptr, cb, eid, iid, flags, type, out);
    }

private:
    static constexpr const char* kIface = "IMAPISession";

    ProfilePtr profile_;
    bool shared_;
    std::map<ULONG, IMessage*> forms_;
    ULONG next_token_ = 1;
};

// The profile MAPILogonEx settles on, or the failure.
HRESULT choose_profile(const char* name, ULONG flags, ProfilePtr& out, Call& call)
{
    auto& world = model::current();
    if (name && *name) {
        out = world.find_profile(name);
        return out ? S_OK
                   : call.fail(MAPI_E_LOGON_FAILED, std::string("no profile '") + name + "'");
    }
    if ((flags & MAPI_USE_DEFAULT) && !(flags & MAPI_EXPLICIT_PROFILE)) {
        out = world.default_profile();
        if (out) return S_OK;
    }
    if (!(flags & MAPI_LOGON_UI))
        return call.fail(MAPI_E_LOGON_FAILED, "no profile named and no dialog allowed");
    // "The user" picks in the profile dialog.
    const auto& choice = world.script.logon_choice;
    if (!choice) {
        out = world.default_profile();
        return out ? S_OK : call.fail(MAPI_E_USER_CANCEL, "the user cancelled the profile dialog");
    }
    if (choice->empty())
        return call.fail(MAPI_E_USER_CANCEL, "the user cancelled the profile dialog");
    out = world.find_profile(*choice);
    return out ? S_OK : call.fail(MAPI_E_LOGON_FAILED, "the user chose an unknown profile");
}

} // namespace

std::vector<PropertyBag> status_rows(const model::Profile& profile)
{
    std::vector<PropertyBag> rows;
    rows.push_back(status_bag(kSubsystem, profile.name, "MAPI Subsystem", MAPI_SUBSYSTEM, 0,
                              STATUS_AVAILABLE));
    if (profile.has_spooler)
        rows.push_back(status_bag(kSpooler, "MAPI Spooler", "MAPI Spooler", MAPI_SPOOLER, 0,
                                  profile.spooler_status));
    std::uint32_t n = kSpooler;
    for (auto& s : profile.stores)
        rows.push_back(status_bag(++n, s->display_name, s->provider_display, MAPI_STORE_PROVIDER,
                                  s->resource_flags, STATUS_AVAILABLE));
    for (auto& r : profile.status_rows) {
        PropertyBag b = status_bag(++n, r.display_name, r.provider_display, r.resource_type,
                                   r.resource_flags, r.status_code);
        for (auto& [id, v] : r.props) b.set_unwatched(v);
        rows.push_back(std::move(b));
    }
    return rows;
}

IMAPIStatus* new_status(PropertyBag row) { return new StatusObject(std::move(row)); }
IProfAdmin* new_prof_admin() { return new ProfAdminObject(); }

std::uint32_t init_count() { return runtime().initialized; }

const ShownForm& last_form() { return runtime().last_form; }

const ShownAddressDialog& last_address_dialog() { return runtime().last_address_dialog; }
void record_address_dialog(ShownAddressDialog dialog)
{
    runtime().last_address_dialog = std::move(dialog);
}

void reset_runtime() { runtime() = Runtime{}; }

} // namespace mapisim::mapi

using namespace mapisim::mapi;

extern "C" {

MAPISIM_API HRESULT STDAPICALLTYPE MAPIInitialize(LPVOID init)
{
    Call call(nullptr, "", "MAPIInitialize", init ? static_cast<LPMAPIINIT_0>(init)->ulFlags : 0);
    if (HRESULT h = call.begin(); h != S_OK) return h;
    if (init && static_cast<LPMAPIINIT_0>(init)->ulVersion != MAPI_INIT_VERSION)
        return call.fail(MAPI_E_VERSION, "unknown MAPIINIT version");
    ++runtime().initialized;
    return call.done(S_OK);
}

MAPISIM_API void STDAPICALLTYPE MAPIUninitialize(void)
{
    Call call(nullptr, "", "MAPIUninitialize");
    call.arg("count", runtime().initialized);
    // Cannot fail: an injected fault only shows in the log.
    call.begin();
    if (runtime().initialized) --runtime().initialized;
    call.done(S_OK);
}

MAPISIM_API HRESULT STDAPICALLTYPE MAPILogonEx(ULONG_PTR ui, LPSTR profile, LPSTR password,
                                               ULONG flags, LPMAPISESSION* out)
{
    Call call(nullptr, "", "MAPILogonEx", flags);
    call.arg("profile", profile).arg("ui", static_cast<ULONG>(ui));
    if (HRESULT h = call.begin(); h != S_OK) return h;
    (void)password;
    if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the session");
    if (!runtime().initialized) return call.fail(MAPI_E_NOT_INITIALIZED, "MAPIInitialize first");
    if (flags & MAPI_UNICODE) return call.fail(MAPI_E_BAD_CHARWIDTH, "8-bit profile names only");
    if (profile && std::strlen(profile) > 64)
        return call.fail(MAPI_E_INVALID_PARAMETER, "profile names have at most 64 characters");
    Runtime& rt = runtime();
    ProfilePtr chosen;
    bool share = false;
    if (!(flags & MAPI_NEW_SESSION) && (chosen = rt.shared_profile.lock())) {
        share = true; // joins the running shared session, whatever was named
    } else if (HRESULT hr = choose_profile(profile, flags, chosen, call); FAILED(hr)) {
        return hr;
    }
    if (!share && (flags & MAPI_ALLOW_OTHERS) && !rt.shared_profile.lock()) {
        rt.shared_profile = chosen;
        share = true;
    }
    *out = new SessionObject(chosen, share);
    call.note("chosen", chosen->name);
    return call.done(S_OK);
}

MAPISIM_API HRESULT STDAPICALLTYPE MAPIAdminProfiles(ULONG flags, LPPROFADMIN* out)
{
    Call call(nullptr, "", "MAPIAdminProfiles", flags);
    if (HRESULT h = call.begin(); h != S_OK) return h;
    if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
    if (!runtime().initialized) return call.fail(MAPI_E_NOT_INITIALIZED, "MAPIInitialize first");
    *out = new_prof_admin();
    return call.done(S_OK);
}

} // extern "C"
