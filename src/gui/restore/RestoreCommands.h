#pragma once
// File > Restore Points...: shows the points kept of what the module held and
// acts on the one chosen once the dialog is closed: opens it as the tune,
// compares the tune with it, or opens it and offers the download as any
// opened file does.
//
// Ownership: a child of the main window. The frame, host and document outlive it.
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

#include "gui/edit/CompareCommands.h"
#include "gui/restore/RestorePointsDialog.h"

namespace qx {
class CommPort;
class ModuleState;
}  // namespace qx

namespace qx::gui {

class CompareCommands;
class FrameServices;
class QtHost;

class RestoreCommands : public QObject {
    Q_OBJECT
  public:
    RestoreCommands(FrameServices& frame, CompareCommands* compare, QtHost& host,
                    ModuleState& document, CommPort& link);

    struct Choice {
        RestorePointsDialog::Action action = RestorePointsDialog::Action::None;
        QString path;
    };
    // Shows the dialog and returns what was chosen (default: the dialog); tests replace it.
    using Chooser = std::function<Choice(RestorePointsDialog& dialog)>;
    void SetChooser(Chooser chooser) { chooser_ = std::move(chooser); }

    void OnRestorePoints();

  Q_SIGNALS:
    // The application opens path as the tune (with its usual questions), not
    // to be saved over the point.
    void openRestorePoint(const QString& path);

  private:
    FrameServices& frame_;
    QPointer<CompareCommands> compare_;  // the frame's; null when it has none
    QtHost& host_;
    ModuleState& document_;
    CommPort& link_;
    Chooser chooser_;
};

// Adds the command to the frame's command table.
RestoreCommands* InstallRestorePoints(FrameServices& frame, CompareCommands* compare, QtHost& host,
                                      ModuleState& document, CommPort& link);

}  // namespace qx::gui
