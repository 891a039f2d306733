// A stand-in program for the single-instance tests: it claims the instance under the name
// given on its command line and reports on stdout what happened.
//   first minimized=<0|1>       it holds the instance and shows its window
//   second                      another process holds it; "activate" was sent and it ends (exit 3)
//   activated minimized=<0|1>   a later start asked it to the front (it then ends)
#include <cstdio>

#include <QApplication>
#include <QWidget>

#include "ui/SingleInstance.h"

namespace {

void Say(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        Say("usage: ProgramInstanceHelper NAME [--minimized]");
        return 2;
    }
    TSingleInstance instance(args.at(1));
    if (!instance.Claim()) {
        Say("second");
        return 3;
    }
    QWidget window;
    window.setWindowTitle(QStringLiteral("instance helper"));
    window.resize(200, 100);
    if (args.contains(QStringLiteral("--minimized")))
        window.showMinimized();
    else
        window.show();
    QObject::connect(&instance, &TSingleInstance::ActivateRequested, &window, [&window] {
        TSingleInstance::BringToFront(window);
        std::printf("activated minimized=%d\n", window.isMinimized() ? 1 : 0);
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    std::printf("first minimized=%d\n", window.isMinimized() ? 1 : 0);
    std::fflush(stdout);
    return app.exec();
}
