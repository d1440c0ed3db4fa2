// IAddrBook, its containers (IABContainer) and entries (IMailUser, or
// IDistList for distribution lists) over the profile's address book.
#include "mapisim/decl/mapitags.h"
#include "mapisim/mapi/objects.h"
#include "mapisim/mapi/session.h"

namespace mapisim::mapi {
namespace {

using model::AbContainer;
using model::AbEntry;
using model::PropertyBag;

// An entry whose display type says so is a distribution list.
bool is_dist_list(const AbEntry& e)
{
    const std::optional<std::int32_t> type = e.props.i4(PR_DISPLAY_TYPE);
    return type && (static_cast<ULONG>(*type) == DT_DISTLIST ||
                    static_cast<ULONG>(*type) == DT_PRIVATE_DISTLIST);
}

std::optional<Value> entry_prop(std::uint32_t container, const AbEntry& e, ULONG tag)
{
    if (const Value* v = e.props.find(tag)) return *v;
    switch (PROP_ID(tag)) {
        case PROP_ID(PR_ENTRYID):
            return entryid_value(tag, {Kind::AbEntry, container, e.number, false});
        case PROP_ID(PR_OBJECT_TYPE):
            return Value::i4(tag, is_dist_list(e) ? MAPI_DISTLIST : MAPI_MAILUSER);
        case PROP_ID(PR_DISPLAY_TYPE):
            return Value::i4(tag, DT_MAILUSER);
        default:
            return std::nullopt;
    }
}

// Container 0 is the root of the address book's hierarchy.
std::optional<Value> container_prop(const AbContainer* c, ULONG tag)
{
    if (c)
        if (const Value* v = c->props.find(tag)) return *v;
    switch (PROP_ID(tag)) {
        case PROP_ID(PR_ENTRYID):
            return entryid_value(tag, {Kind::AbContainer, 0, c ? c->number : 0, false});
        case PROP_ID(PR_OBJECT_TYPE):
            return Value::i4(tag, MAPI_ABCONT);
        case PROP_ID(PR_DISPLAY_TYPE):
            return Value::i4(tag, DT_NOT_SPECIFIC);
        case PROP_ID(PR_DISPLAY_NAME):
            return Value::string8(tag, c ? c->display_name : "");
        case PROP_ID(PR_CONTAINER_FLAGS):
            return Value::i4(tag, c ? AB_RECIPIENTS | AB_UNMODIFIABLE : AB_SUBCONTAINERS);
        default:
            return std::nullopt;
    }
}

class EntriesSource final : public RowSource {
public:
    explicit EntriesSource(std::shared_ptr<AbContainer> c) : c_(std::move(c)) {}
    HRESULT rows(std::vector<RowPtr>& out) override
    {
        for (auto& e : c_->entries) {
            PropertyBag bag = e.props;
            for (ULONG t : {PR_ENTRYID, PR_OBJECT_TYPE, PR_DISPLAY_TYPE})
                if (!bag.contains(t)) bag.set_unwatched(*entry_prop(c_->number, e, t));
            out.push_back(std::make_shared<BagRow>(std::move(bag), e.number));
        }
        return S_OK;
    }
    std::vector<ULONG> columns() const override
    {
        return {PR_ENTRYID,         PR_INSTANCE_KEY, PR_DISPLAY_NAME_A, PR_ADDRTYPE_A,
                PR_EMAIL_ADDRESS_A, PR_DISPLAY_TYPE, PR_OBJECT_TYPE};
    }

private:
    std::shared_ptr<AbContainer> c_;
};

class ContainersSource final : public RowSource {
public:
    explicit ContainersSource(ProfilePtr p) : profile_(std::move(p)) {}
    HRESULT rows(std::vector<RowPtr>& out) override
    {
        for (auto& c : profile_->address_book.containers()) {
            PropertyBag bag;
            for (ULONG t : {PR_ENTRYID, PR_OBJECT_TYPE, PR_DISPLAY_TYPE, PR_DISPLAY_NAME_A,
                            PR_CONTAINER_FLAGS})
                bag.set_unwatched(*container_prop(c.get(), t));
            bag.set_unwatched(Value::i4(PR_DEPTH, 0));
            for (auto& [id, v] : c->props) bag.set_unwatched(v);
            out.push_back(std::make_shared<BagRow>(std::move(bag), c->number));
        }
        return S_OK;
    }
    std::vector<ULONG> columns() const override
    {
        return {PR_ENTRYID,     PR_INSTANCE_KEY,    PR_DISPLAY_NAME_A, PR_DISPLAY_TYPE,
                PR_OBJECT_TYPE, PR_CONTAINER_FLAGS, PR_DEPTH};
    }

private:
    ProfilePtr profile_;
};

HRESULT ab_open(const ProfilePtr& profile, ULONG cb, const ENTRYID* eid, LPCIID iid, ULONG flags,
                ULONG* type, LPUNKNOWN* out);

// OpenEntry of the address book and its containers: any entry of the
// profile's address book.
template <class Base>
class OpensAbEntries : public OpensEntries<Base> {
protected:
    explicit OpensAbEntries(ProfilePtr profile) : profile_(std::move(profile)) {}

    HRESULT open_entry(ULONG cb, const ENTRYID* eid, LPCIID iid, ULONG flags, ULONG* type,
                       LPUNKNOWN* out, Call&) override
    {
        return ab_open(profile_, cb, eid, iid, flags, type, out);
    }

    ProfilePtr profile_;
};

class MailUserObject final : public PropObject<IMailUser> {
public:
    MailUserObject(std::shared_ptr<AbContainer> c, std::uint32_t number)
        : c_(std::move(c)), number_(number)
    {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        return query(this, riid, out, {&IID_IUnknown, &IID_IMAPIProp, &IID_IMailUser});
    }

protected:
    const char* iface() const override { return "IMailUser"; }
    std::optional<Value> read(ULONG tag) override
    {
        const AbEntry* e = c_->find_entry(number_);
        return e ? entry_prop(c_->number, *e, tag) : std::nullopt;
    }
    std::vector<ULONG> list() override
    {
        std::vector<ULONG> tags;
        if (const AbEntry* e = c_->find_entry(number_))
            for (auto& [id, v] : e->props) tags.push_back(v.tag());
        for (ULONG t : {PR_ENTRYID, PR_OBJECT_TYPE, PR_DISPLAY_TYPE}) tags.push_back(t);
        return tags;
    }
    HRESULT alive() override { return c_->find_entry(number_) ? S_OK : MAPI_E_OBJECT_DELETED; }

private:
    std::shared_ptr<AbContainer> c_;
    std::uint32_t number_;
};

// A container of the address book, or (with a distribution list's number)
// one of its entries that is a distribution list: IDistList has the same
// methods, and its members are not modelled, so its contents table is empty.
class AbContainerObject final : public OpensAbEntries<PropObject<IABContainer>> {
public:
    AbContainerObject(ProfilePtr profile, std::shared_ptr<AbContainer> c,
                      std::uint32_t dist_list = 0)
        : OpensAbEntries(std::move(profile)), c_(std::move(c)), dist_list_(dist_list)
    {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        return query(this, riid, out,
                     {&IID_IUnknown, &IID_IMAPIProp, &IID_IMAPIContainer,
                      dist_list_ ? &IID_IDistList : &IID_IABContainer});
    }

    HRESULT STDMETHODCALLTYPE GetContentsTable(ULONG flags, LPMAPITABLE* out) override
    {
        Call call(&err_, iface(), "GetContentsTable", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        if (!c_) return call.fail(MAPI_E_NO_SUPPORT, "the root container holds no entries");
        if (dist_list_)
            *out = new_bag_table({}, EntriesSource(c_).columns(), flags);
        else
            *out = new_table(std::make_unique<EntriesSource>(c_), flags);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE GetHierarchyTable(ULONG flags, LPMAPITABLE* out) override
    {
        Call call(&err_, iface(), "GetHierarchyTable", flags);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!out) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        if (dist_list_) return call.fail(MAPI_E_NO_SUPPORT, "a distribution list has no hierarchy");
        if (c_)
            *out = new_bag_table({}, {PR_ENTRYID, PR_DISPLAY_NAME_A}, flags);
        else
            *out = new_table(std::make_unique<ContainersSource>(profile_), flags);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE SetSearchCriteria(LPSRestriction, LPENTRYLIST, ULONG flags) override
    {
        return unsupported("SetSearchCriteria", flags);
    }
    HRESULT STDMETHODCALLTYPE GetSearchCriteria(ULONG flags, LPSRestriction*, LPENTRYLIST*,
                                                ULONG*) override
    {
        return unsupported("GetSearchCriteria", flags);
    }
    HRESULT STDMETHODCALLTYPE CreateEntry(ULONG, LPENTRYID, ULONG flags, LPMAPIPROP*) override
    {
        return unsupported("CreateEntry", flags);
    }
    HRESULT STDMETHODCALLTYPE CopyEntries(LPENTRYLIST, MAPIDEFS_UIPARAM, LPMAPIPROGRESS,
                                          ULONG flags) override
    {
        return unsupported("CopyEntries", flags);
    }
    HRESULT STDMETHODCALLTYPE DeleteEntries(LPENTRYLIST, ULONG flags) override
    {
        return unsupported("DeleteEntries", flags);
    }
    HRESULT STDMETHODCALLTYPE ResolveNames(LPSPropTagArray, ULONG flags, LPADRLIST,
                                           LPFlagList) override
    {
        return unsupported("ResolveNames", flags);
    }

protected:
    const char* iface() const override { return dist_list_ ? "IDistList" : "IABContainer"; }
    std::optional<Value> read(ULONG tag) override
    {
        if (!dist_list_) return container_prop(c_.get(), tag);
        const AbEntry* e = c_->find_entry(dist_list_);
        return e ? entry_prop(c_->number, *e, tag) : std::nullopt;
    }
    std::vector<ULONG> list() override
    {
        if (!dist_list_)
            return {PR_ENTRYID, PR_OBJECT_TYPE, PR_DISPLAY_TYPE, PR_DISPLAY_NAME_A,
                    PR_CONTAINER_FLAGS};
        std::vector<ULONG> tags;
        if (const AbEntry* e = c_->find_entry(dist_list_))
            for (auto& [id, v] : e->props) tags.push_back(v.tag());
        for (ULONG t : {PR_ENTRYID, PR_OBJECT_TYPE}) tags.push_back(t);
        return tags;
    }
    HRESULT alive() override
    {
        return !dist_list_ || c_->find_entry(dist_list_) ? S_OK : MAPI_E_OBJECT_DELETED;
    }
    const char* unsupported_why() const override { return "the address book is read-only"; }

private:
    std::shared_ptr<AbContainer> c_; // null for the root
    std::uint32_t dist_list_;        // a distribution list's entry number in c_, or 0
};

class AddrBookObject final : public OpensAbEntries<ComparesEntryIds<PropObject<IAddrBook>>> {
public:
    explicit AddrBookObject(ProfilePtr profile) : OpensAbEntries(std::move(profile)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        return query(this, riid, out, {&IID_IUnknown, &IID_IMAPIProp, &IID_IAddrBook});
    }

    HRESULT STDMETHODCALLTYPE Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG*) override
    {
        return unsupported("Advise", 0);
    }
    HRESULT STDMETHODCALLTYPE Unadvise(ULONG) override { return unsupported("Unadvise", 0); }
    HRESULT STDMETHODCALLTYPE CreateOneOff(LPSTR, LPSTR, LPSTR, ULONG flags, ULONG*,
                                           LPENTRYID*) override
    {
        return unsupported("CreateOneOff", flags);
    }
    HRESULT STDMETHODCALLTYPE NewEntry(ULONG_PTR, ULONG flags, ULONG, LPENTRYID, ULONG, LPENTRYID,
                                       ULONG*, LPENTRYID*) override
    {
        return unsupported("NewEntry", flags);
    }
    HRESULT STDMETHODCALLTYPE ResolveName(ULONG_PTR, ULONG flags, LPSTR, LPADRLIST) override
    {
        return unsupported("ResolveName", flags);
    }

    HRESULT STDMETHODCALLTYPE Address(ULONG_PTR* ui, LPADRPARM parm, LPADRLIST* list) override
    {
        Call call(&err_, kIface, "Address", parm ? parm->ulFlags : 0);
        call.arg("ui", ui ? static_cast<ULONG>(*ui) : 0)
            .arg("dest_fields", parm ? parm->cDestFields : 0)
            .arg("caption", parm ? parm->lpszCaption : nullptr);
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!ui || !parm) return call.fail(MAPI_E_INVALID_PARAMETER, "no window or no parameters");
        if (parm->cDestFields && !list)
            return call.fail(MAPI_E_INVALID_PARAMETER, "no address list");
        const HRESULT scripted = model::current().script.address_dialog_result;
        ShownAddressDialog shown;
        shown.shown = true;
        shown.window = *ui;
        shown.flags = parm->ulFlags;
        shown.dest_fields = parm->cDestFields;
        shown.address_list = list != nullptr;
        shown.caption_given = parm->lpszCaption != nullptr;
        if (parm->lpszCaption) shown.caption = parm->lpszCaption;
        shown.result = scripted;
        record_address_dialog(std::move(shown));
        return FAILED(scripted) ? call.fail(scripted, "the user's dialog result")
                                : call.done(scripted);
    }

    HRESULT STDMETHODCALLTYPE Details(MAPIDEFS_UIPARAM*, LPFNDISMISS, LPVOID, ULONG, LPENTRYID,
                                      LPFNBUTTON, LPVOID, LPSTR, ULONG flags) override
    {
        return unsupported("Details", flags);
    }
    HRESULT STDMETHODCALLTYPE RecipOptions(ULONG_PTR, ULONG flags, LPADRENTRY) override
    {
        return unsupported("RecipOptions", flags);
    }
    HRESULT STDMETHODCALLTYPE QueryDefaultRecipOpt(LPSTR, ULONG flags, ULONG*,
                                                   LPSPropValue*) override
    {
        return unsupported("QueryDefaultRecipOpt", flags);
    }

    HRESULT STDMETHODCALLTYPE GetPAB(ULONG* cb, LPENTRYID* eid) override
    {
        Call call(&err_, kIface, "GetPAB");
        if (HRESULT h = call.begin(); h != S_OK) return h;
        if (!cb || !eid) return call.fail(MAPI_E_INVALID_PARAMETER, "no place for the result");
        *cb = 0;
        *eid = nullptr;
        const std::uint32_t pab = profile_->address_book.pab;
        if (!pab || !profile_->address_book.find_container(pab)) return call.done(S_OK);
        const model::Bytes bytes = encode({Kind::AbContainer, 0, pab, false});
        void* p = nullptr;
        if (HRESULT hr = alloc_bytes(bytes.data(), bytes.size(), nullptr, &p); FAILED(hr))
            return call.fail(hr, "out of memory");
        *cb = static_cast<ULONG>(bytes.size());
        *eid = static_cast<LPENTRYID>(p);
        return call.done(S_OK);
    }

    HRESULT STDMETHODCALLTYPE SetPAB(ULONG, LPENTRYID) override { return unsupported("SetPAB", 0); }
    HRESULT STDMETHODCALLTYPE GetDefaultDir(ULONG*, LPENTRYID*) override
    {
        return unsupported("GetDefaultDir", 0);
    }
    HRESULT STDMETHODCALLTYPE SetDefaultDir(ULONG, LPENTRYID) override
    {
        return unsupported("SetDefaultDir", 0);
    }
    HRESULT STDMETHODCALLTYPE GetSearchPath(ULONG flags, LPSRowSet*) override
    {
        return unsupported("GetSearchPath", flags);
    }
    HRESULT STDMETHODCALLTYPE SetSearchPath(ULONG flags, LPSRowSet) override
    {
        return unsupported("SetSearchPath", flags);
    }
    HRESULT STDMETHODCALLTYPE PrepareRecips(ULONG flags, LPSPropTagArray, LPADRLIST) override
    {
        return unsupported("PrepareRecips", flags);
    }

protected:
    const char* iface() const override { return kIface; }
    std::optional<Value> read(ULONG tag) override
    {
        if (PROP_ID(tag) == PROP_ID(PR_OBJECT_TYPE)) return Value::i4(tag, MAPI_ADDRBOOK);
        return std::nullopt;
    }
    std::vector<ULONG> list() override { return {PR_OBJECT_TYPE}; }

private:
    static constexpr const char* kIface = "IAddrBook";
};

HRESULT ab_open(const ProfilePtr& profile, ULONG cb, const ENTRYID* eid, LPCIID iid, ULONG,
                ULONG* type, LPUNKNOWN* out)
{
    if (cb == 0 || !eid) {
        *type = MAPI_ABCONT;
        return hand_out(new AbContainerObject(profile, nullptr), iid, out);
    }
    auto id = decode(cb, eid);
    if (!id) return MAPI_E_UNKNOWN_ENTRYID;
    const auto& ab = profile->address_book;
    if (id->kind == Kind::AbContainer) {
        if (id->number == 0) {
            *type = MAPI_ABCONT;
            return hand_out(new AbContainerObject(profile, nullptr), iid, out);
        }
        auto c = ab.find_container(id->number);
        if (!c) return MAPI_E_NOT_FOUND;
        *type = MAPI_ABCONT;
        return hand_out(new AbContainerObject(profile, c), iid, out);
    }
    if (id->kind == Kind::AbEntry) {
        auto c = ab.find_container(id->store);
        const AbEntry* e = c ? c->find_entry(id->number) : nullptr;
        if (!e) return MAPI_E_NOT_FOUND;
        if (is_dist_list(*e)) {
            *type = MAPI_DISTLIST;
            return hand_out(new AbContainerObject(profile, c, id->number), iid, out);
        }
        *type = MAPI_MAILUSER;
        return hand_out(new MailUserObject(c, id->number), iid, out);
    }
    return MAPI_E_UNKNOWN_ENTRYID;
}

} // namespace

IAddrBook* new_address_book(ProfilePtr profile) { return new AddrBookObject(std::move(profile)); }

} // namespace mapisim::mapi
