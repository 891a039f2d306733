// The program entry: one instance per user, the language manager, the forms, the deferred
// initialisation and the message loop.
#include <exception>

#include <QApplication>
#include <QMessageBox>

#include "i18n/VexaLang.h"
#include "program/ProgramForms.h"
#include "ui/SingleInstance.h"
#include "widgets/Mainutils.h"

namespace {

void ShowStartupError(const QString& message) {
    QMessageBox::critical(nullptr, ApplicationTitle(), message);
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvex"));

    // A second start hands over to the first instance and ends without showing anything.
    TSingleInstance instance;
    if (!instance.Claim())
        return 0;

    try {
        TVexaLanguageManager* manager = LangManager();
        manager->SetDefaultLanguageID(0);
        manager->SetCurrentLanguageID(manager->GetDefaultLanguageID());

        TProgramForms forms;
        QObject::connect(&instance, &TSingleInstance::ActivateRequested, &forms.frmQuorvMain,
                         &TfrmQuorvMain::BringToFront);
        forms.Start();
        forms.frmQuorvMain.show();
        application.exec();
    } catch (const std::exception& error) {
        ShowStartupError(QString::fromStdString(error.what()));
    } catch (...) {
        ShowStartupError(QString());
    }
    return 0;
}
