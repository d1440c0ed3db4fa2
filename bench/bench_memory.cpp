// Memory of a loaded mailbox on the stand-in: messages with about 20 KB of
// RTF each, compressed one by one as the loader does, with their headers.
// Live memory after loading against the bytes the model stores (compressed
// bodies plus header values), and the peak while loading against the live
// memory. Process resident sizes, so the figures carry the allocator's own
// overhead. Twice: the model built directly, then (in a process of its own)
// the same folder written as one repeat of a mailbox description and read
// by the loader.
//   bench_memory [messages, default 10000]
//
// Goals: live at most 1.3x the stored bytes; peak at most 2x live.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "mapisim/decl/mapitags.h"
#include "mapisim/mapisim.h"
#include "mapisim/model/world.h"
#include "mapisim/rtfcomp/lzfu.h"

using namespace mapisim::model;

namespace {

double ResidentMegabytes()
{
    std::ifstream statm("/proc/self/statm");
    unsigned long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * 4096.0 / 1e6;
}

double PeakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) * 1024.0 / 1e6;
}

// About 20 KB of HTML-encapsulating RTF, varied by `seed`.
std::string Body(std::uint32_t seed)
{
    static const char* const words[] = {"budget ", "review ",   "quarter ", "figures ", "the ",
                                        "please ", "attached ", "regards ", "customer "};
    std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\*\\htmltag19 <html>}\r\n";
    while (rtf.size() < 20000) {
        rtf += "{\\*\\htmltag64 <p class=MsoNormal>}\\htmlrtf {\\htmlrtf0 ";
        for (int i = 0; i < 24; ++i) {
            seed = seed * 1103515245u + 12345u;
            rtf += words[(seed >> 16) % 9];
        }
        rtf += "\\htmlrtf \\par\r\n}\\htmlrtf0 {\\*\\htmltag72 </p>}\r\n";
    }
    return rtf + "{\\*\\htmltag27 </html>}}\r\n";
}

std::size_t StoredBytes(const Message& m)
{
    std::size_t stored = 0;
    for (const auto& [id, value] : m.props) stored += value.payload_size() + sizeof(Value);
    return stored;
}

void Report(const char* route, std::size_t count, std::size_t stored, double before)
{
    const double live = ResidentMegabytes() - before;
    const double peak = PeakMegabytes() - before;
    const double storedMb = double(stored) / 1e6;
    std::printf(
        "memory, %s, %zu messages of 20 KB RTF: live %.1f MB, %.2fx the %.1f MB stored "
        "(goal 1.30x)%s\n",
        route, count, live, live / storedMb, storedMb, live / storedMb <= 1.3 ? "" : "  BELOW");
    std::printf("memory, %s, %zu messages: peak %.1f MB, %.2fx live (goal 2.00x)%s\n", route, count,
                peak, peak / live, peak / live <= 2.0 ? "" : "  BELOW");
    std::fflush(stdout);
}

// The folder as a description: one repeat whose template carries the body
// (the copies differ in their subjects and senders).
std::string Description(std::size_t count)
{
    std::string rtf;
    for (char c : Body(1)) {
        if (c == '\\')
            rtf += "\\\\";
        else if (c == '\r')
            rtf += "\\r";
        else if (c == '\n')
            rtf += "\\n";
        else
            rtf += c;
    }
    return R"({"profiles": [{"name": "Bench", "default": true, "stores": [)"
           R"({"name": "Personal Folders", "default": true, "folders": [)"
           R"({"name": "Inbox", "class": "IPF.Note", "messages": [{"repeat": )" +
           std::to_string(count) +
           R"(, "message": {"class": "IPM.Note", "subject": "Quarterly figures ${n}",)"
           R"( "from": "Sender ${n} <sender${n}@example.com>", "flags": "0x1", "rtf": ")" +
           rtf + R"("}}]}]}]}]})";
}

// Loads the description in a child process, so that its peak is its own.
bool MeasureLoader(std::size_t count)
{
    const pid_t child = fork();
    if (child < 0) return false;
    if (child > 0) {
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    const std::string text = Description(count);
    const double before = ResidentMegabytes();
    if (mapisim_load_mailbox_string(text.c_str()) != 0) {
        std::fprintf(stderr, "load failed: %s\n", mapisim_last_load_error());
        _exit(1);
    }
    std::size_t stored = 0, loaded = 0;
    for (const auto& profile : current().profiles)
        for (const auto& store : profile->stores)
            for (const auto& folder : store->root()->subfolders())
                for (const auto& sub : folder->subfolders())
                    for (const auto& m : sub->messages()) {
                        stored += StoredBytes(*m);
                        ++loaded;
                    }
    if (loaded != count) {
        std::fprintf(stderr, "the loader made %zu messages, not %zu\n", loaded, count);
        _exit(1);
    }
    Report("loader", count, stored, before);
    _exit(0);
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t count =
        argc > 1 ? std::max<std::size_t>(1, std::strtoul(argv[1], nullptr, 10)) : 10000;
    if (!MeasureLoader(count)) return 1;
    const double before = ResidentMegabytes();
    std::size_t stored = 0;
    auto world = std::make_shared<World>();
    Profile& profile = world->add_profile("Bench", true);
    auto store = profile.add_store("Personal Folders", "Personal Folders");
    auto inbox = store->add_folder(*store->root(), "Inbox", "IPF.Note");
    for (std::size_t i = 0; i < count; ++i) {
        auto m = store->add_message(*inbox);
        const std::string rtf = Body(static_cast<std::uint32_t>(i));
        m->props.set(
            Value::binary(PR_RTF_COMPRESSED, mapisim::lzfu::compress(rtf.data(), rtf.size())));
        m->props.set(Value::string8(PR_SUBJECT_A, "Quarterly figures " + std::to_string(i)));
        m->props.set(Value::string8(PR_SENDER_NAME_A, "Sender " + std::to_string(i % 97)));
        m->props.set(Value::string8(PR_MESSAGE_CLASS_A, "IPM.Note"));
        m->props.set(Value::i4(PR_MESSAGE_FLAGS, MSGFLAG_READ));
        stored += StoredBytes(*m);
    }
    install(world);
    Report("built", count, stored, before);
    install(nullptr);
    return 0;
}
