// Port slots, line speed and the list of ports present, from a private profile
// and a fake sysfs tree.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"
#include "host/Profile.h"
#include "serial/SerialPort.h"

namespace qx::serial {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ProfileFixture : public ::testing::Test {
  protected:
    void SetUp() override { SetAppProfile((dir_.Path() / "QuorvexI.ini").string()); }

    testing::TempDir dir_;
};

using PortConfigTest = ProfileFixture;

TEST_F(PortConfigTest, PortSlotsDefaultToLegacyDevices) {
    EXPECT_EQ(DeviceForPortIndex(0), "/dev/ttyS0");
    EXPECT_EQ(DeviceForPortIndex(3), "/dev/ttyS3");
    EXPECT_EQ(DeviceForPortIndex(-1), "");
    EXPECT_EQ(DeviceForPortIndex(4), "");
    // Reading never writes the profile.
    EXPECT_FALSE(fs::exists(dir_.Path() / "QuorvexI.ini"));
}

TEST_F(PortConfigTest, ProfileNamesAnotherDevice) {
    ASSERT_TRUE(AppProfile().WriteString("Ports", "COM2", "/dev/ttyUSB0"));
    ASSERT_TRUE(AppProfile().WriteString("Ports", "COM3", ""));
    EXPECT_EQ(DeviceForPortIndex(0), "/dev/ttyS0");
    EXPECT_EQ(DeviceForPortIndex(1), "/dev/ttyUSB0");
    EXPECT_EQ(DeviceForPortIndex(2), "/dev/ttyS2");
}

TEST_F(PortConfigTest, LineSpeedFromProfile) {
    EXPECT_EQ(ConfiguredBaud(), 9600);
    ASSERT_TRUE(AppProfile().WriteInt("Settings", "Baud Rate", 19200));
    EXPECT_EQ(ConfiguredBaud(), 19200);
    ASSERT_TRUE(AppProfile().WriteInt("Settings", "Baud Rate", 12345));
    EXPECT_EQ(ConfiguredBaud(), 9600);
    ASSERT_TRUE(AppProfile().WriteInt("Settings", "Baud Rate", -9600));
    EXPECT_EQ(ConfiguredBaud(), 9600);
    ASSERT_TRUE(AppProfile().WriteInt("Settings", "Baud Rate", 230400));
    EXPECT_EQ(ConfiguredBaud(), 230400);
}

TEST(LineSpeed, SupportedSpeedsAndByteTimes) {
    for (int baud : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400})
        EXPECT_TRUE(IsSupportedBaud(baud)) << baud;
    for (int baud : {0, 300, 9601, 460800}) EXPECT_FALSE(IsSupportedBaud(baud)) << baud;
    EXPECT_EQ(SupportedBaudOr9600(460800), 9600);
    EXPECT_EQ(ByteTimeUsAt(9600), 1042);
    EXPECT_EQ(ByteTimeUsAt(1200), 8333);
    EXPECT_EQ(ByteTimeUsAt(115200), 87);
    EXPECT_EQ(ByteTimeUsAt(0), 1042);
}

// A sysfs tree: class/tty/<name> folders, devices/ behind them.
class PortListTest : public ProfileFixture {
  protected:
    fs::path Root() const { return dir_.Path() / "class" / "tty"; }

    // A class entry whose device link points at devices/<devicePath>.
    fs::path AddTty(const std::string& name, const std::string& devicePath) {
        fs::path node = Root() / name;
        fs::create_directories(node);
        if (!devicePath.empty()) {
            fs::path target = dir_.Path() / "devices" / devicePath;
            fs::create_directories(target);
            fs::create_directory_symlink(fs::relative(target, node), node / "device");
        }
        return node;
    }
    void Attr(const fs::path& dir, const std::string& file, const std::string& text) {
        dir_.Write(fs::relative(dir / file, dir_.Path()).string(), text + "\n");
    }
    void AddLegacy(const std::string& name, const std::string& type, const std::string& port) {
        fs::path node = AddTty(name, "platform/serial8250");
        Attr(node, "type", type);
        Attr(node, "port", port);
        Attr(node, "iomem_base", "0x0");
    }

    static std::vector<std::string> Devices(const std::vector<PortInfo>& ports) {
        std::vector<std::string> names;
        for (const PortInfo& p : ports) names.push_back(p.device);
        return names;
    }
};

TEST_F(PortListTest, ListsOnlyPortsWithHardware) {
    AddTty("tty0", "");
    AddTty("console", "");
    AddTty("ttyS3", "");  // no device link at all
    AddLegacy("ttyS0", "4", "0x3F8");
    AddLegacy("ttyS1", "0", "0x2F8");  // slot with no UART answering
    AddLegacy("ttyS2", "4", "0x3E8");
    AddLegacy("ttyS4", "4", "0x0");  // no I/O address
    AddLegacy("ttyS10", "4", "0x2E8");
    fs::path mmio = AddTty("ttyS5", "platform/soc/fe215040.serial");
    Attr(mmio, "type", "1");
    Attr(mmio, "port", "0x0");
    Attr(mmio, "iomem_base", "0xFE215040");

    auto ports = ListPorts(Root().string());
    EXPECT_THAT(Devices(ports),
                ElementsAre("/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS5", "/dev/ttyS10"));
    for (const PortInfo& p : ports) EXPECT_EQ(p.description, "") << p.device;
}

TEST_F(PortListTest, DescribesUsbAdaptersFromTheirDevice) {
    const std::string usb = "pci0000:00/0000:00:14.0/usb1/";
    AddTty("ttyUSB0", usb + "1-1/1-1:1.0/ttyUSB0");
    fs::path ftdi = dir_.Path() / "devices" / (usb + "1-1");
    Attr(ftdi, "idVendor", "0403");
    Attr(ftdi, "idProduct", "6001");
    Attr(ftdi, "manufacturer", "FTDI");
    Attr(ftdi, "product", "FT232R USB UART");

    AddTty("ttyUSB1", usb + "1-2/1-2:1.0/ttyUSB1");
    fs::path prolific = dir_.Path() / "devices" / (usb + "1-2");
    Attr(prolific, "idVendor", "067b");
    Attr(prolific, "manufacturer", "Prolific Technology Inc.");
    Attr(prolific, "product", "Prolific Technology Inc. USB-Serial Controller");

    AddTty("ttyACM0", usb + "1-3/1-3:1.0");
    fs::path bare = dir_.Path() / "devices" / (usb + "1-3");
    Attr(bare, "idVendor", "2341");
    Attr(bare, "idProduct", "0043");

    auto ports = ListPorts(Root().string());
    ASSERT_THAT(Devices(ports), ElementsAre("/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyUSB1"));
    EXPECT_EQ(ports[0].description, "USB device 2341:0043");
    EXPECT_EQ(ports[1].description, "FTDI FT232R USB UART");
    EXPECT_EQ(ports[2].description, "Prolific Technology Inc. USB-Serial Controller");
}

TEST_F(PortListTest, ShowsWhichComSlotsPointAtEachPort) {
    AddLegacy("ttyS0", "4", "0x3F8");
    AddLegacy("ttyS1", "4", "0x2F8");
    AddTty("ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0");
    ASSERT_TRUE(AppProfile().WriteString("Ports", "COM2", "/dev/ttyUSB0"));
    ASSERT_TRUE(AppProfile().WriteString("Ports", "COM4", "/dev/ttyUSB0"));

    auto ports = ListPorts(Root().string());
    ASSERT_THAT(Devices(ports), ElementsAre("/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"));
    EXPECT_THAT(ports[0].comSlots, ElementsAre(0));
    EXPECT_THAT(ports[1].comSlots, IsEmpty());  // COM2 was moved to the adapter
    EXPECT_THAT(ports[2].comSlots, ElementsAre(1, 3));
}

TEST_F(PortListTest, MissingOrEmptyTree) {
    EXPECT_THAT(ListPorts((dir_.Path() / "nothing").string()), IsEmpty());
    fs::create_directories(Root());
    EXPECT_THAT(ListPorts(Root().string()), IsEmpty());
}

}  // namespace
}  // namespace qx::serial
