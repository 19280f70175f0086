#pragma once
// Paints the tune sheet in print colours: black text and curves, grey grid,
// white paper, light grey shading that survives a black-and-white printer.
#include <QRectF>

class QPainter;
class QPagedPaintDevice;

namespace qx::gui {

struct TuneSheet;
struct SheetMap;

// Every page of the sheet on device (a printer or a PDF writer) through its
// active painter: the layout comes from the device's printable area.
void PaintTuneSheet(QPainter& painter, QPagedPaintDevice& device, const TuneSheet& sheet);

// One map's graph filling rect (in the painter's units, taken as points), laid
// out by the same geometry as the graph on screen.
void PaintSheetGraph(QPainter& painter, const SheetMap& map, const QRectF& rect);

}  // namespace qx::gui
