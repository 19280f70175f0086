// After a relink to the same module only what it does not hold is written.
#include <gtest/gtest.h>

#include "core/model/ModuleState.h"
#include "core/model/Relink.h"
#include "model/LinkedTestSupport.h"

namespace qx::test {
namespace {

class ReconnectTest : public LinkedDocumentTest {
  protected:
    void Unlink() {
        CommPort::Instance().BreakLink();
        host->ClearRecords();
    }
    void Relink() {
        Open(emulator.get());
        emulator->Core().ResetCounters();
    }
};

TEST_F(ReconnectTest, OnlyValuesTheModuleDoesNotHoldAreWrittenAndReadBack) {
    LinkEmulator();
    EXPECT_FALSE(doc.KnowsModuleBytes());
    ASSERT_TRUE(doc.UploadSettings());
    EXPECT_TRUE(doc.KnowsModuleBytes());
    EXPECT_EQ(doc.CountValuesTheModuleLacks(), 0);

    Unlink();
    SetMirrorSetting(true);
    const double rev = doc.revLimit().GetValue();
    ASSERT_TRUE(doc.revLimit().SetValue(rev + 1024, true));
    ASSERT_TRUE(At(0, 5).SetValue(At(0, 5).GetValue() + 2, true));  // front advance, mirrored
    ASSERT_TRUE(At(3, 2).SetValue(At(3, 2).GetValue() + 1, true));
    // A value edited and edited back is what the module holds already: in sync.
    const double kept = At(4, 1).GetValue();
    ASSERT_TRUE(At(4, 1).SetValue(kept - 1, true));
    EXPECT_FALSE(At(4, 1).InSync());
    ASSERT_TRUE(At(4, 1).SetValue(kept, true));
    EXPECT_TRUE(At(4, 1).InSync());
    EXPECT_EQ(doc.CountValuesTheModuleLacks(), 4);  // rev limit, both advance twins, map 4

    Relink();
    const ModuleState::ChangedWrite result = doc.WriteChangedSettings(true);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.written, 4);
    EXPECT_EQ(result.mismatched, 0);
    const auto& writes = emulator->Core().Counters().writes;
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[0].address, doc.revLimit().GetAddress());
    EXPECT_EQ(writes[0].value, doc.revLimit().EncodeBytes()[0]);
    EXPECT_EQ(writes[1].address, At(0, 5).GetAddress());
    EXPECT_EQ(writes[2].address, At(1, 5).GetAddress());
    EXPECT_EQ(writes[3].address, At(3, 2).GetAddress());
    EXPECT_EQ(writes[3].value, At(3, 2).EncodeBytes()[0]);
    // Each written value was read back: four reads of one value each.
    EXPECT_EQ(emulator->Core().Counters().framesByCommand[wire::kRead], 4);
    EXPECT_TRUE(At(4, 1).InSync());
    EXPECT_EQ(doc.CountValuesTheModuleLacks(), 0);
    EXPECT_TRUE(host->Messages().empty());
}

TEST_F(ReconnectTest, UnknownBytesAreWrittenAndAFailedWriteForgetsWhatWasKnown) {
    LinkEmulator();
    // A new document: nothing is known, so everything is written.
    EXPECT_EQ(doc.CountValuesTheModuleLacks(), kBasicValueCount + kMapCount * 16);
    ASSERT_TRUE(doc.WriteChangedSettings(false).ok);
    EXPECT_EQ(emulator->Core().Counters().writes.size(), 108u);
    EXPECT_EQ(doc.CountValuesTheModuleLacks(), 0);

    // A write that is never acknowledged leaves the module's byte unknown.
    emulator->Core().ResetCounters();
    emulator->Core().SetFaultProbability(emu::Fault::SwallowAck, 1.0);
    ModuleValue& point = At(2, 7);
    EXPECT_FALSE(point.SetValue(point.GetValue() + 1, true));
    EXPECT_TRUE(point.ModuleBytes().empty());
    EXPECT_GE(doc.CountValuesTheModuleLacks(), 1);

    // Opening or starting a document forgets the module entirely.
    EXPECT_EQ(doc.OnNewDocument(), DocStatus::Done);
    EXPECT_FALSE(doc.KnowsModuleBytes());
}

TEST_F(ReconnectTest, TheLinkedModuleDecidesWhatIsOffered) {
    LinkEmulator();
    LinkedModuleCheck check = CheckLinkedModule(doc);
    EXPECT_EQ(check.what, AfterLink::OfferUpload);  // nothing known of any module yet
    EXPECT_EQ(DescribeModule(check.now), "serial 00042, firmware 1.0");
    ASSERT_TRUE(doc.UploadSettings());

    // The same module again, nothing edited meanwhile.
    Unlink();
    Relink();
    EXPECT_EQ(CheckLinkedModule(doc).what, AfterLink::NothingToWrite);

    // The same module, two values edited while it was away.
    Unlink();
    ASSERT_TRUE(At(5, 0).SetValue(At(5, 0).GetValue() + 1, true));
    ASSERT_TRUE(doc.revLimit().SetValue(doc.revLimit().GetValue() + 512, true));
    Relink();
    check = CheckLinkedModule(doc);
    EXPECT_EQ(check.what, AfterLink::WriteChanges);
    EXPECT_EQ(check.lacking, 2);

    // Another module behind the same port: nothing it holds is known.
    Unlink();
    emu::EmulatorConfig other;
    other.serialNumber = 43;
    LinkEmulator(other);
    check = CheckLinkedModule(doc);
    EXPECT_EQ(check.what, AfterLink::OtherModule);
    EXPECT_EQ(DescribeModule(check.before), "serial 00042, firmware 1.0");
    EXPECT_EQ(DescribeModule(check.now), "serial 00043, firmware 1.0");
    EXPECT_FALSE(doc.KnowsModuleBytes());
    for (ModuleValue* v : doc.ModuleValues()) EXPECT_FALSE(v->InSync());
    // It is this document's module from now on.
    EXPECT_EQ(CheckLinkedModule(doc).what, AfterLink::OfferUpload);
}

}  // namespace
}  // namespace qx::test
