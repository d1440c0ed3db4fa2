#include "messages/rtf_html.h"

#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#define ORVIMAPI_RTFHTML_SSE2 1
#endif

namespace {

// Index 501 is the last byte by which a first chunk must have shown
// "rtf" and "fromhtml".
constexpr uint32_t kHtmlTestEnd = 502;

// What the filter does with a byte before any state is looked at.
enum ByteClass : uint8_t {
  kByteOther = 0,
  kByteWhite,  // TAB, LF, CR
  kByteBackslash,
  kByteOpen,
  kByteClose,
};

// What the control-word reader does with a byte.
enum ReaderClass : uint8_t {
  kReadOther = 0,
  kReadLetter,
  kReadDigit,
  kReadMinus,
  kReadSpace,
};

struct Tables {
  uint8_t byteClass[256] = {};
  uint8_t readerClass[256] = {};
  // Bytes that end a run of text: everything but kByteOther; a dropped run
  // also goes through white space, which text mode drops anyway.
  uint8_t stopEmit[256] = {};
  uint8_t stopDrop[256] = {};

  constexpr Tables() {
    byteClass[uint8_t{'\t'}] = byteClass[uint8_t{'\n'}] = byteClass[uint8_t{'\r'}] = kByteWhite;
    byteClass[uint8_t{'\\'}] = kByteBackslash;
    byteClass[uint8_t{'{'}] = kByteOpen;
    byteClass[uint8_t{'}'}] = kByteClose;
    for (int c = 'A'; c <= 'Z'; ++c) readerClass[c] = kReadLetter;
    for (int c = 'a'; c <= 'z'; ++c) readerClass[c] = kReadLetter;
    for (int c = '0'; c <= '9'; ++c) readerClass[c] = kReadDigit;
    readerClass[uint8_t{'-'}] = kReadMinus;
    readerClass[uint8_t{' '}] = kReadSpace;
    for (int c = 0; c < 256; ++c) {
      stopEmit[c] = byteClass[c] != kByteOther;
      stopDrop[c] = byteClass[c] != kByteOther && byteClass[c] != kByteWhite;
    }
  }
};

constexpr Tables kTables;

// First byte in [p, e) that ends a run of text.
template <bool kEmit>
inline const uint8_t* FindRunEnd(const uint8_t* p, const uint8_t* e) {
#ifdef ORVIMAPI_RTFHTML_SSE2
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i open = _mm_set1_epi8('{');
  const __m128i close = _mm_set1_epi8('}');
  const __m128i tab = _mm_set1_epi8('\t');
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  while (e - p >= 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, backslash),
                               _mm_or_si128(_mm_cmpeq_epi8(v, open), _mm_cmpeq_epi8(v, close)));
    if (kEmit) {
      hit = _mm_or_si128(hit, _mm_or_si128(_mm_cmpeq_epi8(v, tab),
                                           _mm_or_si128(_mm_cmpeq_epi8(v, lf),
                                                        _mm_cmpeq_epi8(v, cr))));
    }
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask != 0) return p + __builtin_ctz(mask);
    p += 16;
  }
#endif
  const uint8_t* stop = kEmit ? kTables.stopEmit : kTables.stopDrop;
  while (p < e && !stop[*p]) ++p;
  return p;
}

// The per-call part of the filter; the carried state is a local copy so
// that its fields can live in registers.
struct Filter {
  RtfHtmlState s;
  char* out;
  char* outEnd;
  bool rtfSeen = false;
  bool fromhtmlSeen = false;
};

inline void ReadWordChar(RtfHtmlState& s, uint8_t c, uint8_t prev) {
  if (c == '\\') {
    s.readerMode = s.cchWord > 0 ? kRtfReaderEnded : kRtfReaderWord;
    return;
  }
  if (c == '*' && prev == '\\') {
    s.skipState = kRtfSkipStar;
    s.readerMode = kRtfReaderEnded;
    return;
  }
  switch (kTables.readerClass[c]) {
    case kReadLetter:
      // Words and parameters past kRtfWordMax characters are cut: none of
      // the recognised words is that long, and the parameter keeps its
      // leading digits.
      if (s.cchWord < kRtfWordMax) s.word[s.cchWord++] = static_cast<char>(c);
      return;
    case kReadMinus:
      s.minus = 1;
      return;
    case kReadDigit:
      if (s.cDigits < kRtfWordMax) {
        ++s.cDigits;
        s.digitValue = s.digitValue * 10u + (c - '0');
      }
      return;
    case kReadSpace:
      s.readerMode = kRtfReaderEnded;
      return;
    default:
      // Inside \htmlrtf the word swallows punctuation too, up to a space,
      // backslash or brace.
      if (s.htmlrtf) {
        if (s.cchWord < kRtfWordMax) s.word[s.cchWord++] = static_cast<char>(c);
      } else {
        s.readerMode = kRtfReaderEnded;
      }
      return;
  }
}

inline bool WordIs(const RtfHtmlState& s, const char* text, int32_t cch) {
  return std::memcmp(s.word, text, static_cast<size_t>(cch)) == 0;
}

inline int32_t Classify(RtfHtmlState& s) {
  if (s.cchWord < 1) return kRtfWordNone;
  s.parameter = s.cDigits < 1 ? -1
              : s.minus       ? static_cast<int32_t>(0u - s.digitValue)
                              : static_cast<int32_t>(s.digitValue);
  int32_t code = kRtfWordNone;
  switch (s.cchWord) {
    case 1:
      if (s.word[0] == 'u') code = kRtfWordU;
      break;
    case 2:
      if (WordIs(s, "ul", 2)) code = kRtfWordUl;
      break;
    case 3:
      if (WordIs(s, "par", 3)) code = kRtfWordPar;
      else if (WordIs(s, "tab", 3)) code = kRtfWordTab;
      else if (WordIs(s, "rtf", 3)) code = kRtfWordRtf;
      break;
    case 4:
      if (WordIs(s, "line", 4)) code = kRtfWordLine;
      break;
    case 6:
      if (WordIs(s, "brdrsh", 6)) code = kRtfWordBrdrsh;
      break;
    case 7:
      if (WordIs(s, "htmltag", 7)) {
        if (s.skipState != kRtfSkipStar) return kRtfWordNone;
        s.skipState = kRtfSkipNone;
        return kRtfWordHtmltag;
      }
      if (WordIs(s, "fldinst", 7)) code = kRtfWordFldinst;
      else if (WordIs(s, "htmlrtf", 7)) code = s.parameter == 0 ? kRtfWordHtmlrtf0 : kRtfWordHtmlrtf;
      break;
    case 8:
      if (WordIs(s, "fromhtml", 8)) code = kRtfWordFromhtml;
      break;
    default:
      break;
  }
  // An unknown word right after \* opens a destination whose text is dropped.
  if (code == kRtfWordNone && s.skipState == kRtfSkipStar) s.skipState = kRtfSkipSuppress;
  return code;
}

// Encodes the code unit of a \u word; false when the area is full.
inline bool EmitUnicode(Filter& f, int32_t parameter) {
  if (f.s.outputCodePage != 65001) {
    if (f.out == f.outEnd) return false;
    *f.out++ = '?';
    return true;
  }
  uint32_t u = static_cast<uint32_t>(parameter) & 0xFFFFu;
  if (u < 0x80) {
    if (f.out == f.outEnd) return false;
    *f.out++ = static_cast<char>(u);
  } else if (u < 0x800) {
    if (f.outEnd - f.out < 2) return false;
    f.out[0] = static_cast<char>(0xC0 + (u >> 6));
    f.out[1] = static_cast<char>(0x80 + (u & 0x3F));
    f.out += 2;
  } else {
    if (f.outEnd - f.out < 3) return false;
    f.out[0] = static_cast<char>(0xE0 + (u >> 12));
    f.out[1] = static_cast<char>(0x80 + ((u >> 6) & 0x3F));
    f.out[2] = static_cast<char>(0x80 + (u & 0x3F));
    f.out += 3;
  }
  return true;
}

inline bool EmitByte(Filter& f, char c) {
  if (f.out == f.outEnd) return false;
  *f.out++ = c;
  return true;
}

inline bool EmitLineBreak(Filter& f) {
  if (f.outEnd - f.out < 2) return false;
  f.out[0] = '\r';
  f.out[1] = '\n';
  f.out += 2;
  return true;
}

// Classifies the finished word, acts on it and starts the next one when c
// is an unescaped backslash. False when the area is full.
inline bool WordEnd(Filter& f, uint8_t c, uint8_t prev) {
  RtfHtmlState& s = f.s;
  const int32_t code = Classify(s);
  bool room = true;
  switch (code) {
    case kRtfWordHtmltag:
      s.htmltag = 1;
      s.htmltagDepth = 1;
      break;
    case kRtfWordRtf:
      f.rtfSeen = true;
      break;
    case kRtfWordFromhtml:
      f.fromhtmlSeen = true;
      break;
    case kRtfWordHtmlrtf:
      s.htmlrtf = 1;
      break;
    case kRtfWordHtmlrtf0:
      s.htmlrtf = 0;
      break;
    case kRtfWordPar:
    case kRtfWordLine:
      if (s.skipState != kRtfSkipSuppress) room = EmitLineBreak(f);
      break;
    case kRtfWordTab:
      if (s.skipState != kRtfSkipSuppress) room = EmitByte(f, '\t');
      break;
    case kRtfWordU:
      if (!s.htmlrtf) room = EmitUnicode(f, s.parameter);
      break;
    case kRtfWordFldinst:
    case kRtfWordBrdrsh:
      s.skipState = kRtfSkipSuppress;
      break;
    case kRtfWordUl:
      s.skipState = kRtfSkipNone;
      break;
    default:
      break;
  }
  s.previousWordCode = code;
  s.cchWord = 0;
  s.cDigits = 0;
  s.digitValue = 0;
  s.minus = 0;
  s.readerMode = (c == '\\' && prev != '\\') ? kRtfReaderWord : kRtfReaderText;
  return room;
}

// Whether a plain byte met in text mode is copied.
inline bool TextEmitted(const RtfHtmlState& s) {
  if (s.groupFlag && s.htmlrtfDepth <= 0) {
    return s.htmltag && s.skipState != kRtfSkipSuppress;
  }
  return s.skipState != kRtfSkipSuppress && s.previousWordCode != kRtfWordU;
}

// Filters in[begin, end) of a chunk that starts at in. False when the area
// is full.
bool FilterRange(Filter& f, const uint8_t* in, uint32_t begin, uint32_t end) {
  RtfHtmlState& s = f.s;
  const uint8_t* p = in + begin;
  const uint8_t* const e = in + end;
  while (p < e) {
    if (s.readerMode == kRtfReaderText) {
      // Plain bytes change no state: take the whole run at once.
      if (TextEmitted(s)) {
        const uint8_t* q = FindRunEnd<true>(p, e);
        const size_t n = static_cast<size_t>(q - p);
        if (n > static_cast<size_t>(f.outEnd - f.out)) return false;
        std::memcpy(f.out, p, n);
        f.out += n;
        p = q;
      } else {
        p = FindRunEnd<false>(p, e);
      }
      if (p == e) break;
    } else {
      // Letters and digits of a control word.
      while (p < e) {
        const uint8_t r = kTables.readerClass[*p];
        if (r == kReadLetter) {
          if (s.cchWord < kRtfWordMax) s.word[s.cchWord++] = static_cast<char>(*p);
        } else if (r == kReadDigit) {
          if (s.cDigits < kRtfWordMax) {
            ++s.cDigits;
            s.digitValue = s.digitValue * 10u + (*p - '0');
          }
        } else {
          break;
        }
        ++p;
      }
      if (p == e) break;
    }

    const uint8_t c = *p;
    // Each chunk takes its own first byte as the byte before it.
    const uint8_t prev = p == in ? c : p[-1];
    ++p;
    switch (kTables.byteClass[c]) {
      case kByteWhite:
        if (s.readerMode == kRtfReaderWord) {
          ReadWordChar(s, c, prev);
          if (s.readerMode == kRtfReaderEnded && !WordEnd(f, c, prev)) return false;
        }
        break;
      case kByteBackslash:
        s.readerMode = kRtfReaderEnded;
        if (prev == '\\') {
          if (!EmitByte(f, '\\')) return false;
        } else {
          ReadWordChar(s, c, prev);
          s.groupFlag = 1;
        }
        if (s.readerMode == kRtfReaderEnded && !WordEnd(f, c, prev)) return false;
        break;
      case kByteOpen:
        s.readerMode = kRtfReaderEnded;
        if (prev == '\\') {
          if (!EmitByte(f, '{')) return false;
        } else if (s.htmlrtf) {
          ++s.htmlrtfDepth;
        } else if (s.htmltag) {
          ++s.htmltagDepth;
        } else {
          s.groupFlag = 1;
          ++s.groupDepth;
        }
        if (!WordEnd(f, c, prev)) return false;
        break;
      case kByteClose:
        s.readerMode = kRtfReaderEnded;
        if (prev == '\\') {
          if (!EmitByte(f, '}')) return false;
        } else if (s.htmlrtf) {
          if (s.htmlrtfDepth > 0) --s.htmlrtfDepth;
        } else if (s.htmltag) {
          s.htmltag = 0;
          if (s.htmltagDepth > 0) --s.htmltagDepth;
        } else if (--s.groupDepth <= 0) {
          s.groupDepth = 0;
          s.groupFlag = 0;
        }
        if (!WordEnd(f, c, prev)) return false;
        break;
      default:
        if (s.readerMode == kRtfReaderWord) {
          ReadWordChar(s, c, prev);
          if (s.readerMode == kRtfReaderEnded && !WordEnd(f, c, prev)) return false;
        } else if (TextEmitted(s)) {
          // Not reached: text mode takes plain bytes as runs above.
          if (!EmitByte(f, static_cast<char>(c))) return false;
        }
        break;
    }
  }
  return true;
}

const char* CharsetName(int32_t codePage) {
  switch (codePage) {
    case 720: return "dos-720";
    case 852: return "dos-582";  // sic: the name Outlook-era converters write
    case 862: return "dos-862";
    case 866: return "dos-866";
    case 874: return "windows-874";
    case 932: return "shift-jis";
    case 936: return "gb2312";
    case 949: return "ks_c_5601";
    case 950: return "big5";
    case 1200: return "unicode";
    case 1201: return "unicodeFEFF";
    case 1250: return "windows-1250";
    case 1251: return "windows-1251";
    case 1252: return "windows-1252";
    case 1253: return "windows-1253";
    case 1254: return "windows-1254";
    case 1255: return "windows-1255";
    case 1256: return "windows-1256";
    case 1257: return "windows-1257";
    case 1258: return "windows-1258";
    case 20105: return "irv";
    case 20106: return "DIN_66003";
    case 20107: return "SEN_850200_B";
    case 20108: return "NS_4451-1";
    case 20866: return "koi8-r";
    case 28591: return "iso-8859-1";
    case 28592: return "iso-8859-2";
    case 28593: return "iso-8859-3";
    case 28594: return "iso-8859-4";
    case 28595: return "iso-8859-5";
    case 28596: return "iso-8859-6";
    case 28597: return "iso-8859-7";
    case 28598: return "iso-8859-8";
    case 28599: return "iso-8859-9";
    case 50000: return "x-user-defined";
    case 50220:
    case 50221:
    case 50222: return "iso-2022-jp";
    case 50225: return "iso-2022-kr";
    case 50932: return "_autodetect";
    case 50949: return "_autodetect_kr";
    case 51932: return "x-euc";
    case 51949: return "euc-kr";
    case 52936: return "hz-gb-2312";
    case 65000: return "utf-7";
    case 65001: return "utf-8";
    default: return nullptr;
  }
}

}  // namespace

void RtfHtmlStateReset(RtfHtmlState& state) { state = RtfHtmlState{}; }

uint32_t HtmlCharsetMetaTag(int32_t codePage, char* pOutput) {
  static constexpr char kHead[] =
      "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html;charset=";
  static_assert(sizeof kHead - 1 == 59);
  const char* name = CharsetName(codePage);
  if (name == nullptr) return 0;
  const size_t cchName = std::strlen(name);
  std::memcpy(pOutput, kHead, sizeof kHead - 1);
  std::memcpy(pOutput + sizeof kHead - 1, name, cchName);
  std::memcpy(pOutput + sizeof kHead - 1 + cchName, "\">", 2);
  return static_cast<uint32_t>(sizeof kHead - 1 + cchName + 2);
}

void RtfWordReader(RtfHtmlState& state, char c) {
  ReadWordChar(state, static_cast<uint8_t>(c), static_cast<uint8_t>(state.previousChar));
}

int32_t RtfWordClassify(RtfHtmlState& state) { return Classify(state); }

RtfHtmlResult RtfHtmlConvertChunk(RtfHtmlState& state, bool firstChunk, int32_t codePage,
                                  const char* pInput, uint32_t cbInput, char* pOutput,
                                  uint32_t cbCapacity, uint32_t* pcbOutput) {
  if (pInput == nullptr || cbInput == 0 || pOutput == nullptr || cbCapacity == 0 ||
      pcbOutput == nullptr) {
    return RtfHtmlResult::kInvalidArgument;
  }

  Filter f;
  f.s = state;
  f.out = pOutput;
  f.outEnd = pOutput + cbCapacity;
  if (firstChunk) {
    f.s = RtfHtmlState{};
    char tag[kHtmlMetaTagMax];
    const uint32_t cchTag = HtmlCharsetMetaTag(codePage, tag);
    if (cchTag > cbCapacity) return RtfHtmlResult::kOutputFull;
    std::memcpy(f.out, tag, cchTag);
    f.out += cchTag;
    f.s.outputCodePage = cchTag > 0 ? codePage : -1;
  }

  const uint8_t* in = reinterpret_cast<const uint8_t*>(pInput);
  RtfHtmlResult result = RtfHtmlResult::kOk;
  uint32_t done = 0;
  if (firstChunk) {
    // RTF not made from HTML is given up on early.
    done = cbInput < kHtmlTestEnd ? cbInput : kHtmlTestEnd;
    if (!FilterRange(f, in, 0, done)) {
      result = RtfHtmlResult::kOutputFull;
    } else if (!(f.rtfSeen && f.fromhtmlSeen)) {
      result = RtfHtmlResult::kNotHtml;
    }
  }
  if (result == RtfHtmlResult::kOk && !FilterRange(f, in, done, cbInput)) {
    result = RtfHtmlResult::kOutputFull;
  }

  f.s.previousChar = static_cast<int8_t>(in[cbInput - 1]);
  state = f.s;
  if (result == RtfHtmlResult::kOk) *pcbOutput = static_cast<uint32_t>(f.out - pOutput);
  return result;
}

RtfHtmlResult RtfHtmlAppendChunk(RtfHtmlState& state, bool firstChunk, int32_t codePage,
                                 const char* pInput, uint32_t cbInput,
                                 std::string& output) noexcept {
  if (pInput == nullptr || cbInput == 0) return RtfHtmlResult::kInvalidArgument;
  const size_t cbOld = output.size();
  uint64_t cbRoom = RtfHtmlOutputBound(cbInput, firstChunk);
  if (cbRoom > UINT32_MAX) cbRoom = UINT32_MAX;
  if (cbRoom > output.max_size() - cbOld) return RtfHtmlResult::kNoMemory;
  try {
    output.resize(cbOld + static_cast<size_t>(cbRoom));
  } catch (const std::bad_alloc&) {
    return RtfHtmlResult::kNoMemory;
  }
  uint32_t cbOut = 0;
  const RtfHtmlResult result =
      RtfHtmlConvertChunk(state, firstChunk, codePage, pInput, cbInput, output.data() + cbOld,
                          static_cast<uint32_t>(cbRoom), &cbOut);
  output.resize(cbOld + (result == RtfHtmlResult::kOk ? cbOut : 0));
  return result;
}

RtfHtmlConversion& RtfHtmlProcessConversion() {
  // Zero-filled, so the buffers take no room in the binary.
  static char input[kRtfHtmlChunkSize];
  static char output[kRtfHtmlOutputCapacity];
  static RtfHtmlConversion conversion{RtfHtmlState{}, input, output};
  return conversion;
}
