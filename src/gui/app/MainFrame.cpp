#include "gui/app/MainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include "core/host/Numbers.h"
#include "core/link/CommPort.h"
#include "core/model/ModuleState.h"
#include "core/model/Relink.h"
#include "core/monitor/RamMonitor.h"
#include "core/serial/SerialPort.h"
#include "gui/app/HelpWindow.h"
#include "gui/app/LockKeys.h"
#include "gui/edit/CompareCommands.h"
#include "gui/edit/CurveCommands.h"
#include "gui/edit/EditCommands.h"
#include "gui/edit/TuneComparison.h"
#include "gui/graph/MapGraphView.h"
#include "gui/resources/Resources.h"
#include "gui/resources/ToolbarImages.h"
#include "gui/shell/LiveSamples.h"
#include "gui/shell/ModuleGate.h"
#include "gui/shell/QtHost.h"

namespace qx::gui {

namespace {

QString ToQ(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

const char* const kLinkWaitText = "...while the communications link is established with the module";
const char* const kLinkUpText = "Break Module &Link";
const char* const kLinkDownText = "Establish Module &Link";
constexpr CommandRules kLinkRules{Postpone::WhileBusy, true};

}  // namespace

CMainFrame::CMainFrame(QtHost& host, ModuleState& document, Profile& profile, CommPort& link,
                       RamMonitor& monitor, LiveSamples& samples, QWidget* parent)
    : QMainWindow(parent),
      host_(host),
      document_(document),
      link_(link),
      monitor_(monitor),
      samples_(samples),
      activity_(link, monitor),
      commands_(
          [&monitor](int id, bool suspend) { return PostponeIfModuleBusy(monitor, id, suspend); }) {
    setObjectName(ToQ(res::kMainWindowClass));
    setAcceptDrops(true);
    urlOpener_ = [](const QString& path) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    };
    view_ = new MapGraphView(host_, activity_, profile, this);
    view_->setObjectName(QStringLiteral("MapGraphView"));
    view_->SetDocument(&document_);
    setCentralWidget(view_);
    services_ = new FrameServices(*this, commands_, *view_, samples_);
    connect(this, &CMainFrame::resetPeakRequested, services_, &FrameServices::resetPeakRequested);
    connect(this, &CMainFrame::writeSerialRequested, services_,
            &FrameServices::writeSerialRequested);
    commands_.AddTarget(
        CommandOwner::View, [this](int id) { return view_->HandleCommand(id); },
        [this](int id, CommandState& s) {
            ViewCommandState vs;
            vs.enabled = s.enabled;
            vs.checked = s.checked;
            if (!view_->UpdateCommand(id, vs)) return false;
            s.enabled = vs.enabled;
            s.checked = vs.checked;
            return true;
        });
    // The view's own command that opens a modal window.
    commands_.Declare(cmd::kSetYValue, kSuspendingCommand);
    AddDocumentCommands();
    auto* edits = new EditCommands(this, commands_, document_, view_);
    curves_ = new CurveCommands(this, host_, commands_, document_, view_);
    compare_ = new CompareCommands(*this, host_, commands_, document_, link_, view_);
    connect(edits, &EditCommands::historyChanged, &compare_->Comparison(),
            &TuneComparison::Refresh);
    connect(edits, &EditCommands::historyChanged, this, &CMainFrame::historyChanged);
    connect(compare_, &CompareCommands::mapsMarked, this, &CMainFrame::MarkMapButtons);
    AddFrameCommands();
    BuildMenus();
    BuildToolbar();
    BuildStatusBar();
    BuildAccelerators();
    SetLinkIndicator(link_.IsLinked());
    resize(800, 560);
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::AddDocumentCommands() {
    ModuleState& d = document_;
    commands_.Add(
        res::kUpload, CommandOwner::Document, kSuspendingCommand, [&d] { d.OnUpload(); },
        [&d](CommandState& s) { s.enabled = d.OnUpdateUpload(); });
    commands_.Add(
        res::kDownload, CommandOwner::Document, kSuspendingCommand, [&d] { d.OnDownload(); },
        [&d](CommandState& s) { s.enabled = d.OnUpdateDownload(); });
    for (int id = res::kMapFirst; id <= res::kMapLast; ++id)
        commands_.Add(
            id, CommandOwner::Document, kCheckCommand, [&d, id] { d.OnSelectMap(id); },
            [&d, id](CommandState& s) { s.checked = d.OnUpdateSelectMap(id); });
    commands_.Add(
        res::kAdvanceMapsSynchronized, CommandOwner::Document, kCheckCommand,
        [&d] { d.OnToggleMirror(); },
        [&d](CommandState& s) { s.checked = d.OnUpdateToggleMirror(); });
}

void CMainFrame::AddFrameCommands() {
    commands_.Add(
        res::kLink, CommandOwner::Frame, kLinkRules, [this] { OnLink(); },
        [this](CommandState& s) {
            const bool up = link_.IsLinked();
            s.checked = up;
            s.text = QString::fromLatin1(up ? kLinkUpText : kLinkDownText);
        });
    commands_.Add(
        res::kToggleMonitoring, CommandOwner::Frame, kLinkRules, [this] { OnToggleMonitoring(); },
        [this](CommandState& s) {
            s.enabled = link_.IsLinked();
            s.checked = monitor_.IsRunning();
        });
    commands_.Add(
        res::kResetPeakAcceleration, CommandOwner::Frame, kSuspendingCommand,
        [this] { OnResetPeakAcceleration(); },
        [this](CommandState& s) { s.enabled = monitor_.IsRunning(); });
    commands_.Add(
        res::kWriteSerial, CommandOwner::Frame, kSuspendingCommand, [this] { OnWriteSerial(); },
        [this](CommandState& s) { s.enabled = link_.IsLinked(); });
    for (int id : {res::kHelpFinder, res::kContextHelp, res::kHelp, res::kDefaultHelp})
        commands_.Add(id, CommandOwner::Frame, kSuspendingCommand, [this, id] { OnHelp(id); });
    commands_.Add(
        res::kViewToolbar, CommandOwner::Frame, kCheckCommand,
        [this] { toolbar_->setVisible(!toolbar_->isVisible()); },
        [this](CommandState& s) { s.checked = toolbar_ && !toolbar_->isHidden(); });
    commands_.Add(
        res::kViewStatusBar, CommandOwner::Frame, kCheckCommand,
        [this] { statusBar()->setVisible(statusBar()->isHidden()); },
        [this](CommandState& s) { s.checked = !statusBar()->isHidden(); });
    commands_.Add(res::kAppExit, CommandOwner::Frame, kPlainCommand, [this] { close(); });
}

void CMainFrame::BuildMenus() {
    std::function<void(QMenu*, const std::vector<res::MenuEntry>&)> fill =
        [&](QMenu* menu, const std::vector<res::MenuEntry>& entries) {
            for (const res::MenuEntry& e : entries) {
                switch (e.kind) {
                    case res::MenuEntry::Kind::Separator:
                        menu->addSeparator();
                        break;
                    case res::MenuEntry::Kind::Popup:
                        fill(menu->addMenu(ToQ(e.text)), e.children);
                        break;
                    case res::MenuEntry::Kind::Item: {
                        // The key is the accelerator table's, unless the
                        // text names one of the window manager's (Alt+F4).
                        QString text = ToQ(e.text);
                        if (const QString key = CommandTable::KeyText(e.id);
                            !key.isEmpty() && !text.contains(QLatin1Char('\t')))
                            text += QLatin1Char('\t') + key;
                        QAction* a = menu->addAction(text);
                        a->setData(e.id);
                        if (const res::CommandStrings* s = res::FindCommandStrings(e.id))
                            a->setStatusTip(ToQ(s->prompt));
                        if (e.id == res::kFileMru1) {
                            a->setEnabled(false);
                            recentPlaceholder_ = a;
                            fileMenu_ = menu;
                        } else {
                            commands_.Bind(a, e.id, true, true);
                        }
                        break;
                    }
                }
            }
        };
    for (const res::MenuEntry& top : res::MainMenu()) {
        QMenu* menu = menuBar()->addMenu(ToQ(top.text));
        fill(menu, top.children);
        connect(menu, &QMenu::aboutToShow, this, [this] { commands_.UpdateActions(); });
    }
}

std::vector<QMenu*> CMainFrame::Menus() const {
    std::vector<QMenu*> out;
    for (QAction* a : menuBar()->actions())
        if (a->menu()) out.push_back(a->menu());
    return out;
}

void CMainFrame::BuildToolbar() {
    toolbar_ = addToolBar(QStringLiteral("Toolbar"));
    toolbar_->setObjectName(QStringLiteral("toolbar59392"));
    toolbar_->setMovable(false);
    toolbar_->setIconSize(QSize(res::kToolbarButtonWidth, res::kToolbarButtonHeight));
    int image = 0;
    for (int id : res::ToolbarLayout()) {
        if (id == 0) {
            toolbar_->addSeparator();
            continue;
        }
        QAction* a = toolbar_->addAction(QIcon(ToolbarImage(image++, false)), QString());
        a->setData(id);
        if (const res::CommandStrings* s = res::FindCommandStrings(id)) {
            a->setToolTip(ToQ(s->toolTip));
            a->setStatusTip(ToQ(s->prompt));
        }
        // The monitor window's button opens it; only its menu item shows a check.
        commands_.Bind(a, id, false, id != res::kMonitorWindow);
        toolbarActions_.push_back(a);
    }
}

void CMainFrame::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusbar59393"));
    capsPane_ = new QLabel(this);
    numPane_ = new QLabel(this);
    for (QLabel* pane : {capsPane_, numPane_}) {
        pane->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("CAPS")) + 8);
        pane->setAlignment(Qt::AlignCenter);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addPermanentWidget(pane);
    }
    reconnectPane_ = new QLabel(this);
    reconnectPane_->setObjectName(QStringLiteral("reconnectPane"));
    reconnectPane_->hide();
    bar->insertPermanentWidget(0, reconnectPane_);
    reconnectTimer_ = new QTimer(this);
    reconnectTimer_->setInterval(1000);
    connect(reconnectTimer_, &QTimer::timeout, this, &CMainFrame::CheckReconnect);
    adapterWatch_ = new QTimer(this);
    adapterWatch_->setInterval(1000);
    connect(adapterWatch_, &QTimer::timeout, this, &CMainFrame::CheckLinkedAdapter);
    capsPane_->setObjectName(QStringLiteral("capsPane"));
    numPane_->setObjectName(QStringLiteral("numPane"));
    // A prompt shown while the pointer is over a menu item or a button is
    // cleared when it leaves: the idle text comes back then.
    connect(bar, &QStatusBar::messageChanged, this, [bar](const QString& text) {
        if (text.isEmpty()) bar->showMessage(QStringLiteral("Ready"));
    });
    bar->showMessage(QStringLiteral("Ready"));
    UpdateLockPanes();
}

void CMainFrame::BuildAccelerators() {
    for (const res::Accelerator& acc : res::Accelerators()) {
        const QKeySequence keys(ToQ(acc.keys), QKeySequence::PortableText);
        std::vector<QAction*> actions = commands_.ActionsFor(acc.id);
        QAction* target = nullptr;
        for (QAction* a : actions)
            if (!toolbar_->actions().contains(a)) {
                target = a;
                break;
            }
        if (!target) {
            // Commands with keys but no menu item (copy, help, panes).
            target = new QAction(this);
            target->setData(acc.id);
            addAction(target);
            commands_.Bind(target, acc.id, false);
        }
        QList<QKeySequence> list = target->shortcuts();
        list.append(keys);
        target->setShortcuts(list);
        target->setShortcutContext(Qt::WindowShortcut);
    }
}

void CMainFrame::SetRecentFiles(const std::vector<std::string>& paths) {
    for (QAction* a : recentActions_) {
        fileMenu_->removeAction(a);
        a->deleteLater();
    }
    recentActions_.clear();
    recentPlaceholder_->setVisible(paths.empty());
    for (std::size_t i = 0; i < paths.size() && i < res::kRecentFileCount; ++i) {
        const int id = res::kFileMru1 + static_cast<int>(i);
        auto* a = new QAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QString::fromStdString(paths[i])), fileMenu_);
        a->setData(id);
        fileMenu_->insertAction(recentPlaceholder_, a);
        commands_.Bind(a, id, false);
        recentActions_.push_back(a);
    }
}

void CMainFrame::SetLinkIndicator(bool linked) {
    if (reconnectPane_) {
        if (linked || !linkStripUp_ || !link_.LastBreakWasDeviceGone()) {
            if (linked) {
                reconnectTimer_->stop();
                reconnectPane_->hide();
                // A port without a device node (the demo's) is watched by its hangup only.
                watchedNode_ = serial::DevicePresent(link_.LastDevicePath())
                                   ? link_.LastDevicePath()
                                   : std::string();
                adapterWatch_->start();
            } else {
                adapterWatch_->stop();
            }
        } else {
            AwaitAdapter(link_.LastDevicePath());
        }
    }
    linkStripUp_ = linked;
    DrawToolbarIcons();
}

void CMainFrame::DrawToolbarIcons() {
    int image = 0;
    for (QAction* a : toolbarActions_) {
        QPixmap pixmap = ToolbarImage(image++, linkStripUp_);
        const int map = a->data().toInt() - res::kMapFirst;
        if (map >= 0 && map < static_cast<int>(mapMarks_.size()) &&
            mapMarks_[static_cast<std::size_t>(map)]) {
            // A violet wedge in the top right corner: this map differs. Round
            // and red or green is the link lamp's; this must not read as it.
            QPainter p(&pixmap);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(QPen(Qt::white, 1));
            p.setBrush(DiffersMarkColor());
            const qreal w = pixmap.width();
            p.drawPolygon(
                QPolygonF({QPointF(w - 11.5, 0.5), QPointF(w - 0.5, 0.5), QPointF(w - 0.5, 11.5)}));
        }
        a->setIcon(QIcon(pixmap));
    }
}

void CMainFrame::MarkMapButtons(const std::vector<bool>& differs) {
    mapMarks_ = differs;
    DrawToolbarIcons();
    const char* const plainText = "qxPlainText";
    for (int id = res::kMapFirst; id <= res::kMapLast; ++id) {
        const auto map = static_cast<std::size_t>(id - res::kMapFirst);
        for (QAction* a : commands_.ActionsFor(id)) {
            if (toolbar_ != nullptr && toolbar_->actions().contains(a)) continue;
            if (!a->property(plainText).isValid()) a->setProperty(plainText, a->text());
            QString text = a->property(plainText).toString();
            if (map < mapMarks_.size() && mapMarks_[map]) {
                // The mark goes beside the name, before the key.
                const int tab = text.indexOf(QLatin1Char('\t'));
                text.insert(tab < 0 ? text.size() : tab, QStringLiteral("  \u2260"));
            }
            a->setText(text);
        }
    }
}

void CMainFrame::AwaitAdapter(const std::string& device) {
    // Unplugged: look for it once a second until it is back.
    adapterWatch_->stop();
    awaitedDevice_ = device;
    reconnectPane_->setText(QStringLiteral("Module adapter unplugged: waiting for %1")
                                .arg(QString::fromStdString(awaitedDevice_)));
    reconnectPane_->show();
    reconnectTimer_->start();
}

QString CMainFrame::ReconnectText() const {
    return reconnectPane_->isHidden() ? QString() : reconnectPane_->text();
}

void CMainFrame::CheckReconnect() {
    if (link_.IsLinked()) {
        reconnectTimer_->stop();
        reconnectPane_->hide();
        return;
    }
    if (awaitedDevice_.empty()) return;
    // Keeps looking until the link is up: the adapter may be pulled again.
    const QString back = QStringLiteral("Module adapter is back: %1 links again")
                             .arg(CommandTable::KeyText(res::kLink));
    if (!serial::DevicePresent(awaitedDevice_)) {
        reconnectPane_->setText(QStringLiteral("Module adapter unplugged: waiting for %1")
                                    .arg(QString::fromStdString(awaitedDevice_)));
        reconnectPane_->show();
        return;
    }
    if (!reconnectPane_->isHidden() &&
        reconnectPane_->text().startsWith(QStringLiteral("Module adapter is back")))
        return;
    reconnectPane_->setText(back);
    reconnectPane_->show();
    host_.Beep(BeepKind::Question);
}

void CMainFrame::NoticeFailedRelink() {
    CheckReconnect();
    if (serial::DevicePresent(awaitedDevice_))
        reconnectPane_->setText(
            QStringLiteral("Module adapter is back, but the module did not answer: %1 tries again")
                .arg(CommandTable::KeyText(res::kLink)));
}

void CMainFrame::CheckLinkedAdapter() {
    if (!link_.IsLinked()) {
        adapterWatch_->stop();
        return;
    }
    // An exchange or the stream notices a pull itself; a check between the
    // packets would only cost them time.
    if (IsBusyForClose()) return;
    if (monitor_.IsRunning()) return;
    CommPort& link = link_;
    // The node goes with the adapter at once; the hangup may come a little later.
    const bool hungUp = link.IsDeviceGone();
    if (!hungUp && (watchedNode_.empty() || serial::DevicePresent(watchedNode_))) return;
    const std::string node = watchedNode_;
    link.BreakLink();
    if (!hungUp && !link.IsLinked() && !link.LastBreakWasDeviceGone()) AwaitAdapter(node);
}

QString CMainFrame::CapsPaneText() const {
    return capsPane_->text();
}
QString CMainFrame::NumPaneText() const {
    return numPane_->text();
}

void CMainFrame::UpdateLockPanes() {
    const std::optional<LockKeys> keys = ReadLockKeys();
    capsPane_->setText(keys && keys->caps ? QStringLiteral("CAP") : QString());
    numPane_->setText(keys && keys->num ? QStringLiteral("NUM") : QString());
}

void CMainFrame::OnIdle() {
    commands_.UpdateActions();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - lastLockPoll_ >= 250) {
        lastLockPoll_ = now;
        UpdateLockPanes();
    }
    if (closePending_ && !IsBusyForClose()) {
        closePending_ = false;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

QString CMainFrame::GuidePath() {
    const QString name = QStringLiteral("quorvexi-guide.html");
    const QString beside = QDir(QCoreApplication::applicationDirPath())
                               .filePath(QStringLiteral("../share/doc/QuorvexI/") + name);
    for (const QString& p :
         {QString::fromUtf8(QX_GUIDE_INSTALLED), beside, QString::fromUtf8(QX_GUIDE_SOURCE)})
        if (QFileInfo::exists(p)) return QFileInfo(p).absoluteFilePath();
    return QString::fromUtf8(QX_GUIDE_SOURCE);
}

HelpWindow* CMainFrame::Help() const {
    return help_;
}

void CMainFrame::OnHelp(int) {
    // Shown here: a desktop without a web browser or an opener still has its help.
    if (!help_) {
        help_ = new HelpWindow(this, GuidePath());
        connect(help_, &HelpWindow::openInBrowser, this, [this](const QString& path) {
            if (urlOpener_ && urlOpener_(path)) return;
            // Told over the help window, which stays in front after the answer.
            const QPointer<HelpWindow> help = help_;
            host_.MessageBoxOver(help_,
                                 "Unable to open the user guide in a web browser:\n" +
                                     path.toStdString() + "\n\nIt stays in the help window.",
                                 kAppTitle, MsgButtons::Ok, MsgIcon::Warning);
            if (help) {
                help->raise();
                help->activateWindow();
            }
        });
    }
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void CMainFrame::OnLink() {
    CommPort& link = link_;
    ++linkCommandDepth_;
    struct Leave {
        int& n;
        ~Leave() { --n; }
    } leave{linkCommandDepth_};
    if (link.IsLinked()) {
        link.BreakLink();
        host_.RepaintMainWindow();
        return;
    }
    if (std::string problem = serial::BaudSettingProblem();
        !problem.empty() && problem != baudTold_) {
        // Said once per value: the link still runs, at the default speed.
        baudTold_ = problem;
        problem[0] = 'T';
        host_.MessageBox(
            problem + ".\n\nThe line runs at " + std::to_string(serial::kDefaultBaud) + " baud.",
            "Serial Port Settings", MsgButtons::Ok, MsgIcon::Warning);
    }
    host_.ShowWaitWindow(kLinkWaitText);
    const bool linked = link.EstablishLink() && link.IsLinked();
    // The link is made: a window still saying so would stand behind the
    // question below (and the upload shows its own).
    host_.CloseWaitWindow();
    if (linked)
        OfferAfterLink();
    else if (!awaitedDevice_.empty() && reconnectTimer_->isActive())
        NoticeFailedRelink();
    host_.RepaintMainWindow();
}

void CMainFrame::OfferAfterLink() {
    const LinkedModuleCheck check = CheckLinkedModule(document_);
    if (!link_.IsLinked()) return;  // broke while reading the serial number
    const auto uploadAfterAsking = [this] {
        // Uploading replaces the document: the usual question about unsaved changes first.
        if (MayDiscardDocument()) host_.RouteCommand(res::kUpload);
    };
    switch (check.what) {
        case AfterLink::OfferUpload:
            if (host_.MessageBox("Do you want to upload the current module settings?",
                                 "Upload Module Settings", MsgButtons::YesNo,
                                 MsgIcon::Question) == MsgResult::Yes)
                host_.RouteCommand(res::kUpload);
            break;
        case AfterLink::NothingToWrite:
            statusBar()->showMessage(
                check.lacking == 0
                    ? QStringLiteral("The module holds every setting as this document has it.")
                    : QStringLiteral("Nothing changed while the module was away; %1 setting(s) "
                                     "it holds off the program's step are shown out of sync.")
                          .arg(check.lacking),
                5000);
            break;
        case AfterLink::WriteChanges: {
            std::string text = FormatC(
                "The module is linked again.\n\n%d setting%s changed while it was away. "
                "Write %s to the module now?\n\nOnly those are written, and read back to "
                "confirm.",
                check.changed, check.changed == 1 ? " was" : "s were",
                check.changed == 1 ? "it" : "them");
            if (check.lacking > check.changed) {
                const int apart = check.lacking - check.changed;
                text += FormatC(
                    "\n\n%d other setting%s held by the module off the "
                    "program's step or range: shown out of sync, left alone.",
                    apart, apart == 1 ? " is" : "s are");
            }
            const MsgResult answer = host_.MessageBoxNamed(
                text, "Module Linked Again", MsgButtons::YesNoCancel, MsgIcon::Question,
                {"&Write Changes", "&Upload Module Settings", "&Leave Out of Sync"});
            if (answer == MsgResult::Yes) {
                const ModuleState::ChangedWrite r = document_.WriteChangedSettings(true);
                if (r.mismatched > 0) {
                    host_.MessageBox(FormatC("%d setting%s read back differently from what was "
                                             "written and %s marked out of sync.",
                                             r.mismatched, r.mismatched == 1 ? "" : "s",
                                             r.mismatched == 1 ? "is" : "are"),
                                     "Module Linked Again", MsgButtons::Ok, MsgIcon::Warning);
                } else if (r.ok) {
                    statusBar()->showMessage(
                        QStringLiteral("%1 changed setting(s) written and confirmed.")
                            .arg(r.written),
                        5000);
                }
            } else if (answer == MsgResult::No) {
                uploadAfterAsking();
            }
            break;
        }
        case AfterLink::OtherModule: {
            const std::string text =
                "This is not the module these settings were last linked to.\n\nBefore: " +
                DescribeModule(check.before) + "\nNow: " + DescribeModule(check.now) +
                "\n\nWhat this module holds is not known, so no single change is written. "
                "Download every setting to it, or upload its settings?";
            const MsgResult answer = host_.MessageBoxNamed(
                text, "Another Module", MsgButtons::YesNoCancel, MsgIcon::Warning,
                {"&Download All", "&Upload Module Settings", "Neither"});
            if (answer == MsgResult::Yes) host_.RouteCommand(res::kDownload);
            if (answer == MsgResult::No) uploadAfterAsking();
            break;
        }
    }
}

void CMainFrame::OnToggleMonitoring() {
    RamMonitor& monitor = monitor_;
    if (!monitor.IsRunning() && samples_.Channel().Front() != nullptr) {
        // A log being played back holds the displays; monitoring takes them
        // only when the log is closed. Enter and Escape keep the log.
        const MsgResult answer = host_.MessageBoxNamed(
            "The displays show a log being played back.\n\n"
            "Close the log and show the module's live values instead?",
            kAppTitle, MsgButtons::YesNo, MsgIcon::Question,
            {"Close the Log and Monitor", "Keep the Log"});
        if (answer != MsgResult::Yes) return;
        commands_.Route(res::kCloseLog);
        // The question's loop may have started monitoring or made the link busy.
        if (samples_.Channel().Front() != nullptr || monitor.IsRunning()) return;
        // It may have made the module busy too: the command starts over
        // through the table, which puts it off then.
        commands_.Route(res::kToggleMonitoring);
        return;
    }
    ++monitorNesting_;
    if (monitor.IsRunning())
        monitor.Stop();
    else if (monitorNesting_ > 1)
        monitor.Start();
    else
        monitor.Run();
    --monitorNesting_;
    if (monitorNesting_ > 0) samples_.RequestRefresh(true);
}

void CMainFrame::OnResetPeakAcceleration() {
    Q_EMIT resetPeakRequested();
}

void CMainFrame::OnWriteSerial() {
    Q_EMIT writeSerialRequested();
}

bool CMainFrame::IsBusyForClose() const {
    if (host_.NestingDepth() > 0 || host_.IsModalActive()) return true;
    // The wait window stands for a link or transfer command on the stack.
    if (host_.WaitWindow()) return true;
    if (monitorNesting_ > 0 || linkCommandDepth_ > 0) return true;
    if (document_.TransferInProgress()) return true;
    if (link_.BusyCount() > 0 || link_.IsWaiting()) return true;
    if (monitor_.IsRunActive()) return true;
    return false;
}

void CMainFrame::RequestUnwind() {
    closePending_ = true;
    // The monitor loop ends when monitoring stops; the stop goes through the
    // command so that it waits for a packet being read.
    if (monitor_.IsRunning())
        host_.Post([this] {
            if (monitor_.IsRunning()) host_.RouteCommand(res::kToggleMonitoring);
        });
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (IsBusyForClose()) {
        // Closing now would destroy what a nested loop still uses: close later.
        event->ignore();
        RequestUnwind();
        return;
    }
    closePending_ = false;
    if (link_.IsLinked()) link_.BreakLink();
    if (!MayDiscardDocument()) {
        event->ignore();
        return;
    }
    event->accept();
}

bool CMainFrame::EndSession(bool allowInteraction) {
    if (IsBusyForClose()) {
        RequestUnwind();
        return false;
    }
    if (link_.IsLinked()) link_.BreakLink();
    if (!allowInteraction) return true;
    return MayDiscardDocument();
}

bool CMainFrame::MayDiscardDocument() {
    bool proceed = true;
    Q_EMIT closeQuestion(&proceed);
    return proceed;
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) continue;
        Q_EMIT fileDropped(url.toLocalFile());
        event->acceptProposedAction();
        break;  // one document at a time: the first file is opened
    }
}

}  // namespace qx::gui
