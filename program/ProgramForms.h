#pragma once

#include <QString>

#include "settings/RecSettings.h"
#include "ui/About.h"
#include "ui/Quorv_main.h"
#include "ui/RenameDlg.h"
#include "ui/StatusFrm.h"
#include "widgets/PassDlg.h"

// The forms that live as long as the program, created in the program's order with the main
// window first and wired to each other as the program runs them. The format-choice,
// part-selection and overwrite dialogs are made where they are needed.
class TProgramForms {
public:
    TProgramForms();
    // The recorder goes first, while every form it reaches is still there.
    ~TProgramForms();

    // The deferred initialisation (the settings file, the language files, the options)
    // beside programPath, or beside the executable when it is empty; then the settings
    // dialog takes the options and the dealer switches apply to the main window.
    void Start(const QString& programPath = QString());

    TfrmQuorvMain frmQuorvMain;
    TfrmRecSettings frmRecSettings{&frmQuorvMain};
    TfrmRename frmRename{&frmQuorvMain};
    TAboutBox AboutBox{&frmQuorvMain};
    TfrmStatus frmStatus{&frmQuorvMain};
    TPasswordDlg PasswordDlg{&frmQuorvMain};
};

// The example the settings dialog shows for a file-name mask: the name the mask gives for
// the sample record (number 1, serial "SN123OCV345", now, an outgoing call to 1234567).
QString MaskExampleFileName(const QString& mask);
