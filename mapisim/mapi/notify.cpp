#include "mapisim/mapi/notify.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "mapisim/core/stand_in_lock.h"
#include "mapisim/decl/mapitags.h"
#include "mapisim/mapi/alloc.h"
#include "mapisim/mapi/props.h"

namespace mapisim::mapi {
namespace {

struct Registration {
    const AdviseSinks* owner = nullptr;
    const void* object = nullptr;
    std::shared_ptr<const model::Store> store; // store sinks
    std::optional<EntryId> only;
    TableWatch* table = nullptr; // table sinks
    ULONG mask = 0;
    IMAPIAdviseSink* sink = nullptr;
};

struct Job {
    ULONG connection = 0;
    std::vector<Event> events;
};

struct Raised {
    const model::Store* store;
    Event event;
};

// A delivery under way: Unadvise waits for it unless it comes from the
// sink's own call, in which case the sink's reference is given back once
// that call has returned.
struct InFlight {
    ULONG connection;
    std::thread::id thread;
    IMAPIAdviseSink* release_after = nullptr;
};

bool names(const std::optional<EntryId>& only, const model::Bytes& bytes)
{
    if (bytes.empty()) return false;
    auto id = decode(static_cast<ULONG>(bytes.size()), bytes.data());
    return id && *id == *only;
}

bool matches(const Registration& r, const Event& e)
{
    if (!(r.mask & e.type)) return false;
    if (!r.only) return true;
    if (names(r.only, e.entry) || names(r.only, e.old_entry)) return true;
    return r.only->kind == Kind::Folder && (names(r.only, e.parent) || names(r.only, e.old_parent));
}

// What the sink is given: the notifications and everything they point to,
// valid during OnNotify only. Debug builds overwrite it all afterwards so
// that a sink keeping a pointer reads garbage (and the sanitizer build,
// freed memory) instead of a plausible identifier.
class LaidOut {
public:
    explicit LaidOut(const std::vector<Event>& events)
    {
        notes_.resize(events.size());
        for (std::size_t i = 0; i < events.size(); ++i) lay(events[i], notes_[i]);
    }
    ~LaidOut()
    {
#ifndef NDEBUG
        for (auto& b : bytes_) std::memset(b->data(), 0xDD, b->size());
        std::memset(static_cast<void*>(notes_.data()), 0xDD, notes_.size() * sizeof(NOTIFICATION));
#endif
        for (SPropValue* p : rows_) MAPIFreeBuffer(p);
    }
    LaidOut(const LaidOut&) = delete;
    LaidOut& operator=(const LaidOut&) = delete;

    ULONG count() const { return static_cast<ULONG>(notes_.size()); }
    NOTIFICATION* data() { return notes_.data(); }

private:
    LPENTRYID keep(const model::Bytes& b, ULONG& size)
    {
        size = static_cast<ULONG>(b.size());
        if (b.empty()) return nullptr;
        bytes_.push_back(std::make_unique<model::Bytes>(b));
        return reinterpret_cast<LPENTRYID>(bytes_.back()->data());
    }

    void lay(const Event& e, NOTIFICATION& n)
    {
        std::memset(static_cast<void*>(&n), 0, sizeof n);
        n.ulEventType = e.type;
        if (e.type == fnevNewMail) {
            auto& m = n.info.newmail;
            m.lpEntryID = keep(e.entry, m.cbEntryID);
            m.lpParentID = keep(e.parent, m.cbParentID);
            message_class_ = std::make_unique<std::string>(e.message_class);
            m.lpszMessageClass = message_class_->data();
            m.ulMessageFlags = e.message_flags;
        } else if (e.type == fnevTableModified && e.table_event != 0) {
            lay_table(e, n.info.tab);
        } else {
            // Object notifications, and any other event at the same places.
            auto& o = n.info.obj;
            o.ulObjType = e.object_type;
            o.lpEntryID = keep(e.entry, o.cbEntryID);
            o.lpParentID = keep(e.parent, o.cbParentID);
            o.lpOldID = keep(e.old_entry, o.cbOldID);
            o.lpOldParentID = keep(e.old_parent, o.cbOldParentID);
        }
    }

    void lay_table(const Event& e, TABLE_NOTIFICATION& t)
    {
        t.ulTableEvent = e.table_event;
        t.propIndex.ulPropTag = PR_NULL;
        t.propPrior.ulPropTag = PR_NULL;
        if (e.table_event == TABLE_CHANGED) return;
        std::vector<Value> values{e.index, e.prior};
        values.insert(values.end(), e.row.begin(), e.row.end());
        ULONG n = 0;
        SPropValue* p = nullptr;
        if (FAILED(make_prop_array(values, &n, &p))) {
            // No memory for the row: tell the client to read the table again.
            t.ulTableEvent = TABLE_CHANGED;
            return;
        }
        rows_.push_back(p);
        t.propIndex = p[0];
        if (e.prior.tag() != PR_NULL) t.propPrior = p[1]; // PR_NULL: the row comes first
        t.row.cValues = n - 2;
        t.row.lpProps = n > 2 ? p + 2 : nullptr;
    }

    std::vector<NOTIFICATION> notes_;
    std::vector<std::unique_ptr<model::Bytes>> bytes_;
    std::unique_ptr<std::string> message_class_;
    std::vector<SPropValue*> rows_;
};

class Engine {
public:
    ULONG add(Registration r)
    {
        IMAPIAdviseSink* sink = r.sink;
        sink->AddRef();
        std::lock_guard<std::mutex> lock(mutex_);
        const ULONG connection = next_++;
        regs_.emplace(connection, std::move(r));
        return connection;
    }

    bool remove(const AdviseSinks* owner, ULONG connection)
    {
        bool found = false;
        for (IMAPIAdviseSink* sink : take(owner, connection, found)) sink->Release();
        return found;
    }

    void remove_all(const AdviseSinks* owner)
    {
        bool found = false;
        for (IMAPIAdviseSink* sink : take(owner, 0, found)) sink->Release();
    }

    void flush(std::vector<Raised> raised, bool bulk)
    {
        if (raised.empty()) return;
        std::vector<Job> jobs;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            std::map<TableWatch*, std::vector<Event>> tables;
            for (auto& [connection, r] : regs_) {
                Job job{connection, {}};
                if (r.store) {
                    for (const Raised& x : raised)
                        if (x.store == r.store.get() && matches(r, x.event))
                            job.events.push_back(x.event);
                } else if (r.table) {
                    auto [it, fresh] = tables.try_emplace(r.table);
                    if (fresh) it->second = table_events(*r.table, raised, bulk);
                    for (const Event& e : it->second)
                        if (r.mask & e.type) job.events.push_back(e);
                }
                if (!job.events.empty()) jobs.push_back(std::move(job));
            }
            if (threaded_) {
                for (Job& j : jobs) queue_.push_back(std::move(j));
                wake_.notify_all();
                return;
            }
        }
        for (const Job& j : jobs) deliver(j);
    }

    bool raise_on_object(const void* object, std::vector<Event> events)
    {
        std::vector<Job> jobs;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const model::Store* store = nullptr;
            bool found = false;
            for (auto& [connection, r] : regs_)
                if (r.object == object) {
                    found = true;
                    if (r.store) store = r.store.get();
                }
            if (!found) return false;
            for (auto& [connection, r] : regs_)
                if (r.object == object || (store && r.store.get() == store))
                    jobs.push_back({connection, events});
            if (threaded_) {
                for (Job& j : jobs) queue_.push_back(std::move(j));
                wake_.notify_all();
                return true;
            }
        }
        for (const Job& j : jobs) deliver(j);
        return true;
    }

    bool set_threaded(bool on)
    {
        // Ending the thread waits for its sinks, which may be waiting for
        // the stand-in lock.
        const StandInRelease unlocked;
        std::unique_lock<std::mutex> lock(mutex_);
        if (std::this_thread::get_id() == worker_id_) return false;
        if (on == threaded_) return true;
        if (on) {
            threaded_ = true;
            stop_ = false;
            worker_ = std::thread([this] { work(); });
            worker_id_ = worker_.get_id();
            return true;
        }
        threaded_ = false;
        stop_ = true;
        wake_.notify_all();
        lock.unlock();
        worker_.join();
        lock.lock();
        worker_id_ = {};
        return true;
    }

    void wait_idle()
    {
        const StandInRelease unlocked; // as set_threaded
        std::unique_lock<std::mutex> lock(mutex_);
        if (std::this_thread::get_id() == worker_id_) return;
        idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
    }

private:
    // Takes the owner's registrations out (the one connection, or all of
    // them for 0) before anything waits, so that no delivery starts on them
    // meanwhile; then waits for their deliveries under way on other threads.
    // Gives the sinks to release now; a sink whose own call is under way on
    // this thread is released when that call returns.
    std::vector<IMAPIAdviseSink*> take(const AdviseSinks* owner, ULONG connection, bool& found)
    {
        std::vector<std::pair<ULONG, IMAPIAdviseSink*>> taken;
        const auto self = std::this_thread::get_id();
        const auto busy_elsewhere = [&] {
            return std::any_of(in_flight_.begin(), in_flight_.end(), [&](const InFlight& f) {
                return f.thread != self &&
                       std::any_of(taken.begin(), taken.end(),
                                   [&](const auto& t) { return t.first == f.connection; });
            });
        };
        std::unique_lock<std::mutex> lock(mutex_);
        for (auto it = regs_.begin(); it != regs_.end();) {
            if (it->second.owner == owner && (connection == 0 || it->first == connection)) {
                taken.emplace_back(it->first, it->second.sink);
                it = regs_.erase(it);
            } else {
                ++it;
            }
        }
        found = !taken.empty();
        if (!busy_elsewhere()) return hand_over(taken, self);
        lock.unlock();
        // Those deliveries may be waiting for the stand-in lock (their sinks
        // make calls): let go of it, and take it back only after this lock.
        const StandInRelease unlocked;
        std::unique_lock<std::mutex> relock(mutex_);
        idle_.wait(relock, [&] { return !busy_elsewhere(); });
        return hand_over(taken, self);
    }

    // Under mutex_: the sinks to release now, the others marked for release
    // when their delivery on this thread returns.
    std::vector<IMAPIAdviseSink*> hand_over(
        const std::vector<std::pair<ULONG, IMAPIAdviseSink*>>& taken, std::thread::id self)
    {
        std::vector<IMAPIAdviseSink*> now;
        for (const auto& one : taken) {
            auto f = std::find_if(in_flight_.begin(), in_flight_.end(), [&](const InFlight& x) {
                return x.connection == one.first && x.thread == self;
            });
            if (f != in_flight_.end())
                f->release_after = one.second;
            else
                now.push_back(one.second);
        }
        return now;
    }

    std::vector<Event> table_events(TableWatch& table, const std::vector<Raised>& raised, bool bulk)
    {
        std::vector<Event> out;
        for (const Raised& x : raised) {
            auto events = table.table_events(*x.store, x.event);
            out.insert(out.end(), std::make_move_iterator(events.begin()),
                       std::make_move_iterator(events.end()));
        }
        if (bulk && !out.empty()) {
            Event changed;
            changed.type = fnevTableModified;
            changed.table_event = TABLE_CHANGED;
            out.assign(1, changed);
        }
        return out;
    }

    void deliver(const Job& job)
    {
        IMAPIAdviseSink* sink = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = regs_.find(job.connection);
            if (it == regs_.end()) return; // unadvised since it was raised
            sink = it->second.sink;
            in_flight_.push_back({job.connection, std::this_thread::get_id()});
        }
        {
            LaidOut laid(job.events);
            sink->OnNotify(laid.count(), laid.data());
        }
        IMAPIAdviseSink* release = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto self = std::this_thread::get_id();
            for (auto it = in_flight_.end(); it != in_flight_.begin();) {
                --it;
                if (it->connection == job.connection && it->thread == self) {
                    release = it->release_after;
                    in_flight_.erase(it);
                    break;
                }
            }
            idle_.notify_all();
        }
        if (release) release->Release();
    }

    void work()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (queue_.empty()) break; // stopping, with everything delivered
            Job job = std::move(queue_.front());
            queue_.pop_front();
            busy_ = true;
            lock.unlock();
            deliver(job);
            lock.lock();
            busy_ = false;
            idle_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_; // the worker: work queued, or stop
    std::condition_variable idle_; // deliveries ended
    std::map<ULONG, Registration> regs_;
    ULONG next_ = 1;
    std::vector<InFlight> in_flight_;
    bool threaded_ = false;
    bool stop_ = false;
    bool busy_ = false;
    std::deque<Job> queue_;
    std::thread worker_;
    std::thread::id worker_id_;
};

// Never destroyed: a notification thread may outlive static destruction.
Engine& engine()
{
    static Engine* e = new Engine;
    return *e;
}

struct PendingBatch {
    int depth = 0;
    bool bulk = false;
    std::vector<Raised> raised;
};
// This thread's open batch, made by its outermost Batch and deleted by it.
// A plain pointer rather than the object itself: a thread-local object with
// a destructor has the C++ runtime delete a thread key while the stand-in's
// DLL is unloaded at process exit, and with mingw-w64's threads that can
// wait for ever on a thread the exit has already ended.
thread_local PendingBatch* pending = nullptr;

model::Bytes id_bytes(const EntryId& id) { return encode(id); }

void raise_object(const model::Store& store, ULONG type, ULONG object_type, model::Bytes entry,
                  model::Bytes parent, model::Bytes old_entry = {}, model::Bytes old_parent = {},
                  bool associated = false)
{
    Event e;
    e.type = type;
    e.object_type = object_type;
    e.entry = std::move(entry);
    e.parent = std::move(parent);
    e.old_entry = std::move(old_entry);
    e.old_parent = std::move(old_parent);
    e.associated = associated;
    notify::raise(store, std::move(e));
}

model::Bytes parent_bytes(const model::Store& store, const model::Folder& f)
{
    auto p = f.parent();
    return p ? id_bytes(folder_id(store, *p)) : model::Bytes{};
}

model::Bytes parent_bytes(const model::Store& store, const model::Message& m)
{
    auto p = m.parent();
    return p ? id_bytes(folder_id(store, *p)) : model::Bytes{};
}

} // namespace

AdviseSinks::~AdviseSinks() { engine().remove_all(this); }

ULONG AdviseSinks::add_store(std::shared_ptr<const model::Store> store, ULONG mask,
                             std::optional<EntryId> only, IMAPIAdviseSink* sink)
{
    Registration r;
    r.owner = this;
    r.object = object_;
    r.store = std::move(store);
    r.only = only;
    r.mask = mask;
    r.sink = sink;
    return engine().add(std::move(r));
}

ULONG AdviseSinks::add_table(TableWatch* table, ULONG mask, IMAPIAdviseSink* sink)
{
    Registration r;
    r.owner = this;
    r.object = object_;
    r.table = table;
    r.mask = mask;
    r.sink = sink;
    return engine().add(std::move(r));
}

bool AdviseSinks::remove(ULONG connection) { return engine().remove(this, connection); }

void AdviseSinks::clear() { engine().remove_all(this); }

namespace notify {

Batch::Batch(bool bulk)
{
    if (pending == nullptr) pending = new PendingBatch;
    ++pending->depth;
    pending->bulk = pending->bulk || bulk;
}

Batch::~Batch()
{
    if (--pending->depth > 0) return;
    std::vector<Raised> raised = std::move(pending->raised);
    const bool bulk = pending->bulk;
    delete std::exchange(pending, nullptr);
    try {
        engine().flush(std::move(raised), bulk);
    } catch (...) {
        // Out of memory while delivering: the notifications are lost, the
        // change itself stands.
    }
}

void raise(const model::Store& store, Event event)
{
    if (pending != nullptr) {
        pending->raised.push_back({&store, std::move(event)});
        return;
    }
    std::vector<Raised> one;
    one.push_back({&store, std::move(event)});
    engine().flush(std::move(one), false);
}

void folder_created(const model::Store& store, const model::Folder& folder)
{
    raise_object(store, fnevObjectCreated, MAPI_FOLDER, id_bytes(folder_id(store, folder)),
                 parent_bytes(store, folder));
}

void folder_modified(const model::Store& store, const model::Folder& folder)
{
    raise_object(store, fnevObjectModified, MAPI_FOLDER, id_bytes(folder_id(store, folder)),
                 parent_bytes(store, folder));
}

void folder_deleted(const model::Store& store, const model::Folder& folder,
                    const model::Folder& old_parent)
{
    raise_object(store, fnevObjectDeleted, MAPI_FOLDER, id_bytes(folder_id(store, folder)),
                 id_bytes(folder_id(store, old_parent)));
}

void folder_moved(const model::Store& store, const model::Folder& folder,
                  const model::Folder& old_parent)
{
    const model::Bytes id = id_bytes(folder_id(store, folder));
    raise_object(store, fnevObjectMoved, MAPI_FOLDER, id, parent_bytes(store, folder), id,
                 id_bytes(folder_id(store, old_parent)));
}

void folder_copied(const model::Store& store, const model::Folder& copy, const model::Store& from,
                   const model::Folder& original, const model::Folder& original_parent)
{
    raise_object(store, fnevObjectCopied, MAPI_FOLDER, id_bytes(folder_id(store, copy)),
                 parent_bytes(store, copy), id_bytes(folder_id(from, original)),
                 id_bytes(folder_id(from, original_parent)));
}

void message_created(const model::Store& store, const model::Message& message)
{
    raise_object(store, fnevObjectCreated, MAPI_MESSAGE, id_bytes(message_id(store, message)),
                 parent_bytes(store, message), {}, {}, message.associated);
}

void message_modified(const model::Store& store, const model::Message& message)
{
    raise_object(store, fnevObjectModified, MAPI_MESSAGE, id_bytes(message_id(store, message)),
                 parent_bytes(store, message), {}, {}, message.associated);
}

void message_deleted(const model::Store& store, const model::Message& message,
                     const model::Folder& old_parent)
{
    raise_object(store, fnevObjectDeleted, MAPI_MESSAGE, id_bytes(message_id(store, message)),
                 id_bytes(folder_id(store, old_parent)), {}, {}, message.associated);
}

void message_moved(const model::Store& store, const model::Message& message,
                   const model::Folder& old_parent)
{
    const model::Bytes id = id_bytes(message_id(store, message));
    raise_object(store, fnevObjectMoved, MAPI_MESSAGE, id, parent_bytes(store, message), id,
                 id_bytes(folder_id(store, old_parent)), message.associated);
}

void message_copied(const model::Store& store, const model::Message& copy, const model::Store& from,
                    const model::Message& original, const model::Folder& original_parent)
{
    raise_object(store, fnevObjectCopied, MAPI_MESSAGE, id_bytes(message_id(store, copy)),
                 parent_bytes(store, copy), id_bytes(message_id(from, original)),
                 id_bytes(folder_id(from, original_parent)), copy.associated);
}

void new_mail(const model::Store& store, const model::Message& message)
{
    Event e;
    e.type = fnevNewMail;
    e.object_type = MAPI_MESSAGE;
    e.entry = id_bytes(message_id(store, message));
    e.parent = parent_bytes(store, message);
    if (const Value* v = message.props.find(PR_MESSAGE_CLASS_A))
        if (auto text = v->get<std::string>()) e.message_class = *text;
    e.message_flags = static_cast<ULONG>(message.props.i4(PR_MESSAGE_FLAGS).value_or(0));
    raise(store, std::move(e));
}

bool raise_on_object(const void* object, std::vector<Event> events)
{
    return engine().raise_on_object(object, std::move(events));
}

bool set_threaded(bool on) { return engine().set_threaded(on); }

void wait_idle() { engine().wait_idle(); }

} // namespace notify
} // namespace mapisim::mapi
