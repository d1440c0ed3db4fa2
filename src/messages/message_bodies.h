// The HTML path of the bodies exports, reachable by the library's tests.
#pragma once

#include <cstdint>

#include "frame/platform.h"

// The message's PR_BODY_HTML_A as a stream positioned at its start: 0, or -1
// (recorded only for a missing session or message) with *streamOut null
// when there is no such body.
int32_t MsgBodyHtmlPropertyStream(IMessage* message, IStream** streamOut);

// Reads the decompressed RTF in blocks of kRtfHtmlChunkSize bytes, converts
// each and appends its HTML to a memory stream before reading the next.
// 0 with the memory stream (at its start) in *htmlOut, or -1 when the RTF
// does not carry HTML or yields none. Records nothing.
int32_t RtfStreamToHtmlStream(IStream* rtfStream, int32_t codePage, IStream** htmlOut);
