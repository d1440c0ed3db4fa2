// RTF-to-HTML filter: recovers the HTML that HTML-encapsulating RTF
// (\fromhtml) carries, one block of the decompressed RTF stream at a time.
//
// It is a single-pass byte filter, not an RTF parser: eleven control words
// are recognised, braces are counted in three depth counters, and every
// other byte is copied or dropped by the state it finds. Its quirks are part
// of the output and are kept: an escaped backslash is any backslash preceded
// by one, and at the start of each chunk the "preceding" byte is the chunk's
// own first byte, so a chunk that starts with a backslash copies it.
//
// Driving one conversion:
//   RtfHtmlState state;
//   for each block of the RTF (kRtfHtmlChunkSize bytes, the last one shorter):
//     r = RtfHtmlConvertChunk(state, first, codePage, block, cbBlock,
//                             area, cbArea, &cbOut);
//     r != kOk ends the conversion (kNotHtml: fall back to the HTML property);
//     otherwise append area[0, cbOut) to the result; first = false.
// The state carries depths, flags and a control word cut by a block boundary
// from block to block; the first block resets it. An area of
// RtfHtmlOutputBound(cbBlock, first) bytes always suffices.
#pragma once

#include <cstdint>
#include <string>

// Block size in which the bodies exports read the decompressed RTF.
inline constexpr uint32_t kRtfHtmlChunkSize = 1000000;

// Longest META tag HtmlCharsetMetaTag writes (61 + "_autodetect_kr").
inline constexpr uint32_t kHtmlMetaTagMax = 75;

// Longest control word and parameter kept; longer ones are cut (see
// RtfWordReader).
inline constexpr int32_t kRtfWordMax = 35;

// Word codes of RtfWordClassify.
// clang-format off
enum RtfWordCode : int32_t {
  kRtfWordNone = 200,      // empty, unknown, or "htmltag" without \*
  kRtfWordHtmltag = 201,   // "htmltag" right after \*
  kRtfWordRtf = 202,
  kRtfWordFromhtml = 203,
  kRtfWordHtmlrtf = 204,   // "htmlrtf" with no parameter or one other than 0
  kRtfWordHtmlrtf0 = 205,  // "htmlrtf" with parameter 0
  kRtfWordPar = 206,
  kRtfWordTab = 207,
  kRtfWordLine = 208,
  kRtfWordU = 209,
  kRtfWordFldinst = 210,
  kRtfWordUl = 211,
  kRtfWordBrdrsh = 212,
};
// clang-format on

enum RtfReaderMode : int32_t {
    kRtfReaderText = 0,
    kRtfReaderWord = 1,  // a control word is being read
    kRtfReaderEnded = 2, // the control word has ended, to be classified
};

enum RtfSkipState : int32_t {
    kRtfSkipNone = 0,
    kRtfSkipStar = 1,     // \* has just been read
    kRtfSkipSuppress = 2, // inside an ignorable destination: text is dropped
};

// Everything the filter carries from one chunk to the next. Value-initialised
// or reset, it is the state at the start of a conversion.
struct RtfHtmlState {
    char word[kRtfWordMax + 1] = {}; // letters of the control word (not terminated)
    int32_t cchWord = 0;
    int32_t cDigits = 0;     // digits of its parameter read so far
    uint32_t digitValue = 0; // their decimal value, modulo 2^32
    int32_t minus = 0;       // a "-" was read inside the word
    // Parameter (-1 without digits) of the last word classified byte by byte (as by
    // RtfWordClassify). Only \u uses it, so the filter's fast paths set it for \u alone.
    int32_t parameter = 0;
    int32_t previousChar = 0; // sign-extended; each chunk restarts it from its first byte
    int32_t readerMode = kRtfReaderText;
    int32_t skipState = kRtfSkipNone;
    int32_t htmlrtf = 0; // between \htmlrtf and \htmlrtf0
    int32_t htmltag = 0; // inside {\*\htmltag ...}
    int32_t groupFlag = 0;
    int32_t groupDepth = 0;
    int32_t htmltagDepth = 0;
    int32_t htmlrtfDepth = 0;
    int32_t previousWordCode = kRtfWordNone;
    int32_t outputCodePage = 0; // code page of the META tag, -1 when none was written
};

void RtfHtmlStateReset(RtfHtmlState& state);

enum class RtfHtmlResult : int32_t {
    kOk = 0,
    kInvalidArgument = -1, // null or empty input, output or count pointer: nothing touched
    kNotHtml = -2,         // first chunk: "rtf" and "fromhtml" not both read by index 501
    kOutputFull = -3,      // the area was smaller than this chunk's HTML
    kNoMemory = -4,        // RtfHtmlAppendChunk could not grow its string
};

// Output bytes one chunk can produce at most: 1.5 per input byte (\u without
// digits under code page 65001 gives 3 bytes for 2), 3 for a control word
// left pending by the previous chunk, and the META tag on a first chunk.
constexpr uint64_t RtfHtmlOutputBound(uint32_t cbInput, bool firstChunk)
{
    return uint64_t{cbInput} + (uint64_t{cbInput} + 1) / 2 + 3 + (firstChunk ? kHtmlMetaTagMax : 0);
}

// Area that holds the HTML of any full block.
inline constexpr uint32_t kRtfHtmlOutputCapacity =
    static_cast<uint32_t>(RtfHtmlOutputBound(kRtfHtmlChunkSize, true));

// Writes <META HTTP-EQUIV="Content-Type" CONTENT="text/html;charset=NAME">
// (no terminator) at pOutput, which must hold kHtmlMetaTagMax bytes, and
// gives its length; gives 0 and writes nothing for a code page without a
// charset name.
uint32_t HtmlCharsetMetaTag(int32_t codePage, char* pOutput);

// Feeds one byte to the control-word reader: called in kRtfReaderWord mode
// and for every unescaped backslash. state.previousChar must hold the byte
// before c.
void RtfWordReader(RtfHtmlState& state, char c);

// Classifies the word read so far; sets state.parameter and may change the
// skip state. Does not clear the word.
int32_t RtfWordClassify(RtfHtmlState& state);

// Filters one chunk. On a first chunk the state is reset and the META tag of
// codePage leads the output; later chunks ignore codePage. Writes at most
// cbCapacity bytes at pOutput and, on kOk, the number of HTML bytes to
// *pcbOutput; bytes of the area past them may have been used as scratch.
// On kNotHtml or kOutputFull the area may hold partial output and the
// state is no longer fit to continue from: start again with a first chunk.
RtfHtmlResult RtfHtmlConvertChunk(RtfHtmlState& state, bool firstChunk, int32_t codePage,
                                  const char* pInput, uint32_t cbInput, char* pOutput,
                                  uint32_t cbCapacity, uint32_t* pcbOutput);

// As RtfHtmlConvertChunk, appending the chunk's HTML to output. On failure
// output is as it was.
RtfHtmlResult RtfHtmlAppendChunk(RtfHtmlState& state, bool firstChunk, int32_t codePage,
                                 const char* pInput, uint32_t cbInput,
                                 std::string& output) noexcept;

// The process's one HTML conversion: the block the RTF stream is read into,
// the area its HTML is written to, and the state carried between them.
// Unsynchronised: the bodies exports run one conversion at a time.
struct RtfHtmlConversion {
    RtfHtmlState state;
    char* input;  // kRtfHtmlChunkSize bytes
    char* output; // kRtfHtmlOutputCapacity bytes
};

RtfHtmlConversion& RtfHtmlProcessConversion();
