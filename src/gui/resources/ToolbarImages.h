#pragma once
// The toolbar pictures, drawn by the program: one strip of 17 images of
// 32 x 28 pixels, one per button in toolbar order. The strip for the link down
// shows the link button red, the one for the link up shows it green; every
// other image is the same in both. Returned pixmaps are values owned by the caller.
#include <QColor>
#include <QPixmap>

namespace qx::gui {

inline constexpr int kLinkButtonIndex = 5;  // New, Open, Save, Undo, Redo, link, ...

QPixmap ToolbarStrip(bool linkUp);
// One image of the strip.
QPixmap ToolbarImage(int index, bool linkUp);
// The colour of the link button's lamp.
QColor LinkLampColor(bool linkUp);

}  // namespace qx::gui
