// Compressed RTF as PR_RTF_COMPRESSED holds it: a 16-byte header (COMPSIZE,
// RAWSIZE, COMPTYPE, CRC, little-endian) followed by either LZFu data (an
// LZ77 variant over a 4096-byte ring preloaded with RTF boilerplate) or,
// for COMPTYPE "MELA", the RTF bytes as they are.
//
// Pure bytes: no MAPI or Win32 types, so the stand-in's
// WrapCompressedRTFStream and the mailbox loader can share it.
//
// Reading a stream:
//   MemorySource src(bytes, cb);        // or any Source, e.g. over an IStream
//   Decoder dec(src);
//   while ((n = dec.read(buf, sizeof buf)) > 0) use buf[0, n);
//   dec.status() == Status::End: every byte was delivered and checked.
// A decoder holds the ring, a bounded input buffer, a staging area and a
// few counters, about 28 KB whatever the stream claims; it allocates
// nothing. Over a
// source that holds the data in memory it reads the data in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// libmapisim hides symbols by default; these are for the stand-in's users
// (the mailbox loader, tests, benchmarks, fuzzers).
#if defined(__GNUC__)
#define LZFU_API __attribute__((visibility("default")))
#else
#define LZFU_API
#endif

namespace mapisim::lzfu {

inline constexpr std::uint32_t kTypeCompressed = 0x75465A4Cu;   // "LZFu"
inline constexpr std::uint32_t kTypeUncompressed = 0x414C454Du; // "MELA"
inline constexpr std::size_t kHeaderSize = 16;

enum class Status {
    Ok,           // more data may follow
    End,          // every byte has been delivered; for LZFu the CRC matched
    ShortHeader,  // fewer than 16 bytes, or a COMPSIZE below 12
    UnknownType,  // COMPTYPE is neither LZFu nor MELA
    Truncated,    // the data ended before the end marker, before COMPSIZE
                  // bytes, or (MELA) before RAWSIZE bytes
    CrcMismatch,  // LZFu data whose CRC differs from the header's
    SourceFailed, // the source returned Source::kFailed; it knows why
};

// True for every status but Ok and End. All errors are corrupt data to a
// MAPI caller except SourceFailed, whose real cause the source keeps.
constexpr bool is_error(Status s) noexcept { return s != Status::Ok && s != Status::End; }

// Where a Decoder pulls the compressed bytes from.
class LZFU_API Source {
public:
    static constexpr std::size_t kFailed = static_cast<std::size_t>(-1);

    virtual ~Source() = default;

    // Copies up to n bytes (n > 0) into buf and returns how many it copied:
    // 0 only at the end of the data, kFailed when the source failed (it
    // keeps the reason; the decoder then stops with SourceFailed).
    virtual std::size_t read(void* buf, std::size_t n) = 0;

    // The rest of the data, where it already sits in memory that stays
    // unchanged while the decoder lives: the decoder then decodes it in
    // place instead of copying it through its buffer. The bytes count as
    // read. Null (the default) where the data has to be read.
    virtual const std::uint8_t* take_rest(std::size_t& n) noexcept
    {
        n = 0;
        return nullptr;
    }
};

// A Source over bytes the caller keeps alive while it is read.
class LZFU_API MemorySource final : public Source {
public:
    MemorySource(const void* data, std::size_t size) noexcept
        : p_(static_cast<const std::uint8_t*>(data)), left_(size)
    {}
    std::size_t read(void* buf, std::size_t n) override;
    const std::uint8_t* take_rest(std::size_t& n) noexcept override;
    std::size_t remaining() const noexcept { return left_; }

private:
    const std::uint8_t* p_;
    std::size_t left_;
};

class LZFU_API Decoder {
public:
    // Reads nothing until open() or the first read().
    explicit Decoder(Source& src) noexcept;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Reads and checks the header (only once) and returns status(): Ok,
    // or ShortHeader, UnknownType, SourceFailed.
    Status open();

    // Writes up to n decompressed bytes to out and returns how many; fewer
    // than n only when the data ended or an error stopped it. Bytes of out
    // past the count returned may have been overwritten. Check status()
    // after every call: an error is set by the call that meets it, at the
    // latest the one that delivers the last byte, and the bytes that call
    // returns are those decoded before the fault. Errors are final; later
    // calls return 0. The source is never asked for bytes past COMPSIZE
    // (LZFu) or RAWSIZE (MELA).
    std::size_t read(void* out, std::size_t n);

    Status status() const noexcept { return status_; }

    // Header fields, valid once open() returned Ok. RAWSIZE is the writer's
    // claim, not enforced for LZFu: the end marker ends the data.
    std::uint32_t comp_size() const noexcept { return comp_size_; }
    std::uint32_t raw_size() const noexcept { return raw_size_; }
    std::uint32_t comp_type() const noexcept { return comp_type_; }
    std::uint32_t crc() const noexcept { return crc_header_; }

private:
    static constexpr std::size_t kRing = 4096;
    static constexpr std::size_t kMirror = 32; // ring head copied past its end
    static constexpr std::size_t kInput = 16384;

    std::size_t read_mela(std::uint8_t* out, std::size_t n);
    bool decode_direct(std::uint8_t* start, std::uint8_t*& out, std::uint8_t* out_end,
                       bool history_before, bool input_final) noexcept;
    void unroll_ring() noexcept;
    bool refill();
    bool need(std::size_t k);
    bool slow_step();
    void put_ring(std::uint8_t b) noexcept;
    void sync_ring(const std::uint8_t* begin, const std::uint8_t* end) noexcept;
    void finish();
    void settle(Status s) noexcept;
    void take_crc(std::size_t upto) noexcept;
    std::size_t in_avail() const noexcept { return in_end_ - in_pos_; }

    Source& src_;
    Status status_ = Status::Ok;
    bool opened_ = false;
    bool src_ended_ = false;
    bool crc_on_ = false;
    std::uint32_t comp_size_ = 0, raw_size_ = 0, comp_type_ = 0, crc_header_ = 0;
    std::uint32_t crc_ = 0;
    std::uint64_t content_left_ = kHeaderSize; // bytes the source may still give
    std::uint32_t wpos_ = 0;                   // ring position of the next output byte
    bool ring_has_output_ = false;             // beyond the preloaded text
    std::uint32_t ctrl_ = 0;                   // control bits not yet used, lowest first
    std::uint32_t nbits_ = 0;
    std::uint8_t pend_pos_ = 0, pend_len_ = 0;
    std::uint8_t pending_[17]; // decoded by the slow path, not yet handed out
    // The input: in_ filled from the source, or the source's own bytes.
    const std::uint8_t* in_base_;
    bool in_place_ = false;
    std::size_t crc_pos_ = 0; // in place: the CRC covers in_base_[kHeaderSize, crc_pos_)
    std::size_t in_pos_ = 0, in_end_ = 0;
    std::uint8_t ring_[kRing + kMirror];
    std::uint8_t in_[kInput];
    // The ring in order, then the first output of a read (see read()).
    std::uint8_t stage_[2 * kRing];
};

// CRC-32 as compressed RTF uses it (reflected 0xEDB88320, starting from 0,
// no final inversion); pass the previous result to continue a running CRC.
LZFU_API std::uint32_t crc32(const void* data, std::size_t size, std::uint32_t crc = 0) noexcept;

// LZFu with header and CRC (greedy longest match, ties to the older
// position). Returns an empty vector when the result would not fit the
// 32-bit header fields.
LZFU_API std::vector<std::uint8_t> compress(const void* data, std::size_t size);

// MELA: the header (CRC 0) and the bytes as they are; empty when too large.
LZFU_API std::vector<std::uint8_t> store_uncompressed(const void* data, std::size_t size);

// Decodes a whole stream held in memory into out (replaced). Returns End on
// success; on error out holds what was decoded before it.
LZFU_API Status decompress(const void* data, std::size_t size, std::vector<std::uint8_t>& out);

} // namespace mapisim::lzfu
