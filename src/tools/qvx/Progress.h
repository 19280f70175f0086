#pragma once
// A one-line progress bar on the error stream, redrawn in place with a carriage
// return. It draws only when enabled (the program enables it when stderr is a
// terminal), and only when the shown percentage changes.
#include <cstddef>
#include <ostream>
#include <string>

namespace qx::qvx {

class ProgressBar {
  public:
    // out is not owned and must outlive the bar.
    ProgressBar(std::ostream& out, bool enabled, std::string label, std::size_t total);
    ~ProgressBar();  // ends the line if anything was drawn
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // done is clamped to the total.
    void Update(std::size_t done);
    // Draws 100 % and ends the line.
    void Complete();
    // Ends the line where the bar stands (after a failure).
    void Finish();

    int ShownPercent() const { return shown_; }

  private:
    void Draw(int percent);

    std::ostream& out_;
    bool enabled_;
    std::string label_;
    std::size_t total_;
    int shown_ = -1;
    bool finished_ = false;
};

}  // namespace qx::qvx
