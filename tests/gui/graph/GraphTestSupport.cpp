#include "GraphTestSupport.h"

namespace qx::test {

QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "graph_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        auto* a = new QApplication(argc, argv);
        // Stable widget metrics whatever the desktop's settings are.
        QApplication::setStyle(QStringLiteral("Fusion"));
        return a;
    }();
    return *app;
}

}  // namespace qx::test
