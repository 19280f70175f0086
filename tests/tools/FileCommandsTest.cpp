// The commands on files: new, show, set and diff, and every bad input with its
// exit code. A failed command never leaves a changed or half-written file.
#include <gtest/gtest.h>

#include <cstring>

#include "ToolTestUtil.h"
#include "model/ModuleState.h"

namespace qx::qvx::test {
namespace {

double RecordValue(const std::vector<uint8_t>& file, std::size_t record) {
    double v;
    std::memcpy(&v, file.data() + record * 34 + 2, sizeof v);
    return v;
}

class QvxFiles : public ToolTest {
  protected:
    // A new settings file at name; returns its path.
    std::string NewFile(const std::string& name) {
        const std::string path = Path(name);
        RunResult r = Run({"new", path});
        EXPECT_EQ(r.code, 0) << r.err;
        return path;
    }
};

TEST_F(QvxFiles, NewThenShowListsTheDefaults) {
    const std::string path = NewFile("a.qvx");
    const auto bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 3676u);
    EXPECT_EQ(bytes[0], 0x61);
    EXPECT_EQ(bytes[1], 0xB6);

    RunResult r = Run({"show", path});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Rev Limit          6144 rpm"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Ignition Mode      2 (dual fire)"), std::string::npos);
    EXPECT_NE(r.out.find("Start Mode Enter   341.333 rpm"), std::string::npos);
    EXPECT_NE(r.out.find("Base Dwell (Dwell over Voltage)"), std::string::npos);
    EXPECT_NE(r.out.find("  rpm / sec    0  272  544  816"), std::string::npos);
    EXPECT_EQ(r.err, "");
}

TEST_F(QvxFiles, ShowJsonCarriesEverySettingAndPoint) {
    const std::string path = NewFile("a.qvx");
    ASSERT_EQ(Run({"set", path, "Base Dwell[1]=2.5", "Nitrous Delay=1.5"}).code, 0);
    RunResult r = Run({"show", "--json", path});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.front(), '{');
    EXPECT_NE(r.out.find("{\"name\": \"Nitrous Delay\", \"value\": 1.5, \"unit\": \"sec\", "
                         "\"min\": 0, \"max\": 7.5}"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"title\": \"Base Dwell\""), std::string::npos);
    EXPECT_NE(r.out.find("{\"x\": 1.0666666666666667, \"y\": 2.5}"), std::string::npos);
    // Balanced brackets and one object per setting and point.
    int depth = 0;
    std::size_t objects = 0;
    for (char c : r.out) {
        if (c == '{' || c == '[') ++depth;
        if (c == '}' || c == ']') --depth;
        if (c == '{') ++objects;
        ASSERT_GE(depth, 0);
    }
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(objects, 1u + 12u + 6u + 96u);
}

TEST_F(QvxFiles, SetQuantisesAndKeepsTheFileWhole) {
    const std::string path = NewFile("a.qvx");
    RunResult r = Run({"set", path, "Rev Limit=6100", "rev limit rate=5.4", "VOES Retard[15]=33"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("Rev Limit = 6144 rpm"), std::string::npos) << r.err;
    const auto bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 3676u);
    EXPECT_EQ(RecordValue(bytes, 5), 6144.0);  // Rev Limit: 6100 steps to 6144
    EXPECT_EQ(RecordValue(bytes, 9), 5.0);
    // VOES Retard is map 2: records after the 12 basic ones and the map count.
    double voes15;
    std::memcpy(&voes15, bytes.data() + 412 + (2 * 16 + 15) * 34 + 2, sizeof voes15);
    EXPECT_EQ(voes15, 20.0);  // the top of the map
}

TEST_F(QvxFiles, SetRefusesBadInputAndLeavesTheFileUntouched) {
    const std::string path = NewFile("a.qvx");
    ASSERT_EQ(Run({"set", path, "Rev Limit=7000"}).code, 0);
    const auto before = ReadBytes(path);
    struct Case {
        std::string assignment;
        std::string says;
    };
    const std::vector<Case> cases = {
        {"Turbo=3", "unknown setting name \"Turbo\""},
        {"Rev Limit=fast", "\"fast\" is not a number"},
        {"Rev Limit=", "is not a number"},
        {"Rev Limit", "is not NAME=VALUE"},
        {"front[99]=3", "0 to 15"},
        {"Ignition Mode=3", "1 (single fire) or 2 (dual fire)"},
    };
    for (const auto& c : cases) {
        // A good assignment first: nothing of it may reach the file either.
        RunResult r = Run({"set", path, "Rev Limit=3000", c.assignment});
        EXPECT_EQ(r.code, 2) << c.assignment;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.assignment << ": " << r.err;
        EXPECT_NE(r.err.find("is unchanged"), std::string::npos);
        EXPECT_EQ(ReadBytes(path), before) << c.assignment;
    }
}

TEST_F(QvxFiles, BadFilesAreRefusedWithExitCodeThree) {
    const std::string good = NewFile("good.qvx");
    const auto bytes = ReadBytes(good);

    auto shortFile = bytes;
    shortFile.resize(3000);
    WriteBytes(Path("short.qvx"), shortFile);
    auto longFile = bytes;
    longFile.push_back(0);
    WriteBytes(Path("long.qvx"), longFile);
    auto badCount = bytes;
    badCount[408] = 7;  // the map count
    WriteBytes(Path("count.qvx"), badCount);
    auto notANumber = bytes;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::memcpy(notANumber.data() + 5 * 34 + 2, &nan, sizeof nan);
    WriteBytes(Path("nan.qvx"), notANumber);
    WriteBytes(Path("empty.qvx"), {});

    for (const char* name :
         {"missing.qvx", "short.qvx", "long.qvx", "count.qvx", "nan.qvx", "empty.qvx"}) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"show", Path(name)},
              std::vector<std::string>{"diff", good, Path(name)},
              std::vector<std::string>{"set", Path(name), "Rev Limit=6100"}}) {
            const auto before = ReadBytes(Path(name));
            RunResult r = Run(args);
            EXPECT_EQ(r.code, 3) << args[0] << " " << name;
            EXPECT_EQ(r.out, "") << name;
            // One line, naming the file.
            EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
            EXPECT_NE(r.err.find(std::string("qvx: ") + Path(name)), std::string::npos) << r.err;
            EXPECT_EQ(ReadBytes(Path(name)), before);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(Path("missing.qvx")));
    // A folder is not a settings file either.
    EXPECT_EQ(Run({"show", dir}).code, 3);
}

TEST_F(QvxFiles, NewReplacesAFileOnlyWithYes) {
    const std::string path = NewFile("a.qvx");
    ASSERT_EQ(Run({"set", path, "Rev Limit=8000"}).code, 0);
    const auto edited = ReadBytes(path);

    RunResult refused = Run({"new", path});
    EXPECT_EQ(refused.code, 3);
    EXPECT_NE(refused.err.find("--yes"), std::string::npos);
    EXPECT_EQ(ReadBytes(path), edited);

    RunResult replaced = Run({"new", path, "--yes"});
    EXPECT_EQ(replaced.code, 0) << replaced.err;
    EXPECT_EQ(RecordValue(ReadBytes(path), 5), 6144.0);
}

TEST_F(QvxFiles, SaveFailureLeavesNoFileBehind) {
    EXPECT_EQ(Run({"new", Path("no-such-folder/a.qvx")}).code, 3);
    EXPECT_FALSE(std::filesystem::exists(Path("no-such-folder")));

    // The target is a folder: the save fails after writing its temporary file,
    // which must not stay behind.
    std::filesystem::create_directory(Path("sub"));
    std::filesystem::create_directory(Path("sub/inner"));
    RunResult r = Run({"new", "--yes", Path("sub/inner")});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
    EXPECT_TRUE(std::filesystem::is_directory(Path("sub/inner")));
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(Path("sub"))) {
        left.push_back(e.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"inner"});
}

TEST_F(QvxFiles, DiffListsEachDifferenceByNameWithBothValues) {
    const std::string a = NewFile("a.qvx");
    const std::string b = NewFile("b.qvx");
    RunResult same = Run({"diff", a, b});
    EXPECT_EQ(same.code, 0) << same.err;
    EXPECT_EQ(same.out, "");

    ASSERT_EQ(Run({"set", b, "Rev Limit=7000", "Base Dwell[3]=2.5", "Ignition Mode=1"}).code, 0);
    RunResult r = Run({"diff", a, b});
    EXPECT_EQ(r.code, 4);
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0], "Ignition Mode: 2 in " + a + ", 1 in " + b);
    EXPECT_EQ(lines[1], "Rev Limit: 6144 rpm in " + a + ", 7040 rpm in " + b);
    EXPECT_EQ(lines[2], "Base Dwell[3] at 3.2 volts: 0 msec in " + a + ", 2.5 msec in " + b);
    EXPECT_NE(r.err.find("3 differences"), std::string::npos);
}

TEST_F(QvxFiles, MirroredPointsFollowTheProfileSetting) {
    const std::string path = NewFile("a.qvx");
    ASSERT_EQ(Run({"set", path, "front[2]=14"}).code, 0);
    RunResult mirrored = Run({"show", "--json", path});
    // Both spark advance maps carry the point.
    std::size_t first = mirrored.out.find("{\"x\": 1100, \"y\": 14}");
    ASSERT_NE(first, std::string::npos) << mirrored.out;
    EXPECT_NE(mirrored.out.find("{\"x\": 1100, \"y\": 14}", first + 1), std::string::npos);

    std::ofstream(profile) << "[Settings]\nMirror=0\n";
    ASSERT_EQ(Run({"set", path, "rear[2]=20"}).code, 0);
    RunResult alone = Run({"diff", path, path});
    EXPECT_EQ(alone.code, 0);
    RunResult shown = Run({"show", "--json", path});
    EXPECT_NE(shown.out.find("{\"x\": 1100, \"y\": 14}"), std::string::npos);
    EXPECT_NE(shown.out.find("{\"x\": 1100, \"y\": 20}"), std::string::npos);
}

TEST_F(QvxFiles, UsageErrorsAndHelp) {
    RunResult none = RunRaw({});
    EXPECT_EQ(none.code, 2);
    EXPECT_NE(none.err.find("qvx --help"), std::string::npos);
    EXPECT_EQ(RunRaw({"show"}).code, 2);
    EXPECT_EQ(RunRaw({"frobnicate"}).code, 2);

    RunResult help = RunRaw({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("Exit codes"), std::string::npos);
    RunResult setHelp = RunRaw({"set", "--help"});
    EXPECT_EQ(setHelp.code, 0);
    // The names of every setting are documented.
    for (const auto& info : kBasicSettings) {
        EXPECT_NE(setHelp.out.find(info.label), std::string::npos) << info.label;
    }
    EXPECT_NE(setHelp.out.find("Acceleration Dwell Correction[N]"), std::string::npos);
}

}  // namespace
}  // namespace qx::qvx::test
