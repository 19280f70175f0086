#pragma once
// Shared by the graph and monitor tests: the one QApplication of the test
// program, a recorder of paint areas, and pictures saved for a reviewer.
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPaintEvent>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "core/host/Host.h"
#include "core/host/Profile.h"
#include "core/link/CommPort.h"
#include "core/model/ModuleState.h"
#include "core/monitor/RamMonitor.h"
#include "gui/graph/MapGraphView.h"
#include "gui/graph/ModuleActivity.h"

namespace qx::test {

// The one QApplication of the test program, with stable widget metrics; one
// the program made already is used as it is (a second would leak the first's).
inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (auto* made = qobject_cast<QApplication*>(QCoreApplication::instance())) return made;
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

// Where pictures for a reviewer go: test-pictures under $QX_BUILD_DIR when that
// can be written (the tests may run as another user than the build), else a
// folder of this user's in the temporary folder. Empty when neither can be made.
inline QString PictureFolder() {
    const QString build = qEnvironmentVariable("QX_BUILD_DIR");
    const QString own = QStringLiteral("test-pictures-%1").arg(getuid());
    for (const QString& folder :
         {build.isEmpty() ? QString() : QDir(build).filePath(QStringLiteral("test-pictures")),
          QDir(QDir::tempPath()).filePath(own)}) {
        if (folder.isEmpty()) continue;
        if (QDir().mkpath(folder) && QFileInfo(folder).isWritable()) return folder;
    }
    return {};
}

// Saves image as name for a person to look at. A picture that cannot be saved
// is only reported: it is never a test's failure.
inline bool SavePicture(const QImage& image, const QString& name) {
    const QString folder = PictureFolder();
    if (!folder.isEmpty() && image.save(QDir(folder).filePath(name), "PNG")) return true;
    qInfo("picture %s not saved", qPrintable(name));
    return false;
}

// Pixels of image inside area (its edges included) of the given colour.
inline int PixelsOf(const QImage& image, const QRect& area, const QColor& colour) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) n += image.pixelColor(x, y) == colour;
    return n;
}
// Pixels of image inside area darker than grey level below: ink of text.
inline int DarkPixels(const QImage& image, const QRect& area, int below) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) n += qGray(image.pixel(x, y)) < below;
    return n;
}

// What the graph asks of the link and the monitor, looked up at each question
// and never making them to answer: tests end them and make them again under a
// living view, which the program's LinkActivity (holding both) cannot survive.
class TestActivity final : public gui::ModuleActivity {
  public:
    bool CommandInProgress() const override {
        return CommPort::Exists() && CommPort::Instance().BusyCount() > 0;
    }
    bool MonitorReadingPacket() const override {
        return RamMonitor::Exists() && RamMonitor::Instance().IsReading();
    }
    bool MonitorShowsLiveBar() const override {
        if (!RamMonitor::Exists()) return false;
        const LiveSource* source = RamMonitor::Instance().Samples().Active();
        return source != nullptr && source->ShowsLiveBar();
    }
    void CallWhenModuleFree(std::function<void()> fn) override {
        CommPort::Instance().CallWhenNotBusy(std::move(fn));
    }
    bool PostponeCommandIfBusy(int commandId) override {
        return RamMonitor::Instance().PostponeCommandIfBusy(commandId, true);
    }
};
inline gui::ModuleActivity& LinkActivityForTests() {
    static TestActivity activity;
    return activity;
}

// A new document and an 800 x 600 graph view on it with an 18-pixel caption, shown.
inline std::unique_ptr<gui::MapGraphView> ShowGraph(ModuleState& document) {
    TestApp();
    document.InitializeDefaults();
    auto view =
        std::make_unique<gui::MapGraphView>(CurrentHost(), LinkActivityForTests(), AppProfile());
    view->SetCaptionHeight(18);
    view->resize(800, 600);
    view->SetDocument(&document);
    view->OnInitialUpdate();
    view->show();
    QCoreApplication::processEvents();
    return view;
}

}  // namespace qx::test
