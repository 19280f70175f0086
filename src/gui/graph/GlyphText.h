#pragma once
// A short text that changes many times a second (a live value, a legend),
// drawn from the font's glyphs one after another: a new text costs a lookup
// of each character's glyph, not a layout. A text with a character the font
// has no glyph for is laid out and drawn the usual way.
//
// Ownership: holds copies of its text and font.
#include <QFont>
#include <QGlyphRun>
#include <QRawFont>
#include <QStaticText>
#include <QString>

class QPainter;

namespace qx::gui {

class GlyphText {
  public:
    // Returns whether the text or the font differs from before.
    bool Set(const QString& text, const QFont& font);
    const QString& Text() const { return text_; }
    // The advance of the whole text, in pixels.
    qreal Width() const { return width_; }
    // The font's line height (0 before a font is set).
    int Height() const { return height_; }
    // Draws with the painter's pen, the text's top left at (x, y).
    void Draw(QPainter& painter, qreal x, qreal y) const;
    // Whether the text went glyph by glyph (else laid out).
    bool Direct() const { return direct_; }

  private:
    QString text_;
    QFont font_;
    bool haveFont_ = false;
    QRawFont raw_;
    qreal ascent_ = 0;
    int height_ = 0;
    QGlyphRun run_;
    bool direct_ = false;
    qreal width_ = 0;
    QStaticText laidOut_;
};

}  // namespace qx::gui
