#pragma once
// "Basic Setup": the twelve basic settings of the document in one modal dialog.
// Apply and OK set every changed setting with SetValue, so with the link up
// each change reaches the module at once. The hidden controls (nitrous delay,
// NOS arming, switch lockout) take part like the others, so their settings
// pass through unchanged. Numbers are shown and read with a decimal point
// whatever the locale.
//
// Ownership: the dialog does not own the document; the document must outlive
// it. The dialog lives on the stack of the command that shows it.
#include <array>
#include <string>

#include "gui/resources/TemplateDialog.h"

namespace qx {
class Host;
class ModuleState;
}  // namespace qx

namespace qx::gui {

class BasicSetupDialog : public TemplateDialog {
    Q_OBJECT
  public:
    // Control ids.
    static constexpr int kRevLimitEdit = 1005;
    static constexpr int kIgnitionDelayEdit = 1006;
    static constexpr int kStartModeExitEdit = 1007;
    static constexpr int kStartModeEnterEdit = 1008;
    static constexpr int kCamSensorSyncEdit = 1009;
    static constexpr int kCamSensorOffsetEdit = 1010;
    static constexpr int kApplyButton = 1011;
    static constexpr int kAuxRevLimitEdit = 1012;
    static constexpr int kRevLimitRateEdit = 1013;
    static constexpr int kNitrousDelayEdit = 1014;
    static constexpr int kNosArmingEdit = 1015;
    static constexpr int kSingleFireRadio = 1003;
    static constexpr int kDualFireRadio = 1004;
    static constexpr int kSwitchLockoutCheck = 1017;
    static constexpr int kHelpButton = 9;

    // Edit notifications.
    static constexpr int kEnSetFocus = 0x0100;
    static constexpr int kEnKillFocus = 0x0200;
    static constexpr int kEnChange = 0x0300;

    BasicSetupDialog(ModuleState& document, Host& host, QWidget* parent = nullptr);
    ~BasicSetupDialog() override;

    // Sets every setting whose field differs from its value, in a fixed order,
    // and marks the document modified. False (and nothing marked) when nothing
    // differed.
    bool ApplyChanges();

    // The edit control that last received the focus.
    int FocusControlId() const { return focusControl_; }
    bool ApplyEnabled() const;

  protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCommand(int id) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // One text field per edit, in the order of the fields of the dialog.
    enum TextField {
        kCamSync,
        kCamOffset,
        kDelay,
        kRevLimit,
        kStartEnter,
        kStartExit,
        kAuxRevLimit,
        kNitrousDelay,
        kNosArming,
        kRevLimitRate,
        kTextFieldCount
    };

    // save: controls to fields; otherwise fields to controls.
    void DoDataExchange(bool save);
    void OnEditNotification(int id, int code);
    void OnApply();
    // False, having told the user and selected the box, when a box holds no number.
    bool TextsAreNumbers();

    ModuleState& document_;
    Host& host_;
    std::array<std::string, kTextFieldCount> texts_;
    int ignitionModeIndex_ = 0;
    int switchLockoutCheck_ = 0;
    std::string focusText_;
    int focusControl_ = kIgnitionDelayEdit;
};

// Shows the dialog modally for document (the Basic Module Settings command).
void RunBasicSetupDialog(ModuleState& document, Host& host, QWidget* parent);

}  // namespace qx::gui
