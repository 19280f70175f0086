// Restore points in the running program: Download All and Write Changes after
// a relink keep what the emulated module held, and File > Restore Points...
// lists, filters, compares and opens them; Enter by reflex does nothing.
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <map>

#include "core/restore/RestorePoints.h"
#include "gui/GuiTestSupport.h"
#include "gui/app/AppFixture.h"
#include "gui/edit/CompareCommands.h"
#include "gui/edit/TuneComparison.h"
#include "gui/restore/RestoreCommands.h"
#include "gui/restore/RestorePointsDialog.h"
#include "support/ModuleMemory.h"

namespace qx::gui::testing {
namespace {

using Memory = std::map<uint16_t, uint8_t>;
using Action = RestorePointsDialog::Action;

class RestorePointsGuiTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        folder_ = dir_.filePath(QStringLiteral("data/quorvexi/restore-points")).toStdString();
        previous_ = ExchangeAppRestorePoints(std::make_unique<RestorePoints>(folder_, clock_, 0));
    }
    // Start() tears down the application it replaces: the store outlives that.
    ~RestorePointsGuiTest() override { ExchangeAppRestorePoints(std::move(previous_)); }
    RestorePoints& Store() { return *AppRestorePoints(); }
    // The emulated module's setting bytes, by the built-in address table.
    Memory ModuleMemory() const {
        return qx::test::SettingBytes([this](uint16_t a) { return device_->Core().Peek(a); });
    }
    void Poke(uint16_t first, uint8_t value) {
        for (uint16_t i = 0; i < 16; ++i)
            device_->Core().Poke(static_cast<uint16_t>(first + i), static_cast<uint8_t>(value + i));
    }
    // What a download of the point writes, by address.
    Memory PointMemory(const RestorePoint& point) {
        return qx::test::FileDownloadBytes(Store().PathOf(point));
    }
    RestoreCommands* Commands() { return app_->Frame()->findChild<RestoreCommands*>(); }

    std::string folder_;
    std::unique_ptr<RestorePoints> previous_;
};

TEST_F(RestorePointsGuiTest, DownloadAllAndWriteChangesKeepWhatTheModuleHeld) {
    Start();
    ASSERT_TRUE(started_);
    LinkEmulatedModule();
    Poke(0xB600, 10);
    Poke(0xB620, 2);
    const Memory beforeDownload = ModuleMemory();
    // Compare With Module reads the module: kept.
    Route(cmd::kCompareWithModule);
    ASSERT_TRUE(app_->Frame()->Compare()->Comparison().Active());
    std::vector<RestorePoint> list = Store().List();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].next, "compare");
    EXPECT_EQ(PointMemory(list[0]), beforeDownload);
    // Changed meanwhile (another tool, say): the download keeps what the module holds now.
    Poke(0xB610, 20);
    const Memory changed = ModuleMemory();
    clock_.Advance(1000);
    Route(cmd::kDownload);
    EXPECT_EQ(device_->Core().Peek(0xB600), 0);  // the new document's
    list = Store().List();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].next, "download");
    EXPECT_EQ(PointMemory(list[0]), changed);
    EXPECT_EQ(PointMemory(list[1]), beforeDownload);

    // Unlinked, a value is edited; on the relink the module holds something
    // else again (written elsewhere meanwhile), and Write Changes is chosen.
    Route(32774);
    ASSERT_FALSE(CommPort::Instance().IsLinked());
    ModuleValue& edited = *app_->Document().Map(3)->Point(2).value;
    ASSERT_TRUE(edited.SetValue(5.0, true));
    Memory beforeWrite;
    int asked = 0;
    answer_ = [&](const MessageRecord& m) -> std::optional<MsgResult> {
        if (m.caption != "Module Linked Again") return DefaultAnswer(m);
        ++asked;
        Poke(0xB650, 0);  // acceleration dwell: 1 msec a count, 0 to 15
        beforeWrite = ModuleMemory();
        return MsgResult::Yes;
    };
    clock_.Advance(1000);
    Route(32774);
    answer_ = nullptr;
    ASSERT_EQ(asked, 1);
    EXPECT_EQ(device_->Core().Peek(0xB632), 5);
    list = Store().List();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].next, "write changes");
    EXPECT_EQ(PointMemory(list[0]), beforeWrite);
}

TEST_F(RestorePointsGuiTest, TheDialogListsFiltersComparesAndOpens) {
    // Three points of two modules, each a tune of its own.
    const double revLimits[] = {6144.0, 7040.0, 8064.0};
    const int serials[] = {42, 7, 42};
    for (int i = 0; i < 3; ++i) {
        ModuleState tune;
        ASSERT_EQ(tune.OnNewDocument(), DocStatus::Done);
        tune.revLimit().StoreValue(revLimits[i]);
        RestorePoint about;
        about.serial = serials[i];
        about.next = "download";
        std::string why;
        clock_.Advance(60000);
        ASSERT_EQ(Store().Keep(tune.StoreContents(), about, why), RestorePoints::Outcome::Kept)
            << why;
    }
    Start();
    ASSERT_TRUE(started_);
    RestoreCommands* commands = Commands();
    ASSERT_NE(commands, nullptr);

    // Enter by reflex closes the dialog and does nothing.
    commands->SetChooser([](RestorePointsDialog& d) {
        d.show();
        QTest::keyClick(&d, Qt::Key_Return);
        EXPECT_FALSE(d.isVisible());
        return RestoreCommands::Choice{d.ChosenAction(), d.ChosenPath()};
    });
    Route(cmd::kRestorePoints);
    EXPECT_FALSE(app_->Frame()->Compare()->Comparison().Active());

    // Newest first; the filter keeps one module's; Download wants the link.
    commands->SetChooser([&](RestorePointsDialog& d) {
        QTreeWidget* list = d.List();
        EXPECT_EQ(list->topLevelItemCount(), 3);
        EXPECT_EQ(list->topLevelItem(0)->text(0), "1970-01-01 00:03:01");
        EXPECT_EQ(list->topLevelItem(1)->text(1), "00007");
        d.SerialFilter()->setCurrentIndex(d.SerialFilter()->findText(QStringLiteral("00007")));
        EXPECT_EQ(list->topLevelItemCount(), 1);
        EXPECT_FALSE(d.Button(Action::Download)->isEnabled());
        QTest::mouseClick(d.Button(Action::Compare), Qt::LeftButton);
        return RestoreCommands::Choice{d.ChosenAction(), d.ChosenPath()};
    });
    Route(cmd::kRestorePoints);
    ASSERT_TRUE(app_->Frame()->Compare()->Comparison().Active());

    // Open: the tune of the newest point, under no name.
    commands->SetChooser([&](RestorePointsDialog& d) {
        QTest::mouseClick(d.Button(Action::Open), Qt::LeftButton);
        return RestoreCommands::Choice{d.ChosenAction(), d.ChosenPath()};
    });
    Route(cmd::kRestorePoints);
    EXPECT_EQ(app_->Document().revLimit().GetValue(), 8064.0);
    EXPECT_EQ(app_->Document().GetPathName(), "");
    EXPECT_EQ(Store().List().size(), 3u);
}

}  // namespace
}  // namespace qx::gui::testing
