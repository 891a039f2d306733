#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/SpiAdapter.h"

// The recorder link over the SPI adapter: the exchange function of the adapter connection
// kinds (0, 2, 4, 5), its retries, the on-demand open and close of the adapter, the framed
// command exchange and the two bulk streams behind FLASH_READ and FLASH_WRITE. Plain
// functions over one module-wide adapter handle; one exchange runs at a time.
//
// ExchangeCmd throws TERecXchange; everything below it returns the transport error codes
// of link/RecXchange.h (0 success, 2 and 4 recorder status, 5 checksum, 6 time-out,
// 7 outgoing size, 8 incoming size, 9 no bulk packet, 255 adapter failed).

// What the link runs on. Empty members take the defaults: the platform's adapter backend,
// the steady clock, real sleeps and the standard output.
struct TSpiLinkServices {
    SpiAdapter* Adapter = nullptr;
    std::function<std::uint64_t()> NowMs;
    std::function<void(std::uint32_t milliseconds)> SleepMs;
    std::function<void(const std::string& text)> Console;
};

// Closes an open adapter, then takes the new services.
void SetSpiLinkServices(const TSpiLinkServices& services);
void ResetSpiLinkServices();

// The in-memory header of one framed exchange. The caller fills Command, Size and Data
// (at most 128 bytes); SendReceiveCmd replaces Status, Command and Size by the reply's and
// copies the reply's data to Data, which must hold 128 bytes.
struct TSpiPacket {
    std::uint8_t Status = 0;
    std::uint8_t Command = 0;
    std::uint32_t Size = 0;
    std::uint8_t* Data = nullptr;
};

// The exchange function of the adapter kinds (signature of TExchangeCmdFunc).
void ExchangeCmd(std::uint8_t command, const void* out, std::uint32_t outSize, void* in,
                 std::uint32_t inSize, std::uint32_t timeoutMs);
// The reachability probe of the adapter kinds: always true, the exchange finds out.
bool AdapterProbe();

// Finds the first hi-speed device with channel "A", opens and sets it up (latency timer
// 16 ms, SCK from the divisor), clocks out 368 zero bytes and lets the recorder settle for
// 3 s. Returns the handle, 0 when no device could be opened; a device that was opened is
// returned even when a later step failed.
TSpiHandle OpenSpiAdapter(std::uint8_t clockDivisor);
// Closes the adapter if it is open (logged "Close SPI adapter").
void CloseSpiAdapter();
// The module's handle, 0 while closed.
TSpiHandle SpiAdapterHandle();

// One framed command and its reply.
int SendReceiveCmd(TSpiPacket& packet, std::uint32_t timeoutMs);

// FLASH_READ as a bulk stream: Cycles units of unitSize bytes land one after the other in
// target, which holds targetSize bytes (at least Cycles x unitSize).
int ReadFlashStream(std::uint8_t* target, std::size_t targetSize, std::uint32_t pageAddr,
                    std::uint32_t cycles, std::uint32_t unitSize, std::uint32_t offset,
                    std::uint32_t addrInc, std::uint16_t chunkSize);
// FLASH_WRITE as a bulk stream: totalCount bytes of data in chunks of chunkSize bytes.
int WriteFlashStream(const std::uint8_t* data, std::uint32_t pageAddr, std::uint32_t cycles,
                     std::uint32_t totalCount, std::uint16_t chunkSize);

// The unit size and chunk size ExchangeCmd puts on the wire for FLASH_READ units of count
// bytes, and the chunk size for a FLASH_WRITE of totalCount bytes.
std::uint32_t PaddedUnitSize(std::uint32_t count);
std::uint16_t BulkChunkSize(std::uint32_t bytes);

// Formats a text and prints it through the console service.
void ConsolePrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
