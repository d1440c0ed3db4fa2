// Real Outlook files named by a mailbox description: .msg files as a
// folder's messages ("msg_files") and a .pst file as a store ("pst").
// Relative names are taken from the description's own folder (from the
// current folder for a description given as text). A file that cannot be
// read fails the whole load, naming the file and the place in it.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "mapisim/decl/mapitags.h"
#include "mapisim/loader/description.h"
#if MAPISIM_HAVE_MSG
#include "mapisim/loader/msg/msg_reader.h"
#endif
#if MAPISIM_HAVE_PST
#include "mapisim/loader/pst/pst_reader.h"
#endif

namespace mapisim::loader::description {
namespace {

namespace fs = std::filesystem;

bool has_wildcards(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

// '*' any run of characters, '?' any one; everything else as itself.
bool wildcard_match(std::string_view pattern, std::string_view name)
{
    std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool is_readable_file(const fs::path& path)
{
    std::error_code ignored;
    return fs::is_regular_file(path, ignored);
}

} // namespace

fs::path Loader::referenced_path(const J& at, const std::string& name) const
{
    if (name.empty()) fail(at, "a file name is empty");
    const fs::path path(name);
    return path.is_absolute() ? path : base_dir / path;
}

// A name, or a pattern with '*' and '?' in its last part only; a pattern's
// files are taken in the order of their names. Nothing matching is an error.
std::vector<std::string> Loader::matching_files(const J& at, const std::string& pattern) const
{
    const fs::path path = referenced_path(at, pattern);
    std::vector<std::string> files;
    if (!has_wildcards(path.filename().string())) {
        if (has_wildcards(path.parent_path().string()))
            fail(at, "wildcards only in the file name: " + quote(pattern));
        if (!is_readable_file(path)) fail(at, "no such file: " + quote(path.string()));
        files.push_back(path.string());
        return files;
    }
    if (has_wildcards(path.parent_path().string()))
        fail(at, "wildcards only in the file name: " + quote(pattern));
    const fs::path dir = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    const std::string want = path.filename().string();
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
        if (wildcard_match(want, it->path().filename().string()) && is_readable_file(it->path()))
            files.push_back(it->path().string());
    if (error) fail(at, "cannot list " + quote(dir.string()) + ": " + error.message());
    if (files.empty()) fail(at, "no file matches " + quote(pattern));
    std::sort(files.begin(), files.end());
    return files;
}

void Loader::load_msg_files(model::Store& s, model::Folder& f, const J& v)
{
    need_array(v);
    for (std::size_t i = 0; i < v.items().size(); ++i) {
        Step item(*this, i);
        const J& name = v.items()[i];
        for (const std::string& file : matching_files(name, text8(name))) {
#if MAPISIM_HAVE_MSG
            try {
                s.attach_message(f, msg::read_msg_file(file, s));
            } catch (const msg::MsgError& e) {
                fail(name, e.what());
            }
#else
            (void)s;
            (void)f;
            (void)file;
            fail(name, "this stand-in was built without the .msg reader (libgsf-1-dev)");
#endif
        }
    }
}

void Loader::load_pst_store(model::Profile& p, const J& v)
{
    check_members(v, {"pst", "default"}, "a store read from a .pst file");
    Step step(*this, "pst");
    const J& name = required(v, "pst");
    const fs::path path = referenced_path(name, text8(name));
    if (!is_readable_file(path)) fail(name, "no such file: " + quote(path.string()));
#if MAPISIM_HAVE_PST
    std::shared_ptr<model::Store> store;
    try {
        store = pst::open_pst(p, path.string());
    } catch (const pst::PstError& e) {
        fail(name, e.what());
    }
    if (const J* d = member(v, "default"); d && boolean(*d)) {
        store->is_default = true;
        store->resource_flags = STATUS_DEFAULT_STORE | STATUS_PRIMARY_STORE;
    }
#else
    (void)p;
    fail(name, "this stand-in was built without the .pst reader (libpff-dev)");
#endif
}

} // namespace mapisim::loader::description
