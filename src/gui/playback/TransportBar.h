#pragma once
// The transport bar under the graph while a log plays back: play/pause, the
// speed, a slider with the time, one row back and forth, start and end, and
// Close Log. The buttons are the program's commands (bound by the caller);
// the slider and the speed box are widgets of their own.
#include <QToolBar>
#include <QWidget>
#include <cstdint>

class QComboBox;
class QLabel;
class QSlider;

namespace qx::gui {

class TransportBar : public QToolBar {
    Q_OBJECT
  public:
    explicit TransportBar(QWidget* parent = nullptr);

    // The bar's command buttons, in order; the caller binds them to their ids.
    QAction* PlayAction() const { return play_; }
    // Shows the position within a log that ends at endMs, and the speed.
    void ShowPosition(int64_t positionMs, int64_t startMs, int64_t endMs, bool playing);
    void ShowSpeed(double speed);
    QSlider* Slider() const { return slider_; }
    QComboBox* SpeedBox() const { return speedBox_; }
    QLabel* TimeLabel() const { return time_; }
    // The log time a slider value stands for.
    int64_t SliderTime(int value) const;
    // Milliseconds per slider step for a log spanning spanMs.
    static int64_t SliderStepMs(int64_t spanMs);
    static constexpr int64_t kMaxSliderSteps = 1 << 30;

  Q_SIGNALS:
    void seekRequested(qint64 timeMs);
    void speedChosen(double speed);

  private:
    // Holds the time label. The label's text changes at every frame of
    // playback, and a QLabel asks its parent's layout to run again at each
    // change: the bar's layout ran ten times a second for a size that never
    // changed. In a box of its own the label asks the box, which has no layout.
    class TimeBox : public QWidget {
      public:
        TimeBox(QLabel* label, QWidget* parent);
        QSize sizeHint() const override;
        QSize minimumSizeHint() const override;

      protected:
        void resizeEvent(QResizeEvent* event) override;

      private:
        QLabel* label_;
    };
    static constexpr char kWidestTime[] = "000:00:00.0 / 000:00:00.0";

    QAction* play_ = nullptr;
    QComboBox* speedBox_ = nullptr;
    QSlider* slider_ = nullptr;
    QLabel* time_ = nullptr;
    TimeBox* timeBox_ = nullptr;
    int widestTime_ = sizeof kWidestTime - 1;
    int64_t startMs_ = 0;
    int64_t endMs_ = 0;
    int64_t stepMs_ = 1;
};

}  // namespace qx::gui
