#include "ui/RenameDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "i18n/VexaLangFormLists.h"
#include "widgets/DialogButtons.h"
#include "widgets/MsgBox.h"

TfrmRename::TfrmRename(QWidget* owner) : QDialog(owner) {
    setObjectName("frmRename");
    setWindowTitle("Rename");

    Label1 = new QLabel("New name", this);
    Label1->setObjectName("Label1");
    edFileName = new QLineEdit(this);
    edFileName->setObjectName("edFileName");
    edFileName->setMinimumWidth(280);
    Label1->setBuddy(edFileName);

    const TOkCancelRow buttons = MakeOkCancelRow(*this, "OKBtn", "CancelBtn");
    OKBtn = buttons.Ok;
    CancelBtn = buttons.Cancel;

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(edFileName);
    layout->addLayout(buttons.Layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // The form's texts are complete: they are its default language.
    CreateFormLanguageController(this, TTranslatedForm::RenameDialog);
}

void TfrmRename::reject() {
    done(mrCancel);
}
