// Drives the binary viewer's loader over a file the way the viewer pages through it: the first
// page at offset 0, then page down after page down to the end. Reports when the first page was
// ready and how many chunk reads that took, and the cache at the end; run it under
// /usr/bin/time -v for the peak memory.
//
//   binary_loader_driver FILE [--page BYTES] [--bound MIB]

#include "support/KSManualResetEvent.h"
#include "tools/BinaryFileLoader.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

class Progress : public IBinaryLoaderListener {
public:
    void OnChunkReady(std::uint64_t) override { news.Set(); }
    void OnChunkFailed(std::uint64_t offset, std::uint64_t, int error) override {
        std::fprintf(stderr, "read failed at %llu: %s\n", static_cast<unsigned long long>(offset),
                     std::strerror(error));
        std::exit(1);
    }
    CKSManualResetEvent news;
};

// Copies the page at top out of the cache, waiting for the loader until it is whole.
void WaitForPage(CBinaryLoader& loader, Progress& progress, std::vector<unsigned char>& page,
                 std::uint64_t top, std::uint64_t size) {
    const std::uint64_t whole = std::min<std::uint64_t>(page.size(), size - top);
    for (;;) {
        progress.news.Reset();
        if (loader.CopyOut(page.data(), page.size(), top) == whole) {
            return;
        }
        progress.news.Wait(1000);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [--page BYTES] [--bound MIB]\n", argv[0]);
        return 2;
    }
    // A large viewer window: 64 bytes a line, 2,048 lines.
    std::uint64_t pageSize = 64 * 2048;
    const std::uint64_t line = 64;
    std::uint64_t bound = CBinaryLoader::kDefaultCacheBound;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--page") == 0) {
            pageSize = std::strtoull(argv[i + 1], nullptr, 10);
        } else if (std::strcmp(argv[i], "--bound") == 0) {
            bound = std::strtoull(argv[i + 1], nullptr, 10) << 20;
        }
    }
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();

    CKSManualResetEvent stop;
    Progress progress;
    CBinaryFileLoader loader(&stop);
    loader.SetPath(CKSString::FromUtf8(argv[1]));
    loader.SetListener(&progress);
    loader.SetCacheBound(bound);
    loader.SetViewSize(pageSize);
    loader.Request(0);
    if (!loader.Start()) {
        return 1;
    }
    while (loader.FileSize() == 0 && loader.ReadCount() == 0) {
        progress.news.Wait(1000);
    }
    const std::uint64_t size = loader.FileSize();
    std::vector<unsigned char> page(pageSize);
    WaitForPage(loader, progress, page, 0, size);
    const auto firstPage = Clock::now();
    const std::uint64_t readsForFirstPage = loader.ReadCount();
    std::printf("first page ready after %llu chunk read(s), %.1f ms\n",
                static_cast<unsigned long long>(readsForFirstPage),
                std::chrono::duration<double, std::milli>(firstPage - start).count());

    // Page down keeps one line of the old page, as the viewer does.
    const std::uint64_t step = pageSize - line;
    const std::uint64_t lastTop = size > pageSize ? size - pageSize : 0;
    std::uint64_t pages = 1;
    std::uint64_t largestCache = loader.CachedBytes();
    for (std::uint64_t top = 0; top < lastTop;) {
        top = std::min(top + step, lastTop);
        WaitForPage(loader, progress, page, top, size);
        largestCache = std::max(largestCache, loader.CachedBytes());
        ++pages;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - firstPage).count();
    std::printf("paged %llu pages of %llu bytes over %.1f GiB in %.1f s (%.0f MiB/s), %llu chunk reads\n",
                static_cast<unsigned long long>(pages), static_cast<unsigned long long>(pageSize),
                static_cast<double>(size) / (1ULL << 30), seconds,
                static_cast<double>(size) / (1 << 20) / seconds,
                static_cast<unsigned long long>(loader.ReadCount()));
    std::printf("cache bound %llu MiB, largest cache seen %.1f MiB\n",
                static_cast<unsigned long long>(bound >> 20), static_cast<double>(largestCache) / (1 << 20));
    loader.StopAndJoin();
    return 0;
}
