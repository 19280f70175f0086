#include "core/log/LogFormat.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

#include "core/host/Clock.h"
#include "core/host/Numbers.h"
#include "core/host/SafeFile.h"
#include "core/model/LittleEndian.h"
#include "core/monitor/LiveSource.h"

namespace qx {

namespace {

const MonitoredQuantity& Q(int quantity) {
    return kMonitoredQuantities[static_cast<std::size_t>(quantity)];
}

// Labels and units hold no comma or quote today; a field that ever does is quoted.
std::string Field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char ch : text) {
        if (ch == '"') out += '"';
        out += ch;
    }
    return out + "\"";
}

}  // namespace

int64_t LogRawOf(int quantity, double value) {
    const MonitoredQuantity& q = Q(quantity);
    const double steps = static_cast<double>(q.maxInternal - q.minInternal);
    return q.minInternal + std::llround((value - q.min) * steps / (q.max - q.min));
}

double LogValueOf(int quantity, int64_t raw) {
    // The monitored value itself converts, so a log shows what the monitor would.
    static std::array<std::unique_ptr<MonitoredModuleValue>, kMonitoredQuantityCount> values;
    auto& v = values[static_cast<std::size_t>(quantity)];
    if (!v) v = MakeMonitoredValue(quantity);
    uint32_t bits = static_cast<uint32_t>(std::clamp<int64_t>(raw, 0, 0xFFFF));
    // A word arrives most significant byte first; SetFromInternal undoes that.
    if (v->GetSize() == 2) bits = ((bits & 0xFFu) << 8) | ((bits >> 8) & 0xFFu);
    v->SetFromInternal(bits);
    return v->GetValue();
}

std::string FormatLogValue(int quantity, double value) {
    const int64_t raw = LogRawOf(quantity, value);
    std::string text;
    for (const char* format : {"%.1f", "%.2f", "%.3f", "%.4f"}) {
        text = FormatDouble(format, value);
        if (LogRawOf(quantity, AtoF(text)) == raw) break;
    }
    return text;
}

std::vector<double> ReadLiveValues(LiveSource& source, const std::vector<int>& quantities) {
    std::vector<double> out;
    for (int q : quantities) {
        auto value = MakeMonitoredValue(q);
        uint8_t bytes[4] = {};
        const bool valid = source.GetImageBytes(bytes, value->GetAddress(),
                                                static_cast<std::size_t>(value->GetSize()));
        if (valid) value->SetFromInternal(static_cast<uint32_t>(le::Get(bytes, 4)));
        out.push_back(valid ? value->GetValue() : 0.0);
    }
    return out;
}

std::string LogHeader(const std::vector<int>& quantities) {
    std::string labels = "Time";
    std::string units = "ms";
    for (int i : quantities) {
        // Appended in two steps: "," + string trips g++ 12's -Wrestrict at -O2.
        labels += ',';
        labels += Field(Q(i).label);
        units += ',';
        units += Field(Q(i).unit);
    }
    return labels + "\n" + units + "\n";
}

std::string LogRow(int64_t timeMs, const std::vector<int>& quantities,
                   const std::vector<double>& values) {
    std::string row = std::to_string(timeMs);
    for (std::size_t k = 0; k < quantities.size(); ++k) {
        row += ',';
        row += FormatLogValue(quantities[k], k < values.size() ? values[k] : 0.0);
    }
    row += '\n';
    return row;
}

LogWriter::LogWriter() = default;

LogWriter::~LogWriter() {
    Close();
}

bool LogWriter::Open(const std::string& path, const std::vector<int>& quantities, Clock& clock) {
    Close();
    error_.clear();
    path_ = path;
    quantities_ = quantities;
    clock_ = &clock;
    rows_ = 0;
    lastRowMs_ = 0;
    file_ = std::make_unique<SafeFileWriter>(path);
    startMs_ = lastWriteMs_ = clock.NowMs();
    // The header replaces an earlier file at once; rows follow each second.
    if (!file_->Write(LogHeader(quantities)) || !file_->Publish()) {
        error_ = file_->Error();
        file_.reset();
        return false;
    }
    return true;
}

int64_t LogWriter::ElapsedMs() const {
    return clock_ != nullptr ? clock_->NowMs() - startMs_ : 0;
}

bool LogWriter::Append(const std::vector<double>& values) {
    return AppendAt(clock_ != nullptr ? clock_->NowMs() : 0, values);
}

bool LogWriter::AppendAt(int64_t clockMs, const std::vector<double>& values) {
    if (file_ == nullptr || Failed()) return false;
    const int64_t now = clock_->NowMs();
    // A packet that arrived before the opening counts from it.
    return AppendTimed(std::min(clockMs, now) - startMs_, values);
}

bool LogWriter::AppendTimed(int64_t timeMs, const std::vector<double>& values) {
    if (file_ == nullptr || Failed()) return false;
    lastRowMs_ = std::max(lastRowMs_, timeMs);
    buffer_ += LogRow(lastRowMs_, quantities_, values);
    ++rows_;
    if (clock_->NowMs() - lastWriteMs_ >= 1000) return WriteOut();
    return true;
}

bool LogWriter::FlushIfDue() {
    if (file_ == nullptr || Failed()) return false;
    if (clock_->NowMs() - lastWriteMs_ < 1000) return true;
    return WriteOut();
}

bool LogWriter::WriteOut() {
    lastWriteMs_ = clock_->NowMs();
    if (buffer_.empty()) return true;
    if (!file_->Write(buffer_) || !file_->Flush()) {
        Fail();
        return false;
    }
    buffer_.clear();
    return true;
}

void LogWriter::Fail() {
    error_ = file_->Error();
    file_.reset();  // keeps what reached the file
    buffer_.clear();
}

bool LogWriter::Close() {
    if (file_ == nullptr) return !Failed();
    if (WriteOut() && !file_->Commit()) Fail();
    file_.reset();
    return !Failed();
}

}  // namespace qx
