#pragma once
// Counters of what the generators made, for progress displays: one process-wide set, and one per
// batch. Bytes are counted as they reach the disk, so that a large file shows its progress while
// it is written; a file counts once it is closed, and its bytes then come to its whole size
// (holes and encoded pictures included). Any thread may read them.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

class CGenerationProgress {
public:
    static CGenerationProgress& Instance();

    void AddFile(std::uint64_t bytes) {
        m_files.fetch_add(1, std::memory_order_relaxed);
        m_bytes.fetch_add(bytes, std::memory_order_relaxed);
    }
    void AddBytes(std::uint64_t bytes) { m_bytes.fetch_add(bytes, std::memory_order_relaxed); }
    std::uint64_t Files() const { return m_files.load(std::memory_order_relaxed); }
    std::uint64_t Bytes() const { return m_bytes.load(std::memory_order_relaxed); }

    // The known total: each definition adds its files once their number is drawn.
    void AddExpectedFiles(std::uint64_t files) {
        m_expectedFiles.fetch_add(files, std::memory_order_relaxed);
    }
    std::uint64_t ExpectedFiles() const { return m_expectedFiles.load(std::memory_order_relaxed); }
    // A file whose size was drawn is being written: its bytes so far against that size tell how
    // far it is. Each Begin is matched by one End, when the file is closed or removed.
    void BeginSizedFile(std::uint64_t target);
    void AddSizedBytes(std::uint64_t bytes) { m_sizedWritten.fetch_add(bytes, std::memory_order_relaxed); }
    void EndSizedFile(std::uint64_t target, std::uint64_t written);
    // How much of the known total is done, from 0 to 1: the finished files and the written share
    // of the sized files in hand. None while no total is known. Counters read from a batch
    // that is running are not taken at one instant, so this is an estimate.
    std::optional<double> FractionDone() const;

private:
    std::atomic<std::uint64_t> m_files{0};
    std::atomic<std::uint64_t> m_bytes{0};
    std::atomic<std::uint64_t> m_expectedFiles{0};
    std::atomic<std::uint64_t> m_sizedInHand{0};
    std::atomic<std::uint64_t> m_sizedTarget{0};
    std::atomic<std::uint64_t> m_sizedWritten{0};
};

// A byte count for people: "512 B", "1.5 KiB", "3.2 GiB".
std::string FormatByteCount(double bytes);
// The progress line of a run: "12 files, 3.0 MiB written, 1.5 MiB/s".
std::string FormatProgress(std::uint64_t files, double bytes, double seconds);
// The same with the known total, when there is one: "12/40 files (31%), 3.0 MiB written,
// 1.5 MiB/s, 0:27 left". The time left follows from the time so far and the share done.
std::string FormatProgress(std::uint64_t files, double bytes, double seconds, std::uint64_t expectedFiles,
                           std::optional<double> fractionDone);
