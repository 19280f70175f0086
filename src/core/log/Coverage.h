#pragma once
// Where on a map's axis the engine spent its time: each sample's dwell (the
// time until the next sample, at most kMaxDwellMs so that a pause in the
// recording counts as nothing) goes to the map point nearest its value, as the
// live bar rounds it.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qx {

class Coverage {
  public:
    static constexpr int64_t kMaxDwellMs = 1000;

    // A map axis of points evenly spaced from xMin to xMax.
    Coverage(double xMin, double xMax, int points);

    // One sample of value x held for dwellMs (clamped to 0 .. kMaxDwellMs).
    void Add(double x, int64_t dwellMs);
    // Rows from .. to-1 of a log (times and values, non-decreasing times).
    void AddRows(const int64_t* times, const float* values, std::size_t from, std::size_t to);
    void Reset();

    int Points() const { return static_cast<int>(time_.size()); }
    // The share of all counted time spent at point i (0 when nothing counted).
    double Share(int i) const;
    // The engine was seen at point i at all.
    bool Used(int i) const;
    int64_t TotalMs() const { return total_; }
    // How brightly each point's band is shaded: 0 for none (no time there),
    // else 40 for the least time up to 200 for the busiest point, in steps of 10.
    std::vector<int> Shades() const;
    // The point nearest x (clamped to the axis).
    int PointOf(double x) const;

  private:
    double xMin_;
    double spacing_;
    std::vector<int64_t> time_;
    std::vector<bool> seen_;
    int64_t total_ = 0;
};

}  // namespace qx
