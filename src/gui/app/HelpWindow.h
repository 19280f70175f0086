#pragma once
// The user guide inside the program: the HTML guide in a browser pane with
// Back, Forward and Contents, and "Open in Browser" for the desktop's own
// viewer. It needs nothing installed beyond the program itself.
//
// Ownership: a top-level window owned by the frame (a Qt child); it only
// reads the guide's file.
#include <QWidget>

class QPushButton;
class QTextBrowser;

namespace qx::gui {

class HelpWindow : public QWidget {
    Q_OBJECT
  public:
    // path: the guide's HTML file; a guide compiled into the program stands in
    // when the file is missing.
    HelpWindow(QWidget* parent, const QString& path);

    QTextBrowser* Browser() const { return browser_; }
    QPushButton* BrowserButton() const { return external_; }
    // The page shown: the guide's file, or the compiled-in copy.
    QUrl Home() const;

  Q_SIGNALS:
    // "Open in Browser": the desktop's viewer should show the guide's file.
    void openInBrowser(const QString& path);

  private:
    QString path_;
    QTextBrowser* browser_;
    QPushButton* external_;
};

}  // namespace qx::gui
