#pragma once
// Where each part of the tune sheet goes on the printable area of a page, in
// points (1/72 inch) from the area's top left corner. Pure: the same size gives
// the same rectangles, and painting only fills them in.
//
// Page 1: the heading (file, module, date), the basic settings, the front and
// rear advance maps side by side, room for notes. Page 2: the other four maps,
// two by two. Every map cell holds its graph above the table of its points.
#include <QRectF>
#include <QSizeF>
#include <vector>

namespace qx::gui {

struct SheetMapCell {
    int map = 0;  // document map index 0 .. 5
    QRectF cell;  // graph and table together
    QRectF graph;
    QRectF table;
};

struct SheetPage {
    QRectF heading;  // empty on page 2
    QRectF basic;    // empty on page 2
    QRectF notes;    // empty when there is no room
    QRectF footer;
    std::vector<SheetMapCell> maps;

    // Every non-empty section of the page (heading, basic, notes, footer, cells).
    std::vector<QRectF> Sections() const;
};

struct SheetLayout {
    QSizeF area;  // the printable area laid out
    std::vector<SheetPage> pages;

    // Text sizes in points and the table's row height.
    static constexpr double kTitlePt = 15.0;
    static constexpr double kHeadingPt = 10.0;
    static constexpr double kTextPt = 8.0;
    static constexpr double kTablePt = 7.5;
    static constexpr double kRowHeight = 10.5;
    // Rows of a map's table: two header lines and 8 rows of points (the table
    // shows points 1-8 beside 9-16).
    static constexpr int kTableRows = 10;
    // Size of one pixel of the map graph's geometry, in points.
    static constexpr double kGraphPixel = 0.6;
};

// The layout for a printable area of the given size in points.
SheetLayout LayOutSheet(QSizeF area);

}  // namespace qx::gui
