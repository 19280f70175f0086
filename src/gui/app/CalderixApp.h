#pragma once
// The application object: single instance, the settings document with its
// frame and view, the command line, the standard file commands (New, Open,
// Save, Save As, the recent-file list of 4, dropped files, files handed over by
// a second start) and the About box. New, Open, Save, Save As and the
// remembered files first ask the RAM monitor to postpone them while a module
// exchange runs, so the document is never replaced under an upload.
//
// Ownership: the application owns the host, the document, the frame, the
// single-instance server and the demo emulator; all live until it is destroyed.
#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/host/CommandIds.h"
#include "gui/shell/QtHost.h"

class QLocalServer;

namespace qx {
class ModuleState;
}

namespace qx::emu {
class PtyEmulator;
}

namespace qx::gui {

class QtHost;
class CMainFrame;
class EngineLogs;
class LiveSamples;

struct StartOptions {
    bool simulate = false;  // --simulate: link to the built-in module emulator
    QString profile;        // --profile PATH
    QString file;           // a settings file to open
    bool show = true;       // show the main window (tests leave it hidden)
    bool singleInstance = true;
};

// Names the program for Qt. No display name is set: Qt would append it to
// every window title, which already carry the program's name where they should.
void SetApplicationNames();

// Parses the program's arguments (without the program name). Unknown options
// give an error text.
std::optional<StartOptions> ParseCommandLine(const QStringList& args, QString* error);

class CCalderixApp : public QObject {
    Q_OBJECT
  public:
    CCalderixApp();
    ~CCalderixApp() override;
    // Engine-log recording, playback, chart and coverage; null before InitInstance.
    EngineLogs* Logs() const;

    // Start-up. False ends the program: another copy runs (and has been handed
    // the file), or the file named could not be opened.
    bool InitInstance(const StartOptions& options);

    QtHost& Host() { return *host_; }
    // Answers message boxes without showing them (tests); kept for the host
    // InitInstance makes, so start-up messages are answered too.
    void SetMessageAnswerer(std::function<std::optional<MsgResult>(const MessageRecord&)> a);
    ModuleState& Document() { return *document_; }
    CMainFrame* Frame() { return frame_.get(); }
    bool HandedToRunningCopy() const { return secondInstance_; }
    // The channel name of the single-instance check for a profile path.
    static QString InstanceName(const QString& profilePath);

    // File chooser behind Open and Save As; tests replace it. It gets whether
    // it saves and the current path, and returns the chosen path or nothing.
    using FileChooser = std::function<std::optional<QString>(bool save, const QString& current)>;
    void SetFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }

    // The standard document commands.
    void OnFileNew();
    void OnFileOpen();
    void OnFileSave();
    void OnFileSaveAs();
    void OnOpenRecent(int index);
    void OnAppAbout();
    // A dropped or handed-over file: opened now, or when the module is free.
    void OpenRemembered(const QString& path);
    // Opens path as the document; false (the user told) when it failed or the
    // user kept the modified document.
    bool OpenDocumentFile(const QString& path);
    // Asks "Save changes to ...?" for a modified document; false on Cancel or
    // a failed save.
    bool SaveModified();
    bool DoSave(const QString& path, bool replace);
    std::vector<std::string> RecentFiles() const;
    // Starts the built-in module emulator and points the link at it (this run only).
    bool StartDemo(QString* error = nullptr);
    bool DemoRunning() const { return demo_ != nullptr; }
    QString DemoDevice() const;

  private:
    // profilePath: the profile the start names (empty: the process profile).
    bool ClaimSingleInstance(const QString& file, const QString& profilePath);
    void OnInstanceConnection();
    void BringToFront();
    void AddRecentFile(const QString& path);
    void UpdateTitle();
    void AfterNewOrOpen();

    std::unique_ptr<QtHost> host_;
    std::unique_ptr<ModuleState> document_;
    // The run's live samples: they outlive the frame.
    std::unique_ptr<LiveSamples> samples_;
    std::unique_ptr<CMainFrame> frame_;
    std::unique_ptr<QLocalServer> server_;
    std::unique_ptr<emu::PtyEmulator> demo_;
    QPointer<EngineLogs> logs_;  // a child of the frame
    std::deque<QString> remembered_;
    FileChooser chooser_;
    QtHost::Answerer answerer_;
    bool secondInstance_ = false;
};

}  // namespace qx::gui
