// Port slots, line speed and the list of ports present, from a private profile
// and a fake sysfs tree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <utility>

#include "core/host/Profile.h"
#include "core/serial/SerialPort.h"
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

// A sysfs tree: class/tty/<name> folders, devices/ behind them; by-id/ holds
// the stable links as udev makes them.
class PortListTest : public PortConfigTest {
  protected:
    using Attrs = std::vector<std::pair<std::string, std::string>>;
    fs::path Root() const { return dir_ / "class" / "tty"; }
    fs::path ById() const { return dir_ / "by-id"; }

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
        std::vector<PortInfo> got = ListPorts(Root().string(), ById().string());
        std::vector<std::string> names;
        for (const PortInfo& p : got) names.push_back(p.device);
        if (ports) *ports = got;
        return names;
    }
};

TEST_F(PortListTest, ListsOnlyPortsWithHardware) {
    EXPECT_THAT(ListPorts((dir_ / "nothing").string(), ById().string()), IsEmpty());
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

TEST_F(PortListTest, AdaptersKeepTheirStableNameAcrossAReplugAndOldProfilesStillMatch) {
    const std::string usb = "pci0000:00/0000:00:14.0/usb1/";
    // Two adapters of one make, told apart by their serial numbers only.
    auto plug = [&](const std::string& tty, const std::string& hub, const std::string& serial) {
        fs::remove_all(Root() / tty);
        AddTty(tty, usb + hub + "/" + hub + ":1.0/" + tty);
        SetAttrs(dir_ / "devices" / (usb + hub), {{"idVendor", "0403"},
                                                  {"idProduct", "6001"},
                                                  {"manufacturer", "FTDI"},
                                                  {"product", "FT232R USB UART"},
                                                  {"serial", serial}});
        const fs::path link = ById() / ("usb-FTDI_FT232R_USB_UART_" + serial + "-if00-port0");
        fs::remove(link);
        fs::create_symlink("../../" + tty, link);
    };
    fs::create_directories(ById());
    plug("ttyUSB0", "1-1", "A50285BI");
    plug("ttyUSB1", "1-2", "B7731QX2");
    AddLegacy("ttyS0", "4", "0x3F8");
    // Noise udev never makes, or that outlived its device: a plain file, a link
    // to a tty that is gone, a second link to ttyUSB1 named later in order.
    std::ofstream(ById() / "README") << "not a link\n";
    fs::create_symlink("../../ttyUSB7", ById() / "usb-Gone_Adapter-if00-port0");
    fs::create_symlink("../../ttyUSB1", ById() / "usb-zz-second-name");
    const std::string a = (ById() / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").string();
    const std::string b = (ById() / "usb-FTDI_FT232R_USB_UART_B7731QX2-if00-port0").string();

    // COM1 holds a kernel name, as profiles did before stable names; COM2 the
    // stable name of adapter A; COM3 a stable name of an adapter not plugged in.
    ASSERT_TRUE(AppProfile().WriteString("Ports", "COM1", "/dev/ttyUSB1"));
    ASSERT_TRUE(AppProfile().WriteString("Ports", "COM2", a));
    ASSERT_TRUE(AppProfile().WriteString("Ports", "COM3", (ById() / "usb-Gone").string()));
    std::vector<PortInfo> ports;
    ASSERT_THAT(Listed(&ports), ElementsAre("/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1"));
    EXPECT_EQ(ports[0].stableName, "");
    EXPECT_EQ(ports[0].Name(), "/dev/ttyS0");
    EXPECT_EQ(ports[0].serialNumber, "");
    EXPECT_EQ(ports[1].stableName, a);
    EXPECT_EQ(ports[1].Name(), a);
    EXPECT_EQ(ports[1].serialNumber, "A50285BI");
    EXPECT_EQ(ports[1].description, "FTDI FT232R USB UART");
    EXPECT_EQ(ports[2].stableName, b);
    EXPECT_EQ(ports[2].serialNumber, "B7731QX2");
    EXPECT_THAT(ports[1].comSlots, ElementsAre(1));
    EXPECT_THAT(ports[2].comSlots, ElementsAre(0));

    // Unplugged and plugged back the other way round: the kernel names swap.
    // COM2 follows adapter A; COM1 still means whatever is ttyUSB1 now.
    plug("ttyUSB1", "1-1", "A50285BI");
    plug("ttyUSB0", "1-2", "B7731QX2");
    ASSERT_THAT(Listed(&ports), ElementsAre("/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1"));
    EXPECT_EQ(ports[1].stableName, b);
    EXPECT_EQ(ports[2].stableName, a);
    EXPECT_EQ(ports[2].serialNumber, "A50285BI");
    EXPECT_THAT(ports[1].comSlots, IsEmpty());
    EXPECT_THAT(ports[2].comSlots, ElementsAre(0, 1));

    // Without the by-id folder (no udev) the ports are listed by kernel name.
    fs::remove_all(ById());
    ASSERT_THAT(Listed(&ports), ElementsAre("/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1"));
    for (const PortInfo& p : ports) EXPECT_EQ(p.Name(), p.device);
}

}  // namespace
}  // namespace qx::serial
