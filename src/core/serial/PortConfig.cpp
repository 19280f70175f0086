#include <sys/stat.h>

#include <string>

#include "core/host/Profile.h"
#include "core/serial/SerialPort.h"

namespace qx::serial {

namespace {
constexpr int kPortCount = 4;
}  // namespace

bool IsValidBaud(int baud) {
    return baud >= kMinBaud && baud <= kMaxBaud;
}

bool BaudMatches(int actual, int asked) {
    if (actual <= 0 || asked <= 0) return false;
    const long long diff = actual > asked ? actual - asked : asked - actual;
    return diff * 100 <= static_cast<long long>(asked) * kBaudTolerancePercent;
}

bool DevicePresent(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

int ByteTimeUsAt(int baud) {
    if (!IsValidBaud(baud)) baud = kDefaultBaud;
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

std::string BaudSettingProblem() {
    const Profile& profile = AppProfile();
    // An empty value is no value: the default stands, as for a port.
    if (profile.GetString("Settings", "Baud Rate", "").find_first_not_of(" \t") ==
        std::string::npos)
        return {};
    if (IsValidBaud(profile.GetInt("Settings", "Baud Rate", 0))) return {};
    return "the profile's Baud Rate \"" + profile.GetString("Settings", "Baud Rate", "") +
           "\" is no line speed (" + std::to_string(kMinBaud) + " to " + std::to_string(kMaxBaud) +
           " baud) in " + profile.Path();
}

int ConfiguredBaud() {
    const int baud = AppProfile().GetInt("Settings", "Baud Rate", kDefaultBaud);
    return IsValidBaud(baud) ? baud : kDefaultBaud;
}

}  // namespace qx::serial
