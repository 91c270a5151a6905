#include "tests/common/TempDir.h"
#include "tests/tools/MemorySource.h"
#include "tools/BinaryFileLoader.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>

namespace {

using Chunks = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
constexpr std::uint64_t C = CBinaryLoader::kChunkSize;

bool Overlapping(const Chunks& chunks) {
    for (std::size_t i = 1; i < chunks.size(); ++i) {
        if (chunks[i - 1].first + chunks[i - 1].second > chunks[i].first) {
            return true;
        }
    }
    return false;
}

// Views offset like the viewer: copies, serves what was asked for, until the range is whole.
std::vector<unsigned char> View(CMemoryLoader& loader, std::uint64_t offset, std::uint64_t count) {
    std::vector<unsigned char> bytes(count);
    for (int round = 0; round < 8; ++round) {
        const std::uint64_t present = offset >= loader.Bytes().size()
                                          ? 0
                                          : std::min<std::uint64_t>(count, loader.Bytes().size() - offset);
        if (loader.CopyOut(bytes.data(), count, offset) == present) {
            return bytes;
        }
        loader.ServeQueued();
    }
    ADD_FAILURE() << "the range at " << offset << " never became whole";
    return bytes;
}

std::vector<unsigned char> Slice(const std::vector<unsigned char>& bytes, std::uint64_t offset,
                                 std::uint64_t count) {
    return {bytes.begin() + static_cast<std::ptrdiff_t>(offset),
            bytes.begin() + static_cast<std::ptrdiff_t>(offset + count)};
}

class Recorder : public IBinaryLoaderListener {
public:
    void OnChunkReady(std::uint64_t offset) override {
        std::lock_guard lock(m_mutex);
        ready.push_back(offset);
        m_changed.notify_all();
    }
    void OnChunkFailed(std::uint64_t offset, std::uint64_t length, int error) override {
        std::lock_guard lock(m_mutex);
        failed.push_back({offset, length, error});
        m_changed.notify_all();
    }
    // Waits until the predicate holds (under the recorder's lock) or five seconds pass.
    template <typename Predicate>
    bool WaitUntil(Predicate predicate) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(5), predicate);
    }

    struct Failure {
        std::uint64_t offset;
        std::uint64_t length;
        int error;
    };
    std::vector<Failure> Failures() {
        std::lock_guard lock(m_mutex);
        return failed;
    }
    // Read only under WaitUntil or once the loader's thread is done.
    std::vector<std::uint64_t> ready;
    std::vector<Failure> failed;

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

} // namespace

TEST(BinaryLoader, LoadsAreCutAtTheNextCachedChunkAndAtTheEndOfTheFile) {
    CMemoryLoader loader(CMemoryLoader::Pattern(3 * C + C / 2));
    loader.LoadChunk(C);
    loader.LoadChunk(C / 2);      // runs into the chunk at C
    loader.LoadChunk(3 * C);      // runs past the end of the file
    loader.LoadChunk(11 * C / 4); // both at once: the end of the file and the chunk at 3C
    EXPECT_EQ(loader.CachedChunks(), (Chunks{{C / 2, C / 2}, {C, C}, {11 * C / 4, C / 4}, {3 * C, C / 2}}));

    // A page larger than a chunk is read whole.
    loader.SetViewSize(2 * C);
    loader.LoadChunk(0);
    EXPECT_EQ(loader.CachedChunks().front(), (std::pair<std::uint64_t, std::uint64_t>{0, C / 2}));
    loader.LoadChunk(2 * C);
    EXPECT_FALSE(Overlapping(loader.CachedChunks()));

    std::vector<unsigned char> whole(loader.Bytes().size());
    EXPECT_EQ(loader.CopyOut(whole.data(), whole.size(), 0), whole.size());
    EXPECT_EQ(whole, loader.Bytes());
}

TEST(BinaryLoader, ACachedOffsetIsNotReadAgain) {
    CMemoryLoader loader(CMemoryLoader::Pattern(4 * C));
    Recorder recorder;
    loader.SetListener(&recorder);
    loader.LoadChunk(C);
    loader.LoadChunk(C + 5);
    EXPECT_EQ(loader.ReadCount(), 1u);
    EXPECT_EQ(recorder.ready, (std::vector<std::uint64_t>{C, C + 5}));

    loader.Request(C); // "Already loaded"
    loader.Request(7);
    loader.Request(7);
    EXPECT_EQ(loader.PendingRequests(), (std::vector<std::uint64_t>{7}));
}

TEST(BinaryLoader, AMissAsksForTheWholeChunkEndingWhereTheNextCachedOneBegins) {
    CMemoryLoader loader(CMemoryLoader::Pattern(4 * C));
    loader.LoadChunk(2 * C);
    unsigned char byte = 0xAA;
    EXPECT_EQ(loader.CopyOut(&byte, 1, 3 * C / 2), 0u);
    EXPECT_EQ(loader.PendingRequests(), (std::vector<std::uint64_t>{C}));
    loader.ServeQueued();
    EXPECT_EQ(loader.CachedChunks(), (Chunks{{C, C}, {2 * C, C}}));

    // The next cached chunk starts within the first chunk: the offset itself is asked for.
    EXPECT_EQ(loader.CopyOut(&byte, 1, C / 2), 0u);
    EXPECT_EQ(loader.PendingRequests(), (std::vector<std::uint64_t>{C / 2}));
}

TEST(BinaryLoader, CopyOutFillsWithZerosFromTheFirstMiss) {
    const auto pattern = CMemoryLoader::Pattern(4 * C);
    CMemoryLoader loader(pattern);
    loader.LoadChunk(0);
    loader.LoadChunk(2 * C);
    std::vector<unsigned char> buffer(3 * C, 0xAA);
    // The chunk at 2C is cached, but copying stops at the gap before it.
    EXPECT_EQ(loader.CopyOut(buffer.data(), buffer.size(), 0), C);
    EXPECT_EQ(Slice(buffer, 0, C), Slice(pattern, 0, C));
    EXPECT_EQ(Slice(buffer, C, 2 * C), std::vector<unsigned char>(2 * C, 0));
    EXPECT_EQ(loader.PendingRequests(), (std::vector<std::uint64_t>{C}));

    // Past the end of the file: what exists is copied, the rest of the buffer is zeros.
    loader.LoadChunk(3 * C);
    std::vector<unsigned char> tail(100, 0xAA);
    EXPECT_EQ(loader.CopyOut(tail.data(), tail.size(), 4 * C - 10), 10u);
    EXPECT_EQ(Slice(tail, 0, 10), Slice(pattern, 4 * C - 10, 10));
    EXPECT_EQ(Slice(tail, 10, 90), std::vector<unsigned char>(90, 0));
    EXPECT_EQ(loader.CopyOut(tail.data(), tail.size(), 5 * C), 0u);
    EXPECT_EQ(tail, std::vector<unsigned char>(100, 0));
}

TEST(BinaryLoader, ReadsTheChunkAfterTheOneInViewAhead) {
    CMemoryLoader loader(CMemoryLoader::Pattern(3 * C));
    loader.LoadChunk(0);
    unsigned char page[64];
    EXPECT_EQ(loader.CopyOut(page, sizeof page, 0), sizeof page);
    EXPECT_EQ(loader.PendingRequests(), (std::vector<std::uint64_t>{C}));
    loader.ServeQueued();
    EXPECT_EQ(loader.CachedChunks(), (Chunks{{0, C}, {C, C}}));

    // A page across the end of the chunk asks for the next one once, however it asks.
    loader.LoadChunk(2 * C);
    CMemoryLoader straddled(CMemoryLoader::Pattern(3 * C));
    straddled.LoadChunk(0);
    EXPECT_EQ(straddled.CopyOut(page, sizeof page, C - 16), 16u);
    EXPECT_EQ(straddled.PendingRequests(), (std::vector<std::uint64_t>{C}));

    // Nothing follows the last chunk.
    const auto reads = loader.ReadCount();
    EXPECT_EQ(loader.CopyOut(page, sizeof page, 2 * C), sizeof page);
    loader.ServeQueued();
    EXPECT_EQ(loader.ReadCount(), reads);
}

TEST(BinaryLoader, TheCacheBoundDropsTheLeastRecentlyUsedChunksButNeverThePageInView) {
    const auto pattern = CMemoryLoader::Pattern(8 * C);
    CMemoryLoader loader(pattern);
    loader.SetCacheBound(3 * C);
    EXPECT_EQ(View(loader, 5 * C, 64), Slice(pattern, 5 * C, 64));
    loader.ServeQueued(); // read-ahead of 6C
    EXPECT_EQ(View(loader, 0, 64), Slice(pattern, 0, 64));
    loader.ServeQueued(); // read-ahead of C pushes the cache over its bound: 5C was used least lately
    EXPECT_EQ(loader.CachedChunks(), (Chunks{{0, C}, {C, C}, {6 * C, C}}));

    // Back to 5C: its bytes are read again, and the page in view with the chunk after it stay;
    // chunk 0 now goes, being older than C, which the read-ahead brought.
    EXPECT_EQ(View(loader, 5 * C, 64), Slice(pattern, 5 * C, 64));
    EXPECT_EQ(loader.CachedChunks(), (Chunks{{C, C}, {5 * C, C}, {6 * C, C}}));
    EXPECT_LE(loader.CachedBytes(), 3 * C);

    // Paging through the whole source never holds more than the bound.
    for (std::uint64_t top = 0; top < pattern.size(); top += C / 2) {
        ASSERT_EQ(View(loader, top, 1000),
                  Slice(pattern, top, std::min<std::uint64_t>(1000, pattern.size() - top)));
        loader.ServeQueued();
        ASSERT_LE(loader.CachedBytes(), 3 * C);
    }
}

TEST(BinaryLoader, APageLargerThanTheBoundStaysWhole) {
    const auto pattern = CMemoryLoader::Pattern(6 * C);
    CMemoryLoader loader(pattern);
    loader.SetCacheBound(C / 2);
    loader.SetViewSize(C);
    EXPECT_EQ(View(loader, C / 4, 2 * C), Slice(pattern, C / 4, 2 * C));
    std::vector<unsigned char> again(2 * C);
    EXPECT_EQ(loader.CopyOut(again.data(), again.size(), C / 4), 2 * C);
}

TEST(BinaryLoader, AFailedReadDropsTheRequestAndTellsTheListener) {
    CMemoryLoader loader(CMemoryLoader::Pattern(2 * C));
    Recorder recorder;
    loader.SetListener(&recorder);
    loader.SetFailReads(true);
    loader.Request(0);
    loader.ServeQueued();
    EXPECT_TRUE(loader.PendingRequests().empty());
    EXPECT_TRUE(loader.CachedChunks().empty());
    ASSERT_EQ(recorder.failed.size(), 1u);
    EXPECT_EQ(recorder.failed[0].offset, 0u);
    EXPECT_EQ(recorder.failed[0].length, C);

    // The page asks again when it is formatted next.
    loader.SetFailReads(false);
    unsigned char byte = 0;
    EXPECT_EQ(loader.CopyOut(&byte, 1, 0), 0u);
    loader.ServeQueued();
    EXPECT_EQ(loader.CopyOut(&byte, 1, 0), 1u);
}

TEST(BinaryFileLoader, LoadsOnItsThreadAndReportsWhatItCannotRead) {
    TempDir dir;
    const auto pattern = CMemoryLoader::Pattern(3 * C + 100);
    const std::string path = dir.File("data.bin");
    WriteFileBytes(path, std::string(pattern.begin(), pattern.end()));

    CKSManualResetEvent stop;
    Recorder recorder;
    CBinaryFileLoader loader(&stop);
    loader.SetPath(CKSString::FromUtf8(path));
    loader.SetListener(&recorder);
    loader.Request(0);
    ASSERT_TRUE(loader.Start());
    ASSERT_TRUE(recorder.WaitUntil([&] { return !recorder.ready.empty(); }));
    EXPECT_EQ(loader.FileSize(), pattern.size());
    std::vector<unsigned char> bytes(200);
    EXPECT_EQ(loader.CopyOut(bytes.data(), bytes.size(), 0), bytes.size());
    EXPECT_EQ(bytes, Slice(pattern, 0, 200));

    // The file shrinks under the loader: the missing bytes are a failed read, not garbage.
    std::filesystem::resize_file(path, C);
    loader.Request(2 * C);
    ASSERT_TRUE(recorder.WaitUntil([&] {
        return std::any_of(recorder.failed.begin(), recorder.failed.end(),
                           [](const Recorder::Failure& failure) { return failure.offset == 2 * C; });
    }));
    for (const Recorder::Failure& failure : recorder.Failures()) {
        EXPECT_EQ(failure.error, ENODATA);
    }

    // The stop event ends the thread at once, idle or not.
    stop.Set();
    EXPECT_TRUE(loader.WaitForExit(1000));
}

TEST(BinaryFileLoader, AFileThatCannotBeOpenedProducesNoChunk) {
    TempDir dir;
    CKSManualResetEvent stop;
    Recorder recorder;
    CBinaryFileLoader loader(&stop);
    loader.SetPath(CKSString::FromUtf8(dir.File("missing.bin")));
    loader.SetListener(&recorder);
    loader.Request(0);
    ASSERT_TRUE(loader.Start());
    ASSERT_TRUE(recorder.WaitUntil([&] { return !recorder.failed.empty(); }));
    loader.StopAndJoin();
    EXPECT_EQ(recorder.failed[0].error, ENOENT);
    EXPECT_TRUE(recorder.ready.empty());
}

TEST(BinaryFileLoader, TwoLoadersOnOneFileReadItEachOnTheirOwn) {
    TempDir dir;
    const auto pattern = CMemoryLoader::Pattern(C + 7);
    const std::string path = dir.File("shared.bin");
    WriteFileBytes(path, std::string(pattern.begin(), pattern.end()));
    Recorder first;
    Recorder second;
    CBinaryFileLoader a(nullptr);
    CBinaryFileLoader b(nullptr);
    a.SetPath(CKSString::FromUtf8(path));
    b.SetPath(CKSString::FromUtf8(path));
    a.SetListener(&first);
    b.SetListener(&second);
    a.Request(C);
    b.Request(C);
    ASSERT_TRUE(a.Start());
    ASSERT_TRUE(b.Start());
    ASSERT_TRUE(first.WaitUntil([&] { return !first.ready.empty(); }));
    ASSERT_TRUE(second.WaitUntil([&] { return !second.ready.empty(); }));
    a.StopAndJoin();
    EXPECT_EQ(a.ReadCount(), 1u);
    EXPECT_EQ(b.ReadCount(), 1u);
    unsigned char tail[7];
    EXPECT_EQ(b.CopyOut(tail, sizeof tail, C), sizeof tail);
    EXPECT_EQ(std::vector<unsigned char>(tail, tail + 7), Slice(pattern, C, 7));
}
