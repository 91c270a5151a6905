#pragma once
// What the exerciser and its hold helper (fakemill-hold) say to each other over a SOCK_SEQPACKET
// socket, the helper's descriptor 3. Every message is one fixed-size record; the helper checks
// each field and ends at the first record it does not understand, which lets every file go.
//
// The helper starts by sending a reply with id 0: error 0 when it can refuse opens, otherwise the
// errno of fanotify_init. Then, for each request, one reply with the request's id.

#include <sys/socket.h>

#include <cstdint>
#include <cstring>

namespace holdprotocol {

// The helper's end of the socket.
inline constexpr int kChannelDescriptor = 3;

enum Operation : std::uint32_t {
    // Refuse other programs' opens of the file whose descriptor comes with the request
    // (SCM_RIGHTS, exactly one, open for reading or writing, a regular file).
    kHold = 1,
    // Stop refusing for the hold with this id.
    kRelease = 2,
};

// Request flag: refuse reads through descriptors opened before the hold too.
inline constexpr std::uint32_t kFlagFailReads = 1;
inline constexpr std::uint32_t kKnownFlags = kFlagFailReads;

// The most holds one helper keeps; a request beyond it is refused with EMFILE.
inline constexpr std::uint32_t kMaxHolds = 65536;

struct Request {
    std::uint32_t operation;
    // Chosen by the parent, never 0, unique among the holds in force.
    std::uint32_t id;
    std::uint32_t flags;
    std::uint32_t reserved; // 0
};

struct Reply {
    std::uint32_t id;
    // 0, or the errno saying why the request failed.
    std::int32_t error;
};

// Sends one request, with descriptor (when not negative) passed along as SCM_RIGHTS. True when
// the whole record went.
inline bool SendRequest(int channel, const Request& request, int descriptor) {
    iovec part{const_cast<Request*>(&request), sizeof request};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    if (descriptor >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &descriptor, sizeof descriptor);
    }
    return ::sendmsg(channel, &message, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof request);
}

} // namespace holdprotocol
