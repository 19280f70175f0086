#include "gui/restore/RestorePointsDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <set>

namespace qx::gui {

namespace {

constexpr int kPathRole = Qt::UserRole;

QString FirmwareText(int firmware) {
    if (firmware < 0) return QStringLiteral("unknown");
    return QStringLiteral("%1.%2").arg((firmware >> 4) & 0x0F).arg(firmware & 0x0F);
}

}  // namespace

QString SerialText(int serial) {
    return serial < 0 ? QStringLiteral("unknown")
                      : QStringLiteral("%1").arg(serial, 5, 10, QLatin1Char('0'));
}

RestorePointsDialog::RestorePointsDialog(std::vector<RestorePoint> points,
                                         std::vector<QString> paths, bool linked, QWidget* parent)
    : QDialog(parent), points_(std::move(points)), paths_(std::move(paths)), linked_(linked) {
    setWindowTitle(QStringLiteral("Restore Points"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral("What the module held each time its settings were read, and before "
                       "anything overwrote them. Newest first; times in UTC."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* filterRow = new QHBoxLayout;
    auto* filterLabel = new QLabel(QStringLiteral("&Serial number:"), this);
    filter_ = new QComboBox(this);
    filterLabel->setBuddy(filter_);
    filter_->addItem(QStringLiteral("All modules"), QString());
    std::set<int> serials;
    for (const RestorePoint& p : points_) serials.insert(p.serial);
    for (int serial : serials) filter_->addItem(SerialText(serial), SerialText(serial));
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(filter_, 1);
    layout->addLayout(filterRow);

    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setHeaderLabels({QStringLiteral("Time"), QStringLiteral("Serial No."),
                            QStringLiteral("Firmware"), QStringLiteral("Then"),
                            QStringLiteral("Tune")});
    list_->setMinimumSize(620, 260);
    layout->addWidget(list_, 1);

    auto* buttons = new QDialogButtonBox(this);
    open_ = buttons->addButton(QStringLiteral("&Open"), QDialogButtonBox::ActionRole);
    compare_ = buttons->addButton(QStringLiteral("Compare &With"), QDialogButtonBox::ActionRole);
    download_ = buttons->addButton(QStringLiteral("&Download..."), QDialogButtonBox::ActionRole);
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    // Enter by reflex closes: it never opens, compares or downloads.
    for (QPushButton* b : {open_, compare_, download_}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    close->setDefault(true);
    download_->setToolTip(linked_ ? QStringLiteral("Open the point and offer to download it")
                                  : QStringLiteral("The module is not linked"));
    layout->addWidget(buttons);

    connect(open_, &QPushButton::clicked, this, [this] { Choose(Action::Open); });
    connect(compare_, &QPushButton::clicked, this, [this] { Choose(Action::Compare); });
    connect(download_, &QPushButton::clicked, this, [this] { Choose(Action::Download); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(filter_, &QComboBox::currentIndexChanged, this, [this] { Fill(); });
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    Fill();
}

QPushButton* RestorePointsDialog::Button(Action action) const {
    switch (action) {
        case Action::Open:
            return open_;
        case Action::Compare:
            return compare_;
        case Action::Download:
            return download_;
        case Action::None:
            break;
    }
    return nullptr;
}

void RestorePointsDialog::Fill() {
    const QString serial = filter_->currentData().toString();
    list_->clear();
    for (std::size_t i = 0; i < points_.size(); ++i) {
        const RestorePoint& p = points_[i];
        if (!serial.isEmpty() && SerialText(p.serial) != serial) continue;
        auto* item = new QTreeWidgetItem(list_);
        item->setText(0, QString::fromStdString(FormatRestoreTime(p.timeMs)));
        item->setText(1, SerialText(p.serial));
        item->setText(2, FirmwareText(p.firmware));
        item->setText(
            3, p.next.empty() ? QStringLiteral("not known") : QString::fromStdString(p.next));
        item->setText(4, QString::fromStdString(p.tunerFile));
        if (p.inexact > 0)
            item->setToolTip(0, QStringLiteral("%1 setting(s) the module held off the program's "
                                               "step or range: kept as an upload reads them")
                                    .arg(p.inexact));
        item->setData(0, kPathRole, paths_[i]);
    }
    for (int c = 0; c < list_->columnCount(); ++c) list_->resizeColumnToContents(c);
    if (list_->topLevelItemCount() > 0) list_->setCurrentItem(list_->topLevelItem(0));
    UpdateButtons();
}

void RestorePointsDialog::UpdateButtons() {
    const bool chosen = list_->currentItem() != nullptr && list_->currentItem()->isSelected();
    open_->setEnabled(chosen);
    compare_->setEnabled(chosen);
    download_->setEnabled(chosen && linked_);
}

void RestorePointsDialog::Choose(Action action) {
    QTreeWidgetItem* item = list_->currentItem();
    if (item == nullptr) return;
    action_ = action;
    chosen_ = item->data(0, kPathRole).toString();
    accept();
}

}  // namespace qx::gui
