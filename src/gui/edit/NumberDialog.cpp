#include "gui/edit/NumberDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "core/host/Host.h"
#include "core/maps/CurveTools.h"

namespace qx::gui {

NumberDialog::NumberDialog(Host& host, QWidget* parent, const QString& title, const QString& label,
                           const QString& unit, const QString& initial)
    : QDialog(parent), host_(host), field_(new QLineEdit(initial, this)) {
    setObjectName(QStringLiteral("NumberDialog"));
    setWindowTitle(title);
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(label, this), 0, 0);
    grid->addWidget(field_, 0, 1);
    grid->addWidget(new QLabel(unit, this), 0, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &NumberDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &NumberDialog::reject);
    grid->addWidget(buttons, 1, 0, 1, 3);
    field_->selectAll();
    field_->setFocus();
    // Wide enough for the map's name in the title bar.
    setMinimumWidth(fontMetrics().horizontalAdvance(title) + 120);
}

void NumberDialog::accept() {
    const std::optional<double> v = ParseNumberText(field_->text().toStdString());
    if (!v) {
        // Appended, not prefixed: g++ 12 at -O3 takes a prefix for an overlapping copy.
        std::string message = "\"";
        message += field_->text().toStdString();
        message += "\" is not a number.";
        host_.MessageBox(message, windowTitle().toStdString(), MsgButtons::Ok, MsgIcon::Warning);
        field_->selectAll();
        field_->setFocus();
        return;
    }
    value_ = v;
    QDialog::accept();
}

std::optional<double> NumberDialog::Ask(Host& host, QWidget* parent, const QString& title,
                                        const QString& label, const QString& unit,
                                        const QString& initial) {
    NumberDialog dialog(host, parent, title, label, unit, initial);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Value();
}

}  // namespace qx::gui
