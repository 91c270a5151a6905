// The kernel way's cost to other programs, for bench/exercise.sh. Holds 1,000 files the kernel way
// and, in a child process standing for an unrelated program, times opens and closes of 1,000
// other files on the same filesystem, in rounds that alternate with rounds without the exerciser;
// then times a held file's refused open. Prints "unrelated <ratio>" (the median over the rounds of
// the held half's time over the free half's) and "denied <microseconds>" (median refused open).

#include "tools/HoldHelperProcess.h"
#include "tools/KernelDenyHolder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFiles = 1000;
constexpr int kRounds = 31;
// Each round opens every unrelated file this many times, so that a round lasts long enough to
// time well.
constexpr int kPasses = 3;
constexpr useconds_t kSettleMicroseconds = 50000;

// How many files a round holds: 1,000, or FAKEMILL_BENCH_HELD of them (at least 1).
std::ptrdiff_t HeldCount() {
    const char* asked = std::getenv("FAKEMILL_BENCH_HELD");
    const long count = asked != nullptr ? std::strtol(asked, nullptr, 10) : kFiles;
    return std::clamp<long>(count, 1, kFiles);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs what in a child process and reads the number it writes back.
template <typename What>
double InChild(What what) {
    int channel[2];
    if (pipe(channel) != 0) {
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        const double value = what();
        _exit(write(channel[1], &value, sizeof value) == sizeof value ? 0 : 1);
    }
    close(channel[1]);
    double value = -1;
    if (read(channel[0], &value, sizeof value) != sizeof value) {
        value = -1;
    }
    close(channel[0]);
    waitpid(child, nullptr, 0);
    return value;
}

// Seconds for one open and close of each file.
double OpenAll(const std::vector<std::string>& files) {
    const auto start = Clock::now();
    for (int pass = 0; pass < kPasses; ++pass) {
        for (const std::string& file : files) {
            const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                return -1;
            }
            close(fd);
        }
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main() {
    char pattern[] = "/tmp/fkmhold.XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return 1;
    }
    const std::filesystem::path root(pattern);
    // The unrelated program's files sit in a folder of their own, as another program's would.
    std::filesystem::create_directory(root / "held");
    std::filesystem::create_directory(root / "other");
    std::vector<std::string> held;
    std::vector<std::string> unrelated;
    for (int i = 0; i < kFiles; ++i) {
        for (auto* list : {&held, &unrelated}) {
            const std::string path = (root / (list == &held ? "held" : "other") / std::to_string(i)).string();
            std::FILE* file = std::fopen(path.c_str(), "w");
            std::fputs("data", file);
            std::fclose(file);
            list->push_back(path);
        }
    }
    const KernelDenyStatus status = ProbeKernelDeny(HoldHelperPath());
    if (!status.available) {
        std::fprintf(stderr, "the kernel way is not available: %s\n", status.reason.c_str());
        std::filesystem::remove_all(root);
        return 2;
    }
    std::vector<double> free;
    std::vector<double> heldRounds;
    for (int round = 0; round < kRounds; ++round) {
        // The free round goes first in even rounds and last in odd ones, so that a drift of the
        // machine weighs on both alike.
        if (round % 2 == 0) {
            free.push_back(InChild([&] { return OpenAll(unrelated); }));
        }
        auto holder = std::make_unique<CKernelDenyHolder>(HoldHelperPath(), false);
        (HoldHelperPath(), false);
        std::vector<std::unique_ptr<IHeldFile>> holds;
        for (const std::string& path : std::vector<std::string>(held.begin(), held.begin() + HeldCount())) {
            int error = 0;
            holds.push_back(holder->Hold(CKSString::FromUtf8(path), error));
            if (!holds.back()) {
                std::fprintf(stderr, "could not hold %s: %d\n", path.c_str(), error);
                return 1;
            }
        }
        // The kernel settles the marks' bookkeeping after a change on its own time: not in a half.
        usleep(kSettleMicroseconds);
        heldRounds.push_back(InChild([&] { return OpenAll(unrelated); }));
        if (round + 1 == kRounds) {
            const double denied = InChild([&] {
                std::vector<double> times;
                for (int i = 0; i < 1000; ++i) {
                    const auto start = Clock::now();
                    const int fd =
                        open(held[static_cast<std::size_t>(i % HeldCount())].c_str(), O_RDONLY | O_CLOEXEC);
                    times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
                    if (fd >= 0 || errno != EPERM) {
                        return -1.0;
                    }
                }
                return Median(times);
            });
            std::printf("denied %.1f\n", denied);
        }
        holds.clear();
        holder.reset();
        usleep(kSettleMicroseconds);
        if (round % 2 == 1) {
            free.push_back(InChild([&] { return OpenAll(unrelated); }));
        }
    }
    // The median of each round's own ratio: a busy machine slows both halves of a round alike.
    std::vector<double> ratios;
    for (std::size_t i = 0; i < free.size() && i < heldRounds.size(); ++i) {
        ratios.push_back(heldRounds[i] / free[i]);
    }
    std::printf("unrelated %.3f\n", Median(ratios));
    std::printf("free-round %.2f ms, held-round %.2f ms\n", Median(free) * 1000, Median(heldRounds) * 1000);
    std::filesystem::remove_all(root);
    return 0;
}
