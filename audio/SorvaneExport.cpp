#include "audio/SorvaneExport.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "audio/SorvaneError.h"
#include "audio/SorvaneSample.h"
#include "audio/SorvaneWaveFile.h"
#include "i18n/VexaLang.h"
#include "i18n/VexaLangReasons.h"
#include "link/DebugLog.h"
#include "platform/ByteOrder.h"
#include "platform/PosixFile.h"

namespace {

std::string BaseFileName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

TSorvaneExport::TSorvaneExport() = default;

TSorvaneExport::~TSorvaneExport() {
    Abandon();
}

bool TSorvaneExport::Fail(const std::string& error, bool report) {
    Error = error;
    WriteDebugLog("Raw export of " + FileName + " failed: " + error);
    if (report && ErrorReport)
        ErrorReport(MessageCaption, error);
    Abandon();
    return false;
}

bool TSorvaneExport::Begin(const std::string& fileName, std::uint16_t channels,
                           std::uint32_t samplesPerSec) {
    Abandon();
    FileName = fileName;
    FileLength = 0;
    Error.clear();
    TempName = MakeTemporaryName(fileName);
    File = std::make_unique<TPosixFile>();
    errno = 0;
    if (!File->Open(TempName, TPosixFile::TMode::CreateTemporary)) {
        const int error = errno;
        TempName.clear();
        return Fail(GetLangConstant("CantCreateStr") + " " + BaseFileName(fileName) + "\n" +
                        SystemReasonText(error != 0 ? error : EIO),
                    true);
    }
    Sink = std::make_unique<TSorvaneWaveFile>(*File);
    Sink->SetMessageCaption(MessageCaption);
    Sink->SetFileName(fileName);
    if (ErrorReport)
        Sink->SetErrorReport(ErrorReport);
    const std::uint8_t header[SorvaneHeaderSize] = {};
    errno = 0;
    if (!File->WriteExact(0, header, sizeof header)) {
        const int error = errno;
        return Fail(SorvaneWriteFailure(fileName, error != 0 ? error : EIO), true);
    }
    Sink->AddByteCount(SorvaneHeaderSize);
    try {
        Sink->StartConversion(channels, samplesPerSec);
    } catch (const ESorvaneError& e) {
        return Fail(e.what(), true);
    }
    return true;
}

TCustomFile& TSorvaneExport::GetSink() {
    if (!Sink)
        throw ESorvaneError("The raw export has not begun");
    return *Sink;
}

bool TSorvaneExport::Finish() {
    if (!Sink || !File)
        return Fail(Error.empty() ? "The raw export has not begun" : Error, false);
    // The sink has reported its own failures already.
    if (!Sink->FinishConversion())
        return Fail(Sink->GetError(), false);
    const std::uint32_t length = Sink->GetByteCount();
    std::uint8_t lengthField[4];
    PutU32(lengthField, length);
    errno = 0;
    if (!File->WriteExact(0, lengthField, sizeof lengthField) || !File->Sync() ||
        !File->Publish()) {
        const int error = errno;
        return Fail(SorvaneWriteFailure(FileName, error != 0 ? error : EIO), true);
    }
    File->Close();
    TCommitError commitError;
    if (!CommitFiles({{TempName, FileName}}, &commitError)) {
        const int error = commitError.Errno;
        return Fail(GetLangConstant("CantCreateStr") + " " + BaseFileName(FileName) + "\n" +
                        SystemReasonText(error != 0 ? error : EIO),
                    true);
    }
    TempName.clear();
    Sink.reset();
    File.reset();
    FileLength = length;
    return true;
}

void TSorvaneExport::Abandon() {
    if (Sink)
        Sink->CancelConversion();
    Sink.reset();
    File.reset();
    RemoveTemporary();
}

void TSorvaneExport::RemoveTemporary() {
    if (!TempName.empty())
        RemoveFile(TempName);
    TempName.clear();
}

bool ExportSorvaneRaw(const std::string& fileName, std::uint16_t channels,
                      std::uint32_t samplesPerSec,
                      const std::function<bool(TCustomFile& sink)>& runRead,
                      const TSinkErrorReport& report, std::string* error) {
    TSorvaneExport exported;
    exported.SetErrorReport(report);
    bool done = exported.Begin(fileName, channels, samplesPerSec);
    if (done) {
        if (runRead && runRead(exported.GetSink())) {
            done = exported.Finish();
        } else {
            exported.Abandon();
            done = false;
            if (error != nullptr)
                *error = "The read did not run to its end";
            return false;
        }
    }
    if (error != nullptr)
        *error = done ? std::string() : exported.GetError();
    return done;
}
