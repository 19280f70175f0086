#include "gui/sheet/TuneSheet.h"

#include <cmath>

#include "core/host/Numbers.h"
#include "core/link/CommPort.h"
#include "core/maps/ModuleMap.h"
#include "core/model/ModuleState.h"
#include "gui/shell/FirmwareText.h"

namespace qx::gui {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QString WithUnit(const std::string& number, const QString& unit) {
    return unit.isEmpty() ? Q(number) : Q(number) + QLatin1Char(' ') + unit;
}

bool IsWhole(double v) {
    return std::isfinite(v) && std::fabs(v - std::round(v)) < 1e-6;
}

// The Basic Setup dialog's check box stands for this byte value.
constexpr int kSwitchLockoutOn = 170;

}  // namespace

SheetMap MakeSheetMap(const ModuleMap& map) {
    SheetMap m;
    m.title = Q(map.Title());
    m.xLabel = Q(map.XLabel());
    m.xUnits = Q(map.XUnits());
    m.yLabel = Q(map.YLabel());
    m.yUnits = Q(map.YUnits());
    m.axes = {map.ValueMin().x, map.ValueMax().x, map.ValueMin().y, map.ValueMax().y};
    if (!map.Initialized()) return m;
    for (int i = 0; i < map.GridLines().x; ++i) m.gridX.push_back(map.GetGridX(i));
    for (int i = 0; i < map.GridLines().y; ++i) m.gridY.push_back(map.GetGridY(i));
    for (int i = 0; i < map.PointCount(); ++i) {
        const MapPoint& p = map.Point(i);
        m.x.push_back(p.x);
        m.y.push_back(p.value ? p.value->GetValue() : 0.0);
        m.wholeX = m.wholeX && IsWhole(p.x);
    }
    m.wholeSteps = map.Step() == std::floor(map.Step());
    return m;
}

QString PointXText(const SheetMap& map, int i) {
    const double x = map.x.at(static_cast<std::size_t>(i));
    return WithUnit(FormatDouble(map.wholeX ? "%.0f" : "%.2f", x), map.xUnits);
}

QString PointValueText(const SheetMap& map, int i) {
    const double y = map.y.at(static_cast<std::size_t>(i));
    return WithUnit(FormatDouble(map.wholeSteps ? "%.0f" : "%.1f", y), map.yUnits);
}

QString BasicValueText(const ModuleState& document, int setting) {
    const double v = document.BasicValue(setting).GetValue();
    const int whole = static_cast<int>(TruncateToInt32(v));
    if (setting == kIgnitionMode) {
        if (whole == 1) return QStringLiteral("Single Fire");
        if (whole == 2) return QStringLiteral("Dual Fire");
        return Q(FormatDouble("%.0f", v));
    }
    if (setting == kSwitchLockout)
        return whole == kSwitchLockoutOn ? QStringLiteral("On") : QStringLiteral("Off");
    const char* unit = kBasicSettings[static_cast<std::size_t>(setting)].unit;
    return WithUnit(FormatDouble("%.2f", v), QString::fromLatin1(unit));
}

TuneSheet MakeTuneSheet(const ModuleState& document, const QString& date) {
    TuneSheet sheet;
    sheet.fileName = Q(document.GetTitle());
    sheet.date = date;
    const ModuleState::ModuleIdentity& id = document.LinkedModule();
    if (id.serial >= 0) sheet.serial = Q(FormatC("%05d", id.serial));
    if (id.firmware >= 0 && id.firmware != CommPort::kNoFirmware)
        sheet.firmware = FirmwareText(id.firmware);
    for (int i = 0; i < kBasicValueCount; ++i)
        sheet.basic.push_back(
            {QString::fromLatin1(kBasicSettings[static_cast<std::size_t>(i)].label),
             BasicValueText(document, i)});
    for (int i = 0; i < document.MapCount(); ++i)
        if (const ModuleMap* map = document.Map(i)) sheet.maps.push_back(MakeSheetMap(*map));
    return sheet;
}

}  // namespace qx::gui
