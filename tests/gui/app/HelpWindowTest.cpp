// Help shows the user guide in a window of the program: no web browser or
// opener need be installed; the desktop's browser is an option.
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

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

// The Help menu names the key that opens the guide, and that key does.
TEST_F(AppTest, HelpTopicsShowsItsKeyAndTheKeyOpensTheGuide) {
    Start();
    CMainFrame* f = app_->Frame();
    QAction* topics = nullptr;
    for (QMenu* menu : f->Menus())
        for (QAction* a : menu->actions())
            if (a->data().toInt() == res::kHelpFinder) topics = a;
    ASSERT_NE(topics, nullptr);
    const QStringList parts = topics->text().split(QLatin1Char('\t'));
    ASSERT_EQ(parts.size(), 2) << topics->text().toStdString() << ": no key beside it";
    EXPECT_EQ(parts[1], QStringLiteral("F1"));
    f->show();
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f));
    f->View()->setFocus();
    QTest::keySequence(f->View(), QKeySequence(parts[1]));
    QCoreApplication::processEvents();
    ASSERT_NE(f->Help(), nullptr);
    EXPECT_TRUE(f->Help()->isVisible());
}

// The guide opens on a list of its sections; a section's link goes there, and
// Back, Forward and Contents move between the list and the section.
TEST_F(AppTest, TheGuidesContentsLeadToEverySectionAndBackAndForwardFollow) {
    Start();
    QFile file(CMainFrame::GuidePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    // Read here without the program: every section has an anchor, every anchor a link.
    QSet<QString> sections;
    QString comparing;
    for (const auto& m :
         QRegularExpression(QStringLiteral("<h2 id=\"([^\"]+)\">([^<]*)</h2>")).globalMatch(html)) {
        sections.insert(m.captured(1));
        if (m.captured(2) == QStringLiteral("Comparing with another tune"))
            comparing = m.captured(1);
    }
    EXPECT_EQ(html.count(QStringLiteral("<h2")), sections.size()) << "a section without an anchor";
    EXPECT_GE(sections.size(), 18);
    QSet<QString> links;
    for (const auto& m :
         QRegularExpression(QStringLiteral("<a href=\"#([^\"]+)\"")).globalMatch(html))
        links.insert(m.captured(1));
    EXPECT_EQ(links, sections);
    ASSERT_FALSE(comparing.isEmpty());

    HelpWindow help(nullptr, CMainFrame::GuidePath());
    help.resize(720, 640);
    help.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&help));
    QTextBrowser* b = help.Browser();
    auto button = [&](const QString& text) {
        for (QPushButton* p : help.findChildren<QPushButton*>())
            if (p->text() == text) return p;
        return static_cast<QPushButton*>(nullptr);
    };
    QPushButton* back = button(QStringLiteral("< &Back"));
    QPushButton* forward = button(QStringLiteral("&Forward >"));
    QPushButton* contents = button(QStringLiteral("&Contents"));
    ASSERT_TRUE(back && forward && contents);
    EXPECT_FALSE(back->isEnabled());
    EXPECT_EQ(b->verticalScrollBar()->value(), 0);

    // The first place the section's title is written is its entry in the list.
    const QTextCursor entry = b->document()->find(QStringLiteral("Comparing with another tune"));
    ASSERT_FALSE(entry.isNull());
    QTextCursor middle = entry;
    middle.setPosition((entry.selectionStart() + entry.selectionEnd()) / 2);
    const QPoint at = b->cursorRect(middle).center();
    QTest::mouseClick(b->viewport(), Qt::LeftButton, {}, at);
    QCoreApplication::processEvents();
    EXPECT_EQ(b->source().fragment(), comparing);
    const int there = b->verticalScrollBar()->value();
    EXPECT_GT(there, 0) << "the link did not move to its section";
    EXPECT_TRUE(back->isEnabled());

    QTest::mouseClick(back, Qt::LeftButton);
    EXPECT_EQ(b->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(forward->isEnabled());
    QTest::mouseClick(forward, Qt::LeftButton);
    EXPECT_EQ(b->verticalScrollBar()->value(), there);
    QTest::mouseClick(contents, Qt::LeftButton);
    EXPECT_EQ(b->verticalScrollBar()->value(), 0);
    EXPECT_TRUE(b->source().fragment().isEmpty());
}

// When the desktop has no browser, the message stands over the help window,
// and after OK the help window is still in front of the main window.
TEST_F(AppTest, ABrowserThatFailsIsToldOverTheHelpWindow) {
    Start();
    CMainFrame* f = app_->Frame();
    f->SetUrlOpener([](const QString&) { return false; });
    answer_ = [](const MessageRecord& m) -> std::optional<MsgResult> {
        if (m.text.rfind("Unable to open the user guide", 0) == 0) return std::nullopt;  // shown
        return DefaultAnswer(m);
    };
    f->show();
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f));
    Route(res::kHelpFinder);
    HelpWindow* help = f->Help();
    ASSERT_NE(help, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(help));

    QWidget* owner = nullptr;
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        seen = true;
        owner = box->parentWidget();
        box->button(QMessageBox::Ok)->click();
    });
    QTest::mouseClick(help->BrowserButton(), Qt::LeftButton);
    ASSERT_TRUE(seen) << "no message box";
    EXPECT_EQ(owner, help);
    EXPECT_TRUE(QTest::qWaitForWindowActive(help));
    EXPECT_EQ(QApplication::activeWindow(), help);
    EXPECT_EQ(app_->Host().MainWindow(), f) << "later messages belong to the main window again";
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
