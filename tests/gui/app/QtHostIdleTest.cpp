// The idle handler (the command-state update) runs after what may change a
// command's state, not after every paint and every wake-up of a wait: while
// monitoring those come many times a second.
#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>

#include "gui/GuiTestSupport.h"
#include "gui/shell/QtHost.h"

namespace qx::test {
namespace {

TEST(QtHostIdle, RunsAfterInputAndQueuedCallsNotAfterPaints) {
    TestApp();
    QCoreApplication::processEvents();
    gui::QtHost host;
    int runs = 0;
    QObject::connect(&host, &gui::QtHost::idleDue, &host, [&] { ++runs; });
    QWidget widget;
    widget.resize(100, 100);
    widget.show();
    QCoreApplication::processEvents();

    host.Idle();
    EXPECT_EQ(runs, 1) << "runs first";
    host.Idle();
    EXPECT_EQ(runs, 1) << "nothing happened since";

    for (int i = 0; i < 5; ++i) {
        widget.update();
        QCoreApplication::processEvents();
        host.Idle();
    }
    EXPECT_EQ(runs, 1) << "paints change no command";

    QTest::keyClick(&widget, Qt::Key_A);
    host.Idle();
    EXPECT_EQ(runs, 2) << "a key may";
    QTest::mouseClick(&widget, Qt::LeftButton);
    host.Idle();
    EXPECT_EQ(runs, 3) << "so may a click";

    bool called = false;
    QMetaObject::invokeMethod(
        &widget, [&] { called = true; }, Qt::QueuedConnection);
    QCoreApplication::processEvents();
    ASSERT_TRUE(called);
    host.Idle();
    EXPECT_EQ(runs, 4) << "and a queued call";
    host.Idle();
    EXPECT_EQ(runs, 4);
}

}  // namespace
}  // namespace qx::test
