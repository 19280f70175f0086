#include "gui/sheet/SheetCommands.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include "core/model/ModuleState.h"
#include "gui/resources/Resources.h"
#include "gui/sheet/SheetExport.h"
#include "gui/sheet/SheetPainter.h"
#include "gui/sheet/TuneSheet.h"
#include "gui/shell/CommandTable.h"
#include "gui/shell/FrameServices.h"
#include "gui/shell/QtHost.h"

namespace qx::gui {

namespace {

const QString kA4Filter = QStringLiteral("PDF on A4 paper (*.pdf)");
const QString kLetterFilter = QStringLiteral("PDF on Letter paper (*.pdf)");

}  // namespace

SheetCommands::SheetCommands(FrameServices& frame, QtHost& host, ModuleState& document)
    : QObject(&frame.Window()), frame_(frame.Window()), host_(host), document_(document) {
    chooser_ = [this](const QString& suggested) -> std::optional<Target> {
        QFileDialog dialog(&frame_, QStringLiteral("Export Tune Sheet"), suggested);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("pdf"));
        dialog.setNameFilters({kA4Filter, kLetterFilter});
        const bool letter = LocalePageSize().id() == QPageSize::Letter;
        dialog.selectNameFilter(letter ? kLetterFilter : kA4Filter);
        host_.EnterModal();
        const bool ok = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
        host_.LeaveModal();
        if (!ok) return std::nullopt;
        const bool chosenLetter = dialog.selectedNameFilter() == kLetterFilter;
        return Target{dialog.selectedFiles().first(),
                      QPageSize(chosenLetter ? QPageSize::Letter : QPageSize::A4)};
    };
    previewer_ = [this](QPrinter& printer, std::function<void(QPrinter*)> paint) {
        QPrintPreviewDialog dialog(&printer, &frame_);
        dialog.setWindowTitle(QStringLiteral("Print Tune Sheet"));
        connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, paint);
        host_.EnterModal();
        dialog.exec();
        host_.LeaveModal();
    };
    frame.Commands().Add(res::kFilePrint, CommandOwner::Document, kModuleCommand,
                         [this] { OnPrint(); });
    frame.Commands().Add(res::kExportTuneSheet, CommandOwner::Document, kModuleCommand,
                         [this] { OnExport(); });
}

TuneSheet SheetCommands::TakeSheet() const {
    return MakeTuneSheet(document_, SheetDateNow());
}

void SheetCommands::OnPrint() {
    const TuneSheet sheet = TakeSheet();
    QPrinter printer(QPrinter::HighResolution);
    // Without a printer the output is a PDF, on the locale's paper.
    if (printer.outputFormat() == QPrinter::PdfFormat) printer.setPageSize(LocalePageSize());
    printer.setDocName(QStringLiteral("Tune Sheet: ") + sheet.fileName);
    if (!previewer_) return;
    previewer_(printer, [sheet](QPrinter* target) {
        QPainter painter(target);
        PaintTuneSheet(painter, *target, sheet);
    });
}

void SheetCommands::OnExport() {
    const TuneSheet sheet = TakeSheet();
    // Beside the settings file, named after it.
    const QString current = QString::fromStdString(document_.GetPathName());
    const QString suggested =
        current.isEmpty() ? sheet.fileName + QStringLiteral(".pdf")
                          : QFileInfo(current).dir().filePath(
                                QFileInfo(current).completeBaseName() + QStringLiteral(".pdf"));
    const std::optional<Target> target = chooser_ ? chooser_(suggested) : std::nullopt;
    if (!target) return;
    std::string why;
    if (!WriteTuneSheetPdf(sheet, target->pageSize, target->path.toStdString(), why))
        host_.MessageBox("Unable to export \"" + target->path.toStdString() + "\":\n" + why + ".",
                         res::kAppTitle, MsgButtons::Ok, MsgIcon::Error);
}

SheetCommands* InstallTuneSheet(FrameServices& frame, QtHost& host, ModuleState& document) {
    return new SheetCommands(frame, host, document);
}

}  // namespace qx::gui
