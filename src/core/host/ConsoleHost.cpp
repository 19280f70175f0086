#include "core/host/ConsoleHost.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>

#include "core/host/Clock.h"
#include "core/serial/SerialPort.h"

namespace qx {

namespace {

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_signalQuit = 0;

extern "C" void OnQuitSignal(int sig) {
    if (g_signalQuit) {
        // A second Ctrl+C: the program did not stop in time, end it the usual way.
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    g_signalQuit = 1;
    int saved = errno;
    if (g_pipe[1] >= 0) {
        char byte = 'q';
        [[maybe_unused]] ssize_t n = write(g_pipe[1], &byte, 1);
    }
    errno = saved;
}

// One printable line: line breaks become " / ".
std::string OneLine(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') continue;
        if (c == '\n') {
            out += " / ";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

ConsoleHost::ConsoleHost(bool assumeYes)
    : assumeYes_(assumeYes), traceToStream_(TraceRequested()) {}

ConsoleHost::~ConsoleHost() = default;

bool ConsoleHost::InstallSignalHandlers() {
    if (g_pipe[0] < 0) {
        if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            g_pipe[0] = g_pipe[1] = -1;
            return false;
        }
    }
    struct sigaction sa {};
    sa.sa_handler = OnQuitSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &sa, nullptr) == 0 && sigaction(SIGTERM, &sa, nullptr) == 0 &&
           sigaction(SIGHUP, &sa, nullptr) == 0;
}

void ConsoleHost::ClearSignalQuit() {
    g_signalQuit = 0;
    if (g_pipe[0] >= 0) {
        char buffer[64];
        while (read(g_pipe[0], buffer, sizeof buffer) > 0) {
        }
    }
}

MsgResult ConsoleHost::MessageBox(std::string_view text, std::string_view caption,
                                  MsgButtons buttons, MsgIcon) {
    std::string line = OneLine(caption) + ": " + OneLine(text);
    std::fprintf(err_, "%s\n", line.c_str());
    std::fflush(err_);
    shown_.push_back(std::move(line));
    // Nobody can answer: take the button that does nothing further.
    switch (buttons) {
        case MsgButtons::Ok:
            return MsgResult::Ok;
        case MsgButtons::OkCancel:
        case MsgButtons::RetryCancel:
            return MsgResult::Cancel;
        case MsgButtons::YesNo:
            return assumeYes_ ? MsgResult::Yes : MsgResult::No;
        case MsgButtons::YesNoCancel:
            return assumeYes_ ? MsgResult::Yes : MsgResult::Cancel;
    }
    return MsgResult::Cancel;
}

void ConsoleHost::Beep(BeepKind) {
    if (beepEnabled_ && isatty(fileno(err_))) {
        std::fputc('\a', err_);
        std::fflush(err_);
    }
}

void ConsoleHost::ShowWaitWindow(std::string_view text) {
    if (!verbose_) return;
    std::fprintf(err_, "%s\n", OneLine(text).c_str());
    std::fflush(err_);
}

bool ConsoleHost::IsQuitting() {
    return quitting_ || g_signalQuit;
}

bool ConsoleHost::HasPendingEvent() {
    return IsQuitting() || !posted_.empty();
}

bool ConsoleHost::DispatchOneEvent() {
    if (IsQuitting()) return false;
    if (!posted_.empty()) {
        auto fn = std::move(posted_.front());
        posted_.pop_front();
        fn();
    }
    return !IsQuitting();
}

bool ConsoleHost::DispatchPendingEvents() {
    while (!IsQuitting() && !posted_.empty()) DispatchOneEvent();
    return !IsQuitting();
}

std::size_t ConsoleHost::RunPosted() {
    std::size_t ran = 0;
    while (!posted_.empty()) {
        auto fn = std::move(posted_.front());
        posted_.pop_front();
        fn();
        ++ran;
    }
    return ran;
}

void ConsoleHost::RouteCommand(int commandId) {
    if (commandHandler_) commandHandler_(commandId);
}

void ConsoleHost::PostQuit(int exitCode) {
    quitting_ = true;
    exitCode_ = exitCode;
}

void ConsoleHost::Trace(std::string_view text) {
    traceLog_.append(text);
    if (traceToStream_) {
        std::fwrite(text.data(), 1, text.size(), err_);
        std::fflush(err_);
    }
}

Clock& ConsoleHost::GetClock() {
    return RealClock();
}

bool ConsoleHost::PollOnce(int portFd, short portEvents, bool dispatch, int ms, bool* readable) {
    if (readable) *readable = false;
    pollfd fds[2];
    nfds_t n = 0;
    int portSlot = -1;
    if (portFd >= 0) {
        portSlot = static_cast<int>(n);
        fds[n++] = pollfd{portFd, portEvents, 0};
    }
    if (dispatch && g_pipe[0] >= 0) fds[n++] = pollfd{g_pipe[0], POLLIN, 0};
    int r = poll(n ? fds : nullptr, n, ms);
    if (r <= 0) return false;  // time passed, or a signal: the caller looks again
    if (portSlot < 0) return false;
    const short revents = fds[portSlot].revents;
    if (revents & (POLLHUP | POLLERR | POLLNVAL)) return true;
    if (readable) *readable = (revents & POLLIN) != 0;
    return false;
}

WaitOutcome ConsoleHost::Wait(const WaitRequest& request) {
    Clock& clock = GetClock();
    serial::SerialPort* port = request.port;
    const bool wantBytes = port && request.minBytes > 0;
    const int timeoutMs = std::max(0, request.timeoutMs);
    const int64_t deadline = clock.NowMs() + timeoutMs;
    // An in-memory line keeps its own time; its waits are counted against the budget.
    int64_t lineBudget = timeoutMs;
    for (;;) {
        if (request.dispatch && HasPendingEvent()) return WaitOutcome::UiEvent;
        // Bytes first: the answer that woke the wait is taken without a poll
        // for a hangup, which costs more than the count on a tty.
        const std::size_t have = wantBytes ? port->RXCount() : 0;
        if (wantBytes && have >= request.minBytes) return WaitOutcome::Ready;
        if (port && port->IsGone()) return WaitOutcome::DeviceGone;
        const int fd = port ? port->PollFd() : -1;

        if (wantBytes && fd < 0) {
            if (lineBudget <= 0) return WaitOutcome::Timeout;
            // With dispatch allowed, look at the signal pipe every 50 ms.
            int slice =
                static_cast<int>(request.dispatch ? std::min<int64_t>(lineBudget, 50) : lineBudget);
            WaitOutcome outcome = port->WaitForBytes(request.minBytes, slice);
            if (outcome != WaitOutcome::Timeout) return outcome;
            lineBudget -= slice;
            continue;
        }

        const int64_t remaining = deadline - clock.NowMs();
        if (remaining <= 0) return wantBytes ? WaitOutcome::Timeout : WaitOutcome::Ready;
        const int slice = static_cast<int>(std::min<int64_t>(remaining, INT_MAX));
        if (wantBytes && have > 0) {
            // Part of the bytes are here: sleep about the wire time of the rest
            // instead of waking for every byte.
            const long long us =
                static_cast<long long>(request.minBytes - have) * std::max(1, port->ByteTimeUs());
            const int ms = static_cast<int>(std::clamp<long long>((us + 999) / 1000, 1, slice));
            if (PollOnce(fd, 0, request.dispatch, ms)) return WaitOutcome::DeviceGone;
            continue;
        }
        // With no bytes wanted the port is watched only for a hang-up.
        bool readable = false;
        if (PollOnce(fd, wantBytes ? POLLIN : 0, request.dispatch, slice, &readable)) {
            return WaitOutcome::DeviceGone;
        }
        // Readable is one byte at least: an awaited ACK is read at once,
        // without counting it first.
        if (readable && request.minBytes == 1) return WaitOutcome::Ready;
    }
}

}  // namespace qx
