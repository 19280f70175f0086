#pragma once
// The run's live samples as Qt signals: the one GUI subscriber of the sample
// channel. Each new sample, from the RAM monitor or a log played back, is
// sampleArrived; the monitor window (connected first, so its displays and
// pacing come before the rest), the recorder, the chart and playback follow it.
// refreshDue asks the live displays to show the state again without a sample.
//
// Ownership: made once by the composition root, which owns it; it does not
// own the channel (the RAM monitor's), which may end first.
#include <QObject>

#include "core/monitor/SampleChannel.h"

namespace qx {
class LiveSource;
}

namespace qx::gui {

class LiveSamples : public QObject {
    Q_OBJECT
  public:
    explicit LiveSamples(SampleChannel& channel, QObject* parent = nullptr);
    ~LiveSamples() override;

    SampleChannel& Channel() const { return channel_; }
    // The source the displays read: a log in front, else the monitor.
    LiveSource* Active() const { return channel_.Active(); }
    // Monitoring stopped or started inside a running monitor loop: no sample
    // comes, yet the displays show the state again.
    void RequestRefresh(bool first);

  Q_SIGNALS:
    // first: the first sample since the source (re)started, or after a jump.
    void sampleArrived(qx::LiveSource* source, bool first);
    void refreshDue(bool first);

  private:
    SampleChannel& channel_;
    SampleChannel::Hold subscription_;
};

}  // namespace qx::gui
