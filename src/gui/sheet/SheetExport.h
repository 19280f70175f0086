#pragma once
// The tune sheet as a PDF file, for File > Export Tune Sheet... and for
// `quorvexi --export-sheet FILE.qvx OUT.pdf`.
#include <QByteArray>
#include <QLocale>
#include <QPageSize>
#include <string>

namespace qx::gui {

struct TuneSheet;

// Letter where the locale measures in US units, A4 elsewhere.
QPageSize LocalePageSize(const QLocale& locale = QLocale());

// The whole PDF, made in memory.
QByteArray TuneSheetPdf(const TuneSheet& sheet, const QPageSize& pageSize);

// Writes the PDF through the one safe-file writer: either path holds the whole
// sheet afterwards, or it is as it was and why says what went wrong.
bool WriteTuneSheetPdf(const TuneSheet& sheet, const QPageSize& pageSize, const std::string& path,
                       std::string& why);

// The date line of a sheet made now.
QString SheetDateNow();

// `--export-sheet FILE.qvx OUT.pdf [--page-size a4|letter]`: makes the PDF on
// the offscreen platform before any window exists. Returns the exit code (0
// done, 1 the file could not be read or the PDF not written, 2 a wrong command
// line), or -1 when the arguments do not ask for a sheet.
int RunExportSheet(int argc, char** argv);

}  // namespace qx::gui
