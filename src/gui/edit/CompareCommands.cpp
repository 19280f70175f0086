#include "gui/edit/CompareCommands.h"

#include <QDir>
#include <QFileDialog>
#include <QMainWindow>

#include "core/link/CommPort.h"
#include "core/model/ModuleState.h"
#include "gui/edit/DifferencesWindow.h"
#include "gui/edit/TuneComparison.h"
#include "gui/graph/MapGraphView.h"
#include "gui/resources/Resources.h"
#include "gui/shell/CommandTable.h"
#include "gui/shell/ModuleGate.h"
#include "gui/shell/QtHost.h"

namespace qx::gui {

namespace {}  // namespace

QColor DiffersMarkColor() {
    return QColor(150, 40, 210);
}

CompareCommands::CompareCommands(QWidget& frame, QtHost& host, CommandTable& commands,
                                 ModuleState& document, CommPort& link, MapGraphView* view)
    : QObject(&frame),
      frame_(frame),
      host_(host),
      commands_(commands),
      document_(document),
      link_(link),
      view_(view),
      comparison_(new TuneComparison(this, document, host, link)) {
    chooser_ = [this]() -> std::optional<QString> {
        host_.EnterModal();
        QFileDialog dialog(&frame_, QStringLiteral("Compare With"), QDir::currentPath(),
                           QString::fromUtf8(res::kFileDialogFilter.data(),
                                             static_cast<int>(res::kFileDialogFilter.size())));
        dialog.setFileMode(QFileDialog::ExistingFile);
        const bool ok = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
        host_.LeaveModal();
        if (!ok) return std::nullopt;
        return dialog.selectedFiles().first();
    };
    auto idle = [this](CommandState& s) {
        s.enabled = !ModuleBusy(document_) && !comparison_->Loading();
    };
    commands.Add(
        cmd::kCompareWithFile, CommandOwner::Document, kModuleCommand,
        [this] { OnCompareWithFile(); }, idle);
    commands.Add(
        cmd::kCompareWithModule, CommandOwner::Document, kModuleCommand,
        [this] { OnCompareWithModule(); },
        [this](CommandState& s) {
            s.enabled = !ModuleBusy(document_) && !comparison_->Loading() && link_.IsLinked();
        });
    commands.Add(
        cmd::kHideComparison, CommandOwner::Document, kPlainCommand, [this] { OnHideComparison(); },
        [this](CommandState& s) { s.enabled = comparison_->Active() && !comparison_->Loading(); });
    commands.Add(
        cmd::kDifferencesWindow, CommandOwner::Document, kCheckCommand,
        [this] { OnDifferencesWindow(); },
        [this](CommandState& s) {
            s.enabled = comparison_->Active();
            s.checked = dock_ && !dock_->isHidden();
        });
    commands.Add(
        cmd::kUseOtherValue, CommandOwner::Document, kModuleCommand, [this] { OnUseOtherValue(); },
        [this](CommandState& s) {
            SettingKey key;
            s.enabled = !ModuleBusy(document_) && window_ && window_->CurrentKey(key);
        });
    connect(comparison_, &TuneComparison::changed, this, &CompareCommands::OnChanged);
}

CompareCommands::~CompareCommands() {
    if (view_) view_->SetComparison(nullptr);
}

void CompareCommands::OnCompareWithFile() {
    if (ModuleBusy(document_)) return;
    const std::optional<QString> path = chooser_ ? chooser_() : std::nullopt;
    if (!path) return;
    comparison_->LoadFile(path->toStdString());
}

void CompareCommands::OnCompareWithModule() {
    if (ModuleBusy(document_)) return;
    comparison_->LoadFromModule();
}

void CompareCommands::OnHideComparison() {
    comparison_->Hide();
    HidePanel();
}

void CompareCommands::HidePanel() {
    if (dock_) dock_->hide();
}

void CompareCommands::OnDifferencesWindow() {
    if (!comparison_->Active()) return;
    if (!dock_) {
        dock_ = new QDockWidget(&frame_);
        dock_->setObjectName(QStringLiteral("DifferencesDock"));
        window_ = new DifferencesWindow(dock_, document_, *comparison_);
        dock_->setWidget(window_);
        dock_->setWindowTitle(window_->windowTitle());
        connect(window_, &QWidget::windowTitleChanged, dock_, &QWidget::setWindowTitle);
        connect(window_, &DifferencesWindow::closeRequested, this, &CompareCommands::HidePanel);
        connect(window_, &DifferencesWindow::useOtherValue, this,
                [this] { commands_.Route(cmd::kUseOtherValue); });
        connect(window_, &DifferencesWindow::jumpTo, this, [this](SettingKey key) {
            if (key.IsBasic() || view_ == nullptr) return;
            document_.OnSelectMap(cmd::kMapFirst + key.map);
            view_->ClearRange();
            view_->SelectMarkerByIndex(key.index);
            // The keys go to the graph again: the point is there to be edited.
            frame_.activateWindow();
            frame_.raise();
            view_->setFocus();
        });
        DockBesideGraph();
        return;
    }
    if (!dock_->isHidden()) {
        dock_->hide();
    } else {
        window_->Reload();
        dock_->show();
        dock_->raise();
    }
}

void CompareCommands::DockBesideGraph() {
    window_->Reload();
    auto* main = qobject_cast<QMainWindow*>(&frame_);
    if (main == nullptr) {
        // No main window to dock in: a window of its own.
        dock_->setFloating(true);
        dock_->show();
        return;
    }
    // On the right while the graph keeps more width than height; else the
    // wide list goes below it, where the points keep the whole width.
    const QSize want = window_->sizeHint();
    const bool right = main->width() - want.width() >= main->height();
    const Qt::DockWidgetArea area = right ? Qt::RightDockWidgetArea : Qt::BottomDockWidgetArea;
    // Below or above the graph the title runs up the panel's side: the rows keep its height.
    connect(dock_, &QDockWidget::dockLocationChanged, dock_, [this](Qt::DockWidgetArea where) {
        dock_->setFeatures(dock_->features().setFlag(
            QDockWidget::DockWidgetVerticalTitleBar,
            where == Qt::BottomDockWidgetArea || where == Qt::TopDockWidgetArea));
    });
    main->addDockWidget(area, dock_);
    dock_->show();
    main->resizeDocks({dock_}, {right ? want.width() : want.height()},
                      right ? Qt::Horizontal : Qt::Vertical);
}

void CompareCommands::OnUseOtherValue() {
    SettingKey key;
    if (ModuleBusy(document_) || !window_ || !window_->CurrentKey(key)) return;
    comparison_->UseOtherValue(key);
    if (view_ != nullptr) {
        view_->RepositionMarkers();
        view_->update();
    }
}

void CompareCommands::OnChanged() {
    if (view_ != nullptr) view_->SetComparison(comparison_->Active() ? comparison_ : nullptr);
    if (window_) {
        if (comparison_->Active()) {
            window_->Reload();
        } else {
            HidePanel();
        }
    }
    MarkMaps();
}

void CompareCommands::MarkMaps() {
    std::vector<bool> differs;
    for (int id = cmd::kMapFirst; id <= cmd::kMapLast; ++id)
        differs.push_back(comparison_->MapDiffers(id - cmd::kMapFirst));
    Q_EMIT mapsMarked(differs);
}

}  // namespace qx::gui
