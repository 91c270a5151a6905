#pragma once
// The binary viewer's loader: a thread that reads a source in chunks on demand and keeps them in
// an offset-ordered cache of chunks that never overlap. The viewer copies its page out of the
// cache (CopyOut), which asks for whatever is missing; the loader tells its listener when a chunk
// has arrived, and the viewer formats the page again.
//
// The cache is bounded (64 MiB unless changed): once it holds more, the least recently used
// chunks leave first, but never the chunks of the last page copied out nor the chunk that
// follows it. A page whose bytes have left is simply asked for again, so the bound never changes
// what is shown.

#include "support/KSListenerSlot.h"
#include "support/KSLogger.h"
#include "support/KSSynchronizer.h"
#include "support/KSThread.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <utility>
#include <vector>

// One cached piece of the source.
class CChunk {
public:
    explicit CChunk(std::uint64_t size);
    std::byte* Data() { return m_data.get(); }
    const std::byte* Data() const { return m_data.get(); }
    std::uint64_t Size() const { return m_size; }

private:
    std::unique_ptr<std::byte[]> m_data;
    std::uint64_t m_size;
};

// Told about the loader's progress. Called on the loader thread with the listener slot's lock
// held (see KSListenerSlot; none of the loader's own locks): a viewer queues a call carrying the
// offset (CDelivery) and returns at once, so that replacing the listener never waits long.
class IBinaryLoaderListener {
public:
    virtual ~IBinaryLoaderListener() = default;
    // The chunk asked for at offset is in the cache (it may have been there already).
    virtual void OnChunkReady(std::uint64_t offset) = 0;
    // The request at offset was dropped: the source could not be opened (length then runs to
    // the end of everything) or the bytes [offset, offset + length) could not be read. The
    // viewer ignores this: the page stays blank there and asks again when formatted next.
    virtual void OnChunkFailed(std::uint64_t offset, std::uint64_t length, int error) {
        static_cast<void>(offset);
        static_cast<void>(length);
        static_cast<void>(error);
    }
};

// The process-wide debug logger of the loaders: information level, into the diagnostic output.
CKSLogger& BinaryLoaderDebugLogger();

class CBinaryLoader : public CKSThread {
public:
    static constexpr std::uint64_t kChunkSize = 0x20000;
    static constexpr std::uint64_t kDefaultViewSize = 40;
    static constexpr std::uint64_t kDefaultCacheBound = 64ULL << 20;

    explicit CBinaryLoader(const CKSManualResetEvent* watched);
    ~CBinaryLoader() override;

    // Not owned; it must outlive the loader's thread or be replaced by null first. Replacing it
    // waits for a callback in progress to return; no callback reaches the old listener after.
    void SetListener(IBinaryLoaderListener* listener) { m_listener.Set(listener); }

    // Asks for the chunk at offset: nothing happens when a cached chunk starts exactly there
    // ("Already loaded %u") or the offset is already waiting; otherwise it is queued.
    void Request(std::uint64_t offset);
    // The number of bytes the viewer shows at once; a chunk is read at least that large.
    void SetViewSize(std::uint64_t bytes);
    // Copies up to count bytes from offset out of the cache, as far as the source reaches; at the
    // first byte not cached, asks for it and fills the rest of the count with zeros. Answers the
    // bytes copied from the cache. The range becomes the page in view. Before the first load the
    // size is unknown: nothing is copied and the offset is asked for.
    std::uint64_t CopyOut(void* buffer, std::uint64_t count, std::uint64_t offset);

    // The source size taken at the first load; 0 before.
    std::uint64_t FileSize() const;

    void SetCacheBound(std::uint64_t bytes);
    std::uint64_t CacheBound() const;
    std::uint64_t CachedBytes() const;
    // (offset, size) of every cached chunk, in offset order.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> CachedChunks() const;
    // Offsets waiting to be loaded, in order.
    std::vector<std::uint64_t> PendingRequests() const;
    // How many reads the loader has made of its source.
    std::uint64_t ReadCount() const { return m_reads.load(std::memory_order_relaxed); }

    // The source. Open, GetSourceSize and ReadAt run on the loader thread once it has started.
    virtual std::uint64_t GetSize() = 0;
    virtual bool Open() = 0;
    virtual std::uint64_t GetSourceSize() = 0;
    virtual bool ReadAt(std::uint64_t offset, void* buffer, std::uint64_t count) = 0;
    // The platform error of the last failed Open or ReadAt.
    virtual int GetLastError() const { return 0; }

protected:
    void Run() override;
    // Takes the first request and loads it; false when there was none (the wake event is then
    // reset under the lock, so a request arriving meanwhile is never slept through).
    bool ServeNextRequest();
    // Loads the chunk at offset unless the offset is already cached; runs on the loader thread.
    void LoadChunk(std::uint64_t offset);

private:
    struct CachedChunk {
        CChunk chunk;
        std::list<std::uint64_t>::iterator use;
    };
    using ChunkMap = std::map<std::uint64_t, CachedChunk>;

    // All under m_lock.
    void Enqueue(std::uint64_t offset);
    ChunkMap::iterator ChunkContaining(std::uint64_t offset);
    // Pointer to the cached byte at offset and how many follow it in its chunk; null on a miss,
    // which asks for the missing chunk.
    const std::byte* FindCached(std::uint64_t offset, std::uint64_t wanted, std::uint64_t& available);
    void ReadAheadAfter(std::uint64_t lastByte);
    void Touch(ChunkMap::iterator chunk);
    void EvictOverBound();

    void NotifyReady(std::uint64_t offset);
    void NotifyFailed(std::uint64_t offset, std::uint64_t length, int error);

    mutable CKSSynchronizer m_lock;
    CKSListenerSlot<IBinaryLoaderListener> m_listener;
    ChunkMap m_chunks;
    // Least recently used first.
    std::list<std::uint64_t> m_uses;
    std::uint64_t m_cachedBytes = 0;
    std::uint64_t m_cacheBound = kDefaultCacheBound;
    std::uint64_t m_fileSize = 0;
    // Set by the first load that opened the source; an empty source has size 0 too.
    bool m_sizeKnown = false;
    std::uint64_t m_viewSize = kDefaultViewSize;
    // The page copied out last: its chunks and the one after them stay cached.
    std::uint64_t m_viewOffset = 0;
    std::uint64_t m_viewLength = 0;
    std::deque<std::uint64_t> m_requests;
    // A few buffers of chunks that left the cache, for the next loads of the same size: paging
    // through a large file then reuses memory instead of faulting in fresh pages for every chunk.
    std::vector<CChunk> m_spares;
    std::atomic<std::uint64_t> m_reads{0};
};
