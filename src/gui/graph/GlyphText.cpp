#include "gui/graph/GlyphText.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>

namespace qx::gui {

namespace {

// Characters a shaper could join, reorder or combine: those go the long way.
bool Simple(const QString& text) {
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x24F) return false;
    return true;
}

}  // namespace

bool GlyphText::Set(const QString& text, const QFont& font) {
    const bool newFont = !haveFont_ || font != font_;
    if (!newFont && text == text_) return false;
    if (newFont) {
        font_ = font;
        haveFont_ = true;
        raw_ = QRawFont::fromFont(font_);
        ascent_ = QFontMetricsF(font_).ascent();
        height_ = QFontMetrics(font_).height();
    }
    text_ = text;
    direct_ = false;
    if (raw_.isValid() && Simple(text_)) {
        const QList<quint32> glyphs = raw_.glyphIndexesForString(text_);
        direct_ = glyphs.size() == text_.size() && !glyphs.contains(0u);
        if (direct_) {
            const QList<QPointF> advances =
                raw_.advancesForGlyphIndexes(glyphs, QRawFont::KernedAdvances);
            QList<QPointF> positions;
            positions.reserve(glyphs.size());
            QPointF at(0, 0);
            for (const QPointF& advance : advances) {
                positions.append(at);
                at += advance;
            }
            run_.setRawFont(raw_);
            run_.setGlyphIndexes(glyphs);
            run_.setPositions(positions);
            width_ = at.x();
        }
    }
    if (!direct_) {
        laidOut_.setTextFormat(Qt::PlainText);
        laidOut_.setText(text_);
        laidOut_.prepare(QTransform(), font_);
        width_ = laidOut_.size().width();
    }
    return true;
}

void GlyphText::Draw(QPainter& painter, qreal x, qreal y) const {
    if (text_.isEmpty()) return;
    if (direct_) {
        painter.drawGlyphRun(QPointF(x, y + ascent_), run_);
    } else {
        const QFont keep = painter.font();
        painter.setFont(font_);
        painter.drawStaticText(QPointF(x, y), laidOut_);
        painter.setFont(keep);
    }
}

}  // namespace qx::gui
