#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/FtdiApi.h"
#include "platform/SpiAdapter.h"

// The SPI adapter over libftdi1: FT2232H, FT4232H and FT232H chips in MPSSE mode, wired as
// platform/SpiWiring.h says. One device is open at a time; its handle is 1.
class FtdiSpiAdapter final : public SpiAdapter {
public:
    // MPSSE commands carry at most this many bytes, and USB transfers are this large.
    static constexpr std::uint32_t MaxMpsseBytes = 65536;
    // A read that brings no byte for this long fails with SpiTimeout.
    static constexpr std::uint64_t ReadTimeoutMs = 1000;

    explicit FtdiSpiAdapter(TFtdiApi api, std::function<std::uint64_t()> nowMs = {});
    ~FtdiSpiAdapter() override;
    FtdiSpiAdapter(const FtdiSpiAdapter&) = delete;
    FtdiSpiAdapter& operator=(const FtdiSpiAdapter&) = delete;

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

private:
    struct TChannelEntry {
        TSpiDeviceInfo Info;
        std::uint8_t Bus = 0;
        std::uint8_t Address = 0;
        int ChannelIndex = 0;
        bool HasMpsse = false;
    };
    struct TOpenDevice {
        TFtdiContext Context = nullptr;
        std::uint32_t Type = 0;
        bool DivideByFive = false;
    };

    int RefreshChannels();
    bool IsOpen(TSpiHandle handle) const;
    int Send(const std::vector<std::uint8_t>& commands);
    int Receive(std::uint8_t* buffer, std::size_t size);
    int Synchronise();

    TFtdiApi Api;
    std::function<std::uint64_t()> NowMs;
    std::vector<TChannelEntry> Channels;
    std::optional<TOpenDevice> Device;
};
