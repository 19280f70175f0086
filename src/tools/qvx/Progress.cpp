#include "tools/qvx/Progress.h"

#include <algorithm>

namespace qx::qvx {

namespace {
constexpr int kBarWidth = 30;
}

ProgressBar::ProgressBar(std::ostream& out, bool enabled, std::string label, std::size_t total)
    : out_(out), enabled_(enabled), label_(std::move(label)), total_(total) {}

ProgressBar::~ProgressBar() {
    Finish();
}

void ProgressBar::Update(std::size_t done) {
    if (!enabled_ || finished_) return;
    int percent = 100;
    if (total_ > 0) {
        done = std::min(done, total_);
        percent = static_cast<int>(done * 100 / total_);
    }
    if (percent != shown_) Draw(percent);
}

void ProgressBar::Complete() {
    if (!enabled_ || finished_) return;
    if (shown_ != 100) Draw(100);
    Finish();
}

void ProgressBar::Finish() {
    if (finished_) return;
    finished_ = true;
    if (enabled_ && shown_ >= 0) out_ << '\n' << std::flush;
}

void ProgressBar::Draw(int percent) {
    shown_ = percent;
    const int filled = percent * kBarWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    out_ << '\r' << label_ << " [" << bar << "] " << percent << " %" << std::flush;
}

}  // namespace qx::qvx
