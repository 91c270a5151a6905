#pragma once
// A binary loader over bytes in memory whose requests the test serves by hand, one at a time, so
// that every cache state can be reached without timing.

#include "tools/BinaryLoader.h"

#include <cstring>
#include <string>
#include <vector>

class CMemoryLoader final : public CBinaryLoader {
public:
    explicit CMemoryLoader(std::vector<unsigned char> bytes)
        : CBinaryLoader(nullptr), m_bytes(std::move(bytes)) {}
    ~CMemoryLoader() override { StopAndJoin(); }

    // A source of the given size whose byte i is (i * 7 + i / 251) & 0xFF, so that no two
    // neighbouring chunks look alike.
    static std::vector<unsigned char> Pattern(std::size_t size) {
        std::vector<unsigned char> bytes(size);
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<unsigned char>((i * 7 + i / 251) & 0xFF);
        }
        return bytes;
    }

    std::uint64_t GetSize() override { return m_bytes.size(); }
    bool Open() override { return m_openable; }
    std::uint64_t GetSourceSize() override { return m_bytes.size(); }
    bool ReadAt(std::uint64_t offset, void* buffer, std::uint64_t count) override {
        if (m_failReads || offset + count > m_bytes.size()) {
            return false;
        }
        std::memcpy(buffer, m_bytes.data() + offset, count);
        return true;
    }

    // Serves every queued request (and the read-aheads they cause are left queued).
    void ServeQueued() {
        for (std::size_t n = PendingRequests().size(); n > 0; --n) {
            ServeNextRequest();
        }
    }
    using CBinaryLoader::LoadChunk;
    using CBinaryLoader::ServeNextRequest;

    const std::vector<unsigned char>& Bytes() const { return m_bytes; }
    void SetFailReads(bool fail) { m_failReads = fail; }
    void SetOpenable(bool openable) { m_openable = openable; }

private:
    std::vector<unsigned char> m_bytes;
    bool m_failReads = false;
    bool m_openable = true;
};
