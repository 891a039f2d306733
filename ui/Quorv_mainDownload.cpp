// The main window's downloads: records to WAV (or raw) files and drive files to PC files.

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTreeView>

#include "audio/SorvaneExport.h"
#include "engine/RecClasses.h"
#include "engine/RecDownload.h"
#include "engine/Recinterface.h"
#include "i18n/VexaLang.h"
#include "link/RecXchange.h"
#include "platform/SystemTime.h"
#include "ui/FileNameMask.h"
#include "ui/Fileutils.h"
#include "ui/Mainutils.h"
#include "ui/MsgBox.h"
#include "ui/OverWrite.h"
#include "ui/PartSelect.h"
#include "ui/Quorv_main.h"
#include "ui/RenameDlg.h"

namespace {

QString Lang(const char* name) {
    return QString::fromStdString(GetLangConstant(name));
}

// The record's start time moved on by whole seconds, through the calendar.
TSystemTime AddSeconds(const TSystemTime& time, std::uint32_t seconds) {
    if (seconds == 0)
        return time;
    std::int64_t total = DaysFromCivil(time.Year, time.Month, time.Day) * 86400 + time.Hour * 3600 +
                         time.Minute * 60 + time.Second + seconds;
    std::int64_t days = total / 86400;
    std::int64_t rest = total % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    std::int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(days, year, month, day);
    TSystemTime moved = time;
    moved.Year = static_cast<std::uint16_t>(year);
    moved.Month = static_cast<std::uint16_t>(month);
    moved.Day = static_cast<std::uint16_t>(day);
    moved.Hour = static_cast<std::uint16_t>(rest / 3600);
    moved.Minute = static_cast<std::uint16_t>(rest / 60 % 60);
    moved.Second = static_cast<std::uint16_t>(rest % 60);
    moved.DayOfWeek = static_cast<std::uint16_t>(((days % 7) + 11) % 7); // 1970-01-01: Thursday
    return moved;
}

QString JoinPath(const QString& folder, const QString& name) {
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

QString WithRawExtension(const QString& name) {
    const int slash = name.lastIndexOf(QLatin1Char('/'));
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return (dot > slash ? name.left(dot) : name) + QStringLiteral(".raw");
}

// The drive entry's PC path relative to the target folder; empty parts and "." or ".." never
// leave the folder.
std::string DriveEntryRelativeName(const TFileListItem& entry) {
    return entry.FolderPath + entry.Name;
}

void ShowDownloadOutcome(const TOperationOutcome& outcome) {
    switch (outcome.Kind) {
    case TOperationOutcome::TKind::None:
    case TOperationOutcome::TKind::Succeeded:
    case TOperationOutcome::TKind::Cancelled:
        return;
    case TOperationOutcome::TKind::ExchangeFailed:
        ShowExceptionBox(TERecXchange(outcome.Message, outcome.Command, outcome.ErrorCode));
        return;
    case TOperationOutcome::TKind::Failed:
        ShowMessageBox(QString::fromStdString(outcome.Message), ApplicationTitle(), MB_OK);
        return;
    case TOperationOutcome::TKind::Damaged:
        ShowMessageBox(QString::fromStdString(outcome.Message), ApplicationTitle(),
                       MB_OK | MB_ICONERROR);
        return;
    }
}

} // namespace

void TfrmQuorvMain::ConnectDownloadActions() {
    // Unique connections: the update pass calls this every time.
    connect(actCopyToPC, &QAction::triggered, this, &TfrmQuorvMain::actCopyToPCExecute,
            Qt::UniqueConnection);
    connect(actMoveToPC, &QAction::triggered, this, &TfrmQuorvMain::actMoveToPCExecute,
            Qt::UniqueConnection);
    connect(actCopyToDefFolder, &QAction::triggered, this,
            &TfrmQuorvMain::actCopyToDefFolderExecute, Qt::UniqueConnection);
    connect(actMoveToDefFolder, &QAction::triggered, this,
            &TfrmQuorvMain::actMoveToDefFolderExecute, Qt::UniqueConnection);
    connect(actCopySelPart, &QAction::triggered, this, &TfrmQuorvMain::actCopySelPartExecute,
            Qt::UniqueConnection);
}

void TfrmQuorvMain::actCopyToPCExecute() {
    RunDownloadBatch(actCopyToPC);
}
void TfrmQuorvMain::actMoveToPCExecute() {
    RunDownloadBatch(actMoveToPC);
}
void TfrmQuorvMain::actCopyToDefFolderExecute() {
    RunDownloadBatch(actCopyToDefFolder);
}
void TfrmQuorvMain::actMoveToDefFolderExecute() {
    RunDownloadBatch(actMoveToDefFolder);
}
void TfrmQuorvMain::actCopySelPartExecute() {
    RunDownloadBatch(actCopySelPart);
}

void TfrmQuorvMain::actCopySelPartUpdate() {
    const std::vector<int> rows = SelectedRows(lvRecContent);
    const TRecordItem* item = rows.size() == 1 ? RecList->GetItem(rows.front()) : nullptr;
    actCopySelPart->setEnabled(Connected && Recorder != nullptr && !IsBusy() && ViewFlag == 0 &&
                               !ProgramOptions.DisableEditor && item != nullptr &&
                               !item->IsVoicePart());
}

void TfrmQuorvMain::CollectSelectedRecords() {
    SelRecords.clear();
    for (int row : SelectedRows(lvRecContent))
        if (TRecordItem* item = RecList->GetItem(row))
            SelRecords.push_back(item);
}

int TfrmQuorvMain::AskOverwrite(QString& fileName) {
    if (!frmOverwrite)
        frmOverwrite = new TfrmOverwrite(this, frmRename.data());
    frmOverwrite->SetFileName(fileName);
    const int answer = frmOverwrite->exec();
    if (answer == mrOverwrite) {
        QString chosen = frmOverwrite->FileName();
        // A bare name from the rename stays in the folder that was asked about; a name that
        // would leave it is made one plain file name there.
        const QString folder = QFileInfo(fileName).path();
        if (!chosen.contains(QLatin1Char('/')))
            chosen = JoinPath(folder, chosen);
        else if (QFileInfo(chosen).path() != folder)
            chosen = JoinPath(folder, QString::fromStdString(SanitizeFileName(
                                          QFileInfo(chosen).fileName().toStdString())));
        fileName = chosen;
    }
    return answer;
}

int TfrmQuorvMain::SelectRecordPart(std::uint32_t& startSecond, std::uint32_t& duration,
                                    std::uint32_t recordSize) {
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

bool TfrmQuorvMain::DownloadRecord(const QString& fileName, TRecordItem& entry,
                                   std::uint32_t startSecond, std::uint32_t duration) {
    TRecordToDownload record = MakeRecordToDownload(entry);
    record.StartSecond = startSecond;
    record.Duration = duration;

    const QString label =
        Lang("StatusDownloadingRecordStr") + QLatin1Char(' ') + QString::fromStdString(entry.Name);
    ProgressGauge = 0;
    ProgressVisible = true;
    if (Seams.ShowProgress)
        Seams.ShowProgress(label, true);
    if (Seams.SetProgress)
        Seams.SetProgress(0);
    const TDownloadPoll poll = [this](std::uint8_t percent) {
        if (percent != ProgressGauge) {
            ProgressGauge = percent;
            if (Seams.SetProgress)
                Seams.SetProgress(ProgressGauge);
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return CancelRequested;
    };

    bool succeeded = false;
    if (ProgramOptions.SorvaneFormat) {
        // The raw export never marks the record: it carries no mark record.
        TOperationOutcome outcome;
        const auto runRead = [&](TCustomFile& sink) {
            Recorder->OutputSink = &sink;
            try {
                if (record.IsVoicePart())
                    Recorder->ReadSubRecord(record.ParentNumber, record.Number, 0);
                else
                    Recorder->ReadSoundFile(record.Number, record.StartSecond, record.Duration);
            } catch (const TERecXchange& error) {
                Recorder->OutputSink = nullptr;
                ShowExceptionBox(error);
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            bool cancelSent = false;
            while (Recorder->GetState() != StateIdle) {
                if (poll(static_cast<std::uint8_t>(Recorder->GetProgress())) && !cancelSent) {
                    Recorder->Cancel();
                    cancelSent = true;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            Recorder->OutputSink = nullptr;
            outcome = Recorder->GetOutcome();
            return !cancelSent && outcome.Kind == TOperationOutcome::TKind::Succeeded;
        };
        const auto report = [](const std::string& caption, const std::string& text) {
            ShowMessageBox(QString::fromStdString(text),
                           caption.empty() ? ApplicationTitle() : QString::fromStdString(caption),
                           MB_OK);
        };
        succeeded = ExportSorvaneRaw(fileName.toStdString(), record.WaveFormat.Channels,
                                     record.WaveFormat.SamplesPerSec, runRead, report);
        if (!CancelRequested)
            ShowDownloadOutcome(outcome);
    } else {
        TWaveDownloadOptions options;
        options.FileName = fileName.toStdString();
        if (ProgramOptions.Split && ProgramOptions.MaxOutputSize > 0)
            options.SplitSize = static_cast<std::uint64_t>(
                                    std::min<std::int64_t>(ProgramOptions.MaxOutputSize, 4095)) *
                                1024 * 1024;
        const TDownloadResult result = DownloadRecordToWave(*Recorder, record, options, poll);
        if (result.Marked)
            entry.Status = StatusDownloaded;
        if (!CancelRequested)
            ShowDownloadOutcome(result.Outcome);
        succeeded = result.Succeeded();
    }
    ProgressGauge = 100;
    if (Seams.SetProgress)
        Seams.SetProgress(100);
    if (RecModel != nullptr)
        RecModel->Repaint();
    return succeeded;
}

bool TfrmQuorvMain::DownloadDriveFile(const QString& pcName, int index) {
    TDriveFileList* files = Recorder->GetDriveFileList();
    const TDriveFileInfo* file = files != nullptr ? files->Get(index) : nullptr;
    if (file == nullptr)
        return false;
    const QString label =
        Lang("StatusDownloadingFileStr") + QLatin1Char(' ') + QString::fromStdString(file->Name);
    ProgressGauge = 0;
    ProgressVisible = true;
    if (Seams.ShowProgress)
        Seams.ShowProgress(label, true);
    if (Seams.SetProgress)
        Seams.SetProgress(0);
    const TDownloadPoll poll = [this](std::uint8_t percent) {
        if (percent != ProgressGauge) {
            ProgressGauge = percent;
            if (Seams.SetProgress)
                Seams.SetProgress(ProgressGauge);
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return CancelRequested;
    };
    const TDownloadResult result =
        DownloadDriveFileTo(*Recorder, index, pcName.toStdString(), poll);
    ProgressGauge = 100;
    if (Seams.SetProgress)
        Seams.SetProgress(100);
    if (result.Outcome.Kind == TOperationOutcome::TKind::Failed &&
        result.Outcome.Operation == "ReadDFThread" &&
        result.Outcome.Message.rfind("Cannot create", 0) == 0)
        ShowMessageBox(Lang("CantCreateStr") + QLatin1Char(' ') + pcName, ApplicationTitle(),
                       MB_OK);
    else if (!CancelRequested)
        ShowDownloadOutcome(result.Outcome);
    return result.Succeeded();
}

void TfrmQuorvMain::RunDownloadBatch(const QAction* sender) {
    if (Recorder == nullptr || !Connected)
        return;
    SetUiEnabled(false);
    int answer = mrOverwrite;
    CancelRequested = false;
    const bool toDefFolder = sender == actCopyToDefFolder || sender == actMoveToDefFolder;
    const bool move = sender == actMoveToPC || sender == actMoveToDefFolder;
    const QString folder = toDefFolder ? ProgramOptions.DefFolder : ExplorerFolder();
    // What a move may erase afterwards: the rows whose downloads all succeeded.
    std::vector<int> erasable;
    bool downloadedAny = false;

    // The overwrite question for one target; true when it is to be written.
    const auto mayWrite = [&](QString& name) {
        if (!QFileInfo::exists(name))
            answer = mrOverwrite;
        else if (answer != mrSkipAll && answer != mrOverwriteAll)
            answer = AskOverwrite(name);
        if (answer == mrCancelBatch)
            CancelRequested = true;
        return answer == mrOverwrite || answer == mrOverwriteAll;
    };

    try {
        if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
            ShowMessageBox(Lang("PathNotFoundStr") + QLatin1Char(' ') + folder, ApplicationTitle(),
                           MB_OK);
            SetUiEnabled(true);
            return;
        }
        if (ViewFlag == 0) {
            CollectSelectedRecords();
            const std::string serial = Recorder->GetSerialNumber();
            const std::string mask = ProgramOptions.FileNameMask.toStdString();
            for (TRecordItem* entry : SelRecords) {
                if (CancelRequested)
                    break;
                std::uint32_t start = 0;
                std::uint32_t duration = entry->Duration;
                if (sender == actCopySelPart &&
                    (answer == mrOverwrite || answer == mrOverwriteAll) &&
                    SelectRecordPart(start, duration, static_cast<std::uint32_t>(entry->Size)) !=
                        mrOk)
                    continue;
                const TSystemTime time = AddSeconds(entry->Start, start);
                QString name = JoinPath(
                    folder, QString::fromStdString(MakeRecordFileName(*entry, time, serial, mask)));
                if (ProgramOptions.SorvaneFormat)
                    name = WithRawExtension(name);
                if (!mayWrite(name))
                    continue;
                if (DownloadRecord(name, *entry, start, duration)) {
                    downloadedAny = true;
                    const int row = [&] {
                        for (int i = 0; i < RecList->Count(); ++i)
                            if (RecList->GetItem(i) == entry)
                                return i;
                        return -1;
                    }();
                    if (row >= 0)
                        erasable.push_back(row);
                }
            }
        } else {
            const std::vector<int> rows = SelectedRows(lvDrvContent);
            CollectSelectedDriveFiles();
            std::vector<std::string> failed; // relative names not in place on the PC
            for (int i = 0; i < SelDrvList->Count(); ++i) {
                if (CancelRequested)
                    break;
                const TFileListItem entry = SelDrvList->Item(i);
                const std::string relative = DriveEntryRelativeName(entry);
                QString pcName =
                    QString::fromStdString(DriveFilePcPath(folder.toStdString(), relative));
                if (entry.IsFolder) {
                    if (!QDir().mkpath(pcName)) {
                        ShowMessageBox(Lang("CantCreateStr") + QLatin1Char(' ') + pcName,
                                       ApplicationTitle(), MB_OK);
                        failed.push_back(relative);
                    }
                    continue;
                }
                TDriveFileList* files = Recorder->GetDriveFileList();
                const int index = static_cast<int>(entry.DataLink) - 1;
                if (files == nullptr || index < 0 || index >= files->Count() ||
                    files->Get(index)->Folder != 0) {
                    ShowMessageBox(Lang("CantOpenStr") + QLatin1Char(' ') +
                                       QString::fromStdString(relative),
                                   ApplicationTitle(), MB_OK);
                    failed.push_back(relative);
                    continue;
                }
                if (!QDir().mkpath(QFileInfo(pcName).path())) {
                    failed.push_back(relative);
                    continue;
                }
                if (!mayWrite(pcName) || !DownloadDriveFile(pcName, index))
                    failed.push_back(relative);
                else
                    downloadedAny = true;
            }
            for (int row : rows) {
                if (row >= ShownDrvList->Count())
                    continue;
                const std::string selected = DriveEntryRelativeName(ShownDrvList->Item(row));
                const bool complete =
                    std::none_of(failed.begin(), failed.end(), [&](const std::string& name) {
                        return name == selected || name.rfind(selected + "\\", 0) == 0;
                    });
                if (complete)
                    erasable.push_back(row);
            }
        }
    } catch (const TERecXchange& error) {
        ShowExceptionBox(error);
        CancelRequested = true; // nothing is erased after a failed batch
    }
    CloseVisibleProgress();
    SetUiEnabled(true);
    // A move erases only what is safely on the PC: nothing after a cancel, and only the
    // entries whose downloads all ended succeeded with their files closed.
    if (move && !CancelRequested && downloadedAny && !erasable.empty()) {
        SelectRows(ViewFlag == 0 ? lvRecContent : lvDrvContent, erasable);
        actRecEraseExecute(actRecErase);
    }
}
