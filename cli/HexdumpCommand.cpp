#include "cli/CliArguments.h"
#include "cli/CliNumber.h"
#include "cli/Commands.h"

#include "support/KSManualResetEvent.h"
#include "support/PosixFile.h"
#include "tools/BinaryFileLoader.h"
#include "tools/HexText.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Bytes formatted per step: large enough that the loader reads big chunks and the output goes
// out in big writes, small enough to stay far below the cache bound.
constexpr std::uint64_t kBlockBytes = 1 << 20;
constexpr std::uint64_t kMaxWidth = 1 << 20;
// A loader that has not answered within this time is asked again.
constexpr std::uint32_t kWaitSliceMilliseconds = 1000;

// Wakes the command whenever the loader has news, and remembers failed reads.
class LoadProgress : public IBinaryLoaderListener {
public:
    void OnChunkReady(std::uint64_t) override { m_news.Set(); }
    void OnChunkFailed(std::uint64_t offset, std::uint64_t length, int error) override {
        {
            std::lock_guard lock(m_mutex);
            m_failures.push_back({offset, length, error});
        }
        m_news.Set();
    }

    CKSManualResetEvent& News() { return m_news; }

    // The error of a failed read that covers the offset, or 0.
    int FailureAt(std::uint64_t offset) const {
        std::lock_guard lock(m_mutex);
        for (const Failure& failure : m_failures) {
            if (offset >= failure.offset && offset - failure.offset < failure.length) {
                return failure.error != 0 ? failure.error : EIO;
            }
        }
        return 0;
    }

private:
    struct Failure {
        std::uint64_t offset;
        std::uint64_t length;
        int error;
    };
    CKSManualResetEvent m_news;
    mutable std::mutex m_mutex;
    std::vector<Failure> m_failures;
};

bool ReadNumberOption(const CliArguments& parsed, const std::string& option, std::uint64_t& value,
                      CliStreams& io) {
    const auto text = parsed.Value(option);
    if (!text) {
        return true;
    }
    if (!ParseCliNumber(*text, value)) {
        io.err << "fakemill-cli hexdump: " << option << " needs a number (like 4096, 0x1000 or 64KB), not '"
               << *text << "'\n";
        return false;
    }
    return true;
}

// Formats whole lines of width bytes (the last may be shorter) and writes them out.
class HexLineWriter {
public:
    HexLineWriter(std::uint64_t width, std::uint64_t block)
        : m_width(width), m_text(block * kHexCharsPerByte + block / width + 1) {}

    bool Write(const unsigned char* bytes, std::uint64_t count, std::ostream& out) {
        char* end = m_text.data();
        for (std::uint64_t line = 0; line < count; line += m_width) {
            end = FormatHexBytes(bytes + line, std::min(m_width, count - line), end);
            *end++ = '\n';
        }
        out.write(m_text.data(), end - m_text.data());
        return static_cast<bool>(out);
    }

private:
    std::uint64_t m_width;
    std::vector<char> m_text;
};

// Standard input that is a pipe or a terminal has no pages: it is read from its start, the
// bytes before the offset skipped, in whole lines as they come.
int DumpStream(int fd, std::uint64_t offset, std::uint64_t length, std::uint64_t width, std::uint64_t block,
               CliStreams& io) {
    std::vector<unsigned char> bytes(block);
    HexLineWriter writer(width, block);
    std::uint64_t skipped = 0;
    std::uint64_t shown = 0;
    std::uint64_t filled = 0;
    for (;;) {
        const std::uint64_t left = length - shown - filled;
        const std::uint64_t wanted = skipped < offset ? block - filled : std::min(block - filled, left);
        const long n = wanted == 0 ? 0 : ReadFromDescriptor(fd, bytes.data() + filled, wanted);
        if (n < 0) {
            io.err << "fakemill-cli hexdump: cannot read standard input: " << std::strerror(errno) << "\n";
            return kExitFailure;
        }
        std::uint64_t got = static_cast<std::uint64_t>(n);
        if (skipped < offset) {
            const std::uint64_t skip = std::min(got, offset - skipped);
            skipped += skip;
            got = std::min(got - skip, left);
            std::memmove(bytes.data() + filled, bytes.data() + filled + skip, got);
        }
        filled += got;
        const bool ended = n == 0;
        // Whole lines only, but for the last.
        const std::uint64_t ready = ended ? filled : filled / width * width;
        if (ready > 0 && !writer.Write(bytes.data(), ready, io.out)) {
            io.err << "fakemill-cli hexdump: cannot write the output\n";
            return kExitFailure;
        }
        shown += ready;
        std::memmove(bytes.data(), bytes.data() + ready, filled - ready);
        filled -= ready;
        if (ended) {
            return kExitSuccess;
        }
    }
}

} // namespace

int RunHexdumpCommand(const std::vector<std::string>& args, CliStreams& io) {
    CliArguments parsed("hexdump", {}, {"--offset", "--length", "--width"});
    if (!parsed.Parse(args, io)) {
        return parsed.ExitStatus();
    }
    std::uint64_t offset = 0;
    std::uint64_t length = UINT64_MAX;
    std::uint64_t width = 16;
    if (!ReadNumberOption(parsed, "--offset", offset, io) ||
        !ReadNumberOption(parsed, "--length", length, io) ||
        !ReadNumberOption(parsed, "--width", width, io)) {
        return kExitUsage;
    }
    if (width == 0 || width > kMaxWidth) {
        io.err << "fakemill-cli hexdump: --width must be between 1 and " << kMaxWidth << "\n";
        return kExitUsage;
    }
    if (parsed.Positional().size() != 1) {
        io.err << "fakemill-cli hexdump: give exactly one file\n";
        return kExitUsage;
    }
    const std::string& file = parsed.Positional()[0];
    const std::uint64_t block = std::max<std::uint64_t>(kBlockBytes / width, 1) * width;

    // The viewer pages through a file by offset: a folder, a FIFO or a device has no pages, and
    // opening a FIFO would wait for a writer. Standard input is paged when it is a file, else read
    // as it comes.
    struct stat info {};
    if (file == "-" && ::fstat(STDIN_FILENO, &info) == 0 && !S_ISREG(info.st_mode) &&
        !S_ISBLK(info.st_mode)) {
        return DumpStream(STDIN_FILENO, offset, length, width, block, io);
    }
    if (file != "-" && ::stat(file.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode)) {
        io.err << "fakemill-cli hexdump: cannot show '" << file << "': "
               << (S_ISDIR(info.st_mode)    ? "it is a folder"
                   : S_ISFIFO(info.st_mode) ? "it is a FIFO, which cannot be paged through"
                                            : "it is not a regular file")
               << "\n";
        return kExitFailure;
    }
    // The same loader as the viewer's, on a stop event of the command's own.
    CKSManualResetEvent stop;
    CBinaryFileLoader loader(&stop);
    loader.SetPath(CKSString::FromUtf8(file == "-" ? "/dev/stdin" : file));
    if (!loader.Open()) {
        io.err << "fakemill-cli hexdump: cannot open '" << file
               << "': " << std::strerror(loader.GetLastError()) << "\n";
        return kExitFailure;
    }
    const std::uint64_t size = loader.GetSize();
    const std::uint64_t end =
        offset >= size ? offset : std::min(size, offset + std::min(length, size - offset));
    if (offset >= end) {
        return kExitSuccess;
    }
    LoadProgress progress;
    loader.SetListener(&progress);
    loader.SetViewSize(block);
    loader.Request(offset);
    if (!loader.Start()) {
        io.err << "fakemill-cli hexdump: cannot start the loader thread\n";
        return kExitFailure;
    }

    std::vector<unsigned char> bytes(block);
    HexLineWriter writer(width, block);
    int status = kExitSuccess;
    for (std::uint64_t position = offset; position < end;) {
        const std::uint64_t wanted = std::min(block, end - position);
        for (;;) {
            progress.News().Reset();
            const std::uint64_t copied = loader.CopyOut(bytes.data(), wanted, position);
            if (copied == wanted) {
                break;
            }
            if (const int error = progress.FailureAt(position + copied)) {
                io.err << "fakemill-cli hexdump: cannot read '" << file << "' at offset " << position + copied
                       << ": " << std::strerror(error) << "\n";
                status = kExitFailure;
                break;
            }
            progress.News().Wait(kWaitSliceMilliseconds);
        }
        if (status != kExitSuccess) {
            break;
        }
        if (!writer.Write(bytes.data(), wanted, io.out)) {
            io.err << "fakemill-cli hexdump: cannot write the output\n";
            status = kExitFailure;
            break;
        }
        position += wanted;
    }
    loader.StopAndJoin();
    loader.SetListener(nullptr);
    io.out.flush();
    return status;
}
