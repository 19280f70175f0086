#pragma once
// File > Restore Points...: the points kept of what the module held, newest
// first, with a filter by serial number. The dialog only chooses; the command
// that showed it acts once it is closed.
#include <QDialog>
#include <QString>
#include <vector>

#include "core/restore/RestorePoints.h"

class QComboBox;
class QPushButton;
class QTreeWidget;

namespace qx::gui {

class RestorePointsDialog : public QDialog {
    Q_OBJECT
  public:
    enum class Action { None, Open, Compare, Download };

    // points newest first; paths the files beside them. linked: Download is offered.
    RestorePointsDialog(std::vector<RestorePoint> points, std::vector<QString> paths, bool linked,
                        QWidget* parent = nullptr);

    Action ChosenAction() const { return action_; }
    // The file of the chosen point.
    QString ChosenPath() const { return chosen_; }

    // For tests and the keyboard: the rows shown now, and the filter.
    QTreeWidget* List() const { return list_; }
    QComboBox* SerialFilter() const { return filter_; }
    QPushButton* Button(Action action) const;

  private:
    void Fill();
    void UpdateButtons();
    void Choose(Action action);

    std::vector<RestorePoint> points_;
    std::vector<QString> paths_;
    bool linked_;
    QTreeWidget* list_;
    QComboBox* filter_;
    QPushButton* open_;
    QPushButton* compare_;
    QPushButton* download_;
    Action action_ = Action::None;
    QString chosen_;
};

// "00042", or "unknown".
QString SerialText(int serial);

}  // namespace qx::gui
