// The engine log reader. The input is a file's text. Nothing may crash; a
// refusal names a line; a log read is in time order with every value on its
// quantity's scale, reads the same from a file, and written out again by the
// recorder's format reads back to the same module integers.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/log/LogFormat.h"
#include "core/log/LogReader.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "log reader: %s\n", what);
        std::abort();
    }
}

const std::string& LogPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir != nullptr ? dir : "/tmp") + "/qx_log_reader_" +
               std::to_string(::getpid()) + ".csv";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    qx::EngineLog log;
    std::string error;
    const bool ok = qx::ReadEngineLog(text, log, error);

    {
        std::ofstream out(LogPath(), std::ios::binary | std::ios::trunc);
        out << text;
    }
    qx::EngineLog fromFile;
    std::string fileError;
    const bool fileOk = qx::ReadEngineLogFile(LogPath(), fromFile, fileError);
    std::remove(LogPath().c_str());
    Require(ok == fileOk && error == fileError, "the file reads differently from its text");

    if (!ok) {
        Require(error.rfind("line ", 0) == 0 || error == "the file is empty",
                "a refusal names no line");
        return 0;
    }
    Require(log.Rows() > 0, "a log without rows was taken");
    Require(fromFile.timeMs == log.timeMs, "the file's times differ");
    for (std::size_t i = 1; i < log.Rows(); ++i)
        Require(log.timeMs[i - 1] <= log.timeMs[i], "rows out of time order");
    for (int q : log.quantities) {
        const auto k = static_cast<std::size_t>(q);
        const qx::MonitoredQuantity& m = qx::kMonitoredQuantities[k];
        Require(log.raw[k].size() == log.Rows() && log.values[k].size() == log.Rows(),
                "a column is short");
        for (std::size_t i = 0; i < log.Rows(); ++i) {
            Require(log.raw[k][i] >= m.minInternal && log.raw[k][i] <= m.maxInternal,
                    "a module integer is off its scale");
            Require(log.values[k][i] >= m.min - 1e-3 && log.values[k][i] <= m.max + 1e-3,
                    "a value is off its scale");
        }
    }

    std::string again = qx::LogHeader(log.quantities);
    for (std::size_t i = 0; i < log.Rows(); ++i) {
        std::vector<double> values;
        for (int q : log.quantities)
            values.push_back(qx::LogValueOf(q, log.raw[static_cast<std::size_t>(q)][i]));
        again += qx::LogRow(log.timeMs[i], log.quantities, values);
    }
    qx::EngineLog reread;
    Require(qx::ReadEngineLog(again, reread, error), "the log written out again is refused");
    Require(reread.timeMs == log.timeMs && reread.raw == log.raw && reread.clampedValues == 0,
            "the log written out again reads differently");
    return 0;
}
