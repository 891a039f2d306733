#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio/CrcWaveFile.h"
#include "audio/CustomFile.h"
#include "audio/WatermarkSetup.h"
#include "platform/PosixFile.h"

// How the sink reports a part it cannot create: caption and text of a message box.
using TSinkErrorReport = std::function<void(const std::string& caption, const std::string& text)>;

// Why a sink stopped taking audio, for the download to tell the user.
struct TSinkFailure {
    enum class TReason {
        None,
        CantCreate, // a part could not be created or put in place under its name
        CantWrite,  // writing, finishing or flushing a part failed (a full disk, say)
    };
    TReason Reason = TReason::None;
    std::string FileName; // the part's own name, not its temporary one
    int Errno = 0;        // the system's error number
};

// The name of part n: name without extension, "_", n as "%.4d", extension.
// Part 1 of /rec/call.wav is /rec/call_0001.wav.
std::string MakeNumberedFileName(const std::string& fileName, std::uint32_t partNumber);

// The WAV sink of a download: filters spikes, marks the audio and writes it, splitting it into
// numbered parts so that no part file grows past the limit. Every part is whole: it ends on a
// frame, carries its own leading and trailing mark records, and its add-info (when the WAV
// file has one) gets that part's mark record and check word. Finished parts wait under
// temporary names until Commit puts them all in place at once, so the user's files of the
// same names stay untouched until the whole download has succeeded.
class TRecorderWaveFile : public TCustomFile {
public:
    static constexpr std::uint32_t DefaultMaxPartSize = 0xFFFFFC00u;
    // Smaller limits are refused: a part must hold its header, records and add-info.
    static constexpr std::uint32_t MinMaxPartSize = 4096;

    // The WAV file is named and formatted but not created; it stays the caller's.
    explicit TRecorderWaveFile(TCrcWaveFile& wave);
    // Parts never committed are removed.
    ~TRecorderWaveFile() override;
    TRecorderWaveFile(const TRecorderWaveFile&) = delete;
    TRecorderWaveFile& operator=(const TRecorderWaveFile&) = delete;

    std::int32_t Read(void* buffer, std::int32_t count) override;
    // Gives count when everything was written, 0 on failure (and for no data). After a
    // failure every later write gives 0 too.
    std::int32_t Write(const void* data, std::int32_t count) override;

    // FinishParts, then Commit.
    bool Finish();
    // Ends the mark stream of the open part, writes what it held back, stores the final mark
    // record and check word in the add-info and closes the file, flushed, under its
    // temporary name. True when no part was open or the part closed cleanly; false once a
    // write has failed (every part is dropped then).
    bool FinishParts();
    // Puts every finished part in place under its name (CommitFiles); false, with every part
    // dropped and the user's files as they were, when that fails.
    bool Commit();
    bool HasFailed() const { return Failed; }
    // Why the sink failed; Reason None while it has not.
    const TSinkFailure& GetFailure() const { return Failure; }
    // Drops the open part and every part not yet committed; their temporary files go.
    void Abandon();

    // False (and the limit unchanged) below MinMaxPartSize; larger values than the default
    // are held at the default, the most a RIFF file can take with room to spare.
    bool SetMaxPartSize(std::uint64_t bytes);
    std::uint32_t GetMaxPartSize() const { return MaxPartSize; }
    std::uint32_t GetPartNumber() const { return PartNumber; }
    // The names of every part this sink finished, in order (in place once committed).
    const std::vector<std::string>& GetPartFileNames() const { return PartFileNames; }

    void SetSourceCompression(std::uint8_t value) { SourceCompression = value; }
    void SetUploaded(std::uint8_t value) { Uploaded = value; }
    // The recorder's serial number as 8-bit text: the identity in every mark record.
    void SetSerialNumber(const std::string& serial) { SerialNumber = serial; }
    void SetRandomSource(TMarkRandom random) { Random = std::move(random); }
    // Default: a debug-log line.
    void SetErrorReport(TSinkErrorReport report) { ErrorReport = std::move(report); }
    void SetMessageCaption(const std::string& caption) { MessageCaption = caption; }

private:
    std::int32_t WriteParts(const void* data, std::int32_t count);
    bool OpenPart();
    bool ClosePart();
    bool Feed(const std::uint8_t* data, std::int32_t count);
    bool WriteMarkOutput(const std::uint8_t* output, std::int32_t count);
    std::uint32_t BytesThatFit() const;
    void ReportCantCreate(const std::string& fileName, int error);
    void NoteFailure(TSinkFailure::TReason reason, const std::string& fileName, int error);
    void RemovePending();

    TCrcWaveFile& Wave;
    std::string BaseName;
    std::uint32_t MaxPartSize = DefaultMaxPartSize;
    std::uint32_t PartNumber = 0;
    std::uint8_t SourceCompression = 0;
    std::uint8_t Uploaded = 0;
    std::string SerialNumber;
    TMarkRandom Random;
    TSinkErrorReport ErrorReport;
    std::string MessageCaption = "Quorvex";
    std::uint64_t PartInput = 0; // bytes handed to the open part's mark stream
    std::vector<std::uint8_t> Work;
    std::vector<std::string> PartFileNames;
    std::vector<TPendingFile> Pending; // finished parts not yet in place
    TSinkFailure Failure;
    bool Failed = false;
};
