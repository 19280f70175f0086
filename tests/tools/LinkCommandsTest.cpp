// The commands that talk to the module, against the emulator on a real
// pseudo-terminal: identify, upload, download, verify and monitor, ports that
// cannot be used, and the emulator of --simulate.
#include <gtest/gtest.h>

#include "ToolTestUtil.h"
#include "core/log/LogReader.h"

namespace qx::qvx::test {
namespace {

class QvxLink : public ToolTest {
  protected:
    void SetUp() override {
        ToolTest::SetUp();
        StartModule();
    }

    // download new.qvx --changed-only --against old.qvx --verify
    RunResult ChangedOnly() {
        return OnModule({"download", Path("new.qvx"), "--changed-only", "--against",
                         Path("old.qvx"), "--verify"});
    }
};

TEST_F(QvxLink, IdentifyPrintsTheAboutBoxFieldsAndKeepsTheProfile) {
    StartModule(emu::EmulatorConfig{.firmware = 0x1A, .serialNumber = 7});
    std::ofstream(profile) << "[Settings]\nPort=2\nTimeout=200\n";
    const std::string before = ReadFileText(profile);
    RunResult r = OnModule({"identify", "--baud", "19200"});
    ASSERT_EQ(r.code, 0) << r.err << r.messages;
    EXPECT_EQ(r.out, "Serial No.: 00007\nFirmware Version No.: 1.10\n");
    EXPECT_TRUE(Has(r.messages, "Connection to Module Successfully Established"));
    EXPECT_FALSE(module->IsStreaming());
    EXPECT_EQ(ReadFileText(profile), before) << "port and speed hold for this run only";
}

TEST_F(QvxLink, UploadWritesTheModulesSettingsToAFile) {
    module->Poke(0xB662, 0x02);  // rev limit internal 2: 6272 rpm
    module->Poke(0xB603, 27);    // front spark advance point 3
    module->Poke(0xB643, 43);    // base dwell point 3: 43/17 msec, stepped to 2.5
    RunResult r = OnModule({"upload", Path("up.qvx")});
    ASSERT_EQ(r.code, 0) << r.err << r.messages;
    const auto file = ReadFileBytes(Path("up.qvx"));
    ASSERT_EQ(file.size(), 3676u);
    EXPECT_EQ(FileValue(file, 5), 6272.0);
    EXPECT_EQ(FileValue(file, 3, 0), 27.0);
    EXPECT_EQ(FileValue(file, 3, 4), 2.5);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(FileValue(file, i, 1), module->Peek(static_cast<uint16_t>(0xB610 + i))) << i;
    EXPECT_TRUE(module->Counters().writes.empty()) << "reading only";
    EXPECT_EQ(OnModule({"verify", Path("up.qvx")}).code, 0);
}

TEST_F(QvxLink, DownloadWritesEveryByteInOrderAndVerifies) {
    NewFile("a.qvx", {"Rev Limit=6100", "Base Dwell[4]=2.5", "VOES[1]=7"});
    RunResult r = OnModule({"download", "--verify", Path("a.qvx")});
    ASSERT_EQ(r.code, 0) << r.err << r.messages;
    EXPECT_TRUE(Has(r.err, "no differences"));

    const auto writes = module->Counters().writes;
    ASSERT_EQ(writes.size(), 108u);
    // The basic settings first, in file order, then the maps.
    const uint16_t basicOrder[] = {0xB661, 0xB670, 0xB66C, 0xB668, 0xB669, 0xB662,
                                   0xB66B, 0xB66A, 0xB66D, 0xB671, 0xB66F, 0xB667};
    for (std::size_t i = 0; i < 108; ++i)
        EXPECT_EQ(writes[i].address, i < 12 ? basicOrder[i] : 0xB600 + i - 12) << i;
    EXPECT_EQ(module->Peek(0xB662), 0x01);  // 6144 rpm
    EXPECT_EQ(module->Peek(0xB66B), 0x85);  // start mode enter, sign-magnitude -5
    EXPECT_EQ(module->Peek(0xB643), 42);    // 2.5 msec
    EXPECT_EQ(module->Peek(0xB620), 7);

    // Verify names what the module holds otherwise, and writes nothing.
    module->Poke(0xB605, 30);
    module->Poke(0xB662, 0x03);
    RunResult v = OnModule({"verify", Path("a.qvx")});
    EXPECT_EQ(v.code, 4) << v.err << v.messages;
    EXPECT_EQ(Split(v.out),
              (Strings{"Rev Limit: 6144 rpm in " + Path("a.qvx") + ", 6400 rpm in the module",
                       "Front Cylinder Spark Advance[6] at 2750 rpm: 0 deg in " + Path("a.qvx") +
                           ", 30 deg in the module"}));
    EXPECT_EQ(module->Counters().writes.size(), 108u);
}

TEST_F(QvxLink, PortsThatCannotBeUsedAndAModuleThatDoesNotAnswer) {
    RunResult missing = Run({"identify", "--port", "/dev/no-such-tty"});
    EXPECT_EQ(missing.code, 1);
    ASSERT_EQ(Split(missing.err).size(), 1u) << missing.err;
    const std::string says = "qvx: cannot open /dev/no-such-tty: ";
    EXPECT_TRUE(Has(missing.err, says));
    EXPECT_GT(missing.err.size(), says.size() + 1) << "with the system's reason";
    EXPECT_EQ(Run({"identify", "--port", "COM9"}).code, 2);
    // A missing file is found before any port is touched.
    EXPECT_EQ(OnModule({"download", Path("missing.qvx")}).code, 3);
    EXPECT_EQ(module->Counters().framesByCommand[0], 0);  // no IDENTIFY either

    module->SetFaultProbability(emu::Fault::Silent, 1.0);
    ASSERT_EQ(Run({"new", Path("a.qvx")}).code, 0);
    const auto before = ReadFileBytes(Path("a.qvx"));
    EXPECT_EQ(OnModule({"upload", Path("a.qvx")}).code, 1);
    EXPECT_EQ(ReadFileBytes(Path("a.qvx")), before);
}

TEST_F(QvxLink, MonitorWritesAWellFormedCsvAndLeavesTheModuleQuiet) {
    RunResult r = OnModule({"monitor", "--seconds", "1.5", "--csv", Path("live.csv"), "--values",
                            "engine speed,battery"});
    ASSERT_EQ(r.code, 0) << r.err << r.messages;
    EXPECT_FALSE(module->IsStreaming());
    EXPECT_GE(module->Counters().cancels, 1);

    // How many rows 1.5 s gives depends on the machine's load; the rate itself is
    // checked on the virtual clock (QvxMonitorStream).
    const auto lines = Split(ReadFileText(Path("live.csv")));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Time,Engine Speed,Battery Voltage");
    EXPECT_EQ(lines[1], "ms,rpm,volts");
    long previous = 0;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const auto fields = Split(lines[i], ',');
        ASSERT_EQ(fields.size(), 3u) << lines[i];
        // Packets read in one go after a stall share their millisecond.
        EXPECT_GE(std::stol(fields[0]), previous);
        previous = std::stol(fields[0]);
        // At least one decimal, without the window's blank.
        for (std::size_t f = 1; f < 3; ++f) {
            ASSERT_FALSE(fields[f].empty());
            EXPECT_NE(fields[f][0], ' ');
            EXPECT_GE(fields[f].size() - fields[f].find('.'), 2u) << fields[f];
        }
        EXPECT_NEAR(std::stod(fields[2]), 13.8, 0.5);  // the emulated battery
    }
    // The program opens it for playback.
    EngineLog log;
    std::string error;
    EXPECT_TRUE(ReadEngineLogFile(Path("live.csv"), log, error)) << error;
    EXPECT_EQ(log.Rows(), lines.size() - 2);
    EXPECT_TRUE(Has(r.err, "Packets received: " + std::to_string(lines.size() - 2))) << r.err;
    EXPECT_TRUE(Has(r.err, "Bad packets: 0"));
    EXPECT_TRUE(Has(r.err, "Sample rate: "));
}

TEST_F(QvxLink, SimulateNeedsNoModule) {
    RunResult up = Run({"--simulate", "upload", Path("x.qvx")});
    ASSERT_EQ(up.code, 0) << up.err << up.messages;
    EXPECT_TRUE(Has(Run({"show", Path("x.qvx")}).out, "Front Cylinder Spark Advance"));
    // The emulator's tune is not the default document.
    ASSERT_EQ(Run({"new", Path("d.qvx")}).code, 0);
    EXPECT_EQ(Run({"diff", Path("d.qvx"), Path("x.qvx")}).code, 4);
}

// download --changed-only: only what differs from the tune last sent reaches
// the module; --verify then compares the whole module with the file. Here
// old.qvx claims a VOES[2] the module never got: that point differs.
TEST_F(QvxLink, WritesOnlyTheBytesThatDifferAndReadsThemBack) {
    NewFile("old.qvx");
    ASSERT_EQ(OnModule({"download", Path("old.qvx")}).code, 0);
    // Rev Limit changes its byte; 6100 and 6144 rpm are one step, so only the first counts.
    NewFile("new.qvx", {"Rev Limit=6100", "VOES[1]=7", "VOES[2]=3"});
    ASSERT_EQ(Run({"set", Path("old.qvx"), "VOES[2]=3"}).code, 0);
    ASSERT_EQ(Run({"set", Path("old.qvx"), "Rev Limit=6144"}).code, 0);

    RunResult r = ChangedOnly();
    ASSERT_EQ(r.code, 4) << r.err << r.messages;
    EXPECT_TRUE(Has(r.out, "VOES Retard[2]")) << r.out;
    EXPECT_TRUE(Has(r.out, "1 of 108 settings written")) << r.out;
    const auto writes = module->Counters().writes;
    ASSERT_EQ(writes.size(), 109u);  // the first full download, then one
    EXPECT_EQ(writes.back().address, 0xB620);
    EXPECT_EQ(writes.back().value, 7);
    EXPECT_EQ(module->Peek(0xB620), 7);

    // Against the same old tune, every point that differs from it goes again.
    module->Poke(0xB620, 9);
    ASSERT_EQ(Run({"set", Path("new.qvx"), "VOES[3]=4"}).code, 0);
    RunResult v = ChangedOnly();
    EXPECT_EQ(v.code, 4) << v.err;
    EXPECT_TRUE(Has(v.out, "2 of 108 settings written")) << v.out;
    EXPECT_EQ(module->Peek(0xB620), 7);

    // The two options go together.
    EXPECT_EQ(OnModule({"download", Path("new.qvx"), "--changed-only"}).code, 2);
    EXPECT_EQ(OnModule({"download", Path("new.qvx"), "--against", Path("old.qvx")}).code, 2);
    RunResult bad =
        OnModule({"download", Path("new.qvx"), "--changed-only", "--against", Path("missing.qvx")});
    EXPECT_EQ(bad.code, 3) << bad.err;
}

TEST_F(QvxLink, LineSpeedsAreEitherRunOrRefused) {
    // The emulator's pseudo-terminal takes any speed: an odd one runs.
    RunResult odd = OnModule({"identify", "--baud", "31250"});
    EXPECT_EQ(odd.code, 0) << odd.err << odd.messages;
    RunResult low = OnModule({"identify", "--baud", "20"});
    EXPECT_EQ(low.code, 2);
    EXPECT_TRUE(Has(low.err, "from 50 to 4000000")) << low.err;
}

// A profile speed that is none is refused with its value named, never run at
// 9600 unsaid; --baud given on the line stands instead of it.
TEST_F(QvxLink, AProfileSpeedThatIsNoneIsRefused) {
    for (const char* written : {"99999999", "abc", "0"}) {
        SCOPED_TRACE(written);
        std::ofstream(profile) << "[Settings]\nBaud Rate=" << written << "\n";
        const uint64_t sent = module->Counters().bytesReceived;
        RunResult r = OnModule({"identify"});
        EXPECT_EQ(r.code, 2) << r.out;
        EXPECT_TRUE(Has(r.err, std::string("Baud Rate \"") + written + "\"")) << r.err;
        EXPECT_EQ(module->Counters().bytesReceived, sent) << "nothing was sent";
        RunResult given = OnModule({"identify", "--baud", "9600"});
        EXPECT_EQ(given.code, 0) << given.err << given.messages;
    }
}

// download --changed-only --verify on a module that holds the old tune verifies
// clean (one that does not is reported: WritesOnlyTheBytesThatDifferAndReadsThemBack).
TEST_F(QvxLink, ChangedOnlyVerifyComparesTheWholeModule) {
    NewFile("old.qvx");
    NewFile("new.qvx", {"VOES[1]=7"});
    ASSERT_EQ(OnModule({"download", Path("old.qvx")}).code, 0);
    RunResult clean = ChangedOnly();
    EXPECT_EQ(clean.code, 0) << clean.out << clean.err;
    EXPECT_TRUE(Has(clean.err, "no differences")) << clean.err;
    EXPECT_TRUE(Has(clean.out, "1 of 108 settings written")) << clean.out;
    EXPECT_EQ(module->Peek(0xB620), 7);
}

// A file holding a value the editors refuse (Ignition Mode 200 in record 0, the
// value at offset 2) is refused before the link is made: nothing reaches the module.
TEST_F(QvxLink, DownloadRefusesAFileWithAValueNoEditorSets) {
    const std::string path = NewFile("w_mode.qvx");
    auto bytes = ReadFileBytes(path);
    const double mode = 200.0;
    std::memcpy(bytes.data() + 2, &mode, sizeof mode);
    WriteFileBytes(path, bytes);
    RunResult r = OnModule({"download", path});
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_TRUE(Has(r.err, "\"Ignition Mode\": the value 200 is not one it takes")) << r.err;
    EXPECT_EQ(module->Counters().bytesReceived, 0u);
    EXPECT_TRUE(module->Counters().writes.empty());
    EXPECT_EQ(module->Peek(0xB661), 2);  // dual fire, as it was
}

// An adapter pulled part way through a download: the run says the adapter is
// gone and that the module may hold part of the file.
TEST_F(QvxLink, APulledAdapterDuringADownloadSaysWhatTheModuleMayHold) {
    std::ofstream(profile) << "[Settings]\nTimeout=200\n";
    const std::string path = NewFile("a.qvx");
    module->ArmFault(emu::Fault::Vanish, 1, 40);
    RunResult r = OnModule({"download", path});
    EXPECT_EQ(r.code, 1) << r.err;
    const std::size_t written = module->Counters().writes.size();
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, 108u);
    EXPECT_EQ(r.err, "qvx: download failed: the module adapter " + module->SlavePath() +
                         " is gone (unplugged?); the module may now hold part of " + path +
                         " and part of what it held: run \"qvx verify " + path +
                         "\" once it answers, or download again\n");
}

// An adapter pulled while live values stream ends the run saying the adapter
// is gone, not that the stream could not be stopped.
TEST_F(QvxLink, APulledAdapterEndsMonitorSayingSo) {
    std::ofstream(profile) << "[Settings]\nTimeout=200\n";
    for (int skip : {1, 2, 3}) {
        SCOPED_TRACE(skip);
        StartModule();
        module->ArmFault(emu::Fault::Vanish, 1, skip);
        RunResult r = OnModule({"monitor", "--seconds", "5"});
        EXPECT_EQ(r.code, 1) << r.err;
        EXPECT_TRUE(Has(r.err, "module adapter " + module->SlavePath() + " is gone")) << r.err;
        EXPECT_FALSE(Has(r.err, "could not be stopped")) << r.err;
    }
}

}  // namespace
}  // namespace qx::qvx::test
