#include "program/ProgramForms.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

#include "i18n/VexaLang.h"
#include "platform/SystemTime.h"
#include "transfer/FileNameMask.h"
#include "widgets/Mainutils.h"
#include "ui/SoundInfoFrm.h"

namespace {

// Centred over the main window, kept wholly on the screen.
void CentreOver(QWidget& dialog, const QWidget& main) {
    dialog.adjustSize();
    const QRect frame = main.frameGeometry();
    dialog.move(frame.left() + (frame.width() - dialog.width()) / 2,
                frame.top() + (frame.height() - dialog.height()) / 2);
    KeepOnScreen(dialog);
}

// Long operations show the progress form; its Cancel asks the main window to stop.
void ConnectProgressForm(TfrmQuorvMain& main, TfrmStatus& status) {
    QObject::connect(&status, &TfrmStatus::CancelClicked, &main, [&main] { main.RequestCancel(); });
    main.Seams.ShowProgress = [&status](const QString& text, bool cancelAllowed) {
        // The form has no translation of its own: its one button is Qt's Cancel.
        status.Button1->setText(QCoreApplication::translate("QPlatformTheme", "Cancel"));
        status.Button1->setEnabled(cancelAllowed);
        status.lbStatus->setText(text);
        status.SetProgress(0);
        status.SetKeepFocus(true);
        status.show();
        status.repaint();
    };
    // A new label (the upload's rate) keeps the estimate and a Cancel already pressed.
    main.Seams.SetProgressText = [&status](const QString& text) { status.lbStatus->setText(text); };
    main.Seams.SetProgress = [&status](int percent) { status.SetProgress(float(percent)); };
    main.Seams.CloseProgress = [&status] {
        status.SetKeepFocus(false);
        status.hide();
    };
}

// The recorder hands itself to the settings dialog and restores it through the main
// window's seams; the Settings action shows it with the current options. The dialog's
// dealer switches act on the main window at once, and its mask example expands the mask.
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
    QObject::connect(&dialog, &TfrmRecSettings::MainWindowSwitchesChanged, &main,
                     &TfrmQuorvMain::ApplyDealerSwitches);
    dialog.SetMaskExpander(MaskExampleFileName);
}

} // namespace

QString MaskExampleFileName(const QString& mask) {
    const std::string callText =
        GetLangConstant("OutcomingCallStr") + " " + GetLangConstant("TelNumberStr") + "1234567 ";
    return QString::fromStdString(ExpandFileNameMask(mask.toStdString(), LocalTimeNow(),
                                                     "SN123OCV345", 1, NoVoicePart, callText));
}

TProgramForms::TProgramForms() {
    frmQuorvMain.frmRename = &frmRename;
    frmQuorvMain.AboutBox = &AboutBox;
    frmQuorvMain.PasswordDlg = &PasswordDlg;
    ConnectSettingsDialog(frmQuorvMain, frmRecSettings);
    ConnectProgressForm(frmQuorvMain, frmStatus);
    frmQuorvMain.Seams.ShowSoundInfo = [this](const QString& path) {
        ShowSoundInfo(&frmQuorvMain, path);
    };
    frmQuorvMain.Seams.DestroySettingsBalloon = [this] { frmRecSettings.HideLatinOnlyBalloon(); };
}

TProgramForms::~TProgramForms() {
    frmQuorvMain.DisconnectRecorder();
    frmQuorvMain.Seams = TMainFormSeams{};
}

void TProgramForms::Start(const QString& programPath) {
    frmQuorvMain.InitMainForm(programPath);
    // The settings dialog shows the program options from now on; the switches it holds act
    // on the main window as loaded.
    frmRecSettings.LoadProgramOptions(ProgramOptions);
    frmQuorvMain.ApplyDealerSwitches(ProgramOptions.HideEditor, ProgramOptions.DisableEditor,
                                     ProgramOptions.DisableFlashDrive,
                                     ProgramOptions.HideFlashDrive);
}
