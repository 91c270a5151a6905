#include "tests/cli/StdinReplacement.h"

#include <csignal>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

StdinReplacement::StdinReplacement(const std::string& bytes, EKind kind) : m_saved(::dup(STDIN_FILENO)) {
    // A command that stops reading early must not end this process with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    int fds[2] = {-1, -1};
    if (kind == EKind::File) {
        WriteFileBytes(m_dir.File("stdin"), bytes);
        fds[0] = ::open(m_dir.File("stdin").c_str(), O_RDONLY | O_CLOEXEC);
    } else if (::pipe2(fds, O_CLOEXEC) != 0) {
        fds[0] = -1;
    }
    if (m_saved < 0 || fds[0] < 0 || ::dup2(fds[0], STDIN_FILENO) < 0) {
        throw std::runtime_error("cannot replace the standard input");
    }
    ::close(fds[0]);
    if (kind == EKind::Pipe) {
        m_feeder = std::thread([writer = fds[1], bytes] {
            for (std::size_t done = 0; done < bytes.size();) {
                const ssize_t n = ::write(writer, bytes.data() + done, bytes.size() - done);
                if (n <= 0) {
                    break;
                }
                done += static_cast<std::size_t>(n);
            }
            ::close(writer);
        });
    }
}

StdinReplacement::~StdinReplacement() {
    ::dup2(m_saved, STDIN_FILENO);
    ::close(m_saved);
    if (m_feeder.joinable()) {
        m_feeder.join();
    }
}
