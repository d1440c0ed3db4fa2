#include "mapisim/loader/msg/compound_file.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>

#include <algorithm>
#include <cstring>

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

// The directory of a compound file, checked before libgsf reads it: libgsf
// keeps part of a directory tree it gives up on, and a tree whose entries
// are reached twice or lie outside the directory is one no writer makes. A
// header that is no compound file's is left to libgsf, which refuses it.
class DirectoryCheck {
public:
    explicit DirectoryCheck(GsfInput* input) : input_(input), size_(gsf_input_size(input)) {}

    // The damage found, or empty.
    std::string run()
    {
        std::uint8_t header[76];
        static const std::uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
        if (!read(0, header, sizeof header) || std::memcmp(header, signature, 8) != 0) return {};
        const unsigned shift = u16(header + 30);
        if (shift != 9 && shift != 12) return {};
        sector_ = std::uint32_t{1} << shift;
        sectors_ = size_ > sector_ ? static_cast<std::uint64_t>(size_ - 1) / sector_ : 0;
        difat_start_ = u32(header + 68);
        difat_count_ = u32(header + 72);
        std::vector<std::uint32_t> chain;
        for (std::uint32_t at = u32(header + 48); at != kEndOfChain;) {
            if (at >= sectors_ || chain.size() >= sectors_) return "damaged directory chain";
            chain.push_back(at);
            if (!next(at, at)) return "damaged allocation table";
        }
        return walk(chain);
    }

private:
    static constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE, kNoEntry = 0xFFFFFFFF;
    static std::uint16_t u16(const std::uint8_t* p)
    {
        return static_cast<std::uint16_t>(p[0] | p[1] << 8);
    }
    static std::uint32_t u32(const std::uint8_t* p)
    {
        return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    }

    bool read(std::uint64_t offset, std::uint8_t* out, std::size_t count)
    {
        if (offset + count > static_cast<std::uint64_t>(size_)) return false;
        if (gsf_input_seek(input_, static_cast<gsf_off_t>(offset), G_SEEK_SET)) return false;
        return gsf_input_read(input_, count, out) != nullptr;
    }
    std::uint64_t offset_of(std::uint32_t sector) const
    {
        return (static_cast<std::uint64_t>(sector) + 1) * sector_;
    }

    // The allocation table's entry for a sector, found through the header's
    // 109 table sectors and then the chain of further ones.
    bool next(std::uint32_t sector, std::uint32_t& out)
    {
        const std::uint32_t per_sector = sector_ / 4;
        std::uint32_t index = sector / per_sector, table = 0;
        std::uint8_t bytes[4];
        if (index < 109) {
            if (!read(76 + 4 * index, bytes, 4)) return false;
        } else {
            index -= 109;
            std::uint32_t difat = difat_start_;
            for (std::uint32_t hops = index / (per_sector - 1); hops > 0; --hops) {
                if (difat >= sectors_ || !read(offset_of(difat) + sector_ - 4, bytes, 4))
                    return false;
                difat = u32(bytes);
            }
            if (difat >= sectors_ || index / (per_sector - 1) >= difat_count_ ||
                !read(offset_of(difat) + 4 * (index % (per_sector - 1)), bytes, 4))
                return false;
        }
        table = u32(bytes);
        if (table >= sectors_ ||
            !read(offset_of(table) + 4 * static_cast<std::uint64_t>(sector % per_sector), bytes, 4))
            return false;
        out = u32(bytes);
        return true;
    }

    // Every entry is reached at most once from the root, through sibling
    // and child links that stay inside the directory.
    std::string walk(const std::vector<std::uint32_t>& chain)
    {
        const std::uint32_t per_sector = sector_ / 128;
        const std::uint64_t count = static_cast<std::uint64_t>(chain.size()) * per_sector;
        if (count == 0) return "empty directory";
        std::vector<bool> seen(count);
        std::vector<std::uint32_t> pending{0};
        seen[0] = true;
        while (!pending.empty()) {
            const std::uint32_t at = pending.back();
            pending.pop_back();
            std::uint8_t entry[128];
            if (!read(offset_of(chain[at / per_sector]) + 128 * (at % per_sector), entry, 128))
                return "damaged directory";
            const std::uint8_t type = entry[66];
            if (at == 0 ? type != 5 : type != 1 && type != 2)
                return "directory entry " + std::to_string(at) + " of unknown type";
            std::vector<std::uint32_t> links = {u32(entry + 76)}; // the child
            if (at != 0) links = {u32(entry + 68), u32(entry + 72), u32(entry + 76)};
            if (type == 2 && links.back() != kNoEntry)
                return "directory entry " + std::to_string(at) + " is a stream with children";
            for (const std::uint32_t link : links) {
                if (link == kNoEntry) continue;
                if (link >= count || seen[link])
                    return "directory entry " + std::to_string(at) + " links to entry " +
                           std::to_string(link) + (link >= count ? ", past the end" : " again");
                seen[link] = true;
                pending.push_back(link);
            }
        }
        return {};
    }

    GsfInput* input_;
    gsf_off_t size_;
    std::uint32_t sector_ = 512;
    std::uint64_t sectors_ = 0;
    std::uint32_t difat_start_ = kEndOfChain, difat_count_ = 0;
};

} // namespace

CompoundFile CompoundFile::open_input(void* input_ptr, void* error_ptr, const char* cannot_open)
{
    auto* input = static_cast<GsfInput*>(input_ptr);
    if (!input) throw ReadFailure("/", take_message(static_cast<GError*>(error_ptr), cannot_open));
    const auto hold_input = own(input);
    const std::string damage = DirectoryCheck(input).run();
    if (!damage.empty()) throw ReadFailure("/", "not a compound file (" + damage + ")");
    if (gsf_input_seek(input, 0, G_SEEK_SET)) throw ReadFailure("/", cannot_open);
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
