#include "gui/edit/DifferencesWindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/host/Numbers.h"
#include "core/maps/ModuleMap.h"
#include "core/model/ModuleState.h"
#include "gui/edit/TuneComparison.h"

namespace qx::gui {

namespace {

constexpr int kKeyRole = Qt::UserRole;

QString WithUnit(double v, const std::string& unit, const char* format = "%g") {
    QString s = QString::fromStdString(FormatDouble(format, v));
    if (!unit.empty()) s += QLatin1Char(' ') + QString::fromStdString(unit);
    return s;
}

}  // namespace

DifferencesWindow::DifferencesWindow(QWidget* parent, const ModuleState& document,
                                     const TuneComparison& comparison)
    : QDialog(parent, Qt::Tool),
      document_(document),
      comparison_(comparison),
      list_(new QTreeWidget(this)),
      use_(new QPushButton(QStringLiteral("&Use Other Value"), this)) {
    setObjectName(QStringLiteral("DifferencesWindow"));
    list_->setObjectName(QStringLiteral("DifferencesList"));
    list_->setColumnCount(5);
    list_->setHeaderLabels({QStringLiteral("Setting"), QStringLiteral("At"),
                            QStringLiteral("This Tune"), QStringLiteral("Other"),
                            QStringLiteral("Difference")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAlternatingRowColors(true);
    list_->header()->setStretchLastSection(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(use_);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    row->addWidget(close);
    layout->addLayout(row);
    // Enter is pressed by reflex: it jumps, and only the button (its click or
    // Alt+U) takes the other value into the tune and the module.
    use_->setAutoDefault(false);
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    connect(use_, &QPushButton::clicked, this, &DifferencesWindow::useOtherValue);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        list_->setCurrentItem(item);
        JumpToCurrent();
    });
    connect(list_, &QTreeWidget::currentItemChanged, this,
            [this] { use_->setEnabled(list_->currentItem() != nullptr); });
    resize(680, 360);
    Reload();
}

void DifferencesWindow::JumpToCurrent() {
    SettingKey key;
    if (CurrentKey(key)) Q_EMIT jumpTo(key);
}

void DifferencesWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        JumpToCurrent();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool DifferencesWindow::CurrentKey(SettingKey& key) const {
    const QTreeWidgetItem* item = list_->currentItem();
    if (item == nullptr) return false;
    const QList<QVariant> k = item->data(0, kKeyRole).toList();
    if (k.size() != 2) return false;
    key = SettingKey{k[0].toInt(), k[1].toInt()};
    return true;
}

void DifferencesWindow::Reload() {
    SettingKey keep;
    const bool hadCurrent = CurrentKey(keep);
    const int keepRow = list_->currentItem() ? list_->indexOfTopLevelItem(list_->currentItem()) : 0;
    setWindowTitle(comparison_.Active() ? QStringLiteral("Differences from %1 (%2)")
                                              .arg(QString::fromStdString(comparison_.Name()))
                                              .arg(comparison_.Differences().size())
                                        : QStringLiteral("Differences (no comparison)"));
    list_->clear();
    QTreeWidgetItem* current = nullptr;
    for (const TuneDifference& d : comparison_.Differences()) {
        const std::string unit = SettingUnit(document_, d.key);
        // Where on its map the point lies (its x, rpm for most maps).
        QString at;
        if (const ModuleMap* map = d.key.IsBasic() ? nullptr : document_.Map(d.key.map);
            map != nullptr && d.key.index >= 0 && d.key.index < map->PointCount())
            at = WithUnit(map->Point(d.key.index).x, map->XUnits());
        auto* item =
            new QTreeWidgetItem(list_, {QString::fromStdString(SettingLongName(document_, d.key)),
                                        at, WithUnit(d.ours, unit), WithUnit(d.theirs, unit),
                                        WithUnit(d.ours - d.theirs, unit, "%+g")});
        item->setData(0, kKeyRole, QList<QVariant>{d.key.map, d.key.index});
        for (int c = 1; c < 5; ++c) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
        if (hadCurrent && d.key == keep) current = item;
    }
    // The row taken in goes; its neighbour becomes current.
    if (current == nullptr && list_->topLevelItemCount() > 0)
        current = list_->topLevelItem(std::min(keepRow, list_->topLevelItemCount() - 1));
    list_->setCurrentItem(current);
    use_->setEnabled(current != nullptr);
    list_->header()->resizeSections(QHeaderView::ResizeToContents);
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
}

}  // namespace qx::gui
