// Decoding speed over a minute of call audio (speech, line noise, DTMF, an FSK caller-ID
// burst) as a multiple of real time on one core, beside spandsp's DTMF and FSK receivers on
// the same audio and the literal correlator.

#include <benchmark/benchmark.h>
#include <map>
#include <memory>
#include <spandsp.h>

#include "callerid/NorvelDecoder.h"
#include "tests/callerid/LiteralToneDetector.h"
#include "tests/callerid/SignalKit.h"

namespace {

using norvel_test::TSamples;

constexpr int kCallSeconds = 60;

TSamples CallAt8000() {
    using namespace norvel_test;
    TSamples call = SpeechLike(kSpanRate, kCallSeconds * 1000, 7, -18.0);
    MixInto(call, HothNoise(kCallSeconds * 1000, -50.0f, 3));
    MixInto(call, DtmfDigits("0442071234567", -15, 60, 60), 5 * kSpanRate);
    MixInto(call, DtmfDigits("1#", -15, 80, 80), 40 * kSpanRate);
    MixInto(call, FskCallerId({"10011750", "5551234567", "JOHN SMITH"}), 50 * kSpanRate);
    return call;
}

const TSamples& Call(int rate) {
    static std::map<int, TSamples> calls;
    auto found = calls.find(rate);
    if (found == calls.end()) {
        found = calls.emplace(rate, norvel_test::FromSpanRate(CallAt8000(), rate)).first;
    }
    return found->second;
}

void ReportRealTime(benchmark::State& state) {
    state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(kCallSeconds) *
                                                          static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
}

void BM_Norvel(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    const TSamples& call = Call(rate);
    auto decoder = std::make_unique<norvel::TNorvelState>();
    for (auto _ : state) {
        norvel::ResetDecoder(*decoder, rate);
        for (size_t offset = 0; offset < call.size(); offset += 8192) {
            norvel::ProcessSamples(*decoder, call.data() + offset,
                                   std::min<size_t>(8192, call.size() - offset));
        }
        benchmark::DoNotOptimize(decoder->ToneDigitCount);
    }
    ReportRealTime(state);
}
BENCHMARK(BM_Norvel)->Arg(8000)->Arg(16000)->Arg(40000)->Unit(benchmark::kMillisecond);

void BM_SpandspDtmfRx(benchmark::State& state) {
    const TSamples& call = Call(8000);
    for (auto _ : state) {
        dtmf_rx_state_t* receiver = dtmf_rx_init(nullptr, nullptr, nullptr);
        dtmf_rx(receiver, call.data(), static_cast<int>(call.size()));
        char digits[64];
        benchmark::DoNotOptimize(dtmf_rx_get(receiver, digits, 63));
        dtmf_rx_free(receiver);
    }
    ReportRealTime(state);
}
BENCHMARK(BM_SpandspDtmfRx)->Unit(benchmark::kMillisecond);

void CountBit(void* user, int bit) {
    *static_cast<int*>(user) += bit > 0 ? 1 : 0;
}

void BM_SpandspFskRx(benchmark::State& state) {
    const TSamples& call = Call(8000);
    for (auto _ : state) {
        int ones = 0;
        fsk_rx_state_t* receiver = fsk_rx_init(nullptr, &preset_fsk_specs[FSK_BELL202],
                                               FSK_FRAME_MODE_SYNC, CountBit, &ones);
        fsk_rx(receiver, call.data(), static_cast<int>(call.size()));
        benchmark::DoNotOptimize(ones);
        fsk_rx_free(receiver);
    }
    ReportRealTime(state);
}
BENCHMARK(BM_SpandspFskRx)->Unit(benchmark::kMillisecond);

// The correlator alone, read literally: the ten tones an idle frame needs, every 10 ms.
void BM_LiteralCorrelator(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    const TSamples& call = Call(rate);
    const size_t frame = static_cast<size_t>(rate / 100);
    for (auto _ : state) {
        double sum = 0.0;
        for (size_t newest = frame - 1; newest < call.size(); newest += frame) {
            for (const int tone : {0, 1, 2, 3, 4, 5, 6, 7, 14, 15}) {
                sum += norvel_test::LiteralDetectTone(call, newest, norvel::kToneFrequencies[tone],
                                                      rate)
                           .Amplitude;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    ReportRealTime(state);
}
BENCHMARK(BM_LiteralCorrelator)->Arg(8000)->Arg(40000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
