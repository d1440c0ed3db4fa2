// The mailbox loader's entry: error messages with their place, installing
// a load (world, registry, file versions) only when all of it is good, and
// the C controls mapisim_load_mailbox_file/_string.
#include "mapisim/loader/loader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>

#include "mapisim/core/stand_in_lock.h"
#include "mapisim/loader/description.h"

namespace mapisim::loader::description {

// A user's text inside an error message: quoted, escaped, kept short, so
// the message stays one line.
std::string quote(std::string_view s)
{
    std::string out = "\"";
    std::size_t shown = 0;
    for (const char c : s) {
        if (++shown > 60) {
            out += "...";
            break;
        }
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

} // namespace mapisim::loader::description

namespace mapisim::loader {
namespace {

using description::Loader;
using description::LoadError;
using description::RegistryOp;
using description::VersionOp;

std::string format_error(std::string_view origin, const json::Pos& pos, const std::string& path,
                         const std::string& message)
{
    std::string out;
    if (!origin.empty()) {
        out.append(origin);
        out += ':';
    }
    out += std::to_string(pos.line) + ":" + std::to_string(pos.column) + ": ";
    if (!path.empty()) out += path + ": ";
    out += message;
    return out;
}

// The default of mapisim_set_mailbox_size_limit: 1 GiB.
constexpr std::uint64_t kDefaultSizeLimit = std::uint64_t{1} << 30;
std::atomic<std::uint64_t> size_limit{kDefaultSizeLimit};

} // namespace

std::string size_limit_error(std::string_view origin, std::uint64_t size)
{
    std::string out;
    if (!origin.empty()) {
        out.append(origin);
        out += ": ";
    }
    return out + "the description has " + std::to_string(size) + " bytes, more than the limit of " +
           std::to_string(mailbox_size_limit()) + " (mapisim_set_mailbox_size_limit)";
}

namespace {

// owned, when given, holds text and is freed once the text is parsed.
bool load(std::string_view text, std::string* owned, std::string_view origin,
          std::string& error) noexcept
{
    try {
        if (text.size() > mailbox_size_limit()) {
            error = size_limit_error(origin, text.size());
            return false;
        }
        json::Value top;
        json::Error parse_error;
        if (!json::parse(text, top, parse_error)) {
            error = format_error(origin, parse_error.pos, parse_error.path, parse_error.message);
            return false;
        }
        if (owned != nullptr) std::string().swap(*owned);
        Loader loader;
        // A file's relative names start from its folder; a text's from here.
        loader.base_dir = std::filesystem::path(origin).parent_path();
        try {
            loader.load(top);
        } catch (const LoadError& e) {
            error = format_error(origin, e.pos, e.path, e.message);
            return false;
        }
        // Everything is checked: only memory can fail from here on.
        if (loader.has_registry) {
            mapisim_registry_clear();
            for (const RegistryOp& op : loader.registry) {
                const char* name = op.name ? op.name->c_str() : nullptr;
                if (op.type)
                    mapisim_registry_set_value(op.root, op.key.c_str(), name, *op.type,
                                               op.data.data(),
                                               static_cast<std::uint32_t>(op.data.size()));
                else
                    mapisim_registry_create_key(op.root, op.key.c_str());
            }
        }
        if (loader.has_versions) {
            mapisim_version_clear();
            for (const VersionOp& op : loader.versions)
                mapisim_version_register(op.path.c_str(), op.product_ms, op.product_ls, op.file_ms,
                                         op.file_ls);
        }
        model::install(std::move(loader.world));
        error.clear();
        return true;
    } catch (const std::bad_alloc&) {
        error = "out of memory while loading the mailbox";
    } catch (...) {
        error = "unexpected failure while loading the mailbox";
    }
    return false;
}

} // namespace

std::uint64_t mailbox_size_limit() noexcept { return size_limit.load(); }

void set_mailbox_size_limit(std::uint64_t bytes) noexcept
{
    size_limit.store(bytes == 0 ? kDefaultSizeLimit : bytes);
}

bool load_mailbox(std::string_view text, std::string_view origin, std::string& error) noexcept
{
    return load(text, nullptr, origin, error);
}

bool load_mailbox(std::string&& text, std::string_view origin, std::string& error) noexcept
{
    return load(text, &text, origin, error);
}

bool load_messages(std::string_view text, model::Store& store,
                   std::vector<std::shared_ptr<model::Message>>& out, std::string& error) noexcept
{
    out.clear();
    try {
        json::Value top;
        json::Error parse_error;
        if (!json::parse(text, top, parse_error)) {
            error = format_error("", parse_error.pos, parse_error.path, parse_error.message);
            return false;
        }
        Loader loader;
        try {
            loader.load_loose(store, top, out);
        } catch (const LoadError& e) {
            error = format_error("", e.pos, e.path, e.message);
            out.clear();
            return false;
        }
        error.clear();
        return true;
    } catch (const std::bad_alloc&) {
        error = "out of memory while reading the messages";
    } catch (...) {
        error = "unexpected failure while reading the messages";
    }
    out.clear();
    return false;
}

} // namespace mapisim::loader

namespace {

std::string& last_load_error()
{
    static std::string text;
    return text;
}

int finish(bool ok) { return ok ? 0 : -1; }

// Reads a description file: a regular file only, checked before it is
// opened (opening a FIFO would wait for a writer, and a device may never
// end), and no larger than the limit. True, or false with error set.
bool read_description(const char* path, std::string& text, std::string& error)
{
    namespace fs = std::filesystem;
    std::error_code failure;
    const fs::file_status status = fs::status(path, failure);
    if (failure) {
        error = std::string(path) + ": cannot open: " + failure.message();
        return false;
    }
    if (!fs::is_regular_file(status)) {
        error = std::string(path) + ": not a regular file";
        return false;
    }
    const std::uintmax_t size = fs::file_size(path, failure);
    if (failure) {
        error = std::string(path) + ": cannot read: " + failure.message();
        return false;
    }
    if (size > mapisim::loader::mailbox_size_limit()) {
        error = mapisim::loader::size_limit_error(path, size);
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::string(path) + ": cannot open: " + std::strerror(errno);
        return false;
    }
    // One allocation of the size the file has.
    text.resize(static_cast<std::size_t>(size));
    in.read(text.data(), static_cast<std::streamsize>(size));
    if (in.bad() || static_cast<std::uintmax_t>(in.gcount()) != size ||
        in.peek() != std::ifstream::traits_type::eof()) {
        error = std::string(path) + ": cannot read (did it change while it was read?)";
        return false;
    }
    return true;
}

} // namespace

std::string& mapisim::loader::last_error() { return last_load_error(); }

// No exception leaves these: each ends in the documented -1 with a reason.
// A load holds the stand-in lock throughout, so that other threads' calls
// meet the old world or the new one, and the error text is one load's.
extern "C" {

MAPISIM_EXPORT int mapisim_load_mailbox_string(const char* text)
{
    const mapisim::StandInGuard guard;
    std::string& error = last_load_error();
    try {
        if (text == nullptr) {
            error = "no mailbox text given";
            return -1;
        }
        return finish(mapisim::loader::load_mailbox(std::string_view(text), "", error));
    } catch (...) {
        error.clear();
        return -1;
    }
}

MAPISIM_EXPORT int mapisim_load_mailbox_file(const char* path)
{
    const mapisim::StandInGuard guard;
    std::string& error = last_load_error();
    try {
        if (path == nullptr || *path == '\0') {
            error = "no mailbox file given";
            return -1;
        }
        std::string text;
        if (!read_description(path, text, error)) return -1;
        return finish(mapisim::loader::load_mailbox(std::move(text), path, error));
    } catch (const std::bad_alloc&) {
        error = "out of memory while loading the mailbox";
        return -1;
    } catch (...) {
        error = std::string("cannot load the mailbox file ") + path;
        return -1;
    }
}

MAPISIM_EXPORT void mapisim_set_mailbox_size_limit(uint64_t bytes)
{
    mapisim::loader::set_mailbox_size_limit(bytes);
}

MAPISIM_EXPORT const char* mapisim_last_load_error(void)
{
    const mapisim::StandInGuard guard;
    return last_load_error().c_str();
}

} // extern "C"
