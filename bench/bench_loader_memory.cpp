// The mailbox loader's peak memory: a description file holding one message
// with a large plain-text body (and one with a large RTF body) is loaded
// with mapisim_load_mailbox_file, and the process's high-water mark of
// resident memory is compared with the file's size. The aim is a peak near
// twice the file: the file's text and the parsed document, then the
// document and the new world, never all three. (An RTF body is compressed
// on loading, which needs room of its own for a moment.)
//   bench_loader_memory [megabytes, default 64]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "mapisim/mapisim.h"

namespace {

long PeakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Writes the description in pieces, so that the writer holds little.
std::string WriteDescription(const char* member, long megabytes, const std::string& prefix,
                             const char* fill)
{
    const std::string path = "/tmp/bench_loader_memory_" + std::to_string(getpid()) + ".json";
    std::ofstream out(path, std::ios::binary);
    out << R"({"profiles": [{"name": "P", "default": true, "stores": [{"name": "S", "default": true,)"
        << R"( "folders": [{"name": "Inbox", "messages": [{"subject": "large", ")" << member
        << R"(": ")" << prefix;
    const std::string block(1 << 20, fill[0]);
    for (long i = 0; i < megabytes; ++i) out << block;
    out << R"("}]}]}]}]})";
    return path;
}

} // namespace

int main(int argc, char** argv)
{
    const long megabytes = argc > 1 ? std::atol(argv[1]) : 64;
    for (const auto& [member, prefix] :
         {std::pair<const char*, std::string>{"body", ""}, {"rtf", R"({\\rtf1\\ansi )"}}) {
        // Each case in a process of its own: the high-water mark only rises.
        const pid_t child = fork();
        if (child < 0) return 1;
        if (child > 0) {
            int status = 0;
            waitpid(child, &status, 0);
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
            continue;
        }
        const std::string path = WriteDescription(member, megabytes, prefix, "x");
        const long before = PeakKilobytes();
        const int loaded = mapisim_load_mailbox_file(path.c_str());
        const long peak = PeakKilobytes();
        std::remove(path.c_str());
        if (loaded != 0) {
            std::fprintf(stderr, "load failed: %s\n", mapisim_last_load_error());
            _exit(1);
        }
        std::printf(
            "%-5s %ld MB file: peak %ld MB above the %ld MB before the load: %.2fx the file\n",
            member, megabytes, (peak - before) / 1024, before / 1024,
            double(peak - before) / double(megabytes * 1024));
        std::fflush(stdout);
        _exit(0);
    }
    return 0;
}
