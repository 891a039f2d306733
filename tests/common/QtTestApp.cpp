// One QApplication for the whole test executable, alive from the first test to the last.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLocale>
#include <QPointer>
#include <QTimer>

namespace {

// A modal window that nobody answers would hold its test in exec() until ctest's time-out;
// after this long it is closed and the test fails, naming the window.
constexpr int ModalLimitMs = 60'000;

class TModalWatchdog {
public:
    TModalWatchdog() {
        QObject::connect(&Tick, &QTimer::timeout, [this] { Check(); });
        Tick.start(500);
    }

private:
    void Check() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != Seen) {
            Seen = modal;
            Since.start();
            return;
        }
        if (modal == nullptr || Since.elapsed() < ModalLimitMs)
            return;
        ADD_FAILURE() << "modal window \"" << modal->objectName().toStdString() << "\" ("
                      << modal->metaObject()->className() << ") was never answered";
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        Seen = nullptr;
    }

    QTimer Tick;
    QPointer<QWidget> Seen;
    QElapsedTimer Since;
};

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
        Watchdog = new TModalWatchdog;
    }
    void TearDown() override {
        delete Watchdog;
        Watchdog = nullptr;
        delete App;
        App = nullptr;
    }

private:
    QApplication* App = nullptr;
    TModalWatchdog* Watchdog = nullptr;
};

const auto* const Registered = ::testing::AddGlobalTestEnvironment(new TQtApplicationEnvironment);

} // namespace
