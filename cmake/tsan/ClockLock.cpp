// Linked into the ThreadSanitizer build only (FAKEMILL_TSAN, scripts/tsan.sh). libstdc++ waits
// against the steady clock with pthread_mutex_clocklock and pthread_cond_clockwait, which clang 14's
// ThreadSanitizer does not intercept: it then saw a timed mutex's unlock without its lock, and a
// condition wait that never gave its mutex up. These definitions, found before the C library's,
// turn such a wait into the same wait against the real-time clock, which it does intercept.

#include <pthread.h>
#include <time.h>

namespace {

// The real-time deadline as far away as abstime is on the given clock.
timespec RealTimeDeadline(clockid_t clock, const timespec* abstime) {
    timespec now{};
    timespec real{};
    clock_gettime(clock, &now);
    clock_gettime(CLOCK_REALTIME, &real);
    constexpr long kNanoseconds = 1000000000L;
    long long left = (static_cast<long long>(abstime->tv_sec) - now.tv_sec) * kNanoseconds +
                     (abstime->tv_nsec - now.tv_nsec);
    if (left < 0) {
        left = 0;
    }
    const long long deadline = static_cast<long long>(real.tv_sec) * kNanoseconds + real.tv_nsec + left;
    return timespec{static_cast<time_t>(deadline / kNanoseconds), static_cast<long>(deadline % kNanoseconds)};
}

} // namespace

extern "C" int pthread_mutex_clocklock(pthread_mutex_t* mutex, clockid_t clock, const timespec* abstime) {
    const timespec deadline = clock == CLOCK_REALTIME ? *abstime : RealTimeDeadline(clock, abstime);
    return pthread_mutex_timedlock(mutex, &deadline);
}

extern "C" int pthread_cond_clockwait(pthread_cond_t* condition, pthread_mutex_t* mutex, clockid_t clock,
                                      const timespec* abstime) {
    const timespec deadline = clock == CLOCK_REALTIME ? *abstime : RealTimeDeadline(clock, abstime);
    return pthread_cond_timedwait(condition, mutex, &deadline);
}
