// Every fault the emulator can inject, struck part way through each qvx command
// that talks to the module: the command ends with exit 1 (0 where the fault
// cannot touch it), shows at most one failure message besides its own summary,
// does not crash, leaves the file it was to write as it was, and the module
// holds no write the command did not mean.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>

#include "ToolTestUtil.h"
#include "emulator/PtyEmulator.h"

namespace qx::qvx::test {
namespace {

enum class Op { Identify, Upload, Download, Monitor };
const char* const kOpNames[] = {"Identify", "Upload", "Download", "Monitor"};

// A timeout of 50 ms keeps failing exchanges short.
constexpr const char* kQuickProfile =
    "[Settings]\nTimeout=50\nRetries=1\nWait Retries=1\nDelay=10\n";
constexpr int64_t kSlowUs = 400'000;  // beyond the 100 ms the host waits for an answer

bool Once(emu::Fault fault) {
    return fault == emu::Fault::Flood || fault == emu::Fault::Vanish;
}

// The module's messages that report a failure (every one but the link's greeting).
Strings FailureMessages(const std::string& messages) {
    Strings failures;
    for (const std::string& line : Split(messages)) {
        if (!Has(line, "Successfully Established")) failures.push_back(line);
    }
    return failures;
}

class QvxFaultMatrix : public ToolTest, public testing::WithParamInterface<Op> {
  protected:
    void SetUp() override {
        ToolTest::SetUp();
        std::ofstream(profile) << kQuickProfile;
        ASSERT_EQ(Run({"new", Path("tune.qvx")}).code, 0);
        ASSERT_EQ(Run({"set", Path("tune.qvx"), "Rev Limit=6100", "VOES[1]=7"}).code, 0);
        tune = ReadBytes(Path("tune.qvx"));
    }

    Strings Args(Op op, const std::string& device) {
        switch (op) {
            case Op::Identify:
                return {"identify", "--port", device};
            case Op::Upload:
                return {"upload", Path("tune.qvx"), "--port", device};
            case Op::Download:
                return {"download", Path("tune.qvx"), "--port", device};
            case Op::Monitor:
                return {"monitor", "--seconds", "0.3", "--port", device};
        }
        return {};
    }

    std::vector<uint8_t> tune;
};

TEST_P(QvxFaultMatrix, EveryFaultEndsTheCommandCleanly) {
    const Op op = GetParam();
    // What a download means to write, from a run without faults.
    std::map<uint16_t, uint8_t> meant;
    if (op == Op::Download) {
        emu::PtyEmulator clean(emu::EmulatorConfig{.baud = 115200});
        ASSERT_TRUE(clean.Start());
        ASSERT_EQ(Run(Args(op, clean.SlavePath())).code, 0);
        for (const auto& w : clean.Counters().writes) meant[w.address] = w.value;
        ASSERT_EQ(meant.size(), 108u);
    }
    for (int f = 0; f < emu::kFaultCount; ++f) {
        const auto fault = static_cast<emu::Fault>(f);
        SCOPED_TRACE(emu::FaultName(fault));
        emu::PtyEmulator module(emu::EmulatorConfig{.baud = 115200, .slowUs = kSlowUs});
        ASSERT_TRUE(module.Start());
        WriteBytes(Path("tune.qvx"), tune);  // a run that succeeded rewrote it
        // From the link's IDENTIFY on for Identify, from the first exchange after it otherwise.
        module.ArmFault(fault, Once(fault) ? 1 : 1'000'000, op == Op::Identify ? 0 : 1);

        const RunResult r = Run(Args(op, module.SlavePath()));
        // Only writes are acknowledged, and an ACK is no frame to damage.
        const bool damagesFrame =
            fault == emu::Fault::CorruptChecksum || fault == emu::Fault::DropByte;
        const bool untouched = op == Op::Download ? damagesFrame : fault == emu::Fault::SwallowAck;
        EXPECT_EQ(r.code, untouched ? 0 : 1) << r.err << r.messages;
        EXPECT_LE(FailureMessages(r.messages).size(), 1u) << r.messages;
        const Strings summary = Split(r.err);
        EXPECT_EQ(std::count_if(summary.begin(), summary.end(),
                                [](const std::string& l) { return l.rfind("qvx: ", 0) == 0; }),
                  r.code == 0 ? 0 : 1)
            << r.err;
        if (r.code != 0) {
            EXPECT_EQ(ReadBytes(Path("tune.qvx")), tune);
        }
        EXPECT_FALSE(std::filesystem::exists(Path("tune.qvx.part")));

        for (const emu::WriteRecord& w : module.Counters().writes) {
            const auto it = meant.find(w.address);
            EXPECT_TRUE(it != meant.end() && it->second == w.value)
                << "stray write at " << w.address;
        }
    }
}

// The programs themselves: qvx whose module (quorvexi-sim) breaks the link part way
// through an upload or a download.
std::string ProgramPath(const char* name) {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const char* build = std::getenv("QX_BUILD_DIR");
    for (const auto& dir :
         {std::filesystem::path(build ? build : ""), self.parent_path().parent_path()}) {
        if (!dir.empty() && access((dir / "src" / name).c_str(), X_OK) == 0)
            return dir / "src" / name;
    }
    return {};
}

// Runs argv with the output of fd (1 or 2) read through a pipe; pid receives the child.
int Spawn(const Strings& args, int fd, pid_t& pid) {
    int out[2];
    if (pipe(out) != 0) return -1;
    pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        dup2(out[1], fd);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, fd == 1 ? 2 : 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    return out[0];
}

std::string ReadAll(int fd, bool firstLineOnly = false) {
    std::string text;
    char c;
    while (read(fd, &c, 1) == 1) {
        if (firstLineOnly && c == '\n') break;
        text += c;
    }
    return text;
}

TEST_F(QvxFaultMatrix, TheProgramsEndWithExitOneWhenTheLinkBreaksDuringATransfer) {
    const std::string qvx = ProgramPath("qvx"), sim = ProgramPath("quorvexi-sim");
    if (qvx.empty() || sim.empty()) GTEST_SKIP() << "the programs are not built";
    for (const char* command : {"upload", "download"}) {
        for (const char* fault : {"vanish:1:1", "flood:1:1"}) {
            SCOPED_TRACE(std::string(command) + " " + fault);
            pid_t simPid = -1, qvxPid = -1;
            const int simOut = Spawn({sim, "--baud", "115200", "--fault-next", fault}, 1, simPid);
            const std::string device = ReadAll(simOut, true);
            const int qvxErr = Spawn({qvx, command, Path("tune.qvx"), "--port", device, "--baud",
                                      "115200", "--profile", profile},
                                     2, qvxPid);
            const std::string err = ReadAll(qvxErr);
            int status = 0;
            waitpid(qvxPid, &status, 0);
            kill(simPid, SIGTERM);
            waitpid(simPid, nullptr, 0);
            close(simOut);
            close(qvxErr);
            ASSERT_TRUE(WIFEXITED(status)) << "qvx died of signal " << WTERMSIG(status) << err;
            EXPECT_EQ(WEXITSTATUS(status), 1) << err;
            const Strings lines = Split(err);
            EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                    [](const std::string& l) { return l.rfind("qvx: ", 0) == 0; }),
                      1)
                << err;
            EXPECT_EQ(FailureMessages(err).size(), 2u) << "one message and the summary: " << err;
            EXPECT_EQ(ReadBytes(Path("tune.qvx")), tune);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, QvxFaultMatrix,
                         testing::Values(Op::Identify, Op::Upload, Op::Download, Op::Monitor),
                         [](const auto& info) { return kOpNames[static_cast<int>(info.param)]; });

}  // namespace
}  // namespace qx::qvx::test
