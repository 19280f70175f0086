#include "gui/monitor/MonitorsDialog.h"

#include "gui/monitor/MonitorDisplay.h"
#include "gui/monitor/MonitorWindow.h"
#include "gui/resources/DialogTemplates.h"

namespace qx::gui {

int MonitorsDialog::BoxOfDisplay(int index) {
    static constexpr int kBoxes[] = {kEngineSpeedBox, kEngineAccelBox, kPeakAccelBox,
                                     kFrontSparkBox,  kRearSparkBox,   kBatteryVoltageBox,
                                     kVoesRetardBox};
    if (index < 0 || index >= MonitorWindow::kDisplayCount) return -1;
    return kBoxes[index];
}

MonitorsDialog::MonitorsDialog(MonitorWindow* monitorWindow)
    : TemplateDialog(res::kMonitorsDialog, nullptr), monitorWindow_(monitorWindow) {
    setObjectName(QStringLiteral("MonitorsDialog"));
}

MonitorsDialog::~MonitorsDialog() = default;

void MonitorsDialog::DoDataExchange(bool save) {
    const std::pair<int, int*> fields[] = {
        {kBatteryVoltageBox, &batteryVoltageOn}, {kEngineAccelBox, &engineAccelOn},
        {kEngineSpeedBox, &engineSpeedOn},       {kFrontSparkBox, &frontSparkAdvanceOn},
        {kRearSparkBox, &rearSparkAdvanceOn},    {kPeakAccelBox, &peakAccelOn},
        {kVoesRetardBox, &voesRetardOn}};
    for (const auto& [id, flag] : fields) {
        if (save) {
            *flag = IsChecked(id) ? 1 : 0;
        } else {
            SetChecked(id, *flag != 0);
        }
    }
}

bool MonitorsDialog::OnInitDialog() {
    auto active = [this](int i) {
        const MonitorDisplay* d = monitorWindow_->Display(i);
        return d != nullptr && d->IsActive() ? 1 : 0;
    };
    engineSpeedOn = active(0);
    engineAccelOn = active(1);
    peakAccelOn = active(2);
    frontSparkAdvanceOn = active(3);
    rearSparkAdvanceOn = active(4);
    batteryVoltageOn = active(5);
    voesRetardOn = active(6);
    DoDataExchange(false);
    return true;
}

void MonitorsDialog::OnOK() {
    DoDataExchange(true);
    accept();
    MonitorWindow& w = *monitorWindow_;
    w.SetDisplayActive(0, engineSpeedOn != 0);
    w.SetDisplayActive(1, engineAccelOn != 0);
    w.SetDisplayActive(2, peakAccelOn != 0);
    w.SetDisplayActive(3, frontSparkAdvanceOn != 0);
    w.SetDisplayActive(4, rearSparkAdvanceOn != 0);
    w.SetDisplayActive(5, batteryVoltageOn != 0);
    w.SetDisplayActive(6, voesRetardOn != 0);
    if (w.ActiveCount() == 0) {
        w.HideMonitors();
    } else {
        w.ShowMonitors();
        w.RefreshDisplays(true);
    }
}

}  // namespace qx::gui
