#include "core/log/Coverage.h"

#include <algorithm>
#include <cmath>

#include "core/model/ModuleValue.h"

namespace qx {

Coverage::Coverage(double xMin, double xMax, int points)
    : xMin_(xMin),
      spacing_(points > 1 ? (xMax - xMin) / (points - 1) : 1.0),
      time_(static_cast<std::size_t>(std::max(points, 1)), 0),
      seen_(time_.size(), false) {}

int Coverage::PointOf(double x) const {
    // Halves go up, as the live bar's rounding does.
    const double k = RoundTo((x - xMin_) / spacing_, 0);
    return static_cast<int>(std::clamp(k, 0.0, static_cast<double>(time_.size() - 1)));
}

void Coverage::Add(double x, int64_t dwellMs) {
    const auto i = static_cast<std::size_t>(PointOf(x));
    const int64_t dwell = std::clamp<int64_t>(dwellMs, 0, kMaxDwellMs);
    time_[i] += dwell;
    total_ += dwell;
    seen_[i] = true;
}

void Coverage::AddRows(const int64_t* times, const float* values, std::size_t from,
                       std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
        // The last row of a log holds as long as the one before it.
        int64_t dwell = 0;
        if (i + 1 < to) {
            dwell = times[i + 1] - times[i];
        } else if (i > from) {
            dwell = times[i] - times[i - 1];
        }
        Add(values[i], dwell);
    }
}

void Coverage::Reset() {
    std::fill(time_.begin(), time_.end(), 0);
    std::fill(seen_.begin(), seen_.end(), false);
    total_ = 0;
}

double Coverage::Share(int i) const {
    if (i < 0 || i >= Points() || total_ == 0) return 0.0;
    return static_cast<double>(time_[static_cast<std::size_t>(i)]) / static_cast<double>(total_);
}

std::vector<int> Coverage::Shades() const {
    std::vector<int> shades(time_.size(), 0);
    const int64_t most = *std::max_element(time_.begin(), time_.end());
    if (most == 0) return shades;
    // Sixteen steps apart: the eye tells no finer, and a band is repainted
    // only when its step changes, not at every row that shifts the shares.
    for (std::size_t i = 0; i < time_.size(); ++i)
        if (time_[i] > 0) shades[i] = 40 + 10 * static_cast<int>(16 * time_[i] / most);
    return shades;
}

bool Coverage::Used(int i) const {
    return i >= 0 && i < Points() && seen_[static_cast<std::size_t>(i)];
}

}  // namespace qx
