// fakemill-hold: the file exerciser's helper that makes the kernel refuse other programs' opens
// (and, if asked, reads) of the files its parent holds. It may run with CAP_SYS_ADMIN, so it
// trusts nothing it reads: it marks only files whose open descriptors its parent hands it and
// that belong to the user who started it (any file for root), allows its parent and itself
// everything, answers every permission event at once, and ends when its parent ends or says
// anything it does not understand. Its end releases every mark.

#include "support/HoldProtocol.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <signal.h>
#include <sys/fanotify.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

using namespace holdprotocol;

constexpr std::uint64_t kOpenMask = FAN_OPEN_PERM;
constexpr std::uint64_t kReadMask = FAN_ACCESS_PERM;

using InodeKey = std::pair<dev_t, ino_t>;

struct Hold {
    int descriptor;
    InodeKey inode;
    std::uint64_t mask;
};

class HoldService {
public:
    HoldService(int fanotify, int channel) : m_fanotify(fanotify), m_channel(channel), m_parent(getppid()) {}

    // Serves until the parent goes or misbehaves; the exit status for the process.
    int Serve() {
        pollfd watched[2] = {{m_fanotify, POLLIN, 0}, {m_channel, POLLIN, 0}};
        for (;;) {
            if (poll(watched, 2, -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return 1;
            }
            // Permission events first: another program may be waiting in open.
            if ((watched[0].revents & POLLIN) != 0) {
                AnswerEvents();
            }
            if ((watched[1].revents & POLLIN) != 0) {
                if (!ServeRequest()) {
                    return 0;
                }
            } else if ((watched[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                return 0;
            }
        }
    }

private:
    void AnswerEvents() {
        alignas(fanotify_event_metadata) char buffer[8192];
        for (;;) {
            const ssize_t got = read(m_fanotify, buffer, sizeof buffer);
            if (got <= 0) {
                return; // EAGAIN: all answered
            }
            auto* event = reinterpret_cast<fanotify_event_metadata*>(buffer);
            ssize_t left = got;
            while (FAN_EVENT_OK(event, left)) {
                if ((event->mask & (FAN_OPEN_PERM | FAN_ACCESS_PERM)) != 0) {
                    // An event of a layout this program does not know is allowed, never left
                    // waiting.
                    const bool known = event->vers == FANOTIFY_METADATA_VERSION;
                    fanotify_response response{event->fd, known ? Decide(*event) : FAN_ALLOW};
                    // A failed answer leaves nothing to retry: the kernel allows once the group ends.
                    if (write(m_fanotify, &response, sizeof response) < 0) {
                        std::perror("fakemill-hold: answer");
                    }
                }
                if (event->fd >= 0) {
                    close(event->fd);
                }
                event = FAN_EVENT_NEXT(event, left);
            }
        }
    }

    std::uint32_t Decide(const fanotify_event_metadata& event) const {
        if (event.pid == m_parent || event.pid == getpid() || event.fd < 0) {
            return FAN_ALLOW;
        }
        struct stat status {};
        if (fstat(event.fd, &status) != 0) {
            return FAN_ALLOW;
        }
        const auto held = m_inodes.find(InodeKey{status.st_dev, status.st_ino});
        if (held == m_inodes.end()) {
            return FAN_ALLOW; // released while the event waited
        }
        const bool read = (event.mask & FAN_ACCESS_PERM) != 0;
        return !read || (held->second.mask & kReadMask) != 0 ? FAN_DENY : FAN_ALLOW;
    }

    // One request; false when the parent has gone or broke the protocol.
    bool ServeRequest() {
        Request request{};
        iovec part{&request, sizeof request};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t got = recvmsg(m_channel, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
        if (got < 0) {
            return errno == EAGAIN || errno == EINTR;
        }
        int passed = -1;
        bool wellFormed = got == static_cast<ssize_t>(sizeof request) &&
                          (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) == 0 && request.reserved == 0 &&
                          (request.flags & ~kKnownFlags) == 0 && request.id != 0;
        int descriptors = 0;
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
             header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) {
                wellFormed = false;
                continue;
            }
            const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 0; i < count; ++i) {
                int descriptor = -1;
                std::memcpy(&descriptor, CMSG_DATA(header) + i * sizeof(int), sizeof descriptor);
                if (descriptors++ == 0) {
                    passed = descriptor;
                } else {
                    close(descriptor);
                }
            }
        }
        if (got == 0) {
            return false; // the parent closed its end
        }
        const bool expectsDescriptor = request.operation == kHold;
        if (!wellFormed || descriptors != (expectsDescriptor ? 1 : 0) ||
            (request.operation != kHold && request.operation != kRelease)) {
            if (passed >= 0) {
                close(passed);
            }
            std::fprintf(stderr, "fakemill-hold: malformed request, ending\n");
            return false;
        }
        const int error = request.operation == kHold ? AddHold(request, passed) : RemoveHold(request.id);
        const Reply reply{request.id, error};
        return send(m_channel, &reply, sizeof reply, MSG_DONTWAIT | MSG_NOSIGNAL) ==
               static_cast<ssize_t>(sizeof reply);
    }

    int AddHold(const Request& request, int descriptor) {
        struct stat status {};
        const int flags = fcntl(descriptor, F_GETFL);
        int error = 0;
        if (m_holds.count(request.id) != 0) {
            error = EEXIST;
        } else if (m_holds.size() + m_readWatches.size() >= kMaxHolds) {
            error = EMFILE;
        } else if (flags < 0 || (flags & O_PATH) != 0 || fstat(descriptor, &status) != 0) {
            // A path descriptor proves no right to open the file.
            error = EBADF;
        } else if (!S_ISREG(status.st_mode)) {
            error = EINVAL;
        } else if (status.st_uid != getuid() && getuid() != 0) {
            // With the capability, a user could otherwise keep everybody from files that are
            // only readable to them (a system library, say): only their own files are held.
            error = EPERM;
        }
        if (error != 0) {
            close(descriptor);
            return error;
        }
        const InodeKey inode{status.st_dev, status.st_ino};
        const std::uint64_t mask = kOpenMask | ((request.flags & kFlagFailReads) != 0 ? kReadMask : 0);
        if (fanotify_mark(m_fanotify, FAN_MARK_ADD, mask, descriptor, nullptr) != 0) {
            error = errno;
            close(descriptor);
            return error;
        }
        m_holds.emplace(request.id, Hold{descriptor, inode, mask});
        InodeState& state = m_inodes[inode];
        state.count += 1;
        state.mask |= mask;
        return 0;
    }

    int RemoveHold(std::uint32_t id) {
        const auto found = m_holds.find(id);
        if (found == m_holds.end()) {
            return ENOENT;
        }
        const Hold hold = found->second;
        m_holds.erase(found);
        const auto state = m_inodes.find(hold.inode);
        if (--state->second.count != 0) {
            close(hold.descriptor);
            return 0;
        }
        const bool watchReads = (state->second.mask & kReadMask) != 0;
        m_inodes.erase(state);
        if (!watchReads) {
            fanotify_mark(m_fanotify, FAN_MARK_REMOVE, kOpenMask, hold.descriptor, nullptr);
            close(hold.descriptor);
            return 0;
        }
        // The kernel checks the reads of a descriptor only when its file was watched for reads
        // at its open. Keeping the read mark (every read is allowed while the file is not held)
        // lets the next hold fail the reads of programs that opened the file in between.
        fanotify_mark(m_fanotify, FAN_MARK_REMOVE, kOpenMask, hold.descriptor, nullptr);
        if (!m_readWatches.emplace(hold.inode, hold.descriptor).second) {
            close(hold.descriptor);
        }
        return 0;
    }

    struct InodeState {
        std::uint32_t count = 0;
        std::uint64_t mask = 0;
    };

    int m_fanotify;
    int m_channel;
    pid_t m_parent;
    std::map<std::uint32_t, Hold> m_holds;
    std::map<InodeKey, InodeState> m_inodes;
    // Files released with their read mark kept, until the helper ends; one descriptor each.
    std::map<InodeKey, int> m_readWatches;
};

bool IsSeqPacketSocket(int descriptor) {
    int type = 0;
    socklen_t length = sizeof type;
    return getsockopt(descriptor, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_SEQPACKET;
}

} // namespace

int main() {
    // The parent's end is the helper's end: the kernel kills it when the parent goes (this is
    // cleared by exec, so it is set here), and the closed socket covers a parent gone before.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    signal(SIGPIPE, SIG_IGN);
    const int channel = kChannelDescriptor;
    if (!IsSeqPacketSocket(channel)) {
        std::fprintf(stderr,
                     "fakemill-hold: started by the file exerciser only (descriptor %d is no "
                     "packet socket)\n",
                     channel);
        return 2;
    }
    if (getppid() == 1) {
        return 0;
    }
    // One descriptor a hold: a thousand held files need more than the usual soft limit.
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    const int fanotify = fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC | FAN_NONBLOCK, O_RDONLY | O_CLOEXEC);
    const Reply hello{0, fanotify < 0 ? errno : 0};
    if (send(channel, &hello, sizeof hello, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof hello) ||
        fanotify < 0) {
        return 1;
    }
    return HoldService(fanotify, channel).Serve();
}
