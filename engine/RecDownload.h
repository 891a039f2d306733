#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio/WatermarkSetup.h"
#include "audio/WaveFormat.h"
#include "engine/Recinterface.h"
#include "platform/SystemTime.h"

class TCustomSoundFileInfo;
class TRecorderWaveFile;

// The downloads of recordings and drive files as the main window runs them, without widgets:
// the steps after a recording's read, a whole WAV download of one recording, and a drive-file
// download into a PC file.

// The recording (or voice part) to download, as the lists show it.
struct TRecordToDownload {
    std::uint16_t Number = 0;       // the recording's number, or a voice part's from 1
    std::uint16_t ParentNumber = 0; // a voice part's recording; 0 for a recording
    std::uint8_t Status = 0xFF;     // 0xFF not downloaded, 0x55 downloaded, 0xAA uploaded
    TSystemTime StartTime;          // of the recording, for the add-info record
    TWaveFormat WaveFormat;         // of the decoded sound
    std::uint8_t SourceCompression = 0;
    std::uint32_t StartSecond = 0; // the span of a recording to read; not used for voice parts
    std::uint32_t Duration = 0;

    bool IsVoicePart() const { return ParentNumber != 0; }
};

// The whole of a recording, or of a voice part (whose parent must be set).
TRecordToDownload MakeRecordToDownload(const TCustomSoundFileInfo& record);

// Asked once the audio is written, with the name of every file the download is to put in
// place (the numbered parts of a split download included); false keeps the files that are
// there and drops the download.
using TConfirmTargets = std::function<bool(const std::vector<std::string>& targets)>;

struct TWaveDownloadOptions {
    std::string FileName;
    std::uint64_t SplitSize = 0; // bytes per part; 0 keeps the sink's largest part
    // Mark a recording that is neither downloaded nor uploaded as downloaded afterwards.
    bool MarkDownloaded = true;
    TMarkRandom Random;             // the watermark's tone source; empty: seeded from the clock
    TConfirmTargets ConfirmTargets; // empty: every file is put in place
};

// Why a download ended as it did.
enum class TDownloadReason {
    Succeeded,
    Cancelled,      // the user cancelled: nothing is left and nothing marked
    RecorderFailed, // the recorder's operation failed or could not start: see Outcome
    CantCreate,     // a PC file could not be created or put in place: FailedFile, Errno
    CantWrite,      // writing or flushing a PC file failed (a full disk): FailedFile, Errno
    Declined,       // ConfirmTargets kept the existing files
    MarkFailed,     // the files are in place, but marking the recording failed: see Outcome
    Damaged,        // the file is in place with what could be read; Outcome's message says
                    // what is missing or damaged and where
};

// How one download ended. Outcome is the read's, or the status change's ("ExchangeFailed",
// operation "ChangeSoundFileStatus") when marking failed.
struct TDownloadResult {
    TDownloadReason Reason = TDownloadReason::Succeeded;
    TOperationOutcome Outcome;
    std::string FailedFile;         // the PC file of CantCreate and CantWrite
    int Errno = 0;                  // the system's error number of CantCreate and CantWrite
    std::vector<std::string> Files; // what the download left on the PC, in order
    std::uint64_t DataBytes = 0;    // PCM bytes the read delivered; a drive file's size
    bool Marked = false;            // the recording was marked downloaded: set the entry's status

    bool Succeeded() const { return Reason == TDownloadReason::Succeeded; }
};

// Called between polls with the progress percent; true asks for a cancel.
using TDownloadPoll = std::function<bool(std::uint8_t percent)>;

// What follows a recording's read, once the recorder's state reads 1. A read that succeeded
// (and was not cancelled by the user) has its WAV output finished: the mark embedder flushed,
// the mark record and check word stored, every part closed and flushed; once ConfirmTargets
// agrees, the parts are put in place together. Any other read, or an output that does not
// close cleanly, has what it wrote removed and the user's files left as they were. Only then,
// and only for a recording that is neither downloaded nor uploaded, is the recording marked
// downloaded. A read that produced no audio leaves no file but counts as downloaded.
TDownloadResult FinishRecordDownload(TCustomRecorder& recorder, TRecorderWaveFile& sink,
                                     const TRecordToDownload& record,
                                     const TWaveDownloadOptions& options, bool userCancelled);

// One recording through the WAV sink: creates the WAV file and sink (add-info version 5
// unless the recording was uploaded), reads the recording into it while polling, then
// FinishRecordDownload. The recorder must be idle.
TDownloadResult DownloadRecordToWave(TCustomRecorder& recorder, const TRecordToDownload& record,
                                     const TWaveDownloadOptions& options,
                                     const TDownloadPoll& poll = {});

// A drive file's name (as read, "\" between folders) as a relative PC path: "/" between
// parts, no empty, "." or ".." part, "/" and control characters in a part replaced by "_",
// each part at most 255 bytes. A name with nothing left gives "_".
std::string SanitiseDriveFileName(const std::string& name);
// folder + "/" + SanitiseDriveFileName(name).
std::string DriveFilePcPath(const std::string& folder, const std::string& name);

// Drive file index of the recorder's list into pcPath, through a temporary file put in place
// (flushed, CommitFiles) when the read succeeded, or ended Damaged (uncorrectable bytes,
// blocks missing on the recorder: the file holds what could be read, cut to the drive file's
// size, and the outcome's message says what is wrong and where); otherwise nothing is left
// behind.
TDownloadResult DownloadDriveFileTo(TCustomRecorder& recorder, int index, const std::string& pcPath,
                                    const TDownloadPoll& poll = {});
