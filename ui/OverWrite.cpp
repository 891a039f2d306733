#include "ui/OverWrite.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "i18n/VexaLang.h"
#include "i18n/VexaLangFormLists.h"
#include "ui/RenameDlg.h"
#include "widgets/Mainutils.h"
#include "widgets/MsgBox.h"

TfrmOverwrite::TfrmOverwrite(QWidget* mainWindow, TfrmRename* renameDialog)
    : QDialog(mainWindow), FRenameDialog(renameDialog) {
    setObjectName("frmOverwrite");
    setWindowTitle(ApplicationTitle().isEmpty() ? QString("Overwrite confirm")
                                                : ApplicationTitle());
    setWindowIcon(QApplication::windowIcon());
    if (FRenameDialog == nullptr)
        FRenameDialog = new TfrmRename(this);

    Label1 = new QLabel("File already exists.", this);
    Label1->setObjectName("Label1");
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);
    Label1->setFixedSize(380, 48);

    RenameBtn = new QPushButton("Rename", this);
    RenameBtn->setObjectName("RenameBtn");
    connect(RenameBtn, &QPushButton::clicked, this, &TfrmOverwrite::RenameBtnClick);
    SkipBtn = AddButton("SkipBtn", "Skip", mrSkip);
    OverwriteBtn = AddButton("OverwriteBtn", "Overwrite", mrOverwrite);
    OverwriteBtn->setDefault(true);
    Button1 = AddButton("Button1", "Overwrite All", mrOverwriteAll);
    Button2 = AddButton("Button2", "Cancel", mrCancelBatch);
    Button3 = AddButton("Button3", "Skip All", mrSkipAll);

    auto* grid = new QGridLayout;
    grid->addWidget(OverwriteBtn, 0, 0);
    grid->addWidget(SkipBtn, 0, 1);
    grid->addWidget(RenameBtn, 0, 2);
    grid->addWidget(Button1, 1, 0);
    grid->addWidget(Button3, 1, 1);
    grid->addWidget(Button2, 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(grid);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // The form's texts are complete: they are its default language.
    CreateFormLanguageController(this, TTranslatedForm::OverwriteDialog);
}

QPushButton* TfrmOverwrite::AddButton(const char* name, const char* caption, int modalResult) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(name);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, modalResult] { done(modalResult); });
    return button;
}

QString TfrmOverwrite::ShortenedName(const QString& name, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(name) <= width)
        return name;
    // Like a path ellipsis: the folder part gives way first, the file name stays whole.
    const qsizetype slash = name.lastIndexOf('/');
    if (slash > 0) {
        const QString fileName = name.mid(slash);
        const int folderRoom = width - metrics.horizontalAdvance(fileName);
        const QString folder = metrics.elidedText(name.left(slash), Qt::ElideRight, folderRoom);
        if (folderRoom > 0 && folder.size() > 1 &&
            metrics.horizontalAdvance(folder + fileName) <= width)
            return folder + fileName;
    }
    return metrics.elidedText(name, Qt::ElideMiddle, width);
}

void TfrmOverwrite::showEvent(QShowEvent* event) {
    if (!ApplicationTitle().isEmpty())
        setWindowTitle(ApplicationTitle());
    // Only the shown text is shortened: the caller reads FileName back as the real target.
    const QString shown =
        ShortenedName(FFileName, QFontMetrics(Label1->font()), Label1->width() - 10);
    Label1->setText(QString::fromStdString(GetLangConstant("FileAlreadyExistsStr")) + "\n" + shown);
    QDialog::showEvent(event);
    OverwriteBtn->setFocus();
}

void TfrmOverwrite::RenameBtnClick() {
    FRenameDialog->edFileName->setText(FFileName);
    FRenameDialog->edFileName->setFocus();
    if (FRenameDialog->exec() != mrOk)
        return;
    const QString renamed = FRenameDialog->edFileName->text();
    // An emptied name is no target; the question stays open.
    if (renamed.trimmed().isEmpty())
        return;
    FFileName = renamed;
    done(mrOverwrite);
}

void TfrmOverwrite::reject() {
    done(mrCancelBatch);
}
