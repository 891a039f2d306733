#include "ui/SoundInfoFrm.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "audio/Wavefunc.h"
#include "i18n/VexaLang.h"
#include "ui/NorvelLoader.h"
#include "widgets/Mainutils.h"
#include "widgets/MsgBox.h"

TfrmSoundInfo::TfrmSoundInfo(QWidget* owner) : QDialog(owner) {
    setObjectName("frmSoundInfo");
    setWindowTitle(ApplicationTitle());

    lbSoundInfo = new QLabel(this);
    lbSoundInfo->setObjectName("lbSoundInfo");
    lbSoundInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    btnSoundAnalyse = new QPushButton("Analyse call info", this);
    btnSoundAnalyse->setObjectName("btnSoundAnalyse");
    btnSoundAnalyse->setAutoDefault(false);
    connect(btnSoundAnalyse, &QPushButton::clicked, this, &TfrmSoundInfo::btnSoundAnalyseClick);
    lbCallInfo = new QLabel(this);
    lbCallInfo->setObjectName("lbCallInfo");
    lbCallInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbCallInfo->hide();
    btnOK = new QPushButton("OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, [this] { done(mrOk); });

    // The analyse button spans the information label; the call information takes its place.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addWidget(lbSoundInfo);
    layout->addWidget(btnSoundAnalyse);
    layout->addWidget(lbCallInfo);
    layout->addSpacing(30);
    layout->addWidget(btnOK, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmSoundInfo::SetLibraryCandidates(std::vector<std::string> candidates) {
    LibraryCandidates = std::move(candidates);
    CustomCandidates = true;
}

void TfrmSoundInfo::PrepareSoundInfo(TWaveFile& wave) {
    TNorvelLibrary library;
    library.Load(CustomCandidates ? LibraryCandidates
                                  : TNorvelLibrary::DefaultCandidates(
                                        QCoreApplication::applicationDirPath().toStdString()));
    Texts = AnalyseSoundFile(wave, &library);
    library.Unload();
    if (Texts.IntegrityChecked && !Texts.IntegrityPassed) {
        QApplication::beep();
    }
    CallInfoPrepared = Texts.CallInfo;
    if (!Texts.AnalysisNote.isEmpty()) {
        CallInfoPrepared += "\n\n" + Texts.AnalysisNote;
    }

    setWindowTitle(ApplicationTitle());
    lbSoundInfo->setText(Texts.FileInfo + Texts.AddInfo);
    btnSoundAnalyse->setText(LabelText(GetLangConstant("AnalyseCallStr")));
    // The form has no translation of its own: its OK is Qt's, in the current language.
    btnOK->setText(QCoreApplication::translate("QPlatformTheme", "OK"));
    btnSoundAnalyse->show();
    lbCallInfo->clear();
    lbCallInfo->hide();
    btnOK->setFocus();
    adjustSize();
}

int TfrmSoundInfo::ShowSoundInfo(TWaveFile& wave) {
    PrepareSoundInfo(wave);
    if (parentWidget() != nullptr) {
        const QRect owner = parentWidget()->window()->frameGeometry();
        move(owner.center() - rect().center());
        KeepOnScreen(*this);
    }
    return exec();
}

void TfrmSoundInfo::btnSoundAnalyseClick() {
    btnSoundAnalyse->hide();
    lbCallInfo->setText(CallInfoPrepared);
    lbCallInfo->show();
    btnOK->setFocus();
}

void ShowSoundInfo(QWidget* parent, const QString& wavPath) {
    static QPointer<TfrmSoundInfo> form;
    if (form == nullptr || form->parentWidget() != parent) {
        delete form;
        form = new TfrmSoundInfo(parent);
    }
    TWaveFile wave;
    wave.SetFileName(QFile::encodeName(wavPath).toStdString());
    if (!wave.Open()) {
        ShowMessageBox(LabelText(GetLangConstant("CantOpenStr")) + " " + wavPath,
                       ApplicationTitle(), MB_OK | MB_ICONERROR);
        return;
    }
    form->ShowSoundInfo(wave);
}
