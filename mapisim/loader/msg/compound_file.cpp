#include "mapisim/loader/msg/compound_file.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>

namespace mapisim::loader::msg {
namespace {

std::shared_ptr<void> own(gpointer object)
{
    return std::shared_ptr<void>(object, [](void* p) {
        if (p) g_object_unref(p);
    });
}

// libgsf reports damage it works around through GLib's log as well as
// through its results; the results are what count here, and the stand-in
// never prints on its own.
void quiet_gsf_logs()
{
    static const bool done = [] {
        for (const char* domain : {"libgsf", "libgsf:msole"})
            g_log_set_handler(
                domain,
                static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL |
                                            G_LOG_FLAG_RECURSION),
                [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
        return true;
    }();
    (void)done;
}

std::string take_message(GError* error, const char* fallback)
{
    std::string text = error && error->message ? error->message : fallback;
    if (error) g_error_free(error);
    return text;
}

GsfInfile* infile(const std::shared_ptr<void>& node) { return static_cast<GsfInfile*>(node.get()); }

} // namespace

CompoundFile CompoundFile::open_input(void* input_ptr, void* error_ptr, const char* cannot_open)
{
    auto* input = static_cast<GsfInput*>(input_ptr);
    if (!input) throw ReadFailure("/", take_message(static_cast<GError*>(error_ptr), cannot_open));
    const auto hold_input = own(input);
    GError* ole_error = nullptr;
    GsfInfile* ole = gsf_infile_msole_new(input, &ole_error);
    if (!ole)
        throw ReadFailure(
            "/", "not a compound file (" + take_message(ole_error, "no OLE2 header") + ")");
    if (ole_error) g_error_free(ole_error);
    // The infile holds its own reference to the input.
    return CompoundFile(Storage(own(ole), "/"));
}

CompoundFile CompoundFile::open_file(const std::string& path)
{
    quiet_gsf_logs();
    GError* error = nullptr;
    GsfInput* input = gsf_input_stdio_new(path.c_str(), &error);
    return open_input(input, error, "cannot open");
}

CompoundFile CompoundFile::open_memory(const void* data, std::size_t size)
{
    quiet_gsf_logs();
    static const std::uint8_t nothing = 0;
    GsfInput* input = gsf_input_memory_new(data ? static_cast<const guint8*>(data) : &nothing,
                                           static_cast<gsf_off_t>(size), FALSE);
    return open_input(input, nullptr, "cannot read the bytes");
}

std::string Storage::path_of(std::string_view child) const
{
    std::string out = path_;
    if (out.back() != '/') out += '/';
    out.append(child);
    return out;
}

std::vector<Storage::Entry> Storage::entries() const
{
    std::vector<Entry> out;
    const int count = gsf_infile_num_children(infile(node_));
    for (int i = 0; i < count; ++i) {
        const char* name = gsf_infile_name_by_index(infile(node_), i);
        if (!name) continue;
        GsfInput* child = gsf_infile_child_by_index(infile(node_), i);
        if (!child) continue;
        const auto hold = own(child);
        const bool is_storage =
            GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) >= 0;
        out.push_back({name, is_storage});
    }
    return out;
}

std::optional<Bytes> Storage::stream(std::string_view name) const
{
    const std::string key(name);
    GsfInput* child = gsf_infile_child_by_name(infile(node_), key.c_str());
    if (!child) return std::nullopt;
    const auto hold = own(child);
    if (GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) >= 0)
        throw ReadFailure(path_of(name), "a storage where a stream belongs");
    const gsf_off_t size = gsf_input_size(child);
    if (size < 0 || static_cast<std::uint64_t>(size) > CompoundFile::kMaxStream)
        throw ReadFailure(path_of(name), "stream of " + std::to_string(size) + " bytes");
    Bytes data(static_cast<std::size_t>(size));
    if (size > 0 && !gsf_input_read(child, data.size(), data.data()))
        throw ReadFailure(path_of(name), "cannot read the stream (damaged sector chain)");
    return data;
}

std::optional<Storage> Storage::storage(std::string_view name) const
{
    const std::string key(name);
    GsfInput* child = gsf_infile_child_by_name(infile(node_), key.c_str());
    if (!child) return std::nullopt;
    auto hold = own(child);
    if (!GSF_IS_INFILE(child) || gsf_infile_num_children(GSF_INFILE(child)) < 0)
        throw ReadFailure(path_of(name), "a stream where a storage belongs");
    return Storage(std::move(hold), path_of(name));
}

} // namespace mapisim::loader::msg
