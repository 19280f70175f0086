#include "playback/TransportBar.h"

#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include "log/LogPlayer.h"
#include "playback/PlaybackTime.h"
#include "resources/Resources.h"

namespace qx::gui {

TransportBar::TransportBar(QWidget* parent) : QToolBar(parent) {
    setObjectName(QStringLiteral("TransportBar"));
    setMovable(false);
    setFloatable(false);
    auto add = [this](int id, const QString& text) {
        QAction* a = addAction(text);
        a->setData(id);
        if (const res::CommandStrings* s = res::FindCommandStrings(id))
            a->setToolTip(
                QString::fromUtf8(s->toolTip.data(), static_cast<int>(s->toolTip.size())));
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
            [this](int v) { Q_EMIT seekRequested(static_cast<qint64>(v)); });

    time_ = new QLabel(this);
    time_->setObjectName(QStringLiteral("PositionLabel"));
    time_->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("000:00.0 / 000:00.0")));
    addWidget(time_);
    addSeparator();
    add(res::kCloseLog, QStringLiteral("Close Log"));
}

void TransportBar::ShowPosition(int64_t positionMs, int64_t startMs, int64_t endMs, bool playing) {
    const QSignalBlocker block(slider_);
    slider_->setRange(static_cast<int>(startMs), static_cast<int>(endMs));
    slider_->setValue(static_cast<int>(positionMs));
    time_->setText(PlaybackTimeText(positionMs) + QStringLiteral(" / ") + PlaybackTimeText(endMs));
    play_->setText(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
}

void TransportBar::ShowSpeed(double speed) {
    const QSignalBlocker block(speedBox_);
    const int i = speedBox_->findData(speed);
    if (i >= 0) speedBox_->setCurrentIndex(i);
}

}  // namespace qx::gui
