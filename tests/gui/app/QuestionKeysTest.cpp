// Every question of the program: Enter, Escape and the close button give the
// answer that does nothing further, whatever the buttons are called.
#include <gtest/gtest.h>

#include "ReflexKeys.h"
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

}  // namespace
}  // namespace qx::test
