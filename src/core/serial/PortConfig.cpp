#include <array>
#include <string>

#include "host/Profile.h"
#include "serial/SerialPort.h"

namespace qx::serial {

namespace {
constexpr std::array<int, 9> kSpeeds = {1200,  2400,  4800,   9600,  19200,
                                        38400, 57600, 115200, 230400};
constexpr int kPortCount = 4;
}  // namespace

bool IsSupportedBaud(int baud) {
    for (int speed : kSpeeds)
        if (speed == baud) return true;
    return false;
}

int SupportedBaudOr9600(int baud) {
    return IsSupportedBaud(baud) ? baud : kDefaultBaud;
}

int ByteTimeUsAt(int baud) {
    baud = SupportedBaudOr9600(baud);
    return (10 * 1000000 + baud / 2) / baud;
}

std::string DeviceForPortIndex(int index) {
    if (index < 0 || index >= kPortCount) return {};
    std::string key = "COM" + std::to_string(index + 1);
    std::string fallback = "/dev/ttyS" + std::to_string(index);
    std::string device = AppProfile().GetString("Ports", key, fallback);
    // A key left empty is no device: the default stands.
    return device.empty() ? fallback : device;
}

int ConfiguredBaud() {
    return SupportedBaudOr9600(AppProfile().GetInt("Settings", "Baud Rate", kDefaultBaud));
}

}  // namespace qx::serial
