#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/Profile.h"

namespace qx {
namespace {

class ProfileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/qx-prof-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/QuorvexI.ini";
    }
    void TearDown() override {
        chmod(dir_.c_str(), 0700);
        std::filesystem::remove_all(dir_);
    }

    void WriteFile(const std::string& text) {
        std::ofstream out(path_, std::ios::binary);
        out << text;
    }
    std::string ReadFile() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::vector<std::string> DirEntries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir_)) {
            names.push_back(e.path().filename().string());
        }
        return names;
    }

    std::string dir_;
    std::string path_;
};

TEST_F(ProfileTest, MissingFileGivesDefaultsAndReadingCreatesNothing) {
    Profile p(path_);
    EXPECT_EQ(p.GetInt("Settings", "Timeout", 200), 200);
    EXPECT_EQ(p.GetString("Settings", "Port", "x"), "x");
    EXPECT_FALSE(p.HasKey("Settings", "Timeout"));
    EXPECT_FALSE(std::filesystem::exists(path_));

    // Reading a missing key of an existing file adds nothing to it.
    const std::string text = "[Settings]\nPort=2\n";
    WriteFile(text);
    p.Reload();
    EXPECT_EQ(p.GetInt("Settings", "Port", 0), 2);
    EXPECT_EQ(p.GetInt("Settings", "Delay", 150), 150);
    EXPECT_EQ(p.GetInt("Colors", "GridLineColor", 7), 7);
    EXPECT_EQ(ReadFile(), text);
}

TEST_F(ProfileTest, RoundTripOfIntsAndStringsWithSpacesInKeys) {
    {
        Profile p(path_);
        ASSERT_TRUE(p.WriteInt("Settings", "Monitor Window Width", 312));
        ASSERT_TRUE(p.WriteInt("Settings", "Restart Threshold", -5));
        ASSERT_TRUE(p.WriteString("Ports", "COM1", "/dev/ttyUSB0"));
        ASSERT_TRUE(p.WriteString("Ports", "Padded", "  two spaces  "));
        ASSERT_TRUE(p.WriteString("Ports", "Quoted", "\"q\""));
        ASSERT_TRUE(p.WriteString("Ports", "Empty", ""));
        ASSERT_TRUE(p.WriteInt("Colors", "MapLineColor", 0x00FF00FF));
    }
    Profile again(path_);
    EXPECT_EQ(again.GetInt("Settings", "Monitor Window Width", 0), 312);
    EXPECT_EQ(again.GetInt("Settings", "Restart Threshold", 0), -5);
    EXPECT_EQ(again.GetString("Ports", "COM1", ""), "/dev/ttyUSB0");
    EXPECT_EQ(again.GetString("Ports", "Padded", ""), "  two spaces  ");
    EXPECT_EQ(again.GetString("Ports", "Quoted", ""), "\"q\"");
    EXPECT_TRUE(again.HasKey("Ports", "Empty"));
    EXPECT_EQ(again.GetString("Ports", "Empty", "d"), "");
    EXPECT_EQ(again.GetInt("Colors", "MapLineColor", 0), 0x00FF00FF);
    // Written as given.
    EXPECT_NE(ReadFile().find("[Settings]\nMonitor Window Width=312\n"), std::string::npos);
}

TEST_F(ProfileTest, NamesMatchWithoutCaseAndBlanksAroundEquals) {
    WriteFile("[settings]\n  monitor window width = 40 \n[COLORS]\nGridLineColor=\t9\n");
    Profile p(path_);
    EXPECT_EQ(p.GetInt("Settings", "Monitor Window Width", 0), 40);
    EXPECT_EQ(p.GetInt("Colors", "gridlinecolor", 0), 9);

    // Rewriting keeps the spelling and spacing found in the file.
    ASSERT_TRUE(p.WriteInt("SETTINGS", "Monitor Window Width", 41));
    EXPECT_EQ(ReadFile(), "[settings]\n  monitor window width = 41\n[COLORS]\nGridLineColor=\t9\n");
}

TEST_F(ProfileTest, WritingKeepsEveryOtherLineByteForByte) {
    const std::string head =
        "; comment line\r\n"
        "[Settings]\r\n"
        "Port=1\r\n"
        "Delay = 150   \r\n"
        "garbage without equals\r\n"
        "\r\n"
        "[Colors]\r\n"
        "GridLineColor=255\r\n";
    WriteFile(head + "# trailing comment without newline");
    Profile p(path_);
    ASSERT_TRUE(p.WriteInt("Settings", "Port", 3));
    ASSERT_TRUE(p.WriteInt("Settings", "Timeout", 250));
    ASSERT_TRUE(p.WriteInt("Colors", "MapLineColor", 17));
    ASSERT_TRUE(p.WriteInt("Mru", "File1", 5));
    EXPECT_EQ(ReadFile(),
              "; comment line\r\n"
              "[Settings]\r\n"
              "Port=3\r\n"
              "Delay = 150   \r\n"
              "garbage without equals\r\n"
              "Timeout=250\r\n"
              "\r\n"
              "[Colors]\r\n"
              "GridLineColor=255\r\n"
              "# trailing comment without newline\n"
              "MapLineColor=17\r\n"
              "\r\n"
              "[Mru]\r\n"
              "File1=5\r\n");
    Profile again(path_);
    EXPECT_EQ(again.GetInt("Settings", "Delay", 0), 150);
    EXPECT_EQ(again.GetInt("Colors", "MapLineColor", 0), 17);
}

TEST_F(ProfileTest, WriteSeesWhatAnotherProgramWroteMeanwhile) {
    Profile p(path_);
    ASSERT_TRUE(p.WriteInt("Settings", "Port", 1));
    WriteFile("[Settings]\nPort=1\nMirror=1\n");
    ASSERT_TRUE(p.WriteInt("Settings", "Timeout", 300));
    EXPECT_EQ(ReadFile(), "[Settings]\nPort=1\nMirror=1\nTimeout=300\n");
}

TEST_F(ProfileTest, MalformedLinesAreIgnoredNeverFatal) {
    WriteFile(
        "Orphan=1\n"
        "[Unclosed\n"
        "=no key\n"
        "[Settings]\n"
        "Port=abc\n"
        "Retries=12x\n"
        "Huge=99999999999\n"
        "Delay==5\n"
        "Wait Retries=7\n"
        "[Settings]\n"
        "Wait Retries=8\n"
        "\x01\xff binary junk\n");
    Profile p(path_);
    EXPECT_EQ(p.GetInt("Settings", "Port", 42), 42);
    EXPECT_EQ(p.GetInt("Settings", "Retries", 5), 5);
    EXPECT_EQ(p.GetInt("Settings", "Huge", 3), 3);
    EXPECT_EQ(p.GetInt("Settings", "Delay", 150), 150);
    EXPECT_EQ(p.GetString("Settings", "Delay", ""), "=5");
    // The first of two same-named sections wins.
    EXPECT_EQ(p.GetInt("Settings", "Wait Retries", 0), 7);
    EXPECT_FALSE(p.HasKey("", "Orphan"));
    EXPECT_FALSE(p.HasKey("Unclosed", "Port"));
}

TEST_F(ProfileTest, ValuesThatWouldBreakTheFileAreRefused) {
    WriteFile("[Settings]\nPort=1\n");
    Profile p(path_);
    EXPECT_FALSE(p.WriteString("Settings", "Port", "1\n[Evil]\nX=1"));
    EXPECT_FALSE(p.WriteString("Settings", "A=B", "1"));
    EXPECT_FALSE(p.WriteString("Set]tings", "Port", "1"));
    EXPECT_FALSE(p.WriteString("Settings", "", "1"));
    EXPECT_EQ(ReadFile(), "[Settings]\nPort=1\n");
}

TEST_F(ProfileTest, AtomicReplaceLeavesNoTemporaryFiles) {
    Profile p(path_);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(p.WriteInt("Settings", "Port", i));
    ASSERT_TRUE(p.RemoveKey("Settings", "Port"));
    EXPECT_FALSE(p.HasKey("Settings", "Port"));
    EXPECT_EQ(DirEntries(), std::vector<std::string>{"QuorvexI.ini"});
}

TEST_F(ProfileTest, FailedWriteKeepsTheOldFileAndNoTemporary) {
    WriteFile("[Settings]\nPort=1\n");
    Profile p(path_);
    // A file size limit makes the write of the new file fail, for root too.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto savedHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 40;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = p.WriteString("Settings", "Port", std::string(100, '7'));
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, savedHandler);
    EXPECT_FALSE(ok);
    EXPECT_EQ(ReadFile(), "[Settings]\nPort=1\n");
    EXPECT_EQ(p.GetInt("Settings", "Port", 0), 1);
    EXPECT_EQ(DirEntries(), std::vector<std::string>{"QuorvexI.ini"});
}

TEST_F(ProfileTest, UnwritableFolderFailsAndKeepsTheOldFile) {
    WriteFile("[Settings]\nPort=1\n");
    // A folder that is really a file cannot be written into by anybody.
    Profile blocked(path_ + "/inner.ini");
    EXPECT_FALSE(blocked.WriteInt("Settings", "Port", 2));
    EXPECT_EQ(ReadFile(), "[Settings]\nPort=1\n");
    if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    Profile p(path_);
    ASSERT_EQ(chmod(dir_.c_str(), 0500), 0);
    EXPECT_FALSE(p.WriteInt("Settings", "Port", 2));
    chmod(dir_.c_str(), 0700);
    EXPECT_EQ(ReadFile(), "[Settings]\nPort=1\n");
    EXPECT_EQ(p.GetInt("Settings", "Port", 0), 1);
}

TEST_F(ProfileTest, WritingCreatesMissingFolders) {
    Profile p(dir_ + "/a/b/QuorvexI.ini");
    ASSERT_TRUE(p.WriteInt("Settings", "Mirror", 1));
    Profile again(dir_ + "/a/b/QuorvexI.ini");
    EXPECT_EQ(again.GetInt("Settings", "Mirror", 0), 1);
}

TEST_F(ProfileTest, WritingThroughASymbolicLinkKeepsTheLink) {
    const std::string real = dir_ + "/real.ini";
    { std::ofstream(real) << "[Settings]\nPort=1\n"; }
    ASSERT_EQ(symlink(real.c_str(), path_.c_str()), 0);
    Profile p(path_);
    ASSERT_TRUE(p.WriteInt("Settings", "Port", 2));
    EXPECT_TRUE(std::filesystem::is_symlink(path_));
    EXPECT_EQ(Profile(real).GetInt("Settings", "Port", 0), 2);
}

TEST(ProfilePath, EnvironmentChoosesTheFile) {
    const char* savedProfile = getenv("QUORVEXI_PROFILE");
    const char* savedXdg = getenv("XDG_CONFIG_HOME");
    const char* savedHome = getenv("HOME");
    std::string sp = savedProfile ? savedProfile : "";
    std::string sx = savedXdg ? savedXdg : "";
    std::string sh = savedHome ? savedHome : "";

    setenv("QUORVEXI_PROFILE", "/x/mine.ini", 1);
    EXPECT_EQ(Profile::DefaultPath(), "/x/mine.ini");
    unsetenv("QUORVEXI_PROFILE");
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(Profile::DefaultPath(), "/cfg/QuorvexI.ini");
    setenv("XDG_CONFIG_HOME", "relative", 1);
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ(Profile::DefaultPath(), "/home/u/.config/QuorvexI.ini");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(Profile::DefaultPath(), "/home/u/.config/QuorvexI.ini");

    savedProfile ? setenv("QUORVEXI_PROFILE", sp.c_str(), 1) : unsetenv("QUORVEXI_PROFILE");
    savedXdg ? setenv("XDG_CONFIG_HOME", sx.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    savedHome ? setenv("HOME", sh.c_str(), 1) : unsetenv("HOME");
}

TEST(AppProfileTest, ExchangeInstallsAndHandsBack) {
    auto mine = std::make_unique<Profile>("/nonexistent-dir/p.ini");
    Profile* raw = mine.get();
    auto previous = ExchangeAppProfile(std::move(mine));
    EXPECT_EQ(&AppProfile(), raw);
    auto back = ExchangeAppProfile(std::move(previous));
    EXPECT_EQ(back.get(), raw);
}

}  // namespace
}  // namespace qx
