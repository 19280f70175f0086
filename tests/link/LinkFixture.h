#pragma once
// A link on an in-memory line whose far end is a ScriptedDevice, on the
// FakeHost's virtual clock. Shared by the link and monitor tests.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/host/Profile.h"
#include "core/link/CommPort.h"
#include "core/monitor/RamMonitor.h"
#include "support/FakeHost.h"
#include "support/MemoryLine.h"
#include "support/ScriptedDevice.h"

namespace qx::test {

inline const std::vector<uint8_t> kIdentifyRequest = {0x02, 0x01, 0x00, 0x00, 0x00, 0x03};
// Worked out by hand: STX, length, command, address, count, [value,] checksum
// (rotate left, xor), ETX. The monitor start of firmware 1.10's block, 0x40
// and 14 bytes: 03 -> 06^40=46 -> 8C^00=8C -> 19^0E=17 -> 2E^00=2E.
inline const std::vector<uint8_t> kMonitorRequest = {2, 5, 0, 3, 0x40, 0, 0x0E, 0, 0x2E, 3};
// The write of 0x5A to 0xB602: 02 -> 04^02=06 -> 0C^B6=BA -> 75^01=74 ->
// E8^00=E8 -> D1^5A=8B.
inline const std::vector<uint8_t> kWriteB602 = {0x02, 0x06, 0x00, 0x02, 0x02, 0xB6,
                                                0x01, 0x00, 0x5A, 0x8B, 0x03};

class LinkFixture : public ::testing::Test {
  protected:
    void SetUp() override { Fresh(); }
    void TearDown() override { Fresh(); }

    // Forgets the link, the monitor, the device's script and the host's records.
    void Fresh() {
        RamMonitor::ResetInstance();
        CommPort::ResetInstance();
        openerSet_ = false;
        line = nullptr;
        device = ScriptedDevice();
        host->ClearRecords();
    }

    // The link, with its opener bound to this fixture's line and device.
    CommPort& Port() {
        CommPort& port = CommPort::Instance();
        if (!openerSet_) {
            port.SetPortOpener([this](int index, serial::OpenError* why) {
                openedIndexes.push_back(index);
                if (failOpen) {
                    why->kind = serial::ErrorKind::OsFailure;
                    why->reason = openReason;
                    return std::unique_ptr<serial::SerialPort>();
                }
                auto opened = std::make_unique<serial::MemoryLine>(host->clock(), &device);
                line = opened.get();
                if (refuseWrites) opened->SetRefuseWrites(true);
                return std::unique_ptr<serial::SerialPort>(std::move(opened));
            });
            openerSet_ = true;
        }
        return port;
    }

    // Opens lines to far instead of the scripted device, each first handed to attach.
    void OpenTo(serial::LineDevice& far, std::function<void(serial::MemoryLine&)> attach) {
        Port().SetPortOpener([this, &far, attach](int, serial::OpenError*) {
            auto opened = std::make_unique<serial::MemoryLine>(host->clock(), &far);
            attach(*opened);
            line = opened.get();
            return std::unique_ptr<serial::SerialPort>(std::move(opened));
        });
    }

    void SetProfile(const char* key, int value) { AppProfile().WriteInt("Settings", key, value); }

    // Links with a module of the given firmware byte, then forgets the records.
    void Link(uint8_t firmware = 0x1A) {
        device.Expect(kIdentifyRequest, Frame(0x80, {firmware}), 5);
        ASSERT_TRUE(Port().EstablishLink());
        ASSERT_NE(line, nullptr);
        line->ClearWritten();
        host->ClearRecords();
    }

    // Every message box as "caption: text", with its buttons unless it has only Ok.
    std::vector<std::string> Boxes() {
        static const char* const kButtons[] = {"", " [Retry Cancel]", " [Yes No]",
                                               " [Yes No Cancel]", " [Ok Cancel]"};
        std::vector<std::string> boxes;
        for (const auto& m : host.host().Messages()) {
            boxes.push_back(m.caption + ": " + m.text + kButtons[static_cast<int>(m.buttons)]);
        }
        return boxes;
    }

    ScopedFakeHost host;
    ScriptedDevice device;
    serial::MemoryLine* line = nullptr;  // owned by the link while it is up
    std::vector<int> openedIndexes;
    bool failOpen = false;
    bool refuseWrites = false;
    std::string openReason = "permission denied";

  private:
    bool openerSet_ = false;
};

}  // namespace qx::test
