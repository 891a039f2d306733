// Record -> controls -> record: what each stored byte shows as, and that it comes back intact.
#include <functional>
#include <gtest/gtest.h>
#include <string>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <QTimeEdit>

#include "controls/MySpin.h"
#include "settings/PositionUpDown.h"
#include "tests/settings/FixtureRecorder.h"

namespace {

struct TFieldCase {
    const char* Name;
    std::function<void(TRecSettings&)> Set;            // the stored bytes
    std::function<void(const TfrmRecSettings&)> Shows; // what the controls show
};

TRecProfile& P0(TRecSettings& s) {
    return s.Profiles[0];
}

const TFieldCase FieldCases[] = {
    {"Name5", [](TRecSettings& s) { P0(s).Name = {'P', 'h', 'o', 'n', 'e', 0, 0, 0}; },
     [](const TfrmRecSettings& d) { EXPECT_EQ(d.edProfileName->text(), "Phone"); }},
    {"Name8Unterminated",
     [](TRecSettings& s) { P0(s).Name = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}; },
     [](const TfrmRecSettings& d) { EXPECT_EQ(d.edProfileName->text(), "ABCDEFGH"); }},
    {"NameHighBytesKept", [](TRecSettings& s) { P0(s).Name = {0xC0, 0xFF, 0x80, 'x', 0, 0, 0, 0}; },
     [](const TfrmRecSettings& d) { EXPECT_EQ(d.edProfileName->text().size(), 4); }},
    {"Rate40000",
     [](TRecSettings& s) {
         P0(s).SampleRate = 0;
         P0(s).Compress = 0;
         P0(s).CompressParam = 0;
     },
     [](const TfrmRecSettings& d) {
         EXPECT_TRUE(d.rbSR40000->isChecked());
         EXPECT_TRUE(d.rbNoCompress->isChecked());
     }},
    {"Rate20000",
     [](TRecSettings& s) {
         P0(s).SampleRate = 1;
         P0(s).Compress = 1;
         P0(s).CompressParam = 0;
     },
     [](const TfrmRecSettings& d) {
         EXPECT_TRUE(d.rbSR20000->isChecked());
         EXPECT_TRUE(d.rbuLaw->isChecked());
     }},
    {"Rate13333",
     [](TRecSettings& s) {
         P0(s).SampleRate = 2;
         P0(s).Compress = 0;
         P0(s).CompressParam = 0;
     },
     [](const TfrmRecSettings& d) {
         EXPECT_TRUE(d.rbSR13333->isChecked());
         EXPECT_EQ(d.rbSR13333->text(), "13300 Hz");
     }},
    {"Rate8000", [](TRecSettings& s) { P0(s).SampleRate = 3; },
     [](const TfrmRecSettings& d) { EXPECT_TRUE(d.rbSR08000->isChecked()); }},
    {"Rate4000", [](TRecSettings& s) { P0(s).SampleRate = 4; },
     [](const TfrmRecSettings& d) { EXPECT_TRUE(d.rbSR04000->isChecked()); }},
    {"Rate16000KeptWithNoButton",
     [](TRecSettings& s) {
         P0(s).SampleRate = 5;
         P0(s).Compress = 0;
         P0(s).CompressParam = 0;
     },
     [](const TfrmRecSettings& d) {
         for (QRadioButton* rb : {d.rbSR40000, d.rbSR20000, d.rbSR13333, d.rbSR08000, d.rbSR04000})
             EXPECT_FALSE(rb->isChecked()) << rb->objectName().toStdString();
     }},
    {"ULawScale1",
     [](TRecSettings& s) {
         P0(s).Compress = 1;
         P0(s).CompressParam = 0;
     },
     [](const TfrmRecSettings& d) {
         EXPECT_TRUE(d.rbuLaw->isChecked());
         EXPECT_EQ(d.cbScale->currentText(), "1");
         EXPECT_TRUE(d.cbScale->isEnabled());
     }},
    {"ULawScale16",
     [](TRecSettings& s) {
         P0(s).Compress = 1;
         P0(s).CompressParam = 4;
     },
     [](const TfrmRecSettings& d) { EXPECT_EQ(d.cbScale->currentText(), "16"); }},
    {"Adpcm2",
     [](TRecSettings& s) {
         P0(s).Compress = 2;
         P0(s).CompressParam = 1;
         P0(s).SampleRate = 4;
     },
     [](const TfrmRecSettings& d) {
         EXPECT_TRUE(d.rbADPCM2->isChecked());
         EXPECT_FALSE(d.cbScale->isEnabled());
     }},
    {"Adpcm4",
     [](TRecSettings& s) {
         P0(s).Compress = 2;
         P0(s).CompressParam = 2;
     },
     [](const TfrmRecSettings& d) {
         EXPECT_TRUE(d.rbADPCM4->isChecked());
         EXPECT_FALSE(d.rbSR20000->isEnabled());
     }},
    {"CyclicOn",
     [](TRecSettings& s) {
         P0(s).CyclicRecord = 0xFF;
         P0(s).CycleBufSize = 1;
     },
     [](const TfrmRecSettings& d) {
         EXPECT_TRUE(d.cbCyclicRec->isChecked());
         EXPECT_EQ(d.rxseCycleLen->Value(), 1);
         EXPECT_TRUE(d.rxseCycleLen->isEnabled());
     }},
    {"CyclicOnAsAnyNonZeroByte", [](TRecSettings& s) { P0(s).CyclicRecord = 1; },
     [](const TfrmRecSettings& d) { EXPECT_TRUE(d.cbCyclicRec->isChecked()); }},
    {"CyclicOff",
     [](TRecSettings& s) {
         P0(s).CyclicRecord = 0;
         P0(s).CycleBufSize = 100;
     },
     [](const TfrmRecSettings& d) {
         EXPECT_FALSE(d.cbCyclicRec->isChecked());
         EXPECT_EQ(d.rxseCycleLen->Value(), 100);
         EXPECT_FALSE(d.rxseCycleLen->isEnabled());
     }},
    {"TimerOff", [](TRecSettings& s) { P0(s).TimerType = 0xFF; },
     [](const TfrmRecSettings& d) {
         EXPECT_EQ(d.cbTimerType->currentIndex(), 0);
         EXPECT_FALSE(d.dtpOnceTmrTimeOn->isEnabled());
     }},
    {"TimerDaily",
     [](TRecSettings& s) {
         P0(s).TimerType = 1;
         P0(s).TimerStartHour = 0;
         P0(s).TimerStartMin = 0;
         P0(s).TimerStopHour = 23;
         P0(s).TimerStopMin = 59;
     },
     [](const TfrmRecSettings& d) {
         EXPECT_EQ(d.cbTimerType->currentText(), "Daily timer");
         EXPECT_TRUE(d.dtpOnceTmrTimeOn->isEnabled());
         EXPECT_FALSE(d.dtpOnceTmrDateOn->isEnabled());
         EXPECT_EQ(d.dtpOnceTmrTimeOff->time(), QTime(23, 59));
     }},
    {"TimerOnceTomorrow",
     [](TRecSettings& s) {
         const QDate t = QDate::currentDate().addDays(1);
         P0(s).TimerType = 2;
         P0(s).TimerStartYear = t.year();
         P0(s).TimerStartMonth = t.month();
         P0(s).TimerStartDay = t.day();
         P0(s).TimerStopYear = t.year();
         P0(s).TimerStopMonth = t.month();
         P0(s).TimerStopDay = t.day();
     },
     [](const TfrmRecSettings& d) {
         EXPECT_EQ(d.dtpOnceTmrDateOn->date(), QDate::currentDate().addDays(1));
         EXPECT_TRUE(d.dtpOnceTmrDateOff->isEnabled());
         EXPECT_EQ(d.dtpOnceTmrTimeOn->time(), QTime(8, 30));
     }},
    {"VasOnEdges",
     [](TRecSettings& s) {
         P0(s).Vas = 1;
         P0(s).VasLevel = -55;
         P0(s).VasTime = 1;
     },
     [](const TfrmRecSettings& d) {
         EXPECT_TRUE(d.cbVAS->isChecked());
         EXPECT_EQ(d.updnOffVol->value(), -55);
         EXPECT_EQ(d.edOffVol->text(), "-55");
         EXPECT_EQ(d.updnOffTime->value(), 1);
     }},
    {"VasOffEdges",
     [](TRecSettings& s) {
         P0(s).Vas = 0;
         P0(s).VasLevel = 0;
         P0(s).VasTime = 15;
     },
     [](const TfrmRecSettings& d) {
         EXPECT_FALSE(d.cbVAS->isChecked());
         EXPECT_FALSE(d.updnOffVol->isEnabled());
         EXPECT_EQ(d.updnOffTime->value(), 15);
     }},
    {"GainLowest", [](TRecSettings& s) { P0(s).PgacGain = 42; },
     [](const TfrmRecSettings& d) {
         EXPECT_EQ(d.updnGain->value(), 40);
         EXPECT_EQ(d.edGain->text(), "20.0 dB");
     }},
    {"GainMiddle", [](TRecSettings& s) { P0(s).PgacGain = 62; },
     [](const TfrmRecSettings& d) { EXPECT_EQ(d.edGain->text(), "30.0 dB"); }},
    {"GainHighest", [](TRecSettings& s) { P0(s).PgacGain = 82; },
     [](const TfrmRecSettings& d) { EXPECT_EQ(d.edGain->text(), "40.0 dB"); }},
    {"AgcOnRates",
     [](TRecSettings& s) {
         P0(s).PgacMode = 0;
         P0(s).PgacFastAttack = 0;
         P0(s).PgacFastRelease = 15;
         P0(s).PgacSlowAttack = 1;
         P0(s).PgacSlowRelease = 10;
     },
     [](const TfrmRecSettings& d) {
         EXPECT_TRUE(d.cbAGC->isChecked());
         EXPECT_TRUE(d.updnFAR->isEnabled());
         EXPECT_EQ(d.edFAR->text(), "2.44 dB");
         EXPECT_EQ(d.edFRR->text(), "80000.00 dB");
         EXPECT_EQ(d.edSAR->text(), "4.88 dB");
         EXPECT_EQ(d.edSRR->text(), "2500.00 dB");
     }},
    {"AgcOff", [](TRecSettings& s) { P0(s).PgacMode = 0xFF; },
     [](const TfrmRecSettings& d) {
         EXPECT_FALSE(d.cbAGC->isChecked());
         EXPECT_FALSE(d.edFAR->isEnabled());
         EXPECT_FALSE(d.btnAGCSet->isEnabled());
     }},
    {"GlobalsLow",
     [](TRecSettings& s) {
         s.SearchStep = 1;
         s.KeyPressType = 0;
         s.AccessLevel = 1;
         s.AntialiasFilter = 0;
     },
     [](const TfrmRecSettings& d) {
         EXPECT_EQ(d.rxseSearchStep->Value(), 1);
         EXPECT_TRUE(d.rbSingle->isChecked());
         EXPECT_EQ(d.cbAccessLevel->currentText(), "Low");
         EXPECT_FALSE(d.cbAntialias->isChecked());
     }},
    {"GlobalsHigh",
     [](TRecSettings& s) {
         s.SearchStep = 255;
         s.KeyPressType = 1;
         s.AccessLevel = 3;
         s.AntialiasFilter = 1;
     },
     [](const TfrmRecSettings& d) {
         EXPECT_EQ(d.rxseSearchStep->Value(), 255);
         EXPECT_TRUE(d.rbDouble->isChecked());
         EXPECT_EQ(d.cbAccessLevel->currentText(), "High");
         EXPECT_TRUE(d.cbAntialias->isChecked());
     }},
    {"CurrentProfile7",
     [](TRecSettings& s) {
         s.CurrentProfile = 7;
         s.Profiles[7].Name = {'L', 'a', 's', 't', 0, 0, 0, 0};
     },
     [](const TfrmRecSettings& d) {
         EXPECT_EQ(d.tcRecSet->currentIndex(), 7);
         EXPECT_EQ(d.edProfileName->text(), "Last");
     }},
};

class SettingsFieldRoundTrip : public ::testing::TestWithParam<TFieldCase> {};

TEST_P(SettingsFieldRoundTrip, ShowsTheValueAndGivesTheSameBytesBack) {
    TSettingsDialogFixture f;
    TRecSettings stored = TSettingsDialogFixture::SampleSettings();
    GetParam().Set(stored);
    f.Load(stored);
    GetParam().Shows(*f.Dialog);
    // Restore copies what the controls express back into the recorder: nothing may change.
    EXPECT_EQ(f.Recorder->Settings().ToBytes(), stored.ToBytes());
    TRecSettings again = stored;
    f.Dialog->ControlsToRecSettings(again);
    EXPECT_EQ(again.ToBytes(), stored.ToBytes());
}

INSTANTIATE_TEST_SUITE_P(EveryProfileAndGlobalField, SettingsFieldRoundTrip,
                         ::testing::ValuesIn(FieldCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// One line parameter: the stored value, what the control shows, and the stored value again.
struct TLineCase {
    const char* Name;
    std::uint8_t Tag;
    std::uint8_t Value;
    std::function<void(const TfrmRecSettings&)> Shows;
    int StoredBack = -1; // -1: the same value
};

double V(const TMySpinEdit* spin) {
    return spin->Value();
}

const TLineCase LineCases[] = {
    {"AutoAnswerFsk", 0x7C, 0x0A,
     [](const TfrmRecSettings& d) {
         EXPECT_TRUE(d.cbAutoAnswer->isChecked());
         EXPECT_EQ(d.cbDetectType->currentIndex(), 2);
     }},
    {"AutoAnswerRussian", 0x7C, 0x0C,
     [](const TfrmRecSettings& d) {
         EXPECT_TRUE(d.cbAutoAnswer->isChecked());
         EXPECT_EQ(d.cbDetectType->currentIndex(), 1);
         EXPECT_FALSE(d.pnlAdvAON->isHidden());
         EXPECT_FALSE(d.seNumLen->isHidden());
         EXPECT_TRUE(d.pnlAdvDTMF->isHidden());
     }},
    {"Dtmf", 0x7C, 0x01,
     [](const TfrmRecSettings& d) {
         EXPECT_FALSE(d.cbAutoAnswer->isChecked());
         EXPECT_EQ(d.cbDetectType->currentIndex(), 3);
         EXPECT_FALSE(d.pnlAdvDTMF->isHidden());
         EXPECT_TRUE(d.pnlAdvAON->isHidden());
     }},
    {"TwoBitsIsDisabled", 0x7C, 0x03,
     [](const TfrmRecSettings& d) { EXPECT_EQ(d.cbDetectType->currentIndex(), 0); }, 0x00},
    {"RingVoltageMax", 0x7E, 255,
     [](const TfrmRecSettings& d) { EXPECT_EQ(V(d.seRingVoltage), 255); }},
    {"BusyVoltageZero", 0x7F, 0,
     [](const TfrmRecSettings& d) { EXPECT_EQ(V(d.seBusyVoltage), 0); }},
    {"NumberLength", 0xA1, 20, [](const TfrmRecSettings& d) { EXPECT_EQ(V(d.seNumLen), 20); }},
    {"SkipRings", 0xA2, 3, [](const TfrmRecSettings& d) { EXPECT_EQ(V(d.seSkipRings), 3); }},
    {"FirstDelay300", 0xA3, 70,
     [](const TfrmRecSettings& d) { EXPECT_EQ(V(d.seFirstReqDelay), 300); }},
    {"FirstDelay1000", 0xA3, 0,
     [](const TfrmRecSettings& d) { EXPECT_EQ(V(d.seFirstReqDelay), 1000); }},
    {"FirstDelay0", 0xA3, 100,
     [](const TfrmRecSettings& d) { EXPECT_EQ(V(d.seFirstReqDelay), 0); }},
    {"RequestDuration", 0xA4, 250, [](const TfrmRecSettings& d) { EXPECT_EQ(V(d.seReqDur), 500); }},
    {"RequestForm3Count5", 0xA5, 0x1D,
     [](const TfrmRecSettings& d) {
         EXPECT_EQ(d.cbReqForms->currentText(), "DDDAA");
         EXPECT_EQ(V(d.seReqCount), 5);
     }},
    {"RequestForm31Count0", 0xA5, 0xF8,
     [](const TfrmRecSettings& d) {
         EXPECT_EQ(d.cbReqForms->currentText(), "AAAAA");
         EXPECT_EQ(V(d.seReqCount), 0);
     }},
    {"Amplitude12", 0xA6, 2, [](const TfrmRecSettings& d) { EXPECT_EQ(V(d.seReqAmp), -12); }},
    {"Amplitude24", 0xA6, 4, [](const TfrmRecSettings& d) { EXPECT_EQ(V(d.seReqAmp), -24); }},
    {"MinDigits", 0xA7, 11, [](const TfrmRecSettings& d) { EXPECT_EQ(V(d.seMinDigCount), 11); }},
    {"NextDelay", 0xA8, 1, [](const TfrmRecSettings& d) { EXPECT_EQ(V(d.seNextReqDelay), 990); }},
    {"DtmfVoltageMax", 0xA9, 255,
     [](const TfrmRecSettings& d) { EXPECT_EQ(V(d.seDTMFVoltage), 3060); }},
    {"DtmfVoltage12", 0xA9, 1, [](const TfrmRecSettings& d) { EXPECT_EQ(V(d.seDTMFVoltage), 12); }},
    {"DialDelay", 0xAA, 255, [](const TfrmRecSettings& d) { EXPECT_EQ(V(d.seDialDelay), 255); }},
};

class SettingsLineParam : public ::testing::TestWithParam<TLineCase> {};

TEST_P(SettingsLineParam, ShowsTheConvertedValueAndStoresItBack) {
    const TLineCase& c = GetParam();
    TSettingsDialogFixture f;
    TRecSettings stored = TSettingsDialogFixture::SampleSettings();
    for (TLineParamPair& pair : stored.LineParams)
        if (pair.Tag == c.Tag)
            pair.Value = c.Value;
    f.Load(stored);
    c.Shows(*f.Dialog);
    const TLineParamPair* back = f.Recorder->Settings().FindLineParam(c.Tag);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->Value, c.StoredBack < 0 ? c.Value : c.StoredBack);
}

INSTANTIATE_TEST_SUITE_P(EveryTag, SettingsLineParam, ::testing::ValuesIn(LineCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(SettingsLineParams, AreReadByTagAndWrittenInTheFixedOrder) {
    TSettingsDialogFixture f;
    TRecSettings stored = TSettingsDialogFixture::SampleSettings();
    const TRecSettings ordered = stored;
    std::reverse(stored.LineParams.begin(), stored.LineParams.end());
    stored.LineParams[0] = {0x55, 99}; // unknown tag in place of the dial delay (0xAA)
    f.Dialog->seDialDelay->SetValue(7);
    f.Load(stored);
    TRecSettings expected = ordered;
    expected.LineParams[12] = {0xAA, 7}; // the control kept its value
    EXPECT_EQ(f.Recorder->Settings().LineParams, expected.LineParams);
}

struct TWriteCase {
    const char* Name;
    std::function<void(TfrmRecSettings&)> Edit;
    std::uint8_t Tag;
    std::uint8_t Stored;
};

const TWriteCase WriteCases[] = {
    {"FskWithAonOnlyStoresRussianBit",
     [](TfrmRecSettings& d) {
         d.cbAutoAnswer->setChecked(false);
         d.cbAonOnly->setChecked(true);
         d.cbDetectType->setCurrentIndex(2);
     },
     0x7C, 0x04},
    {"DtmfWithAonOnlyStoresRussianBit",
     [](TfrmRecSettings& d) {
         d.cbAutoAnswer->setChecked(true);
         d.cbAonOnly->setChecked(true);
         d.cbDetectType->setCurrentIndex(3);
     },
     0x7C, 0x0C},
    {"FskStoresBit2",
     [](TfrmRecSettings& d) {
         d.cbAutoAnswer->setChecked(false);
         d.cbDetectType->setCurrentIndex(2);
     },
     0x7C, 0x02},
    {"Delay300ms", [](TfrmRecSettings& d) { d.seFirstReqDelay->SetValue(300); }, 0xA3, 70},
    {"Delay1000ms", [](TfrmRecSettings& d) { d.seFirstReqDelay->SetValue(1000); }, 0xA3, 0},
    {"NextDelay300ms", [](TfrmRecSettings& d) { d.seNextReqDelay->SetValue(300); }, 0xA8, 70},
    {"Amplitude12dB", [](TfrmRecSettings& d) { d.seReqAmp->SetValue(-12); }, 0xA6, 2},
    {"Dtmf3060mV", [](TfrmRecSettings& d) { d.seDTMFVoltage->SetValue(3060); }, 0xA9, 255},
    {"Dtmf36mV", [](TfrmRecSettings& d) { d.seDTMFVoltage->SetValue(36); }, 0xA9, 3},
    {"FormDDDAACount5",
     [](TfrmRecSettings& d) {
         d.cbReqForms->setCurrentIndex(3);
         d.seReqCount->SetValue(5);
     },
     0xA5, 0x1D},
    {"Duration250ms", [](TfrmRecSettings& d) { d.seReqDur->SetValue(250); }, 0xA4, 125},
};

class SettingsWrite : public ::testing::TestWithParam<TWriteCase> {};

TEST_P(SettingsWrite, StoresTheDeviceByte) {
    TSettingsDialogFixture f;
    f.Load(TSettingsDialogFixture::SampleSettings());
    GetParam().Edit(*f.Dialog);
    TRecSettings s = f.Dialog->WorkingCopy();
    f.Dialog->ControlsToRecSettings(s);
    const TLineParamPair* pair = s.FindLineParam(GetParam().Tag);
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(pair->Value, GetParam().Stored);
}

INSTANTIATE_TEST_SUITE_P(Conversions, SettingsWrite, ::testing::ValuesIn(WriteCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(SettingsMapping, UpperArrowOfAnUpDownCountsUp) {
    TfrmRecSettings dialog;
    dialog.updnGain->setValue(50);
    dialog.cbVAS->setChecked(true);
    dialog.updnOffTime->setValue(10);
    dialog.show();
    QTest::mouseClick(dialog.updnGain->Arrows(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 3));
    EXPECT_EQ(dialog.updnGain->value(), 60);
    EXPECT_EQ(dialog.edGain->text(), "30.0 dB");
    QWidget* lower = dialog.updnOffTime->Arrows();
    QTest::mouseClick(lower, Qt::LeftButton, Qt::NoModifier, QPoint(5, lower->height() - 3));
    EXPECT_EQ(dialog.updnOffTime->value(), 9);
    EXPECT_EQ(dialog.edOffTime->text(), "9");
    // The range holds: 80 is the top.
    dialog.updnGain->setValue(80);
    QTest::mouseClick(dialog.updnGain->Arrows(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 3));
    EXPECT_EQ(dialog.updnGain->value(), 80);
}

TEST(SettingsMapping, CyclicRecordingSwitchedOnStoresTheRecordersOnByte) {
    TSettingsDialogFixture f;
    TRecSettings s = TSettingsDialogFixture::SampleSettings();
    s.Profiles[0].CyclicRecord = 0;
    f.Load(s);
    f.Dialog->cbCyclicRec->setChecked(true);
    f.Dialog->ControlsToRecSettings(s);
    EXPECT_EQ(s.Profiles[0].CyclicRecord, 0xFF);
    f.Dialog->cbCyclicRec->setChecked(false);
    f.Dialog->ControlsToRecSettings(s);
    EXPECT_EQ(s.Profiles[0].CyclicRecord, 0);
}

TEST(SettingsMapping, AStopDateTheClockCannotHoldShowsToday) {
    struct TCase {
        const char* Name;
        int Year, Month, Day;
    } const cases[] = {
        {"NewImageFill", 257, 1, 1},  {"Zero", 0, 0, 0},         {"NoSuchDay", 2024, 2, 30},
        {"Before1970", 1969, 12, 31}, {"After2105", 2200, 1, 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TfrmRecSettings dialog;
        TRecSettings s = TSettingsDialogFixture::SampleSettings();
        s.Profiles[0].TimerStopYear = static_cast<std::uint16_t>(c.Year);
        s.Profiles[0].TimerStopMonth = static_cast<std::uint8_t>(c.Month);
        s.Profiles[0].TimerStopDay = static_cast<std::uint8_t>(c.Day);
        dialog.RecSettingsToControls(s);
        EXPECT_EQ(dialog.dtpOnceTmrDateOff->date(), QDate::currentDate());
        dialog.ControlsToRecSettings(s);
        EXPECT_EQ(s.Profiles[0].TimerStopYear, QDate::currentDate().year());
    }
    // The last and the first days the clock can reach are shown as they are.
    for (const QDate date : {QDate(1970, 1, 1), QDate(2105, 12, 31)}) {
        TfrmRecSettings dialog;
        TRecSettings s = TSettingsDialogFixture::SampleSettings();
        s.Profiles[0].TimerStopYear = static_cast<std::uint16_t>(date.year());
        s.Profiles[0].TimerStopMonth = static_cast<std::uint8_t>(date.month());
        s.Profiles[0].TimerStopDay = static_cast<std::uint8_t>(date.day());
        dialog.RecSettingsToControls(s);
        EXPECT_EQ(dialog.dtpOnceTmrDateOff->date(), date);
    }
}

TEST(SettingsMapping, AccessLevelZeroSelectsNoItem) {
    TfrmRecSettings dialog;
    TRecSettings s = TSettingsDialogFixture::SampleSettings();
    s.AccessLevel = 0;
    dialog.RecSettingsToControls(s);
    EXPECT_EQ(dialog.cbAccessLevel->currentIndex(), -1);
}

TEST(SettingsMapping, InvalidOrFarOnceTimerDatesShowToday) {
    TfrmRecSettings dialog;
    TRecSettings s = TSettingsDialogFixture::SampleSettings();
    s.Profiles[0].TimerStartMonth = 0;                  // no date
    const QDate far = QDate::currentDate().addDays(30); // valid, but far away
    s.Profiles[0].TimerStopYear = static_cast<std::uint16_t>(far.year());
    s.Profiles[0].TimerStopMonth = static_cast<std::uint8_t>(far.month());
    s.Profiles[0].TimerStopDay = static_cast<std::uint8_t>(far.day());
    dialog.RecSettingsToControls(s);
    EXPECT_EQ(dialog.dtpOnceTmrDateOn->date(), QDate::currentDate());
    EXPECT_EQ(dialog.dtpOnceTmrDateOff->date(), far); // only the start is pulled to now

    s.Profiles[0].TimerStartMonth = static_cast<std::uint8_t>(far.month());
    s.Profiles[0].TimerStartDay = static_cast<std::uint8_t>(far.day());
    s.Profiles[0].TimerStartYear = static_cast<std::uint16_t>(far.year());
    dialog.RecSettingsToControls(s);
    EXPECT_EQ(dialog.dtpOnceTmrDateOn->date(), QDate::currentDate());
}

TEST(SettingsMapping, TimeOutOfRangeShowsAValidTime) {
    TfrmRecSettings dialog;
    TRecSettings s = TSettingsDialogFixture::SampleSettings();
    s.Profiles[0].TimerStartHour = 25;
    s.Profiles[0].TimerStopMin = 77;
    dialog.RecSettingsToControls(s);
    dialog.ControlsToRecSettings(s);
    EXPECT_LT(s.Profiles[0].TimerStartHour, 24);
    EXPECT_LT(s.Profiles[0].TimerStopMin, 60);
}

TEST(SettingsMapping, AmplifierTextsUseTheLocaleDecimalSeparator) {
    TfrmRecSettings dialog;
    TRecSettings s = TSettingsDialogFixture::SampleSettings();
    s.Profiles[0].PgacGain = 43;
    s.Profiles[0].PgacFastAttack = 15;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    dialog.RecSettingsToControls(s);
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(dialog.edGain->text(), "20,5 dB");
    EXPECT_EQ(dialog.edFAR->text(), "80000,00 dB"); // no group separator
}

TEST(SettingsMapping, ProfileNameIsCutAndOutsideLatin1BecomesQuestionMark) {
    TfrmRecSettings dialog;
    TRecSettings s = TSettingsDialogFixture::SampleSettings();
    dialog.RecSettingsToControls(s);
    dialog.edProfileName->setMaxLength(32);
    dialog.edProfileName->setText(QString::fromUtf8("Жabcdefghij"));
    dialog.ControlsToRecSettings(s);
    const std::array<std::uint8_t, 8> expected = {'?', 'a', 'b', 'c', 'd', 'e', 'f', 'g'};
    EXPECT_EQ(s.Profiles[0].Name, expected);
    dialog.edProfileName->setText("ab");
    dialog.ControlsToRecSettings(s);
    const std::array<std::uint8_t, 8> padded = {'a', 'b', 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(s.Profiles[0].Name, padded);
}

TEST(SettingsMapping, ProfileIndexOutOfRangeStaysInsideTheRecord) {
    TfrmRecSettings dialog;
    TRecSettings s = TSettingsDialogFixture::SampleSettings();
    s.CurrentProfile = 200;
    dialog.RecSettingsToControls(s);
    EXPECT_EQ(dialog.edProfileName->text(), "Prof1");
    dialog.edProfileName->setText("Zero");
    dialog.ControlsToRecSettings(s);
    EXPECT_EQ(s.Profiles[0].Name[0], 'Z');
    EXPECT_EQ(s.CurrentProfile, 200);
}

TEST(SettingsMapping, MinimumRecordTimeLineWithoutGeometry) {
    TSettingsDialogFixture f;
    TRecSettings s = TSettingsDialogFixture::SampleSettings();
    s.Profiles[0].SampleRate = 3; // 8000 Hz, ADPCM 4 bit
    f.Load(s);
    EXPECT_EQ(f.Dialog->lbMinRecTime->text(),
              "Min. record time: 00:00:00; Bit rate: 4000; Compress ratio:1/4");
}

} // namespace
