// The link against the module emulator on the in-memory line: real protocol
// handling on the virtual clock, with the emulator's injected faults.
#include <gtest/gtest.h>

#include "emulator/EmulatorLine.h"
#include "link/LinkFixture.h"

namespace qx::test {
namespace {

class EmulatorLink : public LinkFixture {
  protected:
    void SetUp() override {
        LinkFixture::SetUp();
        CommPort::Instance().SetPortOpener([this](int, serial::OpenError*) {
            auto opened = std::make_unique<serial::MemoryLine>(host->clock(), &module);
            module.AttachLine(opened.get());
            emuLine = opened.get();
            return std::unique_ptr<serial::SerialPort>(std::move(opened));
        });
        ASSERT_TRUE(CommPort::Instance().EstablishLink());
        host->ClearRecords();
    }
    emu::EmulatorLine module;
    serial::MemoryLine* emuLine = nullptr;
};

TEST_F(EmulatorLink, IdentifiesReadsAndWrites) {
    CommPort& port = CommPort::Instance();
    EXPECT_EQ(port.FirmwareVersion(), emu::kFirmware10);
    uint8_t basic[17] = {};
    ASSERT_TRUE(port.ReadModuleMemoryBlock(basic, 0xB661, 17));
    for (int i = 0; i < 17; ++i) EXPECT_EQ(basic[i], module.Core().Peek(0xB661 + i));
    ASSERT_TRUE(port.WriteModuleByte(0xB600, 0x3C));
    ASSERT_TRUE(port.WriteModuleByte(0xB601, 0x3D));
    EXPECT_EQ(module.Core().Counters().writes,
              (std::vector<emu::WriteRecord>{{0xB600, 0x3C}, {0xB601, 0x3D}}));
    EXPECT_TRUE(host->Messages().empty());
}

TEST_F(EmulatorLink, RecoversFromSingleFaults) {
    CommPort& port = CommPort::Instance();
    for (emu::Fault fault : {emu::Fault::Silent, emu::Fault::Nak, emu::Fault::CorruptChecksum,
                             emu::Fault::DropByte, emu::Fault::Garbage}) {
        module.Core().ArmFault(fault, 1);
        uint8_t basic[17] = {};
        EXPECT_TRUE(port.ReadModuleMemoryBlock(basic, 0xB661, 17)) << emu::FaultName(fault);
        EXPECT_EQ(basic[0], module.Core().Peek(0xB661)) << emu::FaultName(fault);
    }
    module.Core().ArmFault(emu::Fault::SwallowAck, 1);
    EXPECT_TRUE(port.WriteModuleByte(0xB602, 0x11));
    EXPECT_EQ(module.Core().Peek(0xB602), 0x11);
    EXPECT_TRUE(host->Messages().empty());
    EXPECT_TRUE(port.IsLinked());
}

TEST_F(EmulatorLink, AnEndlessFloodBreaksTheLinkInBoundedTime) {
    CommPort& port = CommPort::Instance();
    module.Core().ArmFault(emu::Fault::Flood, 1);
    uint8_t basic[17] = {};
    const int64_t start = host->NowMs();
    port.ReadModuleMemoryBlock(basic, 0xB661, 17);
    // The answer may still be read; the flood then makes the next recovery give up.
    if (port.IsLinked()) {
        EXPECT_FALSE(port.ResetError());
    }
    EXPECT_FALSE(port.IsLinked());
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Receive Buffer Continuing to Fill!",
                                                        "Connection to Module Has Been Broken"}));
    EXPECT_LT(host->NowMs() - start, 60'000);
}

TEST_F(EmulatorLink, AVanishingDeviceShowsOnlyTheBreak) {
    CommPort& port = CommPort::Instance();
    module.Core().ArmFault(emu::Fault::Vanish, 1);
    uint8_t basic[17] = {};
    EXPECT_FALSE(port.ReadModuleMemoryBlock(basic, 0xB661, 17));
    EXPECT_FALSE(port.IsLinked());
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Connection to Module Has Been Broken"}));
}

}  // namespace
}  // namespace qx::test
