// Decoding speed of compressed RTF, against memcpy of the same output in the
// same run and, where Debian's libpff can be loaded, its LZFu decoder.
// Medians of interleaved rounds, on processor time.
//   bench_lzfu [rounds, default 11]
//
// Bodies of 1 MB and 16 MB of Outlook-style HTML mail. Goals: decoding the
// stored bytes in place at 3 GB/s or more, and reading in 4 KiB pieces at
// no less than half the speed of one read. "Staged" is the decoder fed
// through its input buffer, as it is from a stream it cannot read in place.
#include "mapisim/rtfcomp/lzfu.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <ctime>
#include <string>
#include <vector>

namespace lz = mapisim::lzfu;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Deterministic, so runs compare.
struct Rng {
    std::uint64_t s = 0x9E3779B97F4A7C15u;
    std::uint32_t next()
    {
        s = s * 6364136223846793005u + 1442695040888963407u;
        return std::uint32_t(s >> 33);
    }
    const char* pick(const char* const* v, std::size_t n) { return v[next() % n]; }
};

const char* const kWords[] = {
    "the",      "meeting",  "quarterly", "report",    "please",   "find",     "attached",
    "regards",  "tomorrow", "budget",    "review",    "project",  "schedule", "customer",
    "invoice",  "update",   "thanks",    "team",      "deadline", "proposal", "draft",
    "comments", "agenda",   "call",      "Monday",    "Friday",   "office",   "contract",
    "approval", "numbers",  "forecast",  "sales",     "and",      "to",       "of",
    "for",      "with",     "on",        "we",        "you",      "I",        "is",
    "are",      "will",     "be",        "could",     "would",    "let",      "me",
    "know",     "if",       "any",       "questions", "best",     "Kind",     "Hello",
    "Hi",       "all",      "as",        "discussed", "below",    "see",      "note",
    "following"};
const char* const kNames[] = {"Anna Berg",    "Tom Price",    "Maria Lopez", "Kenji Sato",
                              "Olivia Grant", "Lars Nilsson", "Priya Nair",  "David Cohen"};

void words(std::string& s, Rng& rng, int count)
{
    for (int i = 0; i < count; ++i) {
        s += rng.pick(kWords, std::size(kWords));
        s += (rng.next() % 11 == 0) ? ", " : " ";
    }
}

void paragraph(std::string& s, Rng& rng)
{
    s += "{\\*\\htmltag64 <p class=MsoNormal>}\\htmlrtf {\\htmlrtf0 ";
    if (rng.next() % 4 == 0) {
        s += "{\\*\\htmltag84 <span style='font-size:11.0pt;font-family:\"Calibri\",sans-serif'>}"
             "\\htmlrtf {\\htmlrtf0 ";
        words(s, rng, 4 + int(rng.next() % 20));
        s += "\r\n{\\*\\htmltag92 </span>}\\htmlrtf }\\htmlrtf0 ";
    } else {
        words(s, rng, 6 + int(rng.next() % 30));
    }
    s += "\r\n{\\*\\htmltag244 <o:p>}{\\*\\htmltag252 </o:p>}\\htmlrtf0 }\\htmlrtf\\par\r\n"
         "\\htmlrtf0 {\\*\\htmltag72 </p>}\r\n";
}

// One HTML mail as Outlook wraps it in RTF, with a quoted reply chain.
void message(std::string& s, Rng& rng)
{
    s += "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\fbidis \\deff0{\\fonttbl\r\n"
         "{\\f0\\fswiss\\fcharset0 Arial;}\r\n{\\f1\\fmodern Courier New;}\r\n"
         "{\\f2\\fnil\\fcharset2 Symbol;}\r\n{\\f3\\fmodern\\fcharset0 Courier New;}\r\n"
         "{\\f4\\fswiss\\fcharset0 Calibri;}}\r\n"
         "{\\colortbl\\red0\\green0\\blue0;\\red5\\green99\\blue193;}\r\n"
         "\\uc1\\pard\\plain\\deftab360 \\f0\\fs24 \r\n"
         "{\\*\\htmltag19 <html xmlns:v=\"urn:schemas-microsoft-com:vml\" "
         "xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
         "xmlns:w=\"urn:schemas-microsoft-com:office:word\" "
         "xmlns=\"http://www.w3.org/TR/REC-html40\">}\r\n{\\*\\htmltag34 <head>}\r\n"
         "{\\*\\htmltag161 <meta http-equiv=\"Content-Type\" content=\"text/html; "
         "charset=us-ascii\">}\r\n{\\*\\htmltag241 <style>}\r\n"
         "{\\*\\htmltag241 p.MsoNormal, li.MsoNormal, div.MsoNormal\\{margin:0cm;"
         "font-size:11.0pt;font-family:\"Calibri\",sans-serif;\\}}\r\n"
         "{\\*\\htmltag241 </style>}\r\n{\\*\\htmltag41 </head>}\r\n"
         "{\\*\\htmltag50 <body lang=EN-US link=\"#0563C1\" vlink=\"#954F72\">}"
         "\\htmlrtf \\lang1033 \\htmlrtf0 \r\n{\\*\\htmltag96 <div class=WordSection1>}"
         "\\htmlrtf {\\htmlrtf0 \r\n";
    const int quoted = int(rng.next() % 4);
    for (int q = 0; q <= quoted; ++q) {
        for (int p = 2 + int(rng.next() % 6); p > 0; --p) paragraph(s, rng);
        if (q == quoted) break;
        s += "{\\*\\htmltag64 <p class=MsoNormal>}\\htmlrtf {\\htmlrtf0 {\\*\\htmltag84 <b>}"
             "\\htmlrtf {\\b \\htmlrtf0 From:{\\*\\htmltag92 </b>}\\htmlrtf }\\htmlrtf0  ";
        s += rng.pick(kNames, std::size(kNames));
        s += " \r\n{\\*\\htmltag116 <br>}\\htmlrtf \\line\r\n\\htmlrtf0 {\\*\\htmltag84 <b>}"
             "\\htmlrtf {\\b \\htmlrtf0 Sent:{\\*\\htmltag92 </b>}\\htmlrtf }\\htmlrtf0  "
             "Monday, March ";
        s += std::to_string(1 + rng.next() % 28);
        s += ", 2024 ";
        s += std::to_string(1 + rng.next() % 12) + ":" + std::to_string(10 + rng.next() % 50);
        s += " PM\r\n{\\*\\htmltag116 <br>}\\htmlrtf \\line\r\n\\htmlrtf0 {\\*\\htmltag84 <b>}"
             "\\htmlrtf {\\b \\htmlrtf0 Subject:{\\*\\htmltag92 </b>}\\htmlrtf }\\htmlrtf0  RE: ";
        words(s, rng, 3);
        s += "\r\n\\htmlrtf }\\htmlrtf0 {\\*\\htmltag72 </p>}\r\n";
    }
    s += "{\\*\\htmltag104 </div>}\\htmlrtf }\\htmlrtf0 \r\n{\\*\\htmltag58 </body>}\r\n"
         "{\\*\\htmltag27 </html>}}\r\n";
}

// Processor time, not wall time: the machine is shared, and a run that
// loses the CPU to another job would count that job's time.
double cpu_seconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

// A source that has to be read, as a stream other than the stand-in's is.
class StagedSource final : public lz::Source {
public:
    StagedSource(const void* data, std::size_t size) : inner_(data, size) {}
    std::size_t read(void* buf, std::size_t n) override { return inner_.read(buf, n); }

private:
    lz::MemorySource inner_;
};

// Reads the whole stream `step` bytes at a time; returns the bytes written.
template <typename SourceType>
std::size_t decode(const Bytes& stream, std::uint8_t* out, std::size_t cap, std::size_t step)
{
    SourceType src(stream.data(), stream.size());
    lz::Decoder dec(src);
    std::size_t got = 0;
    while (dec.status() == lz::Status::Ok && got < cap)
        got += dec.read(out + got, std::min(step, cap - got));
    return dec.status() == lz::Status::End ? got : 0;
}

// libfmapi's decoder as Debian's libpff (20180714) exports it: the output
// buffer and its size come first, unlike later libfmapi releases.
// libfmapi's decoder as Debian's libpff (20180714) exports it: the output
// buffer and its size come first, unlike later libfmapi releases.
using PffDecompress = int (*)(std::uint8_t* out, std::size_t* out_size, const std::uint8_t* in,
                              std::size_t in_size, void** error);
using PffErrorFree = void (*)(void**);

// Runs libpff's decoder; empty, with the reason printed, where it cannot.
// The runner returns the size libpff reports (it may count a byte or two
// past the content), 0 on failure.
std::function<std::size_t(const Bytes&, std::uint8_t*, std::size_t)> load_pff()
{
    void* pff = dlopen("libpff.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!pff) pff = dlopen("libpff.so", RTLD_NOW | RTLD_LOCAL);
    auto decompress =
        pff ? reinterpret_cast<PffDecompress>(dlsym(pff, "libfmapi_lzfu_decompress")) : nullptr;
    if (!decompress) {
        std::printf("libpff not available\n");
        return {};
    }
    auto error_free = reinterpret_cast<PffErrorFree>(dlsym(pff, "libpff_error_free"));
    auto run = [=](const Bytes& in, std::uint8_t* dst, std::size_t cap) {
        std::size_t n = cap;
        void* error = nullptr;
        if (decompress(dst, &n, in.data(), in.size(), &error) != 1) n = 0;
        if (error && error_free) error_free(&error);
        return n;
    };
    // A zeroed buffer makes a build with the other argument order fail
    // cleanly on the header instead of decoding garbage.
    const char text[] = "{\\rtf1 WXYZWXYZWXYZWXYZWXYZ}";
    const Bytes probe = lz::compress(text, sizeof text - 1);
    std::uint8_t got[64] = {};
    if (run(probe, got, sizeof got) < sizeof text - 1 ||
        std::memcmp(got, text, sizeof text - 1) != 0) {
        std::printf("libpff not available (libfmapi_lzfu_decompress takes other arguments)\n");
        return {};
    }
    return run;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    const auto pff = load_pff();
    for (const std::size_t megabytes : {1u, 16u}) {
        const std::size_t target = megabytes << 20;
        std::string rtf;
        rtf.reserve(target + 65536);
        Rng rng;
        while (rtf.size() < target) message(rtf, rng);
        const Bytes stream = lz::compress(rtf.data(), rtf.size());
        const std::size_t size = rtf.size();
        Bytes out(size), copy(size + 8);
        const auto* raw = reinterpret_cast<const std::uint8_t*>(rtf.data());
        if (decode<lz::MemorySource>(stream, out.data(), size, size) != size ||
            std::memcmp(out.data(), raw, size) != 0 ||
            decode<StagedSource>(stream, out.data(), size, 4096) != size ||
            std::memcmp(out.data(), raw, size) != 0) {
            std::printf("FAIL: decoder output differs from the input\n");
            return 1;
        }

        struct Timed {
            Timed(const char* n, std::function<void()> r) : name(n), run(std::move(r)) {}
            const char* name;
            std::function<void()> run;
            std::vector<double> times;
        };
        // Each round decodes about 32 MB, so that the timings are long enough.
        const std::size_t repeat = std::max<std::size_t>(1, (32u << 20) / size);
        std::vector<Timed> timed = {
            {"memcpy",
             [&] {
                 std::memcpy(copy.data(), out.data(), size);
                 asm volatile("" : : "r"(copy.data()) : "memory");
             }},
            {"one read", [&] { decode<lz::MemorySource>(stream, out.data(), size, size); }},
            {"4 KiB reads", [&] { decode<lz::MemorySource>(stream, out.data(), size, 4096); }},
            {"staged, one read", [&] { decode<StagedSource>(stream, out.data(), size, size); }},
        };
        if (pff && pff(stream, copy.data(), copy.size()) >= size &&
            std::memcmp(copy.data(), raw, size) == 0)
            timed.push_back({"libpff", [&] { pff(stream, copy.data(), copy.size()); }});

        // Rounds take each contender in turn, so that every median sees the
        // same load.
        for (int round = 0; round < rounds; ++round)
            for (Timed& t : timed) {
                const double t0 = cpu_seconds();
                for (std::size_t i = 0; i < repeat; ++i) t.run();
                t.times.push_back(cpu_seconds() - t0);
            }
        const double bytes = double(size) * double(repeat);
        auto rate = [&](std::size_t i) { return bytes / median(timed[i].times) / 1e6; };
        std::printf(
            "lzfu %2zu MB (%.0f%% compressed): one read %5.0f MB/s (%.2fx memcpy, goal "
            "3000 MB/s)%s\n",
            megabytes, 100.0 * double(stream.size()) / double(size), rate(1), rate(1) / rate(0),
            rate(1) >= 3000 ? "" : "  BELOW");
        std::printf("lzfu %2zu MB: 4 KiB reads %5.0f MB/s, %.2f of one read (goal 0.50)%s\n",
                    megabytes, rate(2), rate(2) / rate(1),
                    rate(2) / rate(1) >= 0.5 ? "" : "  BELOW");
        std::printf("lzfu %2zu MB: staged through the input buffer %5.0f MB/s; in place is %.2fx",
                    megabytes, rate(3), rate(1) / rate(3));
        if (timed.size() > 4)
            std::printf("; libpff %5.0f MB/s, one read is %.2fx", rate(4), rate(1) / rate(4));
        std::printf("\n");
    }
    return 0;
}
