#include "gui/monitor/MonitorWindow.h"

#include <qdrawutil.h>

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "core/host/Profile.h"
#include "core/link/CommPort.h"
#include "core/model/ModuleValue.h"
#include "core/monitor/RamMonitor.h"
#include "gui/graph/GraphGeometry.h"
#include "gui/graph/GraphStyle.h"
#include "gui/graph/MapGraphView.h"
#include "gui/monitor/MonitorDisplay.h"
#include "gui/monitor/MonitorsDialog.h"
#include "gui/shell/LiveSamples.h"

namespace qx::gui {

namespace {

constexpr const char* kSection = "Settings";
constexpr const char* kMonitorsKey = "Monitors";
constexpr const char* kWidthKey = "Monitor Window Width";
constexpr const char* kOpenKey = "Monitor Window Open";

int ReadWidth(const Profile& profile) {
    return std::max(profile.GetInt(kSection, kWidthKey, MonitorWindow::kDefaultWidth),
                    MonitorWindow::kMinClientWidth);
}

// Writes only what changes, so toggling displays does not rewrite the file.
void WriteSetting(Profile& profile, const char* key, int value) {
    if (profile.HasKey(kSection, key) && profile.GetInt(kSection, key, value + 1) == value) return;
    profile.WriteInt(kSection, key, value);
}

}  // namespace

// The area inside the sizing border: rows are painted here and the displays'
// controls are its children.
class MonitorWindow::Client : public QWidget {
  public:
    explicit Client(MonitorWindow* owner) : QWidget(owner), owner_(owner) {
        setObjectName(QStringLiteral("MonitorClient"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter p(this);
        owner_->PaintClient(p, event->region());
    }

  private:
    MonitorWindow* owner_;
};

MonitorWindow::MonitorWindow(MapGraphView* view, Profile& profile, RamMonitor& monitor,
                             LiveSamples& samples)
    : QWidget(view), view_(view), profile_(profile), monitor_(monitor) {
    setObjectName(QStringLiteral("MonitorWindow"));
    setWindowTitle(QStringLiteral("Monitor Window"));
    setMouseTracking(true);
    hide();
    for (int i = 0; i < kDisplayCount; ++i) {
        const MonitoredQuantity& q = kMonitoredQuantities[static_cast<std::size_t>(i)];
        values_[static_cast<std::size_t>(i)] = MakeMonitoredValue(i);
        displays_[static_cast<std::size_t>(i)] = std::make_unique<MonitorDisplay>(
            q.label, q.unit, values_[static_cast<std::size_t>(i)].get(), i, samples.Channel());
    }
    pacer_ = new LiveFramePacer(this);
    connect(&samples, &LiveSamples::sampleArrived, this, [this](LiveSource* source, bool first) {
        if (source != &monitor_) {
            RefreshDisplays(first);  // a log's row: playback paces itself
        } else if (pacer_->Offer(monitor_.SampleTimeMs(), first)) {
            RefreshDisplays(first);
        }
    });
    connect(&samples, &LiveSamples::refreshDue, this, &MonitorWindow::RefreshDisplays);
    // Falling due while the stream is put off for a write, a held-back frame
    // would blank every box until the next packet: what is shown stays.
    connect(pacer_, &LiveFramePacer::heldBackDue, this, [this] {
        if (monitor_.BacksValues()) RefreshDisplays(false);
    });

    font_ = StockVariableFont();
    client_ = new Client(this);
    setGeometry(0, 0, kDefaultWidth, MonitorDisplay::kRowHeight);
    for (auto& d : displays_) d->CreateControls(client_);

    if (view_ != nullptr) {
        view_->installEventFilter(this);
    }

    // Bits above the seven displays (a hand-edited profile) name nothing.
    const int mask = profile_.GetInt(kSection, kMonitorsKey, 0) & kMaskBits;
    const bool open = profile_.GetInt(kSection, kOpenKey, 0) != 0;
    wantedWidth_ = ReadWidth(profile_);
    monitorMask_ = mask;
    for (int i = 0; i < kDisplayCount; ++i)
        if ((mask >> i) & 1) ToggleMonitor(cmd::kMonitorToggleFirst + i);
    if (open && mask != 0) {
        ShowMonitors();
    } else {
        HideMonitors();
    }
}

MonitorWindow::~MonitorWindow() {
    // The view is being torn down around this window: only the profile and
    // the monitor are touched here.
    SaveWidth();
    WriteSetting(profile_, kOpenKey, isOpen_ ? 1 : 0);
    WriteSetting(profile_, kMonitorsKey, monitorMask_);
}

MonitorDisplay* MonitorWindow::Display(int i) const {
    if (i < 0 || i >= kDisplayCount) return nullptr;
    return displays_[static_cast<std::size_t>(i)].get();
}

MonitoredModuleValue* MonitorWindow::Value(int i) const {
    if (i < 0 || i >= kDisplayCount) return nullptr;
    return values_[static_cast<std::size_t>(i)].get();
}

int MonitorWindow::RowOf(int i) const {
    if (i < 0 || i >= kDisplayCount || !Display(i)->IsActive()) return -1;
    int row = 0;
    for (int k = 0; k < i; ++k)
        if (Display(k)->IsActive()) ++row;
    return row;
}

QRect MonitorWindow::ClientRect() const {
    return client_->geometry();
}

int MonitorWindow::MonitorWidth() const {
    return isOpen_ ? width() : 0;
}

int MonitorWindow::MaxClientWidth() const {
    if (view_ == nullptr) return wantedWidth_;
    const graph::GraphSize s{view_->width(), view_->height(), view_->CaptionHeight(), 0};
    // The displays take at most half of the plot: the map stays readable
    // whatever width a hand-edited profile or a drag asks for.
    const int plot = graph::PlotWidth(s);
    return std::max(kMinClientWidth,
                    std::min(plot - kMinPlotWidth - 2 * kFrame, plot / 2 - 2 * kFrame));
}

int MonitorWindow::ClampClientWidth(int w) const {
    return std::clamp(w, kMinClientWidth, MaxClientWidth());
}

// ---- Refresh ----------------------------------------------------------------------

void MonitorWindow::RefreshDisplays(bool first) {
    for (auto& d : displays_)
        if (d->IsActive()) d->RefreshValue();
    if (view_ != nullptr) view_->UpdateLiveXBar(first);
}

void MonitorWindow::ClearStaleDisplays() {
    for (auto& d : displays_) d->ClearIfStale();
}

// ---- Active displays --------------------------------------------------------------

void MonitorWindow::SetDisplayActive(int index, bool on) {
    MonitorDisplay* d = Display(index);
    if (d == nullptr) return;
    // The mask follows the user's choice even for a display Cancel All left
    // inactive, so the next start shows what was chosen here.
    if (on) {
        monitorMask_ |= 1 << d->Bit();
    } else {
        monitorMask_ &= ~(1 << d->Bit());
    }
    if (d->IsActive() == on) return;
    activeCount_ += on ? 1 : -1;
    d->ToggleActive();
    Relayout();
}

void MonitorWindow::ToggleMonitor(int commandId) {
    MonitorDisplay* d = Display(commandId - cmd::kMonitorToggleFirst);
    if (d == nullptr) return;
    const int previous = activeCount_;
    if (d->ToggleActive()) {
        ++activeCount_;
        monitorMask_ |= 1 << d->Bit();
    } else {
        --activeCount_;
        monitorMask_ &= ~(1 << d->Bit());
    }
    Relayout();
    if (activeCount_ == 0) {
        HideMonitors();
        return;
    }
    if (activeCount_ == 1 && previous == 0) ShowMonitors();
    client_->update();
}

void MonitorWindow::CancelAll() {
    for (auto& d : displays_)
        if (d->IsActive()) d->ToggleActive();
    activeCount_ = 0;
    HideMonitors();
}

// ---- Open and closed --------------------------------------------------------------

void MonitorWindow::ShowMonitors() {
    PlaceForShow();
    isOpen_ = true;
    show();
    if (view_ != nullptr) view_->SetMonitorWidth(MonitorWidth());
}

void MonitorWindow::HideMonitors() {
    SaveWidth();
    isOpen_ = false;
    hide();
    if (view_ != nullptr) view_->SetMonitorWidth(MonitorWidth());
}

void MonitorWindow::ToggleOpen() {
    if (isOpen_) {
        HideMonitors();
    } else if (activeCount_ > 0) {
        ShowMonitors();
    }
}

void MonitorWindow::SaveWidth() {
    WriteSetting(profile_, kWidthKey, wantedWidth_);
}

void MonitorWindow::PlaceForShow() {
    wantedWidth_ = ReadWidth(profile_);
    // A width the view cannot hold is cut to what it holds once the view is on
    // screen; before that its size means nothing yet.
    if (view_ != nullptr && view_->isVisible()) wantedWidth_ = ClampClientWidth(wantedWidth_);
    PlaceClient(ClampClientWidth(wantedWidth_));
}

void MonitorWindow::PlaceClient(int clientWidth) {
    const int viewHeight = view_ != nullptr ? view_->height() : height() - 2 * kFrame;
    setGeometry(-kFrame, -kFrame, clientWidth + 2 * kFrame, viewHeight + 2 * kFrame);
}

void MonitorWindow::FitToViewHeight() {
    if (view_ == nullptr) return;
    const int bottom = view_->height() + kFrame;
    setGeometry(x(), y(), ClampClientWidth(wantedWidth_) + 2 * kFrame, bottom - y());
}

void MonitorWindow::Relayout() {
    const int clientWidth = ClientRect().width();
    int row = 0;
    for (auto& d : displays_)
        if (d->IsActive()) d->Layout(row++, clientWidth);
    // The rows are painted by the client: they moved, or one came or went.
    if (client_ != nullptr) client_->update();
}

// ---- Commands -----------------------------------------------------------------------

void MonitorWindow::SelectMonitors() {
    if (monitor_.PostponeCommandIfBusy(cmd::kSelectMonitors, true)) return;
    MonitorsDialog dialog(this);
    if (dialogRunner_) {
        dialogRunner_(dialog);
    } else {
        dialog.DoModal();
    }
}

void MonitorWindow::ResetPeakAcceleration() {
    MonitoredModuleValue* peak = Value(kPeakAccelerationIndex);
    // The peak is known from the last good packet even when its display is
    // off; it is taken before the stream is suspended for the write.
    if (monitor_.IsImageValid() && !monitor_.IsReading()) peak->Refresh();
    if (monitor_.PostponeCommandIfBusy(cmd::kResetPeakAcceleration, true)) return;
    const MonitoredQuantity& q = kMonitoredQuantities[kPeakAccelerationIndex];
    // Equal limits: the value is not clamped, so 0 differs from any peak and is written.
    ByteModuleValue reset;
    reset.Setup(q.address0, q.address1, peak->GetValue(), 0.0, 0.0, 0, 0, 0.0);
    reset.SetValue(0.0, false);
}

bool MonitorWindow::HandleCommand(int id) {
    switch (id) {
        case cmd::kCancelAllMonitors:
            CancelAll();
            return true;
        case cmd::kMonitorWindow:
            ToggleOpen();
            return true;
        case cmd::kSelectMonitors:
            SelectMonitors();
            return true;
        default:
            break;
    }
    if (id < cmd::kMonitorToggleFirst || id > cmd::kMonitorToggleLast || id == cmd::kSetYValue)
        return false;
    if (!monitor_.PostponeCommandIfBusy(id, true)) ToggleMonitor(id);
    return true;
}

bool MonitorWindow::UpdateCommand(int id, ViewCommandState& state) const {
    switch (id) {
        case cmd::kCancelAllMonitors:
            state.enabled = activeCount_ > 0;
            return true;
        case cmd::kMonitorWindow:
            state.enabled = activeCount_ > 0;
            state.checked = isOpen_;
            return true;
        case cmd::kSelectMonitors:
            state.enabled = true;
            return true;
        default:
            break;
    }
    if (id < cmd::kMonitorToggleFirst || id > cmd::kMonitorToggleLast || id == cmd::kSetYValue)
        return false;
    const MonitorDisplay* d = Display(id - cmd::kMonitorToggleFirst);
    state.enabled = true;
    state.checked = d != nullptr && d->IsActive();
    return true;
}

// ---- Painting, sizing and the border drag -----------------------------------------

void MonitorWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Button));
    qDrawWinPanel(&p, rect(), palette(), false);
}

void MonitorWindow::PaintClient(QPainter& p, const QRegion& area) {
    p.fillRect(area.boundingRect(), palette().color(QPalette::Button));
    p.setFont(font_);
    p.setPen(palette().color(QPalette::WindowText));
    int row = 0;
    for (auto& d : displays_)
        if (d->IsActive()) d->Paint(p, row++, palette(), area);
}

void MonitorWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    client_->setGeometry(kFrame, kFrame, std::max(0, width() - 2 * kFrame),
                         std::max(0, height() - 2 * kFrame));
    Relayout();
    // The graph takes the new width.
    if (view_ != nullptr && isOpen_) view_->SetMonitorWidth(MonitorWidth());
}

bool MonitorWindow::OnRightBorder(const QPoint& p) const {
    return p.x() >= width() - kFrame && p.x() < width();
}

void MonitorWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && OnRightBorder(event->position().toPoint())) {
        dragOffset_ = width() - event->position().toPoint().x();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void MonitorWindow::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (dragOffset_ >= 0) {
        wantedWidth_ = ClampClientWidth(at.x() + dragOffset_ - 2 * kFrame);
        resize(wantedWidth_ + 2 * kFrame, height());
        event->accept();
        return;
    }
    if (OnRightBorder(at)) {
        setCursor(Qt::SizeHorCursor);
    } else {
        unsetCursor();
    }
    QWidget::mouseMoveEvent(event);
}

void MonitorWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (dragOffset_ >= 0 && event->button() == Qt::LeftButton) {
        dragOffset_ = -1;
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

bool MonitorWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_ && event->type() == QEvent::Resize && activeCount_ > 0) FitToViewHeight();
    return QWidget::eventFilter(watched, event);
}

}  // namespace qx::gui
