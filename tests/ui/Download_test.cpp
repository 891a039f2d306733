#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include "audio/Wavefunc.h"
#include "engine/RecClasses.h"
#include "engine/RecorderUi.h"
#include "i18n/VexaLang.h"
#include "i18n/VexaLangText.h"
#include "platform/ByteOrder.h"
#include "platform/PosixFile.h"
#include "tests/support/ModalScript.h"
#include "tests/support/WindowImages.h"
#include "ui/Fileutils.h"
#include "ui/OverWrite.h"
#include "ui/Quorv_main.h"
#include "widgets/ProgramOptions.h"

namespace {

TModalScript::TStep AnswerOverwrite(int result) {
    return [result](QWidget* modal) {
        auto* dialog = qobject_cast<TfrmOverwrite*>(modal);
        ASSERT_NE(dialog, nullptr) << "expected the overwrite question";
        dialog->done(result);
    };
}

// Puts one file of the given bytes on the image's flash drive.
void AddDriveFile(const std::string& image, const std::string& name, const std::string& bytes) {
    TPlainUploadUi ui;
    TRecorder recorder(ConnDemo, ui);
    recorder.SetImageFileName(image);
    ASSERT_TRUE(recorder.IsConnected());
    recorder.Refresh();
    recorder.WaitForOperation();
    const std::string source = image + ".src";
    std::ofstream(source, std::ios::binary) << bytes;
    TPosixFile file;
    ASSERT_TRUE(file.Open(source, TPosixFile::TMode::ReadOnly));
    recorder.WriteDriveFile(name, &file, TSystemTime{2024, 5, 3, 6, 7, 8, 9, 0});
    recorder.WaitForOperation();
    ASSERT_EQ(recorder.GetOutcome().Kind, TOperationOutcome::TKind::Succeeded)
        << recorder.GetOutcome().Message;
    file.Close();
    std::remove(source.c_str());
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class Download : public ::testing::Test {
protected:
    void SetUp() override {
        ProgramOptions = TProgramOptions{};
        LangID = BaseLanguageId;
        ASSERT_TRUE(QDir().mkpath(Target()));
    }
    void TearDown() override {
        Window.reset();
        ProgramOptions = TProgramOptions{};
    }
    // Connects over the image and shows its content.
    void Start() {
        ProgramOptions.ConnectType = ConnImageFile;
        ProgramOptions.ImageFileName = QString::fromStdString(ImagePath());
        Window = std::make_unique<TfrmQuorvMain>();
        Window->InitMainForm(Dir.filePath("Quorvex"));
        ProgramOptions.DefFolder = Target();
        ProgramOptions.FileNameMask = QStringLiteral("rec_[rn].wav");
        Poll();
        Poll();
        ASSERT_TRUE(Window->IsConnected());
    }
    void Poll() {
        Window->Widgets().Timer1->stop();
        Window->RunIdlePass();
    }
    QString Status(int row) const {
        return Window->Widgets().RecModel->index(row, 5).data().toString();
    }
    std::string ImagePath() const { return Dir.filePath("memory.ovk").toStdString(); }
    QString Target() const { return Dir.filePath("out"); }
    QString TargetFile(const char* name) const { return Target() + "/" + name; }

    QTemporaryDir Dir;
    std::unique_ptr<TfrmQuorvMain> Window;
};

TEST_F(Download, CopyWritesOneWaveFilePerRecordAndMarksOnlyTheNotDownloadedOnes) {
    MakeImage(ImagePath(), {1.0, 1.0, 1.5}, {StatusNotDownloaded, StatusDownloaded});
    Start();
    TModalScript script;
    Window->SelectRows(Window->Widgets().lvRecContent, {0, 1, 2});
    Poll();
    ASSERT_TRUE(Window->Widgets().actCopyToDefFolder->isEnabled());
    QStringList shown;
    Window->Seams.ShowProgress = [&](const QString& text, bool) { shown << text; };
    Window->Widgets().actCopyToDefFolder->trigger();

    EXPECT_EQ(script.Texts.size() + script.Unexpected, 0) << script.Texts.join('|').toStdString();
    const QString label = Lang("StatusDownloadingRecordStr") + " ";
    EXPECT_EQ(shown, (QStringList{label + "1", label + "2", label + "3"}));
    for (const char* name : {"rec_1.wav", "rec_2.wav", "rec_3.wav"}) {
        TWaveFile wave;
        wave.SetFileName(TargetFile(name).toStdString());
        ASSERT_TRUE(wave.Open()) << name;
        EXPECT_GT(wave.GetDataSize(), 8000u) << name;
    }
    EXPECT_EQ(QDir(Target()).entryList(QDir::Files).size(), 3); // no temporary left
    EXPECT_EQ(Status(0), Lang("rsDownloadedStr"));
    EXPECT_EQ(Status(1), Lang("rsDownloadedStr"));
    EXPECT_EQ(Status(2), Lang("rsUploadedStr"));
    // The mark is on the recorder, not only in the list.
    Window->actRecRefreshExecute();
    EXPECT_EQ(Status(0), Lang("rsDownloadedStr"));
    EXPECT_FALSE(Window->IsBusy());
}

TEST_F(Download, AMissingTargetFolderIsReportedAndNothingIsRead) {
    MakeImage(ImagePath(), {1.0}, {StatusNotDownloaded});
    Start();
    ProgramOptions.DefFolder = Dir.filePath("nowhere");
    TModalScript script({[](QWidget* modal) { qobject_cast<QDialog*>(modal)->accept(); }});
    Window->SelectRows(Window->Widgets().lvRecContent, {0});
    Window->actMoveToDefFolderExecute();
    ASSERT_EQ(script.Texts.size(), 1);
    EXPECT_EQ(script.Texts[0], Lang("PathNotFoundStr") + " " + Dir.filePath("nowhere"));
    EXPECT_FALSE(QFileInfo::exists(Dir.filePath("nowhere")));
    EXPECT_EQ(Status(0), Lang("rsNonDownloadedStr"));
    EXPECT_EQ(Window->RecordList().Count(), 1); // the move erased nothing
    EXPECT_FALSE(Window->IsBusy());
}

TEST_F(Download, TheOverwriteAnswersKeepSkipOrStopTheBatch) {
    struct TCase {
        int Answer;
        bool FirstReplaced;
        bool SecondWritten;
    };
    // Skip keeps the old file and goes on; skip-all also passes over later existing files;
    // cancel stops before the next record.
    const TCase cases[] = {
        {mrSkip, false, true}, {mrOverwrite, true, true}, {mrCancelBatch, false, false}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Answer);
        MakeImage(ImagePath(), {1.0, 1.0}, {StatusNotDownloaded, StatusNotDownloaded});
        Start();
        QFile old(TargetFile("rec_1.wav"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old content");
        old.close();
        TModalScript script({AnswerOverwrite(c.Answer)});
        Window->SelectRows(Window->Widgets().lvRecContent, {0, 1});
        Window->actCopyToDefFolderExecute();
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(script.Unexpected, 0);
        EXPECT_EQ(ReadAll(TargetFile("rec_1.wav")) == "old content", !c.FirstReplaced);
        EXPECT_EQ(QFileInfo::exists(TargetFile("rec_2.wav")), c.SecondWritten);
        // A record whose file was not written stays not downloaded.
        EXPECT_EQ(Status(0),
                  c.FirstReplaced ? Lang("rsDownloadedStr") : Lang("rsNonDownloadedStr"));
        EXPECT_EQ(Status(1),
                  c.SecondWritten ? Lang("rsDownloadedStr") : Lang("rsNonDownloadedStr"));
        Window.reset();
        QDir(Target()).removeRecursively();
        QDir().mkpath(Target());
        std::remove(ImagePath().c_str());
    }
}

TEST_F(Download, ARenamedTargetStaysInTheTargetFolder) {
    const struct {
        const char* Typed;
        const char* Written;
    } cases[] = {{"renamed.wav", "renamed.wav"},
                 {"../escaped.wav", "escaped.wav"},
                 // No resource path of Qt's: a name like any other, not one of the current folder.
                 {":colon.wav", ":colon.wav"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Typed);
        MakeImage(ImagePath(), {1.0}, {StatusNotDownloaded});
        Start();
        QFile old(TargetFile("rec_1.wav"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old content");
        old.close();
        const QString typed = c.Typed[0] == '.' ? Target() + "/" + c.Typed : QString(c.Typed);
        TModalScript script({[typed](QWidget* modal) {
            auto* dialog = qobject_cast<TfrmOverwrite*>(modal);
            ASSERT_NE(dialog, nullptr);
            dialog->SetFileName(typed);
            dialog->done(mrOverwrite);
        }});
        Window->SelectRows(Window->Widgets().lvRecContent, {0});
        Window->actCopyToDefFolderExecute();
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(ReadAll(TargetFile("rec_1.wav")), "old content");
        EXPECT_TRUE(QFileInfo(TargetFile(c.Written)).isFile());
        EXPECT_FALSE(QFileInfo::exists(Dir.filePath("escaped.wav")));
        EXPECT_FALSE(std::filesystem::exists(":colon.wav"));
        EXPECT_EQ(Status(0), Lang("rsDownloadedStr"));
        Window.reset();
        QDir(Target()).removeRecursively();
        QDir().mkpath(Target());
        std::remove(ImagePath().c_str());
    }
}

TEST_F(Download, MoveErasesOnlyTheRecordsThatReachedThePc) {
    MakeImage(ImagePath(), {1.0, 1.0}, {StatusNotDownloaded, StatusNotDownloaded});
    Start();
    QFile old(TargetFile("rec_1.wav"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old content");
    old.close();
    // Record 1 is skipped at the overwrite question; the erase question is answered yes.
    TModalScript script({AnswerOverwrite(mrSkip), ClickButton(QMessageBox::Yes)});
    Window->SelectRows(Window->Widgets().lvRecContent, {0, 1});
    Window->actMoveToDefFolderExecute();
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(script.Unexpected, 0);
    EXPECT_EQ(ReadAll(TargetFile("rec_1.wav")), "old content");
    EXPECT_TRUE(QFileInfo::exists(TargetFile("rec_2.wav")));
    Window->actRecRefreshExecute();
    ASSERT_EQ(Window->RecordList().Count(), 1);
    EXPECT_EQ(Window->RecordList().GetItem(0)->Number, 1);
}

TEST_F(Download, AnOutputThatCannotBeWrittenLeavesTheRecordNotDownloaded) {
    MakeImage(ImagePath(), {1.0, 1.0}, {StatusNotDownloaded, StatusNotDownloaded});
    Start();
    // A folder stands where the first file would go: it can never be replaced, so nothing
    // is asked and nothing read for it; the box names the file and the reason.
    ASSERT_TRUE(QDir().mkpath(TargetFile("rec_1.wav")));
    TModalScript script({[](QWidget* modal) { qobject_cast<QDialog*>(modal)->accept(); }});
    Window->SelectRows(Window->Widgets().lvRecContent, {0, 1});
    Window->actCopyToDefFolderExecute();
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(script.Unexpected, 0);
    ASSERT_EQ(script.Texts.size(), 1);
    EXPECT_EQ(script.Texts[0], Lang("CantCreateStr") + " rec_1.wav\n" +
                                   QString::fromStdString(std::strerror(EISDIR)));
    EXPECT_TRUE(QFileInfo(TargetFile("rec_1.wav")).isDir());
    EXPECT_EQ(Status(0), Lang("rsNonDownloadedStr"));
    // The batch went on with the next record.
    EXPECT_TRUE(QFileInfo(TargetFile("rec_2.wav")).isFile());
    EXPECT_EQ(Status(1), Lang("rsDownloadedStr"));
    Window->actRecRefreshExecute();
    EXPECT_EQ(Status(0), Lang("rsNonDownloadedStr"));
}

TEST_F(Download, TheRawFormatWritesItsLengthInTheHeaderAndMarksNothing) {
    MakeImage(ImagePath(), {1.0}, {StatusNotDownloaded});
    Start();
    ProgramOptions.SorvaneFormat = true;
    TModalScript script;
    Window->SelectRows(Window->Widgets().lvRecContent, {0});
    Window->actCopyToDefFolderExecute();
    EXPECT_EQ(script.Texts.size() + script.Unexpected, 0) << script.Texts.join('|').toStdString();
    EXPECT_FALSE(QFileInfo::exists(TargetFile("rec_1.wav")));
    const QByteArray raw = ReadAll(TargetFile("rec_1.raw"));
    ASSERT_GT(raw.size(), 128 + 10000); // about 11150 samples of two bytes for one second
    EXPECT_EQ(GetU32(reinterpret_cast<const std::uint8_t*>(raw.constData())),
              static_cast<std::uint32_t>(raw.size()));
    EXPECT_EQ(Status(0), Lang("rsNonDownloadedStr"));
}

TEST_F(Download, ADriveFileArrivesWholeUnderItsSanitisedName) {
    MakeImage(ImagePath(), {});
    AddDriveFile(ImagePath(), "notes..txt", std::string(3000, 'q') + "end");
    Start();
    Window->actShowDrvExecute();
    ASSERT_EQ(Window->ShownDriveList().Count(), 1);
    TModalScript script;
    Window->SelectRows(Window->Widgets().lvDrvContent, {0});
    QStringList shown;
    Window->Seams.ShowProgress = [&](const QString& text, bool) { shown << text; };
    Window->actCopyToDefFolderExecute();
    EXPECT_EQ(script.Texts.size() + script.Unexpected, 0) << script.Texts.join('|').toStdString();
    EXPECT_EQ(shown, QStringList{Lang("StatusDownloadingFileStr") + " notes..txt"});
    EXPECT_EQ(ReadAll(TargetFile("notes..txt")), QByteArray(3000, 'q') + "end");
    EXPECT_EQ(QDir(Target()).entryList(QDir::Files).size(), 1);
}

// A drive file one of whose 249-byte slots the code cannot correct: the move keeps the file
// on the PC with every byte that could be read, tells the user where the damage is, and
// leaves the recorder's copy alone.
TEST_F(Download, ADamagedDriveFileIsKeptShownAndNotErasedByAMove) {
    MakeImage(ImagePath(), {});
    const std::string content(5000, 'q');
    AddDriveFile(ImagePath(), "notes.txt", content);
    std::uint32_t block = 0;
    {
        TPlainUploadUi ui;
        TRecorder recorder(ConnImageFile, ui);
        recorder.SetImageFileName(ImagePath());
        ASSERT_TRUE(recorder.IsConnected());
        recorder.Refresh();
        recorder.WaitForOperation();
        ASSERT_EQ(recorder.GetDriveFileList()->Count(), 1);
        block = recorder.GetDriveFileList()->Get(0)->Blocks.Get(0).Block;
    }
    {
        // Slot 0 of the block's page 1: four bytes changed, more than the code corrects.
        TPosixFile image;
        ASSERT_TRUE(image.Open(ImagePath(), TPosixFile::TMode::ReadWrite));
        const std::uint64_t slot = 2112 + (std::uint64_t{block} * 64 + 1) * 2112;
        for (const std::uint64_t at : {10u, 60u, 110u, 250u}) {
            std::uint8_t byte = 0;
            ASSERT_TRUE(image.ReadExact(slot + at, &byte, 1));
            byte ^= 0x5A;
            ASSERT_TRUE(image.WriteExact(slot + at, &byte, 1));
        }
    }
    Start();
    Window->actShowDrvExecute();
    ASSERT_EQ(Window->ShownDriveList().Count(), 1);
    TModalScript script;
    Window->SelectRows(Window->Widgets().lvDrvContent, {0});
    Window->actMoveToDefFolderExecute();
    EXPECT_EQ(script.Texts,
              QStringList{"ECC UNCORRECTABLE ERROR: the file notes.txt was saved, but it holds "
                          "bytes that could not be corrected, in page 1 of block 0."});
    const QByteArray saved = ReadAll(TargetFile("notes.txt"));
    ASSERT_EQ(saved.size(), 5000);
    EXPECT_EQ(saved.mid(249), QByteArray(5000 - 249, 'q'));
    Window->actRecRefreshExecute();
    EXPECT_EQ(Window->Recorder->GetDriveFileList()->Count(), 1) << "the recorder keeps its copy";
}

TEST_F(Download, CopySelectedPartIsOfferedForOneWholeRecordingOnly) {
    MakeImage(ImagePath(), {1.0, 1.0});
    Start();
    struct TCase {
        std::vector<int> Rows;
        bool DisableEditor;
        bool Enabled;
    };
    const TCase cases[] = {
        {{0}, false, true}, {{0, 1}, false, false}, {{}, false, false}, {{1}, true, false}};
    for (const TCase& c : cases) {
        ProgramOptions.DisableEditor = c.DisableEditor;
        Window->SelectRows(Window->Widgets().lvRecContent, c.Rows);
        Poll();
        EXPECT_EQ(Window->Widgets().actCopySelPart->isEnabled(), c.Enabled)
            << c.Rows.size() << " " << c.DisableEditor;
    }
    ProgramOptions.DisableEditor = false;
    Window->SelectRows(Window->Widgets().lvRecContent, {0});
    // Cancelling the part selection writes nothing for that record.
    TModalScript script({[](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); }});
    Window->actCopySelPartExecute();
    EXPECT_TRUE(script.Done());
    EXPECT_TRUE(QDir(Target()).entryList(QDir::Files).isEmpty());
}

} // namespace
