// Reading engine logs: what the recorder and qvx write, and everything else.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "log/LogFormat.h"
#include "log/LogReader.h"

namespace qx::test {
namespace {

const std::string kHead = LogHeader({0, 1, 2, 3, 4, 5, 6});
const std::string kRow = ",1611.3,16.0,32.0,20.0,20.0,12.55,0.0\n";

TEST(LogReader, ReadsColumnsOfAFullLog) {
    EngineLog log;
    std::string error;
    ASSERT_TRUE(ReadEngineLog(kHead + "0" + kRow + "66" + kRow + "66" + kRow, log, error)) << error;
    EXPECT_EQ(log.Rows(), 3u);
    EXPECT_EQ(log.timeMs, (std::vector<int64_t>{0, 66, 66}));
    EXPECT_EQ(log.raw[0][1], 100);
    EXPECT_EQ(log.raw[5][2], 200);
    EXPECT_FLOAT_EQ(log.values[5][0], static_cast<float>(LogValueOf(5, 200)));
    EXPECT_EQ(log.RowAt(65), 0u);
    EXPECT_EQ(log.RowAt(66), 2u);
    EXPECT_EQ(log.RowAt(-5), 0u);
}

TEST(LogReader, TakesAChosenSubsetAndWindowsLineEnds) {
    EngineLog log;
    std::string error;
    const std::string text =
        "Time,Battery Voltage,Engine Speed\r\nms,volts,rpm\r\n0,12.5,1611.3\r\n15,12.6,0.0\r\n";
    ASSERT_TRUE(ReadEngineLog(text, log, error)) << error;
    EXPECT_EQ(log.quantities, (std::vector<int>{5, 0}));
    EXPECT_TRUE(log.Has(0));
    EXPECT_FALSE(log.Has(1));
    EXPECT_TRUE(log.raw[1].empty());
    EXPECT_EQ(log.raw[5][0], 199);  // an old one-decimal log: the nearest step
}

TEST(LogReader, DropsALastLineCutShortByACrash) {
    EngineLog log;
    std::string error;
    ASSERT_TRUE(ReadEngineLog(kHead + "0" + kRow + "66,1611.3,16", log, error)) << error;
    EXPECT_EQ(log.Rows(), 1u);
    EXPECT_TRUE(log.droppedPartialLine);
    EXPECT_EQ(log.droppedLine, 4u);
}

TEST(LogReader, KeepsValuesBeyondTheirRangeAtTheLimit) {
    EngineLog log;
    std::string error;
    const std::string text = kHead + "0,9000,16.0,32.0,46,20.0,12.5,-1\n" + "66" + kRow;
    ASSERT_TRUE(ReadEngineLog(text, log, error)) << error;
    EXPECT_EQ(log.clampedValues, 3u);
    EXPECT_FLOAT_EQ(log.values[0][0], 8250.0f);  // engine speed's top
    EXPECT_FLOAT_EQ(log.values[3][0], 45.0f);    // front advance's top
    EXPECT_FLOAT_EQ(log.values[6][0], 0.0f);     // VOES retard's bottom
    EXPECT_EQ(log.raw[0][1], 100);               // the next row as written
}

// Something else, as big as it comes: refused at line 1 from its first bytes.
TEST(LogReader, RefusesAHundredMegabytesOfJunkFromItsStart) {
    const std::string dir = ::testing::TempDir();
    const struct {
        const char* name;
        std::string start;
        std::string error;
    } cases[] = {
        {"junk.csv", std::string(9000, 'x'), "line 1: is far too long for the header of a log"},
        {"zeros.csv", "", "line 1: holds binary data, not text"},
        {"words.csv", "Time;Engine Speed\n",
         "line 1: the first column must be \"Time\", not \"Time;Engine Speed\""},
    };
    for (const auto& c : cases) {
        const std::string path = dir + "/qx-" + std::to_string(getpid()) + c.name;
        {
            std::ofstream out(path, std::ios::binary);
            out << c.start;
        }
        // Sparse: a hundred megabytes that take no room on the disk.
        std::filesystem::resize_file(path, 100u << 20);
        EngineLog log;
        std::string error;
        EXPECT_FALSE(ReadEngineLogFile(path, log, error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        std::filesystem::remove(path);
    }
    EngineLog log;
    std::string error;
    EXPECT_FALSE(ReadEngineLog(std::string(100000, ','), log, error));
    EXPECT_EQ(error, "line 1: is far too long for the header of a log");
}

TEST(LogReader, RefusesAnythingElseNamingTheLine) {
    const std::string row0 = "0" + kRow;
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "the file is empty"},
        {"Time,Engine Speed\n", "line 2: the units row is missing"},
        {kHead, "line 3: the log has no rows"},
        {"Zeit,Engine Speed\nms,rpm\n0,0\n",
         "line 1: the first column must be \"Time\", not \"Zeit\""},
        {"Time,Engine Speed,Oil Temp\n", "line 1: \"Oil Temp\" is not a monitored value"},
        {"Time,Engine Speed,Engine Speed\n", "line 1: \"Engine Speed\" appears twice"},
        {"Time,Engine Speed\nms,deg\n",
         "line 2: the units do not match the columns (\"ms\" and each value's unit)"},
        {"Time,Engine Speed\nms,rpm,volts\n",
         "line 2: the units do not match the columns (\"ms\" and each value's unit)"},
        {kHead + row0 + "66,1611.3\n" + row0, "line 4: has 2 fields, the header has 8"},
        {kHead + row0 + "1.5" + kRow + row0,
         "line 4: the time \"1.5\" is not a whole number of milliseconds"},
        {kHead + "-1" + kRow + row0,
         "line 3: the time \"-1\" is not a whole number of milliseconds"},
        {kHead + "99" + kRow + "98" + kRow,
         "line 4: the time 98 comes before the previous row's 99"},
        {kHead + "0,fast,16.0,32.0,20.0,20.0,12.5,0.0\n" + row0,
         "line 3: Engine Speed \"fast\" is not a number"},
        {kHead + "0,1e3,16.0,32.0,20.0,20.0,12.5,0.0\n" + row0,
         "line 3: Engine Speed \"1e3\" is not a number"},
        {kHead + "0,nan,16.0,32.0,20.0,20.0,12.5,0.0\n" + row0,
         "line 3: Engine Speed \"nan\" is not a number"},
        {kHead + "0" + kRow + "66,1611.3,16.0,32.0\n" + row0,
         "line 4: has 4 fields, the header has 8"},
        {"Time,\"Engine Speed\nms,rpm\n", "line 1: a quote is not closed"},
        {std::string("Time\0,x\n", 8), "line 1: holds binary data, not text"},
        {"\x89PNG\r\n\x1a\n", "line 1: the first column must be \"Time\", not \"\x89PNG\""},
    };
    for (const auto& c : cases) {
        EngineLog log;
        std::string error;
        EXPECT_FALSE(ReadEngineLog(c.text, log, error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(LogReader, TheSampleRideIsAFewPullsAtThePacketRate) {
    EngineLog log;
    std::string error;
    ASSERT_TRUE(ReadEngineLogFile(QX_SAMPLE_RIDE, log, error)) << error;
    EXPECT_EQ(log.quantities.size(), 7u);
    EXPECT_GE(log.EndMs(), 30000);
    int pulls = 0;
    for (std::size_t i = 1; i < log.Rows(); ++i) {
        EXPECT_NEAR(log.timeMs[i] - log.timeMs[i - 1], 66, 1);
        // A pull: the engine passes 4000 rpm on the way up.
        pulls += log.values[0][i - 1] < 4000.0f && log.values[0][i] >= 4000.0f;
    }
    EXPECT_GE(pulls, 3);
}

TEST(LogReader, RefusesAFileThatCannotBeRead) {
    EngineLog log;
    std::string error;
    EXPECT_FALSE(ReadEngineLogFile("/nonexistent/ride.csv", log, error));
    EXPECT_EQ(error, "No such file or directory");
}

}  // namespace
}  // namespace qx::test
