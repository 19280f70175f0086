#include "gui/monitor/LiveFramePacer.h"

#include <QTimer>

namespace qx::gui {

LiveFramePacer::LiveFramePacer(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &LiveFramePacer::Release);
}

bool LiveFramePacer::Offer(int64_t t, bool first) {
    // A clock that went back (another run, a test host) starts afresh.
    if (!first && lastFrameMs_ >= 0 && t >= lastFrameMs_ && t - lastFrameMs_ < kFrameMs) {
        // Started once, not at every packet: in a steady stream the next
        // frame comes first and stops it, so it never wakes the program.
        if (!holding_) timer_->start(static_cast<int>(kFrameMs));
        holding_ = true;
        lastShown_ = false;
        return false;
    }
    lastFrameMs_ = t;
    if (holding_) timer_->stop();
    holding_ = false;
    lastShown_ = true;
    return true;
}

void LiveFramePacer::Release() {
    if (!holding_) return;
    holding_ = false;
    timer_->stop();
    Q_EMIT heldBackDue();
}

}  // namespace qx::gui
