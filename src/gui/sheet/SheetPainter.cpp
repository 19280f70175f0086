#include "gui/sheet/SheetPainter.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "core/host/Numbers.h"
#include "gui/graph/GraphGeometry.h"
#include "gui/graph/GraphStyle.h"
#include "gui/sheet/SheetLayout.h"
#include "gui/sheet/TuneSheet.h"

namespace qx::gui {

namespace {

const QColor kInk(0, 0, 0);
const QColor kGrid(128, 128, 128);
const QColor kShade(235, 235, 235);
const QColor kBand(215, 215, 215);
const QColor kRule(170, 170, 170);

// A font of pt points on paper: the painter's units are points while the
// device counts its own pixels, so the size is given relative to its resolution.
QFont SheetFont(const QPainter& p, double pt, bool bold) {
    QFont f = ArialFont(10, bold);
    f.setPointSizeF(pt * 72.0 / p.device()->logicalDpiY());
    return f;
}

QRectF ToRectF(const graph::PixelRect& r) {
    return QRectF(r.left, r.top, r.Width(), r.Height());
}

void TopLeftText(QPainter& p, double x, double y, const QString& text) {
    p.drawText(QPointF(x, y + QFontMetricsF(p.font(), p.device()).ascent()), text);
}

// Text in r, cut short with an ellipsis when it does not fit.
void CellText(QPainter& p, const QRectF& r, int flags, const QString& text) {
    const QFontMetricsF fm(p.font(), p.device());
    p.drawText(r, flags | Qt::TextSingleLine, fm.elidedText(text, Qt::ElideRight, r.width()));
}

void PaintHeading(QPainter& p, const TuneSheet& sheet, const QRectF& r) {
    p.setPen(kInk);
    p.setFont(SheetFont(p, SheetLayout::kTitlePt, true));
    const double titleHeight = QFontMetricsF(p.font(), p.device()).height();
    CellText(p, QRectF(r.left(), r.top(), r.width(), titleHeight), Qt::AlignLeft | Qt::AlignTop,
             QStringLiteral("Tune Sheet: ") + sheet.fileName);
    p.setFont(SheetFont(p, SheetLayout::kTextPt + 1, false));
    const double lineTop = r.top() + titleHeight + 6;
    const double lineHeight = QFontMetricsF(p.font(), p.device()).height();
    QStringList module;
    module << (sheet.serial.isEmpty() ? QStringLiteral("Module serial No.: not known")
                                      : QStringLiteral("Module serial No.: ") + sheet.serial);
    if (!sheet.firmware.isEmpty()) module << QStringLiteral("Firmware: ") + sheet.firmware;
    const QRectF line(r.left(), lineTop, r.width(), lineHeight);
    CellText(p, line, Qt::AlignLeft | Qt::AlignTop, module.join(QStringLiteral("     ")));
    p.drawText(line, Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine,
               QStringLiteral("Printed: ") + sheet.date);
    p.setPen(QPen(kInk, 0.8));
    p.drawLine(QPointF(r.left(), r.bottom() - 1), QPointF(r.right(), r.bottom() - 1));
}

void PaintBasic(QPainter& p, const TuneSheet& sheet, const QRectF& r) {
    p.setPen(kInk);
    p.setFont(SheetFont(p, SheetLayout::kHeadingPt, true));
    TopLeftText(p, r.left(), r.top(), QStringLiteral("Basic Settings"));
    const double top = r.top() + 16;
    const int rows = (static_cast<int>(sheet.basic.size()) + 1) / 2;
    if (rows == 0) return;
    const double rowHeight = (r.bottom() - top) / rows;
    const double columnGap = 24;
    const double columnWidth = (r.width() - columnGap) / 2;
    p.setFont(SheetFont(p, SheetLayout::kTextPt + 1, false));
    for (std::size_t i = 0; i < sheet.basic.size(); ++i) {
        const int column = static_cast<int>(i) / rows;
        const int row = static_cast<int>(i) % rows;
        const QRectF cell(r.left() + column * (columnWidth + columnGap), top + row * rowHeight,
                          columnWidth, rowHeight);
        if (row % 2 == 0) p.fillRect(cell, kShade);
        const QRectF inner = cell.adjusted(4, 0, -4, 0);
        p.setPen(kInk);
        CellText(p, inner, Qt::AlignLeft | Qt::AlignVCenter, sheet.basic[i].label);
        CellText(p, inner, Qt::AlignRight | Qt::AlignVCenter, sheet.basic[i].value);
    }
}

void PaintNotes(QPainter& p, const QRectF& r) {
    p.setPen(kInk);
    p.setFont(SheetFont(p, SheetLayout::kHeadingPt, true));
    TopLeftText(p, r.left(), r.top(), QStringLiteral("Notes"));
    p.setPen(QPen(kRule, 0.5));
    for (double y = r.top() + 34; y <= r.bottom(); y += 20)
        p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
}

// The widths of the number, x and value columns of one half of a table: each
// as wide as its widest text, the rest shared out; a smaller font where even
// that does not fit.
struct TableColumns {
    double pt = SheetLayout::kTablePt;
    double widths[3] = {0, 0, 0};
};

TableColumns FitColumns(const QPainter& p, const SheetMap& map, double halfWidth) {
    constexpr double kPadding = 8;
    constexpr double kSmallestPt = 5.5;
    TableColumns t;
    for (;; t.pt -= 0.5) {
        const QFontMetricsF fm(SheetFont(p, t.pt, false), p.device());
        t.widths[0] = fm.horizontalAdvance(QStringLiteral("16")) + kPadding;
        t.widths[1] = t.widths[2] = 0;
        for (int i = 0; i < static_cast<int>(map.x.size()); ++i) {
            t.widths[1] =
                std::max(t.widths[1], fm.horizontalAdvance(PointXText(map, i)) + kPadding);
            t.widths[2] =
                std::max(t.widths[2], fm.horizontalAdvance(PointValueText(map, i)) + kPadding);
        }
        if (t.widths[0] + t.widths[1] + t.widths[2] <= halfWidth || t.pt <= kSmallestPt) break;
    }
    const double slack = std::max(0.0, halfWidth - t.widths[0] - t.widths[1] - t.widths[2]);
    t.widths[0] += 0.2 * slack;
    t.widths[1] += 0.4 * slack;
    t.widths[2] += 0.4 * slack;
    return t;
}

// Points 1-8 on the left, 9-16 on the right, each with x and value.
void PaintTable(QPainter& p, const SheetMap& map, const QRectF& r) {
    const double row = SheetLayout::kRowHeight;
    const int perHalf = (static_cast<int>(map.x.size()) + 1) / 2;
    const double halfGap = 10;
    const double halfWidth = (r.width() - halfGap) / 2;
    const TableColumns fit = FitColumns(p, map, halfWidth);
    const double* widths = fit.widths;
    for (int half = 0; half < 2; ++half) {
        const double left = r.left() + half * (halfWidth + halfGap);
        const double columns[3] = {left, left + widths[0], left + widths[0] + widths[1]};
        // Two header lines: a long axis name may wrap.
        const QRectF header(left, r.top(), halfWidth, 2 * row);
        p.fillRect(header, kBand);
        p.setPen(kInk);
        p.setFont(SheetFont(p, std::min(fit.pt, SheetLayout::kTablePt - 0.5), true));
        const QString titles[3] = {QStringLiteral("No."), map.xLabel, map.yLabel};
        for (int c = 0; c < 3; ++c) {
            const QRectF cell =
                QRectF(columns[c], r.top(), widths[c], 2 * row).adjusted(1, 0, -1, 0);
            p.drawText(cell, Qt::AlignCenter | Qt::TextWordWrap, titles[c]);
        }
        p.setFont(SheetFont(p, fit.pt, false));
        for (int k = 0; k < perHalf; ++k) {
            const int i = half * perHalf + k;
            if (i >= static_cast<int>(map.x.size())) break;
            const double top = r.top() + (2 + k) * row;
            if (k % 2 == 1) p.fillRect(QRectF(left, top, halfWidth, row), kShade);
            p.setPen(kInk);
            CellText(p, QRectF(columns[0], top, widths[0], row), Qt::AlignCenter,
                     QString::number(i + 1));
            CellText(p, QRectF(columns[1], top, widths[1] - 4, row),
                     Qt::AlignRight | Qt::AlignVCenter, PointXText(map, i));
            CellText(p, QRectF(columns[2], top, widths[2] - 4, row),
                     Qt::AlignRight | Qt::AlignVCenter, PointValueText(map, i));
        }
        p.setPen(QPen(kGrid, 0.5));
        p.drawRect(QRectF(left, r.top(), halfWidth, (2 + perHalf) * row));
    }
}

void PaintFooter(QPainter& p, const TuneSheet& sheet, const QRectF& r, int page, int pages) {
    p.setPen(kInk);
    p.setFont(SheetFont(p, SheetLayout::kTextPt, false));
    CellText(p, r, Qt::AlignLeft | Qt::AlignBottom, sheet.fileName);
    p.drawText(r, Qt::AlignRight | Qt::AlignBottom | Qt::TextSingleLine,
               QStringLiteral("Page %1 of %2").arg(page).arg(pages));
}

}  // namespace

void PaintSheetGraph(QPainter& p, const SheetMap& map, const QRectF& rect) {
    // The screen's geometry at a pixel of kGraphPixel points.
    const double k = SheetLayout::kGraphPixel;
    const graph::GraphSize s{static_cast<int>(rect.width() / k),
                             static_cast<int>(rect.height() / k), 16, 0};
    if (s.width <= 0 || s.height <= 0) return;
    p.save();
    p.translate(rect.topLeft());
    p.scale(k, k);
    p.setRenderHint(QPainter::Antialiasing, true);
    const auto px = [&](double x, double y) {
        return QPointF(graph::XToPixel(s, map.axes, x), graph::YToPixel(s, map.axes, y));
    };

    // Title band: the map's name over a light band, as the caption on screen.
    p.fillRect(ToRectF(graph::CaptionBand(s)), kBand);
    p.setPen(kInk);
    p.setFont(ArialFont(graph::CaptionFontHeight(s), true));
    const graph::PixelPoint at = graph::CaptionTextOrigin(s);
    p.drawText(QPointF(at.x, at.y + QFontMetricsF(p.font(), p.device()).ascent()), map.title);

    // Grid: the outer lines solid, the inner ones dotted, with their labels.
    const double top = graph::YToPixel(s, map.axes, map.axes.ymax);
    const double bottom = graph::YToPixel(s, map.axes, map.axes.ymin);
    const double left = graph::XToPixel(s, map.axes, map.axes.xmin);
    const double right = graph::XToPixel(s, map.axes, map.axes.xmax);
    p.setFont(StockVariableFont());
    for (std::size_t i = 0; i < map.gridX.size(); ++i) {
        const bool solid = i == 0 || i + 1 == map.gridX.size();
        const double x = graph::XToPixel(s, map.axes, map.gridX[i]);
        p.setPen(
            QPen(solid ? kInk : kGrid, solid ? 1.0 : 0.8, solid ? Qt::SolidLine : Qt::DotLine));
        p.drawLine(QPointF(x, bottom), QPointF(x, top));
        p.setPen(kInk);
        p.drawText(ToRectF(graph::XTickLabelBox(static_cast<int>(x), static_cast<int>(bottom))),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip | Qt::TextSingleLine,
                   QString::fromStdString(FormatDouble("%.0lf", map.gridX[i])));
    }
    for (std::size_t i = 0; i < map.gridY.size(); ++i) {
        const bool solid = i == 0 || i + 1 == map.gridY.size();
        const double y = graph::YToPixel(s, map.axes, map.gridY[i]);
        p.setPen(
            QPen(solid ? kInk : kGrid, solid ? 1.0 : 0.8, solid ? Qt::SolidLine : Qt::DotLine));
        p.drawLine(QPointF(left, y), QPointF(right, y));
        p.setPen(kInk);
        p.drawText(ToRectF(graph::YTickLabelBox(static_cast<int>(left), static_cast<int>(y))),
                   Qt::AlignRight | Qt::AlignVCenter | Qt::TextDontClip | Qt::TextSingleLine,
                   QString::fromStdString(FormatDouble("%.0lf", map.gridY[i])));
    }

    // Axis titles where the screen writes them; the y title reads upward.
    p.setFont(ArialFont(graph::TitleHeight(s), false));
    const QFontMetricsF fm(p.font(), p.device());
    const QString xTitle = map.xLabel + QStringLiteral(" (") + map.xUnits + QLatin1Char(')');
    const QString yTitle = map.yLabel + QStringLiteral(" (") + map.yUnits + QLatin1Char(')');
    const graph::PixelPoint xAt = graph::XTitleOrigin(
        s, static_cast<int>(fm.horizontalAdvance(xTitle)), static_cast<int>(fm.height()));
    p.drawText(QPointF(xAt.x, xAt.y + fm.ascent()), xTitle);
    const graph::PixelPoint yAt = graph::YTitleOrigin(
        s, static_cast<int>(fm.horizontalAdvance(yTitle)), static_cast<int>(fm.height()));
    // A graph this narrow leaves the title little room beside the tick labels:
    // it moves left of the widest one, as far as the frame allows.
    const QFontMetricsF ticks(StockVariableFont(), p.device());
    double widestTick = 0;
    for (double gy : map.gridY)
        widestTick = std::max(
            widestTick, ticks.horizontalAdvance(QString::fromStdString(FormatDouble("%.0lf", gy))));
    const double tickLeft = graph::YTickLabelBox(static_cast<int>(left), 0).right - widestTick;
    const double titleX = std::max<double>(graph::FrameLeft(s) + 2,
                                           std::min<double>(yAt.x, tickLeft - 3 - fm.height()));
    p.save();
    p.translate(titleX, yAt.y);
    p.rotate(-90);
    p.drawText(QPointF(0, fm.ascent()), yTitle);
    p.restore();

    // The frame around band and graph, then the curve with a mark on each point.
    p.setPen(QPen(kInk, 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(ToRectF(graph::FrameEdgeRect(s).Inflated(-2)));
    if (!map.x.empty()) {
        QPainterPath curve(px(map.x[0], map.y[0]));
        for (std::size_t i = 1; i < map.x.size(); ++i) curve.lineTo(px(map.x[i], map.y[i]));
        p.setPen(QPen(kInk, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(curve);
        p.setPen(Qt::NoPen);
        p.setBrush(kInk);
        for (std::size_t i = 0; i < map.x.size(); ++i)
            p.drawRect(QRectF(px(map.x[i], map.y[i]) - QPointF(3, 3), QSizeF(6, 6)));
    }
    p.restore();
}

void PaintTuneSheet(QPainter& p, QPagedPaintDevice& device, const TuneSheet& sheet) {
    if (!p.isActive()) return;
    const SheetLayout layout =
        LayOutSheet(device.pageLayout().paintRect(QPageLayout::Point).size());
    const double scaleX = device.logicalDpiX() / 72.0;
    const double scaleY = device.logicalDpiY() / 72.0;
    const int pages = static_cast<int>(layout.pages.size());
    for (int i = 0; i < pages; ++i) {
        if (i > 0) device.newPage();
        const SheetPage& page = layout.pages[static_cast<std::size_t>(i)];
        p.save();
        p.scale(scaleX, scaleY);
        if (!page.heading.isEmpty()) PaintHeading(p, sheet, page.heading);
        if (!page.basic.isEmpty()) PaintBasic(p, sheet, page.basic);
        for (const SheetMapCell& c : page.maps) {
            if (c.map < 0 || c.map >= static_cast<int>(sheet.maps.size())) continue;
            const SheetMap& map = sheet.maps[static_cast<std::size_t>(c.map)];
            PaintSheetGraph(p, map, c.graph);
            PaintTable(p, map, c.table);
        }
        if (!page.notes.isEmpty()) PaintNotes(p, page.notes);
        PaintFooter(p, sheet, page.footer, i + 1, pages);
        p.restore();
    }
}

}  // namespace qx::gui
