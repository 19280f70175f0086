#include "DialogTestSupport.h"

#include <QDir>
#include <QLocale>
#include <cstdlib>

namespace qx::test {

QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "dialog_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        auto* a = new QApplication(argc, argv);
        QApplication::setStyle(QStringLiteral("Fusion"));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        return a;
    }();
    return *app;
}

std::string SavePicture(QWidget& widget, const std::string& name) {
    const char* buildDir = std::getenv("QX_BUILD_DIR");
    QDir dir(buildDir && *buildDir ? QString::fromLocal8Bit(buildDir) : QDir::currentPath());
    if (!dir.mkpath(QStringLiteral("pictures"))) return {};
    const QString path =
        dir.filePath(QStringLiteral("pictures/%1.png").arg(QString::fromStdString(name)));
    if (!widget.grab().save(path, "PNG")) return {};
    return path.toStdString();
}

ModalDriver::ModalDriver() {
    connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
}

void ModalDriver::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || ran_ || !modal->isVisible()) return;
    if (probe_(modal)) {
        ran_ = true;
        timer_.stop();
    }
}

void TypeInto(QLineEdit* edit, const QString& text) {
    ASSERT_NE(edit, nullptr);
    edit->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

void Click(QWidget* button) {
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

}  // namespace qx::test
