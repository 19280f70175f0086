#pragma once
// Asks for one number, laid out as the Set Y value dialog: the map's title as
// the window title, a label, the field and the unit, OK and Cancel. OK with
// text that is not a number tells the user and keeps the dialog open.
#include <QDialog>
#include <optional>

class QLineEdit;

namespace qx {
class Host;
}

namespace qx::gui {

class NumberDialog : public QDialog {
    Q_OBJECT
  public:
    // The host tells the user of a refused entry; it outlives the dialog.
    NumberDialog(Host& host, QWidget* parent, const QString& title, const QString& label,
                 const QString& unit, const QString& initial);

    QLineEdit* Field() const { return field_; }
    // The accepted number (empty before OK).
    std::optional<double> Value() const { return value_; }
    void accept() override;

    // Runs the dialog modally; the number, or empty when cancelled.
    static std::optional<double> Ask(Host& host, QWidget* parent, const QString& title,
                                     const QString& label, const QString& unit,
                                     const QString& initial);

  private:
    Host& host_;
    QLineEdit* field_;
    std::optional<double> value_;
};

}  // namespace qx::gui
