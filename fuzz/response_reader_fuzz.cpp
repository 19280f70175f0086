// Feeds arbitrary bytes to the link as a module's answer. The first byte picks
// the destination's capacity (0 to 130), the second whether the reader waits
// for the first byte; the rest arrives on the line. Nothing may crash and no
// byte may be stored outside the destination, whose guard bytes are checked.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "core/host/Host.h"
#include "core/host/Profile.h"
#include "core/link/CommPort.h"
#include "core/monitor/RamMonitor.h"
#include "support/FakeHost.h"
#include "support/MemoryLine.h"
#include "support/ScriptedDevice.h"

namespace {

constexpr std::size_t kGuard = 32;
constexpr uint8_t kGuardByte = 0xA5;

qx::FakeHost& Host() {
    static qx::FakeHost* host = [] {
        // Never written: the link writes the profile only when a setting changes.
        qx::SetAppProfile("/nonexistent/quorvexi-fuzz.ini");
        auto* h = new qx::FakeHost();
        qx::SetCurrentHost(h);
        return h;
    }();
    return *host;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    qx::FakeHost& host = Host();
    host.ClearRecords();
    qx::RamMonitor::ResetInstance();
    qx::CommPort::ResetInstance();

    qx::test::ScriptedDevice device;
    device.Expect({0x02, 0x01, 0x00, 0x00, 0x00, 0x03}, qx::test::Frame(0x80, {0x1A}));
    qx::serial::MemoryLine* line = nullptr;
    qx::CommPort& port = qx::CommPort::Instance();
    port.SetPortOpener([&](int, qx::serial::OpenError*) {
        auto opened = std::make_unique<qx::serial::MemoryLine>(host.clock(), &device);
        line = opened.get();
        return std::unique_ptr<qx::serial::SerialPort>(std::move(opened));
    });
    if (!port.EstablishLink() || !line) std::abort();

    const std::size_t capacity = data[0] % 131;
    const bool wait = (data[1] & 1) != 0;
    line->Feed(std::vector<uint8_t>(data + 2, data + size));

    std::vector<uint8_t> buffer(capacity + 2 * kGuard, kGuardByte);
    uint8_t type = 0;
    qx::CommPort::CommError error = qx::CommPort::CommError::NoError;
    const bool ok = port.ReadResponse(type, buffer.data() + kGuard, capacity, &error, wait);
    for (std::size_t i = 0; i < kGuard; ++i) {
        if (buffer[i] != kGuardByte || buffer[kGuard + capacity + i] != kGuardByte) std::abort();
    }
    if (ok != (error == qx::CommPort::CommError::NoError)) std::abort();

    // The monitor reads the same bytes into its fixed image; then recovery runs.
    qx::RamMonitor::Instance().UpdateRamImage(nullptr);
    port.ResetError();

    qx::CommPort::ResetInstance();
    qx::RamMonitor::ResetInstance();
    return 0;
}
