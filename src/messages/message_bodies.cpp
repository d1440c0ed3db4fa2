// Message bodies: plain text into a buffer or as a stream, the decompressed
// RTF as a stream, and HTML, extracted from the RTF where it carries HTML,
// else the message's own HTML property.
#include "messages/message_bodies.h"

#include "session/session_check.h"
#include "frame/handles.h"
#include "frame/mapi_constants.h"
#include "frame/mapi_ptr.h"
#include "frame/text_copy.h"
#include "messages/rtf_html.h"

namespace {

SizedSPropTagArray(1, bodyColumns) = {1, {tag::Body}};

HRESULT OpenPropertyStream(IMAPIProp* object, ULONG propTag, ComPtr<IStream>& stream)
{
    return object->OpenProperty(propTag, &guid::IidIStream, 0, flag::DeferredErrors,
                                stream.putUnknown());
}

// The low 32 bits of the stream's size, or 0 when Stat does not give S_OK.
// Property and memory streams carry no name, so STATFLAG_DEFAULT allocates
// nothing to free.
ULONG StreamSize(IStream* stream)
{
    STATSTG stat{};
    if (stream->Stat(&stat, STATFLAG_DEFAULT) != S_OK) return 0;
    return static_cast<ULONG>(stat.cbSize.QuadPart & 0xFFFFFFFFu);
}

HRESULT Rewind(IStream* stream)
{
    LARGE_INTEGER start{};
    return stream->Seek(start, STREAM_SEEK_SET, nullptr);
}

} // namespace

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgGetBodyRTFStream(OrviMapiMessage msg, OrviMapiStream* streamOut, uint32_t* sizeOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(msg != nullptr, "pMessage is NULL", -1);
    CHECK_ARG(streamOut != nullptr && sizeOut != nullptr, "pStream not defined", -1);
    *sizeOut = 0;

    // A message without an RTF body is not a failure.
    ComPtr<IStream> compressed;
    if (FAILED(OpenPropertyStream(AsMapi(msg), tag::RtfCompressed, compressed))) return 0;
    const ULONG compressedSize = StreamSize(compressed.get());
    if (compressedSize == 0) return 0;
    CHECK_HR(Rewind(compressed.get()), -1);

    ComPtr<IStream> rtf;
    CHECK_HR(WrapCompressedRTFStream(compressed.get(), 0, rtf.put()), -1);
    *streamOut = ToHandle(rtf.release());
    *sizeOut = compressedSize;
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgGetBodyTextStream(OrviMapiMessage msg, OrviMapiStream* streamOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(msg != nullptr, "pMessage is NULL", -1);
    CHECK_ARG(streamOut != nullptr, "pStream not defined", -1);

    IMessage* message = AsMapi(msg);
    ComPtr<IStream> body;
    // A missing body is no failure, as for the other body exports; any other
    // failure to open it is.
    const HRESULT opened = OpenPropertyStream(message, tag::Body, body);
    if (opened == MAPI_E_NOT_FOUND) {
        *streamOut = nullptr;
        return 0;
    }
    CHECK_HR(opened, -1);
    if (StreamSize(body.get()) == 0) {
        *streamOut = nullptr;
        return 0;
    }
    // A stream that cannot be rewound is released rather than handed out.
    CHECK_HR_FETCH(Rewind(body.get()), message, -1);
    *streamOut = ToHandle(body.release());
    return 0;
}

// Returns the characters copied; -1 only without a session. A null message
// or buffer, or a buffer of size 0, is recorded and copies nothing.
ORVIMAPI_EXTERN(int32_t) OrviMapiMsgGetBodyText(OrviMapiMessage msg, uint32_t bufSize, char* buf)
{
    CHECK_SESSION(-1);
    CHECK_ARG(msg != nullptr, "pMessage is NULL", 0);
    CHECK_ARG(buf != nullptr && bufSize > 0, "Body buffer not defined", 0);

    IMessage* message = AsMapi(msg);
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    CHECK_HR_FETCH(
        message->GetProps(reinterpret_cast<LPSPropTagArray>(&bodyColumns), 0, &count, values.put()),
        message, 0);
    // A body too large for GetProps comes back as an error value.
    if (count == 0 || !values || values[0].ulPropTag != tag::Body ||
        values[0].Value.lpszA == nullptr)
        return 0;
    return static_cast<int32_t>(BoundedTextCopy(values[0].Value.lpszA, bufSize, buf));
}

int32_t MsgBodyHtmlPropertyStream(IMessage* message, IStream** streamOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(message != nullptr, "pMessage is NULL", -1);
    CHECK_ARG(streamOut != nullptr, "pStream not defined", -1);

    ComPtr<IStream> html;
    if (FAILED(OpenPropertyStream(message, tag::BodyHtml, html)) || StreamSize(html.get()) == 0) {
        *streamOut = nullptr;
        return -1;
    }
    IGNORE_HR(Rewind(html.get()), "a property stream opens at its start; Seek only makes sure");
    *streamOut = html.release();
    return 0;
}

int32_t RtfStreamToHtmlStream(IStream* rtfStream, int32_t codePage, IStream** htmlOut)
{
    ComPtr<IStream> html;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, html.put())) || !html || rtfStream == nullptr ||
        htmlOut == nullptr)
        return -1;

    // The one conversion of the process: its blocks and state are shared.
    RtfHtmlConversion& conversion = RtfHtmlProcessConversion();
    IGNORE_HR(Rewind(rtfStream), "a failing Seek shows as a failing Read, which ends the loop");
    bool first = true;
    ULONG cbRead = 0;
    HRESULT hr = S_OK;
    do {
        cbRead = 0;
        hr = rtfStream->Read(conversion.input, kRtfHtmlChunkSize, &cbRead);
        if (hr == S_OK && cbRead > 0) {
            uint32_t cbHtml = 0;
            if (RtfHtmlConvertChunk(conversion.state, first, codePage, conversion.input, cbRead,
                                    conversion.output, kRtfHtmlOutputCapacity,
                                    &cbHtml) != RtfHtmlResult::kOk)
                return -1;
            first = false;
            // A body cut short by a failing Write (out of memory) is no body.
            if (cbHtml > 0) CHECK_HR(html->Write(conversion.output, cbHtml, nullptr), -1);
        }
        // A failing Read ends the conversion quietly with what came so far.
    } while (SUCCEEDED(hr) && cbRead == kRtfHtmlChunkSize);

    if (StreamSize(html.get()) == 0) return -1;
    CHECK_HR(Rewind(html.get()), -1);
    *htmlOut = html.release();
    return 0;
}

ORVIMAPI_EXTERN(int32_t)
OrviMapiMsgGetBodyHTMLStream(OrviMapiMessage msg, int32_t codePage, OrviMapiStream* streamOut)
{
    CHECK_SESSION(-1);
    CHECK_ARG(msg != nullptr, "pMessage is NULL", -1);
    CHECK_ARG(streamOut != nullptr, "pStream not defined", -1);

    IMessage* message = AsMapi(msg);
    OrviMapiStream rtfHandle = nullptr;
    uint32_t cbCompressed = 0;
    const int32_t rtfResult = OrviMapiMsgGetBodyRTFStream(msg, &rtfHandle, &cbCompressed);
    ComPtr<IStream> rtf(AsMapi(rtfHandle));

    ComPtr<IStream> html;
    if (rtfResult != -1 && cbCompressed > 0 && rtf) {
        if (RtfStreamToHtmlStream(rtf.get(), codePage, html.put()) == 0 && html) {
            rtf.reset();
            *streamOut = StreamSize(html.get()) > 0 ? ToHandle(html.release()) : nullptr;
            return 0;
        }
        rtf.reset();
        html.reset();
        // Not HTML-encapsulating, or no HTML in it: the HTML property instead.
        if (MsgBodyHtmlPropertyStream(message, html.put()) == 0 && html) {
            *streamOut = ToHandle(html.release());
            return 0;
        }
        return -1;
    }

    const int32_t result = MsgBodyHtmlPropertyStream(message, html.put());
    if (result != 0) return result;
    *streamOut = ToHandle(html.release());
    return 0;
}
