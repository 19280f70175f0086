#include "gui/dialogs/BasicSetupDialog.h"

#include <QEvent>
#include <QLineEdit>

#include "core/host/Numbers.h"
#include "core/model/ModuleState.h"

namespace qx::gui {

namespace {

struct TextBinding {
    int editId;
    int setting;  // BasicSetting of the document
};

// Indexed by the dialog's text fields.
constexpr std::array<TextBinding, 10> kTextBindings = {{
    {BasicSetupDialog::kCamSensorSyncEdit, kCamSensorSync},
    {BasicSetupDialog::kCamSensorOffsetEdit, kCamSensorOffset},
    {BasicSetupDialog::kIgnitionDelayEdit, kIgnitionDelay},
    {BasicSetupDialog::kRevLimitEdit, kRevLimit},
    {BasicSetupDialog::kStartModeEnterEdit, kStartModeEnter},
    {BasicSetupDialog::kStartModeExitEdit, kStartModeExit},
    {BasicSetupDialog::kAuxRevLimitEdit, kAuxRevLimit},
    {BasicSetupDialog::kNitrousDelayEdit, kNitrousDelay},
    {BasicSetupDialog::kNosArmingEdit, kNosArmingRpm},
    {BasicSetupDialog::kRevLimitRateEdit, kRevLimitRate},
}};

// The order in which changed settings are set: the module sees the writes in
// this order.
constexpr std::array<int, 10> kApplyOrder = {
    kCamSensorOffset, kCamSensorSync, kIgnitionDelay, kRevLimit,     kStartModeEnter,
    kStartModeExit,   kAuxRevLimit,   kRevLimitRate,  kNitrousDelay, kNosArmingRpm,
};

constexpr int kSwitchLockoutOn = 170;

int Truncated(double value) {
    return static_cast<int>(TruncateToInt32(value));
}

}  // namespace

BasicSetupDialog::BasicSetupDialog(ModuleState& document, Host& host, QWidget* parent)
    : TemplateDialog(res::kBasicSetupDialog, parent), document_(document), host_(host) {
    for (const TextBinding& b : kTextBindings) {
        auto* edit = ControlAs<QLineEdit>(b.editId);
        if (!edit) continue;
        edit->installEventFilter(this);
        const int id = b.editId;
        connect(edit, &QLineEdit::textChanged, this,
                [this, id] { OnEditNotification(id, kEnChange); });
    }
}

BasicSetupDialog::~BasicSetupDialog() = default;

bool BasicSetupDialog::ApplyEnabled() const {
    QWidget* apply = Control(kApplyButton);
    return apply && apply->isEnabled();
}

void BasicSetupDialog::DoDataExchange(bool save) {
    for (std::size_t i = 0; i < kTextBindings.size(); ++i) {
        if (save)
            texts_[i] = TextUtf8(kTextBindings[i].editId);
        else
            SetTextUtf8(kTextBindings[i].editId, texts_[i]);
    }
    if (save) {
        ignitionModeIndex_ = RadioIndex(kSingleFireRadio);
        switchLockoutCheck_ = IsChecked(kSwitchLockoutCheck) ? 1 : 0;
    } else {
        SetRadioIndex(kSingleFireRadio, ignitionModeIndex_);
        SetChecked(kSwitchLockoutCheck, switchLockoutCheck_ != 0);
    }
}

bool BasicSetupDialog::OnInitDialog() {
    for (std::size_t i = 0; i < kTextBindings.size(); ++i)
        texts_[i] = FormatDouble("%.2f", document_.BasicValue(kTextBindings[i].setting).GetValue());
    DoDataExchange(false);

    const int mode = Truncated(document_.ignitionMode().GetValue());
    SetChecked(mode == 2 ? kDualFireRadio : kSingleFireRadio, true);
    ignitionModeIndex_ = mode - 1;
    SetChecked(kSwitchLockoutCheck,
               Truncated(document_.switchLockout().GetValue()) == kSwitchLockoutOn);

    EnableControl(kApplyButton, false);
    focusControl_ = kIgnitionDelayEdit;
    return true;
}

bool BasicSetupDialog::TextsAreNumbers() {
    for (const TextBinding& b : kTextBindings)
        if (!ReadNumber(b.editId, kBasicSettings[static_cast<std::size_t>(b.setting)].label, host_))
            return false;
    return true;
}

void BasicSetupDialog::OnOK() {
    // A typo must never reach the module: every box is a number, or nothing is set.
    if (!TextsAreNumbers()) return;
    DoDataExchange(true);
    accept();
    ApplyChanges();
}

void BasicSetupDialog::OnCommand(int id) {
    if (id == kApplyButton) OnApply();
}

void BasicSetupDialog::OnApply() {
    if (!TextsAreNumbers()) return;
    DoDataExchange(true);
    ApplyChanges();
    // Disabling the focused Apply button passes the focus on to the next
    // control, which would then count as the last one entered.
    const int back = focusControl_;
    EnableControl(kApplyButton, false);
    FocusControl(back);
}

bool BasicSetupDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        for (const TextBinding& b : kTextBindings) {
            if (Control(b.editId) != watched) continue;
            OnEditNotification(b.editId,
                               event->type() == QEvent::FocusIn ? kEnSetFocus : kEnKillFocus);
            break;
        }
    }
    return TemplateDialog::eventFilter(watched, event);
}

void BasicSetupDialog::OnEditNotification(int id, int code) {
    switch (code) {
        case kEnSetFocus:
            focusText_ = TextUtf8(id);
            focusControl_ = id;
            break;
        case kEnKillFocus:
            if (TextUtf8(id) != focusText_) EnableControl(kApplyButton, true);
            break;
        case kEnChange:
            EnableControl(kApplyButton, true);
            break;
        default:
            break;
    }
}

bool BasicSetupDialog::ApplyChanges() {
    std::array<double, kBasicValueCount> typed{};
    std::array<bool, kBasicValueCount> changed{};
    bool any = false;
    for (std::size_t i = 0; i < kTextBindings.size(); ++i) {
        const int setting = kTextBindings[i].setting;
        // Checked by TextsAreNumbers; a text that is none still changes nothing.
        const std::optional<double> number = ParseTypedNumber(texts_[i]);
        if (!number) continue;
        typed[setting] = *number;
        changed[setting] = typed[setting] != document_.BasicValue(setting).GetValue();
        any = any || changed[setting];
    }
    const double mode = ignitionModeIndex_ + 1;
    changed[kIgnitionMode] = mode != Truncated(document_.ignitionMode().GetValue());
    const bool lockoutOn = switchLockoutCheck_ != 0;
    changed[kSwitchLockout] =
        lockoutOn != (Truncated(document_.switchLockout().GetValue()) == kSwitchLockoutOn);
    any = any || changed[kIgnitionMode] || changed[kSwitchLockout];
    if (!any) return false;

    // One step of the history, named after the setting when only one changed.
    // A failed write has told the user; the other settings are still set.
    std::vector<EditTarget> targets;
    for (int setting : kApplyOrder)
        if (changed[setting]) targets.push_back({SettingKey::Basic(setting), typed[setting]});
    if (changed[kIgnitionMode]) targets.push_back({SettingKey::Basic(kIgnitionMode), mode});
    if (changed[kSwitchLockout])
        targets.push_back({SettingKey::Basic(kSwitchLockout), lockoutOn ? kSwitchLockoutOn : 0.0});
    const std::string name =
        targets.size() == 1 ? SettingLabel(targets.front().key) : "Basic Settings";
    document_.History().Perform(name, targets);
    return true;
}

void RunBasicSetupDialog(ModuleState& document, Host& host, QWidget* parent) {
    BasicSetupDialog dialog(document, host, parent);
    dialog.DoModal();
}

}  // namespace qx::gui
