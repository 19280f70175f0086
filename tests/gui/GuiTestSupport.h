#pragma once
// Shared by the graph and monitor tests: the one QApplication of the test
// program, a recorder of paint areas, and pictures saved for a reviewer.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPaintEvent>
#include <QString>
#include <memory>
#include <vector>

#include "graph/MapGraphView.h"
#include "model/ModuleState.h"

namespace qx::test {

// The one QApplication of the test program, with stable widget metrics.
inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        auto* a = new QApplication(argc, argv);
        QApplication::setStyle(QStringLiteral("Fusion"));
        return a;
    }();
    return *app;
}

// Records the areas of the paint events of the widgets it watches.
class PaintSpy : public QObject {
  public:
    std::vector<QRect> rects;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) rects.push_back(static_cast<QPaintEvent*>(e)->rect());
        return false;
    }
};

// Saves image as name under $QX_BUILD_DIR (else the working folder), or under
// $TMPDIR (else /tmp) when that cannot be written. A picture is for people to
// look at: callers do not fail a test when it cannot be saved.
inline bool SavePicture(const QImage& image, const QString& name) {
    const QString build = qEnvironmentVariable("QX_BUILD_DIR");
    const QString temp = qEnvironmentVariable("TMPDIR", QStringLiteral("/tmp"));
    for (const QString& dir : {build.isEmpty() ? QDir::currentPath() : build, temp})
        if (image.save(QDir(dir).filePath(name), "PNG")) return true;
    return false;
}

// A new document and an 800 x 600 graph view on it with an 18-pixel caption, shown.
inline std::unique_ptr<gui::MapGraphView> ShowGraph(ModuleState& document) {
    TestApp();
    document.InitializeDefaults();
    auto view = std::make_unique<gui::MapGraphView>();
    view->SetCaptionHeight(18);
    view->resize(800, 600);
    view->SetDocument(&document);
    view->OnInitialUpdate();
    view->show();
    QCoreApplication::processEvents();
    return view;
}

}  // namespace qx::test
