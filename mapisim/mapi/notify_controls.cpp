// The notification controls declared in mapisim.h.
#include "mapisim/decl/mapitags.h"
#include "mapisim/loader/loader.h"
#include "mapisim/mapi/calls.h"
#include "mapisim/mapi/notify.h"
#include "mapisim/mapi/props.h"
#include "mapisim/mapisim.h"

using namespace mapisim;

namespace {

std::shared_ptr<model::Store> find_store(const char* name)
{
    model::World& world = model::current();
    if (!name || !*name) {
        auto profile = world.default_profile();
        if (!profile) return nullptr;
        for (auto& s : profile->stores)
            if (s->is_default) return s;
        return profile->stores.empty() ? nullptr : profile->stores.front();
    }
    for (auto& profile : world.profiles)
        for (auto& s : profile->stores)
            if (model::equal_nocase(s->display_name, name)) return s;
    return nullptr;
}

// The folder at a path below the top of the store's folder tree.
std::shared_ptr<model::Folder> find_folder(const model::Store& store, const std::string& path,
                                           std::string& error)
{
    auto folder = store.ipm_subtree ? store.find_folder(store.ipm_subtree) : store.root();
    if (!folder) folder = store.root();
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string name = path.substr(start, end - start);
        start = end + 1;
        if (name.empty()) continue;
        auto sub = folder->find_subfolder(name);
        if (!sub) {
            error = "no folder \"" + name + "\" in \"" + folder->display_name() + "\"";
            return nullptr;
        }
        folder = sub;
    }
    return folder;
}

int32_t deliver(const char* store_name, const char* folder_path, const char* text,
                std::string& error)
{
    if (!text) {
        error = "no messages given";
        return -1;
    }
    auto store = find_store(store_name);
    if (!store) {
        error = store_name && *store_name ? "no store \"" + std::string(store_name) + "\""
                                          : "no default store";
        return -1;
    }
    std::shared_ptr<model::Folder> fixed;
    if (folder_path && *folder_path && !(fixed = find_folder(*store, folder_path, error)))
        return -1;
    std::vector<std::shared_ptr<model::Message>> messages;
    if (!loader::load_messages(text, *store, messages, error)) return -1;
    // Check every destination before the first delivery: all or nothing.
    std::vector<std::shared_ptr<model::Folder>> folders;
    for (auto& m : messages) {
        auto folder = fixed;
        if (!folder) {
            const std::string cls = m->props.text(PR_MESSAGE_CLASS_A).value_or("IPM.Note");
            const std::uint32_t number = store->receive_folder(cls).first;
            folder = number ? store->find_folder(number) : nullptr;
            if (!folder) {
                error = "no receive folder for the class \"" + cls + "\"";
                return -1;
            }
        }
        folders.push_back(std::move(folder));
    }
    for (std::size_t i = 0; i < messages.size(); ++i) {
        model::Message& m = *messages[i];
        if (!m.props.contains(PR_MESSAGE_DELIVERY_TIME))
            m.props.set(model::Value::systime(PR_MESSAGE_DELIVERY_TIME, mapi::now()));
        if (!m.props.contains(PR_MESSAGE_FLAGS)) m.props.set(model::Value::i4(PR_MESSAGE_FLAGS, 0));
        mapi::notify::Batch batch;
        store->attach_message(*folders[i], messages[i]);
        mapi::notify::new_mail(*store, m);
        mapi::notify::message_created(*store, m);
    }
    error.clear();
    return static_cast<int32_t>(messages.size());
}

model::Bytes bytes_of(const unsigned char* p, uint32_t size)
{
    return p && size ? model::Bytes(p, p + size) : model::Bytes{};
}

} // namespace

extern "C" {

// These two wait for the notification thread: they take no stand-in lock
// (the engine lets go of a caller's while it waits).
MAPISIM_EXPORT int mapisim_set_notification_thread(int on)
{
    try {
        return mapi::notify::set_threaded(on != 0) ? 0 : -1;
    } catch (...) {
        return -1; // no thread could be started
    }
}

MAPISIM_EXPORT void mapisim_wait_for_notifications(void) { mapi::notify::wait_idle(); }

MAPISIM_EXPORT int32_t mapisim_deliver_mail(const char* store_name, const char* folder_path,
                                            const char* message_json)
{
    const StandInGuard guard;
    std::string& error = loader::last_error();
    try {
        return deliver(store_name, folder_path, message_json, error);
    } catch (const std::bad_alloc&) {
        error = "out of memory while delivering";
        return -1;
    }
}

MAPISIM_EXPORT int mapisim_raise_notifications(void* object, const mapisim_notification* list,
                                               uint32_t count)
{
    const StandInGuard guard;
    if (!object || !list || count == 0 || count > mapi::kMaxItems) return -1;
    try {
        std::vector<mapi::Event> events;
        for (uint32_t i = 0; i < count; ++i) {
            const mapisim_notification& n = list[i];
            mapi::Event e;
            e.type = n.event_type;
            e.object_type = n.object_type;
            e.entry = bytes_of(n.entry_id, n.entry_id_size);
            e.parent = bytes_of(n.parent_id, n.parent_id_size);
            e.old_entry = bytes_of(n.old_id, n.old_id_size);
            e.old_parent = bytes_of(n.old_parent_id, n.old_parent_id_size);
            events.push_back(std::move(e));
        }
        return mapi::notify::raise_on_object(object, std::move(events)) ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

} // extern "C"
