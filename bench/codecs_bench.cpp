#include <benchmark/benchmark.h>
#include <random>
#include <vector>

#include "audio/Codecsfunc.h"
#include "link/ReedSolomon.h"

namespace {

// Sound data of one 2112-byte page: all but the page-information word.
constexpr std::size_t PageBytes = 2110;
// Enough pages to leave the caches warm but not trivially small.
constexpr std::size_t Pages = 64;

std::vector<std::int16_t> TestSignal(std::size_t count) {
    std::mt19937 rng(42);
    std::normal_distribution<double> noise(0.0, 4000.0);
    std::vector<std::int16_t> samples(count);
    double phase = 0;
    for (auto& s : samples) {
        phase += 0.07;
        const double v = 12000.0 * std::sin(phase) + noise(rng);
        s = static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
    }
    return samples;
}

std::vector<std::uint8_t> RandomBytes(std::size_t count) {
    std::mt19937 rng(7);
    std::vector<std::uint8_t> bytes(count);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return bytes;
}

void BM_ImaAdpcmDecode4(benchmark::State& state) {
    const auto codes = RandomBytes(PageBytes * Pages);
    std::vector<std::int16_t> samples(codes.size() * 2);
    for (auto _ : state) {
        for (std::size_t p = 0; p < Pages; ++p) {
            TAdpcmState adpcm;
            ImaAdpcmDecode4Run(std::span(codes).subspan(p * PageBytes, PageBytes), adpcm,
                               std::span(samples).subspan(p * PageBytes * 2, PageBytes * 2));
        }
        benchmark::DoNotOptimize(samples.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * samples.size());
}
BENCHMARK(BM_ImaAdpcmDecode4);

void BM_Adpcm2Decode(benchmark::State& state) {
    const auto codes = RandomBytes(PageBytes * Pages);
    std::vector<std::int16_t> samples(codes.size() * 4);
    for (auto _ : state) {
        for (std::size_t p = 0; p < Pages; ++p) {
            TAdpcmState adpcm;
            Adpcm2DecodeRun(std::span(codes).subspan(p * PageBytes, PageBytes), adpcm,
                            std::span(samples).subspan(p * PageBytes * 4, PageBytes * 4));
        }
        benchmark::DoNotOptimize(samples.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * samples.size());
}
BENCHMARK(BM_Adpcm2Decode);

void BM_CompandDecodePage(benchmark::State& state) {
    const std::uint16_t perBlock = CompandSamplesPerBlock(8000);
    const auto signal = TestSignal(PageBytes * Pages);
    std::vector<std::uint8_t> pages(PageBytes * Pages);
    for (std::size_t p = 0, at = 0; p < Pages; ++p)
        at += CompandEncodePage(std::span(signal).subspan(at), 1, perBlock,
                                std::span(pages).subspan(p * PageBytes, PageBytes))
                  .Consumed;
    std::vector<std::int16_t> samples(pages.size());
    std::size_t produced = 0;
    for (auto _ : state) {
        produced = 0;
        for (std::size_t p = 0; p < Pages; ++p)
            produced += CompandDecodePage(std::span(pages).subspan(p * PageBytes, PageBytes),
                                          perBlock, std::span(samples).subspan(produced))
                            .Produced;
        benchmark::DoNotOptimize(samples.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * produced);
}
BENCHMARK(BM_CompandDecodePage);

void BM_ImaAdpcmEncode4(benchmark::State& state) {
    const auto samples = TestSignal(PageBytes * Pages * 2);
    std::vector<std::uint8_t> codes(PageBytes * Pages);
    for (auto _ : state) {
        for (std::size_t p = 0; p < Pages; ++p) {
            TAdpcmState adpcm;
            ImaAdpcmEncode4Run(std::span(samples).subspan(p * PageBytes * 2, PageBytes * 2), adpcm,
                               std::span(codes).subspan(p * PageBytes, PageBytes));
        }
        benchmark::DoNotOptimize(codes.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * samples.size());
}
BENCHMARK(BM_ImaAdpcmEncode4);

void BM_Adpcm2Encode(benchmark::State& state) {
    const auto samples = TestSignal(PageBytes * Pages * 4);
    std::vector<std::uint8_t> codes(PageBytes * Pages);
    for (auto _ : state) {
        for (std::size_t p = 0; p < Pages; ++p) {
            TAdpcmState adpcm;
            Adpcm2EncodeRun(std::span(samples).subspan(p * PageBytes * 4, PageBytes * 4), adpcm,
                            std::span(codes).subspan(p * PageBytes, PageBytes));
        }
        benchmark::DoNotOptimize(codes.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * samples.size());
}
BENCHMARK(BM_Adpcm2Encode);

void BM_CompandEncodePage(benchmark::State& state) {
    const std::uint16_t perBlock = CompandSamplesPerBlock(8000);
    const auto signal = TestSignal(PageBytes * Pages);
    std::vector<std::uint8_t> pages(PageBytes * Pages);
    std::size_t consumed = 0;
    for (auto _ : state) {
        consumed = 0;
        for (std::size_t p = 0; p < Pages; ++p)
            consumed += CompandEncodePage(std::span(signal).subspan(consumed), 1, perBlock,
                                          std::span(pages).subspan(p * PageBytes, PageBytes))
                            .Consumed;
        benchmark::DoNotOptimize(pages.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * consumed);
}
BENCHMARK(BM_CompandEncodePage);

// The per-sample entry points as a caller outside the unit sees them (one call per sample).
void BM_ImaAdpcmDecode4PerSample(benchmark::State& state) {
    const auto codes = RandomBytes(PageBytes * Pages);
    std::vector<std::int16_t> samples(codes.size());
    for (auto _ : state) {
        TAdpcmState adpcm;
        for (std::size_t i = 0; i < codes.size(); ++i)
            samples[i] = ImaAdpcmDecode4(codes[i], adpcm);
        benchmark::DoNotOptimize(samples.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * samples.size());
}
BENCHMARK(BM_ImaAdpcmDecode4PerSample);

void BM_CompandDecode8PerSample(benchmark::State& state) {
    const auto bytes = RandomBytes(PageBytes * Pages);
    std::vector<std::int16_t> samples(bytes.size());
    for (auto _ : state) {
        TCompandState compand{0, 1, 0};
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            samples[i] = CompandDecode8(bytes[i], compand);
            if (compand.Count == 65535)
                compand.Count = 160;
        }
        benchmark::DoNotOptimize(samples.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * samples.size());
}
BENCHMARK(BM_CompandDecode8PerSample);

// Bytes of file data per second through one slot's encoder and decoder.
void BM_RsEncodeBlock(benchmark::State& state) {
    const auto data = RandomBytes(RsDataSize);
    std::vector<std::uint8_t> codeword(RsCodewordSize);
    for (auto _ : state) {
        RsEncodeBlock(std::span<const std::uint8_t, RsDataSize>(data.data(), RsDataSize),
                      std::span<std::uint8_t, RsCodewordSize>(codeword.data(), RsCodewordSize));
        benchmark::DoNotOptimize(codeword.data());
    }
    state.SetBytesProcessed(state.iterations() * RsDataSize);
}
BENCHMARK(BM_RsEncodeBlock);

void BM_RsDecodeBlock(benchmark::State& state) {
    const int errors = static_cast<int>(state.range(0));
    const auto data = RandomBytes(RsDataSize);
    std::vector<std::uint8_t> codeword(RsCodewordSize);
    RsEncodeBlock(std::span<const std::uint8_t, RsDataSize>(data.data(), RsDataSize),
                  std::span<std::uint8_t, RsCodewordSize>(codeword.data(), RsCodewordSize));
    for (int e = 0; e < errors; ++e)
        codeword[17 + 61 * e] ^= 0x5A;
    std::vector<std::uint8_t> out(RsDataSize);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            RsDecodeBlock(std::span<const std::uint8_t, RsCodewordSize>(codeword.data(), 255),
                          std::span<std::uint8_t, RsDataSize>(out.data(), RsDataSize)));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * RsDataSize);
}
BENCHMARK(BM_RsDecodeBlock)->Arg(0)->Arg(1)->Arg(3)->Arg(4);

} // namespace

BENCHMARK_MAIN();
