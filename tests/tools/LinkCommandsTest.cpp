// The commands that talk to the module, against the emulator on a real
// pseudo-terminal: identify, upload, download, verify and monitor, ports that
// cannot be used, and the emulator of --simulate.
#include <gtest/gtest.h>

#include <cstring>

#include "ToolTestUtil.h"
#include "emulator/PtyEmulator.h"

namespace qx::qvx::test {
namespace {

double MapPointValue(const std::vector<uint8_t>& file, int map, int point) {
    double v;
    std::memcpy(&v, file.data() + 412 + (map * 16 + point) * 34 + 2, sizeof v);
    return v;
}
double BasicValue(const std::vector<uint8_t>& file, int index) {
    double v;
    std::memcpy(&v, file.data() + index * 34 + 2, sizeof v);
    return v;
}

class QvxLink : public ToolTest {
  protected:
    void StartModule(const emu::EmulatorConfig& config = {}) {
        module = std::make_unique<emu::PtyEmulator>(config);
        std::string error;
        ASSERT_TRUE(module->Start(&error)) << error;
    }
    void SetUp() override {
        ToolTest::SetUp();
        StartModule();
    }
    void TearDown() override {
        module.reset();
        ToolTest::TearDown();
    }
    // Runs a command on the emulator's device.
    RunResult OnModule(std::vector<std::string> args) {
        args.push_back("--port");
        args.push_back(module->SlavePath());
        return Run(args);
    }

    std::unique_ptr<emu::PtyEmulator> module;
};

TEST_F(QvxLink, IdentifyPrintsTheAboutBoxFields) {
    emu::EmulatorConfig config;
    config.firmware = 0x1A;
    config.serialNumber = 7;
    StartModule(config);
    RunResult r = OnModule({"identify"});
    ASSERT_EQ(r.code, 0) << r.err << r.messages;
    EXPECT_EQ(r.out, "Serial No.: 00007\nFirmware Version No.: 1.10\n");
    EXPECT_NE(r.messages.find("Connection to Module Successfully Established"), std::string::npos);
    EXPECT_FALSE(module->IsStreaming());
}

TEST_F(QvxLink, UploadWritesTheModulesSettingsToAFile) {
    module->Poke(0xB662, 0x02);  // rev limit internal 2: 6272 rpm
    module->Poke(0xB603, 27);    // front spark advance point 3
    module->Poke(0xB643, 43);    // base dwell point 3: 43/17 msec, stepped to 2.5
    RunResult r = OnModule({"upload", Path("up.qvx")});
    ASSERT_EQ(r.code, 0) << r.err << r.messages;
    const auto file = ReadBytes(Path("up.qvx"));
    ASSERT_EQ(file.size(), 3676u);
    EXPECT_EQ(BasicValue(file, 5), 6272.0);
    EXPECT_EQ(MapPointValue(file, 0, 3), 27.0);
    EXPECT_EQ(MapPointValue(file, 4, 3), 2.5);
    // Every spark advance point as the module holds it.
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(MapPointValue(file, 1, i), module->Peek(static_cast<uint16_t>(0xB610 + i))) << i;
    }
    // Reading only: nothing was written to the module.
    EXPECT_TRUE(module->Counters().writes.empty());
    // The module matches the file it gave.
    EXPECT_EQ(OnModule({"verify", Path("up.qvx")}).code, 0);
}

TEST_F(QvxLink, DownloadWritesEveryByteInOrderAndVerifies) {
    ASSERT_EQ(Run({"new", Path("a.qvx")}).code, 0);
    ASSERT_EQ(Run({"set", Path("a.qvx"), "Rev Limit=6100", "Base Dwell[3]=2.5", "VOES[0]=7"}).code,
              0);
    RunResult r = OnModule({"download", "--verify", Path("a.qvx")});
    ASSERT_EQ(r.code, 0) << r.err << r.messages;
    EXPECT_NE(r.err.find("no differences"), std::string::npos);

    const auto writes = module->Counters().writes;
    ASSERT_EQ(writes.size(), 108u);
    // The basic settings first, in file order, then the maps.
    const std::vector<uint16_t> basicOrder = {0xB661, 0xB670, 0xB66C, 0xB668, 0xB669, 0xB662,
                                              0xB66B, 0xB66A, 0xB66D, 0xB671, 0xB66F, 0xB667};
    for (std::size_t i = 0; i < basicOrder.size(); ++i) EXPECT_EQ(writes[i].address, basicOrder[i]);
    for (std::size_t i = 0; i < 96; ++i) EXPECT_EQ(writes[12 + i].address, 0xB600 + i);
    EXPECT_EQ(module->Peek(0xB662), 0x01);  // 6144 rpm
    EXPECT_EQ(module->Peek(0xB66B), 0x85);  // start mode enter, sign-magnitude -5
    EXPECT_EQ(module->Peek(0xB643), 42);    // 2.5 msec
    EXPECT_EQ(module->Peek(0xB620), 7);
}

TEST_F(QvxLink, VerifyListsWhatTheModuleHoldsOtherwiseAndWritesNothing) {
    ASSERT_EQ(Run({"new", Path("a.qvx")}).code, 0);
    ASSERT_EQ(OnModule({"download", Path("a.qvx")}).code, 0);
    module->Poke(0xB605, 30);
    module->Poke(0xB662, 0x03);
    const std::size_t writesBefore = module->Counters().writes.size();

    RunResult r = OnModule({"verify", Path("a.qvx")});
    EXPECT_EQ(r.code, 4) << r.err << r.messages;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_EQ(lines[0], "Rev Limit: 6144 rpm in " + Path("a.qvx") + ", 6400 rpm in the module");
    EXPECT_EQ(lines[1], "Front Cylinder Spark Advance[5] at 2750 rpm: 0 deg in " + Path("a.qvx") +
                            ", 30 deg in the module");
    EXPECT_EQ(module->Counters().writes.size(), writesBefore);
}

TEST_F(QvxLink, PortsThatCannotBeUsed) {
    RunResult missing = Run({"identify", "--port", "/dev/no-such-tty"});
    EXPECT_EQ(missing.code, 1);
    ASSERT_EQ(Lines(missing.err).size(), 1u) << missing.err;
    EXPECT_NE(missing.err.find("cannot open /dev/no-such-tty: "), std::string::npos);
    EXPECT_GT(missing.err.size(), std::string("qvx: cannot open /dev/no-such-tty: \n").size());

    RunResult notADevice = Run({"identify", "--port", profile + ".none"});
    EXPECT_EQ(notADevice.code, 1);

    EXPECT_EQ(Run({"identify", "--port", "COM9"}).code, 2);
    EXPECT_EQ(Run({"identify", "--port", "fast"}).code, 2);

    // A missing file is found before any port is touched.
    RunResult badFile = OnModule({"download", Path("missing.qvx")});
    EXPECT_EQ(badFile.code, 3);
    EXPECT_EQ(module->Counters().framesByCommand[0], 0);  // no IDENTIFY either
}

TEST_F(QvxLink, AModuleThatDoesNotAnswerIsACommunicationFailure) {
    module->SetFaultProbability(emu::Fault::Silent, 1.0);
    ASSERT_EQ(Run({"new", Path("a.qvx")}).code, 0);
    const auto before = ReadBytes(Path("a.qvx"));
    RunResult r = OnModule({"upload", Path("a.qvx")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(ReadBytes(Path("a.qvx")), before);
}

TEST_F(QvxLink, PortAndSpeedOfTheCommandLineNeverReachTheProfile) {
    std::ofstream(profile) << "[Settings]\nPort=2\nTimeout=200\n";
    const std::string before = ReadText(profile);
    ASSERT_EQ(OnModule({"identify", "--baud", "19200"}).code, 0);
    EXPECT_EQ(ReadText(profile), before);
}

TEST_F(QvxLink, MonitorWritesAWellFormedCsvAndLeavesTheModuleQuiet) {
    RunResult r = OnModule({"monitor", "--seconds", "1.5", "--csv", Path("live.csv"), "--values",
                            "engine speed,battery"});
    ASSERT_EQ(r.code, 0) << r.err << r.messages;
    EXPECT_FALSE(module->IsStreaming());
    EXPECT_GE(module->Counters().cancels, 1);
    EXPECT_FALSE(std::filesystem::exists(Path("live.csv.part")));

    const auto lines = Lines(ReadText(Path("live.csv")));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Time,Engine Speed,Battery Voltage");
    EXPECT_EQ(lines[1], "ms,rpm,volts");
    long previous = -1;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const auto fields = SplitCsv(lines[i]);
        ASSERT_EQ(fields.size(), 3u) << lines[i];
        const long ms = std::stol(fields[0]);
        EXPECT_GT(ms, previous);
        previous = ms;
        for (std::size_t f = 1; f < fields.size(); ++f) {
            // One decimal, as the monitor window shows it, without its blank.
            ASSERT_FALSE(fields[f].empty());
            EXPECT_NE(fields[f][0], ' ');
            const auto dot = fields[f].find('.');
            ASSERT_NE(dot, std::string::npos) << fields[f];
            EXPECT_EQ(fields[f].size() - dot, 2u) << fields[f];
        }
        EXPECT_NEAR(std::stod(fields[2]), 13.8, 0.5);  // the emulated battery
    }
    // 63-byte packets at 9600 baud: 15 a second.
    EXPECT_GE(lines.size() - 2, 15u);
    EXPECT_NE(r.err.find("Packets received: " + std::to_string(lines.size() - 2)),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Bad packets: 0"), std::string::npos);
    EXPECT_NE(r.err.find("Sample rate: "), std::string::npos);
}

TEST_F(QvxLink, MonitorRefusesUnknownValueNames) {
    RunResult r = OnModule({"monitor", "--seconds", "1", "--csv", Path("x.csv"), "--values",
                            "Engine"});  // Engine Speed or Engine Accel.
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("ambiguous"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Path("x.csv")));
    EXPECT_FALSE(std::filesystem::exists(Path("x.csv.part")));
    EXPECT_EQ(module->Counters().framesByCommand[0], 0);
}

TEST_F(QvxLink, SimulateNeedsNoModule) {
    RunResult up = Run({"--simulate", "upload", Path("x.qvx")});
    ASSERT_EQ(up.code, 0) << up.err << up.messages;
    RunResult shown = Run({"show", Path("x.qvx")});
    EXPECT_EQ(shown.code, 0);
    EXPECT_NE(shown.out.find("Front Cylinder Spark Advance"), std::string::npos);
    // The emulator's tune is not the default document.
    ASSERT_EQ(Run({"new", Path("d.qvx")}).code, 0);
    EXPECT_EQ(Run({"diff", Path("d.qvx"), Path("x.qvx")}).code, 4);
}

}  // namespace
}  // namespace qx::qvx::test
