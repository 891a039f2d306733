// What the dialog does with its working copy: store and restore, the password, closing,
// profile tabs, presets, enabling rules, dealer switches and the program options.
#include <gtest/gtest.h>
#include <string>
#include <utility>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "controls/MySpin.h"
#include "i18n/VexaLang.h"
#include "i18n/VexaLangText.h"
#include "settings/PositionUpDown.h"
#include "tests/settings/FixtureRecorder.h"
#include "widgets/MsgBox.h"
#include "widgets/ProgramOptions.h"

namespace {

class SettingsDialog : public ::testing::Test {
protected:
    void SetUp() override { F.Load(TSettingsDialogFixture::SampleSettings()); }

    // Types a password into the edit and leaves it, as a user would.
    void EnterPassword(const QString& text) {
        F.Dialog->edPassword->setText(text);
        F.Dialog->edPasswordExit();
    }
    std::string DevicePassword() const {
        const std::optional<std::string> p = PasswordFromField(FakeDevice().Password);
        return p ? *p : std::string("<invalid>");
    }
    bool Said(const char* constant) const {
        return std::find(F.Messages.begin(), F.Messages.end(), Lang(constant)) != F.Messages.end();
    }

    TSettingsDialogFixture F;
};

TEST_F(SettingsDialog, StoreWritesTheEditedProfileToTheDeviceAndRestores) {
    F.Dialog->edProfileName->setText("Office");
    F.Dialog->rbuLaw->setChecked(true);
    F.Dialog->cbScale->setCurrentIndex(2);
    F.Dialog->updnOffVol->setValue(-20);
    F.Dialog->actStoreExecute();

    EXPECT_EQ(F.PasswordPrompts, 0); // the password did not change
    EXPECT_TRUE(Said("SettingsAppliedStr"));
    const TRecProfile& device = FakeDevice().Profiles[0];
    EXPECT_EQ(std::string(device.Name.begin(), device.Name.begin() + 6), "Office");
    EXPECT_EQ(device.Compress, 1);
    EXPECT_EQ(device.CompressParam, 2);
    EXPECT_EQ(device.VasLevel, 20); // negated on the wire
    EXPECT_EQ(F.Recorder->Settings().Profiles[0].VasLevel, -20);
    EXPECT_EQ(F.Dialog->WorkingCopy().ToBytes(), F.Recorder->Settings().ToBytes());
    EXPECT_FALSE(F.Dialog->IsModified());
}

TEST_F(SettingsDialog, ConfirmedPasswordIsStored) {
    EnterPassword("secret7");
    EXPECT_EQ(F.Dialog->edPassword->text(), TfrmRecSettings::PasswordMask);
    EXPECT_TRUE(F.Dialog->IsPasswordChanged());
    EXPECT_TRUE(F.Dialog->IsModified());
    F.PasswordAnswers = {QString("secret7")};
    F.Dialog->actStoreExecute();
    EXPECT_EQ(F.PasswordPrompts, 1);
    EXPECT_EQ(DevicePassword(), "secret7");
    EXPECT_FALSE(F.Dialog->IsPasswordChanged());
    // Leaving the edit again with the mask in it changes nothing.
    F.Dialog->edPasswordExit();
    EXPECT_FALSE(F.Dialog->IsPasswordChanged());
}

TEST_F(SettingsDialog, PasswordMismatchOrCancelKeepsTheOldPassword) {
    struct TCase {
        const char* Name;
        std::optional<QString> Answer;
        const char* Message;
    };
    for (const TCase& c : {TCase{"Mismatch", QString("other"), "ValuesNotEqualStr"},
                           TCase{"Cancel", std::nullopt, "PwdNotChangedStr"}}) {
        SCOPED_TRACE(c.Name);
        F.Messages.clear();
        EnterPassword("abc");
        F.PasswordAnswers = {c.Answer};
        F.Dialog->actStoreExecute();
        EXPECT_TRUE(Said(c.Message));
        EXPECT_TRUE(Said("SettingsAppliedStr")); // the rest is stored all the same
        EXPECT_EQ(DevicePassword(), "");
    }
}

TEST_F(SettingsDialog, PasswordOutsidePrintableAsciiIsRefusedAndTheRestStored) {
    EnterPassword(QString::fromUtf8("пароль"));
    F.PasswordAnswers = {QString::fromUtf8("пароль")};
    F.Dialog->edProfileName->setText("Stored");
    F.Dialog->actStoreExecute();
    EXPECT_TRUE(Said("PwdNotChangedStr"));
    EXPECT_TRUE(Said("SettingsAppliedStr"));
    EXPECT_EQ(FakeDevice().Password, NoPasswordBlock);
    EXPECT_EQ(FakeDevice().Profiles[0].Name[0], 'S');
}

TEST_F(SettingsDialog, ClearedPasswordConfirmedEmptyStoresTheNoPasswordBlock) {
    EnterPassword("abc");
    F.PasswordAnswers = {QString("abc")};
    F.Dialog->actStoreExecute();
    ASSERT_EQ(DevicePassword(), "abc");
    EXPECT_EQ(F.Dialog->edPassword->text(), TfrmRecSettings::PasswordMask);

    EnterPassword("");
    EXPECT_TRUE(F.Dialog->IsPasswordChanged());
    F.PasswordAnswers = {QString("")};
    F.Dialog->actStoreExecute();
    EXPECT_EQ(FakeDevice().Password, NoPasswordBlock);
    EXPECT_EQ(F.Dialog->edPassword->text(), "");
}

TEST_F(SettingsDialog, PasswordEditTakesSevenCharacters) {
    EXPECT_EQ(F.Dialog->edPassword->maxLength(), 7);
    F.Dialog->edPassword->setText("123456789");
    EXPECT_EQ(F.Dialog->edPassword->text(), "1234567");
}

TEST_F(SettingsDialog, FailedDeviceStoreShowsTheErrorAndKeepsTheFlags) {
    EnterPassword("abc");
    F.PasswordAnswers = {QString("abc")};
    FakeDevice().FailCommand = CmdProf;
    F.Dialog->actStoreExecute();
    EXPECT_FALSE(Said("SettingsAppliedStr"));
    ASSERT_FALSE(F.Messages.empty());
    EXPECT_TRUE(F.Messages.back().contains("Time-out")) << F.Messages.back().toStdString();
    EXPECT_TRUE(F.Dialog->IsModified());
}

TEST_F(SettingsDialog, AStoreFailingPartWayLeavesWhatTheRecorderHoldsAndTheChangesAsked) {
    F.Recorder->StoreSettings(); // the device holds the sample record
    F.Dialog->actRestoreExecute();
    const TRecSettings stored = F.Recorder->Settings();
    F.Dialog->edProfileName->setText("First");
    F.Dialog->tcRecSet->setCurrentIndex(5);
    F.Dialog->edProfileName->setText("Sixth");
    // Profiles 1 to 3 reach the recorder, the fourth times out; the read-back works.
    FakeDevice().FailCommand = CmdProf;
    FakeDevice().FailAfter = 3;
    FakeDevice().FailTimes = 1;
    F.Dialog->actStoreExecute();
    EXPECT_FALSE(Said("SettingsAppliedStr"));
    ASSERT_FALSE(F.Messages.empty());
    EXPECT_TRUE(F.Messages.back().contains("Time-out"));

    // The recorder object holds what the recorder holds: the first profile new, the sixth old.
    const TRecSettings& held = F.Recorder->Settings();
    EXPECT_EQ(std::string(held.Profiles[0].Name.begin(), held.Profiles[0].Name.begin() + 5),
              "First");
    EXPECT_EQ(held.Profiles[5], stored.Profiles[5]);
    for (std::size_t i = 0; i < TRecSettings::ProfileCount; ++i) {
        TRecProfile device = FakeDevice().Profiles[i];
        device.VasLevel = NegateVasLevel(device.VasLevel);
        device.Request = held.Profiles[i].Request;
        EXPECT_EQ(held.Profiles[i], device) << i;
    }

    // Closing asks, since the sixth profile was never stored.
    F.Messages.clear();
    F.MessageAnswers = {IDNO};
    F.Dialog->FormClose();
    EXPECT_TRUE(Said("SettingsNotSaved"));
    // Shown again, the dialog shows the recorder's values.
    F.Dialog->actRestoreExecute();
    F.Dialog->tcRecSet->setCurrentIndex(5);
    EXPECT_EQ(F.Dialog->edProfileName->text(), "Prof6");
}

TEST_F(SettingsDialog, AStoreToARecorderThatIsGoneLeavesTheRecordAsItWas) {
    const TRecSettings stored = F.Recorder->Settings();
    F.Dialog->edProfileName->setText("Unsent");
    FakeDevice().FailCommand = CmdActiveProf; // every exchange, the read-back too
    F.Dialog->actStoreExecute();
    EXPECT_EQ(F.Recorder->Settings(), stored);
    F.MessageAnswers = {IDNO};
    F.Messages.clear();
    F.Dialog->FormClose();
    EXPECT_TRUE(Said("SettingsNotSaved"));
    F.Dialog->actRestoreExecute();
    EXPECT_EQ(F.Dialog->edProfileName->text(), "Prof1");
}

TEST_F(SettingsDialog, StoreWhileTheRecorderIsBusyIsRefusedWithAMessage) {
    const TRecSettings before = F.Recorder->Settings();
    F.Recorder->SetState(StateIdle + 1);
    F.Dialog->edProfileName->setText("Busy");
    F.Dialog->actStoreExecute();
    F.Recorder->SetState(StateIdle);
    EXPECT_FALSE(Said("SettingsAppliedStr"));
    EXPECT_EQ(F.Recorder->Settings().ToBytes(), before.ToBytes());
    EXPECT_EQ(FakeDevice().StoreCount, 0);
}

TEST_F(SettingsDialog, SwitchingTabsKeepsTheEditsOfTheTabLeft) {
    F.Dialog->edProfileName->setText("First");
    F.Dialog->tcRecSet->setCurrentIndex(3);
    EXPECT_EQ(F.Dialog->edProfileName->text(), "Prof4");
    EXPECT_EQ(F.Dialog->WorkingCopy().CurrentProfile, 3);
    F.Dialog->tcRecSet->setCurrentIndex(0);
    EXPECT_EQ(F.Dialog->edProfileName->text(), "First");
}

TEST_F(SettingsDialog, ClosingAsksOnlyWhenTheBytesDiffer) {
    F.Dialog->tcRecSet->setCurrentIndex(5);
    F.Dialog->tcRecSet->setCurrentIndex(0);
    F.Dialog->FormClose();
    EXPECT_TRUE(F.Messages.empty());

    F.Dialog->cbAntialias->setChecked(false);
    F.MessageAnswers = {IDNO};
    F.Dialog->FormClose();
    ASSERT_EQ(F.Messages.size(), 1u);
    EXPECT_EQ(F.Messages[0], Lang("SettingsNotSaved"));
    EXPECT_EQ(FakeDevice().StoreCount, 0);

    F.MessageAnswers = {IDYES};
    F.Dialog->reject(); // the Close button
    EXPECT_EQ(FakeDevice().StoreCount, 1);
    EXPECT_EQ(F.Recorder->Settings().AntialiasFilter, 0);
}

TEST_F(SettingsDialog, RefreshOfTheRecorderReloadsTheControls) {
    FakeDevice().Profiles[0].Name = {'D', 'e', 'v', 0, 0, 0, 0, 0};
    F.Recorder->ReadSettings();
    F.Ui->RestoreSettings(); // what the recorder's Refresh ends with
    EXPECT_EQ(F.Dialog->edProfileName->text(), "Dev");
}

TEST_F(SettingsDialog, DetachedRecorderIsForgottenAndStoringWithoutItIsReported) {
    F.Recorder.reset();
    EXPECT_EQ(F.Dialog->Recorder(), nullptr);
    F.Dialog->actRestoreExecute();
    F.Dialog->FormClose();
    EXPECT_TRUE(F.Messages.empty());
    // Each action that needs the recorder says that it is gone, instead of doing nothing.
    F.NextFileName = "/tmp/never-written.rpr";
    F.MessageAnswers = {IDYES};
    for (const auto action :
         {&TfrmRecSettings::actStoreExecute, &TfrmRecSettings::actSaveToFileExecute,
          &TfrmRecSettings::actLoadFromFileExecute, &TfrmRecSettings::actDefSettingsExecute}) {
        F.Messages.clear();
        (F.Dialog.get()->*action)();
        EXPECT_EQ(F.Messages, std::vector<QString>{Lang("CantFindRecorderStr")});
    }
    EXPECT_EQ(F.PasswordPrompts, 0);
    EXPECT_FALSE(QFile::exists("/tmp/never-written.rpr"));
}

TEST_F(SettingsDialog, AdpcmMovesFastRatesTo8000AndDisablesThem) {
    F.Dialog->rbNoCompress->setChecked(true);
    F.Dialog->rbSR20000->setChecked(true);
    F.Dialog->rbCompressClick();
    ASSERT_TRUE(F.Dialog->rbSR20000->isEnabled());
    F.Dialog->rbADPCM4->setChecked(true);
    F.Dialog->rbCompressClick();
    EXPECT_TRUE(F.Dialog->rbSR08000->isChecked());
    for (QRadioButton* rb : {F.Dialog->rbSR13333, F.Dialog->rbSR20000, F.Dialog->rbSR40000})
        EXPECT_FALSE(rb->isEnabled()) << rb->objectName().toStdString();
    EXPECT_EQ(F.Dialog->WorkingCopy().Profiles[0].SampleRate, 3);
    EXPECT_TRUE(F.Dialog->lbMinRecTime->text().endsWith("1/4"));
}

TEST_F(SettingsDialog, PresetsWriteOnlyTheirBytesIntoTheShownProfile) {
    const TQualityPresetList& quality = F.Recorder->GetQualityPresets();
    const TAmpPresetList& amp = F.Recorder->GetAmpPresets();
    const TVasPresetList& vas = F.Recorder->GetVasPresets();
    ASSERT_GT(quality.Count(), 0);
    ASSERT_GT(amp.Count(), 0);
    ASSERT_GT(vas.Count(), 0);
    EXPECT_EQ(F.Dialog->cbQuality->count(), quality.Count());
    F.Dialog->edProfileName->setText("Kept");

    F.Dialog->cbQuality->setCurrentIndex(0);
    F.Dialog->cbQualityChange();
    F.Dialog->cbVasPreset->setCurrentIndex(0);
    F.Dialog->cbVasPresetChange();
    F.Dialog->cbAmpPreset->setCurrentIndex(0);
    F.Dialog->cbAmpPresetChange();

    TRecSettings s = F.Dialog->WorkingCopy();
    F.Dialog->ControlsToRecSettings(s);
    const TRecProfile& p = s.Profiles[0];
    EXPECT_EQ(p.Compress, quality[0].Compression);
    EXPECT_EQ(p.CompressParam, quality[0].CompressParam);
    EXPECT_EQ(p.SampleRate, quality[0].BitRate);
    EXPECT_EQ(p.VasLevel, vas[0].Level);
    EXPECT_EQ(p.VasTime, vas[0].Time);
    EXPECT_EQ(p.PgacMode, amp[0].Mode);
    EXPECT_EQ(p.PgacFastAttack, amp[0].FastAttack);
    EXPECT_EQ(p.PgacSlowRelease, amp[0].SlowRelease);
    EXPECT_EQ(std::string(p.Name.begin(), p.Name.begin() + 4), "Kept");
    EXPECT_EQ(F.Dialog->cbQuality->currentIndex(), 0);
}

TEST_F(SettingsDialog, AonOnlyLeavesTwoDetectionItems) {
    F.Dialog->cbAonOnly->setChecked(true);
    TRecSettings s = TSettingsDialogFixture::SampleSettings();
    for (TLineParamPair& pair : s.LineParams)
        if (pair.Tag == 0x7C)
            pair.Value = 0x02; // FSK, which the switch removes
    F.Load(s);
    EXPECT_EQ(F.Dialog->cbDetectType->count(), 2);
    EXPECT_EQ(F.Dialog->cbDetectType->currentIndex(), 0);
}

TEST_F(SettingsDialog, DealerSwitchesApplyAtOnce) {
    bool hideEditor = false, hideFlash = false;
    QObject::connect(F.Dialog.get(), &TfrmRecSettings::MainWindowSwitchesChanged,
                     [&](bool editor, bool, bool, bool flash) {
                         hideEditor = editor;
                         hideFlash = flash;
                     });
    F.Dialog->cbSorvane->setChecked(true);
    F.Dialog->cbHideSorvane->setChecked(true);
    EXPECT_FALSE(F.Dialog->cbSorvane->isChecked());
    EXPECT_TRUE(F.Dialog->cbSorvane->isHidden());

    F.Dialog->cbHideExpert->setChecked(true);
    EXPECT_FALSE(F.Dialog->IsPageShown(F.Dialog->tsExpert));
    EXPECT_FALSE(F.Dialog->cbHideAdvExpert->isEnabled());

    F.Dialog->cbHideMaskEdit->setChecked(true);
    F.Dialog->cbHideAmpSettings->setChecked(true);
    EXPECT_TRUE(F.Dialog->gbFileMask->isHidden());
    EXPECT_TRUE(F.Dialog->gbCodec->isHidden());

    F.Dialog->cbHideEditor->setChecked(true);
    F.Dialog->cbHideFlash->setChecked(true);
    EXPECT_TRUE(hideEditor);
    EXPECT_TRUE(hideFlash);
    EXPECT_FALSE(F.Dialog->cbDisableEditor->isEnabled());
    EXPECT_FALSE(F.Dialog->cbDisableFlash->isEnabled());
}

TEST_F(SettingsDialog, HiddenTabFollowsTheRecorder) {
    EXPECT_FALSE(F.Dialog->IsPageShown(F.Dialog->tsHidden));
    F.Recorder->SetHiddenTabVisible(true);
    ASSERT_TRUE(F.Dialog->IsPageShown(F.Dialog->tsHidden));
    EXPECT_EQ(F.Dialog->pcSettings->indexOf(F.Dialog->tsHidden), 4);
    EXPECT_EQ(F.Dialog->pcSettings->tabText(4), "Hidden");
}

TEST_F(SettingsDialog, PagesOutOfViewComeBackInTheirPlace) {
    F.Recorder->SetHiddenTabVisible(true);
    F.Dialog->cbHideExpert->setChecked(true);
    EXPECT_EQ(F.Dialog->pcSettings->count(), 4);
    EXPECT_EQ(F.Dialog->pcSettings->widget(3), F.Dialog->tsHidden);
    F.Dialog->cbHideExpert->setChecked(false);
    ASSERT_EQ(F.Dialog->pcSettings->count(), 5);
    EXPECT_EQ(F.Dialog->pcSettings->widget(3), F.Dialog->tsExpert);
    EXPECT_EQ(F.Dialog->pcSettings->tabText(3), "Ovik-Expert");
}

TEST_F(SettingsDialog, NonLatinKeyInTheProfileNameShowsTheBalloonOnce) {
    F.Dialog->edProfileName->setText("ab");
    QKeyEvent cyrillic(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8("ж"));
    QCoreApplication::sendEvent(F.Dialog->edProfileName, &cyrillic);
    EXPECT_EQ(F.Dialog->edProfileName->text(), "ab");
    EXPECT_TRUE(F.Dialog->IsBalloonShowing());
    EXPECT_TRUE(F.Dialog->Timer1->isActive());
    EXPECT_EQ(F.Dialog->Timer1->interval(), 3000);
    EXPECT_FALSE(F.Dialog->ShowLatinOnlyBalloon()); // one at a time

    QKeyEvent latin(QEvent::KeyPress, Qt::Key_C, Qt::NoModifier, "c");
    QCoreApplication::sendEvent(F.Dialog->edProfileName, &latin);
    EXPECT_FALSE(F.Dialog->IsBalloonShowing());
    EXPECT_EQ(F.Dialog->edProfileName->text(), "abc");
}

TEST(SettingsForm, IsPreparedAsDesigned) {
    TfrmRecSettings dialog;
    EXPECT_EQ(dialog.windowTitle(), "Recorder settings");
    EXPECT_EQ(dialog.tcRecSet->count(), 8);
    EXPECT_EQ(dialog.tcRecSet->tabText(7), "Profile 8");
    EXPECT_EQ(dialog.SelectedProfileTab(), -1); // a tab bar always shows one
    EXPECT_EQ(dialog.pcSettings->currentWidget(), dialog.tsGeneral);
    EXPECT_EQ(dialog.cbScale->currentText(), "1");
    ASSERT_EQ(dialog.cbReqForms->count(), 32);
    EXPECT_EQ(dialog.cbReqForms->itemText(0), "DDDDD");
    EXPECT_EQ(dialog.cbReqForms->itemText(1), "DDDDA");
    EXPECT_EQ(dialog.cbReqForms->itemText(10), "DADAD");
    EXPECT_EQ(dialog.cbReqForms->itemText(31), "AAAAA");
    ASSERT_EQ(dialog.cbFNMask->count(), 3);
    EXPECT_EQ(dialog.cbFNMask->itemText(2), "recorded [dd mmmm yyyy] at [hh.nn.ss].wav");
    EXPECT_EQ(dialog.actStore->text(), "Store settings");
    EXPECT_EQ(dialog.actDefSettings->toolTip(), "Restore factory settings");
    for (const char* name :
         {"pcSettings", "tsGeneral", "tsFiles", "tsAdvanced", "tsExpert", "tsHidden", "tcRecSet",
          "edProfileName", "cbDetectType", "seDTMFVoltage", "updnSRR", "cbHideAmpSettings",
          "btnClose", "lbExRes", "rxsePartSize", "Timer1"})
        EXPECT_NE(dialog.findChild<QObject*>(name), nullptr) << name;
}

TEST(SettingsForm, MaskExampleUsesTheExpander) {
    TfrmRecSettings dialog;
    dialog.SetMaskExpander([](const QString& mask) { return "<" + mask + ">"; });
    dialog.cbFNMask->setEditText("x[rn].wav");
    EXPECT_EQ(dialog.lbExRes->text(), Lang("ExampResStr") + " <x[rn].wav>");
}

// Program options -> controls -> options, one flag at a time.
struct TOptionCase {
    const char* Name;
    bool TProgramOptions::*Field;
    QCheckBox* TfrmRecSettings::*Control;
};

const TOptionCase OptionCases[] = {
    {"HideSplitting", &TProgramOptions::HideSplitting, &TfrmRecSettings::cbHideSplitting},
    {"HideMaskEdit", &TProgramOptions::HideMaskEdit, &TfrmRecSettings::cbHideMaskEdit},
    {"SimpleVasSetup", &TProgramOptions::SimpleVasSetup, &TfrmRecSettings::cbSimpleVas},
    {"SimpleQualitySetup", &TProgramOptions::SimpleQualitySetup, &TfrmRecSettings::cbSimpleQuality},
    {"SimpleAmpSetup", &TProgramOptions::SimpleAmpSetup, &TfrmRecSettings::cbSimpleAmp},
    {"DisableFlashDrive", &TProgramOptions::DisableFlashDrive, &TfrmRecSettings::cbDisableFlash},
    {"HideFlashDrive", &TProgramOptions::HideFlashDrive, &TfrmRecSettings::cbHideFlash},
    {"DisableEditor", &TProgramOptions::DisableEditor, &TfrmRecSettings::cbDisableEditor},
    {"HideEditor", &TProgramOptions::HideEditor, &TfrmRecSettings::cbHideEditor},
    {"ShowVoiceParts", &TProgramOptions::ShowVoiceParts, &TfrmRecSettings::cbShowParts},
    {"SkipSilence", &TProgramOptions::SkipSilence, &TfrmRecSettings::cbSkipSilence},
    {"AutoDelete", &TProgramOptions::AutoDelete, &TfrmRecSettings::cbAutoDel},
    {"NonDownOnly", &TProgramOptions::NonDownOnly, &TfrmRecSettings::cbNonDownOnly},
    {"AutoDownload", &TProgramOptions::AutoDownload, &TfrmRecSettings::cbAutoDownload},
    {"SyncTime", &TProgramOptions::SyncTime, &TfrmRecSettings::cbSync},
    {"NonSavedEraseDisable", &TProgramOptions::NonSavedEraseDisable, &TfrmRecSettings::cbDisErase},
    {"HideExpert", &TProgramOptions::HideExpert, &TfrmRecSettings::cbHideExpert},
    {"HideAdvExpert", &TProgramOptions::HideAdvExpert, &TfrmRecSettings::cbHideAdvExpert},
    {"AonOnly", &TProgramOptions::AonOnly, &TfrmRecSettings::cbAonOnly},
    {"SorvaneFormat", &TProgramOptions::SorvaneFormat, &TfrmRecSettings::cbSorvane},
    {"HideSorvaneFormat", &TProgramOptions::HideSorvaneFormat, &TfrmRecSettings::cbHideSorvane},
    {"HideAmpSettings", &TProgramOptions::HideAmpSettings, &TfrmRecSettings::cbHideAmpSettings},
};

class SettingsProgramOption : public ::testing::TestWithParam<TOptionCase> {};

TEST_P(SettingsProgramOption, TravelsThroughItsControlAlone) {
    const TOptionCase& c = GetParam();
    TfrmRecSettings dialog;
    TProgramOptions options;
    options.MaxOutputSize = 100;
    options.*c.Field = true;
    dialog.LoadProgramOptions(options);
    EXPECT_TRUE((dialog.*c.Control)->isChecked());
    TProgramOptions back;
    back.ShowVoiceParts = options.ShowVoiceParts;
    dialog.SaveProgramOptions(back);
    TProgramOptions expected = options;
    // Checking the hide switch of the Sorvane option unchecks the option itself.
    if (c.Field == &TProgramOptions::HideSorvaneFormat)
        expected.SorvaneFormat = false;
    EXPECT_EQ(back.*c.Field, true);
    for (const TOptionCase& other : OptionCases)
        EXPECT_EQ(back.*other.Field, expected.*other.Field) << other.Name;
}

INSTANTIATE_TEST_SUITE_P(EveryOption, SettingsProgramOption, ::testing::ValuesIn(OptionCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(SettingsProgramOptions, TextsSizeAndTheShowPartsResult) {
    TfrmRecSettings dialog;
    TProgramOptions options;
    options.FileNameMask = "a_[rn].wav";
    options.DefFolder = "/home/user/Sounds";
    options.MaxOutputSize = 650;
    options.Split = true;
    dialog.LoadProgramOptions(options);
    EXPECT_EQ(dialog.rxsePartSize->Value(), 650);

    TProgramOptions back = options;
    EXPECT_FALSE(dialog.SaveProgramOptions(back));
    EXPECT_EQ(back.FileNameMask, "a_[rn].wav");
    EXPECT_EQ(back.DefFolder, "/home/user/Sounds");
    EXPECT_EQ(back.MaxOutputSize, 650);
    EXPECT_TRUE(back.Split);

    dialog.cbShowParts->setChecked(true);
    dialog.rxsePartSize->SetValue(1024);
    EXPECT_TRUE(dialog.SaveProgramOptions(back));
    EXPECT_EQ(back.MaxOutputSize, 1024);
}

TEST(SettingsProgramOptions, ThePartSizeShowsWhatSplittingIsInEffect) {
    struct TCase {
        std::int64_t Stored;
        const char* Shown;
    } const cases[] = {{0, "no limit"}, {-5, "no limit"}, {1, "1"}, {2048, "2048"}, {5000, "5000"}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Stored);
        TfrmRecSettings dialog;
        TProgramOptions options;
        options.MaxOutputSize = c.Stored;
        dialog.LoadProgramOptions(options);
        dialog.show();
        EXPECT_EQ(dialog.rxsePartSize->text(), c.Shown);
        // Untouched, the option stays what it was.
        TProgramOptions back = options;
        dialog.SaveProgramOptions(back);
        EXPECT_EQ(back.MaxOutputSize, c.Stored);
    }
    EXPECT_EQ(Lang("NoLimitStr"), "no limit");
}

TEST(SettingsProgramOptions, NoLimitIsChosenAndLeftLikeAnyOtherSize) {
    TfrmRecSettings dialog;
    TProgramOptions options;
    options.MaxOutputSize = 0;
    dialog.LoadProgramOptions(options);
    dialog.show();
    dialog.rxsePartSize->setFocus(Qt::TabFocusReason);
    QTest::keyClick(dialog.rxsePartSize, Qt::Key_Up);
    EXPECT_EQ(dialog.rxsePartSize->text(), "1");
    TProgramOptions back = options;
    dialog.SaveProgramOptions(back);
    EXPECT_EQ(back.MaxOutputSize, 1);

    // A size typed and never left is taken as the edit holds it: 0 is no limit, more than
    // the edit offers is its largest.
    for (const auto& [typed, stored] : {std::pair{"0", 0}, std::pair{"9999", 2048}}) {
        dialog.rxsePartSize->selectAll();
        QTest::keyClicks(dialog.rxsePartSize, typed);
        dialog.SaveProgramOptions(back);
        EXPECT_EQ(back.MaxOutputSize, stored) << typed;
    }
    EXPECT_EQ(dialog.rxsePartSize->text(), "2048");
}

TEST(SettingsProgramOptions, SizeTheEditCannotShowStaysUnlessChanged) {
    for (const std::int64_t size : {std::int64_t{0}, std::int64_t{5000}}) {
        TfrmRecSettings dialog;
        TProgramOptions options;
        options.MaxOutputSize = size;
        dialog.LoadProgramOptions(options);
        TProgramOptions back = options;
        dialog.SaveProgramOptions(back);
        EXPECT_EQ(back.MaxOutputSize, size);
    }
}

} // namespace
