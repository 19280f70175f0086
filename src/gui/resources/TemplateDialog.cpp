#include "gui/resources/TemplateDialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "core/host/Host.h"
#include "core/host/Numbers.h"

namespace qx::gui {

namespace {

int modalDepth = 0;

// Rounds a * b / c to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c) {
    return static_cast<int>(std::lround(static_cast<double>(a) * b / c));
}

const res::DialogTemplate& Lookup(int id) {
    const res::DialogTemplate* t = res::FindDialogTemplate(id);
    if (!t) throw std::invalid_argument("no dialog template with this id");
    return *t;
}

}  // namespace

int TitleBarWidth(const QString& title) {
    // Window managers write captions in a bold face of about the desktop's
    // font, beside an icon and up to three buttons each about as wide as a line is high.
    QFont font = QApplication::font();
    font.setBold(true);
    const QFontMetrics fm(font);
    return fm.horizontalAdvance(title) + 6 * fm.height() + 16;
}

int TemplateDialogModalDepth() {
    return modalDepth;
}

QFont DialogFont() {
    // "Arial" resolves to a metric-compatible face where the real one is missing.
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(9);
    return font;
}

DialogUnits DialogUnits::ForFont(const QFont& font) {
    QFontMetrics fm(font);
    static const QString alphabet =
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    DialogUnits u;
    // The average width of the 52 letters, rounded.
    u.baseX = (fm.horizontalAdvance(alphabet) / 26 + 1) / 2;
    u.baseY = fm.height();
    if (u.baseX < 1) u.baseX = 1;
    if (u.baseY < 1) u.baseY = 1;
    return u;
}

int DialogUnits::ToPixelsX(int units) const {
    return MulDiv(units, baseX, 4);
}
int DialogUnits::ToPixelsY(int units) const {
    return MulDiv(units, baseY, 8);
}
QRect DialogUnits::ToPixels(int x, int y, int width, int height) const {
    return QRect(ToPixelsX(x), ToPixelsY(y), ToPixelsX(width), ToPixelsY(height));
}

TemplateDialog::TemplateDialog(int templateId, QWidget* parent)
    : TemplateDialog(Lookup(templateId), parent) {}

TemplateDialog::TemplateDialog(const res::DialogTemplate& tmpl, QWidget* parent)
    : QDialog(parent), template_(&tmpl) {
    Build(parent);
}

TemplateDialog::~TemplateDialog() = default;

void TemplateDialog::Build(QWidget* parent) {
    using res::ControlKind;
    if (!parent) {
        // Without a parent the program's main window owns the dialog on screen.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QStringLiteral("CalderixMainWindow")) {
                setParent(w, windowFlags());
                break;
            }
    }
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint;
    if (template_->style & res::kCaption) flags |= Qt::WindowTitleHint;
    if (template_->style & res::kSystemMenu) flags |= Qt::WindowCloseButtonHint;
    setWindowFlags(flags);
    setWindowTitle(
        QString::fromUtf8(template_->caption.data(), static_cast<int>(template_->caption.size())));
    setFont(DialogFont());
    setLocale(QLocale::c());
    units_ = DialogUnits::ForFont(font());
    setFixedSize(std::max(units_.ToPixelsX(template_->width), TitleBarWidth(windowTitle())),
                 units_.ToPixelsY(template_->height));

    QButtonGroup* radioGroup = nullptr;
    int radioIndex = 0;
    for (const res::ControlTemplate& c : template_->controls) {
        const QString text = QString::fromUtf8(c.text.data(), static_cast<int>(c.text.size()));
        QWidget* w = nullptr;
        if (c.kind != ControlKind::RadioButton || (c.style & res::kGroup)) radioGroup = nullptr;
        switch (c.kind) {
            case ControlKind::PushButton: {
                auto* b = new QPushButton(text, this);
                b->setAutoDefault(false);
                b->setDefault(c.style & res::kDefault);
                const int id = c.id;
                connect(b, &QPushButton::clicked, this, [this, id] {
                    if (id == 1)
                        OnOK();
                    else if (id == 2)
                        OnCancel();
                    else
                        OnCommand(id);
                });
                w = b;
                break;
            }
            case ControlKind::Edit: {
                auto* e = new QLineEdit(this);
                e->setLocale(QLocale::c());
                e->setText(text);
                w = e;
                break;
            }
            case ControlKind::Static: {
                auto* l = new QLabel(text, this);
                Qt::Alignment h = Qt::AlignLeft;
                if (c.style & res::kAlignRight) h = Qt::AlignRight;
                if (c.style & res::kAlignCenter) h = Qt::AlignHCenter;
                const bool multiLine = c.height > 12;
                l->setWordWrap(multiLine);
                l->setAlignment(h | (multiLine ? Qt::AlignTop : Qt::AlignVCenter));
                if (c.style & res::kSunken) l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
                l->setTextFormat(Qt::PlainText);
                w = l;
                break;
            }
            case ControlKind::GroupBox:
                w = new QGroupBox(text, this);
                break;
            case ControlKind::CheckBox:
                w = new QCheckBox(text, this);
                break;
            case ControlKind::RadioButton: {
                auto* r = new QRadioButton(text, this);
                if (!radioGroup) {
                    radioGroup = new QButtonGroup(this);
                    radioGroup->setExclusive(true);
                    radioIndex = 0;
                    radioGroups_[c.id] = radioGroup;
                }
                radioGroup->addButton(r, radioIndex++);
                w = r;
                break;
            }
            case ControlKind::Icon: {
                auto* l = new QLabel(this);
                const QRect r = units_.ToPixels(c.x, c.y, c.width, c.height);
                const int side = std::min(r.width(), r.height());
                l->setPixmap(
                    style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(side, side));
                w = l;
                break;
            }
        }
        w->setGeometry(units_.ToPixels(c.x, c.y, c.width, c.height));
        w->setFocusPolicy((c.style & res::kTabStop) ? Qt::StrongFocus : Qt::NoFocus);
        if (c.kind == ControlKind::Edit) w->setFocusPolicy(Qt::StrongFocus);
        if (c.style & res::kDisabled) w->setEnabled(false);
        if (c.style & res::kHidden) w->hide();
        if (c.kind == ControlKind::GroupBox) w->lower();
        if (c.id != res::kNoId) {
            w->setObjectName(QStringLiteral("control%1").arg(c.id));
            controls_[c.id] = w;
        }
    }
}

int TemplateDialog::DoModal() {
    ++modalDepth;
    struct Leave {
        ~Leave() { --modalDepth; }
    } leave;
    return exec();
}

QWidget* TemplateDialog::Control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QString TemplateDialog::Text(int id) const {
    QWidget* w = Control(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    return {};
}

std::string TemplateDialog::TextUtf8(int id) const {
    return Text(id).toStdString();
}

void TemplateDialog::SetText(int id, const QString& text) {
    QWidget* w = Control(id);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(text);
    else if (auto* l = qobject_cast<QLabel*>(w))
        l->setText(text);
    else if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(text);
    else if (auto* g = qobject_cast<QGroupBox*>(w))
        g->setTitle(text);
}

void TemplateDialog::SetTextUtf8(int id, const std::string& text) {
    SetText(id, QString::fromStdString(text));
}

void TemplateDialog::SetNumber(int id, const char* format, double value) {
    SetTextUtf8(id, FormatDouble(format, value));
}

std::optional<double> TemplateDialog::ReadNumber(int id, std::string_view field, Host& host) {
    const std::string text = TextUtf8(id);
    if (const std::optional<double> number = ParseTypedNumber(text)) return number;
    host.MessageBox(
        std::string(field) + ": \"" + text + "\" is not a number.\nNothing has been changed.",
        windowTitle().toStdString(), MsgButtons::Ok, MsgIcon::Error);
    FocusControl(id);
    return std::nullopt;
}

bool TemplateDialog::IsChecked(int id) const {
    auto* b = qobject_cast<QAbstractButton*>(Control(id));
    return b && b->isChecked();
}

void TemplateDialog::SetChecked(int id, bool checked) {
    if (auto* b = qobject_cast<QAbstractButton*>(Control(id))) b->setChecked(checked);
}

int TemplateDialog::RadioIndex(int firstId) const {
    auto it = radioGroups_.find(firstId);
    if (it == radioGroups_.end()) return -1;
    return it->second->checkedId();
}

void TemplateDialog::SetRadioIndex(int firstId, int index) {
    auto it = radioGroups_.find(firstId);
    if (it == radioGroups_.end()) return;
    QButtonGroup* group = it->second;
    if (QAbstractButton* b = group->button(index)) {
        b->setChecked(true);
        return;
    }
    // No button for index: none stays checked.
    group->setExclusive(false);
    for (QAbstractButton* b : group->buttons()) b->setChecked(false);
    group->setExclusive(true);
}

void TemplateDialog::EnableControl(int id, bool enable) {
    if (QWidget* w = Control(id)) w->setEnabled(enable);
}

void TemplateDialog::FocusControl(int id) {
    QWidget* w = Control(id);
    if (!w) return;
    w->setFocus(Qt::OtherFocusReason);
    if (auto* e = qobject_cast<QLineEdit*>(w)) e->selectAll();
}

QWidget* TemplateDialog::FirstFocusable() const {
    for (const res::ControlTemplate& c : template_->controls) {
        if (c.id == res::kNoId) continue;
        QWidget* w = Control(c.id);
        if (w && w->isEnabled() && !w->isHidden() && w->focusPolicy() != Qt::NoFocus) return w;
    }
    return nullptr;
}

void TemplateDialog::showEvent(QShowEvent* event) {
    if (!initialised_) {
        initialised_ = true;
        if (OnInitDialog()) {
            if (QWidget* w = FirstFocusable()) w->setFocus(Qt::OtherFocusReason);
        }
    }
    QDialog::showEvent(event);
}

void TemplateDialog::closeEvent(QCloseEvent* event) {
    if (result() == QDialog::Accepted && !isVisible()) {
        event->accept();
        return;
    }
    OnCancel();
    if (isVisible())
        event->ignore();
    else
        event->accept();
}

void TemplateDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        OnCancel();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace qx::gui
