#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/RiffFile.h"
#include "audio/WaveFormat.h"

// Why the last Create, Open, Write or Close failed.
enum class TWaveError {
    None,
    CantOpen,       // the file could not be opened or created
    NotWave,        // no RIFF chunk of form "WAVE" that fits the file
    NoFormat,       // no "fmt " chunk, or one that reaches past the RIFF chunk
    BadFormatSize,  // "fmt " smaller than 16 bytes or larger than the format area
    BadFormat,      // zero channels, rate, bits or block align
    UnsupportedTag, // Create: a format tag we cannot write
    BadAddInfo,     // private chunk over 64 KiB or reaching past the RIFF chunk
    NoData,         // no "data" chunk
    DataPastEnd,    // the "data" chunk reaches past the RIFF chunk or the file
    ShortRead,
    WriteFailed,
    TooLarge, // the RIFF chunk would pass 4 GiB
    NotOpen,
};

// A RIFF WAVE file with our private add-info chunk. A created file is written under a
// temporary name beside the target and renamed over it only by a successful Close, so a
// failed or abandoned file never replaces what was there. A closed file is on the disk, its
// folder entry included.
class TWaveFile {
public:
    TWaveFile();
    virtual ~TWaveFile();
    TWaveFile(const TWaveFile&) = delete;
    TWaveFile& operator=(const TWaveFile&) = delete;

    // True when the file stands ready for data.
    virtual bool Create();
    // The count written, or -1.
    virtual std::int32_t Write(const void* data, std::int32_t count);
    // Finishes a created file (sizes, private chunk, "fact") or forgets a read file's add-info.
    virtual bool Close();
    // Finishes a created file as Close does, flushed to the disk, but leaves it under its
    // temporary name (given back in tempName) for the caller to put in place; false, with
    // nothing left behind, when it could not be finished.
    bool CloseUncommitted(std::string& tempName);

    // True when the file is a readable WAV; format, add-info and data size are loaded and the
    // position is at the first data byte.
    bool Open();
    // Bytes read, never past the end of the "data" chunk; -1 when no file is open for reading.
    std::int32_t Read(void* buffer, std::int32_t count);
    // Drops a file being written: the temporary file is removed, the target is left alone.
    void Abandon();

    bool IsOpen() const { return Riff.IsOpen(); }
    bool IsCreated() const { return Riff.IsOpen() && Riff.IsWriting(); }

    const std::string& GetFileName() const { return FileName; }
    void SetFileName(const std::string& name) { FileName = name; }
    const TWaveFormat& GetFormat() const { return Format; }
    TWaveFormat& GetFormat() { return Format; }
    void SetFormat(const TWaveFormat& format) { Format = format; }

    // The "fact" value: bytes x 8 / bits per sample of everything written.
    std::uint32_t GetSampleCount() const { return SampleCount; }
    // Bytes written, or after Open the size of the "data" chunk as far as the file holds it.
    std::uint64_t GetDataSize() const { return DataSize; }
    // After Open: the data size the file's header states; more than GetDataSize when the
    // file is shorter than its header claims.
    std::uint64_t GetStatedDataSize() const { return StatedDataSize; }
    // The file offset of the first data byte.
    std::uint64_t GetDataStart() const { return DataStart; }
    // The data start advanced by every write.
    std::uint64_t GetDataEndPosition() const { return DataEndPosition; }

    // The add-info record; size -1 when there is none.
    bool HasAddInfo() const { return AddInfoPresent; }
    std::int32_t GetAddInfoSize() const {
        return AddInfoPresent ? static_cast<std::int32_t>(AddInfo.size()) : -1;
    }
    // After Open: the size the private chunk states; more than GetAddInfoSize when the file is
    // cut short inside the record; -1 when there is none.
    std::int64_t GetStatedAddInfoSize() const {
        return AddInfoPresent ? std::int64_t{AddInfoStatedSize} : -1;
    }
    std::vector<std::uint8_t>& GetAddInfo() { return AddInfo; }
    const std::vector<std::uint8_t>& GetAddInfo() const { return AddInfo; }
    // False for a record over 64 KiB.
    bool SetAddInfo(std::vector<std::uint8_t> record);
    void ClearAddInfo();

    TWaveError GetLastError() const { return LastError; }
    // The system's error number behind CantOpen and WriteFailed.
    int GetLastErrno() const { return LastErrno; }

    // The file offset of the first data byte of a new file in this format, -1 for a tag we
    // cannot write.
    static std::int64_t HeaderSizeFor(const TWaveFormat& format);

private:
    bool Fail(TWaveError error);
    bool FailOpen(TWaveError error);
    bool FinishCreated();
    bool ReadHeader();
    std::uint64_t ClosingReserve() const;

    TRiffFile Riff;
    TRiffChunk RiffChunk;
    TRiffChunk DataChunk;
    TRiffChunk FactChunk;
    TRiffChunk AddInfoChunk;
    std::vector<std::uint8_t> AddInfo;
    bool AddInfoPresent = false;
    std::uint32_t AddInfoStatedSize = 0;
    std::string FileName;
    std::string TempName; // the file being written
    TWaveFormat Format;
    std::uint32_t SampleCount = 0;
    std::uint64_t WrittenBits = 0;
    std::uint64_t DataSize = 0;
    std::uint64_t StatedDataSize = 0;
    std::uint64_t DataStart = 0;
    std::uint64_t DataEndPosition = 0;
    TWaveError LastError = TWaveError::None;
    int LastErrno = 0;
};

// True when a TWaveFile can open the file (it is closed again at once).
bool IsWaveFile(const std::string& fileName);
