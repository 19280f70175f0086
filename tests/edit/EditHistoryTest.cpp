// The edit history: steps, their names, undo and redo with and without a link,
// the modified mark and the history's limits.
#include <gtest/gtest.h>

#include <string>

#include "core/edit/EditHistory.h"
#include "core/model/ModuleState.h"
#include "model/LinkedTestSupport.h"

namespace qx::test {
namespace {

using EditHistoryTest = LinkedDocumentTest;

TEST_F(EditHistoryTest, StepsAreNamedAndTakenBackAndForth) {
    EXPECT_FALSE(History().CanUndo());
    EXPECT_EQ(History().UndoText(), "Undo");
    EXPECT_TRUE(History().Perform("Rev Limit", {{SettingKey::Basic(kRevLimit), 8000.0}}));
    EXPECT_TRUE(History().Perform(
        "Interpolate Map 3", {{SettingKey::Point(2, 1), 5.0}, {SettingKey::Point(2, 2), 10.0}}));
    EXPECT_EQ(doc.revLimit().GetValue(), 8064.0);  // stepped like any edit
    EXPECT_EQ(History().UndoText(), "Undo Interpolate Map 3");
    EXPECT_TRUE(doc.IsModified());

    struct Move {
        bool undo;
        const char* undoText;
        const char* redoText;
        double rev, p1, p2;
        bool modified;
    } moves[] = {
        {true, "Undo Rev Limit", "Redo Interpolate Map 3", 8064.0, 0.0, 0.0, true},
        {true, "Undo", "Redo Rev Limit", 6144.0, 0.0, 0.0, false},
        {false, "Undo Rev Limit", "Redo Interpolate Map 3", 8064.0, 0.0, 0.0, true},
        {false, "Undo Interpolate Map 3", "Redo", 8064.0, 5.0, 10.0, true},
    };
    for (const Move& m : moves) {
        EXPECT_TRUE(m.undo ? History().Undo() : History().Redo());
        EXPECT_EQ(History().UndoText(), m.undoText);
        EXPECT_EQ(History().RedoText(), m.redoText);
        EXPECT_EQ(doc.revLimit().GetValue(), m.rev) << m.undoText;
        EXPECT_EQ(At(2, 1).GetValue(), m.p1) << m.undoText;
        EXPECT_EQ(At(2, 2).GetValue(), m.p2) << m.undoText;
        EXPECT_EQ(doc.IsModified(), m.modified) << m.undoText;
    }
    EXPECT_FALSE(History().Redo());
    // A change to what is already there is no step.
    EXPECT_FALSE(History().Perform("Rev Limit", {{SettingKey::Basic(kRevLimit), 8064.0}}));
    EXPECT_EQ(History().StepCount(), 2u);
}

TEST_F(EditHistoryTest, MirroredTwinsUndoTogetherEachToItsOwnValue) {
    At(1, 4).StoreValue(30.0);  // the rear map differs before the edit
    EXPECT_TRUE(History().Perform("Map 1 Point 5", {{SettingKey::Point(0, 4), 20.0}}));
    EXPECT_EQ(At(1, 4).GetValue(), 20.0);
    EXPECT_TRUE(History().Undo());
    EXPECT_EQ(At(0, 4).GetValue(), 0.0);
    EXPECT_EQ(At(1, 4).GetValue(), 30.0);
    EXPECT_TRUE(History().Redo());
    EXPECT_EQ(At(0, 4).GetValue(), 20.0);
    EXPECT_EQ(At(1, 4).GetValue(), 20.0);
}

TEST_F(EditHistoryTest, ModifiedMarkFollowsTheSavedPosition) {
    const std::string path = host.TempDir() + "/tune.qvx";
    const SettingKey rev = SettingKey::Basic(kRevLimit);
    History().Perform("Rev Limit", {{rev, 7000.0}});
    ASSERT_EQ(doc.OnSaveDocument(path), DocStatus::Done);
    EXPECT_FALSE(doc.IsModified());
    History().Undo();
    EXPECT_TRUE(doc.IsModified());
    History().Redo();
    EXPECT_FALSE(doc.IsModified());  // back at the saved state
    History().Undo();
    History().Perform("Rev Limit", {{rev, 9000.0}});  // the saved step is gone for good
    History().Undo();
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(History().StepCount(), 1u);

    // Open and New start a fresh history in an unmodified document.
    for (bool open : {true, false}) {
        History().Redo();
        ASSERT_EQ(open ? doc.OnOpenDocument(path) : doc.OnNewDocument(), DocStatus::Done);
        EXPECT_FALSE(History().CanUndo());
        EXPECT_FALSE(History().CanRedo());
        EXPECT_FALSE(doc.IsModified());
    }
}

TEST_F(EditHistoryTest, KeepsAThousandStepsInBoundedMemory) {
    for (int i = 0; i < 1500; ++i) {
        History().Perform("Map 3 Point 1", {{SettingKey::Point(2, 0), (i % 2) ? 1.0 : 2.0}});
    }
    EXPECT_EQ(History().StepCount(), 1000u);
    EXPECT_LT(History().MemoryBytes(), EditHistory::kDefaultMaxBytes);
    int undone = 0;
    while (History().Undo()) ++undone;
    EXPECT_EQ(undone, 1000);
    EXPECT_EQ(At(2, 0).GetValue(), 1.0);  // what the oldest kept step found
    EXPECT_TRUE(doc.IsModified());        // the saved state was dropped with the oldest steps

    History().SetLimits(5, 1u << 20);
    EXPECT_EQ(History().StepCount(), 5u);
    History().SetLimits(1000, 1);  // a budget smaller than any step keeps none
    EXPECT_EQ(History().StepCount(), 0u);
}

TEST_F(EditHistoryTest, WhileLinkedUndoAndRedoWriteEachValueMirrorsIncluded) {
    LinkEmulator();
    History().Perform("Map 1 Point 4", {{SettingKey::Point(0, 3), 20.0}});
    History().Perform("Rev Limit", {{SettingKey::Basic(kRevLimit), 8000.0}});
    EXPECT_EQ(Writes(), (std::vector<emu::WriteRecord>{{0xB603, 20}, {0xB613, 20}, {0xB662, 16}}));
    emulator->Core().ResetCounters();

    History().Undo();
    History().Undo();
    History().Redo();
    EXPECT_EQ(Writes(), (std::vector<emu::WriteRecord>{
                            {0xB662, 0x01}, {0xB613, 0}, {0xB603, 0}, {0xB603, 20}, {0xB613, 20}}));
    EXPECT_TRUE(At(0, 3).InSync());
    EXPECT_TRUE(At(1, 3).InSync());
    EXPECT_EQ(CommPort::Instance().BusyCount(), 0);
    EXPECT_TRUE(host->Messages().empty());
}

TEST_F(EditHistoryTest, AFailedWriteLeavesTheStepUndoneAndTheValuesOutOfSync) {
    LinkEmulator();
    History().Perform("Map 1 Point 4", {{SettingKey::Point(0, 3), 20.0}});
    emulator->Core().ArmFault(emu::Fault::Silent, 1000);
    History().Undo();
    // The document shows what was asked for, not yet in the module; one message.
    for (int map : {0, 1}) {
        EXPECT_EQ(At(map, 3).GetValue(), 0.0) << map;
        EXPECT_FALSE(At(map, 3).InSync()) << map;
    }
    EXPECT_EQ(host->Messages().size(), 1u);
    EXPECT_FALSE(History().CanUndo());
    EXPECT_EQ(History().RedoText(), "Redo Map 1 Point 4");

    emulator->Core().ClearFaults();
    EXPECT_TRUE(History().Redo());
    EXPECT_EQ(At(0, 3).GetValue(), 20.0);
    EXPECT_TRUE(At(0, 3).InSync());
    EXPECT_TRUE(At(1, 3).InSync());
}

}  // namespace
}  // namespace qx::test
