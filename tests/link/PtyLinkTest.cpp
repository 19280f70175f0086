// The link and the monitor over a real pseudo-terminal against the module
// emulator, on the real clock: the handshake sleeps and the line runs at 9600 baud.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "core/host/ConsoleHost.h"
#include "core/host/Profile.h"
#include "core/link/CommPort.h"
#include "core/monitor/RamMonitor.h"
#include "core/serial/SerialPort.h"
#include "emulator/PtyEmulator.h"

namespace qx {
namespace {

class PtyLink : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(mkdtemp(dir_.data()), nullptr);
        SetAppProfile(dir_ + "/QuorvexI.ini");
        previous_ = SetCurrentHost(&host_);
        host_.SetErrorStream(errors_);
        RamMonitor::ResetInstance();
        CommPort::ResetInstance();
        std::string why;
        if (!emulator_.Start(&why)) GTEST_SKIP() << "no pseudo-terminal here: " << why;
        CommPort::Instance().SetPortOpener([this](int, serial::OpenError* error) {
            serial::PortSettings settings;
            settings.device = emulator_.SlavePath();
            settings.baud = 9600;
            return serial::OpenPosixPort(settings, error);
        });
        ASSERT_TRUE(port().EstablishLink());
    }
    void TearDown() override {
        RamMonitor::ResetInstance();
        CommPort::ResetInstance();
        emulator_.Stop();
        SetCurrentHost(previous_);
        std::fclose(errors_);
        std::remove((dir_ + "/QuorvexI.ini").c_str());
        rmdir(dir_.c_str());
    }
    CommPort& port() { return CommPort::Instance(); }

    emu::PtyEmulator emulator_;
    ConsoleHost host_;
    Host* previous_ = nullptr;
    std::FILE* errors_ = std::tmpfile();
    std::string dir_ = "/tmp/qx-ptylink-" + std::string(6, 'X');  // mkdtemp's template
};

TEST_F(PtyLink, IdentifiesAndStreamsMonitorPackets) {
    EXPECT_EQ(port().FirmwareVersion(), emu::kFirmware10);
    EXPECT_NE(host_.Shown().at(0).find("Firmware Version No. 1.0"), std::string::npos);
    // Block reads and byte writes over a real line: the model's download-then-upload test.

    RamMonitor& monitor = RamMonitor::Instance();
    ASSERT_TRUE(monitor.Start());
    for (int i = 0; i < 5; ++i) {
        CommPort::CommError error = CommPort::CommError::NoError;
        EXPECT_TRUE(monitor.UpdateRamImage(&error)) << static_cast<int>(error);
    }
    EXPECT_TRUE(monitor.IsImageValid());
    ASSERT_TRUE(monitor.Stop());
    EXPECT_FALSE(emulator_.IsStreaming());
    EXPECT_GE(emulator_.Counters().monitorPackets, 5);
    EXPECT_TRUE(port().ResetError());  // the line is quiet after the drain
    EXPECT_EQ(port().ReceiveCount(), 0u);
}

}  // namespace
}  // namespace qx
