#include "engine/RecClasses.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/Wavefunc.h"
#include "engine/RecClassesScan.h"
#include "engine/RecClassesUtils.h"
#include "engine/RecClassesWrite.h"
#include "i18n/VexaLang.h"
#include "link/DebugLog.h"
#include "link/ImageFile.h"
#include "link/SpiLink.h"
#include "platform/ByteOrder.h"

namespace {

// Model class by model number; other numbers leave the class as it was.
bool ModelClassOf(std::uint8_t model, std::uint32_t& modelClass) {
    switch (model) {
    case 1:
    case 2:
        modelClass = 0;
        return true;
    case 3:
        modelClass = 4;
        return true;
    case 9:
    case 11:
    case 12:
    case 16:
    case 17:
    case 18:
        modelClass = 1;
        return true;
    case 10:
        modelClass = 2;
        return true;
    case 13:
    case 14:
    case 15:
        modelClass = 3;
        return true;
    case 19:
        modelClass = 5;
        return true;
    default:
        return false;
    }
}

// The display name of a model: its text constant, or the bare number when there is none.
std::string ModelDisplayName(std::uint8_t model) {
    std::string name;
    try {
        name = GetLangConstant("RecModelStr" + std::to_string(model));
    } catch (...) {
        LogCaughtException("Caption of model " + std::to_string(model) + " (its number is shown)");
        name.clear();
    }
    return name.empty() ? std::to_string(model) : name;
}

// The factory-default command; the request byte says whether the memory is erased too.
int SendSetDefault(TRecorder& recorder, std::uint8_t request) {
    if (recorder.GetState() != StateIdle)
        throw ERecorderBusy();
    recorder.RefuseWritesToReadOnlyImage(CmdSetDefault);
    std::uint8_t reply[TSetDefaultRecord::Size] = {};
    recorder.Exchange(CmdSetDefault, TSetDefaultRecord{request}.ToBytes().data(),
                      TSetDefaultRecord::Size, reply, TSetDefaultRecord::Size);
    return RecErrSuccess;
}

} // namespace

TTransport SelectTransport(std::uint32_t connectionKind) {
    if (IsImageConnection(connectionKind))
        return {ImageExchangeCmd, OpenImageFile};
    return {ExchangeCmd, AdapterProbe};
}

bool IsImageConnection(std::uint32_t connectionKind) {
    return connectionKind == ConnImageFile || connectionKind == ConnDemo;
}

TRecorder::TRecorder(std::uint32_t connectionKind, TRecorderUi& ui)
    : TRecorder(connectionKind, ui, SelectTransport(connectionKind)) {}

TRecorder::TRecorder(std::uint32_t connectionKind, TRecorderUi& ui, TTransport transport)
    : UiLink(ui), Transport(transport), ConnectionKind(connectionKind) {
    WriteDebugLog("Creating recorder instance");
    ImageFileName.clear();
    SetImageFile("", false);
    // The process-wide pair follows the one recorder object that exists at a time.
    ExchangeCmdFunc = Transport.Exchange;
    ProbeRecorderFunc = Transport.Probe;
    Modified.store(true);
    for (std::uint8_t i = 0; i < CompressionCaptions.size(); ++i)
        CompressionCaptions[i] = UiLink.CompressionCaption(i);
    UiLink.AttachRecorder(this);
    SetState(StateIdle);
    SetActive(true);
    Connected = false;
    SetSkipSilence(false);
    AccessGranted = false;
    SettingsRecord.Password = NoPasswordBlock;
    LoadQualityPresets();
    LoadVasPresets();
    LoadAmpPresets();
    WriteDebugLog("Creating recorder instance complete");
}

TRecorder::~TRecorder() {
    // Nothing may leave a destructor: a failed close of the link is only logged.
    try {
        WriteDebugLog("Destroying recorder instance");
        Cancel();
        WaitForOperation();
        UiLink.DetachRecorder(this);
        FreeBlockList.Clear();
        SoundFiles.Clear();
        DriveFiles.Clear();
        SetActive(false);
        WriteDebugLog("Destroying recorder instance complete");
    } catch (const TERecXchange& error) {
        WriteDebugLog("Destroying recorder instance: " + error.MessageUtf8());
    } catch (...) {
        WriteDebugLog("Destroying recorder instance: unexpected error");
    }
    if (ExchangeCmdFunc == Transport.Exchange)
        ExchangeCmdFunc = nullptr;
    if (ProbeRecorderFunc == Transport.Probe)
        ProbeRecorderFunc = nullptr;
}

void TRecorder::Exchange(std::uint8_t command, const void* out, std::uint32_t outSize, void* in,
                         std::uint32_t inSize, std::uint32_t timeoutMs) {
    if (Transport.Exchange == nullptr)
        throw TERecXchange(RecErrorMessage(RecErrNotConnected), command, RecErrNotConnected);
    Transport.Exchange(command, out, outSize, in, inSize, timeoutMs);
}

std::uint8_t TRecorder::GetBatteryLevel() {
    const std::int32_t model = FirmwareVersion >> 8;
    const std::int32_t a = model == 9 ? PowerVoltage * 4095 / 5000 : PowerVoltage * 4095 / 2500;
    for (int level = 3; level >= 1; --level)
        if (a >= SettingsRecord.BatteryThresholds[static_cast<std::size_t>(level)])
            return static_cast<std::uint8_t>(level);
    return 0;
}

int TRecorder::SetRecorderTime(TSystemTime time) {
    if (GetState() != StateIdle)
        throw ERecorderBusy();
    TRtcRecord request;
    request.Request = RequestSet;
    request.Time = SystemTimeToUnixTime(time);
    std::uint8_t reply[TRtcRecord::Size] = {};
    Exchange(CmdRtc, request.ToBytes().data(), TRtcRecord::Size, reply, TRtcRecord::Size);
    return RecErrSuccess;
}

std::string TRecorder::GetModelName() {
    const std::uint64_t hours = FlashGeometry.TotalBytes() / 2003 / 3600;
    ModelText = ModelName + " " + std::to_string(hours);
    return ModelText;
}

bool TRecorder::IsConnected() {
    if (!Active) {
        Connected = false;
        AccessGranted = false;
        return false;
    }
    // While a worker runs, the UI issues no device command: report what the last poll found.
    if (GetState() != StateIdle)
        return Connected;
    try {
        if (Transport.Probe == nullptr || !Transport.Probe()) {
            AccessGranted = false;
            Connected = false;
            SettingsRecord.Password = NoPasswordBlock;
            return false;
        }
        std::uint8_t reply[TRtcRecord::Size] = {};
        Exchange(CmdRtc, TRtcRecord{}.ToBytes().data(), TRtcRecord::Size, reply, TRtcRecord::Size,
                 RtcPollTimeoutMs);
        RecorderTime = UnixTimeToSystemTime(TRtcRecord::FromBytes(reply).Time);
        if (!Connected) {
            // Every kind's geometry is checked on connect: nothing may scan a bad one.
            ReadFlashParams();
            if (!GeometryValid)
                return false;
            Modified.store(true);
            Connected = true;
        }
        if (Connected && AccessGranted) {
            std::uint8_t volts[TPwVoltRecord::Size] = {};
            Exchange(CmdPwVolt, nullptr, 0, volts, TPwVoltRecord::Size);
            PowerVoltage = TPwVoltRecord::FromBytes(volts).Millivolts;
        }
    } catch (const TERecXchange&) {
        Connected = false;
    } catch (...) {
        LogCaughtException("Connection poll (not connected)");
        Connected = false;
        AccessGranted = false;
    }
    return Connected;
}

void TRecorder::ReadFlashParams() {
    std::uint8_t reply[TFlashParamRecord::Size] = {};
    Exchange(CmdFlashParam, nullptr, 0, reply, TFlashParamRecord::Size);
    const TFlashParamRecord r = TFlashParamRecord::FromBytes(reply);
    FlashGeometry = TFlashGeometry::FromFlashParams(r.FlashCount, r.PagesPerBlock, r.BlocksPerFlash,
                                                    r.PageSize, r.FirstRecBlock, r.TransferDivisor);
    std::string why;
    GeometryValid = FlashGeometry.IsValid(&why);
    if (!GeometryValid)
        WriteDebugLog("ERROR: Invalid flash geometry: " + why + ". Transfer divisor " +
                      std::to_string(r.TransferDivisor));
}

std::uint64_t TRecorder::GetMinRecordTime() {
    const std::size_t current = SettingsRecord.CurrentProfile < TRecSettings::ProfileCount
                                    ? SettingsRecord.CurrentProfile
                                    : 0;
    return MinRecordTimeOf(SettingsRecord.Profiles[current]);
}

std::uint64_t TRecorder::MinRecordTimeOf(const TRecProfile& profile) const {
    if (!GeometryValid)
        return 0;
    const long double seconds =
        CalcSecondsPerBlock(1, profile.SampleRate, profile.CompressParam, profile.Compress) *
        FreeBlockList.Count();
    if (!std::isfinite(static_cast<double>(seconds)) || seconds <= 0)
        return 0;
    return static_cast<std::uint64_t>(std::llround(seconds));
}

void TRecorder::SetSkipSilence(bool skip) {
    if (SkipSilence.exchange(skip) != skip)
        Modified.store(true);
}

void TRecorder::SetImageFileName(const std::string& name) {
    // A running operation reads the image: it keeps the file it started with.
    if (GetState() != StateIdle)
        throw ERecorderBusy();
    ImageFileName = name;
    SetImageFile(name, ConnectionKind == ConnDemo);
}

void TRecorder::SetActive(bool active) {
    if (active == Active)
        return;
    Active = active;
    if (active) {
        SettingsRecord.Password = NoPasswordBlock;
    } else if (Connected && GetState() == StateIdle) {
        Exchange(CmdCloseLink, nullptr, 0, nullptr, 0);
    }
}

void TRecorder::Refresh() {
    if (GetState() != StateIdle)
        throw ERecorderBusy();
    ReadFlashParams();
    if (!GeometryValid) {
        Connected = false;
        throw TERecXchange(LangText("FlashGeometryBadStr"), CmdFlashParam, RecErrInSize);
    }
    std::uint8_t version[TFwVerRecord::Size] = {};
    Exchange(CmdFwVer, nullptr, 0, version, TFwVerRecord::Size);
    FirmwareVersion = TFwVerRecord::FromBytes(version).Version;
    const auto model = static_cast<std::uint8_t>(FirmwareVersion >> 8);
    ModelName = ModelDisplayName(model);
    ModelClassOf(model, ModelClass);

    std::uint8_t product[TProdParamRecord::Size] = {};
    Exchange(CmdProdParam, TProdParamRecord{}.ToBytes().data(), TProdParamRecord::Size, product,
             TProdParamRecord::Size);
    SerialNumber = std::to_string(TProdParamRecord::FromBytes(product).SerialNumber);
    RestoreInterruptedStatusChanges();

    ReadSettings();
    UiLink.RestoreSettings();
    for (std::uint8_t i = 0; i < CompressionCaptions.size(); ++i)
        CompressionCaptions[i] = UiLink.CompressionCaption(i);
    StartOperation(StateRunning, "ReadHeadersThread", [this] { TMemoryScan(*this).Run(); });
}

const std::string& TRecorder::CompressionCaption(std::uint8_t sourceCompression) const {
    static const std::string unknown = "Unknown";
    return sourceCompression < CompressionCaptions.size() ? CompressionCaptions[sourceCompression]
                                                          : unknown;
}

bool TRecorder::CheckPassword(const std::string& password) {
    if (GetState() != StateIdle)
        throw ERecorderBusy();
    // The field is rebuilt from the no-password block on every try, so nothing of an earlier,
    // longer try is sent along.
    const std::optional<TPasswordField> field = MakePasswordField(password);
    if (!field) {
        WriteDebugLog("Password refused: only up to 20 printable ASCII characters");
        AccessGranted = false;
        return false;
    }
    SettingsRecord.Password = *field;
    TCheckPwRecord request;
    request.Request = RequestGet;
    std::copy_n(field->begin(), TCheckPwRecord::PasswordSize, request.Password.begin());
    std::uint8_t reply[TCheckPwRecord::Size] = {};
    Exchange(CmdCheckPw, request.ToBytes().data(), TCheckPwRecord::Size, reply,
             TCheckPwRecord::Size);
    AccessGranted = std::equal(reply + 1, reply + TCheckPwRecord::Size, field->begin());
    return AccessGranted;
}

void TRecorder::RefuseWritesToReadOnlyImage(std::uint8_t command) const {
    if (IsImageConnection(ConnectionKind) && ImageFileIsReadOnly())
        throw TERecXchange(FormatLangConstant("ImageReadOnlyStr", ImageFileName), command,
                           RecErrIo);
}

int TRecorder::SetDefaultAndErase() {
    return SendSetDefault(*this, RequestSet);
}

int TRecorder::SetDefault() {
    return SendSetDefault(*this, RequestGet);
}

std::int64_t CalcUploadSize(const TWaveFormat& format, std::uint64_t dataSize,
                            std::uint8_t compression, std::uint8_t param) {
    // Only 16-bit PCM mono can be encoded for the recorder.
    if (format.FormatTag != WaveFormatPcm || format.BitsPerSample != 16 || format.Channels != 1)
        return -1;
    const std::uint32_t rate = format.SamplesPerSec;
    const auto size = static_cast<std::int64_t>(dataSize);
    auto rateIn = [rate](std::initializer_list<std::uint32_t> rates) {
        return std::find(rates.begin(), rates.end(), rate) != rates.end();
    };
    switch (compression) {
    case CompressNone:
        return rateIn({4000, 8000, 13333, 20000, 40000}) ? size : -1;
    case CompressAdpcm:
        if (!rateIn({4000, 8000}))
            return -1;
        return param == AdpcmParam2Bit ? size / 8 : size / 4;
    case CompressULaw:
        return rateIn({4000, 8000, 13333, 20000}) ? size / 2 : -1;
    default:
        return -1;
    }
}

std::int64_t TRecorder::GetUploadSize(TWaveFile& wave) {
    const std::int64_t estimate = CalcUploadSize(wave.GetFormat(), wave.GetDataSize(),
                                                 UploadCompression, UploadCompressParam);
    if (estimate < 0 || !GeometryValid)
        return estimate;
    // Counted in the blocks the encoder really fills, in the units of GetFreeMemory, so the
    // main window's question about a partial upload and the upload itself agree.
    try {
        const TUploadPageEncoder encoder(FlashGeometry, UploadCompression, UploadCompressParam,
                                         wave.GetFormat().SamplesPerSec);
        const std::uint64_t blocks = encoder.BlocksFor(wave.GetDataSize() / 2);
        return static_cast<std::int64_t>(blocks) *
               (static_cast<std::int64_t>(FlashGeometry.BlockSize()) -
                static_cast<std::int64_t>(HeaderAreaSize));
    } catch (const EUploadRefused&) {
        return -1;
    }
}

std::int32_t TRecorder::ChooseUploadFormat() {
    const std::optional<TUploadFormatChoice> choice = UiLink.ChooseUploadFormat();
    if (!choice)
        return -1;
    switch (choice->Compression) {
    case TUploadFormatChoice::TCompression::None:
        UploadCompression = CompressNone;
        break;
    case TUploadFormatChoice::TCompression::Adpcm2:
        UploadCompression = CompressAdpcm;
        UploadCompressParam = AdpcmParam2Bit;
        break;
    case TUploadFormatChoice::TCompression::Adpcm4:
        UploadCompression = CompressAdpcm;
        UploadCompressParam = 2;
        break;
    case TUploadFormatChoice::TCompression::ULaw:
        UploadCompression = CompressULaw;
        UploadCompressParam = std::min<std::uint8_t>(choice->ULawScaleIndex, 4);
        break;
    }
    return 0;
}

void TRecorder::SetHiddenTabVisible(bool visible) {
    UiLink.SetHiddenTabVisible(visible);
}

void TRecorder::SetLogLevel(std::uint8_t level) {
    SetDebugLogLevel(level);
    const std::string rule(66, '-');
    const std::string side = "-----" + std::string(56, ' ') + "-----";
    WriteDebugLog(rule);
    for (int i = 0; i < 3; ++i)
        WriteDebugLog(side);
    WriteDebugLog(rule);
}

long double TRecorder::CalcSecondsPerBlock(std::uint16_t channels, std::uint8_t rateCode,
                                           std::uint8_t param, std::uint8_t type) const {
    return ::CalcSecondsPerBlock(FlashGeometry, channels, rateCode, param, type);
}
