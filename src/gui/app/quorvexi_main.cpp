// The desktop program: quorvexi [--simulate] [--profile FILE] [FILE.qvx]
#include <QApplication>
#include <cstdio>

#include "app/CalderixApp.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    qx::gui::SetApplicationNames();
    QString error;
    const std::optional<qx::gui::StartOptions> options =
        qx::gui::ParseCommandLine(QApplication::arguments().mid(1), &error);
    if (!options) {
        std::fprintf(stderr,
                     "quorvexi: %s\nusage: quorvexi [--simulate] [--profile FILE] [FILE.qvx]\n",
                     error.toLocal8Bit().constData());
        return 2;
    }
    qx::gui::CCalderixApp calderix;
    if (!calderix.InitInstance(*options)) return calderix.IsSecondInstance() ? 0 : 1;
    QApplication::setQuitOnLastWindowClosed(true);
    return QApplication::exec();
}
