#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>

#include "core/serial/SerialPort.h"

namespace qx::serial {
namespace {

namespace fs = std::filesystem;

// The first line of a sysfs attribute file, trimmed; "" when unreadable.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    line.erase(line.begin(), std::find_if(line.begin(), line.end(), notSpace));
    line.erase(std::find_if(line.rbegin(), line.rend(), notSpace).base(), line.end());
    return line;
}

bool ReadsAsZero(const std::string& text) {
    if (text.empty()) return false;
    try {
        std::size_t used = 0;
        unsigned long long value = std::stoull(text, &used, 0);
        return used == text.size() && value == 0;
    } catch (const std::exception&) {
        return false;
    }
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The 8250 driver registers every legacy slot whether a UART answers there or
// not; an unanswered one has type 0 (unknown) or no I/O address at all.
bool LegacySlotWithoutHardware(const fs::path& node) {
    if (ReadsAsZero(ReadAttribute(node / "type"))) return true;
    std::string port = ReadAttribute(node / "port");
    std::string iomem = ReadAttribute(node / "iomem_base");
    bool noPort = port.empty() || ReadsAsZero(port);
    bool noMem = iomem.empty() || ReadsAsZero(iomem);
    return (!port.empty() || !iomem.empty()) && noPort && noMem;
}

struct UsbIdentity {
    std::string description;  // "Manufacturer Product", or ""
    std::string serialNumber;
};

// What the USB device above the tty says about itself; empty when there is none.
UsbIdentity UsbIdentityOf(const fs::path& deviceDir, const fs::path& root) {
    std::error_code ec;
    fs::path dir = fs::canonical(deviceDir, ec);
    if (ec) return {};
    fs::path stop = fs::weakly_canonical(root, ec);
    for (int level = 0; level < 6 && !dir.empty() && dir != dir.root_path(); ++level) {
        if (dir == stop) break;
        std::string vendor = ReadAttribute(dir / "idVendor");
        if (!vendor.empty()) {
            UsbIdentity id;
            id.serialNumber = ReadAttribute(dir / "serial");
            std::string maker = ReadAttribute(dir / "manufacturer");
            std::string product = ReadAttribute(dir / "product");
            if (product.empty())
                product = "USB device " + vendor + ":" + ReadAttribute(dir / "idProduct");
            id.description =
                maker.empty() || StartsWith(product, maker) ? product : maker + " " + product;
            return id;
        }
        dir = dir.parent_path();
    }
    return {};
}

// tty name -> its link in byIdRoot. udev points each link at ../../ttyUSB0, so
// the target's last component names the tty; the target itself is not followed,
// which keeps a tree built elsewhere (tests) meaningful. With several links to
// one tty the first in name order wins, so the choice is the same every time.
std::map<std::string, std::string> StableNames(const std::string& byIdRoot) {
    std::map<std::string, std::string> names;
    std::error_code ec;
    fs::directory_iterator it(byIdRoot, ec), end;
    if (ec) return names;
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        std::error_code linkEc;
        fs::path target = fs::read_symlink(it->path(), linkEc);
        if (linkEc || !target.has_filename()) continue;
        std::string link = (fs::path(byIdRoot) / it->path().filename()).string();
        auto [slot, added] = names.emplace(target.filename().string(), link);
        if (!added && link < slot->second) slot->second = link;
    }
    return names;
}

// ttyS2 before ttyS10: digit runs compare by value.
bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) &&
            std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
            std::string da = a.substr(i, ei - i), db = b.substr(j, ej - j);
            da.erase(0, std::min(da.find_first_not_of('0'), da.size()));
            db.erase(0, std::min(db.find_first_not_of('0'), db.size()));
            if (da.size() != db.size()) return da.size() < db.size();
            if (da != db) return da < db;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

bool SameDevice(const std::string& a, const std::string& b) {
    if (a == b) return true;
    std::error_code ea, eb;
    fs::path ca = fs::weakly_canonical(a, ea), cb = fs::weakly_canonical(b, eb);
    return !ea && !eb && ca == cb;
}

}  // namespace

std::vector<PortInfo> ListPorts(const std::string& sysfsRoot, const std::string& byIdRoot) {
    std::vector<PortInfo> ports;
    std::error_code ec;
    fs::directory_iterator it(sysfsRoot, ec), end;
    if (ec) return ports;
    std::vector<std::string> comDevices;
    for (int i = 0; i < 4; ++i) comDevices.push_back(DeviceForPortIndex(i));
    const std::map<std::string, std::string> stable = StableNames(byIdRoot);

    for (; it != end; it.increment(ec)) {
        if (ec) break;
        fs::path node = it->path();
        std::string name = node.filename().string();
        std::error_code linkEc;
        // Virtual consoles, ptys and the console have no device behind them.
        if (!fs::exists(node / "device", linkEc)) continue;
        if (StartsWith(name, "ttyS") && LegacySlotWithoutHardware(node)) continue;

        PortInfo info;
        info.device = "/dev/" + name;
        UsbIdentity usb = UsbIdentityOf(node / "device", sysfsRoot);
        info.description = std::move(usb.description);
        info.serialNumber = std::move(usb.serialNumber);
        if (auto found = stable.find(name); found != stable.end()) info.stableName = found->second;
        // The same file as /sys/bus/usb-serial/devices/<tty>/latency_timer.
        const std::string timer = ReadAttribute(node / "device" / "latency_timer");
        if (!timer.empty() && timer.size() <= 3 &&
            std::all_of(timer.begin(), timer.end(),
                        [](unsigned char c) { return std::isdigit(c); }))
            info.latencyTimerMs = std::stoi(timer);
        // A profile may hold the kernel name (older profiles), the stable name,
        // or another link to the same device.
        for (int i = 0; i < 4; ++i) {
            const std::string& com = comDevices[static_cast<std::size_t>(i)];
            if (info.IsNamed(com) || (!com.empty() && SameDevice(com, info.device)))
                info.comSlots.push_back(i);
        }
        ports.push_back(std::move(info));
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortInfo& a, const PortInfo& b) { return NaturalLess(a.device, b.device); });
    return ports;
}

}  // namespace qx::serial
