// Every question of the program: Enter, Escape and the close button give the
// answer that does nothing further, whatever the buttons are called.
#include <gtest/gtest.h>

#include <functional>

#include "ReflexKeys.h"
#include "gui/resources/TemplateDialog.h"
#include "gui/shell/QtHost.h"

namespace qx::test {
namespace {

TEST(QuestionKeys, EnterEscapeAndCloseGiveTheHarmlessAnswer) {
    struct Case {
        MsgButtons buttons;
        std::vector<std::string> names;
        MsgResult harmless;
    };
    const Case cases[] = {
        {MsgButtons::Ok, {}, MsgResult::Ok},
        {MsgButtons::OkCancel, {}, MsgResult::Cancel},
        {MsgButtons::RetryCancel, {}, MsgResult::Cancel},
        {MsgButtons::YesNo, {}, MsgResult::No},
        {MsgButtons::YesNoCancel, {}, MsgResult::Cancel},
        {MsgButtons::YesNoCancel, {"&Download All", "&Upload", "Neither"}, MsgResult::Cancel},
    };
    gui::QtHost host;
    host.SetMessageAnswerer([](const gui::MessageRecord&) { return std::optional<MsgResult>(); });
    for (const Case& c : cases) {
        for (Reflex reflex : {Reflex::Enter, Reflex::Escape, Reflex::Close}) {
            SCOPED_TRACE(std::string(ReflexName(reflex)) + " on buttons " +
                         std::to_string(static_cast<int>(c.buttons)) +
                         (c.names.empty() ? "" : " named"));
            AnswerNextBoxBy(reflex);
            EXPECT_EQ(
                host.MessageBoxNamed("Go on?", "Question", c.buttons, MsgIcon::Question, c.names),
                c.harmless);
        }
    }
}

// A short message under a long caption: the box is wide enough for the window
// manager to write the caption whole, never "Communic... Error".
TEST(QuestionKeys, ABoxIsAsWideAsItsCaptionNeeds) {
    gui::QtHost host;
    host.SetMessageAnswerer([](const gui::MessageRecord&) { return std::optional<MsgResult>(); });
    for (const char* caption :
         {"Communications Error...", "Unable to Download Settings to Module"}) {
        SCOPED_TRACE(caption);
        int width = 0;
        std::function<void(int)> measure = [&](int triesLeft) {
            QTimer::singleShot(1, [&, triesLeft] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (box == nullptr || !box->isVisible()) {
                    if (triesLeft > 0) measure(triesLeft - 1);
                    return;
                }
                width = box->width();
                box->close();
            });
        };
        measure(500);
        host.MessageBox("Failed.", caption, MsgButtons::Ok, MsgIcon::Error);
        EXPECT_GE(width, gui::TitleBarWidth(QString::fromLatin1(caption)));
    }
}

}  // namespace
}  // namespace qx::test
