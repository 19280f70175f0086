// Live texts drawn glyph by glyph: the same ink as the painter's own text
// drawing, and the long way for what the font cannot show glyph for glyph.
#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include "gui/GuiTestSupport.h"
#include "gui/graph/GlyphText.h"

namespace qx::test {
namespace {

// The box round every pixel that is not white.
QRect Ink(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255)) box |= QRect(x, y, 1, 1);
    return box;
}

// A white picture with draw's drawing in black on it.
template <typename Draw>
QImage Picture(Draw draw) {
    QImage image(200, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setPen(Qt::black);
        draw(p);
    }
    return image;
}

TEST(GlyphText, DrawsTheInkOfTheLaidOutTextAndFollowsTheFont) {
    TestApp();
    QFont font;
    font.setPixelSize(13);
    for (const QString& text : {QStringLiteral(" 1611.3"), QStringLiteral("-12.5 rpm / sec"),
                                QStringLiteral("Engine Speed 8250.0 rpm")}) {
        gui::GlyphText glyphs;
        ASSERT_TRUE(glyphs.Set(text, font));
        EXPECT_FALSE(glyphs.Set(text, font)) << "nothing new";
        EXPECT_TRUE(glyphs.Direct()) << text.toStdString();
        EXPECT_NEAR(glyphs.Width(), QFontMetricsF(font).horizontalAdvance(text), 1.5)
            << text.toStdString();
        const QRect a = Ink(Picture([&](QPainter& p) { glyphs.Draw(p, 3, 5); }));
        const QRect b = Ink(Picture([&](QPainter& p) {
            p.setFont(font);
            p.drawText(3, 5 + QFontMetrics(font).ascent(), text);
        }));
        ASSERT_FALSE(b.isEmpty());
        EXPECT_LE(std::abs(a.left() - b.left()), 1) << text.toStdString();
        EXPECT_LE(std::abs(a.right() - b.right()), 1) << text.toStdString();
        EXPECT_EQ(a.top(), b.top()) << text.toStdString();
        EXPECT_EQ(a.bottom(), b.bottom()) << text.toStdString();
    }

    gui::GlyphText glyphs;
    glyphs.Set(QStringLiteral("18.0"), font);
    const qreal small = glyphs.Width();
    QFont big = font;
    big.setPixelSize(26);
    EXPECT_TRUE(glyphs.Set(QStringLiteral("18.0"), big)) << "a new font is news";
    EXPECT_GT(glyphs.Width(), small * 1.5);

    // A combining accent: laid out by the shaper, still drawn.
    ASSERT_TRUE(glyphs.Set(QStringLiteral("e\u0301t\u00e9"), font));
    EXPECT_FALSE(glyphs.Direct());
    EXPECT_GT(glyphs.Width(), 0);
    EXPECT_FALSE(Ink(Picture([&](QPainter& p) { glyphs.Draw(p, 3, 5); })).isEmpty());
    glyphs.Set(QString(), font);
    EXPECT_TRUE(Ink(Picture([&](QPainter& p) { glyphs.Draw(p, 3, 5); })).isEmpty());
}

}  // namespace
}  // namespace qx::test
