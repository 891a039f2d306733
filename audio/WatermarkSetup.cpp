#include "audio/WatermarkSetup.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>

#include "audio/Watermark.h"
#include "audio/WaveAddInfo.h"

namespace {

constexpr std::uint8_t DownloadFlags = 3;
constexpr std::uint16_t LowToneAmplitude = 80;
constexpr std::uint16_t HighToneAmplitude = 6;

std::uint32_t Draw(const TMarkRandom& random, std::uint32_t n) {
    if (n == 0 || !random)
        return 0;
    return random(n) % n;
}

} // namespace

TMarkRandom MakeTimeSeededMarkRandom() {
    const auto now = std::chrono::system_clock::now().time_since_epoch().count();
    auto engine = std::make_shared<std::minstd_rand>(static_cast<std::uint32_t>(now));
    return [engine](std::uint32_t n) -> std::uint32_t {
        return n == 0 ? 0 : static_cast<std::uint32_t>((*engine)() % n);
    };
}

std::uint32_t SystemTimeToMarkSeconds(const TSystemTime& t) {
    if (t.Month < 1 || t.Month > 12 || t.Day < 1 || t.Day > 31 || t.Hour > 23 || t.Minute > 59 ||
        t.Second > 59)
        return 0;
    const std::int64_t seconds =
        DaysFromCivil(t.Year, t.Month, t.Day) * 86400 + t.Hour * 3600 + t.Minute * 60 + t.Second;
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(seconds, 0, 0xFFFFFFFF));
}

TMarkConfig MakeWatermarkConfig(const TWaveFile& wave, std::uint8_t sourceCompression,
                                std::uint8_t uploaded, const std::string& serialNumber,
                                const TMarkRandom& random) {
    TMarkConfig config;
    const std::size_t n = std::min(serialNumber.size(), config.Identity.size());
    std::copy_n(serialNumber.begin(), n, config.Identity.begin());
    config.Flags = DownloadFlags;
    TSystemTime time;
    if (wave.HasAddInfo() && ReadWaveAddInfoTime(wave.GetAddInfo(), time))
        config.RecordTime = SystemTimeToMarkSeconds(time);
    const TWaveFormat& format = wave.GetFormat();
    config.SampleRate = static_cast<std::uint16_t>(format.SamplesPerSec & 0xFFFF);
    config.Channels = static_cast<std::uint8_t>(format.Channels);
    config.BitsPerSample = static_cast<std::uint8_t>(format.BitsPerSample);
    config.InfoA = sourceCompression;
    config.InfoB = uploaded;

    const double h = static_cast<double>(format.SamplesPerSec / 2);
    config.Tones[0] = {static_cast<float>(5 + Draw(random, 901) * 0.01), LowToneAmplitude};
    config.Tones[1] = {static_cast<float>((h - 450) + Draw(random, 200 * 100 + 1) * 0.01),
                       HighToneAmplitude};
    config.Tones[2] = {static_cast<float>((h - 245) + Draw(random, 195 * 100 + 1) * 0.01),
                       HighToneAmplitude};
    return config;
}

void SetupWatermark(const TWaveFile& wave, std::uint8_t sourceCompression, std::uint8_t uploaded,
                    const std::string& serialNumber, const TMarkRandom& random) {
    const TMarkConfig config =
        MakeWatermarkConfig(wave, sourceCompression, uploaded, serialNumber, random);
    mrk_Init(EncodeMarkConfig(config).data());
}
