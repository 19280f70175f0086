// The built qvx program as a child process: its exit codes, and Ctrl+C during
// monitoring, which must stop the module's stream before the program ends.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include "ToolTestUtil.h"
#include "core/log/LogReader.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"

namespace qx::qvx::test {
namespace {

using qx::test::Child;

class QvxProgram : public ToolTest {
  protected:
    void SetUp() override {
        ToolTest::SetUp();
        binary = qx::test::ProgramPath("qvx");
        if (binary.empty()) GTEST_SKIP() << "the qvx program is not built";
    }
    int ExitCode(Strings args) {
        args.insert(args.begin(), binary);
        args.insert(args.end(), {"--profile", profile});
        Child child(args);
        child.ReadLines(SIZE_MAX, 60000);
        return child.Wait();
    }
    std::string binary;
};

TEST_F(QvxProgram, ExitCodesReachTheShell) {
    // Each kind of ending is checked in detail in-process.
    const std::pair<Strings, int> cases[] = {{{"--help"}, 0},
                                             {{}, 2},
                                             {{"show", Path("missing.qvx")}, 3},
                                             {{"identify", "--port", "/dev/no-such-tty"}, 1}};
    for (const auto& [args, code] : cases) EXPECT_EQ(ExitCode(args), code) << args.size();
}

TEST_F(QvxProgram, CtrlCDuringMonitorLeavesTheModuleQuiet) {
    StartModule();
    Child child({binary, "monitor", "--port", module->SlavePath(), "--profile", profile});
    // The header, the units and two rows of live values: the stream runs.
    ASSERT_TRUE(child.ReadLines(4, 20000)) << child.output;
    ASSERT_TRUE(module->IsStreaming());
    child.Signal(SIGINT);
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_FALSE(module->IsStreaming());
    EXPECT_GE(module->Counters().cancels, 1);
}

// Both output streams of the program through one pipe, in the order written.
Strings BothStreams(const std::string& binary, Strings args) {
    args.insert(args.begin(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", binary});
    return args;
}

// Ctrl+C during a download: the writes go on to the end, and the program says
// so at once; the module holds the whole file afterwards.
TEST_F(QvxProgram, CtrlCDuringADownloadFinishesItSayingSo) {
    const std::string path = Path("a.qvx");
    ASSERT_EQ(ExitCode({"new", path}), 0);
    // 30 ms before each answer: 108 writes take seconds, long after the signal.
    emu::PtyEmulator module(emu::EmulatorConfig{.turnaroundUs = 30'000});
    std::string error;
    ASSERT_TRUE(module.Start(&error)) << error;
    Child child(BothStreams(
        binary, {"download", path, "--port", module.SlavePath(), "--profile", profile}));
    ASSERT_TRUE(qx::test::Eventually([&] { return !module.Counters().writes.empty(); }));
    child.Signal(SIGINT);
    child.ReadLines(SIZE_MAX, 60000);
    EXPECT_EQ(child.Wait(), 0) << child.output;
    EXPECT_EQ(module.Counters().writes.size(), 108u);
    EXPECT_TRUE(Has(child.output, "qvx: Ctrl+C: the download goes on to its end")) << child.output;
    EXPECT_TRUE(Has(child.output, "qvx: the download is complete\n")) << child.output;
}

// A module that stops sending part way through monitoring (its process stopped)
// is said at once, and the run fails.
TEST_F(QvxProgram, MonitorSaysWhenTheModuleFallsSilent) {
    const std::string sim = qx::test::ProgramPath("quorvexi-sim");
    if (sim.empty()) GTEST_SKIP() << "the emulator program is not built";
    Child module({sim});
    const std::string device = module.FirstLine(20000);
    ASSERT_EQ(device.rfind("/dev/", 0), 0u) << device;
    Child child(
        BothStreams(binary, {"monitor", "--seconds", "8", "--port", device, "--profile", profile}));
    // The link's greeting, the header, the units and a row of live values.
    ASSERT_TRUE(child.ReadLines(4, 20000)) << child.output;
    module.Signal(SIGSTOP);
    child.ReadLines(SIZE_MAX, 60000);
    module.Signal(SIGCONT);
    EXPECT_EQ(child.Wait(), kExitCommFailure) << child.output;
    EXPECT_TRUE(Has(child.output, "\nno packet for 2 s (since ")) << child.output;
    EXPECT_TRUE(Has(child.output, "the module fell silent for more than 2 s\n")) << child.output;
}

// Waits for events on path (inotify): false after limitMs without one.
class FileEvents {
  public:
    FileEvents(const std::string& path, uint32_t mask) : fd_(inotify_init1(IN_CLOEXEC)) {
        if (fd_ >= 0) inotify_add_watch(fd_, path.c_str(), mask);
    }
    ~FileEvents() { close(fd_); }
    FileEvents(const FileEvents&) = delete;
    FileEvents& operator=(const FileEvents&) = delete;
    // The name of the next event (empty for a watched file itself).
    bool Next(int limitMs, std::string* name = nullptr) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, limitMs) <= 0) return false;
        alignas(inotify_event) char buffer[4096];
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n <= 0) return false;
        const auto* e = reinterpret_cast<const inotify_event*>(buffer);
        if (name) *name = e->len ? e->name : "";
        return true;
    }

  private:
    int fd_;
};

// A recording streams into its file: kill -9 part way keeps the header and
// every row flushed up to the last second, in whole lines; a hang-up ends it
// as Ctrl+C does, whole and with the module quiet.
TEST_F(QvxProgram, AKilledOrHungUpMonitorKeepsItsCsv) {
    for (int sig : {SIGHUP, SIGKILL}) {
        SCOPED_TRACE(sig);
        StartModule();
        const std::string csv = Path("live-" + std::to_string(sig) + ".csv");
        FileEvents folder(dir, IN_MOVED_TO);
        Child child(
            {binary, "monitor", "--csv", csv, "--port", module->SlavePath(), "--profile", profile});
        // The header takes the name at once...
        std::string name;
        while (name != csv.substr(dir.size() + 1)) ASSERT_TRUE(folder.Next(20000, &name));
        // ...and the first rows follow within about a second.
        FileEvents file(csv, IN_MODIFY);
        ASSERT_TRUE(file.Next(20000));
        child.Signal(sig);
        EXPECT_EQ(child.WaitStatus(), sig == SIGKILL ? -SIGKILL : 0);
        if (sig == SIGHUP) {
            EXPECT_FALSE(module->IsStreaming());
        }
        const std::string text = ReadFileText(csv);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\n');
        EngineLog log;
        std::string error;
        ASSERT_TRUE(ReadEngineLog(text, log, error)) << error << text;
        EXPECT_GE(log.Rows(), 1u);
    }
}

// A pipe is written through: rows reach the reader as they come, the name is
// not replaced.
TEST_F(QvxProgram, MonitorWritesThroughToAPipe) {
    StartModule();
    Child child({binary, "monitor", "--csv", "/proc/self/fd/1", "--port", module->SlavePath(),
                 "--profile", profile});
    ASSERT_TRUE(child.ReadLines(3, 20000)) << child.output;
    child.Signal(SIGINT);
    EXPECT_EQ(child.Wait(), 0);
    child.ReadLines(SIZE_MAX, 1000);
    EXPECT_EQ(Split(child.output).at(1).substr(0, 3), "ms,");
}

// Reading a FIFO waits for its writer, and one SIGTERM ends the wait.
TEST_F(QvxProgram, OneSigtermEndsShowWaitingOnAFifo) {
    const std::string fifo = Path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    FileEvents opened(fifo, IN_OPEN);
    Child child({binary, "show", fifo, "--profile", profile});
    ASSERT_TRUE(opened.Next(20000));
    child.Signal(SIGTERM);
    EXPECT_EQ(child.WaitStatus(), kExitBadFile);
}

}  // namespace
}  // namespace qx::qvx::test
