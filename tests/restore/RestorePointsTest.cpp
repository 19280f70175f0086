// The restore-point store on its own: names, the index and its rebuilding,
// identical contents kept once, the limits on the virtual clock, failures.
#include <gtest/gtest.h>

#include <fstream>

#include "restore/RestoreTestSupport.h"
#include "support/FileBytes.h"
#include "support/ScopedEnv.h"

namespace qx::test {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kHourMs = int64_t{60} * 60 * 1000;
constexpr int64_t kDayMs = 24 * kHourMs;

std::vector<uint8_t> Contents(int n) {
    return std::vector<uint8_t>(3676, static_cast<uint8_t>(n));
}

RestorePoint About(int serial, const std::string& next = "download",
                   const std::string& tuner = "") {
    RestorePoint p;
    p.serial = serial;
    p.firmware = 0x10;
    p.next = next;
    p.tunerFile = tuner;
    return p;
}

class RestorePointsTest : public ::testing::Test {
  protected:
    RestorePoints::Outcome Keep(int contents, int serial, const std::string& next = "download",
                                const std::string& tuner = "") {
        std::string why;
        const RestorePoints::Outcome outcome =
            points.Store().Keep(Contents(contents), About(serial, next, tuner), why);
        EXPECT_EQ(why.empty(), outcome != RestorePoints::Outcome::Failed) << why;
        return outcome;
    }

    ScopedFakeHost host;
    ScopedRestorePoints points{host};
};

TEST(RestorePointNames, SortByTimeAndShowTheSerialNumber) {
    struct Case {
        int64_t timeMs;
        int serial;
        const char* name;
    };
    // Times worked out from the calendar by hand.
    const Case cases[] = {
        {kDecemberSeventhMs + 123, 42, "2026-12-07_22-18-34.123_serial-00042.qvx"},
        {int64_t{946684799} * 1000 + 5, 65535, "1999-12-31_23-59-59.005_serial-65535.qvx"},
        {int64_t{1893456000} * 1000, -1, "2030-01-01_00-00-00.000_serial-unknown.qvx"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RestorePointName(c.timeMs, c.serial), c.name);
        int64_t time = 0;
        int serial = 0;
        ASSERT_TRUE(ParseRestorePointName(c.name, time, serial)) << c.name;
        EXPECT_EQ(time, c.timeMs);
        EXPECT_EQ(serial, c.serial);
    }
    int64_t time = 0;
    int serial = 0;
    EXPECT_TRUE(ParseRestorePointName("2026-12-07_22-18-34.123_serial-00042_2.qvx", time, serial));
    for (const char* other :
         {"index.tsv", "tune.qvx", "2026-12-07_22-18-34.123_serial-42.qvx",
          "2026-13-07_22-18-34.123_serial-00042.qvx", "2026-12-07_22-18-34.123_serial-00042_.qvx",
          "2026-12-07_22-18-34.123_serial-00042.qvx.tmp"}) {
        EXPECT_FALSE(ParseRestorePointName(other, time, serial)) << other;
    }
    EXPECT_EQ(FormatRestoreTime(kDecemberSeventhMs + 999), "2026-12-07 22:18:34");
}

TEST_F(RestorePointsTest, KeptPointsAreListedNewestFirstWithWhatWasSaid) {
    EXPECT_EQ(Keep(1, 42, "upload", "/home/t/bike.qvx"), RestorePoints::Outcome::Kept);
    host->clock().Advance(1500);
    EXPECT_EQ(Keep(2, 7, "download", "odd\tname\nhere.qvx"), RestorePoints::Outcome::Kept);
    // The same millisecond twice: both kept, under two names.
    EXPECT_EQ(Keep(3, 7, "write changes"), RestorePoints::Outcome::Kept);

    const std::vector<RestorePoint> list = points.Store().List();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].file, "2026-12-07_22-18-35.500_serial-00007_2.qvx");
    EXPECT_EQ(list[0].next, "write changes");
    EXPECT_EQ(list[1].file, "2026-12-07_22-18-35.500_serial-00007.qvx");
    EXPECT_EQ(list[1].tunerFile, "odd\tname\nhere.qvx");
    EXPECT_EQ(list[2].file, "2026-12-07_22-18-34.000_serial-00042.qvx");
    EXPECT_EQ(list[2].timeMs, kDecemberSeventhMs);
    EXPECT_EQ(list[2].serial, 42);
    EXPECT_EQ(list[2].firmware, 0x10);
    EXPECT_EQ(list[2].next, "upload");
    EXPECT_EQ(list[2].tunerFile, "/home/t/bike.qvx");
    // Each file is the bytes given, as an ordinary file.
    EXPECT_EQ(ReadFileText(points.Store().PathOf(list[1])), std::string(3676, '\2'));

    // A second store on the same folder (the next run) reads the same.
    RestorePoints again(points.Folder(), host->clock(), 0);
    const std::vector<RestorePoint> reread = again.List();
    ASSERT_EQ(reread.size(), 3u);
    EXPECT_EQ(reread[1].tunerFile, list[1].tunerFile);
    EXPECT_EQ(reread[2].firmware, 0x10);
}

TEST_F(RestorePointsTest, IdenticalConsecutiveContentsOfOneModuleAreKeptOnce) {
    struct Step {
        int contents;
        int serial;
        RestorePoints::Outcome outcome;
    };
    using O = RestorePoints::Outcome;
    const Step steps[] = {
        {1, 42, O::Kept}, {1, 42, O::Same}, {1, 7, O::Kept},  // another module holding the same
        {1, 42, O::Same},                                     // 42's newest is still these bytes
        {2, 42, O::Kept}, {1, 42, O::Kept},                   // back to the old tune: a new point
    };
    for (const Step& s : steps) {
        host->clock().Advance(1000);
        EXPECT_EQ(Keep(s.contents, s.serial), s.outcome) << s.contents << "/" << s.serial;
    }
    EXPECT_EQ(points.Files().size(), 4u);
}

TEST_F(RestorePointsTest, AnIndexThatMissesFilesIsBuiltAgainFromThem) {
    ASSERT_EQ(Keep(1, 42, "upload", "a.qvx"), RestorePoints::Outcome::Kept);
    host->clock().Advance(1000);
    {
        // The point's file is written, the index is not: as a crash between the two.
        SwappedFileCalls calls;
        calls->rename = SwappedFileCalls::IndexRenameFails;
        EXPECT_EQ(Keep(2, 42, "download", "b.qvx"), RestorePoints::Outcome::Failed);
    }
    ASSERT_EQ(points.Files().size(), 2u);
    const std::string index = points.Folder() + "/index.tsv";
    EXPECT_EQ(ReadFileText(index).find("download"), std::string::npos);

    std::vector<RestorePoint> list = points.Store().List();
    ASSERT_EQ(list.size(), 2u);
    // The lost line: time and serial from the name, the rest not known.
    EXPECT_EQ(list[0].timeMs, kDecemberSeventhMs + 1000);
    EXPECT_EQ(list[0].serial, 42);
    EXPECT_EQ(list[0].firmware, -1);
    EXPECT_EQ(list[0].next, "");
    EXPECT_EQ(list[1].next, "upload");
    EXPECT_EQ(list[1].tunerFile, "a.qvx");
    // Written back: the file is listed from now on.
    EXPECT_NE(ReadFileText(index).find(list[0].file), std::string::npos);

    // Garbage, a cut line, a line of a file that is gone, a file put in by hand.
    struct Damage {
        const char* what;
        std::string index;
        std::size_t expected;
    };
    const std::string good = ReadFileText(index);
    const Damage damages[] = {
        {"garbage", "not an index at all\n", 2},
        {"cut short", good.substr(0, good.size() - 5), 2},
        {"empty", "", 2},
        {"a gone file", good + list[0].file.substr(0, 20) + "9_serial-00001.qvx\t1\t1\t1\tx\t\t0\n",
         2},
    };
    for (const Damage& d : damages) {
        std::ofstream(index, std::ios::binary | std::ios::trunc) << d.index;
        list = points.Store().List();
        EXPECT_EQ(list.size(), d.expected) << d.what;
        EXPECT_EQ(points.Store().List().size(), d.expected) << d.what;
        EXPECT_NE(ReadFileText(index).find(list[1].file), std::string::npos) << d.what;
    }
    fs::copy_file(points.Store().PathOf(list[0]),
                  points.Folder() + "/2027-01-01_00-00-00.000_serial-00099.qvx");
    list = points.Store().List();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].serial, 99);
}

TEST_F(RestorePointsTest, TheNewestTwoHundredOrThirtyDaysAreKept) {
    // 250 points an hour apart: all younger than 30 days, all kept.
    for (int i = 0; i < 250; ++i) {
        host->clock().Advance(kHourMs);
        ASSERT_EQ(Keep(i % 2, 42), RestorePoints::Outcome::Kept) << i;
    }
    EXPECT_EQ(points.Store().List().size(), 250u);
    // 40 days on, one more: none but it is young, so the newest 200 stay.
    host->clock().Advance(40 * kDayMs);
    ASSERT_EQ(Keep(9, 42), RestorePoints::Outcome::Kept);
    const std::vector<RestorePoint> list = points.Store().List();
    ASSERT_EQ(list.size(), 200u);
    EXPECT_EQ(points.Files().size(), 200u);
    // The oldest kept is the 52nd of the 250 (hour 52).
    EXPECT_EQ(list.back().timeMs, kDecemberSeventhMs + 52 * kHourMs);
}

TEST(RestorePointLimits, CountAgeAndSizeOnTheVirtualClock) {
    struct Case {
        const char* what;
        RestoreLimits limits;
        int64_t gapMs;     // between points
        std::size_t kept;  // of 10
    };
    const uint64_t point = 3676;
    const Case cases[] = {
        {"all young", {3, 30 * kDayMs, 1 << 30}, kHourMs, 10},
        {"count beyond the young", {6, 3 * kHourMs, 1 << 30}, kHourMs * 2, 6},
        {"young beyond the count", {2, kDayMs, 1 << 30}, kHourMs * 2, 10},
        {"size caps both", {8, 30 * kDayMs, 4 * point + 2000}, kHourMs, 4},
        {"the newest stays whatever its size", {8, 30 * kDayMs, 10}, kHourMs, 1},
    };
    for (const Case& c : cases) {
        ScopedFakeHost host;
        ScopedRestorePoints points(host, c.limits);
        for (int i = 0; i < 10; ++i) {
            host->clock().Advance(c.gapMs);
            std::string why;
            points.Store().Keep(Contents(i), About(1), why);
        }
        const std::vector<RestorePoint> list = points.Store().List();
        EXPECT_EQ(list.size(), c.kept) << c.what;
        EXPECT_EQ(points.Files().size(), c.kept) << c.what;
        ASSERT_FALSE(list.empty());
        // The newest are the ones kept.
        EXPECT_EQ(list.front().timeMs, kDecemberSeventhMs + 10 * c.gapMs) << c.what;
    }
}

TEST_F(RestorePointsTest, AFullDiskOrAFolderThatCannotBeMadeFailsWithTheReason) {
    {
        SwappedFileCalls calls;
        calls->write = SwappedFileCalls::NoSpace;
        std::string why;
        EXPECT_EQ(points.Store().Keep(Contents(1), About(1), why), RestorePoints::Outcome::Failed);
        EXPECT_NE(why.find(std::strerror(ENOSPC)), std::string::npos) << why;
    }
    EXPECT_TRUE(points.Files().empty());
    // A file where the folder should be.
    const std::string blocked = host.TempDir() + "/blocked";
    std::ofstream(blocked) << "x";
    RestorePoints store(blocked + "/restore-points", host->clock(), 0);
    std::string why;
    EXPECT_EQ(store.Keep(Contents(1), About(1), why), RestorePoints::Outcome::Failed);
    EXPECT_NE(why.find("cannot be made"), std::string::npos) << why;
    EXPECT_TRUE(store.List().empty());
}

TEST(RestorePointFolder, FollowsXdgDataHomeElseTheHome) {
    struct Case {
        const char* data;  // null: unset
        const char* expected;
    };
    const Case cases[] = {
        {"/x/data", "/x/data/quorvexi/restore-points"},
        {nullptr, "/h/me/.local/share/quorvexi/restore-points"},
        {"", "/h/me/.local/share/quorvexi/restore-points"},
        {"relative", "/h/me/.local/share/quorvexi/restore-points"},  // not absolute: ignored
    };
    ScopedEnv env;
    env.Set("HOME", "/h/me");
    for (const Case& c : cases) {
        env.Set("XDG_DATA_HOME", c.data ? std::optional<std::string>(c.data) : std::nullopt);
        EXPECT_EQ(RestorePoints::DefaultFolder(), c.expected) << (c.data ? c.data : "unset");
    }
}

}  // namespace
}  // namespace qx::test
