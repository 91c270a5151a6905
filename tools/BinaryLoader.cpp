#include "tools/BinaryLoader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t kMaxSpares = 4;

struct DebugLog {
    DebugLog() {
        logger.SetLevel(CKSLogger::kLevelInfo);
        logger.SetOutput(&output);
    }
    CDbgOutput output;
    CKSLogger logger;
};

} // namespace

CKSLogger& BinaryLoaderDebugLogger() {
    static DebugLog log;
    return log.logger;
}

CChunk::CChunk(std::uint64_t size)
    : m_data(std::make_unique_for_overwrite<std::byte[]>(size)), m_size(size) {}

CBinaryLoader::CBinaryLoader(const CKSManualResetEvent* watched) : CKSThread(watched) {}

CBinaryLoader::~CBinaryLoader() {
    StopAndJoin();
}

void CBinaryLoader::Request(std::uint64_t offset) {
    CAutoLock lock(m_lock);
    if (m_chunks.count(offset) > 0) {
        BinaryLoaderDebugLogger().InfoF("Already loaded %u", offset);
        return;
    }
    Enqueue(offset);
}

void CBinaryLoader::Enqueue(std::uint64_t offset) {
    // A page formatted again before its chunk arrived asks again; one load serves both.
    if (std::find(m_requests.begin(), m_requests.end(), offset) == m_requests.end()) {
        m_requests.push_back(offset);
    }
    Wake();
}

void CBinaryLoader::SetViewSize(std::uint64_t bytes) {
    CAutoLock lock(m_lock);
    m_viewSize = bytes;
}

std::uint64_t CBinaryLoader::FileSize() const {
    CAutoLock lock(m_lock);
    return m_fileSize;
}

void CBinaryLoader::SetCacheBound(std::uint64_t bytes) {
    CAutoLock lock(m_lock);
    m_cacheBound = bytes;
    EvictOverBound();
}

std::uint64_t CBinaryLoader::CacheBound() const {
    CAutoLock lock(m_lock);
    return m_cacheBound;
}

std::uint64_t CBinaryLoader::CachedBytes() const {
    CAutoLock lock(m_lock);
    return m_cachedBytes;
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> CBinaryLoader::CachedChunks() const {
    CAutoLock lock(m_lock);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> chunks;
    chunks.reserve(m_chunks.size());
    for (const auto& [offset, cached] : m_chunks) {
        chunks.emplace_back(offset, cached.chunk.Size());
    }
    return chunks;
}

std::vector<std::uint64_t> CBinaryLoader::PendingRequests() const {
    CAutoLock lock(m_lock);
    return {m_requests.begin(), m_requests.end()};
}

CBinaryLoader::ChunkMap::iterator CBinaryLoader::ChunkContaining(std::uint64_t offset) {
    auto after = m_chunks.upper_bound(offset);
    if (after == m_chunks.begin()) {
        return m_chunks.end();
    }
    auto chunk = std::prev(after);
    return offset - chunk->first < chunk->second.chunk.Size() ? chunk : m_chunks.end();
}

void CBinaryLoader::Touch(ChunkMap::iterator chunk) {
    m_uses.splice(m_uses.end(), m_uses, chunk->second.use);
}

const std::byte* CBinaryLoader::FindCached(std::uint64_t offset, std::uint64_t wanted,
                                           std::uint64_t& available) {
    const auto chunk = ChunkContaining(offset);
    if (chunk != m_chunks.end()) {
        const std::uint64_t start = chunk->first;
        const std::uint64_t end = start + chunk->second.chunk.Size();
        available = end - offset;
        // The bytes wanted run on past this chunk: ask for the one that follows it.
        if (end < m_fileSize && wanted > available && m_chunks.count(end) == 0) {
            Enqueue(end);
        }
        Touch(chunk);
        return chunk->second.chunk.Data() + (offset - start);
    }
    available = 0;
    // Prefer the whole chunk that ends exactly where the next cached one begins, so that
    // scrolling upwards reads full chunks instead of slivers.
    const auto next = m_chunks.upper_bound(offset);
    if (next != m_chunks.end() && next->first > kChunkSize && next->first - kChunkSize <= offset &&
        ChunkContaining(next->first - kChunkSize) == m_chunks.end()) {
        Enqueue(next->first - kChunkSize);
    } else {
        Enqueue(offset);
    }
    return nullptr;
}

void CBinaryLoader::ReadAheadAfter(std::uint64_t lastByte) {
    const auto chunk = ChunkContaining(lastByte);
    if (chunk == m_chunks.end()) {
        return;
    }
    const std::uint64_t end = chunk->first + chunk->second.chunk.Size();
    if (end < m_fileSize && m_chunks.count(end) == 0) {
        Enqueue(end);
    }
}

std::uint64_t CBinaryLoader::CopyOut(void* buffer, std::uint64_t count, std::uint64_t offset) {
    auto* out = static_cast<std::byte*>(buffer);
    CAutoLock lock(m_lock);
    if (!m_sizeKnown && count > 0) {
        Enqueue(offset);
    }
    const std::uint64_t wanted = offset >= m_fileSize ? 0 : std::min(count, m_fileSize - offset);
    m_viewOffset = offset;
    m_viewLength = wanted;
    std::uint64_t copied = 0;
    while (copied < wanted) {
        std::uint64_t available = 0;
        const std::byte* cached = FindCached(offset + copied, wanted - copied, available);
        if (cached == nullptr) {
            break;
        }
        const std::uint64_t take = std::min(available, wanted - copied);
        std::memcpy(out + copied, cached, take);
        copied += take;
    }
    if (copied < count) {
        std::memset(out + copied, 0, count - copied);
    }
    // The whole page is here: have the chunk after it ready for the next step down.
    if (wanted > 0 && copied == wanted) {
        ReadAheadAfter(offset + wanted - 1);
    }
    return copied;
}

void CBinaryLoader::EvictOverBound() {
    // The page in view, and the chunk that follows it, never leave.
    const std::uint64_t longest = std::max(kChunkSize, m_viewSize);
    const std::uint64_t keepFrom = m_viewOffset;
    const std::uint64_t viewed = std::max(m_viewLength, m_viewSize);
    // Saturating: near the end of a 64-bit range the protected span simply runs to the end.
    const std::uint64_t span = viewed > UINT64_MAX - longest ? UINT64_MAX : viewed + longest;
    const std::uint64_t keepTo = keepFrom > UINT64_MAX - span ? UINT64_MAX : keepFrom + span;
    auto use = m_uses.begin();
    while (m_cachedBytes > m_cacheBound && use != m_uses.end()) {
        const auto chunk = m_chunks.find(*use);
        const std::uint64_t start = chunk->first;
        const std::uint64_t end = start + chunk->second.chunk.Size();
        if (end > keepFrom && start < keepTo) {
            ++use;
            continue;
        }
        m_cachedBytes -= chunk->second.chunk.Size();
        use = m_uses.erase(use);
        if (m_spares.size() < kMaxSpares) {
            m_spares.push_back(std::move(chunk->second.chunk));
        }
        m_chunks.erase(chunk);
    }
}

void CBinaryLoader::Run() {
    while (IsRunning()) {
        if (!WaitForWake(kWaitForever)) {
            continue;
        }
        ServeNextRequest();
    }
}

bool CBinaryLoader::ServeNextRequest() {
    std::uint64_t offset = 0;
    {
        CAutoLock lock(m_lock);
        if (m_requests.empty()) {
            WakeEvent().Reset();
            return false;
        }
        offset = m_requests.front();
        m_requests.pop_front();
    }
    LoadChunk(offset);
    return true;
}

void CBinaryLoader::LoadChunk(std::uint64_t offset) {
    if (!Open()) {
        NotifyFailed(offset, UINT64_MAX - offset, GetLastError());
        return;
    }
    std::uint64_t length = 0;
    std::unique_ptr<CChunk> chunk;
    {
        CAutoLock lock(m_lock);
        if (!m_sizeKnown) {
            m_fileSize = GetSize();
            m_sizeKnown = true;
        }
        if (ChunkContaining(offset) != m_chunks.end()) {
            length = 0;
        } else if (offset >= m_fileSize) {
            // Nothing to read there (an empty file, say); the answer still lets a viewer lay
            // out its window and show the sizes.
            length = 0;
        } else {
            // At least a chunk, or a whole page when the page is larger; never past the end of
            // the source and never into the next cached chunk (both cuts apply, so chunks never
            // overlap even near the end).
            length = std::min(std::max(kChunkSize, m_viewSize), m_fileSize - offset);
            const auto next = m_chunks.upper_bound(offset);
            if (next != m_chunks.end()) {
                length = std::min(length, next->first - offset);
            }
            const auto spare = std::find_if(m_spares.begin(), m_spares.end(), [length](const CChunk& buffer) {
                return buffer.Size() == length;
            });
            if (spare != m_spares.end()) {
                chunk = std::make_unique<CChunk>(std::move(*spare));
                m_spares.erase(spare);
            }
        }
    }
    if (length == 0) {
        NotifyReady(offset);
        return;
    }
    if (!chunk) {
        try {
            chunk = std::make_unique<CChunk>(length);
        } catch (const std::bad_alloc&) {
            NotifyFailed(offset, length, ENOMEM);
            return;
        }
    }
    m_reads.fetch_add(1, std::memory_order_relaxed);
    if (!ReadAt(offset, chunk->Data(), length)) {
        NotifyFailed(offset, length, GetLastError());
        return;
    }
    {
        // Only this thread adds chunks, so the gap measured above is still free.
        CAutoLock lock(m_lock);
        const auto use = m_uses.insert(m_uses.end(), offset);
        m_chunks.emplace(offset, CachedChunk{std::move(*chunk), use});
        m_cachedBytes += length;
        EvictOverBound();
    }
    NotifyReady(offset);
}

void CBinaryLoader::NotifyReady(std::uint64_t offset) {
    m_listener.Notify([offset](IBinaryLoaderListener& listener) { listener.OnChunkReady(offset); });
}

void CBinaryLoader::NotifyFailed(std::uint64_t offset, std::uint64_t length, int error) {
    m_listener.Notify(
        [&](IBinaryLoaderListener& listener) { listener.OnChunkFailed(offset, length, error); });
}
