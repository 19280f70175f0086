#include "gui/sheet/SheetExport.h"

#include <QBuffer>
#include <QDateTime>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <cstdio>
#include <cstring>

#include "QxVersion.h"
#include "core/host/ConsoleHost.h"
#include "core/host/Host.h"
#include "core/host/SafeFile.h"
#include "core/model/ModuleState.h"
#include "gui/sheet/SheetPainter.h"
#include "gui/sheet/TuneSheet.h"

namespace qx::gui {

namespace {

constexpr double kMarginMm = 12.0;

void DropQtMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    // A script reads one line on failure: Qt's notes about the platform stay out.
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "quorvexi: %s\n", text.toLocal8Bit().constData());
}

}  // namespace

QPageSize LocalePageSize(const QLocale& locale) {
    const bool letter = locale.measurementSystem() == QLocale::ImperialUSSystem ||
                        locale.territory() == QLocale::Canada;
    return QPageSize(letter ? QPageSize::Letter : QPageSize::A4);
}

QString SheetDateNow() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

QByteArray TuneSheetPdf(const TuneSheet& sheet, const QPageSize& pageSize) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageLayout(QPageLayout(pageSize, QPageLayout::Portrait,
                                         QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                                         QPageLayout::Millimeter));
        writer.setTitle(QStringLiteral("Tune Sheet: ") + sheet.fileName);
        writer.setCreator(QStringLiteral("Quorvex I %1").arg(QLatin1String(kVersion)));
        QPainter painter(&writer);
        PaintTuneSheet(painter, writer, sheet);
    }
    buffer.close();
    return bytes;
}

bool WriteTuneSheetPdf(const TuneSheet& sheet, const QPageSize& pageSize, const std::string& path,
                       std::string& why) {
    const QByteArray pdf = TuneSheetPdf(sheet, pageSize);
    if (pdf.isEmpty()) {
        why = "the PDF could not be made";
        return false;
    }
    return WriteFileSafely(path, pdf.constData(), static_cast<std::size_t>(pdf.size()), why);
}

int RunExportSheet(int argc, char** argv) {
    int at = -1;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--export-sheet") == 0) at = i;
    if (at < 0) return -1;
    std::string input, output, page;
    for (int i = 1; i < argc; ++i) {
        if (i == at) {
            if (i + 2 >= argc) break;
            input = argv[i + 1];
            output = argv[i + 2];
            i += 2;
        } else if (std::strcmp(argv[i], "--page-size") == 0 && i + 1 < argc) {
            page = argv[++i];
        } else {
            std::fprintf(stderr, "quorvexi: --export-sheet: unexpected argument %s\n", argv[i]);
            return 2;
        }
    }
    if (input.empty() || output.empty()) {
        std::fprintf(stderr,
                     "usage: quorvexi --export-sheet FILE.qvx OUT.pdf "
                     "[--page-size a4|letter]\n");
        return 2;
    }
    if (!page.empty() && page != "a4" && page != "A4" && page != "letter" && page != "Letter") {
        std::fprintf(stderr, "quorvexi: --page-size takes a4 or letter, not %s\n", page.c_str());
        return 2;
    }

    // No window: fonts and the PDF writer need only the offscreen platform.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(DropQtMessages);
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);

    ConsoleHost host;
    Host* previous = SetCurrentHost(&host);
    ModuleState document;
    document.InitializeDefaults();
    // A failure is told by the host in one line: "Quorvex I: Unable to open ...".
    const bool loaded = document.OnOpenDocument(input) == DocStatus::Done;
    int rc = 0;
    if (loaded) {
        const QPageSize size = page.empty()                     ? LocalePageSize()
                               : (page == "a4" || page == "A4") ? QPageSize(QPageSize::A4)
                                                                : QPageSize(QPageSize::Letter);
        std::string why;
        if (!WriteTuneSheetPdf(MakeTuneSheet(document, SheetDateNow()), size, output, why)) {
            std::fprintf(stderr, "quorvexi: cannot write %s: %s\n", output.c_str(), why.c_str());
            rc = 1;
        }
    } else {
        rc = 1;
    }
    SetCurrentHost(previous);
    return rc;
}

}  // namespace qx::gui
