#include "gui/edit/EditCommands.h"

#include <QString>

#include "core/model/ModuleState.h"
#include "gui/graph/MapGraphView.h"
#include "gui/shell/CommandTable.h"
#include "gui/shell/ModuleGate.h"

namespace qx::gui {

EditCommands::EditCommands(QObject* parent, CommandTable& commands, ModuleState& document,
                           MapGraphView* view)
    : QObject(parent), document_(document), view_(view) {
    commands.Add(
        cmd::kEditUndo, CommandOwner::Document, kModuleCommand, [this] { OnUndo(); },
        [this](CommandState& s) {
            s.enabled = !ModuleBusy(document_) && document_.History().CanUndo();
            s.text = "&" + QString::fromStdString(document_.History().UndoText());
        });
    commands.Add(
        cmd::kEditRedo, CommandOwner::Document, kModuleCommand, [this] { OnRedo(); },
        [this](CommandState& s) {
            s.enabled = !ModuleBusy(document_) && document_.History().CanRedo();
            s.text = "&" + QString::fromStdString(document_.History().RedoText());
        });
    document_.History().SetListener([this] { Q_EMIT historyChanged(); });
    connect(this, &EditCommands::historyChanged, this, &EditCommands::Refresh);
}

EditCommands::~EditCommands() {
    document_.History().SetListener({});
}

void EditCommands::OnUndo() {
    if (ModuleBusy(document_)) return;
    document_.History().Undo();
}

void EditCommands::OnRedo() {
    if (ModuleBusy(document_)) return;
    document_.History().Redo();
}

void EditCommands::Refresh() {
    if (view_ == nullptr) return;
    view_->RepositionMarkers();
    view_->update();
}

}  // namespace qx::gui
