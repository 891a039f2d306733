// Profile files, factory settings, the amplifier-rate window and the once-timer window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimeEdit>

#include "platform/IniFile.h"
#include "settings/PositionUpDown.h"
#include "tests/settings/FixtureRecorder.h"
#include "tests/support/ModalScript.h"
#include "widgets/MsgBox.h"

namespace {

class SettingsFiles : public ::testing::Test {
protected:
    void SetUp() override { F.Load(TSettingsDialogFixture::SampleSettings()); }
    TSettingsDialogFixture F;
};

TEST_F(SettingsFiles, SavedProfilesLoadBackIntoTheWorkingCopy) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    F.NextFileName = dir.filePath("mine.rpr");
    F.Dialog->edProfileName->setText("Saved");
    F.Dialog->updnOffVol->setValue(-42);
    F.Dialog->actSaveToFileExecute();

    F.Dialog->edProfileName->setText("Changed");
    F.Dialog->updnOffVol->setValue(-5);
    F.Dialog->actLoadFromFileExecute();
    EXPECT_EQ(F.Dialog->edProfileName->text(), "Saved");
    EXPECT_EQ(F.Dialog->updnOffVol->value(), -42);
    EXPECT_TRUE(F.Ui->Messages.empty());
    // Only the working copy changed; the recorder's record waits for a store.
    EXPECT_EQ(F.Recorder->Settings().Profiles[0].VasLevel, -30);
}

TEST_F(SettingsFiles, CancelledOrMissingFileChangesNothing) {
    const TRecSettings before = F.Dialog->WorkingCopy();
    F.NextFileName.clear();
    F.Dialog->actLoadFromFileExecute();
    F.Dialog->actSaveToFileExecute();
    F.NextFileName = "/nonexistent/folder/x.rpr";
    F.Dialog->actLoadFromFileExecute();
    EXPECT_EQ(F.Dialog->WorkingCopy().ToBytes(), before.ToBytes());
    EXPECT_EQ(F.Ui->Messages.size(), 1u); // the reader's "cannot load"
}

TEST_F(SettingsFiles, FactorySettingsAskFirstAndARefusedFileStoresNothing) {
    const TRecSettings before = F.Recorder->Settings();
    F.MessageAnswers = {IDNO};
    F.Dialog->actDefSettingsExecute();
    ASSERT_EQ(F.Messages.size(), 1u);
    // The factory file names other models than this recorder's: refused, nothing stored.
    F.MessageAnswers = {IDYES};
    F.Dialog->actDefSettingsExecute();
    EXPECT_EQ(FakeDevice().StoreCount, 0);
    EXPECT_EQ(F.Recorder->Settings().ToBytes(), before.ToBytes());
    EXPECT_EQ(F.Ui->Messages.size(), 1u);
}

// Saves the eight profiles from the dialog, changes every profile in the dialog as a user
// would, and loads the file back: the profiles come back byte for byte.
void SaveChangeAndLoadBack(TSettingsDialogFixture& f) {
    f.NextFileName = f.Folder.filePath("profiles.rpr");
    f.Dialog->actSaveToFileExecute();
    const TRecSettings saved = f.Dialog->WorkingCopy();
    ASSERT_TRUE(QFile::exists(f.NextFileName));
    for (int tab = 0; tab < 8; ++tab) {
        f.Dialog->tcRecSet->setCurrentIndex(tab);
        f.Dialog->edProfileName->setText(QString("Other%1").arg(tab));
        f.Dialog->updnOffVol->setValue(f.Dialog->updnOffVol->value() == -5 ? -6 : -5);
        f.Dialog->cbTimerType->setCurrentIndex((f.Dialog->cbTimerType->currentIndex() + 1) % 3);
        f.Dialog->updnGain->setValue(f.Dialog->updnGain->value() == 70 ? 60 : 70);
    }
    f.Dialog->tcRecSet->setCurrentIndex(saved.CurrentProfile);
    f.Dialog->actLoadFromFileExecute();
    EXPECT_TRUE(f.Ui->Messages.empty());
    const TRecSettings& loaded = f.Dialog->WorkingCopy();
    for (std::size_t i = 0; i < TRecSettings::ProfileCount; ++i)
        EXPECT_EQ(loaded.Profiles[i].ToBytes(), saved.Profiles[i].ToBytes()) << "profile " << i + 1;
    // Closing now asks nothing: what is shown is what the recorder holds, apart from the
    // edits made before the save.
    TRecSettings shown = loaded;
    f.Dialog->ControlsToRecSettings(shown);
    EXPECT_EQ(shown.Profiles[saved.CurrentProfile].ToBytes(),
              saved.Profiles[saved.CurrentProfile].ToBytes());
}

TEST(SettingsProfileFiles, TheDemoImagesProfilesComeBackWhole) {
    TSettingsDialogFixture f(TSettingsDialogFixture::TConnection::ImageFile,
                             TSettingsDialogFixture::DemoImage());
    SaveChangeAndLoadBack(f);
}

TEST(SettingsProfileFiles, AFreshImagesProfilesComeBackWhole) {
    TSettingsDialogFixture f(TSettingsDialogFixture::TConnection::ImageFile);
    ASSERT_EQ(f.Recorder->Settings().Profiles[3].TimerStopYear, 257); // the fill of a new image
    SaveChangeAndLoadBack(f);
    // The profile shown holds what its pickers show, never a date they cannot: today.
    const TIniFile file(f.NextFileName.toStdString());
    EXPECT_EQ(file.ReadInteger("Profile 1", "TimerStopYear", 0), QDate::currentDate().year());
    EXPECT_EQ(file.ReadInteger("Profile 4", "TimerStopYear", 0), 257);
}

TEST(SettingsProfileFiles, AnUnusedTimersProfilesComeBackWhole) {
    TSettingsDialogFixture f;
    TRecSettings s = TSettingsDialogFixture::SampleSettings();
    for (TRecProfile& p : s.Profiles) {
        p.TimerStartHour = p.TimerStartMin = p.TimerStartDay = p.TimerStartMonth = 0;
        p.TimerStopHour = p.TimerStopMin = p.TimerStopDay = p.TimerStopMonth = 0;
        p.TimerStartYear = p.TimerStopYear = 0;
        p.CyclicRecord = 0xFF; // the recorder's own "on" byte
    }
    f.Load(s);
    SaveChangeAndLoadBack(f);
}

TEST(SettingsProfileFiles, FactorySettingsThatCannotBeStoredLeaveTheRecordAsItWas) {
    TSettingsDialogFixture f(TSettingsDialogFixture::TConnection::ImageFile);
    // What the image holds, as a read takes it; the password is never read from an image.
    TRecSettings held = f.ImageSettings();
    NormaliseRecSettings(held);
    held.Password = f.Recorder->Settings().Password;
    // The image goes away under the program: the header can be neither written nor read.
    QFile::remove(f.ImagePath);
    ASSERT_TRUE(QDir().mkdir(f.ImagePath));
    f.MessageAnswers = {IDYES};
    f.Dialog->actDefSettingsExecute();
    EXPECT_EQ(f.Recorder->Settings(), held);
    ASSERT_EQ(f.Messages.size(), 2u); // the question and the error
    EXPECT_TRUE(f.Messages[1].contains("I/O")) << f.Messages[1].toStdString();
}

TEST_F(SettingsFiles, RateWindowGivesTheControlsBack) {
    F.Dialog->cbAGC->setChecked(true);
    QWidget* home = F.Dialog->pnlRates->parentWidget();
    QWidget* seenIn = nullptr;
    TModalScript script({[&](QWidget* modal) {
        auto* window = qobject_cast<QDialog*>(modal);
        ASSERT_NE(window, nullptr);
        seenIn = F.Dialog->updnFAR->window();
        F.Dialog->updnFAR->setValue(7);
        window->accept();
    }});
    F.Dialog->btnAGCSetClick();
    EXPECT_TRUE(script.Done());
    EXPECT_NE(seenIn, nullptr);
    EXPECT_NE(seenIn, F.Dialog.get());
    EXPECT_EQ(F.Dialog->pnlRates->parentWidget(), home);
    EXPECT_EQ(F.Dialog->updnFAR->window(), F.Dialog.get());
    EXPECT_EQ(F.Dialog->edFAR->text(), "312.50 dB");
}

TEST_F(SettingsFiles, EnteringTheStartDateKeepsTheWindowWithinAWeek) {
    const QDate today = QDate::currentDate();
    struct TCase {
        const char* Name;
        int StartDays;
        int StopDaysAfterStart;
        bool StartMoves;
        bool StopMoves;
    };
    for (const TCase& c :
         {TCase{"InsideWindow", 2, 3, false, false}, TCase{"StartInThePast", -1, 1, true, false},
          TCase{"StartAWeekAhead", 7, 0, true, true}, TCase{"StopBeforeStart", 1, -1, false, true},
          TCase{"StopAWeekAfter", 0, 7, false, true}}) {
        SCOPED_TRACE(c.Name);
        const QDate start = today.addDays(c.StartDays);
        const QDate stop = start.addDays(c.StopDaysAfterStart);
        F.Dialog->dtpOnceTmrDateOn->setDate(start);
        F.Dialog->dtpOnceTmrTimeOn->setTime(QTime(6, 0));
        F.Dialog->dtpOnceTmrDateOff->setDate(stop);
        F.Dialog->dtpOnceTmrTimeOff->setTime(QTime(7, 0));
        F.Dialog->dtpOnceTmrDateOnEnter();
        const QDate newStart = c.StartMoves ? today : start;
        EXPECT_EQ(F.Dialog->dtpOnceTmrDateOn->date(), newStart);
        EXPECT_EQ(F.Dialog->dtpOnceTmrDateOff->date(), c.StopMoves ? newStart : stop);
        if (c.StopMoves) {
            EXPECT_EQ(F.Dialog->dtpOnceTmrTimeOff->time(), F.Dialog->dtpOnceTmrTimeOn->time());
        }
    }
}

} // namespace
