// The baseline of bench/generate.sh: a plain loop with no framework that fills a 256 KiB buffer
// with the same 15-bit generator the binary generator uses (two draws per 32-bit value) and
// writes it out until the requested size is reached.
//
//   lcg_fill FILE BYTES

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: lcg_fill FILE BYTES\n");
        return 2;
    }
    const std::uint64_t total = std::strtoull(argv[2], nullptr, 10);
    const int fd = ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<std::uint32_t> buffer(256 * 1024 / 4);
    std::uint32_t state = 1;
    for (std::uint64_t done = 0; done < total;) {
        for (std::uint32_t& value : buffer) {
            state = state * 214013u + 2531011u;
            const std::uint32_t high = (state >> 16) & 0x7FFF;
            state = state * 214013u + 2531011u;
            value = (high << 16) | ((state >> 16) & 0x7FFF);
        }
        const std::uint64_t left = total - done;
        const std::size_t bytes =
            left < buffer.size() * 4 ? static_cast<std::size_t>(left) : buffer.size() * 4;
        if (::write(fd, buffer.data(), bytes) != static_cast<ssize_t>(bytes)) {
            std::perror("write");
            return 1;
        }
        done += bytes;
    }
    ::close(fd);
    return 0;
}
