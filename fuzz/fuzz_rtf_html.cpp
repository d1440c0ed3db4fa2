// Feeds arbitrary bytes, cut into chunks whose sizes come from the input, to
// the RTF-to-HTML filter. Every output area is a heap block of exactly the
// capacity passed, so the sanitizers catch any write past it. Checks that:
// - a chunk never needs more than RtfHtmlOutputBound;
// - a chunk given exactly the room it needs converts the same, and one byte
//   less fails with kOutputFull;
// - the output equals that of a plain byte-by-byte reading of the rules,
//   without the filter's fast paths.
//
// Input: byte 0 picks the code page; byte 1 gives the number k of size
// bytes (low three bits), whether to put an HTML-encapsulating preamble
// in front of the RTF (bit 3), so that arbitrary bytes get past the
// first-chunk test, and whether to repeat the RTF three times (bit 4), so
// that the filter meets markup it has read before; the next k bytes are
// chunk sizes used in turn (0 meaning 1,000); the rest is the RTF.
#include "messages/rtf_html.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

// The rules read one byte at a time, kept apart from the filter's code.
struct Reference {
    std::string word, digits, out;
    bool minus = false;
    int32_t parameter = 0, mode = 0, skip = 0, htmlrtf = 0, htmltag = 0, groupFlag = 0,
            groupDepth = 0, htmlrtfDepth = 0, previousCode = 200, outputCodePage = 0;
    bool rtfSeen = false, fromhtmlSeen = false;
    unsigned char prev = 0;

    void Reader(unsigned char c)
    {
        if (c == '\\') {
            mode = word.empty() ? 1 : 2;
        } else if (c == '*' && prev == '\\') {
            skip = 1;
            mode = 2;
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            if (word.size() < 35) word += static_cast<char>(c);
        } else if (c == '-') {
            minus = true;
        } else if (c >= '0' && c <= '9') {
            if (digits.size() < 35) digits += static_cast<char>(c);
        } else if (c == ' ') {
            mode = 2;
        } else if (htmlrtf) {
            if (word.size() < 35) word += static_cast<char>(c);
        } else {
            mode = 2;
        }
    }

    int32_t Classify()
    {
        if (word.empty()) return 200;
        uint32_t value = 0;
        for (char d : digits) value = value * 10u + static_cast<uint32_t>(d - '0');
        parameter = digits.empty() ? -1 : static_cast<int32_t>(minus ? 0u - value : value);
        if (word == "htmltag") {
            if (skip != 1) return 200;
            skip = 0;
            return 201;
        }
        const struct {
            const char* text;
            int32_t code;
        } words[] = {{"par", 206},     {"tab", 207},      {"rtf", 202},    {"fldinst", 210},
                     {"htmlrtf", 204}, {"fromhtml", 203}, {"brdrsh", 212}, {"ul", 211},
                     {"line", 208},    {"u", 209}};
        for (const auto& w : words) {
            if (word == w.text) return w.code == 204 && parameter == 0 ? 205 : w.code;
        }
        if (skip == 1) skip = 2;
        return 200;
    }

    void Unicode()
    {
        const uint32_t u = static_cast<uint32_t>(parameter) & 0xFFFF;
        if (outputCodePage != 65001) {
            out += '?';
        } else if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 + (u >> 6));
            out += static_cast<char>(0x80 + (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 + (u >> 12));
            out += static_cast<char>(0x80 + ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 + (u & 0x3F));
        }
    }

    void WordEnd(unsigned char c)
    {
        const int32_t code = Classify();
        switch (code) {
            case 201:
                htmltag = 1;
                break;
            case 202:
                rtfSeen = true;
                break;
            case 203:
                fromhtmlSeen = true;
                break;
            case 204:
                htmlrtf = 1;
                break;
            case 205:
                htmlrtf = 0;
                break;
            case 206:
            case 208:
                if (skip != 2) out += "\r\n";
                break;
            case 207:
                if (skip != 2) out += '\t';
                break;
            case 209:
                if (!htmlrtf) Unicode();
                break;
            case 210:
            case 212:
                skip = 2;
                break;
            case 211:
                skip = 0;
                break;
            default:
                break;
        }
        previousCode = code;
        word.clear();
        digits.clear();
        minus = false;
        mode = c == '\\' && prev != '\\' ? 1 : 0;
    }

    // False when the chunk is rejected as not HTML-encapsulating.
    bool Chunk(bool first, int32_t codePage, const unsigned char* in, size_t n)
    {
        if (first) {
            *this = Reference();
            char tag[kHtmlMetaTagMax];
            const uint32_t cchTag = HtmlCharsetMetaTag(codePage, tag);
            out.assign(tag, cchTag);
            outputCodePage = cchTag > 0 ? codePage : -1;
        }
        prev = in[0];
        rtfSeen = fromhtmlSeen = false;
        for (size_t i = 0; i < n; ++i) {
            const unsigned char c = in[i];
            if (c == '\t' || c == '\n' || c == '\r') {
                if (mode == 1) Reader(c);
            } else if (c == '\\') {
                mode = 2;
                if (prev == '\\') {
                    out += '\\';
                } else {
                    Reader(c);
                    groupFlag = 1;
                }
            } else if (c == '{' || c == '}') {
                mode = 2;
                if (prev == '\\') {
                    out += static_cast<char>(c);
                } else if (c == '{') {
                    if (htmlrtf)
                        ++htmlrtfDepth;
                    else if (!htmltag)
                        groupFlag = 1, ++groupDepth;
                } else if (htmlrtf) {
                    if (htmlrtfDepth > 0) --htmlrtfDepth;
                } else if (htmltag) {
                    htmltag = 0;
                } else if (--groupDepth <= 0) {
                    groupDepth = groupFlag = 0;
                }
            } else if (mode == 1) {
                Reader(c);
            } else if (groupFlag && htmlrtfDepth <= 0) {
                if (htmltag && mode == 0 && skip != 2) out += static_cast<char>(c);
            } else if (skip != 2 && previousCode != 209) {
                out += static_cast<char>(c);
            }
            if (mode == 2) WordEnd(c);
            prev = c;
            if (first && i > 500 && !(rtfSeen && fromhtmlSeen)) return false;
        }
        return !first || (rtfSeen && fromhtmlSeen);
    }
};

void Check(bool ok)
{
    if (!ok) std::abort();
}

// Converts one chunk into a heap area of exactly cbCapacity bytes.
RtfHtmlResult Convert(RtfHtmlState& state, bool first, int32_t codePage, const char* in,
                      uint32_t cb, uint32_t cbCapacity, std::string& html)
{
    std::unique_ptr<char[]> area(new char[cbCapacity]);
    uint32_t cbOut = 0;
    const RtfHtmlResult r =
        RtfHtmlConvertChunk(state, first, codePage, in, cb, area.get(), cbCapacity, &cbOut);
    if (r == RtfHtmlResult::kOk) {
        Check(cbOut <= cbCapacity);
        html.assign(area.get(), cbOut);
    }
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3) return 0;
    static const int32_t kCodePages[] = {65001, 1252, 437, 852};
    const int32_t codePage = kCodePages[data[0] % 4];
    const size_t cSizes = data[1] % 8;
    if (size < 2 + cSizes + 1) return 0;
    const uint8_t* sizes = data + 2;
    std::string input = (data[1] & 8) != 0 ? "{\\rtf1\\ansi\\fromhtml1 " : "";
    for (int i = (data[1] & 16) != 0 ? 3 : 1; i > 0; --i) {
        input.append(reinterpret_cast<const char*>(data + 2 + cSizes), size - 2 - cSizes);
    }
    const char* rtf = input.data();
    const size_t cbRtf = input.size();

    Reference reference;
    RtfHtmlState state;
    std::string html;
    size_t offset = 0;
    for (size_t i = 0; offset < cbRtf; ++i) {
        size_t cb = cSizes == 0 ? cbRtf : sizes[i % cSizes] == 0 ? 1000 : sizes[i % cSizes];
        cb = cb < cbRtf - offset ? cb : cbRtf - offset;
        const bool first = offset == 0;
        const uint32_t cbChunk = static_cast<uint32_t>(cb);
        const uint32_t cbBound = static_cast<uint32_t>(RtfHtmlOutputBound(cbChunk, first));

        const RtfHtmlState before = state;
        std::string chunkHtml;
        const RtfHtmlResult r =
            Convert(state, first, codePage, rtf + offset, cbChunk, cbBound, chunkHtml);
        Check(r != RtfHtmlResult::kOutputFull && r != RtfHtmlResult::kInvalidArgument);
        const bool accepted = reference.Chunk(
            first, codePage, reinterpret_cast<const unsigned char*>(rtf + offset), cb);
        Check(accepted == (r == RtfHtmlResult::kOk));
        if (r != RtfHtmlResult::kOk) return 0;

        // The same chunk with exactly the room it needs, then one byte less.
        const uint32_t cbNeeded = static_cast<uint32_t>(chunkHtml.size());
        if (cbNeeded > 0) {
            RtfHtmlState again = before;
            std::string exact;
            Check(Convert(again, first, codePage, rtf + offset, cbChunk, cbNeeded, exact) ==
                  RtfHtmlResult::kOk);
            Check(exact == chunkHtml);
        }
        if (cbNeeded > 1) {
            RtfHtmlState again = before;
            std::string shortHtml;
            Check(Convert(again, first, codePage, rtf + offset, cbChunk, cbNeeded - 1, shortHtml) ==
                  RtfHtmlResult::kOutputFull);
        }
        html += chunkHtml;
        offset += cb;
    }
    Check(html == reference.out);
    return 0;
}
