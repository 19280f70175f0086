#pragma once
// The chart under the graph: a splitter between the two lets the user drag
// the chart's height, which the profile keeps with the choice of lanes. With
// the chart shown the graph may be made smaller than alone, so that the
// window with both fits an 800 x 600 screen, and the handle always has room
// to move either way.
//
// Ownership: the splitter takes the graph and the chart as its children; the
// caller places the splitter (a Qt child of wherever it goes).
class QSplitter;
class QWidget;

namespace qx {
class Profile;
}

namespace qx::gui {

class ChartView;

// The profile's keys, in its "Settings" section.
inline constexpr const char* kChartHeightKey = "Chart Height";
inline constexpr const char* kChartLanesKey = "Chart Lanes";
inline constexpr int kDefaultChartHeight = 160;

// The profile keeps the height and the lanes; it outlives the splitter.
QSplitter* PlaceChartUnderGraph(QWidget* graph, ChartView* chart, Profile& profile);

}  // namespace qx::gui
