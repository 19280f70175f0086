// qvx on names that lead to something other than a plain file: a device or
// FIFO is written through and never replaced, links are followed, a long
// name is no trouble, and a settings file can come through a pipe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <tuple>

#include "ToolTestUtil.h"

namespace qx::qvx::test {
namespace {

class QvxTargets : public ToolTest {
  protected:
    mode_t KindOf(const std::string& path) const {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
    }
};

TEST_F(QvxTargets, NewWritesThroughDevicesAndFifosAndFollowsLinks) {
    const std::string good = Path("good.qvx");
    ASSERT_EQ(Run({"new", good}).code, 0);
    const std::string settings = ReadFileText(good);
    ASSERT_EQ(settings.size(), 3676u);

    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(Path("lonely").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("named.qvx", Path("dangling").c_str()), 0);
    ASSERT_EQ(::symlink("loop-b", Path("loop-a").c_str()), 0);
    ASSERT_EQ(::symlink("loop-a", Path("loop-b").c_str()), 0);
    // A pipe holds 64 KiB: the whole file fits before anyone reads.
    const int reader = ::open(Path("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const std::string longName = Path(std::string(250, 'n') + ".qvx");
    // A device of our own where allowed, so that a fault cannot replace the system's.
    std::string null = Path("null");
    if (::mknod(null.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0) null = "/dev/null";
    struct Case {
        std::string path;
        int code;
        mode_t kind;           // what the name is afterwards
        std::string contents;  // of the file it leads to, when a file
    };
    const Case cases[] = {
        {null, 0, S_IFCHR, ""},
        {Path("fifo"), 0, S_IFIFO, ""},
        {Path("lonely"), kExitBadFile, S_IFIFO, ""},
        {Path("dangling"), 0, S_IFLNK, settings},
        {Path("loop-a"), kExitBadFile, S_IFLNK, ""},
        {longName, 0, S_IFREG, settings},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const RunResult r = Run({"new", c.path, "--yes"});
        EXPECT_EQ(r.code, c.code) << r.err << r.messages;
        EXPECT_EQ(KindOf(c.path), c.kind);
        if (!c.contents.empty()) {
            EXPECT_EQ(ReadFileText(c.path), c.contents);
        }
    }
    std::string piped(4096, '\0');
    const ssize_t n = ::read(reader, piped.data(), piped.size());
    ::close(reader);
    EXPECT_EQ(piped.substr(0, static_cast<std::size_t>(std::max<ssize_t>(n, 0))), settings);
    EXPECT_TRUE(
        Has(Run({"new", Path("lonely"), "--yes"}).messages, "nothing is reading from that pipe"));
    // Asked as what will happen: a FIFO or a device is written through, not replaced.
    for (const auto& [target, kind, asked, told] :
         {std::tuple{Path("lonely"), S_IFIFO,
                     " is a FIFO (named pipe). Write a new settings file into it?",
                     " is a FIFO; nothing was written into it (--yes writes)"},
          {null, S_IFCHR, " is a device. Write a new settings file to it?",
           " is a device; nothing was written to it (--yes writes)"}}) {
        SCOPED_TRACE(target);
        const RunResult r = Run({"new", target});
        EXPECT_EQ(r.code, kExitBadFile);
        EXPECT_TRUE(Has(r.messages, target + asked)) << r.messages;
        EXPECT_FALSE(Has(r.messages, "Replace")) << r.messages;
        EXPECT_EQ(r.err, "qvx: " + target + told + "\n");
        EXPECT_EQ(KindOf(target), static_cast<mode_t>(kind));
    }
    EXPECT_TRUE(Has(Run({"new", Path("loop-a"), "--yes"}).messages, "the symbolic links loop"));
}

TEST_F(QvxTargets, ShowReadsASettingsFileThroughAPipe) {
    const std::string good = Path("good.qvx");
    ASSERT_EQ(Run({"new", good}).code, 0);
    const std::string expected = Run({"show", good}).out;
    ASSERT_FALSE(expected.empty());
    // Too long a stream is refused after one byte more than a settings file.
    for (std::size_t extra : {std::size_t{0}, std::size_t{100000}}) {
        SCOPED_TRACE(extra);
        const std::string fifo = Path("fifo" + std::to_string(extra));
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::signal(SIGPIPE, SIG_DFL);
            const std::string text = ReadFileText(good) + std::string(extra, 'x');
            const int fd = ::open(fifo.c_str(), O_WRONLY);  // waits for the reader
            [[maybe_unused]] const ssize_t n = ::write(fd, text.data(), text.size());
            ::_exit(0);
        }
        const RunResult r = Run({"show", fifo});
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (extra == 0) {
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_EQ(r.out, expected);
        } else {
            EXPECT_EQ(r.code, kExitBadFile);
            EXPECT_TRUE(Has(r.err, "not a settings file")) << r.err;
        }
    }
}

}  // namespace
}  // namespace qx::qvx::test
