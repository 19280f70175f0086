#pragma once
// The Edit menu's commands: Undo and Redo through the document's history.
// Their menu texts name the step ("Undo Rev Limit"); they are disabled when
// there is nothing to take back or forward and while the module is busy, and
// are postponed by the command table like every command that writes. After each step of the history
// the graph is redrawn.
//
// Ownership: a child of the frame; it unhooks itself from the document's
// history when destroyed. The document must outlive it.
#include <QObject>

namespace qx {
class ModuleState;
}  // namespace qx

namespace qx::gui {

class CommandTable;
class MapGraphView;

class EditCommands : public QObject {
    Q_OBJECT
  public:
    EditCommands(QObject* parent, CommandTable& commands, ModuleState& document,
                 MapGraphView* view);
    ~EditCommands() override;

    void OnUndo();
    void OnRedo();

  Q_SIGNALS:
    // The history changed: a new step, an undo or redo, a clear or a save.
    void historyChanged();

  private:
    void Refresh();

    ModuleState& document_;
    MapGraphView* view_;
};

}  // namespace qx::gui
