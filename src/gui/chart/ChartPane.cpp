#include "gui/chart/ChartPane.h"

#include <QEvent>
#include <QResizeEvent>
#include <QSplitter>
#include <algorithm>

#include "core/host/Profile.h"
#include "gui/chart/ChartView.h"

namespace qx::gui {

namespace {

constexpr const char* kSection = "Settings";

class ChartSplitter : public QSplitter {
  public:
    ChartSplitter(QWidget* graph, ChartView* chart, Profile& profile)
        : QSplitter(Qt::Vertical), chart_(chart), profile_(profile) {
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
            if (chart_->isVisible() && !applying_) height_ = chart_->height();
        });
        chart->installEventFilter(this);
    }
    ~ChartSplitter() override {
        // Written once, not at every step of a drag.
        if (profile_.GetInt(kSection, kChartHeightKey, kDefaultChartHeight) != height_)
            profile_.WriteInt(kSection, kChartHeightKey, height_);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == chart_ && event->type() == QEvent::Show) ApplyHeight();
        return QSplitter::eventFilter(watched, event);
    }
    void resizeEvent(QResizeEvent* event) override {
        QSplitter::resizeEvent(event);
        ApplyHeight();
    }

  private:
    // The chart at the height the user gave it, as far as the graph keeps
    // room of its own; a window made larger again gives it back.
    void ApplyHeight() {
        if (!chart_->isVisible()) return;
        const int total = std::max(0, height() - handleWidth());
        const int h = std::clamp(height_, chart_->minimumHeight(),
                                 std::max(chart_->minimumHeight(), total - kGraphRoom));
        if (h == chart_->height()) return;
        applying_ = true;
        setSizes({std::max(0, total - h), h});
        applying_ = false;
    }

    static constexpr int kGraphRoom = 120;

  private:
    ChartView* chart_;
    Profile& profile_;  // outlives the splitter
    int height_ = kDefaultChartHeight;
    bool applying_ = false;
};

}  // namespace

QSplitter* PlaceChartUnderGraph(QWidget* graph, ChartView* chart, Profile& profile) {
    return new ChartSplitter(graph, chart, profile);
}

}  // namespace qx::gui
