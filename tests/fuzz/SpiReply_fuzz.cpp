// What the adapter reads back from the recorder: reply frames at any alignment with their
// CRC, and the bulk stream of a flash read, for a few commands with their retries.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "link/RecXchange.h"
#include "link/SpiFrame.h"
#include "link/SpiLink.h"
#include "tests/support/StreamSpiAdapter.h"

namespace {

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

    // The recorder answers with the input, then falls quiet.
    testsupport::TStreamSpiAdapter adapter(std::vector<std::uint8_t>(data, data + size),
                                           testsupport::TStreamSpiAdapter::TReplay::Once);
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
