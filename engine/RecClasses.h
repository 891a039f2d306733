#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/RecClassesBlocks.h"
#include "engine/RecClassesGeometry.h"
#include "engine/RecClassesLists.h"
#include "engine/RecClassesPresets.h"
#include "engine/RecClassesSettings.h"
#include "engine/Recinterface.h"
#include "engine/RecorderUi.h"
#include "link/RecXchange.h"

// The transport pair of a recorder: the exchange function and the connection probe.
struct TTransport {
    TExchangeCmdFunc Exchange = nullptr;
    TProbeRecorderFunc Probe = nullptr;
};
// Kinds 1 and 3 use the image file, every other kind the SPI adapter.
TTransport SelectTransport(std::uint32_t connectionKind);
bool IsImageConnection(std::uint32_t connectionKind);

// Bytes a wave's data takes on the recorder with the upload compression, -1 when the format
// cannot be uploaded so (only 16-bit PCM mono at the rates each compression supports).
std::int64_t CalcUploadSize(const TWaveFormat& format, std::uint64_t dataSize,
                            std::uint8_t compression, std::uint8_t compressionParam);

// A recorder exchange is running on a worker thread, so no other may start.
class ERecorderBusy : public std::runtime_error {
public:
    ERecorderBusy() : std::runtime_error("Recorder is busy") {}
};

// Thrown by an operation's body that kept its output although part of it could not be read;
// the text is the message for the user. The operation ends with the outcome Damaged.
class EOperationDamaged : public std::runtime_error {
public:
    explicit EOperationDamaged(const std::string& message) : std::runtime_error(message) {}
};

// A stored password the recorder cannot take: not printable ASCII, or not terminated.
class ERecPasswordError : public std::runtime_error {
public:
    ERecPasswordError() : std::runtime_error("Invalid password") {}
};

// The recorder object: everything the system knows of the connected recorder, the device
// operations, and the one worker thread that runs long operations beside the UI thread.
class TRecorder : public TCustomRecorder {
public:
    // The transport defaults to SelectTransport(kind); tests give their own.
    TRecorder(std::uint32_t connectionKind, TRecorderUi& ui);
    TRecorder(std::uint32_t connectionKind, TRecorderUi& ui, TTransport transport);
    ~TRecorder() override;
    TRecorder(const TRecorder&) = delete;
    TRecorder& operator=(const TRecorder&) = delete;

    std::uint16_t GetPowerVoltage() override { return PowerVoltage; }
    std::uint16_t GetFirmwareVersion() override { return FirmwareVersion; }
    std::uint8_t GetBatteryLevel() override;
    void GetRecorderTime(TSystemTime& time) override { time = RecorderTime; }
    int SetRecorderTime(TSystemTime time) override;
    std::string GetSerialNumber() override { return SerialNumber; }
    void Reserved6(int) override {}
    std::string GetModelName() override;
    std::uint32_t GetModelClass() override { return ModelClass; }
    TSoundFileList* GetSoundFileList() override { return &SoundFiles; }
    TDriveFileList* GetDriveFileList() override { return &DriveFiles; }
    std::uint8_t GetProgress() override { return Progress.load(std::memory_order_relaxed); }
    std::uint32_t GetState() override { return State.load(std::memory_order_acquire); }
    std::int64_t GetTotalMemory() override { return TotalMemory; }
    std::int64_t GetFreeMemory() override { return FreeMemory; }
    std::int64_t GetFreeDriveMemory() override { return FreeMemory; }
    std::int64_t GetUnusedMemory() override { return FreeMemory; }
    bool IsConnected() override;
    bool IsModified() override { return Modified.load(); }
    bool IsFlashDriveDisabled() override { return false; }
    std::uint64_t GetMinRecordTime() override;
    // The recording time the free blocks hold with the profile's rate and compression,
    // rounded to whole seconds; 0 without a valid geometry. The one computation behind every
    // figure of it the program shows.
    std::uint64_t MinRecordTimeOf(const TRecProfile& profile) const;
    void SetSkipSilence(bool skip) override;
    bool GetSkipSilence() override { return SkipSilence.load(); }
    void GetImageFileName(std::string& name) override { name = ImageFileName; }
    void SetImageFileName(const std::string& name) override;
    void SetActive(bool active) override;
    bool GetActive() override { return Active; }
    void Refresh() override;
    void ReadSoundFile(std::uint16_t number, std::uint32_t startSecond,
                       std::uint32_t duration) override;
    void ReadSubRecord(std::uint16_t number, std::uint16_t voicePart, std::uint32_t) override;
    void ReadDriveFile(int index, TPosixFile* target) override;
    void WriteSoundFile(std::uint16_t number, TWaveFile& source, TSystemTime time) override;
    void WriteDriveFile(const std::string& name, TPosixFile* source, TSystemTime time) override;
    void ChangeSoundFileStatus(std::uint16_t number, std::uint8_t status) override;
    void EraseSoundFile(std::uint16_t number) override;
    void EraseDriveFile(int index) override;
    void FormatMemory() override;
    void Cancel() override { CancelRequested.store(true); }
    std::int64_t GetUploadSize(TWaveFile& wave) override;
    std::int32_t ChooseUploadFormat() override;
    std::int32_t Reserved40() override { return 0; }
    void SetHiddenTabVisible(bool visible) override;
    void SetLogLevel(std::uint8_t level) override;
    int SetDefaultAndErase() override;
    int SetDefault() override;
    bool CheckPassword(const std::string& password) override;
    TOperationOutcome GetOutcome() override;

    // Writes the settings record to the recorder (or its image file) and reads it back.
    virtual void StoreSettings();

    // Why WriteDriveFile would refuse a file of size bytes once the drive file at
    // replacedIndex (-1: none) is erased, its blocks counted as free; empty when it would
    // take it. Lets an overwrite keep the old file when the new one cannot go in its place.
    std::string DriveUploadRefusal(const std::string& name, std::uint64_t size,
                                   int replacedIndex) const;

    // --- Settings record -----------------------------------------------------------------
    // The dialog copies its working record in here before StoreSettings.
    TRecSettings& Settings() { return SettingsRecord; }
    const TRecSettings& Settings() const { return SettingsRecord; }
    void ReadSettings();

    // --- Flash access ----------------------------------------------------------------------
    const TFlashGeometry& Geometry() const { return FlashGeometry; }
    bool HasValidGeometry() const { return GeometryValid; }
    // Reads units of unitSize bytes, unit i from page firstPage + i x pageStep at byte
    // offset, one after another into host, in requests of at most one transfer.
    void FlashRead(std::uint8_t* host, std::uint32_t firstPage, std::uint32_t units,
                   std::uint32_t pageStep, std::uint16_t unitSize, std::uint16_t offset);
    void FlashReadBlock(std::uint32_t block, std::uint8_t* buffer);
    void FlashReadUnit(std::uint32_t page, std::uint16_t size, std::uint8_t* buffer);
    int FlashWritePages(const std::uint8_t* data, std::uint32_t page, std::uint32_t count);
    int FlashWriteBlock(std::uint16_t block, const std::uint8_t* data);
    bool FlashEraseBlock(std::uint32_t block);
    // Reads the header area of count consecutive blocks from first and votes each header.
    void ReadBlockHeaders(std::uint32_t count, std::uint32_t first, TBlockHeader* target);
    long double CalcSecondsPerBlock(std::uint16_t channels, std::uint8_t rateCode,
                                    std::uint8_t compressionParam,
                                    std::uint8_t compressionType) const;
    // Decodes a run of pageCount pages (raw bytes, pageCount x PageSize) of a recording into
    // 16-bit little-endian PCM. The first page's sound starts at firstOffset, later pages'
    // at 0 (2 for ADPCM); with trim, trailing 0xFFFF words of the run are zeroed first.
    std::vector<std::uint8_t> DecodePages(const TBlockHeader& header, bool atBlockStart,
                                          std::uint32_t pageCount, std::uint8_t* pages,
                                          std::uint32_t firstOffset, bool trim) const;

    // --- Profile and preset files (called by the settings dialog) --------------------------
    // The recorder's model is the one the files must name.
    bool SaveProfileFile(const std::string& fileName, const TRecSettings& settings);
    bool LoadProfileFile(const std::string& fileName, TRecSettings& settings);
    bool LoadDefaultProfile(TRecSettings& settings);
    // Each clears its list and fills it from its file beside the program, names in the
    // language current now; the constructor calls all three.
    void LoadQualityPresets();
    void LoadVasPresets();
    void LoadAmpPresets();
    int FindQualityPreset(const TRecProfile& profile) const;
    int FindVasPreset(const TRecProfile& profile) const;
    int FindAmpPreset(const TRecProfile& profile) const;
    const TQualityPresetList& GetQualityPresets() const { return QualityPresets; }
    const TVasPresetList& GetVasPresets() const { return VasPresets; }
    const TAmpPresetList& GetAmpPresets() const { return AmpPresets; }

    // --- Lists and totals of the last scan ------------------------------------------------
    TBlockList& FreeBlocks() { return FreeBlockList; }
    const TBlockList& FreeBlocks() const { return FreeBlockList; }

    // --- Long operations ------------------------------------------------------------------
    // Starts body on the worker thread with the state set to runningState, progress 0 and
    // the cancel flag clear; the body runs under the common handler, which records the
    // outcome and sets the state to 1 on every path. False (outcome Failed) when no thread
    // could be started. Throws ERecorderBusy while another operation runs.
    bool StartOperation(std::uint32_t runningState, const std::string& threadName,
                        std::function<void()> body, bool setModified = true);
    // Waits for the worker to end (tests and destruction).
    void WaitForOperation();
    void SetProgress(std::uint8_t percent) { Progress.store(percent, std::memory_order_relaxed); }
    // percent = done x 100 / total in 64-bit arithmetic, 0 for no total.
    void SetProgress(std::uint64_t done, std::uint64_t total);
    bool IsCancelRequested() const { return CancelRequested.load(); }
    void SetModified() { Modified.store(true); }
    void SetState(std::uint32_t state) { State.store(state, std::memory_order_release); }

    std::uint32_t GetConnectionKind() const { return ConnectionKind; }
    std::uint8_t GetUploadCompression() const { return UploadCompression; }
    std::uint8_t GetUploadCompressParam() const { return UploadCompressParam; }
    TRecorderUi& Ui() { return UiLink; }
    bool IsAccessGranted() const { return AccessGranted; }
    // The caption of a compression choice as the UI gave it at the last Refresh.
    const std::string& CompressionCaption(std::uint8_t sourceCompression) const;

    // What a kept copy of a block is filed under: the serial number, and the image file for
    // the image kinds.
    std::string StatusJournalKey() const;
    // Writes back every first block whose status change was cut off between its erase and
    // its verified rewrite, from the copy kept on disk, and tells the user. Runs at every
    // Refresh, before the scan.
    void RestoreInterruptedStatusChanges();

    // Throws the refusal, naming the missing permission, when the memory is an image file that
    // may not be written; the command is the one the write would have begun with.
    void RefuseWritesToReadOnlyImage(std::uint8_t command) const;

    // One command through this recorder's exchange function.
    void Exchange(std::uint8_t command, const void* out, std::uint32_t outSize, void* in,
                  std::uint32_t inSize, std::uint32_t timeoutMs = DefaultTimeoutMs);

private:
    friend class TMemoryScan;

    void ReadFlashParams();
    void ReadSettingsFromImage();
    void ReadSettingsFromDevice();
    void StoreSettingsToImage();
    void StoreSettingsToDevice();
    void RunUnderThreadFrame(const std::string& threadName, const std::function<void()>& body);
    void SetOutcome(const TOperationOutcome& outcome);
    void FailPendingOperation(const std::string& threadName);

    TRecorderUi& UiLink;
    TTransport Transport;

    std::uint16_t PowerVoltage = 0;
    TSystemTime RecorderTime;
    TFlashGeometry FlashGeometry;
    bool GeometryValid = false;
    std::uint16_t FirmwareVersion = 0;
    std::string ModelName;
    std::string ModelText;
    TBlockList FreeBlockList;
    TSoundFileList SoundFiles;
    TDriveFileList DriveFiles;
    bool Connected = false;
    std::atomic<bool> Modified{false};
    TRecSettings SettingsRecord;
    std::string SerialNumber;
    std::atomic<std::uint8_t> Progress{0};
    std::atomic<std::uint32_t> State{StateIdle};
    std::int64_t TotalMemory = 0;
    std::int64_t FreeMemory = 0;
    std::uint8_t UploadCompression = 0;
    std::uint8_t UploadCompressParam = 0;
    std::uint32_t ConnectionKind = 0;
    std::string ImageFileName;
    std::atomic<bool> SkipSilence{false}; // read by the scan thread
    std::atomic<bool> CancelRequested{false};
    bool Active = false;
    std::uint32_t ModelClass = 0;
    bool AccessGranted = false;
    std::array<std::string, 4> CompressionCaptions;
    TQualityPresetList QualityPresets;
    TVasPresetList VasPresets;
    TAmpPresetList AmpPresets;

    std::thread Worker;
    mutable std::mutex OutcomeLock;
    TOperationOutcome LastOutcome;
};
