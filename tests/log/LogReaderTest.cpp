// Reading engine logs: what the recorder and qvx write, and everything else.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/log/LogFormat.h"
#include "core/log/LogReader.h"

namespace qx::test {
namespace {

const std::string kHead = LogHeader({0, 1, 2, 3, 4, 5, 6});
const std::string kRow = ",1611.3,16.0,32.0,20.0,20.0,12.55,0.0\n";

struct Parsed {
    bool ok = false;
    EngineLog log;
    std::string error;
};
Parsed Parse(const std::string& text) {
    Parsed r;
    r.ok = ReadEngineLog(text, r.log, r.error);
    return r;
}
// A first row whose engine speed is field.
std::string SpeedRow(const std::string& field) {
    return "0," + field + ",16.0,32.0,20.0,20.0,12.5,0.0\n";
}
std::string TempFile(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + "/qx-" + std::to_string(getpid()) + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TEST(LogReader, ReadsColumnsOfAFullLog) {
    const auto [ok, log, error] = Parse(kHead + "0" + kRow + "66" + kRow + "66" + kRow);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(log.Rows(), 3u);
    EXPECT_EQ(log.timeMs, (std::vector<int64_t>{0, 66, 66}));
    EXPECT_EQ(log.raw[0][1], 100);
    EXPECT_EQ(log.raw[5][2], 200);
    EXPECT_FLOAT_EQ(log.values[5][0], 200 * 16.0f / 255);  // 0 to 16 V over a byte
    EXPECT_EQ(log.RowAt(65), 0u);
    EXPECT_EQ(log.RowAt(66), 2u);
    EXPECT_EQ(log.RowAt(-5), 0u);
}

TEST(LogReader, TakesAChosenSubsetAndWindowsLineEnds) {
    const auto [ok, log, error] = Parse(
        "Time,Battery Voltage,Engine Speed\r\nms,volts,rpm\r\n0,12.5,1611.3\r\n15,12.6,0.0\r\n");
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(log.quantities, (std::vector<int>{5, 0}));
    EXPECT_TRUE(log.Has(0));
    EXPECT_FALSE(log.Has(1));
    EXPECT_TRUE(log.raw[1].empty());
    EXPECT_EQ(log.raw[5][0], 199);  // an old one-decimal log: the nearest step
}

TEST(LogReader, DropsALastLineCutShortByACrash) {
    const auto [ok, log, error] = Parse(kHead + "0" + kRow + "66,1611.3,16");
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(log.Rows(), 1u);
    EXPECT_TRUE(log.droppedPartialLine);
    EXPECT_EQ(log.droppedLine, 4u);
}

TEST(LogReader, KeepsValuesBeyondTheirRangeAtTheLimit) {
    const auto [ok, log, error] = Parse(kHead + "0,9000,16.0,32.0,46,20.0,12.5,-1\n" + "66" + kRow);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(log.clampedValues, 3u);
    EXPECT_FLOAT_EQ(log.values[0][0], 8250.0f);  // engine speed's top
    EXPECT_FLOAT_EQ(log.values[3][0], 45.0f);    // front advance's top
    EXPECT_FLOAT_EQ(log.values[6][0], 0.0f);     // VOES retard's bottom
    EXPECT_EQ(log.raw[0][1], 100);               // the next row as written
}

// Something else, as big as it comes: refused at line 1 from its first bytes.
TEST(LogReader, RefusesAHundredMegabytesOfJunkFromItsStart) {
    const struct {
        const char* name;
        std::string start;
        std::string error;
    } cases[] = {
        {"junk.csv", std::string(9000, 'x'), "line 1: is far too long for the header of a log"},
        {"zeros.csv", "", "line 1: holds binary data, not text"},
        {"words.csv", "Time;Engine Speed\n",
         "line 1: no column is \"Time\" (the first is \"Time;Engine Speed\")"},
    };
    for (const auto& c : cases) {
        const std::string path = TempFile(c.name, c.start);
        // Sparse: a hundred megabytes that take no room on the disk.
        std::filesystem::resize_file(path, 100u << 20);
        EngineLog log;
        std::string error;
        EXPECT_FALSE(ReadEngineLogFile(path, log, error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        std::filesystem::remove(path);
    }
    EXPECT_EQ(Parse(std::string(100000, ',')).error,
              "line 1: is far too long for the header of a log");
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
         "line 1: no column is \"Time\" (the first is \"Zeit\")"},
        {"Time,Oil Temp\nms,C\n0,90\n",
         "line 1: no column is a monitored value such as \"Engine Speed\""},
        {"Time,Engine Speed,Engine Speed\n", "line 1: \"Engine Speed\" appears twice"},
        {"Time,Engine Speed,Time\n", "line 1: \"Time\" appears twice"},
        {"\xFF\xFET\0i\0m\0e\0", "line 1: is UTF-16 text: save the log as CSV in UTF-8"},
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
        // What spreadsheets leave at the end is a fault between rows.
        {kHead + row0 + "\n" + row0, "line 4: is empty, but rows follow it"},
        {kHead + row0 + ",,,,,,,\r\n\r\n" + row0, "line 4: is empty, but rows follow it"},
        {kHead + row0 + "66" + kRow.substr(0, kRow.size() - 1) + ",0.9\n",
         "line 4: has 9 fields, the header has 8"},
        {kHead + "0" + kRow + "66,1611.3,16.0,32.0\n" + row0,
         "line 4: has 4 fields, the header has 8"},
        {"Time,\"Engine Speed\nms,rpm\n", "line 1: a quote is not closed"},
        {std::string("Time\0,x\n", 8), "line 1: holds binary data, not text"},
        {"\x89PNG\r\n\x1a\n", "line 1: no column is \"Time\" (the first is \"\\x89PNG\")"},
    };
    for (const auto& c : cases) {
        const Parsed r = Parse(c.text);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(r.error, c.error) << c.text;
    }
    for (const std::string field : {"fast", "1e", "0x10", "inf", "", "nan"}) {
        EXPECT_EQ(Parse(kHead + SpeedRow(field) + row0).error,
                  "line 3: Engine Speed \"" + field + "\" is not a number");
    }
}

// A log saved again by a spreadsheet: the same rows as the recorder wrote.
TEST(LogReader, TakesWhatSpreadsheetsWrite) {
    const std::string row = "66" + kRow;
    const struct {
        const char* what;
        std::string text;
        std::vector<std::string> ignored;
    } cases[] = {
        {"byte-order mark", "\xEF\xBB\xBF" + kHead + "0" + kRow + row, {}},
        {"two empty lines at the end", kHead + "0" + kRow + row + "\n\n", {}},
        {"CR LF and empty lines",
         "\xEF\xBB\xBFTime,Engine Speed\r\nms,rpm\r\n0,1611.3\r\n66,1611.3\r\n\r\n\r\n",
         {}},
        {"a last row of empty cells", kHead + "0" + kRow + row + ",,,,,,,\n", {}},
        {"empty cells without a line feed", kHead + "0" + kRow + row + ",,,,,,,", {}},
        {"rows padded with empty cells",
         "Time,Engine Speed,\nms,rpm,\n0,1611.3,\n66,1611.3,,\n",
         {}},
        {"a column first",
         "Lambda,Time,Engine Speed\n,ms,rpm\n0.91,0,1611.3\n0.88,66,1611.3\n",
         {"Lambda"}},
        {"columns last",
         "Time,Engine Speed,Lambda,Gear\nms,rpm,,\n0,1611.3,0.91,2\n66,1611.3,0.88,2\n",
         {"Lambda", "Gear"}},
        {"an exponent", "Time,Engine Speed\nms,rpm\n0,1.6113E+3\n66,16113e-1\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto [ok, log, error] = Parse(c.text);
        ASSERT_TRUE(ok) << error;
        EXPECT_EQ(log.timeMs, (std::vector<int64_t>{0, 66}));
        EXPECT_EQ(log.raw[0], (std::vector<uint16_t>{100, 100}));
        EXPECT_EQ(log.ignoredColumns, c.ignored);
        EXPECT_FALSE(log.droppedPartialLine);
        EXPECT_EQ(log.clampedValues, 0u);
    }
}

// Numbers no double holds are beyond the range like any other: kept at a limit.
TEST(LogReader, KeepsHugeNumbersAtTheLimitOfTheirSign) {
    const struct {
        const char* value;
        uint16_t raw;
        std::size_t clamped;
    } cases[] = {
        {"1e300", 512, 1},    {"-1e300", 0, 1},   {"1e400", 512, 1},
        {"-1e400", 0, 1},     {"1e-400", 0, 0},   {"+8250", 512, 0},
        {" 1611.3 ", 100, 0}, {"8.25E3", 512, 0}, {"-0.0", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const auto [ok, log, error] =
            Parse(std::string("Time,Engine Speed\nms,rpm\n0,") + c.value + "\n");
        ASSERT_TRUE(ok) << error;
        EXPECT_EQ(log.raw[0][0], c.raw);
        EXPECT_EQ(log.clampedValues, c.clamped);
    }
}

// What the user sees of a wrong field: its bytes, escaped when they are not text.
TEST(LogReader, ShowsWrongFieldsPrintableAndShort) {
    const struct {
        std::string field;
        std::string shown;
    } cases[] = {
        {"fast", "fast"},
        {"\x01\x7F\x1B[2J", "\\x01\\x7F\\x1B[2J"},
        {"Z\xC3\xBCndung", "Z\xC3\xBCndung"},  // UTF-8 stays as it is
        {"\xC3(", "\\xC3("},                   // a broken sequence does not
        {"\xC0\xAF", "\\xC0\\xAF"},            // nor an overlong one
        {"\xC2\x85", "\\xC2\\x85"},            // nor a C1 control
        {std::string(100, 'q'), std::string(24, 'q') + "..."},
        {std::string(30, '\xFF'),
         [] {
             std::string s;
             for (int i = 0; i < 24; ++i) s += "\\xFF";
             return s + "...";
         }()},
    };
    for (const auto& c : cases) {
        const Parsed r = Parse(kHead + "0" + kRow + SpeedRow('"' + c.field + '"') + "0" + kRow);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, "line 4: Engine Speed \"" + c.shown + "\" is not a number") << c.field;
    }
}

TEST(LogReader, TellsItsProgressAndStopsWhenCancelled) {
    std::string text = kHead;
    for (int i = 0; i < 60000; ++i) text += std::to_string(66 * i) + kRow;  // about 3 MB
    const std::string path = TempFile("progress", text);
    std::vector<std::pair<std::size_t, std::size_t>> told;
    EngineLog log;
    std::string error;
    ASSERT_TRUE(ReadEngineLogFile(path, log, error, [&](std::size_t done, std::size_t total) {
        told.emplace_back(done, total);
        return true;
    })) << error;
    EXPECT_EQ(log.Rows(), 60000u);
    ASSERT_GE(told.size(), 3u);  // reading the file, then each megabyte of rows
    for (std::size_t i = 0; i < told.size(); ++i) {
        EXPECT_EQ(told[i].second, 2 * text.size());
        EXPECT_LE(told[i].first, told[i].second);
        if (i > 0) {
            EXPECT_GT(told[i].first, told[i - 1].first);
        }
    }
    // Stopped at the second report: it fails, and says why.
    int calls = 0;
    EngineLog stopped;
    EXPECT_FALSE(ReadEngineLogFile(path, stopped, error,
                                   [&](std::size_t, std::size_t) { return ++calls < 2; }));
    EXPECT_EQ(error, kLogReadCancelled);
    EXPECT_EQ(stopped.Rows(), 0u);
    std::filesystem::remove(path);
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
