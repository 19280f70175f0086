#pragma once
// Fixture of the dialog tests: a scripted host and profile, a new settings
// document, an emulated module on an in-memory line (linked on demand), and
// helpers that drive modal dialogs from inside their loops and save pictures.
#include <QApplication>
#include <QLineEdit>
#include <QLocale>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/model/ModuleState.h"
#include "gui/GuiTestSupport.h"
#include "gui/resources/TemplateDialog.h"
#include "model/LinkedTestSupport.h"
#include "support/EmulatorLine.h"

namespace qx::test {

// Polls the event loop for the active modal window of type W and runs fn on
// it once. Stops polling when destroyed, so nothing outlives its test.
class ModalDriver : public QObject {
  public:
    template <class W>
    static std::unique_ptr<ModalDriver> When(std::function<void(W&)> fn) {
        auto driver = std::make_unique<ModalDriver>();
        QObject::connect(&driver->timer_, &QTimer::timeout, driver.get(), [d = driver.get(), fn] {
            auto* w = qobject_cast<W*>(QApplication::activeModalWidget());
            if (!w || d->ran_ || !w->isVisible()) return;
            d->ran_ = true;
            d->timer_.stop();
            fn(*w);
        });
        driver->timer_.start(1);
        return driver;
    }
    bool Ran() const { return ran_; }

  private:
    QTimer timer_;
    bool ran_ = false;
};

// Replaces the whole text of an edit with real key events.
inline void TypeInto(QLineEdit* edit, const QString& text) {
    ASSERT_NE(edit, nullptr);
    edit->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}
// A real click on the button (or check/radio box).
inline void Click(QWidget* button) {
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}
// Saves the widget's picture under the build folder as name.png.
inline void SavePicture(QWidget& widget, const char* name) {
    SavePicture(widget.grab().toImage(), QString::fromLatin1(name) + ".png");
}

class DialogTest : public LinkedTest {
  protected:
    DialogTest() {
        TestApp();
        // A decimal-comma locale: numbers must still use a point.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        document.InitializeDefaults();
    }
    ~DialogTest() override { QCoreApplication::processEvents(); }

    // Links to an emulated module whose port opener records each slot opened.
    void LinkModule(const emu::EmulatorConfig& config = {}) {
        emulator = std::make_unique<emu::EmulatorLine>(config);
        CommPort::Instance().SetPortOpener(
            [this](int index, serial::OpenError*) -> std::unique_ptr<serial::SerialPort> {
                opened.push_back(index);
                auto line = std::make_unique<serial::MemoryLine>(host->clock(), emulator.get());
                emulator->AttachLine(line.get());
                return line;
            });
        ASSERT_TRUE(CommPort::Instance().EstablishLink());
        emulator->Core().ResetCounters();
        opened.clear();
        host->ClearRecords();
    }
    const std::vector<emu::WriteRecord>& Writes() { return emulator->Core().Counters().writes; }
    // Shows a new dialog D made from args and waits until it is active.
    template <class D, class... Args>
    std::unique_ptr<D> Open(Args&&... args) {
        auto dialog = std::make_unique<D>(std::forward<Args>(args)...);
        dialog->show();
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        return dialog;
    }

    ModuleState document;
    std::vector<int> opened;  // slots opened by the link, in order
};

}  // namespace qx::test
