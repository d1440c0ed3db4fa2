// The C controls that load real Outlook files (mapisim.h). The readers
// themselves are rooms of their own (msg/, pst/), built where their
// packages are.
#include <new>
#include <string>
#include <vector>

#include "mapisim/core/stand_in_lock.h"
#include "mapisim/decl/mapitags.h"
#include "mapisim/loader/loader.h"
#include "mapisim/mapisim.h"
#include "mapisim/model/world.h"
#if MAPISIM_HAVE_MSG
#include "mapisim/loader/msg/msg_reader.h"
#endif
#if MAPISIM_HAVE_PST
#include "mapisim/loader/pst/pst_reader.h"
#endif

namespace {

using mapisim::loader::last_error;
namespace model = mapisim::model;

constexpr const char* kStoreName = "Personal Folders";

// Unused when neither reader is built (a -m32 build beside 64-bit packages).
[[maybe_unused]] model::Profile& outlook_profile(model::World& world)
{
    return world.add_profile("Outlook", /*is_default=*/true);
}

[[maybe_unused]] void make_default(model::Store& store)
{
    store.is_default = true;
    store.resource_flags = STATUS_DEFAULT_STORE | STATUS_PRIMARY_STORE;
}

// Runs load, which builds a world or throws; installs it on success.
template <class Load>
int load_world(Load load)
{
    const mapisim::StandInGuard guard;
    std::string& error = last_error();
    try {
        auto world = std::make_shared<model::World>();
        load(*world);
        model::install(std::move(world));
        error.clear();
        return 0;
    } catch (const std::bad_alloc&) {
        error = "out of memory while loading";
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = "unexpected failure while loading";
    }
    return -1;
}

} // namespace

extern "C" {

MAPISIM_EXPORT int mapisim_can_read(const char* kind)
{
    const std::string k = kind ? kind : "";
    return (k == "msg" && MAPISIM_HAVE_MSG) || (k == "pst" && MAPISIM_HAVE_PST);
}

MAPISIM_EXPORT int mapisim_load_msg_files(const char* const* paths, uint32_t count)
{
    if (!paths || count == 0) {
        const mapisim::StandInGuard guard;
        last_error() = "no .msg files given";
        return -1;
    }
    return load_world([&](model::World& world) {
#if MAPISIM_HAVE_MSG
        auto store = outlook_profile(world).add_store(kStoreName, kStoreName);
        make_default(*store);
        auto top = store->add_folder(*store->root(), "Top of Personal Folders");
        store->ipm_subtree = top->number();
        auto inbox = store->add_folder(*top, "Inbox", "IPF.Note");
        store->set_receive_folder("", *inbox);
        auto deleted = store->add_folder(*top, "Deleted Items", "IPF.Note");
        store->wastebasket = deleted->number();
        for (uint32_t i = 0; i < count; ++i) {
            if (!paths[i] || !*paths[i]) throw std::runtime_error("an empty .msg file name");
            store->attach_message(*inbox, mapisim::loader::msg::read_msg_file(paths[i], *store));
        }
#else
        (void)world;
        throw std::runtime_error("this stand-in was built without the .msg reader (libgsf-1-dev)");
#endif
    });
}

MAPISIM_EXPORT int mapisim_load_pst_file(const char* path)
{
    if (!path || !*path) {
        const mapisim::StandInGuard guard;
        last_error() = "no .pst file given";
        return -1;
    }
    return load_world([&](model::World& world) {
#if MAPISIM_HAVE_PST
        make_default(*mapisim::loader::pst::open_pst(outlook_profile(world), path));
#else
        (void)world;
        throw std::runtime_error("this stand-in was built without the .pst reader (libpff-dev)");
#endif
    });
}

} // extern "C"
