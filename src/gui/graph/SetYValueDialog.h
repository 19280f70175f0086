#pragma once
// The Set Y value dialog (template 130): shows the selected point's x value and
// the map's axis names and units, and lets the user type the point's y value.
// OK sets the typed value through the marker exactly as a drag would. Lives on
// the stack of the view's OpenSetYValueDialog.
#include <string>

#include "gui/resources/TemplateDialog.h"

namespace qx::gui {

class MapGraphView;
class MapPointMarker;

class CSetYValueDialog : public TemplateDialog {
    Q_OBJECT
  public:
    // Control ids of template 130.
    static constexpr int kYValueEdit = 1000;
    static constexpr int kXValueStatic = 1002;
    static constexpr int kYLabelStatic = 1006;
    static constexpr int kXLabelStatic = 1007;
    static constexpr int kXUnitStatic = 1008;
    static constexpr int kYUnitStatic = 1009;

    // For the marker's point on the view's current map; neither is owned.
    CSetYValueDialog(MapGraphView* view, MapPointMarker* marker, Host& host);
    ~CSetYValueDialog() override;

    const std::string& XValueText() const { return xValueText_; }
    const std::string& YValueText() const { return yValueText_; }

  protected:
    bool OnInitDialog() override;
    void OnOK() override;

  private:
    MapGraphView* view_;
    MapPointMarker* marker_;
    Host& host_;
    std::string xValueText_;
    std::string yValueText_;
};

}  // namespace qx::gui
