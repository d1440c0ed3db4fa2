// WrapCompressedRTFStream over a message's PR_RTF_COMPRESSED.
#include "mapisim/rtfcomp/lzfu.h"
#include "stand_in.h"

using namespace standin;

namespace {

class RtfStream : public StandIn {
protected:
    void SetUp() override
    {
        StandIn::SetUp();
        rtf = "{\\rtf1\\ansi\\fromhtml1 ";
        for (int i = 0; i < 3000; ++i)
            rtf += "{\\*\\htmltag64 <p>}line " + std::to_string(i) + "\\par ";
        rtf += "}";
        logon();
    }

    // A message of the Inbox whose compressed RTF is these bytes, opened.
    void message_with(const std::vector<uint8_t>& compressed, Com<IMessage>& msg)
    {
        box.mail[1]->props.set(Value::binary(PR_RTF_COMPRESSED, compressed));
        open(entryid_of(*box.pst, *box.mail[1]), msg, MAPI_MESSAGE);
    }

    HRESULT read_all(IStream* s, std::string& out)
    {
        out.clear();
        char buf[1000];
        for (;;) {
            ULONG n = 0;
            HRESULT hr = s->Read(buf, sizeof buf, &n);
            out.append(buf, n);
            if (FAILED(hr) || n == 0) return hr;
        }
    }

    std::string rtf;
};

} // namespace

TEST_F(RtfStream, DecompressesAsItIsRead)
{
    Com<IMessage> msg;
    message_with(mapisim::lzfu::compress(rtf.data(), rtf.size()), msg);
    Com<IStream> compressed, plain;
    ASSERT_EQ(msg->OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, MAPI_DEFERRED_ERRORS,
                                compressed.unk()),
              S_OK);
    ASSERT_EQ(WrapCompressedRTFStream(compressed.get(), 0, plain.out()), S_OK);
    compressed.reset(); // the wrapper holds its own reference
    std::string out;
    ASSERT_EQ(read_all(plain.get(), out), S_OK);
    EXPECT_EQ(out, rtf);
    STATSTG st{};
    ASSERT_EQ(plain->Stat(&st, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(st.cbSize.QuadPart, rtf.size());
    // Back to the start re-reads from the compressed stream.
    LARGE_INTEGER zero{};
    ASSERT_EQ(plain->Seek(zero, STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(read_all(plain.get(), out), S_OK);
    EXPECT_EQ(out, rtf);
    LARGE_INTEGER ten{};
    ten.QuadPart = 10;
    ULARGE_INTEGER pos{};
    ASSERT_EQ(plain->Seek(ten, STREAM_SEEK_SET, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 10u);
    ULONG n = 0;
    EXPECT_EQ(plain->Write("x", 1, &n), STG_E_ACCESSDENIED);
}

// Readers open at once, and one after another as a folder is read: each
// decodes its own body from its own state, whichever readers came and went.
TEST_F(RtfStream, ReadersSideBySideAndInTurnKeepTheirOwnState)
{
    const std::string other = "{\\rtf1 another body\\par " + std::string(9000, 'x') + "}";
    Com<IMessage> first, second;
    message_with(mapisim::lzfu::compress(rtf.data(), rtf.size()), first);
    box.mail[2]->props.set(
        Value::binary(PR_RTF_COMPRESSED, mapisim::lzfu::compress(other.data(), other.size())));
    open(entryid_of(*box.pst, *box.mail[2]), second, MAPI_MESSAGE);

    auto reader = [&](IMessage* msg, Com<IStream>& out) {
        Com<IStream> compressed;
        ASSERT_EQ(msg->OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, MAPI_DEFERRED_ERRORS,
                                    compressed.unk()),
                  S_OK);
        ASSERT_EQ(WrapCompressedRTFStream(compressed.get(), 0, out.out()), S_OK);
    };
    Com<IStream> a, b;
    reader(first.get(), a);
    reader(second.get(), b);
    char head[100];
    ULONG n = 0;
    ASSERT_EQ(a->Read(head, sizeof head, &n), S_OK); // a's state is in use
    ASSERT_EQ(n, sizeof head);
    std::string out;
    ASSERT_EQ(read_all(b.get(), out), S_OK);
    EXPECT_EQ(out, other);
    b.reset();
    ASSERT_EQ(read_all(a.get(), out), S_OK);
    EXPECT_EQ(std::string(head, sizeof head) + out, rtf);
    a.reset();
    for (int i = 0; i < 3; ++i) {
        Com<IStream> c;
        reader(i % 2 ? first.get() : second.get(), c);
        ASSERT_EQ(read_all(c.get(), out), S_OK);
        EXPECT_EQ(out, i % 2 ? rtf : other);
    }
}

TEST_F(RtfStream, UncompressedMelaPassesThrough)
{
    Com<IMessage> msg;
    message_with(mapisim::lzfu::store_uncompressed(rtf.data(), rtf.size()), msg);
    Com<IStream> compressed, plain;
    ASSERT_EQ(msg->OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, 0, compressed.unk()), S_OK);
    ASSERT_EQ(WrapCompressedRTFStream(compressed.get(), 0, plain.out()), S_OK);
    std::string out;
    ASSERT_EQ(read_all(plain.get(), out), S_OK);
    EXPECT_EQ(out, rtf);
}

TEST_F(RtfStream, DamagedDataIsCorruptData)
{
    auto bytes = mapisim::lzfu::compress(rtf.data(), rtf.size());
    bytes[12] ^= 0xFF; // the CRC
    Com<IMessage> msg;
    message_with(bytes, msg);
    Com<IStream> compressed, plain;
    ASSERT_EQ(msg->OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, 0, compressed.unk()), S_OK);
    ASSERT_EQ(WrapCompressedRTFStream(compressed.get(), 0, plain.out()), S_OK);
    std::string out;
    EXPECT_EQ(read_all(plain.get(), out), MAPI_E_CORRUPT_DATA);

    Com<IStream> junk, wrapped;
    Com<IMessage> other;
    message_with({1, 2, 3}, other);
    ASSERT_EQ(other->OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, 0, junk.unk()), S_OK);
    ASSERT_EQ(WrapCompressedRTFStream(junk.get(), 0, wrapped.out()), S_OK);
    EXPECT_EQ(read_all(wrapped.get(), out), MAPI_E_CORRUPT_DATA);
    EXPECT_EQ(WrapCompressedRTFStream(junk.get(), 0x40, wrapped.out()), MAPI_E_UNKNOWN_FLAGS);
}

TEST_F(RtfStream, WritingCompressesIntoThePropertyOnCommit)
{
    Com<IMessage> msg;
    open(entryid_of(*box.pst, *box.mail[2]), msg, MAPI_MESSAGE);
    Com<IStream> target, writer;
    ASSERT_EQ(msg->OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY,
                                target.unk()),
              S_OK);
    ASSERT_EQ(WrapCompressedRTFStream(target.get(), MAPI_MODIFY, writer.out()), S_OK);
    ULONG n = 0;
    ASSERT_EQ(writer->Write(rtf.data(), static_cast<ULONG>(rtf.size()), &n), S_OK);
    ASSERT_EQ(writer->Commit(0), S_OK);
    writer.reset();
    target.reset();
    ASSERT_EQ(msg->SaveChanges(0), S_OK);
    const Value* stored = box.mail[2]->props.find(PR_RTF_COMPRESSED);
    ASSERT_NE(stored, nullptr);
    std::vector<uint8_t> back;
    const auto& bytes = *stored->get<Bytes>();
    ASSERT_EQ(mapisim::lzfu::decompress(bytes.data(), bytes.size(), back),
              mapisim::lzfu::Status::End);
    EXPECT_EQ(std::string(back.begin(), back.end()), rtf);
    EXPECT_LT(bytes.size(), rtf.size());
}
