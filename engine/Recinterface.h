#pragma once

#include <cstdint>
#include <string>

#include "platform/SystemTime.h"

class TCustomFile;
class TPosixFile;
class TWaveFile;
class TSoundFileList;
class TDriveFileList;

// How the last long operation of the recorder ended. The UI reads it once GetState reads 1.
struct TOperationOutcome {
    enum class TKind {
        None, // no operation has run yet
        Succeeded,
        Cancelled,      // the cancel flag was set, or the output refused a write
        ExchangeFailed, // a recorder exchange failed: shown with "ExceptErrorStr"
        Failed,         // any other failure: "Unexpected <Operation> error occured: " + Message
        // The operation ran to its end and kept its output, but part of what it read could
        // not be read whole (a drive file with uncorrectable bytes, or incomplete on the
        // recorder): Message tells the user what and where.
        Damaged,
    };
    TKind Kind = TKind::None;
    std::string Operation; // the worker's name, e.g. "ReadHeadersThread"
    int Command = 0;       // of a failed exchange
    int ErrorCode = 0;     // of a failed exchange
    std::string Message;

    bool operator==(const TOperationOutcome&) const = default;
};

// The recorder as the main window sees it. The operations keep their fixed order; texts are
// UTF-8. Objects are made by CreateRecorder and freed by DestroyRecorder.
class TCustomRecorder {
public:
    virtual ~TCustomRecorder() = default;

    virtual std::uint16_t GetPowerVoltage() = 0;                // 0
    virtual std::uint16_t GetFirmwareVersion() = 0;             // 1
    virtual std::uint8_t GetBatteryLevel() = 0;                 // 2
    virtual void GetRecorderTime(TSystemTime& time) = 0;        // 3
    virtual int SetRecorderTime(TSystemTime time) = 0;          // 4
    virtual std::string GetSerialNumber() = 0;                  // 5
    virtual void Reserved6(int unused) = 0;                     // 6
    virtual std::string GetModelName() = 0;                     // 7
    virtual std::uint32_t GetModelClass() = 0;                  // 8
    virtual TSoundFileList* GetSoundFileList() = 0;             // 9
    virtual TDriveFileList* GetDriveFileList() = 0;             // 10
    virtual std::uint8_t GetProgress() = 0;                     // 11
    virtual std::uint32_t GetState() = 0;                       // 12
    virtual std::int64_t GetTotalMemory() = 0;                  // 13
    virtual std::int64_t GetFreeMemory() = 0;                   // 14
    virtual std::int64_t GetFreeDriveMemory() = 0;              // 15
    virtual std::int64_t GetUnusedMemory() = 0;                 // 16
    virtual bool IsConnected() = 0;                             // 17
    virtual bool IsModified() = 0;                              // 18
    virtual bool IsFlashDriveDisabled() = 0;                    // 19
    virtual std::uint64_t GetMinRecordTime() = 0;               // 20
    virtual void SetSkipSilence(bool skip) = 0;                 // 21
    virtual bool GetSkipSilence() = 0;                          // 22
    virtual void GetImageFileName(std::string& name) = 0;       // 23
    virtual void SetImageFileName(const std::string& name) = 0; // 24
    virtual void SetActive(bool active) = 0;                    // 25
    virtual bool GetActive() = 0;                               // 26
    virtual void Refresh() = 0;                                 // 27
    virtual void ReadSoundFile(std::uint16_t number, std::uint32_t startSecond,
                               std::uint32_t duration) = 0; // 28
    virtual void ReadSubRecord(std::uint16_t number, std::uint16_t voicePart,
                               std::uint32_t unused) = 0;          // 29
    virtual void ReadDriveFile(int index, TPosixFile* target) = 0; // 30
    virtual void WriteSoundFile(std::uint16_t number, TWaveFile& source,
                                TSystemTime time) = 0; // 31
    virtual void WriteDriveFile(const std::string& name, TPosixFile* source,
                                TSystemTime time) = 0;                                 // 32
    virtual void ChangeSoundFileStatus(std::uint16_t number, std::uint8_t status) = 0; // 33
    virtual void EraseSoundFile(std::uint16_t number) = 0;                             // 34
    virtual void EraseDriveFile(int index) = 0;                                        // 35
    virtual void FormatMemory() = 0;                                                   // 36
    virtual void Cancel() = 0;                                                         // 37
    virtual std::int64_t GetUploadSize(TWaveFile& wave) = 0;                           // 38
    virtual std::int32_t ChooseUploadFormat() = 0;                                     // 39
    virtual std::int32_t Reserved40() = 0;                                             // 40
    virtual void SetHiddenTabVisible(bool visible) = 0;                                // 41
    virtual void SetLogLevel(std::uint8_t level) = 0;                                  // 42
    virtual int SetDefaultAndErase() = 0;                                              // 43
    virtual int SetDefault() = 0;                                                      // 44
    virtual bool CheckPassword(const std::string& password) = 0;                       // 45
    // How the last long operation ended; read once GetState reads 1.
    virtual TOperationOutcome GetOutcome() = 0;

    // The sink a recording read writes its PCM into; set by the main window, not owned.
    TCustomFile* OutputSink = nullptr;
};

// Operation states.
constexpr std::uint32_t StateIdle = 1;
constexpr std::uint32_t StateRunning = 2; // scan, read, upload preparation
constexpr std::uint32_t StateWriting = 5; // write phase of an upload
constexpr std::uint32_t StateErasing = 6;
constexpr std::uint32_t StateFormatting = 7;

// Connection kinds.
enum TConnectionKind : std::uint32_t {
    ConnUsb11Adapter = 0,
    ConnImageFile = 1,
    ConnUsb20Adapter = 2,
    ConnDemo = 3,
    ConnUsb20SpiAdapter = 4,
    ConnUsb20AdapterB = 5,
};

extern "C" {
// A new recorder for the connection kind, or null when it cannot be made.
__attribute__((visibility("default"))) TCustomRecorder* CreateRecorder(std::uint32_t kind);
// Stops a running operation, waits for it and frees the recorder; null does nothing.
__attribute__((visibility("default"))) void DestroyRecorder(TCustomRecorder* recorder);
}
