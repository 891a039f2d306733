// The main window's connection handling: the recorder object's life, the polling pass, the
// password loop, waiting for recorder operations and the status panel.

#include <algorithm>
#include <chrono>
#include <thread>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include "engine/RecClasses.h"
#include "engine/Recinterface.h"
#include "engine/RecorderUi.h"
#include "i18n/VexaLang.h"
#include "i18n/VexaLangText.h"
#include "link/RecXchange.h"
#include "transfer/TransferController.h"
#include "ui/Fileutils.h"
#include "ui/FmtChoose.h"
#include "ui/QtTranslations.h"
#include "ui/Quorv_main.h"
#include "ui/SoundInfoAnalysis.h"
#include "widgets/Mainutils.h"
#include "widgets/MsgBox.h"
#include "widgets/PassDlg.h"

namespace {

constexpr const char* DemoImageName = "OM_Q70_DEMO.OVK";

bool HasClockAndBattery(std::int32_t kind) {
    return kind == 0 || kind == 4 || kind == 5;
}

QString RecorderPaneLabel(std::int32_t kind) {
    switch (kind) {
    case 0:
        return Lang("USB11Str");
    case 1:
        return QFileInfo(ProgramOptions.ImageFileName).fileName();
    case 2:
    case 4:
    case 5:
        return Lang("USB20Str");
    case 3:
        return Lang("DemoModeStr");
    default:
        return {};
    }
}

// The UI side of the recorder: the upload-format question, messages and the hand-over to
// the settings dialog.
class TMainRecorderUi : public TRecorderUi {
public:
    explicit TMainRecorderUi(TfrmQuorvMain& main) : Main(main) {}

    // The records' mode texts name the compression in the current language.
    std::string CompressionCaption(std::uint8_t sourceCompression) override {
        return SourceCompressionName(sourceCompression).toStdString();
    }

    void AttachRecorder(TRecorder* recorder) override {
        if (Main.Seams.AttachSettings)
            Main.Seams.AttachSettings(recorder);
    }
    void DetachRecorder(TRecorder* recorder) override {
        if (Main.Seams.DetachSettings)
            Main.Seams.DetachSettings(recorder);
    }
    void RestoreSettings() override {
        if (Main.Seams.RestoreSettings)
            Main.Seams.RestoreSettings();
    }
    void SetHiddenTabVisible(bool visible) override {
        if (Main.Seams.SetSettingsHiddenTab)
            Main.Seams.SetSettingsHiddenTab(visible);
    }
    std::optional<TUploadFormatChoice> ChooseUploadFormat() override {
        std::uint8_t compression = 0;
        std::uint8_t param = 0;
        if (!::ChooseUploadFormat(&Main, compression, param))
            return std::nullopt;
        TUploadFormatChoice choice;
        if (compression == 1) {
            choice.Compression = TUploadFormatChoice::TCompression::ULaw;
            choice.ULawScaleIndex = std::min<std::uint8_t>(param, 4);
        } else if (compression == 2) {
            choice.Compression = param == 1 ? TUploadFormatChoice::TCompression::Adpcm2
                                            : TUploadFormatChoice::TCompression::Adpcm4;
        }
        return choice;
    }
    void ShowMessage(const std::string& text) override {
        const QString message = QString::fromStdString(text);
        if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
            ShowMessageBox(message, ApplicationTitle(), MB_OK);
            return;
        }
        // A worker never waits for the user: the UI thread may be joining it right now.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [message] { ShowMessageBox(message, ApplicationTitle(), MB_OK); },
            Qt::QueuedConnection);
    }

private:
    TfrmQuorvMain& Main;
};

QFrame* StatusItem(QWidget* parent, const char* name, int tag) {
    auto* item = new QFrame(parent);
    item->setObjectName(QString::fromLatin1(name));
    item->setFrameShape(QFrame::StyledPanel);
    item->setFrameShadow(QFrame::Sunken);
    item->setProperty("StatusTag", tag);
    auto* layout = new QHBoxLayout(item);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(5);
    return item;
}

QLabel* StatusLabel(QFrame* item, const char* name) {
    auto* label = new QLabel(item);
    label->setObjectName(QString::fromLatin1(name));
    item->layout()->addWidget(label);
    return label;
}

} // namespace

std::vector<TRect> LayoutStatusItems(const std::vector<TStatusItemSize>& items, int panelWidth,
                                     int& rows) {
    std::vector<TRect> rects;
    rows = 0;
    if (items.empty())
        return rects;
    int height = 0;
    for (const TStatusItemSize& item : items)
        height = std::max(height, item.Height);
    int row = 0;
    int breaks = 0;
    for (const TStatusItemSize& item : items) {
        TRect rect;
        if (rects.empty()) {
            rect.Left = 3;
        } else {
            rect.Left = rects.back().Right + 1;
            if (rect.Left + item.Width >= panelWidth || item.Tag > breaks) {
                rects.back().Right = panelWidth - 3;
                ++row;
                ++breaks;
                rect.Left = 3;
            }
        }
        rect.Top = (height + 2) * row + 3;
        RectSetWidth(rect, item.Width);
        RectSetHeight(rect, height);
        rects.push_back(rect);
    }
    rects.back().Right = panelWidth - 3;
    rows = row + 1;
    return rects;
}

TBatteryBar BatteryBarFor(std::uint32_t modelClass, std::uint16_t millivolts, std::uint8_t level) {
    TBatteryBar bar;
    if (modelClass == 0) {
        bar.Maximum = 500;
        bar.Position = std::clamp(static_cast<int>(millivolts) - 3500, 0, 500);
    } else {
        bar.Maximum = 3;
        bar.Stepped = true;
        bar.Position = std::min<int>(level, 3);
    }
    switch (level) {
    case 1:
        bar.Colour = QColor(0xFF, 0x00, 0x00);
        break;
    case 2:
        bar.Colour = QColor(0xFF, 0xFF, 0x00);
        break;
    case 3:
        bar.Colour = QColor(0x00, 0x80, 0x00);
        break;
    default:
        break;
    }
    return bar;
}

void TfrmQuorvMain::InstallRecorderUi() {
    RecorderUi = std::make_unique<TMainRecorderUi>(*this);
    SetRecorderUi(RecorderUi.get());
}

void TfrmQuorvMain::RemoveRecorderUi() {
    if (&InstalledRecorderUi() == RecorderUi.get())
        SetRecorderUi(nullptr);
}

void TfrmQuorvMain::CreateStatusPanel() {
    struct TItemSpec {
        const char* Name;
        int Tag;
    };
    // In tab order; the memory items carry tag 1 so that they begin a row of their own.
    const TItemSpec specs[] = {{"pnlModel", 0},  {"pnlFWVer", 0},    {"pnlSerNum", 0},
                               {"pnlSpacer", 0}, {"pnlBattery", 0},  {"pnlRecTime", 0},
                               {"pnlMemUse", 1}, {"pnlTotalMem", 1}, {"pnlMinRecTime", 1},
                               {"pnlFreeMem", 1}};
    for (const TItemSpec& spec : specs)
        StatusItems.push_back(StatusItem(pnlStatus, spec.Name, spec.Tag));
    lbModel = StatusLabel(StatusItems[0], "lbModel");
    lbFWVer = StatusLabel(StatusItems[1], "lbFWVer");
    lbSerNum = StatusLabel(StatusItems[2], "lbSerNum");
    StatusItems[3]->setFrameShape(QFrame::NoFrame);
    pnlBattery = StatusItems[4];
    lbBattery = StatusLabel(pnlBattery, "lbBattery");
    pbBattery = new QProgressBar(pnlBattery);
    pbBattery->setObjectName(QStringLiteral("pbBattery"));
    pbBattery->setTextVisible(false);
    pbBattery->setFixedSize(60, 12);
    pnlBattery->layout()->addWidget(pbBattery);
    pnlRecTime = StatusItems[5];
    lbRecTime = StatusLabel(pnlRecTime, "lbRecTime");
    pnlMemUse = StatusItems[6];
    pnlMemUse->hide();
    lbTotalMem = StatusLabel(StatusItems[7], "lbTotalMem");
    lbMinRecTime = StatusLabel(StatusItems[8], "lbMinRecTime");
    lbFreeMem = StatusLabel(StatusItems[9], "lbFreeMem");
    pnlStatus->installEventFilter(this);
    mainPanel->installEventFilter(this);
}

bool TfrmQuorvMain::ConnectRecorder() {
    const std::int32_t kind = ProgramOptions.ConnectType;
    Recorder = RecorderFactory ? RecorderFactory(static_cast<std::uint32_t>(kind))
                               : CreateRecorder(static_cast<std::uint32_t>(kind));
    lbErrorState->setText(Lang("CantFindRecorderStr"));
    if (Recorder == nullptr)
        return false;
    try {
        Recorder->SetImageFileName(kind == ConnDemo ? std::string(DemoImageName)
                                                    : ProgramOptions.ImageFileName.toStdString());
    } catch (const std::exception& error) {
        ShowMessageBox(QString::fromStdString(error.what()), ApplicationTitle(), MB_ICONERROR);
    }
    lbDemo->setText(RecorderPaneLabel(kind));
    Recorder->SetLogLevel(Diagnostic ? 1 : 0);
    Recorder->SetHiddenTabVisible(HiddenTab);
    Connected = false;
    FirstRefreshPending = true;
    Timer1->stop();
    return true;
}

void TfrmQuorvMain::DisconnectRecorder() {
    EmptyRecorderViews();
    SelDrvList->Clear();
    DestroyRecorder(Recorder);
    Connected = false;
    Recorder = nullptr;
}

void TfrmQuorvMain::PollRecorder() {
    if (Recorder == nullptr) {
        ConnectRecorder();
        return;
    }
    try {
        actConnect->setEnabled(false);
        actDisconnect->setEnabled(false);
        Recorder->SetSkipSilence(ProgramOptions.SkipSilence);
        bool connected = Recorder->IsConnected();
        bool unlocked = false;
        if (connected) {
            unlocked = Recorder->CheckPassword(RememberedPassword.toStdString());
            if (!unlocked)
                RunPasswordLoop(connected, unlocked);
        }
        // Only an unlocked recorder counts as connected: a locked one takes no command.
        Connected = connected && unlocked;
        if (Connected) {
            ContentModified = ContentModified || Recorder->IsModified();
            if (FirstRefreshPending)
                ShownDrvList->SetFilterPath(std::string());
            if (FirstRefreshPending || ContentModified)
                actRecRefreshExecute();
            pnlRecorder->show();
            lbErrorState->hide();
            actDisconnect->setEnabled(true);
            FirstRefreshPending = false;
            UpdateStatusPanel();
        } else {
            actConnect->setEnabled(true);
            pnlRecorder->hide();
            pnlStatus->hide();
            lbErrorState->show();
            EmptyRecorderViews();
            FirstRefreshPending = true;
        }
    } catch (const TERecXchange& error) {
        ShowExceptionBox(error);
    } catch (const std::exception& error) {
        // Anything else is shown too; the next poll tries again.
        ShowMessageBox(QString::fromStdString(error.what()), ApplicationTitle(), MB_ICONERROR);
    }
}

void TfrmQuorvMain::RunPasswordLoop(bool& connected, bool& unlocked) {
    if (!PasswordDlg)
        PasswordDlg = new TPasswordDlg(this);
    while (connected && !unlocked) {
        PasswordDlg->Label1->setText(Lang("AccessQuestionStr"));
        PasswordDlg->Password->clear();
        if (PasswordDlg->exec() != QDialog::Accepted) {
            Recorder->SetActive(false);
            connected = Recorder->IsConnected();
            continue;
        }
        RememberedPassword = PasswordDlg->Password->text();
        unlocked = Recorder->CheckPassword(RememberedPassword.toStdString());
        if (unlocked)
            break;
        if (ShowMessageBox(Lang("InvalidPwdStr") + QLatin1Char(' ') + Lang("ClearPwdStr"),
                           ApplicationTitle(), DestructiveQuestion) != IDYES)
            continue;
        if (ShowMessageBox(Lang("EraseAllQuestionStr"), ApplicationTitle(), DestructiveQuestion) !=
            IDYES)
            continue;
        ResetPassword();
        RememberedPassword.clear();
        connected = Recorder->IsConnected();
        break;
    }
}

void TfrmQuorvMain::ResetPassword() {
    const std::int32_t kind = ProgramOptions.ConnectType;
    if (kind == ConnUsb11Adapter || kind == ConnUsb20SpiAdapter) {
        ShowMessageBox(Lang("LongWaitingStr"), ApplicationTitle(), MB_OK);
        Recorder->SetDefaultAndErase();
        return;
    }
    // The format action's work without its question; the defaults follow a whole format only.
    bool formatted = false;
    RunOperation([&] { formatted = Transfers().FormatMemory(false); });
    if (formatted)
        Recorder->SetDefault();
}

void TfrmQuorvMain::SetUiEnabled(bool enable) {
    if (!enable) {
        LastActiveControl = QApplication::focusWidget();
        mainPanel->setEnabled(false);
        // The connection menu sits outside the panel: while an operation runs it is shut too.
        pmConnect->setEnabled(false);
        Busy = true;
        return;
    }
    mainPanel->setEnabled(true);
    pmConnect->setEnabled(true);
    Busy = false;
    if (LastActiveControl)
        LastActiveControl->setFocus();
}

void TfrmQuorvMain::VexaLanguageController1LanguageChanged() {
    ApplyQtTranslations(LangManager()->GetCurrentLanguageID());
    ApplyProgramLocale(LangManager()->GetCurrentLanguageID());
    UpdateLanguageCaptions();
    ConnectionMenuRoot->setText(miConnectType->text());
    // The texts this window made from constants are made again in the new language.
    lbErrorState->setText(Lang("CantFindRecorderStr"));
    if (Recorder != nullptr)
        lbDemo->setText(RecorderPaneLabel(ProgramOptions.ConnectType));
    RecModel->Repaint();
    FillLocationCombo();
    if (Connected) {
        UpdateStatusPanel();
        // The records' mode texts are made by the scan: the next pass reads the lists again.
        ContentModified = true;
    }
    FitTextsToLanguage();
    if (Initialised) {
        SetApplicationTitle(Lang("AppNameStr"));
        setWindowTitle(WindowTitleText());
    }
}

void TfrmQuorvMain::UpdateStatusPanel() {
    if (Recorder == nullptr)
        return;
    const bool clock = HasClockAndBattery(ProgramOptions.ConnectType);
    pnlBattery->setVisible(clock);
    pnlRecTime->setVisible(clock);
    if (clock) {
        TSystemTime t;
        Recorder->GetRecorderTime(t);
        lbRecTime->setText(QLatin1Char(' ') + Lang("RecTimeStr") +
                           QString::asprintf(" %.2d.%.2d.%.4d %.2d:%.2d:%.2d ", t.Day, t.Month,
                                             t.Year, t.Hour, t.Minute, t.Second));
        const std::uint16_t millivolts = Recorder->GetPowerVoltage();
        lbBattery->setText(QLatin1Char(' ') + Lang("BatteryStr") + QLatin1Char(' ') +
                           QLocale().toString(millivolts * 0.001, 'f', 2) + QLatin1Char(' '));
        const TBatteryBar bar =
            BatteryBarFor(Recorder->GetModelClass(), millivolts, Recorder->GetBatteryLevel());
        pbBattery->setRange(0, bar.Maximum);
        pbBattery->setValue(bar.Position);
        if (bar.Colour) {
            QPalette palette = pbBattery->palette();
            palette.setColor(QPalette::Highlight, *bar.Colour);
            pbBattery->setPalette(palette);
        }
    }
    // In the language's own decimal sign, as the language's users write numbers.
    const auto megabytes = [](std::int64_t bytes) {
        QLocale locale;
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        return QLatin1Char(' ') +
               locale.toString(static_cast<double>(static_cast<std::uint64_t>(bytes)) / 1024 / 1024,
                               'f', 2) +
               QStringLiteral(" MB ");
    };
    const std::uint16_t version = Recorder->GetFirmwareVersion();
    lbModel->setText(QLatin1Char(' ') + Lang("ModelStr") + QLatin1Char(' ') +
                     QString::fromStdString(Recorder->GetModelName()) + QLatin1Char(' '));
    lbSerNum->setText(QLatin1Char(' ') + Lang("SerNumStr") + QLatin1Char(' ') +
                      QString::fromStdString(Recorder->GetSerialNumber()) + QLatin1Char(' '));
    lbFWVer->setText(QLatin1Char(' ') + Lang("FWVerStr") +
                     QString::asprintf(" %d.%d ", version >> 8, version & 0xFF));
    lbTotalMem->setText(QLatin1Char(' ') + Lang("TotalMemoryStr") +
                        megabytes(Recorder->GetTotalMemory()));
    lbFreeMem->setText(QLatin1Char(' ') + Lang("FreeMemoryStr") +
                       megabytes(Recorder->GetFreeMemory()));
    lbMinRecTime->setText(
        QLatin1Char(' ') + Lang("MinRecordTimeStr") + QLatin1Char(' ') +
        SecToTimeStr(static_cast<std::uint32_t>(Recorder->GetMinRecordTime() & 0xFFFFFFFFu)));
    pnlStatusResize();
}

void TfrmQuorvMain::pnlStatusResize() {
    std::vector<QFrame*> shown;
    std::vector<TStatusItemSize> sizes;
    for (QFrame* item : StatusItems) {
        if (item->isHidden())
            continue;
        shown.push_back(item);
        const QSize hint = item->sizeHint();
        sizes.push_back({hint.width() + 2, hint.height() + 1, item->property("StatusTag").toInt()});
    }
    int rows = 0;
    const std::vector<TRect> rects = LayoutStatusItems(sizes, pnlStatus->width(), rows);
    if (rects.empty())
        return;
    const int height = rows * (RectGetHeight(rects.front()) + 2) + 3;
    if (pnlStatus->height() != height)
        pnlStatus->setFixedHeight(height);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const TRect& r = rects[i];
        shown[i]->setGeometry(r.Left, r.Top, RectGetWidth(r), RectGetHeight(r));
    }
}

void TfrmQuorvMain::actSyncClockExecute() {
    if (Recorder == nullptr || IsBusy())
        return;
    Transfers().SyncRecorderClock();
}

void TfrmQuorvMain::actConnectExecute() {
    if (Recorder == nullptr || IsBusy())
        return;
    actConnect->setEnabled(false);
    Recorder->SetActive(true);
    Timer1->stop();
    QCoreApplication::processEvents();
}

void TfrmQuorvMain::actDisconnectExecute() {
    if (Recorder == nullptr || IsBusy())
        return;
    actDisconnect->setEnabled(false);
    try {
        Recorder->SetActive(false);
    } catch (const TERecXchange& error) {
        ShowExceptionBox(error);
    }
    Timer1->stop();
    QCoreApplication::processEvents();
}

void TfrmQuorvMain::miImageFileClick() {
    // The connection stays as it is while an operation runs: no file is asked for.
    if (IsBusy()) {
        CheckConnectionItem(ProgramOptions.ConnectType);
        return;
    }
    const QString filterText = Lang("RecImageFileFilterStr");
    QString suffix = filterText.section(QLatin1Char('|'), 1);
    suffix = suffix.section(QLatin1Char('|'), 0, 0);
    suffix.remove(QStringLiteral("*."));
    QString path;
    if (PickImageFile) {
        path = PickImageFile(FileDialogFilter(filterText), suffix);
    } else {
        QFileDialog dialog(this);
        dialog.setNameFilter(FileDialogFilter(filterText));
        dialog.setDefaultSuffix(suffix);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            path = dialog.selectedFiles().constFirst();
    }
    if (path.isEmpty()) {
        // Nothing picked: the check mark goes back to the kind in force.
        CheckConnectionItem(ProgramOptions.ConnectType);
        return;
    }
    OpenImageFile(path);
}

void TfrmQuorvMain::OpenImageFile(const QString& path) {
    if (IsBusy()) {
        CheckConnectionItem(ProgramOptions.ConnectType);
        return;
    }
    ProgramOptions.ImageFileName = path;
    QStringList& recent = ProgramOptions.RecentFiles;
    const qsizetype index = recent.indexOf(path);
    if (index < 0) {
        recent.insert(0, path);
        while (recent.size() > ProgramOptions.RecentCount)
            recent.removeLast();
    } else if (index > 0) {
        recent.swapItemsAt(0, index);
    }
    UpdateRecentFilesMenu();
    miUSB20_ADPTClick(miImageFile);
}
