#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "link/SimClock.h"
#include "link/SimRecorderDevice.h"
#include "link/SpiWireParams.h"
#include "platform/SpiAdapter.h"

// How the recorder puts one reply or bulk packet on MISO: LeadZeroBytes zero bytes, then
// LeadPhase zero bits (0 to 7), the lead byte and GapBits one bits (0 to 32 - LeadPhase),
// the marker 80 40 20 10, then the frame or the packet's data.
struct TSimShape {
    std::uint32_t LeadZeroBytes = 0;
    std::uint8_t LeadPhase = 0;
    std::uint8_t GapBits = 0;
};

// Faults the recorder shows on request, for the next count commands (of one code or any).
enum class TSimFault {
    NoReply,       // nothing comes back (and no bulk packets)
    Status2,       // the reply carries status 2
    Status4,       // the reply carries status 4
    BadCrc,        // the reply's CRC is wrong
    NoMarker,      // the reply comes without its marker
    OversizeReply, // the reply's size field reads 129 (with a sound CRC)
    LateReply,     // a sound reply to another command comes first
};

// A recorder at the far end of a simulated USB-to-SPI adapter. It decodes what the host
// clocks out (command frames with their CRC, bulk write chunks), answers through its
// SimRecorderDevice, and clocks back replies and bulk read packets at the shapes it is
// given. Time passes on a SimClock: a round trip per transfer plus the bits at the clock
// rate the host set.
class SimSpiAdapter final : public SpiAdapter {
public:
    static constexpr int AnyCommand = -1;
    static constexpr std::uint64_t RoundTripUs = 125;
    // Bytes a reply takes on MISO from its lead byte: the host reads 192 of them, and
    // whatever follows a reply starts after these.
    static constexpr std::size_t ReplyFootprint = 196;

    SimSpiAdapter(SimRecorderDevice& device, SimClock& clock);

    // --- what the recorder does ---------------------------------------------------------
    // The shapes of replies and of bulk packets, used in turn (one packet after another).
    void SetReplyShapes(std::vector<TSimShape> shapes);
    void SetPacketShapes(std::vector<TSimShape> shapes);
    // Non-zero bytes without a marker before every bulk packet, each followed by 9 zeros.
    void SetNoiseBeforePackets(std::uint32_t bytes);
    // Silence before bulk packet index (counted over the whole of one bulk read).
    void SetSilenceBeforePacket(std::uint32_t packetIndex, std::uint32_t zeroBytes);
    // The bulk read stops sending after this many packets.
    void StopPacketsAfter(std::uint32_t packets);
    void InjectFault(TSimFault fault, int command = AnyCommand, int count = 1);
    // Library failures: transfers fail with SpiIoError while set.
    void FailTransfers(bool fail);
    // Bulk write chunks fail with SpiIoError while set; command frames still go through.
    void FailBulkChunks(bool fail);
    void FailOpen(bool fail);
    // The next device count queries fail where the pattern holds true.
    void FailDeviceCountQueries(std::vector<bool> pattern);
    void SetDevices(std::vector<TSpiDeviceInfo> devices);

    // --- what the host did ----------------------------------------------------------------
    struct TReceivedCommand {
        std::uint8_t Command = 0;
        std::vector<std::uint8_t> Data;
        bool CrcOk = false;
    };
    const std::vector<TReceivedCommand>& Commands() const { return Received; }
    // The set-up calls in order ("Open Sim Adapter A", "InitDevice 2", "SetLatencyTimer 16"...).
    const std::vector<std::string>& Calls() const { return CallLog; }
    // Data bytes of every bulk write chunk.
    const std::vector<std::uint32_t>& BulkChunks() const { return Chunks; }
    std::uint32_t UnexpectedWrites() const { return Unexpected; }
    std::uint32_t BulkOverruns() const { return Overruns; }
    std::uint32_t WrongClocking() const { return WrongClock; }
    std::uint32_t OpenCount() const { return Opens; }
    bool IsOpen() const { return Open; }
    std::uint32_t SckHz() const { return ClockHz; }

    // --- SpiAdapter ------------------------------------------------------------------------
    std::string LibraryVersion() override;
    int GetHiSpeedDeviceCount(std::uint32_t& count) override;
    int GetHiSpeedDeviceInfo(std::uint32_t index, TSpiDeviceInfo& info) override;
    int OpenHiSpeedDevice(const std::string& name, std::uint32_t locationId,
                          const std::string& channel, TSpiHandle& handle) override;
    int GetHiSpeedDeviceType(TSpiHandle handle, std::uint32_t& type) override;
    int InitDevice(TSpiHandle handle, std::uint32_t clockDivisor) override;
    int GetLatencyTimer(TSpiHandle handle, std::uint8_t& milliseconds) override;
    int SetLatencyTimer(TSpiHandle handle, std::uint8_t milliseconds) override;
    int GetClockFrequency(std::uint32_t clockDivisor, std::uint32_t& hz) override;
    int TurnOnDivideByFiveClock(TSpiHandle handle) override;
    int TurnOffDivideByFiveClock(TSpiHandle handle) override;
    int SetClock(TSpiHandle handle, std::uint32_t clockDivisor, std::uint32_t& hz) override;
    int WriteBits(TSpiHandle handle, TSpiClocking clocking, const std::uint8_t* control,
                  std::uint32_t controlBits, const std::uint8_t* data,
                  std::uint32_t dataBits) override;
    int ReadBits(TSpiHandle handle, TSpiClocking clocking, std::uint32_t bitCount,
                 std::uint8_t* buffer, std::size_t bufferSize,
                 std::uint32_t& bytesReturned) override;
    int Close(TSpiHandle handle) override;

    // The bytes the recorder clocks out for one reply frame or packet payload at a shape;
    // footprint pads the result with zeros to at least that many bytes after the lead zeros.
    static std::vector<std::uint8_t> ShapeStream(const TSimShape& shape,
                                                 const std::uint8_t* payload, std::size_t size,
                                                 std::size_t footprint, bool withMarker = true);
    // A reply frame with its CRC computed the recorder's way.
    static std::vector<std::uint8_t> ReplyFrame(std::uint8_t status, std::uint8_t command,
                                                const std::vector<std::uint8_t>& data,
                                                std::uint32_t sizeField);

private:
    struct TPendingFault {
        TSimFault Fault;
        int Command;
        int Count;
    };
    struct TBulkWrite {
        bool Active = false;
        TFlashWriteParams Params;
        std::vector<std::uint8_t> Data;
    };

    bool Valid(TSpiHandle handle) const { return Open && handle == TheHandle; }
    void Charge(std::uint64_t bits);
    bool TakeFault(TSimFault fault, std::uint8_t command);
    void HandleCommandFrame(const std::uint8_t* frame);
    void HandleBulkChunk(const std::uint8_t* data, std::uint32_t size);
    void QueueReply(std::uint8_t status, std::uint8_t command,
                    const std::vector<std::uint8_t>& data);
    void QueueBulkPackets(const TFlashReadParams& params);
    void Queue(const std::vector<std::uint8_t>& bytes);
    void ClearMiso();

    static constexpr TSpiHandle TheHandle = 1;

    SimRecorderDevice& Device;
    SimClock& Clock;
    std::vector<TSimShape> ReplyShapes{TSimShape{}};
    std::vector<TSimShape> PacketShapes{TSimShape{3, 0, 0}};
    std::size_t NextReplyShape = 0;
    std::uint32_t NoiseBytes = 0;
    std::map<std::uint32_t, std::uint32_t> Silence;
    std::uint32_t PacketLimit = 0xFFFFFFFF;
    std::vector<TPendingFault> Faults;
    bool TransfersFail = false;
    bool ChunksFail = false;
    bool OpenFails = false;
    std::vector<bool> CountFailures;
    std::vector<TSpiDeviceInfo> DeviceList;

    bool Open = false;
    bool DivideByFive = false;
    std::uint32_t ClockHz = 6'000'000;
    std::uint8_t Latency = 16;
    std::vector<std::uint8_t> Miso;
    std::size_t MisoPos = 0;
    TBulkWrite BulkWrite;
    std::uint8_t LastReplyStatus = 0;

    std::vector<TReceivedCommand> Received;
    std::vector<std::string> CallLog;
    std::vector<std::uint32_t> Chunks;
    std::uint32_t Unexpected = 0;
    std::uint32_t Overruns = 0;
    std::uint32_t WrongClock = 0;
    std::uint32_t Opens = 0;
};
