#include <QColorDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <functional>

#include "GraphTestSupport.h"
#include "graph/SetYValueDialog.h"
#include "host/Profile.h"

namespace qx::test {
namespace {

using gui::CSetYValueDialog;

class SetYValue : public GraphTest {
  protected:
    // Opens the dialog through command 32797 and lets act work on it while it runs.
    void RunDialog(const std::function<void(CSetYValueDialog&)>& act) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<CSetYValueDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            ran = true;
            act(*dialog);
            if (dialog->isVisible()) dialog->reject();
        });
        ASSERT_TRUE(view->HandleCommand(gui::kCmdSetYValue));
        ASSERT_TRUE(ran);
    }

    // Types text into the edit box and presses OK.
    double Enter(int point, const QString& text) {
        view->SelectMarkerByIndex(point);
        RunDialog([&](CSetYValueDialog& d) {
            auto* edit = d.ControlAs<QLineEdit>(CSetYValueDialog::kYValueEdit);
            ASSERT_NE(edit, nullptr);
            edit->setText(text);
            QTest::keyClick(edit, Qt::Key_Return);
        });
        return Value(point);
    }
};

TEST_F(SetYValue, TypedTextIsReadLikeAtof) {
    EXPECT_DOUBLE_EQ(Enter(1, "12.7"), 13.0);
    EXPECT_DOUBLE_EQ(Enter(2, "12.2"), 12.0);
    EXPECT_DOUBLE_EQ(Enter(3, "1e1"), 10.0);
    EXPECT_DOUBLE_EQ(Enter(4, "7abc"), 7.0);
    EXPECT_DOUBLE_EQ(Enter(5, "  99"), 45.0);  // clamped to the top
    EXPECT_DOUBLE_EQ(Enter(4, ""), 0.0);       // empty is 0
    EXPECT_DOUBLE_EQ(Enter(6, "-3"), 0.0);     // clamped to the bottom
    EXPECT_TRUE(document.IsModified());
}

TEST_F(SetYValue, ShowsTheMapsTextsAndThePoint) {
    ASSERT_TRUE(Marker(1).SetPointValue(12.0));
    view->SelectMarkerByIndex(1);
    RunDialog([](CSetYValueDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Front Cylinder Spark Advance"));
        EXPECT_EQ(d.Text(CSetYValueDialog::kXValueStatic), QStringLiteral("550.000"));
        EXPECT_EQ(d.Text(CSetYValueDialog::kYValueEdit), QStringLiteral("12"));
        EXPECT_EQ(d.Text(CSetYValueDialog::kXLabelStatic), QStringLiteral("Engine Speed"));
        EXPECT_EQ(d.Text(CSetYValueDialog::kXUnitStatic), QStringLiteral("rpm"));
        EXPECT_EQ(d.Text(CSetYValueDialog::kYLabelStatic), QStringLiteral("Advance"));
        EXPECT_EQ(d.Text(CSetYValueDialog::kYUnitStatic), QStringLiteral("deg"));
        auto* edit = d.ControlAs<QLineEdit>(CSetYValueDialog::kYValueEdit);
        EXPECT_EQ(d.focusWidget(), edit);
        EXPECT_EQ(edit->selectedText(), QStringLiteral("12"));
    });
}

TEST_F(SetYValue, OkWithoutEditingChangesNothing) {
    ASSERT_TRUE(Marker(2).SetPointValue(12.0));
    document.SetModifiedFlag(false);
    view->SelectMarkerByIndex(2);
    RunDialog([](CSetYValueDialog& d) {
        QTest::keyClick(d.ControlAs<QLineEdit>(CSetYValueDialog::kYValueEdit), Qt::Key_Return);
    });
    EXPECT_DOUBLE_EQ(Value(2), 12.0);
    EXPECT_FALSE(document.IsModified());
}

TEST_F(SetYValue, AHalfOnADwellMapSurvivesOk) {
    for (double half : {2.5, 3.5}) {
        ShowMap(4);
        ASSERT_TRUE(Marker(1).SetPointValue(half));
        document.SetModifiedFlag(false);
        view->SelectMarkerByIndex(1);
        RunDialog([&](CSetYValueDialog& d) {
            EXPECT_EQ(d.Text(CSetYValueDialog::kYValueEdit).toDouble(), half);
            QTest::keyClick(d.ControlAs<QLineEdit>(CSetYValueDialog::kYValueEdit), Qt::Key_Return);
        });
        EXPECT_DOUBLE_EQ(Value(1), half);
        EXPECT_FALSE(document.IsModified());
    }
}

TEST_F(SetYValue, CancelChangesNothing) {
    view->SelectMarkerByIndex(3);
    RunDialog([](CSetYValueDialog& d) {
        d.ControlAs<QLineEdit>(CSetYValueDialog::kYValueEdit)->setText("30");
        d.reject();
    });
    EXPECT_DOUBLE_EQ(Value(3), 0.0);
    EXPECT_FALSE(document.IsModified());
}

TEST_F(SetYValue, MirroredPointFollowsTheTypedValue) {
    SetMirrorSetting(true);
    Enter(4, "20");
    EXPECT_DOUBLE_EQ(document.Map(1)->Point(4).value->GetValue(), 20.0);
}

class ColorCommands : public GraphTest {
  protected:
    // Runs a colour command; act answers the picker.
    void Pick(int command, const std::function<void(QColorDialog&)>& act) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            ran = true;
            act(*dialog);
        });
        ASSERT_TRUE(view->HandleCommand(command));
        ASSERT_TRUE(ran);
    }
};

TEST_F(ColorCommands, PickerOpensOnBlackAndCancelChangesNothing) {
    const gui::ColorRef before = view->MapLineColor();
    Pick(gui::kCmdMapLineColor, [](QColorDialog& d) {
        EXPECT_EQ(d.currentColor(), QColor(0, 0, 0));
        d.reject();
    });
    EXPECT_EQ(view->MapLineColor(), before);
    EXPECT_FALSE(AppProfile().HasKey("Colors", "MapLineColor"));
}

TEST_F(ColorCommands, OkStoresTheColourInTheProfile) {
    Pick(gui::kCmdInSyncMarkerColor, [](QColorDialog& d) {
        d.setCurrentColor(QColor(0x12, 0x34, 0x56));
        d.accept();
    });
    EXPECT_EQ(view->InSyncColor(), 0x563412u);
    EXPECT_EQ(AppProfile().GetInt("Colors", "InSyncMarkerColor", 0), 0x563412);
    // The next view reads it back.
    gui::MapGraphView other;
    other.SetDocument(&document);
    other.OnInitialUpdate();
    EXPECT_EQ(other.InSyncColor(), 0x563412u);
}

TEST_F(ColorCommands, ViewCommandsAndForwarding) {
    gui::ViewCommandState state;
    state.enabled = false;
    EXPECT_TRUE(view->UpdateCommand(gui::kCmdGridLineColor, state));
    EXPECT_TRUE(state.enabled);
    EXPECT_FALSE(view->HandleCommand(32775));
    std::vector<int> forwarded;
    view->SetCommandForwarder(
        [&](int id) {
            forwarded.push_back(id);
            return true;
        },
        [](int, gui::ViewCommandState& s) {
            s.checked = true;
            return true;
        });
    EXPECT_TRUE(view->HandleCommand(32792));
    EXPECT_EQ(forwarded, std::vector<int>{32792});
    // 32797 lies in the monitor range but opens the dialog.
    QTimer::singleShot(0, [] {
        if (QWidget* w = QApplication::activeModalWidget()) static_cast<QDialog*>(w)->reject();
    });
    EXPECT_TRUE(view->HandleCommand(gui::kCmdSetYValue));
    EXPECT_EQ(forwarded, std::vector<int>{32792});
}

}  // namespace
}  // namespace qx::test

namespace qx::test {
namespace {

class MarkerDoubleClick : public GraphTest {};

TEST_F(MarkerDoubleClick, OpensTheDialogForTheClickedPointAndChangesNothingElse) {
    bool opened = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<gui::CSetYValueDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        opened = true;
        EXPECT_EQ(dialog->Text(gui::CSetYValueDialog::kXValueStatic), QStringLiteral("2750.000"));
        dialog->reject();
    });
    QTest::mouseDClick(&Marker(5), Qt::LeftButton, {}, QPoint(5, 5));
    QCoreApplication::processEvents();
    EXPECT_TRUE(opened);
    EXPECT_EQ(view->SelectedIndex(), 5);
    EXPECT_EQ(Marker(5).State(), gui::MapPointMarker::kIdle);
    EXPECT_TRUE(Marker(5).IsDrawn());
    EXPECT_DOUBLE_EQ(Value(5), 0.0);
    EXPECT_FALSE(document.IsModified());
}

TEST_F(MarkerDoubleClick, AForeignMarkerIsRefusedWithAProgramError) {
    gui::MapPointMarker stray(view.get(), &Map().Point(0), 0);
    EXPECT_FALSE(view->SelectMarker(&stray));
    ASSERT_FALSE(host->Messages().empty());
    EXPECT_EQ(host->LastMessage().text, "The specified marker pointer is invalid");
    EXPECT_EQ(host->LastMessage().caption, "Program Error");
    EXPECT_EQ(view->SelectedIndex(), 0);
}

}  // namespace
}  // namespace qx::test
