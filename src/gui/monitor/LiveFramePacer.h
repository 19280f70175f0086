#pragma once
// How often live packets are shown. Packets come 15 (9600 baud) to 180 times
// a second, and each frame costs a repaint (on an X server a round trip as
// well): at most one frame per kFrameMs of packet time is shown, which the eye
// cannot tell from more. A packet held back is shown by the next frame, or
// by heldBackDue() when no packet follows in time; nothing is dropped, as the
// displays read the newest values when they are shown.
//
// Ownership: a QObject with its timer as a child.
#include <QObject>
#include <cstdint>

class QTimer;

namespace qx::gui {

class LiveFramePacer : public QObject {
    Q_OBJECT
  public:
    static constexpr int64_t kFrameMs = 100;

    explicit LiveFramePacer(QObject* parent = nullptr);

    // A packet of time t came (first: the first of a run of monitoring).
    // True when it is to be shown now.
    bool Offer(int64_t t, bool first);
    // Whether the last packet offered was shown, and whether one waits.
    bool LastShown() const { return lastShown_; }
    bool Holding() const { return holding_; }

  Q_SIGNALS:
    // A packet held back is to be shown now: no frame came for it in time.
    void heldBackDue();

  private:
    void Release();

    int64_t lastFrameMs_ = -1;
    bool lastShown_ = true;
    bool holding_ = false;
    QTimer* timer_;
};

}  // namespace qx::gui
