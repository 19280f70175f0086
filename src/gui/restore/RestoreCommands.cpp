#include "gui/restore/RestoreCommands.h"

#include "core/link/CommPort.h"
#include "core/model/ModuleState.h"
#include "core/monitor/RamMonitor.h"
#include "core/restore/RestorePoints.h"
#include "gui/edit/CompareCommands.h"
#include "gui/edit/TuneComparison.h"
#include "gui/resources/Resources.h"
#include "gui/shell/CommandTable.h"
#include "gui/shell/FrameServices.h"
#include "gui/shell/ModuleGate.h"
#include "gui/shell/QtHost.h"

namespace qx::gui {

RestoreCommands::RestoreCommands(FrameServices& frame, CompareCommands* compare, QtHost& host,
                                 ModuleState& document, CommPort& link)
    : QObject(&frame.Window()),
      frame_(frame),
      compare_(compare),
      host_(host),
      document_(document),
      link_(link) {
    chooser_ = [this](RestorePointsDialog& dialog) {
        host_.EnterModal();
        dialog.exec();
        host_.LeaveModal();
        return Choice{dialog.ChosenAction(), dialog.ChosenPath()};
    };
    frame.Commands().Add(res::kRestorePoints, CommandOwner::Application, kModuleCommand,
                         [this] { OnRestorePoints(); });
}

void RestoreCommands::OnRestorePoints() {
    RestorePoints* store = AppRestorePoints();
    if (store == nullptr) {
        host_.MessageBox("Restore points are not kept in this run.", "Restore Points",
                         MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    const std::vector<RestorePoint> points = store->List();
    if (points.empty()) {
        host_.MessageBox(
            "No restore point has been kept yet.\n\nOne is kept each time the "
            "module's settings are read, and before anything overwrites them, in\n" +
                store->Folder(),
            "Restore Points", MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    std::vector<QString> paths;
    for (const RestorePoint& p : points) paths.push_back(QString::fromStdString(store->PathOf(p)));
    const bool linked = link_.IsLinked();
    Choice choice;
    {
        RestorePointsDialog dialog(points, paths, linked, &frame_.Window());
        choice = chooser_(dialog);
    }
    // The dialog's loop may have let anything run: look again before acting.
    if (choice.action == RestorePointsDialog::Action::None || choice.path.isEmpty()) return;
    switch (choice.action) {
        case RestorePointsDialog::Action::Compare:
            if (ModuleBusy(document_)) return;
            if (compare_) compare_->Comparison().LoadFile(choice.path.toStdString());
            break;
        case RestorePointsDialog::Action::Open:
        case RestorePointsDialog::Action::Download:
            // Opening a file with the link up offers its download.
            Q_EMIT openRestorePoint(choice.path);
            break;
        case RestorePointsDialog::Action::None:
            break;
    }
}

RestoreCommands* InstallRestorePoints(FrameServices& frame, CompareCommands* compare, QtHost& host,
                                      ModuleState& document, CommPort& link) {
    return new RestoreCommands(frame, compare, host, document, link);
}

}  // namespace qx::gui
