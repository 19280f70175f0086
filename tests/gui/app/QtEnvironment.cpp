// One QApplication for the whole test program, made before the first test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <clocale>
#include <memory>

namespace {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        app_ = std::make_unique<QApplication>(argc_, argv_);
        // A decimal-comma locale: numbers on screen must still use a point.
        if (std::setlocale(LC_ALL, "de_DE.UTF-8")) QLocale::setDefault(QLocale(QLocale::German));
    }
    void TearDown() override { app_.reset(); }

  private:
    int argc_ = 1;
    char name_[13] = "test_gui_app";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
