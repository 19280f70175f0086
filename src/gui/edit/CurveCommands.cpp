#include "gui/edit/CurveCommands.h"

#include <QApplication>
#include <QClipboard>

#include "core/host/Host.h"
#include "core/host/Numbers.h"
#include "core/maps/CurveTools.h"
#include "core/maps/ModuleMap.h"
#include "core/model/ModuleState.h"
#include "gui/edit/NumberDialog.h"
#include "gui/graph/MapGraphView.h"
#include "gui/shell/CommandTable.h"
#include "gui/shell/ModuleGate.h"

namespace qx::gui {

namespace {

const char* const kPasteTitle = "Paste";

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string PointCountText(int n) {
    return std::to_string(n) + (n == 1 ? " point" : " points");
}

}  // namespace

CurveCommands::CurveCommands(QObject* parent, Host& host, CommandTable& commands,
                             ModuleState& document, MapGraphView* view)
    : QObject(parent), host_(host), document_(document), view_(view) {
    for (int id : {cmd::kCurveInterpolate, cmd::kCurveSmooth, cmd::kCurveScale, cmd::kCurveOffset,
                   cmd::kCurveSetAll}) {
        commands.Add(
            id, CommandOwner::Document, kModuleCommand, [this, id] { OnCurveTool(id); },
            [this, id](CommandState& s) {
                // A line or a smoothing needs both ends and, to smooth, a point between.
                const int points = view_ ? view_->RangeLast() - view_->RangeFirst() + 1 : 0;
                const int least = id == cmd::kCurveInterpolate ? 2
                                  : id == cmd::kCurveSmooth    ? 3
                                                               : 1;
                s.enabled = Ready() && points >= least;
            });
    }
    commands.Add(
        cmd::kEditCopy, CommandOwner::Document, kPlainCommand, [this] { OnCopy(); },
        [this](CommandState& s) { s.enabled = view_ && view_->CurrentMap(); });
    commands.Add(
        cmd::kEditPaste, CommandOwner::Document, kModuleCommand, [this] { OnPaste(); },
        [this](CommandState& s) { s.enabled = Ready(); });
}

bool CurveCommands::Ready() const {
    return view_ != nullptr && MapIndex() >= 0 && !ModuleBusy(document_);
}

int CurveCommands::MapIndex() const {
    const ModuleMap* map = view_ ? view_->CurrentMap() : nullptr;
    if (map == nullptr || !map->Initialized()) return -1;
    return MapIndexOf(document_, map);
}

std::vector<double> CurveCommands::Values() const {
    std::vector<double> y;
    const ModuleMap* map = view_->CurrentMap();
    for (int i = 0; i < map->PointCount(); ++i) y.push_back(map->Point(i).value->GetValue());
    return y;
}

bool CurveCommands::Apply(const std::string& verb, const std::vector<double>& values) {
    const int m = MapIndex();
    if (m < 0) return false;
    const std::vector<double> now = Values();
    std::vector<EditTarget> targets;
    for (std::size_t i = 0; i < values.size() && i < now.size(); ++i) {
        // Only what moves is set, and so written.
        if (values[i] != now[i])
            targets.push_back({SettingKey::Point(m, static_cast<int>(i)), values[i]});
    }
    if (targets.empty()) return false;
    const bool done = document_.History().Perform(verb + " Map " + std::to_string(m + 1), targets);
    view_->RepositionMarkers();
    view_->update();
    return done;
}

void CurveCommands::OnCurveTool(int id) {
    if (!Ready()) return;
    const ModuleMap* map = view_->CurrentMap();
    const QString title = Q(map->Title());
    const QString unit = Q(map->YUnits());
    std::optional<double> number;
    const char* verb = "";
    switch (id) {
        case cmd::kCurveScale:
            number = NumberDialog::Ask(host_, view_, title, QStringLiteral("Scale by"),
                                       QStringLiteral("%"), QStringLiteral("100"));
            verb = "Scale";
            break;
        case cmd::kCurveOffset:
            number = NumberDialog::Ask(host_, view_, title, QStringLiteral("Add"), unit,
                                       QStringLiteral("0"));
            verb = "Offset";
            break;
        case cmd::kCurveSetAll: {
            const double now = map->Point(view_->SelectedIndex()).value->GetValue();
            number = NumberDialog::Ask(host_, view_, title, QStringLiteral("Set all to"), unit,
                                       Q(FormatDouble("%g", now)));
            verb = "Set All";
            break;
        }
        case cmd::kCurveInterpolate:
            verb = "Interpolate";
            break;
        case cmd::kCurveSmooth:
            verb = "Smooth";
            break;
        default:
            return;
    }
    const bool needsNumber =
        id == cmd::kCurveScale || id == cmd::kCurveOffset || id == cmd::kCurveSetAll;
    if (needsNumber && !number) return;
    // The dialog ran a nested loop: everything is looked up again.
    if (!Ready()) return;
    map = view_->CurrentMap();
    const std::vector<double> y = Values();
    const CurveRange range{view_->RangeFirst(), view_->RangeLast()};
    const CurveScale scale = ScaleOf(*map);
    std::vector<double> result;
    switch (id) {
        case cmd::kCurveInterpolate:
            result = Interpolate(y, range, scale);
            break;
        case cmd::kCurveSmooth:
            result = Smooth(y, range, scale);
            break;
        case cmd::kCurveScale:
            result = ScaleBy(y, range, scale, *number);
            break;
        case cmd::kCurveOffset:
            result = Offset(y, range, scale, *number);
            break;
        default:
            result = SetAll(y, range, scale, *number);
            break;
    }
    Apply(verb, result);
}

std::string CurveCommands::CopyText() const {
    const ModuleMap* map = view_ ? view_->CurrentMap() : nullptr;
    if (map == nullptr || !map->Initialized()) return {};
    // The range, or the whole map when no range is selected.
    const int first = view_->HasRange() ? view_->RangeFirst() : 0;
    const int last = view_->HasRange() ? view_->RangeLast() : map->PointCount() - 1;
    std::vector<double> x;
    std::vector<double> y;
    for (int i = first; i <= last; ++i) {
        x.push_back(map->Point(i).x);
        y.push_back(map->Point(i).value->GetValue());
    }
    return FormatPointsText(PointsHeader(*map), x, y);
}

void CurveCommands::OnCopy() {
    const std::string text = CopyText();
    if (!text.empty()) QApplication::clipboard()->setText(Q(text));
}

bool CurveCommands::PasteText(const std::string& text) {
    if (!Ready()) return false;
    std::vector<PastedPoint> pasted;
    std::string why;
    auto refuse = [this](const std::string& message) {
        host_.MessageBox(message, kPasteTitle, MsgButtons::Ok, MsgIcon::Warning);
        return false;
    };
    if (!ParsePointsText(text, pasted, why))
        return refuse("The clipboard does not hold points to paste:\n" + why + ".");
    const ModuleMap* map = view_->CurrentMap();
    // Onto the range, or from the selected point on.
    const int first = view_->RangeFirst();
    const bool range = view_->HasRange();
    const int room = range ? view_->RangeLast() - first + 1 : map->PointCount() - first;
    const int count = static_cast<int>(pasted.size());
    if (count > room) {
        return refuse("The clipboard holds " + PointCountText(count) + ", but only " +
                      std::to_string(room) +
                      (range ? " are selected." : " follow the selected point."));
    }
    // A range chosen and not filled is a mistake somewhere: say so rather than
    // fill part of it.
    if (range && count < room) {
        return refuse("The clipboard holds " + PointCountText(count) + ", but " +
                      std::to_string(room) +
                      " are selected.\nSelect as many points, or one point to paste from it on.");
    }
    const int points = map->PointCount();  // the map may go in the writes' nested loops
    std::vector<double> y = Values();
    if (!PlacePastedPoints(pasted, AxisOf(*map), first, y, why))
        return refuse("Nothing was pasted:\n" + why + ".");
    const bool done = Apply("Paste", y);
    if (done && count < room) {
        // From the selected point on and not to the map's end: the points after keep theirs.
        const std::string which = count == 1 ? "point " + std::to_string(first + 1)
                                             : "points " + std::to_string(first + 1) + " to " +
                                                   std::to_string(first + count);
        host_.MessageBox("Pasted " + PointCountText(count) + ", " + which + " of " +
                             std::to_string(points) + ".",
                         kPasteTitle, MsgButtons::Ok, MsgIcon::Information);
    }
    return true;
}

void CurveCommands::OnPaste() {
    PasteText(QApplication::clipboard()->text().toStdString());
}

}  // namespace qx::gui
