#include "mapisim/rtfcomp/lzfu.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>
#define LZFU_CLMUL 1
#endif

namespace mapisim::lzfu {
namespace {

// Every stream starts with this text at ring position 0 and writes from 207.
// CR comes before LF: decoders with the two swapped corrupt real mail.
constexpr char kDictText[] =
    "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman "
    "\\fswiss \\fmodern \\fscript \\fdecor MS Sans SerifSymbolArialTimes "
    "New RomanCourier{\\colortbl\\red0\\green0\\blue0\r\n\\par "
    "\\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
constexpr std::uint32_t kDictSize = sizeof kDictText - 1;
static_assert(kDictSize == 207);
static_assert(kDictText[168] == '\r' && kDictText[169] == '\n');

constexpr std::uint32_t kRingSize = 4096;
constexpr std::uint32_t kRingMask = kRingSize - 1;
constexpr std::size_t kMaxMatch = 17;
// A run is one control byte and eight tokens of at most two bytes, writing
// at most eight full matches.
constexpr std::size_t kRunInput = 1 + 8 * 2;
constexpr std::size_t kRunOutput = 8 * kMaxMatch;
// The deep loop reads each token as a 4-byte word: two bytes past the last.
constexpr std::size_t kDeepRunInput = kRunInput + 2;
// Reads from this size on are worth staging (copying the ring costs about
// what decoding 1 KiB from it saves).
constexpr std::size_t kStageMin = 1024;

std::uint32_t load_be32(const std::uint8_t* p) noexcept
{
    std::uint32_t word;
    std::memcpy(&word, p, 4);
    if constexpr (std::endian::native == std::endian::big) return word;
    // Compilers turn this into one byte-swap instruction.
    return word >> 24 | (word >> 8 & 0xFF00u) | (word << 8 & 0xFF0000u) | word << 24;
}

std::uint32_t load_le32(const std::uint8_t* p) noexcept
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

void store_le32(std::uint8_t* p, std::uint32_t v) noexcept
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}

void store_header(std::uint8_t* h, std::uint32_t comp_size, std::uint32_t raw_size,
                  std::uint32_t type, std::uint32_t crc) noexcept
{
    store_le32(h, comp_size);
    store_le32(h + 4, raw_size);
    store_le32(h + 8, type);
    store_le32(h + 12, crc);
}

// Slicing-by-8: t[s][i] is the CRC of byte i followed by s zero bytes, so
// eight input bytes cost eight independent lookups.
struct CrcTables {
    std::uint32_t t[8][256];
};

constexpr CrcTables make_crc_tables()
{
    CrcTables c{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t v = i;
        for (int k = 0; k < 8; ++k) v = (v & 1) ? (v >> 1) ^ 0xEDB88320u : v >> 1;
        c.t[0][i] = v;
    }
    for (int s = 1; s < 8; ++s)
        for (int i = 0; i < 256; ++i)
            c.t[s][i] = (c.t[s - 1][i] >> 8) ^ c.t[0][c.t[s - 1][i] & 0xFF];
    return c;
}

constexpr CrcTables kCrc = make_crc_tables();

#if LZFU_CLMUL
// Tables manage under 2 GB/s, which made the CRC a third of decoding time;
// folding with carry-less multiplies is close to free where the CPU has it.
// Constants are x^n mod P for the reflected polynomial, and its Barrett mu.
#define LZFU_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

LZFU_CLMUL_TARGET inline __m128i fold(__m128i x, __m128i k, __m128i next) noexcept
{
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

LZFU_CLMUL_TARGET inline __m128i load16(const std::uint8_t* p) noexcept
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// size: at least 64 and a multiple of 16.
LZFU_CLMUL_TARGET std::uint32_t crc32_clmul(const std::uint8_t* p, std::size_t size,
                                            std::uint32_t crc) noexcept
{
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);

    __m128i x1 = _mm_xor_si128(load16(p), _mm_cvtsi32_si128(int(crc)));
    __m128i x2 = load16(p + 16), x3 = load16(p + 32), x4 = load16(p + 48);
    for (p += 64, size -= 64; size >= 64; p += 64, size -= 64) {
        x1 = fold(x1, k1k2, load16(p));
        x2 = fold(x2, k1k2, load16(p + 16));
        x3 = fold(x3, k1k2, load16(p + 32));
        x4 = fold(x4, k1k2, load16(p + 48));
    }
    x1 = fold(fold(fold(x1, k3k4, x2), k3k4, x3), k3k4, x4);
    for (; size >= 16; p += 16, size -= 16) x1 = fold(x1, k3k4, load16(p));

    // 128 bits to 64, then Barrett reduction to 32.
    __m128i x = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), k5, 0x00),
                      _mm_srli_si128(x, 4));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), poly, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly, 0x00);
    return std::uint32_t(_mm_extract_epi32(_mm_xor_si128(x, t), 1));
}

bool has_clmul() noexcept
{
    static const bool yes = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return yes;
}
#endif

// Copies a match byte by byte; its source may start in the ring (before
// `start`) and run into the output, or overlap what it writes.
void copy_exact(std::uint8_t* start, std::size_t done, std::size_t len, std::size_t dist,
                const std::uint8_t* ring, std::uint32_t off) noexcept
{
    for (std::size_t k = 0; k < len; ++k)
        start[done + k] = done + k >= dist ? start[done + k - dist] : ring[(off + k) & kRingMask];
}

} // namespace

// Decodes straight into the caller's buffer. History written since `start`
// is read back from the output itself, older history from the ring, which
// this loop leaves alone (the caller brings it up to date afterwards).
// Whole runs go without bounds checks while a full run of input and of
// output room are there; otherwise token by token, stopping before a token
// whose bytes are not all in or that does not fit. history_before says
// that the 4 KiB before `start` hold the ring's bytes in order. Returns
// true when it consumed the end marker.
bool Decoder::decode_direct(std::uint8_t* const start, std::uint8_t*& out_io,
                            std::uint8_t* const out_end, const bool history_before,
                            const bool input_final) noexcept
{
    const std::uint8_t* in = in_base_ + in_pos_;
    const std::uint8_t* const in_end = in_base_ + in_end_;
    const std::uint8_t* const ring = ring_;
    const std::uint32_t base = wpos_;
    const bool ring_has_output = ring_has_output_; // the ring is left alone here
    std::uint8_t* out = out_io;
    std::uint32_t ctrl = ctrl_;
    std::uint32_t nbits = nbits_;
    bool ended = false;
    for (;;) {
        if (nbits == 0 && std::size_t(in_end - in) >= kRunInput &&
            std::size_t(out_end - out) >= kRunOutput) {
            if ((history_before || std::size_t(out - start) >= kRingSize) &&
                std::size_t(in_end - in) >= kDeepRunInput) {
                // Every source lies a distance back that the ring position
                // alone gives: the runs from here on need no other test.
                // Unrolled, each token's literal-or-match test is a branch of
                // its own, predicted by its place in the run.
                const std::uintptr_t bias = base - reinterpret_cast<std::uintptr_t>(start);
                do {
                    std::uint32_t run = *in++;
                    if (run == 0) {
                        std::memcpy(out, in, 8);
                        in += 8;
                        out += 8;
                        continue;
                    }
#pragma GCC unroll 8
                    for (int i = 0; i < 8; ++i, run >>= 1) {
                        if (!(run & 1)) {
                            *out++ = *in++;
                            continue;
                        }
                        // The token is the top half of a big-endian word:
                        // one load and a swap rather than two byte loads
                        // and the shifts that join them.
                        const std::uint32_t word = load_be32(in);
                        in += 2;
                        const std::uint32_t lo = word >> 16;
                        const std::size_t dist =
                            (reinterpret_cast<std::uintptr_t>(out) + bias - (word >> 20)) &
                            kRingMask;
                        const std::uint8_t* const src = out - dist;
                        if (dist < 16) [[unlikely]] {
                            if (dist == 0) {
                                ended = true;
                                break;
                            }
                            const std::size_t len = (lo & 15) + 2;
                            for (std::size_t k = 0; k < len; ++k) out[k] = src[k];
                            out += len;
                            continue;
                        }
                        std::memcpy(out, src, 16);
                        out[16] = src[16];
                        out += (lo & 15) + 2;
                    }
                    if (ended) break;
                } while (std::size_t(in_end - in) >= kDeepRunInput &&
                         std::size_t(out_end - out) >= kRunOutput);
                if (ended) break;
                continue;
            }
            std::uint32_t run = *in++;
            if (run == 0) {
                std::memcpy(out, in, 8);
                in += 8;
                out += 8;
                continue;
            }
            // Before any output reached the ring nearly every source lies in
            // this read's output (the preloaded text is seldom referred to):
            // the branch below then always goes one way. Otherwise the source
            // is in the output or in the ring, alternating too unpredictably
            // for a branch (small reads live there): the cold loop picks it
            // without one.
            if (!ring_has_output) {
                for (int i = 0; i < 8; ++i, run >>= 1) {
                    if (!(run & 1)) {
                        *out++ = *in++;
                        continue;
                    }
                    const std::uint32_t token = std::uint32_t(in[0]) << 8 | in[1];
                    in += 2;
                    const std::uint32_t off = token >> 4;
                    const std::size_t len = (token & 15) + 2;
                    const std::size_t done = std::size_t(out - start);
                    const std::size_t dist = (base + done - off) & kRingMask;
                    const std::uint8_t* src;
                    if (dist >= 16 && dist <= done) {
                        src = out - dist; // 16 or more bytes back: cannot overlap
                    } else if (done + len <= dist) {
                        src = ring + off; // mirrored past its end, so no wrap
                    } else if (dist == 0) {
                        ended = true;
                        break;
                    } else {
                        copy_exact(start, done, len, dist, ring, off);
                        out += len;
                        continue;
                    }
                    // 17 bytes whatever the length: the excess is overwritten
                    // by the tokens that follow.
                    std::memcpy(out, src, 16);
                    out[16] = src[16];
                    out += len;
                }
            } else {
                for (int i = 0; i < 8; ++i, run >>= 1) {
                    if (!(run & 1)) {
                        *out++ = *in++;
                        continue;
                    }
                    const std::uint32_t token = std::uint32_t(in[0]) << 8 | in[1];
                    in += 2;
                    const std::uint32_t off = token >> 4;
                    const std::size_t len = (token & 15) + 2;
                    const std::size_t done = std::size_t(out - start);
                    const std::size_t dist = (base + done - off) & kRingMask;
                    // In the output 16 or more bytes back, or wholly in the
                    // ring (mirrored past its end, so no wrap); anything else
                    // byte by byte.
                    const bool in_output = dist <= done;
                    const auto pick = std::uintptr_t(0) - std::uintptr_t(in_output);
                    const auto* const src = reinterpret_cast<const std::uint8_t*>(
                        ((reinterpret_cast<std::uintptr_t>(out) - dist) & pick) |
                        (reinterpret_cast<std::uintptr_t>(ring + off) & ~pick));
                    if ((in_output & (dist < 16)) | (!in_output & (done + len > dist)))
                        [[unlikely]] {
                        if (dist == 0) {
                            ended = true;
                            break;
                        }
                        copy_exact(start, done, len, dist, ring, off);
                        out += len;
                        continue;
                    }
                    std::memcpy(out, src, 16);
                    out[16] = src[16];
                    out += len;
                }
            }
            if (ended) break;
            continue;
        }
        if (!input_final && std::size_t(in_end - in) < kRunInput) break; // refill first
        if (nbits == 0) {
            if (in == in_end) break;
            ctrl = *in++;
            nbits = 8;
        }
        if (!(ctrl & 1)) {
            if (in == in_end || out == out_end) break;
            *out++ = *in++;
        } else {
            if (in_end - in < 2) break;
            const std::uint32_t token = std::uint32_t(in[0]) << 8 | in[1];
            const std::uint32_t off = token >> 4;
            const std::size_t done = std::size_t(out - start);
            const std::size_t dist = (base + done - off) & kRingMask;
            const std::size_t len = (token & 15) + 2;
            if (dist == 0) {
                in += 2;
                ended = true;
                break;
            }
            if (std::size_t(out_end - out) < len) break;
            in += 2;
            if (dist >= 16 && (history_before || dist <= done) &&
                std::size_t(out_end - out) > kMaxMatch) {
                // The end of every read passes here: as in whole runs,
                // while there is room for it.
                const std::uint8_t* const src = out - dist;
                std::memcpy(out, src, 16);
                out[16] = src[16];
            } else {
                copy_exact(start, done, len, dist, ring, off);
            }
            out += len;
        }
        ctrl >>= 1;
        --nbits;
    }
    in_pos_ = std::size_t(in - in_base_);
    ctrl_ = ctrl;
    nbits_ = nbits;
    out_io = out;
    return ended;
}

std::uint32_t crc32(const void* data, std::size_t size, std::uint32_t crc) noexcept
{
    const auto* p = static_cast<const std::uint8_t*>(data);
#if LZFU_CLMUL
    if (size >= 64 && has_clmul()) {
        const std::size_t bulk = size & ~std::size_t(15);
        crc = crc32_clmul(p, bulk, crc);
        p += bulk;
        size -= bulk;
    }
#endif
    const auto& t = kCrc.t;
    for (; size >= 8; size -= 8, p += 8) {
        const std::uint32_t lo = crc ^ load_le32(p);
        const std::uint32_t hi = load_le32(p + 4);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    }
    for (; size > 0; --size, ++p) crc = t[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return crc;
}

std::size_t MemorySource::read(void* buf, std::size_t n)
{
    const std::size_t k = std::min(n, left_);
    if (k > 0) std::memcpy(buf, p_, k);
    p_ += k;
    left_ -= k;
    return k;
}

const std::uint8_t* MemorySource::take_rest(std::size_t& n) noexcept
{
    const std::uint8_t* rest = p_;
    n = left_;
    p_ += left_;
    left_ = 0;
    return rest;
}

Decoder::Decoder(Source& src) noexcept : src_(src), wpos_(kDictSize), in_base_(in_)
{
    std::memcpy(ring_, kDictText, kDictSize);
    std::memset(ring_ + kDictSize, 0, kRing - kDictSize);
    std::memcpy(ring_ + kRing, ring_, kMirror);
}

void Decoder::settle(Status s) noexcept
{
    if (status_ == Status::Ok) status_ = s;
}

// Tops the input buffer up from the source, never past the data's declared
// end. Returns false only when the source failed.
bool Decoder::refill()
{
    if (in_place_) return true; // everything there is, is there
    if (in_pos_ > 0) {
        std::memmove(in_, in_ + in_pos_, in_avail());
        in_end_ -= in_pos_;
        in_pos_ = 0;
    }
    while (in_end_ < kInput && content_left_ > 0 && !src_ended_) {
        const auto want = std::size_t(std::min<std::uint64_t>(kInput - in_end_, content_left_));
        const std::size_t got = src_.read(in_ + in_end_, want);
        if (got == Source::kFailed || got > want) {
            settle(Status::SourceFailed);
            return false;
        }
        if (got == 0) {
            src_ended_ = true;
            break;
        }
        // The CRC covers everything after the header, padding included, so
        // it is taken as bytes arrive.
        if (crc_on_) crc_ = crc32(in_ + in_end_, got, crc_);
        in_end_ += got;
        content_left_ -= got;
    }
    return true;
}

bool Decoder::need(std::size_t k)
{
    if (in_avail() >= k) return true;
    if (!refill()) return false;
    if (in_avail() >= k) return true;
    settle(Status::Truncated);
    return false;
}

Status Decoder::open()
{
    if (opened_) return status_;
    opened_ = true;
    std::size_t in_memory = 0;
    if (const std::uint8_t* rest = src_.take_rest(in_memory)) {
        in_base_ = rest;
        in_end_ = in_memory;
        in_place_ = true;
        src_ended_ = true;
    } else if (!refill()) {
        return status_;
    }
    if (in_avail() < kHeaderSize) {
        settle(Status::ShortHeader);
        return status_;
    }
    const std::uint8_t* h = in_base_ + in_pos_;
    comp_size_ = load_le32(h);
    raw_size_ = load_le32(h + 4);
    comp_type_ = load_le32(h + 8);
    crc_header_ = load_le32(h + 12);
    in_pos_ += kHeaderSize;
    if (comp_type_ == kTypeCompressed) {
        if (comp_size_ < kHeaderSize - 4) {
            settle(Status::ShortHeader);
        } else {
            content_left_ = comp_size_ - (kHeaderSize - 4);
            crc_on_ = true;
        }
    } else if (comp_type_ == kTypeUncompressed) {
        // The bytes themselves follow; their count is RAWSIZE, whatever
        // COMPSIZE and CRC say.
        content_left_ = raw_size_;
        if (raw_size_ == 0) status_ = Status::End;
    } else {
        settle(Status::UnknownType);
    }
    if (in_place_) {
        // Only the declared bytes are data; what the header claims beyond
        // the memory is missing, as a source that ended early would be.
        const std::size_t have = std::size_t(std::min<std::uint64_t>(in_avail(), content_left_));
        in_end_ = in_pos_ + have;
        content_left_ -= have;
        crc_pos_ = in_pos_;
    }
    return status_;
}

// In place, the CRC is taken as the decoder reaches the bytes rather than
// as they arrive; both cover every byte after the header.
void Decoder::take_crc(std::size_t upto) noexcept
{
    if (!in_place_ || !crc_on_ || upto <= crc_pos_) return;
    crc_ = crc32(in_base_ + crc_pos_, upto - crc_pos_, crc_);
    crc_pos_ = upto;
}

std::size_t Decoder::read_mela(std::uint8_t* out, std::size_t n)
{
    if (in_place_) {
        const std::size_t got = std::min(n, in_avail());
        if (got > 0) std::memcpy(out, in_base_ + in_pos_, got);
        in_pos_ += got;
        if (in_avail() == 0 && content_left_ == 0)
            settle(Status::End);
        else if (got < n && content_left_ > 0)
            settle(Status::Truncated);
        return got;
    }
    const auto want = std::size_t(std::min<std::uint64_t>(n, content_left_));
    std::size_t got = 0;
    while (got < want && !src_ended_) {
        const std::size_t r = src_.read(out + got, want - got);
        if (r == Source::kFailed || r > want - got) {
            settle(Status::SourceFailed);
            break;
        }
        if (r == 0) src_ended_ = true;
        got += r;
        content_left_ -= r;
    }
    if (content_left_ == 0)
        settle(Status::End);
    else if (got < want)
        settle(Status::Truncated);
    return got;
}

void Decoder::put_ring(std::uint8_t b) noexcept
{
    ring_[wpos_] = b;
    if (wpos_ < kMirror) ring_[kRing + wpos_] = b;
    wpos_ = (wpos_ + 1) & kRingMask;
    ring_has_output_ = true;
}

// Brings the ring up to date with bytes the fast path wrote to [begin, end).
void Decoder::sync_ring(const std::uint8_t* begin, const std::uint8_t* end) noexcept
{
    std::size_t count = std::size_t(end - begin);
    const auto stop = std::uint32_t((wpos_ + count) & kRingMask);
    if (count > kRing) {
        begin = end - kRing;
        count = kRing;
    }
    const std::uint32_t pos = (stop - std::uint32_t(count)) & kRingMask;
    const std::size_t first = std::min<std::size_t>(count, kRing - pos);
    std::memcpy(ring_ + pos, begin, first);
    std::memcpy(ring_, begin + first, count - first);
    std::memcpy(ring_ + kRing, ring_, kMirror);
    wpos_ = stop;
    ring_has_output_ = ring_has_output_ || count > 0;
}

// Copies the ring into stage_, oldest byte first, so that the history
// ends where staged output begins.
void Decoder::unroll_ring() noexcept
{
    std::memcpy(stage_, ring_ + wpos_, kRing - wpos_);
    std::memcpy(stage_ + (kRing - wpos_), ring_, wpos_);
}

// Decodes one token through the ring into pending_, for a match that does
// not fit the caller's room (the rest waits for the next read) or data that
// is cut. Returns false once decoding stopped (error or end).
bool Decoder::slow_step()
{
    if (nbits_ == 0) {
        if (!need(1)) return false;
        ctrl_ = in_base_[in_pos_++];
        nbits_ = 8;
    }
    const bool is_ref = ctrl_ & 1;
    ctrl_ >>= 1;
    --nbits_;
    pend_pos_ = 0;
    if (!is_ref) {
        if (!need(1)) return false;
        const std::uint8_t b = in_base_[in_pos_++];
        put_ring(b);
        pending_[0] = b;
        pend_len_ = 1;
        return true;
    }
    if (!need(2)) return false;
    const std::uint32_t token = std::uint32_t(in_base_[in_pos_]) << 8 | in_base_[in_pos_ + 1];
    in_pos_ += 2;
    const std::uint32_t off = token >> 4;
    if (off == wpos_) {
        pend_len_ = 0;
        finish();
        return false;
    }
    const std::uint32_t len = (token & 15) + 2;
    for (std::uint32_t k = 0; k < len; ++k) {
        const std::uint8_t b = ring_[(off + k) & kRingMask];
        put_ring(b);
        pending_[k] = b;
    }
    pend_len_ = std::uint8_t(len);
    return true;
}

// The end marker was consumed: pull (and so CRC) the padding up to COMPSIZE,
// then settle the outcome.
void Decoder::finish()
{
    take_crc(in_end_);
    in_pos_ = in_end_ = 0;
    while (content_left_ > 0 && !src_ended_) {
        if (!refill()) return;
        in_pos_ = in_end_ = 0;
    }
    if (content_left_ > 0)
        settle(Status::Truncated);
    else if (crc_ != crc_header_)
        settle(Status::CrcMismatch);
    else
        settle(Status::End);
}

std::size_t Decoder::read(void* out_v, std::size_t n)
{
    if (!opened_) open();
    if (status_ != Status::Ok || n == 0) return 0;
    auto* const out = static_cast<std::uint8_t*>(out_v);
    if (comp_type_ == kTypeUncompressed) return read_mela(out, n);

    std::uint8_t* p = out;
    std::uint8_t* const end = out + n;
    for (;;) {
        if (pend_pos_ < pend_len_) {
            const std::size_t k =
                std::min<std::size_t>(pend_len_ - pend_pos_, std::size_t(end - p));
            std::memcpy(p, pending_ + pend_pos_, k);
            p += k;
            pend_pos_ = std::uint8_t(pend_pos_ + k);
        }
        if (status_ != Status::Ok || pend_pos_ < pend_len_) break;
        // Runs once more with the buffer full, to take an end marker that
        // comes next: a bad CRC then shows on the read with the last byte.
        if (in_avail() < kRunInput && !refill()) break;
        const bool input_final = src_ended_ || content_left_ == 0;
        std::uint8_t* const start = p;
        bool ended = false;
        if (std::size_t(end - p) >= kStageMin) {
            // The first 4 KiB go behind a straight copy of the ring, where
            // every match reads back from one place, then out; from there
            // on this read's own output holds all the history.
            unroll_ring();
            std::uint8_t* const staged = stage_ + kRing;
            std::uint8_t* q = staged;
            ended = decode_direct(staged, q, staged + std::min<std::size_t>(end - p, kRing), true,
                                  input_final);
            std::memcpy(p, staged, std::size_t(q - staged));
            p += q - staged;
            if (!ended && p < end) ended = decode_direct(start, p, end, false, input_final);
        } else {
            ended = decode_direct(start, p, end, false, input_final);
        }
        sync_ring(start, p);
        if (ended) {
            finish();
            break;
        }
        if (!input_final && in_avail() < kRunInput) continue;
        if (p == end) break;
        // The next token does not fit the room left, or the data is cut.
        if (!slow_step()) break;
    }
    take_crc(in_pos_);
    return std::size_t(p - out);
}

std::vector<std::uint8_t> compress(const void* data, std::size_t size)
{
    constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    // Deep enough for mail-sized bodies to compress well, shallow enough to
    // keep the loader quick on long runs of one byte.
    constexpr unsigned kMaxChain = 64;
    if (size > std::numeric_limits<std::uint32_t>::max() - kDictSize - 1) return {};

    // The preloaded text followed by the input: a position here is its ring
    // position modulo 4096, and overlapping matches need no special case.
    std::vector<std::uint8_t> text(kDictSize + size);
    std::memcpy(text.data(), kDictText, kDictSize);
    if (size > 0) std::memcpy(text.data() + kDictSize, data, size);
    const std::uint8_t* const b = text.data();
    const auto total = std::uint32_t(text.size());

    // Chains of earlier positions by their first two bytes, newest first.
    std::vector<std::uint32_t> head(65536, kNone);
    std::vector<std::uint32_t> prev(kRingSize);

    std::vector<std::uint8_t> out(kHeaderSize);
    out.reserve(kHeaderSize + size + size / 8 + 4);
    std::size_t ctrl_at = 0;
    unsigned nbits = 8;
    auto reference = [&](std::uint32_t pos, std::uint32_t len) {
        if (nbits == 8) {
            ctrl_at = out.size();
            out.push_back(0);
            nbits = 0;
        }
        out[ctrl_at] = std::uint8_t(out[ctrl_at] | 1u << nbits++);
        const std::uint32_t token = (pos & kRingMask) << 4 | (len - 2);
        out.push_back(std::uint8_t(token >> 8));
        out.push_back(std::uint8_t(token));
    };

    std::uint32_t inserted = 0;
    std::uint32_t p = kDictSize;
    while (p < total) {
        for (; inserted < p && inserted + 1 < total; ++inserted) {
            const std::uint32_t h = std::uint32_t(b[inserted]) << 8 | b[inserted + 1];
            prev[inserted & kRingMask] = head[h];
            head[h] = inserted;
        }
        const std::uint32_t limit = std::min<std::uint32_t>(kMaxMatch, total - p);
        std::uint32_t best_len = 0, best_pos = 0;
        if (limit >= 2) {
            std::uint32_t q = head[std::uint32_t(b[p]) << 8 | b[p + 1]];
            for (unsigned steps = 0; q != kNone && p - q < kRingSize && steps < kMaxChain;
                 ++steps, q = prev[q & kRingMask]) {
                // Only a candidate that can at least tie the best matters.
                if (best_len > 0 && b[q + best_len - 1] != b[p + best_len - 1]) continue;
                std::uint32_t len = 2;
                while (len < limit && b[q + len] == b[p + len]) ++len;
                if (len >= best_len) {
                    best_len = len;
                    best_pos = q;
                    if (len == limit) break;
                }
            }
        }
        if (best_len >= 2) {
            reference(best_pos, best_len);
            p += best_len;
        } else {
            if (nbits == 8) {
                ctrl_at = out.size();
                out.push_back(0);
                nbits = 0;
            }
            ++nbits;
            out.push_back(b[p++]);
        }
    }
    reference(p, 2); // the end marker: a reference to the write position

    if (out.size() - 4 > std::numeric_limits<std::uint32_t>::max()) return {};
    // The reserve allowed for incompressible input would otherwise stay
    // with every stored body.
    out.shrink_to_fit();
    store_header(out.data(), std::uint32_t(out.size() - 4), std::uint32_t(size), kTypeCompressed,
                 crc32(out.data() + kHeaderSize, out.size() - kHeaderSize));
    return out;
}

std::vector<std::uint8_t> store_uncompressed(const void* data, std::size_t size)
{
    if (size > std::numeric_limits<std::uint32_t>::max() - (kHeaderSize - 4)) return {};
    std::vector<std::uint8_t> out(kHeaderSize + size);
    store_header(out.data(), std::uint32_t(size + kHeaderSize - 4), std::uint32_t(size),
                 kTypeUncompressed, 0);
    if (size > 0) std::memcpy(out.data() + kHeaderSize, data, size);
    return out;
}

Status decompress(const void* data, std::size_t size, std::vector<std::uint8_t>& out)
{
    out.clear();
    MemorySource src(data, size);
    Decoder dec(src);
    if (dec.open() != Status::Ok) return dec.status();
    // A run of 17 bytes yields at most 136, so the data, not the header's
    // claim, bounds the first allocation.
    const std::uint64_t bound = std::uint64_t(size) * 8 + 64;
    out.resize(std::size_t(std::min<std::uint64_t>(dec.raw_size(), bound)) + 64);
    std::size_t got = 0;
    while (dec.status() == Status::Ok) {
        if (got == out.size()) out.resize(out.size() * 2);
        const std::size_t r = dec.read(out.data() + got, out.size() - got);
        if (r == 0) break;
        got += r;
    }
    out.resize(got);
    return dec.status();
}

} // namespace mapisim::lzfu
