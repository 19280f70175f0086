#include "gui/chart/ChartPane.h"

#include <QEvent>
#include <QResizeEvent>
#include <QSplitter>
#include <algorithm>

#include "core/host/Profile.h"
#include "gui/chart/ChartView.h"
#include "gui/monitor/MonitorDisplay.h"
#include "gui/monitor/MonitorWindow.h"

namespace qx::gui {

namespace {

constexpr const char* kSection = "Settings";

class ChartSplitter : public QSplitter {
  public:
    ChartSplitter(QWidget* graph, ChartView* chart, Profile& profile)
        : QSplitter(Qt::Vertical), graph_(graph), chart_(chart), profile_(profile) {
        setObjectName(QStringLiteral("ChartSplitter"));
        setChildrenCollapsible(false);
        addWidget(graph);
        addWidget(chart);
        // A larger window gives the graph the room; the chart keeps its height.
        setStretchFactor(0, 1);
        setStretchFactor(1, 0);
        height_ = std::max(chart->minimumHeight(),
                           profile_.GetInt(kSection, kChartHeightKey, kDefaultChartHeight));
        chart->SetLanes(profile_.GetInt(kSection, kChartLanesKey, 1) != 0);
        connect(chart, &ChartView::lanesToggled, this,
                [this](bool on) { profile_.WriteInt(kSection, kChartLanesKey, on ? 1 : 0); });
        connect(this, &QSplitter::splitterMoved, this, [this] {
            if (!chart_->isVisible() || applying_) return;
            height_ = chart_->height();
            // A graph the user made smaller than the monitor boxes need stays so.
            graphRoom_ = std::min(kGraphRoom, graph_->height());
        });
        chart->installEventFilter(this);
        FitGraphMinimum();
    }
    ~ChartSplitter() override {
        // Written once, not at every step of a drag.
        if (profile_.GetInt(kSection, kChartHeightKey, kDefaultChartHeight) != height_)
            profile_.WriteInt(kSection, kChartHeightKey, height_);
    }

    // Each side kSpare above its minimum, so that the handle moves either
    // way even in a window at its smallest.
    QSize minimumSizeHint() const override {
        QSize s = QSplitter::minimumSizeHint();
        if (!chart_->isHidden()) s.rheight() += 2 * kSpare;
        return s;
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == chart_ && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
            FitGraphMinimum();
        if (watched == chart_ && event->type() == QEvent::Show) ApplyHeight();
        return QSplitter::eventFilter(watched, event);
    }
    void resizeEvent(QResizeEvent* event) override {
        QSplitter::resizeEvent(event);
        ApplyHeight();
    }

  private:
    // Alone, the graph keeps the height its titles need. With the chart under
    // it the window must still fit a small screen, and the user may give the
    // chart room the graph needs for the lower monitor boxes.
    void FitGraphMinimum() {
        graph_->setMinimumHeight(0);  // its own hint again
        if (!chart_->isHidden() && graph_->minimumSizeHint().height() > kGraphFloor)
            graph_->setMinimumHeight(kGraphFloor);
        updateGeometry();
    }

    // The chart at the height the user gave it as far as the graph keeps
    // room for every monitor box; a window made larger again gives it back.
    // Too small a window for that leaves the chart kSpare above its minimum.
    void ApplyHeight() {
        if (!chart_->isVisible()) return;
        const int total = std::max(0, height() - handleWidth());
        const int h =
            std::max(chart_->minimumHeight() + kSpare, std::min(height_, total - graphRoom_));
        if (h == chart_->height()) return;
        applying_ = true;
        setSizes({std::max(0, total - h), h});
        applying_ = false;
    }

    // Seven monitor boxes and the view's edge.
    static constexpr int kGraphRoom = MonitorWindow::kDisplayCount * MonitorDisplay::kRowHeight + 6;
    // A graph this high still shows its titles and a curve to edit.
    static constexpr int kGraphFloor = 200;
    static constexpr int kSpare = 16;

  private:
    QWidget* graph_;
    ChartView* chart_;
    Profile& profile_;  // outlives the splitter
    int height_ = kDefaultChartHeight;
    int graphRoom_ = kGraphRoom;
    bool applying_ = false;
};

}  // namespace

QSplitter* PlaceChartUnderGraph(QWidget* graph, ChartView* chart, Profile& profile) {
    return new ChartSplitter(graph, chart, profile);
}

}  // namespace qx::gui
