#include "gui/edit/GraphOverlay.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "core/maps/ModuleMap.h"
#include "core/model/ModuleState.h"
#include "gui/edit/TuneComparison.h"
#include "gui/graph/MapGraphView.h"
#include "gui/graph/MapPointMarker.h"

namespace qx::gui {

void DrawRangeBand(QPainter& p, const MapGraphView& view) {
    const MapPointMarker* first = view.Marker(view.RangeFirst());
    const MapPointMarker* last = view.Marker(view.RangeLast());
    if (first == nullptr || last == nullptr) return;
    const int left = first->Centre().x - 8;
    const int right = last->Centre().x + 8;
    const QRect band(left, view.PlotTop(), right - left, view.PlotHeight());
    // The selection colour shows through any background colour.
    QColor fill = view.palette().color(QPalette::Highlight);
    fill.setAlpha(90);
    p.save();
    p.fillRect(band, fill);
    p.setPen(QPen(view.palette().color(QPalette::Highlight).lighter(150), 2));
    p.drawLine(band.topLeft(), band.bottomLeft());
    p.drawLine(band.topRight(), band.bottomRight());
    p.restore();
}

void DrawComparison(QPainter& p, const MapGraphView& view, const TuneComparison& comparison) {
    const ModuleState* other = comparison.Other();
    const ModuleState* doc = view.GetDocument();
    const ModuleMap* ours = view.CurrentMap();
    if (other == nullptr || doc == nullptr || ours == nullptr) return;
    const int mapIndex = MapIndexOf(*doc, ours);
    const ModuleMap* theirs = other->Map(mapIndex);
    if (theirs == nullptr || !theirs->Initialized()) return;
    const int n = std::min(theirs->PointCount(), ours->PointCount());
    if (n <= 0) return;

    const QColor colour = ToQColor(view.ComparisonColor());
    // Nothing of the other tune strays over the title strip or the axes: a
    // value beyond the plot is marked at its edge instead.
    const QRect plot(view.PlotLeft(), view.PlotTop(), view.PlotWidth(), view.PlotHeight());
    p.save();
    p.setClipRect(plot.adjusted(0, 0, 1, 1));
    p.setRenderHint(QPainter::Antialiasing, false);
    QPolygon line;
    line.reserve(n);
    for (int i = 0; i < n; ++i)
        line << QPoint(view.XToPixel(theirs->Point(i).x),
                       view.YToPixel(theirs->Point(i).value->GetValue()));
    p.setPen(QPen(colour, 0, Qt::DashLine));
    p.drawPolyline(line);

    const auto& diffs = comparison.Differences();
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < n; ++i) {
        const QPoint c = line[i];
        if (FindDifference(diffs, SettingKey::Point(mapIndex, i)) == nullptr) {
            p.setPen(QPen(colour, 0));
            p.drawEllipse(c, 4, 4);
            continue;
        }
        // A differing point: tied to the edited value by a dotted line, a ring
        // wider than the 10-pixel marker and a tick beside it, so that a
        // difference of one step still shows round the edited point's marker.
        const int y = view.YToPixel(ours->Point(i).value->GetValue());
        p.setPen(QPen(colour, 0, Qt::DotLine));
        p.drawLine(c.x(), c.y(), c.x(), y);
        const int edgeY = std::clamp(c.y(), plot.top(), plot.bottom());
        p.setPen(QPen(colour, 2));
        if (edgeY != c.y()) {
            // Beyond the plot: a wedge on the edge, pointing the way out.
            const int d = c.y() < plot.top() ? -1 : 1;
            const int base = edgeY - d * 7;
            p.setBrush(colour);
            p.drawPolygon(
                QPolygon({QPoint(c.x() - 6, base), QPoint(c.x() + 6, base), QPoint(c.x(), edgeY)}));
            p.setBrush(Qt::NoBrush);
            continue;
        }
        p.drawEllipse(c, 8, 8);
        p.drawLine(c.x() + 9, c.y(), c.x() + 15, c.y());
    }
    p.setClipping(false);

    // The legend, in the plot's top right corner.
    p.setFont(StockVariableFont());
    const QFontMetrics fm(p.font());
    int differing = 0;
    for (const TuneDifference& d : diffs) differing += d.key.map == mapIndex ? 1 : 0;
    const QString text = QStringLiteral("%1 (%2 of %3 points differ)")
                             .arg(QString::fromStdString(comparison.Name()))
                             .arg(differing)
                             .arg(n);
    const int w = fm.horizontalAdvance(text) + 40;
    const int h = fm.height() + 6;
    const QRect box(view.PlotLeft() + view.PlotWidth() - w - 4, view.PlotTop() + 4, w, h);
    p.fillRect(box, ToQColor(view.BackgroundColor()));
    p.setPen(QPen(colour, 0));
    p.drawRect(box.adjusted(0, 0, -1, -1));
    const int mid = box.top() + h / 2;
    p.setPen(QPen(colour, 0, Qt::DashLine));
    p.drawLine(box.left() + 6, mid, box.left() + 30, mid);
    p.setPen(QPen(colour, 0));
    p.drawEllipse(QPoint(box.left() + 18, mid), 4, 4);
    p.drawText(QRect(box.left() + 36, box.top(), w - 36, h), Qt::AlignVCenter | Qt::AlignLeft,
               text);
    p.restore();
}

}  // namespace qx::gui
