#include "audio/RecorderWaveFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "audio/SpikeFilter.h"
#include "audio/Watermark.h"
#include "audio/WaveAddInfo.h"
#include "i18n/VexaLang.h"
#include "i18n/VexaLangReasons.h"
#include "link/DebugLog.h"

namespace {

// The mark stream adds a record before and after the audio.
constexpr std::uint64_t MarkFramingBytes = 2 * TMarkRecord::Size;

std::string Printf(const char* format, int a) {
    char text[64];
    std::snprintf(text, sizeof text, format, a);
    return text;
}

std::string Printf(const char* format, int a, int b) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string BaseFileName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string MakeNumberedFileName(const std::string& fileName, std::uint32_t partNumber) {
    const std::size_t slash = fileName.find_last_of('/');
    const std::size_t dot = fileName.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string stem = hasExtension ? fileName.substr(0, dot) : fileName;
    const std::string extension = hasExtension ? fileName.substr(dot) : std::string();
    char number[16];
    std::snprintf(number, sizeof number, "_%.4u", partNumber);
    return stem + number + extension;
}

TRecorderWaveFile::TRecorderWaveFile(TCrcWaveFile& wave)
    : Wave(wave), BaseName(wave.GetFileName()) {}

TRecorderWaveFile::~TRecorderWaveFile() {
    RemovePending();
}

std::int32_t TRecorderWaveFile::Read(void* buffer, std::int32_t count) {
    return Wave.Read(buffer, count);
}

bool TRecorderWaveFile::SetMaxPartSize(std::uint64_t bytes) {
    if (bytes < MinMaxPartSize)
        return false;
    MaxPartSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, DefaultMaxPartSize));
    return true;
}

void TRecorderWaveFile::NoteFailure(TSinkFailure::TReason reason, const std::string& fileName,
                                    int error) {
    if (Failure.Reason != TSinkFailure::TReason::None)
        return; // the first failure is the one to tell
    Failure = {reason, fileName, error != 0 ? error : EIO};
}

void TRecorderWaveFile::RemovePending() {
    for (const TPendingFile& part : Pending)
        if (!RemoveFile(part.TempName))
            WriteDebugLog("Could not remove " + part.TempName);
    // The parts waiting are the last ones finished; none of them reaches its name now.
    PartFileNames.resize(PartFileNames.size() - std::min(PartFileNames.size(), Pending.size()));
    Pending.clear();
}

void TRecorderWaveFile::ReportCantCreate(const std::string& fileName, int error) {
    NoteFailure(TSinkFailure::TReason::CantCreate, fileName, error);
    const std::string text = GetLangConstant("CantCreateStr") + " " + BaseFileName(fileName) +
                             "\n" + SystemReasonText(error);
    if (ErrorReport)
        ErrorReport(MessageCaption, text);
    else
        WriteDebugLog(text);
}

bool TRecorderWaveFile::OpenPart() {
    const std::string name =
        PartNumber == 0 ? BaseName : MakeNumberedFileName(BaseName, PartNumber);
    Wave.SetFileName(name);
    if (!Wave.Create()) {
        ReportCantCreate(name, Wave.GetLastErrno());
        return false;
    }
    Wave.ResetCrc();
    PartInput = 0;
    SetupWatermark(Wave, SourceCompression, Uploaded, SerialNumber,
                   Random ? Random : MakeTimeSeededMarkRandom());
    return true;
}

bool TRecorderWaveFile::WriteMarkOutput(const std::uint8_t* output, std::int32_t count) {
    if (count <= 0)
        return true;
    const std::int32_t written = Wave.Write(output, count);
    WriteDebugLog(Printf("Actually written %d bytes", written));
    if (written != count) {
        WriteDebugLog("Writing " + Wave.GetFileName() + " failed");
        NoteFailure(TSinkFailure::TReason::CantWrite, Wave.GetFileName(), Wave.GetLastErrno());
        return false;
    }
    return true;
}

bool TRecorderWaveFile::Feed(const std::uint8_t* data, std::int32_t count) {
    const std::uint8_t* output = nullptr;
    std::int32_t outputCount = 0;
    mrk_Process(data, count, &output, &outputCount);
    PartInput += static_cast<std::uint64_t>(count);
    WriteDebugLog(Printf("mrk_Process(%d) = %d bytes", count, outputCount));
    return WriteMarkOutput(output, outputCount);
}

bool TRecorderWaveFile::ClosePart() {
    const std::uint8_t* output = nullptr;
    std::int32_t outputCount = 0;
    mrk_Process(nullptr, 0, &output, &outputCount);
    WriteDebugLog(Printf("mrk_Process(%d) = %d bytes", 0, outputCount));
    bool ok = WriteMarkOutput(output, outputCount);
    TMarkBytes mark{};
    if (Wave.HasAddInfo()) {
        mrk_GetAddInfo(mark.data());
        StoreWaveAddInfoMarkRecord(Wave.GetAddInfo(), mark.data());
        StoreWaveAddInfoCheckWord(Wave.GetAddInfo(), Wave.GetCrc());
    }
    if (!ok) {
        Wave.Abandon();
        return false;
    }
    std::string tempName;
    if (!Wave.CloseUncommitted(tempName)) {
        WriteDebugLog("Closing " + Wave.GetFileName() + " failed");
        NoteFailure(TSinkFailure::TReason::CantWrite, Wave.GetFileName(), Wave.GetLastErrno());
        return false;
    }
    Pending.push_back({tempName, Wave.GetFileName()});
    PartFileNames.push_back(Wave.GetFileName());
    PartInput = 0;
    return true;
}

std::uint32_t TRecorderWaveFile::BytesThatFit() const {
    std::uint64_t fixed = Wave.GetDataStart() + MarkFramingBytes;
    if (Wave.HasAddInfo()) {
        const std::uint64_t size = Wave.GetAddInfo().size();
        fixed += RiffChunkHeaderSize + size + (size & 1u);
    }
    if (fixed >= MaxPartSize)
        return 0;
    // The part's audio ends on a frame of the whole stream, which its start is on too.
    const std::uint64_t frame = std::max<std::uint16_t>(1, Wave.GetFormat().BlockAlign);
    std::uint64_t partEnd = (MaxPartSize - fixed) / frame * frame;
    // An odd data chunk takes a pad byte as well.
    if ((partEnd & 1u) && fixed + partEnd + 1 > MaxPartSize)
        partEnd = partEnd >= frame ? partEnd - frame : 0;
    if (partEnd <= PartInput)
        return 0;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(partEnd - PartInput, 0x7FFFFFFF));
}

std::int32_t TRecorderWaveFile::Write(const void* data, std::int32_t count) {
    WriteDebugLog("Writing data begin...");
    // After a failure the open part is incomplete; nothing more goes into it.
    const std::int32_t result = Failed ? 0 : WriteParts(data, count);
    if (data != nullptr && count > 0 && result == 0 && !Failed) {
        Failed = true;
        Abandon();
    }
    WriteDebugLog("Writing data end...");
    return result;
}

std::int32_t TRecorderWaveFile::WriteParts(const void* data, std::int32_t count) {
    if (data == nullptr || count <= 0)
        return 0;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    Work.assign(bytes, bytes + count);
    const TWaveFormat& format = Wave.GetFormat();
    if (format.BitsPerSample == 16)
        FilterSpikes(Work.data(), Work.size() / 2, std::max<unsigned>(1, format.Channels));

    std::int32_t written = 0;
    while (written < count) {
        if (!Wave.IsOpen() && !OpenPart())
            return 0;
        const std::int32_t remaining = count - written;
        const std::uint32_t fit = BytesThatFit();
        if (static_cast<std::uint32_t>(remaining) <= fit) {
            if (!Feed(Work.data() + written, remaining))
                return 0;
            written += remaining;
            continue;
        }
        if (fit == 0 && PartInput == 0) {
            WriteDebugLog("Part size limit leaves no room for audio in " + Wave.GetFileName());
            return 0;
        }
        if (fit > 0 && !Feed(Work.data() + written, static_cast<std::int32_t>(fit)))
            return 0;
        written += static_cast<std::int32_t>(fit);
        if (!ClosePart())
            return 0;
        ++PartNumber;
    }
    return written;
}

bool TRecorderWaveFile::Finish() {
    return FinishParts() && Commit();
}

bool TRecorderWaveFile::FinishParts() {
    if (Failed) {
        Abandon();
        return false;
    }
    if (!Wave.IsCreated())
        return true;
    if (ClosePart())
        return true;
    Failed = true;
    Abandon();
    return false;
}

bool TRecorderWaveFile::Commit() {
    if (Failed)
        return false;
    TCommitError error;
    if (!CommitFiles(Pending, &error)) {
        WriteDebugLog("Putting " + error.Target + " in place failed");
        NoteFailure(TSinkFailure::TReason::CantCreate, error.Target, error.Errno);
        Failed = true;
        Abandon();
        return false;
    }
    Pending.clear();
    return true;
}

void TRecorderWaveFile::Abandon() {
    if (Wave.IsCreated())
        Wave.Abandon();
    RemovePending();
}
