// The controller's uploads: WAV files become recordings, PC files and folder trees go into
// the flash-drive area.

#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "audio/WaveAddInfo.h"
#include "audio/Wavefunc.h"
#include "engine/RecClasses.h"
#include "engine/RecClassesBlocks.h"
#include "engine/RecClassesLists.h"
#include "link/RecXchange.h"
#include "platform/PosixFile.h"
#include "platform/SystemTime.h"
#include "transfer/TransferController.h"
#include "transfer/TransferHelpers.h"
#include "transfer/TransferUi.h"
#include "transfer/MessageCodes.h"

using transfer::BaseName;
using transfer::DriveNameBelow;
using transfer::Text;

namespace {

constexpr unsigned PartialQuestion = MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON1;

// An existing regular file that opens for reading.
bool CanRead(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool file = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return file;
}

// The file's last-write time in local time; the current time when it cannot be read.
TSystemTime FileLocalTime(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return LocalTimeNow();
    return LocalSystemTime(st.st_mtim.tv_sec, static_cast<unsigned>(st.st_mtim.tv_nsec / 1000000));
}

// A PC path for an entry of a scanned folder tree ("\a\b\" folder path) below base.
std::string PcPathOf(const std::string& base, const TFileListItem& entry) {
    std::string path = base;
    std::size_t from = 0;
    while (from < entry.FolderPath.size()) {
        std::size_t to = entry.FolderPath.find('\\', from);
        if (to == std::string::npos)
            to = entry.FolderPath.size();
        if (to > from)
            path += "/" + entry.FolderPath.substr(from, to - from);
        from = to + 1;
    }
    return path + "/" + entry.Name;
}

} // namespace

// The rate text of the upload label. The text comes from a translation file, so it is never
// handed to printf: only its first %d (or %i, %u) takes the rate and %% stays one percent
// sign; a text without such a conversion is shown unchanged.
std::string UploadRateText(const std::string& format, int rateKbPerSecond) {
    std::string out;
    bool used = false;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        const char next = format[i + 1];
        if (next == '%') {
            out += '%';
            ++i;
        } else if (!used && (next == 'd' || next == 'i' || next == 'u')) {
            out += std::to_string(rateKbPerSecond);
            used = true;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

void TTransferController::UploadRecords(const std::vector<std::string>& paths) {
    Ui.ClearCancel();
    Cancelled = false;
    if (Recorder.ChooseUploadFormat() == -1)
        return;
    for (const std::string& path : paths) {
        if (StopRequested())
            break;
        const std::string name = BaseName(path);
        try {
            if (IsDirectory(path)) {
                Ui.ShowMessage(name + " " + Text("NotWaveFileStr"), MB_OK);
                continue;
            }
            if (!CanRead(path)) {
                Ui.ShowMessage(Text("CantOpenStr") + " " + name, MB_OK);
                continue;
            }
            if (!IsWaveFile(path)) {
                Ui.ShowMessage(name + " " + Text("NotWaveFileStr"), MB_OK);
                continue;
            }
            if (Recorder.IsModified())
                ReadRecordList();
            if (Recorder.GetFreeMemory() <= 0) {
                if (Ui.ShowMessage(Text("NotEnoughSpaceStr") + " " + path, MB_OKCANCEL) == IDCANCEL)
                    Cancelled = true;
                break;
            }
            UploadRecord(path, NextRecordNumber());
        } catch (const TERecXchange& error) {
            Ui.ShowExchangeError(error);
        }
    }
}

bool TTransferController::UploadRecord(const std::string& path, std::uint16_t number) {
    TWaveFile wave;
    wave.SetFileName(path);
    if (!wave.Open()) {
        Ui.ShowMessage(Text("CantOpenStr") + " " + path, MB_OK);
        return false;
    }
    const auto start = [&] {
        // A file this program downloaded keeps the time it was recorded at.
        TSystemTime recordTime;
        if (wave.GetAddInfoSize() == WaveAddInfoSizes[5]) {
            const std::vector<std::uint8_t>& record = wave.GetAddInfo();
            recordTime = ParseWaveAddInfo(record.data(), static_cast<std::int32_t>(record.size()))
                             .RecordTime;
        } else {
            recordTime = FileLocalTime(path);
        }
        const std::int64_t size = Recorder.GetUploadSize(wave);
        if (size < 0) {
            Ui.ShowMessage(Text("UnsuppAudioFmtStr"), MB_OK);
            return false;
        }
        if (Recorder.GetFreeMemory() < size &&
            Ui.ShowMessage(Text("NotEnoughSpaceLoadPartlyStr"), PartialQuestion) != IDYES)
            return false;
        Ui.ShowProgress(Text("StatusPreparingStr"), true);
        const auto started = std::chrono::steady_clock::now();
        Recorder.WriteSoundFile(number, wave, recordTime);
        const std::string format = Text("StatusUploadingRecordStr");
        std::string label;
        int gauge = 0;
        const TOperationPoll poll = Poll();
        PollRecorderOperation(Recorder, [&](std::uint8_t percent, std::uint32_t state) {
            gauge = percent;
            if (state == StateWriting) {
                const double seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - started)
                        .count();
                const double bytes = static_cast<double>(size / 100) * gauge;
                if (seconds > 0) {
                    const int rate = static_cast<int>(std::ceil(bytes / seconds / 1024));
                    const std::string text =
                        UploadRateText(format, rate) + " " + std::to_string(number);
                    // A new label keeps the estimate and a Cancel already pressed.
                    if (text != label)
                        Ui.SetProgressText(label = text);
                }
            }
            return poll(percent, state);
        });
        return true;
    };
    // A write that failed or was cancelled did not run to its end; the recorder removes what
    // a cancelled upload wrote.
    return RunUpload(start, [&wave] { wave.Close(); });
}

bool TTransferController::RunUpload(const std::function<bool()>& start,
                                    const std::function<void()>& closeSource) {
    try {
        if (!start())
            return false;
        Ui.SetProgress(100);
        closeSource();
        return ReportOutcome(Recorder.GetOutcome());
    } catch (const TERecXchange& error) {
        Ui.ShowExchangeError(error);
        return false;
    }
}

void TTransferController::UploadDriveFiles(const std::vector<std::string>& paths,
                                           const std::string& shownFolder) {
    Ui.ClearCancel();
    Cancelled = false;
    // Only files are asked about: an existing folder takes the content as it is.
    TOverwritePolicy policy(Ui,
                            [this](const std::string& name) { return FindDriveEntry(name) >= 0; });
    for (const std::string& path : paths) {
        if (StopRequested())
            break;
        const std::string base = FolderOf(path);
        std::vector<TFileListItem> entries;
        if (IsDirectory(path)) {
            ScanFolderTree(path, &entries);
        } else {
            TFileListItem file;
            file.Name = BaseName(path);
            file.FolderPath = "\\";
            struct stat st {};
            file.Size = ::stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
            file.Time = FileLocalTime(path);
            entries.push_back(file);
        }
        for (std::size_t i = 0; i < entries.size() && !StopRequested(); ++i) {
            const TFileListItem& entry = entries[i];
            const std::string relative = TrimBackslashes(entry.FolderPath + entry.Name);
            const std::string driveName = DriveNameBelow(shownFolder, relative);
            bool skip = false;
            const int existing = FindDriveEntry(driveName);
            if (existing >= 0) {
                if (entry.IsFolder) {
                    skip = true;
                } else {
                    std::string asked = driveName;
                    const TTargetChoice choice = policy.Decide(asked, false);
                    skip = choice != TTargetChoice::Write;
                    if (choice == TTargetChoice::Stop)
                        Cancelled = true;
                }
                // The old entry's blocks count as free for the new file; when even they leave
                // too little room the old entry stays, for erasing it would keep neither.
                if (!skip && !entry.IsFolder) {
                    const std::string refusal = UploadRefusal(driveName, entry, existing);
                    if (!refusal.empty()) {
                        skip = true;
                        if (Ui.ShowMessage(refusal + ": " + relative + "\n" +
                                               Text("DriveFileKeptStr"),
                                           MB_OKCANCEL) == IDCANCEL)
                            Cancelled = true;
                    }
                }
                if (!skip) {
                    Recorder.EraseDriveFile(existing);
                    // An entry that could not be erased is not written over.
                    if (!ReportOutcome(WaitRecorderOperation(
                            Text("StatusErasingStr") + " " + driveName, false)))
                        skip = true;
                }
            }
            if (Recorder.IsModified())
                ReadRecordList();
            if (skip)
                continue;
            // A folder's size counts its entries, not bytes: it needs no room of its own.
            const std::int64_t needed = entry.IsFolder ? 0 : entry.Size;
            if (needed <= Recorder.GetFreeDriveMemory()) {
                UploadDriveFile(driveName, entry, PcPathOf(base, entry));
                if (Recorder.IsModified())
                    ReadRecordList(); // the next entry's lookup needs the list as it is now
            } else if (Ui.ShowMessage(Text("NotEnoughSpaceStr") + " " + relative, MB_OKCANCEL) ==
                       IDCANCEL) {
                Cancelled = true;
            }
        }
    }
}

std::string TTransferController::UploadRefusal(const std::string& driveName,
                                               const TFileListItem& entry, int replaced) {
    const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(entry.Size, 0));
    if (const auto* recorder = dynamic_cast<const TRecorder*>(&Recorder))
        return recorder->DriveUploadRefusal(driveName, size, replaced);
    // Another recorder object tells only bytes: the old entry's bytes count as free.
    std::int64_t room = Recorder.GetFreeDriveMemory();
    if (TDriveFileList* files = Recorder.GetDriveFileList();
        files && replaced >= 0 && replaced < files->Count())
        room += files->Get(replaced)->Size;
    return entry.Size <= room ? std::string() : Text("NotEnoughSpaceStr");
}

bool TTransferController::UploadDriveFile(const std::string& driveName, const TFileListItem& entry,
                                          const std::string& pcPath) {
    Ui.ShowProgress(Text("StatusUploadingFileStr") + " " + entry.Name, true);
    TPosixFile file;
    if (!entry.IsFolder && !file.Open(pcPath, TPosixFile::TMode::ReadOnly)) {
        Ui.ShowMessage(Text("CantOpenStr") + " " + entry.Name, MB_OK);
        return false;
    }
    const auto start = [&] {
        if (!entry.IsFolder && Recorder.GetFreeDriveMemory() < entry.Size) {
            Ui.ShowMessage(Text("NotEnoughSpaceStr") + " " + entry.Name, MB_OK);
            return false;
        }
        Recorder.WriteDriveFile(driveName, entry.IsFolder ? nullptr : &file, entry.Time);
        PollRecorderOperation(Recorder, Poll(), true);
        return true;
    };
    return RunUpload(start, [&file] { file.Close(); });
}
