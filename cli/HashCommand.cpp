// hash: one line per file, "HASH  FILE" as sha256sum writes it, or the hash calculator's copy
// format. The files go through the calculator's own worker.

#include "cli/CliArguments.h"
#include "cli/Commands.h"

#include "engine/StopEvent.h"
#include "support/ChecksumLines.h"
#include "support/PosixFile.h"
#include "tools/HashKinds.h"
#include "tools/KSHashWorker.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <ostream>

namespace {

bool ParseSeparator(const std::string& text, char16_t& separator) {
    if (text == "\\t") {
        separator = u'\t';
        return true;
    }
    if (text == "\\n") {
        separator = u'\n';
        return true;
    }
    const std::u16string wide = Utf8ToUtf16(text);
    if (wide.size() != 1) {
        return false;
    }
    separator = wide[0];
    return true;
}

// The calculator shows a CRC-32 as its bytes in memory, least significant first; the command
// line writes the number, most significant digit first, as crc and every other tool print it.
std::u16string CrcAsNumber(std::u16string_view bytesShown) {
    std::u16string number;
    for (std::size_t pair = bytesShown.size(); pair >= 2; pair -= 2) {
        number.append(bytesShown.substr(pair - 2, 2));
    }
    return number;
}

// Rows the worker has finished, for the command's thread to wait on.
class CompletionBoard : public IHashWorkerListener {
public:
    explicit CompletionBoard(std::size_t rows) : m_done(rows, false) {}

    void OnHashDone(std::uint32_t rowId, bool) override {
        {
            std::lock_guard lock(m_mutex);
            if (rowId < m_done.size()) {
                m_done[rowId] = true;
            }
        }
        m_changed.notify_all();
    }

    // False when the worker stopped (the application's stop event) before it reached the row.
    bool WaitFor(std::size_t row, const CKSHashWorker& worker) {
        std::unique_lock lock(m_mutex);
        while (!m_done[row]) {
            if (!worker.IsRunning()) {
                return false;
            }
            m_changed.wait_for(lock, std::chrono::milliseconds(100));
        }
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<bool> m_done;
};

} // namespace

int RunHashCommand(const std::vector<std::string>& args, CliStreams& io) {
    CliArguments parsed("hash", {"--copy", "--prefix-0x", "--lower", "--path"}, {"-a|--algorithm", "--sep"});
    if (!parsed.Parse(args, io)) {
        return parsed.ExitStatus();
    }
    static const std::map<std::string, std::uint32_t> algorithms = {
        {"crc", kHashCodeCrc}, {"md5", kHashCodeMd5}, {"sha1", kHashCodeSha1}, {"sha256", kHashCodeSha256}};
    const std::string algorithm = parsed.Value("--algorithm").value_or("crc");
    const auto found = algorithms.find(algorithm);
    if (found == algorithms.end()) {
        io.err << "fakemill-cli hash: unknown algorithm '" << algorithm << "' (crc, md5, sha1 or sha256)\n";
        return kExitUsage;
    }
    // The copy format's options shape a line that sha256sum could not read: they ask for --copy.
    const bool copy = parsed.Has("--copy");
    for (const char* option : {"--path", "--sep", "--prefix-0x", "--lower"}) {
        if (!copy && parsed.Has(option)) {
            io.err << "fakemill-cli hash: " << option << " shapes the copy format: give --copy too\n";
            return kExitUsage;
        }
    }
    char16_t separator = u':';
    if (const auto sep = parsed.Value("--sep"); sep && !ParseSeparator(*sep, separator)) {
        io.err << "fakemill-cli hash: the separator must be one character, \\t or \\n, not '" << *sep
               << "'\n";
        return kExitUsage;
    }
    if (parsed.Positional().empty()) {
        io.err << "fakemill-cli hash: no file given\n";
        return kExitUsage;
    }
    std::uint32_t options = 0;
    options |= parsed.Has("--prefix-0x") ? kCopyPrefix0x : 0;
    options |= parsed.Has("--path") ? kCopyPathAndHash : 0;
    options |= parsed.Has("--lower") ? kCopyLowerCase : 0;

    // The files go through the calculator's worker, as rows of its list: one job each, hashed
    // in the order given, each line printed as soon as its row is done. "-" is standard input.
    // A FIFO named on the line would hold the hashing thread in its open for ever, a device like
    // /dev/zero in its reads: such files are named and left out, as hexdump leaves them out.
    const std::vector<std::string>& files = parsed.Positional();
    int status = kExitSuccess;
    std::vector<bool> refused(files.size(), false);
    for (std::size_t row = 0; row < files.size(); ++row) {
        if (const std::string why = files[row] == "-" ? std::string() : WhyNotAFile(files[row]);
            !why.empty()) {
            io.err << "fakemill-cli hash: cannot hash '" << files[row] << "': " << why << "\n";
            refused[row] = true;
            status = kExitFailure;
        }
    }
    CompletionBoard board(files.size());
    CKSHashWorker worker(&ApplicationStopEvent());
    worker.SetListener(&board);
    for (std::size_t row = 0; row < files.size(); ++row) {
        const std::string& file = files[row];
        if (refused[row]) {
            continue;
        }
        if (!worker.AddJob(CKSString::FromUtf8(file == "-" ? "/dev/stdin" : file), found->second,
                           static_cast<std::uint32_t>(row))) {
            io.err << "fakemill-cli hash: cannot start the hashing thread\n";
            return kExitFailure;
        }
    }
    for (std::size_t row = 0; row < files.size(); ++row) {
        const std::string& file = files[row];
        if (refused[row]) {
            continue;
        }
        CKSHashJob job;
        if (!board.WaitFor(row, worker) || !worker.TakeJob(static_cast<std::uint32_t>(row), job) ||
            !job.succeeded) {
            io.err << "fakemill-cli hash: cannot read '" << file << "'" << (job.error ? ": " : "")
                   << (job.error ? std::strerror(job.error) : "") << "\n";
            status = kExitFailure;
            continue;
        }
        const std::u16string hash = found->second == kHashCodeCrc ? CrcAsNumber(job.result.View())
                                                                  : std::u16string(job.result.View());
        if (copy) {
            io.out << Utf16ToUtf8(FormatCopyLine(Utf8ToUtf16(file), hash, options, separator));
        } else {
            io.out << FormatChecksumLine(Utf16ToUtf8(hash), file);
        }
    }
    worker.SetListener(nullptr);
    io.out.flush();
    return status;
}
