// Download and upload end to end: the real serial layer on a pseudo-terminal,
// with the module emulator serving the other side.
#include <gtest/gtest.h>

#include "core/host/ConsoleHost.h"
#include "core/model/ModuleState.h"
#include "core/serial/SerialPort.h"
#include "emulator/PtyEmulator.h"
#include "model/ModelTestSupport.h"

namespace qx::test {
namespace {

class PtyTransferTest : public ModelTest {
  protected:
    PtyTransferTest() : previous(SetCurrentHost(&console)) { console.SetErrorStream(stderr); }
    ~PtyTransferTest() override {
        ResetLink();
        module.Stop();
        SetCurrentHost(previous);
    }

    // Every value of the document: its module byte matches and it is in sync.
    void ExpectModuleHolds(ModuleState& doc) {
        const std::vector<ModuleValue*> values = doc.ModuleValues();
        ASSERT_EQ(values.size(), 108u);
        for (ModuleValue* v : values) {
            EXPECT_EQ(module.Peek(v->GetAddress()), v->EncodeBytes().at(0)) << v->GetAddress();
            EXPECT_TRUE(v->InSync()) << v->GetAddress();
        }
    }

    ConsoleHost console;
    Host* previous;
    emu::PtyEmulator module{emu::EmulatorConfig{.baud = 115200}};
};

TEST_F(PtyTransferTest, DownloadThenUploadOverARealLine) {
    ModuleState doc;
    ASSERT_EQ(doc.OnNewDocument(), DocStatus::Done);
    doc.revLimit().SetValue(7424.0, false);
    doc.camSensorSync().SetValue(-6.0, false);
    for (int m = 0; m < kMapCount; ++m) {
        for (int p = 0; p < 16; ++p) doc.Map(m)->Point(p).value->SetValue(p * 0.5 + m, false);
    }
    std::string why;
    ASSERT_TRUE(module.Start(&why)) << "no pty: " << why;
    CommPort::Instance().SetPortOpener([device = module.SlavePath()](int, serial::OpenError* e) {
        return serial::OpenPosixPort({.device = device, .baud = 115200}, e);
    });
    ASSERT_TRUE(CommPort::Instance().EstablishLink());

    ASSERT_TRUE(doc.DownloadSettings());
    ExpectModuleHolds(doc);
    EXPECT_EQ(module.Peek(0xB66B), 0x85);  // start mode enter 350 rpm
    EXPECT_EQ(module.Counters().writes.size(), 108u);

    ModuleState other;
    ASSERT_EQ(other.OnNewDocument(), DocStatus::Done);
    ASSERT_TRUE(other.UploadSettings());
    ExpectModuleHolds(other);
    EXPECT_EQ(other.revLimit().GetValue(), 7424.0);
    EXPECT_EQ(other.camSensorSync().GetValue(), -6.0);
    EXPECT_EQ(other.Map(4)->Point(5).value->GetValue(), 6.5);
    EXPECT_TRUE(other.IsModified());
}

}  // namespace
}  // namespace qx::test
