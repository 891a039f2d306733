#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The few libftdi1 calls the FTDI backend makes, as a table of functions. The real table
// (LibftdiApi) forwards to the library; a test puts a fake in its place and sees every
// byte that would go to the chip. A context is the library's per-device state.

using TFtdiContext = void*;

// One FTDI device on the bus, as listed before it is opened.
struct TFtdiUsbDevice {
    std::uint16_t ProductId = 0;
    std::uint16_t BcdDevice = 0; // release number: tells FT2232H (0x0700) from FT2232D
    std::uint8_t Bus = 0;
    std::uint8_t Address = 0;
    std::string Description; // product string, empty when it cannot be read
    std::string Serial;
};

// Interface numbers for OpenDevice: the chip's channels A to D.
constexpr int FtdiChannelA = 0;

// Bit modes for SetBitMode.
constexpr std::uint8_t FtdiBitModeReset = 0x00;
constexpr std::uint8_t FtdiBitModeMpsse = 0x02;

struct TFtdiApi {
    std::function<TFtdiContext()> NewContext; // null when out of memory
    std::function<void(TFtdiContext)> FreeContext;
    // Every device of vendor 0x0403 with one of the given products; result < 0 on failure.
    std::function<int(TFtdiContext, const std::vector<std::uint16_t>& productIds,
                      std::vector<TFtdiUsbDevice>& devices)>
        ListDevices;
    // Selects the channel (0 = A) and opens the device at bus and address.
    std::function<int(TFtdiContext, std::uint8_t bus, std::uint8_t address, int channel)>
        OpenDevice;
    std::function<int(TFtdiContext)> CloseDevice;
    std::function<int(TFtdiContext)> ResetDevice;
    std::function<int(TFtdiContext)> PurgeBuffers;
    std::function<int(TFtdiContext, std::uint8_t)> SetLatencyTimer;
    std::function<int(TFtdiContext, std::uint8_t&)> GetLatencyTimer;
    std::function<int(TFtdiContext, std::uint8_t mask, std::uint8_t mode)> SetBitMode;
    // USB transfer sizes of reads and writes.
    std::function<int(TFtdiContext, std::uint32_t bytes)> SetChunkSize;
    // Bytes moved, or < 0 on failure. A read returns what has arrived, possibly 0.
    std::function<int(TFtdiContext, const std::uint8_t*, int)> WriteData;
    std::function<int(TFtdiContext, std::uint8_t*, int)> ReadData;
    std::function<std::string(TFtdiContext)> ErrorString;
    std::function<std::string()> LibraryVersion;
};

// The table over libftdi1; defined only in builds with the library.
TFtdiApi LibftdiApi();
