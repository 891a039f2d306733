// How fast the host side of the SPI link turns a bulk read stream into flash bytes, in
// bytes of flash per second of CPU. The FT2232H moves at most about 3.75 MB/s at a 30 MHz
// clock (1.25 MB/s at the link's 10 MHz): the framing should be far faster than either.

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

#include "link/RecXchange.h"
#include "link/SimClock.h"
#include "link/SimMemoryRecorder.h"
#include "link/SimSpiAdapter.h"
#include "link/SpiFrame.h"
#include "link/SpiLink.h"
#include "link/SpiWireParams.h"
#include "tests/support/StreamSpiAdapter.h"

namespace {

constexpr std::uint32_t PageSize = 2112;
constexpr std::uint32_t PagesPerBlock = 64;
constexpr std::size_t BlockBytes = std::size_t{PageSize} * PagesPerBlock;

std::vector<TSimShape> MixedShapes() {
    std::vector<TSimShape> shapes;
    for (std::uint8_t phase = 0; phase < 8; ++phase)
        shapes.push_back(TSimShape{static_cast<std::uint32_t>(phase % 4), phase,
                                   static_cast<std::uint8_t>((phase * 5) % (33 - phase))});
    return shapes;
}

void UseSimulatedClock(SimClock& clock, SpiAdapter& adapter) {
    TSpiLinkServices services;
    services.Adapter = &adapter;
    services.NowMs = [&clock] { return clock.NowMs(); };
    services.SleepMs = [&clock](std::uint32_t ms) { clock.SleepMs(ms); };
    services.Console = [](const std::string&) {};
    SetSpiLinkServices(services);
}

void ReadBlock(std::vector<std::uint8_t>& host) {
    TFlashReadRequest r;
    r.HostBuffer = host.data();
    r.PageAddr = PagesPerBlock;
    r.Cycles = PagesPerBlock;
    r.Count = PageSize;
    r.AddrInc = 1;
    ExchangeCmd(CmdFlashRead, &r, sizeof r, nullptr, 0, DefaultTimeoutMs);
}

// The block read end to end: framing, the simulated adapter and the recorder's stream.
void BM_BlockReadThroughSimulatedRecorder(benchmark::State& state) {
    SimClock clock;
    SimMemoryRecorder recorder(PageSize, 4 * PagesPerBlock);
    SimSpiAdapter sim(recorder, clock);
    sim.SetPacketShapes(MixedShapes());
    UseSimulatedClock(clock, sim);
    std::vector<std::uint8_t> host(BlockBytes);
    for (auto _ : state) {
        ReadBlock(host);
        benchmark::DoNotOptimize(host.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * BlockBytes));
    ResetSpiLinkServices();
}
BENCHMARK(BM_BlockReadThroughSimulatedRecorder)->Unit(benchmark::kMicrosecond);

// The host's share alone: the same stream replayed from memory.
void BM_BlockReadHostSideOnly(benchmark::State& state) {
    const std::vector<TSimShape> shapes = MixedShapes();
    std::vector<std::uint8_t> units(BlockBytes);
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<std::uint8_t>(i * 7 + (i >> 10));
    std::vector<std::uint8_t> stream = SimSpiAdapter::ShapeStream(
        TSimShape{}, SimSpiAdapter::ReplyFrame(0, CmdFlashRead, {}, 0).data(), SpiFrameSize,
        SimSpiAdapter::ReplyFootprint);
    for (std::size_t j = 0; j < PagesPerBlock; ++j) {
        const auto packet =
            SimSpiAdapter::ShapeStream(shapes[j % shapes.size()], units.data() + j * PageSize,
                                       PageSize, PageSize + BulkPacketFootprint);
        stream.insert(stream.end(), packet.begin(), packet.end());
    }
    SimClock clock;
    // The recorded MISO stream again after every command frame: the host's share of a bulk
    // read without any simulation behind it.
    testsupport::TStreamSpiAdapter replay(
        stream, testsupport::TStreamSpiAdapter::TReplay::AfterEveryCommand);
    UseSimulatedClock(clock, replay);
    std::vector<std::uint8_t> host(BlockBytes);
    ReadBlock(host);
    if (host != units)
        state.SkipWithError("replayed stream did not reassemble");
    for (auto _ : state) {
        ReadBlock(host);
        benchmark::DoNotOptimize(host.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * BlockBytes));
    state.counters["wire_bytes"] = static_cast<double>(stream.size());
    ResetSpiLinkServices();
}
BENCHMARK(BM_BlockReadHostSideOnly)->Unit(benchmark::kMicrosecond);

void BM_AlignPacket(benchmark::State& state) {
    const auto packet = SimSpiAdapter::ShapeStream(TSimShape{0, 3, 11},
                                                   std::vector<std::uint8_t>(PageSize, 0x5A).data(),
                                                   PageSize, PageSize + BulkPacketFootprint);
    std::vector<std::uint8_t> work(PageSize + BulkPacketAlignBytes);
    for (auto _ : state) {
        std::copy_n(packet.begin(), work.size(), work.begin());
        std::size_t at = 0;
        benchmark::DoNotOptimize(AlignReply(work.data(), work.size(), at));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * PageSize));
}
BENCHMARK(BM_AlignPacket);

void BM_FrameCrc16(benchmark::State& state) {
    std::vector<std::uint8_t> frame(180, 0x33);
    for (auto _ : state)
        benchmark::DoNotOptimize(FrameCrc16(frame.data(), frame.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frame.size()));
}
BENCHMARK(BM_FrameCrc16);

} // namespace

BENCHMARK_MAIN();
