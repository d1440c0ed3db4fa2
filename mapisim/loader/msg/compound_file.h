// Read-only access to an OLE2 compound file (the container of .msg files):
// its storages and streams by name, over libgsf.
//
//   auto file = CompoundFile::open_file("mail.msg");      // throws ReadFailure
//   Storage root = file.root();
//   std::optional<Bytes> props = root.stream("__properties_version1.0");
//   for (const auto& e : root.entries()) if (e.is_storage) ... root.storage(e.name)
//
// Failures carry the place (the storage path inside the file, "/" for the
// root) and what went wrong, so that messages can name both.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

namespace mapisim::loader::msg {

using Bytes = std::vector<std::uint8_t>;

struct ReadFailure : std::runtime_error {
    ReadFailure(std::string place, const std::string& what)
        : std::runtime_error(what), place(std::move(place))
    {}
    std::string place; // "/" or "/__attach_version1.0_#00000000/__substg1.0_3701000D"
};

// A storage (directory) of a compound file; copies share the same node.
class Storage {
public:
    struct Entry {
        std::string name;
        bool is_storage = false;
    };

    // The storage's children in the file's order.
    std::vector<Entry> entries() const;
    // The whole stream called name; empty when there is none. Throws
    // ReadFailure when it exists but cannot be read or is too large.
    std::optional<Bytes> stream(std::string_view name) const;
    // The child storage called name; empty when there is none.
    std::optional<Storage> storage(std::string_view name) const;
    // Where this storage is in the file: "/" for the root.
    const std::string& path() const noexcept { return path_; }
    std::string path_of(std::string_view child) const;

private:
    friend class CompoundFile;
    Storage(std::shared_ptr<void> node, std::string path)
        : node_(std::move(node)), path_(std::move(path))
    {}
    std::shared_ptr<void> node_; // a GsfInfile, released with g_object_unref
    std::string path_;
};

class CompoundFile {
public:
    // Throw ReadFailure (place "/") when the file cannot be opened or is
    // not a compound file.
    static CompoundFile open_file(const std::string& path);
    // The bytes are read where they are: keep them alive while the file is used.
    static CompoundFile open_memory(const void* data, std::size_t size);

    Storage root() const { return root_; }

    // Streams larger than this are refused rather than read into memory.
    static constexpr std::uint64_t kMaxStream = 512u << 20;

private:
    explicit CompoundFile(Storage root) : root_(std::move(root)) {}
    static CompoundFile open_input(void* input, void* error, const char* cannot_open);
    Storage root_;
};

} // namespace mapisim::loader::msg

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif
