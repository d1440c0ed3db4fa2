// Bodies: text cut to the buffer, the RTF stream and its compressed size,
// and HTML read from the RTF in blocks, else from the HTML property.
#include <fstream>
#include <iterator>

#include "messages/message_support.h"
#include "support/fault_sweep.h"
#include "messages/rtf_html.h"

namespace {

using namespace msgtest;

const std::string kMeta =
    "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html;charset=windows-1252\">";
const std::string kHtmlRtf =
    R"({\rtf1\ansi\fromhtml1 {\*\htmltag19 <html>}\htmlrtf {\htmlrtf0 Hi\par})"
    R"(\htmlrtf0 {\*\htmltag27 </html>}})";
const std::string kPlainRtf = R"({\rtf1\ansi Just RTF\par})";

std::string Json(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

class MessageBodiesTest : public MessageTest {
protected:
    std::string Html(uint32_t index, int32_t codePage = 1252)
    {
        OrviMapiStream stream = nullptr;
        if (OrviMapiMsgGetBodyHTMLStream(Message(index), codePage, &stream) != 0) return "(-1)";
        const std::string html = ReadAll(stream);
        OrviMapiReleaseStream(stream);
        return html;
    }
};

TEST_F(MessageBodiesTest, TextIsCutToTheBufferAndTooLargeBodiesOnlyStream)
{
    const std::string large(40000, 'L');
    OpenInbox(R"([{"body": ")" + std::string(5000, 'b') + R"("}, {"body": ""}, {"body": ")" +
              large + R"("}])");
    char buffer[128];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(OrviMapiMsgGetBodyText(Message(0), 100, buffer), 99);
    EXPECT_EQ(std::string(buffer, 101), std::string(99, 'b') + std::string("\0x", 2));
    EXPECT_EQ(OrviMapiMsgGetBodyText(Message(1), 100, buffer + 100), 0);
    EXPECT_EQ(buffer[100], 'x');
    OrviMapiStream stream = Sentinel<OrviMapiStream>();
    EXPECT_EQ(OrviMapiMsgGetBodyTextStream(Message(1), &stream), 0);
    EXPECT_EQ(stream, nullptr);
    // Beyond GetProps' size limit the body comes back as an error value.
    EXPECT_EQ(OrviMapiMsgGetBodyText(Message(2), 100, buffer), 0);
    ASSERT_EQ(OrviMapiMsgGetBodyTextStream(Message(2), &stream), 0) << LastError();
    EXPECT_TRUE(ReadAll(stream) == large);
    OrviMapiReleaseStream(stream);
}

TEST_F(MessageBodiesTest, AMissingTextBodyIsNoFailureButAFailingOpenIs)
{
    OpenInbox(R"([{"subject": "no body"}, {"body": "text"}])");
    const std::string before = LastError();
    OrviMapiStream stream = Sentinel<OrviMapiStream>();
    EXPECT_EQ(OrviMapiMsgGetBodyTextStream(Message(0), &stream), 0);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(LastError(), before);

    stream = Sentinel<OrviMapiStream>();
    mapisim_fail_method("IMessage::OpenProperty", 1, 0, static_cast<int32_t>(0x80070005));
    EXPECT_EQ(OrviMapiMsgGetBodyTextStream(Message(1), &stream), -1);
    EXPECT_EQ(stream, Sentinel<OrviMapiStream>());
    EXPECT_EQ(LastErrorCode(), "Facility WIN32, Error Num 5");
}

TEST_F(MessageBodiesTest, HtmlComesFromTheRtfElseFromTheHtmlProperty)
{
    OpenInbox("[{\"rtf\": " + Json(kHtmlRtf) + R"(, "html": "<p>prop</p>"}, {"rtf": )" +
              Json(kPlainRtf) + R"(, "html": "<p>prop</p>"}, {"rtf": )" + Json(kPlainRtf) +
              R"(}, {"subject": "none"}])");
    OrviMapiStream rtf = Sentinel<OrviMapiStream>();
    uint32_t size = 0;
    ASSERT_EQ(OrviMapiMsgGetBodyRTFStream(Message(0), &rtf, &size), 0) << LastError();
    EXPECT_EQ(ReadAll(rtf), kHtmlRtf);
    EXPECT_EQ(CallArg("IMessage::OpenProperty", "tag"), "0x10090102");
    EXPECT_EQ(CallFlags("IMessage::OpenProperty"), MAPI_DEFERRED_ERRORS);
    OrviMapiReleaseStream(rtf);
    rtf = Sentinel<OrviMapiStream>();
    EXPECT_EQ(OrviMapiMsgGetBodyRTFStream(Message(3), &rtf, &size), 0);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(rtf, Sentinel<OrviMapiStream>());

    EXPECT_EQ(Html(0), kMeta + "<html>Hi\r\n</html>");
    EXPECT_EQ(Html(0, 437), "<html>Hi\r\n</html>"); // no charset name for 437
    EXPECT_EQ(Html(1), "<p>prop</p>");
    const std::string before = LastError();
    EXPECT_EQ(Html(2), "(-1)");
    EXPECT_EQ(Html(3), "(-1)");
    EXPECT_EQ(LastError(), before);
}

// RTF of exactly `total` bytes whose last byte closes its last HTML tag.
std::string BlockRtf(size_t total, std::string& html)
{
    const std::string unit = R"({\*\htmltag0 <p>L</p>})", tail = R"({\*\htmltag27 </html>)";
    std::string rtf = R"({\rtf1\ansi\fromhtml1 {\*\htmltag19 <html>})";
    html = kMeta + "<html>";
    for (; rtf.size() + unit.size() + tail.size() <= total; rtf += unit) html += "<p>L</p>";
    rtf.append(total - rtf.size() - tail.size(), 'x'); // plain text in the document is dropped
    html += "</html>";
    return rtf + tail;
}

TEST_F(MessageBodiesTest, HtmlCrossesBlockBoundariesWithItsStateCarried)
{
    std::string exactHtml, overHtml;
    const std::string exact = BlockRtf(kRtfHtmlChunkSize, exactHtml);
    const std::string over = BlockRtf(kRtfHtmlChunkSize + 1, overHtml);
    OpenInbox("[{\"rtf\": " + Json(exact) + "}, {\"rtf\": " + Json(over) + "}]");
    auto blockReads = [] {
        uint32_t reads = 0;
        char cb[16];
        for (int32_t i = 0; (i = mapisim_call_find("IStream::Read", i)) >= 0; ++i)
            reads += mapisim_call_arg(i, "cb", cb, sizeof cb) >= 0 && std::string(cb) == "1000000";
        return reads;
    };
    // A full block is followed by one more Read, which gives 0 bytes.
    EXPECT_TRUE(Html(0) == exactHtml);
    EXPECT_EQ(blockReads(), 2u);
    // The one byte of the second block closes the tag the first left open.
    mapisim_call_log_clear();
    EXPECT_TRUE(Html(1) == overHtml);
    EXPECT_EQ(blockReads(), 2u);
}

TEST_F(MessageBodiesTest, RealOutlookBodiesConvertAsTheFilterDoes)
{
    const std::string dir = ORVIMAPI_SOURCE_DIR "/../shared/realdata/";
    std::string compressed, rtf, notHtml;
    for (auto [name, bytes] : {std::pair{"decompressrtf-sample1.bin", &compressed},
                               {"decompressrtf-sample1.txt", &rtf},
                               {"libfmapi-lzfu.1", &notHtml}}) {
        std::ifstream in(dir + name, std::ios::binary);
        if (!in) GTEST_SKIP() << "real Outlook samples not found in " << dir;
        bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    auto hex = [](const std::string& bytes) {
        std::string text;
        for (unsigned char c : bytes)
            (text += "0123456789abcdef"[c >> 4]) += "0123456789abcdef"[c & 15];
        return text;
    };
    OpenInbox(R"([{"rtf_compressed": {"hex": ")" + hex(compressed) + R"("}},
                  {"rtf_compressed": {"hex": ")" +
              hex(notHtml) + R"("}, "html": "<b>x</b>"}])");
    OrviMapiStream stream = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(OrviMapiMsgGetBodyRTFStream(Message(0), &stream, &size), 0) << LastError();
    EXPECT_EQ(size, compressed.size()); // not the decompressed size
    EXPECT_TRUE(ReadAll(stream) == rtf);
    OrviMapiReleaseStream(stream);

    std::string expected;
    RtfHtmlState state;
    ASSERT_EQ(RtfHtmlAppendChunk(state, true, 932, rtf.data(), static_cast<uint32_t>(rtf.size()),
                                 expected),
              RtfHtmlResult::kOk);
    EXPECT_TRUE(Html(0, 932) == expected);
    EXPECT_EQ(Html(1), "<b>x</b>");
}

// HTML that the memory stream could take only in part is not handed out:
// the failure is recorded and the HTML property stands in.
TEST_F(MessageBodiesTest, AFailingWriteOfTheHtmlIsNoBody)
{
    std::string html;
    const std::string rtf = BlockRtf(kRtfHtmlChunkSize + 1, html);
    OpenInbox("[{\"rtf\": " + Json(rtf) + R"(, "html": "<p>prop</p>"}, {"rtf": )" + Json(rtf) +
              "}]");
    mapisim_fail_method("HGlobalStream::Write", 2, 0, static_cast<int32_t>(0x8007000E));
    EXPECT_EQ(Html(0), "<p>prop</p>");
    EXPECT_EQ(LastErrorCode(), "Facility WIN32, Error Num 14");
    mapisim_fail_method("HGlobalStream::Write", 2, 0, static_cast<int32_t>(0x8007000E));
    EXPECT_EQ(Html(1), "(-1)");
    mapisim_clear_faults();
    EXPECT_TRUE(Html(1) == html);
}

// Each MAPI call of the HTML path fails in turn: the export gives 0 or -1
// and leaves nothing alive but the stream it hands out.
TEST_F(MessageBodiesTest, HtmlPathReleasesEverythingWhicheverCallFails)
{
    OpenInbox("[{\"rtf\": " + Json(kHtmlRtf) + R"(, "html": "<p>prop</p>"}])");
    OrviMapiMessage message = Message(0);
    OrviMapiStream stream = nullptr;
    mapisim_call_log_clear();
    ASSERT_EQ(OrviMapiMsgGetBodyHTMLStream(message, 1252, &stream), 0);
    OrviMapiReleaseStream(stream);
    ASSERT_GT(mapisim_call_count(), 5u);
    SweepFaults(FaultSweep("GetBodyHTMLStream").Fault(MAPI_E_CALL_FAILED).MayRecover(), [&] {
        stream = nullptr;
        const int32_t result = OrviMapiMsgGetBodyHTMLStream(message, 1252, &stream);
        EXPECT_TRUE(result == 0 || (result == -1 && stream == nullptr)) << result;
        OrviMapiReleaseStream(stream);
        return result;
    });
}

} // namespace
