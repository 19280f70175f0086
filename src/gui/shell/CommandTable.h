#pragma once
// The one command table of the program: for each command id the handler that
// runs it, the rule that gives its enabled/checked/text state, and what it
// declares of itself: whether its menu items carry a check mark and whether it
// is put off while the module is busy. Menu items, toolbar buttons and
// accelerators are QActions bound to ids; their state is refreshed on idle and
// before a menu shows. Routing asks the command targets in order (view, monitor
// window, document, frame, application); the first that handles an id runs it.
// A command that talks to the module is asked about first, once, here: while
// the module is busy it is queued, and the queue is replayed through Route.
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

// How a command meets a busy module (a packet being read, a module command
// running): every command that talks to the module or opens a modal window is
// queued then and replayed once the module is free.
enum class Postpone {
    Never,
    WhileBusy,         // runs beside a running monitor
    WhileBusySuspend,  // the monitor is suspended before it runs
};

// What a command declares of itself when it joins the table.
struct CommandRules {
    Postpone postpone = Postpone::Never;
    bool checkable = false;  // its menu items (and buttons) carry a check mark
};
inline constexpr CommandRules kPlainCommand{};
inline constexpr CommandRules kCheckCommand{Postpone::Never, true};
inline constexpr CommandRules kModuleCommand{Postpone::WhileBusy, false};
inline constexpr CommandRules kSuspendingCommand{Postpone::WhileBusySuspend, false};

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

    // Asks the module's arbiter about id: true when it queued id for later;
    // otherwise, with suspend, the monitor is suspended for the command.
    using Postponer = std::function<bool(int id, bool suspend)>;

    // A table without a postponer runs every command at once.
    CommandTable() = default;
    explicit CommandTable(Postponer postponer) : postponer_(std::move(postponer)) {}

    // One id with its rules, its handler and, optionally, its update rule
    // (default: enabled).
    void Add(int id, CommandOwner owner, CommandRules rules, Handler handler, Updater updater = {});
    // The rules of an id that a multi-id target handles.
    void Declare(int id, CommandRules rules);
    CommandRules RulesOf(int id) const;
    // The key of id as menus show it ("Ctrl+Z"), "" when it has none: the
    // first of its accelerators, the one place keys are written.
    static QString KeyText(int id);
    // A target that handles many ids (the graph view, the monitor window).
    void AddTarget(CommandOwner owner, RouteFn route, UpdateFn update);

    // Queues id while the module is busy when its rules say so (true);
    // otherwise runs its handler after checking its state; false when no
    // target handles it or it is disabled now.
    bool Route(int id);
    // True when some target handles id.
    bool Handles(int id) const;
    // The current state of id; a command that nobody handles is disabled.
    CommandState StateOf(int id) const;

    // Binds action to id: triggering it routes id; UpdateActions sets its state.
    // retitle: the action's text follows the rule's text, with the key (menu
    // items only). checkMark: a checkable command's action shows its check.
    void Bind(QAction* action, int id, bool retitle, bool checkMark = false);
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
        bool checkMark;
    };
    const Target* FindTarget(int id) const;
    void ApplyRules(int id, CommandRules rules);

    std::vector<Target> targets_;  // kept in routing order
    std::vector<Binding> bindings_;
    std::map<int, CommandRules> rules_;
    Postponer postponer_;
};

}  // namespace qx::gui
