// Throughput of the RTF-to-HTML filter in the 1,000,000-byte blocks the
// bodies exports use, against memcpy of the same blocks into the same area,
// timed in interleaved rounds; the figure is the median of the rounds.
//   bench_rtf_html [rounds, default 15] [only cases whose name contains TEXT]
// With 0 rounds each case is converted once, untimed, for counting
// instructions under callgrind (--toggle-collect=RtfHtmlConvertChunk).
//
// Three kinds of mail, each as a 1 MB and an 8 MB body:
// - Word-like: a long head of CSS and XML in htmltag groups, then the body;
// - Outlook-style: short htmltag groups one to a line, \htmlrtf runs of RTF
//   formatting (fonts, lists, tables, hyperlink fields) and text in \'hh
//   escapes, as Outlook writes mail in a double-byte code page;
// - dense markup: body markup alone (\htmlrtf groups, short text, \par,
//   \'hh, \u), about five times as many braces and backslashes per byte.
// Goal: at least 1/5 of memcpy on every case.
#include "messages/rtf_html.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
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

// Text of a double-byte code page as RTF writes it: every byte a \'hh escape.
void EscapedText(Random& rnd, std::string& out, uint32_t chars)
{
    static const char kHex[] = "0123456789abcdef";
    for (uint32_t i = 0; i < chars; ++i) {
        if (rnd.Below(8) == 0) {
            out += rnd.Pick(kWords);
            continue;
        }
        for (const uint32_t b : {0x82u + rnd.Below(8), 0x40u + rnd.Below(0xBC)}) {
            out += "\\'";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
}

void OutlookParagraph(Random& rnd, std::string& rtf)
{
    rtf +=
        "{\\*\\htmltag64 <p class=MsoNormal>}\\htmlrtf {\\htmlrtf0 \r\n"
        "{\\*\\htmltag148 <span style='font-size:10.5pt;font-family:\\'82\\'6c\\'82\\'72 "
        "\\'83\\'53\\'83\\'56\\'83\\'62\\'83\\'4e'>}\\htmlrtf {\\f4\\fs21 \\htmlrtf0 ";
    EscapedText(rnd, rtf, 4 + rnd.Below(30));
    switch (rnd.Below(6)) {
        case 0:
            rtf += "\r\n{\\*\\htmltag84 <a href=\"https://intranet.example.com/reports/q";
            rtf += std::to_string(rnd.Below(5));
            rtf +=
                "\">}\\htmlrtf {\\field{\\*\\fldinst{HYPERLINK "
                "\"https://intranet.example.com/reports\"}}"
                "{\\fldrslt\\cf1\\ul \\htmlrtf0 report\\htmlrtf }\\htmlrtf0 \r\n"
                "{\\*\\htmltag92 </a>}\\htmlrtf }\\htmlrtf0 ";
            break;
        case 1:
            rtf += "\r\n{\\*\\htmltag84 <b>}\\htmlrtf {\\b \\htmlrtf0 ";
            EscapedText(rnd, rtf, 3);
            rtf += "\r\n{\\*\\htmltag92 </b>}\\htmlrtf }\\htmlrtf0 ";
            break;
        case 2:
            rtf += "\r\n{\\*\\htmltag84 &nbsp;}\\htmlrtf \\'a0\\htmlrtf0 ";
            break;
        default:
            break;
    }
    rtf +=
        "\r\n{\\*\\htmltag148 <span lang=EN-US>}\\htmlrtf {\\lang1033 \\htmlrtf0 \r\n"
        "{\\*\\htmltag244 <o:p>}\r\n{\\*\\htmltag252 </o:p>}\r\n"
        "{\\*\\htmltag156 </span>}\\htmlrtf }\\htmlrtf0 \r\n"
        "{\\*\\htmltag156 </span>}\\htmlrtf }\\htmlrtf0 \\htmlrtf\\par}\\htmlrtf0\r\n\r\n"
        "{\\*\\htmltag72 </p>}\r\n";
}

void OutlookList(Random& rnd, std::string& rtf)
{
    rtf +=
        "{\\*\\htmltag96 <ul style='margin-top:0mm' type=disc>}\\htmlrtf "
        "{{\\*\\pn\\pnlvlblt\\pnf2\\pnindent360{\\pntxtb\\'b7}}\\htmlrtf0 \r\n";
    for (uint32_t i = 1 + rnd.Below(4); i > 0; --i) {
        rtf +=
            "{\\*\\htmltag68 <li class=MsoNormal style='mso-list:l0 level1 lfo1'>}"
            "\\htmlrtf {\\pntext\\f2\\'b7\\tab}\\li720\\fi-360\\htmlrtf0 ";
        EscapedText(rnd, rtf, 3 + rnd.Below(12));
        rtf += "\r\n{\\*\\htmltag76 </li>}\\htmlrtf \\par\\htmlrtf0 \r\n";
    }
    rtf += "{\\*\\htmltag104 </ul>}\\htmlrtf }\\htmlrtf0 \r\n";
}

void OutlookTable(Random& rnd, std::string& rtf)
{
    rtf +=
        "{\\*\\htmltag104 <table class=MsoNormalTable border=0 cellspacing=0 cellpadding=0>}"
        "\\htmlrtf {\\htmlrtf0 \r\n";
    for (uint32_t row = 2 + rnd.Below(3); row > 0; --row) {
        rtf +=
            "{\\*\\htmltag104 <tr>}\\htmlrtf {\\trowd\\trgaph108\\trleft-108"
            "\\clbrdrt\\brdrw15\\brdrs\\cellx3000\\cellx6000\\htmlrtf0 \r\n";
        for (int cell = 0; cell < 2; ++cell) {
            rtf +=
                "{\\*\\htmltag104 <td width=200 valign=top style='padding:0mm 5.4pt'>}"
                "\\htmlrtf {\\intbl\\htmlrtf0 ";
            EscapedText(rnd, rtf, 2 + rnd.Below(6));
            rtf += "\r\n{\\*\\htmltag104 </td>}\\htmlrtf \\cell}\\htmlrtf0 \r\n";
        }
        rtf += "{\\*\\htmltag104 </tr>}\\htmlrtf \\row}\\htmlrtf0 \r\n";
    }
    rtf += "{\\*\\htmltag104 </table>}\\htmlrtf }\\htmlrtf0 \r\n";
}

std::string MakeOutlookRtf(size_t cbTarget)
{
    Random rnd;
    std::string rtf =
        "{\\rtf1\\ansi\\ansicpg932\\fromhtml1 \\fbidis \\deff0{\\fonttbl\r\n"
        "{\\f0\\fswiss\\fcharset128 MS PGothic;}\r\n{\\f1\\fmodern MS Gothic;}\r\n"
        "{\\f2\\fnil\\fcharset2 Symbol;}\r\n{\\f3\\fmodern\\fcharset0 Courier New;}\r\n"
        "{\\f4\\fswiss\\fcharset128 \\'82\\'6c\\'82\\'72 "
        "\\'83\\'53\\'83\\'56\\'83\\'62\\'83\\'4e;}}\r\n"
        "{\\colortbl\\red0\\green0\\blue0;\\red5\\green99\\blue193;}\r\n"
        "\\uc1\\pard\\plain\\deftab360 \\f0\\fs24 \r\n{\\*\\htmltag19 <html>}\r\n{\\*\\htmltag34 "
        "<head>}\r\n"
        "{\\*\\htmltag161 <meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=shift_jis\">}"
        "\r\n{\\*\\htmltag41 </head>}\r\n{\\*\\htmltag50 <body lang=JA link=\"#0563C1\">}"
        "\\htmlrtf \\lang1041 \\htmlrtf0 \r\n{\\*\\htmltag96 <div class=WordSection1>}"
        "\\htmlrtf {\\htmlrtf0 \r\n";
    while (rtf.size() < cbTarget) {
        switch (rnd.Below(8)) {
            case 0:
                OutlookList(rnd, rtf);
                break;
            case 1:
                OutlookTable(rnd, rtf);
                break;
            default:
                OutlookParagraph(rnd, rtf);
                break;
        }
    }
    rtf +=
        "{\\*\\htmltag104 </div>}\\htmlrtf }\\htmlrtf0 \r\n{\\*\\htmltag58 </body>}\r\n"
        "{\\*\\htmltag27 </html>}}\r\n";
    return rtf;
}

// Processor time rather than wall time: the machine is shared, and time
// spent descheduled says nothing about the filter.
double Seconds(std::clock_t t0) { return static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC; }

// Every round takes about this many bytes per contender, repeating a
// small body, so that one timing is long enough to measure.
constexpr size_t kRoundBytes = 16u << 20;

// Converts rtf block by block, as the bodies exports do; false on failure.
bool Filter(const std::string& rtf, std::vector<char>& area, uint64_t& cbHtml)
{
    static RtfHtmlState state;
    cbHtml = 0;
    for (size_t off = 0; off < rtf.size(); off += kRtfHtmlChunkSize) {
        const uint32_t cb =
            static_cast<uint32_t>(std::min<size_t>(kRtfHtmlChunkSize, rtf.size() - off));
        uint32_t cbOut = 0;
        if (RtfHtmlConvertChunk(state, off == 0, 1252, rtf.data() + off, cb, area.data(),
                                kRtfHtmlOutputCapacity, &cbOut) != RtfHtmlResult::kOk) {
            return false;
        }
        cbHtml += cbOut;
    }
    return true;
}

void Copy(const std::string& rtf, std::vector<char>& area)
{
    for (size_t off = 0; off < rtf.size(); off += kRtfHtmlChunkSize) {
        const size_t cb = std::min<size_t>(kRtfHtmlChunkSize, rtf.size() - off);
        std::memcpy(area.data(), rtf.data() + off, cb);
        asm volatile("" : : "r"(area.data()) : "memory");
    }
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Case {
    std::string name;
    std::string rtf;
};

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(0, std::atoi(argv[1])) : 15;
    const char* only = argc > 2 ? argv[2] : "";
    std::vector<Case> cases;
    for (const size_t mb : {1u, 8u}) {
        const size_t cb = mb << 20;
        const std::string size = " " + std::to_string(mb) + " MB";
        cases.push_back({"Word-like" + size, MakeRtf(cb, true)});
        cases.push_back({"Outlook-style" + size, MakeOutlookRtf(cb)});
        cases.push_back({"dense markup" + size, MakeRtf(cb, false)});
    }

    std::vector<char> area(kRtfHtmlOutputCapacity);
    if (rounds == 0) {
        for (const Case& c : cases) {
            if (c.name.find(only) == std::string::npos) continue;
            uint64_t cbHtml = 0;
            if (!Filter(c.rtf, area, cbHtml)) return 1;
            std::printf("%s: %zu bytes of RTF, %llu of HTML\n", c.name.c_str(), c.rtf.size(),
                        static_cast<unsigned long long>(cbHtml));
        }
        return 0;
    }
    std::printf("RTF-to-HTML filter, median of %d interleaved rounds (processor time):\n", rounds);
    for (const Case& c : cases) {
        if (c.name.find(only) == std::string::npos) continue;
        const size_t repeat = std::max<size_t>(1, kRoundBytes / c.rtf.size());
        std::vector<double> filterTimes, copyTimes, ratios;
        uint64_t cbHtml = 0;
        for (int round = 0; round < rounds; ++round) {
            std::clock_t t0 = std::clock();
            for (size_t i = 0; i < repeat; ++i) {
                if (!Filter(c.rtf, area, cbHtml)) {
                    std::fprintf(stderr, "%s: conversion failed\n", c.name.c_str());
                    return 1;
                }
            }
            const double filter = Seconds(t0);
            t0 = std::clock();
            for (size_t i = 0; i < repeat; ++i) Copy(c.rtf, area);
            const double copy = Seconds(t0);
            filterTimes.push_back(filter);
            copyTimes.push_back(copy);
            ratios.push_back(filter > 0 ? copy / filter : 0);
        }
        const double mb = static_cast<double>(c.rtf.size() * repeat) / 1e6;
        const double ratio = Median(ratios);
        std::printf(
            "filter %-19s %6.0f MB/s  memcpy %6.0f MB/s  ratio %.3f of memcpy (goal 0.200)%s"
            "  [%.0f%% of the bytes become HTML]\n",
            c.name.c_str(), mb / Median(filterTimes), mb / Median(copyTimes), ratio,
            ratio >= 0.2 ? "" : "  BELOW", 100.0 * cbHtml / c.rtf.size());
    }
    return 0;
}
