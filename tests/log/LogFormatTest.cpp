// The engine log format and its writer on the virtual clock.
#include <gtest/gtest.h>

#include "core/host/Numbers.h"
#include "core/log/LogFormat.h"
#include "core/log/LogReader.h"
#include "support/FakeHost.h"
#include "support/FileBytes.h"

namespace qx::test {
namespace {

const std::vector<int> kAll = {0, 1, 2, 3, 4, 5, 6};

TEST(LogFormat, EveryModuleIntegerSurvivesTheTextOfTheLog) {
    // A battery step is 0.0627 volts: one decimal would merge neighbours.
    for (int q = 0; q < kMonitoredQuantityCount; ++q) {
        const MonitoredQuantity& m = kMonitoredQuantities[static_cast<std::size_t>(q)];
        for (int64_t raw = m.minInternal; raw <= m.maxInternal; ++raw) {
            const std::string text = FormatLogValue(q, LogValueOf(q, raw));
            ASSERT_EQ(LogRawOf(q, AtoF(text)), raw) << m.label << " " << text;
        }
    }
    EXPECT_EQ(FormatLogValue(0, LogValueOf(0, 100)), "1611.3");  // as the window shows it
    EXPECT_EQ(FormatLogValue(5, LogValueOf(5, 200)), "12.55");
    EXPECT_EQ(FormatLogValue(3, 30.0), "30.0");
}

TEST(LogFormat, HeaderAndRow) {
    EXPECT_EQ(LogHeader({0, 5}), "Time,Engine Speed,Battery Voltage\nms,rpm,volts\n");
    EXPECT_EQ(LogRow(1500, {0, 5}, {LogValueOf(0, 100), LogValueOf(5, 200)}),
              "1500,1611.3,12.55\n");
}

TEST(LogWriter, RowsReachTheDiskWithinASecondAndTheFileReadsBack) {
    ScopedFakeHost host;
    const std::string path = host.TempDir() + "/ride.csv";
    LogWriter w;
    ASSERT_TRUE(w.Open(path, kAll, host->clock()));
    EXPECT_EQ(ReadFileText(path), LogHeader(kAll));  // the header at once
    std::vector<double> row(7, 0.0);
    for (int i = 0; i < 10; ++i) {
        row[0] = LogValueOf(0, 10 * i);
        host->AdvanceMs(66);
        ASSERT_TRUE(w.Append(row));
    }
    EXPECT_EQ(ReadFileText(path), LogHeader(kAll));  // 660 ms: still buffered
    host->AdvanceMs(400);
    ASSERT_TRUE(w.Append(row));  // 1060 ms: everything goes out
    EngineLog log;
    std::string error;
    ASSERT_TRUE(ReadEngineLog(ReadFileText(path), log, error)) << error;
    EXPECT_EQ(log.Rows(), 11u);
    EXPECT_EQ(log.timeMs[0], 66);
    EXPECT_EQ(log.timeMs[10], 1060);
    EXPECT_EQ(log.raw[0][9], 90);
    host->AdvanceMs(10);
    ASSERT_TRUE(w.Append(row));
    EXPECT_TRUE(w.Close());
    ASSERT_TRUE(ReadEngineLogFile(path, log, error)) << error;
    EXPECT_EQ(log.Rows(), 12u);
    EXPECT_EQ(w.Rows(), 12);
}

TEST(LogWriter, AFullDiskStopsTheWriterWithTheReason) {
    ScopedFakeHost host;
    LogWriter w;
    EXPECT_FALSE(w.Open("/dev/full", kAll, host->clock()));
    // /dev/full takes the open and refuses the first write (the header).
    EXPECT_TRUE(w.Failed());
    EXPECT_EQ(w.Error(), "No space left on device");
    EXPECT_FALSE(w.Append(std::vector<double>(7, 0.0)));
    EXPECT_FALSE(w.Close());

    LogWriter missing;
    EXPECT_FALSE(missing.Open(host.TempDir() + "/no/such/dir/x.csv", kAll, host->clock()));
    EXPECT_EQ(missing.Error(), "No such file or directory");
}

}  // namespace
}  // namespace qx::test
