// The one change path against the emulator: what reaches the module after an
// upload, a pulled adapter between two twins' writes, a relink, Use Other Value
// with synchronized maps, and a change set the module cannot hold.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/compare/TuneCompare.h"
#include "core/model/ModuleState.h"
#include "core/model/Relink.h"
#include "model/LinkedTestSupport.h"

namespace qx::test {
namespace {

class ChangePathTest : public LinkedDocumentTest {
  protected:
    uint8_t Module(uint16_t address) { return emulator->Core().Peek(address); }

    // Every map and basic byte 0 (each in the program's step), but ignition
    // mode 1 (single fire): 0 is none of its values.
    void ZeroModule() {
        for (uint16_t a = 0xB600; a < 0xB672; ++a) emulator->Core().Poke(a, 0);
        emulator->Core().Poke(0xB661, 1);
    }

    // Links, uploads and forgets the upload's traffic.
    void LinkAndUpload() {
        LinkEmulator();
        ZeroModule();
        CheckLinkedModule(doc);  // the module is known by name from now on, as after Ctrl+L
        ASSERT_TRUE(doc.UploadSettings());
        emulator->Core().ResetCounters();
        host->ClearRecords();
    }

    void Replug() {
        emulator->Core().ClearFaults();
        emulator->Core().Replug();
        Open(emulator.get());
        emulator->Core().ResetCounters();
    }
};

TEST_F(ChangePathTest, AnUploadStartsANewHistory) {
    // Edits made unlinked, then the module's own settings replace them.
    EXPECT_TRUE(History().Perform("Map 2 Point 12", {{SettingKey::Point(1, 11), 30.0}}));
    EXPECT_TRUE(History().Perform("Map 2 Point 2", {{SettingKey::Point(1, 1), 5.0}}));
    EXPECT_TRUE(History().Perform("Map 2 Point 2", {{SettingKey::Point(1, 1), 7.0}}));
    LinkAndUpload();
    EXPECT_FALSE(History().CanUndo());
    EXPECT_FALSE(History().Undo());
    EXPECT_TRUE(Writes().empty());  // nothing the module never held reaches it
    EXPECT_TRUE(doc.IsModified());  // the contents are no longer the file's
}

TEST_F(ChangePathTest, UseOtherValueWithSynchronizedMapsNeverMakesUpAValue) {
    LinkAndUpload();
    ModuleState other;
    other.InitializeDefaults();
    other.Map(0)->Point(4).value->StoreValue(22.0);
    other.Map(1)->Point(4).value->StoreValue(22.0);
    other.Map(0)->Point(6).value->StoreValue(10.0);
    other.Map(1)->Point(6).value->StoreValue(30.0);
    std::string why;

    // A rear row whose twins agree in the other tune: both take it.
    std::vector<EditTarget> targets = OtherValueTargets(doc, other, SettingKey::Point(1, 4), why);
    ASSERT_TRUE(History().Perform("Use Other", targets));
    EXPECT_EQ(Writes(), (std::vector<emu::WriteRecord>{{0xB614, 22}, {0xB604, 22}}));

    // Twins apart in the other tune: refused, said why, nothing written.
    emulator->Core().ResetCounters();
    targets = OtherValueTargets(doc, other, SettingKey::Point(1, 6), why);
    EXPECT_TRUE(targets.empty());
    EXPECT_NE(why.find("30 and 10"), std::string::npos) << why;
    EXPECT_TRUE(Writes().empty());

    // With the maps apart, the row alone.
    SetMirrorSetting(false);
    targets = OtherValueTargets(doc, other, SettingKey::Point(1, 6), why);
    ASSERT_TRUE(History().Perform("Use Other", targets));
    EXPECT_EQ(Writes(), (std::vector<emu::WriteRecord>{{0xB616, 30}}));
    EXPECT_EQ(At(0, 6).GetValue(), 0.0);
}

TEST_F(ChangePathTest, APullBetweenTwinWritesKeepsTheTunersValuesAndWritesTheRestLater) {
    for (bool curve : {false, true}) {
        SCOPED_TRACE(curve ? "curve across the map" : "one point");
        ResetLink();
        ASSERT_EQ(doc.OnNewDocument(), DocStatus::Done);
        LinkAndUpload();
        std::vector<EditTarget> targets;
        for (int p = 0; p < (curve ? 16 : 1); ++p)
            targets.push_back({SettingKey::Point(0, p), 20.0 + p});
        // The first write goes through; the adapter goes during the second.
        emulator->Core().ArmFault(emu::Fault::Vanish, 1, 1);
        EXPECT_EQ(History().PerformChange("Edit", targets), EditHistory::Outcome::NotWritten);
        EXPECT_FALSE(CommPort::Instance().IsLinked());
        EXPECT_EQ(Module(0xB600), 20);
        for (int p = 0; p < (curve ? 16 : 1); ++p) {
            EXPECT_EQ(At(0, p).GetValue(), 20.0 + p);
            EXPECT_EQ(At(1, p).GetValue(), 20.0 + p);  // still in step, as synchronized
        }
        EXPECT_TRUE(At(0, 0).InSync());
        EXPECT_FALSE(At(1, 0).InSync());  // the module may hold either value

        Replug();
        const LinkedModuleCheck check = CheckLinkedModule(doc);
        ASSERT_EQ(check.what, AfterLink::WriteChanges);
        EXPECT_EQ(check.changed, curve ? 31 : 1);
        const ModuleState::ChangedWrite r = doc.WriteChangedSettings(true);
        EXPECT_TRUE(r.ok);
        for (int p = 0; p < (curve ? 16 : 1); ++p) {
            EXPECT_EQ(Module(static_cast<uint16_t>(0xB600 + p)), 20 + p);
            EXPECT_EQ(Module(static_cast<uint16_t>(0xB610 + p)), 20 + p);
            EXPECT_TRUE(At(1, p).InSync());
        }
    }
}

TEST_F(ChangePathTest, BytesOffTheStepShowOutOfSyncAndAreNeverWrittenUnasked) {
    LinkEmulator();
    ZeroModule();
    CheckLinkedModule(doc);
    // Base dwell counts 1/17 msec in steps of 0.5: 35 reads as 2.0 (34), 13 as
    // 1.0 (17); both are what the module holds, not what the program writes.
    emulator->Core().Poke(0xB640, 35);
    emulator->Core().Poke(0xB641, 13);
    emulator->Core().Poke(0xB642, 34);
    ASSERT_TRUE(doc.UploadSettings());
    EXPECT_EQ(At(4, 0).GetValue(), 2.0);
    EXPECT_EQ(At(4, 1).GetValue(), 1.0);
    EXPECT_FALSE(At(4, 0).InSync());
    EXPECT_FALSE(At(4, 1).InSync());
    EXPECT_TRUE(At(4, 2).InSync());
    emulator->Core().ResetCounters();

    // A relink counts them apart from the changes made while away.
    CommPort::Instance().BreakLink(CommPort::BreakNotice::Quiet);
    EXPECT_TRUE(History().Perform("Edit", {{SettingKey::Point(4, 5), 3.0}}));
    Replug();
    const LinkedModuleCheck check = CheckLinkedModule(doc);
    EXPECT_EQ(check.what, AfterLink::WriteChanges);
    EXPECT_EQ(check.changed, 1);
    EXPECT_EQ(check.lacking, 3);
    EXPECT_TRUE(doc.WriteChangedSettings(true).ok);
    EXPECT_EQ(Writes(), (std::vector<emu::WriteRecord>{{0xB645, 51}}));

    // Undoing a change of such a point puts back what the module held.
    emulator->Core().ResetCounters();
    EXPECT_TRUE(History().Perform("Edit", {{SettingKey::Point(4, 0), 5.0}}));
    EXPECT_TRUE(History().Undo());
    EXPECT_EQ(Writes(), (std::vector<emu::WriteRecord>{{0xB640, 85}, {0xB640, 35}}));
    EXPECT_EQ(At(4, 0).GetValue(), 2.0);
    EXPECT_FALSE(At(4, 0).InSync());
    EXPECT_EQ(doc.CountValuesToWrite(), 0);
}

TEST_F(ChangePathTest, AChangeSetTheModuleCannotHoldIsRefusedWhole) {
    LinkAndUpload();
    EXPECT_EQ(History().PerformChange(
                  "Paste", {{SettingKey::Point(2, 2), 5.0}, {SettingKey::Point(2, 3), NAN}}),
              EditHistory::Outcome::Refused);
    EXPECT_EQ(At(2, 2).GetValue(), 0.0);
    EXPECT_EQ(At(2, 3).GetValue(), 0.0);
    EXPECT_FALSE(History().CanUndo());
    EXPECT_TRUE(Writes().empty());
    ASSERT_EQ(host->Messages().size(), 1u);
}

}  // namespace
}  // namespace qx::test
