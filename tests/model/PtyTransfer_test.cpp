// Download and upload end to end: the real serial layer on a pseudo-terminal,
// with the module emulator serving the other side.
#include <gtest/gtest.h>

#include "emulator/PtyEmulator.h"
#include "host/ConsoleHost.h"
#include "model/ModelTestSupport.h"
#include "model/ModuleState.h"
#include "serial/SerialPort.h"

namespace qx::test {
namespace {

constexpr int kBaud = 115200;

class PtyTransferTest : public ModelTest {
  protected:
    PtyTransferTest() {
        console.SetErrorStream(stderr);
        previous = SetCurrentHost(&console);
    }
    ~PtyTransferTest() override {
        ResetLink();
        module.Stop();
        SetCurrentHost(previous);
    }

    bool Link() {
        std::string why;
        if (!module.Start(&why)) {
            ADD_FAILURE() << "no pty: " << why;
            return false;
        }
        const std::string device = module.SlavePath();
        CommPort::Instance().SetPortOpener([device](int, serial::OpenError* error) {
            serial::PortSettings settings;
            settings.device = device;
            settings.baud = kBaud;
            return serial::OpenPosixPort(settings, error);
        });
        return CommPort::Instance().EstablishLink();
    }

    static emu::EmulatorConfig Config() {
        emu::EmulatorConfig config;
        config.baud = kBaud;
        return config;
    }

    ConsoleHost console;
    Host* previous = nullptr;
    emu::PtyEmulator module{Config()};
};

std::vector<ModuleValue*> AllValues(ModuleState& doc) {
    std::vector<ModuleValue*> values;
    for (int i = 0; i < kBasicValueCount; ++i) values.push_back(&doc.BasicValue(i));
    for (int m = 0; m < kMapCount; ++m) {
        for (int p = 0; p < 16; ++p) values.push_back(doc.Map(m)->Point(p).value.get());
    }
    return values;
}

TEST_F(PtyTransferTest, DownloadThenUploadOverARealLine) {
    ModuleState doc;
    ASSERT_EQ(doc.OnNewDocument(), DocStatus::Done);
    doc.revLimit().SetValue(7424.0, false);
    doc.camSensorSync().SetValue(-6.0, false);
    for (int m = 0; m < kMapCount; ++m) {
        for (int p = 0; p < 16; ++p) doc.Map(m)->Point(p).value->SetValue(p * 0.5 + m, false);
    }
    ASSERT_TRUE(Link());

    ASSERT_TRUE(doc.DownloadSettings());
    for (ModuleValue* v : AllValues(doc)) {
        EXPECT_EQ(module.Peek(v->GetAddress()), v->EncodeBytes().at(0))
            << std::hex << v->GetAddress();
        EXPECT_TRUE(v->InSync());
    }
    EXPECT_EQ(module.Peek(0xB66B), 0x85);  // start mode enter 350 rpm
    EXPECT_EQ(module.Counters().writes.size(), 108u);

    ModuleState other;
    ASSERT_EQ(other.OnNewDocument(), DocStatus::Done);
    ASSERT_TRUE(other.UploadSettings());
    for (ModuleValue* v : AllValues(other)) {
        EXPECT_EQ(module.Peek(v->GetAddress()), v->EncodeBytes().at(0))
            << std::hex << v->GetAddress();
        EXPECT_TRUE(v->InSync());
    }
    EXPECT_EQ(other.revLimit().GetValue(), 7424.0);
    EXPECT_EQ(other.camSensorSync().GetValue(), -6.0);
    EXPECT_EQ(other.Map(4)->Point(5).value->GetValue(), 6.5);
    EXPECT_TRUE(other.IsModified());
}

}  // namespace
}  // namespace qx::test
