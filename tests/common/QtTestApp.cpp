// One QApplication for the whole test executable, alive from the first test to the last.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>

namespace {

class TQtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "quorvex_test";
        static char* argv[] = {name, nullptr};
        // Without a display the tests still run, on the off-screen platform.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
            qEnvironmentVariableIsEmpty("DISPLAY")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        App = new QApplication(argc, argv);
        // Number texts in the tests are written the C way, whatever the machine's locale.
        QLocale::setDefault(QLocale::c());
    }
    void TearDown() override {
        delete App;
        App = nullptr;
    }

private:
    QApplication* App = nullptr;
};

const auto* const Registered = ::testing::AddGlobalTestEnvironment(new TQtApplicationEnvironment);

} // namespace
