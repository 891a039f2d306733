#pragma once

#include <cstdint>
#include <string>

// The USB-to-SPI adapter as the recorder link uses it: exactly the operations of the
// adapter vendor's SPI library that the link calls, and nothing else. Backends: libftdi1 in
// MPSSE mode (FtdiSpiAdapter) and a simulated recorder for tests (SimSpiAdapter).

// An open device; 0 means none.
using TSpiHandle = std::uint32_t;

// Results of the adapter operations; 0 is success.
enum TSpiStatus : int {
    SpiOk = 0,
    SpiInvalidHandle = 1,
    SpiDeviceNotFound = 2,
    SpiOpenFailed = 3,
    SpiIoError = 4,
    SpiInvalidParameter = 5,
    SpiTimeout = 6,
    SpiNotSynchronised = 7,
    SpiDeviceInUse = 8,
    SpiChannelNotFound = 27, // no device offers channel "A"
};

// Device type numbers as the vendor's device list reports them.
enum TSpiDeviceType : std::uint32_t {
    SpiDeviceFt2232H = 6,
    SpiDeviceFt4232H = 7,
    SpiDeviceFt232H = 8,
};

// One channel of one hi-speed device; the devices list every channel as an entry.
struct TSpiDeviceInfo {
    std::string Name; // product description and channel, "Dual RS232-HS A"
    std::uint32_t LocationId = 0;
    std::string Channel;    // "A", "B", ...
    std::uint32_t Type = 0; // TSpiDeviceType
};

// Bit order and clock edge of one transfer.
struct TSpiClocking {
    bool MsbFirst = true;
    bool RisingEdge = false;
};

class SpiAdapter {
public:
    virtual ~SpiAdapter() = default;

    // A text naming the backend and its version.
    virtual std::string LibraryVersion() = 0;

    virtual int GetHiSpeedDeviceCount(std::uint32_t& count) = 0;
    virtual int GetHiSpeedDeviceInfo(std::uint32_t index, TSpiDeviceInfo& info) = 0;
    virtual int OpenHiSpeedDevice(const std::string& name, std::uint32_t locationId,
                                  const std::string& channel, TSpiHandle& handle) = 0;
    virtual int GetHiSpeedDeviceType(TSpiHandle handle, std::uint32_t& type) = 0;

    // Puts the device into SPI master mode with the given clock divisor.
    virtual int InitDevice(TSpiHandle handle, std::uint32_t clockDivisor) = 0;
    virtual int GetLatencyTimer(TSpiHandle handle, std::uint8_t& milliseconds) = 0;
    virtual int SetLatencyTimer(TSpiHandle handle, std::uint8_t milliseconds) = 0;

    // The SCK frequency a divisor gives with the chip's full base clock.
    virtual int GetClockFrequency(std::uint32_t clockDivisor, std::uint32_t& hz) = 0;
    // The chip's base clock switch: 12 MHz with divide-by-5 on, 60 MHz with it off.
    virtual int TurnOnDivideByFiveClock(TSpiHandle handle) = 0;
    virtual int TurnOffDivideByFiveClock(TSpiHandle handle) = 0;
    virtual int SetClock(TSpiHandle handle, std::uint32_t clockDivisor, std::uint32_t& hz) = 0;

    // One chip-select cycle clocking out controlBits bits of control and then dataBits bits
    // of data; each buffer holds the bits packed in transmit order.
    virtual int WriteBits(TSpiHandle handle, TSpiClocking clocking, const std::uint8_t* control,
                          std::uint32_t controlBits, const std::uint8_t* data,
                          std::uint32_t dataBits) = 0;
    // One chip-select cycle clocking in bitCount bits; buffer must hold (bitCount + 7) / 8
    // bytes and bufferSize says how many it holds.
    virtual int ReadBits(TSpiHandle handle, TSpiClocking clocking, std::uint32_t bitCount,
                         std::uint8_t* buffer, std::size_t bufferSize,
                         std::uint32_t& bytesReturned) = 0;

    virtual int Close(TSpiHandle handle) = 0;
};

// The backend for real adapters: libftdi1 where the build found it, otherwise one that
// finds no device. It lives for the program's run.
SpiAdapter& DefaultSpiAdapter();
