#pragma once
// The Differences panel: every setting and map point where the edited tune
// and the comparison differ, with where on its map a point lies, this tune's
// value, the other's (its column titled with the comparison's name) and the
// difference, each written as qvx writes it. A double click or Enter shows
// the map and selects the point; only the Use Other Value button (or Alt+U
// with the keys in the panel) copies the other's value in (through the Use
// Other Value command, so it is postponed and undone like any edit).
//
// Ownership: the content of a dock panel of the frame (which the user may
// float); the comparison and the document belong to others and outlive it.
#include <QWidget>

#include "core/edit/Setting.h"

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace qx {
class ModuleState;
}  // namespace qx

namespace qx::gui {

class TuneComparison;

class DifferencesWindow : public QWidget {
    Q_OBJECT
  public:
    DifferencesWindow(QWidget* parent, const ModuleState& document,
                      const TuneComparison& comparison);

    QTreeWidget* List() const { return list_; }
    QPushButton* UseButton() const { return use_; }
    // The row's setting, or nothing when no row is current.
    bool CurrentKey(SettingKey& key) const;
    // Lists the differences again, keeping the current row's setting.
    void Reload();
    // Room for every column's text and a few rows.
    QSize sizeHint() const override;

  protected:
    // Enter jumps to the current row's point; it never takes a value in.
    void keyPressEvent(QKeyEvent* event) override;

  Q_SIGNALS:
    // A double click: show the map of key and select its point.
    void jumpTo(SettingKey key);
    // The Use Other Value button.
    void useOtherValue();
    // The Close button.
    void closeRequested();

  private:
    void JumpToCurrent();
    void FitColumns();
    int RowHeight() const;

    const ModuleState& document_;
    const TuneComparison& comparison_;
    QTreeWidget* list_;
    QPushButton* use_;
};

}  // namespace qx::gui
