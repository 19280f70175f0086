#pragma once
// A settings file with values chosen by hand, and the text each value must
// have on the tune sheet, worked out by hand: the Basic Setup dialog shows two
// decimals, a map's value has no decimals when the map steps in whole units and
// one when it steps in halves, and x is whole except on the voltage axis
// (16 volts over 15 intervals), which shows two decimals.
#include <QString>
#include <QStringList>
#include <fstream>
#include <string>
#include <vector>

#include "SheetTestSupport.h"
#include "core/maps/ModuleMap.h"
#include "core/model/ModuleState.h"

namespace qx::gui::testing {

struct KnownBasic {
    int setting;
    double value;
    const char* label;
    const char* text;
};

// Each on its setting's step: rev limits in 128s, start mode in 1024/30ths,
// the cam offset in 8s, the nitrous delay in halves, NOS arming in 550s.
inline const std::vector<KnownBasic>& KnownBasics() {
    static const std::vector<KnownBasic> table = {
        {kIgnitionMode, 1, "Ignition Mode", "Single Fire"},
        {kSwitchLockout, 170, "Switch Lockout On", "On"},
        {kCamSensorSync, -3, "Cam Sensor Sync", "-3.00 deg"},
        {kCamSensorOffset, 16, "Cam Sensor Offset", "16.00 msec"},
        {kIgnitionDelay, 2, "Ignition Delay", "2.00 rev"},
        {kRevLimit, 6400, "Rev Limit", "6400.00 rpm"},
        {kStartModeEnter, 9 * 1024.0 / 30, "Start Mode Enter", "307.20 rpm"},
        {kStartModeExit, 13 * 1024.0 / 30, "Start Mode Exit", "443.73 rpm"},
        {kAuxRevLimit, 7168, "Aux Rev Limit", "7168.00 rpm"},
        {kRevLimitRate, 5, "Rev Limit Rate", "5.00"},
        {kNitrousDelay, 2.5, "Nitrous Delay", "2.50 sec"},
        {kNosArmingRpm, 4950, "NOS Arming RPM", "4950.00 rpm"},
    };
    return table;
}

// Halves as text: h / 2 with one decimal ("2.5", "3.0").
inline std::string Halves(int h) {
    return std::to_string(h / 2) + (h % 2 ? ".5" : ".0");
}

// Point i (0 .. 15) of map m: its value, and its x and value as the sheet shows them.
struct KnownPoint {
    double value;
    QString x;
    QString y;
};

inline KnownPoint KnownPointOf(int m, int i) {
    static const char* const volts[16] = {"0.00",  "1.07",  "2.13",  "3.20", "4.27",  "5.33",
                                          "6.40",  "7.47",  "8.53",  "9.60", "10.67", "11.73",
                                          "12.80", "13.87", "14.93", "16.00"};
    const QString rpm = QString::number(550 * i) + QStringLiteral(" rpm");
    const QString rate = QString::number(272 * i) + QStringLiteral(" rpm / sec");
    auto deg = [](int v) { return QString::number(v) + QStringLiteral(" deg"); };
    auto msec = [](int h) { return QString::fromStdString(Halves(h)) + QStringLiteral(" msec"); };
    switch (m) {
        case 0:  // front advance 10 .. 25
            return {10.0 + i, rpm, deg(10 + i)};
        case 1:  // rear advance 45 .. 30: no row equals a front row
            return {45.0 - i, rpm, deg(45 - i)};
        case 2:  // VOES retard 0, 0, 1, 1, ... 7
            return {static_cast<double>(i / 2), rpm, deg(i / 2)};
        case 3:  // acceleration correction 15 .. 0
            return {15.0 - i, rate, deg(15 - i)};
        case 4:  // base dwell 2.5 .. 10.0
            return {(5 + i) / 2.0, QLatin1String(volts[i]) + QStringLiteral(" volts"), msec(5 + i)};
        default:  // acceleration dwell 7.5 .. 0.0
            return {(15 - i) / 2.0, rate, msec(15 - i)};
    }
}

// Writes the known tune as a settings file; false when it could not be written.
inline bool WriteKnownTune(const std::string& path) {
    ModuleState doc;
    doc.InitializeDefaults();
    for (const KnownBasic& b : KnownBasics()) doc.BasicValue(b.setting).StoreValue(b.value);
    for (int m = 0; m < doc.MapCount(); ++m)
        for (int i = 0; i < doc.Map(m)->PointCount(); ++i)
            doc.Map(m)->Point(i).value->StoreValue(KnownPointOf(m, i).value);
    const std::vector<uint8_t> bytes = doc.StoreContents();
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

// Every value of the known tune that the text lacks, as "what: expected".
inline QStringList MissingValues(const QString& text) {
    QStringList missing;
    for (const KnownBasic& b : KnownBasics())
        if (!HasRow(text, {QLatin1String(b.label), QLatin1String(b.text)}))
            missing << QStringLiteral("%1: %2").arg(QLatin1String(b.label), QLatin1String(b.text));
    for (int m = 0; m < 6; ++m)
        for (int i = 0; i < 16; ++i) {
            const KnownPoint p = KnownPointOf(m, i);
            if (!HasRow(text, {QString::number(i + 1), p.x, p.y}))
                missing << QStringLiteral("map %1 point %2: %3 | %4")
                               .arg(m + 1)
                               .arg(i + 1)
                               .arg(p.x, p.y);
        }
    return missing;
}

}  // namespace qx::gui::testing
