#pragma once
// The one command table of the program: for each command id the handler that
// runs it and the rule that gives its enabled/checked/text state. Menu items,
// toolbar buttons and accelerators are QActions bound to ids; their state is
// refreshed on idle and before a menu shows. Routing asks the command targets
// in order (view, monitor window, document, frame, application); the first
// that handles an id runs it. Postponed commands are replayed through Route.
//
// Ownership: the table does not own the actions bound to it (their Qt parents
// do); a destroyed action is forgotten.
#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <optional>
#include <vector>

class QAction;

namespace qx::gui {

struct CommandState {
    bool enabled = true;
    bool checked = false;
    std::optional<QString> text;  // a new menu text, when the rule retitles
};

enum class CommandOwner { View, MonitorWindow, Document, Frame, Application };

class CommandTable {
  public:
    using Handler = std::function<void()>;
    using Updater = std::function<void(CommandState&)>;
    // A target that decides per id: answer true when it handled (or updated) the id.
    using RouteFn = std::function<bool(int id)>;
    using UpdateFn = std::function<bool(int id, CommandState& state)>;

    // One id with its handler and, optionally, its update rule (default: enabled).
    void Add(int id, CommandOwner owner, Handler handler, Updater updater = {});
    // A target that handles many ids (the graph view, the monitor window).
    void AddTarget(CommandOwner owner, RouteFn route, UpdateFn update);

    // Runs the handler of id after checking its state; false when no target
    // handles it or it is disabled now.
    bool Route(int id);
    // True when some target handles id.
    bool Handles(int id) const;
    // The current state of id; a command that nobody handles is disabled.
    CommandState StateOf(int id) const;

    // Binds action to id: triggering it routes id; UpdateActions sets its state.
    // retitle: the action's text follows the rule's text (menu items only).
    void Bind(QAction* action, int id, bool retitle);
    // The live actions bound to id, in binding order.
    std::vector<QAction*> ActionsFor(int id) const;
    void UpdateActions();

  private:
    struct Target {
        CommandOwner owner;
        int id;  // -1: a multi-id target
        RouteFn route;
        UpdateFn update;
    };
    struct Binding {
        QPointer<QAction> action;
        int id;
        bool retitle;
    };
    const Target* FindTarget(int id) const;

    std::vector<Target> targets_;  // kept in routing order
    std::vector<Binding> bindings_;
};

}  // namespace qx::gui
