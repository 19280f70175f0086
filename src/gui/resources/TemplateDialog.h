#pragma once
// A dialog built from a template of DialogTemplates.h. Controls are laid out in
// dialog units converted with the dialog font (horizontal unit = average
// character width / 4, vertical unit = character height / 8) and addressed by
// their ids. Numbers are always shown and read with a decimal point.
//
// Life cycle: OnInitDialog runs once, just before the dialog is first shown
// (DoModal or show()). Push button 1 runs OnOK, button 2 and closing the window
// OnCancel; other buttons run OnCommand(id). The controls are children of the
// dialog and owned by it; pointers returned by Control() live as long as it.
#include <QDialog>
#include <QFont>
#include <QRect>
#include <QString>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gui/resources/DialogTemplates.h"

class QButtonGroup;

namespace qx {
class Host;
}  // namespace qx

namespace qx::gui {

// The font dialogs are laid out with; also the base of the unit conversion.
QFont DialogFont();
// The width a window needs for the window manager to show title whole in its
// title bar; dialogs are made at least this wide.
int TitleBarWidth(const QString& title);

// Dialog units of font to pixels.
struct DialogUnits {
    int baseX = 0;  // average character width
    int baseY = 0;  // character height
    static DialogUnits ForFont(const QFont& font);
    int ToPixelsX(int units) const;
    int ToPixelsY(int units) const;
    QRect ToPixels(int x, int y, int width, int height) const;
};

class TemplateDialog : public QDialog {
    Q_OBJECT
  public:
    // Builds every control of the template with id; parent may be null (the
    // program's main window then owns the dialog on screen).
    explicit TemplateDialog(int templateId, QWidget* parent = nullptr);
    explicit TemplateDialog(const res::DialogTemplate& tmpl, QWidget* parent = nullptr);
    ~TemplateDialog() override;

    // Runs the dialog modally; QDialog::Accepted (OK) or QDialog::Rejected.
    int DoModal();

    const res::DialogTemplate& Template() const { return *template_; }
    const DialogUnits& Units() const { return units_; }

    // The control with id, or null. Owned by the dialog.
    QWidget* Control(int id) const;
    template <class W>
    W* ControlAs(int id) const {
        return qobject_cast<W*>(Control(id));
    }

    // Text exchange: edits, statics, buttons, check and radio boxes.
    QString Text(int id) const;
    std::string TextUtf8(int id) const;
    void SetText(int id, const QString& text);
    void SetTextUtf8(int id, const std::string& text);
    // A number formatted printf-style with a decimal point ("%.2f").
    void SetNumber(int id, const char* format, double value);
    // The number typed into edit id (a decimal comma counts as the point). Text
    // that is no number is refused: the user is told, naming field, the box is
    // selected for correcting and the answer is empty. host shows the message.
    std::optional<double> ReadNumber(int id, std::string_view field, Host& host);

    // Check boxes and radio buttons.
    bool IsChecked(int id) const;
    void SetChecked(int id, bool checked);
    // Radio group whose first button is firstId: the index of the checked
    // button, -1 when none is checked.
    int RadioIndex(int firstId) const;
    // Checks button index of the group (other values uncheck them all).
    void SetRadioIndex(int firstId, int index);

    void EnableControl(int id, bool enable);
    void FocusControl(int id);

  protected:
    // Called once before the dialog is first shown. Answer false when the
    // focus was set by the override.
    virtual bool OnInitDialog() { return true; }
    // Button 1 and Enter: accept by default.
    virtual void OnOK() { accept(); }
    // Button 2, Escape and closing the window: reject by default.
    virtual void OnCancel() { reject(); }
    // Any other push button.
    virtual void OnCommand(int id) { (void)id; }

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Build(QWidget* parent);
    QWidget* FirstFocusable() const;

    const res::DialogTemplate* template_;
    DialogUnits units_;
    std::map<int, QWidget*> controls_;
    std::map<int, QButtonGroup*> radioGroups_;  // first id -> group
    bool initialised_ = false;
};

// Number of TemplateDialog modal loops running now (the host's modal check).
int TemplateDialogModalDepth();

}  // namespace qx::gui
