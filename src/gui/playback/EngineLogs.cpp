#include "gui/playback/EngineLogs.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QProgressDialog>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "core/host/Host.h"
#include "core/log/LogPlayer.h"
#include "core/maps/ModuleMap.h"
#include "core/monitor/RamMonitor.h"
#include "gui/chart/ChartPane.h"
#include "gui/chart/ChartView.h"
#include "gui/graph/MapGraphView.h"
#include "gui/monitor/MonitorDisplay.h"
#include "gui/monitor/MonitorWindow.h"
#include "gui/playback/PlaybackTime.h"
#include "gui/playback/TransportBar.h"
#include "gui/resources/Resources.h"
#include "gui/shell/CommandTable.h"
#include "gui/shell/FrameServices.h"
#include "gui/shell/LiveSamples.h"
#include "gui/shell/QtHost.h"

namespace qx::gui {

namespace {

const std::vector<int> kAllQuantities = {0, 1, 2, 3, 4, 5, 6};
// A log that takes longer than this to read shows its progress.
constexpr int kProgressShownAfterMs = 400;
constexpr int kEngineSpeed = 0;
// The live chart keeps its longest span and trims a minute at a time.
constexpr int64_t kLiveKeepMs = 600000;
constexpr int64_t kLiveTrimMs = 60000;

void Message(Host& host, const std::string& text) {
    host.MessageBox(text, kAppTitle, MsgButtons::Ok, MsgIcon::Error);
}

// The displays that are on now (the profile's mask outlives Cancel All).
int ActiveMask(const MonitorWindow* window) {
    int mask = 0;
    for (int i = 0; window != nullptr && i < MonitorWindow::kDisplayCount; ++i)
        if (window->Display(i)->IsActive()) mask |= 1 << i;
    return mask;
}

// The file dialog counts as a modal window of the host, so a close asked for
// meanwhile waits until it is gone (the dialog's loop uses this object).
QString ChooseLogFile(Host& anyHost, QWidget* owner, bool save) {
    auto* host = dynamic_cast<QtHost*>(&anyHost);
    if (host != nullptr) host->EnterModal();
    QFileDialog dialog(owner, save ? QStringLiteral("Record to File") : QStringLiteral("Open Log"),
                       QDir::currentPath(), QStringLiteral("Engine Logs (*.csv);;All Files (*)"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    const bool ok = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    if (host != nullptr) host->LeaveModal();
    return ok ? dialog.selectedFiles().first() : QString();
}

}  // namespace

EngineLogs::EngineLogs(FrameServices& frame, MonitorWindow* monitor, Profile& profile,
                       RamMonitor& ramMonitor, Host& host)
    : QObject(&frame.Window()),
      frame_(frame),
      ramMonitor_(ramMonitor),
      host_(host),
      monitor_(monitor),
      live_(std::make_shared<EngineLog>()),
      coverage_(0.0, 8250.0, 16),
      counted_(coverage_) {
    setObjectName(QStringLiteral("EngineLogs"));
    live_->quantities = kAllQuantities;

    // The graph keeps the room; the chart and the transport bar go under it.
    under_ = new QWidget;
    under_->setObjectName(QStringLiteral("GraphArea"));
    auto* layout = new QVBoxLayout(under_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    chart_ = new ChartView;
    chart_->SetLog(live_.get(), true);
    chart_->hide();
    transport_ = new TransportBar(under_);
    transport_->hide();
    frame_.WrapGraphArea([&](QWidget* view) {
        layout->addWidget(PlaceChartUnderGraph(view, chart_, profile), 1);
        layout->addWidget(transport_);
        return under_;
    });

    status_ = new QLabel(&frame_.Window());
    status_->setObjectName(QStringLiteral("RecordingPane"));
    status_->hide();
    frame_.AddStatusPane(status_);
    source_ = new QLabel(&frame_.Window());
    source_->setObjectName(QStringLiteral("SourcePane"));
    source_->hide();
    frame_.AddStatusPane(source_);

    pollTimer_ = new QTimer(this);
    pollTimer_->setInterval(250);
    connect(pollTimer_, &QTimer::timeout, this, &EngineLogs::Poll);
    playTimer_ = new QTimer(this);
    playTimer_->setSingleShot(true);
    connect(playTimer_, &QTimer::timeout, this, &EngineLogs::Pump);

    connect(&frame_.Samples(), &LiveSamples::sampleArrived, this, &EngineLogs::OnSample);
    connect(frame_.View(), &MapGraphView::layerPainted, this,
            [this](QPainter* p, GraphLayer layer) {
                if (layer == GraphLayer::Background) PaintCoverage(p);
            });
    auto seek = [this](qint64 t) {
        if (!player_) return;
        player_->Seek(t);
        if (player_->IsPlaying()) Pump();
    };
    connect(chart_, &ChartView::seekRequested, this, seek);
    connect(transport_, &TransportBar::seekRequested, this, seek);
    connect(transport_, &TransportBar::speedChosen, this, [this](double speed) {
        if (!player_) return;
        player_->SetSpeed(speed);
        Pump();
    });
    if (monitor != nullptr) {
        connect(&monitor->Pacer(), &LiveFramePacer::heldBackDue, chart_,
                qOverload<>(&QWidget::update));
    }
    AddCommands();
}

EngineLogs::~EngineLogs() {
    // Closing the program leaves a complete file.
    writer_.Close();
    playerInFront_.Reset();
}

void EngineLogs::AddCommands() {
    CommandTable& c = frame_.Commands();
    auto playing = [this](CommandState& s) { s.enabled = player_ != nullptr; };
    c.Add(
        res::kRecordLog, CommandOwner::Frame, kSuspendingCommand, [this] { RecordDialog(); },
        [this](CommandState& s) { s.enabled = !IsRecording(); });
    c.Add(
        res::kStopRecording, CommandOwner::Frame, kPlainCommand, [this] { StopRecording(); },
        [this](CommandState& s) { s.enabled = IsRecording(); });
    // On idle the source pane follows monitoring started or stopped anywhere.
    c.Add(
        res::kOpenLog, CommandOwner::Application, kSuspendingCommand, [this] { OpenDialog(); },
        [this](CommandState&) { ShowSource(); });
    c.Add(
        res::kCloseLog, CommandOwner::Application, kPlainCommand, [this] { CloseLog(); }, playing);
    c.Add(
        res::kPlayPause, CommandOwner::Application, kPlainCommand,
        [this] {
            player_->TogglePlay();
            Pump();
        },
        playing);
    c.Add(
        res::kLogStepBack, CommandOwner::Application, kPlainCommand, [this] { player_->Step(-1); },
        playing);
    c.Add(
        res::kLogStepForward, CommandOwner::Application, kPlainCommand,
        [this] { player_->Step(1); }, playing);
    c.Add(
        res::kLogStart, CommandOwner::Application, kPlainCommand, [this] { player_->ToStart(); },
        playing);
    c.Add(
        res::kLogEnd, CommandOwner::Application, kPlainCommand, [this] { player_->ToEnd(); },
        playing);
    c.Add(
        res::kViewChart, CommandOwner::Frame, kCheckCommand,
        [this] {
            chart_->setVisible(chart_->isHidden());
            ShowPlayback();  // the cursor where the playback is
        },
        [this](CommandState& s) {
            s.checked = !chart_->isHidden();
            // On idle: the chart follows displays turned on or off while paused.
            if (s.checked) chart_->SetQuantityMask(ActiveMask(monitor_));
        });
    c.Add(
        res::kViewCoverage, CommandOwner::Frame, kCheckCommand,
        [this] { SetCoverageShown(!coverageShown_); },
        [this](CommandState& s) { s.checked = coverageShown_; });
    c.Add(
        res::kResetCoverage, CommandOwner::Frame, kPlainCommand, [this] { ResetCoverage(); },
        [this](CommandState& s) { s.enabled = coverageShown_; });
    for (QAction* a : transport_->actions())
        if (a->data().isValid()) c.Bind(a, a->data().toInt(), false);
}

// ---- Recording --------------------------------------------------------------

void EngineLogs::RecordDialog() {
    const QString path = ChooseLogFile(host_, &frame_.Window(), true);
    if (!path.isEmpty()) StartRecording(path);
}

bool EngineLogs::StartRecording(const QString& path) {
    if (IsRecording()) StopRecording();
    if (!writer_.Open(path.toStdString(), kAllQuantities, host_.GetClock())) {
        Message(host_, "Unable to record to " + path.toStdString() + ":\n" + writer_.Error());
        return false;
    }
    sawMonitorRun_ = ramMonitor_.IsRunActive();
    status_->show();
    status_->setText(RecordingStatus());
    pollTimer_->start();
    return true;
}

void EngineLogs::StopRecording() {
    if (!IsRecording()) return;
    pollTimer_->stop();
    status_->hide();
    if (writer_.Close()) return;
    // Told from the main loop: this may run inside a nested wait.
    const std::string text =
        "The log " + writer_.Path() + " could not be written:\n" + writer_.Error();
    QTimer::singleShot(0, this, [this, text] { Message(host_, text); });
}

void EngineLogs::FailRecording() {
    pollTimer_->stop();
    status_->hide();
    writer_.Close();
    // Not from inside the monitor's packet handling: monitoring goes on meanwhile.
    const std::string text = "Recording stopped: the log " + writer_.Path() +
                             " could not be written:\n" + writer_.Error();
    QTimer::singleShot(0, this, [this, text] { Message(host_, text); });
}

QString EngineLogs::RecordingStatus() const {
    if (!IsRecording()) return QString();
    return QStringLiteral("Recording %1  %2  %3 rows")
        .arg(QFileInfo(QString::fromStdString(writer_.Path())).fileName())
        .arg(ElapsedText(writer_.ElapsedMs()))
        .arg(writer_.Rows());
}

void EngineLogs::Poll() {
    if (!IsRecording()) return;
    const bool running = ramMonitor_.IsRunActive();
    if (running) {
        sawMonitorRun_ = true;
    } else if (sawMonitorRun_) {
        // Monitoring stopped, the link broke or the program is closing.
        StopRecording();
        return;
    }
    if (!writer_.FlushIfDue()) {
        FailRecording();
        return;
    }
    status_->setText(RecordingStatus());
}

// ---- Samples ----------------------------------------------------------------

void EngineLogs::OnSample(LiveSource* source, bool first) {
    if (source == &ramMonitor_) {
        OnMonitorPacket(*source);
    } else if (player_ && source == player_.get()) {
        OnPlayerRow(first);
    }
}

void EngineLogs::OnMonitorPacket(LiveSource& source) {
    if (source_->isHidden()) ShowSource();
    const std::vector<double> values = ReadLiveValues(source, kAllQuantities);
    // Timed when the packet came off the line, not when it was handled.
    if (IsRecording() && !writer_.AppendAt(source.SampleTimeMs(), values)) FailRecording();

    const int64_t t = source.SampleTimeMs();
    if (!live_->timeMs.empty() && t < live_->timeMs.back()) {
        // Another clock origin (a test host): start the chart again.
        *live_ = EngineLog{};
        live_->quantities = kAllQuantities;
        lastLiveSampleMs_ = -1;
    }
    live_->timeMs.push_back(t);
    for (std::size_t q = 0; q < values.size(); ++q) {
        live_->raw[q].push_back(static_cast<uint16_t>(LogRawOf(static_cast<int>(q), values[q])));
        live_->values[q].push_back(static_cast<float>(values[q]));
    }
    if (t - live_->timeMs.front() > kLiveKeepMs + kLiveTrimMs) {
        const auto keep = static_cast<std::ptrdiff_t>(live_->RowAt(t - kLiveKeepMs));
        live_->timeMs.erase(live_->timeMs.begin(), live_->timeMs.begin() + keep);
        for (std::size_t q = 0; q < values.size(); ++q) {
            live_->raw[q].erase(live_->raw[q].begin(), live_->raw[q].begin() + keep);
            live_->values[q].erase(live_->values[q].begin(), live_->values[q].begin() + keep);
        }
    }
    if (!player_) {
        coverage_.Add(values[kEngineSpeed], lastLiveSampleMs_ >= 0 ? t - lastLiveSampleMs_ : 0);
        UpdateCoverageBands();
        if (!chart_->isHidden()) {
            chart_->SetQuantityMask(ActiveMask(monitor_));
            // In the monitor window's frames: one repaint for both.
            chart_->SetCursorMs(t, !monitor_ || monitor_->Pacer().LastShown());
        }
    }
    lastLiveSampleMs_ = t;
}

void EngineLogs::OnPlayerRow(bool first) {
    // The monitor window has shown the row, with the live bar.
    if (!monitor_) frame_.View()->UpdateLiveXBar(first);
    ShowPlayback();
    RecomputePlaybackCoverage();
}

// ---- Playback ---------------------------------------------------------------

void EngineLogs::OpenDialog() {
    const QString path = ChooseLogFile(host_, &frame_.Window(), false);
    if (!path.isEmpty()) OpenLog(path);
}

bool EngineLogs::ReadLog(const QString& path, EngineLog& log, std::string& error) {
    // A long log shows its progress with Cancel; nothing changes until it is read whole.
    QProgressDialog progress(QStringLiteral("Opening %1...").arg(QFileInfo(path).fileName()),
                             QStringLiteral("Cancel"), 0, kProgressSteps, &frame_.Window());
    progress.setWindowTitle(QStringLiteral("Open Log"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(kProgressShownAfterMs);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setValue(0);
    // The dialog's events run inside the read: a close asked meanwhile waits for it.
    auto* host = dynamic_cast<QtHost*>(&host_);
    if (host != nullptr) host->EnterModal();
    ++reading_;
    const bool ok =
        ReadEngineLogFile(path.toStdString(), log, error, [&](std::size_t done, std::size_t total) {
            const auto step =
                static_cast<int>(kProgressSteps * static_cast<double>(done) /
                                 static_cast<double>(std::max<std::size_t>(total, 1)));
            progress.setValue(step);
            Q_EMIT logReadProgress(step);
            return !progress.wasCanceled();
        });
    --reading_;
    if (host != nullptr) host->LeaveModal();
    return ok;
}

bool EngineLogs::OpenLog(const QString& path) {
    if (reading_ > 0) return false;  // one at a time: the progress dialog's loop can re-enter
    auto log = std::make_shared<EngineLog>();
    std::string error;
    if (!ReadLog(path, *log, error)) {
        // Cancelled: the log that was open stays, and nothing is said.
        if (error != kLogReadCancelled)
            Message(host_, "Unable to open " + path.toStdString() + " as a log:\n" + error);
        return false;
    }
    CloseLog();
    SampleChannel& samples = frame_.Samples().Channel();
    player_ = std::make_unique<LogPlayer>(log, host_.GetClock(), samples);
    playerInFront_ = samples.PutInFront(*player_);
    logName_ = QFileInfo(path).fileName();
    coverageFromRow_ = 0;
    chart_->SetLog(log.get(), false);
    transport_->ShowSpeed(player_->Speed());
    transport_->show();
    player_->ToStart();  // the displays show the first row
    frame_.View()->update();
    ShowSource();
    Q_EMIT titleChanged();
    // What the reader let through is said where it does not stop anybody.
    QStringList notes;
    if (!log->ignoredColumns.empty()) {
        // A few names say enough; a sheet of many columns would fill the bar.
        constexpr std::size_t kNamed = 4;
        QStringList names;
        for (std::size_t i = 0; i < log->ignoredColumns.size() && i < kNamed; ++i)
            names << QStringLiteral("\"%1\"").arg(QString::fromStdString(log->ignoredColumns[i]));
        if (log->ignoredColumns.size() > kNamed)
            names << QStringLiteral("%1 more").arg(log->ignoredColumns.size() - kNamed);
        notes << (names.size() == 1
                      ? QStringLiteral("the column %1 is not a monitored value and is left out")
                      : QStringLiteral("the columns %1 are not monitored values and are left out"))
                     .arg(names.join(QStringLiteral(", ")));
    }
    // The file dialog has the monitor suspended: it runs again once the dialog is gone.
    if (ramMonitor_.IsRunning() || ramMonitor_.IsSuspended())
        notes << QStringLiteral("monitoring goes on behind the log until it is closed");
    if (log->droppedPartialLine)
        notes << QStringLiteral("line %1 was cut short and is left out").arg(log->droppedLine);
    if (log->clampedValues > 0)
        notes << QStringLiteral("%1 value(s) beyond their range are shown at its limit")
                     .arg(log->clampedValues);
    if (!notes.isEmpty())
        frame_.ShowNotice(logName_ + QStringLiteral(": ") + notes.join(QStringLiteral("; ")));
    return true;
}

void EngineLogs::CloseLog() {
    if (!player_) return;
    playTimer_->stop();
    playerInFront_.Reset();
    chart_->SetLog(live_.get(), true);
    player_.reset();
    countedLog_ = nullptr;  // another log may come to the same address
    transport_->hide();
    frame_.WithdrawNotice(logName_ + QStringLiteral(": "));  // it spoke of this log
    logName_.clear();
    coverage_.Reset();
    lastLiveSampleMs_ = -1;
    // The displays go back to the monitor (empty while it does not run).
    if (monitor_) monitor_->RefreshDisplays(true);
    frame_.View()->UpdateLiveXBar(true);
    frame_.View()->update();
    ShowSource();
    Q_EMIT titleChanged();
}

void EngineLogs::Pump() {
    if (!player_) return;
    player_->Tick();
    ShowPlayback();
    const int64_t due = player_->MsUntilNextRow();
    // No faster than the live displays' frames, no slower than the slider should move.
    if (due >= 0)
        playTimer_->start(
            static_cast<int>(std::clamp<int64_t>(due, LiveFramePacer::kFrameMs, 250)));
}

void EngineLogs::ShowPlayback() {
    if (!player_) return;
    const EngineLog& log = player_->Log();
    const int64_t at = player_->PositionMs();
    transport_->ShowPosition(at, log.StartMs(), log.EndMs(), player_->IsPlaying());
    if (!chart_->isHidden()) {
        chart_->SetQuantityMask(ActiveMask(monitor_));
        chart_->SetCursorMs(at);
    }
}

void EngineLogs::ShowSource() {
    const bool live = ramMonitor_.IsRunning();
    QString text;
    if (player_) {
        text = QStringLiteral("Log: ") + logName_;
    } else if (live) {
        text = QStringLiteral("Live");
    }
    if (source_->text() != text) source_->setText(text);
    if (source_->isHidden() != text.isEmpty()) source_->setVisible(!text.isEmpty());
}

QString EngineLogs::TitleSuffix() const {
    return player_ ? QStringLiteral(" (playback of ") + logName_ + QStringLiteral(")") : QString();
}

// ---- Coverage ---------------------------------------------------------------

void EngineLogs::SetCoverageShown(bool on) {
    coverageShown_ = on;
    frame_.View()->update();
}

void EngineLogs::ResetCoverage() {
    coverage_.Reset();
    lastLiveSampleMs_ = -1;
    if (player_) {
        coverageFromRow_ = player_->Row();
        RecomputePlaybackCoverage();
    }
    frame_.View()->update();
}

void EngineLogs::RecomputePlaybackCoverage() {
    if (!player_) return;
    const EngineLog& log = player_->Log();
    const std::size_t row = player_->Row();
    // In playback the coverage runs from the start (or the reset) to the cursor.
    if (!log.Has(kEngineSpeed) || row < coverageFromRow_) {
        coverage_.Reset();
        UpdateCoverageBands();
        return;
    }
    // The rows before the cursor's hold until their next row and are counted
    // once, as playback reaches them; only the cursor's row, held as long as
    // the one before it, is added at each frame. Anything else starts again.
    if (countedLog_ != &log || countedFrom_ != coverageFromRow_ || countedTo_ > row) {
        counted_.Reset();
        countedLog_ = &log;
        countedFrom_ = countedTo_ = coverageFromRow_;
    }
    const int64_t* t = log.timeMs.data();
    const float* v = log.values[kEngineSpeed].data();
    for (; countedTo_ < row; ++countedTo_)
        counted_.Add(v[countedTo_], t[countedTo_ + 1] - t[countedTo_]);
    coverage_ = counted_;
    coverage_.Add(v[row], row > coverageFromRow_ ? t[row] - t[row - 1] : 0);
    UpdateCoverageBands();
}

bool EngineLogs::CoverageApplies() const {
    const ModuleMap* map = frame_.View()->CurrentMap();
    return map != nullptr && map->Initialized() && map->XLabel() == "Engine Speed";
}

QRect EngineLogs::CoverageBand(int i) const {
    MapGraphView* view = frame_.View();
    const ModuleMap* map = view->CurrentMap();
    const double spacing =
        (map->ValueMax().x - map->ValueMin().x) / std::max(1, map->PointCount() - 1);
    const double x = map->ValueMin().x + i * spacing;
    const int left = std::min(view->XToPixel(x - spacing / 2), view->XToPixel(x) - 5);
    const int right = std::max(view->XToPixel(x + spacing / 2), view->XToPixel(x) + 6);
    const int top = view->PlotTop();
    return QRect(QPoint(left, top), QPoint(right, top + view->PlotHeight())) &
           QRect(view->PlotLeft(), top, view->PlotWidth(), view->PlotHeight() + 1);
}

void EngineLogs::UpdateCoverageBands() {
    if (!coverageShown_ || !CoverageApplies()) return;
    // Only the bands whose shade or mark differs from what was painted.
    const std::vector<int> shades = coverage_.Shades();
    QRegion changed;
    for (int i = 0; i < frame_.View()->CurrentMap()->PointCount() && i < coverage_.Points(); ++i) {
        const auto k = static_cast<std::size_t>(i);
        const bool same = k < paintedShades_.size() && paintedShades_[k] == shades[k] &&
                          k < paintedUsed_.size() && paintedUsed_[k] == coverage_.Used(i);
        if (!same) changed += CoverageBand(i);
    }
    if (!changed.isEmpty()) frame_.View()->update(changed);
}

namespace {

// Fills rect a few rows at a time. Qt hands a blend of more than about a
// hundred rows to its thread pool; for a band that is a wake-up of each worker
// at every repaint, which costs far more than the blend itself.
void FillBand(QPainter& p, const QRect& rect, const QColor& color) {
    constexpr int kRows = 64;
    for (int y = rect.top(); y <= rect.bottom(); y += kRows)
        p.fillRect(QRect(rect.left(), y, rect.width(), std::min(kRows, rect.bottom() - y + 1)),
                   color);
}

}  // namespace

void EngineLogs::PaintCoverage(QPainter* p) {
    paintedShades_.clear();
    paintedUsed_.clear();
    if (!coverageShown_ || !CoverageApplies() || coverage_.TotalMs() == 0) return;
    MapGraphView* view = frame_.View();
    const ModuleMap* map = view->CurrentMap();
    const int points = map->PointCount();
    const double spacing = (map->ValueMax().x - map->ValueMin().x) / (points - 1);
    paintedShades_ = coverage_.Shades();
    for (int i = 0; i < coverage_.Points(); ++i) paintedUsed_.push_back(coverage_.Used(i));
    const int top = view->PlotTop();
    const int bottom = top + view->PlotHeight();
    p->save();
    p->setClipRect(QRect(view->PlotLeft(), top, view->PlotWidth(), view->PlotHeight()),
                   Qt::IntersectClip);
    for (int i = 0; i < points && i < coverage_.Points(); ++i) {
        const double x = map->ValueMin().x + i * spacing;
        const int left = view->XToPixel(x - spacing / 2);
        const int right = view->XToPixel(x + spacing / 2);
        const int shade = paintedShades_[static_cast<std::size_t>(i)];
        // The busiest point is the brightest.
        if (shade > 0)
            FillBand(*p, QRect(QPoint(left, top), QPoint(right - 1, bottom)),
                     QColor(255, 200, 0, shade));
        if (coverage_.Used(i)) {
            const int px = view->XToPixel(x);
            p->setPen(Qt::NoPen);
            p->setBrush(QColor(255, 140, 0));
            // At the top, clear of the point markers on the curve.
            p->drawPolygon(
                QPolygon({QPoint(px - 5, top), QPoint(px + 5, top), QPoint(px, top + 8)}));
        }
    }
    p->restore();
}

EngineLogs* InstallEngineLogs(FrameServices& frame, MonitorWindow* monitor, Profile& profile,
                              RamMonitor& ramMonitor, Host& host) {
    return new EngineLogs(frame, monitor, profile, ramMonitor, host);
}

}  // namespace qx::gui
