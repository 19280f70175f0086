#include "gui/playback/TransportBar.h"

#include <QComboBox>
#include <QKeySequence>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <algorithm>

#include "core/log/LogPlayer.h"
#include "gui/playback/PlaybackTime.h"
#include "gui/resources/Resources.h"

namespace qx::gui {

TransportBar::TimeBox::TimeBox(QLabel* label, QWidget* parent) : QWidget(parent), label_(label) {
    label_->setParent(this);
    setSizePolicy(label_->sizePolicy());
}

QSize TransportBar::TimeBox::sizeHint() const {
    return label_->sizeHint();
}

QSize TransportBar::TimeBox::minimumSizeHint() const {
    return label_->minimumSizeHint();
}

void TransportBar::TimeBox::resizeEvent(QResizeEvent*) {
    label_->setGeometry(rect());
}

TransportBar::TransportBar(QWidget* parent) : QToolBar(parent) {
    setObjectName(QStringLiteral("TransportBar"));
    setMovable(false);
    setFloatable(false);
    auto add = [this](int id, const QString& text) {
        QAction* a = addAction(text);
        a->setData(id);
        if (const res::CommandStrings* s = res::FindCommandStrings(id)) {
            QString tip = QString::fromUtf8(s->toolTip.data(), static_cast<int>(s->toolTip.size()));
            // The key as the accelerator table gives it, so the tip cannot name another.
            for (const res::Accelerator& acc : res::Accelerators())
                if (acc.id == id) {
                    const QKeySequence keys(
                        QString::fromUtf8(acc.keys.data(), static_cast<int>(acc.keys.size())),
                        QKeySequence::PortableText);
                    tip += QStringLiteral(" (%1)").arg(keys.toString(QKeySequence::NativeText));
                    break;
                }
            a->setToolTip(tip);
        }
        return a;
    };
    add(res::kLogStart, QStringLiteral("|<"));
    add(res::kLogStepBack, QStringLiteral("<"));
    play_ = add(res::kPlayPause, QStringLiteral("Play"));
    add(res::kLogStepForward, QStringLiteral(">"));
    add(res::kLogEnd, QStringLiteral(">|"));

    speedBox_ = new QComboBox(this);
    speedBox_->setObjectName(QStringLiteral("SpeedBox"));
    for (double s : LogPlayer::kSpeeds) speedBox_->addItem(QString::number(s) + QChar(0x00D7), s);
    speedBox_->setCurrentIndex(2);
    speedBox_->setToolTip(QStringLiteral("Playback speed"));
    addWidget(speedBox_);
    connect(speedBox_, &QComboBox::currentIndexChanged, this,
            [this](int i) { Q_EMIT speedChosen(speedBox_->itemData(i).toDouble()); });

    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setObjectName(QStringLiteral("PositionSlider"));
    slider_->setMinimumWidth(120);
    addWidget(slider_);
    connect(slider_, &QSlider::valueChanged, this,
            [this](int v) { Q_EMIT seekRequested(SliderTime(v)); });

    time_ = new QLabel;
    time_->setObjectName(QStringLiteral("PositionLabel"));
    timeBox_ = new TimeBox(time_, this);
    timeBox_->setMinimumWidth(fontMetrics().horizontalAdvance(QString(kWidestTime)));
    addWidget(timeBox_);
    addSeparator();
    add(res::kCloseLog, QStringLiteral("Close Log"));
}

int64_t TransportBar::SliderStepMs(int64_t spanMs) {
    // A step of one millisecond while the span fits; more for longer logs.
    return std::max<int64_t>(1, (spanMs + kMaxSliderSteps - 1) / kMaxSliderSteps);
}

int64_t TransportBar::SliderTime(int value) const {
    // The last step may be short: the slider's end is the log's.
    if (value >= slider_->maximum()) return endMs_;
    return startMs_ + static_cast<int64_t>(std::max(value, 0)) * stepMs_;
}

void TransportBar::ShowPosition(int64_t positionMs, int64_t startMs, int64_t endMs, bool playing) {
    const QSignalBlocker block(slider_);
    // A QSlider counts in int: the log's time is mapped onto it in steps.
    startMs_ = startMs;
    endMs_ = std::max(endMs, startMs);
    stepMs_ = SliderStepMs(endMs_ - startMs_);
    const int64_t steps = (endMs_ - startMs_ + stepMs_ - 1) / stepMs_;
    slider_->setRange(0, static_cast<int>(steps));
    const int64_t at = std::clamp(positionMs, startMs_, endMs_);
    slider_->setValue(at >= endMs_ ? static_cast<int>(steps)
                                   : static_cast<int>((at - startMs_) / stepMs_));
    const QString text =
        PlaybackTimeText(positionMs, endMs) + QStringLiteral(" / ") + PlaybackTimeText(endMs);
    time_->setText(text);
    // Only a text longer than any before may need more room in the bar.
    if (text.size() > widestTime_) {
        widestTime_ = static_cast<int>(text.size());
        timeBox_->updateGeometry();
    }
    play_->setText(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
}

void TransportBar::ShowSpeed(double speed) {
    const QSignalBlocker block(speedBox_);
    const int i = speedBox_->findData(speed);
    if (i >= 0) speedBox_->setCurrentIndex(i);
}

}  // namespace qx::gui
