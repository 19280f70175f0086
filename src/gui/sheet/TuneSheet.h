#pragma once
// What a printed tune sheet shows, taken from the document at one moment: the
// texts of the twelve basic settings and a copy of each map's points and axes.
// Painting works on this copy only, so a print preview that repaints later
// never reaches into maps that a new document or an open has replaced.
#include <QString>
#include <string>
#include <vector>

#include "gui/graph/GraphGeometry.h"

namespace qx {
class ModuleState;
class ModuleMap;
}  // namespace qx

namespace qx::gui {

struct SheetSetting {
    QString label;  // the Basic Setup dialog's label
    QString value;  // with its unit, as the dialog shows it
};

struct SheetMap {
    QString title;
    QString xLabel, xUnits, yLabel, yUnits;
    graph::AxisRange axes;
    std::vector<double> gridX, gridY;
    std::vector<double> x, y;  // the points
    bool wholeX = true;        // every x is a whole number
    bool wholeSteps = true;    // the value steps in whole units
};

struct TuneSheet {
    QString fileName;  // without its folder; "Untitled" for a new document
    QString serial;    // empty when not known
    QString firmware;  // empty when not known
    QString date;
    std::vector<SheetSetting> basic;
    std::vector<SheetMap> maps;
};

// The module's identity comes from the document's last link; date is shown as given.
TuneSheet MakeTuneSheet(const ModuleState& document, const QString& date);
SheetMap MakeSheetMap(const ModuleMap& map);

// The point's x with its unit: whole numbers when every x of the map is whole,
// else two decimals ("550 rpm", "1.07 volts").
QString PointXText(const SheetMap& map, int i);
// The point's value with its unit as the Set Y value dialog shows it: whole
// numbers for a map stepping in whole units, else one decimal ("30 deg", "2.5 msec").
QString PointValueText(const SheetMap& map, int i);
// A basic setting's value as the Basic Setup dialog shows it: the ignition
// mode and the switch lockout by their choice, the rest with two decimals.
QString BasicValueText(const ModuleState& document, int setting);

}  // namespace qx::gui
