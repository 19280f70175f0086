#pragma once
// Engine logs in the program: recording the module's packets to a file, playing
// a log back through the displays, the chart pane and the map coverage.
//
// Recording takes every packet of the RAM monitor (never a played-back row)
// with all seven values, and ends with Stop Recording, with the end of
// monitoring (stopped, link broken, program closing) or with a write error;
// each leaves a complete file. Playback puts a log player in front of the
// monitor on the run's sample channel; the monitor window and the live bar
// follow it as they follow the monitor. Samples come from the frame's
// LiveSamples, after the monitor window has shown them.
//
// Ownership: a Qt child of the main frame, destroyed with it (a recording is
// then closed). It does not own the frame, the view or the monitor window.
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <memory>

#include "core/log/Coverage.h"
#include "core/log/LogFormat.h"
#include "core/log/LogReader.h"
#include "core/monitor/SampleChannel.h"

class QLabel;
class QPainter;
class QTimer;

namespace qx {
class LiveSource;
class LogPlayer;
class Host;
class Profile;
class RamMonitor;
}  // namespace qx

namespace qx::gui {

class FrameServices;
class ChartView;
class MonitorWindow;
class TransportBar;

class EngineLogs : public QObject {
    Q_OBJECT
  public:
    EngineLogs(FrameServices& frame, MonitorWindow* monitor, Profile& profile,
               RamMonitor& ramMonitor, Host& host);
    ~EngineLogs() override;

    // Recording. Start: false (with a message) when the file cannot be made.
    bool StartRecording(const QString& path);
    void StopRecording();
    bool IsRecording() const { return writer_.IsOpen(); }
    const LogWriter& Writer() const { return writer_; }
    QString RecordingStatus() const;

    // Playback. Open: false (with a message naming the wrong line) for a file
    // that is not a log, and false without a word when the user cancels a long
    // read; either way what was open stays.
    bool OpenLog(const QString& path);
    void CloseLog();
    LogPlayer* Player() const { return player_.get(); }
    // One step of the playback timer: follows the clock, schedules the next.
    void Pump();
    // " (playback of ride.csv)" while a log is open: after the document's name.
    QString TitleSuffix() const;

    ChartView* Chart() const { return chart_; }
    TransportBar* Transport() const { return transport_; }
    QLabel* StatusLabel() const { return status_; }
    // "Log: ride.csv" while a log holds the displays, "Live" while they show
    // the module's stream; hidden when they show neither.
    QLabel* SourceLabel() const { return source_; }
    // The live values of the last ten minutes the chart scrolls over.
    const EngineLog& LiveLog() const { return *live_; }

    bool CoverageShown() const { return coverageShown_; }
    void SetCoverageShown(bool on);
    void ResetCoverage();
    const Coverage& CoverageData() const { return coverage_; }
    // The coverage applies to the map shown (engine-speed axis only).
    bool CoverageApplies() const;

    // The idle check: ends a recording whose monitoring ended; flushes.
    void Poll();

    // Steps of a log's read that the progress dialog counts to.
    static constexpr int kProgressSteps = 1000;

  Q_SIGNALS:
    void titleChanged();
    // A long read of a log has come step steps of kProgressSteps; the progress
    // dialog (a child of the frame) is up meanwhile.
    void logReadProgress(int step);

  private:
    void AddCommands();
    void OnSample(LiveSource* source, bool first);
    void OnMonitorPacket(LiveSource& source);
    void OnPlayerRow(bool first);
    void RecomputePlaybackCoverage();
    void ShowPlayback();
    void PaintCoverage(QPainter* painter);
    // Asks the graph to repaint the coverage bands that changed since painted.
    void UpdateCoverageBands();
    QRect CoverageBand(int point) const;
    void FailRecording();
    void RecordDialog();
    void OpenDialog();
    bool ReadLog(const QString& path, EngineLog& log, std::string& error);
    void ShowSource();

    FrameServices& frame_;
    RamMonitor& ramMonitor_;
    Host& host_;
    QPointer<MonitorWindow> monitor_;
    QWidget* under_ = nullptr;  // the area under the graph: chart and transport bar
    ChartView* chart_ = nullptr;
    TransportBar* transport_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* source_ = nullptr;  // which source the displays follow
    int reading_ = 0;           // a log is being read (its progress dialog is up)
    QTimer* pollTimer_ = nullptr;
    QTimer* playTimer_ = nullptr;

    LogWriter writer_;
    bool sawMonitorRun_ = false;

    std::shared_ptr<EngineLog> live_;
    std::unique_ptr<LogPlayer> player_;
    SampleChannel::Hold playerInFront_;  // goes before the player
    QString logName_;

    Coverage coverage_;
    bool coverageShown_ = false;
    std::size_t coverageFromRow_ = 0;
    // Playback: the rows countedFrom_ .. countedTo_-1 of countedLog_, each
    // held until its next row.
    Coverage counted_;
    const EngineLog* countedLog_ = nullptr;
    std::size_t countedFrom_ = 0;
    std::size_t countedTo_ = 0;
    std::vector<int> paintedShades_;
    std::vector<bool> paintedUsed_;
    int64_t lastLiveSampleMs_ = -1;
};

// Creates the engine-log commands, the chart pane and the transport bar under
// the graph of frame. Returns the object (owned by the frame).
EngineLogs* InstallEngineLogs(FrameServices& frame, MonitorWindow* monitor, Profile& profile,
                              RamMonitor& ramMonitor, Host& host);

}  // namespace qx::gui
