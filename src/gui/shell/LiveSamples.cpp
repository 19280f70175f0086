#include "gui/shell/LiveSamples.h"

namespace qx::gui {

LiveSamples::LiveSamples(SampleChannel& channel, QObject* parent)
    : QObject(parent), channel_(channel) {
    setObjectName(QStringLiteral("LiveSamples"));
    subscription_ = channel_.Subscribe(
        [this](LiveSource& source, bool first) { Q_EMIT sampleArrived(&source, first); });
}

LiveSamples::~LiveSamples() = default;

void LiveSamples::RequestRefresh(bool first) {
    Q_EMIT refreshDue(first);
}

}  // namespace qx::gui
