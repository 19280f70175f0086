#include "gui/resources/ToolbarImages.h"

#include <QPainter>
#include <QPainterPath>

#include "gui/resources/Resources.h"

namespace qx::gui {

namespace {

constexpr int kW = res::kToolbarButtonWidth;
constexpr int kH = res::kToolbarButtonHeight;

void Page(QPainter& p) {
    QPainterPath path;
    path.moveTo(9, 4);
    path.lineTo(19, 4);
    path.lineTo(24, 9);
    path.lineTo(24, 24);
    path.lineTo(9, 24);
    path.closeSubpath();
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPath(path);
    p.drawLine(19, 4, 19, 9);
    p.drawLine(19, 9, 24, 9);
}

void Folder(QPainter& p) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(230, 200, 90));
    p.drawRect(5, 9, 20, 14);
    p.drawRect(5, 6, 8, 3);
    p.setBrush(QColor(250, 225, 120));
    QPolygon lid;
    lid << QPoint(8, 13) << QPoint(28, 13) << QPoint(25, 23) << QPoint(5, 23);
    p.drawPolygon(lid);
}

void Disk(QPainter& p) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(40, 60, 150));
    p.drawRect(7, 4, 18, 19);
    p.setBrush(Qt::white);
    p.drawRect(10, 4, 12, 7);
    p.setBrush(QColor(190, 190, 190));
    p.drawRect(11, 15, 10, 8);
}

// A curved arrow: back (undo) points left, forward (redo) right.
void TurnArrow(QPainter& p, bool back) {
    if (!back) {
        p.translate(kW, 0);
        p.scale(-1, 1);
    }
    p.setPen(QPen(QColor(30, 90, 170), 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath arc;
    arc.moveTo(10, 12);
    arc.cubicTo(16, 6, 27, 9, 24, 18);
    arc.lineTo(21, 22);
    p.drawPath(arc);
    p.setPen(QPen(QColor(30, 90, 170), 1));
    p.setBrush(QColor(30, 90, 170));
    QPolygon head;
    head << QPoint(5, 16) << QPoint(7, 6) << QPoint(14, 13);
    p.drawPolygon(head);
}

void Link(QPainter& p, bool up) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(120, 120, 120));
    p.drawRect(4, 11, 8, 6);  // plug
    p.drawLine(12, 12, 15, 12);
    p.drawLine(12, 16, 15, 16);
    p.drawRect(17, 10, 6, 8);  // socket
    p.setBrush(LinkLampColor(up));
    p.drawEllipse(QPoint(26, 6), 4, 4);
}

void Chip(QPainter& p, int x, int y) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(50, 50, 50));
    p.drawRect(x, y, 10, 8);
    for (int i = 0; i < 4; ++i) {
        p.drawLine(x + 1 + i * 3, y - 2, x + 1 + i * 3, y);
        p.drawLine(x + 1 + i * 3, y + 8, x + 1 + i * 3, y + 10);
    }
}

void Arrow(QPainter& p, QPoint from, QPoint to) {
    p.setPen(QPen(QColor(0, 110, 0), 2));
    p.drawLine(from, to);
    const int dx = to.x() > from.x() ? -4 : 4;
    p.drawLine(to, to + QPoint(dx, -3));
    p.drawLine(to, to + QPoint(dx, 3));
}

void Transfer(QPainter& p, bool toDocument) {
    Chip(p, 3, 10);
    QPainterPath page;
    page.addRect(21, 6, 8, 16);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPath(page);
    if (toDocument)
        Arrow(p, QPoint(13, 14), QPoint(20, 14));
    else
        Arrow(p, QPoint(20, 14), QPoint(14, 14));
}

void MapGlyph(QPainter& p, int n) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawRect(3, 3, 26, 22);
    p.setPen(QPen(QColor(0, 0, 200), 2));
    static const int shapes[6][4] = {{20, 14, 9, 6},  {20, 12, 10, 8},  {8, 12, 18, 20},
                                     {18, 8, 12, 16}, {12, 16, 18, 10}, {22, 10, 14, 12}};
    const int* s = shapes[n % 6];
    QPolygon line;
    line << QPoint(5, s[0]) << QPoint(12, s[1]) << QPoint(19, s[2]) << QPoint(27, s[3]);
    p.drawPolyline(line);
    p.setPen(Qt::black);
    QFont f = p.font();
    f.setPixelSize(9);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(4, 15, 10, 10), Qt::AlignCenter, QString::number(n + 1));
}

void Gauge(QPainter& p) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPie(QRect(4, 5, 24, 24), 0, 180 * 16);
    p.setPen(QPen(Qt::red, 2));
    p.drawLine(16, 17, 23, 9);
}

void Sliders(QPainter& p) {
    p.setPen(QPen(Qt::black, 1));
    for (int i = 0; i < 3; ++i) {
        const int x = 8 + i * 8;
        p.drawLine(x, 5, x, 23);
        p.setBrush(QColor(100, 100, 220));
        p.drawRect(x - 3, 8 + (i * 5) % 12, 6, 4);
    }
}

void About(QPainter& p) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(250, 250, 180));
    p.drawEllipse(QPoint(16, 14), 10, 10);
    QFont f = p.font();
    f.setPixelSize(14);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(0, 0, 160));
    p.drawText(QRect(6, 4, 20, 20), Qt::AlignCenter, QStringLiteral("?"));
}

}  // namespace

QColor LinkLampColor(bool linkUp) {
    return linkUp ? QColor(0, 200, 0) : QColor(220, 0, 0);
}

QPixmap ToolbarImage(int index, bool linkUp) {
    QPixmap pix(kW, kH);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    switch (index) {
        case 0:
            Page(p);
            break;
        case 1:
            Folder(p);
            break;
        case 2:
            Disk(p);
            break;
        case 3:
        case 4:
            TurnArrow(p, index == 3);
            break;
        case 5:
            Link(p, linkUp);
            break;
        case 6:
            Transfer(p, true);
            break;
        case 7:
            Transfer(p, false);
            break;
        case 8:
        case 9:
        case 10:
        case 11:
        case 12:
        case 13:
            MapGlyph(p, index - 8);
            break;
        case 14:
            Gauge(p);
            break;
        case 15:
            Sliders(p);
            break;
        default:
            About(p);
            break;
    }
    return pix;
}

QPixmap ToolbarStrip(bool linkUp) {
    QPixmap strip(kW * res::kToolbarButtonCount, kH);
    strip.fill(Qt::transparent);
    QPainter p(&strip);
    for (int i = 0; i < res::kToolbarButtonCount; ++i)
        p.drawPixmap(i * kW, 0, ToolbarImage(i, linkUp));
    return strip;
}

}  // namespace qx::gui
