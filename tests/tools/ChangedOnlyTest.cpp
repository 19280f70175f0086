// download --changed-only: only what differs from the tune last sent reaches
// the module; --verify reads those back; a speed the device refuses is the
// command line's fault.
#include <gtest/gtest.h>

#include "ToolTestUtil.h"
#include "emulator/PtyEmulator.h"

namespace qx::qvx::test {
namespace {

class QvxChangedOnly : public ToolTest {
  protected:
    void SetUp() override {
        ToolTest::SetUp();
        module = std::make_unique<emu::PtyEmulator>();
        std::string error;
        ASSERT_TRUE(module->Start(&error)) << error;
    }
    void TearDown() override {
        module.reset();
        ToolTest::TearDown();
    }
    RunResult OnModule(Strings args) {
        args.insert(args.end(), {"--port", module->SlavePath()});
        return Run(args);
    }
    std::unique_ptr<emu::PtyEmulator> module;
};

TEST_F(QvxChangedOnly, WritesOnlyTheBytesThatDifferAndReadsThemBack) {
    ASSERT_EQ(Run({"new", Path("old.qvx")}).code, 0);
    ASSERT_EQ(OnModule({"download", Path("old.qvx")}).code, 0);
    ASSERT_EQ(Run({"new", Path("new.qvx")}).code, 0);
    // Rev Limit changes its byte; 6100 and 6144 rpm are one step, so only the first counts.
    ASSERT_EQ(Run({"set", Path("new.qvx"), "Rev Limit=6100", "VOES[0]=7", "VOES[1]=3"}).code, 0);
    ASSERT_EQ(Run({"set", Path("old.qvx"), "VOES[1]=3"}).code, 0);
    ASSERT_EQ(Run({"set", Path("old.qvx"), "Rev Limit=6144"}).code, 0);

    RunResult r = OnModule(
        {"download", Path("new.qvx"), "--changed-only", "--against", Path("old.qvx"), "--verify"});
    ASSERT_EQ(r.code, 0) << r.err << r.messages;
    EXPECT_TRUE(Has(r.out, "1 of 108 settings written")) << r.out;
    const auto writes = module->Counters().writes;
    ASSERT_EQ(writes.size(), 109u);  // the first full download, then one
    EXPECT_EQ(writes.back().address, 0xB620);
    EXPECT_EQ(writes.back().value, 7);
    EXPECT_EQ(module->Peek(0xB620), 7);

    // Against the same old tune, every point that differs from it goes again.
    module->Poke(0xB620, 9);
    ASSERT_EQ(Run({"set", Path("new.qvx"), "VOES[2]=4"}).code, 0);
    RunResult v = OnModule(
        {"download", Path("new.qvx"), "--changed-only", "--against", Path("old.qvx"), "--verify"});
    EXPECT_EQ(v.code, 0) << v.err;
    EXPECT_TRUE(Has(v.out, "2 of 108 settings written")) << v.out;
    EXPECT_EQ(module->Peek(0xB620), 7);

    // The two options go together.
    EXPECT_EQ(OnModule({"download", Path("new.qvx"), "--changed-only"}).code, 2);
    EXPECT_EQ(OnModule({"download", Path("new.qvx"), "--against", Path("old.qvx")}).code, 2);
    RunResult bad =
        OnModule({"download", Path("new.qvx"), "--changed-only", "--against", Path("missing.qvx")});
    EXPECT_EQ(bad.code, 3) << bad.err;
}

TEST_F(QvxChangedOnly, LineSpeedsAreEitherRunOrRefused) {
    // The emulator's pseudo-terminal takes any speed: an odd one runs.
    RunResult odd = OnModule({"identify", "--baud", "31250"});
    EXPECT_EQ(odd.code, 0) << odd.err << odd.messages;
    RunResult low = OnModule({"identify", "--baud", "20"});
    EXPECT_EQ(low.code, 2);
    EXPECT_TRUE(Has(low.err, "from 50 to 4000000")) << low.err;
}

}  // namespace
}  // namespace qx::qvx::test
