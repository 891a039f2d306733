#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio/WatermarkSetup.h"
#include "engine/RecDownload.h"
#include "engine/RecOperationWait.h"
#include "engine/Recinterface.h"
#include "transfer/FileTree.h"
#include "transfer/OverwritePolicy.h"

class TCustomSoundFileInfo;
class TTransferUi;

// The rate text of the upload label: the rate put into the format's first integer
// conversion; no printf on a translated text.
std::string UploadRateText(const std::string& format, int rateKbPerSecond);

// The program options a batch reads, taken when the batch starts.
struct TTransferOptions {
    std::string FileNameMask;
    bool Split = true;
    std::int64_t MaxOutputSize = 0; // megabytes per part of a split download; 0: no split
    bool SorvaneFormat = false;     // downloads to the resampled raw format
    bool NonSavedEraseDisable = false;
    // The recorder's memory is an image file that may not be written: downloads are not
    // marked on it.
    bool ReadOnlyMemory = false;
    TMarkRandom Random; // the watermark's tone source; empty: seeded from the clock
};

// The program options the first refresh of a new connection reads.
struct TFirstRefreshOptions {
    bool SyncTime = false;     // the recorder's clock set to the PC's, for every kind
    bool AutoDownload = false; // AutoDownloadSelection fetched into DownloadFolder
    bool NonDownOnly = false;  // only what is not downloaded yet
    bool AutoDelete = false;   // and erased once on the PC, as a move erases
    std::string DownloadFolder;
};

// The records view as a refresh works on it; a hand-over left empty does nothing.
struct TRecordsView {
    // The first read of a new connection is in, before anything else is done with it.
    std::function<void()> FirstReadShown;
    // The view's entries in the order shown, as the read left them.
    std::function<std::vector<TCustomSoundFileInfo*>()> Entries;
    // These rows of Entries selected, and nothing else.
    std::function<void(const std::vector<int>& rows)> SelectRows;
    // The entries' statuses may have changed.
    std::function<void()> Repaint;
};

enum class TDownloadKind {
    Copy,
    Move,         // the copy, then the erase of what reached the PC
    SelectedPart, // a part of each recording, chosen in the part selection
};

// The batches of the main window over one recorder, without widgets: downloads, moves,
// uploads, erase and format. Each waits for its recorder operations with the progress form,
// asks and tells through the TTransferUi and leaves the recorder idle. A failed recorder
// exchange of one file is shown and its batch goes on; one that escapes (a failed erase, an
// exchange of the recorder object itself) reaches the caller.
class TTransferController {
public:
    TTransferController(TCustomRecorder& recorder, TTransferUi& ui, TTransferOptions options);

    // The recorder's content read again with the gauge of the progress form the caller shows;
    // the window's lists let go before and refill after (ListsChanging, ListsChanged).
    void ReadRecordList();
    // The refresh of the recorder views: the content read again; after the first read of a
    // new connection also the clock set, the automatic download with its rows selected
    // beforehand, and a note when the recorder holds nothing and has no unused memory (it was
    // never formatted).
    void RefreshContent(bool firstRead, const TFirstRefreshOptions& options,
                        const TRecordsView& view);
    // The recorder's clock set to the PC's local time; a failure is shown.
    void SyncRecorderClock();
    // The recording of entry (a voice part's own recording) marked not downloaded on the
    // recorder, and the shown entries of that recording with it; a failure is shown. True
    // when it was marked.
    bool MarkNotDownloaded(const TCustomSoundFileInfo& entry,
                           const std::vector<TCustomSoundFileInfo*>& shown);
    // Waits for the running operation, showing the progress form with the text while it runs
    // past the first poll. A cancel reaches the recorder only with forwardCancel; the batch
    // stops before its next entry either way.
    TOperationOutcome WaitRecorderOperation(const std::string& text, bool forwardCancel);

    // The records into the folder, named by the file-name mask. A recording is marked
    // downloaded, and a move erases it, only when its files were written, flushed and put in
    // place and are still there when the batch ends; a move erases nothing after a cancel.
    void DownloadRecords(const std::vector<TCustomSoundFileInfo*>& records,
                         const std::string& folder, TDownloadKind kind);
    // The collected drive selection (folders expanded, relative to shownFolder) into the
    // folder; a move erases the entries that arrived whole.
    void DownloadDriveFiles(const std::vector<TFileListItem>& selection,
                            const std::string& shownFolder, const std::string& folder, bool move);
    // Asks first; erases whole recordings from the first to the last, stopping only between
    // them.
    void EraseRecords(const std::vector<TCustomSoundFileInfo*>& records);
    // Asks first; erases the selection from its last entry to its first.
    void EraseDriveFiles(const std::vector<TFileListItem>& selection,
                         const std::string& shownFolder);
    // WAV files as new recordings above the highest number.
    void UploadRecords(const std::vector<std::string>& paths);
    // Files and folder trees into the shown drive folder.
    void UploadDriveFiles(const std::vector<std::string>& paths, const std::string& shownFolder);
    // With ask, the question comes first. True when the memory was formatted to the end.
    bool FormatMemory(bool ask);

    // One above the highest record number on the recorder; 1 for an empty recorder.
    std::uint16_t NextRecordNumber();
    // The whole recordings the automatic download fetches: those not downloaded yet, or all.
    static std::vector<TCustomSoundFileInfo*>
    AutoDownloadSelection(const std::vector<TCustomSoundFileInfo*>& records, bool nonDownOnly);

private:
    struct TDownloaded;

    bool StopRequested();
    // One exchange the window asks for outside a batch; its failure is shown. True when it
    // went through.
    bool ExchangeShown(const std::function<void()>& exchange);
    void AutoDownload(const TFirstRefreshOptions& options, const TRecordsView& view);
    TOperationPoll Poll(std::function<void(std::uint32_t state)> onPoll = {});
    bool ReportOutcome(const TOperationOutcome& outcome);
    void ReportDownload(const TDownloadResult& result);
    // The start of a download batch: no cancel request and no stop left from the last one,
    // and the PC folder there. False, with the message shown, when the folder is missing.
    bool StartDownloadBatch(const std::string& folder);
    // What becomes of a download's target: written, skipped (asked, or a folder in the
    // way), or the batch stops.
    TTargetChoice ChooseTarget(std::string& name, TOverwritePolicy& policy);
    bool ConfirmParts(const std::vector<std::string>& targets, TOverwritePolicy& policy);
    TDownloadResult DownloadRecord(TCustomSoundFileInfo& record, const std::string& fileName,
                                   std::uint32_t startSecond, std::uint32_t duration,
                                   TOverwritePolicy& policy);
    TDownloadResult DownloadRaw(const TRecordToDownload& record, const std::string& fileName);
    // Whether a download of the record is marked on the recorder at all.
    bool NeedsMark(const TCustomSoundFileInfo& record) const;
    bool MarkDownloaded(TCustomSoundFileInfo& record);
    void KeepSurvivors(std::vector<TDownloaded>& done);
    bool UploadRecord(const std::string& path, std::uint16_t number);
    // Runs one upload's exchange: start begins the write and waits for it (false when it did
    // not begin, the reason shown). Then the gauge is full, closeSource closes the PC file and
    // the recorder's outcome is told; an exchange fault is shown. True when it succeeded.
    bool RunUpload(const std::function<bool()>& start, const std::function<void()>& closeSource);
    bool UploadDriveFile(const std::string& driveName, const TFileListItem& entry,
                         const std::string& pcPath);
    int FindDriveEntry(const std::string& name);
    // Why the recorder would refuse entry in place of the drive file at replaced; empty when
    // it would take it.
    std::string UploadRefusal(const std::string& driveName, const TFileListItem& entry,
                              int replaced);

    TCustomRecorder& Recorder;
    TTransferUi& Ui;
    TTransferOptions Options;
    bool Cancelled = false; // the overwrite question said stop
};
