#pragma once
// A time in a log as the transport bar, the chart and the status bar show it:
// "m:ss.t", or "h:mm:ss.t" once the time or the span it belongs to reaches an
// hour (a 100-hour log ends at "100:00:00.0", not "5999:59.9").
#include <QString>
#include <cstdint>

namespace qx::gui {

inline constexpr int64_t kHourMs = 3600000;

// spanMs: the longest time shown beside this one (the log's end), so that a
// position and the length are written alike.
inline QString PlaybackTimeText(int64_t ms, int64_t spanMs = 0) {
    if (ms < 0) return QStringLiteral("-") + PlaybackTimeText(-ms, spanMs);
    const int64_t s = ms / 1000;
    const QString tenths = QStringLiteral(".%1").arg((ms % 1000) / 100);
    if (ms < kHourMs && spanMs < kHourMs)
        return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0')) + tenths;
    return QStringLiteral("%1:%2:%3")
               .arg(s / 3600)
               .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
               .arg(s % 60, 2, 10, QLatin1Char('0')) +
           tenths;
}

// Whole seconds, as the recording's running time: "m:ss" or "h:mm:ss".
inline QString ElapsedText(int64_t ms) {
    const QString t = PlaybackTimeText(ms);
    return t.left(t.size() - 2);
}

}  // namespace qx::gui
