#pragma once
// Asks for one number, laid out as the Set Y value dialog: the map's title as
// the window title, a label, the field and the unit, OK and Cancel. OK with
// text that is not a number tells the user and keeps the dialog open.
#include <QDialog>
#include <optional>

class QLineEdit;

namespace qx::gui {

class NumberDialog : public QDialog {
    Q_OBJECT
  public:
    NumberDialog(QWidget* parent, const QString& title, const QString& label, const QString& unit,
                 const QString& initial);

    QLineEdit* Field() const { return field_; }
    // The accepted number (empty before OK).
    std::optional<double> Value() const { return value_; }
    void accept() override;

    // Runs the dialog modally; the number, or empty when cancelled.
    static std::optional<double> Ask(QWidget* parent, const QString& title, const QString& label,
                                     const QString& unit, const QString& initial);

  private:
    QLineEdit* field_;
    std::optional<double> value_;
};

}  // namespace qx::gui
