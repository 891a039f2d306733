// Scan of an image of about 1 GiB of flash (64 pages of 2112 bytes per block, 7943 blocks of
// recordings) through the image file's exchange, as the image connection kind runs it.
// Reports blocks per second, exchanges, bytes moved by flash reads and the peak heap.

#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchImage.h"
#include "engine/RecClasses.h"
#include "link/ImageFile.h"
#include "platform/ByteOrder.h"
#include "platform/PosixFile.h"

// --- Heap accounting: every allocation carries its size in front of it. -----------------
namespace {
std::atomic<std::int64_t> HeapNow{0};
std::atomic<std::int64_t> HeapPeak{0};
constexpr std::size_t Prefix = alignof(std::max_align_t);

void* Allocate(std::size_t size) {
    auto* raw = static_cast<unsigned char*>(std::malloc(size + Prefix));
    if (raw == nullptr)
        throw std::bad_alloc();
    std::memcpy(raw, &size, sizeof size);
    const std::int64_t now =
        HeapNow.fetch_add(static_cast<std::int64_t>(size)) + static_cast<std::int64_t>(size);
    std::int64_t peak = HeapPeak.load();
    while (now > peak && !HeapPeak.compare_exchange_weak(peak, now)) {
    }
    return raw + Prefix;
}

void Release(void* p) {
    if (p == nullptr)
        return;
    auto* raw = static_cast<unsigned char*>(p) - Prefix;
    std::size_t size = 0;
    std::memcpy(&size, raw, sizeof size);
    HeapNow.fetch_sub(static_cast<std::int64_t>(size));
    std::free(raw);
}
} // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    Release(p);
}

namespace {

constexpr std::uint16_t PageSize = 2112;
constexpr std::uint16_t PagesPerBlock = 64;
constexpr std::uint32_t BlockSize = std::uint32_t{PageSize} * PagesPerBlock;
constexpr std::uint32_t Blocks = (1u << 30) / BlockSize; // block 0 holds the image's magic
constexpr std::uint32_t BlocksPerRecording = 100;
constexpr double SecondsPerBlock = 134976.0 / 16000.0; // plain sound at 8000 Hz

std::atomic<std::uint64_t> Exchanges{0};
std::atomic<std::uint64_t> BytesRead{0};

void CountingExchange(std::uint8_t command, const void* out, std::uint32_t outSize, void* in,
                      std::uint32_t inSize, std::uint32_t timeoutMs) {
    Exchanges.fetch_add(1);
    if (command == CmdFlashRead) {
        TFlashReadRequest r;
        std::memcpy(&r, out, sizeof r);
        BytesRead.fetch_add(std::uint64_t{r.Cycles} * r.Count);
    }
    ImageExchangeCmd(command, out, outSize, in, inSize, timeoutMs);
}

void PutHeader(TPosixFile& file, std::uint64_t blockOffset, std::uint16_t number,
               std::uint32_t time, std::uint16_t index) {
    std::uint8_t area[3 * TBlockHeader::Size];
    PutBenchBlockHeader(area, number, time, index, 0, 0); // plain sound
    file.WriteExact(blockOffset, area, sizeof area);
}

// A sparse image: the pages that hold no header, page information or break record read as
// zero bytes, which is continuous silence.
std::string MakeImage(bool everyBlockBreaks) {
    const std::string path =
        (std::filesystem::temp_directory_path() /
         (everyBlockBreaks ? "quorvex-bench-breaks.ovk" : "quorvex-bench-continuous.ovk"))
            .string();
    TPosixFile file;
    if (!file.Open(path, TPosixFile::TMode::CreateTruncate))
        throw std::runtime_error("cannot create " + path);
    const TImageHeader header = MakeBenchImageHeader(PageSize, PagesPerBlock);
    file.WriteExact(0, header.data(), header.size());
    const std::uint64_t dataStart = PageSize;
    file.Truncate(dataStart + std::uint64_t{Blocks} * BlockSize);
    file.WriteExact(dataStart, ImageMagic.data(), ImageMagic.size());

    const double pageSeconds = SecondsPerBlock / PagesPerBlock;
    for (std::uint32_t b = 1; b < Blocks; ++b) {
        const std::uint32_t k = (b - 1) % BlocksPerRecording;
        const auto number = static_cast<std::uint16_t>((b - 1) / BlocksPerRecording + 1);
        const std::uint64_t block = dataStart + std::uint64_t{b} * BlockSize;
        if (!everyBlockBreaks) {
            PutHeader(file, block, number,
                      static_cast<std::uint32_t>(1000000 + k * SecondsPerBlock),
                      static_cast<std::uint16_t>(k + 1));
            continue;
        }
        // 20 s per block: sound for half the block, a pause, the rest resumes 2 s later.
        const std::uint32_t time = 1000000 + k * 20;
        PutHeader(file, block, number, time, static_cast<std::uint16_t>(k + 1));
        const std::uint8_t breakWord[2] = {0x55, 0xFF};
        file.WriteExact(block + 32 * std::uint64_t{PageSize} - 2, breakWord, 2);
        std::uint8_t resume[12];
        for (int copy = 0; copy < 3; ++copy)
            PutU32(resume + 4 * copy, static_cast<std::uint32_t>(time + 32 * pageSeconds + 2));
        file.WriteExact(block + 32 * std::uint64_t{PageSize}, resume, sizeof resume);
    }
    file.Sync();
    return path;
}

const std::string& ImagePath(bool everyBlockBreaks) {
    static std::map<bool, std::string> paths;
    auto it = paths.find(everyBlockBreaks);
    if (it == paths.end())
        it = paths.emplace(everyBlockBreaks, MakeImage(everyBlockBreaks)).first;
    return it->second;
}

void BM_ScanImage(benchmark::State& state) {
    const bool everyBlockBreaks = state.range(0) != 0;
    const std::string& path = ImagePath(everyBlockBreaks);
    TRecorderUi ui;
    std::uint64_t exchanges = 0;
    std::uint64_t bytes = 0;
    std::int64_t peak = 0;
    int recordings = 0;
    int pages = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto recorder = std::make_unique<TRecorder>(ConnImageFile, ui,
                                                    TTransport{CountingExchange, OpenImageFile});
        recorder->SetImageFileName(path);
        if (!recorder->IsConnected()) {
            state.SkipWithError("image not connected");
            return;
        }
        Exchanges = 0;
        BytesRead = 0;
        HeapPeak = HeapNow.load();
        const std::int64_t before = HeapNow.load();
        state.ResumeTiming();

        recorder->Refresh();
        recorder->WaitForOperation();

        state.PauseTiming();
        if (recorder->GetOutcome().Kind != TOperationOutcome::TKind::Succeeded) {
            state.SkipWithError(recorder->GetOutcome().Message.c_str());
            return;
        }
        exchanges = Exchanges;
        bytes = BytesRead;
        peak = HeapPeak - before;
        recordings = recorder->GetSoundFileList()->Count();
        pages = 0;
        for (int i = 0; i < recordings; ++i)
            pages += recorder->GetSoundFileList()->Get(i)->Pages.Count();
        recorder.reset();
        state.ResumeTiming();
    }
    state.counters["blocks/s"] = benchmark::Counter(
        static_cast<double>(Blocks - 1) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["exchanges"] = static_cast<double>(exchanges);
    state.counters["read_MiB"] = static_cast<double>(bytes) / (1 << 20);
    state.counters["peak_heap_MiB"] = static_cast<double>(peak) / (1 << 20);
    state.counters["recordings"] = recordings;
    state.counters["pages"] = pages;
}

BENCHMARK(BM_ScanImage)
    ->ArgName("every_block_breaks")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

} // namespace

BENCHMARK_MAIN();
