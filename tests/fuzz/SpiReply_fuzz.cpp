// What the adapter reads back from the recorder: reply frames at any alignment with their
// CRC, and the bulk stream of a flash read, for a few commands with their retries.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "link/RecXchange.h"
#include "link/SpiFrame.h"
#include "link/SpiLink.h"
#include "platform/SpiAdapter.h"

namespace {

// One adapter with channel "A" whose every read returns the next bytes of the input, then
// zeros (a recorder gone quiet).
class TFuzzAdapter final : public SpiAdapter {
public:
    TFuzzAdapter(const std::uint8_t* data, std::size_t size) : Data(data), Size(size) {}

    std::string LibraryVersion() override { return "fuzz"; }
    int GetHiSpeedDeviceCount(std::uint32_t& count) override {
        count = 1;
        return SpiOk;
    }
    int GetHiSpeedDeviceInfo(std::uint32_t index, TSpiDeviceInfo& info) override {
        if (index != 0)
            return SpiDeviceNotFound;
        info = {"Dual RS232-HS A", 1, "A", SpiDeviceFt2232H};
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
        hz = 6000000;
        return SpiOk;
    }
    int TurnOnDivideByFiveClock(TSpiHandle) override { return SpiOk; }
    int TurnOffDivideByFiveClock(TSpiHandle) override { return SpiOk; }
    int SetClock(TSpiHandle, std::uint32_t, std::uint32_t& hz) override {
        hz = 6000000;
        return SpiOk;
    }
    int WriteBits(TSpiHandle, TSpiClocking, const std::uint8_t*, std::uint32_t, const std::uint8_t*,
                  std::uint32_t) override {
        return SpiOk;
    }
    int ReadBits(TSpiHandle, TSpiClocking, std::uint32_t bitCount, std::uint8_t* buffer,
                 std::size_t bufferSize, std::uint32_t& bytesReturned) override {
        const std::size_t want = std::min<std::size_t>((bitCount + 7) / 8, bufferSize);
        const std::size_t have = std::min(want, Size - At);
        std::copy_n(Data + At, have, buffer);
        std::fill(buffer + have, buffer + want, 0);
        At += have;
        bytesReturned = static_cast<std::uint32_t>(want);
        return SpiOk;
    }
    int Close(TSpiHandle) override { return SpiOk; }

private:
    const std::uint8_t* Data;
    std::size_t Size;
    std::size_t At = 0;
};

void Exchange(std::uint8_t command, const void* out, std::uint32_t outSize, void* in,
              std::uint32_t inSize) {
    try {
        ExchangeCmd(command, out, outSize, in, inSize, 200);
    } catch (const TERecXchange&) {
        // a failed exchange is an answer
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The alignment search alone, over the input as one read.
    std::vector<std::uint8_t> frame(data, data + size);
    std::size_t frameStart = 0;
    AlignReply(frame.data(), frame.size(), frameStart);

    TFuzzAdapter adapter(data, size);
    std::uint64_t now = 0;
    TSpiLinkServices services;
    services.Adapter = &adapter;
    // Time passes with every look at the clock, so waits for a reply end on their own.
    services.NowMs = [&now] { return ++now; };
    services.SleepMs = [&now](std::uint32_t ms) { now += ms; };
    services.Console = [](const std::string&) {};
    SetSpiLinkServices(services);

    std::uint8_t reply[TFlashParamRecord::Size] = {};
    Exchange(CmdFwVer, nullptr, 0, reply, TFwVerRecord::Size);
    Exchange(CmdFlashParam, nullptr, 0, reply, TFlashParamRecord::Size);
    std::vector<std::uint8_t> pages(2 * 528, 0xA5);
    TFlashReadRequest read{pages.data(), 64, 2, 528, 0, 1};
    Exchange(CmdFlashRead, &read, sizeof read, nullptr, 0);

    ResetSpiLinkServices();
    return 0;
}
