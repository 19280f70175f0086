#include "gui/edit/EditCommands.h"

#include <QString>

#include "core/link/CommPort.h"
#include "core/model/ModuleState.h"
#include "core/monitor/RamMonitor.h"
#include "gui/graph/MapGraphView.h"
#include "gui/shell/CommandTable.h"

namespace qx::gui {

EditCommands::EditCommands(QObject* parent, CommandTable& commands, ModuleState& document,
                           MapGraphView* view)
    : QObject(parent), document_(document), view_(view) {
    commands.Add(
        cmd::kEditUndo, CommandOwner::Document, [this] { OnUndo(); },
        [this](CommandState& s) {
            s.enabled = !ModuleBusy() && document_.History().CanUndo();
            s.text = "&" + QString::fromStdString(document_.History().UndoText()) + "\tCtrl+Z";
        });
    commands.Add(
        cmd::kEditRedo, CommandOwner::Document, [this] { OnRedo(); },
        [this](CommandState& s) {
            s.enabled = !ModuleBusy() && document_.History().CanRedo();
            s.text = "&" + QString::fromStdString(document_.History().RedoText()) + "\tCtrl+Y";
        });
    document_.History().SetListener([this] { Q_EMIT historyChanged(); });
    connect(this, &EditCommands::historyChanged, this, &EditCommands::Refresh);
}

EditCommands::~EditCommands() {
    document_.History().SetListener({});
}

bool EditCommands::ModuleBusy() const {
    return document_.TransferInProgress() ||
           (CommPort::Exists() && CommPort::Instance().BusyCount() > 0);
}

void EditCommands::OnUndo() {
    if (RamMonitor::Instance().PostponeCommandIfBusy(cmd::kEditUndo, false)) return;
    if (ModuleBusy()) return;
    document_.History().Undo();
}

void EditCommands::OnRedo() {
    if (RamMonitor::Instance().PostponeCommandIfBusy(cmd::kEditRedo, false)) return;
    if (ModuleBusy()) return;
    document_.History().Redo();
}

void EditCommands::Refresh() {
    if (view_ == nullptr) return;
    view_->RepositionMarkers();
    view_->update();
}

}  // namespace qx::gui
