#include "audio/SorvaneWaveFile.h"

#include <cerrno>
#include <cstring>
#include <limits>

#include "audio/SorvaneConversion.h"
#include "audio/SorvaneError.h"
#include "audio/SorvaneSample.h"
#include "i18n/VexaLang.h"
#include "i18n/VexaLangReasons.h"
#include "link/DebugLog.h"
#include "platform/ByteOrder.h"
#include "platform/PosixFile.h"

std::string SorvaneWriteFailure(const std::string& fileName, int error) {
    const std::size_t slash = fileName.find_last_of('/');
    return GetLangConstant("CantWriteStr") + " " +
           (slash == std::string::npos ? fileName : fileName.substr(slash + 1)) + "\n" +
           SystemReasonText(error);
}

TSorvaneWaveFile::TSorvaneWaveFile(TPosixFile& file) : File(file) {}

TSorvaneWaveFile::~TSorvaneWaveFile() {
    CancelConversion();
}

std::int32_t TSorvaneWaveFile::Read(void*, std::int32_t) {
    return 0;
}

std::int32_t TSorvaneWaveFile::Write(const void* data, std::int32_t count) {
    if (count <= 0 || data == nullptr || Failed.load() || !Conversion)
        return 0;
    if (Conversion->Feed(static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(count)))
        return count;
    // A conversion the owner cancelled needs no message.
    if (!Failed.load())
        Fail(Conversion->GetError().empty() ? "The conversion has stopped" : Conversion->GetError(),
             Conversion->GetState() != TSorvaneConversion::TState::Cancelled);
    return 0;
}

void TSorvaneWaveFile::StartConversion(std::uint16_t channels, std::uint32_t samplesPerSec) {
    if (Conversion)
        throw ESorvaneError("The conversion has already been started");
    try {
        Conversion = std::make_unique<TSorvaneConversion>(
            channels, samplesPerSec, [this](const std::int16_t* samples, std::size_t n) {
                return WriteConverted(samples, n);
            });
    } catch (const ESorvaneError& e) {
        Fail(e.what(), false);
        throw;
    }
}

bool TSorvaneWaveFile::FinishConversion() {
    if (!Conversion)
        return false;
    const bool finished = Conversion->Finish();
    if (!finished && !Failed.load())
        Fail(Conversion->GetError().empty() ? "The conversion did not finish"
                                            : Conversion->GetError(),
             true);
    if (Conversion->GetDroppedBytes() != 0)
        WriteDebugLog("Raw export: a partial frame at the end of the audio was dropped");
    DeliverReport();
    return finished && !Failed.load();
}

void TSorvaneWaveFile::CancelConversion() {
    if (!Conversion)
        return;
    Conversion->Cancel();
    DeliverReport();
}

bool TSorvaneWaveFile::AddByteCount(std::uint32_t bytes) {
    const std::uint32_t count = ByteCount.load();
    if (bytes > std::numeric_limits<std::uint32_t>::max() - count)
        return false;
    ByteCount = count + bytes;
    return true;
}

std::string TSorvaneWaveFile::GetError() const {
    std::lock_guard<std::mutex> guard(ErrorLock);
    return Error;
}

// On any thread: the failure is noted; its report waits for the owner (DeliverReport).
void TSorvaneWaveFile::Fail(const std::string& error, bool report) {
    bool first = false;
    {
        std::lock_guard<std::mutex> guard(ErrorLock);
        if (Error.empty()) {
            Error = error;
            first = true;
        }
    }
    Failed = true;
    WriteDebugLog("Raw export: " + error);
    if (first && report)
        ReportPending = true;
}

// On the owner's thread, after the conversion thread has ended.
void TSorvaneWaveFile::DeliverReport() {
    if (ReportPending.exchange(false) && ErrorReport)
        ErrorReport(MessageCaption, GetError());
}

// On the conversion thread.
bool TSorvaneWaveFile::WriteConverted(const std::int16_t* samples, std::size_t count) {
    if (Failed.load())
        return false;
    const std::size_t bytes = 2 * count;
    const std::uint32_t offset = ByteCount.load();
    // The header's length field must still hold the whole file.
    if (bytes > std::numeric_limits<std::uint32_t>::max() - offset) {
        Fail(SorvaneWriteFailure(FileName, EFBIG), true);
        return false;
    }
    Converted.resize(bytes);
    for (std::size_t i = 0; i < count; ++i)
        PutU16(Converted.data() + 2 * i, ToSorvaneSample(samples[i]));
    errno = 0;
    const std::size_t written = File.WriteAt(offset, Converted.data(), bytes);
    const int error = errno;
    ByteCount = offset + static_cast<std::uint32_t>(written);
    if (written < bytes) {
        Fail(SorvaneWriteFailure(FileName, error != 0 ? error : EIO), true);
        return false;
    }
    return true;
}
