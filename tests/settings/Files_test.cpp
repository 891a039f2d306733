// Profile files, factory settings, the amplifier-rate window and the once-timer window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTimer>

#include "settings/PositionUpDown.h"
#include "tests/settings/FixtureRecorder.h"
#include "ui/MsgBox.h"

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

TEST_F(SettingsFiles, RateWindowGivesTheControlsBack) {
    F.Dialog->cbAGC->setChecked(true);
    QWidget* home = F.Dialog->pnlRates->parentWidget();
    QWidget* seenIn = nullptr;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!window)
            return;
        seenIn = F.Dialog->updnFAR->window();
        F.Dialog->updnFAR->setValue(7);
        window->accept();
    });
    F.Dialog->btnAGCSetClick();
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

TEST(SettingsFileFilter, BecomesTheDialogsForm) {
    struct TCase {
        const char* In;
        const char* Out;
    };
    for (const TCase& c : {TCase{"Recorder profiles (*.rpr)|*.rpr", "Recorder profiles (*.rpr)"},
                           TCase{"Profiles|*.rpr;*.def|All|*", "Profiles (*.rpr *.def);;All (*)"},
                           TCase{"", ""}, TCase{"Odd", "Odd"}}) {
        SCOPED_TRACE(c.In);
        EXPECT_EQ(FileDialogFilter(c.In), c.Out);
    }
}

} // namespace
