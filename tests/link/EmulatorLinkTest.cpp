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
        Port().SetPortOpener([this](int, serial::OpenError*) {
            auto opened = std::make_unique<serial::MemoryLine>(host->clock(), &module);
            module.AttachLine(opened.get());
            return std::unique_ptr<serial::SerialPort>(std::move(opened));
        });
        ASSERT_TRUE(Port().EstablishLink());
        ASSERT_EQ(Port().FirmwareVersion(), emu::kFirmware10);
        host->ClearRecords();
    }
    bool ReadBasic() {
        uint8_t basic[17] = {};
        const bool ok = Port().ReadModuleMemoryBlock(basic, 0xB661, 17);
        for (int i = 0; ok && i < 17; ++i) EXPECT_EQ(basic[i], module.Core().Peek(0xB661 + i));
        return ok;
    }
    emu::EmulatorLine module;
};

TEST_F(EmulatorLink, RecoversFromEachSingleFault) {
    for (emu::Fault fault : {emu::Fault::Silent, emu::Fault::Nak, emu::Fault::CorruptChecksum,
                             emu::Fault::DropByte, emu::Fault::Garbage}) {
        SCOPED_TRACE(emu::FaultName(fault));
        module.Core().ArmFault(fault, 1);
        EXPECT_TRUE(ReadBasic());
    }
    module.Core().ArmFault(emu::Fault::SwallowAck, 1);
    EXPECT_TRUE(Port().WriteModuleByte(0xB602, 0x11));
    EXPECT_EQ(module.Core().Peek(0xB602), 0x11);
    EXPECT_TRUE(host->Messages().empty());
    EXPECT_TRUE(Port().IsLinked());
}

TEST_F(EmulatorLink, AnEndlessFloodBreaksTheLinkInBoundedTime) {
    module.Core().ArmFault(emu::Fault::Flood, 1);
    const int64_t start = host->NowMs();
    // The answer may still be read; the flood then makes the next recovery give up.
    if (ReadBasic()) {
        EXPECT_FALSE(Port().ResetError());
    }
    EXPECT_FALSE(Port().IsLinked());
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Receive Buffer Continuing to Fill!",
                                                        "Connection to Module Has Been Broken"}));
    EXPECT_LT(host->NowMs() - start, 60'000);
}

TEST_F(EmulatorLink, AVanishingDeviceShowsOnlyTheBreak) {
    module.Core().ArmFault(emu::Fault::Vanish, 1);
    EXPECT_FALSE(ReadBasic());
    EXPECT_FALSE(Port().IsLinked());
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Connection to Module Has Been Broken"}));
}

}  // namespace
}  // namespace qx::test
