#include "tools/HoldHelperProcess.h"

#include "support/HoldProtocol.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// How long a request may take before the helper counts as stuck; it answers in microseconds.
constexpr int kReplyMilliseconds = 5000;

// Reads one reply within the bound; 0, or an errno.
int ReadReply(int channel, holdprotocol::Reply& reply) {
    pollfd watched{channel, POLLIN, 0};
    const int ready = poll(&watched, 1, kReplyMilliseconds);
    if (ready == 0) {
        return ETIMEDOUT;
    }
    if (ready < 0) {
        return errno;
    }
    const ssize_t got = recv(channel, &reply, sizeof reply, 0);
    return got == static_cast<ssize_t>(sizeof reply) ? 0 : EPIPE;
}

} // namespace

std::unique_ptr<CHoldHelperProcess> CHoldHelperProcess::Start(const std::string& program, int& error,
                                                              bool& startedButRefused) {
    startedButRefused = false;
    int ends[2] = {-1, -1};
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
        error = errno;
        return nullptr;
    }
    // The helper's end becomes its descriptor 3; every other descriptor stays behind.
    int childEnd = ends[1];
    if (childEnd == holdprotocol::kChannelDescriptor) {
        childEnd = fcntl(ends[1], F_DUPFD_CLOEXEC, holdprotocol::kChannelDescriptor + 1);
        close(ends[1]);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, childEnd, holdprotocol::kChannelDescriptor);
    posix_spawn_file_actions_addclosefrom_np(&actions, holdprotocol::kChannelDescriptor + 1);
    std::string name = "fakemill-hold";
    char* argv[] = {name.data(), nullptr};
    char* envp[] = {nullptr};
    pid_t process = -1;
    error = posix_spawn(&process, program.c_str(), &actions, nullptr, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    close(childEnd);
    if (error != 0) {
        close(ends[0]);
        return nullptr;
    }
    std::unique_ptr<CHoldHelperProcess> helper(new CHoldHelperProcess(process, ends[0]));
    holdprotocol::Reply hello{};
    error = ReadReply(ends[0], hello);
    if (error == 0 && hello.id != 0) {
        error = EPROTO;
    }
    if (error == 0 && hello.error != 0) {
        startedButRefused = true;
        error = hello.error;
    }
    return error == 0 ? std::move(helper) : nullptr;
}

CHoldHelperProcess::~CHoldHelperProcess() {
    // The closed socket ends the helper at once; one that does not go is killed.
    close(m_channel);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (waitpid(m_process, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(m_process, SIGKILL);
            waitpid(m_process, nullptr, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

int CHoldHelperProcess::Call(std::uint32_t operation, std::uint32_t id, std::uint32_t flags, int descriptor) {
    const holdprotocol::Request request{operation, id, flags, 0};
    if (!holdprotocol::SendRequest(m_channel, request, descriptor)) {
        return EPIPE;
    }
    holdprotocol::Reply reply{};
    const int error = ReadReply(m_channel, reply);
    if (error != 0) {
        return error;
    }
    return reply.id == id ? reply.error : EPROTO;
}

int CHoldHelperProcess::Hold(int descriptor, bool failReads, std::uint32_t& id) {
    std::lock_guard lock(m_mutex);
    id = ++m_lastId == 0 ? ++m_lastId : m_lastId;
    return Call(holdprotocol::kHold, id, failReads ? holdprotocol::kFlagFailReads : 0, descriptor);
}

void CHoldHelperProcess::Release(std::uint32_t id) {
    std::lock_guard lock(m_mutex);
    Call(holdprotocol::kRelease, id, 0, -1);
}

std::string HoldHelperPath() {
    if (const char* chosen = std::getenv("FAKEMILL_HOLD_HELPER"); chosen != nullptr && *chosen != '\0') {
        return chosen;
    }
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::filesystem::path beside = self.parent_path() / "fakemill-hold";
        if (std::filesystem::exists(beside, error)) {
            return beside.string();
        }
    }
    return "/usr/bin/fakemill-hold";
}

KernelDenyStatus ProbeKernelDeny(const std::string& helperPath) {
    int error = 0;
    bool refused = false;
    if (CHoldHelperProcess::Start(helperPath, error, refused)) {
        return {true, {}};
    }
    if (!refused && (error == ENOENT || error == EACCES)) {
        return {false, "the helper " + helperPath + " is not installed or cannot run (" +
                           std::strerror(error) + "); install it beside fakemill"};
    }
    if (refused && error == EPERM) {
        return {false, "the helper " + helperPath +
                           " lacks CAP_SYS_ADMIN: run as root, or give the helper alone the capability "
                           "with: sudo setcap cap_sys_admin+ep " +
                           helperPath};
    }
    if (refused && (error == EINVAL || error == ENOSYS)) {
        return {false, "this kernel has no fanotify permission events "
                       "(CONFIG_FANOTIFY_ACCESS_PERMISSIONS)"};
    }
    return {false, std::string("the helper could not start: ") + std::strerror(error)};
}
