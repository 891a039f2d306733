#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMainWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "controls/CanvasPanel.h"
#include "controls/MyGauge.h"
#include "tests/support/ModalScript.h"
#include "ui/OverWrite.h"
#include "ui/PartSelect.h"
#include "ui/RenameDlg.h"
#include "ui/StatusFrm.h"
#include "widgets/Mainutils.h"
#include "widgets/MsgBox.h"

namespace {

constexpr std::int64_t TicksPerSecond = 10'000'000;

class StatusForm : public ::testing::Test {
protected:
    void SetUp() override {
        SetApplicationTitle("Quorvex");
        form.SetClock([this] { return now; });
        form.show(); // starts the clock
    }
    void TearDown() override {
        form.SetKeepFocus(false);
        form.hide();
    }
    std::int64_t now = 1000 * TicksPerSecond;
    TfrmStatus form;
};

TEST_F(StatusForm, EstimateFromElapsedTimeAndPercentage) {
    form.SetProgress(10);
    now += 1000 * TicksPerSecond;
    form.SetProgress(0); // a new operation restarts the clock
    now += 30 * TicksPerSecond;
    form.SetProgress(25);
    EXPECT_EQ(form.windowTitle().toStdString(), "Quorvex       Estimated time: 0:01:30");
    EXPECT_EQ(form.mgProgress->Progress(), 25);
    EXPECT_FLOAT_EQ(form.GetProgress(), 25);

    now += 60 * TicksPerSecond; // 90 s for 50 %: another 90 s to go
    form.SetProgress(50);
    EXPECT_EQ(form.windowTitle().toStdString(), "Quorvex       Estimated time: 0:01:30");
    now += 2 * 3600 * TicksPerSecond;
    form.SetProgress(50.4f); // gauge rounds to the nearest percent
    EXPECT_EQ(form.mgProgress->Progress(), 50);
}

TEST_F(StatusForm, SameProgressTwiceChangesNothing) {
    form.SetProgress(0);
    now += 30 * TicksPerSecond;
    form.SetProgress(25);
    const QString before = form.windowTitle();
    now += 1000 * TicksPerSecond;
    form.SetProgress(25);
    EXPECT_EQ(form.windowTitle(), before);
}

TEST_F(StatusForm, PlainTitleAtTheEndsAndWithoutElapsedTime) {
    EXPECT_EQ(form.windowTitle().toStdString(), "Quorvex");
    form.SetProgress(40); // same tick as the start
    EXPECT_EQ(form.windowTitle().toStdString(), "Quorvex");
    now += 5 * TicksPerSecond;
    form.SetProgress(100);
    EXPECT_EQ(form.windowTitle().toStdString(), "Quorvex");
    EXPECT_EQ(form.mgProgress->Progress(), 100);
}

TEST(StatusFormCaption, HoursMinutesSeconds) {
    SetApplicationTitle("Q");
    struct TCase {
        float Percent;
        double Elapsed;
        const char* Expected;
    } cases[] = {
        {10, 3600, "Q       Estimated time: 9:00:00"},
        {50, 3723, "Q       Estimated time: 1:02:03"},
        {99.9f, 1, "Q       Estimated time: 0:00:00"},
        {1e-30f, 10, "Q       Estimated time: 100000:00:00"},
        {0, 10, "Q"},
        {-5, 10, "Q"},
        {120, 10, "Q"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TfrmStatus::EstimateCaption(c.Percent, c.Elapsed).toStdString(), c.Expected)
            << c.Percent;
}

TEST_F(StatusForm, CancelSignalsOnceAndDisablesItself) {
    QSignalSpy spy(&form, &TfrmStatus::CancelClicked);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_TRUE(form.KeepFocus());
    EXPECT_EQ(form.windowTitle().toStdString(), "Quorvex");
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_FALSE(form.Button1->isEnabled());
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_EQ(spy.count(), 1) << "a disabled Cancel asks nothing more";
    EXPECT_TRUE(form.isVisible()) << "only the main window hides the form";
}

TEST(StatusFormPlacement, CentredOverTheMainWindow) {
    QMainWindow main;
    main.setGeometry(100, 80, 801, 601);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    TfrmStatus form(&main);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QRect m = main.frameGeometry();
    EXPECT_EQ(form.x(), (m.width() - form.width()) / 2 + m.left());
    EXPECT_EQ(form.y(), (m.height() - form.height()) / 2 + m.top());
    form.SetKeepFocus(false);
}

class OverwriteDialog : public ::testing::Test {
protected:
    TfrmRename rename;
    TfrmOverwrite dialog{nullptr, &rename};
};

TEST_F(OverwriteDialog, EachButtonGivesItsResult) {
    struct TCase {
        QPushButton* Button;
        int Result;
    } cases[] = {{dialog.OverwriteBtn, 6},
                 {dialog.SkipBtn, 7},
                 {dialog.Button1, 10},
                 {dialog.Button2, 2},
                 {dialog.Button3, 9}};
    for (const TCase& c : cases) {
        dialog.SetFileName("/data/out/file_1.wav");
        EXPECT_EQ(ExecScripted(dialog, {[&c](QWidget*) { c.Button->click(); }}), c.Result)
            << c.Button->objectName().toStdString();
        EXPECT_EQ(dialog.FileName(), "/data/out/file_1.wav");
    }
    EXPECT_EQ(ExecScripted(dialog, {PressEscape()}), mrCancelBatch)
        << "Escape stops the batch, nothing overwritten";
}

TEST_F(OverwriteDialog, LabelShowsShortenedNameButTheTargetStaysWhole) {
    const QString longName = "/home/user/recordings/" + QString(40, 'x') + "/" + QString(60, 'y') +
                             "/file_12_(2011_03_05-14_07_09)_SN1.wav";
    dialog.SetFileName(longName);
    const auto answer = [this](QWidget*) {
        // The dialog's own focus, whether or not the platform has activated its window yet.
        EXPECT_EQ(dialog.focusWidget(), dialog.OverwriteBtn);
        EXPECT_TRUE(dialog.Label1->text().startsWith("File already exists:\n"));
        EXPECT_TRUE(dialog.Label1->text().contains(QChar(0x2026))) << "shortened for show";
        dialog.OverwriteBtn->click();
    };
    EXPECT_EQ(ExecScripted(dialog, {answer}), mrOverwrite);
    EXPECT_EQ(dialog.FileName(), longName) << "the caller writes to the real name";
}

TEST(OverwriteShortening, FolderGivesWayBeforeTheFileName) {
    const QFontMetrics metrics(QApplication::font());
    const QString file = "/file_12_(2011_03_05-14_07_09)_SN1.wav";
    const int width = metrics.horizontalAdvance(file) + 80;
    struct TCase {
        QString Name;
        bool KeepsFileName;
    } cases[] = {
        {"/short.wav", true},
        {"/home/user/" + QString(80, 'x') + file, true},
        {"/a/" + QString(300, 'y') + ".wav", false}, // the name alone is too long
        {QString(300, 'z'), false},
    };
    for (const TCase& c : cases) {
        const QString shown = TfrmOverwrite::ShortenedName(c.Name, metrics, width);
        EXPECT_LE(metrics.horizontalAdvance(shown), width) << c.Name.toStdString();
        if (metrics.horizontalAdvance(c.Name) <= width)
            EXPECT_EQ(shown, c.Name);
        else if (c.KeepsFileName)
            EXPECT_TRUE(shown.endsWith(file) && shown.startsWith("/home/")) << shown.toStdString();
        else
            EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    }
}

TEST_F(OverwriteDialog, RenameOkOverwritesUnderTheNewName) {
    dialog.SetFileName("/out/a.wav");
    const auto question = [this](QWidget*) { dialog.RenameBtn->click(); };
    const auto renamed = [this](QWidget*) {
        EXPECT_EQ(rename.edFileName->text(), "/out/a.wav");
        rename.edFileName->setText("/out/b.wav");
        rename.OKBtn->click();
    };
    EXPECT_EQ(ExecScripted(dialog, {question, renamed}), mrOverwrite);
    EXPECT_EQ(dialog.FileName(), "/out/b.wav");
}

TEST_F(OverwriteDialog, CancelledOrEmptiedRenameLeavesTheQuestionOpen) {
    dialog.SetFileName("/out/a.wav");
    int stillOpen = 0;
    const auto question = [&](QWidget*) {
        dialog.RenameBtn->click(); // returns once the rename dialog is closed
        stillOpen += dialog.isVisible() ? 1 : 0;
        dialog.RenameBtn->click();
        stillOpen += dialog.isVisible() ? 1 : 0;
        dialog.SkipBtn->click();
    };
    const auto cancelled = [this](QWidget*) {
        rename.edFileName->setText("/out/other.wav");
        rename.CancelBtn->click();
    };
    const auto emptied = [this](QWidget*) {
        rename.edFileName->setText("  ");
        rename.OKBtn->click();
    };
    EXPECT_EQ(ExecScripted(dialog, {question, cancelled, emptied}), mrSkip);
    EXPECT_EQ(stillOpen, 2);
    EXPECT_EQ(dialog.FileName(), "/out/a.wav");
}

class PartSelect : public ::testing::Test {
protected:
    void SetUp() override {
        form.SetTotalDuration(600);
        form.SetTotalSize(4'800'000);
    }
    TfrmPartSelect form;
};

TEST_F(PartSelect, InitialSelectionIsTheWholeRecording) {
    EXPECT_EQ(form.BarLeft(), 2);
    EXPECT_EQ(form.BarWidth(), TfrmPartSelect::TrackWidth - 4);
    EXPECT_EQ(form.SelStart(), 0);
    EXPECT_EQ(form.SelDuration(), 600);
    EXPECT_EQ(form.SelSize(), 4'800'000u);
    EXPECT_EQ(form.lbStart->text(), "00:00:00");
    EXPECT_EQ(form.lbEnd->text(), "00:10:00");
    EXPECT_EQ(form.lbDuration->text(), "00:10:00");
    EXPECT_EQ(form.lbSelSize->text(), QLocale().toString(4688) + " KB");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.Label3->text(), "00:10:00");
}

TEST_F(PartSelect, KeysMoveAndSizeWithinBounds) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const int full = TfrmPartSelect::TrackWidth - 4;
    QTest::keyClick(&form, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(form.BarLeft(), 2) << "Ctrl+Left at the left end";
    QTest::keyClick(&form, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(form.BarWidth(), full) << "Shift+Right at the right end";
    QTest::keyClick(&form, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(form.BarWidth(), full - 1);
    QTest::keyClick(&form, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(form.BarLeft(), 3);
    QTest::keyClick(&form, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(form.BarLeft(), 3) << "right end already at the track's end";

    form.SetBar(100, TfrmPartSelect::MinBarWidth);
    QTest::keyClick(&form, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(form.BarWidth(), TfrmPartSelect::MinBarWidth) << "Shift+Left on a 21-pixel bar";
    EXPECT_EQ(form.BarLeft(), 100);
}

TEST_F(PartSelect, ResultsFollowTheBar) {
    // 300 pixels for 600 s: 2 s a pixel.
    form.SetBar(2 + 75, 150);
    EXPECT_EQ(form.SelStart(), 150);
    EXPECT_EQ(form.SelDuration(), 300);
    EXPECT_EQ(form.SelSize(), 2'400'000u);
    EXPECT_EQ(form.lbStart->text(), "00:02:30");
    EXPECT_EQ(form.lbEnd->text(), "00:07:30");
    EXPECT_EQ(form.lbSelSize->text(), QLocale().toString(2344) + " KB");
}

TEST_F(PartSelect, SelectionNeverRunsPastTheRecording) {
    // 10 s over 300 pixels: start 15 px -> round(0.5 s) = 1 s, width 285 -> ceil(9.5 s).
    form.SetTotalDuration(10);
    form.SetTotalSize(10'000);
    form.SetBar(2 + 15, 285);
    EXPECT_EQ(form.SelStart(), 1);
    EXPECT_EQ(form.SelStart() + form.SelDuration(), 10);
    EXPECT_EQ(form.SelSize(), 9'000u);
}

TEST_F(PartSelect, ZeroDurationGivesZeroSize) {
    form.SetTotalDuration(0);
    form.SetBar(50, 100);
    EXPECT_EQ(form.SelStart(), 0);
    EXPECT_EQ(form.SelDuration(), 0);
    EXPECT_EQ(form.SelSize(), 0u);
    EXPECT_EQ(form.lbSelSize->text(), "0 KB");
}

TEST_F(PartSelect, SizesBeyondTwoAndFourGibibytesStayWhole) {
    struct TCase {
        std::uint64_t Total;
        std::uint64_t Half; // the size of the first half
    };
    // Three hours of stereo at 44.1 kHz, and a recording of 5 GiB.
    const TCase cases[] = {{3ull * 3600 * 176400, 3ull * 3600 * 176400 / 2},
                           {5ull << 30, 5ull << 29}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Total);
        form.SetTotalDuration(600);
        form.SetTotalSize(c.Total);
        EXPECT_EQ(form.SelSize(), c.Total);
        EXPECT_EQ(form.lbSelSize->text(),
                  QLocale().toString(static_cast<qulonglong>((c.Total + 1023) / 1024)) + " KB");
        form.SetBar(2, 150); // 300 s of 600
        EXPECT_EQ(form.SelSize(), c.Half);
        form.SetBar(2, TfrmPartSelect::TrackWidth - 4);
    }
}

TEST_F(PartSelect, DraggingEdgesAndBar) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QWidget* bar = form.Panel4;
    const int full = TfrmPartSelect::TrackWidth - 4;
    const int y = 10;

    // Right edge: 40 px to the left.
    QTest::mouseMove(bar, {full - 2, y});
    EXPECT_EQ(bar->cursor().shape(), Qt::SizeHorCursor);
    QTest::mousePress(bar, Qt::LeftButton, {}, {full - 2, y});
    QMouseEvent move(QEvent::MouseMove, QPointF(full - 42, y),
                     bar->mapToGlobal(QPointF(full - 42, y)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(bar, &move);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, {full - 42, y});
    EXPECT_EQ(form.BarLeft(), 2);
    EXPECT_EQ(form.BarWidth(), full - 40);

    // Left edge: 30 px right, right end fixed.
    QTest::mouseMove(bar, {1, y});
    EXPECT_EQ(bar->cursor().shape(), Qt::SizeHorCursor);
    QTest::mousePress(bar, Qt::LeftButton, {}, {1, y});
    QMouseEvent move2(QEvent::MouseMove, QPointF(31, y), bar->mapToGlobal(QPointF(31, y)),
                      Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &move2);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, {31, y});
    EXPECT_EQ(form.BarLeft(), 32);
    EXPECT_EQ(form.BarLeft() + form.BarWidth(), 2 + full - 40);

    // The middle moves the whole bar, stopped at the track's end.
    const int mid = form.BarWidth() / 2;
    QTest::mouseMove(bar, {mid, y});
    EXPECT_EQ(bar->cursor().shape(), Qt::ArrowCursor);
    QTest::mousePress(bar, Qt::LeftButton, {}, {mid, y});
    QMouseEvent move3(QEvent::MouseMove, QPointF(mid + 500, y),
                      bar->mapToGlobal(QPointF(mid + 500, y)), Qt::NoButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(bar, &move3);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, {mid + 500, y});
    EXPECT_EQ(form.BarWidth(), full - 70);
    EXPECT_EQ(form.BarLeft() + form.BarWidth(), TfrmPartSelect::TrackWidth - 2);
}

TEST_F(PartSelect, OkAndCancelResults) {
    EXPECT_EQ(ExecScripted(form, {[this](QWidget*) { form.Button1->click(); }}), mrOk);
    EXPECT_EQ(ExecScripted(form, {PressEscape()}), mrCancel);
}

} // namespace
