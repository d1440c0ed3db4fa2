#include "messages/rtf_html.h"

#include <cstddef>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#define ORVIMAPI_RTFHTML_SSE2 1
#endif

#if defined(__GNUC__)
#define RTFHTML_INLINE inline __attribute__((always_inline))
#else
#define RTFHTML_INLINE inline
#endif

namespace {

// Index 501 is the last byte by which a first chunk must have shown
// "rtf" and "fromhtml".
constexpr uint32_t kHtmlTestEnd = 502;

// What the filter does with a byte before any state is looked at.
enum ByteClass : uint8_t {
    kByteOther = 0,
    kByteWhite, // TAB, LF, CR
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

constexpr uint64_t Pack(const char* text)
{
    uint64_t w = 0;
    for (int i = 0; text[i] != '\0'; ++i) w |= uint64_t{static_cast<uint8_t>(text[i])} << (8 * i);
    return w;
}

// The recognised words, packed as LoadLE64 packs them, spread over 16
// slots by one multiplication; the table is built (and any collision
// caught) at compile time.
constexpr uint64_t kWordHashMultiplier = 0x513dd1a6e9d40f2bu;

constexpr uint32_t WordSlot(uint64_t packed)
{
    return static_cast<uint32_t>((packed * kWordHashMultiplier) >> 60);
}

struct WordEntry {
    uint64_t packed = 0; // 0 for an empty slot: no word of one letter or more packs to 0
    int32_t cch = 0;
    int32_t code = kRtfWordNone;
};

struct Tables {
    uint8_t byteClass[256] = {};
    uint8_t readerClass[256] = {};
    // Bytes that end a run of text: everything but kByteOther; a dropped run
    // also goes through white space, which text mode drops anyway.
    uint8_t stopEmit[256] = {};
    uint8_t stopDrop[256] = {};
    // Bytes after letters and digits that end a control word, by the htmlrtf
    // flag: inside \htmlrtf the reader takes other bytes into the word.
    uint8_t endsWord[2][256] = {};
    WordEntry words[16] = {};

    constexpr Tables()
    {
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
            endsWord[0][c] = readerClass[c] != kReadLetter && readerClass[c] != kReadDigit &&
                             readerClass[c] != kReadMinus;
            endsWord[1][c] = readerClass[c] == kReadSpace || stopDrop[c];
        }
        const struct {
            const char* text;
            RtfWordCode code;
        } known[] = {{"u", kRtfWordU},
                     {"ul", kRtfWordUl},
                     {"par", kRtfWordPar},
                     {"tab", kRtfWordTab},
                     {"rtf", kRtfWordRtf},
                     {"line", kRtfWordLine},
                     {"brdrsh", kRtfWordBrdrsh},
                     {"htmlrtf", kRtfWordHtmlrtf},
                     {"htmltag", kRtfWordHtmltag},
                     {"fldinst", kRtfWordFldinst},
                     {"fromhtml", kRtfWordFromhtml}};
        for (const auto& word : known) {
            WordEntry& entry = words[WordSlot(Pack(word.text))];
            if (entry.cch != 0) throw "two recognised words share a slot: pick another multiplier";
            entry.packed = Pack(word.text);
            while (word.text[entry.cch] != '\0') ++entry.cch;
            entry.code = word.code;
        }
    }
};

constexpr Tables kTables;

#ifdef ORVIMAPI_RTFHTML_SSE2
// Bytes of a 16-byte block that end a run of text, as a bit mask.
template <bool kWithWhite>
RTFHTML_INLINE unsigned RunStops(__m128i v)
{
    __m128i hit = _mm_or_si128(
        _mm_cmpeq_epi8(v, _mm_set1_epi8('\\')),
        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('{')), _mm_cmpeq_epi8(v, _mm_set1_epi8('}'))));
    if (kWithWhite) {
        hit = _mm_or_si128(hit, _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\t')),
                                             _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')),
                                                          _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')))));
    }
    return static_cast<unsigned>(_mm_movemask_epi8(hit));
}

// A superset of RunStops<true>, in fewer steps: bytes 0 to 13, and those
// that ORed with 0x20 give '{', '|' or '}' ('[', '\\', ']', '{', '|', '}').
// Plain text rarely holds any of the extra ones.
RTFHTML_INLINE __m128i RunStopCandidateBytes(__m128i v)
{
    // Each range moved to the bottom of the scale, where a saturating
    // subtraction leaves 0 for it alone; one compare with 0 takes both.
    const __m128i low = _mm_subs_epu8(v, _mm_set1_epi8(13));
    const __m128i braces = _mm_subs_epu8(
        _mm_sub_epi8(_mm_or_si128(v, _mm_set1_epi8(0x20)), _mm_set1_epi8(0x7B)), _mm_set1_epi8(2));
    return _mm_cmpeq_epi8(_mm_min_epu8(low, braces), _mm_setzero_si128());
}

RTFHTML_INLINE unsigned RunStopCandidates(__m128i v)
{
    return static_cast<unsigned>(_mm_movemask_epi8(RunStopCandidateBytes(v)));
}

// The bytes of the 16 bytes' four groups that break the pattern "hh\'",
// each h a plain byte, as a bit mask, or more: a digit that only might end
// a run breaks it too, and the escape-by-escape steps that follow go on.
RTFHTML_INLINE unsigned EscapeBreaks(__m128i v)
{
    // The third and fourth byte of each group against '\\' and '\'', the
    // first two against the bytes that might end a run.
    const __m128i marks = _mm_set1_epi32(static_cast<int>(0xFFFF0000u));
    const __m128i wrongMarks =
        _mm_andnot_si128(_mm_cmpeq_epi8(v, _mm_set1_epi32(0x275C0000)), marks);
    const __m128i stopDigits = _mm_andnot_si128(marks, RunStopCandidateBytes(v));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(wrongMarks, stopDigits)));
}

// How many of the 16 bytes' four groups, from the first, are "hh\'".
RTFHTML_INLINE uint32_t LeadingEscapes(__m128i v)
{
    return static_cast<uint32_t>(__builtin_ctz(EscapeBreaks(v) | 0x10000u)) / 4;
}

// The first two bytes of each 4-byte group of v, sign-extended to 32 bits so
// that a signed pack gives them back unchanged.
RTFHTML_INLINE __m128i GroupDigits(__m128i v) { return _mm_srai_epi32(_mm_slli_epi32(v, 16), 16); }
#endif

// Skips a run of dropped text; white space goes with it, as text mode
// drops that too.
RTFHTML_INLINE const uint8_t* SkipRun(const uint8_t* p, const uint8_t* e)
{
#ifdef ORVIMAPI_RTFHTML_SSE2
    while (e - p >= 16) {
        const unsigned mask = RunStops<false>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        if (mask != 0) return p + __builtin_ctz(mask);
        p += 16;
    }
#endif
    while (p < e && !kTables.stopDrop[*p]) ++p;
    return p;
}

// Copies a run of emitted text up to the next byte that is not plain text.
// False when the area is full.
RTFHTML_INLINE bool CopyRun(const uint8_t*& pRef, const uint8_t* e, char*& outRef, char* outEnd)
{
    const uint8_t* p = pRef;
    char* out = outRef;
#ifdef ORVIMAPI_RTFHTML_SSE2
    // Whole blocks are stored before the run's end is known; what lies past
    // the end is scratch within the area, overwritten by later output.
    const ptrdiff_t space = e - p < outEnd - out ? e - p : outEnd - out;
    const ptrdiff_t whole = space - 15; // blocks start below this offset
    ptrdiff_t i = 0;
    for (; i < whole; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), v);
        unsigned mask = RunStopCandidates(v);
        if (mask != 0 && !kTables.stopEmit[p[i + __builtin_ctz(mask)]]) mask = RunStops<true>(v);
        if (mask != 0) {
            const ptrdiff_t n = i + __builtin_ctz(mask);
            pRef = p + n;
            outRef = out + n;
            return true;
        }
    }
    p += i;
    out += i;
#endif
    bool room = true;
    for (; p < e && !kTables.stopEmit[*p]; ++p) {
        if (out == outEnd) {
            room = false;
            break;
        }
        *out++ = static_cast<char>(*p);
    }
    pRef = p;
    outRef = out;
    return room;
}

// Eight bytes, the first in the lowest bits, whatever the machine's order.
RTFHTML_INLINE uint64_t LoadLE64(const void* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

RTFHTML_INLINE uint64_t LowBytes(uint64_t v, int32_t n)
{
    return n >= 8 ? v : v & ((uint64_t{1} << (8 * n)) - 1);
}

constexpr uint64_t kHighBits = 0x8080808080808080u;

// High bit of each byte that is an ASCII letter. Bytes 0x80 and up are not.
RTFHTML_INLINE uint64_t LetterBits(uint64_t v)
{
    const uint64_t a = (v | 0x2020202020202020u) & 0x7F7F7F7F7F7F7F7Fu;
    const uint64_t atLeastA = a + 0x1F1F1F1F1F1F1F1Fu;
    const uint64_t pastZ = a + 0x0505050505050505u;
    return atLeastA & ~pastZ & ~v & kHighBits;
}

RTFHTML_INLINE uint64_t DigitBits(uint64_t v)
{
    const uint64_t a = v & 0x7F7F7F7F7F7F7F7Fu;
    const uint64_t atLeast0 = a + 0x5050505050505050u;
    const uint64_t past9 = a + 0x4646464646464646u;
    return atLeast0 & ~past9 & ~v & kHighBits;
}

// Value of the m (0 to 7) decimal digits in the low bytes of v.
RTFHTML_INLINE uint32_t ParseDigits(uint64_t v, int32_t m)
{
    uint64_t d = (v - 0x3030303030303030u) & ((uint64_t{1} << (8 * m)) - 1);
    d = (d << (8 * (7 - m))) << 8; // leading zero digits
    d = (d * 10 + (d >> 8)) & 0x00FF00FF00FF00FFu;
    d = (d * 100 + (d >> 16)) & 0x0000FFFF0000FFFFu;
    d = (d * 10000 + (d >> 32)) & 0xFFFFFFFFu;
    return static_cast<uint32_t>(d);
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

RTFHTML_INLINE void ReadWordChar(RtfHtmlState& s, uint8_t c, uint8_t prev)
{
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

// The code of a recognised word, before the conditions on \htmltag and
// \htmlrtf; w packs its first eight bytes.
RTFHTML_INLINE int32_t LookUpWord(uint64_t w, int32_t cch)
{
    const WordEntry& entry = kTables.words[WordSlot(w)];
    return entry.packed == w && entry.cch == cch ? entry.code : kRtfWordNone;
}

// The conditions every classification ends with: "htmltag" counts only
// right after \*, and any other word there opens a destination whose text
// is dropped unless it is recognised.
RTFHTML_INLINE int32_t ApplyStar(RtfHtmlState& s, int32_t code)
{
    if (code == kRtfWordHtmltag) {
        if (s.skipState != kRtfSkipStar) return kRtfWordNone;
        s.skipState = kRtfSkipNone;
    } else if (code == kRtfWordNone && s.skipState == kRtfSkipStar) {
        s.skipState = kRtfSkipSuppress;
    }
    return code;
}

// Classifies a word of cch bytes (packed by LoadLE64 when 8 or fewer)
// with the parameter read in s.
RTFHTML_INLINE int32_t ClassifyPacked(RtfHtmlState& s, uint64_t w, int32_t cch)
{
    if (cch < 1) return kRtfWordNone;
    s.parameter = s.cDigits < 1 ? -1
                  : s.minus     ? static_cast<int32_t>(0u - s.digitValue)
                                : static_cast<int32_t>(s.digitValue);
    int32_t code = LookUpWord(w, cch);
    if (code == kRtfWordHtmlrtf && s.parameter == 0) code = kRtfWordHtmlrtf0;
    return ApplyStar(s, code);
}

RTFHTML_INLINE int32_t ClassifyBuffer(RtfHtmlState& s)
{
    static_assert(sizeof s.word >= 8);
    return ClassifyPacked(s, LowBytes(LoadLE64(s.word), s.cchWord), s.cchWord);
}

// Encodes the code unit of a \u word; false when the area is full.
RTFHTML_INLINE bool EmitUnicode(Filter& f, int32_t parameter)
{
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

RTFHTML_INLINE bool EmitByte(Filter& f, char c)
{
    if (f.out == f.outEnd) return false;
    *f.out++ = c;
    return true;
}

RTFHTML_INLINE bool EmitLineBreak(Filter& f)
{
    if (f.outEnd - f.out < 2) return false;
    f.out[0] = '\r';
    f.out[1] = '\n';
    f.out += 2;
    return true;
}

// Carries out a classified word. False when the area is full.
RTFHTML_INLINE bool ActOnly(Filter& f, int32_t code)
{
    RtfHtmlState& s = f.s;
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
    return room;
}

// As ActOnly, and empties the word buffers, for words the byte-by-byte
// reader took; the fast paths leave them empty.
RTFHTML_INLINE bool Act(Filter& f, int32_t code)
{
    const bool room = ActOnly(f, code);
    RtfHtmlState& s = f.s;
    s.cchWord = 0;
    s.cDigits = 0;
    s.digitValue = 0;
    s.minus = 0;
    return room;
}

// Ends the word being read at byte c; an unescaped backslash starts the
// next one. False when the area is full.
RTFHTML_INLINE bool WordEnd(Filter& f, uint8_t c, uint8_t prev)
{
    const bool room = Act(f, ClassifyBuffer(f.s));
    f.s.readerMode = (c == '\\' && prev != '\\') ? kRtfReaderWord : kRtfReaderText;
    return room;
}

// Unescaped braces, counted with the flags as they stand before the word
// they end is classified.
RTFHTML_INLINE void CountOpen(RtfHtmlState& s)
{
    if (s.htmlrtf) {
        ++s.htmlrtfDepth;
    } else if (s.htmltag) {
        ++s.htmltagDepth;
    } else {
        s.groupFlag = 1;
        ++s.groupDepth;
    }
}

RTFHTML_INLINE void CountClose(RtfHtmlState& s)
{
    if (s.htmlrtf) {
        if (s.htmlrtfDepth > 0) --s.htmlrtfDepth;
    } else if (s.htmltag) {
        s.htmltag = 0;
        if (s.htmltagDepth > 0) --s.htmltagDepth;
    } else if (--s.groupDepth <= 0) {
        s.groupDepth = 0;
        s.groupFlag = 0;
    }
}

// Whether a plain byte met in text mode is copied.
RTFHTML_INLINE bool TextEmitted(const RtfHtmlState& s)
{
    const bool notSkipped = s.skipState != kRtfSkipSuppress;
    if (s.groupFlag & (s.htmlrtfDepth <= 0)) return notSkipped & (s.htmltag != 0);
    return notSkipped & (s.previousWordCode != kRtfWordU);
}

enum class Fast { kNo, kText, kFull };

// As ClassifyPacked for a word FastWords read: letters packed in w (none
// is 0, so equal packings have equal lengths), then m digits in the low
// bytes of digits, no minus. Only \u's parameter is used after this, so
// only \u's is set.
RTFHTML_INLINE int32_t ClassifyRead(RtfHtmlState& s, uint64_t w, uint64_t digits, int32_t m)
{
    const WordEntry& entry = kTables.words[WordSlot(w)];
    int32_t code = entry.packed == w ? entry.code : kRtfWordNone;
    if (code == kRtfWordHtmlrtf) {
        // Parameter 0: one or more digits, all of them 0.
        const uint64_t zeros = LowBytes(0x3030303030303030u, m);
        if (m > 0 && LowBytes(digits, m) == zeros) code = kRtfWordHtmlrtf0;
    } else if (code == kRtfWordU) {
        s.parameter = m == 0 ? -1 : static_cast<int32_t>(ParseDigits(digits, m));
    }
    return ApplyStar(s, code);
}

RTFHTML_INLINE bool HexEscapes(Filter& f, const uint8_t*& p, const uint8_t* e);

// Reads the control words that start at p, right after an unescaped
// backslash, while each is letters then digits ended by a byte that the
// reader would end it on; anything else is left to the byte-by-byte
// reader. Reads up to 16 bytes ahead.
RTFHTML_INLINE Fast FastWords(Filter& f, const uint8_t*& pRef, const uint8_t* e)
{
    RtfHtmlState& s = f.s;
    const uint8_t* p = pRef;
    Fast result = Fast::kNo;
    while (e - p >= 16) {
        // n letters (at most 7: with 8 or more, t below is a letter) and m
        // digits (at most 6), then the byte t that ends the word.
        const uint64_t v = LoadLE64(p);
        const uint64_t notLetter = ~LetterBits(v) & kHighBits;
        const int32_t n =
            static_cast<int32_t>(__builtin_ctzll(notLetter | (uint64_t{1} << 63)) >> 3);
        if (n == 0) {
            if (*p == '*' && p[-1] == '\\') {
                // \* : the empty word it ends classifies as nothing.
                s.skipState = kRtfSkipStar;
                result = ActOnly(f, kRtfWordNone) ? Fast::kText : Fast::kFull;
                s.readerMode = kRtfReaderText;
                p += 1;
            } else if (*p == '\'' && p[-1] == '\\' && !s.htmlrtf) {
                // A \' escape after a word, as in \u8364\'80.
                result = HexEscapes(f, p, e) ? Fast::kText : Fast::kFull;
            }
            break;
        }
        const uint64_t v2 = LoadLE64(p + n);
        const uint64_t notDigit = ~DigitBits(v2) & kHighBits;
        const int32_t m =
            static_cast<int32_t>(__builtin_ctzll(notDigit | (uint64_t{1} << 63)) >> 3);
        const uint8_t t = static_cast<uint8_t>(v2 >> (8 * m));
        if (m == 7 || !kTables.endsWord[s.htmlrtf != 0][t]) break;
        const uint8_t tClass = kTables.byteClass[t];
        if (tClass == kByteOpen)
            CountOpen(s);
        else if (tClass == kByteClose)
            CountClose(s);
        const bool room = ActOnly(f, ClassifyRead(s, LowBytes(v, n), v2, m));
        p += n + m + 1;
        if (tClass != kByteBackslash) {
            s.readerMode = kRtfReaderText;
            result = room ? Fast::kText : Fast::kFull;
            break;
        }
        s.groupFlag = 1;
        if (!room) {
            result = Fast::kFull;
            break;
        }
    }
    pRef = p;
    return result;
}

// Takes \' escapes from the apostrophe at p, right after an unescaped
// backslash in text mode outside \htmlrtf: the apostrophe ends an empty
// word, and the two hex digits are plain text. Runs of escapes, as text in
// a double-byte code page is written, are taken here whole; when they are
// copied, so is the plain text between them. False when the area is full.
RTFHTML_INLINE bool HexEscapes(Filter& f, const uint8_t*& p, const uint8_t* e)
{
    RtfHtmlState& s = f.s;
    s.previousWordCode = kRtfWordNone;
    s.readerMode = kRtfReaderText;
    ++p;
    // Two plain bytes and the backslash and apostrophe of the next escape;
    // the backslash is unescaped, as the byte before it is plain.
    const auto another = [&] {
        return e - p >= 4 && p[2] == '\\' && p[3] == '\'' && !kTables.stopEmit[p[0]] &&
               !kTables.stopEmit[p[1]];
    };
    if (TextEmitted(s)) {
        for (;;) {
            char* out = f.out;
            // A lone escape, as in Western text, is left to CopyRun below.
            if (e - p > 2 && p[2] == '\\') {
#ifdef ORVIMAPI_RTFHTML_SSE2
                // Eight escapes at a time (Outlook's runs are often a dozen or
                // more), then four: the digits are the first 16-bit lane of each
                // 4-byte group, gathered. The digits of all the escapes in the
                // step are stored; those past the run's end are scratch,
                // overwritten by later output.
                bool whole = true;
                while (e - p >= 32 && f.outEnd - out >= 16) {
                    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
                    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
                    const uint32_t breaks = EscapeBreaks(v0) | (EscapeBreaks(v1) << 16);
                    const uint32_t n =
                        breaks == 0 ? 8 : static_cast<uint32_t>(__builtin_ctz(breaks)) / 4;
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                                     _mm_packs_epi32(GroupDigits(v0), GroupDigits(v1)));
                    out += 2 * n;
                    p += 4 * n;
                    if (n < 8) {
                        whole = false;
                        break;
                    }
                }
                while (whole && e - p >= 16 && f.outEnd - out >= 8) {
                    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
                    const uint32_t n = LeadingEscapes(v);
                    const __m128i words = _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0x08), 0x08);
                    _mm_storel_epi64(reinterpret_cast<__m128i*>(out),
                                     _mm_shuffle_epi32(words, 0x08));
                    out += 2 * n;
                    p += 4 * n;
                    if (n < 4) break;
                }
#endif
                while (f.outEnd - out >= 2 && another()) {
                    out[0] = static_cast<char>(p[0]);
                    out[1] = static_cast<char>(p[1]);
                    out += 2;
                    p += 4;
                }
            }
            f.out = out;
            // The last escape's digits and the plain text after them; a run
            // of escapes that follows (its backslash comes after a plain byte
            // or the apostrophe, so is unescaped) changes no state.
            if (!CopyRun(p, e, f.out, f.outEnd)) return false;
            if (e - p < 2 || p[0] != '\\' || p[1] != '\'') break;
            p += 2;
        }
    } else {
#ifdef ORVIMAPI_RTFHTML_SSE2
        while (e - p >= 16) {
            const uint32_t n = LeadingEscapes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
            p += 4 * n;
            if (n < 4) break;
        }
#endif
        while (another()) p += 4;
    }
    return true;
}

// The words that make up most of the markup Outlook writes, each ended by
// a space, taken whole from p, right after an unescaped backslash in text
// mode; the general reader takes everything else. Reads 32 bytes ahead.
RTFHTML_INLINE Fast CommonWord(Filter& f, const uint8_t*& p)
{
    RtfHtmlState& s = f.s;
    const uint64_t v = LoadLE64(p);
    if (v == Pack("htmlrtf ")) {
        p += 8;
        s.htmlrtf = 1;
        s.previousWordCode = kRtfWordHtmlrtf;
        // Nearly every \htmlrtf Outlook writes ends after one brace:
        // "\htmlrtf {\htmlrtf0 " and "\htmlrtf }\htmlrtf0 ". The brace is
        // counted as inside \htmlrtf.
        if ((p[0] == '{' || p[0] == '}') && LoadLE64(p + 1) == Pack("\\htmlrtf") && p[9] == '0' &&
            p[10] == ' ') {
            if (p[0] == '{')
                ++s.htmlrtfDepth;
            else if (s.htmlrtfDepth > 0)
                --s.htmlrtfDepth;
            s.groupFlag = 1;
            s.htmlrtf = 0;
            s.previousWordCode = kRtfWordHtmlrtf0;
            p += 11;
        }
    } else if (v == Pack("htmlrtf0") && p[8] == ' ') {
        p += 9;
        s.htmlrtf = 0;
        s.previousWordCode = kRtfWordHtmlrtf0;
    } else if ((v & 0xFFFFFFFFu) == Pack("par ")) {
        p += 4;
        if (!ActOnly(f, kRtfWordPar)) return Fast::kFull;
    } else if ((v & 0xFFFFFFFFu) == Pack("tab ")) {
        p += 4;
        if (!ActOnly(f, kRtfWordTab)) return Fast::kFull;
    } else {
        return Fast::kNo;
    }
    s.readerMode = kRtfReaderText;
    return Fast::kText;
}

// Takes \uN and the backslash of a \' escape right after it, as Word
// writes a character with its fallback (\u8364\'80), from p, right after an
// unescaped backslash in text mode outside \htmlrtf: kText leaves p at the
// apostrophe, for HexEscapes. Reads 16 bytes ahead.
RTFHTML_INLINE Fast UnicodeWithEscape(Filter& f, const uint8_t*& p)
{
    // A minus sign before the digits, as code units above 32767 are written.
    const int32_t minus = p[1] == '-';
    const uint64_t v = LoadLE64(p + 1 + minus);
    const uint64_t notDigit = ~DigitBits(v) & kHighBits;
    const int32_t m = static_cast<int32_t>(__builtin_ctzll(notDigit | (uint64_t{1} << 63)) >> 3);
    if (m == 7 || static_cast<uint8_t>(v >> (8 * m)) != '\\' || p[2 + minus + m] != '\'') {
        return Fast::kNo;
    }
    RtfHtmlState& s = f.s;
    const uint32_t value = ParseDigits(v, m);
    s.parameter = m == 0  ? -1
                  : minus ? static_cast<int32_t>(0u - value)
                          : static_cast<int32_t>(value);
    s.previousWordCode = kRtfWordU;
    p += 2 + minus + m;
    return EmitUnicode(f, s.parameter) ? Fast::kText : Fast::kFull;
}

// Takes "htmltagN " at p, right after the {\*\ that opens an htmltag group
// in text mode: the word clears the \* marker and starts the group's text.
// Reads 16 bytes ahead.
RTFHTML_INLINE bool HtmltagWord(Filter& f, const uint8_t*& p)
{
    if ((LoadLE64(p) & 0x00FFFFFFFFFFFFFFu) != Pack("htmltag")) return false;
    const uint64_t v2 = LoadLE64(p + 7);
    const uint64_t notDigit = ~DigitBits(v2) & kHighBits;
    const int32_t m = static_cast<int32_t>(__builtin_ctzll(notDigit | (uint64_t{1} << 63)) >> 3);
    if (m == 7 || static_cast<uint8_t>(v2 >> (8 * m)) != ' ') return false;
    RtfHtmlState& s = f.s;
    s.skipState = kRtfSkipNone;
    s.htmltag = 1;
    s.htmltagDepth = 1;
    s.previousWordCode = kRtfWordHtmltag;
    p += 7 + m + 1;
    return true;
}

// Replaying markup seen before in the same chunk.
//
// Mail repeats its markup: every paragraph Outlook writes opens and closes
// the same tag groups and \htmlrtf pairs, and mostly the text between them
// changes. A span of markup converts the same way whenever it starts in the
// same state, so the filter keeps the spans it has converted (where each
// lies in the chunk, the HTML it gave, the state before and after) and,
// meeting the same bytes again in the same state, copies that HTML rather
// than reading them again. A span runs from the end of one run of text to
// the start of the next, or is cut after kSpanMax bytes. It starts and ends
// between control words, in text mode, where the fields of SpanState and
// the output code page (fixed for the chunk) are all the state there is; it
// starts after a byte that is not a backslash, so that its first byte is
// unescaped.

// The state a span of markup leaves behind, when no control word is being
// read. The output code page, the rest, is the same throughout a chunk.
struct SpanState {
    int32_t skipState;
    int32_t htmlrtf;
    int32_t htmltag;
    int32_t groupFlag;
    int32_t htmltagDepth;
    int32_t htmlrtfDepth;
    int32_t previousWordCode;
    int32_t groupDepth;
};

RTFHTML_INLINE SpanState SpanStateOf(const RtfHtmlState& s)
{
    return {s.skipState,    s.htmlrtf,      s.htmltag,          s.groupFlag,
            s.htmltagDepth, s.htmlrtfDepth, s.previousWordCode, s.groupDepth};
}

// The state a span depends on, but for the group depth, in one word, for
// the values the filter gives its fields (the flags 0 or 1, the skip state
// 0 to 2, word codes 200 to 212): false for depths of 2^24 or more, at
// which no span is recorded or looked up.
RTFHTML_INLINE bool PackSpanStart(const RtfHtmlState& s, uint64_t& packed)
{
    const uint32_t flags =
        static_cast<uint32_t>(s.skipState | s.htmlrtf << 2 | s.htmltag << 3 | s.groupFlag << 4);
    packed = (flags | uint64_t{static_cast<uint8_t>(s.previousWordCode)} << 8) |
             uint64_t{static_cast<uint32_t>(s.htmltagDepth)} << 16 |
             uint64_t{static_cast<uint32_t>(s.htmlrtfDepth)} << 40;
    return static_cast<uint32_t>(s.htmltagDepth | s.htmlrtfDepth) < (1u << 24);
}

// Set only when recorded: SpanCache::fill says which slots hold one.
struct Span {
    uint64_t key;    // SpanKey of its start: most spans that differ differ in it
    uint64_t before; // PackSpanStart of its start
    const uint8_t* in;
    const char* html; // its HTML, earlier in the output area
    uint32_t cbIn;
    uint32_t cbHtml;
    int32_t groupDepthBefore;
    int32_t cClose; // its closing braces, escaped or not
    SpanState after;
    int32_t parameter; // as the span leaves it
};

// Whether a span recorded from the same packed state reads the same from a
// group depth: the group depth matters only where a closing brace takes it
// to 0, and it drifts in real mail, so it may differ where no closing brace
// of the span can take it to 0, from either.
RTFHTML_INLINE bool SameGroupDepth(const Span& span, int32_t groupDepth)
{
    return span.groupDepthBefore == groupDepth ||
           (span.groupDepthBefore > span.cClose && groupDepth > span.cClose);
}

RTFHTML_INLINE int32_t CountCloseBraces(const uint8_t* p, const uint8_t* e)
{
    int32_t n = 0;
#ifdef ORVIMAPI_RTFHTML_SSE2
    // Per-byte counts of up to 255 blocks, then summed.
    while (e - p >= 16) {
        __m128i counts = _mm_setzero_si128();
        for (int blocks = 0; blocks < 255 && e - p >= 16; ++blocks, p += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(v, _mm_set1_epi8('}')));
        }
        const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
        n += _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
    }
#endif
    for (; p < e; ++p) n += *p == '}';
    return n;
}

// Spans are found by a hash of their first 16 bytes and the state, in sets
// of kSpanWays slots: the markup after a table cell, say, starts the same
// way whether a cell, a row or the end of the table follows.
constexpr int kSpanSlotBits = 8;
constexpr uint32_t kSpanWays = 4;
constexpr ptrdiff_t kSpanKeyBytes = 32; // bytes after a span's start to look it up
constexpr ptrdiff_t kSpanMax = 256;

enum SpanCacheMode : uint8_t {
    kSpanIdle = 0, // not in use
    kSpanLookUp,   // markup is looked up
    kSpanRecording,
};

struct SpanCache {
    Span slots[size_t{1} << kSpanSlotBits];
    // Spans held by each set, its first slots; only this is set up front, so
    // that a cache costs little to make.
    uint8_t fill[(size_t{1} << kSpanSlotBits) / kSpanWays] = {};
    SpanCacheMode mode = kSpanIdle;
    // The span being recorded.
    const uint8_t* recordIn = nullptr;
    char* recordHtml = nullptr;
    uint64_t recordKey = 0;
    uint64_t recordBefore = 0;
    int32_t recordGroupDepth = 0;
};

// A hash of the first 16 bytes and the part of the packed state that most
// often differs for the same bytes (the flags of \htmlrtf and tag groups,
// the previous word); its top bits pick the set. Spans that differ only in
// the rest, the depths above all, share a set rather than crowd out others.
RTFHTML_INLINE uint64_t SpanKey(const uint8_t* p, uint64_t packed)
{
    return (LoadLE64(p) * 0x9E3779B97F4A7C15u) ^ (LoadLE64(p + 8) * 0xC2B2AE3D27D4EB4Fu) ^
           ((packed & 0xFF0Cu) * 0x94D049BB133111EBu);
}

RTFHTML_INLINE uint32_t SpanSet(uint64_t key)
{
    return static_cast<uint32_t>(key >> (64 - kSpanSlotBits)) / kSpanWays;
}

// Whether the n bytes at a and b agree. Reads 16 bytes at each even when n
// is smaller.
RTFHTML_INLINE bool SameBytes(const uint8_t* a, const uint8_t* b, uint32_t n)
{
#ifdef ORVIMAPI_RTFHTML_SSE2
    const auto differ = [](const uint8_t* x, const uint8_t* y) {
        const __m128i eq = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x)),
                                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(y)));
        return static_cast<unsigned>(_mm_movemask_epi8(eq)) ^ 0xFFFFu;
    };
    if (n <= 16) return (differ(a, b) & ((1u << n) - 1)) == 0;
    // The last 16 bytes first: spans that start alike differ towards their
    // ends. Then the rest, the last block overlapping them.
    if (differ(a + n - 16, b + n - 16) != 0) return false;
    const auto same = [](const uint8_t* x, const uint8_t* y) {
        return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(y)));
    };
    uint32_t i = 0;
    for (; i + 64 < n; i += 64) {
        const __m128i eq = _mm_and_si128(
            _mm_and_si128(same(a + i, b + i), same(a + i + 16, b + i + 16)),
            _mm_and_si128(same(a + i + 32, b + i + 32), same(a + i + 48, b + i + 48)));
        if (_mm_movemask_epi8(eq) != 0xFFFF) return false;
    }
    for (; i + 16 < n; i += 16) {
        if (differ(a + i, b + i) != 0) return false;
    }
    return true;
#else
    return std::memcmp(a, b, n) == 0;
#endif
}

// Appends the n bytes of HTML at html, which lie before the output position.
RTFHTML_INLINE void CopyHtml(Filter& f, const char* html, uint32_t n)
{
#ifdef ORVIMAPI_RTFHTML_SSE2
    // Whole blocks: the bytes past the n read at html are scratch (or the
    // first of those being written), those stored past them scratch too.
    if (n <= 64 && f.outEnd - f.out >= 64) {
        // Most spans give little HTML: one step of 64 bytes, whatever its
        // length.
        const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(html));
        const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(html + 16));
        const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(html + 32));
        const __m128i v3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(html + 48));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(f.out), v0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(f.out + 16), v1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(f.out + 32), v2);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(f.out + 48), v3);
        f.out += n;
        return;
    }
    if (static_cast<uint64_t>(f.outEnd - f.out) >= uint64_t{n} + 16) {
        for (uint32_t i = 0; i < n; i += 16) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(f.out + i),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(html + i)));
        }
        f.out += n;
        return;
    }
#endif
    std::memcpy(f.out, html, n);
    f.out += n;
}

// Ends the span being recorded at p, the start of a turn in text mode.
RTFHTML_INLINE void EndSpan(Filter& f, SpanCache& c, const uint8_t* p)
{
    const RtfHtmlState& s = f.s;
    c.mode = kSpanLookUp;
    if ((s.cchWord | s.cDigits | s.minus) == 0) {
        // The newest of a set's spans is the first; the oldest goes.
        Span* const set = &c.slots[SpanSet(c.recordKey) * kSpanWays];
        uint8_t& fill = c.fill[SpanSet(c.recordKey)];
        for (uint32_t i = fill < kSpanWays ? fill : kSpanWays - 1; i > 0; --i) set[i] = set[i - 1];
        if (fill < kSpanWays) ++fill;
        Span& span = set[0];
        span.key = c.recordKey;
        span.in = c.recordIn;
        span.cbIn = static_cast<uint32_t>(p - c.recordIn);
        span.html = c.recordHtml;
        span.cbHtml = static_cast<uint32_t>(f.out - c.recordHtml);
        span.before = c.recordBefore;
        span.groupDepthBefore = c.recordGroupDepth;
        span.after = SpanStateOf(s);
        span.parameter = s.parameter;
        span.cClose = CountCloseBraces(c.recordIn, p);
    }
}

// At the start of a turn in text mode, past any white space (which text
// mode drops without a change of state), at p, a byte of markup: ends the
// span being recorded where text starts (a \' escape) or past kSpanMax, and
// replays a span that starts at p or starts recording one. True when a span
// was replayed: p, the output and the state have moved on.
RTFHTML_INLINE bool SpanStep(Filter& f, SpanCache& c, bool unescaped, const uint8_t*& p,
                             const uint8_t* e)
{
    RtfHtmlState& s = f.s;
    if (c.mode == kSpanRecording) {
        // Escapes in a tag group are mostly part of its fixed text (a font's
        // name), so they do not end a span; elsewhere they are text.
        const bool atText = *p == '\\' && e - p >= 2 && p[1] == '\'' && s.htmltag == 0;
        if (!atText && p - c.recordIn < kSpanMax) return false;
        EndSpan(f, c, p);
        if (atText) return false;
    }
    // Markup that runs long starts with a brace, \htmlrtf or \htmltag; a lone
    // word between runs of text (\par, \tab, \u, the \par in Word's style
    // sheets) is too short to be worth looking up, and a \' escape is text.
    uint64_t now;
    if (e - p < kSpanKeyBytes || (*p == '\\' && p[1] != 'h') || !unescaped ||
        (s.cchWord | s.cDigits | s.minus) != 0 || !PackSpanStart(s, now)) {
        return false;
    }
    const uint64_t key = SpanKey(p, now);
    const uint32_t setIndex = SpanSet(key);
    const Span* const set = &c.slots[setIndex * kSpanWays];
    for (uint32_t i = 0; i < c.fill[setIndex]; ++i) {
        const Span& span = set[i];
        // The span recorded lies before p, and p has kSpanKeyBytes bytes after
        // it, so SameBytes may read 16 bytes at span.in.
        if (span.key != key || span.before != now || !SameGroupDepth(span, s.groupDepth) ||
            span.cbIn > static_cast<uint64_t>(e - p) ||
            span.cbHtml > static_cast<uint64_t>(f.outEnd - f.out) ||
            !SameBytes(p, span.in, span.cbIn)) {
            continue;
        }
        CopyHtml(f, span.html, span.cbHtml);
        p += span.cbIn;
        s.skipState = span.after.skipState;
        s.htmlrtf = span.after.htmlrtf;
        s.htmltag = span.after.htmltag;
        s.groupFlag = span.after.groupFlag;
        s.groupDepth += span.after.groupDepth - span.groupDepthBefore;
        s.htmltagDepth = span.after.htmltagDepth;
        s.htmlrtfDepth = span.after.htmlrtfDepth;
        s.previousWordCode = span.after.previousWordCode;
        s.parameter = span.parameter;
        return true;
    }
    c.mode = kSpanRecording;
    c.recordIn = p;
    c.recordHtml = f.out;
    c.recordKey = key;
    c.recordBefore = now;
    c.recordGroupDepth = s.groupDepth;
    return false;
}

// Filters in[begin, end) of a chunk that starts at in, replaying spans of
// markup through cache when it is enabled. False when the area is full.
RTFHTML_INLINE bool FilterRangeLocal(Filter& f, SpanCache& cache, const uint8_t* in, uint32_t begin,
                                     uint32_t end)
{
    RtfHtmlState& s = f.s;
    const uint8_t* p = in + begin;
    const uint8_t* const e = in + end;
    while (p < e) {
        if (s.readerMode == kRtfReaderText) {
            // Plain bytes change no state: take the whole run at once. The bytes
            // that usually end a run are taken as the cases below would take
            // them in text mode, where the word buffers are empty.
            uint8_t cls = kTables.byteClass[*p];
            bool unescaped;
            if (cls == kByteWhite) {
                do ++p;
                while (p < e && kTables.byteClass[*p] == kByteWhite);
                if (p == e) break;
                // What follows white space is unescaped.
                cls = kTables.byteClass[*p];
                unescaped = true;
            } else {
                // A chunk's first byte is its own predecessor.
                unescaped = p != in && p[-1] != '\\';
            }
            if (cls == kByteOther) {
                if (cache.mode == kSpanRecording) EndSpan(f, cache, p);
                if (TextEmitted(s)) {
                    for (;;) {
                        if (!CopyRun(p, e, f.out, f.outEnd)) return false;
                        // A \par between runs of copied text, as in the long tag
                        // groups of Word's style sheets, is taken here. It
                        // follows a plain byte, so is unescaped; with the group
                        // flag already set, the text after it is copied too.
                        if (e - p < 8 || (LoadLE64(p) & 0xFFFFFFFFFFu) != Pack("\\par ") ||
                            s.groupFlag == 0 || kTables.byteClass[p[5]] != kByteOther) {
                            break;
                        }
                        if (!EmitLineBreak(f)) return false;
                        s.previousWordCode = kRtfWordPar;
                        p += 5;
                    }
                } else {
                    p = SkipRun(p, e);
                }
                continue;
            }
            if (cache.mode != kSpanIdle && SpanStep(f, cache, unescaped, p, e)) continue;
            if (unescaped) {
                ++p;
                if (cls != kByteBackslash) {
                    if (cls == kByteOpen)
                        CountOpen(s);
                    else
                        CountClose(s);
                    s.previousWordCode = kRtfWordNone;
                    if (e - p >= 8 && (LoadLE64(p) & 0xFFFFFFu) == Pack("\\*\\")) {
                        // {\*\ as every htmltag group starts: the empty word that \*
                        // ends classifies as nothing, and the next word starts.
                        s.groupFlag = 1;
                        p += 3;
                        if (e - p >= 16 && HtmltagWord(f, p)) {
                            // A tag's text is always copied (see TextEmitted:
                            // nothing is skipped, and the word is not \u).
                            if (!CopyRun(p, e, f.out, f.outEnd)) return false;
                            continue;
                        }
                        s.skipState = kRtfSkipStar;
                        s.readerMode = kRtfReaderWord;
                        continue;
                    }
                    // A backslash right after a brace is unescaped: its word is
                    // taken here rather than after another turn of the loop.
                    if (p == e || *p != '\\') continue;
                    ++p;
                }
                s.groupFlag = 1;
                s.readerMode = kRtfReaderWord;
                bool escape = p < e && *p == '\'';
                if (!escape && e - p >= 32 && *p == 'u' && !s.htmlrtf) {
                    // \u8364\'80 leaves p at the apostrophe.
                    const Fast unicode = UnicodeWithEscape(f, p);
                    if (unicode == Fast::kFull) return false;
                    escape = unicode == Fast::kText;
                }
                if (escape && !s.htmlrtf) {
                    if (!HexEscapes(f, p, e)) return false;
                    continue;
                }
                if (e - p >= 32) {
                    const Fast known = CommonWord(f, p);
                    if (known == Fast::kFull) return false;
                    if (known == Fast::kText) continue;
                }
                const Fast fast = FastWords(f, p, e);
                if (fast == Fast::kFull) return false;
                if (fast == Fast::kText) continue;
            }
        } else if (s.cchWord == 0 && s.cDigits == 0 && s.minus == 0 && p != in) {
            const Fast fast = FastWords(f, p, e);
            if (fast == Fast::kFull) return false;
            if (fast == Fast::kText) continue;
        }
        if (s.readerMode == kRtfReaderWord) {
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
        }
        if (p == e) break;

        const uint8_t c = *p;
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
                } else {
                    CountOpen(s);
                }
                if (!WordEnd(f, c, prev)) return false;
                break;
            case kByteClose:
                s.readerMode = kRtfReaderEnded;
                if (prev == '\\') {
                    if (!EmitByte(f, '}')) return false;
                } else {
                    CountClose(s);
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

// Works on a copy so that writes through the output pointer cannot be taken
// to alias the state: its fields then stay in registers.
bool FilterRange(Filter& shared, SpanCache& cache, const uint8_t* in, uint32_t begin, uint32_t end)
{
    Filter f = shared;
    const bool room = FilterRangeLocal(f, cache, in, begin, end);
    shared = f;
    return room;
}

const char* CharsetName(int32_t codePage)
{
    switch (codePage) {
        case 720:
            return "dos-720";
        case 852:
            return "dos-582"; // sic: the name Outlook-era converters write
        case 862:
            return "dos-862";
        case 866:
            return "dos-866";
        case 874:
            return "windows-874";
        case 932:
            return "shift-jis";
        case 936:
            return "gb2312";
        case 949:
            return "ks_c_5601";
        case 950:
            return "big5";
        case 1200:
            return "unicode";
        case 1201:
            return "unicodeFEFF";
        case 1250:
            return "windows-1250";
        case 1251:
            return "windows-1251";
        case 1252:
            return "windows-1252";
        case 1253:
            return "windows-1253";
        case 1254:
            return "windows-1254";
        case 1255:
            return "windows-1255";
        case 1256:
            return "windows-1256";
        case 1257:
            return "windows-1257";
        case 1258:
            return "windows-1258";
        case 20105:
            return "irv";
        case 20106:
            return "DIN_66003";
        case 20107:
            return "SEN_850200_B";
        case 20108:
            return "NS_4451-1";
        case 20866:
            return "koi8-r";
        case 28591:
            return "iso-8859-1";
        case 28592:
            return "iso-8859-2";
        case 28593:
            return "iso-8859-3";
        case 28594:
            return "iso-8859-4";
        case 28595:
            return "iso-8859-5";
        case 28596:
            return "iso-8859-6";
        case 28597:
            return "iso-8859-7";
        case 28598:
            return "iso-8859-8";
        case 28599:
            return "iso-8859-9";
        case 50000:
            return "x-user-defined";
        case 50220:
        case 50221:
        case 50222:
            return "iso-2022-jp";
        case 50225:
            return "iso-2022-kr";
        case 50932:
            return "_autodetect";
        case 50949:
            return "_autodetect_kr";
        case 51932:
            return "x-euc";
        case 51949:
            return "euc-kr";
        case 52936:
            return "hz-gb-2312";
        case 65000:
            return "utf-7";
        case 65001:
            return "utf-8";
        default:
            return nullptr;
    }
}

} // namespace

void RtfHtmlStateReset(RtfHtmlState& state) { state = RtfHtmlState{}; }

uint32_t HtmlCharsetMetaTag(int32_t codePage, char* pOutput)
{
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

void RtfWordReader(RtfHtmlState& state, char c)
{
    ReadWordChar(state, static_cast<uint8_t>(c), static_cast<uint8_t>(state.previousChar));
}

int32_t RtfWordClassify(RtfHtmlState& state) { return ClassifyBuffer(state); }

RtfHtmlResult RtfHtmlConvertChunk(RtfHtmlState& state, bool firstChunk, int32_t codePage,
                                  const char* pInput, uint32_t cbInput, char* pOutput,
                                  uint32_t cbCapacity, uint32_t* pcbOutput)
{
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
    SpanCache cache;
    if (firstChunk) {
        // RTF not made from HTML is given up on early. The spans of these
        // bytes are not kept: they would have to carry whether \rtf and
        // \fromhtml were read.
        done = cbInput < kHtmlTestEnd ? cbInput : kHtmlTestEnd;
        if (!FilterRange(f, cache, in, 0, done)) {
            result = RtfHtmlResult::kOutputFull;
        } else if (!(f.rtfSeen && f.fromhtmlSeen)) {
            result = RtfHtmlResult::kNotHtml;
        }
    }
    cache.mode = kSpanLookUp;
    if (result == RtfHtmlResult::kOk && !FilterRange(f, cache, in, done, cbInput)) {
        result = RtfHtmlResult::kOutputFull;
    }

    f.s.previousChar = static_cast<int8_t>(in[cbInput - 1]);
    state = f.s;
    if (result == RtfHtmlResult::kOk) *pcbOutput = static_cast<uint32_t>(f.out - pOutput);
    return result;
}

RtfHtmlResult RtfHtmlAppendChunk(RtfHtmlState& state, bool firstChunk, int32_t codePage,
                                 const char* pInput, uint32_t cbInput, std::string& output) noexcept
{
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

RtfHtmlConversion& RtfHtmlProcessConversion()
{
    // Zero-filled, so the buffers take no room in the binary.
    static char input[kRtfHtmlChunkSize];
    static char output[kRtfHtmlOutputCapacity];
    static RtfHtmlConversion conversion{RtfHtmlState{}, input, output};
    return conversion;
}
