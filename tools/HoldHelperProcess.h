#pragma once
// One running hold helper (fakemill-hold): the process and its socket. The kernel ties the helper
// to the thread that started it (it dies with that thread), so a helper serves one thread; it ends
// when this object goes, and with it every mark it set.

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class CHoldHelperProcess {
public:
    // Starts the helper and reads its greeting. Null with error set: the errno of the start
    // (ENOENT: no such program) or, with startedButRefused true, the errno of its fanotify_init.
    static std::unique_ptr<CHoldHelperProcess> Start(const std::string& program, int& error,
                                                     bool& startedButRefused);
    ~CHoldHelperProcess();
    CHoldHelperProcess(const CHoldHelperProcess&) = delete;
    CHoldHelperProcess& operator=(const CHoldHelperProcess&) = delete;

    // Asks the helper to refuse other programs' opens of the file open as descriptor (the
    // descriptor stays the caller's). 0 and the hold's id, or an errno (ETIMEDOUT, EPIPE when the
    // helper does not answer).
    int Hold(int descriptor, bool failReads, std::uint32_t& id);
    void Release(std::uint32_t id);

private:
    CHoldHelperProcess(pid_t process, int channel) : m_process(process), m_channel(channel) {}
    // Sends one request and waits a bounded time for its reply; 0 or an errno.
    int Call(std::uint32_t operation, std::uint32_t id, std::uint32_t flags, int descriptor);

    pid_t m_process;
    int m_channel;
    std::mutex m_mutex;
    std::uint32_t m_lastId = 0;
};

// Where the helper is: $FAKEMILL_HOLD_HELPER when set, else beside the running program, else in
// the folder the package installs it to.
std::string HoldHelperPath();

// Whether files can be held the kernel way here; when not, why and how to get it, in words.
struct KernelDenyStatus {
    bool available = false;
    std::string reason;
};
KernelDenyStatus ProbeKernelDeny(const std::string& helperPath);
