#pragma once
// Answers the next question a test asks for real by a reflex: Enter, Escape or
// the close button of the box, with real events once the box is on screen.
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

namespace qx::test {

enum class Reflex { Enter, Escape, Close };

inline const char* ReflexName(Reflex r) {
    return r == Reflex::Enter ? "Enter" : r == Reflex::Escape ? "Escape" : "close button";
}

// Call just before the box is made (e.g. from a host's answerer that then
// returns no answer): polls until the box is the active modal window.
inline void AnswerNextBoxBy(Reflex reflex, int triesLeft = 500) {
    QTimer::singleShot(1, [reflex, triesLeft] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            if (triesLeft > 0) AnswerNextBoxBy(reflex, triesLeft - 1);
            return;
        }
        QWidget* focus = box->focusWidget() ? box->focusWidget() : box;
        switch (reflex) {
            case Reflex::Enter:
                QTest::keyClick(focus, Qt::Key_Return);
                break;
            case Reflex::Escape:
                QTest::keyClick(focus, Qt::Key_Escape);
                break;
            case Reflex::Close:
                box->close();
                break;
        }
    });
}

}  // namespace qx::test
