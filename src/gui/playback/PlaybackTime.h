#pragma once
// A time in a log as the transport bar and the chart show it: "m:ss.t".
#include <QString>
#include <cstdint>

namespace qx::gui {

inline QString PlaybackTimeText(int64_t ms) {
    const int64_t s = ms / 1000;
    return QStringLiteral("%1:%2.%3")
        .arg(s / 60)
        .arg(s % 60, 2, 10, QLatin1Char('0'))
        .arg((ms % 1000) / 100);
}

}  // namespace qx::gui
