// Port slots, line speed and the list of ports present, from a private profile
// and a fake sysfs tree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <utility>

#include "host/Profile.h"
#include "serial/SerialPort.h"
#include "support/FakeHost.h"

namespace qx::serial {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Installs a private profile in a temporary folder.
class PortConfigTest : public ::testing::Test {
  protected:
    ScopedFakeHost scope_;
    fs::path dir_ = scope_.TempDir();
};

TEST_F(PortConfigTest, PortSlotsDefaultToLegacyDevicesUnlessTheProfileNamesAnother) {
    EXPECT_EQ(DeviceForPortIndex(0), "/dev/ttyS0");
    EXPECT_EQ(DeviceForPortIndex(3), "/dev/ttyS3");
    EXPECT_EQ(DeviceForPortIndex(-1), "");
    EXPECT_EQ(DeviceForPortIndex(4), "");
    EXPECT_EQ(ConfiguredBaud(), 9600);
    EXPECT_FALSE(fs::exists(scope_.ProfilePath()));  // reading never writes the profile

    ASSERT_TRUE(AppProfile().WriteString("Ports", "COM2", "/dev/ttyUSB0"));
    ASSERT_TRUE(AppProfile().WriteString("Ports", "COM3", ""));
    EXPECT_EQ(DeviceForPortIndex(0), "/dev/ttyS0");
    EXPECT_EQ(DeviceForPortIndex(1), "/dev/ttyUSB0");
    EXPECT_EQ(DeviceForPortIndex(2), "/dev/ttyS2");
}

// A sysfs tree: class/tty/<name> folders, devices/ behind them.
class PortListTest : public PortConfigTest {
  protected:
    using Attrs = std::vector<std::pair<std::string, std::string>>;
    fs::path Root() const { return dir_ / "class" / "tty"; }

    static void SetAttrs(const fs::path& folder, const Attrs& attrs) {
        fs::create_directories(folder);
        for (const auto& [file, text] : attrs) std::ofstream(folder / file) << text << "\n";
    }
    // A class entry whose device link points at devices/<devicePath>.
    void AddTty(const std::string& name, const std::string& devicePath, const Attrs& attrs = {}) {
        const fs::path node = Root() / name;
        SetAttrs(node, attrs);
        if (devicePath.empty()) return;
        const fs::path target = dir_ / "devices" / devicePath;
        fs::create_directories(target);
        fs::create_directory_symlink(fs::relative(target, node), node / "device");
    }
    void AddLegacy(const std::string& name, const std::string& type, const std::string& port) {
        AddTty(name, "platform/serial8250",
               {{"type", type}, {"port", port}, {"iomem_base", "0x0"}});
    }
    std::vector<std::string> Listed(std::vector<PortInfo>* ports = nullptr) const {
        std::vector<PortInfo> got = ListPorts(Root().string());
        std::vector<std::string> names;
        for (const PortInfo& p : got) names.push_back(p.device);
        if (ports) *ports = got;
        return names;
    }
};

TEST_F(PortListTest, ListsOnlyPortsWithHardware) {
    EXPECT_THAT(ListPorts((dir_ / "nothing").string()), IsEmpty());
    fs::create_directories(Root());
    EXPECT_THAT(Listed(), IsEmpty());

    AddTty("tty0", "");
    AddTty("console", "");
    AddTty("ttyS3", "");  // no device link at all
    AddLegacy("ttyS0", "4", "0x3F8");
    AddLegacy("ttyS1", "0", "0x2F8");  // slot with no UART answering
    AddLegacy("ttyS2", "4", "0x3E8");
    AddLegacy("ttyS4", "4", "0x0");  // no I/O address
    AddLegacy("ttyS10", "4", "0x2E8");
    AddTty("ttyS5", "platform/soc/fe215040.serial",
           {{"type", "1"}, {"port", "0x0"}, {"iomem_base", "0xFE215040"}});
    std::vector<PortInfo> ports;
    EXPECT_THAT(Listed(&ports),
                ElementsAre("/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS5", "/dev/ttyS10"));
    for (const PortInfo& p : ports) EXPECT_EQ(p.description, "") << p.device;
}

TEST_F(PortListTest, DescribesUsbAdaptersAndShowsTheirComSlots) {
    const std::string usb = "pci0000:00/0000:00:14.0/usb1/";
    AddTty("ttyUSB0", usb + "1-1/1-1:1.0/ttyUSB0");
    SetAttrs(dir_ / "devices" / (usb + "1-1"), {{"idVendor", "0403"},
                                                {"idProduct", "6001"},
                                                {"manufacturer", "FTDI"},
                                                {"product", "FT232R USB UART"}});
    AddTty("ttyUSB1", usb + "1-2/1-2:1.0/ttyUSB1");
    SetAttrs(dir_ / "devices" / (usb + "1-2"),
             {{"idVendor", "067b"},
              {"manufacturer", "Prolific Technology Inc."},
              {"product", "Prolific Technology Inc. USB-Serial Controller"}});
    AddTty("ttyACM0", usb + "1-3/1-3:1.0");
    SetAttrs(dir_ / "devices" / (usb + "1-3"), {{"idVendor", "2341"}, {"idProduct", "0043"}});

    // And which COM slots point at each port.
    AddLegacy("ttyS0", "4", "0x3F8");
    AddLegacy("ttyS1", "4", "0x2F8");
    ASSERT_TRUE(AppProfile().WriteString("Ports", "COM2", "/dev/ttyUSB0"));
    ASSERT_TRUE(AppProfile().WriteString("Ports", "COM4", "/dev/ttyUSB0"));
    std::vector<PortInfo> ports;
    ASSERT_THAT(Listed(&ports), ElementsAre("/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS1",
                                            "/dev/ttyUSB0", "/dev/ttyUSB1"));
    EXPECT_EQ(ports[0].description, "USB device 2341:0043");
    EXPECT_EQ(ports[3].description, "FTDI FT232R USB UART");
    EXPECT_EQ(ports[4].description, "Prolific Technology Inc. USB-Serial Controller");
    EXPECT_THAT(ports[0].comSlots, IsEmpty());
    EXPECT_THAT(ports[1].comSlots, ElementsAre(0));
    EXPECT_THAT(ports[2].comSlots, IsEmpty());  // COM2 was moved to the adapter
    EXPECT_THAT(ports[3].comSlots, ElementsAre(1, 3));
}

}  // namespace
}  // namespace qx::serial
