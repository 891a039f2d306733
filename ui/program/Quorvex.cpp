// The program entry: one instance per user, the language manager, the forms, the deferred
// initialisation and the message loop.
#include <exception>

#include <QApplication>
#include <QMessageBox>

#include "i18n/VexaLang.h"
#include "ui/About.h"
#include "ui/Mainutils.h"
#include "ui/PassDlg.h"
#include "ui/Quorv_main.h"
#include "ui/RenameDlg.h"
#include "ui/SingleInstance.h"

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

        // The forms live until the program ends, created in this order with the main window
        // first. The settings, progress, overwrite and sound-information forms join here as
        // their units come: after the main window, the rename dialog before the about box,
        // the progress and overwrite forms before the password dialog, the sound
        // information last.
        TfrmQuorvMain frmQuorvMain;
        TfrmRename frmRename(&frmQuorvMain);
        TAboutBox aboutBox(&frmQuorvMain);
        TPasswordDlg passwordDlg(&frmQuorvMain);
        frmQuorvMain.frmRename = &frmRename;
        frmQuorvMain.AboutBox = &aboutBox;
        frmQuorvMain.PasswordDlg = &passwordDlg;
        QObject::connect(&instance, &TSingleInstance::ActivateRequested, &frmQuorvMain,
                         &TfrmQuorvMain::BringToFront);
        frmQuorvMain.InitMainForm();
        frmQuorvMain.show();
        application.exec();
    } catch (const std::exception& error) {
        ShowStartupError(QString::fromStdString(error.what()));
    } catch (...) {
        ShowStartupError(QString());
    }
    return 0;
}
