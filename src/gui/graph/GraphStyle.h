#pragma once
// Colours and fonts of the graph, its markers and its value display. Colours
// are kept as 0x00BBGGRR integers (red in the low byte), as the profile stores
// them; the system colours of the graph come from the widget's palette.
#include <QColor>
#include <QFont>
#include <QPalette>
#include <cstdint>

namespace qx::gui {

using ColorRef = uint32_t;

inline QColor ToQColor(ColorRef c) {
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}
inline ColorRef FromQColor(const QColor& c) {
    return static_cast<ColorRef>(c.red()) | (static_cast<ColorRef>(c.green()) << 8) |
           (static_cast<ColorRef>(c.blue()) << 16);
}
// Each of red, green and blue becomes 255 minus itself.
inline ColorRef Complement(ColorRef c) {
    return ~c & 0xFFFFFFu;
}

// The system colours the graph uses, as palette roles.
inline constexpr QPalette::ColorRole kCaptionRole = QPalette::Highlight;
inline constexpr QPalette::ColorRole kCaptionTextRole = QPalette::HighlightedText;
inline constexpr QPalette::ColorRole kWorkspaceRole = QPalette::Mid;
inline constexpr QPalette::ColorRole kWindowRole = QPalette::Base;
inline constexpr QPalette::ColorRole kWindowTextRole = QPalette::Text;

// "Arial" at a pixel height; Liberation Sans stands in where Arial is absent
// (same metrics).
QFont ArialFont(int pixelHeight, bool bold);
// The small proportional font of tick labels and the value display.
QFont StockVariableFont();

}  // namespace qx::gui
