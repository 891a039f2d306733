#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audio/RecorderWaveFile.h"

class TCustomFile;
class TPosixFile;
class TSorvaneWaveFile;

// One raw export as a download runs it: Begin creates the file (under a temporary name
// beside the target), writes the header placeholder and starts the conversion; the
// recorder's read writes into GetSink(); Finish drains the conversion, writes the file's
// length into the header and puts the file in place. A failed or abandoned export leaves
// nothing behind and never touches an existing file of the target's name.
class TSorvaneExport {
public:
    TSorvaneExport();
    // Abandons an export that was begun and not finished.
    ~TSorvaneExport();
    TSorvaneExport(const TSorvaneExport&) = delete;
    TSorvaneExport& operator=(const TSorvaneExport&) = delete;

    // False when the file cannot be created ("Can't create (modify) file" with the name and
    // the system's text, reported) or the format cannot be converted.
    bool Begin(const std::string& fileName, std::uint16_t channels, std::uint32_t samplesPerSec);
    // Valid from a successful Begin until Finish or Abandon; throws ESorvaneError otherwise.
    TCustomFile& GetSink();
    // True when the whole file was written and is in place under its name.
    bool Finish();
    // Stops the conversion and removes what the export wrote.
    void Abandon();

    // The file's length as written into its header; 0 before a successful Finish.
    std::uint32_t GetFileLength() const { return FileLength; }
    const std::string& GetError() const { return Error; }

    // Called for each failure worth a message box; default: a debug-log line.
    void SetErrorReport(TSinkErrorReport report) { ErrorReport = std::move(report); }
    void SetMessageCaption(const std::string& caption) { MessageCaption = caption; }

private:
    bool Fail(const std::string& error, bool report);
    void RemoveTemporary();

    std::string FileName;
    std::string TempName;
    std::unique_ptr<TPosixFile> File;
    std::unique_ptr<TSorvaneWaveFile> Sink;
    std::uint32_t FileLength = 0;
    std::string Error;
    TSinkErrorReport ErrorReport;
    std::string MessageCaption = "Quorvex";
};

// The whole raw export around one read, for a plain download function: Begin, then
// runRead(sink) (which points the recorder at the sink, starts the read and waits for it;
// true when it ran to its end and was not cancelled), then Finish, or Abandon when the read
// did not succeed. True when the file is in place; error (when given) says why not.
bool ExportSorvaneRaw(const std::string& fileName, std::uint16_t channels,
                      std::uint32_t samplesPerSec,
                      const std::function<bool(TCustomFile& sink)>& runRead,
                      const TSinkErrorReport& report = {}, std::string* error = nullptr);
