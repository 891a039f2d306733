#include <cmath>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include "audio/Wavefunc.h"
#include "engine/RecClasses.h"
#include "engine/RecorderUi.h"
#include "i18n/VexaLang.h"
#include "i18n/VexaLangText.h"
#include "link/ImageFile.h"
#include "link/RecXchange.h"
#include "platform/ByteOrder.h"
#include "tests/common/SimulatedAdapter.h"
#include "tests/support/EventLoopWait.h"
#include "tests/support/ModalScript.h"
#include "tests/support/WindowImages.h"
#include "ui/FmtChoose.h"
#include "ui/Quorv_main.h"
#include "widgets/Mainutils.h"
#include "widgets/PassDlg.h"
#include "widgets/ProgramOptions.h"

namespace {

TModalScript::TStep TypePassword(const QString& password) {
    return [password](QWidget* modal) {
        auto* dialog = qobject_cast<TPasswordDlg*>(modal);
        ASSERT_NE(dialog, nullptr) << "expected the password dialog";
        EXPECT_EQ(dialog->Label1->text(), Lang("AccessQuestionStr"));
        EXPECT_TRUE(dialog->Password->text().isEmpty());
        dialog->Password->setText(password);
        dialog->OKBtn->click();
    };
}

TModalScript::TStep CancelPassword() {
    return [](QWidget* modal) {
        auto* dialog = qobject_cast<TPasswordDlg*>(modal);
        ASSERT_NE(dialog, nullptr) << "expected the password dialog";
        dialog->CancelBtn->click();
    };
}

TModalScript::TStep Answer(QMessageBox::StandardButton button) {
    return [button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr) << "expected a message box";
        ASSERT_NE(box->button(button), nullptr);
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        box->button(button)->click();
    };
}

// Stores an access password in the image's settings record.
void SetImagePassword(const std::string& path, const std::string& password) {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    TImageHeader header{};
    file.read(reinterpret_cast<char*>(header.data()), header.size());
    std::fill_n(&header[ImgPasswordOfs], 20, 0xFF);
    std::memcpy(&header[ImgPasswordOfs], password.data(), password.size());
    header[ImgPasswordOfs + password.size()] = 0;
    PutU16(&header[ImgCrcOfs], ImageHeaderCrc(header));
    file.seekp(0);
    file.write(reinterpret_cast<const char*>(header.data()), header.size());
}

class Connection : public ::testing::Test {
protected:
    void SetUp() override {
        ProgramOptions = TProgramOptions{};
        LangID = BaseLanguageId;
        OldCurrent = QDir::currentPath();
        // The demo image is opened by its bare name, so from here.
        QDir::setCurrent(Dir.path());
    }
    void TearDown() override {
        Window.reset();
        QDir::setCurrent(OldCurrent);
        ProgramOptions = TProgramOptions{};
    }
    void Start(std::int32_t kind, const QString& image = QString()) {
        ProgramOptions.ConnectType = kind;
        ProgramOptions.ImageFileName = image;
        Window = std::make_unique<TfrmQuorvMain>();
        Window->InitMainForm(Dir.filePath("Quorvex"));
    }
    // One polling pass, as when Timer1 has ticked.
    void Poll() {
        Window->Widgets().Timer1->stop();
        Window->RunIdlePass();
    }
    QString Cell(int row, int column) const {
        return Window->Widgets().RecModel->index(row, column).data().toString();
    }
    std::string ImagePath() const { return Dir.filePath("memory.ovk").toStdString(); }

    QTemporaryDir Dir;
    QString OldCurrent;
    std::unique_ptr<TfrmQuorvMain> Window;
};

TEST_F(Connection, TheDemoKindConnectsOverItsImageAndShowsTheRecordings) {
    MakeImage(Dir.filePath("OM_Q70_DEMO.OVK").toStdString(), {2.5, 1.2});
    ProgramOptions.ConnectType = ConnDemo;
    Window = std::make_unique<TfrmQuorvMain>();
    TModalScript script;
    Window->RunIdlePass(); // before the initialisation a pass only sets the title
    EXPECT_EQ(Window->Recorder, nullptr);
    Window->InitMainForm(Dir.filePath("Quorvex"));

    Poll(); // creates the recorder object
    ASSERT_NE(Window->Recorder, nullptr);
    EXPECT_FALSE(Window->IsConnected());
    Poll(); // connects and reads the content
    ASSERT_TRUE(Window->IsConnected());
    EXPECT_TRUE(script.Texts.isEmpty()) << script.Texts.join('|').toStdString();

    EXPECT_EQ(Window->windowTitle(), ApplicationTitle() + " - " + Lang("DemoModeStr"));
    EXPECT_EQ(Window->Widgets().lbDemo->text(), Lang("DemoModeStr"));
    EXPECT_TRUE(Window->Widgets().pnlBattery->isHidden());
    EXPECT_TRUE(Window->Widgets().pnlRecTime->isHidden());
    EXPECT_FALSE(Window->Widgets().pnlStatus->isHidden());
    EXPECT_TRUE(Window->Widgets().lbModel->text().startsWith(" " + Lang("ModelStr") + " "));
    EXPECT_TRUE(Window->Widgets().lbTotalMem->text().endsWith(" MB "));
    EXPECT_TRUE(Window->Widgets().lbErrorState->isHidden());
    EXPECT_TRUE(Window->Widgets().actDisconnect->isEnabled());
    EXPECT_TRUE(Window->Widgets().actRecRefresh->isEnabled());
    EXPECT_FALSE(Window->Widgets().actSyncClock->isEnabled()); // the emulation has no clock to set

    ASSERT_EQ(Window->Widgets().RecModel->rowCount(), 2);
    EXPECT_EQ(Cell(0, 0), "1");
    EXPECT_EQ(Cell(0, 2), "14.03.2024 09:30:01");
    EXPECT_EQ(Cell(0, 3), "00:00:02");
    EXPECT_EQ(Cell(0, 5), Lang("rsUploadedStr"));
    EXPECT_EQ(Cell(1, 0), "2");
    EXPECT_TRUE(Cell(1, 1).endsWith(" KB"));

    // Ctrl+S in the demo kind marks the record not downloaded, on the recorder too.
    Window->SelectRows(Window->Widgets().lvRecContent, {1});
    EXPECT_TRUE(Window->lvRecContentKeyDown(Qt::Key_S, Qt::ControlModifier));
    EXPECT_EQ(Cell(1, 5), Lang("rsNonDownloadedStr"));
    Window->actRecRefreshExecute();
    EXPECT_EQ(Cell(1, 5), Lang("rsNonDownloadedStr"));
    EXPECT_EQ(Cell(0, 5), Lang("rsUploadedStr"));

    // Sorting by duration puts the shorter second record first.
    Window->lvRecContentColumnClick(3);
    EXPECT_EQ(Cell(0, 0), "2");
    EXPECT_EQ(script.Unexpected, 0);
}

TEST_F(Connection, TheRefreshFeedsTheProgressFormAndThePassClosesIt) {
    MakeImage(Dir.filePath("OM_Q70_DEMO.OVK").toStdString(), {1.0});
    Start(ConnDemo);
    QStringList shown;
    std::vector<int> gauge;
    int closed = 0;
    Window->Seams.ShowProgress = [&](const QString& text, bool cancelAllowed) {
        shown << text;
        EXPECT_FALSE(cancelAllowed);
    };
    Window->Seams.SetProgress = [&](int percent) { gauge.push_back(percent); };
    Window->Seams.CloseProgress = [&] { ++closed; };
    TModalScript script;
    Poll();
    Poll();
    ASSERT_TRUE(Window->IsConnected());
    EXPECT_EQ(shown, QStringList{Lang("StatusRefreshingStr")});
    ASSERT_FALSE(gauge.empty());
    EXPECT_EQ(gauge.front(), 0);
    EXPECT_EQ(gauge.back(), 100);
    EXPECT_TRUE(std::is_sorted(gauge.begin(), gauge.end()));
    EXPECT_EQ(closed, 1);
    Poll(); // nothing changed: no refresh, nothing more to close
    EXPECT_EQ(shown.size(), 1);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(Connection, DisconnectSwitchesTheRecorderOffAndConnectBringsTheContentBack) {
    MakeImage(Dir.filePath("OM_Q70_DEMO.OVK").toStdString(), {1.0, 1.5});
    Start(ConnDemo);
    TModalScript script;
    Poll();
    Poll();
    ASSERT_EQ(Window->Widgets().RecModel->rowCount(), 2);
    Window->actDisconnectExecute();
    Poll();
    EXPECT_FALSE(Window->IsConnected());
    EXPECT_EQ(Window->Widgets().RecModel->rowCount(), 0);
    EXPECT_EQ(Window->RecordList().Count(), 0);
    EXPECT_TRUE(Window->Widgets().actConnect->isEnabled());
    EXPECT_FALSE(Window->Widgets().actDisconnect->isEnabled());
    Window->actConnectExecute();
    Poll();
    EXPECT_TRUE(Window->IsConnected());
    EXPECT_EQ(Window->Widgets().RecModel->rowCount(), 2);
    EXPECT_EQ(script.Unexpected + script.Texts.size(), 0);
}

TEST_F(Connection, AutomaticDownloadFetchesTheWholeRecordsIntoTheDefaultFolder) {
    struct TCase {
        bool NonDownOnly;
        std::vector<int> Rows;
        int Files;
    };
    const TCase cases[] = {{true, {1}, 1}, {false, {0, 1, 2}, 3}};
    for (const TCase& c : cases) {
        MakeImage(ImagePath(), {1.0, 1.0, 1.0}, {StatusDownloaded, StatusNotDownloaded});
        QTemporaryDir target;
        ProgramOptions = TProgramOptions{};
        ProgramOptions.AutoDownload = true;
        ProgramOptions.NonDownOnly = c.NonDownOnly;
        Start(ConnImageFile, QString::fromStdString(ImagePath()));
        // The default folder as the settings would give it; the initialisation replaces a
        // missing one, so it is set once the window exists.
        ProgramOptions.DefFolder = target.path();
        TModalScript script;
        Poll();
        Poll();
        ASSERT_TRUE(Window->IsConnected());
        EXPECT_EQ(Window->SelectedRows(Window->Widgets().lvRecContent), c.Rows) << c.NonDownOnly;
        EXPECT_EQ(QDir(target.path()).entryList(QDir::Files).size(), c.Files) << c.NonDownOnly;
        // What was not downloaded yet is now; an uploaded recording keeps its status.
        EXPECT_EQ(Cell(0, 5), Lang("rsDownloadedStr"));
        EXPECT_EQ(Cell(1, 5), Lang("rsDownloadedStr"));
        EXPECT_EQ(Cell(2, 5), Lang("rsUploadedStr"));
        EXPECT_EQ(script.Unexpected, 0);
        Window.reset();
        std::remove(ImagePath().c_str());
    }
}

TEST_F(Connection, AWrongPasswordIsAskedAgainUntilTheRightOneOpensTheRecorder) {
    MakeImage(ImagePath(), {1.0});
    SetImagePassword(ImagePath(), "secret");
    Start(ConnImageFile, QString::fromStdString(ImagePath()));
    EXPECT_EQ(Window->Widgets().lbDemo->text(), QString()); // set when the recorder object exists
    TModalScript script({TypePassword("wrong"), Answer(QMessageBox::No), TypePassword("secret")});
    Poll();
    EXPECT_EQ(Window->Widgets().lbDemo->text(), QStringLiteral("memory.ovk"));
    Poll();
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(script.Unexpected, 0);
    ASSERT_EQ(script.Texts.size(), 1);
    EXPECT_EQ(script.Texts[0], Lang("InvalidPwdStr") + " " + Lang("ClearPwdStr"));
    ASSERT_TRUE(Window->IsConnected());
    EXPECT_EQ(Window->Widgets().RecModel->rowCount(), 1);
    EXPECT_EQ(Window->windowTitle(), ApplicationTitle() + " - " + Lang("ImageFileStr") + " " +
                                         QString::fromStdString(ImagePath()));

    // The remembered password opens it again on the next poll without asking.
    Poll();
    EXPECT_TRUE(Window->IsConnected());
    EXPECT_EQ(script.Unexpected, 0);
}

TEST_F(Connection, CancellingThePasswordSwitchesTheRecorderOffUntilConnect) {
    MakeImage(ImagePath(), {1.0});
    SetImagePassword(ImagePath(), "pw");
    Start(ConnImageFile, QString::fromStdString(ImagePath()));
    {
        TModalScript script({CancelPassword()});
        Poll();
        Poll();
        EXPECT_TRUE(script.Done());
        EXPECT_FALSE(Window->IsConnected());
        Poll(); // switched off: no question any more
        EXPECT_EQ(script.Unexpected, 0);
    }
    EXPECT_FALSE(Window->Widgets().lbErrorState->isHidden());
    EXPECT_EQ(Window->Widgets().lbErrorState->text(), Lang("CantFindRecorderStr"));
    EXPECT_TRUE(Window->Widgets().pnlRecorder->isHidden());
    EXPECT_TRUE(Window->Widgets().actConnect->isEnabled());
    EXPECT_EQ(Window->Widgets().RecModel->rowCount(), 0);

    TModalScript script({TypePassword("pw")});
    Window->actConnectExecute();
    Poll();
    EXPECT_TRUE(script.Done());
    EXPECT_TRUE(Window->IsConnected());
    EXPECT_EQ(Window->Widgets().RecModel->rowCount(), 1);
}

TEST_F(Connection, AForgottenPasswordCanResetTheEmulatedRecorder) {
    MakeImage(Dir.filePath("OM_Q70_DEMO.OVK").toStdString(), {1.0, 1.0});
    SetImagePassword(Dir.filePath("OM_Q70_DEMO.OVK").toStdString(), "locked");
    Start(ConnDemo);
    TModalScript script(
        {TypePassword("guess"), Answer(QMessageBox::Yes), Answer(QMessageBox::Yes)});
    Poll();
    Poll(); // formats, restores the defaults and stays unconnected in this pass
    EXPECT_TRUE(script.Done());
    ASSERT_EQ(script.Texts.size(), 2);
    EXPECT_EQ(script.Texts[1], Lang("EraseAllQuestionStr"));
    EXPECT_FALSE(Window->IsConnected());
    Poll(); // the empty password opens the reset recorder
    EXPECT_TRUE(Window->IsConnected());
    EXPECT_EQ(Window->Widgets().RecModel->rowCount(), 0);
    EXPECT_EQ(script.Unexpected, 0) << script.Texts.join('|').toStdString();
}

TEST_F(Connection, AMissingImageShowsTheErrorLabelAndEmptyLists) {
    TModalScript script;
    Start(ConnImageFile, Dir.filePath("nowhere.ovk"));
    Poll();
    Poll();
    Poll();
    EXPECT_FALSE(Window->IsConnected());
    EXPECT_FALSE(Window->Widgets().lbErrorState->isHidden());
    EXPECT_TRUE(Window->Widgets().pnlStatus->isHidden());
    EXPECT_EQ(Window->Widgets().RecModel->rowCount(), 0);
    EXPECT_FALSE(Window->Widgets().actRecRefresh->isEnabled());
    EXPECT_TRUE(script.Texts.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(Dir.filePath("nowhere.ovk"))); // nothing is created for it
}

TEST_F(Connection, RecentImageFilesKeepTheNewestAndAReopenedOneMovesToTheTop) {
    TModalScript script;
    Start(ConnDemo);
    ProgramOptions.RecentCount = 3;
    QStringList paths;
    for (int i = 1; i <= 5; ++i) {
        paths << Dir.filePath(QStringLiteral("image%1.ovk").arg(i));
        Window->OpenImageFile(paths.last());
    }
    EXPECT_EQ(ProgramOptions.RecentFiles, (QStringList{paths[4], paths[3], paths[2]}));
    EXPECT_EQ(ProgramOptions.ConnectType, ConnImageFile);
    EXPECT_TRUE(Window->Widgets().miImageFile->isChecked());
    Window->OpenImageFile(paths[2]);
    EXPECT_EQ(ProgramOptions.RecentFiles, (QStringList{paths[2], paths[3], paths[4]}));
    EXPECT_EQ(ProgramOptions.ImageFileName, paths[2]);
    QStringList captions;
    for (QAction* item : Window->Widgets().pmConnect->actions())
        if (item->objectName().startsWith("RecentFile"))
            captions << item->data().toString();
    EXPECT_EQ(captions, ProgramOptions.RecentFiles);
    ASSERT_NE(Window->Recorder, nullptr); // the new kind's recorder exists at once
}

TEST_F(Connection, WhileAnOperationRunsNoDeviceActionOrChangeOfKindIsTaken) {
    MakeImage(Dir.filePath("OM_Q70_DEMO.OVK").toStdString(), {1.0});
    TModalScript script;
    Start(ConnDemo);
    Poll();
    Poll();
    ASSERT_TRUE(Window->IsConnected());
    TCustomRecorder* recorder = Window->Recorder;
    Window->SetUiEnabled(false);
    Window->RunIdlePass();
    EXPECT_FALSE(Window->Widgets().actRecRefresh->isEnabled());
    EXPECT_FALSE(Window->Widgets().actRecSettings->isEnabled());
    Window->Widgets().miUSB20_SPI->trigger();
    EXPECT_EQ(Window->Recorder, recorder);
    EXPECT_EQ(ProgramOptions.ConnectType, ConnDemo);
    EXPECT_TRUE(Window->Widgets().miDemo->isChecked());
    EXPECT_FALSE(Window->close());
    Window->SetUiEnabled(true);
    Window->RunIdlePass();
    EXPECT_TRUE(Window->Widgets().actRecRefresh->isEnabled());
    Window->Widgets().miUSB20_SPI->trigger();
    EXPECT_EQ(ProgramOptions.ConnectType, ConnUsb20SpiAdapter);
}

TEST_F(Connection, WhileAnOperationRunsTheConnectMenuKeepsTheImageFileAndTheRecentList) {
    MakeImage(Dir.filePath("OM_Q70_DEMO.OVK").toStdString(), {1.0});
    TModalScript script;
    Start(ConnDemo);
    Poll();
    Poll();
    ASSERT_TRUE(Window->IsConnected());
    const QString first = Dir.filePath("first.ovk");
    const QString second = Dir.filePath("second.ovk");
    ProgramOptions.RecentFiles = {first, second};
    ProgramOptions.ImageFileName = first;
    Window->UpdateRecentFilesMenu();
    int picks = 0;
    Window->PickImageFile = [&](const QString&, const QString&) {
        ++picks;
        return second;
    };
    const struct {
        const char* Name;
        std::function<void()> Click;
    } cases[] = {
        {"recentFile",
         [&] { Window->Widgets().pmConnect->findChild<QAction*>("RecentFile1")->trigger(); }},
        {"imageFile", [&] { Window->Widgets().miImageFile->trigger(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TCustomRecorder* recorder = Window->Recorder;
        Window->SetUiEnabled(false);
        EXPECT_FALSE(Window->Widgets().pmConnect->isEnabled());
        c.Click();
        EXPECT_EQ(picks, 0);
        EXPECT_EQ(ProgramOptions.ImageFileName, first);
        EXPECT_EQ(ProgramOptions.RecentFiles, (QStringList{first, second}));
        EXPECT_EQ(ProgramOptions.ConnectType, ConnDemo);
        EXPECT_TRUE(Window->Widgets().miDemo->isChecked());
        EXPECT_FALSE(Window->Widgets().miImageFile->isChecked());
        EXPECT_EQ(Window->Recorder, recorder);
        Window->SetUiEnabled(true);
        EXPECT_TRUE(Window->Widgets().pmConnect->isEnabled());
    }
    // Once the operation is over the same click opens the image.
    Window->Widgets().pmConnect->findChild<QAction*>("RecentFile1")->trigger();
    EXPECT_EQ(ProgramOptions.ImageFileName, second);
    EXPECT_EQ(ProgramOptions.RecentFiles, (QStringList{second, first}));
    EXPECT_EQ(ProgramOptions.ConnectType, ConnImageFile);
}

// The USB 2.0 SPI adapter kind over a simulated recorder whose memory is an image file.
class AdapterConnection : public Connection {
protected:
    void Attach(const std::string& image) {
        Recorder = std::make_unique<TSimulatedAdapter>(image);
        Adapter = &Recorder->Adapter;
    }
    void TearDown() override {
        Window.reset();
        Recorder.reset();
        Connection::TearDown();
    }
    int CountOf(std::uint8_t command, std::uint8_t firstByte) const {
        int count = 0;
        for (const auto& c : Adapter->Commands())
            if (c.Command == command && !c.Data.empty() && c.Data[0] == firstByte)
                ++count;
        return count;
    }

    std::unique_ptr<TSimulatedAdapter> Recorder;
    SimSpiAdapter* Adapter = nullptr;
};

TEST_F(AdapterConnection, TheStatusPanelShowsTheRecordersClockAndBattery) {
    MakeImage(ImagePath(), {1.0, 2.0});
    Attach(ImagePath());
    ProgramOptions.SyncTime = true; // the first refresh sets the recorder's clock
    Start(ConnUsb20SpiAdapter);
    TModalScript script;
    Poll();
    EXPECT_EQ(Window->Widgets().lbDemo->text(), Lang("USB20Str"));
    Poll();
    ASSERT_TRUE(Window->IsConnected());
    EXPECT_TRUE(script.Texts.isEmpty()) << script.Texts.join('|').toStdString();
    EXPECT_EQ(Window->windowTitle(), ApplicationTitle() + " - " + Lang("USB20AdapterStr"));
    EXPECT_EQ(Window->Widgets().RecModel->rowCount(), 2);
    EXPECT_EQ(CountOf(CmdRtc, RequestSet), 1);

    EXPECT_FALSE(Window->Widgets().pnlBattery->isHidden());
    EXPECT_FALSE(Window->Widgets().pnlRecTime->isHidden());
    const QRegularExpression time("^ " + QRegularExpression::escape(Lang("RecTimeStr")) +
                                  R"( \d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d $)");
    EXPECT_TRUE(time.match(Window->Widgets().lbRecTime->text()).hasMatch())
        << Window->Widgets().lbRecTime->text().toStdString();
    TCustomRecorder& recorder = *Window->Recorder;
    const std::uint16_t millivolts = recorder.GetPowerVoltage();
    EXPECT_EQ(Window->Widgets().lbBattery->text(),
              " " + Lang("BatteryStr") + QString::asprintf(" %.2f ", millivolts / 1000.0));
    const TBatteryBar bar =
        BatteryBarFor(recorder.GetModelClass(), millivolts, recorder.GetBatteryLevel());
    EXPECT_EQ(Window->Widgets().pbBattery->maximum(), bar.Maximum);
    EXPECT_EQ(Window->Widgets().pbBattery->value(), bar.Position);
    const std::uint16_t version = recorder.GetFirmwareVersion();
    EXPECT_EQ(Window->Widgets().lbFWVer->text(),
              " " + Lang("FWVerStr") + QString::asprintf(" %d.%d ", version >> 8, version & 0xFF));
    EXPECT_EQ(Window->Widgets().lbSerNum->text(),
              " " + Lang("SerNumStr") + " " + QString::fromStdString(recorder.GetSerialNumber()) +
                  " ");

    Window->RunIdlePass();
    ASSERT_TRUE(Window->Widgets().actSyncClock->isEnabled());
    Window->Widgets().actSyncClock->trigger();
    EXPECT_EQ(CountOf(CmdRtc, RequestSet), 2);
}

TEST_F(AdapterConnection, AForgottenPasswordIsResetByTheRecorderItself) {
    MakeImage(ImagePath(), {1.0});
    SetImagePassword(ImagePath(), "abc");
    Attach(ImagePath());
    Start(ConnUsb20SpiAdapter);
    TModalScript script({TypePassword("xyz"), Answer(QMessageBox::Yes), Answer(QMessageBox::Yes),
                         [](QWidget* modal) {
                             auto* box = qobject_cast<QMessageBox*>(modal);
                             ASSERT_NE(box, nullptr);
                             ASSERT_NE(box->button(QMessageBox::Ok), nullptr);
                             box->button(QMessageBox::Ok)->click();
                         }});
    Poll();
    Poll();
    EXPECT_TRUE(script.Done());
    ASSERT_EQ(script.Texts.size(), 3);
    EXPECT_EQ(script.Texts[2], Lang("LongWaitingStr"));
    EXPECT_EQ(CountOf(CmdSetDefault, RequestSet), 1); // settings, password and memory at once
    Poll();
    EXPECT_TRUE(Window->IsConnected());
    EXPECT_EQ(Window->Widgets().RecModel->rowCount(), 0);
    EXPECT_EQ(script.Unexpected, 0);
}

TEST(MainRecorderUi, TheWindowAnswersTheEnginesUploadQuestionWithTheFormatDialog) {
    using TCompression = TUploadFormatChoice::TCompression;
    auto window = std::make_unique<TfrmQuorvMain>();
    TRecorderUi& ui = InstalledRecorderUi();
    struct TCase {
        std::function<void(TfrmFmtChoose&)> Pick;
        std::optional<TUploadFormatChoice> Expected;
    };
    const TCase cases[] = {
        {[](TfrmFmtChoose& d) { d.rbNoCompress->click(); }, TUploadFormatChoice{}},
        {[](TfrmFmtChoose& d) { d.rbADPCM2->click(); }, TUploadFormatChoice{TCompression::Adpcm2}},
        {[](TfrmFmtChoose& d) { d.rbADPCM4->click(); }, TUploadFormatChoice{TCompression::Adpcm4}},
        {[](TfrmFmtChoose& d) {
             d.rbuLaw->click();
             d.cbScale->setCurrentIndex(3);
         },
         TUploadFormatChoice{TCompression::ULaw, 3}},
        {nullptr, std::nullopt}, // Cancel
    };
    for (const TCase& c : cases) {
        TModalScript script({[&c](QWidget* modal) {
            auto* dialog = qobject_cast<TfrmFmtChoose*>(modal);
            ASSERT_NE(dialog, nullptr);
            if (!c.Pick) {
                dialog->Button2->click();
                return;
            }
            c.Pick(*dialog);
            dialog->Button1->click();
        }});
        const std::optional<TUploadFormatChoice> choice = ui.ChooseUploadFormat();
        EXPECT_TRUE(script.Done());
        ASSERT_EQ(choice.has_value(), c.Expected.has_value());
        if (choice) {
            EXPECT_EQ(choice->Compression, c.Expected->Compression);
            EXPECT_EQ(choice->ULawScaleIndex, c.Expected->ULawScaleIndex);
        }
    }
    window.reset();
    // Without the window the engine's questions go unanswered, and no dialog opens.
    TModalScript none;
    EXPECT_FALSE(InstalledRecorderUi().ChooseUploadFormat().has_value());
    EXPECT_EQ(none.Unexpected, 0);
}

TEST(MainRecorderUi, AMessageFromAWorkerIsShownLaterWithoutHoldingTheWorker) {
    auto window = std::make_unique<TfrmQuorvMain>();
    TModalScript script;
    std::thread worker([] { InstalledRecorderUi().ShowMessage("from the worker"); });
    worker.join(); // returns although no box has been answered yet
    EXPECT_TRUE(script.Texts.isEmpty());
    EXPECT_TRUE(testsupport::WaitInEventLoop([&] { return !script.Texts.isEmpty(); }));
    EXPECT_EQ(script.Texts, QStringList{"from the worker"});
}

TEST(StatusPanelLayout, ItemsWrapAndTheMemoryItemsBeginALaterRow) {
    // Model, firmware, serial, spacer, battery, time, then three memory items.
    const std::vector<TStatusItemSize> items = {{100, 20, 0}, {60, 18, 0},  {80, 20, 0},
                                                {10, 20, 0},  {120, 22, 0}, {150, 20, 0},
                                                {130, 20, 1}, {140, 20, 1}, {120, 20, 1}};
    struct TCase {
        int Width;
        int Rows;
        std::vector<int> RowOf;
    };
    const TCase cases[] = {
        {2000, 2, {0, 0, 0, 0, 0, 0, 1, 1, 1}},
        {400, 3, {0, 0, 0, 0, 0, 1, 1, 2, 2}},
        {90, 9, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const TCase& c : cases) {
        int rows = 0;
        const std::vector<TRect> rects = LayoutStatusItems(items, c.Width, rows);
        EXPECT_EQ(rows, c.Rows) << c.Width;
        ASSERT_EQ(rects.size(), items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            const TRect& r = rects[i];
            EXPECT_EQ(r.Top, 24 * c.RowOf[i] + 3) << c.Width << " item " << i;
            EXPECT_EQ(RectGetHeight(r), 22);
            const bool firstInRow = i == 0 || c.RowOf[i - 1] != c.RowOf[i];
            const bool lastInRow = i + 1 == items.size() || c.RowOf[i + 1] != c.RowOf[i];
            if (firstInRow)
                EXPECT_EQ(r.Left, 3) << c.Width << " item " << i;
            else
                EXPECT_EQ(r.Left, rects[i - 1].Right + 1) << c.Width << " item " << i;
            if (lastInRow)
                EXPECT_EQ(r.Right, c.Width - 3) << c.Width << " item " << i;
            else
                EXPECT_EQ(RectGetWidth(r), items[i].Width) << c.Width << " item " << i;
        }
    }
    int rows = -1;
    EXPECT_TRUE(LayoutStatusItems({}, 500, rows).empty());
    EXPECT_EQ(rows, 0);
}

TEST(StatusPanelBattery, TheBarFollowsModelClassVoltageAndLevel) {
    struct TCase {
        std::uint32_t ModelClass;
        std::uint16_t Millivolts;
        std::uint8_t Level;
        int Maximum, Position;
        bool Stepped;
        std::optional<QColor> Colour;
    };
    const TCase cases[] = {
        {0, 3700, 2, 500, 200, false, QColor(255, 255, 0)},
        {0, 3400, 1, 500, 0, false, QColor(255, 0, 0)},   // below the scale stays at 0
        {0, 4300, 3, 500, 500, false, QColor(0, 128, 0)}, // above it at the top
        {2, 3700, 3, 3, 3, true, QColor(0, 128, 0)},
        {1, 3700, 0, 3, 0, true, std::nullopt}, // level 0 keeps the colour
    };
    for (const TCase& c : cases) {
        const TBatteryBar bar = BatteryBarFor(c.ModelClass, c.Millivolts, c.Level);
        EXPECT_EQ(bar.Maximum, c.Maximum);
        EXPECT_EQ(bar.Position, c.Position) << c.Millivolts;
        EXPECT_EQ(bar.Stepped, c.Stepped);
        EXPECT_EQ(bar.Colour, c.Colour) << int(c.Level);
    }
}

} // namespace
