// What a name leads to decides how the safe writer writes it: each kind of
// target, each way a write can fail, and a writer killed at each stage. The
// old file stays whole or the new one is complete; a device or FIFO is never
// replaced; a streamed log loses at most its last second.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>

#include "core/host/Clock.h"
#include "core/log/LogFormat.h"
#include "core/log/LogReader.h"
#include "host/FileSizeLimit.h"
#include "host/TempFolderTest.h"
#include "support/SwappedFileCalls.h"

namespace qx::test {
namespace {

namespace fs = std::filesystem;

const std::string kNew = "new contents\n";
const std::string kOld = "old contents, longer than the new\n";

mode_t KindOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

using Calls = SwappedFileCalls;

class SafeFileTargets : public TempFolderTest {
  protected:
    // A character device that swallows writes (or refuses them, full), made
    // here when allowed so that a fault could not replace the system's own.
    std::string Device(bool full) {
        const std::string path = Path(full ? "full" : "null");
        if (::mknod(path.c_str(), S_IFCHR | 0666, ::makedev(1, full ? 7 : 3)) == 0) return path;
        return full ? "/dev/full" : "/dev/null";
    }
    std::string LongName() const { return std::string(255, 'n'); }
};

TEST_F(SafeFileTargets, EachKindOfTargetIsReplacedFollowedWrittenThroughOrRefused) {
    Put(Path("file"), kOld);
    Put(Path("linked"), kOld);
    Put(Path(LongName()), kOld);
    ASSERT_EQ(::symlink("linked", Path("link").c_str()), 0);
    ASSERT_EQ(::symlink("named", Path("dangling").c_str()), 0);
    ASSERT_EQ(::symlink("loop-b", Path("loop-a").c_str()), 0);
    ASSERT_EQ(::symlink("loop-a", Path("loop-b").c_str()), 0);
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(Path("lonely").c_str(), 0600), 0);
    fs::create_directory(Path("folder"));
    // A pipe holds 64 KiB: the whole text fits before anyone reads.
    const int reader = ::open(Path("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    struct Case {
        std::string name;   // written
        std::string error;  // empty: the write succeeds
        mode_t kind;        // what the name is afterwards
        std::string file;   // the regular file that then holds kNew, if any
    };
    const Case cases[] = {
        {Path("file"), "", S_IFREG, Path("file")},
        {Path("link"), "", S_IFLNK, Path("linked")},
        {Path("dangling"), "", S_IFLNK, Path("named")},
        {Path("loop-a"), "the symbolic links loop", S_IFLNK, ""},
        {Device(false), "", S_IFCHR, ""},
        {Path("fifo"), "", S_IFIFO, ""},
        {Path("lonely"), "nothing is reading from that pipe", S_IFIFO, ""},
        {Path(LongName()), "", S_IFREG, Path(LongName())},
        {Path(std::string(255, 'm')), "", S_IFREG, Path(std::string(255, 'm'))},
        {Path("folder"), std::strerror(EISDIR), S_IFDIR, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string why;
        EXPECT_EQ(Write(c.name, kNew, why), c.error.empty());
        EXPECT_EQ(why, c.error);
        EXPECT_EQ(KindOf(c.name), c.kind);
        if (!c.file.empty()) {
            EXPECT_EQ(KindOf(c.file), S_IFREG);
            EXPECT_EQ(Read(c.file), kNew);
        }
    }
    EXPECT_EQ(KindOf(Path("loop-b")), S_IFLNK);
    char piped[256] = {};
    const ssize_t n = ::read(reader, piped, sizeof piped);
    ::close(reader);
    EXPECT_EQ(std::string(piped, static_cast<std::size_t>(std::max<ssize_t>(n, 0))), kNew);
    ExpectNothingLeftBehind();
}

TEST_F(SafeFileTargets, AReadOnlyFolderRefusesAndKeepsTheOldFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into a read-only folder";
    fs::create_directory(Path("ro"));
    const std::string path = Path("ro/file");
    Put(path, kOld);
    ASSERT_EQ(::chmod(Path("ro").c_str(), 0555), 0);
    std::string why;
    EXPECT_FALSE(Write(path, kNew, why));
    EXPECT_EQ(why, std::strerror(EACCES));
    EXPECT_EQ(Read(path), kOld);
    ::chmod(Path("ro").c_str(), 0755);
}

// Each failure on each kind of file target: the old file whole (or none made
// where none was), no temporary file, the reason given.
TEST_F(SafeFileTargets, EachFailureOnEachFileKindKeepsTheOldFile) {
    struct Failure {
        const char* what;
        std::function<void(Calls&)> inject;
        rlim_t sizeLimit;  // 0: none
        int error;
    };
    const Failure failures[] = {
        {"full disk", [](Calls& c) { c->write = Calls::NoSpace; }, 0, ENOSPC},
        {"fsync EIO", [](Calls& c) { c->fsync = Calls::FsyncFails; }, 0, EIO},
        {"rename EIO", [](Calls& c) { c->rename = Calls::RenameFails; }, 0, EIO},
        {"file size limit", [](Calls&) {}, 10, EFBIG},
    };
    struct Kind {
        const char* what;
        std::string written;  // the name written
        std::string file;     // the file that holds the contents
        bool exists;          // holds kOld before
    };
    ASSERT_EQ(::symlink("linked", Path("link").c_str()), 0);
    ASSERT_EQ(::symlink("named", Path("dangling").c_str()), 0);
    const Kind kinds[] = {
        {"regular", Path("file"), Path("file"), true},
        {"link", Path("link"), Path("linked"), true},
        {"dangling link", Path("dangling"), Path("named"), false},
        {"255-byte name", Path(LongName()), Path(LongName()), true},
    };
    for (const Kind& kind : kinds) {
        for (const Failure& failure : failures) {
            SCOPED_TRACE(std::string(kind.what) + ", " + failure.what);
            if (kind.exists) Put(kind.file, kOld);
            std::string why;
            bool ok;
            {
                Calls calls;
                failure.inject(calls);
                std::optional<FileSizeLimit> limit;
                if (failure.sizeLimit != 0) limit.emplace(failure.sizeLimit);
                ok = Write(kind.written, std::string(100, 'x'), why);
            }
            EXPECT_FALSE(ok);
            EXPECT_EQ(why, std::strerror(failure.error));
            if (kind.exists) {
                EXPECT_EQ(Read(kind.file), kOld);
            } else {
                EXPECT_FALSE(fs::exists(kind.file));
            }
        }
    }
    EXPECT_EQ(Entries(), (std::set<std::string>{"file", "link", "linked", "dangling", LongName()}));
}

TEST_F(SafeFileTargets, ADeviceOrPipeThatFailsIsReportedAndStays) {
    // A full device refuses for real.
    const std::string full = Device(true);
    std::string why;
    EXPECT_FALSE(Write(full, kNew, why));
    EXPECT_EQ(why, std::strerror(ENOSPC));
    EXPECT_EQ(KindOf(full), S_IFCHR);

    // A reader that goes away fails the write instead of ending the program.
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    const int reader = ::open(Path("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    SafeFileWriter writer(Path("fifo"));
    ASSERT_FALSE(writer.Failed()) << writer.Error();
    EXPECT_TRUE(writer.WritesThrough());
    ::close(reader);
    EXPECT_TRUE(writer.Write(kNew));
    EXPECT_FALSE(writer.Commit());
    EXPECT_EQ(writer.Error(), std::strerror(EPIPE));
    EXPECT_EQ(KindOf(Path("fifo")), S_IFIFO);

    // A reader that stops reading holds the writer only until the host quits.
    const int stuck = ::open(Path("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(stuck, 0);
    SafeFileWriter held(Path("fifo"));
    ASSERT_FALSE(held.Failed()) << held.Error();
    scope_->SetQuitting(true);
    EXPECT_FALSE(held.Write(std::string(1 << 20, 'x')));  // far more than a pipe holds
    EXPECT_EQ(held.Error(), "interrupted");
    scope_->SetQuitting(false);
    ::close(stuck);
}

TEST_F(SafeFileTargets, APublishedFileTakesTheOldOnesPlaceOnceAndKeepsWhatWasFlushed) {
    const std::string path = Path("log");
    Put(path, kOld);
    {
        SafeFileWriter writer(path);
        ASSERT_TRUE(writer.Write("header\n"));
        EXPECT_EQ(Read(path), kOld);
        ASSERT_TRUE(writer.Publish()) << writer.Error();
        EXPECT_EQ(Read(path), "header\n");
        ASSERT_TRUE(writer.Write("row 1\n"));
        EXPECT_EQ(Read(path), "header\n");  // not flushed yet
        ASSERT_TRUE(writer.Flush());
        EXPECT_EQ(Read(path), "header\nrow 1\n");
        ASSERT_TRUE(writer.Write("row 2\n"));
        // Destroyed without Commit, as by a crash: what was flushed stays.
    }
    EXPECT_EQ(Read(path), "header\nrow 1\n");

    // A failure before publishing keeps the old file; one after keeps the rows.
    Put(path, kOld);
    {
        Calls calls;
        calls->fsync = Calls::FsyncFails;
        SafeFileWriter writer(path);
        ASSERT_TRUE(writer.Write("header\n"));
        EXPECT_FALSE(writer.Publish());
        EXPECT_EQ(writer.Error(), std::strerror(EIO));
    }
    EXPECT_EQ(Read(path), kOld);
    {
        SafeFileWriter writer(path);
        ASSERT_TRUE(writer.Write("header\n"));
        ASSERT_TRUE(writer.Publish());
        ASSERT_TRUE(writer.Write("row\n"));
        Calls calls;
        calls->fsync = Calls::FsyncFails;
        EXPECT_FALSE(writer.Commit());
        EXPECT_EQ(writer.Error(), std::strerror(EIO));
    }
    EXPECT_EQ(Read(path), "header\nrow\n");
    EXPECT_EQ(Entries(), std::set<std::string>{"log"});
}

// The stage at which a forked writer is killed, and by which signal.
int g_killSignal = 0;
ssize_t WriteHalfThenDie(int fd, const void* data, std::size_t size) {
    [[maybe_unused]] const ssize_t n = ::write(fd, data, size / 2);
    ::raise(g_killSignal);
    return -1;
}
int DieAtFsync(int) {
    ::raise(g_killSignal);
    return -1;
}
int DieBeforeRename(const char*, const char*) {
    ::raise(g_killSignal);
    return -1;
}
int DieAfterRename(const char* from, const char* to) {
    const int r = ::rename(from, to);
    ::raise(g_killSignal);
    return r;
}

TEST_F(SafeFileTargets, AWriterKilledAtAnyStageLeavesTheOldFileOrTheWholeNewOne) {
    struct Stage {
        const char* what;
        void (*inject)(SafeFileCalls&);
        bool replaced;  // the new file is in place when the writer dies
    };
    const Stage stages[] = {
        {"half written", [](SafeFileCalls& c) { c.write = WriteHalfThenDie; }, false},
        {"at fsync", [](SafeFileCalls& c) { c.fsync = DieAtFsync; }, false},
        {"before rename", [](SafeFileCalls& c) { c.rename = DieBeforeRename; }, false},
        {"after rename", [](SafeFileCalls& c) { c.rename = DieAfterRename; }, true},
    };
    const std::string path = Path("file");
    for (int sig : {SIGKILL, SIGHUP}) {
        for (const Stage& stage : stages) {
            SCOPED_TRACE(std::string(stage.what) + ", signal " + std::to_string(sig));
            Put(path, kOld);
            const int status = InChild([&] {
                ::signal(SIGHUP, SIG_DFL);
                g_killSignal = sig;
                stage.inject(SafeFileSystemCalls());
                std::string why;
                Write(path, kNew, why);  // the signal ends the writer in here
            });
            ASSERT_TRUE(WIFSIGNALED(status));
            EXPECT_EQ(WTERMSIG(status), sig);
            EXPECT_EQ(Read(path), stage.replaced ? kNew : kOld);
        }
    }
}

// A recording killed part way keeps every row older than a second, in whole
// lines, whatever its name leads to.
TEST_F(SafeFileTargets, AKilledRecordingLosesAtMostTheLastSecond) {
    ASSERT_EQ(::symlink("named.csv", Path("dangling.csv").c_str()), 0);
    ASSERT_EQ(::symlink("linked.csv", Path("link.csv").c_str()), 0);
    Put(Path("linked.csv"), kOld);
    Put(Path("old.csv"), kOld);
    const std::string longName = std::string(251, 'r') + ".csv";
    struct Kind {
        std::string written;
        std::string file;
    };
    const Kind kinds[] = {{Path("old.csv"), Path("old.csv")},
                          {Path("link.csv"), Path("linked.csv")},
                          {Path("dangling.csv"), Path("named.csv")},
                          {Path(longName), Path(longName)}};
    const std::vector<int> quantities = {0, 1};
    for (const Kind& kind : kinds) {
        for (int sig : {SIGKILL, SIGHUP}) {
            // Killed before the first row, and 3.05 s into the recording.
            for (int rows : {0, 61}) {
                SCOPED_TRACE(kind.written + ", signal " + std::to_string(sig) + ", rows " +
                             std::to_string(rows));
                const int status = InChild([&] {
                    ::signal(SIGHUP, SIG_DFL);
                    VirtualClock clock;
                    LogWriter log;
                    if (!log.Open(kind.written, quantities, clock)) ::_exit(1);
                    for (int i = 0; i < rows; ++i) {
                        clock.Advance(50);
                        log.Append({1000.0 + i, 0.0});
                    }
                    ::raise(sig);
                    ::_exit(2);
                });
                ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
                if (rows == 0) {
                    // The header has replaced the old file.
                    EXPECT_EQ(Read(kind.file), LogHeader(quantities));
                    continue;
                }
                EngineLog log;
                std::string error;
                ASSERT_TRUE(ReadEngineLogFile(kind.file, log, error)) << error;
                ASSERT_GE(log.Rows(), 1u);
                EXPECT_EQ(log.timeMs.front(), 50);
                EXPECT_GE(log.timeMs.back(), 50 * rows - 1000);
            }
        }
    }
}

// (A full device refusing the header: LogWriter.AFullDiskStopsTheWriterWithTheReason.)
TEST_F(SafeFileTargets, AFailingDiskStopsARecordingWithItsRowsKept) {
    const std::vector<int> quantities = {0};
    VirtualClock clock;
    const std::string path = Path("ride.csv");
    LogWriter log;
    ASSERT_TRUE(log.Open(path, quantities, clock));
    clock.Advance(1000);
    ASSERT_TRUE(log.Append({1000.0}));  // written at once: a second has passed
    {
        Calls calls;
        calls->write = Calls::NoSpace;
        clock.Advance(1000);
        EXPECT_FALSE(log.Append({2000.0}));
        EXPECT_EQ(log.Error(), std::strerror(ENOSPC));
    }
    EXPECT_FALSE(log.Close());
    EngineLog read;
    std::string error;
    ASSERT_TRUE(ReadEngineLogFile(path, read, error)) << error;
    ASSERT_EQ(read.Rows(), 1u);
    EXPECT_EQ(read.timeMs[0], 1000);
    ExpectNothingLeftBehind();
}

// Past the file size limit, with the signal at its default (which would end
// the program): the recording stops with the reason, its rows whole.
TEST_F(SafeFileTargets, ARecordingPastTheFileSizeLimitStopsNotTheProgram) {
    const std::string path = Path("ride.csv");
    const int status = InChild([&] {
        ::signal(SIGXFSZ, SIG_DFL);
        VirtualClock clock;
        LogWriter log;
        if (!log.Open(path, {0}, clock)) ::_exit(1);
        rlimit small{};
        ::getrlimit(RLIMIT_FSIZE, &small);
        small.rlim_cur = 200;  // the header and a few rows
        ::setrlimit(RLIMIT_FSIZE, &small);
        for (int i = 0; i < 100 && !log.Failed(); ++i) {
            clock.Advance(1000);
            log.Append({1000.0});
        }
        ::_exit(log.Error() == std::strerror(EFBIG) && !log.Close() ? 0 : 2);
    });
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string text = Read(path);
    EXPECT_LE(text.size(), 200u);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n') << "a row cut in half";
    EngineLog log;
    std::string error;
    ASSERT_TRUE(ReadEngineLog(text, log, error)) << error;
    EXPECT_GE(log.Rows(), 1u);
}

// Reading: a pipe is waited on until its writer is done, a quit ends the
// wait, a device that never ends is cut after limit + 1 bytes.
TEST_F(SafeFileTargets, ReadingWaitsForAPipesWriterUntilTheHostQuits) {
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Opening blocks until the reader has opened.
        const int fd = ::open(Path("fifo").c_str(), O_WRONLY);
        const bool ok =
            fd >= 0 && ::write(fd, kNew.data(), kNew.size()) == static_cast<ssize_t>(kNew.size());
        ::_exit(ok ? 0 : 1);
    }
    std::vector<uint8_t> bytes;
    std::string why;
    EXPECT_TRUE(ReadFileLimited(Path("fifo"), 100, bytes, why)) << why;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), kNew);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);

    // No writer comes; the host is asked to quit.
    scope_->SetQuitting(true);
    EXPECT_FALSE(ReadFileLimited(Path("fifo"), 100, bytes, why));
    EXPECT_EQ(why, "interrupted");
    scope_->SetQuitting(false);

    EXPECT_TRUE(ReadFileLimited("/dev/zero", 100, bytes, why)) << why;
    EXPECT_EQ(bytes.size(), 101u);
    EXPECT_FALSE(ReadFileLimited(scope_.TempDir(), 100, bytes, why));
    EXPECT_EQ(why, "it is a folder");
}

}  // namespace
}  // namespace qx::test
