// Between the settings record and the controls. The record holds the device's raw bytes; every
// conversion to a shown value and back is here.
#include <cmath>
#include <cstdlib>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimeEdit>

#include "controls/MySpin.h"
#include "engine/RecClasses.h"
#include "i18n/VexaLang.h"
#include "i18n/VexaLangText.h"
#include "settings/PositionUpDown.h"
#include "settings/RecSettings.h"
#include "widgets/Mainutils.h"
#include "widgets/ProgramOptions.h"

namespace {

// Detection items of cbDetectType.
constexpr int DetectDisabled = 0;
constexpr int DetectRussian = 1;
constexpr int DetectFsk = 2;
constexpr int DetectDtmf = 3;

// Sample-rate codes of the rate buttons.
constexpr std::uint8_t Rate40000 = 0;
constexpr std::uint8_t Rate20000 = 1;
constexpr std::uint8_t Rate13333 = 2;
constexpr std::uint8_t Rate8000 = 3;
constexpr std::uint8_t Rate4000 = 4;
constexpr std::uint8_t Rate16000 = 5;

std::size_t ShownProfileIndex(const TRecSettings& settings) {
    // A profile index out of range (from a damaged file) must not reach past the record.
    return settings.CurrentProfile < TRecSettings::ProfileCount ? settings.CurrentProfile : 0;
}

// A control's value as the stored byte: integer part, toward zero, within 0..255.
std::uint8_t ToByte(double value) {
    const double whole = std::trunc(value);
    if (whole <= 0)
        return 0;
    if (whole >= 255)
        return 255;
    return static_cast<std::uint8_t>(whole);
}

// A spin edit's value as the user sees it once the edit is left: typed text that is no
// number, or lies outside the edit's range, is written back clamped first, so the record
// never holds what the edit would not show.
double Committed(TMySpinEdit* spin) {
    return spin->CommitValue();
}

int CommittedInt(TMySpinEdit* spin) {
    return static_cast<int>(std::trunc(Committed(spin)));
}

// The picker's date, or today when the stored bytes form no date the recorder's clock can
// reach.
QDate StoredDate(int year, int month, int day) {
    const QDate date(year, month, day);
    const bool onTheClock = date.isValid() && date >= TfrmRecSettings::EarliestTimerDate() &&
                            date <= TfrmRecSettings::LatestTimerDate();
    return onTheClock ? date : QDate::currentDate();
}

QTime StoredTime(int hour, int minute) {
    const QTime time(hour, minute, 0);
    return time.isValid() ? time : QTime::currentTime();
}

QString FixedDb(double value, int decimals) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', decimals) + " dB";
}

} // namespace

void TfrmRecSettings::SetDetectItems(bool aonOnly) {
    if (!aonOnly)
        return;
    const int index = cbDetectType->currentIndex();
    while (cbDetectType->count() > DetectFsk)
        cbDetectType->removeItem(cbDetectType->count() - 1);
    if (index < 0 || index >= DetectFsk)
        cbDetectType->setCurrentIndex(0);
}

void TfrmRecSettings::RecSettingsToControls(const TRecSettings& settings) {
    FFilling = true;
    const QSignalBlocker blockDetect(cbDetectType);
    const QSignalBlocker blockQuality(cbQuality);
    const QSignalBlocker blockVas(cbVasPreset);
    const QSignalBlocker blockAmp(cbAmpPreset);

    cbDetectType->clear();
    cbDetectType->addItems(
        {Lang("CIDDisabledStr"), Lang("AONStr"), Lang("FSKCIDStr"), Lang("DTMFCIDStr")});
    cbDetectType->setCurrentIndex(0);
    cbDetectTypeChange();

    const TRecProfile& p = settings.Profiles[ShownProfileIndex(settings)];
    edProfileName->setMaxLength(TRecProfile::NameSize);
    std::size_t nameLength = 0;
    while (nameLength < TRecProfile::NameSize && p.Name[nameLength] != 0)
        ++nameLength;
    edProfileName->setText(QString::fromLatin1(reinterpret_cast<const char*>(p.Name.data()),
                                               static_cast<int>(nameLength)));

    cbScale->setCurrentIndex(cbScale->count() - 1);
    unsigned divisor = 1;
    if (p.Compress == 1) {
        rbuLaw->setChecked(true);
        cbScale->setCurrentIndex(p.CompressParam < cbScale->count() ? p.CompressParam : -1);
        divisor = 2;
    } else if (p.Compress == 2) {
        if (p.CompressParam == 1) {
            rbADPCM2->setChecked(true);
            divisor = 8;
        } else {
            rbADPCM4->setChecked(true);
            divisor = 4;
        }
    } else {
        rbNoCompress->setChecked(true);
    }

    switch (p.SampleRate) {
    case Rate40000:
        rbSR40000->setChecked(true);
        break;
    case Rate20000:
        rbSR20000->setChecked(true);
        break;
    case Rate13333:
        rbSR13333->setChecked(true);
        break;
    case Rate8000:
        rbSR08000->setChecked(true);
        break;
    case Rate16000: {
        // No button shows 16000 Hz: none is checked, so the stored code is kept.
        FRateGroup->setExclusive(false);
        for (QRadioButton* rb : {rbSR40000, rbSR20000, rbSR13333, rbSR08000, rbSR04000})
            rb->setChecked(false);
        FRateGroup->setExclusive(true);
        break;
    }
    default:
        rbSR04000->setChecked(true);
        break;
    }
    rbCompressClick();
    RefreshMinRecTime(p, divisor);
    FillPresetCombos(p);

    cbCyclicRec->setChecked(p.CyclicRecord != 0);
    rxseCycleLen->SetValue(p.CycleBufSize);
    cbCyclicRecClick();

    cbVAS->setChecked(p.Vas == 1);
    updnOffVol->setValue(p.VasLevel);
    updnOffTime->setValue(p.VasTime);
    cbVASClick();

    const bool doublePress = settings.KeyPressType != 0;
    rbDouble->setChecked(doublePress);
    rbSingle->setChecked(!doublePress);
    cbAntialias->setChecked(settings.AntialiasFilter != 0);
    cbAccessLevel->setCurrentIndex(
        settings.AccessLevel >= 1 && settings.AccessLevel <= 3 ? settings.AccessLevel - 1 : -1);

    const int timerItem = p.TimerType == 0xFF ? 0 : p.TimerType;
    cbTimerType->setCurrentIndex(timerItem < cbTimerType->count() ? timerItem : -1);
    cbTimerTypeChange();

    dtpOnceTmrDateOn->setDate(StoredDate(p.TimerStartYear, p.TimerStartMonth, p.TimerStartDay));
    dtpOnceTmrTimeOn->setTime(StoredTime(p.TimerStartHour, p.TimerStartMin));
    dtpOnceTmrDateOff->setDate(StoredDate(p.TimerStopYear, p.TimerStopMonth, p.TimerStopDay));
    dtpOnceTmrTimeOff->setTime(StoredTime(p.TimerStopHour, p.TimerStopMin));
    if (std::abs(QDate::currentDate().daysTo(dtpOnceTmrDateOn->date())) > 6)
        dtpOnceTmrDateOn->setDate(QDate::currentDate());

    updnGain->setValue(static_cast<int>(p.PgacGain) - 2);
    cbAGC->setChecked(p.PgacMode == 0);
    updnFAR->setValue(p.PgacFastAttack);
    updnFRR->setValue(p.PgacFastRelease);
    updnSAR->setValue(p.PgacSlowAttack);
    updnSRR->setValue(p.PgacSlowRelease);
    cbAGCClick();
    UpdateAmpTexts();

    rxseSearchStep->SetValue(settings.SearchStep);

    ReadLineParams(settings);

    SetDetectItems(cbAonOnly->isChecked());
    cbDetectTypeChange();
    FFilling = false;
}

void TfrmRecSettings::ReadLineParams(const TRecSettings& settings) {
    for (const TLineParamPair& pair : settings.LineParams) {
        const std::uint8_t v = pair.Value;
        switch (pair.Tag) {
        case LineTagAnswerAndCallerId: {
            cbAutoAnswer->setChecked((v & 0x08) != 0);
            int item = DetectDisabled;
            switch (v & 0x07) {
            case 1:
                item = DetectDtmf;
                break;
            case 2:
                item = DetectFsk;
                break;
            case 4:
                item = DetectRussian;
                break;
            default:
                break;
            }
            cbDetectType->setCurrentIndex(item);
            cbDetectTypeChange();
            break;
        }
        case LineTagRingVoltage:
            seRingVoltage->SetValue(v);
            break;
        case LineTagBusyVoltage:
            seBusyVoltage->SetValue(v);
            break;
        case LineTagNumberLength:
            seNumLen->SetValue(v);
            break;
        case LineTagRingsBeforeAnswer:
            seSkipRings->SetValue(v);
            break;
        case LineTagFirstRequestDelay:
            seFirstReqDelay->SetValue((100.0 - v) * 10);
            break;
        case LineTagRequestDuration:
            seReqDur->SetValue(v * 2.0);
            break;
        case LineTagRequestFormAndCount:
            cbReqForms->setCurrentIndex(v >> 3);
            seReqCount->SetValue(v & 0x07);
            break;
        case LineTagRequestAmplitude:
            seReqAmp->SetValue(v * -6.0);
            break;
        case LineTagMinDigits:
            seMinDigCount->SetValue(v);
            break;
        case LineTagNextRequestDelay:
            seNextReqDelay->SetValue((100.0 - v) * 10);
            break;
        case LineTagDtmfVoltage:
            seDTMFVoltage->SetValue(v * 12.0);
            break;
        case LineTagDialDelay:
            seDialDelay->SetValue(v);
            break;
        default:
            break; // unknown tags are skipped
        }
    }
}

void TfrmRecSettings::ControlsToRecSettings(TRecSettings& settings) {
    const std::size_t index = ShownProfileIndex(settings);
    TRecProfile p = settings.Profiles[index];

    const QByteArray name = edProfileName->text().toLatin1().left(TRecProfile::NameSize);
    p.Name.fill(0);
    for (int i = 0; i < name.size(); ++i)
        p.Name[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(name[i]);

    if (rbSR04000->isChecked())
        p.SampleRate = Rate4000;
    else if (rbSR08000->isChecked())
        p.SampleRate = Rate8000;
    else if (rbSR13333->isChecked())
        p.SampleRate = Rate13333;
    else if (rbSR20000->isChecked())
        p.SampleRate = Rate20000;
    else if (rbSR40000->isChecked())
        p.SampleRate = Rate40000;

    if (rbNoCompress->isChecked()) {
        p.Compress = 0;
        p.CompressParam = 0;
    } else if (rbADPCM2->isChecked()) {
        p.Compress = 2;
        p.CompressParam = 1;
    } else if (rbADPCM4->isChecked()) {
        p.Compress = 2;
        p.CompressParam = 2;
    } else if (rbuLaw->isChecked()) {
        p.Compress = 1;
        // With no scale selected the stored index stays.
        if (cbScale->currentIndex() >= 0)
            p.CompressParam = static_cast<std::uint8_t>(cbScale->currentIndex());
    }

    // Any non-zero byte is on: an "on" byte the user left on stays as it was (a new image
    // holds 1), so that showing a profile never changes it.
    if (!cbCyclicRec->isChecked())
        p.CyclicRecord = 0;
    else if (p.CyclicRecord == 0)
        p.CyclicRecord = 0xFF;
    p.CycleBufSize = ToByte(Committed(rxseCycleLen));

    p.Vas = cbVAS->isChecked() ? 1 : 0;
    p.VasLevel = static_cast<std::int8_t>(updnOffVol->value());
    p.VasTime = static_cast<std::uint8_t>(updnOffTime->value());

    settings.AccessLevel = static_cast<std::uint8_t>(cbAccessLevel->currentIndex() + 1);
    settings.KeyPressType = rbDouble->isChecked() ? 1 : 0;
    settings.AntialiasFilter = cbAntialias->isChecked() ? 1 : 0;

    const int timerItem = cbTimerType->currentIndex();
    p.TimerType = timerItem > 0 ? static_cast<std::uint8_t>(timerItem) : 0xFF;

    const QDate startDate = dtpOnceTmrDateOn->date();
    const QTime startTime = dtpOnceTmrTimeOn->time();
    p.TimerStartYear = static_cast<std::uint16_t>(startDate.year());
    p.TimerStartMonth = static_cast<std::uint8_t>(startDate.month());
    p.TimerStartDay = static_cast<std::uint8_t>(startDate.day());
    p.TimerStartHour = static_cast<std::uint8_t>(startTime.hour());
    p.TimerStartMin = static_cast<std::uint8_t>(startTime.minute());
    const QDate stopDate = dtpOnceTmrDateOff->date();
    const QTime stopTime = dtpOnceTmrTimeOff->time();
    p.TimerStopYear = static_cast<std::uint16_t>(stopDate.year());
    p.TimerStopMonth = static_cast<std::uint8_t>(stopDate.month());
    p.TimerStopDay = static_cast<std::uint8_t>(stopDate.day());
    p.TimerStopHour = static_cast<std::uint8_t>(stopTime.hour());
    p.TimerStopMin = static_cast<std::uint8_t>(stopTime.minute());

    p.PgacGain = static_cast<std::uint8_t>((updnGain->value() & 0xFF) + 2);
    p.PgacMode = cbAGC->isChecked() ? 0 : 0xFF;
    p.PgacFastAttack = static_cast<std::uint8_t>(updnFAR->value());
    p.PgacFastRelease = static_cast<std::uint8_t>(updnFRR->value());
    p.PgacSlowAttack = static_cast<std::uint8_t>(updnSAR->value());
    p.PgacSlowRelease = static_cast<std::uint8_t>(updnSRR->value());

    settings.SearchStep = ToByte(Committed(rxseSearchStep));

    WriteLineParams(settings);
    settings.Profiles[index] = p;
}

void TfrmRecSettings::WriteLineParams(TRecSettings& settings) {
    std::uint8_t answer = cbAutoAnswer->isChecked() ? 0x08 : 0;
    const bool aonOnly = cbAonOnly->isChecked();
    switch (cbDetectType->currentIndex()) {
    case DetectRussian:
        answer |= 0x04;
        break;
    case DetectFsk:
        answer |= aonOnly ? 0x04 : 0x02;
        break;
    case DetectDtmf:
        answer |= aonOnly ? 0x04 : 0x01;
        break;
    default:
        break;
    }
    // Divisions rather than products with 0.1 or 1/12, so that exact values stay exact
    // (300 x 0.1 is a hair above 30 and would store 69 for 300 ms).
    const double firstDelay = 100.0 - Committed(seFirstReqDelay) / 10.0;
    const double nextDelay = 100.0 - Committed(seNextReqDelay) / 10.0;
    const int formAndCount = cbReqForms->currentIndex() * 8 | (CommittedInt(seReqCount) & 0x07);
    const std::array<TLineParamPair, TRecSettings::PairCount> pairs = {{
        {LineTagAnswerAndCallerId, answer},
        {LineTagRingVoltage, ToByte(Committed(seRingVoltage))},
        {LineTagBusyVoltage, ToByte(Committed(seBusyVoltage))},
        {LineTagNumberLength, ToByte(Committed(seNumLen))},
        {LineTagRingsBeforeAnswer, ToByte(Committed(seSkipRings))},
        {LineTagFirstRequestDelay, ToByte(firstDelay)},
        {LineTagRequestDuration, ToByte(Committed(seReqDur) / 2.0)},
        {LineTagRequestFormAndCount, ToByte(formAndCount)},
        {LineTagRequestAmplitude, ToByte(Committed(seReqAmp) / -6.0)},
        {LineTagMinDigits, ToByte(Committed(seMinDigCount))},
        {LineTagNextRequestDelay, ToByte(nextDelay)},
        {LineTagDtmfVoltage, ToByte(Committed(seDTMFVoltage) / 12.0)},
        {LineTagDialDelay, ToByte(Committed(seDialDelay))},
    }};
    settings.LineParams = pairs;
}

void TfrmRecSettings::RefreshMinRecTime(const TRecProfile& profile, unsigned divisor) {
    std::uint64_t seconds = 0;
    // The free-block list belongs to a running scan until the state reads idle again. The
    // status panel shows the same figure for the recorder's current profile.
    if (FRecorder && FRecorder->GetState() == StateIdle)
        seconds = FRecorder->MinRecordTimeOf(profile);
    const QString time = SecToTimeStr(static_cast<std::uint32_t>(seconds & 0xFFFFFFFFu));
    const std::uint32_t bitRate = RateCodeToHz(profile.SampleRate) * 2 / divisor;
    lbMinRecTime->setText(Lang("MinRecordTimeStr") + " " + time + "; " + Lang("BitRateStr") + " " +
                          QString::number(bitRate) + "; " + Lang("CpRatioStr") + "1/" +
                          QString::number(divisor));
}

void TfrmRecSettings::FillPresetCombos(const TRecProfile& profile) {
    cbQuality->clear();
    cbVasPreset->clear();
    cbAmpPreset->clear();
    if (!FRecorder)
        return;
    for (const TQualityPreset& preset : FRecorder->GetQualityPresets())
        cbQuality->addItem(QString::fromStdString(preset.Name));
    cbQuality->setCurrentIndex(FRecorder->FindQualityPreset(profile));
    for (const TAmpPreset& preset : FRecorder->GetAmpPresets())
        cbAmpPreset->addItem(QString::fromStdString(preset.Name));
    cbAmpPreset->setCurrentIndex(FRecorder->FindAmpPreset(profile));
    for (const TVasPreset& preset : FRecorder->GetVasPresets())
        cbVasPreset->addItem(QString::fromStdString(preset.Name));
    cbVasPreset->setCurrentIndex(FRecorder->FindVasPreset(profile));
}

void TfrmRecSettings::UpdateAmpTexts() {
    edGain->setText(FixedDb((updnGain->value() + 2) * 0.5 - 1, 1));
    edFAR->setText(FixedDb(std::ldexp(2.44140625, updnFAR->value()), 2));
    edFRR->setText(FixedDb(std::ldexp(2.44140625, updnFRR->value()), 2));
    edSAR->setText(FixedDb(std::ldexp(2.44140625, updnSAR->value()), 2));
    edSRR->setText(FixedDb(std::ldexp(2.44140625, updnSRR->value()), 2));
    edOffVol->setText(QString::number(updnOffVol->value()));
    edOffTime->setText(QString::number(updnOffTime->value()));
}

void TfrmRecSettings::LoadProgramOptions(const TProgramOptions& options) {
    cbHideSplitting->setChecked(options.HideSplitting);
    cbHideMaskEdit->setChecked(options.HideMaskEdit);
    cbSimpleVas->setChecked(options.SimpleVasSetup);
    cbSimpleQuality->setChecked(options.SimpleQualitySetup);
    cbSimpleAmp->setChecked(options.SimpleAmpSetup);
    cbDisableFlash->setChecked(options.DisableFlashDrive);
    cbHideFlash->setChecked(options.HideFlashDrive);
    cbDisableEditor->setChecked(options.DisableEditor);
    cbHideEditor->setChecked(options.HideEditor);
    cbShowParts->setChecked(options.ShowVoiceParts);
    cbSkipSilence->setChecked(options.SkipSilence);
    cbAutoDel->setChecked(options.AutoDelete);
    cbNonDownOnly->setChecked(options.NonDownOnly);
    cbAutoDownload->setChecked(options.AutoDownload);
    cbSync->setChecked(options.SyncTime);
    // What splitting is in effect: 0 (or less) splits nothing and shows "no limit"; a size
    // above the edit's range, written by hand, is shown as it is.
    rxsePartSize->SetMaxValue(
        std::max(static_cast<double>(MaxPartSizeMb), static_cast<double>(options.MaxOutputSize)));
    rxsePartSize->SetValue(static_cast<double>(std::max<std::int64_t>(options.MaxOutputSize, 0)));
    FLoadedMaxOutputSize = options.MaxOutputSize;
    FLoadedPartSize = rxsePartSize->Value();
    cbFNMask->setEditText(options.FileNameMask);
    edDefFolder->setText(options.DefFolder);
    {
        // Loading the options is no change of the user's.
        const QSignalBlocker blocker(cbDisErase);
        cbDisErase->setChecked(options.NonSavedEraseDisable);
    }
    cbHideExpert->setChecked(options.HideExpert);
    cbHideAdvExpert->setChecked(options.HideAdvExpert);
    cbAonOnly->setChecked(options.AonOnly);
    cbSorvane->setChecked(options.SorvaneFormat);
    cbHideSorvane->setChecked(options.HideSorvaneFormat);
    cbHideAmpSettings->setChecked(options.HideAmpSettings);
    cbFNMaskChange();
}

bool TfrmRecSettings::SaveProgramOptions(TProgramOptions& options) {
    const bool showPartsChanged = cbShowParts->isChecked() != options.ShowVoiceParts;
    options.HideSplitting = cbHideSplitting->isChecked();
    options.HideMaskEdit = cbHideMaskEdit->isChecked();
    options.SimpleVasSetup = cbSimpleVas->isChecked();
    options.SimpleQualitySetup = cbSimpleQuality->isChecked();
    options.SimpleAmpSetup = cbSimpleAmp->isChecked();
    options.DisableFlashDrive = cbDisableFlash->isChecked();
    options.HideFlashDrive = cbHideFlash->isChecked();
    options.DisableEditor = cbDisableEditor->isChecked();
    options.HideEditor = cbHideEditor->isChecked();
    options.ShowVoiceParts = cbShowParts->isChecked();
    options.SkipSilence = cbSkipSilence->isChecked();
    options.AutoDelete = cbAutoDel->isChecked();
    options.NonDownOnly = cbNonDownOnly->isChecked();
    options.AutoDownload = cbAutoDownload->isChecked();
    options.SyncTime = cbSync->isChecked();
    // A size the edit shows differently (below 0 as "no limit") stays as it was unless the
    // user picked another.
    const double partSize = rxsePartSize->CommitValue();
    options.MaxOutputSize = partSize == FLoadedPartSize
                                ? FLoadedMaxOutputSize
                                : static_cast<std::int64_t>(std::trunc(partSize));
    FLoadedMaxOutputSize = options.MaxOutputSize;
    FLoadedPartSize = partSize;
    options.FileNameMask = cbFNMask->currentText();
    options.DefFolder = edDefFolder->text();
    options.NonSavedEraseDisable = cbDisErase->isChecked();
    options.HideExpert = cbHideExpert->isChecked();
    options.HideAdvExpert = cbHideAdvExpert->isChecked();
    options.AonOnly = cbAonOnly->isChecked();
    options.SorvaneFormat = cbSorvane->isChecked();
    options.HideSorvaneFormat = cbHideSorvane->isChecked();
    options.HideAmpSettings = cbHideAmpSettings->isChecked();
    return showPartsChanged;
}
