// The file system's own ceiling for bench/parallel.sh: writes COUNT files of SIZE bytes of a
// constant pattern into DIR, a mebibyte per call, spread over THREADS threads the way the
// generator spreads files (index modulo the thread count). No content is computed, so the
// speed-up of more threads shows what the kernel's page cache allows.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: plain_writer DIR COUNT SIZE THREADS\n");
        return 2;
    }
    const std::string dir = argv[1];
    const long count = std::atol(argv[2]);
    const long size = std::atol(argv[3]);
    const long threads = std::max(1L, std::atol(argv[4]));
    std::atomic<bool> failed = false;
    std::vector<std::thread> workers;
    for (long first = 0; first < threads; ++first) {
        workers.emplace_back([&, first] {
            const std::vector<char> block(1 << 20, 'x');
            for (long index = first; index < count; index += threads) {
                const std::string path = dir + "/plain" + std::to_string(index);
                const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
                long left = size;
                while (fd >= 0 && left > 0) {
                    const long piece = std::min<long>(left, static_cast<long>(block.size()));
                    if (::write(fd, block.data(), static_cast<size_t>(piece)) != piece) {
                        break;
                    }
                    left -= piece;
                }
                if (fd < 0 || ::close(fd) != 0 || left > 0) {
                    failed = true;
                    return;
                }
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    if (failed) {
        std::fprintf(stderr, "plain_writer: could not write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
