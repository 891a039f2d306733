#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/CustomFile.h"
#include "audio/RecorderWaveFile.h"

class TPosixFile;
class TSorvaneConversion;

// The message of a write that failed: "Can't write file", the file's name and the system's
// reason.
std::string SorvaneWriteFailure(const std::string& fileName, int error);

// The sink of a raw export: feeds the recorder's decoded 16-bit audio to the conversion
// thread and writes what comes back, as 12-bit values offset by 2048, at the file's end.
// The byte count is the file's length so far (the header the download wrote included);
// converted blocks land at that offset. After a failure every later write gives 0.
// A failure found on the read or the conversion thread is reported on the thread that calls
// FinishConversion or CancelConversion, once the conversion thread has ended: the report may
// wait for the user, and the owner waits for the conversion thread, so a worker that waited
// for the report would never end.
class TSorvaneWaveFile : public TCustomFile {
public:
    // The file stays the caller's; it must be open for writing.
    explicit TSorvaneWaveFile(TPosixFile& file);
    // Cancels a conversion still running.
    ~TSorvaneWaveFile() override;

    // Not supported: gives 0.
    std::int32_t Read(void* buffer, std::int32_t count) override;
    // Gives count once the conversion has read the block; 0 for no data, before the
    // conversion started, after a failed file write or a failed conversion.
    std::int32_t Write(const void* data, std::int32_t count) override;

    // Starts the conversion thread for the decoded audio's format; throws ESorvaneError
    // (the sink has failed then).
    void StartConversion(std::uint16_t channels, std::uint32_t samplesPerSec);
    // End of input: waits until every converted block is written and the thread ended.
    // True when the conversion finished and every write succeeded.
    bool FinishConversion();
    // Stops the conversion without draining it.
    void CancelConversion();

    // Bytes the caller wrote itself (the header placeholder); false when the count would
    // pass the 32-bit length the header holds.
    bool AddByteCount(std::uint32_t bytes);
    std::uint32_t GetByteCount() const { return ByteCount.load(); }
    bool HasFailed() const { return Failed.load(); }
    std::string GetError() const;

    // Called once for the first failure worth a message, on the owner's thread (see above).
    void SetErrorReport(TSinkErrorReport report) { ErrorReport = std::move(report); }
    void SetMessageCaption(const std::string& caption) { MessageCaption = caption; }
    // The name the messages give the file (the target's, not the temporary one's).
    void SetFileName(const std::string& name) { FileName = name; }

private:
    bool WriteConverted(const std::int16_t* samples, std::size_t count);
    void Fail(const std::string& error, bool report);
    void DeliverReport();

    TPosixFile& File;
    std::atomic<std::uint32_t> ByteCount{0};
    std::atomic<bool> Failed{false};
    std::atomic<bool> ReportPending{false};
    mutable std::mutex ErrorLock;
    std::string Error;
    TSinkErrorReport ErrorReport;
    std::string MessageCaption = "Quorvex";
    std::string FileName;
    std::vector<std::uint8_t> Converted; // conversion thread only
    std::unique_ptr<TSorvaneConversion> Conversion;
};
