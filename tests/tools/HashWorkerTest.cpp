#include "support/KSWinCrypto.h"
#include "support/PosixFile.h"
#include "tests/common/TempDir.h"
#include "tools/FileHasher.h"
#include "tools/HashKinds.h"
#include "tools/KSHashWorker.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr char16_t kMd5OfNothing[] = u"D41D8CD98F00B204E9800998ECF8427E";
constexpr char16_t kMd5OfAbc[] = u"900150983CD24FB0D6963F7D28E17F72";

class DoneRecorder : public IHashWorkerListener {
public:
    void OnHashDone(std::uint32_t rowId, bool success) override {
        std::lock_guard lock(m_mutex);
        m_done.emplace_back(rowId, success);
        m_changed.notify_all();
    }
    bool WaitForCount(std::size_t count) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_done.size() >= count; });
    }
    std::vector<std::pair<std::uint32_t, bool>> Done() {
        std::lock_guard lock(m_mutex);
        return m_done;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::pair<std::uint32_t, bool>> m_done;
};

class RecordingSink : public ICryptoErrorSink {
public:
    void OnError(std::uint32_t code, std::u16string_view text) override { errors.emplace_back(code, text); }
    void OnMessage(std::u16string_view) override {}
    std::vector<std::pair<std::uint32_t, std::u16string>> errors;
};

// A FIFO whose reader blocks in open() until a writer comes: it holds the worker at a job for as
// long as the test wants. Release waits for the reader to arrive, so the data cannot be missed;
// the destructor releases too, so a failing test does not leave the worker stuck (declare it
// after the worker, so that it goes first).
class BlockingFifo {
public:
    explicit BlockingFifo(std::string path) : m_path(std::move(path)) {
        if (::mkfifo(m_path.c_str(), 0600) != 0) {
            throw std::runtime_error("mkfifo failed");
        }
    }
    ~BlockingFifo() { Release(""); }
    const std::string& Path() const { return m_path; }
    // Lets the reader in, gives it the bytes and the end of the data.
    void Release(std::string_view bytes) {
        if (m_released) {
            return;
        }
        m_released = true;
        // Without a reader a non-blocking open for writing fails; keep trying for a while.
        for (int attempt = 0; attempt < 2000; ++attempt) {
            const int fd = ::open(m_path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                WriteAllToDescriptor(fd, bytes.data(), bytes.size());
                ::close(fd);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

private:
    std::string m_path;
    bool m_released = false;
};

template <typename Action>
std::chrono::milliseconds TimeOf(Action action) {
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

} // namespace

TEST(FileHasher, EmptyFilesAndUnreadableFiles) {
    TempDir dir;
    const CKSString empty = CKSString::FromUtf8(dir.File("empty.bin"));
    WriteFileBytes(dir.File("empty.bin"), "");
    CKSString hash;
    int error = 0;
    ASSERT_TRUE(HashFile(empty, kHashCodeCrc, nullptr, hash, error));
    EXPECT_EQ(hash, CKSString(u"00000000"));
    ASSERT_TRUE(HashFile(empty, kHashCodeMd5, nullptr, hash, error));
    EXPECT_EQ(hash, CKSString(kMd5OfNothing));

    // A file that cannot be opened has no CRC at all, not the CRC of nothing.
    CKSString none;
    EXPECT_FALSE(HashFile(CKSString::FromUtf8(dir.File("missing.bin")), kHashCodeCrc, nullptr, none, error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_TRUE(none.IsEmpty());
    // A read that fails is a failure, not the hash of what was read before it.
    for (std::uint32_t code : {kHashCodeCrc, kHashCodeMd5, kHashCodeSha256}) {
        EXPECT_FALSE(HashFile(CKSString::FromUtf8(dir.Path().string()), code, nullptr, none, error)) << code;
        EXPECT_EQ(error, EISDIR);
        EXPECT_TRUE(none.IsEmpty());
    }
    // Giving up counts as failure too.
    EXPECT_FALSE(HashFile(empty, kHashCodeSha1, nullptr, none, error, [] { return false; }));
}

TEST(FileHasher, AnUnknownKindIsReportedAndHashedAsMd5) {
    TempDir dir;
    WriteFileBytes(dir.File("abc"), "abc");
    RecordingSink sink;
    CKSString hash;
    int error = 0;
    ASSERT_TRUE(HashFile(CKSString::FromUtf8(dir.File("abc")), 9, &sink, hash, error));
    EXPECT_EQ(hash, CKSString(kMd5OfAbc));
    ASSERT_EQ(sink.errors.size(), 1u);
    EXPECT_EQ(sink.errors[0].first, 87u);
    EXPECT_EQ(sink.errors[0].second, u"Unknown hash type. Using MD5.");
}

TEST(HashKinds, CopyLinesCarryTheOptionsInOrder) {
    EXPECT_EQ(FormatCopyLine(u"/data/a.bin", kMd5OfNothing, kCopyPathAndHash | kCopyPrefix0x, u':'),
              u"/data/a.bin:0xD41D8CD98F00B204E9800998ECF8427E\n");
    EXPECT_EQ(FormatCopyLine(u"/data/a.bin", u"2639F4CB", kCopyLowerCase, u':'), u"2639f4cb\n");
    EXPECT_EQ(FormatCopyLine(u"/data/a.bin", u"2639F4CB", kCopyPathAndHash | kCopyLowerCase, u'\t'),
              u"/data/a.bin\t2639f4cb\n");
    EXPECT_EQ(FormatCopyLine(u"/data/a.bin", u"00000000", 0, u':'), u"00000000\n");
}

TEST(HashWorker, HashesInOrderWithoutEverBlockingTheCaller) {
    TempDir dir;
    WriteFileBytes(dir.File("one"), "");
    WriteFileBytes(dir.File("doomed"), "abc");
    DoneRecorder recorder;
    CKSManualResetEvent stop;
    CKSHashWorker worker(&stop);
    worker.SetListener(&recorder);
    BlockingFifo fifo(dir.File("fifo"));

    // The worker sits in the FIFO's open until the test writes to it; meanwhile every call of the
    // calculator's thread returns at once.
    const auto took = TimeOf([&] {
        EXPECT_TRUE(worker.AddJob(CKSString::FromUtf8(fifo.Path()), kHashCodeMd5, 0));
        EXPECT_TRUE(worker.AddJob(CKSString::FromUtf8(dir.File("one")), kHashCodeCrc, 1));
        EXPECT_TRUE(worker.AddJob(CKSString::FromUtf8(dir.File("doomed")), kHashCodeSha1, 2));
        CKSHashJob next;
        EXPECT_TRUE(worker.GetNextJob(next));
        EXPECT_EQ(next.id, 0u);
        CKSString text;
        EXPECT_FALSE(worker.TakeResult(42, text));
    });
    EXPECT_LT(took.count(), 1000);

    // Deleted between adding and hashing: the platform-hash path fails.
    std::filesystem::remove(dir.File("doomed"));
    fifo.Release("abc");
    ASSERT_TRUE(recorder.WaitForCount(3));
    EXPECT_EQ(recorder.Done(),
              (std::vector<std::pair<std::uint32_t, bool>>{{0, true}, {1, true}, {2, false}}));

    CKSString text;
    ASSERT_TRUE(worker.TakeResult(0, text));
    EXPECT_EQ(text, CKSString(kMd5OfAbc));
    ASSERT_TRUE(worker.TakeResult(1, text));
    EXPECT_EQ(text, CKSString(u"00000000"));
    CKSHashJob failed;
    ASSERT_TRUE(worker.TakeJob(2, failed));
    EXPECT_TRUE(failed.done);
    EXPECT_FALSE(failed.succeeded);
    EXPECT_EQ(failed.error, ENOENT);
    EXPECT_FALSE(worker.TakeResult(0, text));
}

TEST(HashWorker, AFailedJobLeftInTheQueueDoesNotCaptureALaterJobOfTheSameRow) {
    TempDir dir;
    WriteFileBytes(dir.File("abc"), "abc");
    DoneRecorder recorder;
    CKSHashWorker worker(nullptr);
    worker.SetListener(&recorder);
    worker.AddJob(CKSString::FromUtf8(dir.File("missing")), kHashCodeMd5, 7);
    ASSERT_TRUE(recorder.WaitForCount(1));
    worker.AddJob(CKSString::FromUtf8(dir.File("abc")), kHashCodeMd5, 7);
    ASSERT_TRUE(recorder.WaitForCount(2));
    // The second job is done once; it is not hashed again and again.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(recorder.Done(), (std::vector<std::pair<std::uint32_t, bool>>{{7, false}, {7, true}}));
    CKSHashJob job;
    EXPECT_FALSE(worker.GetNextJob(job));
}

TEST(HashWorker, EndsWhenTheStopEventIsSet) {
    TempDir dir;
    WriteFileBytes(dir.File("abc"), "abc");
    DoneRecorder recorder;
    CKSManualResetEvent stop;
    CKSHashWorker worker(&stop);
    worker.SetListener(&recorder);
    worker.AddJob(CKSString::FromUtf8(dir.File("abc")), kHashCodeSha256, 0);
    ASSERT_TRUE(recorder.WaitForCount(1));
    stop.Set();
    // Idle, waiting for work, it notices the event at once.
    const auto took = TimeOf([&] { EXPECT_TRUE(worker.WaitForExit(5000)); });
    EXPECT_LT(took.count(), 1000);
}
