// One QApplication for the whole test executable, alive from the first test to the last.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <memory>

#include "tests/support/TempDir.h"

namespace {

// A modal dialog that nobody answers would hold its test until the time-out of the whole
// run. One that stays open this long is a failure of its test, and is cancelled.
constexpr int StrayModalLimitMs = 20000;

class TStrayModalWatch {
public:
    TStrayModalWatch() {
        QObject::connect(&Timer, &QTimer::timeout, [this] { Check(); });
        Timer.start(250);
    }

private:
    void Check() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != Seen) {
            Seen = modal;
            Open.restart();
            return;
        }
        if (modal == nullptr || Open.elapsed() < StrayModalLimitMs)
            return;
        const auto* box = qobject_cast<QMessageBox*>(modal);
        ADD_FAILURE() << "a modal " << modal->metaObject()->className()
                      << " stayed open without an answer"
                      << (box != nullptr ? ": " + box->text().toStdString() : std::string());
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        Seen = nullptr;
    }

    QTimer Timer;
    QPointer<QWidget> Seen;
    QElapsedTimer Open;
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
        // What the program keeps in its data folder (copies of blocks being rewritten, the
        // trash) goes to a folder of the run's own, never to the user's.
        DataHome = std::make_unique<testsupport::TTempDir>();
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(DataHome->Path.string()));
        // Without a runtime folder of the session's, Qt would make one in the temporary
        // folder and leave it there: the run brings its own (mkdtemp makes it private, as
        // Qt asks) and removes it.
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            RuntimeDir = std::make_unique<testsupport::TTempDir>();
            qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(RuntimeDir->Path.string()));
        }
        App = new QApplication(argc, argv);
        // Number texts in the tests are written the C way, whatever the machine's locale.
        QLocale::setDefault(QLocale::c());
        Watch = new TStrayModalWatch;
    }
    void TearDown() override {
        delete Watch;
        Watch = nullptr;
        delete App;
        App = nullptr;
        qunsetenv("XDG_DATA_HOME");
        DataHome.reset();
        if (RuntimeDir) {
            qunsetenv("XDG_RUNTIME_DIR");
            RuntimeDir.reset();
        }
    }

private:
    std::unique_ptr<testsupport::TTempDir> DataHome;
    std::unique_ptr<testsupport::TTempDir> RuntimeDir;
    QApplication* App = nullptr;
    TStrayModalWatch* Watch = nullptr;
};

const auto* const Registered = ::testing::AddGlobalTestEnvironment(new TQtApplicationEnvironment);

} // namespace
