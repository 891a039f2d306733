// The whole download sink for one hour of audio, and its parts, in bytes per second.
#include <benchmark/benchmark.h>
#include <cmath>
#include <filesystem>
#include <random>
#include <unistd.h>
#include <vector>

#include "audio/Crc.h"
#include "audio/RecorderWaveFile.h"
#include "audio/SpikeFilter.h"
#include "audio/Utcrc.h"
#include "audio/Watermark.h"
#include "platform/ByteOrder.h"

namespace {

// The size of one block handed to the sink, as a read thread would.
constexpr std::size_t WriteBlock = 32768;

// Test audio, reused: a few tones under noise of the given level. Level 30 is a clean
// recording; 3000 is white noise, the worst case for the spike filter.
std::vector<std::uint8_t> MakeAudio(std::size_t bytes, double noiseLevel = 30) {
    std::vector<std::uint8_t> audio(bytes);
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0, noiseLevel);
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        const double t = static_cast<double>(i / 2);
        const double v = 4000 * std::sin(t * 0.031) + 2500 * std::sin(t * 0.173) + noise(random);
        PutI16(audio.data() + i, static_cast<std::int16_t>(v));
    }
    return audio;
}

void SinkOneHour(benchmark::State& state) {
    const auto rate = static_cast<std::uint32_t>(state.range(0));
    const auto channels = static_cast<std::uint16_t>(state.range(1));
    const std::uint64_t total = 3600ull * rate * channels * 2;
    const auto audio = MakeAudio(1 << 20, static_cast<double>(state.range(2)));
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("quorvex_sink_bench_" + std::to_string(::getpid()) + ".wav"))
                                 .string();
    for (auto _ : state) {
        TCrcWaveFile wave;
        wave.SetFileName(path);
        SetPcmFormat(&wave.GetFormat(), channels, rate, 16);
        TRecorderWaveFile sink(wave);
        sink.SetSerialNumber("BENCH");
        std::uint64_t written = 0;
        std::size_t at = 0;
        while (written < total) {
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(WriteBlock, total - written));
            if (at + n > audio.size())
                at = 0;
            if (sink.Write(audio.data() + at, static_cast<std::int32_t>(n)) == 0) {
                state.SkipWithError("sink write failed");
                break;
            }
            at += n;
            written += n;
        }
        if (!sink.Finish())
            state.SkipWithError("sink close failed");
    }
    std::filesystem::remove(path);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * total));
}
BENCHMARK(SinkOneHour)
    ->ArgNames({"rate", "channels", "noise"})
    ->Args({8000, 1, 30})
    ->Args({40000, 2, 30})
    ->Args({8000, 1, 3000})
    ->Args({40000, 2, 3000})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void Crc32Update(benchmark::State& state) {
    const auto data = MakeAudio(WriteBlock);
    TCrc32 crc;
    for (auto _ : state)
        benchmark::DoNotOptimize(crc.Update(data.data(), data.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(Crc32Update);

void MarkProcess(benchmark::State& state) {
    const auto data = MakeAudio(WriteBlock);
    TMarkConfig config;
    config.Flags = 3;
    config.SampleRate = 8000;
    config.Channels = static_cast<std::uint8_t>(state.range(0));
    config.Tones = {TMarkTone{9.5f, 80}, TMarkTone{3600.5f, 6}, TMarkTone{3800.5f, 6}};
    mrk_Init(EncodeMarkConfig(config).data());
    const std::uint8_t* out = nullptr;
    std::int32_t count = 0;
    for (auto _ : state) {
        mrk_Process(data.data(), static_cast<std::int32_t>(data.size()), &out, &count);
        benchmark::DoNotOptimize(out);
    }
    mrk_Process(nullptr, 0, &out, &count);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(MarkProcess)->Arg(1)->Arg(2);

void SpikeFilterPass(benchmark::State& state) {
    const auto fresh = MakeAudio(WriteBlock, static_cast<double>(state.range(1)));
    auto data = fresh;
    for (auto _ : state) {
        // Each pass sees unfiltered audio, as the sink does.
        std::copy(fresh.begin(), fresh.end(), data.begin());
        FilterSpikes(data.data(), data.size() / 2, static_cast<unsigned>(state.range(0)));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(SpikeFilterPass)->ArgNames({"channels", "noise"})->ArgsProduct({{1, 2}, {30, 3000}});

} // namespace

BENCHMARK_MAIN();
