#include "engine/RecDownload.h"

#include <cerrno>
#include <exception>
#include <unistd.h>

#include "audio/CrcWaveFile.h"
#include "audio/RecorderWaveFile.h"
#include "audio/WaveAddInfo.h"
#include "engine/RecClassesBlocks.h"
#include "engine/RecClassesLists.h"
#include "engine/RecOperationWait.h"
#include "link/DebugLog.h"
#include "link/RecXchange.h"
#include "platform/CodePage.h"
#include "platform/PosixFile.h"

namespace {

using TKind = TOperationOutcome::TKind;

constexpr std::size_t MaxNamePartBytes = 255;

// Counts the PCM bytes a read hands to the sink.
class TCountingSink : public TCustomFile {
public:
    explicit TCountingSink(TCustomFile& inner) : Inner(inner) {}
    std::int32_t Read(void* buffer, std::int32_t count) override {
        return Inner.Read(buffer, count);
    }
    std::int32_t Write(const void* data, std::int32_t count) override {
        const std::int32_t written = Inner.Write(data, count);
        if (written > 0)
            Bytes += static_cast<std::uint64_t>(written);
        return written;
    }
    std::uint64_t Bytes = 0;

private:
    TCustomFile& Inner;
};

TOperationOutcome Outcome(TKind kind, const std::string& operation, const std::string& message) {
    return {kind, operation, 0, 0, message};
}

// Waits for the read with the one wait of the program; true when the user asked for a cancel.
bool WaitForRecorder(TCustomRecorder& recorder, const TDownloadPoll& poll) {
    return PollRecorderOperation(
        recorder, [&poll](std::uint8_t percent, std::uint32_t) { return poll && poll(percent); });
}

TDownloadResult FromSink(const TSinkFailure& failure, TDownloadResult result) {
    result.Reason = failure.Reason == TSinkFailure::TReason::CantCreate
                        ? TDownloadReason::CantCreate
                        : TDownloadReason::CantWrite;
    result.FailedFile = failure.FileName;
    result.Errno = failure.Errno;
    return result;
}

// Starts an operation; an exception from starting becomes the result's outcome.
template <typename TStart>
bool StartRead(TStart start, const std::string& operation, TDownloadResult& result) {
    try {
        start();
        return true;
    } catch (const TERecXchange& error) {
        result.Outcome = {TKind::ExchangeFailed, operation, error.Command(), error.ErrorCode(),
                          error.MessageUtf8()};
    } catch (const std::exception& error) {
        result.Outcome = Outcome(TKind::Failed, operation, error.what());
    }
    result.Reason = TDownloadReason::RecorderFailed;
    return false;
}

std::vector<std::uint8_t> MakeAddInfo(TCustomRecorder& recorder, const TRecordToDownload& record) {
    TWaveAddInfo info;
    info.Version = 5;
    info.SerialNumber = Utf8ToUtf16(recorder.GetSerialNumber());
    info.ModelName = Utf8ToUtf16(recorder.GetModelName());
    info.RecordTime = record.StartTime;
    info.SourceCompression = record.SourceCompression;
    return BuildWaveAddInfo(info);
}

std::string SanitiseNamePart(const std::string& part) {
    std::string safe;
    for (const char c : part) {
        const auto byte = static_cast<unsigned char>(c);
        safe += byte < 0x20 || byte == 0x7F || c == '/' ? '_' : c;
    }
    if (safe.size() > MaxNamePartBytes) {
        std::size_t cut = MaxNamePartBytes;
        // Never cut inside a UTF-8 sequence.
        while (cut > 0 && (static_cast<unsigned char>(safe[cut]) & 0xC0) == 0x80)
            --cut;
        safe.resize(cut);
    }
    return safe;
}

} // namespace

TRecordToDownload MakeRecordToDownload(const TCustomSoundFileInfo& record) {
    TRecordToDownload r;
    r.Number = record.Number;
    r.ParentNumber = record.Parent != nullptr ? record.Parent->Number : 0;
    r.Status = record.Status;
    r.StartTime = record.Start;
    r.WaveFormat = record.WaveFormat;
    r.SourceCompression = record.SourceCompression;
    r.StartSecond = 0;
    r.Duration = record.Duration;
    return r;
}

TDownloadResult FinishRecordDownload(TCustomRecorder& recorder, TRecorderWaveFile& sink,
                                     const TRecordToDownload& record,
                                     const TWaveDownloadOptions& options, bool userCancelled) {
    TDownloadResult result;
    result.Outcome = recorder.GetOutcome();
    if (userCancelled && result.Outcome.Kind == TKind::Succeeded)
        result.Outcome.Kind = TKind::Cancelled;
    // A sink that refused a write stopped the read: its own reason is the one to tell.
    if (sink.HasFailed()) {
        sink.Abandon();
        return FromSink(sink.GetFailure(), result);
    }
    if (result.Outcome.Kind != TKind::Succeeded) {
        sink.Abandon();
        result.Reason = result.Outcome.Kind == TKind::Cancelled ? TDownloadReason::Cancelled
                                                                : TDownloadReason::RecorderFailed;
        return result;
    }
    if (!sink.FinishParts())
        return FromSink(sink.GetFailure(), result);
    if (options.ConfirmTargets && !sink.GetPartFileNames().empty() &&
        !options.ConfirmTargets(sink.GetPartFileNames())) {
        sink.Abandon();
        result.Reason = TDownloadReason::Declined;
        return result;
    }
    if (!sink.Commit())
        return FromSink(sink.GetFailure(), result);
    result.Files = sink.GetPartFileNames();
    if (!options.MarkDownloaded || record.IsVoicePart() || record.Status == StatusDownloaded ||
        record.Status == StatusUploaded)
        return result;
    const std::string operation = "ChangeSoundFileStatus";
    try {
        recorder.ChangeSoundFileStatus(record.Number, StatusDownloaded);
        result.Marked = true;
        return result;
    } catch (const TERecXchange& error) {
        result.Outcome = {TKind::ExchangeFailed, operation, error.Command(), error.ErrorCode(),
                          error.MessageUtf8()};
    } catch (const std::exception& error) {
        result.Outcome = Outcome(TKind::Failed, operation, error.what());
    }
    result.Reason = TDownloadReason::MarkFailed;
    return result;
}

TDownloadResult DownloadRecordToWave(TCustomRecorder& recorder, const TRecordToDownload& record,
                                     const TWaveDownloadOptions& options,
                                     const TDownloadPoll& poll) {
    TDownloadResult result;
    TCrcWaveFile wave;
    wave.SetFileName(options.FileName);
    wave.SetFormat(record.WaveFormat);
    TRecorderWaveFile sink(wave);
    if (options.SplitSize > 0 && !sink.SetMaxPartSize(options.SplitSize)) {
        result.Outcome = Outcome(TKind::Failed, "ReadSFThread", "The split size is too small");
        result.Reason = TDownloadReason::RecorderFailed;
        return result;
    }
    if (record.Status == StatusUploaded) {
        sink.SetUploaded(1);
    } else {
        wave.SetAddInfo(MakeAddInfo(recorder, record));
        sink.SetUploaded(0);
    }
    sink.SetSourceCompression(record.SourceCompression);
    sink.SetSerialNumber(recorder.GetSerialNumber());
    if (options.Random)
        sink.SetRandomSource(options.Random);
    // The result tells why a part failed; the caller shows it.
    sink.SetErrorReport([](const std::string&, const std::string& text) { WriteDebugLog(text); });

    TCountingSink counter(sink);
    recorder.OutputSink = &counter;
    const bool started = StartRead(
        [&] {
            if (record.IsVoicePart())
                recorder.ReadSubRecord(record.ParentNumber, record.Number, 0);
            else
                recorder.ReadSoundFile(record.Number, record.StartSecond, record.Duration);
        },
        "ReadSFThread", result);
    const bool userCancelled = started && WaitForRecorder(recorder, poll);
    recorder.OutputSink = nullptr;
    if (!started) {
        sink.Abandon();
        return result;
    }
    result = FinishRecordDownload(recorder, sink, record, options, userCancelled);
    result.DataBytes = counter.Bytes;
    return result;
}

std::string SanitiseDriveFileName(const std::string& name) {
    std::string path;
    std::size_t from = 0;
    while (from <= name.size()) {
        std::size_t to = name.find('\\', from);
        if (to == std::string::npos)
            to = name.size();
        const std::string part = SanitiseNamePart(name.substr(from, to - from));
        if (!part.empty() && part != "." && part != "..") {
            if (!path.empty())
                path += '/';
            path += part;
        }
        from = to + 1;
    }
    return path.empty() ? "_" : path;
}

std::string DriveFilePcPath(const std::string& folder, const std::string& name) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path + SanitiseDriveFileName(name);
}

TDownloadResult DownloadDriveFileTo(TCustomRecorder& recorder, int index, const std::string& pcPath,
                                    const TDownloadPoll& poll) {
    TDownloadResult result;
    const std::string tempPath = MakeTemporaryName(pcPath);
    TPosixFile target;
    errno = 0;
    if (!target.Open(tempPath, TPosixFile::TMode::CreateTemporary)) {
        result.Reason = TDownloadReason::CantCreate;
        result.FailedFile = pcPath;
        result.Errno = errno != 0 ? errno : EIO;
        return result;
    }
    const bool started =
        StartRead([&] { recorder.ReadDriveFile(index, &target); }, "ReadDFThread", result);
    const bool userCancelled = started && WaitForRecorder(recorder, poll);
    if (started) {
        result.Outcome = recorder.GetOutcome();
        if (userCancelled && result.Outcome.Kind == TKind::Succeeded)
            result.Outcome.Kind = TKind::Cancelled;
        switch (result.Outcome.Kind) {
        case TKind::Succeeded:
            result.Reason = TDownloadReason::Succeeded;
            break;
        case TKind::Cancelled:
            result.Reason = TDownloadReason::Cancelled;
            break;
        case TKind::Damaged:
            result.Reason = TDownloadReason::Damaged;
            break;
        default:
            result.Reason = TDownloadReason::RecorderFailed;
            break;
        }
    }
    const std::int64_t size = target.Size();
    const bool synced = target.Sync();
    // A write that failed on the PC side is told as such, whatever the read made of it.
    if (started && (target.GetLastErrno() != 0 || !synced) &&
        result.Reason != TDownloadReason::Cancelled) {
        result.Reason = TDownloadReason::CantWrite;
        result.FailedFile = pcPath;
        result.Errno = target.GetLastErrno() != 0 ? target.GetLastErrno() : EIO;
    }
    // A damaged file is kept: it holds every byte that could be read, and the outcome tells
    // the user where the rest is.
    bool keep = result.Succeeded() || result.Reason == TDownloadReason::Damaged;
    if (keep && !target.Publish()) {
        keep = false;
        result.Reason = TDownloadReason::CantCreate;
        result.FailedFile = pcPath;
        result.Errno = target.GetLastErrno() != 0 ? target.GetLastErrno() : EIO;
    }
    target.Close();
    TCommitError error;
    if (keep && !CommitFiles({{tempPath, pcPath}}, &error)) {
        result.Reason = TDownloadReason::CantCreate;
        result.FailedFile = pcPath;
        result.Errno = error.Errno;
    }
    if (result.Succeeded() || result.Reason == TDownloadReason::Damaged) {
        result.Files.push_back(pcPath);
        result.DataBytes = size > 0 ? static_cast<std::uint64_t>(size) : 0;
        return result;
    }
    RemoveFile(tempPath);
    return result;
}
