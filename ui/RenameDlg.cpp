#include "ui/RenameDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "i18n/VexaLangFormLists.h"
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

    OKBtn = new QPushButton("OK", this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, [this] { done(mrOk); });
    CancelBtn = new QPushButton("Cancel", this);
    CancelBtn->setObjectName("CancelBtn");
    connect(CancelBtn, &QPushButton::clicked, this, &TfrmRename::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(edFileName);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // The form's texts are complete: they are its default language.
    CreateFormLanguageController(this, TTranslatedForm::RenameDialog);
}

void TfrmRename::reject() {
    done(mrCancel);
}
