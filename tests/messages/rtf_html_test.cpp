#include "messages/rtf_html.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::string kSourceDir = ORVIMAPI_SOURCE_DIR;

bool ReadFile(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

std::string MetaTag(const std::string& charset)
{
    return "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html;charset=" + charset + "\">";
}

// Converts rtf in chunks that end at the given offsets (the last chunk runs
// to the end), the first with the first-chunk flag, as the bodies exports do.
RtfHtmlResult ConvertCut(const std::string& rtf, int32_t codePage, const std::vector<size_t>& cuts,
                         std::string& html)
{
    RtfHtmlState state;
    html.clear();
    size_t begin = 0;
    for (size_t i = 0; i <= cuts.size() && begin < rtf.size(); ++i) {
        const size_t end = i < cuts.size() ? cuts[i] : rtf.size();
        RtfHtmlResult r = RtfHtmlAppendChunk(state, begin == 0, codePage, rtf.data() + begin,
                                             static_cast<uint32_t>(end - begin), html);
        if (r != RtfHtmlResult::kOk) return r;
        begin = end;
    }
    return RtfHtmlResult::kOk;
}

std::string Convert(const std::string& rtf, int32_t codePage)
{
    std::string html;
    EXPECT_EQ(ConvertCut(rtf, codePage, {}, html), RtfHtmlResult::kOk);
    return html;
}

// A chunk may start at pos without changing the output unless the handling
// of its first byte depends on the byte before it.
bool InvisibleCut(const std::string& rtf, size_t pos)
{
    const char c = rtf[pos];
    const char before = rtf[pos - 1];
    if (c == '\\') return before == '\\';
    if (c == '{' || c == '}' || c == '*') return before != '\\';
    return true;
}

// Cuts every `step` bytes where that is invisible; the first chunk runs just
// past the byte that ends \fromhtml, so that it passes the first-chunk test.
std::vector<size_t> InvisibleCuts(const std::string& rtf, size_t step)
{
    size_t pos = rtf.find("\\fromhtml") + 9;
    while (pos < rtf.size() && std::isalnum(static_cast<unsigned char>(rtf[pos]))) ++pos;
    std::vector<size_t> cuts;
    for (pos += 1; pos < rtf.size(); pos += step) {
        while (pos < rtf.size() && !InvisibleCut(rtf, pos)) ++pos;
        if (pos < rtf.size()) cuts.push_back(pos);
    }
    return cuts;
}

// Each pair is a claim about one group of rules; the code page is the name's
// suffix.
struct Golden {
    const char* name;
    int32_t codePage;
};
const Golden kGoldens[] = {
    {"outlook_cp1252", 1252},     {"unicode_cp65001", 65001},   {"unicode_cp437", 437},
    {"escapes_cp1252", 1252},     {"skip_states_cp1252", 1252}, {"htmlrtf_groups_cp1252", 1252},
    {"whitespace_cp1252", 1252},  {"long_words_cp1252", 1252},  {"group_depth_cp1252", 1252},
    {"escape_runs_cp1252", 1252},
};

TEST(RtfHtmlGolden, WholeAndInvisiblyChunkedMatchExpected)
{
    for (const Golden& g : kGoldens) {
        SCOPED_TRACE(g.name);
        const std::string base = kSourceDir + "/tests/data/rtfhtml/" + g.name;
        std::string rtf, expected;
        ASSERT_TRUE(ReadFile(base + ".rtf", rtf));
        ASSERT_TRUE(ReadFile(base + ".html", expected));
        EXPECT_EQ(Convert(rtf, g.codePage), expected);
        for (size_t step : {1, 2, 3, 7, 64}) {
            SCOPED_TRACE("step " + std::to_string(step));
            std::string html;
            ASSERT_EQ(ConvertCut(rtf, g.codePage, InvisibleCuts(rtf, step), html),
                      RtfHtmlResult::kOk);
            EXPECT_EQ(html, expected);
        }
    }
}

// Runs of \' escapes are taken several at a time; a brace or apostrophe
// where the next escape would be must still end the run.
TEST(RtfHtmlEscapes, RunEndsAtTheFirstByteThatIsNotAnEscape)
{
    const std::string doc = "{\\rtf1\\ansi\\fromhtml1 ";
    // The brace closes the document group, so the apostrophe after it is text.
    EXPECT_EQ(Convert(doc + "}\\'83\\'62\\'83\\'>e}'", 437), "'");
    // The brace closes the htmltag group, so the text after it is dropped.
    EXPECT_EQ(Convert(doc + "{\\*\\htmltag0 \\'83\\'62\\'83\\'>e}'x}", 437), "836283>e");
    // A brace inside the htmltag group is counted, not copied.
    EXPECT_EQ(Convert(doc + "{\\*\\htmltag0 \\'83\\'62\\'83\\'84\\'85{'x}}y}", 437),
              "8362838485'x");
    // A one-digit escape: the backslash after it is escaped and copied.
    EXPECT_EQ(Convert(doc + "{\\*\\htmltag0 \\'83\\'62\\'83\\'84\\'8\\\\'x}}y}", 437),
              "836283848\\'x");
}

const std::string kHead = "{\\rtf1\\ansi\\fromhtml1 {\\*\\htmltag1 a";

TEST(RtfHtmlChunks, ChunkStartTakesItsFirstByteAsTheOneBefore)
{
    std::string html;
    // A backslash opening a chunk counts as escaped: it is copied and the
    // word after it becomes text.
    const std::string rtf = kHead + "\\par b}}";
    EXPECT_EQ(Convert(rtf, 0), "a\r\nb");
    ASSERT_EQ(ConvertCut(rtf, 0, {kHead.size()}, html), RtfHtmlResult::kOk);
    EXPECT_EQ(html, "a\\par b");

    // A brace opening a chunk is never escaped, even after a backslash.
    const std::string split = kHead + "\\{b}c}";
    EXPECT_EQ(Convert(split, 0), "a{b");
    ASSERT_EQ(ConvertCut(split, 0, {kHead.size() + 1}, html), RtfHtmlResult::kOk);
    EXPECT_EQ(html, "ab");
}

// 501 bytes of dropped text inside the document group, with \fromhtml's
// terminating space at index `terminator`.
std::string FromhtmlEndingAt(size_t terminator)
{
    std::string rtf = "{\\rtf1 ";
    rtf.append(terminator - rtf.size() - 9, 'x');
    rtf += "\\fromhtml ";
    EXPECT_EQ(rtf.size(), terminator + 1);
    return rtf + "{\\*\\htmltag1 ok}}";
}

TEST(RtfHtmlFirstChunk, NeedsRtfAndFromhtmlByIndex501)
{
    EXPECT_EQ(Convert(FromhtmlEndingAt(501), 0), "ok");

    std::string html = "kept";
    RtfHtmlState state;
    const std::string late = FromhtmlEndingAt(502);
    EXPECT_EQ(
        RtfHtmlAppendChunk(state, true, 0, late.data(), static_cast<uint32_t>(late.size()), html),
        RtfHtmlResult::kNotHtml);
    EXPECT_EQ(html, "kept");

    // Only a first chunk is tested.
    const std::string first = "{\\rtf1\\fromhtml1 ";
    ASSERT_EQ(ConvertCut(first + late, 0, {first.size()}, html), RtfHtmlResult::kOk);
    EXPECT_EQ(html, "ok");
}

TEST(RtfHtmlFirstChunk, ShortChunkNeedsBothWordsClassified)
{
    std::string html;
    for (const char* rtf : {"{\\rtf1 {\\*\\htmltag1 x}}", "{\\fromhtml1 {\\*\\htmltag1 x}}",
                            "{\\rtf1\\fromhtml1", "{\\RTF1\\fromhtml1 }", "plain text"}) {
        SCOPED_TRACE(rtf);
        EXPECT_EQ(ConvertCut(rtf, 1252, {}, html), RtfHtmlResult::kNotHtml);
    }
    EXPECT_EQ(ConvertCut("{\\rtf1\\fromhtml1}", 1252, {}, html), RtfHtmlResult::kOk);
    EXPECT_EQ(html, MetaTag("windows-1252"));
}

TEST(RtfHtmlArguments, EmptyOrNullTouchesNothing)
{
    const char in[] = "{\\rtf1\\fromhtml1 }";
    char out[16];
    uint32_t cbOut = 77;
    RtfHtmlState state;
    state.groupDepth = 5;
    struct Case {
        const char* in;
        uint32_t cbIn;
        char* out;
        uint32_t cap;
        uint32_t* pcb;
    };
    for (const Case& c : {Case{nullptr, 5, out, 16, &cbOut}, Case{in, 0, out, 16, &cbOut},
                          Case{in, 5, nullptr, 16, &cbOut}, Case{in, 5, out, 0, &cbOut},
                          Case{in, 5, out, 16, nullptr}}) {
        std::memset(out, '#', sizeof out);
        EXPECT_EQ(RtfHtmlConvertChunk(state, true, 1252, c.in, c.cbIn, c.out, c.cap, c.pcb),
                  RtfHtmlResult::kInvalidArgument);
        EXPECT_EQ(std::string(out, sizeof out), std::string(sizeof out, '#'));
        EXPECT_EQ(cbOut, 77u);
        EXPECT_EQ(state.groupDepth, 5);
    }
}

TEST(RtfHtmlOutput, MetaTagNamesTheCodePagesCharset)
{
    char out[kHtmlMetaTagMax + 8];
    const struct {
        int32_t codePage;
        const char* charset;
    } hits[] = {{1252, "windows-1252"}, {852, "dos-582"},          {28599, "iso-8859-9"},
                {50222, "iso-2022-jp"}, {50949, "_autodetect_kr"}, {65001, "utf-8"}};
    for (const auto& h : hits) {
        SCOPED_TRACE(h.codePage);
        std::memset(out, '#', sizeof out);
        const std::string tag = MetaTag(h.charset);
        ASSERT_EQ(HtmlCharsetMetaTag(h.codePage, out), tag.size());
        EXPECT_EQ(std::string(out, tag.size() + 1), tag + "#");
    }
    EXPECT_EQ(MetaTag("windows-1252").size(), 73u);
    EXPECT_EQ(MetaTag("_autodetect_kr").size(), kHtmlMetaTagMax);
    for (int32_t codePage : {437, 0, -1, 1249, 28600}) {
        std::memset(out, '#', sizeof out);
        EXPECT_EQ(HtmlCharsetMetaTag(codePage, out), 0u) << codePage;
        EXPECT_EQ(out[0], '#');
    }
}

TEST(RtfHtmlOutput, WorstCaseStaysWithinBoundAndAreaIsNeverOverrun)
{
    std::string rtf = "{\\rtf1\\fromhtml1 ";
    for (int i = 0; i < 2000; ++i) rtf += "\\u";
    const uint32_t cbIn = static_cast<uint32_t>(rtf.size());
    const std::string whole = Convert(rtf, 65001);
    ASSERT_EQ(whole.size(), MetaTag("utf-8").size() + 1999 * 3); // the last \u stays pending
    EXPECT_LE(whole.size(), RtfHtmlOutputBound(cbIn, true));

    std::vector<char> area(whole.size() + 1);
    uint32_t cbOut = 0;
    RtfHtmlState state;
    EXPECT_EQ(RtfHtmlConvertChunk(state, true, 65001, rtf.data(), cbIn, area.data(),
                                  static_cast<uint32_t>(whole.size()), &cbOut),
              RtfHtmlResult::kOk);
    EXPECT_EQ(std::string(area.data(), cbOut), whole);
    for (uint32_t cap : {static_cast<uint32_t>(whole.size() - 1), 70u, 3u}) {
        std::fill(area.begin(), area.end(), '#');
        EXPECT_EQ(
            RtfHtmlConvertChunk(state, true, 65001, rtf.data(), cbIn, area.data(), cap, &cbOut),
            RtfHtmlResult::kOutputFull);
        EXPECT_EQ(area[cap], '#');
    }

    // One byte after a pending \u: the pending word and an "escaped" backslash.
    std::string html;
    ASSERT_EQ(ConvertCut(rtf + "\\", 65001, {rtf.size()}, html), RtfHtmlResult::kOk);
    EXPECT_EQ(html.size() - whole.size(), 4u);
    EXPECT_LE(4u, RtfHtmlOutputBound(1, false));
}

int32_t ClassifyWord(const char* word, int32_t skipState, RtfHtmlState* after = nullptr)
{
    RtfHtmlState state;
    state.skipState = skipState;
    state.readerMode = kRtfReaderWord;
    for (const char* p = word; *p != '\0'; ++p) {
        RtfWordReader(state, *p);
        state.previousChar = *p;
    }
    EXPECT_EQ(state.readerMode, kRtfReaderWord) << word;
    const int32_t code = RtfWordClassify(state);
    if (after != nullptr) *after = state;
    return code;
}

TEST(RtfHtmlWords, WholeCaseSensitiveWordsAndTheirParameters)
{
    for (const char* word : {"Par", "pa", "ulnone", "htmltag19", "fromhtmlx", ""}) {
        RtfHtmlState after;
        EXPECT_EQ(ClassifyWord(word, kRtfSkipNone, &after), kRtfWordNone) << word;
        EXPECT_EQ(after.skipState, kRtfSkipNone) << word;
    }
    EXPECT_EQ(ClassifyWord("htmlrtf-0", kRtfSkipNone), kRtfWordHtmlrtf0);
    EXPECT_EQ(ClassifyWord("htmlrtf00", kRtfSkipNone), kRtfWordHtmlrtf0);
    EXPECT_EQ(ClassifyWord("htmlrtf2", kRtfSkipNone), kRtfWordHtmlrtf);
    RtfHtmlState after;
    EXPECT_EQ(ClassifyWord("u1-2", kRtfSkipNone, &after), kRtfWordU);
    EXPECT_EQ(after.parameter, -12);
    EXPECT_EQ(ClassifyWord("u", kRtfSkipNone, &after), kRtfWordU);
    EXPECT_EQ(after.parameter, -1);
    // A known word after \* leaves the marker for the next one.
    EXPECT_EQ(ClassifyWord("par", kRtfSkipStar, &after), kRtfWordPar);
    EXPECT_EQ(after.skipState, kRtfSkipStar);
    EXPECT_EQ(ClassifyWord("generator", kRtfSkipStar, &after), kRtfWordNone);
    EXPECT_EQ(after.skipState, kRtfSkipSuppress);
}

TEST(RtfHtmlWords, OverlongParameterKeepsItsFirst35Digits)
{
    // 35 digits give 6; the five after them are cut.
    const std::string rtf = "{\\rtf1\\fromhtml1 \\u" + std::string(34, '0') + "6" + "99999 }";
    EXPECT_EQ(Convert(rtf, 65001), MetaTag("utf-8") + "\x06");
    const std::string word = "{\\rtf1\\fromhtml1 \\" + std::string(400, 'p') + "ar x}";
    EXPECT_EQ(Convert(word, 0), "");
}

TEST(RtfHtmlBlocks, BodyCrossingABlockBoundaryThroughTheProcessBuffers)
{
    const std::string para =
        "{\\*\\htmltag64 <p>}\\htmlrtf {\\htmlrtf0 Line 000000\\par\\htmlrtf }\\htmlrtf0 "
        "{\\*\\htmltag72 </p>}\r\n";
    std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0 Arial;}}\r\n"
        "{\\*\\htmltag19 <html>}";
    // Pad with dropped text so that the second block starts inside the
    // \htmlrtf0 of a paragraph.
    const size_t inPara = para.find("\\htmlrtf0") + 5;
    rtf.append((kRtfHtmlChunkSize - rtf.size() - inPara) % para.size(), 'x');
    std::string expected = MetaTag("windows-1252") + "<html>";
    char number[16];
    for (int i = 0; rtf.size() < kRtfHtmlChunkSize + 5000; ++i) {
        std::snprintf(number, sizeof number, "%06d", i % 1000000);
        rtf += para;
        rtf.replace(rtf.size() - para.size() + para.find("000000"), 6, number);
        expected += std::string("<p>Line ") + number + "\r\n</p>";
    }
    rtf += "{\\*\\htmltag27 </html>}}";
    expected += "</html>";
    ASSERT_EQ(rtf.compare(kRtfHtmlChunkSize - 5, 9, "\\htmlrtf0"), 0);

    RtfHtmlConversion& conversion = RtfHtmlProcessConversion();
    std::string html;
    size_t offset = 0;
    int blocks = 0;
    for (bool first = true;; first = false) {
        const size_t cb = std::min<size_t>(kRtfHtmlChunkSize, rtf.size() - offset);
        if (cb == 0) break;
        std::memcpy(conversion.input, rtf.data() + offset, cb);
        uint32_t cbOut = 0;
        ASSERT_EQ(RtfHtmlConvertChunk(conversion.state, first, 1252, conversion.input,
                                      static_cast<uint32_t>(cb), conversion.output,
                                      kRtfHtmlOutputCapacity, &cbOut),
                  RtfHtmlResult::kOk);
        html.append(conversion.output, cbOut);
        ++blocks;
        offset += cb;
        if (cb < kRtfHtmlChunkSize) break;
    }
    EXPECT_EQ(blocks, 2);
    EXPECT_TRUE(html == expected) << "sizes " << html.size() << " and " << expected.size();
}

// The filter takes the sequences Outlook writes most (a {\*\htmltagN
// group, \htmlrtf closed after one brace, escape runs with text between
// them, a word right after a brace) in one step when enough bytes follow,
// and byte by byte near a chunk's end. Cut at every invisible place, a
// body goes the byte-by-byte way, so both must agree, including on the
// near misses of each sequence; each must also fit an area of exactly its
// size and fail one byte short.
TEST(RtfHtmlFastPaths, AgreeWithTheByteByByteReadingAndFillTheAreaExactly)
{
    const std::string doc = "{\\rtf1\\ansi\\fromhtml1 {\\*\\htmltag19 <html>}";
    const std::string tail = "{\\*\\htmltag27 </html>} and then some text to read ahead of}";
    const char* const bodies[] = {
        // \htmlrtf closed after one brace, outside and inside a tag group, and
        // its near misses.
        "\\htmlrtf {\\htmlrtf0 a\\htmlrtf }\\htmlrtf0 b}c\\htmlrtf }\\htmlrtf0 d}e",
        "{\\*\\htmltag4 x\\htmlrtf {\\htmlrtf0 y}z\\htmlrtf }\\htmlrtf0 w",
        "\\htmlrtf {\\htmlrtf00 a\\htmlrtf {\\htmlrtf0x b\\htmlrtf {\\htmlrtf1 c}\\htmlrtf0 d",
        "\\htmlrtf \\{\\htmlrtf0 a\\htmlrtf {\\htmlrtf0\\par b\\htmlrtf0 \\htmlrtf}\\htmlrtf0 c",
        // Tag groups: after a dropped destination, without digits, with seven,
        // ended by other bytes, and the word without \*.
        "{\\*\\generator x;}{\\*\\htmltag5 <b>}t{\\*\\htmltag <i>}u{\\*\\htmltag1234567 <s>}v",
        "{\\*\\htmltag5}w{\\*\\htmltag5\\par x}y{\\*\\htmltagx z}{\\htmltag7 q}r{\\*\\htmltag12 "
        "a{b}c}d",
        // Words right after braces.
        "{\\par}{\\tab}{\\u233 x}{\\u-3\\'41}{\\'41}{\\*}{\\\\}{\\{}a",
        // \par between runs of copied text, in a tag group and after the
        // document's group has closed (where it sets the group flag).
        "{\\*\\htmltag4 a\\par b\\par\\par c\\par \\par d\\par}e\\par f}}}}}g\\par h\\par i{",
        // An escape right after a word, outside and inside \htmlrtf.
        "{\\u8364\\'80 a\\tab\\'82\\'a0b}\\htmlrtf \\b\\'41 c\\htmlrtf0 \\par\\'7e",
        // Escape runs with text between them, ended by each byte that ends a run.
        "\\'82\\'a0abc\\'83\\'41\\'84def\\'85{\\'86gh}\\'87ij\\\\'88kl\\par \\'89\\'8a\r\n\\'8b",
        "{\\*\\htmltag9 "
        "\\'82\\'a0ab\\'83\\'41cd\\'8}\\'84x\\'85\\'86\\'87\\'88\\'89\\'8a\\'8b\\'8c",
        "\\htmlrtf \\'82\\'a0ab\\'83 c\\htmlrtf0 "
        "\\'84\\'85\\'86\\'87\\'88\\'89\\'8a\\'8b\\'8c\\'8d",
        // Copied text holding bytes the copy loop's quick test takes for
        // possible run ends ('[', ']', '|', control bytes), with and without
        // a true one later in the same 16 bytes.
        "{\\*\\htmltag4 <![if gte mso 9]>|a|b\x01\x08\x0b\x0c|[x]|y[z]<![endif]-->\\par "
        "ab]c[d|e]f\x0b\x0cg\\tab h|]\x0e\x1f\x7f\xfb\xdb\xdd\x5b\x5d\x7c\\'41 i}",
        // Long escape runs, taken eight escapes a step: exactly eight, and
        // runs broken in each quarter of the second half of a step; inside
        // a brace opened under \htmlrtf, so that they are copied.
        "\\htmlrtf {\\htmlrtf0 \\'81\\'82\\'83\\'84\\'85\\'86\\'87\\'88 x"
        "\\'81\\'82\\'83\\'84\\'85\\'86\\'87\\'88\\'89y"
        "\\'a1\\'a2\\'a3\\'a4\\'a5\\'a6\\'a7\\'a{"
        "\\'b1\\'b2\\'b3\\'b4\\'b5\\'b6\\'b7\\'b8\\'b9\\'ba\\'bb\\'bc\\'bd\\'be\\b1}"
        "\\'c1\\'c2\\'c3\\'c4\\'c5\\'c6\\'c7\\'c8\\'c9\\'ca\\'cb\\'cc\\'cd\\'ce\\'c{"
        "\\'d1\\'d2\\'d3\\'d4\\'d5\\'d6\\'d7\\'d8\\'d9\\'da\\'db\\'dc\\'dd\\'de\\'df\\'\\'d1",
        // Copied escape runs with digits that the quick test takes for
        // possible run ends, and with an apostrophe where a group's
        // backslash should be.
        "\\htmlrtf {\\htmlrtf0 \\'e1\\'e[\\'e3\\'|4\\'e5\\'e6\\'e7\\'e8\\'e9\\'ea\\'e]\\'\x0b"
        "c\\'ed\\'ee\\'ef\\'f0 x"
        "\\'f1\\'f2\\'f3\\'f4x'f5\\'f6\\'f7\\'f8\\'f9\\'fa\\'fb y",
        // \u with its fallback escape, as Word writes characters: one to
        // seven digits, a minus sign, none, values past 16 bits, and near
        // misses (eight digits, a minus inside or doubled, no apostrophe, an
        // escaped backslash before the word); copied, in a tag group and
        // under \htmlrtf.
        "\\htmlrtf {\\htmlrtf0 a\\u8364\\'80b\\u-4064\\'3f\\'41c\\u\\'3fd\\u-\\'3fe\\u65\\'{"
        "\\u0\\'41\\u1234567\\'3ff\\u99999\\'3f\\u-1\\'3f\\u12345678\\'3fg\\u1-2\\'3f"
        "\\u--5\\'3fh\\u233\\'e9\\'e9\\'e9 i\\u233\\ j\\u233\\\\'e9 k\\\\u233\\'e9 l}",
        "{\\*\\htmltag4 <p title=\\u8364\\'80x\\u-3\\'41>}\\htmlrtf \\u8364\\'80 y\\u65\\'41"
        "\\htmlrtf0 z",
        // \tab ended by a space, and its near misses, copied, under \htmlrtf
        // and in a dropped destination.
        "\\htmlrtf {\\htmlrtf0 a\\tab b\\tab\\tab c\\tabx d\\tab1 e\\tab  f\\htmlrtf \\tab "
        "\\htmlrtf0 g{\\*\\x y\\tab z}\\tab h{\\*\\htmltag4 \\tab i}",
    };
    // Under code page 65001 \u gives the character's own bytes, so that a
    // wrong parameter shows; elsewhere it gives "?".
    for (const int32_t codePage : {1252, 65001})
        for (const char* body : bodies) {
            SCOPED_TRACE(testing::Message() << "code page " << codePage << ": " << body);
            const std::string rtf = doc + body + tail;
            const std::string html = Convert(rtf, codePage);
            std::string cut;
            ASSERT_EQ(ConvertCut(rtf, codePage, InvisibleCuts(rtf, 1), cut), RtfHtmlResult::kOk);
            EXPECT_EQ(cut, html);

            for (uint32_t cb :
                 {static_cast<uint32_t>(html.size()), static_cast<uint32_t>(html.size() - 1)}) {
                std::vector<char> area(cb);
                RtfHtmlState state;
                uint32_t cbOut = 0;
                const RtfHtmlResult r =
                    RtfHtmlConvertChunk(state, true, codePage, rtf.data(),
                                        static_cast<uint32_t>(rtf.size()), area.data(), cb, &cbOut);
                if (cb == html.size()) {
                    ASSERT_EQ(r, RtfHtmlResult::kOk);
                    EXPECT_EQ(std::string(area.data(), cbOut), html);
                } else {
                    EXPECT_EQ(r, RtfHtmlResult::kOutputFull);
                }
            }
        }
    // Spot checks that the agreement is on the right output: text inside a
    // brace opened under \htmlrtf is copied, text after it closes is not
    // until the document's group ends; a dropped destination does not
    // outlast \*\htmltag.
    EXPECT_EQ(Convert(doc + bodies[0] + tail, 0), "<html>ae</html>");
    EXPECT_EQ(Convert(doc + "{\\*\\generator x;}{\\*\\htmltag5 <b>}t" + tail, 0),
              "<html><b></html>");
}

// Markup met again in a chunk is replayed from its first reading when it
// starts in the same state. A paragraph is repeated after bytes that change
// the state it starts in (\htmlrtf, a brace opened under it, a dropped
// destination, \u, a deeper or closed group, an escaped backslash), closing
// braces are met at falling group depths down to 0, markup differs from
// earlier markup only in its middle, and runs of markup are long enough to
// be cut into several spans. Whole, cut byte by byte (too short to replay)
// and cut where a replay would run past the chunk's end, the output must be
// the same, and it must fit an area of exactly its size and fail one byte
// short.
TEST(RtfHtmlSpans, RepeatedMarkupReadsAsItsFirstReadingInEveryState)
{
    const std::string doc = "{\\rtf1\\ansi\\fromhtml1 {\\*\\htmltag19 <html>}";
    const std::string tail = "{\\*\\htmltag27 </html>} and then some text to read ahead of}";
    const std::string para =
        "{\\*\\htmltag64 <p class=MsoNormal>}\\htmlrtf {\\htmlrtf0 text\\par\r\n"
        "{\\*\\htmltag72 </p>}\\htmlrtf }\\htmlrtf0 z\\u233 x{\\*\\htmltag4 <b>}\\tab\\u-4064 "
        "\\htmlrtf \\par\\htmlrtf0 \r\n";
    std::string cells;
    for (int i = 0; i < 40; ++i) cells += "{\\*\\htmltag4 <td>}\\htmlrtf {\\htmlrtf0 \r\n";
    std::string body;
    for (const char* between : {"", "y", "\\htmlrtf ", "{\\*\\generator g;}", "\\ul ", "{", "}",
                                "\\\\", "\\u65 ", "}}", "\\htmlrtf0 ", "\\htmlrtf {\\htmlrtf0 "}) {
        body += para + between + para + para;
    }
    // Markup that differs from markup met before only in its middle.
    const std::string tag = "{\\*\\htmltag64 <p style='" + std::string(150, 'm') +
                            "'>}\\htmlrtf {\\htmlrtf0 t\\htmlrtf }\\htmlrtf0 ";
    for (const size_t at : {20, 47, 80, 111, 140}) {
        std::string other = tag;
        other[at] = 'w';
        body += tag + other;
    }
    // Closing braces that take the group depth to 0 only where the span is
    // met last.
    const std::string closing = "}}{\\par}{\\tab}{\\line}{\\par}";
    body += std::string(300, '}') + "{{{{{{{{{{";
    for (int i = 0; i < 8; ++i) body += "x" + closing;
    const std::string rtf = doc + body + cells + cells + "}" + cells + tail;
    for (const int32_t codePage : {1252, 65001}) {
        SCOPED_TRACE(codePage);
        const std::string html = Convert(rtf, codePage);
        std::string cut;
        ASSERT_EQ(ConvertCut(rtf, codePage, InvisibleCuts(rtf, 1), cut), RtfHtmlResult::kOk);
        EXPECT_TRUE(cut == html);
        for (const size_t step : {97, 301}) {
            ASSERT_EQ(ConvertCut(rtf, codePage, InvisibleCuts(rtf, step), cut), RtfHtmlResult::kOk);
            EXPECT_TRUE(cut == html) << "step " << step;
        }
        for (const size_t cb : {html.size(), html.size() - 1}) {
            std::vector<char> area(cb);
            RtfHtmlState state;
            uint32_t cbOut = 0;
            const RtfHtmlResult r = RtfHtmlConvertChunk(
                state, true, codePage, rtf.data(), static_cast<uint32_t>(rtf.size()), area.data(),
                static_cast<uint32_t>(cb), &cbOut);
            if (cb == html.size()) {
                ASSERT_EQ(r, RtfHtmlResult::kOk);
                EXPECT_TRUE(std::string(area.data(), cbOut) == html);
            } else {
                EXPECT_EQ(r, RtfHtmlResult::kOutputFull);
            }
        }
    }
    // The agreement is on the right output: the same markup, past the first
    // chunk's test bytes, gives its line breaks and tabs until a dropped
    // destination and again after \ul.
    const std::string m = "{\\par}{\\tab}{\\line}{\\par}{\\tab}";
    const std::string rtfSkip = doc + std::string(600, 'z') + "x" + m + "x" + m +
                                "{\\*\\fldinst y}x" + m + "x" + m + "\\ul x" + m + tail;
    EXPECT_EQ(Convert(rtfSkip, 0), "<html>\r\n\t\r\n\r\n\t\r\n\t\r\n\r\n\t\r\n\t\r\n\r\n\t</html>");
}

TEST(RtfHtmlRealData, OutlookBodiesConvertAndChunkInvisibly)
{
    const std::string dir = kSourceDir + "/../shared/realdata/";
    int found = 0;
    for (const char* name : {"msgreader-Subject.rtf", "msgreader-sent.rtf",
                             "msgreader-voteItems.rtf", "decompressrtf-sample1.txt"}) {
        SCOPED_TRACE(name);
        std::string rtf;
        if (!ReadFile(dir + name, rtf)) continue;
        ++found;
        const std::string html = Convert(rtf, 932);
        EXPECT_EQ(html.rfind(MetaTag("shift-jis") + "<html", 0), 0u);
        EXPECT_NE(html.find("<body"), std::string::npos);
        EXPECT_EQ(html.substr(html.size() - 7), "</html>");
        for (size_t step : {1, 997}) {
            std::string chunked;
            ASSERT_EQ(ConvertCut(rtf, 932, InvisibleCuts(rtf, step), chunked), RtfHtmlResult::kOk);
            EXPECT_TRUE(chunked == html) << "step " << step;
        }
    }
    if (found == 0) GTEST_SKIP() << "no real RTF samples in " << dir;
}

} // namespace
