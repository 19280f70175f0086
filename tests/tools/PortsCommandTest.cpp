// qvx ports on a sysfs and by-id tree built in a temporary folder, --port with a
// stable name, and --version.
#include <gtest/gtest.h>

#include <regex>

#include "ToolTestUtil.h"

namespace qx::qvx::test {
namespace {

namespace fs = std::filesystem;

class QvxPorts : public ToolTest {
  protected:
    void SetUp() override {
        ToolTest::SetUp();
        sysfsRoot = Path("class/tty");
        byIdRoot = Path("by-id");
        fs::create_directories(byIdRoot);
    }
    // A tty whose device link points at devices/<device>; attrs go to devices/<usb>.
    void AddTty(const std::string& name, const std::string& device, const std::string& usb = "",
                const Strings& attrs = {}) {
        const fs::path node = fs::path(sysfsRoot) / name;
        const fs::path target = Path("devices/" + device);
        fs::create_directories(node);
        fs::create_directories(target);
        fs::create_directory_symlink(fs::relative(target, node), node / "device");
        for (std::size_t i = 0; i + 1 < attrs.size(); i += 2)
            std::ofstream(Path("devices/" + usb + "/" + attrs[i])) << attrs[i + 1] << "\n";
    }
};

TEST_F(QvxPorts, ListsStableNamesSerialNumbersAndTheSlotsOfOldAndNewProfiles) {
    AddTty("ttyS0", "platform/serial8250");
    AddTty("ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0", "usb1/1-1",
           {"idVendor", "0403", "manufacturer", "FTDI", "product", "FT232R USB UART", "serial",
            "A50285BI"});
    const std::string stable = byIdRoot + "/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    fs::create_symlink("../../ttyUSB0", stable);
    const std::string gone = byIdRoot + "/usb-Prolific_USB-Serial_Controller-if00-port0";
    std::ofstream(profile) << "[Ports]\nCOM1=/dev/ttyUSB0\nCOM2=" << gone << "\nCOM3=" << stable
                           << "\n";

    RunResult r = Run({"ports"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Split(r.out),
              (Strings{"/dev/ttyS0",
                       stable + "  (now /dev/ttyUSB0)  FTDI FT232R USB UART  serial number "
                                "A50285BI  COM1  COM3",
                       gone + "  (not present)  COM2"}));
}

TEST_F(QvxPorts, ShowsAnAdaptersLatencyTimerWhereTheDriverHasOne) {
    // tty, its device, the driver's latency_timer file ("" for none), the line shown.
    const Strings ttys[] = {
        {"ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0", "16", "/dev/ttyUSB0  latency timer 16 ms"},
        {"ttyUSB1", "usb1/1-2/1-2:1.0/ttyUSB1", "1\n", "/dev/ttyUSB1  latency timer 1 ms"},
        {"ttyUSB2", "usb1/1-3/1-3:1.0/ttyUSB2", "", "/dev/ttyUSB2"},
        {"ttyUSB3", "usb1/1-4/1-4:1.0/ttyUSB3", "fast", "/dev/ttyUSB3"},
    };
    Strings expected;
    for (const Strings& t : ttys) {
        AddTty(t[0], t[1]);
        if (!t[2].empty()) std::ofstream(Path("devices/" + t[1] + "/latency_timer")) << t[2];
        expected.push_back(t[3]);
    }
    RunResult r = Run({"ports"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Split(r.out), expected);
}

TEST_F(QvxPorts, PortAcceptsAStableNameAndVersionNeedsNoCommand) {
    StartModule(emu::EmulatorConfig{.serialNumber = 7});
    const std::string stable = byIdRoot + "/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    fs::create_symlink(module->SlavePath(), stable);
    RunResult r = Run({"identify", "--port", stable});
    ASSERT_EQ(r.code, 0) << r.err << r.messages;
    EXPECT_EQ(Split(r.out).at(0), "Serial No.: 00007");

    for (const Strings& args : {Strings{"--version"}, Strings{"upload", "--version"}}) {
        RunResult v = RunRaw(args);
        EXPECT_EQ(v.code, 0) << v.err;
        EXPECT_TRUE(std::regex_match(v.out, std::regex("qvx [0-9]+(\\.[0-9]+)+\n"))) << v.out;
    }
}

}  // namespace
}  // namespace qx::qvx::test
