// The Basic Setup dialog: what it shows, when Apply is enabled, what OK, Apply
// and Cancel set and write, and in which order.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "DialogTestSupport.h"
#include "dialogs/BasicSetupDialog.h"
#include "emulator/ModuleMemory.h"

namespace qx::test {
namespace {

using gui::BasicSetupDialog;
using Dlg = BasicSetupDialog;

class BasicSetupTest : public DialogTest {
  protected:
    std::unique_ptr<Dlg> Open() {
        auto dialog = std::make_unique<Dlg>(document);
        dialog->show();
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        return dialog;
    }
    static QLineEdit* Edit(Dlg& d, int id) { return d.ControlAs<QLineEdit>(id); }
    static std::vector<uint16_t> Addresses(const std::vector<emu::WriteRecord>& writes) {
        std::vector<uint16_t> out;
        for (const emu::WriteRecord& w : writes) out.push_back(w.address);
        return out;
    }
};

TEST_F(BasicSetupTest, ShowsEveryValueWithTwoDecimalsAndAPointWhateverTheLocale) {
    document.nitrousDelay().StoreValue(2.5);
    auto d = Open();
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Basic Setup"));
    EXPECT_EQ(d->Text(Dlg::kIgnitionDelayEdit), "0.00");
    EXPECT_EQ(d->Text(Dlg::kStartModeExitEdit), "512.00");
    EXPECT_EQ(d->Text(Dlg::kStartModeEnterEdit), "350.00");  // defaults are stored unstepped
    EXPECT_EQ(d->Text(Dlg::kCamSensorSyncEdit), "0.00");
    EXPECT_EQ(d->Text(Dlg::kCamSensorOffsetEdit), "8.00");
    EXPECT_EQ(d->Text(Dlg::kRevLimitEdit), "6144.00");
    EXPECT_EQ(d->Text(Dlg::kAuxRevLimitEdit), "6144.00");
    EXPECT_EQ(d->Text(Dlg::kRevLimitRateEdit), "4.00");
    EXPECT_EQ(d->Text(Dlg::kNitrousDelayEdit), "2.50");
    EXPECT_EQ(d->Text(Dlg::kNosArmingEdit), "4096.00");
    EXPECT_TRUE(d->IsChecked(Dlg::kDualFireRadio));
    EXPECT_FALSE(d->IsChecked(Dlg::kSingleFireRadio));
    EXPECT_FALSE(d->IsChecked(Dlg::kSwitchLockoutCheck));
    EXPECT_FALSE(d->ApplyEnabled());
    EXPECT_FALSE(d->Control(Dlg::kHelpButton)->isEnabled());
    for (int id : {Dlg::kNitrousDelayEdit, Dlg::kNosArmingEdit, Dlg::kSwitchLockoutCheck})
        EXPECT_TRUE(d->Control(id)->isHidden()) << id;
    EXPECT_EQ(d->FocusControlId(), Dlg::kIgnitionDelayEdit);
    EXPECT_EQ(QApplication::focusWidget(), d->Control(Dlg::kIgnitionDelayEdit));
    EXPECT_FALSE(SavePicture(*d, "basic-setup-dialog").empty());
}

TEST_F(BasicSetupTest, OkWithoutAnyEditOnANewDocumentChangesAndWritesNothing) {
    LinkModule();
    std::vector<double> before;
    for (int i = 0; i < kBasicValueCount; ++i) before.push_back(document.BasicValue(i).GetValue());
    auto d = Open();
    Click(d->Control(1));
    EXPECT_FALSE(d->isVisible());
    EXPECT_FALSE(document.IsModified());
    EXPECT_TRUE(Writes().empty());
    for (int i = 0; i < kBasicValueCount; ++i)
        EXPECT_EQ(document.BasicValue(i).GetValue(), before[static_cast<std::size_t>(i)]) << i;
}

TEST_F(BasicSetupTest, StartModeEnterFromAnUploadIsSetAgainAndMarksTheDocument) {
    LinkModule();
    emulator->Core().Poke(0xB66B, 0x85);  // internal -5: 341.333...
    ASSERT_TRUE(document.UploadSettings());
    document.SetModifiedFlag(false);
    emulator->Core().ResetCounters();
    const double uploaded = document.startModeEnter().GetValue();
    ASSERT_NEAR(uploaded, 1024.0 / 3.0, 1e-9);

    auto d = Open();
    EXPECT_EQ(d->Text(Dlg::kStartModeEnterEdit), "341.33");
    Click(d->Control(1));
    EXPECT_TRUE(document.IsModified());
    // 341.33 steps back to the same value: nothing goes to the module.
    EXPECT_EQ(document.startModeEnter().GetValue(), uploaded);
    EXPECT_TRUE(Writes().empty());
}

TEST_F(BasicSetupTest, ApplySetsTheSteppedRevLimitWritesItAndKeepsTheTypedText) {
    document.revLimit().StoreValue(6400);
    LinkModule();
    auto d = Open();
    TypeInto(Edit(*d, Dlg::kRevLimitEdit), QStringLiteral("6100"));
    ASSERT_TRUE(d->ApplyEnabled());
    Click(d->Control(Dlg::kApplyButton));

    EXPECT_EQ(document.revLimit().GetValue(), 6144.0);
    EXPECT_TRUE(document.revLimit().InSync());
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Writes()[0], (emu::WriteRecord{0xB662, 0x01}));
    EXPECT_EQ(d->Text(Dlg::kRevLimitEdit), "6100");
    EXPECT_TRUE(document.IsModified());
    EXPECT_TRUE(d->isVisible());
    EXPECT_FALSE(d->ApplyEnabled());
    // The focus goes back to the edit last entered.
    EXPECT_EQ(QApplication::focusWidget(), d->Control(Dlg::kRevLimitEdit));
    EXPECT_EQ(d->FocusControlId(), Dlg::kRevLimitEdit);
}

TEST_F(BasicSetupTest, ApplyIsEnabledByEditingOnlyNotByFocusOrTheModeButtons) {
    auto d = Open();
    QLineEdit* delay = Edit(*d, Dlg::kIgnitionDelayEdit);
    QLineEdit* rev = Edit(*d, Dlg::kRevLimitEdit);
    // Focus passing through edits without a change.
    rev->setFocus(Qt::TabFocusReason);
    delay->setFocus(Qt::TabFocusReason);
    EXPECT_FALSE(d->ApplyEnabled());
    EXPECT_EQ(d->FocusControlId(), Dlg::kIgnitionDelayEdit);
    Click(d->Control(Dlg::kSingleFireRadio));
    EXPECT_TRUE(d->IsChecked(Dlg::kSingleFireRadio));
    EXPECT_FALSE(d->ApplyEnabled());

    TypeInto(rev, QStringLiteral("5000"));
    EXPECT_TRUE(d->ApplyEnabled());
    EXPECT_EQ(d->FocusControlId(), Dlg::kRevLimitEdit);
    Click(d->Control(Dlg::kApplyButton));
    EXPECT_FALSE(d->ApplyEnabled());
}

TEST_F(BasicSetupTest, SingleFireLeavesApplyDisabledAndOkSetsModeOne) {
    LinkModule();
    auto d = Open();
    Click(d->Control(Dlg::kSingleFireRadio));
    EXPECT_FALSE(d->ApplyEnabled());
    Click(d->Control(1));
    EXPECT_EQ(document.ignitionMode().GetValue(), 1.0);
    EXPECT_TRUE(document.IsModified());
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Writes()[0], (emu::WriteRecord{0xB661, 0x01}));
}

TEST_F(BasicSetupTest, TextThatIsNotANumberCountsAsZeroAndALeadingNumberIsRead) {
    document.ignitionDelay().StoreValue(3);
    document.revLimitRate().StoreValue(2);
    auto d = Open();
    TypeInto(Edit(*d, Dlg::kIgnitionDelayEdit), QStringLiteral("abc"));
    TypeInto(Edit(*d, Dlg::kRevLimitRateEdit), QStringLiteral("6,5"));  // a comma ends the number
    Click(d->Control(1));
    EXPECT_EQ(document.ignitionDelay().GetValue(), 0.0);
    EXPECT_EQ(document.revLimitRate().GetValue(), 6.0);
    EXPECT_FALSE(document.ignitionDelay().InSync());  // set with the link down
}

TEST_F(BasicSetupTest, CancelAfterApplyKeepsWhatApplySet) {
    auto d = Open();
    TypeInto(Edit(*d, Dlg::kCamSensorSyncEdit), QStringLiteral("-4"));
    Click(d->Control(Dlg::kApplyButton));
    TypeInto(Edit(*d, Dlg::kCamSensorSyncEdit), QStringLiteral("7"));
    Click(d->Control(2));
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(document.camSensorSync().GetValue(), -4.0);
    EXPECT_TRUE(document.IsModified());
}

TEST_F(BasicSetupTest, ChangedSettingsAreWrittenInTheirFixedOrderAndOthersAreLeftAlone) {
    LinkModule();
    auto d = Open();
    TypeInto(Edit(*d, Dlg::kIgnitionDelayEdit), QStringLiteral("2"));
    TypeInto(Edit(*d, Dlg::kRevLimitEdit), QStringLiteral("5120"));
    TypeInto(Edit(*d, Dlg::kCamSensorOffsetEdit), QStringLiteral("16"));
    TypeInto(Edit(*d, Dlg::kCamSensorSyncEdit), QStringLiteral("3"));
    d->SetText(Dlg::kNosArmingEdit, QStringLiteral("2750"));  // hidden: set as data
    d->SetChecked(Dlg::kSwitchLockoutCheck, true);
    Click(d->Control(Dlg::kSingleFireRadio));
    Click(d->Control(1));
    EXPECT_EQ(Addresses(Writes()),
              (std::vector<uint16_t>{0xB668, 0xB66C, 0xB669, 0xB662, 0xB667, 0xB661, 0xB670}));
    EXPECT_EQ(document.nosArmingRpm().GetValue(), 2750.0);
    EXPECT_EQ(document.switchLockout().GetValue(), 170.0);
    EXPECT_EQ(Writes().back(), (emu::WriteRecord{0xB670, 0xAA}));
}

TEST_F(BasicSetupTest, HiddenSettingsPassThroughUnchanged) {
    document.nitrousDelay().StoreValue(2.5);
    document.nosArmingRpm().StoreValue(3850);
    document.switchLockout().StoreValue(170);
    LinkModule();
    auto d = Open();
    EXPECT_TRUE(d->IsChecked(Dlg::kSwitchLockoutCheck));
    TypeInto(Edit(*d, Dlg::kAuxRevLimitEdit), QStringLiteral("7168"));
    Click(d->Control(1));
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Writes()[0].address, 0xB66D);
    EXPECT_EQ(document.nitrousDelay().GetValue(), 2.5);
    EXPECT_EQ(document.nosArmingRpm().GetValue(), 3850.0);
    EXPECT_EQ(document.switchLockout().GetValue(), 170.0);
}

TEST_F(BasicSetupTest, AFailedWriteKeepsItsOldValueAndTheNextSettingsAreStillSet) {
    LinkModule();
    auto d = Open();
    TypeInto(Edit(*d, Dlg::kCamSensorOffsetEdit), QStringLiteral("24"));
    TypeInto(Edit(*d, Dlg::kRevLimitEdit), QStringLiteral("5120"));
    // Every attempt of the first write is refused.
    emulator->Core().ArmFault(emu::Fault::Nak, CommPort::Instance().Retries() + 1);
    Click(d->Control(1));
    EXPECT_EQ(document.camSensorOffset().GetValue(), 8.0);
    EXPECT_EQ(document.revLimit().GetValue(), 5120.0);
    EXPECT_EQ(Writes(), (std::vector<emu::WriteRecord>{{0xB662, 0x87}}));
    EXPECT_TRUE(document.IsModified());
    ASSERT_FALSE(host->Messages().empty());
    EXPECT_NE(host->Messages().front().text.find("ModuleValue::SyncModuleWithHost"),
              std::string::npos);
}

}  // namespace
}  // namespace qx::test
