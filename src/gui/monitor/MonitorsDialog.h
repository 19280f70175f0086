#pragma once
// "Active Monitors": one check box per monitor display. OK applies the choice
// to the monitor window, which then opens (any display on) or closes (none)
// and refreshes; Cancel changes nothing.
//
// Ownership: created on the stack by the command that runs it; it does not own
// the monitor window, which must outlive it.
#include "gui/resources/TemplateDialog.h"

namespace qx::gui {

class MonitorWindow;

class MonitorsDialog : public TemplateDialog {
    Q_OBJECT
  public:
    // Check box ids and the display each one stands for.
    static constexpr int kEngineSpeedBox = 1033;
    static constexpr int kEngineAccelBox = 1034;
    static constexpr int kFrontSparkBox = 1035;
    static constexpr int kPeakAccelBox = 1036;
    static constexpr int kRearSparkBox = 1037;
    static constexpr int kBatteryVoltageBox = 1039;
    static constexpr int kVoesRetardBox = 1041;
    // The box of display i (0 .. 6), or -1.
    static int BoxOfDisplay(int index);

    explicit MonitorsDialog(MonitorWindow* monitorWindow);
    ~MonitorsDialog() override;

    int batteryVoltageOn = 0;
    int engineAccelOn = 0;
    int engineSpeedOn = 0;
    int frontSparkAdvanceOn = 0;
    int rearSparkAdvanceOn = 0;
    int peakAccelOn = 0;
    int voesRetardOn = 0;

  protected:
    // save: check boxes to flags; else flags to check boxes.
    void DoDataExchange(bool save);
    bool OnInitDialog() override;
    void OnOK() override;

  private:
    MonitorWindow* monitorWindow_;
};

}  // namespace qx::gui
