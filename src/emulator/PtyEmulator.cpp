#include "emulator/PtyEmulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace qx::emu {

namespace {

constexpr int64_t kIdlePollUs = 200'000;
// Near the limit each byte is confirmed in the slave's queue before the next
// is judged; further away a few bytes in flight cannot overflow it.
constexpr std::size_t kConfirmMargin = 64;
constexpr int64_t kConfirmWaitUs = 2000;
// Bytes reach the host a USB packet's worth at a time, as from an adapter, not
// one wake-up per byte on either side.
constexpr std::size_t kFifoBytes = 64;

int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int QueuedAt(int fd) {
    int queued = 0;
    if (ioctl(fd, FIONREAD, &queued) != 0) return 0;
    return queued;
}

std::string Reason(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

PtyEmulator::PtyEmulator(const EmulatorConfig& config, std::size_t hostBuffer)
    : core_(config), queueLimit_(std::min(hostBuffer, kPtyQueueLimit)) {}

PtyEmulator::~PtyEmulator() {
    Stop();
}

bool PtyEmulator::Start(std::string* error) {
    if (thread_.joinable()) return true;
    auto fail = [&](const char* what) {
        if (error) *error = Reason(what);
        CloseAll();
        return false;
    };
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) return fail("posix_openpt");
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) return fail("unlockpt");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname");
    slavePath_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (slave_ < 0) return fail("open slave");
    termios tio{};
    if (tcgetattr(slave_, &tio) != 0) return fail("tcgetattr");
    cfmakeraw(&tio);
    if (tcsetattr(slave_, TCSANOW, &tio) != 0) return fail("tcsetattr");
    if (fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK) != 0) {
        return fail("fcntl");
    }
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return fail("pipe2");
    originNs_ = SteadyNs();
    stop_ = false;
    thread_ = std::thread(&PtyEmulator::Run, this);
    return true;
}

void PtyEmulator::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        Wake();
        thread_.join();
    }
    CloseAll();
}

void PtyEmulator::Vanish() {
    vanishRequested_ = true;
    Wake();
}

void PtyEmulator::Wake() {
    if (wake_[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] ssize_t ignored = write(wake_[1], &byte, 1);
    }
}

void PtyEmulator::CloseAll() {
    for (int* fd : {&master_, &slave_, &wake_[0], &wake_[1]}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

int64_t PtyEmulator::NowUs() const {
    return (SteadyNs() - originNs_) / 1000;
}

void PtyEmulator::Run() {
    // The default 50 us timer slack would add to every byte deadline; a line
    // does not wake late, so neither should its stand-in.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    uint8_t buffer[512];
    std::vector<uint8_t> out;
    while (!stop_) {
        int64_t next;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            next = core_.NextDeliveryUs(NowUs(), kFifoBytes);
            // A vanishing device still lets out what reached the FIFO before it went.
            const int64_t gone = core_.GoneAtUs();
            if (gone >= 0 && (next < 0 || gone < next)) next = gone;
        }
        const int64_t waitUs =
            next < 0 ? kIdlePollUs : std::clamp(next - NowUs(), int64_t{0}, kIdlePollUs);
        const timespec timeout{static_cast<time_t>(waitUs / 1'000'000),
                               static_cast<long>((waitUs % 1'000'000) * 1000)};
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (ppoll(fds, 2, &timeout, nullptr) < 0 && errno != EINTR) break;
        if (fds[1].revents & POLLIN) {
            while (read(wake_[0], buffer, sizeof buffer) > 0) {
            }
        }
        if (stop_) break;
        if (fds[0].revents & POLLIN) {
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n > 0) {
                std::lock_guard<std::mutex> lock(mutex_);
                core_.HostSends({buffer, static_cast<std::size_t>(n)}, NowUs());
            }
        }
        bool gone = vanishRequested_;
        out.clear();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const int64_t now = NowUs();
            gone = gone || core_.IsGone(now);
            // Woken early (the host wrote, a wake): the FIFO is not due yet.
            if (gone || (next >= 0 && now >= next)) core_.Collect(now, out);
        }
        Deliver(out);
        if (gone) {
            // Closing both ends takes the device away: the host sees a hangup.
            gone_ = true;
            std::lock_guard<std::mutex> lock(mutex_);
            for (int* fd : {&master_, &slave_}) {
                close(*fd);
                *fd = -1;
            }
            return;
        }
    }
}

void PtyEmulator::Deliver(const std::vector<uint8_t>& bytes) {
    std::size_t from = 0;
    // Far from the limit the whole lot goes in one write.
    if (!bytes.empty() &&
        static_cast<std::size_t>(QueuedAt(slave_)) + bytes.size() + kConfirmMargin < queueLimit_) {
        const ssize_t n = write(master_, bytes.data(), bytes.size());
        if (n > 0) from = static_cast<std::size_t>(n);
    }
    for (std::size_t i = from; i < bytes.size(); ++i) {
        const uint8_t byte = bytes[i];
        const auto queued = static_cast<std::size_t>(QueuedAt(slave_));
        if (queued >= queueLimit_) {
            ++dropped_;
            continue;
        }
        if (write(master_, &byte, 1) != 1) {
            ++dropped_;
            continue;
        }
        if (queued + kConfirmMargin < queueLimit_) continue;
        // The pty hands bytes to the slave's queue asynchronously; wait until
        // this one shows (or the reader has taken some) before judging the next.
        const int64_t until = NowUs() + kConfirmWaitUs;
        while (static_cast<std::size_t>(QueuedAt(slave_)) == queued && NowUs() < until) {
            const timespec pause{0, 20'000};
            nanosleep(&pause, nullptr);
        }
    }
}

EmulatorCounters PtyEmulator::Counters() {
    return WithCore([](EmulatorCore& core) { return core.Counters(); });
}

bool PtyEmulator::IsStreaming() {
    // The module as it is now: a cancel already on the line counts, though the
    // serving thread meets it only at its next hand-over.
    return WithCore([this](EmulatorCore& core) {
        core.NextByteUs(NowUs());
        return core.IsStreaming();
    });
}

uint8_t PtyEmulator::Peek(uint16_t address) {
    return WithCore([&](EmulatorCore& core) { return core.Peek(address); });
}

void PtyEmulator::Poke(uint16_t address, uint8_t value) {
    WithCore([&](EmulatorCore& core) { core.Poke(address, value); });
}

void PtyEmulator::SetFaultProbability(Fault fault, double probability) {
    WithCore([&](EmulatorCore& core) { core.SetFaultProbability(fault, probability); });
}

void PtyEmulator::ArmFault(Fault fault, int count, int skip) {
    WithCore([&](EmulatorCore& core) { core.ArmFault(fault, count, skip); });
}

void PtyEmulator::ClearFaults() {
    WithCore([&](EmulatorCore& core) { core.ClearFaults(); });
}

}  // namespace qx::emu
