#include "core/host/Clock.h"

#include <cerrno>
#include <ctime>

namespace qx {

int64_t SteadyClock::NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void SteadyClock::SleepMs(int ms) {
    if (ms <= 0) return;
    // An absolute deadline, so a signal that interrupts the sleep does not stretch it.
    timespec until{};
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += ms / 1000;
    until.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_nsec -= 1000000000L;
        ++until.tv_sec;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

Clock& RealClock() {
    static SteadyClock clock;
    return clock;
}

}  // namespace qx
