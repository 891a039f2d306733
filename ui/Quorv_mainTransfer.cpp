// The main window's side of the batches: its answers to the controller (progress form,
// questions, boxes), the span of one long operation and the re-read of the recorder's lists.

#include <algorithm>
#include <exception>

#include <QApplication>
#include <QCoreApplication>
#include <QPushButton>

#include "engine/RecClasses.h"
#include "engine/Recinterface.h"
#include "i18n/VexaLang.h"
#include "i18n/VexaLangText.h"
#include "link/ImageFile.h"
#include "link/RecXchange.h"
#include "transfer/OverwritePolicy.h"
#include "transfer/TransferController.h"
#include "ui/Fileutils.h"
#include "ui/OverWrite.h"
#include "ui/PartSelect.h"
#include "ui/Quorv_main.h"
#include "ui/RenameDlg.h"
#include "widgets/Mainutils.h"
#include "widgets/MsgBox.h"

namespace {

// The controller's questions answered with the window's forms.
class TWindowTransferUi : public TTransferUi {
public:
    explicit TWindowTransferUi(TfrmQuorvMain& main) : Main(main) {}

    void ShowProgress(const std::string& text, bool cancelAllowed) override {
        Main.ShowProgressForm(QString::fromStdString(text), cancelAllowed);
    }
    void SetProgressText(const std::string& text) override {
        if (Main.Seams.SetProgressText)
            Main.Seams.SetProgressText(QString::fromStdString(text));
    }
    void SetProgress(int percent) override { Main.SetProgressGauge(percent); }
    void ProcessEvents() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
    bool CancelRequested() override { return Main.IsCancelRequested(); }
    void ClearCancel() override { Main.ClearCancelRequest(); }

    int AskOverwrite(std::string& fileName, bool renameAllowed) override {
        QString name = QString::fromStdString(fileName);
        const int answer = Main.AskOverwrite(name, renameAllowed);
        fileName = name.toStdString();
        return answer;
    }
    bool SelectRecordPart(std::uint32_t& startSecond, std::uint32_t& duration,
                          std::uint64_t recordSize) override {
        return Main.SelectRecordPart(startSecond, duration, recordSize) == mrOk;
    }
    int ShowMessage(const std::string& text, unsigned flags) override {
        return ShowMessageBox(QString::fromStdString(text), ApplicationTitle(), flags);
    }
    void ShowExchangeError(const TERecXchange& error) override { ShowExceptionBox(error); }
    void ListsChanging() override { Main.EmptyRecorderViews(); }
    void ListsChanged() override { Main.FillRecorderViews(); }

private:
    TfrmQuorvMain& Main;
};

} // namespace

std::unique_ptr<TTransferUi> TfrmQuorvMain::MakeTransferUi() {
    return std::make_unique<TWindowTransferUi>(*this);
}

TTransferController TfrmQuorvMain::Transfers() {
    TTransferOptions options;
    options.FileNameMask = ProgramOptions.FileNameMask.toStdString();
    options.Split = ProgramOptions.Split;
    options.MaxOutputSize = ProgramOptions.MaxOutputSize;
    options.SorvaneFormat = ProgramOptions.SorvaneFormat;
    options.NonSavedEraseDisable = ProgramOptions.NonSavedEraseDisable;
    options.ReadOnlyMemory = IsImageConnection(ProgramOptions.ConnectType) && ImageFileIsReadOnly();
    return TTransferController(*Recorder, *TransferUi, options);
}

void TfrmQuorvMain::RunOperation(const std::function<void()>& body) {
    // The span of the outermost operation: entered once, left on every path.
    struct TSpan {
        TfrmQuorvMain& Main;
        bool ConnectWas = false;
        bool DisconnectWas = false;
        explicit TSpan(TfrmQuorvMain& main) : Main(main) {
            if (Main.OperationDepth++ != 0)
                return;
            Main.SetUiEnabled(false);
            // The tool bar lies outside the panel: its actions go grey for the time. Connect
            // and Disconnect are the polling's to set; they come back as they were.
            Main.UpdateActions();
            ConnectWas = Main.actConnect->isEnabled();
            DisconnectWas = Main.actDisconnect->isEnabled();
            Main.actConnect->setEnabled(false);
            Main.actDisconnect->setEnabled(false);
        }
        ~TSpan() {
            if (--Main.OperationDepth != 0)
                return;
            Main.CloseVisibleProgress();
            Main.SetUiEnabled(true);
            Main.actConnect->setEnabled(ConnectWas);
            Main.actDisconnect->setEnabled(DisconnectWas);
        }
        TSpan(const TSpan&) = delete;
        TSpan& operator=(const TSpan&) = delete;
    } span(*this);
    try {
        body();
    } catch (const TERecXchange& error) {
        ShowExceptionBox(error);
    } catch (const std::exception& error) {
        // std::bad_alloc and ERecorderBusy included: the window is never left busy.
        ShowMessageBox(QString::fromStdString(error.what()), ApplicationTitle(), MB_ICONERROR);
    } catch (...) {
        ShowMessageBox(Lang("ErrorStr"), ApplicationTitle(), MB_ICONERROR);
    }
}

void TfrmQuorvMain::ReadRecordList() {
    Transfers().ReadRecordList();
}

void TfrmQuorvMain::EmptyRecorderViews() {
    // The entries point into the recorder's lists: they go before the lists do.
    RecList->Clear();
    RecModel->SetRowCount(0);
    DrvList->Clear();
    ShownDrvList->Refresh();
    DrvModel->SetRowCount(0);
}

void TfrmQuorvMain::FillRecorderViews() {
    ContentModified = Recorder->IsModified();
    FillRecordList();
    FillDriveList();
    UpdateStatusPanel();
    FillLocationCombo();
    // The texts just read (the modes and statuses in the current language) are shown whole.
    FitRecorderViews();
}

void TfrmQuorvMain::ShowProgressForm(const QString& text, bool cancelAllowed) {
    ProgressGauge = 0;
    ProgressVisible = true;
    if (Seams.ShowProgress)
        Seams.ShowProgress(text, cancelAllowed);
    if (Seams.SetProgress)
        Seams.SetProgress(0);
}

void TfrmQuorvMain::SetProgressGauge(int percent) {
    ProgressGauge = percent;
    if (Seams.SetProgress)
        Seams.SetProgress(percent);
}

void TfrmQuorvMain::CloseVisibleProgress() {
    if (!ProgressVisible)
        return;
    ProgressGauge = 100;
    if (Seams.SetProgress)
        Seams.SetProgress(100);
    if (Seams.CloseProgress)
        Seams.CloseProgress();
    ProgressVisible = false;
}

std::uint16_t TfrmQuorvMain::NextRecordNumber() {
    return Recorder != nullptr ? Transfers().NextRecordNumber() : 1;
}

int TfrmQuorvMain::AskOverwrite(QString& fileName, bool renameAllowed) {
    if (!frmOverwrite)
        frmOverwrite = new TfrmOverwrite(this, frmRename.data());
    frmOverwrite->SetFileName(fileName);
    // A drive entry or a numbered part keeps the name it is copied under.
    frmOverwrite->RenameBtn->setVisible(renameAllowed);
    const int answer = frmOverwrite->exec();
    if (answer == mrOverwrite && renameAllowed)
        fileName = QString::fromStdString(
            RenamedTarget(fileName.toStdString(), frmOverwrite->FileName().toStdString()));
    return answer;
}

int TfrmQuorvMain::SelectRecordPart(std::uint32_t& startSecond, std::uint32_t& duration,
                                    std::uint64_t recordSize) {
    TfrmPartSelect dialog(this);
    dialog.SetTotalDuration(duration);
    dialog.SetTotalSize(recordSize);
    const int result = dialog.exec();
    if (result == mrOk && dialog.SelDuration() > 0) {
        startSecond = static_cast<std::uint32_t>(std::max(0, dialog.SelStart()));
        duration = static_cast<std::uint32_t>(dialog.SelDuration());
        return mrOk;
    }
    return result == mrOk ? mrCancel : result;
}
