// The library called from several threads under the serialisation its
// header prescribes: one lock of the application's around every call. Each
// thread converts bodies of its own to HTML and reads the streams outside
// the lock; every body comes out whole and unmixed. Built with
// ThreadSanitizer in CI, where a race inside the stand-in is a report.
#include <mutex>
#include <thread>

#include "messages/message_support.h"

namespace {

using namespace msgtest;

// An HTML-encapsulating RTF body whose HTML names its message on every line.
std::string Body(int number, std::string& html)
{
    std::string rtf = R"({\rtf1\ansi\fromhtml1 {\*\htmltag19 <html>})";
    html = "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html;charset=windows-1252\"><html>";
    for (int line = 0; line < 200 + 50 * number; ++line) {
        const std::string text =
            "<p>message " + std::to_string(number) + " line " + std::to_string(line) + "</p>";
        rtf += R"({\*\htmltag0 )" + text + "}";
        html += text;
    }
    html += "</html>";
    return rtf + R"({\*\htmltag27 </html>}})";
}

std::string Quoted(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

class SerialisedThreads : public MessageTest {};

TEST_F(SerialisedThreads, HtmlBodiesComeOutWholeUnderTheApplicationsLock)
{
    constexpr int kThreads = 4, kRounds = 10;
    std::string messages = "[", html[kThreads];
    for (int t = 0; t < kThreads; ++t)
        messages += (t ? ", {\"rtf\": " : "{\"rtf\": ") + Quoted(Body(t, html[t])) + "}";
    OpenInbox(messages + "]");
    std::vector<Bytes> ids;
    for (int t = 0; t < kThreads; ++t) ids.push_back(EntryId(static_cast<uint32_t>(t)));

    std::mutex library; // the application's one lock around the library
    int wrong[kThreads] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                OrviMapiStream stream = nullptr;
                {
                    const std::lock_guard<std::mutex> serialised(library);
                    OrviMapiMessage message = nullptr;
                    if (OrviMapiMsgGet(inbox_, static_cast<uint32_t>(ids[t].size()), ids[t].data(),
                                       &message) == 0)
                        OrviMapiMsgGetBodyHTMLStream(message, 1252, &stream);
                    OrviMapiReleaseMsg(message);
                }
                // The stream is this thread's own: read outside the lock.
                if (stream == nullptr || ReadAll(stream) != html[t]) ++wrong[t];
                const std::lock_guard<std::mutex> serialised(library);
                OrviMapiReleaseStream(stream);
            }
        });
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
}

} // namespace
