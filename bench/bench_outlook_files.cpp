// Reading real Outlook files: .msg files loaded per second (compound file
// and property layer together, best of several rounds on processor time),
// and a PST's open time and the memory it takes, opened and then with every
// folder's messages read in. Reads the real files beside the checkout (or
// ORVIMAPI_REALDATA); prints a note and exits 0 where they are absent.
//   bench_outlook_files [rounds, default 20]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mapisim/mapisim.h"
#include "mapisim/model/world.h"
#if MAPISIM_HAVE_MSG
#include "mapisim/loader/msg/msg_reader.h"
#endif
#if MAPISIM_HAVE_PST
#include "mapisim/loader/pst/pst_reader.h"
#endif

namespace fs = std::filesystem;
using namespace mapisim;

namespace {

std::string real_data()
{
    std::vector<fs::path> candidates;
    if (const char* env = std::getenv("ORVIMAPI_REALDATA")) candidates.emplace_back(env);
    candidates.push_back(fs::path(ORVIMAPI_SOURCE_DIR) / ".." / "shared" / "realdata");
    candidates.push_back(fs::path(ORVIMAPI_SOURCE_DIR) / ".." / ".." / "shared" / "realdata");
    std::error_code ec;
    for (const auto& c : candidates)
        if (fs::is_directory(c / "msg", ec)) return c.string();
    return "";
}

std::vector<std::string> files(const std::string& dir)
{
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (e.is_regular_file()) out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

double seconds(std::clock_t start) { return double(std::clock() - start) / CLOCKS_PER_SEC; }

// Resident memory now, in KiB (Linux).
long resident_kib()
{
    std::ifstream status("/proc/self/statm");
    long pages = 0, resident = 0;
    status >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void read_all(const model::Folder& f, std::size_t& messages)
{
    messages += f.messages().size();
    for (const auto& sub : f.subfolders()) read_all(*sub, messages);
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const std::string dir = real_data();
    if (dir.empty()) {
        std::printf("no real Outlook files beside the checkout: nothing measured\n");
        return 0;
    }
#if MAPISIM_HAVE_MSG
    {
        const auto msgs = files(dir + "/msg");
        std::uint64_t bytes = 0;
        for (const auto& f : msgs) bytes += fs::file_size(f);
        double best = 1e30;
        for (int r = 0; r < rounds; ++r) {
            model::World world;
            auto store = world.add_profile("P").add_store("S", "Personal Folders");
            const std::clock_t start = std::clock();
            for (const auto& f : msgs) loader::msg::read_msg_file(f, *store);
            best = std::min(best, seconds(start));
        }
        std::printf(".msg: %zu files (%.1f MiB) in %.2f ms: %.0f files/s, %.1f MiB/s\n",
                    msgs.size(), bytes / 1048576.0, best * 1e3, msgs.size() / best,
                    bytes / 1048576.0 / best);
    }
#endif
#if MAPISIM_HAVE_PST
    for (const auto& path : files(dir + "/pst")) {
        double best = 1e30;
        for (int r = 0; r < rounds; ++r) {
            model::World world;
            const std::clock_t start = std::clock();
            loader::pst::open_pst(world.add_profile("P"), path);
            best = std::min(best, seconds(start));
        }
        model::World world;
        const long before = resident_kib();
        auto store = loader::pst::open_pst(world.add_profile("P"), path);
        const long opened = resident_kib();
        std::size_t messages = 0;
        const std::clock_t start = std::clock();
        read_all(*store->root(), messages);
        const double all = seconds(start);
        const long explored = resident_kib();
        std::printf(
            ".pst: %s (%.0f KiB): open %.2f ms, %+ld KiB resident; every folder's "
            "%zu messages read in %.2f ms more, %+ld KiB\n",
            fs::path(path).filename().c_str(), fs::file_size(path) / 1024.0, best * 1e3,
            opened - before, messages, all * 1e3, explored - opened);
    }
#endif
    return 0;
}
