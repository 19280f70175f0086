// The commands on files: new, show, set and diff, and every bad input with its
// exit code. A failed command never leaves a changed or half-written file.
#include <gtest/gtest.h>

#include <limits>

#include "ToolTestUtil.h"
#include "core/model/ModuleState.h"

namespace qx::qvx::test {
namespace {

class QvxFiles : public ToolTest {};

TEST_F(QvxFiles, NewThenShowListsTheDefaults) {
    const std::string path = NewFile("a.qvx");
    ASSERT_EQ(ReadFileBytes(path).size(), 3676u);
    RunResult r = Run({"show", path});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const char* line :
         {"Rev Limit          6144 rpm", "Ignition Mode      2 (dual fire)",
          "Start Mode Enter   341.333 rpm", "Base Dwell (Dwell over Voltage)",
          "  rpm / sec    0  272  544  816",
          // Points numbered as set, verify, diff and the graph number them.
          "  point        1    2    3    4    5", "   15   16\n  rpm          0  550"})
        EXPECT_TRUE(Has(r.out, line)) << line << "\n" << r.out;
    EXPECT_FALSE(Has(r.out, "  point        0")) << r.out;
}

TEST_F(QvxFiles, ShowJsonCarriesEverySettingAndPoint) {
    const std::string path = NewFile("a.qvx", {"Base Dwell[2]=2.5", "Nitrous Delay=1.5"});
    RunResult r = Run({"show", "--json", path});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.front(), '{');
    EXPECT_TRUE(Has(r.out,
                    "{\"name\": \"Nitrous Delay\", \"value\": 1.5, \"unit\": \"sec\", "
                    "\"min\": 0, \"max\": 7.5}"))
        << r.out;
    EXPECT_TRUE(Has(r.out, "\"title\": \"Base Dwell\""));
    EXPECT_TRUE(Has(r.out, "{\"x\": 1.0666666666666667, \"y\": 2.5}"));
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '}'), 1 + 12 + 6 + 96);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '{'), 1 + 12 + 6 + 96);
}

TEST_F(QvxFiles, SetQuantisesAndRefusesBadInputLeavingTheFileUntouched) {
    const std::string path = NewFile("a.qvx");
    RunResult r = Run({"set", path, "Rev Limit=6100", "rev limit rate=5.4", "VOES Retard[16]=20",
                       "Aux Rev Limit=10112"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "Rev Limit = 6144 rpm")) << r.err;
    const auto before = ReadFileBytes(path);
    ASSERT_EQ(before.size(), 3676u);
    EXPECT_EQ(FileValue(before, 5), 6144.0);  // Rev Limit: 6100 steps to 6144
    EXPECT_EQ(FileValue(before, 9), 5.0);
    EXPECT_EQ(FileValue(before, 15, 2), 20.0);  // the top of the VOES map
    // 1904 to 10096 over -32 to 32 is 128 rpm a step; stepped from zero, the
    // ends show as 15 x 128 and 79 x 128.
    EXPECT_EQ(FileValue(before, 8), 10112.0);

    const std::pair<std::string, std::string> cases[] = {
        {"Turbo=3", "unknown setting name \"Turbo\""},
        {"Rev Limit=fast", "\"fast\" is not a number"},
        {"Rev Limit=", "is not a number"},
        {"Rev Limit", "is not NAME=VALUE"},
        {"front[99]=3", "1 to 16"},
        {"Ignition Mode=3", "1 (single fire) or 2 (dual fire)"},
        {"Ignition Mode=200", "1 (single fire) or 2 (dual fire)"},
        {"Switch Lockout On=1", "170 (on) or 0 (off)"},
        // Outside the range the help states: refused, never clamped.
        {"Rev Limit=1e9", "\"1e9\" is outside 1920 to 10112 rpm (Rev Limit)"},
        {"Rev Limit=10113", "outside 1920 to 10112 rpm"},
        {"Rev Limit=1904", "outside 1920 to 10112 rpm"},
        {"Cam Sensor Offset=-1", "\"-1\" is outside 0 to 120 msec"},
        {"Nitrous Delay=7.6", "outside 0 to 7.5 sec"},
        {"VOES Retard[16]=33", "\"33\" is outside 0 to 20 deg (VOES Retard[16])"},
        {"Base Dwell[1]=-0.1", "outside 0 to 15 msec"},
    };
    for (const auto& [assignment, says] : cases) {
        SCOPED_TRACE(assignment);
        // A good assignment first: nothing of it may reach the file either.
        RunResult bad = Run({"set", path, "Rev Limit=3000", assignment});
        EXPECT_EQ(bad.code, 2);
        EXPECT_TRUE(Has(bad.err, says)) << bad.err;
        EXPECT_TRUE(Has(bad.err, "is unchanged"));
        EXPECT_EQ(ReadFileBytes(path), before);
    }
}

TEST_F(QvxFiles, BadFilesAreRefusedWithExitCodeThree) {
    const std::string good = NewFile("good.qvx");
    const auto bytes = ReadFileBytes(good);
    auto shortFile = bytes, longFile = bytes, badCount = bytes, notANumber = bytes;
    shortFile.resize(3000);
    longFile.push_back(0);
    badCount[408] = 7;  // the map count
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::memcpy(notANumber.data() + 5 * 34 + 2, &nan, sizeof nan);
    WriteFileBytes(Path("short.qvx"), shortFile);
    WriteFileBytes(Path("long.qvx"), longFile);
    WriteFileBytes(Path("count.qvx"), badCount);
    WriteFileBytes(Path("nan.qvx"), notANumber);
    WriteFileBytes(Path("empty.qvx"), {});

    for (const char* name :
         {"missing.qvx", "short.qvx", "long.qvx", "count.qvx", "nan.qvx", "empty.qvx"}) {
        for (const Strings& args : {Strings{"show", Path(name)}, Strings{"diff", good, Path(name)},
                                    Strings{"set", Path(name), "Rev Limit=6100"}}) {
            SCOPED_TRACE(args[0] + " " + name);
            const auto before = ReadFileBytes(Path(name));
            RunResult r = Run(args);
            EXPECT_EQ(r.code, 3);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(Split(r.err).size(), 1u) << r.err;  // one line, naming the file
            EXPECT_TRUE(Has(r.err, "qvx: " + Path(name))) << r.err;
            EXPECT_EQ(ReadFileBytes(Path(name)), before);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(Path("missing.qvx")));
    EXPECT_EQ(Run({"show", dir}).code, 3);  // a folder is not a settings file either
}

TEST_F(QvxFiles, AFileWithAValueTheEditorsRefuseIsRefusedWhole) {
    // Record 0 is Ignition Mode: address B661, then Value, Min, Max as doubles
    // and the internal limits, 34 bytes; a record 1 is Switch Lockout On.
    const std::string good = NewFile("good.qvx");
    const auto bytes = ReadFileBytes(good);
    struct Case {
        const char* name;
        std::size_t record;
        double value;
        const char* says;
    } cases[] = {
        {"mode200.qvx", 0, 200.0,
         "\"Ignition Mode\": the value 200 is not one it takes: 1 "
         "(single fire) or 2 (dual fire)"},
        {"mode0.qvx", 0, 0.0,
         "\"Ignition Mode\": the value 0 is not one it takes: 1 "
         "(single fire) or 2 (dual fire)"},
        {"lockout.qvx", 1, 1.0,
         "\"Switch Lockout On\": the value 1 is not one it takes: 170 "
         "(on) or 0 (off)"},
    };
    for (const Case& c : cases) {
        auto spoiled = bytes;
        std::memcpy(spoiled.data() + c.record * 34 + 2, &c.value, sizeof c.value);
        WriteFileBytes(Path(c.name), spoiled);
        for (const Strings& args :
             {Strings{"show", Path(c.name)}, Strings{"diff", good, Path(c.name)},
              Strings{"set", Path(c.name), "Rev Limit=6100"}}) {
            SCOPED_TRACE(args[0] + " " + c.name);
            RunResult r = Run(args);
            EXPECT_EQ(r.code, 3);
            EXPECT_EQ(r.err, "qvx: " + Path(c.name) + ": not a settings file: " + c.says + "\n");
            EXPECT_EQ(ReadFileBytes(Path(c.name)), spoiled);
        }
    }
}

TEST_F(QvxFiles, NewReplacesAFileOnlyWithYesAndLeavesNothingBehindOnFailure) {
    const std::string path = NewFile("a.qvx", {"Rev Limit=8000"});
    const auto edited = ReadFileBytes(path);
    RunResult refused = Run({"new", path});
    EXPECT_EQ(refused.code, 3);
    EXPECT_TRUE(Has(refused.err, "--yes"));
    EXPECT_EQ(ReadFileBytes(path), edited);
    EXPECT_EQ(Run({"new", path, "--yes"}).code, 0);
    EXPECT_EQ(FileValue(ReadFileBytes(path), 5), 6144.0);

    EXPECT_EQ(Run({"new", Path("no-such-folder/a.qvx")}).code, 3);
    EXPECT_FALSE(std::filesystem::exists(Path("no-such-folder")));
    // The target is a folder: the save fails after writing its temporary file,
    // which must not stay behind.
    std::filesystem::create_directories(Path("sub/inner"));
    RunResult r = Run({"new", "--yes", Path("sub/inner")});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(Split(r.err).size(), 1u) << r.err;
    Strings left;
    for (const auto& e : std::filesystem::directory_iterator(Path("sub")))
        left.push_back(e.path().filename().string());
    EXPECT_EQ(left, Strings{"inner"});
}

TEST_F(QvxFiles, DiffListsEachDifferenceByNameWithBothValues) {
    const std::string a = NewFile("a.qvx");
    const std::string b = NewFile("b.qvx");
    RunResult same = Run({"diff", a, b});
    EXPECT_EQ(same.code, 0) << same.err;
    EXPECT_EQ(same.out, "");

    ASSERT_EQ(Run({"set", b, "Rev Limit=7000", "Base Dwell[4]=2.5", "Ignition Mode=1"}).code, 0);
    RunResult r = Run({"diff", a, b});
    EXPECT_EQ(r.code, 4);
    EXPECT_EQ(Split(r.out),
              (Strings{"Ignition Mode: 2 in " + a + ", 1 in " + b,
                       "Rev Limit: 6144 rpm in " + a + ", 7040 rpm in " + b,
                       "Base Dwell[4] at 3.2 volts: 0 msec in " + a + ", 2.5 msec in " + b}));
    EXPECT_TRUE(Has(r.err, "3 differences"));
}

TEST_F(QvxFiles, DiffCountsWhatADownloadWouldWriteAsTheProgramDoes) {
    // Acceleration dwell holds whole milliseconds: 2.5 and 2.0 are both the
    // byte 2, so the files are the same tune, as the Differences window says.
    const std::string a = NewFile("a.qvx");
    const std::string b = NewFile("b.qvx");
    ASSERT_EQ(Run({"set", a, "Acceleration Dwell[1]=2.5"}).code, 0);
    ASSERT_EQ(Run({"set", b, "Acceleration Dwell[1]=2.0"}).code, 0);
    RunResult same = Run({"diff", a, b});
    EXPECT_EQ(same.code, 0) << same.out;
    ASSERT_EQ(Run({"set", b, "Acceleration Dwell[1]=3.0"}).code, 0);
    EXPECT_EQ(Run({"diff", a, b}).code, 4);
}

TEST_F(QvxFiles, MirroredPointsFollowTheProfileSetting) {
    const std::string path = NewFile("a.qvx", {"front[3]=14"});
    const std::string point14 = "{\"x\": 1100, \"y\": 14}";
    const std::string mirrored = Run({"show", "--json", path}).out;
    ASSERT_TRUE(Has(mirrored, point14)) << mirrored;  // both spark advance maps
    EXPECT_NE(mirrored.find(point14, mirrored.find(point14) + 1), std::string::npos);

    std::ofstream(profile) << "[Settings]\nMirror=0\n";
    ASSERT_EQ(Run({"set", path, "rear[3]=20"}).code, 0);
    const std::string alone = Run({"show", "--json", path}).out;
    EXPECT_TRUE(Has(alone, point14));
    EXPECT_TRUE(Has(alone, "{\"x\": 1100, \"y\": 20}"));
}

TEST_F(QvxFiles, UsageErrorsAndHelpDocumentingEveryName) {
    RunResult none = RunRaw({});
    EXPECT_EQ(none.code, 2);
    EXPECT_TRUE(Has(none.err, "qvx --help"));
    RunResult help = RunRaw({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(Has(help.out, "Exit codes"));
    RunResult setHelp = RunRaw({"set", "--help"});
    EXPECT_EQ(setHelp.code, 0);
    for (const auto& info : kBasicSettings) EXPECT_TRUE(Has(setHelp.out, info.label)) << info.label;
    // The ranges set accepts, the ends stepped as the editor shows them.
    for (const char* range :
         {"Rev Limit  1920 to 10112 rpm, step 128", "Cam Sensor Offset  0 to 120 msec, step 8",
          "Ignition Mode  1 (single fire) or 2 (dual fire); also single, dual",
          "Switch Lockout On  170 (on) or 0 (off); also on, off"})
        EXPECT_TRUE(Has(setHelp.out, range)) << range << "\n" << setHelp.out;
    EXPECT_TRUE(Has(setHelp.out, "Acceleration Dwell Correction[N]"));
}

}  // namespace
}  // namespace qx::qvx::test
