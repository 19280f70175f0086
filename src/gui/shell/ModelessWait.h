#pragma once
// The "Please wait..." window: modeless, no close button, centred over its
// owner. The work it announces may dispatch no events for a long time, so
// showing it waits until the window system has put it on screen, and it is
// painted then and again whenever its text changes.
#include <QString>

#include "gui/resources/TemplateDialog.h"

namespace qx::gui {

class ModelessWait : public TemplateDialog {
    Q_OBJECT
  public:
    static constexpr int kMessageId = 1023;
    // The longest wait for the window system to show a new window.
    static constexpr int kExposeWaitMs = 1000;

    // Creates, shows and paints the window. parent may be null (the main window
    // then owns it); the caller owns the object.
    explicit ModelessWait(const QString& message, QWidget* parent = nullptr);

    // Changes the text and paints it now.
    void SetMessage(const QString& message);
    QString Message() const { return Text(kMessageId); }

  protected:
    bool OnInitDialog() override;
    // The window cannot be closed by the user.
    void OnCancel() override {}

  private:
    void PaintNow();
    QString message_;
};

}  // namespace qx::gui
