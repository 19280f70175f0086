#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "serial/SerialPort.h"

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

// "Manufacturer Product" of the USB device above the tty, or "".
std::string UsbDescription(const fs::path& deviceDir, const fs::path& root) {
    std::error_code ec;
    fs::path dir = fs::canonical(deviceDir, ec);
    if (ec) return {};
    fs::path stop = fs::weakly_canonical(root, ec);
    for (int level = 0; level < 6 && !dir.empty() && dir != dir.root_path(); ++level) {
        if (dir == stop) break;
        std::string vendor = ReadAttribute(dir / "idVendor");
        if (!vendor.empty()) {
            std::string maker = ReadAttribute(dir / "manufacturer");
            std::string product = ReadAttribute(dir / "product");
            if (product.empty())
                product = "USB device " + vendor + ":" + ReadAttribute(dir / "idProduct");
            if (maker.empty() || StartsWith(product, maker)) return product;
            return maker + " " + product;
        }
        dir = dir.parent_path();
    }
    return {};
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

std::vector<PortInfo> ListPorts(const std::string& sysfsRoot) {
    std::vector<PortInfo> ports;
    std::error_code ec;
    fs::directory_iterator it(sysfsRoot, ec), end;
    if (ec) return ports;
    std::vector<std::string> comDevices;
    for (int i = 0; i < 4; ++i) comDevices.push_back(DeviceForPortIndex(i));

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
        info.description = UsbDescription(node / "device", sysfsRoot);
        for (int i = 0; i < 4; ++i)
            if (!comDevices[i].empty() && SameDevice(comDevices[i], info.device))
                info.comSlots.push_back(i);
        ports.push_back(std::move(info));
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortInfo& a, const PortInfo& b) { return NaturalLess(a.device, b.device); });
    return ports;
}

}  // namespace qx::serial
