// The one safe-file writer: modes, links, streaming, and failures that leave
// the old file whole and no temporary file behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/host/Profile.h"
#include "host/FileSizeLimit.h"
#include "host/TempFolderTest.h"

namespace qx::test {
namespace {

namespace fs = std::filesystem;

class SafeFileTest : public TempFolderTest {
  protected:
    static mode_t ModeOf(const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
        return st.st_mode & 07777;
    }
};

// Sets the umask for the life of the scope.
class Umask {
  public:
    explicit Umask(mode_t mask) : old_(::umask(mask)) {}
    ~Umask() { ::umask(old_); }

  private:
    mode_t old_;
};

TEST_F(SafeFileTest, NewFilesFollowTheUmaskReplacedOnesKeepModeOwnerAndLinks) {
    Umask mask(027);
    std::string why;
    ASSERT_TRUE(Write(Path("new"), "one", why)) << why;
    EXPECT_EQ(Read(Path("new")), "one");
    EXPECT_EQ(ModeOf(Path("new")), 0640u);
    // The profile is written by the same writer.
    ASSERT_TRUE(Profile(Path("p.ini")).WriteInt("Settings", "Port", 1));
    EXPECT_EQ(ModeOf(Path("p.ini")), 0640u);

    Put(Path("old"), "before", 0604);
    ASSERT_TRUE(Write(Path("old"), "after", why)) << why;
    EXPECT_EQ(Read(Path("old")), "after");
    EXPECT_EQ(ModeOf(Path("old")), 0604u);

    ASSERT_EQ(::symlink(Path("old").c_str(), Path("link").c_str()), 0);
    ASSERT_TRUE(Write(Path("link"), "through", why)) << why;
    EXPECT_TRUE(fs::is_symlink(Path("link")));
    EXPECT_EQ(Read(Path("old")), "through");

    if (::geteuid() == 0) {  // only root can give files away, and keep them given
        ASSERT_EQ(::chown(Path("old").c_str(), 65534, 65534), 0);
        ASSERT_TRUE(Write(Path("old"), "again", why)) << why;
        struct stat st {};
        ASSERT_EQ(::stat(Path("old").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
    EXPECT_EQ(Entries(), (std::set<std::string>{"new", "p.ini", "old", "link"}));
}

TEST_F(SafeFileTest, StreamingReplacesTheFileOnlyAtCommit) {
    const std::string path = Path("stream.csv");
    Put(path, "old rows\n");
    std::string all;
    {
        SafeFileWriter writer(path);
        for (int i = 0; i < 20000; ++i) {  // well past one chunk
            const std::string row = std::to_string(i) + ",1.5,12.0\n";
            ASSERT_TRUE(writer.Write(row));
            all += row;
        }
        EXPECT_EQ(Read(path), "old rows\n");
        ASSERT_TRUE(writer.Commit()) << writer.Error();
    }
    EXPECT_EQ(Read(path), all);

    for (bool explicitDiscard : {false, true}) {
        SafeFileWriter writer(path);
        ASSERT_TRUE(writer.Write("half a file"));
        if (explicitDiscard) writer.Discard();
    }
    EXPECT_EQ(Read(path), all);
    EXPECT_EQ(Entries(), std::set<std::string>{"stream.csv"});
}

// A folder, and a file size limit on each kind of file, are rows of
// SafeFileTargets.EachKindOfTargetIsReplacedFollowedWrittenThroughOrRefused and
// EachFailureOnEachFileKindKeepsTheOldFile.
TEST_F(SafeFileTest, FailuresKeepTheOldFileAndLeaveNoTemporaryFile) {
    std::string why;
    EXPECT_FALSE(Write(Path("nowhere/file"), "x", why));
    EXPECT_EQ(why, std::strerror(ENOENT));
    Put(Path("keep"), "precious");
    // The streaming form fails at the write that crosses the limit and stays failed.
    {
        SafeFileWriter writer(Path("keep"));
        FileSizeLimit limit(1000);
        EXPECT_FALSE(writer.Write(std::string(100000, 'y')));
        EXPECT_FALSE(writer.Write("more"));
        EXPECT_FALSE(writer.Commit());
        EXPECT_EQ(writer.Error(), std::strerror(EFBIG));
    }
    EXPECT_EQ(Read(Path("keep")), "precious");
    EXPECT_EQ(Entries(), std::set<std::string>{"keep"});
}

}  // namespace
}  // namespace qx::test
