// qvx keeps what the module held before a download, lists it with
// "restore-points", and downloads it back by name.
#include <gtest/gtest.h>

#include "ToolTestUtil.h"
#include "core/host/Clock.h"
#include "core/restore/RestorePoints.h"
#include "support/ModuleMemory.h"
#include "support/SwappedFileCalls.h"

namespace qx::qvx::test {
namespace {

using qx::test::FileDownloadBytes;
using qx::test::ModuleMemory;
using qx::test::SettingBytes;

class QvxRestorePoints : public ToolTest {
  protected:
    void SetUp() override {
        ToolTest::SetUp();
        StartModule();
        folder = dir + "/data/quorvexi/restore-points";
        previous = ExchangeAppRestorePoints(std::make_unique<RestorePoints>(folder, clock, 0));
    }
    void TearDown() override {
        ExchangeAppRestorePoints(std::move(previous));
        ToolTest::TearDown();
    }
    ModuleMemory Module() {
        return SettingBytes([this](uint16_t a) { return module->Peek(a); });
    }

    VirtualClock clock;
    std::string folder;
    std::unique_ptr<RestorePoints> previous;
};

TEST_F(QvxRestorePoints, ADownloadKeepsTheModuleAndTheRestorePointBringsItBack) {
    // A tune of bytes the program writes as they are (1 deg a count).
    for (uint16_t i = 0; i < 16; ++i) {
        module->Poke(static_cast<uint16_t>(0xB600 + i), static_cast<uint8_t>(10 + i));
        module->Poke(static_cast<uint16_t>(0xB620 + i), static_cast<uint8_t>(i));
    }
    module->Poke(0xB662, 0x03);
    const ModuleMemory before = Module();
    ASSERT_EQ(Run({"new", Path("a.qvx")}).code, 0);
    RunResult r = OnModule({"download", Path("a.qvx")});
    ASSERT_EQ(r.code, 0) << r.err << r.messages;
    ASSERT_NE(Module(), before);

    r = Run({"restore-points"});
    ASSERT_EQ(r.code, 0) << r.err;
    const Strings lines = Split(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[0], "1970-01-01 00:00:01 UTC  serial 00042  firmware 1.0  download  tune " +
                            Path("a.qvx"));
    const std::string name = "1970-01-01_00-00-01.000_serial-00042.qvx";
    EXPECT_EQ(lines[1], "  " + folder + "/" + name);
    EXPECT_EQ(FileDownloadBytes(folder + "/" + name), before);

    // Back by its name alone; that download keeps the tune it overwrote.
    clock.Advance(1000);
    r = OnModule({"download", name});
    ASSERT_EQ(r.code, 0) << r.err << r.messages;
    EXPECT_EQ(Module(), before);
    r = Run({"restore-points", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "\"folder\": \"" + folder + "\"")) << r.out;
    EXPECT_TRUE(Has(r.out,
                    "\"time\": \"1970-01-01 00:00:02 UTC\", \"timeMs\": 2000, \"serial\": "
                    "42, \"firmware\": \"1.0\", \"next\": \"download\", \"tunerFile\": \"" +
                        folder + "/" + name + "\", \"inexact\": 0}"))
        << r.out;
    EXPECT_EQ(Split(r.out).size(), 5u) << r.out;  // two points

    // --changed-only takes the module to hold OLD; the point is what it really held.
    ASSERT_EQ(Run({"set", Path("a.qvx"), "Front Cylinder Spark Advance[2]=30"}).code, 0);
    module->Poke(0xB605, 44);
    const ModuleMemory beforeChanged = Module();
    clock.Advance(1000);
    r = OnModule({"download", Path("a.qvx"), "--changed-only", "--against", folder + "/" + name});
    ASSERT_EQ(r.code, 0) << r.err << r.messages;
    EXPECT_EQ(module->Peek(0xB601), 30);
    const std::vector<RestorePoint> points = AppRestorePoints()->List();
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].next, "download --changed-only");
    EXPECT_EQ(FileDownloadBytes(AppRestorePoints()->PathOf(points[0])), beforeChanged);
}

TEST_F(QvxRestorePoints, ReadsAreKeptAndAFullDiskIsToldOnceWithoutStoppingAnything) {
    RunResult r = Run({"restore-points"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(Has(r.err, "no restore points in " + folder)) << r.err;
    EXPECT_EQ(Run({"restore-points", "--json"}).out,
              "{\"folder\": \"" + folder + "\",\n \"points\": []}\n");

    ASSERT_EQ(OnModule({"verify", Path("missing.qvx")}).code, 3);  // nothing read
    ASSERT_EQ(OnModule({"upload", Path("up.qvx")}).code, 0);
    r = Run({"restore-points"});
    EXPECT_TRUE(Has(r.out, "upload  tune " + Path("up.qvx"))) << r.out;

    ASSERT_EQ(Run({"new", Path("b.qvx")}).code, 0);
    module->Poke(0xB603, 7);  // something new to keep
    {
        qx::test::SwappedFileCalls calls;
        calls->write = qx::test::SwappedFileCalls::NoSpace;
        r = OnModule({"download", "--verify", Path("b.qvx")});
    }
    EXPECT_EQ(r.code, 0) << r.err << r.messages;
    EXPECT_EQ(module->Peek(0xB603), 0);
    // Said once, though both the download and the verify after it had a point to keep.
    int told = 0;
    for (const std::string& line : Split(r.messages)) told += Has(line, "restore point") ? 1 : 0;
    EXPECT_EQ(told, 1) << r.messages;
    EXPECT_TRUE(Has(r.messages, "No space left on device")) << r.messages;
}

TEST(QvxRestorePointArgs, OnlyRestorePointsAndShowTakeJson) {
    std::ostringstream out, err;
    EXPECT_EQ(RunQvx({"upload", "x.qvx", "--json"}, out, err), kExitUsage);
    EXPECT_TRUE(Has(err.str(), "does not apply to upload")) << err.str();
    EXPECT_EQ(RunQvx({"restore-points", "extra"}, out, err), kExitUsage);
}

}  // namespace
}  // namespace qx::qvx::test
