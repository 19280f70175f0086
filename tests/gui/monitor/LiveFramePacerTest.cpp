// Live packets are shown at most once per frame time of packet time; a packet
// held back is shown by the next frame or, when none follows, by the timer.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTimer>

#include "gui/GuiTestSupport.h"
#include "gui/monitor/LiveFramePacer.h"

namespace qx::test {
namespace {

using gui::LiveFramePacer;

TEST(LiveFramePacer, AtMostOneFramePerFrameTimeAndNoPacketLeftUnshown) {
    TestApp();
    LiveFramePacer pacer;
    QSignalSpy due(&pacer, &LiveFramePacer::heldBackDue);
    QTimer* timer = pacer.findChild<QTimer*>();
    ASSERT_NE(timer, nullptr);
    int64_t t = 5000;
    // 9600 baud, 115200 baud, slower than a frame, and jittery.
    for (const int64_t step : {66, 5, 150, 97}) {
        SCOPED_TRACE(step);
        t += 1000;
        EXPECT_TRUE(pacer.Offer(t, true)) << "the first of a run shows at once";
        int64_t framed = t;
        int frames = 0;
        const int64_t start = t;
        for (int i = 1; t < start + 3000; ++i) {
            t += step == 97 ? 40 + (i * 37) % 97 : step;
            const bool shown = pacer.Offer(t, false);
            frames += shown;
            // Shown no sooner than a frame time after the last frame, and never
            // later than the first packet a frame time newer than it.
            EXPECT_EQ(shown, t - framed >= LiveFramePacer::kFrameMs) << t;
            EXPECT_EQ(pacer.LastShown(), shown);
            EXPECT_EQ(pacer.Holding(), !shown);
            EXPECT_EQ(timer->isActive(), !shown) << "armed only while one waits";
            if (shown) framed = t;
        }
        EXPECT_LE(frames, 3000 / std::max<int64_t>(step, LiveFramePacer::kFrameMs) + 1);
        EXPECT_GE(frames, 3000 / std::max<int64_t>(step, 2 * LiveFramePacer::kFrameMs));
    }
    EXPECT_EQ(due.count(), 0) << "a steady stream never needs the timer";

    // The stream stops with a packet held back: the timer's time-out shows it
    // (emitted here, not waited for).
    pacer.Offer(t + 1000, true);
    EXPECT_FALSE(pacer.Offer(t + 1010, false));
    ASSERT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), LiveFramePacer::kFrameMs);
    ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection));
    EXPECT_EQ(due.count(), 1);
    EXPECT_FALSE(pacer.Holding());
    // A clock that went back (another run) starts afresh.
    EXPECT_TRUE(pacer.Offer(t, false));
}

}  // namespace
}  // namespace qx::test
