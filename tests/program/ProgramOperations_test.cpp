// The window's long operations as the program runs them: its forms built and wired by the
// program's entry, the real timers and idle passes running, and a recorder whose operations
// take seconds, as a real adapter's do.
#include <chrono>
#include <ctime>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <new>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>

#include "engine/RecClasses.h"
#include "i18n/VexaLang.h"
#include "i18n/VexaLangText.h"
#include "link/RecXchange.h"
#include "tests/program/ProgramFixture.h"
#include "tests/support/ModalScript.h"
#include "tests/support/OperationPauses.h"
#include "tests/support/SlowRecorder.h"
#include "tests/support/WindowImages.h"
#include "ui/FmtChoose.h"
#include "widgets/Mainutils.h"

namespace {

// A recorder whose erase cannot even start, each time with another kind of exception.
class TThrowingRecorder : public TSlowRecorder {
public:
    using TSlowRecorder::TSlowRecorder;
    void EraseSoundFile(std::uint16_t number) override {
        if (Throw)
            Throw();
        else
            TSlowRecorder::EraseSoundFile(number);
    }
    std::function<void()> Throw;
};

class ProgramOperations : public TProgramFixture {
protected:
    void SetUp() override {
        TProgramFixture::SetUp();
        TSlowLink::Reset();
    }
    void TearDown() override {
        TProgramFixture::TearDown();
        TSlowLink::Reset();
    }

    // The program over an image of the given recordings, connected; the default folder is
    // a fresh one.
    TfrmQuorvMain& Connect(const std::vector<double>& seconds,
                           const std::vector<std::uint8_t>& statuses = {}) {
        MakeImage(ImagePath(), seconds, statuses);
        ProgramOptions.ConnectType = ConnImageFile;
        ProgramOptions.ImageFileName = QString::fromStdString(ImagePath());
        Forms = std::make_unique<TProgramForms>();
        TfrmQuorvMain& main = Forms->frmQuorvMain;
        main.RecorderFactory = [this](std::uint32_t kind) -> TCustomRecorder* {
            auto* recorder = new TThrowingRecorder(kind, InstalledRecorderUi());
            Recorder = recorder;
            return recorder;
        };
        Forms->Start(Folder.filePath(QStringLiteral("Quorvex")));
        ProgramOptions.DefFolder = Target();
        QDir().mkpath(Target());
        ProgramOptions.FileNameMask = QStringLiteral("rec_[rn].wav");
        EXPECT_TRUE(WaitInEventLoop([&] { return main.IsConnected() && !main.IsBusy(); }));
        return main;
    }
    // The recordings' statuses as a fresh read finds them.
    std::vector<int> Statuses() {
        TfrmQuorvMain& main = Forms->frmQuorvMain;
        main.actRecRefreshExecute();
        std::vector<int> statuses;
        for (int i = 0; i < main.RecordList().Count(); ++i)
            statuses.push_back(main.RecordList().GetItem(i)->Status);
        return statuses;
    }
    void Select(const std::vector<int>& rows, QAction* action) {
        TfrmQuorvMain& main = Forms->frmQuorvMain;
        main.lvRecContentColumnClick(-1);
        main.SelectRows(main.Widgets().lvRecContent, rows);
        ASSERT_TRUE(WaitInEventLoop([action] { return action->isEnabled(); }));
    }
    std::string ImagePath() const { return Folder.filePath("memory.ovk").toStdString(); }
    QString Target() const { return Folder.filePath("target"); }

    TThrowingRecorder* Recorder = nullptr;
};

// Watches the progress form while an operation runs: it must show for as long as the
// recorder's state reads running.
class TProgressWatch {
public:
    TProgressWatch(TfrmStatus& form, TSlowRecorder& recorder) : Form(form), Recorder(recorder) {
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            if (Recorder.GetState() == StateIdle)
                return;
            ++RunningSamples;
            if (!Form.isVisible())
                ++HiddenWhileRunning;
        });
        Timer.start(20);
    }
    int RunningSamples = 0;
    int HiddenWhileRunning = 0;

private:
    TfrmStatus& Form;
    TSlowRecorder& Recorder;
    QTimer Timer;
};

TEST_F(ProgramOperations, TheProgressFormStaysUpForAsLongAsTheOperationRuns) {
    TfrmQuorvMain& main = Connect({1.0, 1.0});
    TSlowLink::HoldMs = 1500;
    struct TCase {
        const char* Name;
        std::function<void()> Run;
        std::vector<TModalScript::TStep> Answers;
    };
    const TCase cases[] = {
        {"download",
         [&] {
             Select({0}, main.Widgets().actCopyToDefFolder);
             main.Widgets().actCopyToDefFolder->trigger();
         },
         {}},
        {"refresh", [&] { main.Widgets().actRecRefresh->trigger(); }, {}},
        {"erase",
         [&] {
             Select({1}, main.Widgets().actRecErase);
             main.Widgets().actRecErase->trigger();
         },
         {ClickButton(QMessageBox::Yes)}},
        {"format", [&] { main.Widgets().actFormat->trigger(); }, {ClickButton(QMessageBox::Yes)}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        ASSERT_TRUE(WaitInEventLoop([&] { return main.Widgets().actRecRefresh->isEnabled(); }));
        TModalScript script(c.Answers);
        TProgressWatch watch(Forms->frmStatus, *Recorder);
        c.Run();
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(script.Unexpected, 0) << script.Texts.join('|').toStdString();
        // It was seen running; how often the watch ticks meanwhile depends on the load.
        EXPECT_GE(watch.RunningSamples, 1);
        EXPECT_EQ(watch.HiddenWhileRunning, 0);
        EXPECT_FALSE(Forms->frmStatus.isVisible());
        EXPECT_FALSE(main.IsBusy());
    }
}

TEST_F(ProgramOperations, ARefreshLongerThanThePollingPeriodLeavesThePollingAlone) {
    TfrmQuorvMain& main = Connect({1.0});
    TSlowLink::HoldMs = 2500; // more than two periods of Timer1
    TModalScript script;
    ASSERT_TRUE(WaitInEventLoop([&] { return main.Widgets().actRecRefresh->isEnabled(); }));
    main.Widgets().actRecRefresh->trigger();
    EXPECT_TRUE(script.Texts.isEmpty()) << script.Texts.join('|').toStdString();
    EXPECT_EQ(script.Unexpected, 0);
    // The next polls find the recorder as before.
    int ticks = 0;
    QObject counting; // the count ends with the test
    QObject::connect(main.Widgets().Timer1, &QTimer::timeout, &counting, [&ticks] { ++ticks; });
    ASSERT_TRUE(WaitInEventLoop([&] { return ticks >= 2; }));
    EXPECT_TRUE(main.IsConnected());
    EXPECT_TRUE(main.Widgets().actDisconnect->isEnabled());
    EXPECT_TRUE(script.Texts.isEmpty()) << script.Texts.join('|').toStdString();
}

TEST_F(ProgramOperations, CancelInTheProgressFormStopsTheMoveAndKeepsEverything) {
    TfrmQuorvMain& main = Connect({2.0, 2.0}, {StatusNotDownloaded, StatusNotDownloaded});
    // The read is held until the cancel cuts it short, however long the press takes to come.
    TSlowLink::HoldMs = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(testsupport::WaitLimit).count());
    Select({0, 1}, main.Widgets().actMoveToDefFolder);
    TModalScript script;
    // Pressed as a user can: on the form as soon as it shows while the recorder reads.
    bool pressed = false;
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
        if (!pressed && Recorder->GetState() != StateIdle && Forms->frmStatus.isVisible() &&
            Forms->frmStatus.Button1->isEnabled()) {
            Forms->frmStatus.Button1->click();
            pressed = true;
        }
    });
    press.start(5);
    main.Widgets().actMoveToDefFolder->trigger();
    press.stop();
    EXPECT_TRUE(pressed);
    EXPECT_GE(Recorder->Cancels, 1);
    EXPECT_EQ(Recorder->Erases, 0);
    EXPECT_TRUE(script.Texts.isEmpty()) << script.Texts.join('|').toStdString();
    EXPECT_TRUE(QDir(Target()).entryList(QDir::Files).isEmpty());
    TSlowLink::HoldMs = 0;
    EXPECT_EQ(Statuses(), (std::vector<int>{StatusNotDownloaded, StatusNotDownloaded}));
}

TEST_F(ProgramOperations, AnUploadsRateKeepsTheEstimateAndACancelAlreadyPressed) {
    TfrmQuorvMain& main = Connect({1.0});
    const QString wave = Folder.filePath("long.wav");
    WriteTone(wave.toStdString(), 30.0);
    TSlowLink::StepMs = 4;
    TSlowLink::Lockstep = true;
    TfrmStatus& form = Forms->frmStatus;
    bool pressed = false;
    bool reenabled = false;
    bool restarted = false;
    float highest = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!form.isVisible())
            return;
        if (pressed && form.Button1->isEnabled())
            reenabled = true;
        if (highest > 0 && form.GetProgress() < highest)
            restarted = true;
        highest = std::max(highest, form.GetProgress());
        if (!pressed && form.GetProgress() >= 40 &&
            form.lbStatus->text().startsWith(Lang("StatusUploadingRecordStr"))) {
            form.Button1->click();
            pressed = true;
        }
    });
    watch.start(5);
    TModalScript script({[](QWidget* modal) {
        auto* dialog = qobject_cast<TfrmFmtChoose*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->rbNoCompress->click();
        dialog->Button1->click();
    }});
    main.CopyToRecorder({wave});
    watch.stop();
    EXPECT_TRUE(pressed);
    EXPECT_FALSE(reenabled);
    EXPECT_FALSE(restarted);
    EXPECT_GE(Recorder->Cancels, 1);
    EXPECT_EQ(script.Unexpected, 0);
    TSlowLink::StepMs = 0;
    TSlowLink::Lockstep = false;
    EXPECT_EQ(Statuses(), std::vector<int>{StatusUploaded}); // what it wrote is gone
}

TEST_F(ProgramOperations, EveryExceptionLeavesTheWindowUsable) {
    TfrmQuorvMain& main = Connect({1.0});
    const TERecXchange exchange("no answer", CmdEraseBlock, RecErrTimeout);
    struct TCase {
        const char* Name;
        std::function<void()> Throw;
        QString Text;
    };
    const TCase cases[] = {
        {"exchange", [&] { throw exchange; }, ExceptionBoxText(exchange)},
        {"busy", [] { throw ERecorderBusy(); }, QStringLiteral("Recorder is busy")},
        {"memory", [] { throw std::bad_alloc(); }, QString::fromLatin1(std::bad_alloc().what())},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Recorder->Throw = c.Throw;
        Select({0}, main.Widgets().actRecErase);
        TModalScript script({ClickButton(QMessageBox::Yes), ClickButton(QMessageBox::Ok)});
        main.Widgets().actRecErase->trigger();
        EXPECT_TRUE(script.Done());
        ASSERT_EQ(script.Texts.size(), 2);
        EXPECT_EQ(script.Texts[1], c.Text);
        EXPECT_FALSE(main.IsBusy());
        EXPECT_TRUE(main.Widgets().mainPanel->isEnabled());
        EXPECT_TRUE(WaitInEventLoop([&] { return main.Widgets().actRecRefresh->isEnabled(); }));
    }
    EXPECT_TRUE(main.close()); // closing is refused only while an operation runs
}

TEST_F(ProgramOperations, WaitingForTheRecorderSleepsBetweenPolls) {
    TfrmQuorvMain& main = Connect({1.0});
    const QString file = Folder.filePath("notes.txt");
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QByteArray(5000, 'n'));
    }
    TSlowLink::HoldMs = 1500;
    struct TCase {
        const char* Name;
        std::function<void()> Run;
    };
    const TCase cases[] = {
        {"format", [&] { main.actFormatExecute(nullptr); }},
        {"drive upload",
         [&] {
             main.actShowDrvExecute();
             main.CopyToRecorder({file});
         }},
        {"erase",
         [&] {
             main.actShowRecExecute();
             main.actRecRefreshExecute();
             main.SelectRows(main.Widgets().lvRecContent, {0});
             main.actRecEraseExecute(main.Widgets().actRecErase);
         }},
    };
    testsupport::TOperationPauses pauses([this] { return Recorder->StatePolls.load(); });
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TModalScript script({ClickButton(QMessageBox::Yes)});
        Recorder->StatePolls = 0;
        pauses.Restart();
        c.Run();
        // The wait went round while the recorder held the operation, and it paused before
        // each poll: a handful of state reads between two pauses, where a wait that spins
        // reads it as often as the processor lets it.
        EXPECT_GE(pauses.Count(), 2);
        EXPECT_GT(pauses.ShortestPause().count(), 0);
        EXPECT_LE(pauses.MostReadsBetweenPauses(), 16) << Recorder->StatePolls << " polls in all";
        EXPECT_EQ(script.Unexpected, 0) << script.Texts.join('|').toStdString();
    }
}

TEST_F(ProgramOperations, CopyAndMoveToThePcNeedTheExplorer) {
    TfrmQuorvMain& main = Connect({1.0});
    Select({0}, main.Widgets().actCopyToPC);
    EXPECT_TRUE(main.Widgets().actMoveToPC->isEnabled());
    main.Widgets().actViewExp->trigger(); // the explorer goes
    ASSERT_TRUE(WaitInEventLoop([&] { return !main.Widgets().actCopyToPC->isEnabled(); }));
    EXPECT_FALSE(main.Widgets().actMoveToPC->isEnabled());
    EXPECT_TRUE(main.Widgets().actCopyToDefFolder->isEnabled());
    EXPECT_TRUE(main.Widgets().actMoveToDefFolder->isEnabled());
}

TEST_F(ProgramOperations, TheAutomaticDeleteErasesOnlyWhatTheAutomaticDownloadFetched) {
    ProgramOptions.AutoDownload = true;
    ProgramOptions.AutoDelete = true;
    // The first refresh downloads and erases on the first poll; the folder in the way of
    // the second file is there before it.
    ASSERT_TRUE(QDir().mkpath(Target() + "/rec_2.wav"));
    TModalScript script({ClickButton(QMessageBox::Ok), ClickButton(QMessageBox::Yes)});
    TfrmQuorvMain& main =
        Connect({1.0, 1.0, 1.0}, {StatusNotDownloaded, StatusNotDownloaded, StatusNotDownloaded});
    EXPECT_TRUE(script.Done());
    ASSERT_EQ(script.Texts.size(), 2) << script.Texts.join('|').toStdString();
    EXPECT_TRUE(script.Texts[0].startsWith(Lang("CantCreateStr") + " rec_2.wav"));
    EXPECT_EQ(script.Texts[1], Lang("ReallyEraseSelRecStr"));
    EXPECT_EQ(Statuses(), std::vector<int>{StatusNotDownloaded});
    EXPECT_EQ(main.RecordList().GetItem(0)->Number, 2);
    EXPECT_TRUE(QFileInfo(Target() + "/rec_1.wav").isFile());
    EXPECT_TRUE(QFileInfo(Target() + "/rec_3.wav").isFile());
}

// The system's reason inside a translated message is in the same language.
TEST_F(ProgramOperations, ADownloadThatCannotCreateItsFileSaysWhyInTheProgramsLanguage) {
    const std::pair<std::uint16_t, const char*> cases[] = {{1031, "Ist ein Ordner"},
                                                           {1049, "Это папка"}};
    for (const auto& [language, reason] : cases) {
        SCOPED_TRACE(language);
        Forms.reset();
        LangID = language;
        TfrmQuorvMain& main = Connect({1.0});
        ASSERT_EQ(LangManager()->GetCurrentLanguageID(), language);
        ASSERT_TRUE(QDir().mkpath(Target() + "/rec_1.wav")); // a folder in the file's way
        Select({0}, main.Widgets().actCopyToDefFolder);
        TModalScript script({ClickButton(QMessageBox::Ok)});
        main.Widgets().actCopyToDefFolder->trigger();
        ASSERT_TRUE(WaitInEventLoop([&] { return script.Done() && !main.IsBusy(); }));
        ASSERT_EQ(script.Texts.size(), 1);
        EXPECT_EQ(script.Texts[0],
                  Lang("CantCreateStr") + " rec_1.wav\n" + QString::fromUtf8(reason));
        QDir(Target()).removeRecursively();
    }
}

} // namespace
