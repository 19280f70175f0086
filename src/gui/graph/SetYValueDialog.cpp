#include "gui/graph/SetYValueDialog.h"

#include <QLineEdit>
#include <cmath>

#include "core/host/Numbers.h"
#include "core/maps/ModuleMap.h"
#include "gui/graph/MapGraphView.h"
#include "gui/graph/MapPointMarker.h"

namespace qx::gui {

CSetYValueDialog::CSetYValueDialog(MapGraphView* view, MapPointMarker* marker, Host& host)
    : TemplateDialog(res::kSetYValueDialog, view), view_(view), marker_(marker), host_(host) {
    setObjectName(QStringLiteral("SetYValueDialog"));
}

CSetYValueDialog::~CSetYValueDialog() = default;

bool CSetYValueDialog::OnInitDialog() {
    const ModuleMap* map = view_->CurrentMap();
    const MapPoint* point = marker_->Point();
    if (map == nullptr || point == nullptr || point->value == nullptr) return true;
    xValueText_ = FormatDouble("%.3f", point->x);
    // A map stepping in halves shows its half: a whole number would change the
    // value when the user confirms without editing.
    const double step = map->Step();
    const bool wholeSteps = step == std::floor(step);
    yValueText_ = FormatDouble(wholeSteps ? "%.0f" : "%.1f", point->value->GetValue());
    SetTextUtf8(kXValueStatic, xValueText_);
    SetTextUtf8(kYValueEdit, yValueText_);
    SetTextUtf8(kXUnitStatic, map->XUnits());
    SetTextUtf8(kYUnitStatic, map->YUnits());
    SetTextUtf8(kXLabelStatic, map->XLabel());
    SetTextUtf8(kYLabelStatic, map->YLabel());
    setWindowTitle(QString::fromStdString(map->Title()));
    FocusControl(kYValueEdit);
    if (auto* edit = ControlAs<QLineEdit>(kYValueEdit)) edit->selectAll();
    return false;
}

void CSetYValueDialog::OnOK() {
    const ModuleMap* map = view_->CurrentMap();
    const std::optional<double> y =
        ReadNumber(kYValueEdit, map != nullptr ? map->YLabel() : std::string("Y Value"), host_);
    if (!y) return;
    xValueText_ = TextUtf8(kXValueStatic);
    yValueText_ = TextUtf8(kYValueEdit);
    accept();
    marker_->SetPointValue(*y, "Set");
    view_->update();
}

}  // namespace qx::gui
