// The memory stream of CreateStreamOnHGlobal, and the object counts every
// stand-in COM object keeps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mapisim/decl/win32.h"
#include "mapisim/mapisim.h"

namespace {

LARGE_INTEGER Move(LONGLONG by)
{
    LARGE_INTEGER move;
    move.QuadPart = by;
    return move;
}

ULARGE_INTEGER Size(ULONGLONG size)
{
    ULARGE_INTEGER value;
    value.QuadPart = size;
    return value;
}

// The stand-in counts its streams among its live objects. The Windows build's streams are
// Windows' own: the counts stay where they were.
#ifdef _WIN32
constexpr uint32_t kCountedPerStream = 0;
#else
constexpr uint32_t kCountedPerStream = 1;
#endif

class StreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mapisim_reset_misuse_counters();
        liveBefore_ = mapisim_live_objects();
        ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream_), S_OK);
        EXPECT_EQ(mapisim_live_objects(), liveBefore_ + kCountedPerStream);
    }
    void TearDown() override
    {
        if (stream_ != nullptr) {
            EXPECT_EQ(stream_->Release(), 0u);
        }
        EXPECT_EQ(mapisim_live_objects(), liveBefore_);
        EXPECT_EQ(mapisim_dead_calls(), 0u);
    }

    ULONGLONG Position(IStream* stream)
    {
        ULARGE_INTEGER position{};
        EXPECT_EQ(stream->Seek(Move(0), STREAM_SEEK_CUR, &position), S_OK);
        return position.QuadPart;
    }
    std::string ReadAll(IStream* stream)
    {
        EXPECT_EQ(stream->Seek(Move(0), STREAM_SEEK_SET, nullptr), S_OK);
        char buffer[256];
        ULONG read = 0;
        EXPECT_EQ(stream->Read(buffer, sizeof buffer, &read), S_OK);
        return std::string(buffer, read);
    }

    IStream* stream_ = nullptr;
    uint32_t liveBefore_ = 0;
};

TEST_F(StreamTest, WritesGrowAndReadsStopAtTheEnd)
{
    ULONG count = 0;
    ASSERT_EQ(stream_->Write("hello world", 11, &count), S_OK);
    EXPECT_EQ(count, 11u);
    EXPECT_EQ(Position(stream_), 11u);

    char buffer[32];
    EXPECT_EQ(stream_->Read(buffer, sizeof buffer, &count), S_OK);
    EXPECT_EQ(count, 0u); // at the end: nothing, and no error
    ASSERT_EQ(stream_->Seek(Move(-5), STREAM_SEEK_END, nullptr), S_OK);
    EXPECT_EQ(stream_->Read(buffer, sizeof buffer, &count), S_OK);
    EXPECT_EQ(std::string(buffer, count), "world");

    // Writing past the end fills the gap with zeros.
    ASSERT_EQ(stream_->Seek(Move(2), STREAM_SEEK_END, nullptr), S_OK);
    ASSERT_EQ(stream_->Write("!", 1, nullptr), S_OK);
    EXPECT_EQ(ReadAll(stream_), std::string("hello world\0\0!", 14));

    STATSTG stat;
    std::memset(&stat, 0x7f, sizeof stat);
    ASSERT_EQ(stream_->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(stat.type, static_cast<DWORD>(STGTY_STREAM));
    EXPECT_EQ(stat.cbSize.QuadPart, 14u);
    EXPECT_EQ(stat.pwcsName, nullptr);
}

// Streams come and go one after another (a body per message): a new one
// starts empty whatever the ones released before it held, and its gaps
// read as zeros, not as an earlier stream's bytes.
TEST_F(StreamTest, ANewStreamHoldsNothingOfEarlierOnes)
{
    const std::string earlier(5000, 'e');
    ASSERT_EQ(stream_->Write(earlier.data(), static_cast<ULONG>(earlier.size()), nullptr), S_OK);
    EXPECT_EQ(stream_->Release(), 0u);
    stream_ = nullptr;

    for (int round = 0; round < 2; ++round) {
        IStream* next = nullptr;
        ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &next), S_OK);
        STATSTG stat{};
        ASSERT_EQ(next->Stat(&stat, STATFLAG_NONAME), S_OK);
        EXPECT_EQ(stat.cbSize.QuadPart, 0u);
        char buffer[16];
        ULONG count = 1;
        EXPECT_EQ(next->Read(buffer, sizeof buffer, &count), S_OK);
        EXPECT_EQ(count, 0u);
        if (round == 0) {
            ASSERT_EQ(next->Write("ab", 2, nullptr), S_OK);
        } else {
            // A write past the end of a new stream: zeros before it.
            ASSERT_EQ(next->Seek(Move(3), STREAM_SEEK_SET, nullptr), S_OK);
            ASSERT_EQ(next->Write("z", 1, nullptr), S_OK);
            EXPECT_EQ(ReadAll(next), std::string("\0\0\0z", 4));
        }
        EXPECT_EQ(next->Release(), 0u);
    }
}

TEST_F(StreamTest, SeeksBelowZeroOrWithABadOriginFailAndStayPut)
{
    stream_->Write("abc", 3, nullptr);
    ULARGE_INTEGER position = Size(99);
    EXPECT_EQ(stream_->Seek(Move(-4), STREAM_SEEK_CUR, &position), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(stream_->Seek(Move(-1), STREAM_SEEK_SET, &position), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(stream_->Seek(Move(-4), STREAM_SEEK_END, &position), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(stream_->Seek(Move(0), 3, &position), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(position.QuadPart, 99u);
    EXPECT_EQ(Position(stream_), 3u);
    EXPECT_EQ(stream_->Seek(Move(-3), STREAM_SEEK_CUR, &position), S_OK);
    EXPECT_EQ(position.QuadPart, 0u);
}

TEST_F(StreamTest, SetSizeKeepsTheSeekPointer)
{
    stream_->Write("abcdef", 6, nullptr);
    ASSERT_EQ(stream_->SetSize(Size(2)), S_OK);
    EXPECT_EQ(Position(stream_), 6u);
    EXPECT_EQ(ReadAll(stream_), "ab");
    ASSERT_EQ(stream_->SetSize(Size(4)), S_OK);
    EXPECT_EQ(ReadAll(stream_), std::string("ab\0\0", 4));
    EXPECT_EQ(stream_->Commit(0), S_OK);
    EXPECT_EQ(stream_->Revert(), S_OK);
    EXPECT_EQ(stream_->LockRegion(Size(0), Size(1), 0), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(stream_->UnlockRegion(Size(0), Size(1), 0), STG_E_INVALIDFUNCTION);
}

TEST_F(StreamTest, CloneSharesBytesButNotThePosition)
{
    stream_->Write("shared", 6, nullptr);
    IStream* clone = nullptr;
    ASSERT_EQ(stream_->Clone(&clone), S_OK);
    EXPECT_EQ(mapisim_live_objects(), liveBefore_ + 2 * kCountedPerStream);
    EXPECT_EQ(Position(clone), 6u); // starts where the original was

    clone->Seek(Move(0), STREAM_SEEK_SET, nullptr);
    clone->Write("S", 1, nullptr);
    EXPECT_EQ(Position(stream_), 6u);
    EXPECT_EQ(ReadAll(stream_), "Shared");
    // The original's own later writes, and a clone of the clone, share too.
    stream_->Write("!", 1, nullptr);
    IStream* second = nullptr;
    ASSERT_EQ(clone->Clone(&second), S_OK);
    EXPECT_EQ(ReadAll(second), "Shared!");
    EXPECT_EQ(second->Release(), 0u);

    // The bytes outlive the original.
    stream_->Release();
    stream_ = nullptr;
    EXPECT_EQ(ReadAll(clone), "Shared!");
    EXPECT_EQ(clone->Release(), 0u);
}

TEST_F(StreamTest, CopyToCopiesFromThePositionAndAdvancesBoth)
{
    stream_->Write("0123456789", 10, nullptr);
    stream_->Seek(Move(4), STREAM_SEEK_SET, nullptr);
    IStream* target = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &target), S_OK);
    ULARGE_INTEGER read{}, written{};
    ASSERT_EQ(stream_->CopyTo(target, Size(3), &read, &written), S_OK);
    EXPECT_EQ(read.QuadPart, 3u);
    EXPECT_EQ(written.QuadPart, 3u);
    EXPECT_EQ(Position(stream_), 7u);
    EXPECT_EQ(Position(target), 3u);
    ASSERT_EQ(stream_->CopyTo(target, Size(100), &read, nullptr), S_OK);
    EXPECT_EQ(read.QuadPart, 3u); // only what is left
    EXPECT_EQ(ReadAll(target), "456789");
    target->Release();
}

TEST_F(StreamTest, QueryInterfaceAndReleaseAfterTheLastOne)
{
    void* object = nullptr;
    ASSERT_EQ(stream_->QueryInterface(IID_ISequentialStream, &object), S_OK);
    EXPECT_EQ(object, static_cast<void*>(stream_));
    ASSERT_EQ(stream_->QueryInterface(IID_IUnknown, &object), S_OK);
    const IID other = {0x00020303, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    object = stream_;
    EXPECT_EQ(stream_->QueryInterface(other, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(stream_->Release(), 2u);
    EXPECT_EQ(stream_->Release(), 1u);
    EXPECT_EQ(stream_->Release(), 0u);
    EXPECT_EQ(mapisim_live_objects(), liveBefore_);

    // A stale pointer's Release is counted, not a use of freed memory.
    EXPECT_EQ(stream_->Release(), 0u);
    EXPECT_EQ(mapisim_dead_calls(), 1u);
    stream_ = nullptr;
    mapisim_reset_misuse_counters();
}

TEST(CreateStreamOnHGlobalTest, RejectsMissingOutAndForeignHGlobal)
{
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, nullptr), E_INVALIDARG);
    IStream* stream = reinterpret_cast<IStream*>(1);
    int memory = 0;
    EXPECT_EQ(CreateStreamOnHGlobal(&memory, FALSE, &stream), E_INVALIDARG);
    EXPECT_EQ(stream, nullptr);
}

} // namespace
