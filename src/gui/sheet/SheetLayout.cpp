#include "gui/sheet/SheetLayout.h"

#include <algorithm>

namespace qx::gui {

namespace {

constexpr double kGap = 10.0;        // between sections, vertically
constexpr double kColumnGap = 14.0;  // between the two map cells of a row
constexpr double kHeadingHeight = 46.0;
constexpr double kBasicHeight = 16.0 + 6 * 13.0;  // a title line and six rows
constexpr double kFooterHeight = 12.0;
constexpr double kGraphTableGap = 4.0;
constexpr double kSmallestNotes = 40.0;

// One row of two map cells from top, height high.
std::vector<SheetMapCell> MapRow(int left, int right, double top, double width, double height) {
    const double cellWidth = (width - kColumnGap) / 2;
    const double tableHeight = SheetLayout::kTableRows * SheetLayout::kRowHeight;
    // A graph much taller than wide reads badly; the rest of the cell stays empty.
    const double graphHeight = std::min(height - tableHeight - kGraphTableGap, 1.2 * cellWidth);
    std::vector<SheetMapCell> row;
    for (int i = 0; i < 2; ++i) {
        SheetMapCell c;
        c.map = i == 0 ? left : right;
        const double x = i == 0 ? 0.0 : cellWidth + kColumnGap;
        c.graph = QRectF(x, top, cellWidth, graphHeight);
        c.table = QRectF(x, top + graphHeight + kGraphTableGap, cellWidth, tableHeight);
        c.cell = c.graph.united(c.table);
        row.push_back(c);
    }
    return row;
}

}  // namespace

std::vector<QRectF> SheetPage::Sections() const {
    std::vector<QRectF> out;
    for (const QRectF& r : {heading, basic, notes, footer})
        if (!r.isEmpty()) out.push_back(r);
    for (const SheetMapCell& c : maps) out.push_back(c.cell);
    return out;
}

SheetLayout LayOutSheet(QSizeF area) {
    SheetLayout layout;
    layout.area = area;
    const double w = area.width();
    const double body = area.height() - kFooterHeight - kGap;  // above the footer's gap
    const QRectF footer(0, area.height() - kFooterHeight, w, kFooterHeight);
    // Every map cell has the height of half a second page, so all six graphs
    // are drawn at one scale.
    const double firstTop = kHeadingHeight + kGap + kBasicHeight + kGap;
    const double cellHeight = std::min((body - kGap) / 2, body - firstTop);

    SheetPage first;
    first.heading = QRectF(0, 0, w, kHeadingHeight);
    first.basic = QRectF(0, kHeadingHeight + kGap, w, kBasicHeight);
    first.maps = MapRow(0, 1, firstTop, w, cellHeight);
    const double notesTop = first.maps.front().cell.bottom() + kGap;
    if (body - notesTop >= kSmallestNotes) first.notes = QRectF(0, notesTop, w, body - notesTop);
    first.footer = footer;
    layout.pages.push_back(first);

    SheetPage second;
    second.maps = MapRow(2, 3, 0, w, cellHeight);
    const double secondTop = second.maps.front().cell.bottom() + kGap;
    for (const SheetMapCell& c : MapRow(4, 5, secondTop, w, cellHeight)) second.maps.push_back(c);
    second.footer = footer;
    layout.pages.push_back(second);
    return layout;
}

}  // namespace qx::gui
