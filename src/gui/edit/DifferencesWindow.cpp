#include "gui/edit/DifferencesWindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "core/host/Numbers.h"
#include "core/maps/ModuleMap.h"
#include "core/model/ModuleState.h"
#include "gui/edit/TuneComparison.h"

namespace qx::gui {

namespace {

constexpr int kKeyRole = Qt::UserRole;
constexpr int kColumns = 5;
// Rows the panel asks room for; more scroll.
constexpr int kRowsShown = 6;

QString WithUnit(const std::string& number, const std::string& unit) {
    QString s = QString::fromStdString(number);
    if (!unit.empty()) s += QLatin1Char(' ') + QString::fromStdString(unit);
    return s;
}

// The difference with its sign, in the values' own text.
std::string SignedNumber(double v) {
    const std::string text = FormatNumber(v);
    if (text == "0") return FormatDouble("%+g", v);  // smaller than the text's last decimal
    return v > 0 ? "+" + text : text;
}

}  // namespace

DifferencesWindow::DifferencesWindow(QWidget* parent, const ModuleState& document,
                                     const TuneComparison& comparison)
    : QWidget(parent),
      document_(document),
      comparison_(comparison),
      list_(new QTreeWidget(this)),
      use_(new QPushButton(QStringLiteral("&Use Other Value"), this)) {
    setObjectName(QStringLiteral("DifferencesWindow"));
    list_->setObjectName(QStringLiteral("DifferencesList"));
    list_->setColumnCount(kColumns);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAlternatingRowColors(true);
    list_->header()->setStretchLastSection(false);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    // Beside the list, not under it: the panel below the graph stays low.
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(use_);
    buttons->addWidget(close);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    // Enter is pressed by reflex: it jumps, and only the button (its click or
    // Alt+U) takes the other value into the tune and the module.
    use_->setAutoDefault(false);
    close->setAutoDefault(false);
    // Alt+U only while the keys are in the panel: in the main window it would
    // take a value of a row the tuner is not looking at.
    use_->setShortcut(QKeySequence());
    auto* alt = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_U), this);
    alt->setContext(Qt::WidgetWithChildrenShortcut);
    connect(alt, &QShortcut::activated, use_, [this] {
        if (use_->isEnabled()) use_->click();
    });
    connect(close, &QPushButton::clicked, this, &DifferencesWindow::closeRequested);
    connect(use_, &QPushButton::clicked, this, &DifferencesWindow::useOtherValue);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        list_->setCurrentItem(item);
        JumpToCurrent();
    });
    connect(list_, &QTreeWidget::currentItemChanged, this,
            [this] { use_->setEnabled(list_->currentItem() != nullptr); });
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
    QWidget::keyPressEvent(event);
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
    const QString other = QString::fromStdString(comparison_.Name());
    setWindowTitle(comparison_.Active() ? QStringLiteral("Differences from %1 (%2)")
                                              .arg(other)
                                              .arg(comparison_.Differences().size())
                                        : QStringLiteral("Differences (no comparison)"));
    list_->setHeaderLabels(
        {QStringLiteral("Setting"), QStringLiteral("At"), QStringLiteral("This Tune"),
         other.isEmpty() ? QStringLiteral("Other") : other, QStringLiteral("Difference")});
    for (int c = 1; c < kColumns; ++c)
        list_->headerItem()->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    list_->clear();
    QTreeWidgetItem* current = nullptr;
    for (const TuneDifference& d : comparison_.Differences()) {
        const std::string unit = SettingUnit(document_, d.key);
        // Where on its map the point lies (its x, rpm for most maps).
        QString at;
        if (const ModuleMap* map = d.key.IsBasic() ? nullptr : document_.Map(d.key.map);
            map != nullptr && d.key.index >= 0 && d.key.index < map->PointCount())
            at = WithUnit(FormatNumber(map->Point(d.key.index).x), map->XUnits());
        std::string ours;
        std::string theirs;
        FormatPair(d.ours, d.theirs, ours, theirs);
        auto* item =
            new QTreeWidgetItem(list_, {QString::fromStdString(SettingLongName(document_, d.key)),
                                        at, WithUnit(ours, unit), WithUnit(theirs, unit),
                                        WithUnit(SignedNumber(d.ours - d.theirs), unit)});
        item->setData(0, kKeyRole, QList<QVariant>{d.key.map, d.key.index});
        for (int c = 1; c < kColumns; ++c)
            item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
        if (hadCurrent && d.key == keep) current = item;
    }
    // The row taken in goes; its neighbour becomes current.
    if (current == nullptr && list_->topLevelItemCount() > 0)
        current = list_->topLevelItem(std::min(keepRow, list_->topLevelItemCount() - 1));
    list_->setCurrentItem(current);
    use_->setEnabled(current != nullptr);
    FitColumns();
}

void DifferencesWindow::FitColumns() {
    QHeaderView* header = list_->header();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->resizeSections(QHeaderView::ResizeToContents);
    // Numbers are right-aligned: without a gap "6144 rpm" and "7040 rpm" of
    // neighbouring columns would read as one.
    const int gap = list_->fontMetrics().horizontalAdvance(QLatin1Char('M'));
    int total = 0;
    for (int c = 0; c < kColumns; ++c) {
        header->resizeSection(c, header->sectionSize(c) + gap);
        total += header->sectionSize(c);
    }
    // The names take what is left over; the panel is never narrower than the texts.
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    const int bar = list_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    list_->setMinimumWidth(total + 2 * list_->frameWidth() + bar);
    // Two rows at least: on the smallest screen the graph keeps all but a
    // strip of the main window.
    list_->setMinimumHeight(header->sizeHint().height() + 2 * RowHeight() +
                            2 * list_->frameWidth());
    updateGeometry();
}

int DifferencesWindow::RowHeight() const {
    return std::max(list_->sizeHintForRow(0), list_->fontMetrics().height() + 4);
}

QSize DifferencesWindow::sizeHint() const {
    const QSize buttons = use_->sizeHint();
    const QMargins m = layout()->contentsMargins();
    const int listHeight = list_->header()->sizeHint().height() + kRowsShown * RowHeight() +
                           2 * list_->frameWidth() +
                           list_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    return {m.left() + list_->minimumWidth() + layout()->spacing() + buttons.width() + m.right(),
            m.top() + std::max(listHeight, 2 * buttons.height()) + m.bottom()};
}

}  // namespace qx::gui
