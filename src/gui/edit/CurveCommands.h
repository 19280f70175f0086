#pragma once
// The commands that shape the current map's selected range of points (Edit >
// Curve: Interpolate, Smooth, Scale, Offset, Set All) and Copy and Paste of
// points through the clipboard. Each change is one step of the document's
// history; only the points whose value moves are set, so while linked only
// their bytes are written, mirrored twins included. The commands are
// postponed like every command while the monitor is inside a packet and do
// nothing while a module command or a transfer runs.
//
// Ownership: a child of the frame; neither the document nor the view is owned
// and both must outlive it.
#include <QObject>
#include <QPointer>
#include <optional>
#include <string>
#include <vector>

#include "gui/graph/MapGraphView.h"

namespace qx {
class Host;
class ModuleState;
}  // namespace qx

namespace qx::gui {

class CommandTable;

class CurveCommands : public QObject {
    Q_OBJECT
  public:
    CurveCommands(QObject* parent, Host& host, CommandTable& commands, ModuleState& document,
                  MapGraphView* view);

    void OnCurveTool(int id);
    void OnCopy();
    void OnPaste();

    // The text Copy puts on the clipboard; the text Paste reads (false and a
    // message when it is refused, nothing changed).
    std::string CopyText() const;
    bool PasteText(const std::string& text);

  private:
    bool Ready() const;
    int MapIndex() const;
    std::vector<double> Values() const;
    bool Apply(const std::string& verb, const std::vector<double>& values);

    Host& host_;
    ModuleState& document_;
    QPointer<MapGraphView> view_;
};

}  // namespace qx::gui
