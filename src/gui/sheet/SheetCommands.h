#pragma once
// File > Print... (with a print preview) and File > Export Tune Sheet... (a
// PDF file). Each takes its sheet from the document when the command runs;
// the preview repaints from that copy, whatever happens to the document while
// the dialog is open.
//
// Ownership: a child of the frame. The frame, host and document outlive it.
#include <QObject>
#include <QPageSize>
#include <QString>
#include <functional>
#include <optional>

class QPrinter;
class QWidget;

namespace qx {
class ModuleState;
}

namespace qx::gui {

class FrameServices;
class QtHost;
struct TuneSheet;

class SheetCommands : public QObject {
    Q_OBJECT
  public:
    SheetCommands(FrameServices& frame, QtHost& host, ModuleState& document);

    struct Target {
        QString path;
        QPageSize pageSize;
    };
    // Asks where the PDF goes and on which paper (default: the file dialog).
    using Chooser = std::function<std::optional<Target>(const QString& suggested)>;
    void SetChooser(Chooser chooser) { chooser_ = std::move(chooser); }
    // Shows the preview of what paint draws on printer (default: the print
    // preview dialog, whose Print button prints).
    using Previewer = std::function<void(QPrinter& printer, std::function<void(QPrinter*)> paint)>;
    void SetPreviewer(Previewer previewer) { previewer_ = std::move(previewer); }

    void OnPrint();
    void OnExport();

  private:
    TuneSheet TakeSheet() const;

    QWidget& frame_;  // the owner of its dialogs
    QtHost& host_;
    ModuleState& document_;
    Chooser chooser_;
    Previewer previewer_;
};

// Adds the two commands to the frame's command table.
SheetCommands* InstallTuneSheet(FrameServices& frame, QtHost& host, ModuleState& document);

}  // namespace qx::gui
