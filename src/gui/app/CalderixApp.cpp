#include "gui/app/CalderixApp.h"

#include <unistd.h>

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QMenuBar>
#include <QSessionManager>

#include "core/host/Profile.h"
#include "core/link/CommPort.h"
#include "core/model/ModuleState.h"
#include "core/monitor/RamMonitor.h"
#include "core/serial/SerialPort.h"
#include "emulator/PtyEmulator.h"
#include "gui/app/AboutDlg.h"
#include "gui/app/MainFrame.h"
#include "gui/dialogs/SettingsDialogs.h"
#include "gui/graph/MapGraphView.h"
#include "gui/monitor/MonitorCommands.h"
#include "gui/playback/EngineLogs.h"
#include "gui/resources/Resources.h"
#include "gui/restore/RestoreCommands.h"
#include "gui/sheet/SheetCommands.h"
#include "gui/shell/LiveSamples.h"
#include "gui/shell/QtHost.h"

namespace qx::gui {

namespace {

QString ToQ(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

constexpr std::string_view kRecentSection = "Recent File List";

}  // namespace

void SetApplicationNames() {
    QCoreApplication::setApplicationName(QStringLiteral("QuorvexI"));
}

std::optional<StartOptions> ParseCommandLine(const QStringList& args, QString* error) {
    StartOptions o;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QStringLiteral("--simulate")) {
            o.simulate = true;
        } else if (a == QStringLiteral("--profile")) {
            if (i + 1 >= args.size()) {
                if (error) *error = QStringLiteral("--profile needs a file name");
                return std::nullopt;
            }
            o.profile = args[++i];
        } else if (a.startsWith(QLatin1Char('-')) && a != QStringLiteral("-")) {
            // A file whose name starts with "-" is given as ./-name.
            if (error) *error = QStringLiteral("unknown option ") + a;
            return std::nullopt;
        } else if (o.file.isEmpty()) {
            o.file = a;
        } else {
            if (error) *error = QStringLiteral("only one settings file can be opened");
            return std::nullopt;
        }
    }
    return o;
}

CCalderixApp::CCalderixApp() {
    chooser_ = [this](bool save, const QString& current) -> std::optional<QString> {
        const QString filter = ToQ(res::kFileDialogFilter);
        QWidget* owner = frame_.get();
        host_->EnterModal();
        QFileDialog dialog(owner, save ? QStringLiteral("Save As") : QStringLiteral("Open"),
                           current.isEmpty() ? QDir::currentPath() : QFileInfo(current).path(),
                           filter);
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(ToQ(res::kSaveExtension));
        if (save && !current.isEmpty()) dialog.selectFile(current);
        const bool ok = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
        host_->LeaveModal();
        if (!ok) return std::nullopt;
        return dialog.selectedFiles().first();
    };
}

CCalderixApp::~CCalderixApp() {
    if (host_) host_->CloseWaitWindow();
    if (frame_) frame_->hide();
    // The module objects may call the host: they go before it.
    if (host_) {
        RamMonitor::ResetInstance();
        CommPort::ResetInstance();
    }
    frame_.reset();
    samples_.reset();
    document_.reset();
    if (demo_) demo_->Stop();
    demo_.reset();
    server_.reset();
    if (host_) {
        host_->CloseWaitWindow();
        if (&CurrentHost() == host_.get()) SetCurrentHost(nullptr);
    }
    host_.reset();
}

void CCalderixApp::SetMessageAnswerer(QtHost::Answerer answerer) {
    answerer_ = answerer;
    if (host_) host_->SetMessageAnswerer(std::move(answerer));
}

QString CCalderixApp::InstanceName(const QString& profilePath) {
    const QString key =
        QString::number(getuid()) + QLatin1Char(':') + QFileInfo(profilePath).absoluteFilePath();
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1);
    return QStringLiteral("quorvexi-") + QString::fromLatin1(hash.toHex().left(16));
}

bool CCalderixApp::ClaimSingleInstance(const QString& file, const QString& profilePath) {
    const QString name =
        InstanceName(profilePath.isEmpty() ? ToQ(AppProfile().Path()) : profilePath);
    {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (socket.waitForConnected(500)) {
            const QByteArray message =
                file.isEmpty() ? QByteArrayLiteral("SHOW\n")
                               : "OPEN " + QFileInfo(file).absoluteFilePath().toUtf8() + "\n";
            socket.write(message);
            socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(1000);
            secondInstance_ = true;
            return false;
        }
    }
    // Nobody answered: a channel left by a copy that crashed is taken over.
    QLocalServer::removeServer(name);
    server_ = std::make_unique<QLocalServer>(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (server_->listen(name))
        connect(server_.get(), &QLocalServer::newConnection, this,
                &CCalderixApp::OnInstanceConnection);
    return true;
}

void CCalderixApp::OnInstanceConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // Every line is read before any is acted on: an open may ask a
            // question, and in its loop the second start hangs up and its
            // socket is freed.
            QStringList lines;
            while (socket->canReadLine()) lines << QString::fromUtf8(socket->readLine()).trimmed();
            for (const QString& line : lines) {
                if (!frame_) return;
                if (line.startsWith(QStringLiteral("OPEN "))) OpenRemembered(line.mid(5));
                BringToFront();
            }
        });
    }
}

void CCalderixApp::BringToFront() {
    if (!frame_) return;
    if (frame_->isMinimized()) frame_->showNormal();
    frame_->raise();
    frame_->activateWindow();
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

bool CCalderixApp::InitInstance(const StartOptions& options) {
    // A second start hands its file over before it would replace the process
    // profile: the running copy's windows hold the profile they were given.
    if (options.singleInstance && !ClaimSingleInstance(options.file, options.profile)) return false;
    if (!options.profile.isEmpty()) SetAppProfile(options.profile.toStdString());

    host_ = std::make_unique<QtHost>();
    host_->SetMessageAnswerer(answerer_);
    SetCurrentHost(host_.get());
    document_ = std::make_unique<ModuleState>();
    // The one profile, link and monitor of this run, handed to the parts that use them.
    Profile& profile = AppProfile();
    CommPort& link = CommPort::Instance();
    RamMonitor& ramMonitor = RamMonitor::Instance();
    // The one GUI subscriber of the monitor's sample channel: every live
    // display follows its signal.
    samples_ = std::make_unique<LiveSamples>(ramMonitor.Samples());
    frame_ = std::make_unique<CMainFrame>(*host_, *document_, profile, link, ramMonitor, *samples_);
    host_->SetMainWindow(frame_.get());
    CMainFrame* frame = frame_.get();
    connect(host_.get(), &QtHost::commandRequested, frame,
            [frame](int id) { frame->Commands().Route(id); });
    connect(host_.get(), &QtHost::idleDue, frame, &CMainFrame::OnIdle);
    connect(host_.get(), &QtHost::linkIndicatorChanged, frame, &CMainFrame::SetLinkIndicator);
    connect(frame, &CMainFrame::closeQuestion, this, [this](bool* proceed) {
        if (*proceed) *proceed = SaveModified();
    });
    connect(frame, &CMainFrame::fileDropped, this, &CCalderixApp::OpenRemembered);
    // The monitor window before the logs: it shows each sample, paced, before
    // the recorder and the chart take it (the chart repaints in its frames).
    MonitorWindow* monitor = InstallMonitorWindow(frame_->Services(), profile, ramMonitor);
    logs_ = InstallEngineLogs(frame_->Services(), monitor, profile, ramMonitor, *host_);
    connect(logs_, &EngineLogs::titleChanged, this, [this] { UpdateTitle(); });
    connect(frame_.get(), &CMainFrame::historyChanged, this, [this] { UpdateTitle(); });
    InstallSettingsDialogs(frame_->Services(), *document_, *host_, profile, link);
    InstallTuneSheet(frame_->Services(), *host_, *document_);
    connect(InstallRestorePoints(frame_->Services(), frame_->Compare(), *host_, *document_, link),
            &RestoreCommands::openRestorePoint, this, [this](const QString& path) {
                if (!OpenDocumentFile(path)) return;
                // Saved elsewhere, never over what the module held.
                document_->SetPathName({});
                UpdateTitle();
            });
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& sm) {
            if (!frame_->EndSession(sm.allowsInteraction())) sm.cancel();
        });

    CommandTable& c = frame_->Commands();
    // Each opens a modal window: put off, with the monitor suspended.
    const CommandRules modal = kSuspendingCommand;
    c.Add(res::kFileNew, CommandOwner::Application, modal, [this] { OnFileNew(); });
    c.Add(res::kFileOpen, CommandOwner::Application, modal, [this] { OnFileOpen(); });
    c.Add(res::kFileSave, CommandOwner::Document, modal, [this] { OnFileSave(); });
    c.Add(res::kFileSaveAs, CommandOwner::Document, modal, [this] { OnFileSaveAs(); });
    c.Add(res::kAppAbout, CommandOwner::Application, modal, [this] { OnAppAbout(); });
    c.Add(cmd::kOpenRemembered, CommandOwner::Application, modal, [this] {
        if (remembered_.empty()) return;
        const QString path = remembered_.front();
        remembered_.pop_front();
        OpenDocumentFile(path);
    });
    for (int i = 0; i < res::kRecentFileCount; ++i)
        c.Add(res::kFileMru1 + i, CommandOwner::Application, kPlainCommand,
              [this, i] { OnOpenRecent(i); });
    c.Add(
        cmd::kStartDemo, CommandOwner::Application, modal,
        [this] {
            QString error;
            if (!StartDemo(&error))
                host_->MessageBox("Unable to start the module emulator:\n" + error.toStdString(),
                                  kAppTitle, MsgButtons::Ok, MsgIcon::Error);
        },
        [this](CommandState& s) {
            s.enabled = !DemoRunning() && !(CommPort::Exists() && CommPort::Instance().IsLinked());
        });
    // The demo choice sits in the Settings menu under the serial port.
    for (QMenu* menu : frame_->Menus()) {
        if (menu->title() != QStringLiteral("&Settings")) continue;
        QAction* before = menu->actions().size() > 2 ? menu->actions().at(2) : nullptr;
        auto* demo = new QAction(QStringLiteral("Use the &Module Emulator (Demo)"), menu);
        demo->setStatusTip(
            QStringLiteral("Link to the built-in module emulator instead of a port"));
        menu->insertAction(before, demo);
        c.Bind(demo, cmd::kStartDemo, false);
    }
    frame_->SetRecentFiles(RecentFiles());

    if (options.simulate) {
        QString error;
        if (!StartDemo(&error))
            host_->MessageBox("Unable to start the module emulator:\n" + error.toStdString(),
                              kAppTitle, MsgButtons::Ok, MsgIcon::Error);
    }

    if (options.file.isEmpty()) {
        document_->OnNewDocument();
        AfterNewOrOpen();
    } else if (!OpenDocumentFile(options.file)) {
        return false;
    }
    if (options.show) frame_->show();
    frame_->OnIdle();
    return true;
}

QString CCalderixApp::DemoDevice() const {
    return demo_ ? QString::fromStdString(demo_->SlavePath()) : QString();
}

bool CCalderixApp::StartDemo(QString* error) {
    if (demo_) return true;
    auto emulator = std::make_unique<emu::PtyEmulator>();
    std::string why;
    if (!emulator->Start(&why)) {
        if (error) *error = QString::fromStdString(why);
        return false;
    }
    const std::string device = emulator->SlavePath();
    // For this run only: the profile keeps the user's own port.
    CommPort::Instance().SetPortOpener([device](int, serial::OpenError* why) {
        serial::PortSettings settings;
        settings.device = device;
        settings.baud = 9600;
        return serial::OpenPosixPort(settings, why);
    });
    demo_ = std::move(emulator);
    UpdateTitle();
    return true;
}

EngineLogs* CCalderixApp::Logs() const {
    return logs_;
}

void CCalderixApp::UpdateTitle() {
    // The modified mark follows the history: undoing back to the saved state drops it.
    QString title = document_->IsModified() ? QStringLiteral("*") : QString();
    title += QString::fromStdString(document_->GetTitle());
    if (logs_) title += logs_->TitleSuffix();
    title += QStringLiteral(" - ") + ToQ(res::DocTemplateField(res::DocField::WindowTitle));
    if (demo_) title += QStringLiteral(" [Demo]");
    frame_->setWindowTitle(title);
}

void CCalderixApp::AfterNewOrOpen() {
    frame_->View()->OnInitialUpdate();
    UpdateTitle();
}

bool CCalderixApp::SaveModified() {
    if (!document_->IsModified()) return true;
    std::string name = document_->GetPathName();
    if (name.empty()) name = document_->GetTitle();
    switch (host_->MessageBox("Save changes to " + name + "?", kAppTitle, MsgButtons::YesNoCancel,
                              MsgIcon::Warning)) {
        case MsgResult::Yes:
            return DoSave(QString::fromStdString(document_->GetPathName()), false);
        case MsgResult::No:
            return true;
        default:
            return false;
    }
}

bool CCalderixApp::DoSave(const QString& path, bool replace) {
    QString target = path;
    if (target.isEmpty() || replace) {
        QString proposal = path;
        if (proposal.isEmpty())
            proposal = ToQ(res::DocTemplateField(res::DocField::FileNewName)) +
                       QStringLiteral(".") + ToQ(res::kSaveExtension);
        const std::optional<QString> chosen = chooser_(true, proposal);
        if (!chosen) return false;
        target = *chosen;
        if (QFileInfo(target).suffix().isEmpty())
            target += QStringLiteral(".") + ToQ(res::kSaveExtension);
    }
    if (document_->OnSaveDocument(target.toStdString()) != DocStatus::Done) return false;
    document_->SetPathName(QFileInfo(target).absoluteFilePath().toStdString());
    document_->SetModifiedFlag(false);
    AddRecentFile(target);
    UpdateTitle();
    return true;
}

bool CCalderixApp::OpenDocumentFile(const QString& path) {
    if (!SaveModified()) return false;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (document_->OnOpenDocument(absolute.toStdString()) != DocStatus::Done) return false;
    document_->SetPathName(absolute.toStdString());
    document_->SetModifiedFlag(false);
    AddRecentFile(absolute);
    AfterNewOrOpen();
    return true;
}

void CCalderixApp::OnFileNew() {
    if (!SaveModified()) return;
    if (document_->OnNewDocument() != DocStatus::Done) return;
    AfterNewOrOpen();
}

void CCalderixApp::OnFileOpen() {
    const std::optional<QString> chosen =
        chooser_(false, QString::fromStdString(document_->GetPathName()));
    if (chosen) OpenDocumentFile(*chosen);
}

void CCalderixApp::OnFileSave() {
    DoSave(QString::fromStdString(document_->GetPathName()), false);
}

void CCalderixApp::OnFileSaveAs() {
    DoSave(QString::fromStdString(document_->GetPathName()), true);
}

void CCalderixApp::OnOpenRecent(int index) {
    const std::vector<std::string> files = RecentFiles();
    if (index < 0 || index >= static_cast<int>(files.size())) return;
    OpenRemembered(QString::fromStdString(files[static_cast<std::size_t>(index)]));
}

void CCalderixApp::OpenRemembered(const QString& path) {
    remembered_.push_back(path);
    frame_->Commands().Route(cmd::kOpenRemembered);
}

void CCalderixApp::OnAppAbout() {
    CAboutDlg about(CommPort::Instance(), frame_.get());
    about.DoModal();
}

std::vector<std::string> CCalderixApp::RecentFiles() const {
    std::vector<std::string> out;
    for (int i = 1; i <= res::kRecentFileCount; ++i) {
        std::string p = AppProfile().GetString(kRecentSection, "File" + std::to_string(i), "");
        if (!p.empty()) out.push_back(p);
    }
    return out;
}

void CCalderixApp::AddRecentFile(const QString& path) {
    const std::string p = QFileInfo(path).absoluteFilePath().toStdString();
    std::vector<std::string> files = RecentFiles();
    files.erase(std::remove(files.begin(), files.end(), p), files.end());
    files.insert(files.begin(), p);
    if (files.size() > static_cast<std::size_t>(res::kRecentFileCount))
        files.resize(res::kRecentFileCount);
    for (std::size_t i = 0; i < files.size(); ++i)
        AppProfile().WriteString(kRecentSection, "File" + std::to_string(i + 1), files[i]);
    frame_->SetRecentFiles(files);
}

}  // namespace qx::gui
