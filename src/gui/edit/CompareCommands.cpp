#include "gui/edit/CompareCommands.h"

#include <QDir>
#include <QFileDialog>
#include <QScreen>
#include <algorithm>

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
            s.checked = window_ && window_->isVisible();
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
    if (window_) window_->hide();
}

void CompareCommands::OnDifferencesWindow() {
    if (!comparison_->Active()) return;
    if (!window_) {
        window_ = new DifferencesWindow(&frame_, document_, *comparison_);
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
        PlaceBesideFrame(*window_);
    }
    if (window_->isVisible()) {
        window_->hide();
    } else {
        window_->Reload();
        window_->show();
        window_->raise();
    }
}

QPoint BesidePosition(const QRect& frame, const QSize& window, const QRect& screen) {
    // Right of the main window where the screen has room, else left of it,
    // else against the screen's right edge over the main window's right part.
    const int gap = 8;
    int x = frame.right() + 1 + gap;
    if (x + window.width() > screen.right() + 1) x = frame.left() - gap - window.width();
    if (x < screen.left()) x = std::max(screen.left(), screen.right() + 1 - window.width());
    const int lowest = std::max(screen.top(), screen.bottom() + 1 - window.height());
    return {x, std::clamp(frame.top(), screen.top(), lowest)};
}

void CompareCommands::PlaceBesideFrame(QWidget& window) const {
    const QScreen* screen = frame_.screen();
    const QRect frame = frame_.frameGeometry();
    window.move(BesidePosition(frame, window.frameGeometry().size(),
                               screen ? screen->availableGeometry() : frame));
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
            window_->hide();
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
