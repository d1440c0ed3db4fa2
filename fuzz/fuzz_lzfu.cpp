// Compressed RTF: arbitrary bytes through the streaming decoder, read in
// sizes and pulled in chunks chosen by the input, must agree with the
// one-shot decoder; and the input must survive compress/decompress and the
// MELA writer.
//   data[0], data[1]: read and chunk sizes; data[2...]: the stream.
#include "mapisim/rtfcomp/lzfu.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace lz = mapisim::lzfu;

namespace {

// Gives `chunk` bytes a call at most, like a stream over a slow medium.
class ChunkSource : public lz::Source {
public:
    ChunkSource(const std::uint8_t* p, std::size_t n, std::size_t chunk)
        : p_(p), left_(n), chunk_(chunk)
    {}
    std::size_t read(void* buf, std::size_t n) override
    {
        const std::size_t k = std::min({n, left_, chunk_});
        if (k > 0) std::memcpy(buf, p_, k);
        p_ += k;
        left_ -= k;
        return k;
    }

private:
    const std::uint8_t* p_;
    std::size_t left_, chunk_;
};

void check(bool ok)
{
    if (!ok) __builtin_trap();
}

// LZFu read the plainest way, byte by byte through the 4 KiB ring, for the
// decoder's fast paths to be held against: the output up to the end
// marker, or everything decoded when the data stops before one.
std::vector<std::uint8_t> plain_decode(const std::uint8_t* p, std::size_t n)
{
    static const char kPreload[] =
        "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman "
        "\\fswiss \\fmodern \\fscript \\fdecor MS Sans SerifSymbolArialTimes "
        "New RomanCourier{\\colortbl\\red0\\green0\\blue0\r\n\\par "
        "\\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
    std::uint8_t ring[4096] = {};
    std::memcpy(ring, kPreload, sizeof kPreload - 1);
    std::uint32_t wpos = sizeof kPreload - 1;
    std::vector<std::uint8_t> out;
    auto put = [&](std::uint8_t b) {
        out.push_back(b);
        ring[wpos] = b;
        wpos = (wpos + 1) & 4095;
    };
    for (std::size_t i = 0; i < n;) {
        const std::uint8_t control = p[i++];
        for (int bit = 0; bit < 8 && i < n; ++bit) {
            if (!(control >> bit & 1)) {
                put(p[i++]);
                continue;
            }
            if (n - i < 2) return out;
            const std::uint32_t token = std::uint32_t(p[i]) << 8 | p[i + 1];
            i += 2;
            const std::uint32_t off = token >> 4;
            if (off == wpos) return out;
            for (std::uint32_t k = 0; k < (token & 15) + 2; ++k) put(ring[(off + k) & 4095]);
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    const std::size_t sizes[] = {1u + data[0], 1u + data[1] * 37u, 4096u + data[0], 137, 1};
    const std::size_t chunk = data[1] & 0x80 ? SIZE_MAX : 1u + (data[1] & 0x3F);
    const std::uint8_t* stream = data + 2;
    const std::size_t cb = size - 2;

    std::vector<std::uint8_t> whole;
    const lz::Status whole_status = lz::decompress(stream, cb, whole);
    // No run expands more than eightfold; MELA not at all.
    check(whole.size() <= cb * 8);

    ChunkSource src(stream, cb, chunk);
    lz::Decoder dec(src);
    std::vector<std::uint8_t> got, buf(*std::max_element(std::begin(sizes), std::end(sizes)));
    for (std::size_t i = 0; dec.status() == lz::Status::Ok; ++i) {
        const std::size_t want = sizes[i % std::size(sizes)];
        const std::size_t n = dec.read(buf.data(), want);
        check(n <= want);
        got.insert(got.end(), buf.begin(), buf.begin() + std::ptrdiff_t(n));
        if (n == 0) break;
    }
    check(dec.status() == whole_status);
    check(got == whole);
    // A bad CRC is found after the last byte, so all of them came out.
    const bool all_out = whole_status == lz::Status::End || whole_status == lz::Status::CrcMismatch;
    if (all_out && dec.comp_type() == lz::kTypeCompressed)
        check(plain_decode(stream + lz::kHeaderSize, cb - lz::kHeaderSize) == whole);

    const std::vector<std::uint8_t> packed = lz::compress(stream, cb);
    std::vector<std::uint8_t> back;
    check(lz::decompress(packed.data(), packed.size(), back) == lz::Status::End);
    check(back.size() == cb && std::equal(back.begin(), back.end(), stream));

    const std::vector<std::uint8_t> stored = lz::store_uncompressed(stream, cb);
    check(lz::decompress(stored.data(), stored.size(), back) == lz::Status::End);
    check(back.size() == cb && std::equal(back.begin(), back.end(), stream));
    return 0;
}
