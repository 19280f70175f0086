#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/host/Profile.h"
#include "host/FileSizeLimit.h"
#include "host/TempFolderTest.h"
#include "support/ScopedEnv.h"

namespace qx {
namespace {

namespace fs = std::filesystem;

// Each test gets a private folder (and a private AppProfile) from ScopedFakeHost.
class ProfileTest : public test::TempFolderTest {
  protected:
    void WriteFile(const std::string& text) { Put(path_, text); }
    std::string ReadFile() const { return Read(path_); }

    std::string path_ = scope_.ProfilePath();
};

TEST_F(ProfileTest, MissingKeysGiveDefaultsAndReadingCreatesNothing) {
    Profile p(path_);
    EXPECT_EQ(p.GetInt("Settings", "Timeout", 200), 200);
    EXPECT_EQ(p.GetString("Settings", "Port", "x"), "x");
    EXPECT_FALSE(p.HasKey("Settings", "Timeout"));
    EXPECT_FALSE(fs::exists(path_));

    const std::string text = "[Settings]\nPort=2\n";
    WriteFile(text);
    p.Reload();
    EXPECT_EQ(p.GetInt("Settings", "Port", 0), 2);
    EXPECT_EQ(p.GetInt("Settings", "Delay", 150), 150);
    EXPECT_EQ(p.GetInt("Colors", "GridLineColor", 7), 7);
    EXPECT_EQ(ReadFile(), text);
}

TEST_F(ProfileTest, RoundTripOfIntsAndStringsWithSpacesInKeys) {
    const std::vector<std::pair<std::string, std::string>> strings = {
        {"COM1", "/dev/ttyUSB0"}, {"Padded", "  two spaces  "}, {"Quoted", "\"q\""}, {"Empty", ""}};
    {
        Profile p(path_);
        ASSERT_TRUE(p.WriteInt("Settings", "Monitor Window Width", 312));
        ASSERT_TRUE(p.WriteInt("Settings", "Restart Threshold", -5));
        ASSERT_TRUE(p.WriteInt("Colors", "MapLineColor", 0x00FF00FF));
        for (const auto& [key, value] : strings) ASSERT_TRUE(p.WriteString("Ports", key, value));
    }
    Profile again(path_);
    EXPECT_EQ(again.GetInt("Settings", "Monitor Window Width", 0), 312);
    EXPECT_EQ(again.GetInt("Settings", "Restart Threshold", 0), -5);
    EXPECT_EQ(again.GetInt("Colors", "MapLineColor", 0), 0x00FF00FF);
    for (const auto& [key, value] : strings) EXPECT_EQ(again.GetString("Ports", key, "d"), value);
    EXPECT_NE(ReadFile().find("[Settings]\nMonitor Window Width=312\n"), std::string::npos);
}

TEST_F(ProfileTest, NamesMatchWithoutCaseAndRewritingKeepsTheFilesSpelling) {
    WriteFile("[settings]\n  monitor window width = 40 \n[COLORS]\nGridLineColor=\t9\n");
    Profile p(path_);
    EXPECT_EQ(p.GetInt("Settings", "Monitor Window Width", 0), 40);
    EXPECT_EQ(p.GetInt("Colors", "gridlinecolor", 0), 9);
    ASSERT_TRUE(p.WriteInt("SETTINGS", "Monitor Window Width", 41));
    EXPECT_EQ(ReadFile(), "[settings]\n  monitor window width = 41\n[COLORS]\nGridLineColor=\t9\n");
}

TEST_F(ProfileTest, WritingKeepsEveryOtherLineByteForByte) {
    WriteFile(
        "; comment line\r\n[Settings]\r\nPort=1\r\nDelay = 150   \r\ngarbage without equals\r\n"
        "\r\n[Colors]\r\nGridLineColor=255\r\n# trailing comment without newline");
    Profile p(path_);
    ASSERT_TRUE(p.WriteInt("Settings", "Port", 3));
    ASSERT_TRUE(p.WriteInt("Settings", "Timeout", 250));
    ASSERT_TRUE(p.WriteInt("Colors", "MapLineColor", 17));
    ASSERT_TRUE(p.WriteInt("Mru", "File1", 5));
    EXPECT_EQ(ReadFile(),
              "; comment line\r\n[Settings]\r\nPort=3\r\nDelay = 150   \r\n"
              "garbage without equals\r\nTimeout=250\r\n\r\n[Colors]\r\nGridLineColor=255\r\n"
              "# trailing comment without newline\nMapLineColor=17\r\n\r\n[Mru]\r\nFile1=5\r\n");

    // A write reads the file afresh: what another program wrote meanwhile stays.
    WriteFile("[Settings]\nPort=1\nMirror=1\n");
    ASSERT_TRUE(p.WriteInt("Settings", "Timeout", 300));
    EXPECT_EQ(ReadFile(), "[Settings]\nPort=1\nMirror=1\nTimeout=300\n");
}

TEST_F(ProfileTest, MalformedLinesAreIgnoredNeverFatal) {
    WriteFile(
        "Orphan=1\n[Unclosed\n=no key\n[Settings]\nPort=abc\nRetries=12x\nHuge=99999999999\n"
        "Delay==5\nWait Retries=7\n[Settings]\nWait Retries=8\n\x01\xff binary junk\n");
    Profile p(path_);
    EXPECT_EQ(p.GetInt("Settings", "Port", 42), 42);
    EXPECT_EQ(p.GetInt("Settings", "Retries", 5), 5);
    EXPECT_EQ(p.GetInt("Settings", "Huge", 3), 3);
    EXPECT_EQ(p.GetInt("Settings", "Delay", 150), 150);
    EXPECT_EQ(p.GetString("Settings", "Delay", ""), "=5");
    EXPECT_EQ(p.GetInt("Settings", "Wait Retries", 0), 7);  // the first same-named section wins
    EXPECT_FALSE(p.HasKey("", "Orphan"));
    EXPECT_FALSE(p.HasKey("Unclosed", "Port"));

    // Values and names that would break the file are refused and change nothing.
    WriteFile("[Settings]\nPort=1\n");
    EXPECT_FALSE(p.WriteString("Settings", "Port", "1\n[Evil]\nX=1"));
    EXPECT_FALSE(p.WriteString("Settings", "A=B", "1"));
    EXPECT_FALSE(p.WriteString("Set]tings", "Port", "1"));
    EXPECT_FALSE(p.WriteString("Settings", "", "1"));
    EXPECT_EQ(ReadFile(), "[Settings]\nPort=1\n");
}

TEST_F(ProfileTest, ReplacingIsAtomicAndAFailedWriteKeepsTheOldFileAndNoTemporary) {
    Profile p(path_);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(p.WriteInt("Settings", "Port", i));
    ASSERT_TRUE(p.WriteInt("Settings", "Delay", 1));
    ASSERT_TRUE(p.RemoveKey("Settings", "Delay"));
    EXPECT_FALSE(p.HasKey("Settings", "Delay"));
    EXPECT_EQ(ReadFile(), "[Settings]\nPort=2\n");
    // A folder that is really a file cannot be written into, by root either.
    EXPECT_FALSE(Profile(path_ + "/inner.ini").WriteInt("Settings", "Port", 3));

    // A file size limit makes the write of the new file fail, for root too.
    {
        test::FileSizeLimit limit(40);
        EXPECT_FALSE(p.WriteString("Settings", "Port", std::string(100, '7')));
    }
    EXPECT_EQ(ReadFile(), "[Settings]\nPort=2\n");
    EXPECT_EQ(p.GetInt("Settings", "Port", 0), 2);
    EXPECT_EQ(Entries(), std::set<std::string>{"QuorvexI.ini"});
}

TEST_F(ProfileTest, WritingCreatesFoldersAndKeepsASymbolicLink) {
    const std::string deep = scope_.TempDir() + "/a/b/QuorvexI.ini";
    ASSERT_TRUE(Profile(deep).WriteInt("Settings", "Mirror", 1));
    EXPECT_EQ(Profile(deep).GetInt("Settings", "Mirror", 0), 1);

    ASSERT_EQ(symlink(deep.c_str(), path_.c_str()), 0);
    ASSERT_TRUE(Profile(path_).WriteInt("Settings", "Port", 2));
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(Profile(deep).GetInt("Settings", "Port", 0), 2);
}

TEST(ProfilePath, EnvironmentChoosesTheFile) {
    test::ScopedEnv env;
    env.Set("QUORVEXI_PROFILE", "/x/mine.ini");
    EXPECT_EQ(Profile::DefaultPath(), "/x/mine.ini");
    env.Set("QUORVEXI_PROFILE", std::nullopt);
    env.Set("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(Profile::DefaultPath(), "/cfg/QuorvexI.ini");
    env.Set("XDG_CONFIG_HOME", "relative");
    env.Set("HOME", "/home/u");
    EXPECT_EQ(Profile::DefaultPath(), "/home/u/.config/QuorvexI.ini");
    env.Set("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(Profile::DefaultPath(), "/home/u/.config/QuorvexI.ini");
}

}  // namespace
}  // namespace qx
