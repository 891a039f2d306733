// The controller's waits, its messages, the re-read of the recorder's content with what the
// first read of a connection does, the window's single exchanges, erase and format. Downloads
// and uploads have files of their own.

#include "transfer/TransferController.h"

#include <algorithm>
#include <exception>

#include "engine/RecClassesBlocks.h"
#include "engine/RecClassesLists.h"
#include "link/RecXchange.h"
#include "platform/SystemTime.h"
#include "transfer/TransferHelpers.h"
#include "transfer/TransferUi.h"
#include "transfer/MessageCodes.h"

using transfer::DriveNameBelow;
using transfer::RelativeDriveName;
using transfer::Text;

TTransferController::TTransferController(TCustomRecorder& recorder, TTransferUi& ui,
                                         TTransferOptions options)
    : Recorder(recorder), Ui(ui), Options(std::move(options)) {}

bool TTransferController::StopRequested() {
    return Cancelled || Ui.CancelRequested();
}

TOperationPoll TTransferController::Poll(std::function<void(std::uint32_t state)> onPoll) {
    return [this, onPoll = std::move(onPoll), shown = -1](std::uint8_t percent,
                                                          std::uint32_t state) mutable {
        if (percent != shown) {
            shown = percent;
            Ui.SetProgress(percent);
        }
        if (onPoll)
            onPoll(state);
        Ui.ProcessEvents();
        return Ui.CancelRequested();
    };
}

TOperationOutcome TTransferController::WaitRecorderOperation(const std::string& text,
                                                             bool forwardCancel) {
    if (Recorder.GetState() != StateIdle)
        Ui.ShowProgress(text, true);
    PollRecorderOperation(Recorder, Poll(), forwardCancel);
    Ui.SetProgress(100);
    return Recorder.GetOutcome();
}

bool TTransferController::ReportOutcome(const TOperationOutcome& outcome) {
    switch (outcome.Kind) {
    case TOperationOutcome::TKind::None:
    case TOperationOutcome::TKind::Succeeded:
        return true;
    case TOperationOutcome::TKind::Cancelled:
        return false;
    case TOperationOutcome::TKind::ExchangeFailed:
        Ui.ShowExchangeError(TERecXchange(outcome.Message, outcome.Command, outcome.ErrorCode));
        return false;
    case TOperationOutcome::TKind::Failed:
        Ui.ShowMessage(FormatLangConstant("UnexpectedErrorStr", outcome.Operation, outcome.Message),
                       MB_ICONERROR);
        return false;
    case TOperationOutcome::TKind::Damaged:
        // The engine's message names what is damaged or missing and where.
        Ui.ShowMessage(outcome.Message, MB_OK | MB_ICONERROR);
        return false;
    }
    return false;
}

void TTransferController::ReadRecordList() {
    Ui.ListsChanging();
    Recorder.Refresh();
    PollRecorderOperation(Recorder, Poll(), false);
    Ui.SetProgress(100);
    Ui.ListsChanged();
    ReportOutcome(Recorder.GetOutcome());
}

void TTransferController::RefreshContent(bool firstRead, const TFirstRefreshOptions& options,
                                         const TRecordsView& view) {
    ReadRecordList();
    if (!firstRead)
        return;
    if (view.FirstReadShown)
        view.FirstReadShown();
    if (options.SyncTime)
        SyncRecorderClock();
    if (options.AutoDownload)
        AutoDownload(options, view);
    // The lists stay as read until the next refresh, whatever the download erased.
    const TSoundFileList* records = Recorder.GetSoundFileList();
    const TDriveFileList* files = Recorder.GetDriveFileList();
    if ((records == nullptr || records->Count() == 0) &&
        (files == nullptr || files->Count() == 0) && Recorder.GetUnusedMemory() == 0)
        Ui.ShowMessage(Text("RecMemNotFormatedStr"), MB_ICONINFORMATION);
}

void TTransferController::AutoDownload(const TFirstRefreshOptions& options,
                                       const TRecordsView& view) {
    const std::vector<TCustomSoundFileInfo*> shown =
        view.Entries ? view.Entries() : std::vector<TCustomSoundFileInfo*>{};
    const std::vector<TCustomSoundFileInfo*> chosen =
        AutoDownloadSelection(shown, options.NonDownOnly);
    std::vector<int> rows;
    for (std::size_t row = 0; row < shown.size(); ++row)
        if (std::find(chosen.begin(), chosen.end(), shown[row]) != chosen.end())
            rows.push_back(static_cast<int>(row));
    if (view.SelectRows)
        view.SelectRows(rows);
    // The automatic delete is the move's erase: only what reached the PC, nothing after a
    // cancel.
    if (!chosen.empty())
        DownloadRecords(chosen, options.DownloadFolder,
                        options.AutoDelete ? TDownloadKind::Move : TDownloadKind::Copy);
    if (view.Repaint)
        view.Repaint();
}

bool TTransferController::ExchangeShown(const std::function<void()>& exchange) {
    try {
        exchange();
        return true;
    } catch (const TERecXchange& error) {
        Ui.ShowExchangeError(error);
    } catch (const std::exception& error) {
        Ui.ShowMessage(error.what(), MB_ICONERROR);
    }
    return false;
}

void TTransferController::SyncRecorderClock() {
    ExchangeShown([this] { Recorder.SetRecorderTime(LocalTimeNow()); });
}

bool TTransferController::MarkNotDownloaded(const TCustomSoundFileInfo& entry,
                                            const std::vector<TCustomSoundFileInfo*>& shown) {
    const std::uint16_t number = entry.Parent != nullptr ? entry.Parent->Number : entry.Number;
    if (!ExchangeShown([&] { Recorder.ChangeSoundFileStatus(number, StatusNotDownloaded); }))
        return false;
    // The shown entries follow at once; the next poll reads the content again.
    for (TCustomSoundFileInfo* shownEntry : shown)
        if (shownEntry != nullptr && shownEntry->Parent == nullptr && shownEntry->Number == number)
            shownEntry->Status = StatusNotDownloaded;
    return true;
}

void TTransferController::EraseRecords(const std::vector<TCustomSoundFileInfo*>& records) {
    Ui.ClearCancel();
    Cancelled = false;
    if (Ui.ShowMessage(Text("ReallyEraseSelRecStr"), DestructiveQuestion) != IDYES)
        return;
    // Copied first: nothing the waits let happen may change what is erased.
    struct TErase {
        std::uint16_t Number;
        std::uint8_t Status;
    };
    std::vector<TErase> chosen;
    for (const TCustomSoundFileInfo* record : records)
        if (record != nullptr && record->Parent == nullptr)
            chosen.push_back({record->Number, record->Status});
    for (const TErase& record : chosen) {
        if (StopRequested())
            break;
        if (record.Status == StatusNotDownloaded && Options.NonSavedEraseDisable) {
            Ui.ShowMessage(FormatLangConstant("RecordNonDownloadedStr", record.Number),
                           MB_ICONINFORMATION);
            continue;
        }
        Recorder.EraseSoundFile(record.Number);
        // A cancel stops the batch before the next recording, never inside one.
        const TOperationOutcome outcome = WaitRecorderOperation(
            Text("StatusErasingStr") + " " + std::to_string(record.Number), false);
        if (!ReportOutcome(outcome))
            break;
    }
}

void TTransferController::EraseDriveFiles(const std::vector<TFileListItem>& selection,
                                          const std::string& shownFolder) {
    Ui.ClearCancel();
    Cancelled = false;
    if (Ui.ShowMessage(Text("ReallyEraseSelFilesStr"), DestructiveQuestion) != IDYES)
        return;
    // From the last to the first: a folder's content goes before the folder. Erasing leaves
    // the recorder's list as it is until the next refresh, so the indices hold meanwhile.
    for (auto it = selection.rbegin(); it != selection.rend(); ++it) {
        if (StopRequested())
            break;
        const std::string relative = RelativeDriveName(*it);
        const int index = FindDriveEntry(DriveNameBelow(shownFolder, relative));
        if (index < 0) {
            // A folder the recorder keeps only in its files' names went with its content.
            if (!it->IsFolder)
                Ui.ShowMessage(Text("CantOpenStr") + " " + relative, MB_OK);
            continue;
        }
        Recorder.EraseDriveFile(index);
        const TOperationOutcome outcome =
            WaitRecorderOperation(Text("StatusErasingStr") + " " + relative, false);
        if (!ReportOutcome(outcome))
            break;
    }
}

bool TTransferController::FormatMemory(bool ask) {
    if (ask && Ui.ShowMessage(Text("RecFormatStr"), DestructiveQuestion) != IDYES)
        return false;
    Ui.ClearCancel();
    Cancelled = false;
    Ui.ShowProgress(Text("StatusFormatingStr"), true);
    Recorder.FormatMemory();
    PollRecorderOperation(Recorder, Poll(), true);
    Ui.SetProgress(100);
    return ReportOutcome(Recorder.GetOutcome());
}

int TTransferController::FindDriveEntry(const std::string& name) {
    TDriveFileList* files = Recorder.GetDriveFileList();
    if (files == nullptr)
        return -1;
    const int found = files->IndexOfName(name);
    if (found >= 0 || name.empty())
        return found;
    // The recorder's names carry no leading "\"; the list may still hold either form.
    return name.front() == '\\' ? files->IndexOfName(name.substr(1))
                                : files->IndexOfName("\\" + name);
}

std::uint16_t TTransferController::NextRecordNumber() {
    std::uint16_t highest = 0;
    const TSoundFileList* records = Recorder.GetSoundFileList();
    for (int i = 0; records != nullptr && i < records->Count(); ++i)
        highest = std::max(highest, records->Get(i)->Number);
    return static_cast<std::uint16_t>(highest + 1);
}

std::vector<TCustomSoundFileInfo*>
TTransferController::AutoDownloadSelection(const std::vector<TCustomSoundFileInfo*>& records,
                                           bool nonDownOnly) {
    std::vector<TCustomSoundFileInfo*> chosen;
    for (TCustomSoundFileInfo* record : records)
        if (record != nullptr && record->Parent == nullptr &&
            (!nonDownOnly || record->Status == StatusNotDownloaded))
            chosen.push_back(record);
    return chosen;
}
