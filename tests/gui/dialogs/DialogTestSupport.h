#pragma once
// Fixture of the dialog tests: a scripted host and profile, a new settings
// document, an emulated module on an in-memory line (linked on demand), and
// helpers that drive modal dialogs from inside their loops and save pictures.
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "emulator/EmulatorLine.h"
#include "model/LinkedTestSupport.h"
#include "model/ModuleState.h"
#include "resources/TemplateDialog.h"

namespace qx::test {

// The one QApplication of the test program (offscreen, Fusion style, and a
// decimal-comma default locale so that numbers must still use a point).
QApplication& TestApp();

// Saves widget as <build folder>/pictures/<name>.png; the path saved, or "" on failure.
std::string SavePicture(QWidget& widget, const std::string& name);

// Polls the event loop for the active modal window of type W and runs fn on
// it once. Stops polling when destroyed, so nothing outlives its test.
class ModalDriver : public QObject {
  public:
    template <class W>
    static std::unique_ptr<ModalDriver> When(std::function<void(W&)> fn) {
        auto driver = std::make_unique<ModalDriver>();
        driver->probe_ = [fn](QWidget* w) {
            if (auto* typed = qobject_cast<W*>(w)) {
                fn(*typed);
                return true;
            }
            return false;
        };
        driver->timer_.start(1);
        return driver;
    }
    ModalDriver();
    bool Ran() const { return ran_; }

  private:
    void Poll();
    QTimer timer_;
    std::function<bool(QWidget*)> probe_;
    bool ran_ = false;
};

// Replaces the whole text of an edit with real key events.
void TypeInto(QLineEdit* edit, const QString& text);
// A real click on the button (or check/radio box).
void Click(QWidget* button);

class DialogTest : public LinkedTest {
  protected:
    DialogTest() {
        TestApp();
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
