// The program entry: one instance per user, the language manager, the forms, the deferred
// initialisation and the message loop.
#include <algorithm>
#include <exception>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "i18n/VexaLang.h"
#include "settings/RecSettings.h"
#include "ui/About.h"
#include "ui/Mainutils.h"
#include "ui/PassDlg.h"
#include "ui/ProgramForms.h"
#include "ui/Quorv_main.h"
#include "ui/RenameDlg.h"
#include "ui/SingleInstance.h"
#include "ui/SoundInfoFrm.h"
#include "ui/StatusFrm.h"

namespace {

void ShowStartupError(const QString& message) {
    QMessageBox::critical(nullptr, ApplicationTitle(), message);
}

// Centred over the main window, kept on the main window's screen.
void CentreOver(QWidget& dialog, const QWidget& main) {
    dialog.adjustSize();
    const QRect frame = main.frameGeometry();
    QRect screen = main.screen() ? main.screen()->availableGeometry() : QRect();
    int left = std::max(0, frame.left() + (frame.width() - dialog.width()) / 2);
    int top = std::max(0, frame.top() + (frame.height() - dialog.height()) / 2);
    if (!screen.isNull()) {
        left = std::min(left, screen.right() + 1 - dialog.width());
        top = std::min(top, screen.bottom() + 1 - dialog.height());
    }
    dialog.move(std::max(0, left), std::max(0, top));
}

// The recorder hands itself to the settings dialog and restores it through the main
// window's seams; the Settings action shows it with the current options.
void ConnectSettingsDialog(TfrmQuorvMain& main, TfrmRecSettings& dialog) {
    const TRecSettingsCallbacks callbacks = RecSettingsCallbacks(dialog);
    main.Seams.AttachSettings = callbacks.AttachRecorder;
    main.Seams.DetachSettings = callbacks.DetachRecorder;
    main.Seams.RestoreSettings = callbacks.RestoreSettings;
    main.Seams.SetSettingsHiddenTab = callbacks.SetHiddenTabVisible;
    main.Seams.ExecSettingsDialog = [&main, &dialog] {
        CentreOver(dialog, main);
        dialog.actRestoreExecute();
        dialog.exec();
        return dialog.SaveProgramOptions(ProgramOptions);
    };
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
        // first. The overwrite question joins before the password dialog with the downloads
        // from the window; the sound-information dialog is made on its first use.
        TfrmQuorvMain frmQuorvMain;
        TfrmRecSettings frmRecSettings(&frmQuorvMain);
        TfrmRename frmRename(&frmQuorvMain);
        TAboutBox aboutBox(&frmQuorvMain);
        TfrmStatus frmStatus(&frmQuorvMain);
        TPasswordDlg passwordDlg(&frmQuorvMain);
        frmQuorvMain.frmRename = &frmRename;
        frmQuorvMain.AboutBox = &aboutBox;
        frmQuorvMain.PasswordDlg = &passwordDlg;
        QObject::connect(&instance, &TSingleInstance::ActivateRequested, &frmQuorvMain,
                         &TfrmQuorvMain::BringToFront);
        ConnectSettingsDialog(frmQuorvMain, frmRecSettings);
        ConnectProgressForm(frmQuorvMain, frmStatus);
        frmQuorvMain.Seams.ShowSoundInfo = [&frmQuorvMain](const QString& path) {
            ShowSoundInfo(&frmQuorvMain, path);
        };
        frmQuorvMain.InitMainForm();
        // The settings dialog shows the program options from now on.
        frmRecSettings.LoadProgramOptions(ProgramOptions);
        frmQuorvMain.show();
        application.exec();
    } catch (const std::exception& error) {
        ShowStartupError(QString::fromStdString(error.what()));
    } catch (...) {
        ShowStartupError(QString());
    }
    return 0;
}
