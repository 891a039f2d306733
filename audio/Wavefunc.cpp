#include "audio/Wavefunc.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <unistd.h>

#include "audio/WaveAddInfo.h"
#include "platform/ByteOrder.h"

namespace {

constexpr std::uint32_t WaveForm = MakeFourCc('W', 'A', 'V', 'E');
constexpr std::uint32_t FmtId = MakeFourCc('f', 'm', 't', ' ');
constexpr std::uint32_t FactId = MakeFourCc('f', 'a', 'c', 't');
constexpr std::uint32_t DataId = MakeFourCc('d', 'a', 't', 'a');
// RIFF size field + 8: the largest file a RIFF chunk can describe.
constexpr std::uint64_t MaxRiffFileSize = 0xFFFFFFFFull + RiffChunkHeaderSize;

bool FormatIsUsable(const TWaveFormat& f) {
    return f.Channels != 0 && f.SamplesPerSec != 0 && f.BitsPerSample != 0 && f.BlockAlign != 0;
}

} // namespace

TWaveFile::TWaveFile() {
    SetPcmFormat(&Format, 1, 8000, 16);
}

TWaveFile::~TWaveFile() {
    // A file still being written was never finished: it must not replace the target.
    if (IsCreated())
        Abandon();
    else
        Riff.Close();
}

bool TWaveFile::Fail(TWaveError error) {
    LastError = error;
    return false;
}

bool TWaveFile::FailOpen(TWaveError error) {
    Riff.Close();
    AddInfo.clear();
    AddInfoPresent = false;
    return Fail(error);
}

std::int64_t TWaveFile::HeaderSizeFor(const TWaveFormat& format) {
    const int formatSize = WaveFormatRecordSize(format.FormatTag);
    if (formatSize < 0)
        return -1;
    std::int64_t size = RiffChunkHeaderSize + 4 + RiffChunkHeaderSize + formatSize;
    if (format.FormatTag != WaveFormatPcm)
        size += RiffChunkHeaderSize + 4;
    return size + RiffChunkHeaderSize;
}

bool TWaveFile::Create() {
    DataSize = 0;
    StatedDataSize = 0;
    WrittenBits = 0;
    LastErrno = 0;
    if (Riff.IsOpen())
        return Fail(TWaveError::CantOpen);
    const int formatSize = WaveFormatRecordSize(Format.FormatTag);
    if (formatSize < 0)
        return Fail(TWaveError::UnsupportedTag);
    // Bits per sample of 0 would leave the sample count undefined.
    if (!FormatIsUsable(Format))
        return Fail(TWaveError::BadFormat);
    if (FileName.empty()) {
        LastErrno = ENOENT;
        return Fail(TWaveError::CantOpen);
    }
    TempName = MakeTemporaryName(FileName);
    if (!Riff.Create(TempName)) {
        LastErrno = Riff.GetLastErrno();
        TempName.clear();
        return Fail(TWaveError::CantOpen);
    }
    std::uint8_t area[TWaveFormat::AreaSize];
    WriteWaveFormat(Format, area);
    TRiffChunk fmt;
    bool ok =
        Riff.CreateChunk(RiffChunk, RiffId, 0, WaveForm) == TRiffStatus::Ok &&
        Riff.CreateChunk(fmt, FmtId, static_cast<std::uint32_t>(formatSize)) == TRiffStatus::Ok &&
        Riff.Write(area, static_cast<std::size_t>(formatSize)) == formatSize &&
        Riff.Ascend(fmt) == TRiffStatus::Ok;
    SampleCount = 0;
    FactChunk = TRiffChunk{};
    if (ok && Format.FormatTag != WaveFormatPcm) {
        std::uint8_t count[4] = {};
        ok = Riff.CreateChunk(FactChunk, FactId, 4) == TRiffStatus::Ok &&
             Riff.Write(count, 4) == 4 && Riff.Ascend(FactChunk) == TRiffStatus::Ok;
    }
    ok = ok && Riff.CreateChunk(DataChunk, DataId, 0) == TRiffStatus::Ok;
    if (!ok) {
        LastErrno = Riff.GetLastErrno();
        Abandon();
        return Fail(TWaveError::WriteFailed);
    }
    DataStart = Riff.GetPosition();
    DataEndPosition = DataStart;
    LastError = TWaveError::None;
    return true;
}

std::uint64_t TWaveFile::ClosingReserve() const {
    // Pad byte of the data chunk, and the private chunk with its own pad byte.
    std::uint64_t reserve = 1;
    if (AddInfoPresent)
        reserve += RiffChunkHeaderSize + AddInfo.size() + (AddInfo.size() & 1u);
    return reserve;
}

std::int32_t TWaveFile::Write(const void* data, std::int32_t count) {
    if (!IsCreated()) {
        LastError = TWaveError::NotOpen;
        return -1;
    }
    if (count < 0 || (count > 0 && data == nullptr)) {
        LastError = TWaveError::WriteFailed;
        return -1;
    }
    if (Riff.GetPosition() + static_cast<std::uint64_t>(count) + ClosingReserve() >
        MaxRiffFileSize) {
        LastError = TWaveError::TooLarge;
        LastErrno = EFBIG;
        return -1;
    }
    const std::int64_t written = Riff.Write(data, static_cast<std::size_t>(count));
    if (written < 0) {
        LastErrno = Riff.GetLastErrno();
        LastError = TWaveError::WriteFailed;
        return -1;
    }
    DataSize += static_cast<std::uint64_t>(written);
    DataEndPosition += static_cast<std::uint64_t>(written);
    // Counted over all writes, so pieces of odd length lose no samples.
    WrittenBits += static_cast<std::uint64_t>(written) * 8;
    SampleCount = static_cast<std::uint32_t>(WrittenBits / Format.BitsPerSample);
    return static_cast<std::int32_t>(written);
}

bool TWaveFile::FinishCreated() {
    if (Riff.Ascend(DataChunk) != TRiffStatus::Ok)
        return false;
    if (AddInfoPresent) {
        if (Riff.CreateChunk(AddInfoChunk, WaveAddInfoChunkId,
                             static_cast<std::uint32_t>(AddInfo.size())) != TRiffStatus::Ok)
            return false;
        if (!AddInfo.empty() && Riff.Write(AddInfo.data(), AddInfo.size()) < 0)
            return false;
        if (Riff.Ascend(AddInfoChunk) != TRiffStatus::Ok)
            return false;
    }
    if (Riff.Ascend(RiffChunk) != TRiffStatus::Ok)
        return false;
    if (Format.FormatTag != WaveFormatPcm) {
        std::uint8_t count[4];
        PutU32(count, SampleCount);
        Riff.SetPosition(FactChunk.DataOffset);
        if (Riff.Write(count, 4) != 4)
            return false;
    }
    return true;
}

bool TWaveFile::Close() {
    if (!Riff.IsOpen())
        return Fail(TWaveError::NotOpen);
    if (Riff.IsWriting()) {
        std::string tempName;
        if (!CloseUncommitted(tempName))
            return false;
        TCommitError error;
        if (!CommitFiles({{tempName, FileName}}, &error)) {
            LastErrno = error.Errno;
            RemoveFile(tempName);
            return Fail(TWaveError::WriteFailed);
        }
        return true;
    }
    AddInfo.clear();
    AddInfoPresent = false;
    Riff.Close();
    return true;
}

bool TWaveFile::CloseUncommitted(std::string& tempName) {
    if (!IsCreated())
        return Fail(TWaveError::NotOpen);
    const bool finished = FinishCreated() && Riff.Sync() && Riff.Publish();
    LastErrno = Riff.GetLastErrno();
    Riff.Close();
    if (!finished) {
        if (LastErrno == 0)
            LastErrno = EIO;
        RemoveFile(TempName);
        TempName.clear();
        return Fail(TWaveError::WriteFailed);
    }
    tempName = TempName;
    TempName.clear();
    return true;
}

void TWaveFile::Abandon() {
    const bool writing = IsCreated();
    Riff.Close();
    if (writing && !TempName.empty())
        RemoveFile(TempName);
    TempName.clear();
}

bool TWaveFile::ReadHeader() {
    TRiffChunk fmt;
    // A file cut short, written to a pipe (sizes 0xFFFFFFFF) or missing its pad byte states
    // more than it holds: its chunks are read as far as the file goes.
    if (Riff.Descend(RiffChunk, nullptr, RiffId, WaveForm, TRiffOverstated::Cut) != TRiffStatus::Ok)
        return FailOpen(TWaveError::NotWave);
    if (Riff.Descend(fmt, &RiffChunk, FmtId) != TRiffStatus::Ok)
        return FailOpen(TWaveError::NoFormat);
    if (fmt.Size < TWaveFormat::BaseSize || fmt.Size > TWaveFormat::AreaSize)
        return FailOpen(TWaveError::BadFormatSize);
    std::uint8_t area[TWaveFormat::AreaSize] = {};
    if (Riff.Read(area, fmt.Size) != fmt.Size)
        return FailOpen(TWaveError::ShortRead);
    Format = ReadWaveFormat(area, static_cast<int>(fmt.Size));
    if (!FormatIsUsable(Format))
        return FailOpen(TWaveError::BadFormat);
    Riff.Ascend(fmt);

    // The private chunk is looked for after "fmt "; the first one counts.
    switch (Riff.Descend(AddInfoChunk, &RiffChunk, WaveAddInfoChunkId, 0, TRiffOverstated::Cut)) {
    case TRiffStatus::Ok:
        if (AddInfoChunk.Size > static_cast<std::uint32_t>(WaveAddInfoMaxSize))
            return FailOpen(TWaveError::BadAddInfo);
        AddInfo.assign(AddInfoChunk.Size, 0);
        if (Riff.Read(AddInfo.data(), AddInfo.size()) != static_cast<std::int64_t>(AddInfo.size()))
            return FailOpen(TWaveError::ShortRead);
        AddInfoPresent = true;
        AddInfoStatedSize = std::max(AddInfoChunk.StatedSize, AddInfoChunk.Size);
        break;
    case TRiffStatus::NotFound:
        break;
    case TRiffStatus::PastParent:
        return FailOpen(TWaveError::BadAddInfo);
    default:
        return FailOpen(TWaveError::ShortRead);
    }

    Riff.SetPosition(RiffChunk.DataOffset + 4);
    switch (Riff.Descend(DataChunk, &RiffChunk, DataId, 0, TRiffOverstated::Cut)) {
    case TRiffStatus::Ok:
        break;
    case TRiffStatus::PastParent:
        return FailOpen(TWaveError::DataPastEnd);
    case TRiffStatus::NotFound:
        return FailOpen(TWaveError::NoData);
    default:
        return FailOpen(TWaveError::ShortRead);
    }
    DataSize = DataChunk.Size;
    StatedDataSize = DataChunk.StatedSize;
    DataStart = DataChunk.DataOffset;
    DataEndPosition = DataStart + DataSize;
    SampleCount = 0;
    return true;
}

bool TWaveFile::Open() {
    if (Riff.IsOpen())
        return Fail(TWaveError::CantOpen);
    AddInfo.clear();
    AddInfoPresent = false;
    if (!Riff.OpenRead(FileName)) {
        LastErrno = Riff.GetLastErrno();
        return Fail(TWaveError::CantOpen);
    }
    if (!ReadHeader())
        return false;
    LastError = TWaveError::None;
    return true;
}

std::int32_t TWaveFile::Read(void* buffer, std::int32_t count) {
    if (!Riff.IsOpen() || Riff.IsWriting() || count < 0 || (count > 0 && buffer == nullptr))
        return -1;
    const std::uint64_t position = Riff.GetPosition();
    if (position < DataStart || position >= DataStart + DataSize)
        return 0;
    const std::uint64_t left = DataStart + DataSize - position;
    const std::size_t wanted = static_cast<std::uint64_t>(count) < left
                                   ? static_cast<std::size_t>(count)
                                   : static_cast<std::size_t>(left);
    return static_cast<std::int32_t>(Riff.Read(buffer, wanted));
}

bool TWaveFile::SetAddInfo(std::vector<std::uint8_t> record) {
    if (record.size() > static_cast<std::size_t>(WaveAddInfoMaxSize))
        return false;
    AddInfo = std::move(record);
    AddInfoPresent = true;
    AddInfoStatedSize = static_cast<std::uint32_t>(AddInfo.size());
    return true;
}

void TWaveFile::ClearAddInfo() {
    AddInfo.clear();
    AddInfoPresent = false;
}

bool IsWaveFile(const std::string& fileName) {
    TWaveFile wave;
    wave.SetFileName(fileName);
    if (!wave.Open())
        return false;
    wave.Close();
    return true;
}
