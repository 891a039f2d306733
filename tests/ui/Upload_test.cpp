#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include "audio/WaveAddInfo.h"
#include "audio/Wavefunc.h"
#include "engine/RecClasses.h"
#include "engine/RecClassesBlocks.h"
#include "engine/RecClassesWrite.h"
#include "engine/RecorderUi.h"
#include "i18n/VexaLang.h"
#include "i18n/VexaLangText.h"
#include "platform/ByteOrder.h"
#include "tests/support/ModalScript.h"
#include "tests/support/SlowRecorder.h"
#include "tests/support/WindowImages.h"
#include "transfer/TransferController.h"
#include "ui/Fileutils.h"
#include "ui/FmtChoose.h"
#include "ui/OverWrite.h"
#include "ui/Quorv_main.h"
#include "widgets/Mainutils.h"
#include "widgets/ProgramOptions.h"

namespace {

// A destructive question: warning icon, Yes and No, No the default.
TModalScript::TStep AnswerQuestion(QMessageBox::StandardButton button) {
    return [button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr) << "expected a message box";
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        ASSERT_NE(box->button(QMessageBox::Yes), nullptr);
        ASSERT_NE(box->button(QMessageBox::No), nullptr);
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        box->button(button)->click();
    };
}

TModalScript::TStep Acknowledge() {
    return [](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr) << "expected a message box";
        box->buttons().front()->click();
    };
}

TModalScript::TStep UncompressedFormat() {
    return [](QWidget* modal) {
        auto* dialog = qobject_cast<TfrmFmtChoose*>(modal);
        ASSERT_NE(dialog, nullptr) << "expected the upload format dialog";
        dialog->rbNoCompress->click();
        dialog->Button1->click();
    };
}

void WriteText(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// A blank image holding one recording per number given (a gap leaves a number out), each
// 1 s long; statuses, when given, go to the recordings in order.
void MakeImageWithNumbers(const std::string& path, const std::vector<std::uint16_t>& numbers,
                          const std::vector<std::uint8_t>& statuses = {}) {
    std::vector<TImageRecording> recordings;
    for (std::uint16_t number : numbers)
        recordings.push_back({number, 1.0, TSystemTime{2024, 3, 4, 14, 9, 30, 0, 0}});
    MakeImageOf(path, recordings, statuses);
}

class Upload : public ::testing::Test {
protected:
    void SetUp() override {
        ProgramOptions = TProgramOptions{};
        LangID = BaseLanguageId;
        OldCurrent = QDir::currentPath();
        QDir::setCurrent(Dir.path()); // the demo image is opened by its bare name
    }
    void TearDown() override {
        Window.reset();
        TSlowLink::Reset();
        QDir::setCurrent(OldCurrent);
        ProgramOptions = TProgramOptions{};
    }
    void Connect(const std::vector<std::uint16_t>& numbers,
                 const std::vector<std::uint8_t>& statuses = {}) {
        MakeImageWithNumbers(Dir.filePath("OM_Q70_DEMO.OVK").toStdString(), numbers, statuses);
        ProgramOptions.ConnectType = ConnDemo;
        Window = std::make_unique<TfrmQuorvMain>();
        // A recorder whose operations last, as a real one's, where a test asks for it.
        if (Slow)
            Window->RecorderFactory = [this](std::uint32_t kind) {
                return new TSlowRecorder(kind, InstalledRecorderUi());
            };
        Window->InitMainForm(Dir.filePath("Quorvex"));
        Poll();
        Poll();
        ASSERT_TRUE(Window->IsConnected());
    }
    void Poll() {
        Window->Widgets().Timer1->stop();
        Window->RunIdlePass();
    }
    // The record numbers on the recorder as a fresh read finds them.
    std::vector<std::uint16_t> Numbers() {
        Window->actRecRefreshExecute();
        std::vector<std::uint16_t> numbers;
        for (int i = 0; i < Window->RecordList().Count(); ++i)
            numbers.push_back(Window->RecordList().GetItem(i)->Number);
        std::sort(numbers.begin(), numbers.end());
        return numbers;
    }
    std::vector<std::string> DriveNames() {
        Window->actRecRefreshExecute();
        std::vector<std::string> names;
        TDriveFileList* files = Window->Recorder->GetDriveFileList();
        for (int i = 0; i < files->Count(); ++i)
            names.push_back(files->Get(i)->Name);
        std::sort(names.begin(), names.end());
        return names;
    }
    QString Folder(const QString& name) {
        const QString path = Dir.filePath(name);
        EXPECT_TRUE(QDir().mkpath(path));
        return path;
    }

    QTemporaryDir Dir;
    QString OldCurrent;
    bool Slow = false;
    std::unique_ptr<TfrmQuorvMain> Window;
};

TEST(UploadRateText, PutsTheRateIntoTheFirstIntegerConversionOnly) {
    struct TCase {
        const char* Format;
        const char* Expected;
    } const cases[] = {
        {"Uploading record", "Uploading record"},
        {"Uploading (%d KB/s) record", "Uploading (42 KB/s) record"},
        {"%i%% at %u", "42% at %u"},
        {"bad %s %n %d", "bad %s %n 42"}, // nothing but the integer is ever read
        {"trailing %", "trailing %"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(UploadRateText(c.Format, 42), c.Expected) << c.Format;
}

TEST_F(Upload, EraseAskedNoKeepsEverythingAndYesErasesTheSelectedRecords) {
    Connect({1, 2, 3});
    Window->SelectRows(Window->Widgets().lvRecContent, {0, 2});
    {
        TModalScript script({AnswerQuestion(QMessageBox::No)});
        Window->actRecEraseExecute(Window->Widgets().actRecErase);
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(script.Texts, QStringList{Lang("ReallyEraseSelRecStr")});
    }
    EXPECT_EQ(Numbers(), (std::vector<std::uint16_t>{1, 2, 3}));
    Window->lvRecContentColumnClick(-1); // by number: rows 0 and 2 are records 1 and 3
    Window->SelectRows(Window->Widgets().lvRecContent, {0, 2});
    {
        TModalScript script({AnswerQuestion(QMessageBox::Yes)});
        Window->Widgets().actRecErase->setEnabled(true);
        Window->Widgets()
            .actRecErase->trigger(); // the move actions reach the erase through its action
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(script.Unexpected, 0);
    }
    EXPECT_FALSE(Window->IsBusy());
    EXPECT_EQ(Numbers(), (std::vector<std::uint16_t>{2}));
}

TEST_F(Upload, NonDownloadedRecordsSurviveAnEraseOfAllWithOneBoxEach) {
    ProgramOptions.NonSavedEraseDisable = true;
    Connect({1, 2, 3}, {StatusNotDownloaded, StatusDownloaded, StatusNotDownloaded});
    ProgramOptions.NonSavedEraseDisable = true;
    Window->lvRecContentColumnClick(-1);
    Window->SelectRows(Window->Widgets().lvRecContent, {0, 1, 2});
    EXPECT_TRUE([&] {
        Window->RunIdlePass();
        return Window->Widgets().actRecErase->isEnabled();
    }());
    TModalScript script({AnswerQuestion(QMessageBox::Yes), Acknowledge(), Acknowledge()});
    Window->actRecEraseExecute(nullptr);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(script.Unexpected, 0);
    const QString kept = Lang("RecordNonDownloadedStr");
    EXPECT_EQ(script.Texts,
              (QStringList{Lang("ReallyEraseSelRecStr"), QString(kept).replace("%d", "1"),
                           QString(kept).replace("%d", "3")}));
    EXPECT_EQ(Numbers(), (std::vector<std::uint16_t>{1, 3}));
}

TEST_F(Upload, FormatAsksWithASenderAndStartsAtOnceWithout) {
    Connect({1, 2});
    {
        TModalScript script({AnswerQuestion(QMessageBox::No)});
        Window->actFormatExecute(Window->Widgets().actFormat);
        EXPECT_EQ(script.Texts, QStringList{Lang("RecFormatStr")});
    }
    EXPECT_EQ(Numbers().size(), 2u);
    QStringList shown;
    int lastGauge = -1;
    Window->Seams.ShowProgress = [&](const QString& text, bool) { shown << text; };
    Window->Seams.SetProgress = [&](int percent) { lastGauge = percent; };
    {
        TModalScript script;
        Window->actFormatExecute(nullptr);
        EXPECT_TRUE(script.Texts.isEmpty()) << script.Texts.join('|').toStdString();
        EXPECT_EQ(script.Unexpected, 0);
    }
    EXPECT_EQ(shown, QStringList{Lang("StatusFormatingStr")});
    EXPECT_EQ(lastGauge, 100);
    EXPECT_FALSE(Window->IsBusy());
    EXPECT_TRUE(Numbers().empty());
}

TEST_F(Upload, WavesBecomeRecordsAboveTheHighestNumberAndOtherItemsAreReported) {
    Connect({1, 5});
    const QString wave = Dir.filePath("tone.wav");
    WriteTone(wave.toStdString(), 1.0);
    const QString text = Dir.filePath("notes.txt");
    WriteText(text, "not a wave");
    const QString folder = Folder("sub");
    TModalScript script({UncompressedFormat(), Acknowledge(), Acknowledge()});
    Window->CopyToRecorder({folder, text, wave});
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(script.Unexpected, 0);
    EXPECT_EQ(script.Texts, (QStringList{"sub " + Lang("NotWaveFileStr"),
                                         "notes.txt " + Lang("NotWaveFileStr")}));
    EXPECT_FALSE(Window->IsBusy());
    EXPECT_EQ(Numbers(), (std::vector<std::uint16_t>{1, 5, 6}));
    EXPECT_EQ(Window->NextRecordNumber(), 7);
}

TEST_F(Upload, TheFirstRecordOfAnEmptyRecorderIsOneAndACancelledFormatChoiceUploadsNothing) {
    Connect({});
    EXPECT_EQ(Window->NextRecordNumber(), 1);
    const QString wave = Dir.filePath("tone.wav");
    WriteTone(wave.toStdString(), 0.5);
    {
        TModalScript script({[](QWidget* modal) {
            auto* dialog = qobject_cast<TfrmFmtChoose*>(modal);
            ASSERT_NE(dialog, nullptr);
            dialog->Button2->click();
        }});
        Window->CopyToRecorder({wave});
        EXPECT_TRUE(script.Done());
    }
    EXPECT_TRUE(Numbers().empty());
    {
        TModalScript script({UncompressedFormat()});
        Window->CopyToRecorder({wave});
        EXPECT_EQ(script.Unexpected, 0);
    }
    EXPECT_EQ(Numbers(), (std::vector<std::uint16_t>{1}));
}

TEST_F(Upload, ADriveFolderTreeGoesUpAndAnExistingFileIsAskedAboutButNotItsFolder) {
    Connect({});
    Window->actShowDrvExecute();
    ASSERT_EQ(Window->ViewFlagValue(), 1);
    const QString folder = Folder("docs");
    WriteText(folder + "/a.txt", "first");
    Folder("docs/inner");
    WriteText(folder + "/inner/b.txt", "second file");
    // Each existing file is asked about with the overwrite dialog, without its rename.
    QStringList asked;
    const auto overwrite = [&asked](QWidget* modal) {
        auto* dialog = qobject_cast<TfrmOverwrite*>(modal);
        ASSERT_NE(dialog, nullptr) << "expected the overwrite question";
        EXPECT_TRUE(dialog->RenameBtn->isHidden());
        asked << dialog->FileName();
        dialog->done(mrOverwrite);
    };
    {
        TModalScript script;
        Window->CopyToRecorder({folder});
        EXPECT_TRUE(script.Texts.isEmpty()) << script.Texts.join('|').toStdString();
        EXPECT_EQ(script.Unexpected, 0);
    }
    EXPECT_TRUE(asked.isEmpty());
    // Each folder is an entry of its own (the drive view shows a folder by its entry), and
    // its files carry it in their names.
    const std::vector<std::string> expected = {"docs", "docs\\a.txt", "docs\\inner",
                                               "docs\\inner\\b.txt"};
    EXPECT_EQ(DriveNames(), expected);
    ASSERT_EQ(Window->ShownDriveList().Count(), 1);
    EXPECT_EQ(Window->ShownDriveList().Item(0).Name, "docs");
    EXPECT_TRUE(Window->ShownDriveList().Item(0).IsFolder);

    WriteText(folder + "/a.txt", "changed and longer");
    {
        TModalScript script({overwrite, overwrite});
        Window->CopyToRecorder({folder});
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(script.Unexpected, 0);
    }
    asked.sort();
    EXPECT_EQ(asked, (QStringList{"docs\\a.txt", "docs\\inner\\b.txt"}));
    EXPECT_EQ(DriveNames(), expected); // erased first, so never twice
    TDriveFileList* files = Window->Recorder->GetDriveFileList();
    const int a = files->IndexOfName("docs\\a.txt");
    ASSERT_GE(a, 0);
    EXPECT_EQ(files->Get(a)->Size, 18);
}

TEST_F(Upload, AnOverwriteCountsTheOldFilesBlocksAndKeepsItWhenTheNewOneDoesNotFit) {
    Connect({});
    Window->actShowDrvExecute();
    auto* recorder = dynamic_cast<TRecorder*>(Window->Recorder);
    ASSERT_NE(recorder, nullptr);
    const TDriveFileLayout layout =
        TDriveFileLayout::For(recorder->Geometry(), recorder->GetModelClass());
    const auto bytesFor = [&](std::uint64_t blocks) {
        return QByteArray(static_cast<qsizetype>(blocks * layout.DataPerBlock), 'x');
    };
    const std::uint64_t free = static_cast<std::uint64_t>(recorder->FreeBlocks().Count());
    ASSERT_GT(free, 4u);
    const QString folder = Folder("pc");
    const QString file = folder + "/big.bin";
    // The old file leaves one block free.
    WriteText(file, bytesFor(free - 1));
    {
        TModalScript script;
        Window->CopyToRecorder({file});
        EXPECT_EQ(script.Unexpected, 0);
    }
    ASSERT_EQ(DriveNames(), std::vector<std::string>{"big.bin"});
    const auto overwrite = [](QWidget* modal) {
        auto* dialog = qobject_cast<TfrmOverwrite*>(modal);
        ASSERT_NE(dialog, nullptr) << "expected the overwrite question";
        dialog->done(mrOverwrite);
    };
    const auto acknowledge = [](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr) << "expected the message";
        box->button(QMessageBox::Ok)->click();
    };
    const struct {
        const char* Name;
        std::uint64_t Blocks; // of the new file
        bool Fits;
    } cases[] = {
        {"takesTheOldBlocksAndTheFreeOne", free, true},
        {"needsOneBlockMore", free + 1, false},
    };
    std::int64_t onRecorder = static_cast<std::int64_t>((free - 1) * layout.DataPerBlock);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteText(file, bytesFor(c.Blocks));
        TModalScript script(c.Fits ? std::vector<TModalScript::TStep>{overwrite}
                                   : std::vector<TModalScript::TStep>{overwrite, acknowledge});
        Window->CopyToRecorder({file});
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(script.Unexpected, 0);
        if (!c.Fits) {
            ASSERT_EQ(script.Texts.size(), 1);
            EXPECT_TRUE(script.Texts.first().contains(Lang("DriveFileKeptStr")))
                << script.Texts.first().toStdString();
        }
        ASSERT_EQ(DriveNames(), std::vector<std::string>{"big.bin"});
        if (c.Fits)
            onRecorder = static_cast<std::int64_t>(c.Blocks * layout.DataPerBlock);
        TDriveFileList* files = Window->Recorder->GetDriveFileList();
        EXPECT_EQ(files->Get(files->IndexOfName("big.bin"))->Size, onRecorder);
    }
}

TEST_F(Upload, DriveEraseGoesFromTheLastSelectedEntryToTheFirst) {
    Slow = true;
    Connect({});
    Window->actShowDrvExecute();
    WriteText(Dir.filePath("a.txt"), "first");
    WriteText(Dir.filePath("b.txt"), "second");
    WriteText(Dir.filePath("c.txt"), "third");
    {
        TModalScript script;
        Window->CopyToRecorder(
            {Dir.filePath("a.txt"), Dir.filePath("b.txt"), Dir.filePath("c.txt")});
        EXPECT_TRUE(script.Texts.isEmpty()) << script.Texts.join('|').toStdString();
    }
    ASSERT_EQ(DriveNames(), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    Window->lvDrvContentColumnClick(0);
    ASSERT_EQ(Window->ShownDriveList().Count(), 3);
    QStringList shown;
    Window->Seams.ShowProgress = [&](const QString& text, bool) {
        if (text.startsWith(Lang("StatusErasingStr")))
            shown << text;
    };
    Window->SelectRows(Window->Widgets().lvDrvContent, {0, 2});
    const std::string first = Window->ShownDriveList().Item(0).Name;
    {
        TModalScript script({AnswerQuestion(QMessageBox::No)});
        Window->actRecEraseExecute(Window->Widgets().actRecErase);
        EXPECT_EQ(script.Texts, QStringList{Lang("ReallyEraseSelFilesStr")});
    }
    EXPECT_EQ(DriveNames().size(), 3u);
    Window->lvDrvContentColumnClick(0);
    Window->lvDrvContentColumnClick(0); // the sort kept as it was for the selection
    ASSERT_EQ(Window->ShownDriveList().Item(0).Name, first);
    Window->SelectRows(Window->Widgets().lvDrvContent, {0, 2});
    // Each erase lasts, so each shows the progress form with its entry.
    TSlowLink::HoldMs = 100;
    TModalScript script({AnswerQuestion(QMessageBox::Yes)});
    Window->actRecEraseExecute(Window->Widgets().actRecErase);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(script.Unexpected, 0);
    EXPECT_EQ(DriveNames(), (std::vector<std::string>{"b.txt"}));
    // The collected selection walked backwards.
    const TFileList& selection = Window->SelectedDriveList();
    ASSERT_EQ(selection.Count(), 2);
    EXPECT_NE(selection.Item(0).Name, "b.txt");
    const QStringList order = {
        Lang("StatusErasingStr") + " " + QString::fromStdString(selection.Item(1).Name),
        Lang("StatusErasingStr") + " " + QString::fromStdString(selection.Item(0).Name)};
    EXPECT_EQ(shown, order);
}

// A tone with an add-info record of the given version holding a recording time.
void WriteToneWithAddInfo(const QString& path, int version, const TSystemTime& recorded) {
    TWaveFile wave;
    wave.SetFileName(path.toStdString());
    ASSERT_TRUE(wave.Create());
    std::vector<std::int16_t> samples(4000);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(std::lround(3000 * std::sin(i * 0.2)));
    const auto bytes = static_cast<std::int32_t>(samples.size() * 2);
    ASSERT_EQ(wave.Write(samples.data(), bytes), bytes);
    TWaveAddInfo info;
    info.Version = version;
    info.SerialNumber = u"SN-1";
    info.ModelName = u"Q70";
    info.RecordTime = recorded;
    ASSERT_TRUE(wave.SetAddInfo(BuildWaveAddInfo(info)));
    ASSERT_TRUE(wave.Close());
}

TEST_F(Upload, ARecordingTimeStoredInTheFileWinsOverTheFileTime) {
    Connect({});
    const TSystemTime recorded{2023, 7, 0, 21, 16, 45, 12, 0};
    const QDateTime fileTime(QDate(2022, 2, 3), QTime(4, 5, 6));
    const QString downloaded = Dir.filePath("downloaded.wav");
    const QString older = Dir.filePath("older.wav");
    WriteToneWithAddInfo(downloaded, 5, recorded);
    WriteToneWithAddInfo(older, 4, recorded); // a shorter record keeps no reliable time
    for (const QString& path : {downloaded, older}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(fileTime, QFileDevice::FileModificationTime));
    }
    TModalScript script({UncompressedFormat()});
    Window->CopyToRecorder({downloaded, older});
    EXPECT_EQ(script.Unexpected, 0);
    ASSERT_EQ(Numbers(), (std::vector<std::uint16_t>{1, 2}));
    auto startOf = [&](std::uint16_t number) {
        for (int i = 0; i < Window->RecordList().Count(); ++i)
            if (Window->RecordList().GetItem(i)->Number == number)
                return Window->RecordList().GetItem(i)->Start;
        return TSystemTime{};
    };
    const TSystemTime first = startOf(1);
    EXPECT_EQ(std::vector<int>(
                  {first.Year, first.Month, first.Day, first.Hour, first.Minute, first.Second}),
              std::vector<int>({2023, 7, 21, 16, 45, 12}));
    const TSystemTime second = startOf(2);
    EXPECT_EQ(std::vector<int>({second.Year, second.Month, second.Day, second.Hour, second.Minute,
                                second.Second}),
              std::vector<int>({2022, 2, 3, 4, 5, 6}));
}

} // namespace
