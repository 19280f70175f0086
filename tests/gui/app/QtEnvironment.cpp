// One QApplication for the whole test program, made before the first test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <clocale>

namespace {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "test_gui_app";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
        // A decimal-comma locale: numbers on screen must still use a point.
        if (std::setlocale(LC_ALL, "de_DE.UTF-8")) QLocale::setDefault(QLocale(QLocale::German));
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

  private:
    QApplication* app_ = nullptr;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
