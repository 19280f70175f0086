// Help shows the user guide in a window of the program: no web browser or
// opener need be installed; the desktop's browser is an option.
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>

#include "AppFixture.h"
#include "gui/GuiTestSupport.h"
#include "gui/app/HelpWindow.h"
#include "gui/graph/MapGraphView.h"
#include "gui/resources/Resources.h"

namespace qx::gui::testing {
namespace {

// The <title> of the guide's file, read here without the program's help.
QString GuideTitle(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("<title>([^<]*)</title>"))
                                          .match(QString::fromUtf8(f.readAll()));
    return m.hasMatch() ? m.captured(1) : QString();
}

TEST_F(AppTest, F1ShowsTheGuideInsideTheProgramWithTheBrowserAsAnOption) {
    Start();
    CMainFrame* f = app_->Frame();
    std::vector<QString> opened;
    f->SetUrlOpener([&](const QString& path) {
        opened.push_back(path);
        return false;  // no opener on this machine
    });
    f->show();
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f));
    f->View()->setFocus();
    QTest::keyClick(f->View(), Qt::Key_F1);
    QCoreApplication::processEvents();

    HelpWindow* help = f->Help();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(opened.empty()) << "F1 needs no browser";
    EXPECT_TRUE(Messages().empty()) << Messages().front().text;
    const QString title = GuideTitle(CMainFrame::GuidePath());
    ASSERT_FALSE(title.isEmpty());
    EXPECT_EQ(help->Browser()->documentTitle(), title);
    EXPECT_GT(help->Browser()->toPlainText().size(), 1000);
    QImage shot(help->size(), QImage::Format_RGB32);
    help->render(&shot);
    qx::test::SavePicture(shot, QStringLiteral("help-window.png"));

    // The browser, on a machine without one: told, and the guide stays.
    QTest::mouseClick(help->BrowserButton(), Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_TRUE(opened[0].endsWith(QStringLiteral("quorvexi-guide.html")));
    EXPECT_EQ(IndexOfMessage("Unable to open the user guide in a web browser:\n" +
                             opened[0].toStdString() + "\n\nIt stays in the help window."),
              0);
    EXPECT_TRUE(help->isVisible());

    // Asked again: the same window comes forward.
    help->hide();
    Route(res::kHelpFinder);  // Help > Help Topics
    EXPECT_EQ(f->Help(), help);
    EXPECT_TRUE(help->isVisible());
}

TEST_F(AppTest, HelpWithoutTheGuidesFileShowsTheCopyInTheProgram) {
    Start();
    HelpWindow help(nullptr, dir_.filePath(QStringLiteral("no-such-guide.html")));
    EXPECT_EQ(help.Browser()->documentTitle(), GuideTitle(CMainFrame::GuidePath()));
    EXPECT_GT(help.Browser()->toPlainText().size(), 1000);
    EXPECT_FALSE(help.BrowserButton()->isEnabled()) << "no file to hand to a browser";
}

}  // namespace
}  // namespace qx::gui::testing
