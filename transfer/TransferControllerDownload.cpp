// The controller's downloads: recordings to WAV (or raw) files, drive files to PC files, and
// the erase that makes a copy a move.

#include <algorithm>
#include <cerrno>
#include <map>
#include <sys/stat.h>

#include "audio/SorvaneExport.h"
#include "engine/RecClassesBlocks.h"
#include "engine/RecClassesLists.h"
#include "link/DebugLog.h"
#include "link/RecXchange.h"
#include "platform/PosixFile.h"
#include "platform/SystemTime.h"
#include "transfer/FileNameMask.h"
#include "transfer/TransferController.h"
#include "transfer/TransferHelpers.h"
#include "transfer/TransferUi.h"
#include "transfer/MessageCodes.h"

using transfer::BaseName;
using transfer::FileProblemText;
using transfer::Text;

// One entry of a batch that reached the PC, and what it left there.
struct TTransferController::TDownloaded {
    std::size_t Entry = 0; // its place in the batch
    std::vector<std::string> Files;
    bool Whole = true; // false: the files are in place but hold what could be read only
    bool Lost = false; // a later download of the same batch replaced one of its files
};

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Creates the folder and every missing folder above it; 0, or the system's error number.
int MakeFolders(const std::string& path) {
    std::size_t at = 0;
    while (at != std::string::npos) {
        at = path.find('/', at + 1);
        const std::string part = path.substr(0, at);
        if (part.empty() || IsDirectory(part))
            continue;
        if (::mkdir(part.c_str(), 0777) != 0)
            return errno == EEXIST ? ENOTDIR : errno;
    }
    return 0;
}

std::string WithRawExtension(const std::string& name) {
    const std::size_t slash = name.find_last_of('/');
    const std::size_t dot = name.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? name.substr(0, dot) : name) + ".raw";
}

// The record's start time moved on by whole seconds, through Unix seconds.
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

// The overwrite question of a download: any entry (a dangling link too) takes a PC name; a
// folder of the name the rename chose can never be written.
TOverwritePolicy PcTargetPolicy(TTransferUi& ui) {
    return TOverwritePolicy(ui, Exists, [](const std::string& name) {
        return IsDirectory(name) ? FileProblemText("CantCreateStr", name, EISDIR) : std::string();
    });
}

} // namespace

TTargetChoice TTransferController::ChooseTarget(std::string& name, TOverwritePolicy& policy) {
    // A folder of that name can never be replaced; no question is worth asking about it.
    if (IsDirectory(name)) {
        Ui.ShowMessage(FileProblemText("CantCreateStr", name, EISDIR), MB_OK);
        return TTargetChoice::Skip;
    }
    const TTargetChoice choice = policy.Decide(name, true);
    if (choice == TTargetChoice::Stop)
        Cancelled = true;
    return choice;
}

bool TTransferController::ConfirmParts(const std::vector<std::string>& targets,
                                       TOverwritePolicy& policy) {
    // The first name was asked about before the download; the numbered parts are known only
    // now, and each that exists is asked about like any other file.
    for (std::size_t i = 1; i < targets.size(); ++i) {
        std::string name = targets[i];
        const TTargetChoice choice = policy.Decide(name, false);
        if (choice == TTargetChoice::Stop)
            Cancelled = true;
        if (choice != TTargetChoice::Write)
            return false;
    }
    return true;
}

void TTransferController::ReportDownload(const TDownloadResult& result) {
    switch (result.Reason) {
    case TDownloadReason::Succeeded:
    case TDownloadReason::Cancelled:
    case TDownloadReason::Declined:
        return;
    case TDownloadReason::RecorderFailed:
    case TDownloadReason::MarkFailed:
    case TDownloadReason::Damaged:
        ReportOutcome(result.Outcome);
        return;
    case TDownloadReason::CantCreate:
        Ui.ShowMessage(FileProblemText("CantCreateStr", result.FailedFile, result.Errno), MB_OK);
        return;
    case TDownloadReason::CantWrite:
        Ui.ShowMessage(FileProblemText("CantWriteStr", result.FailedFile, result.Errno), MB_OK);
        return;
    }
}

TDownloadResult TTransferController::DownloadRecord(TCustomSoundFileInfo& record,
                                                    const std::string& fileName,
                                                    std::uint32_t startSecond,
                                                    std::uint32_t duration,
                                                    TOverwritePolicy& policy) {
    TRecordToDownload wanted = MakeRecordToDownload(record);
    wanted.StartSecond = startSecond;
    wanted.Duration = duration;
    Ui.ShowProgress(Text("StatusDownloadingRecordStr") + " " + record.Name, true);
    TDownloadResult result;
    if (Options.SorvaneFormat) {
        result = DownloadRaw(wanted, fileName);
    } else {
        TWaveDownloadOptions options;
        options.FileName = fileName;
        if (Options.Split && Options.MaxOutputSize > 0)
            options.SplitSize =
                static_cast<std::uint64_t>(std::min<std::int64_t>(Options.MaxOutputSize, 4095)) *
                1024 * 1024;
        // Marked once the batch knows the files are still there at its end.
        options.MarkDownloaded = false;
        options.Random = Options.Random;
        options.ConfirmTargets = [this, &policy](const std::vector<std::string>& targets) {
            return ConfirmParts(targets, policy);
        };
        result = DownloadRecordToWave(
            Recorder, wanted, options,
            [poll = Poll()](std::uint8_t percent) mutable { return poll(percent, StateRunning); });
        ReportDownload(result);
    }
    Ui.SetProgress(100);
    return result;
}

TDownloadResult TTransferController::DownloadRaw(const TRecordToDownload& record,
                                                 const std::string& fileName) {
    TDownloadResult result;
    const auto runRead = [&](TCustomFile& sink) {
        Recorder.OutputSink = &sink;
        try {
            if (record.IsVoicePart())
                Recorder.ReadSubRecord(record.ParentNumber, record.Number, 0);
            else
                Recorder.ReadSoundFile(record.Number, record.StartSecond, record.Duration);
        } catch (const TERecXchange& error) {
            Recorder.OutputSink = nullptr;
            result.Reason = TDownloadReason::RecorderFailed;
            result.Outcome = {TOperationOutcome::TKind::ExchangeFailed, "ReadSFThread",
                              error.Command(), error.ErrorCode(), error.MessageUtf8()};
            return false;
        }
        const bool cancelled = PollRecorderOperation(Recorder, Poll());
        Recorder.OutputSink = nullptr;
        result.Outcome = Recorder.GetOutcome();
        if (cancelled || result.Outcome.Kind == TOperationOutcome::TKind::Cancelled)
            result.Reason = TDownloadReason::Cancelled;
        else if (result.Outcome.Kind != TOperationOutcome::TKind::Succeeded)
            result.Reason = TDownloadReason::RecorderFailed;
        return result.Reason == TDownloadReason::Succeeded;
    };
    // The export's messages name the file and the system's reason; they come first, since a
    // file that refused a write also stopped the read.
    std::string problem;
    const auto report = [&problem](const std::string&, const std::string& text) {
        WriteDebugLog(text);
        if (problem.empty())
            problem = text;
    };
    if (ExportSorvaneRaw(fileName, record.WaveFormat.Channels, record.WaveFormat.SamplesPerSec,
                         runRead, report)) {
        result.Files.push_back(fileName);
        return result;
    }
    if (result.Reason == TDownloadReason::Cancelled)
        return result;
    if (!problem.empty()) {
        result.Reason = TDownloadReason::CantWrite;
        result.FailedFile = fileName;
        Ui.ShowMessage(problem, MB_OK);
    } else if (result.Reason == TDownloadReason::RecorderFailed) {
        ReportOutcome(result.Outcome);
    } else {
        result.Reason = TDownloadReason::CantWrite;
        result.FailedFile = fileName;
    }
    return result;
}

bool TTransferController::NeedsMark(const TCustomSoundFileInfo& record) const {
    // A raw file carries no mark record, and a voice part is marked with nothing.
    return !Options.SorvaneFormat && record.Parent == nullptr &&
           record.Status != StatusDownloaded && record.Status != StatusUploaded;
}

bool TTransferController::MarkDownloaded(TCustomSoundFileInfo& record) {
    if (!NeedsMark(record))
        return true;
    try {
        Recorder.ChangeSoundFileStatus(record.Number, StatusDownloaded);
    } catch (const TERecXchange& error) {
        Ui.ShowExchangeError(error);
        return false;
    }
    record.Status = StatusDownloaded;
    return true;
}

void TTransferController::KeepSurvivors(std::vector<TDownloaded>& done) {
    // A file that a later entry of the batch wrote again, or that is gone, no longer holds
    // what its entry downloaded.
    std::map<std::string, std::size_t> writer;
    for (std::size_t i = 0; i < done.size(); ++i)
        for (const std::string& file : done[i].Files) {
            const auto [at, fresh] = writer.emplace(file, i);
            if (!fresh) {
                done[at->second].Lost = true;
                at->second = i;
            }
        }
    for (TDownloaded& entry : done)
        for (const std::string& file : entry.Files)
            if (!FileExists(file))
                entry.Lost = true;
    // Only what arrived whole and is still there counts as on the PC.
    std::erase_if(done, [](const TDownloaded& entry) { return entry.Lost || !entry.Whole; });
}

bool TTransferController::StartDownloadBatch(const std::string& folder) {
    Ui.ClearCancel();
    Cancelled = false;
    if (folder.empty() || !IsDirectory(folder)) {
        Ui.ShowMessage(Text("PathNotFoundStr") + " " + folder, MB_OK);
        return false;
    }
    return true;
}

void TTransferController::DownloadRecords(const std::vector<TCustomSoundFileInfo*>& records,
                                          const std::string& folder, TDownloadKind kind) {
    if (!StartDownloadBatch(folder))
        return;
    const std::string serial = Recorder.GetSerialNumber();
    TOverwritePolicy policy = PcTargetPolicy(Ui);
    std::vector<TDownloaded> done;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (StopRequested())
            break;
        TCustomSoundFileInfo& record = *records[i];
        std::uint32_t start = 0;
        std::uint32_t duration = record.Duration;
        if (kind == TDownloadKind::SelectedPart &&
            !Ui.SelectRecordPart(start, duration, static_cast<std::uint64_t>(record.Size)))
            continue;
        std::string name =
            JoinPath(folder, MakeRecordFileName(record, AddSeconds(record.Start, start), serial,
                                                Options.FileNameMask));
        if (Options.SorvaneFormat)
            name = WithRawExtension(name);
        const TTargetChoice target = ChooseTarget(name, policy);
        if (target == TTargetChoice::Stop)
            break;
        if (target == TTargetChoice::Skip)
            continue;
        const TDownloadResult result = DownloadRecord(record, name, start, duration, policy);
        if (result.Reason == TDownloadReason::Cancelled || Cancelled) {
            Cancelled = true;
            break;
        }
        if (result.Succeeded())
            done.push_back({i, result.Files, true, false});
    }
    KeepSurvivors(done);
    std::vector<TCustomSoundFileInfo*> erasable;
    bool markSkipped = false;
    for (const TDownloaded& entry : done) {
        TCustomSoundFileInfo& record = *records[entry.Entry];
        if (Options.ReadOnlyMemory) {
            markSkipped = markSkipped || NeedsMark(record);
        } else if (!MarkDownloaded(record)) {
            continue;
        }
        if (record.Parent == nullptr)
            erasable.push_back(&record);
    }
    if (markSkipped)
        Ui.ShowMessage(Text("ImageReadOnlyMarkStr"), MB_OK);
    if (kind == TDownloadKind::Move && !StopRequested() && !erasable.empty())
        EraseRecords(erasable);
}

void TTransferController::DownloadDriveFiles(const std::vector<TFileListItem>& selection,
                                             const std::string& shownFolder,
                                             const std::string& folder, bool move) {
    if (!StartDownloadBatch(folder))
        return;
    TOverwritePolicy policy = PcTargetPolicy(Ui);
    std::vector<TDownloaded> done;
    for (std::size_t i = 0; i < selection.size(); ++i) {
        if (StopRequested())
            break;
        const TFileListItem& entry = selection[i];
        const std::string relative = entry.FolderPath + entry.Name;
        std::string pcName = DriveFilePcPath(folder, relative);
        if (entry.IsFolder) {
            if (const int error = MakeFolders(pcName); error != 0)
                Ui.ShowMessage(FileProblemText("CantCreateStr", pcName, error), MB_OK);
            else
                done.push_back({i, {}, true, false});
            continue;
        }
        TDriveFileList* files = Recorder.GetDriveFileList();
        const int index = static_cast<int>(entry.DataLink) - 1;
        if (files == nullptr || index < 0 || index >= files->Count() ||
            files->Get(index)->Folder != 0) {
            Ui.ShowMessage(Text("CantOpenStr") + " " + transfer::RelativeDriveName(entry), MB_OK);
            continue;
        }
        if (const int error = MakeFolders(FolderOf(pcName)); error != 0) {
            Ui.ShowMessage(FileProblemText("CantCreateStr", pcName, error), MB_OK);
            continue;
        }
        const TTargetChoice target = ChooseTarget(pcName, policy);
        if (target == TTargetChoice::Stop)
            break;
        if (target == TTargetChoice::Skip)
            continue;
        Ui.ShowProgress(Text("StatusDownloadingFileStr") + " " + files->Get(index)->Name, true);
        const TDownloadResult result = DownloadDriveFileTo(
            Recorder, index, pcName,
            [poll = Poll()](std::uint8_t percent) mutable { return poll(percent, StateRunning); });
        Ui.SetProgress(100);
        if (result.Reason == TDownloadReason::Cancelled) {
            Cancelled = true;
            break;
        }
        ReportDownload(result);
        if (result.Succeeded() || result.Reason == TDownloadReason::Damaged)
            done.push_back({i, result.Files, result.Succeeded(), false});
    }
    KeepSurvivors(done);
    if (!move || StopRequested())
        return;
    // A folder goes only when everything below it arrived too.
    std::vector<bool> arrived(selection.size(), false);
    for (const TDownloaded& entry : done)
        arrived[entry.Entry] = true;
    std::vector<TFileListItem> erasable;
    for (std::size_t i = 0; i < selection.size(); ++i) {
        if (!arrived[i])
            continue;
        const TFileListItem& entry = selection[i];
        bool whole = true;
        if (entry.IsFolder) {
            const std::string below = entry.FolderPath + entry.Name + "\\";
            for (std::size_t k = 0; k < selection.size() && whole; ++k)
                if (selection[k].FolderPath.rfind(below, 0) == 0 && !arrived[k])
                    whole = false;
        }
        if (whole)
            erasable.push_back(entry);
    }
    if (!erasable.empty())
        EraseDriveFiles(erasable, shownFolder);
}
