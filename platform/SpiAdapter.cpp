#include "platform/SpiAdapter.h"

#ifdef QUORVEX_HAVE_LIBFTDI
#include "platform/FtdiApi.h"
#include "platform/FtdiSpiAdapter.h"
#endif

namespace {

#ifndef QUORVEX_HAVE_LIBFTDI
// Built without a USB library: there is never an adapter to open.
class TNoSpiAdapter final : public SpiAdapter {
public:
    std::string LibraryVersion() override { return "none (built without libftdi1)"; }
    int GetHiSpeedDeviceCount(std::uint32_t& count) override {
        count = 0;
        return SpiOk;
    }
    int GetHiSpeedDeviceInfo(std::uint32_t, TSpiDeviceInfo&) override { return SpiDeviceNotFound; }
    int OpenHiSpeedDevice(const std::string&, std::uint32_t, const std::string&,
                          TSpiHandle& handle) override {
        handle = 0;
        return SpiDeviceNotFound;
    }
    int GetHiSpeedDeviceType(TSpiHandle, std::uint32_t&) override { return SpiInvalidHandle; }
    int InitDevice(TSpiHandle, std::uint32_t) override { return SpiInvalidHandle; }
    int GetLatencyTimer(TSpiHandle, std::uint8_t&) override { return SpiInvalidHandle; }
    int SetLatencyTimer(TSpiHandle, std::uint8_t) override { return SpiInvalidHandle; }
    int GetClockFrequency(std::uint32_t, std::uint32_t&) override { return SpiInvalidHandle; }
    int TurnOnDivideByFiveClock(TSpiHandle) override { return SpiInvalidHandle; }
    int TurnOffDivideByFiveClock(TSpiHandle) override { return SpiInvalidHandle; }
    int SetClock(TSpiHandle, std::uint32_t, std::uint32_t&) override { return SpiInvalidHandle; }
    int WriteBits(TSpiHandle, TSpiClocking, const std::uint8_t*, std::uint32_t, const std::uint8_t*,
                  std::uint32_t) override {
        return SpiInvalidHandle;
    }
    int ReadBits(TSpiHandle, TSpiClocking, std::uint32_t, std::uint8_t*, std::size_t,
                 std::uint32_t& bytesReturned) override {
        bytesReturned = 0;
        return SpiInvalidHandle;
    }
    int Close(TSpiHandle) override { return SpiInvalidHandle; }
};
#endif

} // namespace

SpiAdapter& DefaultSpiAdapter() {
#ifdef QUORVEX_HAVE_LIBFTDI
    static FtdiSpiAdapter adapter(LibftdiApi());
#else
    static TNoSpiAdapter adapter;
#endif
    return adapter;
}
