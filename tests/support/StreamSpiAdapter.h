#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/SpiAdapter.h"

namespace testsupport {

// An adapter with one hi-speed device on channel "A" whose reads return the bytes of a
// stream, then zeros (a recorder gone quiet); every other call succeeds. With
// TReplay::AfterEveryCommand the stream starts again after each command frame (64 control
// bits), so one recorded reply serves a whole run.
class TStreamSpiAdapter final : public SpiAdapter {
public:
    enum class TReplay { Once, AfterEveryCommand };

    TStreamSpiAdapter(std::vector<std::uint8_t> stream, TReplay replay)
        : Stream(std::move(stream)), Replay(replay) {}

    std::string LibraryVersion() override { return "stream"; }
    int GetHiSpeedDeviceCount(std::uint32_t& count) override {
        count = 1;
        return SpiOk;
    }
    int GetHiSpeedDeviceInfo(std::uint32_t index, TSpiDeviceInfo& info) override {
        if (index != 0)
            return SpiDeviceNotFound;
        info = {"Stream A", 1, "A", SpiDeviceFt2232H};
        return SpiOk;
    }
    int OpenHiSpeedDevice(const std::string&, std::uint32_t, const std::string&,
                          TSpiHandle& handle) override {
        handle = 1;
        return SpiOk;
    }
    int GetHiSpeedDeviceType(TSpiHandle, std::uint32_t& type) override {
        type = SpiDeviceFt2232H;
        return SpiOk;
    }
    int InitDevice(TSpiHandle, std::uint32_t) override { return SpiOk; }
    int GetLatencyTimer(TSpiHandle, std::uint8_t& milliseconds) override {
        milliseconds = 16;
        return SpiOk;
    }
    int SetLatencyTimer(TSpiHandle, std::uint8_t) override { return SpiOk; }
    int GetClockFrequency(std::uint32_t, std::uint32_t& hz) override {
        hz = ClockHz;
        return SpiOk;
    }
    int TurnOnDivideByFiveClock(TSpiHandle) override { return SpiOk; }
    int TurnOffDivideByFiveClock(TSpiHandle) override { return SpiOk; }
    int SetClock(TSpiHandle, std::uint32_t, std::uint32_t& hz) override {
        hz = ClockHz;
        return SpiOk;
    }
    int WriteBits(TSpiHandle, TSpiClocking, const std::uint8_t*, std::uint32_t controlBits,
                  const std::uint8_t*, std::uint32_t) override {
        if (Replay == TReplay::AfterEveryCommand && controlBits == CommandFrameBits)
            Position = 0;
        return SpiOk;
    }
    int ReadBits(TSpiHandle, TSpiClocking, std::uint32_t bitCount, std::uint8_t* buffer,
                 std::size_t bufferSize, std::uint32_t& bytesReturned) override {
        const std::size_t want = std::min<std::size_t>(bitCount / 8, bufferSize);
        const std::size_t have = std::min(want, Stream.size() - Position);
        std::copy_n(Stream.data() + Position, have, buffer);
        std::fill(buffer + have, buffer + want, 0);
        Position += have;
        bytesReturned = static_cast<std::uint32_t>(want);
        return SpiOk;
    }
    int Close(TSpiHandle) override { return SpiOk; }

private:
    static constexpr std::uint32_t ClockHz = 10'000'000;
    static constexpr std::uint32_t CommandFrameBits = 64;

    std::vector<std::uint8_t> Stream;
    TReplay Replay;
    std::size_t Position = 0;
};

} // namespace testsupport
