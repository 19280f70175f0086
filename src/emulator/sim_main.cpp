// quorvexi-sim: serves an emulated ignition module on a pseudo-terminal. The
// first line on stdout is the device to open; it serves until SIGINT/SIGTERM.
#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>

#include "QxVersion.h"
#include "emulator/PtyEmulator.h"

namespace {

constexpr const char* kUsage =
    "usage: quorvexi-sim [options]\n"
    "Serves an emulated ignition module on a pseudo-terminal and prints its device path.\n"
    "  --firmware BYTE      firmware version byte (default 0x10 = 1.0; 0x11, 0x20, ...)\n"
    "  --baud N             line speed in bits per second (default 9600)\n"
    "  --turnaround MS      delay before each answer in milliseconds (default 1)\n"
    "  --adapter-latency MS model a USB adapter that holds received bytes for MS\n"
    "                       milliseconds or until 62 wait (16: the usual timer, 1: low\n"
    "                       latency; default 0, a plain line)\n"
    "  --random N           start of the fault generator and the battery noise (default 1)\n"
    "  --serial N           serial number at 0xB7FE (default 42)\n"
    "  --fault NAME[:PROB]  inject a fault with probability PROB per exchange (default 1);\n"
    "                       repeatable\n"
    "  --fault-next NAME:N[:SKIP]\n"
    "                       inject a fault on N exchanges after the next SKIP (default 0);\n"
    "                       repeatable\n"
    "                       NAME: silent, nak, checksum, drop, garbage, swallow-ack, flood, "
    "vanish,\n"
    "                       slow (answers 3 s late)\n"
    "  --help               this text\n"
    "  --version            the version of quorvexi-sim\n";

bool ParseUnsigned(std::string_view text, unsigned long max, unsigned long& out) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    unsigned long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || value > max) {
        return false;
    }
    out = value;
    return true;
}

bool ParseDouble(std::string_view text, double& out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

struct FaultSetting {
    qx::emu::Fault fault;
    double probability = 1.0;
    int next = 0;
    int skip = 0;
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "quorvexi-sim: %s\n%s", message.c_str(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    qx::emu::EmulatorConfig config;
    std::vector<FaultSetting> faults;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (option == "--version") {
            std::printf("quorvexi-sim %s\n", qx::kVersion);
            return 0;
        }
        if (i + 1 >= argc) return Fail("missing value or unknown option: " + std::string(option));
        const std::string_view value = argv[++i];
        unsigned long number = 0;
        if (option == "--firmware") {
            if (!ParseUnsigned(value, 0xFF, number)) return Fail("bad firmware byte");
            config.firmware = static_cast<uint8_t>(number);
        } else if (option == "--baud") {
            if (!ParseUnsigned(value, 4'000'000, number) || number < 50) return Fail("bad baud");
            config.baud = static_cast<int>(number);
        } else if (option == "--turnaround") {
            double ms = 0;
            if (!ParseDouble(value, ms) || ms < 0 || ms > 10'000) return Fail("bad turnaround");
            config.turnaroundUs = static_cast<int64_t>(ms * 1000.0);
        } else if (option == "--adapter-latency") {
            double ms = 0;
            if (!ParseDouble(value, ms) || ms < 0 || ms > 255) return Fail("bad adapter latency");
            config.adapterHoldUs = static_cast<int64_t>(ms * 1000.0);
        } else if (option == "--random") {
            if (!ParseUnsigned(value, 0xFFFFFFFFUL, number)) return Fail("bad random key");
            config.randomKey = static_cast<uint32_t>(number);
        } else if (option == "--serial") {
            if (!ParseUnsigned(value, 0xFFFF, number)) return Fail("bad serial number");
            config.serialNumber = static_cast<uint16_t>(number);
        } else if (option == "--fault" || option == "--fault-next") {
            const std::size_t colon = value.find(':');
            const auto fault = qx::emu::FaultFromName(value.substr(0, colon));
            if (!fault) return Fail("unknown fault: " + std::string(value.substr(0, colon)));
            FaultSetting setting{*fault};
            const std::string_view rest =
                colon == std::string_view::npos ? std::string_view() : value.substr(colon + 1);
            if (option == "--fault") {
                if (!rest.empty() && (!ParseDouble(rest, setting.probability) ||
                                      setting.probability < 0 || setting.probability > 1)) {
                    return Fail("bad fault probability");
                }
            } else {
                const std::size_t second = rest.find(':');
                unsigned long skip = 0;
                if (!ParseUnsigned(rest.substr(0, second), 1'000'000, number) ||
                    (second != std::string_view::npos &&
                     !ParseUnsigned(rest.substr(second + 1), 1'000'000, skip))) {
                    return Fail("bad fault count");
                }
                setting.probability = 0;
                setting.next = static_cast<int>(number);
                setting.skip = static_cast<int>(skip);
            }
            faults.push_back(setting);
        } else {
            return Fail("unknown option: " + std::string(option));
        }
    }

    // Block the signals before the serving thread starts, so only sigtimedwait sees them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    qx::emu::PtyEmulator emulator(config);
    for (const FaultSetting& f : faults) {
        if (f.probability > 0) emulator.SetFaultProbability(f.fault, f.probability);
        if (f.next > 0) emulator.ArmFault(f.fault, f.next, f.skip);
    }
    std::string error;
    if (!emulator.Start(&error)) {
        std::fprintf(stderr, "quorvexi-sim: cannot open a pseudo-terminal: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", emulator.SlavePath().c_str());
    std::fflush(stdout);

    const timespec tick{0, 200'000'000};
    int exitCode = 0;
    for (;;) {
        if (sigtimedwait(&signals, nullptr, &tick) > 0) break;
        if (emulator.IsGone()) {
            std::fprintf(stderr, "quorvexi-sim: the device has vanished\n");
            exitCode = 3;
            break;
        }
    }
    emulator.Stop();
    const qx::emu::EmulatorCounters counters = emulator.Counters();
    std::fprintf(stderr,
                 "quorvexi-sim: received %llu bytes, sent %llu, %zu writes, %d monitor starts, "
                 "%d cancels, %d NAKs, %llu bytes lost to a full receive buffer\n",
                 static_cast<unsigned long long>(counters.bytesReceived),
                 static_cast<unsigned long long>(counters.bytesSent), counters.writes.size(),
                 counters.monitorStarts, counters.cancels, counters.naksSent,
                 static_cast<unsigned long long>(emulator.DroppedBytes()));
    return exitCode;
}
