// What the settings dialog does with its working copy: store, restore, files, factory
// settings, the enabling rules, the presets, the password edit and the dealer switches.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDialog>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "controls/MySpin.h"
#include "engine/RecClasses.h"
#include "i18n/VexaLang.h"
#include "i18n/VexaLangText.h"
#include "link/DebugLog.h"
#include "link/RecXchange.h"
#include "settings/PositionUpDown.h"
#include "settings/RecSettings.h"
#include "widgets/Mainutils.h"
#include "widgets/MsgBox.h"

namespace {

bool IsNoPassword(const TPasswordField& field) {
    return std::equal(field.begin(), field.begin() + MaxPasswordLength, NoPasswordBlock.begin());
}

} // namespace

void TfrmRecSettings::ConnectHandlers() {
    connect(actStore, &QAction::triggered, this, &TfrmRecSettings::actStoreExecute);
    connect(actRestore, &QAction::triggered, this, &TfrmRecSettings::actRestoreExecute);
    connect(actLoadFromFile, &QAction::triggered, this, &TfrmRecSettings::actLoadFromFileExecute);
    connect(actSaveToFile, &QAction::triggered, this, &TfrmRecSettings::actSaveToFileExecute);
    connect(actDefSettings, &QAction::triggered, this, &TfrmRecSettings::actDefSettingsExecute);

    connect(tcRecSet, &QTabBar::currentChanged, this, &TfrmRecSettings::tcRecSetChange);
    for (QRadioButton* rb : {rbNoCompress, rbADPCM4, rbADPCM2, rbuLaw, rbSR40000, rbSR20000,
                             rbSR13333, rbSR08000, rbSR04000})
        connect(rb, &QRadioButton::clicked, this, &TfrmRecSettings::rbCompressClick);
    connect(cbCyclicRec, &QCheckBox::toggled, this, &TfrmRecSettings::cbCyclicRecClick);
    connect(cbTimerType, &QComboBox::currentIndexChanged, this,
            &TfrmRecSettings::cbTimerTypeChange);
    connect(cbDailyTmr, &QCheckBox::toggled, this, &TfrmRecSettings::cbDailyTmrClick);
    connect(cbVAS, &QCheckBox::toggled, this, &TfrmRecSettings::cbVASClick);
    connect(cbAGC, &QCheckBox::toggled, this, &TfrmRecSettings::cbAGCClick);
    connect(cbAutoDownload, &QCheckBox::toggled, this, &TfrmRecSettings::cbAutoDownloadClick);
    connect(cbDetectType, &QComboBox::currentIndexChanged, this,
            &TfrmRecSettings::cbDetectTypeChange);
    connect(cbDisErase, &QCheckBox::toggled, this, &TfrmRecSettings::cbDisEraseClick);
    connect(cbSimpleQuality, &QCheckBox::toggled, this, &TfrmRecSettings::cbSimpleQualityClick);
    connect(cbSimpleVas, &QCheckBox::toggled, this, &TfrmRecSettings::cbSimpleVasClick);
    connect(cbSimpleAmp, &QCheckBox::toggled, this, &TfrmRecSettings::cbSimpleAmpClick);
    connect(cbQuality, &QComboBox::activated, this, &TfrmRecSettings::cbQualityChange);
    connect(cbVasPreset, &QComboBox::activated, this, &TfrmRecSettings::cbVasPresetChange);
    connect(cbAmpPreset, &QComboBox::activated, this, &TfrmRecSettings::cbAmpPresetChange);
    connect(cbFNMask, &QComboBox::editTextChanged, this, &TfrmRecSettings::cbFNMaskChange);
    connect(btnAGCSet, &QPushButton::clicked, this, &TfrmRecSettings::btnAGCSetClick);
    connect(btnBrowse, &QPushButton::clicked, this, &TfrmRecSettings::btnBrowseClick);
    for (TPositionUpDown* upDown :
         {updnGain, updnFAR, updnFRR, updnSAR, updnSRR, updnOffVol, updnOffTime})
        connect(upDown, &TPositionUpDown::valueChanged, this, &TfrmRecSettings::UpdateAmpTexts);
    for (QCheckBox* check :
         {cbHideEditor, cbDisableEditor, cbDisableFlash, cbHideFlash, cbHideMaskEdit,
          cbHideSplitting, cbHideExpert, cbHideAdvExpert, cbHideSorvane, cbHideAmpSettings})
        connect(check, &QCheckBox::toggled, this, &TfrmRecSettings::DealerSwitchClick);
}

// --- Profile tabs ---------------------------------------------------------------------------

void TfrmRecSettings::tcRecSetChange(int index) {
    // The edits of the tab left go into the working copy first.
    if (FShownTab >= 0)
        ControlsToRecSettings(FSettings);
    FShownTab = index;
    if (index < 0)
        return;
    FSettings.CurrentProfile = static_cast<std::uint8_t>(index);
    RecSettingsToControls(FSettings);
}

void TfrmRecSettings::SelectProfileTab(int index) {
    const QSignalBlocker blocker(tcRecSet);
    tcRecSet->setCurrentIndex(index);
    FShownTab = tcRecSet->currentIndex();
}

// --- Store and restore ----------------------------------------------------------------------

void TfrmRecSettings::actStoreExecute() {
    if (edPassword->hasFocus())
        edPasswordExit();
    ControlsToRecSettings(FSettings);
    if (!RecorderAvailable())
        return;
    if (FPasswordChanged) {
        const std::optional<QString> entered =
            FPrompts.Password ? FPrompts.Password(Lang("PwdChangeStr")) : std::nullopt;
        if (!entered) {
            Message(Lang("PwdNotChangedStr"), MB_OK);
        } else if (*entered != FPendingPassword) {
            Message(Lang("ValuesNotEqualStr"), MB_OK);
        } else {
            const std::string pending =
                FPendingPassword.left(static_cast<int>(MaxPasswordLength)).toStdString();
            const std::optional<TPasswordField> field = MakePasswordField(pending);
            if (field)
                FSettings.Password = *field;
            else
                Message(Lang("PwdNotChangedStr"), MB_OK); // not printable ASCII
        }
    }
    if (!StoreToRecorder(FSettings))
        return;
    Message(Lang("SettingsAppliedStr"), MB_OK);
    actRestoreExecute();
    FModified = false;
    FPasswordChanged = false;
}

void TfrmRecSettings::actRestoreExecute() {
    FPasswordChanged = false;
    if (!FRecorder)
        return;
    FSettings = FRecorder->Settings();
    SelectProfileTab(
        FSettings.CurrentProfile < TRecSettings::ProfileCount ? FSettings.CurrentProfile : 0);
    edPassword->setText(IsNoPassword(FSettings.Password) ? QString() : PasswordMask);
    RecSettingsToControls(FSettings);
    ControlsToRecSettings(FSettings);
    FRecorder->Settings() = FSettings;
    edPasswordEnter();
}

// --- Profile files and factory settings -----------------------------------------------------

void TfrmRecSettings::actSaveToFileExecute() {
    if (!RecorderAvailable())
        return; // the file names the recorder's model
    const QString filter = Lang("RecProfileFileFilterStr");
    const QString suffix = filter.section('|', 1, 1).section('.', -1);
    const QString fileName = FPrompts.FileName ? FPrompts.FileName(true, FileDialogFilter(filter),
                                                                   suffix, FProgramFolder)
                                               : QString();
    if (fileName.isEmpty() || !RecorderAvailable())
        return;
    ControlsToRecSettings(FSettings);
    FRecorder->SaveProfileFile(fileName.toStdString(), FSettings);
}

void TfrmRecSettings::actLoadFromFileExecute() {
    if (!RecorderAvailable())
        return;
    const QString filter = Lang("RecProfileFileFilterStr");
    const QString suffix = filter.section('|', 1, 1).section('.', -1);
    const QString fileName = FPrompts.FileName ? FPrompts.FileName(false, FileDialogFilter(filter),
                                                                   suffix, FProgramFolder)
                                               : QString();
    if (fileName.isEmpty() || !RecorderAvailable())
        return;
    if (!FRecorder->LoadProfileFile(fileName.toStdString(), FSettings))
        return;
    SelectProfileTab(
        FSettings.CurrentProfile < TRecSettings::ProfileCount ? FSettings.CurrentProfile : 0);
    RecSettingsToControls(FSettings);
}

void TfrmRecSettings::actDefSettingsExecute() {
    if (!RecorderAvailable() || Message(Lang("RestoreDefSetStr"), MB_YESNO) != IDYES)
        return;
    TRecSettings factory = FRecorder->Settings();
    if (!FRecorder->LoadDefaultProfile(factory) || !StoreToRecorder(factory))
        return;
    actRestoreExecute();
}

bool TfrmRecSettings::RecorderAvailable() {
    // The main window may have lost the recorder while the dialog was open.
    if (FRecorder != nullptr)
        return true;
    Message(Lang("CantFindRecorderStr"), MB_ICONERROR);
    return false;
}

bool TfrmRecSettings::StoreToRecorder(const TRecSettings& record) {
    const TRecSettings before = FRecorder->Settings();
    try {
        FRecorder->Settings() = record;
        const TWaitCursor wait;
        FRecorder->StoreSettings();
        return true;
    } catch (const TERecXchange& error) {
        ReadBackAfterFailedStore(before);
        Message(ExceptionBoxText(error), MB_ICONERROR);
    } catch (const std::exception& error) {
        // Refused before any exchange (busy, unusable password): the recorder keeps its record.
        FRecorder->Settings() = before;
        Message(QString::fromStdString(error.what()), MB_ICONERROR);
    }
    return false;
}

void TfrmRecSettings::ReadBackAfterFailedStore(const TRecSettings& before) {
    // The store may have stopped part-way: what the recorder holds is read again, over what
    // the object held before (the password is never read back; the old one stays).
    FRecorder->Settings() = before;
    try {
        const TWaitCursor wait;
        FRecorder->ReadSettings();
    } catch (const TERecXchange& error) {
        WriteDebugLog("Settings not read back after a failed store: " + error.MessageUtf8());
    } catch (const std::exception& error) {
        WriteDebugLog(std::string("Settings not read back after a failed store: ") + error.what());
    }
}

// --- Closing ----------------------------------------------------------------------------------

void TfrmRecSettings::FormClose() {
    if (FRecorder) {
        // A password typed and not yet left counts as entered, as for a store; a new one
        // not stored yet is a change as much as a byte of the record is.
        if (edPassword->hasFocus())
            edPasswordExit();
        const TRecSettings stored = FRecorder->Settings();
        ControlsToRecSettings(FSettings);
        const bool changed = FSettings.ToBytes() != stored.ToBytes() || FPasswordChanged;
        if (changed && Message(Lang("SettingsNotSaved"), MB_YESNO) == IDYES)
            actStoreExecute();
    }
    HideLatinOnlyBalloon();
}

void TfrmRecSettings::done(int result) {
    FormClose();
    TCustomRecSettingsForm::done(result);
}

// --- Enabling and visibility ------------------------------------------------------------------

void TfrmRecSettings::rbCompressClick() {
    const bool uLaw = rbuLaw->isChecked();
    lbScale->setEnabled(uLaw);
    cbScale->setEnabled(uLaw);
    const bool adpcm = rbADPCM2->isChecked() || rbADPCM4->isChecked();
    if (adpcm && (rbSR13333->isChecked() || rbSR20000->isChecked() || rbSR40000->isChecked()))
        rbSR08000->setChecked(true);
    for (QRadioButton* rb : {rbSR13333, rbSR20000, rbSR40000})
        rb->setEnabled(!adpcm);
    if (!FFilling) {
        ControlsToRecSettings(FSettings);
        RecSettingsToControls(FSettings);
    }
}

void TfrmRecSettings::cbCyclicRecClick() {
    lbCycleLen->setEnabled(cbCyclicRec->isChecked());
    rxseCycleLen->setEnabled(cbCyclicRec->isChecked());
}

void TfrmRecSettings::cbTimerTypeChange() {
    const int item = cbTimerType->currentIndex();
    const bool once = item == 2;
    const bool anyTimer = item > 0;
    dtpOnceTmrDateOn->setEnabled(once);
    dtpOnceTmrDateOff->setEnabled(once);
    for (QWidget* widget : std::initializer_list<QWidget*>{dtpOnceTmrTimeOn, dtpOnceTmrTimeOff,
                                                           lbOnceTimerStart, lbOnceTimerStop})
        widget->setEnabled(anyTimer);
}

void TfrmRecSettings::cbDailyTmrClick() {
    dtpDailyTmrTimeOn->setEnabled(cbDailyTmr->isChecked());
    dtpDailyTmrTimeOff->setEnabled(cbDailyTmr->isChecked());
}

void TfrmRecSettings::cbVASClick() {
    const bool on = cbVAS->isChecked();
    for (QWidget* widget : std::initializer_list<QWidget*>{
             updnOffVol, edOffVol, edOffTime, updnOffTime, lbSensibility, cbVasPreset, lbVasSec,
             lbVasLevel, lbVasTime, lbVasDb})
        widget->setEnabled(on);
}

void TfrmRecSettings::cbAGCClick() {
    const bool on = cbAGC->isChecked();
    for (QWidget* widget :
         std::initializer_list<QWidget*>{btnAGCSet, lbFAR, lbFRR, lbSAR, lbSRR, edFAR, edFRR, edSAR,
                                         edSRR, updnFAR, updnFRR, updnSAR, updnSRR})
        widget->setEnabled(on);
}

void TfrmRecSettings::cbAutoDownloadClick() {
    cbAutoDel->setEnabled(cbAutoDownload->isChecked());
    cbNonDownOnly->setEnabled(cbAutoDownload->isChecked());
}

void TfrmRecSettings::cbDetectTypeChange() {
    const int item = cbDetectType->currentIndex();
    const bool russian = item == 1;
    for (QWidget* widget : std::initializer_list<QWidget*>{lbNumLen, seNumLen, lbMinDigCount,
                                                           seMinDigCount, pnlAdvAON})
        widget->setVisible(russian);
    pnlAdvDTMF->setVisible(item == 3);
}

void TfrmRecSettings::cbDisEraseClick() {
    FModified = true;
}

void TfrmRecSettings::cbSimpleQualityClick() {
    const bool simple = cbSimpleQuality->isChecked();
    gbCompression->setVisible(!simple);
    gbBitRate->setVisible(!simple);
    gbQuality->setVisible(simple);
}

void TfrmRecSettings::cbSimpleVasClick() {
    const bool simple = cbSimpleVas->isChecked();
    cbVasPreset->setVisible(simple);
    lbSensibility->setVisible(simple);
    for (QWidget* widget :
         std::initializer_list<QWidget*>{edOffVol, updnOffVol, edOffTime, updnOffTime, lbVasLevel,
                                         lbVasTime, lbVasDb, lbVasSec})
        widget->setVisible(!simple);
}

void TfrmRecSettings::cbSimpleAmpClick() {
    const bool simple = cbSimpleAmp->isChecked();
    for (QWidget* widget :
         std::initializer_list<QWidget*>{lbFAR, lbFRR, lbSAR, lbSRR, cbAGC, edFAR, edFRR, edSAR,
                                         edSRR, updnFAR, updnFRR, updnSAR, updnSRR, btnAGCSet})
        widget->setVisible(!simple);
    lbAmpPreset->setVisible(simple);
    cbAmpPreset->setVisible(simple);
}

// --- Presets ----------------------------------------------------------------------------------

void TfrmRecSettings::ApplyPresetToScratch(const std::function<void(TRecProfile&)>& apply) {
    if (FFilling)
        return;
    // The scratch copy starts from the working copy, so that the profile shown (byte 308)
    // is the one the preset goes into.
    TRecSettings scratch = FSettings;
    ControlsToRecSettings(scratch);
    const std::size_t index =
        scratch.CurrentProfile < TRecSettings::ProfileCount ? scratch.CurrentProfile : 0;
    apply(scratch.Profiles[index]);
    RecSettingsToControls(scratch);
}

void TfrmRecSettings::cbQualityChange() {
    const int item = cbQuality->currentIndex();
    if (!FRecorder || item < 0 || item >= FRecorder->GetQualityPresets().Count())
        return;
    const TQualityPreset preset = FRecorder->GetQualityPresets()[item];
    ApplyPresetToScratch([&](TRecProfile& p) { ApplyQualityPreset(preset, p); });
}

void TfrmRecSettings::cbVasPresetChange() {
    const int item = cbVasPreset->currentIndex();
    if (!FRecorder || item < 0 || item >= FRecorder->GetVasPresets().Count())
        return;
    const TVasPreset preset = FRecorder->GetVasPresets()[item];
    ApplyPresetToScratch([&](TRecProfile& p) { ApplyVasPreset(preset, p); });
}

void TfrmRecSettings::cbAmpPresetChange() {
    const int item = cbAmpPreset->currentIndex();
    if (!FRecorder || item < 0 || item >= FRecorder->GetAmpPresets().Count())
        return;
    const TAmpPreset preset = FRecorder->GetAmpPresets()[item];
    ApplyPresetToScratch([&](TRecProfile& p) { ApplyAmpPreset(preset, p); });
}

// --- File-name mask and folder ----------------------------------------------------------------

void TfrmRecSettings::cbFNMaskChange() {
    const QString mask = cbFNMask->currentText();
    lbExRes->setText(Lang("ExampResStr") + " " + (FMaskExpander ? FMaskExpander(mask) : mask));
}

void TfrmRecSettings::btnBrowseClick() {
    if (!FPrompts.Folder)
        return;
    const QString folder = FPrompts.Folder(Lang("SelectDefFolderStr"), edDefFolder->text());
    if (!folder.isEmpty())
        edDefFolder->setText(folder);
}

// --- Password ---------------------------------------------------------------------------------

void TfrmRecSettings::edPasswordEnter() {
    edPassword->selectAll();
}

void TfrmRecSettings::edPasswordExit() {
    const QString text = edPassword->text();
    if (text == PasswordMask)
        return;
    FPendingPassword = text;
    QString old;
    if (FRecorder) {
        const std::optional<std::string> stored = PasswordFromField(FRecorder->Settings().Password);
        old = stored ? QString::fromStdString(*stored) : QString();
    }
    FPasswordChanged = FPendingPassword != old;
    FModified = true;
    if (!text.isEmpty())
        edPassword->setText(PasswordMask);
}

// --- Once timer -------------------------------------------------------------------------------

void TfrmRecSettings::dtpOnceTmrDateOnEnter() {
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 startDays = now.date().daysTo(dtpOnceTmrDateOn->date());
    if (startDays < 0 || startDays >= 7) {
        dtpOnceTmrDateOn->setDate(now.date());
        dtpOnceTmrTimeOn->setTime(now.time());
    }
    const qint64 stopDays = dtpOnceTmrDateOn->date().daysTo(dtpOnceTmrDateOff->date());
    if (stopDays < 0 || stopDays >= 7) {
        dtpOnceTmrDateOff->setDate(dtpOnceTmrDateOn->date());
        dtpOnceTmrTimeOff->setTime(dtpOnceTmrTimeOn->time());
    }
}

// --- Amplifier rate window --------------------------------------------------------------------

void TfrmRecSettings::btnAGCSetClick() {
    QDialog window(this, Qt::Tool);
    window.setObjectName("frmAGCRates");
    window.setWindowTitle(btnAGCSet->text());
    auto* layout = new QVBoxLayout(&window);
    QLayout* home = gbCodec->layout();
    const int homeIndex = home->indexOf(pnlRates);
    layout->addWidget(pnlRates);
    pnlRates->show();
    auto* ok = new QPushButton("OK", &window);
    ok->setObjectName("OKBtn");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, &window, &QDialog::accept);
    layout->addSpacing(10);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    window.adjustSize();
    window.move(geometry().center() - window.rect().center());
    KeepOnScreen(window);
    window.exec();
    // Back to the group, in its old place.
    pnlRates->setParent(gbCodec);
    if (auto* box = qobject_cast<QBoxLayout*>(home))
        box->insertWidget(homeIndex, pnlRates);
    pnlRates->show();
}

// --- Profile name balloon ---------------------------------------------------------------------

bool TfrmRecSettings::IsBalloonShowing() const {
    return FBalloon != nullptr;
}

bool TfrmRecSettings::ShowLatinOnlyBalloon() {
    if (FBalloon)
        return false;
    auto* balloon = new QLabel(Lang("LatinSymOnlyStr"), this, Qt::ToolTip);
    balloon->setObjectName("LatinOnlyBalloon");
    balloon->setStyleSheet("QLabel { background: #ffffe1; color: black; border: 1px solid "
                           "#767676; padding: 4px; }");
    balloon->adjustSize();
    balloon->move(edProfileName->mapToGlobal(QPoint(10, edProfileName->height() + 3)));
    balloon->show();
    FBalloon = balloon;
    Timer1->start();
    return true;
}

void TfrmRecSettings::HideLatinOnlyBalloon() {
    Timer1->stop();
    if (FBalloon) {
        FBalloon->deleteLater();
        FBalloon = nullptr;
    }
}

bool TfrmRecSettings::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edProfileName) {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            HideLatinOnlyBalloon();
            const QString text = key->text();
            if (!text.isEmpty() && text.at(0).unicode() > 0x7E) {
                ShowLatinOnlyBalloon();
                return true; // the character is discarded
            }
        } else if (event->type() == QEvent::FocusOut) {
            HideLatinOnlyBalloon();
        }
    } else if (watched == edPassword) {
        if (event->type() == QEvent::FocusIn)
            QTimer::singleShot(0, edPassword, [this] { edPasswordEnter(); });
        else if (event->type() == QEvent::FocusOut)
            edPasswordExit();
    } else if (watched == dtpOnceTmrDateOn && event->type() == QEvent::FocusIn) {
        dtpOnceTmrDateOnEnter();
    }
    return TCustomRecSettingsForm::eventFilter(watched, event);
}

// --- Hidden page ------------------------------------------------------------------------------

void TfrmRecSettings::SetHiddenTabVisible(bool visible) {
    SetPageShown(tsHidden, visible);
}

bool TfrmRecSettings::IsPageShown(const QWidget* page) const {
    return pcSettings->indexOf(page) >= 0;
}

// A tab that is only made invisible is still reached by Ctrl+Tab, so a page out of view is
// taken out of the tab widget. Meanwhile its caption waits in the page's "Caption" property,
// where a language switch translates it, and it goes back in at its place among the pages.
void TfrmRecSettings::SetPageShown(QWidget* page, bool shown) {
    const int index = pcSettings->indexOf(page);
    if (shown == (index >= 0))
        return;
    if (!shown) {
        page->setProperty("Caption", pcSettings->tabText(index));
        pcSettings->removeTab(index);
        return;
    }
    int at = 0;
    for (QWidget* other : FPages) {
        if (other == page)
            break;
        if (IsPageShown(other))
            ++at;
    }
    pcSettings->insertTab(at, page, page->property("Caption").toString());
}

void TfrmRecSettings::DealerSwitchClick() {
    cbDisableEditor->setEnabled(!cbHideEditor->isChecked());
    cbDisableFlash->setEnabled(!cbHideFlash->isChecked());
    gbFileMask->setVisible(!cbHideMaskEdit->isChecked());
    gbSplitting->setVisible(!cbHideSplitting->isChecked());
    SetPageShown(tsExpert, !cbHideExpert->isChecked());
    cbHideAdvExpert->setEnabled(!cbHideExpert->isChecked());
    gbAdvancedAON->setVisible(!cbHideAdvExpert->isChecked());
    if (cbHideSorvane->isChecked())
        cbSorvane->setChecked(false);
    cbSorvane->setVisible(!cbHideSorvane->isChecked());
    gbCodec->setVisible(!cbHideAmpSettings->isChecked());
    emit MainWindowSwitchesChanged(cbHideEditor->isChecked(), cbDisableEditor->isChecked(),
                                   cbDisableFlash->isChecked(), cbHideFlash->isChecked());
}
