#include "gui/shell/CommandTable.h"

#include <QAction>
#include <algorithm>

#include "gui/resources/Resources.h"

namespace qx::gui {

void CommandTable::Add(int id, CommandOwner owner, CommandRules rules, Handler handler,
                       Updater updater) {
    Declare(id, rules);
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

void CommandTable::Declare(int id, CommandRules rules) {
    rules_[id] = rules;
    ApplyRules(id, rules);
}

CommandRules CommandTable::RulesOf(int id) const {
    const auto it = rules_.find(id);
    return it == rules_.end() ? kPlainCommand : it->second;
}

void CommandTable::ApplyRules(int id, CommandRules rules) {
    // Actions bound before the command joined (menus are built first).
    for (const Binding& b : bindings_)
        if (b.id == id && b.checkMark && b.action) b.action->setCheckable(rules.checkable);
}

QString CommandTable::KeyText(int id) {
    for (const res::Accelerator& acc : res::Accelerators())
        if (acc.id == id)
            return QString::fromUtf8(acc.keys.data(), static_cast<int>(acc.keys.size()));
    return QString();
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
    const CommandRules rules = RulesOf(id);
    bool asked = rules.postpone == Postpone::Never || !postponer_;
    for (const Target& t : targets_) {
        if (t.id != id && t.id != -1) continue;
        CommandState s;
        if (t.update && !t.update(id, s)) continue;  // a multi-id target that does not know id
        // Copy: the handler, or a wait of the monitor, may add targets and move the vector.
        RouteFn route = t.route;
        if (!asked) {
            // First, whatever the state: a command that arrives while the
            // module is busy is replayed later, when its state is asked again.
            asked = true;
            const bool suspend = rules.postpone == Postpone::WhileBusySuspend && s.enabled;
            if (postponer_(id, suspend)) return true;
        }
        if (!s.enabled) return false;
        if (route(id)) return true;
    }
    return false;
}

void CommandTable::Bind(QAction* action, int id, bool retitle, bool checkMark) {
    bindings_.push_back({action, id, retitle, checkMark});
    if (checkMark && RulesOf(id).checkable) action->setCheckable(true);
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
        if (b.retitle && s.text) {
            QString text = *s.text;
            if (const QString key = KeyText(b.id); !key.isEmpty()) text += QLatin1Char('\t') + key;
            if (a->text() != text) a->setText(text);
        }
    }
}

}  // namespace qx::gui
