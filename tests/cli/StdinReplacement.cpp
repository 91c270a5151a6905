#include "tests/cli/StdinReplacement.h"

#include <csignal>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>
#include <utility>

StdinReplacement::StdinReplacement() : m_saved(::dup(STDIN_FILENO)) {
    if (m_saved < 0) {
        throw std::runtime_error("dup failed");
    }
    // A command that stops reading early must not end this process with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
}

StdinReplacement::StdinReplacement(StdinReplacement&& other) noexcept
    : m_saved(std::exchange(other.m_saved, -1)), m_feeder(std::move(other.m_feeder)) {}

StdinReplacement StdinReplacement::Piped(std::string bytes) {
    StdinReplacement replacement;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    ::dup2(fds[0], STDIN_FILENO);
    ::close(fds[0]);
    replacement.m_feeder = std::thread([writer = fds[1], bytes = std::move(bytes)] {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(writer, bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        ::close(writer);
    });
    return replacement;
}

StdinReplacement StdinReplacement::FromFile(const std::string& path) {
    StdinReplacement replacement;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw std::runtime_error("cannot open " + path);
    }
    ::dup2(fd, STDIN_FILENO);
    ::close(fd);
    return replacement;
}

StdinReplacement::~StdinReplacement() {
    if (m_saved >= 0) {
        ::dup2(m_saved, STDIN_FILENO);
        ::close(m_saved);
    }
    if (m_feeder.joinable()) {
        m_feeder.join();
    }
}
