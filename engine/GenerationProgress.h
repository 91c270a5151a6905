#pragma once
// Counters of what the generators made, for progress displays: one process-wide set, and one per
// batch. Bytes are counted as they reach the disk, so that a large file shows its progress while
// it is written; a file counts once it is closed, and its bytes then come to its whole size
// (holes and encoded pictures included). Any thread may read them.

#include <atomic>
#include <cstdint>
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

private:
    std::atomic<std::uint64_t> m_files{0};
    std::atomic<std::uint64_t> m_bytes{0};
};

// A byte count for people: "512 B", "1.5 KiB", "3.2 GiB".
std::string FormatByteCount(double bytes);
// The progress line of a run: "12 files, 3.0 MiB written, 1.5 MiB/s".
std::string FormatProgress(std::uint64_t files, double bytes, double seconds);
