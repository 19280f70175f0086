// The Basic Setup dialog: what it shows, when Apply is enabled, what OK, Apply
// and Cancel set and write, and in which order.
#include "DialogTestSupport.h"
#include "gui/dialogs/BasicSetupDialog.h"

namespace qx::test {
namespace {

using Dlg = gui::BasicSetupDialog;

class BasicSetupTest : public DialogTest {
  protected:
    std::unique_ptr<Dlg> Open() { return DialogTest::Open<Dlg>(document, CurrentHost()); }
    static void Type(Dlg& d, int id, const char* text) {
        TypeInto(d.ControlAs<QLineEdit>(id), QString::fromLatin1(text));
    }
};

TEST_F(BasicSetupTest, ShowsEveryValueWithTwoDecimalsAndAPointWhateverTheLocale) {
    document.nitrousDelay().StoreValue(2.5);
    auto d = Open();
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Basic Setup"));
    EXPECT_EQ(d->Text(Dlg::kRevLimitEdit), QStringLiteral("6144.00"));
    EXPECT_EQ(d->Text(Dlg::kNitrousDelayEdit), QStringLiteral("2.50"));
    EXPECT_TRUE(d->IsChecked(Dlg::kDualFireRadio));
    EXPECT_FALSE(d->ApplyEnabled());
    for (int id : {Dlg::kNitrousDelayEdit, Dlg::kNosArmingEdit, Dlg::kSwitchLockoutCheck})
        EXPECT_TRUE(d->Control(id)->isHidden()) << id;
    EXPECT_EQ(QApplication::focusWidget(), d->Control(Dlg::kIgnitionDelayEdit));
    SavePicture(*d, "basic-setup-dialog");
}

// The modified mark follows the edit history: an OK that moves no value is no
// step, even where a shown text differs from its value (341.33 for 341.333...).
TEST_F(BasicSetupTest, OkWithoutAnEditIsNoStepEvenForAnUploadedStartModeEnter) {
    LinkModule();
    std::vector<double> before;
    for (int i = 0; i < kBasicValueCount; ++i) before.push_back(document.BasicValue(i).GetValue());
    Click(Open()->Control(1));
    EXPECT_FALSE(document.IsModified());
    EXPECT_TRUE(Writes().empty());
    for (int i = 0; i < kBasicValueCount; ++i)
        EXPECT_EQ(document.BasicValue(i).GetValue(), before[static_cast<std::size_t>(i)]) << i;

    emulator->Core().Poke(0xB66B, 0x85);  // internal -5
    ASSERT_TRUE(document.UploadSettings());
    EXPECT_TRUE(document.IsModified());  // by the upload
    emulator->Core().ResetCounters();
    const std::size_t steps = document.History().StepCount();
    ASSERT_NEAR(document.startModeEnter().GetValue(), 1024.0 / 3.0, 1e-9);
    auto d = Open();
    EXPECT_EQ(d->Text(Dlg::kStartModeEnterEdit), "341.33");
    Click(d->Control(1));
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(document.startModeEnter().GetValue(), 1024.0 / 3.0);  // steps back to the same
    EXPECT_EQ(document.History().StepCount(), steps);
    EXPECT_TRUE(Writes().empty());
}

TEST_F(BasicSetupTest, ApplySetsTheSteppedRevLimitWritesItAndKeepsTheTypedText) {
    document.revLimit().StoreValue(6400);
    LinkModule();
    auto d = Open();
    // Focus passing through an edit enables nothing; typing does.
    d->Control(Dlg::kRevLimitEdit)->setFocus(Qt::TabFocusReason);
    d->Control(Dlg::kIgnitionDelayEdit)->setFocus(Qt::TabFocusReason);
    EXPECT_FALSE(d->ApplyEnabled());
    Type(*d, Dlg::kRevLimitEdit, "6100");
    ASSERT_TRUE(d->ApplyEnabled());
    Click(d->Control(Dlg::kApplyButton));
    EXPECT_EQ(document.revLimit().GetValue(), 6144.0);
    EXPECT_TRUE(document.revLimit().InSync());
    EXPECT_EQ(Writes(), (std::vector<emu::WriteRecord>{{0xB662, 0x01}}));
    EXPECT_EQ(d->Text(Dlg::kRevLimitEdit), "6100");
    EXPECT_TRUE(document.IsModified());
    EXPECT_TRUE(d->isVisible());
    EXPECT_FALSE(d->ApplyEnabled());
    // The focus goes back to the edit last entered.
    EXPECT_EQ(QApplication::focusWidget(), d->Control(Dlg::kRevLimitEdit));
}

TEST_F(BasicSetupTest, SingleFireLeavesApplyDisabledAndOkSetsModeOne) {
    LinkModule();
    auto d = Open();
    Click(d->Control(Dlg::kSingleFireRadio));
    EXPECT_TRUE(d->IsChecked(Dlg::kSingleFireRadio));
    EXPECT_FALSE(d->ApplyEnabled());
    Click(d->Control(1));
    EXPECT_EQ(document.ignitionMode().GetValue(), 1.0);
    EXPECT_TRUE(document.IsModified());
    EXPECT_EQ(Writes(), (std::vector<emu::WriteRecord>{{0xB661, 0x01}}));
}

// A decimal comma is the decimal point, and Cancel after Apply keeps what Apply set.
TEST_F(BasicSetupTest, CancelAfterApplyKeepsWhatApplySetFromTheTypedText) {
    document.ignitionDelay().StoreValue(3);
    auto d = Open();
    Type(*d, Dlg::kIgnitionDelayEdit, " 2 ");
    Type(*d, Dlg::kRevLimitRateEdit, "6,5");  // steps up to 7
    Type(*d, Dlg::kCamSensorSyncEdit, "-4");
    Click(d->Control(Dlg::kApplyButton));
    Type(*d, Dlg::kCamSensorSyncEdit, "7");
    Click(d->Control(2));
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(document.ignitionDelay().GetValue(), 2.0);
    EXPECT_EQ(document.revLimitRate().GetValue(), 7.0);
    EXPECT_EQ(document.camSensorSync().GetValue(), -4.0);
    EXPECT_FALSE(document.ignitionDelay().InSync());  // set with the link down
    EXPECT_TRUE(document.IsModified());
    EXPECT_TRUE(host->Messages().empty());
}

// A typo never reaches the module: Apply and OK refuse the text, name the
// field, select it, and set nothing, not even the boxes that are numbers.
TEST_F(BasicSetupTest, TextThatIsNoNumberIsRefusedAndNothingIsSetOrWritten) {
    LinkModule();
    for (const char* typo : {"abc", "", "7abc", "1e999", "nan", "inf", "6,1,0", "6.1,0"}) {
        SCOPED_TRACE(typo);
        host->ClearRecords();
        auto d = Open();
        Type(*d, Dlg::kIgnitionDelayEdit, "4");
        Type(*d, Dlg::kRevLimitEdit, typo);
        for (int button : {static_cast<int>(Dlg::kApplyButton), 1}) {
            Click(d->Control(button));
            ASSERT_EQ(host->Messages().size(), 1u);
            EXPECT_EQ(host->Messages()[0].text,
                      std::string("Rev Limit: \"") + typo +
                          "\" is not a number.\nNothing has been changed.");
            EXPECT_EQ(host->Messages()[0].caption, "Basic Setup");
            host->ClearRecords();
            EXPECT_TRUE(d->isVisible());
            auto* edit = d->ControlAs<QLineEdit>(Dlg::kRevLimitEdit);
            EXPECT_EQ(QApplication::focusWidget(), edit);
            EXPECT_EQ(edit->selectedText(), edit->text());
            EXPECT_EQ(edit->text(), QString::fromLatin1(typo));
        }
        EXPECT_TRUE(Writes().empty());
        EXPECT_EQ(document.revLimit().GetValue(), 6144.0);
        EXPECT_EQ(document.ignitionDelay().GetValue(), 0.0);
        EXPECT_FALSE(document.IsModified());
    }
}

TEST_F(BasicSetupTest, ChangedSettingsAreWrittenInTheirFixedOrderAndHiddenOnesPassThrough) {
    LinkModule();
    auto d = Open();
    Type(*d, Dlg::kIgnitionDelayEdit, "2");
    Type(*d, Dlg::kRevLimitEdit, "5120");
    Type(*d, Dlg::kCamSensorOffsetEdit, "16");
    Type(*d, Dlg::kCamSensorSyncEdit, "3");
    d->SetText(Dlg::kNosArmingEdit, QStringLiteral("2750"));  // hidden: set as data
    d->SetChecked(Dlg::kSwitchLockoutCheck, true);
    Click(d->Control(Dlg::kSingleFireRadio));
    Click(d->Control(1));
    std::vector<uint16_t> addresses;
    for (const emu::WriteRecord& w : Writes()) addresses.push_back(w.address);
    EXPECT_EQ(addresses,
              (std::vector<uint16_t>{0xB668, 0xB66C, 0xB669, 0xB662, 0xB667, 0xB661, 0xB670}));
    EXPECT_EQ(document.nosArmingRpm().GetValue(), 2750.0);
    EXPECT_EQ(Writes().back(), (emu::WriteRecord{0xB670, 0xAA}));
}

}  // namespace
}  // namespace qx::test
