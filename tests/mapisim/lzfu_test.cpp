#include "mapisim/rtfcomp/lzfu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

namespace lz = mapisim::lzfu;
using Bytes = std::vector<std::uint8_t>;

namespace {

// The two worked examples published with the format.
const Bytes kSimple = {0x2d, 0x00, 0x00, 0x00, 0x2b, 0x00, 0x00, 0x00, 0x4c, 0x5a, 0x46, 0x75, 0xf1,
                       0xc5, 0xc7, 0xa7, 0x03, 0x00, 0x0a, 0x00, 0x72, 0x63, 0x70, 0x67, 0x31, 0x32,
                       0x35, 0x42, 0x32, 0x0a, 0xf3, 0x20, 0x68, 0x65, 0x6c, 0x09, 0x00, 0x20, 0x62,
                       0x77, 0x05, 0xb0, 0x6c, 0x64, 0x7d, 0x0a, 0x80, 0x0f, 0xa0};
const std::string kSimpleText = "{\\rtf1\\ansi\\ansicpg1252\\pard hello world}\r\n";
const Bytes kCrossing = {0x1a, 0x00, 0x00, 0x00, 0x1c, 0x00, 0x00, 0x00, 0x4c, 0x5a,
                         0x46, 0x75, 0xe2, 0xd4, 0x4b, 0x51, 0x41, 0x00, 0x04, 0x20,
                         0x57, 0x58, 0x59, 0x5a, 0x0d, 0x6e, 0x7d, 0x01, 0x0e, 0xb0};
const std::string kCrossingText = "{\\rtf1 WXYZWXYZWXYZWXYZWXYZ}";

Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Gives at most `chunk` bytes a call, optionally fails once `fail_at` bytes
// are out, and lets a test see how far it was read.
class TestSource : public lz::Source {
public:
    explicit TestSource(const Bytes& data, std::size_t chunk = SIZE_MAX,
                        std::size_t fail_at = SIZE_MAX)
        : data_(data), chunk_(chunk), fail_at_(fail_at)
    {}
    std::size_t read(void* buf, std::size_t n) override
    {
        if (pos_ >= fail_at_) return kFailed;
        const std::size_t k = std::min({n, chunk_, data_.size() - pos_, fail_at_ - pos_});
        if (k > 0) std::memcpy(buf, data_.data() + pos_, k);
        pos_ += k;
        return k;
    }
    std::size_t pos() const { return pos_; }
    const std::uint8_t* data() const { return data_.data(); }
    std::size_t size() const { return data_.size(); }

private:
    const Bytes& data_;
    std::size_t chunk_, fail_at_, pos_ = 0;
};

// Hands its bytes over to be decoded in place, as a stream over a stored
// property does.
class InPlaceSource final : public TestSource {
public:
    using TestSource::TestSource;
    const std::uint8_t* take_rest(std::size_t& n) noexcept override
    {
        taken = true;
        return inner_.take_rest(n);
    }
    bool taken = false;

private:
    lz::MemorySource inner_{data(), size()};
};

struct Decoded {
    Bytes bytes;
    lz::Status status;
};

// Reads the whole stream `step` bytes at a time, the source giving `chunk`
// (or all of it in place). The decoder is built over a sentinel so that
// state it forgets to set shows.
Decoded decode(const Bytes& stream, std::size_t step, std::size_t chunk = SIZE_MAX,
               bool in_place = false)
{
    TestSource staged(stream, chunk);
    InPlaceSource whole(stream);
    lz::Source& src = in_place ? static_cast<lz::Source&>(whole) : staged;
    auto mem = std::make_unique<unsigned char[]>(sizeof(lz::Decoder));
    std::memset(mem.get(), 0xA5, sizeof(lz::Decoder));
    auto* dec = new (mem.get()) lz::Decoder(src);
    Decoded d{{}, lz::Status::Ok};
    Bytes buf(step + 32, 0xA5);
    while (dec->status() == lz::Status::Ok) {
        const std::size_t n = dec->read(buf.data(), step);
        d.bytes.insert(d.bytes.end(), buf.begin(), buf.begin() + std::ptrdiff_t(n));
        EXPECT_TRUE(std::all_of(buf.begin() + std::ptrdiff_t(step), buf.end(), [](std::uint8_t b) {
            return b == 0xA5;
        })) << "wrote past the buffer";
        if (n == 0) break;
    }
    d.status = dec->status();
    dec->~Decoder();
    return d;
}

void put32(Bytes& v, std::size_t at, std::uint32_t x)
{
    for (int i = 0; i < 4; ++i) v[at + std::size_t(i)] = std::uint8_t(x >> (8 * i));
}

// Rewrites COMPSIZE and CRC after a test edited the data.
void reseal(Bytes& s)
{
    put32(s, 0, std::uint32_t(s.size() - 4));
    put32(s, 12, lz::crc32(s.data() + 16, s.size() - 16));
}

Bytes realdata(const char* name)
{
    std::ifstream f(std::string(ORVIMAPI_SOURCE_DIR "/../shared/realdata/") + name,
                    std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

// Mail-like RTF: HTML tags wrapped in \htmltag groups around varied words.
std::string rtf_like(std::size_t size)
{
    static const char* const words[] = {"meeting", "the",      "quarterly", "report",   "please",
                                        "find",    "attached", "regards",   "tomorrow", "budget"};
    std::mt19937 rng(7);
    std::string s =
        "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\r\n";
    while (s.size() < size) {
        s += "{\\*\\htmltag64 <p class=MsoNormal>}\\htmlrtf {\\htmlrtf0 ";
        for (int w = int(rng() % 12); w >= 0; --w) (s += words[rng() % 10]) += ' ';
        s += "\\par\r\n}{\\*\\htmltag72 </p>}\r\n";
    }
    s.resize(size);
    return s;
}

} // namespace

TEST(LzfuWorkedExamples, DecodeByteExact)
{
    for (std::size_t step : {1, 5, 4096}) {
        EXPECT_EQ(decode(kSimple, step).bytes, bytes_of(kSimpleText)) << step;
        EXPECT_EQ(decode(kCrossing, step).bytes, bytes_of(kCrossingText)) << step;
        EXPECT_EQ(decode(kSimple, step).status, lz::Status::End);
        EXPECT_EQ(decode(kCrossing, step).status, lz::Status::End);
    }
}

TEST(LzfuWorkedExamples, CompressByteExact)
{
    EXPECT_EQ(lz::compress(kSimpleText.data(), kSimpleText.size()), kSimple);
    EXPECT_EQ(lz::compress(kCrossingText.data(), kCrossingText.size()), kCrossing);
}

TEST(LzfuMela, WrittenAndReadAsStored)
{
    const std::string text = "{\\rtf1\\ansi\\ansicpg1252\\pard test}";
    Bytes s = lz::store_uncompressed(text.data(), text.size());
    const Bytes header = {0x2e, 0, 0, 0, 0x22, 0, 0, 0, 'M', 'E', 'L', 'A', 0, 0, 0, 0};
    ASSERT_EQ(s.size(), 16 + text.size());
    EXPECT_TRUE(std::equal(header.begin(), header.end(), s.begin()));
    EXPECT_EQ(decode(s, 7).bytes, bytes_of(text));

    // Writers that put a CRC or a wrong COMPSIZE on MELA are still read.
    put32(s, 12, 0xCE12DF20);
    put32(s, 0, 3);
    const Decoded d = decode(s, 100);
    EXPECT_EQ(d.status, lz::Status::End);
    EXPECT_EQ(d.bytes, bytes_of(text));

    // RAWSIZE bounds the read: trailing bytes stay in the source.
    Bytes longer = s;
    longer.insert(longer.end(), {'x', 'y'});
    TestSource src(longer);
    lz::Decoder dec(src);
    std::uint8_t buf[100];
    EXPECT_EQ(dec.read(buf, sizeof buf), text.size());
    EXPECT_EQ(dec.status(), lz::Status::End);
    EXPECT_EQ(src.pos(), s.size());

    s.pop_back();
    EXPECT_EQ(decode(s, 100).status, lz::Status::Truncated);
    put32(s, 4, 0xFFFFFFFF);
    EXPECT_EQ(decode(s, 100).status, lz::Status::Truncated);
}

TEST(LzfuHeader, ShortOrUnknownIsAnError)
{
    for (std::size_t n = 0; n < 16; ++n)
        EXPECT_EQ(decode(Bytes(kSimple.begin(), kSimple.begin() + std::ptrdiff_t(n)), 8).status,
                  lz::Status::ShortHeader)
            << n;
    Bytes s = kSimple;
    put32(s, 8, 0x75465A4D);
    EXPECT_EQ(decode(s, 8).status, lz::Status::UnknownType);
    s = kSimple;
    put32(s, 0, 11);
    EXPECT_EQ(decode(s, 8).status, lz::Status::ShortHeader);
}

TEST(LzfuIntegrity, CrcMismatchShowsOnTheReadThatDeliversTheLastByte)
{
    Bytes s = kSimple;
    s[12] ^= 1;
    std::uint8_t buf[43];
    ASSERT_EQ(kSimpleText.size(), sizeof buf);
    for (std::size_t first = 1; first <= sizeof buf; ++first) {
        TestSource src(s);
        lz::Decoder dec(src);
        EXPECT_EQ(dec.read(buf, first), first);
        if (first < sizeof buf) {
            EXPECT_EQ(dec.status(), lz::Status::Ok);
            EXPECT_EQ(dec.read(buf + first, sizeof buf - first), sizeof buf - first);
        }
        EXPECT_EQ(dec.status(), lz::Status::CrcMismatch) << first;
        EXPECT_EQ(dec.read(buf, sizeof buf), 0u); // errors are final
    }

    s = kSimple;
    s[21] ^= 0x20; // a literal: decodes, differently
    EXPECT_EQ(decode(s, 4096).status, lz::Status::CrcMismatch);
}

TEST(LzfuIntegrity, PaddingAfterTheEndMarkerIsIgnoredButCovered)
{
    Bytes s = kSimple;
    s.insert(s.end(), {0xde, 0xad, 0xbe, 0xef, 0x00});
    reseal(s);
    for (std::size_t step : {1, 43, 4096}) {
        const Decoded d = decode(s, step);
        EXPECT_EQ(d.status, lz::Status::End);
        EXPECT_EQ(d.bytes, bytes_of(kSimpleText));
    }
    s.back() ^= 1;
    EXPECT_EQ(decode(s, 4096).status, lz::Status::CrcMismatch);

    // Padding longer than the decoder's input buffer is still pulled and checked.
    s = kSimple;
    s.insert(s.end(), 40000, ' ');
    reseal(s);
    EXPECT_EQ(decode(s, 4096).status, lz::Status::End);
    s[30000] = '!';
    EXPECT_EQ(decode(s, 4096).status, lz::Status::CrcMismatch);
}

TEST(LzfuDecoder, ReferenceWrappingFromTheUnwrittenRingIntoItsStart)
{
    // Ring positions 4094 and 4095 are still zero; the next are "{\".
    Bytes s = {0,   0, 0, 0, 4, 0,    0,    0,    'L',  'Z', 'F',
               'u', 0, 0, 0, 0, 0x03, 0xff, 0xe2, 0x0d, 0x30};
    s.insert(s.end(), 20, 0); // enough input for the whole-run path
    reseal(s);
    for (std::size_t step : {1, 4096}) {
        const Decoded d = decode(s, step);
        EXPECT_EQ(d.status, lz::Status::End);
        EXPECT_EQ(d.bytes, Bytes({0, 0, '{', '\\'})) << step;
    }
}

TEST(LzfuIntegrity, HeaderClaimsAreNotTrusted)
{
    Bytes s = kSimple;
    put32(s, 0, 0xFFFFFFFF);
    put32(s, 4, 0xFFFFFFFF);
    Bytes out;
    EXPECT_EQ(lz::decompress(s.data(), s.size(), out), lz::Status::Truncated);
    EXPECT_LT(out.capacity(), 4096u);

    // RAWSIZE alone is the writer's word; the end marker decides.
    s = kSimple;
    put32(s, 4, 0xFFFFFFFF);
    EXPECT_EQ(lz::decompress(s.data(), s.size(), out), lz::Status::End);
    EXPECT_EQ(out, bytes_of(kSimpleText));
}

TEST(LzfuIntegrity, EveryTruncationIsAnError)
{
    const std::string text = rtf_like(20000);
    const Bytes s = lz::compress(text.data(), text.size());
    for (std::size_t n = 16; n < s.size(); n += 7) {
        const Bytes cut(s.begin(), s.begin() + std::ptrdiff_t(n));
        EXPECT_EQ(decode(cut, 4096).status, lz::Status::Truncated) << n;
    }
    const Bytes cut(s.begin(), s.end() - 1);
    EXPECT_EQ(decode(cut, 1).status, lz::Status::Truncated);
}

TEST(LzfuIntegrity, SourceIsNotReadPastTheDataAndItsFailureIsReported)
{
    Bytes s = kCrossing;
    s.insert(s.end(), 100, 0x55);
    TestSource src(s, 3);
    lz::Decoder dec(src);
    std::uint8_t buf[64];
    EXPECT_EQ(dec.read(buf, sizeof buf), kCrossingText.size());
    EXPECT_EQ(dec.status(), lz::Status::End);
    EXPECT_EQ(src.pos(), kCrossing.size());

    TestSource failing(kSimple, SIZE_MAX, 20);
    lz::Decoder dec2(failing);
    dec2.read(buf, sizeof buf);
    EXPECT_EQ(dec2.status(), lz::Status::SourceFailed);
}

TEST(LzfuInPlace, DecodesWhatTheStagedReaderDecodesAndFailsAlike)
{
    std::mt19937 rng(3);
    Bytes random(5000);
    for (auto& b : random) b = std::uint8_t(rng());
    const std::string rtf = rtf_like(30000);
    const Bytes good = lz::compress(rtf.data(), rtf.size());
    std::vector<Bytes> streams = {good, lz::compress(random.data(), random.size()), kSimple,
                                  kCrossing, lz::store_uncompressed(rtf.data(), 3000)};
    Bytes damaged = good;
    damaged[good.size() / 2] ^= 0x10; // a bad CRC, or a bad reference
    streams.push_back(damaged);
    Bytes padded = kCrossing;
    padded.insert(padded.end(), 9, 0x55);
    reseal(padded);
    streams.push_back(padded);
    Bytes claims_more = kSimple;
    put32(claims_more, 0, 0x100000); // COMPSIZE past the bytes there are
    streams.push_back(claims_more);
    Bytes mela_short = streams[4];
    mela_short.resize(1000);
    streams.push_back(mela_short);
    for (std::size_t n : {0, 8, 16, 17, 100, 2000})
        streams.emplace_back(good.begin(), good.begin() + n);
    for (std::size_t i = 0; i < streams.size(); ++i) {
        for (std::size_t step : {1, 7, 4096, 1 << 20}) {
            SCOPED_TRACE(std::to_string(i) + "/" + std::to_string(step));
            const Decoded staged = decode(streams[i], step);
            const Decoded in_place = decode(streams[i], step, SIZE_MAX, true);
            EXPECT_EQ(in_place.status, staged.status);
            EXPECT_TRUE(in_place.bytes == staged.bytes);
        }
    }
    EXPECT_EQ(decode(good, 4096, SIZE_MAX, true).bytes, bytes_of(rtf));
    EXPECT_EQ(decode(damaged, 4096, SIZE_MAX, true).status, lz::Status::CrcMismatch);

    // The memory source hands out what is left and then has nothing more.
    lz::MemorySource memory(good.data(), good.size());
    std::uint8_t first[4];
    ASSERT_EQ(memory.read(first, 4), 4u);
    std::size_t n = 0;
    EXPECT_EQ(memory.take_rest(n), good.data() + 4);
    EXPECT_EQ(n, good.size() - 4);
    EXPECT_EQ(memory.remaining(), 0u);
    EXPECT_EQ(memory.read(first, 4), 0u);
}

TEST(LzfuRoundTrip, VariedDataAtOddReadSizes)
{
    std::mt19937 rng(42);
    Bytes random(200000);
    for (auto& b : random) b = std::uint8_t(rng());
    const std::string rtf = rtf_like(1 << 20);
    const std::vector<Bytes> inputs = {{},     {'x'},        Bytes(1 << 20, 'a'), Bytes(70000, 0),
                                       random, bytes_of(rtf)};
    for (const Bytes& in : inputs) {
        const Bytes s = lz::compress(in.data(), in.size());
        ASSERT_FALSE(s.empty());
        for (std::size_t step : {7, 136, 4097, 65537, 1 << 21}) {
            const Decoded d = decode(s, step, step == 7 ? 5 : SIZE_MAX);
            EXPECT_EQ(d.status, lz::Status::End) << in.size() << '/' << step;
            EXPECT_TRUE(d.bytes == in) << in.size() << '/' << step;
        }
    }
    const Bytes s = lz::compress(rtf.data(), rtf.size());
    EXPECT_LT(s.size(), rtf.size() / 3); // it does compress mail
    EXPECT_TRUE(decode(s, 1).bytes == bytes_of(rtf));
}

TEST(LzfuRealData, OutlookSampleDecodesByteForByte)
{
    const Bytes bin = realdata("decompressrtf-sample1.bin");
    const Bytes txt = realdata("decompressrtf-sample1.txt");
    if (bin.empty() || txt.empty())
        GTEST_SKIP() << "../shared/realdata/decompressrtf-sample1.* not found";
    for (std::size_t step : {1, 333, 65536}) {
        const Decoded d = decode(bin, step, 1000);
        EXPECT_EQ(d.status, lz::Status::End) << step;
        EXPECT_TRUE(d.bytes == txt) << step;
    }
    // Ours reads back too, at about Outlook's size.
    const Bytes ours = lz::compress(txt.data(), txt.size());
    EXPECT_TRUE(decode(ours, 4096).bytes == txt);
    EXPECT_LT(ours.size(), bin.size() * 21 / 20);
}

TEST(LzfuRealData, LibfmapiSampleHasAValidCrc)
{
    const Bytes bin = realdata("libfmapi-lzfu.1");
    if (bin.empty()) GTEST_SKIP() << "../shared/realdata/libfmapi-lzfu.1 not found";
    Bytes out;
    EXPECT_EQ(lz::decompress(bin.data(), bin.size(), out), lz::Status::End);
    EXPECT_EQ(out.size(), 195u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 6), "{\\rtf1");
}
