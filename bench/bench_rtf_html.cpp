// Throughput of the RTF-to-HTML filter in the 1,000,000-byte blocks the
// bodies exports use, against memcpy of the same blocks into the same area.
//
// Two inputs: messages shaped like Word-generated Outlook HTML mail (a long
// head of CSS and XML in htmltag groups, then the body), and body markup
// alone (\htmlrtf groups, short text, \par, \'hh, \u), which has about five
// times as many braces and backslashes per byte and is the slow case.
#include "messages/rtf_html.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

// Small deterministic generator so that every run filters the same bytes.
struct Random {
    uint32_t x = 2463534242u;
    uint32_t Next()
    {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    }
    uint32_t Below(uint32_t n) { return Next() % n; }
    template <size_t N>
    const char* Pick(const char* const (&items)[N])
    {
        return items[Below(N)];
    }
};

const char* const kWords[] = {"the",      "meeting",  "report",   "figures", "please", "review",
                              "attached", "regards",  "quarter",  "budget",  "and",    "of",
                              "to",       "schedule", "customer", "update",  "on",     "for"};

const char* const kStyleNames[] = {"Normal",
                                   "heading 1",
                                   "Table Grid",
                                   "Light Shading Accent 1",
                                   "Medium List 2 Accent 3",
                                   "Colorful Grid Accent 5",
                                   "Intense Quote",
                                   "List Paragraph",
                                   "Subtle Emphasis"};

const char* const kCssRules[] = {
    "p.MsoNormal, li.MsoNormal, div.MsoNormal\\par \\tab \\{margin:0cm;\\par \\tab "
    "margin-bottom:.0001pt;\\par \\tab font-size:11.0pt;\\par \\tab "
    "font-family:\"Calibri\",sans-serif;\\par \\tab mso-fareast-language:EN-US;\\}\\par ",
    "a:link, span.MsoHyperlink\\par \\tab \\{mso-style-priority:99;\\par \\tab "
    "color:#0563C1;\\par \\tab text-decoration:underline;\\}\\par ",
    "@font-face\\par \\tab \\{font-family:\"Cambria Math\";\\par \\tab panose-1:2 4 5 3 5 4 6 3 2 "
    "4;\\}\\par ",
    "span.EmailStyle17\\par \\tab \\{mso-style-type:personal-compose;\\par \\tab "
    "font-family:\"Calibri\",sans-serif;\\par \\tab color:windowtext;\\}\\par ",
    "@page WordSection1\\par \\tab \\{size:612.0pt 792.0pt;\\par \\tab margin:72.0pt 72.0pt "
    "72.0pt 72.0pt;\\}\\par div.WordSection1\\par \\tab \\{page:WordSection1;\\}\\par "};

void Sentence(Random& rnd, std::string& out)
{
    const uint32_t n = 4 + rnd.Below(14);
    for (uint32_t i = 0; i < n; ++i) {
        if (i > 0) out += ' ';
        out += rnd.Pick(kWords);
        switch (rnd.Below(24)) {
            case 0:
                out += "\\'e9";
                break; // hex escape, left as text
            case 1:
                out += "\\u8364\\'80";
                break; // \u with its fallback
            case 2:
                out += ",";
                break;
            default:
                break;
        }
    }
    out += '.';
}

void Head(Random& rnd, std::string& rtf)
{
    rtf +=
        "{\\*\\htmltag34 <head>}\r\n{\\*\\htmltag161 <meta name=Generator content=\"Microsoft "
        "Word 15 (filtered medium)\">}\r\n{\\*\\htmltag241 <!--[if gte mso 9]><xml>\\par "
        "<w:LatentStyles DefLockedState=\"false\" DefUnhideWhenUsed=\"false\" "
        "DefSemiHidden=\"false\" DefQFormat=\"false\" DefPriority=\"99\" "
        "LatentStyleCount=\"371\">\\par ";
    // Word lists all 371 latent styles in every message it writes.
    for (int i = 0; i < 371; ++i) {
        rtf += "<w:LsdException Locked=\"false\" Priority=\"";
        rtf += std::to_string(rnd.Below(100));
        rtf += rnd.Below(3) == 0 ? "\" SemiHidden=\"true\" UnhideWhenUsed=\"true\" Name=\""
                                 : "\" Name=\"";
        rtf += rnd.Pick(kStyleNames);
        rtf += "\"/>\\par ";
    }
    rtf +=
        "</w:LatentStyles>\\par </xml><![endif]-->}\r\n{\\*\\htmltag241 <style>}\r\n"
        "{\\*\\htmltag241 <!--\\par /* Style Definitions */\\par ";
    for (int i = 0; i < 12; ++i) rtf += rnd.Pick(kCssRules);
    rtf +=
        "-->}\r\n{\\*\\htmltag249 </style>}\r\n{\\*\\htmltag41 </head>}\r\n"
        "{\\*\\htmltag50 <body lang=EN-GB link=\"#0563C1\" vlink=\"#954F72\">}\\htmlrtf "
        "\\lang2057 \\htmlrtf0 \r\n{\\*\\htmltag96 <div class=WordSection1>}\\htmlrtf {\\htmlrtf0 "
        "\r\n";
}

void Paragraph(Random& rnd, std::string& rtf)
{
    rtf += "{\\*\\htmltag64 <p class=MsoNormal>}\\htmlrtf {\\htmlrtf0 ";
    const uint32_t sentences = 1 + rnd.Below(4);
    for (uint32_t s = 0; s < sentences; ++s) {
        if (rnd.Below(3) == 0) {
            rtf +=
                "{\\*\\htmltag148 <span style='font-size:10.0pt;font-family:\"Arial\",sans-serif;"
                "color:#1F497D'>}\\htmlrtf {\\htmlrtf0 ";
            Sentence(rnd, rtf);
            rtf += "\\htmlrtf }\\htmlrtf0 {\\*\\htmltag156 </span>}";
        } else {
            Sentence(rnd, rtf);
            rtf += ' ';
        }
        if (rnd.Below(4) == 0) rtf += "\\tab ";
    }
    rtf +=
        "\r\n{\\*\\htmltag244 <o:p>}\r\n{\\*\\htmltag252 </o:p>}\r\n"
        "{\\*\\htmltag72 </p>}\\htmlrtf \\par\r\n}\\htmlrtf0 \r\n";
}

std::string MakeRtf(size_t cbTarget, bool withHeads)
{
    Random rnd;
    std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl\r\n{\\f0\\fswiss Arial;}\r\n"
        "{\\f1\\fmodern Courier "
        "New;}}\r\n{\\colortbl\\red0\\green0\\blue0;\\red5\\green99\\blue193;}"
        "\r\n\\uc1\\pard\\plain\\deftab360 \\f0\\fs24 \r\n{\\*\\htmltag19 <html>}\r\n";
    while (rtf.size() < cbTarget) {
        if (withHeads) Head(rnd, rtf);
        const uint32_t paragraphs = 5 + rnd.Below(40);
        for (uint32_t i = 0; i < paragraphs; ++i) Paragraph(rnd, rtf);
        if (withHeads)
            rtf += "{\\*\\htmltag104 </div>}\\htmlrtf }\\htmlrtf0 \r\n{\\*\\htmltag58 </body>}\r\n";
    }
    rtf += "{\\*\\htmltag27 </html>}}\r\n";
    return rtf;
}

// Processor time rather than wall time: the machine is shared, and time
// spent descheduled says nothing about the filter.
double Seconds(std::clock_t t0) { return static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC; }

constexpr int kRuns = 7;

// Best time of kRuns conversions of rtf, block by block; 0 on failure.
double TimeFilter(const std::string& rtf, std::vector<char>& area, uint64_t& cbHtml)
{
    RtfHtmlState state;
    double best = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        const std::clock_t t0 = std::clock();
        cbHtml = 0;
        for (size_t off = 0; off < rtf.size(); off += kRtfHtmlChunkSize) {
            const uint32_t cb =
                static_cast<uint32_t>(std::min<size_t>(kRtfHtmlChunkSize, rtf.size() - off));
            uint32_t cbOut = 0;
            if (RtfHtmlConvertChunk(state, off == 0, 1252, rtf.data() + off, cb, area.data(),
                                    kRtfHtmlOutputCapacity, &cbOut) != RtfHtmlResult::kOk) {
                return 0;
            }
            cbHtml += cbOut;
        }
        best = std::min(best, Seconds(t0));
    }
    return best;
}

double TimeMemcpy(const std::string& rtf, std::vector<char>& area, unsigned& sink)
{
    double best = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        const std::clock_t t0 = std::clock();
        for (size_t off = 0; off < rtf.size(); off += kRtfHtmlChunkSize) {
            const size_t cb = std::min<size_t>(kRtfHtmlChunkSize, rtf.size() - off);
            std::memcpy(area.data(), rtf.data() + off, cb);
            sink += static_cast<unsigned char>(area[cb / 2]);
        }
        best = std::min(best, Seconds(t0));
    }
    return best;
}

} // namespace

int main()
{
    std::vector<char> area(kRtfHtmlOutputCapacity);
    unsigned sink = 0;
    for (const bool withHeads : {true, false}) {
        const std::string rtf = MakeRtf(48u << 20, withHeads);
        uint64_t cbHtml = 0;
        const double filter = TimeFilter(rtf, area, cbHtml);
        if (filter == 0) {
            std::fprintf(stderr, "conversion failed\n");
            return 1;
        }
        const double copy = TimeMemcpy(rtf, area, sink);
        const double mb = static_cast<double>(rtf.size()) / 1e6;
        std::printf("%s: %.1f MB of RTF to %.1f MB of HTML, best of %d (processor time)\n",
                    withHeads ? "Word-like messages" : "body markup only", mb,
                    static_cast<double>(cbHtml) / 1e6, kRuns);
        std::printf("  rtf-to-html %7.0f MB/s\n", mb / filter);
        std::printf("  memcpy      %7.0f MB/s\n", mb / copy);
        std::printf("  ratio       %7.3f of memcpy\n", copy / filter);
    }
    return sink == 12345 ? 1 : 0;
}
