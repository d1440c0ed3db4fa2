#include "mapisim/model/world.h"

#include <algorithm>

#include "mapisim/core/stand_in_lock.h"
#include "mapisim/decl/mapitags.h"

namespace mapisim::model {
namespace {

std::shared_ptr<World>& installed()
{
    static std::shared_ptr<World> world = std::make_shared<World>();
    return world;
}

} // namespace

AbEntry& AbContainer::add_entry(const std::string& name, const std::string& addrtype,
                                const std::string& address)
{
    AbEntry e;
    std::uint32_t next = 1;
    for (auto& existing : entries) next = std::max(next, existing.number + 1);
    e.number = next;
    e.props.set(Value::string8(PR_DISPLAY_NAME_A, name));
    e.props.set(Value::string8(PR_ADDRTYPE_A, addrtype));
    e.props.set(Value::string8(PR_EMAIL_ADDRESS_A, address));
    e.props.set(Value::i4(PR_DISPLAY_TYPE, DT_MAILUSER));
    entries.push_back(std::move(e));
    touch();
    return entries.back();
}

const AbEntry* AbContainer::find_entry(std::uint32_t n) const
{
    for (auto& e : entries)
        if (e.number == n) return &e;
    return nullptr;
}

AbContainer& AddressBook::add_container(const std::string& display_name, bool is_pab)
{
    auto c = std::make_shared<AbContainer>();
    c->number = next_++;
    c->display_name = display_name;
    if (is_pab) pab = c->number;
    containers_.push_back(c);
    return *c;
}

std::shared_ptr<AbContainer> AddressBook::find_container(std::uint32_t number) const
{
    for (auto& c : containers_)
        if (c->number == number) return c;
    return nullptr;
}

std::shared_ptr<Store> Profile::add_store(const std::string& display_name,
                                          const std::string& provider_display)
{
    auto s =
        std::make_shared<Store>(world_->allocate_store_number(), display_name, provider_display);
    stores.push_back(s);
    return s;
}

StatusRow& Profile::add_transport(const std::string& display_name,
                                  const std::string& provider_display,
                                  std::optional<ULONG> status_code)
{
    StatusRow r;
    r.display_name = display_name;
    r.provider_display = provider_display;
    r.resource_type = MAPI_TRANSPORT_PROVIDER;
    r.status_code = status_code;
    status_rows.push_back(std::move(r));
    return status_rows.back();
}

std::shared_ptr<Store> Profile::find_store(std::uint32_t number) const
{
    for (auto& s : stores)
        if (s->number() == number) return s;
    return nullptr;
}

Profile& World::add_profile(const std::string& name, bool is_default)
{
    profiles.push_back(std::make_shared<Profile>(*this, name, is_default));
    return *profiles.back();
}

std::shared_ptr<Profile> World::find_profile(const std::string& name) const
{
    for (auto& p : profiles)
        if (equal_nocase(p->name, name)) return p;
    return nullptr;
}

std::shared_ptr<Profile> World::default_profile() const
{
    for (auto& p : profiles)
        if (p->is_default) return p;
    return nullptr;
}

// MAPI calls read the installed world under the stand-in lock; installing
// one takes it too, so that a load and calls on other threads do not meet.
World& current() { return *installed(); }
std::shared_ptr<World> current_ptr()
{
    const StandInGuard guard;
    return installed();
}

void install(std::shared_ptr<World> world)
{
    const StandInGuard guard;
    installed() = world ? std::move(world) : std::make_shared<World>();
    touch();
}

} // namespace mapisim::model
