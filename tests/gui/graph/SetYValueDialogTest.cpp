#include <QColorDialog>
#include <QLineEdit>
#include <QTimer>
#include <functional>

#include "GraphTestSupport.h"
#include "core/host/Profile.h"
#include "gui/graph/SetYValueDialog.h"

namespace qx::test {
namespace {

using gui::CSetYValueDialog;

class SetYValue : public GraphTest {
  protected:
    // Runs command (or the double click) and lets act answer the modal dialog of type D.
    template <typename D>
    void RunModal(const std::function<void()>& start, const std::function<void(D&)>& act) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            ran = true;
            act(*dialog);
            if (dialog->isVisible()) dialog->reject();
        });
        start();
        ASSERT_TRUE(ran);
    }
    void RunDialog(int point, const std::function<void(CSetYValueDialog&)>& act) {
        view->SelectMarkerByIndex(point);
        RunModal<CSetYValueDialog>([this] { ASSERT_TRUE(view->HandleCommand(cmd::kSetYValue)); },
                                   act);
    }
    void Pick(int command, const std::function<void(QColorDialog&)>& act) {
        RunModal<QColorDialog>([&] { ASSERT_TRUE(view->HandleCommand(command)); }, act);
    }
    static QLineEdit* Edit(CSetYValueDialog& d) {
        return d.ControlAs<QLineEdit>(CSetYValueDialog::kYValueEdit);
    }
    // Types text into the edit box (unless null) and presses OK.
    double Enter(int point, const char* text) {
        RunDialog(point, [&](CSetYValueDialog& d) {
            if (text) Edit(d)->setText(text);
            QTest::keyClick(Edit(d), Qt::Key_Return);
        });
        return Value(point);
    }
};

TEST_F(SetYValue, TypedNumbersAreSteppedAndClampedWithAPointOrAComma) {
    SetMirrorSetting(true);
    const struct {
        int point;
        const char* text;
        double value;
    } cases[] = {{1, "12.7", 13}, {2, "12.2", 12}, {3, "1e1", 10},
                 {4, "7,5", 8},   {5, "  99", 45}, {6, "-3", 0}};
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(Enter(c.point, c.text), c.value) << c.text;
    EXPECT_TRUE(document.IsModified());
    EXPECT_DOUBLE_EQ(document.Map(1)->Point(3).value->GetValue(), 10.0);  // mirrored
    EXPECT_TRUE(host->Messages().empty());
}

// Text that is no number sets nothing on either advance map: the dialog says
// so, stays open and selects the box.
TEST_F(SetYValue, TextThatIsNoNumberIsRefusedAndTheDialogStaysOpen) {
    SetMirrorSetting(true);
    ASSERT_TRUE(Marker(4).SetPointValue(12.0));
    document.SetModifiedFlag(false);
    for (const char* typo : {"abc", "", "7abc", "1e999", "nan", "inf", "7,5,0"}) {
        SCOPED_TRACE(typo);
        host->ClearRecords();
        RunDialog(4, [&](CSetYValueDialog& d) {
            Edit(d)->setText(typo);
            QTest::keyClick(Edit(d), Qt::Key_Return);
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(d.focusWidget(), Edit(d));
            EXPECT_EQ(Edit(d)->selectedText(), QString::fromLatin1(typo));
        });
        ASSERT_EQ(host->Messages().size(), 1u);
        EXPECT_EQ(host->Messages()[0].text, std::string("Advance: \"") + typo +
                                                "\" is not a number.\nNothing has been changed.");
        EXPECT_EQ(host->Messages()[0].caption, "Front Cylinder Spark Advance");
        EXPECT_DOUBLE_EQ(Value(4), 12.0);
        EXPECT_DOUBLE_EQ(document.Map(1)->Point(4).value->GetValue(), 12.0);
        EXPECT_FALSE(document.IsModified());
    }
}

TEST_F(SetYValue, ShowsTheMapsTextsAndThePoint) {
    ASSERT_TRUE(Marker(1).SetPointValue(12.0));
    RunDialog(1, [](CSetYValueDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Front Cylinder Spark Advance"));
        EXPECT_EQ(d.Text(CSetYValueDialog::kXValueStatic), QStringLiteral("550.000"));
        EXPECT_EQ(d.Text(CSetYValueDialog::kYUnitStatic), QStringLiteral("deg"));
        EXPECT_EQ(d.focusWidget(), Edit(d));
        EXPECT_EQ(Edit(d)->selectedText(), QStringLiteral("12"));
    });
}

TEST_F(SetYValue, OkWithoutEditingOrCancelChangesNothing) {
    const struct {
        int map;
        double value;
    } cases[] = {{0, 12.0}, {4, 2.5}, {4, 3.5}};  // halves on a dwell map survive
    for (const auto& c : cases) {
        ShowMap(c.map);
        ASSERT_TRUE(Marker(1).SetPointValue(c.value));
        document.SetModifiedFlag(false);
        EXPECT_DOUBLE_EQ(Enter(1, nullptr), c.value);
        EXPECT_FALSE(document.IsModified());
    }
    RunDialog(3, [](CSetYValueDialog& d) {
        Edit(d)->setText("30");
        d.reject();
    });
    EXPECT_DOUBLE_EQ(Value(3), 0.0);
    EXPECT_FALSE(document.IsModified());
}

TEST_F(SetYValue, DoubleClickOpensTheDialogForTheClickedPoint) {
    RunModal<CSetYValueDialog>(
        [this] {
            QTest::mouseDClick(&Marker(5), Qt::LeftButton, {}, QPoint(5, 5));
            QCoreApplication::processEvents();
        },
        [](CSetYValueDialog& d) {
            EXPECT_EQ(d.Text(CSetYValueDialog::kXValueStatic), QStringLiteral("2750.000"));
        });
    EXPECT_EQ(view->SelectedIndex(), 5);
    EXPECT_EQ(Marker(5).State(), gui::MapPointMarker::kIdle);
    EXPECT_TRUE(Marker(5).IsDrawn());
    EXPECT_FALSE(document.IsModified());
}

TEST_F(SetYValue, ColourPickerOpensOnBlackAndOnlyOkStoresTheColour) {
    const gui::ColorRef before = view->MapLineColor();
    Pick(cmd::kColorMapLine, [](QColorDialog& d) {
        EXPECT_EQ(d.currentColor(), QColor(0, 0, 0));
        d.reject();
    });
    EXPECT_EQ(view->MapLineColor(), before);
    EXPECT_FALSE(AppProfile().HasKey("Colors", "MapLineColor"));

    Pick(cmd::kColorInSyncMarker, [](QColorDialog& d) {
        d.setCurrentColor(QColor(0x12, 0x34, 0x56));
        d.accept();
    });
    EXPECT_EQ(view->InSyncColor(), 0x563412u);
    EXPECT_EQ(AppProfile().GetInt("Colors", "InSyncMarkerColor", 0), 0x563412);

    // The comparison curve's colour is kept like the others and read back.
    Pick(cmd::kColorComparison, [](QColorDialog& d) {
        d.setCurrentColor(QColor(0x65, 0x43, 0x21));
        d.accept();
    });
    EXPECT_EQ(view->ComparisonColor(), 0x214365u);
    EXPECT_EQ(AppProfile().GetInt("Colors", "ComparisonLineColor", 0), 0x214365);
    gui::MapGraphView other(CurrentHost(), LinkActivityForTests(), AppProfile());
    other.SetDocument(&document);
    other.OnInitialUpdate();
    EXPECT_EQ(other.ComparisonColor(), 0x214365u);
}

}  // namespace
}  // namespace qx::test
