// The desktop program: quorvexi [--simulate] [--profile FILE] [FILE.qvx]
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "QxVersion.h"
#include "core/restore/RestorePoints.h"
#include "gui/app/CalderixApp.h"
#include "gui/sheet/SheetExport.h"

namespace {

constexpr const char* kUsage =
    "usage: quorvexi [--simulate] [--profile FILE] [FILE.qvx]\n"
    "       quorvexi --export-sheet FILE.qvx OUT.pdf [--page-size a4|letter]\n";
constexpr const char* kOptions =
    "  --simulate      link to the built-in module emulator (demo mode)\n"
    "  --profile FILE  use FILE as the profile\n"
    "  --export-sheet FILE.qvx OUT.pdf\n"
    "                  write the tune sheet of FILE.qvx as a PDF, without a window\n"
    "  --page-size a4|letter\n"
    "                  the sheet's paper (default: Letter in a US locale, else A4)\n"
    "  --version       show the version of quorvexi\n"
    "  --help          this text\n";

// Why the window system cannot be reached, or nullptr. Qt would abort on its
// own (exit 134, a hint to reinstall) where one line and exit 1 say it all.
// A platform chosen by -platform or QT_QPA_PLATFORM is left to Qt.
const char* MissingDisplay(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return nullptr;
    const auto set = [](const char* name) {
        const char* v = std::getenv(name);
        return v != nullptr && *v != '\0';
    };
    if (set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY")) return nullptr;
    return "no display to open windows on (neither DISPLAY nor WAYLAND_DISPLAY is set)";
}

}  // namespace

int main(int argc, char** argv) {
    // Answered before the QApplication exists, which would need a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quorvexi %s\n", qx::kVersion);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("%s%s", kUsage, kOptions);
            return 0;
        }
    }
    // The sheet is made offscreen: no display needed.
    if (const int rc = qx::gui::RunExportSheet(argc, argv); rc >= 0) return rc;
    if (const char* why = MissingDisplay(argc, argv)) {
        std::fprintf(stderr, "quorvexi: %s\n", why);
        return 1;
    }
    QApplication app(argc, argv);
    qx::gui::SetApplicationNames();
    QString error;
    const std::optional<qx::gui::StartOptions> options =
        qx::gui::ParseCommandLine(QApplication::arguments().mid(1), &error);
    if (!options) {
        std::fprintf(stderr, "quorvexi: %s\n%s", error.toLocal8Bit().constData(), kUsage);
        return 2;
    }
    qx::EnableUserRestorePoints();
    qx::gui::CCalderixApp calderix;
    if (!calderix.InitInstance(*options)) return calderix.HandedToRunningCopy() ? 0 : 1;
    QApplication::setQuitOnLastWindowClosed(true);
    return QApplication::exec();
}
