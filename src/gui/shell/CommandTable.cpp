#include "gui/shell/CommandTable.h"

#include <QAction>
#include <algorithm>

namespace qx::gui {

void CommandTable::Add(int id, CommandOwner owner, Handler handler, Updater updater) {
    Target t;
    t.owner = owner;
    t.id = id;
    t.route = [handler = std::move(handler)](int) {
        if (handler) handler();
        return true;
    };
    t.update = [updater = std::move(updater)](int, CommandState& s) {
        if (updater) updater(s);
        return true;
    };
    auto pos = std::upper_bound(targets_.begin(), targets_.end(), owner,
                                [](CommandOwner o, const Target& x) { return o < x.owner; });
    targets_.insert(pos, std::move(t));
}

void CommandTable::AddTarget(CommandOwner owner, RouteFn route, UpdateFn update) {
    Target t{owner, -1, std::move(route), std::move(update)};
    auto pos = std::upper_bound(targets_.begin(), targets_.end(), owner,
                                [](CommandOwner o, const Target& x) { return o < x.owner; });
    targets_.insert(pos, std::move(t));
}

const CommandTable::Target* CommandTable::FindTarget(int id) const {
    for (const Target& t : targets_) {
        if (t.id == id) return &t;
        if (t.id == -1 && t.update) {
            CommandState probe;
            if (t.update(id, probe)) return &t;
        }
    }
    return nullptr;
}

bool CommandTable::Handles(int id) const {
    return FindTarget(id) != nullptr;
}

CommandState CommandTable::StateOf(int id) const {
    CommandState s;
    const Target* t = FindTarget(id);
    if (!t) {
        s.enabled = false;
        return s;
    }
    if (t->update) t->update(id, s);
    return s;
}

bool CommandTable::Route(int id) {
    for (const Target& t : targets_) {
        if (t.id != id && t.id != -1) continue;
        CommandState s;
        if (t.update && !t.update(id, s)) continue;  // a multi-id target that does not know id
        if (!s.enabled) return false;
        // Copy: the handler may add targets and move the vector.
        RouteFn route = t.route;
        if (route(id)) return true;
    }
    return false;
}

void CommandTable::Bind(QAction* action, int id, bool retitle) {
    bindings_.push_back({action, id, retitle});
    QObject::connect(action, &QAction::triggered, action, [this, id] { Route(id); });
}

std::vector<QAction*> CommandTable::ActionsFor(int id) const {
    std::vector<QAction*> out;
    for (const Binding& b : bindings_)
        if (b.id == id && b.action) out.push_back(b.action);
    return out;
}

void CommandTable::UpdateActions() {
    bindings_.erase(std::remove_if(bindings_.begin(), bindings_.end(),
                                   [](const Binding& b) { return b.action.isNull(); }),
                    bindings_.end());
    std::map<int, CommandState> states;
    for (const Binding& b : bindings_) {
        auto it = states.find(b.id);
        if (it == states.end()) it = states.emplace(b.id, StateOf(b.id)).first;
        const CommandState& s = it->second;
        QAction* a = b.action;
        if (a->isEnabled() != s.enabled) a->setEnabled(s.enabled);
        if (a->isCheckable() && a->isChecked() != s.checked) a->setChecked(s.checked);
        if (b.retitle && s.text && a->text() != *s.text) a->setText(*s.text);
    }
}

}  // namespace qx::gui
