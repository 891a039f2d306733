#include "link/SpiLink.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "link/DebugLog.h"
#include "link/RecXchange.h"
#include "link/SpiFrame.h"
#include "link/SpiWireParams.h"
#include "platform/ByteOrder.h"
#include "platform/SpiWiring.h"

namespace {

TSpiLinkServices Services;
std::atomic<TSpiHandle> Handle{0};

// Framed commands: 5 tries, RTC (the connection poll) 2; the bulk commands are sent up to
// 3 times before their stream starts.
constexpr int CommandTries = 5;
constexpr int RtcTries = 2;
constexpr int BulkCommandTries = 3;
constexpr std::uint32_t BulkCommandTimeoutMs = 1000;
constexpr std::uint32_t SettlePauseMs = 3000;
constexpr std::uint32_t ShortPauseMs = 10;
// Zero bytes clocked out after opening, so the recorder sees an idle line.
constexpr std::uint32_t IdleSyncBytes = 368;
// Bytes of a reply read after its first non-zero byte.
constexpr std::size_t ReplyReadBytes = 192;
// The frame data area of a framed command in ExchangeCmd.
constexpr std::size_t FrameDataArea = 180;
// Chunks of the bulk streams are at most this long; larger totals are halved until they fit.
constexpr std::uint32_t MaxBulkChunk = 4224;
// A FLASH_READ larger than this is refused: the engine reads at most a block at a time.
constexpr std::uint64_t MaxFlashReadBytes = 64ull << 20;

constexpr TSpiClocking WriteClocking{SpiMsbFirst, SpiWriteOnRisingEdge};
constexpr TSpiClocking ReadClocking{SpiMsbFirst, SpiReadOnRisingEdge};

SpiAdapter& Adapter() {
    return Services.Adapter != nullptr ? *Services.Adapter : DefaultSpiAdapter();
}

void CloseHandle() {
    if (const TSpiHandle handle = Handle.exchange(0); handle != 0)
        Adapter().Close(handle);
}

std::uint64_t NowMs() {
    if (Services.NowMs)
        return Services.NowMs();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

void SleepMs(std::uint32_t ms) {
    if (Services.SleepMs)
        Services.SleepMs(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0)
        return {};
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(n));
    return text;
}
std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    return text;
}

int WriteStream(const std::uint8_t* control, std::uint32_t controlBytes, const std::uint8_t* data,
                std::uint32_t dataBytes) {
    const int status = Adapter().WriteBits(Handle.load(), WriteClocking, control, controlBytes * 8,
                                           data, dataBytes * 8);
    return status == SpiOk ? RecErrSuccess : RecErrNotConnected;
}

// Reads exactly size bytes; what the library does not deliver reads as zero.
int ReadStream(std::uint8_t* buffer, std::uint32_t size) {
    std::uint32_t got = 0;
    const int status = Adapter().ReadBits(Handle.load(), ReadClocking, size * 8, buffer, size, got);
    if (status != SpiOk)
        return RecErrNotConnected;
    if (got < size)
        std::memset(buffer + got, 0, size - got);
    return RecErrSuccess;
}

// The reply's data, its header, and whether it answers our command.
enum class TReplyVerdict { Taken, LateReply, Failed };

TReplyVerdict ParseReply(std::uint8_t* reply, TSpiPacket& packet, int& result) {
    std::size_t at = 0;
    if (!AlignReply(reply, ReplyReadBytes, at)) {
        WriteDebugLog("Reply marker not found");
        result = RecErrChecksum;
        return TReplyVerdict::Failed;
    }
    const std::uint8_t* frame = reply + at;
    const bool crcOk = GetU16(frame + SpiFrameCrcOfs) == FrameCrc16(frame, SpiFrameCrcOfs);
    const std::uint8_t status = frame[SpiFrameStatusOfs];
    const std::uint8_t command = frame[SpiFrameCommandOfs];
    // A sound frame for another command is a late reply to an earlier try: not ours.
    if (crcOk && command != packet.Command) {
        WriteDebugLog(Format("Reply to command %d discarded, waiting for command %d", command,
                             packet.Command));
        return TReplyVerdict::LateReply;
    }
    // The recorder's error status stands even when the CRC does not.
    if (status == RecErrStatus4 || status == RecErrStatus2) {
        result = status;
        return TReplyVerdict::Failed;
    }
    if (!crcOk) {
        result = RecErrChecksum;
        return TReplyVerdict::Failed;
    }
    packet.Status = status;
    packet.Command = command;
    packet.Size = GetU32(frame + SpiFrameSizeOfs);
    if (packet.Size > SpiFrameMaxData) {
        result = RecErrInSize;
        return TReplyVerdict::Failed;
    }
    if (packet.Data != nullptr)
        std::memcpy(packet.Data, frame + SpiFrameDataOfs, packet.Size);
    result = RecErrSuccess;
    return TReplyVerdict::Taken;
}

std::string HexBytes(const std::uint8_t* data, std::size_t size) {
    std::string text;
    char hex[4];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(hex, sizeof hex, "%02X ", data[i]);
        text += hex;
    }
    return text;
}

// One framed command of ExchangeCmd; clears triesLeft for a SET_DEFAULT that timed out.
int RunFramedCommand(std::uint8_t command, const void* out, std::uint32_t outSize, void* in,
                     std::uint32_t inSize, std::uint32_t timeoutMs, int& triesLeft) {
    std::array<std::uint8_t, FrameDataArea> area{};
    if (out != nullptr && outSize > 0)
        std::memcpy(area.data(), out, outSize);
    TSpiPacket packet{0, command, outSize, area.data()};
    int result = SendReceiveCmd(packet, timeoutMs);
    WriteDebugLog(Format("Return value: %d", result));
    // The recorder may be busy erasing its memory for a long while: asking again would
    // only interrupt it.
    if (command == CmdSetDefault && result == RecErrTimeout)
        triesLeft = 0;
    if (result == RecErrSuccess && packet.Size == inSize) {
        if (in != nullptr)
            std::memcpy(in, area.data(), inSize);
        return result;
    }
    TDebugLogNesting deeper;
    // Only a reply that came is compared: a time-out stays a time-out.
    if (result == RecErrSuccess) {
        result = RecErrInSize;
        WriteDebugLog(Format("Invalid In Data Size. Requested %u bytes, returned %u bytes", inSize,
                             packet.Size));
    }
    WriteDebugLog(Format("Received Pkt: status: %d; cmd: %d; size: %u", packet.Status,
                         packet.Command, packet.Size));
    WriteDebugLog("Data: " + HexBytes(area.data(), std::min<std::size_t>(inSize, area.size())));
    return result;
}

TFlashReadRequest ReadRequest(const void* out) {
    TFlashReadRequest r;
    std::memcpy(&r, out, sizeof r);
    return r;
}

TFlashWriteRequest WriteRequest(const void* out) {
    TFlashWriteRequest r;
    std::memcpy(&r, out, sizeof r);
    return r;
}

// The bulk commands carry native request records; anything else is refused before a byte
// goes out.
void CheckBulkRequest(std::uint8_t command, const void* out, std::uint32_t outSize) {
    const auto refuse = [command] {
        throw TERecXchange(RecErrorMessage(RecErrOutSize), command, RecErrOutSize);
    };
    if (command == CmdFlashRead) {
        if (out == nullptr || outSize != sizeof(TFlashReadRequest))
            refuse();
        const TFlashReadRequest r = ReadRequest(out);
        const std::uint64_t padded = std::uint64_t{r.Cycles} * PaddedUnitSize(r.Count);
        if ((r.Cycles > 0 && r.Count > 0 && r.HostBuffer == nullptr) || padded > MaxFlashReadBytes)
            refuse();
    } else if (command == CmdFlashWrite) {
        if (out == nullptr || outSize != sizeof(TFlashWriteRequest))
            refuse();
        const TFlashWriteRequest r = WriteRequest(out);
        if (r.TotalCount > 0 && r.Data == nullptr)
            refuse();
    }
}

int RunFlashRead(const void* out) {
    const TFlashReadRequest r = ReadRequest(out);
    const std::uint32_t padded = PaddedUnitSize(r.Count);
    std::vector<std::uint8_t> scratch(std::size_t{r.Cycles} * padded);
    const int result = ReadFlashStream(scratch.data(), scratch.size(), r.PageAddr, r.Cycles, padded,
                                       r.Offset, r.AddrInc, BulkChunkSize(padded));
    if (result == RecErrSuccess)
        for (std::uint32_t i = 0; i < r.Cycles; ++i)
            std::memcpy(r.HostBuffer + std::size_t{i} * r.Count, &scratch[std::size_t{i} * padded],
                        r.Count);
    return result;
}

int RunFlashWrite(const void* out) {
    const TFlashWriteRequest r = WriteRequest(out);
    return WriteFlashStream(r.Data, r.PageAddr, r.Cycles, r.TotalCount,
                            BulkChunkSize(r.TotalCount));
}

// Sends a bulk command until the recorder accepts it.
int SendBulkCommand(std::uint8_t command, const std::uint8_t* params, std::uint32_t size) {
    int result = RecErrNotTried;
    for (int attempt = 0; attempt < BulkCommandTries && result != RecErrSuccess; ++attempt) {
        std::array<std::uint8_t, SpiFrameMaxData> data{};
        std::memcpy(data.data(), params, size);
        TSpiPacket packet{0, command, size, data.data()};
        result = SendReceiveCmd(packet, BulkCommandTimeoutMs);
    }
    return result;
}

} // namespace

void SetSpiLinkServices(const TSpiLinkServices& services) {
    CloseSpiAdapter();
    Services = services;
}

void ResetSpiLinkServices() {
    SetSpiLinkServices(TSpiLinkServices{});
}

TSpiHandle SpiAdapterHandle() {
    return Handle.load();
}

void ConsolePrint(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatV(format, args);
    va_end(args);
    if (Services.Console) {
        Services.Console(text);
    } else {
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
    }
}

std::uint32_t PaddedUnitSize(std::uint32_t count) {
    return (count + 31u) / 32u * 32u;
}

std::uint16_t BulkChunkSize(std::uint32_t bytes) {
    while (bytes > MaxBulkChunk)
        bytes /= 2;
    return static_cast<std::uint16_t>(bytes);
}

bool AdapterProbe() {
    return true;
}

void CloseSpiAdapter() {
    if (Handle.load() == 0)
        return;
    WriteDebugLog("Close SPI adapter");
    CloseHandle();
}

TSpiHandle OpenSpiAdapter(std::uint8_t clockDivisor) {
    CloseHandle();
    SpiAdapter& adapter = Adapter();
    ConsolePrint("DLL version: %s\n", adapter.LibraryVersion().c_str());
    std::uint32_t count = 0;
    int status = adapter.GetHiSpeedDeviceCount(count);
    ConsolePrint("Number of Hi-speed devices: %u\n", count);
    if (status == SpiOk && count == 0)
        status = SpiDeviceNotFound;

    TSpiDeviceInfo info;
    if (status == SpiOk) {
        bool found = false;
        for (std::uint32_t i = 0; i < count && status == SpiOk && !found; ++i) {
            status = adapter.GetHiSpeedDeviceInfo(i, info);
            found = status == SpiOk && info.Channel == "A";
        }
        if (status == SpiOk && !found)
            status = SpiChannelNotFound;
        ConsolePrint("Device channel: %s\n", info.Channel.c_str());
    }

    TSpiHandle handle = 0;
    if (status == SpiOk) {
        status = adapter.OpenHiSpeedDevice(info.Name, info.LocationId, info.Channel, handle);
        ConsolePrint("Device name: %s\n", info.Name.c_str());
        ConsolePrint("Device location ID: %u\n", info.LocationId);
        if (status == SpiOk) {
            std::uint32_t type = 0;
            status = adapter.GetHiSpeedDeviceType(handle, type);
            ConsolePrint("Device type ID: %u\n", type);
        }
    }
    if (handle == 0)
        return 0;
    Handle.store(handle);

    if (status == SpiOk) {
        std::uint8_t latency = 0;
        status = adapter.InitDevice(handle, clockDivisor);
        if (status == SpiOk)
            status = adapter.GetLatencyTimer(handle, latency);
        if (status == SpiOk)
            status = adapter.SetLatencyTimer(handle, 50);
        if (status == SpiOk)
            status = adapter.GetLatencyTimer(handle, latency);
        if (status == SpiOk)
            status = adapter.SetLatencyTimer(handle, 16);
        if (status == SpiOk)
            status = adapter.GetLatencyTimer(handle, latency);
        if (status == SpiOk)
            ConsolePrint("Latency timer: %u\n", latency);
    }
    if (status == SpiOk) {
        std::uint32_t hz = 0;
        status = adapter.GetClockFrequency(0, hz);
        if (status == SpiOk)
            status = adapter.TurnOnDivideByFiveClock(handle);
        if (status == SpiOk)
            status = adapter.GetClockFrequency(0, hz);
        if (status == SpiOk)
            status = adapter.SetClock(handle, clockDivisor, hz);
        if (status == SpiOk)
            status = adapter.TurnOffDivideByFiveClock(handle);
        if (status == SpiOk)
            status = adapter.SetClock(handle, clockDivisor, hz);
        if (status == SpiOk)
            ConsolePrint("Clock frequency: %uMHz\n", hz / 1'000'000);
    }
    if (status == SpiOk) {
        const std::vector<std::uint8_t> idle(IdleSyncBytes, 0);
        adapter.WriteBits(handle, WriteClocking, nullptr, 0, idle.data(), IdleSyncBytes * 8);
        SleepMs(SettlePauseMs);
    }
    return handle;
}

int SendReceiveCmd(TSpiPacket& packet, std::uint32_t timeoutMs) {
    if (packet.Size > SpiFrameMaxData || (packet.Size > 0 && packet.Data == nullptr)) {
        WriteDebugLog("Exiting SendReceiveCmd function (HT_OUT_DATA_SZ_ERR)...");
        return RecErrOutSize;
    }
    const TSpiFrame frame = BuildCommandFrame(packet.Command, packet.Data, packet.Size);
    if (WriteStream(SpiCommandPreamble.data(), SpiCommandPreamble.size(), frame.data(),
                    frame.size()) != RecErrSuccess)
        return RecErrNotConnected;
    const std::uint64_t start = NowMs();
    for (;;) {
        std::array<std::uint8_t, ReplyReadBytes> reply{};
        bool started = false;
        do {
            if (ReadStream(reply.data(), 1) != RecErrSuccess)
                return RecErrNotConnected;
            started = reply[0] != 0;
        } while (!started && NowMs() - start < timeoutMs);
        if (!started) {
            SleepMs(ShortPauseMs);
            return RecErrTimeout;
        }
        if (ReadStream(reply.data() + 1, ReplyReadBytes - 1) != RecErrSuccess)
            return RecErrNotConnected;
        int result = RecErrSuccess;
        switch (ParseReply(reply.data(), packet, result)) {
        case TReplyVerdict::LateReply:
            continue;
        case TReplyVerdict::Failed:
            if (result != RecErrInSize)
                SleepMs(ShortPauseMs);
            return result;
        case TReplyVerdict::Taken:
            SleepMs(ShortPauseMs);
            return RecErrSuccess;
        }
    }
}

int ReadFlashStream(std::uint8_t* target, std::size_t targetSize, std::uint32_t pageAddr,
                    std::uint32_t cycles, std::uint32_t unitSize, std::uint32_t offset,
                    std::uint32_t addrInc, std::uint16_t chunkSize) {
    const std::uint64_t expected = std::uint64_t{cycles} * unitSize;
    if (expected > targetSize || (expected > 0 && (target == nullptr || chunkSize == 0)))
        return RecErrInSize;
    TFlashReadParams params{pageAddr, cycles, unitSize, offset, addrInc, chunkSize};
    const auto wire = params.ToBytes();
    if (const int result = SendBulkCommand(CmdFlashRead, wire.data(), wire.size());
        result != RecErrSuccess)
        return result;

    // The stream is scanned as one: bytes a window ends with that may start a packet are
    // kept and the next window appended to them.
    const std::size_t alignBytes = chunkSize + BulkPacketAlignBytes;
    const std::size_t footprint = chunkSize + BulkPacketFootprint;
    std::vector<std::uint8_t> stream;
    stream.reserve(alignBytes + BulkReadWindowBytes);
    std::vector<std::uint8_t> packet(alignBytes);
    std::size_t skip = 0; // bytes of the stream still to pass over after the last packet
    std::uint64_t written = 0;
    int emptyWindows = 0;
    int result = RecErrSuccess;
    while (written < expected) {
        const std::size_t kept = stream.size();
        stream.resize(kept + BulkReadWindowBytes);
        if (ReadStream(stream.data() + kept, BulkReadWindowBytes) != RecErrSuccess)
            return RecErrNotConnected;
        bool packetSeen = false;
        std::size_t i = std::min(skip, stream.size());
        skip -= i;
        while (i < stream.size() && written < expected) {
            if (stream[i] == 0) {
                ++i;
                continue;
            }
            if (stream.size() - i < alignBytes)
                break; // may be a packet that goes on in the next window
            std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(i), alignBytes,
                        packet.begin());
            std::size_t dataAt = 0;
            if (!AlignReply(packet.data(), alignBytes, dataAt)) {
                ++i; // line noise, not a packet
                continue;
            }
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, expected - written));
            std::memcpy(target + written, packet.data() + dataAt, n);
            written += n;
            packetSeen = true;
            i += footprint;
        }
        if (i >= stream.size()) {
            skip += i - stream.size();
            stream.clear();
        } else {
            stream.erase(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(i));
        }
        if (!packetSeen && ++emptyWindows == 3) {
            result = RecErrNoPacket;
            break;
        }
    }
    SleepMs(ShortPauseMs);
    return result;
}

int WriteFlashStream(const std::uint8_t* data, std::uint32_t pageAddr, std::uint32_t cycles,
                     std::uint32_t totalCount, std::uint16_t chunkSize) {
    if (totalCount > 0 && (data == nullptr || chunkSize == 0))
        return RecErrOutSize;
    TFlashWriteParams params{pageAddr, cycles, totalCount, chunkSize};
    const auto wire = params.ToBytes();
    if (const int result = SendBulkCommand(CmdFlashWrite, wire.data(), wire.size());
        result != RecErrSuccess)
        return result;
    for (std::uint32_t done = 0; done < totalCount;) {
        const std::uint32_t n = std::min<std::uint32_t>(chunkSize, totalCount - done);
        if (WriteStream(SpiChunkPreamble.data(), SpiChunkPreamble.size(), data + done, n) !=
            RecErrSuccess)
            return RecErrNotConnected;
        done += n;
        SleepMs(ShortPauseMs);
    }
    SleepMs(ShortPauseMs);
    return RecErrSuccess;
}

void ExchangeCmd(std::uint8_t command, const void* out, std::uint32_t outSize, void* in,
                 std::uint32_t inSize, std::uint32_t timeoutMs) {
    DescribeCommand(true, command, out, outSize);
    try {
        if (outSize > MaxFrameData)
            throw TERecXchange(RecErrorMessage(RecErrOutSize), command, RecErrOutSize);
        CheckBulkRequest(command, out, outSize);
        int result = RecErrNotTried;
        {
            TDebugLogNesting nesting;
            int triesLeft = command == CmdRtc ? RtcTries : CommandTries;
            while (triesLeft > 0 && result != RecErrSuccess) {
                // Tries count 1 to 5; the two of RTC count 4 and 5.
                const int tryNumber = CommandTries + 1 - triesLeft;
                if (Handle.load() == 0) {
                    WriteDebugLog("Open SPI adapter");
                    if (OpenSpiAdapter(SpiLinkClockDivisor) == 0) {
                        WriteDebugLog("ERROR: Can't open SPI adapter");
                        throw TERecXchange(RecErrorMessage(RecErrNotConnected), command,
                                           RecErrNotConnected);
                    }
                }
                WriteDebugLog("Executing command...");
                if (command == CmdFlashRead)
                    result = RunFlashRead(out);
                else if (command == CmdFlashWrite)
                    result = RunFlashWrite(out);
                else
                    result =
                        RunFramedCommand(command, out, outSize, in, inSize, timeoutMs, triesLeft);
                if (result != RecErrSuccess) {
                    const std::string text = Format(
                        "Try %d FAILED!!! SendReceiveCmd return value: %d", tryNumber, result);
                    // A failed clock poll keeps a present adapter open: reopening costs the
                    // 3-second settle on every poll.
                    std::uint32_t devices = 0;
                    const bool present =
                        Adapter().GetHiSpeedDeviceCount(devices) == SpiOk && devices > 0;
                    if (command != CmdRtc || !present) {
                        WriteDebugLog(text);
                        WriteDebugLog("Close SPI adapter");
                        CloseHandle();
                    }
                }
                --triesLeft;
            }
        }
        if (command == CmdCloseLink) {
            WriteDebugLog("Close SPI adapter");
            CloseHandle();
        }
        if (result != RecErrSuccess)
            throw TERecXchange(RecErrorMessage(result), command, result);
        DescribeCommand(false, command, in, inSize);
        SleepMs(ShortPauseMs);
    } catch (const TERecXchange& error) {
        LogExchangeFailure(error);
        // SET_DEFAULT with erasing keeps the recorder busy past any time-out; that time-out
        // is its success. Every other failure of it is reported.
        if (error.Command() == CmdSetDefault && error.ErrorCode() == RecErrTimeout)
            return;
        throw;
    }
}
