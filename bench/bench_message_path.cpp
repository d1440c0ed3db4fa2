// The application's path through a folder, message by message, as the
// library serves it on the stand-in: open the message, fetch and read its
// properties record, take its HTML body (decompressing the RTF and
// filtering it), read the stream, release everything. Against the limit the
// bodies set: decoding and filtering the same stored compressed bodies
// directly, without MAPI in between. Medians of interleaved rounds, processor time.
//   bench_message_path [rounds, default 5] [messages, default 1000 and 10000]
//
// Folders of 1,000 and 10,000 messages with 20 KB Outlook-style RTF bodies.
// Goal: the path at 90% of the limit or more.
//
// A third figure shows how much of that margin the body's own delivery takes:
// decoding and filtering into a memory stream, which is then rewound, read
// back and released, as the library and the application do for every HTML
// body. What that leaves under 100% is all there is for opening the message,
// its properties, its streams, the contents rows and the releases.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "OrviMapi.h"
#include "frame/platform.h"
#include "mapisim/decl/mapitags.h"
#include "mapisim/mapisim.h"
#include "mapisim/model/world.h"
#include "mapisim/rtfcomp/lzfu.h"
#include "messages/rtf_html.h"

using namespace mapisim::model;

namespace {

struct Random {
    std::uint32_t x = 2463534242u;
    std::uint32_t below(std::uint32_t n)
    {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x % n;
    }
};

const char* const kWords[] = {"the",      "meeting",  "report",   "figures", "please", "review",
                              "attached", "regards",  "quarter",  "budget",  "and",    "of",
                              "to",       "schedule", "customer", "update",  "on",     "for"};

// About `size` bytes of HTML mail as Outlook wraps it in RTF.
std::string OutlookBody(Random& rnd, std::size_t size)
{
    std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl\r\n{\\f0\\fswiss Arial;}}\r\n"
        "{\\colortbl\\red0\\green0\\blue0;\\red5\\green99\\blue193;}\r\n"
        "\\uc1\\pard\\plain\\deftab360 \\f0\\fs24 \r\n{\\*\\htmltag19 <html>}\r\n"
        "{\\*\\htmltag34 <head>}\r\n{\\*\\htmltag241 <style>}\r\n"
        "{\\*\\htmltag241 p.MsoNormal\\{margin:0cm;font-size:11.0pt;\\}}\r\n"
        "{\\*\\htmltag249 </style>}\r\n{\\*\\htmltag41 </head>}\r\n"
        "{\\*\\htmltag50 <body lang=EN-US>}\\htmlrtf \\lang1033 \\htmlrtf0 \r\n";
    while (rtf.size() + 200 < size) {
        rtf += "{\\*\\htmltag64 <p class=MsoNormal>}\\htmlrtf {\\htmlrtf0 ";
        for (std::uint32_t i = 6 + rnd.below(30); i > 0; --i) {
            rtf += kWords[rnd.below(std::size(kWords))];
            rtf += rnd.below(20) == 0 ? "\\'e9 " : " ";
        }
        rtf +=
            "\r\n{\\*\\htmltag244 <o:p>}\r\n{\\*\\htmltag252 </o:p>}\r\n"
            "\\htmlrtf \\par\r\n}\\htmlrtf0 \r\n{\\*\\htmltag72 </p>}\r\n";
    }
    rtf += "{\\*\\htmltag58 </body>}\r\n{\\*\\htmltag27 </html>}}\r\n";
    return rtf;
}

double Seconds(std::clock_t t0) { return static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC; }

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A profile "Bench" whose Inbox holds `count` messages, their bodies taken
// in turn from `bodies`; returns each message's stored body, in folder order.
std::vector<const Bytes*> InstallMailbox(std::size_t count, const std::vector<Bytes>& bodies)
{
    std::vector<const Bytes*> stored;
    auto world = std::make_shared<World>();
    Profile& profile = world->add_profile("Bench", true);
    auto store = profile.add_store("Personal Folders", "Personal Folders");
    store->is_default = true;
    auto top = store->add_folder(*store->root(), "Top of Personal Folders");
    store->ipm_subtree = top->number();
    auto inbox = store->add_folder(*top, "Inbox", "IPF.Note");
    store->set_receive_folder("", *inbox);
    for (std::size_t i = 0; i < count; ++i) {
        auto m = store->add_message(*inbox);
        m->props.set(Value::string8(PR_SUBJECT_A, "Quarterly figures " + std::to_string(i)));
        m->props.set(Value::string8(PR_SENDER_NAME_A, "Sender " + std::to_string(i % 97)));
        m->props.set(Value::string8(PR_SENDER_EMAIL_ADDRESS_A,
                                    "sender" + std::to_string(i % 97) + "@example.com"));
        m->props.set(Value::string8(PR_MESSAGE_CLASS_A, "IPM.Note"));
        m->props.set(Value::systime(PR_MESSAGE_DELIVERY_TIME,
                                    {132000000000000000ull + 7919ull * 1000000 * i}));
        m->props.set(Value::i4(PR_MESSAGE_FLAGS, MSGFLAG_READ));
        m->props.set(Value::i4(PR_IMPORTANCE, static_cast<std::int32_t>(i % 3)));
        m->props.set(Value::i4(PR_INTERNET_CPID, 1252));
        m->props.set(Value::binary(PR_RTF_COMPRESSED, bodies[i % bodies.size()]));
        stored.push_back(m->props.find(PR_RTF_COMPRESSED)->get<Bytes>());
    }
    install(world);
    return stored;
}

// Walks the Inbox in batches of 100 rows; returns the messages whose HTML
// body came back, 0 when a step failed.
std::size_t WalkFolder(OrviMapiFolder inbox, std::vector<char>& block)
{
    OrviMapiTable contents = nullptr;
    if (OrviMapiFolderContQuerySet(inbox, &contents) != 0) return 0;
    std::size_t done = 0;
    bool ok = true;
    for (;;) {
        OrviMapiRowSet rows = nullptr;
        const int32_t n = OrviMapiFolderContQueryGetRow(contents, &rows);
        if (n <= 0) {
            OrviMapiReleaseResult(rows);
            break;
        }
        for (int32_t r = 0; r < n && ok; ++r) {
            uint32_t cbId = 0;
            unsigned char* id = nullptr;
            OrviMapiMessage msg = nullptr;
            OrviMapiProps props = nullptr;
            OrviMapiStream html = nullptr;
            MsgPropsRecord record;
            ok = OrviMapiFolderContGetEID(rows, static_cast<uint32_t>(r), &cbId, &id) == 0 &&
                 OrviMapiMsgGet(inbox, cbId, id, &msg) == 0 &&
                 OrviMapiMsgPropsGet(msg, &props) == 0 &&
                 OrviMapiMsgPropsRead(msg, props, &record) >= 0 &&
                 OrviMapiMsgGetBodyHTMLStream(msg, static_cast<int32_t>(record.internetCodePage),
                                              &html) == 0;
            if (ok) {
                ULONG got = 0;
                auto* stream = reinterpret_cast<IStream*>(html);
                while (stream->Read(block.data(), static_cast<ULONG>(block.size()), &got) == S_OK &&
                       got > 0) {}
                ++done;
            }
            OrviMapiReleaseStream(html);
            OrviMapiMsgPropsRelease(msg, props);
            OrviMapiReleaseMsg(msg);
        }
        OrviMapiReleaseResult(rows);
        if (!ok) break;
    }
    OrviMapiReleaseTable(contents);
    return ok ? done : 0;
}

// Decodes and filters one stored body as the bodies export does, without
// MAPI, handing each chunk's HTML to `deliver` (bytes, size; false stops);
// returns the HTML bytes, 0 when a step failed.
template <typename Deliver>
std::size_t FilterBody(const Bytes& body, std::vector<char>& rtf, std::vector<char>& html,
                       Deliver&& deliver)
{
    static RtfHtmlState state;
    mapisim::lzfu::MemorySource source(body.data(), body.size());
    mapisim::lzfu::Decoder decoder(source);
    std::size_t total = 0;
    bool first = true;
    for (;;) {
        const std::size_t n = decoder.read(rtf.data(), rtf.size());
        if (n == 0) break;
        uint32_t cbOut = 0;
        if (RtfHtmlConvertChunk(state, first, 1252, rtf.data(), static_cast<uint32_t>(n),
                                html.data(), static_cast<uint32_t>(html.size()),
                                &cbOut) != RtfHtmlResult::kOk ||
            !deliver(html.data(), cbOut))
            return 0;
        total += cbOut;
        first = false;
        if (n < rtf.size()) break;
    }
    return total;
}

// The limit: every body decoded and filtered, its HTML left where the filter
// wrote it.
std::size_t DecodeAndFilter(const std::vector<const Bytes*>& bodies, std::vector<char>& rtf,
                            std::vector<char>& html)
{
    std::size_t total = 0;
    for (const Bytes* stored : bodies) {
        const std::size_t n =
            FilterBody(*stored, rtf, html, [](const char*, uint32_t) { return true; });
        if (n == 0) return 0;
        total += n;
    }
    return total;
}

// As DecodeAndFilter, with each body's HTML handed over as the bodies export
// hands it over: written to a memory stream, which is rewound, read back into
// `block` and released.
std::size_t DecodeFilterAndStream(const std::vector<const Bytes*>& bodies, std::vector<char>& rtf,
                                  std::vector<char>& html, std::vector<char>& block)
{
    std::size_t total = 0;
    for (const Bytes* stored : bodies) {
        IStream* stream = nullptr;
        if (CreateStreamOnHGlobal(nullptr, TRUE, &stream) != S_OK) return 0;
        const std::size_t n =
            FilterBody(*stored, rtf, html, [stream](const char* bytes, uint32_t cb) {
                return stream->Write(bytes, cb, nullptr) == S_OK;
            });
        const LARGE_INTEGER start{};
        bool ok = n > 0 && stream->Seek(start, STREAM_SEEK_SET, nullptr) == S_OK;
        ULONG got = 0;
        while (ok && stream->Read(block.data(), static_cast<ULONG>(block.size()), &got) == S_OK &&
               got > 0) {}
        stream->Release();
        if (!ok) return 0;
        total += n;
    }
    return total;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    Random rnd;
    std::vector<Bytes> bodies;
    std::size_t cbRtf = 0;
    for (int i = 0; i < 64; ++i) {
        const std::string rtf = OutlookBody(rnd, 20000);
        cbRtf += rtf.size();
        bodies.push_back(mapisim::lzfu::compress(rtf.data(), rtf.size()));
    }
    std::vector<char> rtfBlock(kRtfHtmlChunkSize), htmlBlock(kRtfHtmlOutputCapacity),
        readBlock(65536);

    // The stand-in's call log is for tests; a measuring run goes without.
    mapisim_set_call_log(0);
    std::vector<std::size_t> counts = {1000, 10000};
    if (argc > 2) counts = {std::max<std::size_t>(1, std::strtoul(argv[2], nullptr, 10))};
    for (const std::size_t count : counts) {
        const std::vector<const Bytes*> stored = InstallMailbox(count, bodies);
        if (OrviMapiStart("Bench", 0) != 0) {
            std::fprintf(stderr, "OrviMapiStart failed\n");
            return 1;
        }
        OrviMapiTable stores = nullptr;
        OrviMapiRowSet storeRows = nullptr;
        OrviMapiStore store = nullptr;
        OrviMapiFolder inbox = nullptr;
        if (OrviMapiMsgStoreQuerySet(&stores, 0) != 0 ||
            OrviMapiMsgStoreQueryGetRow(stores, &storeRows) != 1 ||
            OrviMapiMsgStoreResultOpenStore(storeRows, &store) != 0 ||
            OrviMapiFolderFindByType(store, 32, &inbox) != 0) {
            char text[800];
            uint32_t cch = 0;
            OrviMapiGetLastError(text, sizeof text, &cch);
            std::fprintf(stderr, "could not open the Inbox: %s\n", text);
            return 1;
        }
        OrviMapiReleaseResult(storeRows);
        OrviMapiReleaseTable(stores);

        std::vector<double> path, limit, shares, streamShares;
        for (int round = 0; round < rounds; ++round) {
            std::clock_t t0 = std::clock();
            if (WalkFolder(inbox, readBlock) != count) {
                std::fprintf(stderr, "the walk through the folder failed\n");
                return 1;
            }
            const double tPath = Seconds(t0);
            t0 = std::clock();
            if (DecodeAndFilter(stored, rtfBlock, htmlBlock) == 0) return 1;
            const double tLimit = Seconds(t0);
            t0 = std::clock();
            if (DecodeFilterAndStream(stored, rtfBlock, htmlBlock, readBlock) == 0) return 1;
            const double tStream = Seconds(t0);
            path.push_back(tPath);
            limit.push_back(tLimit);
            shares.push_back(tLimit / tPath);
            streamShares.push_back(tLimit / tStream);
        }
        OrviMapiReleaseFolder(inbox);
        OrviMapiMsgStoreRelease(store);
        OrviMapiStop();

        const double share = Median(shares);
        std::printf(
            "message path, %5zu messages of %zu KB RTF: %6.0f messages/s, limit %6.0f/s: "
            "%.0f%% of the limit (goal 90%%)%s\n",
            count, cbRtf / bodies.size() / 1000, count / Median(path), count / Median(limit),
            100 * share, share >= 0.9 ? "" : "  BELOW");
        std::printf(
            "  with the HTML delivered through a memory stream alone, no MAPI: %.0f%% of the "
            "limit\n",
            100 * Median(streamShares));
    }
    install(nullptr);
    return 0;
}
