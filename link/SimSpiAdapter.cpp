#include "link/SimSpiAdapter.h"

#include <algorithm>

#include "link/Crc16.h"
#include "link/RecXchange.h"
#include "link/SpiFrame.h"
#include "platform/ByteOrder.h"
#include "platform/SpiWiring.h"

namespace {

// Packs bits most significant first.
class TBitSink {
public:
    explicit TBitSink(std::vector<std::uint8_t>& out) : Out(out) {}
    void Bits(std::uint32_t value, int count) {
        if (count == 0)
            return;
        Acc = (Acc << count) | (value & ((std::uint64_t{1} << count) - 1));
        Pending += count;
        while (Pending >= 8) {
            Pending -= 8;
            Out.push_back(static_cast<std::uint8_t>(Acc >> Pending));
        }
        Acc &= (std::uint64_t{1} << Pending) - 1;
    }
    void Ones(int count) {
        for (; count > 0; count -= std::min(count, 24))
            Bits(0xFFFFFF, std::min(count, 24));
    }
    void Bytes(const std::uint8_t* data, std::size_t size) {
        if (Pending == 0) {
            Out.insert(Out.end(), data, data + size);
            return;
        }
        for (std::size_t i = 0; i < size; ++i)
            Bits(data[i], 8);
    }
    // Zero bits up to the next byte boundary.
    void Flush() {
        if (Pending > 0)
            Bits(0, 8 - Pending);
    }

private:
    std::vector<std::uint8_t>& Out;
    std::uint64_t Acc = 0;
    int Pending = 0;
};

// The recorder's own way to the frame CRC: the plain CRC-16 over the bit-reversed bytes.
std::uint16_t RecorderFrameCrc(const std::uint8_t* frame) {
    std::uint8_t reversed[SpiFrameCrcOfs];
    for (std::size_t i = 0; i < SpiFrameCrcOfs; ++i) {
        std::uint8_t b = frame[i], r = 0;
        for (int bit = 0; bit < 8; ++bit, b >>= 1)
            r = static_cast<std::uint8_t>((r << 1) | (b & 1));
        reversed[i] = r;
    }
    return Crc16Update(reversed, SpiFrameCrcOfs, FrameCrcStart);
}

const std::uint8_t NoiseValues[] = {0x01, 0x5A, 0x80, 0xFF, 0x10, 0x3C, 0x08};
constexpr std::uint32_t NoiseTrailingZeros = 9;

void AppendShaped(std::vector<std::uint8_t>& out, const TSimShape& shape,
                  const std::uint8_t* payload, std::size_t size, std::size_t footprint,
                  bool withMarker) {
    out.insert(out.end(), shape.LeadZeroBytes, 0);
    const std::size_t start = out.size();
    const int phase = std::min<int>(shape.LeadPhase, 7);
    const int gap = std::min<int>(shape.GapBits, 32 - phase);
    TBitSink sink(out);
    sink.Bits(0, phase);
    sink.Ones(8 + gap);
    sink.Bits(withMarker ? SpiReplyMarker : 0, 32);
    sink.Bytes(payload, size);
    sink.Flush();
    if (out.size() - start < footprint)
        out.insert(out.end(), footprint - (out.size() - start), 0);
}

} // namespace

SimSpiAdapter::SimSpiAdapter(SimRecorderDevice& device, SimClock& clock)
    : Device(device),
      Clock(clock), DeviceList{{"Sim Recorder Adapter A", 0x0101, "A", SpiDeviceFt2232H}} {}

void SimSpiAdapter::SetReplyShapes(std::vector<TSimShape> shapes) {
    if (!shapes.empty())
        ReplyShapes = std::move(shapes);
    NextReplyShape = 0;
}

void SimSpiAdapter::SetPacketShapes(std::vector<TSimShape> shapes) {
    if (!shapes.empty())
        PacketShapes = std::move(shapes);
}

void SimSpiAdapter::SetNoiseBeforePackets(std::uint32_t bytes) {
    NoiseBytes = bytes;
}

void SimSpiAdapter::SetSilenceBeforePacket(std::uint32_t packetIndex, std::uint32_t zeroBytes) {
    Silence[packetIndex] = zeroBytes;
}

void SimSpiAdapter::StopPacketsAfter(std::uint32_t packets) {
    PacketLimit = packets;
}

void SimSpiAdapter::InjectFault(TSimFault fault, int command, int count) {
    Faults.push_back(TPendingFault{fault, command, count});
}

void SimSpiAdapter::FailTransfers(bool fail) {
    TransfersFail = fail;
}
void SimSpiAdapter::FailBulkChunks(bool fail) {
    ChunksFail = fail;
}
void SimSpiAdapter::FailOpen(bool fail) {
    OpenFails = fail;
}
void SimSpiAdapter::FailDeviceCountQueries(std::vector<bool> pattern) {
    CountFailures = std::move(pattern);
}
void SimSpiAdapter::SetDevices(std::vector<TSpiDeviceInfo> devices) {
    DeviceList = std::move(devices);
}

std::vector<std::uint8_t> SimSpiAdapter::ShapeStream(const TSimShape& shape,
                                                     const std::uint8_t* payload, std::size_t size,
                                                     std::size_t footprint, bool withMarker) {
    std::vector<std::uint8_t> out;
    AppendShaped(out, shape, payload, size, footprint, withMarker);
    return out;
}

std::vector<std::uint8_t> SimSpiAdapter::ReplyFrame(std::uint8_t status, std::uint8_t command,
                                                    const std::vector<std::uint8_t>& data,
                                                    std::uint32_t sizeField) {
    std::vector<std::uint8_t> frame(SpiFrameSize, 0);
    frame[SpiFrameStatusOfs] = status;
    frame[SpiFrameCommandOfs] = command;
    PutU32(&frame[SpiFrameSizeOfs], sizeField);
    std::copy_n(data.begin(), std::min(data.size(), SpiFrameCrcOfs - SpiFrameDataOfs),
                frame.begin() + SpiFrameDataOfs);
    PutU16(&frame[SpiFrameCrcOfs], RecorderFrameCrc(frame.data()));
    return frame;
}

void SimSpiAdapter::Charge(std::uint64_t bits) {
    Clock.AdvanceUs(RoundTripUs + bits * 1'000'000 / std::max<std::uint32_t>(ClockHz, 1));
}

bool SimSpiAdapter::TakeFault(TSimFault fault, std::uint8_t command) {
    for (auto it = Faults.begin(); it != Faults.end(); ++it) {
        if (it->Fault != fault || (it->Command != AnyCommand && it->Command != command))
            continue;
        if (--it->Count <= 0)
            Faults.erase(it);
        return true;
    }
    return false;
}

void SimSpiAdapter::ClearMiso() {
    Miso.clear();
    MisoPos = 0;
}

void SimSpiAdapter::Queue(const std::vector<std::uint8_t>& bytes) {
    Miso.insert(Miso.end(), bytes.begin(), bytes.end());
}

void SimSpiAdapter::QueueReply(std::uint8_t status, std::uint8_t command,
                               const std::vector<std::uint8_t>& data) {
    if (TakeFault(TSimFault::Status2, command))
        status = 2;
    if (TakeFault(TSimFault::Status4, command))
        status = 4;
    const std::uint32_t sizeField = TakeFault(TSimFault::OversizeReply, command)
                                        ? SpiFrameMaxData + 1
                                        : static_cast<std::uint32_t>(data.size());
    std::vector<std::uint8_t> frame = ReplyFrame(status, command, data, sizeField);
    if (TakeFault(TSimFault::BadCrc, command))
        frame[SpiFrameCrcOfs] ^= 0x5A;
    const bool withMarker = !TakeFault(TSimFault::NoMarker, command);
    if (TakeFault(TSimFault::LateReply, command)) {
        const std::uint8_t other = command == CmdRtc ? CmdFwVer : CmdRtc;
        const auto late = ReplyFrame(0, other, {0x00, 0x11, 0x22, 0x33, 0x44}, 5);
        AppendShaped(Miso, ReplyShapes[NextReplyShape++ % ReplyShapes.size()], late.data(),
                     late.size(), ReplyFootprint, true);
    }
    AppendShaped(Miso, ReplyShapes[NextReplyShape++ % ReplyShapes.size()], frame.data(),
                 frame.size(), ReplyFootprint, withMarker);
    LastReplyStatus = status;
}

void SimSpiAdapter::QueueBulkPackets(const TFlashReadParams& params) {
    std::vector<std::uint8_t> units;
    if (params.ChunkSize == 0 || !Device.ReadUnits(params, units))
        return;
    const std::size_t chunk = params.ChunkSize;
    const std::size_t packets = (units.size() + chunk - 1) / chunk;
    Miso.reserve(Miso.size() + units.size() + packets * (chunk / 8 + 32 + NoiseBytes * 10));
    for (std::size_t j = 0; j < packets && j < PacketLimit; ++j) {
        if (const auto it = Silence.find(static_cast<std::uint32_t>(j)); it != Silence.end())
            Miso.insert(Miso.end(), it->second, 0);
        for (std::uint32_t n = 0; n < NoiseBytes; ++n) {
            Miso.push_back(NoiseValues[(j + n) % std::size(NoiseValues)]);
            Miso.insert(Miso.end(), NoiseTrailingZeros, 0);
        }
        const std::size_t size = std::min(chunk, units.size() - j * chunk);
        AppendShaped(Miso, PacketShapes[j % PacketShapes.size()], units.data() + j * chunk, size,
                     chunk + BulkPacketFootprint, true);
    }
}

void SimSpiAdapter::HandleCommandFrame(const std::uint8_t* frame) {
    // A new command ends whatever the recorder was still sending or receiving.
    ClearMiso();
    if (BulkWrite.Active)
        ++Unexpected;
    BulkWrite = TBulkWrite{};

    const std::uint8_t command = frame[SpiFrameCommandOfs];
    const std::uint32_t size = GetU32(frame + SpiFrameSizeOfs);
    const bool crcOk = GetU16(frame + SpiFrameCrcOfs) == RecorderFrameCrc(frame) &&
                       frame[SpiFrameCrcOfs + 2] == 0 && frame[SpiFrameCrcOfs + 3] == 0;
    const std::uint8_t* data = frame + SpiFrameDataOfs;
    Received.push_back(TReceivedCommand{
        command, {data, data + std::min<std::uint32_t>(size, SpiFrameMaxData)}, crcOk});

    if (!crcOk || size > SpiFrameMaxData || frame[SpiFrameStatusOfs] != 0) {
        QueueReply(2, command, {});
        return;
    }
    if (TakeFault(TSimFault::NoReply, command))
        return;
    if (command == CmdFlashRead) {
        if (size < TFlashReadParams::Size) {
            QueueReply(2, command, {});
            return;
        }
        QueueReply(0, command, {});
        if (LastReplyStatus == 0)
            QueueBulkPackets(TFlashReadParams::FromBytes(data));
        return;
    }
    if (command == CmdFlashWrite) {
        if (size < TFlashWriteParams::Size) {
            QueueReply(2, command, {});
            return;
        }
        QueueReply(0, command, {});
        if (LastReplyStatus != 0)
            return;
        BulkWrite.Active = true;
        BulkWrite.Params = TFlashWriteParams::FromBytes(data);
        if (BulkWrite.Params.TotalCount == 0) {
            Device.WritePages(BulkWrite.Params.PageAddr, BulkWrite.Params.Cycles, {});
            BulkWrite = TBulkWrite{};
        }
        return;
    }
    const TSimReply reply = Device.Answer(command, data, size);
    QueueReply(reply.Status, command, reply.Data);
}

void SimSpiAdapter::HandleBulkChunk(const std::uint8_t* data, std::uint32_t size) {
    if (!BulkWrite.Active) {
        ++Unexpected;
        return;
    }
    Chunks.push_back(size);
    const std::size_t remaining = BulkWrite.Params.TotalCount - BulkWrite.Data.size();
    if (size > BulkWrite.Params.ChunkSize || size > remaining) {
        ++Overruns;
        size = static_cast<std::uint32_t>(std::min<std::size_t>(size, remaining));
    }
    BulkWrite.Data.insert(BulkWrite.Data.end(), data, data + size);
    if (BulkWrite.Data.size() == BulkWrite.Params.TotalCount) {
        Device.WritePages(BulkWrite.Params.PageAddr, BulkWrite.Params.Cycles, BulkWrite.Data);
        BulkWrite = TBulkWrite{};
    }
}

std::string SimSpiAdapter::LibraryVersion() {
    CallLog.push_back("LibraryVersion");
    return "simulated recorder 1.0";
}

int SimSpiAdapter::GetHiSpeedDeviceCount(std::uint32_t& count) {
    CallLog.push_back("GetHiSpeedDeviceCount");
    count = 0;
    if (!CountFailures.empty()) {
        const bool fail = CountFailures.front();
        CountFailures.erase(CountFailures.begin());
        if (fail)
            return SpiIoError;
    }
    count = static_cast<std::uint32_t>(DeviceList.size());
    return SpiOk;
}

int SimSpiAdapter::GetHiSpeedDeviceInfo(std::uint32_t index, TSpiDeviceInfo& info) {
    CallLog.push_back("GetHiSpeedDeviceInfo " + std::to_string(index));
    if (index >= DeviceList.size())
        return SpiDeviceNotFound;
    info = DeviceList[index];
    return SpiOk;
}

int SimSpiAdapter::OpenHiSpeedDevice(const std::string& name, std::uint32_t locationId,
                                     const std::string& channel, TSpiHandle& handle) {
    CallLog.push_back("Open " + name);
    handle = 0;
    if (Open)
        return SpiDeviceInUse;
    if (OpenFails)
        return SpiOpenFailed;
    const bool known = std::any_of(DeviceList.begin(), DeviceList.end(), [&](const auto& d) {
        return d.Name == name && d.LocationId == locationId && d.Channel == channel;
    });
    if (!known)
        return SpiDeviceNotFound;
    Open = true;
    ++Opens;
    handle = TheHandle;
    return SpiOk;
}

int SimSpiAdapter::GetHiSpeedDeviceType(TSpiHandle handle, std::uint32_t& type) {
    CallLog.push_back("GetHiSpeedDeviceType");
    if (!Valid(handle))
        return SpiInvalidHandle;
    type = SpiDeviceFt2232H;
    return SpiOk;
}

int SimSpiAdapter::InitDevice(TSpiHandle handle, std::uint32_t clockDivisor) {
    CallLog.push_back("InitDevice " + std::to_string(clockDivisor));
    if (!Valid(handle))
        return SpiInvalidHandle;
    DivideByFive = false;
    ClockHz = SpiClockHz(SpiBaseClockHz, clockDivisor);
    return SpiOk;
}

int SimSpiAdapter::GetLatencyTimer(TSpiHandle handle, std::uint8_t& milliseconds) {
    CallLog.push_back("GetLatencyTimer");
    if (!Valid(handle))
        return SpiInvalidHandle;
    milliseconds = Latency;
    return SpiOk;
}

int SimSpiAdapter::SetLatencyTimer(TSpiHandle handle, std::uint8_t milliseconds) {
    CallLog.push_back("SetLatencyTimer " + std::to_string(milliseconds));
    if (!Valid(handle))
        return SpiInvalidHandle;
    Latency = milliseconds;
    return SpiOk;
}

int SimSpiAdapter::GetClockFrequency(std::uint32_t clockDivisor, std::uint32_t& hz) {
    CallLog.push_back("GetClockFrequency " + std::to_string(clockDivisor));
    hz = SpiClockHz(SpiBaseClockHz, clockDivisor);
    return SpiOk;
}

int SimSpiAdapter::TurnOnDivideByFiveClock(TSpiHandle handle) {
    CallLog.push_back("DivideByFiveOn");
    if (!Valid(handle))
        return SpiInvalidHandle;
    DivideByFive = true;
    return SpiOk;
}

int SimSpiAdapter::TurnOffDivideByFiveClock(TSpiHandle handle) {
    CallLog.push_back("DivideByFiveOff");
    if (!Valid(handle))
        return SpiInvalidHandle;
    DivideByFive = false;
    return SpiOk;
}

int SimSpiAdapter::SetClock(TSpiHandle handle, std::uint32_t clockDivisor, std::uint32_t& hz) {
    CallLog.push_back("SetClock " + std::to_string(clockDivisor));
    if (!Valid(handle))
        return SpiInvalidHandle;
    ClockHz = SpiClockHz(DivideByFive ? SpiDividedBaseClockHz : SpiBaseClockHz, clockDivisor);
    hz = ClockHz;
    return SpiOk;
}

int SimSpiAdapter::WriteBits(TSpiHandle handle, TSpiClocking clocking, const std::uint8_t* control,
                             std::uint32_t controlBits, const std::uint8_t* data,
                             std::uint32_t dataBits) {
    Charge(std::uint64_t{controlBits} + dataBits);
    if (!Valid(handle))
        return SpiInvalidHandle;
    if (TransfersFail)
        return SpiIoError;
    if (clocking.MsbFirst != SpiMsbFirst || clocking.RisingEdge != SpiWriteOnRisingEdge)
        ++WrongClock;
    const auto isPreamble = [&](std::size_t bytes) {
        return controlBits == bytes * 8 && control != nullptr &&
               std::all_of(control, control + bytes, [](std::uint8_t b) { return b == 0xAA; });
    };
    if (isPreamble(SpiCommandPreamble.size()) && dataBits == SpiFrameSize * 8) {
        HandleCommandFrame(data);
    } else if (isPreamble(SpiChunkPreamble.size()) && dataBits % 8 == 0) {
        if (ChunksFail)
            return SpiIoError;
        HandleBulkChunk(data, dataBits / 8);
    } else if (controlBits == 0 && dataBits % 8 == 0 &&
               std::all_of(data, data + dataBits / 8, [](std::uint8_t b) { return b == 0; })) {
        // An idle line: the recorder drops whatever it was doing.
        CallLog.push_back("Idle " + std::to_string(dataBits / 8));
        ClearMiso();
        BulkWrite = TBulkWrite{};
    } else {
        ++Unexpected;
    }
    return SpiOk;
}

int SimSpiAdapter::ReadBits(TSpiHandle handle, TSpiClocking clocking, std::uint32_t bitCount,
                            std::uint8_t* buffer, std::size_t bufferSize,
                            std::uint32_t& bytesReturned) {
    bytesReturned = 0;
    Charge(bitCount);
    if (!Valid(handle))
        return SpiInvalidHandle;
    if (TransfersFail)
        return SpiIoError;
    if (clocking.MsbFirst != SpiMsbFirst || clocking.RisingEdge != SpiReadOnRisingEdge)
        ++WrongClock;
    const std::size_t bytes = (bitCount + 7) / 8;
    if (buffer == nullptr || bufferSize < bytes)
        return SpiInvalidParameter;
    const std::size_t available = std::min(bytes, Miso.size() - MisoPos);
    std::copy_n(Miso.begin() + static_cast<std::ptrdiff_t>(MisoPos), available, buffer);
    std::fill(buffer + available, buffer + bytes, 0);
    MisoPos += available;
    if (MisoPos == Miso.size())
        ClearMiso();
    bytesReturned = static_cast<std::uint32_t>(bytes);
    return SpiOk;
}

int SimSpiAdapter::Close(TSpiHandle handle) {
    CallLog.push_back("Close");
    if (!Valid(handle))
        return SpiInvalidHandle;
    Open = false;
    ClearMiso();
    return SpiOk;
}
