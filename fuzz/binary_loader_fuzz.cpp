// Drives the binary viewer's loader cache with arbitrary sequences of loads, copies, requests,
// page sizes and cache bounds over a source in memory, and checks after every step that the
// chunks never overlap or pass the end of the source and that every copied byte is the source's.

#include "tools/BinaryLoader.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint64_t C = CBinaryLoader::kChunkSize;

constexpr std::uint64_t kLargestSource = 6 * C + 1000;

// One pattern for every run; a source is its first bytes.
const unsigned char* Pattern() {
    static const std::vector<unsigned char> pattern = [] {
        std::vector<unsigned char> bytes(kLargestSource);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<unsigned char>(i * 13 + i / 509);
        }
        return bytes;
    }();
    return pattern.data();
}

class FuzzLoader final : public CBinaryLoader {
public:
    explicit FuzzLoader(std::uint64_t size) : CBinaryLoader(nullptr), m_size(size) {}
    ~FuzzLoader() override { StopAndJoin(); }
    std::uint64_t GetSize() override { return m_size; }
    bool Open() override { return true; }
    std::uint64_t GetSourceSize() override { return m_size; }
    bool ReadAt(std::uint64_t offset, void* buffer, std::uint64_t count) override {
        if (offset > m_size || count > m_size - offset) {
            std::abort(); // the loader asked for bytes past the end of the source
        }
        std::memcpy(buffer, Pattern() + offset, count);
        return true;
    }
    using CBinaryLoader::LoadChunk;
    using CBinaryLoader::ServeNextRequest;

private:
    std::uint64_t m_size;
};

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    // Up to 6 chunks and a bit, so that the cuts at the end meet the cuts at cached chunks.
    const std::uint64_t sourceSize = (data[0] * 3 * C / 128 + data[1]) % (kLargestSource + 1);
    FuzzLoader loader(sourceSize);
    std::vector<unsigned char> buffer;
    for (std::size_t i = 2; i + 4 <= size; i += 4) {
        const std::uint64_t value = data[i + 1] | (data[i + 2] << 8) | (data[i + 3] << 16);
        // Offsets fall anywhere up to a little past the end of the source.
        const std::uint64_t offset = value % (sourceSize + C / 2 + 1);
        switch (data[i] % 6) {
        case 0:
            loader.LoadChunk(offset);
            break;
        case 1: {
            const std::uint64_t count = (value >> 4) % (3 * C);
            buffer.assign(count, 0xEE);
            const std::uint64_t copied = loader.CopyOut(buffer.data(), count, offset);
            Check(copied <= count);
            if (copied > 0) {
                Check(std::memcmp(buffer.data(), Pattern() + offset, copied) == 0);
            }
            for (std::uint64_t k = copied; k < count; ++k) {
                Check(buffer[k] == 0);
            }
            break;
        }
        case 2:
            loader.SetViewSize(value % (2 * C));
            break;
        case 3:
            loader.SetCacheBound(value % (4 * C));
            break;
        case 4:
            loader.ServeNextRequest();
            break;
        default:
            loader.Request(offset);
            break;
        }
        std::uint64_t end = 0;
        std::uint64_t total = 0;
        for (const auto& [start, length] : loader.CachedChunks()) {
            Check(length > 0);
            Check(start >= end);
            Check(start + length <= sourceSize);
            end = start + length;
            total += length;
        }
        Check(total == loader.CachedBytes());
    }
    return 0;
}
