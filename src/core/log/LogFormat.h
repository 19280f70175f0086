#pragma once
// The engine log format, written by the program's recorder and by
// `qvx monitor --csv`, read back by the log reader:
//
//   Time,Engine Speed,Engine Accel.,...      labels of the quantities recorded
//   ms,rpm,rpm / sec,...                     their units
//   0,1611.3,16.0,...                        one row per packet
//
// Time is whole milliseconds from the start of the recording. Each value is
// written with the fewest decimals (at least one) from which the module's
// integer is recovered exactly, so a played-back log shows what the module sent.
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/model/MonitoredQuantities.h"

namespace qx {

class Clock;
class SafeFileWriter;

// The module's integer of value for quantity (nearest step, not clamped).
int64_t LogRawOf(int quantity, double value);
// The value of raw for quantity, as the monitored value would hold it.
double LogValueOf(int quantity, int64_t raw);
// value as the log writes it.
std::string FormatLogValue(int quantity, double value);

class LiveSource;

// The values of quantities as source holds them now (0 where it holds none),
// converted as the monitored values convert the module's bytes.
std::vector<double> ReadLiveValues(LiveSource& source, const std::vector<int>& quantities);

// The two header lines (with their line feeds) for these quantities, in order.
std::string LogHeader(const std::vector<int>& quantities);
// One row with its line feed; values[i] belongs to quantities[i].
std::string LogRow(int64_t timeMs, const std::vector<int>& quantities,
                   const std::vector<double>& values);

// Writes a log straight into its file so that a crash loses at most the rows
// of the last second: rows are buffered and written out whenever a second has
// passed on the clock since the last write. The file is written by the safe
// writer: an earlier file of that name is replaced only once the header is
// on the disk, a link is followed, a device or pipe is written through. A write
// error (full disk) stops the writer; Error() then says why, and the file keeps
// the rows written before.
class LogWriter {
  public:
    LogWriter();
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    // Creates (or truncates) path and writes the header. False: Error() says why.
    bool Open(const std::string& path, const std::vector<int>& quantities, Clock& clock);
    // Adds a row timed at the clock's now minus the opening time. False once
    // the writer has failed.
    bool Append(const std::vector<double>& values);
    // The same for a row whose packet arrived at clockMs on the clock (it may
    // have waited to be read); the times written never go back.
    bool AppendAt(int64_t clockMs, const std::vector<double>& values);
    // The same for a row timed by the caller (ms from its own start).
    bool AppendTimed(int64_t timeMs, const std::vector<double>& values);
    // Writes the buffered rows out when a second has passed since the last
    // write (rows may stop coming while the file stays open). False once failed.
    bool FlushIfDue();
    // Writes what is buffered and closes. False when anything failed.
    bool Close();

    bool IsOpen() const { return file_ != nullptr; }
    bool Failed() const { return !error_.empty(); }
    const std::string& Error() const { return error_; }
    const std::string& Path() const { return path_; }
    int64_t Rows() const { return rows_; }
    // Milliseconds since Open on the clock.
    int64_t ElapsedMs() const;

  private:
    bool WriteOut();
    void Fail();

    std::unique_ptr<SafeFileWriter> file_;
    Clock* clock_ = nullptr;
    std::string path_;
    std::vector<int> quantities_;
    std::string buffer_;
    std::string error_;
    int64_t startMs_ = 0;
    int64_t lastWriteMs_ = 0;
    int64_t rows_ = 0;
    int64_t lastRowMs_ = 0;
};

}  // namespace qx
