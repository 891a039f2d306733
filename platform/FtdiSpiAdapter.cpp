#include "platform/FtdiSpiAdapter.h"

#include <algorithm>
#include <chrono>

#include "platform/SpiWiring.h"

namespace {

// MPSSE opcodes. A shift command is built from flag bits:
// 0x01 write on the falling edge, 0x02 bits instead of bytes, 0x04 read on the falling edge,
// 0x08 least significant bit first, 0x10 write, 0x20 read.
constexpr std::uint8_t MpsseWriteFalling = 0x01;
constexpr std::uint8_t MpsseBitMode = 0x02;
constexpr std::uint8_t MpsseReadFalling = 0x04;
constexpr std::uint8_t MpsseLsbFirst = 0x08;
constexpr std::uint8_t MpsseDoWrite = 0x10;
constexpr std::uint8_t MpsseDoRead = 0x20;
constexpr std::uint8_t MpsseSetLowPins = 0x80;  // value, direction
constexpr std::uint8_t MpsseSetHighPins = 0x82; // value, direction
constexpr std::uint8_t MpsseLoopbackOff = 0x85;
constexpr std::uint8_t MpsseSetDivisor = 0x86; // low, high
constexpr std::uint8_t MpsseSendImmediate = 0x87;
constexpr std::uint8_t MpsseDivideBy5Off = 0x8A;
constexpr std::uint8_t MpsseDivideBy5On = 0x8B;
constexpr std::uint8_t MpsseThreePhaseOff = 0x8D;
constexpr std::uint8_t MpsseAdaptiveClockOff = 0x97;
// An opcode the engine does not know; it answers 0xFA and the opcode.
constexpr std::uint8_t MpsseBogusOpcode = 0xAA;
constexpr std::uint8_t MpsseBadCommandReply = 0xFA;

constexpr TSpiHandle TheHandle = 1;

constexpr std::uint8_t PinDirections = SpiPinSck | SpiPinMosi | SpiPinChipSelect;
constexpr std::uint8_t ChipSelectInactive = SpiChipSelectActiveLow ? SpiPinChipSelect : 0;
constexpr std::uint8_t ChipSelectActive = SpiChipSelectActiveLow ? 0 : SpiPinChipSelect;

std::uint8_t ShiftOpcode(bool write, bool bits, TSpiClocking clocking) {
    std::uint8_t op = write ? MpsseDoWrite : MpsseDoRead;
    if (bits)
        op |= MpsseBitMode;
    if (!clocking.MsbFirst)
        op |= MpsseLsbFirst;
    if (!clocking.RisingEdge)
        op |= write ? MpsseWriteFalling : MpsseReadFalling;
    return op;
}

void AppendPins(std::vector<std::uint8_t>& out, std::uint8_t chipSelect) {
    out.push_back(MpsseSetLowPins);
    out.push_back(chipSelect);
    out.push_back(PinDirections);
}

// Length fields hold the count minus one, low byte first.
void AppendLength(std::vector<std::uint8_t>& out, std::uint32_t count) {
    out.push_back(static_cast<std::uint8_t>((count - 1) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(((count - 1) >> 8) & 0xFF));
}

// Clocks out bitCount bits of buffer: whole bytes in the largest commands the engine
// takes, then the rest as one bit command (bits from the top of the last byte).
void AppendWrite(std::vector<std::uint8_t>& out, TSpiClocking clocking, const std::uint8_t* bytes,
                 std::uint32_t bitCount) {
    const std::uint32_t wholeBytes = bitCount / 8;
    for (std::uint32_t done = 0; done < wholeBytes;) {
        const std::uint32_t n = std::min(wholeBytes - done, FtdiSpiAdapter::MaxMpsseBytes);
        out.push_back(ShiftOpcode(true, false, clocking));
        AppendLength(out, n);
        out.insert(out.end(), bytes + done, bytes + done + n);
        done += n;
    }
    if (const std::uint32_t rest = bitCount % 8; rest != 0) {
        out.push_back(ShiftOpcode(true, true, clocking));
        out.push_back(static_cast<std::uint8_t>(rest - 1));
        out.push_back(bytes[wholeBytes]);
    }
}

std::uint64_t SteadyNowMs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

struct TChipKind {
    std::uint16_t ProductId;
    std::uint16_t Release; // high byte of bcdDevice
    std::uint32_t Type;
    const char* DefaultName;
    const char* Channels;      // letters of its interfaces
    const char* MpsseChannels; // the ones with an MPSSE
};

constexpr TChipKind ChipKinds[] = {
    {FtdiProductFt2232H, 0x07, SpiDeviceFt2232H, "Dual RS232-HS", "AB", "AB"},
    {FtdiProductFt4232H, 0x08, SpiDeviceFt4232H, "Quad RS232-HS", "ABCD", "AB"},
    {FtdiProductFt232H, 0x09, SpiDeviceFt232H, "Single RS232-HS", "A", "A"},
};

const TChipKind* FindChipKind(const TFtdiUsbDevice& device) {
    for (const TChipKind& kind : ChipKinds)
        if (kind.ProductId == device.ProductId && (device.BcdDevice >> 8) == kind.Release)
            return &kind;
    return nullptr;
}

} // namespace

FtdiSpiAdapter::FtdiSpiAdapter(TFtdiApi api, std::function<std::uint64_t()> nowMs)
    : Api(std::move(api)), NowMs(nowMs ? std::move(nowMs) : SteadyNowMs) {}

FtdiSpiAdapter::~FtdiSpiAdapter() {
    Close(TheHandle);
}

std::string FtdiSpiAdapter::LibraryVersion() {
    return Api.LibraryVersion();
}

int FtdiSpiAdapter::RefreshChannels() {
    Channels.clear();
    TFtdiContext context = Api.NewContext();
    if (context == nullptr)
        return SpiIoError;
    std::vector<TFtdiUsbDevice> devices;
    const int status = Api.ListDevices(
        context, {FtdiProductFt2232H, FtdiProductFt4232H, FtdiProductFt232H}, devices);
    Api.FreeContext(context);
    if (status < 0)
        return SpiIoError;
    for (const TFtdiUsbDevice& device : devices) {
        const TChipKind* kind = FindChipKind(device);
        if (kind == nullptr)
            continue; // a full-speed chip sharing a product id
        const std::string base =
            device.Description.empty() ? kind->DefaultName : device.Description;
        const std::string letters = kind->Channels;
        for (std::size_t i = 0; i < letters.size(); ++i) {
            TChannelEntry entry;
            entry.Info.Channel = std::string(1, letters[i]);
            entry.Info.Name = base + " " + entry.Info.Channel;
            entry.Info.LocationId = (std::uint32_t{device.Bus} << 8) | device.Address;
            entry.Info.Type = kind->Type;
            entry.Bus = device.Bus;
            entry.Address = device.Address;
            entry.ChannelIndex = static_cast<int>(i);
            entry.HasMpsse = std::string(kind->MpsseChannels).find(letters[i]) != std::string::npos;
            Channels.push_back(entry);
        }
    }
    return SpiOk;
}

int FtdiSpiAdapter::GetHiSpeedDeviceCount(std::uint32_t& count) {
    count = 0;
    const int status = RefreshChannels();
    count = static_cast<std::uint32_t>(Channels.size());
    return status;
}

int FtdiSpiAdapter::GetHiSpeedDeviceInfo(std::uint32_t index, TSpiDeviceInfo& info) {
    if (Channels.empty())
        RefreshChannels();
    if (index >= Channels.size())
        return SpiDeviceNotFound;
    info = Channels[index].Info;
    return SpiOk;
}

int FtdiSpiAdapter::OpenHiSpeedDevice(const std::string& name, std::uint32_t locationId,
                                      const std::string& channel, TSpiHandle& handle) {
    handle = 0;
    if (Device)
        return SpiDeviceInUse;
    auto matches = [&](const TChannelEntry& e) {
        return e.Info.LocationId == locationId && e.Info.Channel == channel &&
               (name.empty() || e.Info.Name == name);
    };
    auto entry = std::find_if(Channels.begin(), Channels.end(), matches);
    if (entry == Channels.end()) {
        RefreshChannels();
        entry = std::find_if(Channels.begin(), Channels.end(), matches);
    }
    if (entry == Channels.end())
        return SpiDeviceNotFound;
    if (!entry->HasMpsse)
        return SpiInvalidParameter;
    TFtdiContext context = Api.NewContext();
    if (context == nullptr)
        return SpiIoError;
    if (Api.OpenDevice(context, entry->Bus, entry->Address, entry->ChannelIndex) < 0) {
        Api.FreeContext(context);
        return SpiOpenFailed;
    }
    Device = TOpenDevice{context, entry->Info.Type, false};
    handle = TheHandle;
    return SpiOk;
}

bool FtdiSpiAdapter::IsOpen(TSpiHandle handle) const {
    return Device && handle == TheHandle;
}

int FtdiSpiAdapter::GetHiSpeedDeviceType(TSpiHandle handle, std::uint32_t& type) {
    if (!IsOpen(handle))
        return SpiInvalidHandle;
    type = Device->Type;
    return SpiOk;
}

int FtdiSpiAdapter::Send(const std::vector<std::uint8_t>& commands) {
    const int written =
        Api.WriteData(Device->Context, commands.data(), static_cast<int>(commands.size()));
    return written == static_cast<int>(commands.size()) ? SpiOk : SpiIoError;
}

int FtdiSpiAdapter::Receive(std::uint8_t* buffer, std::size_t size) {
    std::size_t got = 0;
    std::uint64_t lastProgress = NowMs();
    while (got < size) {
        const int n = Api.ReadData(Device->Context, buffer + got, static_cast<int>(size - got));
        if (n < 0)
            return SpiIoError;
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            lastProgress = NowMs();
        } else if (NowMs() - lastProgress >= ReadTimeoutMs) {
            return SpiTimeout;
        }
    }
    return SpiOk;
}

// The engine echoes an unknown opcode as 0xFA and the opcode: once that comes back, every
// byte read after it is the answer to a command of ours.
int FtdiSpiAdapter::Synchronise() {
    if (const int status = Send({MpsseBogusOpcode}); status != SpiOk)
        return status;
    std::uint8_t echo[2] = {};
    if (Receive(echo, sizeof echo) != SpiOk || echo[0] != MpsseBadCommandReply ||
        echo[1] != MpsseBogusOpcode)
        return SpiNotSynchronised;
    return SpiOk;
}

int FtdiSpiAdapter::InitDevice(TSpiHandle handle, std::uint32_t clockDivisor) {
    if (!IsOpen(handle))
        return SpiInvalidHandle;
    if (clockDivisor > 0xFFFF)
        return SpiInvalidParameter;
    TFtdiContext c = Device->Context;
    if (Api.ResetDevice(c) < 0 || Api.SetChunkSize(c, MaxMpsseBytes) < 0 ||
        Api.SetBitMode(c, 0, FtdiBitModeReset) < 0 ||
        Api.SetBitMode(c, PinDirections, FtdiBitModeMpsse) < 0 || Api.PurgeBuffers(c) < 0)
        return SpiIoError;
    if (const int status = Synchronise(); status != SpiOk)
        return status;
    std::vector<std::uint8_t> setup = {MpsseDivideBy5Off,
                                       MpsseAdaptiveClockOff,
                                       MpsseThreePhaseOff,
                                       MpsseLoopbackOff,
                                       MpsseSetDivisor,
                                       static_cast<std::uint8_t>(clockDivisor & 0xFF),
                                       static_cast<std::uint8_t>(clockDivisor >> 8)};
    AppendPins(setup, ChipSelectInactive);
    setup.insert(setup.end(), {MpsseSetHighPins, 0x00, 0x00}); // upper pins: inputs
    Device->DivideByFive = false;
    return Send(setup);
}

int FtdiSpiAdapter::GetLatencyTimer(TSpiHandle handle, std::uint8_t& milliseconds) {
    if (!IsOpen(handle))
        return SpiInvalidHandle;
    return Api.GetLatencyTimer(Device->Context, milliseconds) < 0 ? SpiIoError : SpiOk;
}

int FtdiSpiAdapter::SetLatencyTimer(TSpiHandle handle, std::uint8_t milliseconds) {
    if (!IsOpen(handle))
        return SpiInvalidHandle;
    if (milliseconds == 0)
        return SpiInvalidParameter; // the chip takes 1 to 255
    return Api.SetLatencyTimer(Device->Context, milliseconds) < 0 ? SpiIoError : SpiOk;
}

int FtdiSpiAdapter::GetClockFrequency(std::uint32_t clockDivisor, std::uint32_t& hz) {
    if (clockDivisor > 0xFFFF)
        return SpiInvalidParameter;
    hz = SpiClockHz(SpiBaseClockHz, clockDivisor);
    return SpiOk;
}

int FtdiSpiAdapter::TurnOnDivideByFiveClock(TSpiHandle handle) {
    if (!IsOpen(handle))
        return SpiInvalidHandle;
    const int status = Send({MpsseDivideBy5On});
    if (status == SpiOk)
        Device->DivideByFive = true;
    return status;
}

int FtdiSpiAdapter::TurnOffDivideByFiveClock(TSpiHandle handle) {
    if (!IsOpen(handle))
        return SpiInvalidHandle;
    const int status = Send({MpsseDivideBy5Off});
    if (status == SpiOk)
        Device->DivideByFive = false;
    return status;
}

int FtdiSpiAdapter::SetClock(TSpiHandle handle, std::uint32_t clockDivisor, std::uint32_t& hz) {
    if (!IsOpen(handle))
        return SpiInvalidHandle;
    if (clockDivisor > 0xFFFF)
        return SpiInvalidParameter;
    const int status = Send({MpsseSetDivisor, static_cast<std::uint8_t>(clockDivisor & 0xFF),
                             static_cast<std::uint8_t>(clockDivisor >> 8)});
    if (status == SpiOk)
        hz =
            SpiClockHz(Device->DivideByFive ? SpiDividedBaseClockHz : SpiBaseClockHz, clockDivisor);
    return status;
}

int FtdiSpiAdapter::WriteBits(TSpiHandle handle, TSpiClocking clocking, const std::uint8_t* control,
                              std::uint32_t controlBits, const std::uint8_t* data,
                              std::uint32_t dataBits) {
    if (!IsOpen(handle))
        return SpiInvalidHandle;
    if ((controlBits > 0 && control == nullptr) || (dataBits > 0 && data == nullptr))
        return SpiInvalidParameter;
    std::vector<std::uint8_t> commands;
    commands.reserve(16 + controlBits / 8 + dataBits / 8 + 3 * (dataBits / 8 / MaxMpsseBytes));
    AppendPins(commands, ChipSelectActive);
    AppendWrite(commands, clocking, control, controlBits);
    AppendWrite(commands, clocking, data, dataBits);
    AppendPins(commands, ChipSelectInactive);
    return Send(commands);
}

int FtdiSpiAdapter::ReadBits(TSpiHandle handle, TSpiClocking clocking, std::uint32_t bitCount,
                             std::uint8_t* buffer, std::size_t bufferSize,
                             std::uint32_t& bytesReturned) {
    bytesReturned = 0;
    if (!IsOpen(handle))
        return SpiInvalidHandle;
    // Whole bytes only: the engine packs a partial byte differently from a whole one.
    const std::uint32_t bytes = bitCount / 8;
    if (bitCount % 8 != 0 || buffer == nullptr || bufferSize < bytes)
        return SpiInvalidParameter;
    if (bytes == 0)
        return SpiOk;
    std::vector<std::uint8_t> commands;
    AppendPins(commands, ChipSelectActive);
    for (std::uint32_t done = 0; done < bytes;) {
        const std::uint32_t n = std::min(bytes - done, MaxMpsseBytes);
        commands.push_back(ShiftOpcode(false, false, clocking));
        AppendLength(commands, n);
        done += n;
    }
    AppendPins(commands, ChipSelectInactive);
    commands.push_back(MpsseSendImmediate);
    if (const int status = Send(commands); status != SpiOk)
        return status;
    const int status = Receive(buffer, bytes);
    if (status == SpiOk)
        bytesReturned = bytes;
    return status;
}

int FtdiSpiAdapter::Close(TSpiHandle handle) {
    if (!IsOpen(handle))
        return SpiInvalidHandle;
    TFtdiContext c = Device->Context;
    // Leave chip select released and the pins to themselves.
    std::vector<std::uint8_t> release;
    AppendPins(release, ChipSelectInactive);
    Send(release);
    Api.SetBitMode(c, 0, FtdiBitModeReset);
    Api.CloseDevice(c);
    Api.FreeContext(c);
    Device.reset();
    return SpiOk;
}
