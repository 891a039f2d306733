#include "ui/SoundInfoScan.h"

#include <algorithm>
#include <vector>

#include "audio/Crc.h"
#include "audio/Wavefunc.h"
#include "ui/SoundInfoFeed.h"

namespace {

constexpr std::int32_t ReadBlockSize = 16384;
// The decoder takes at most 65535 samples per call.
constexpr std::size_t MaxSamplesPerCall = 32768;

void FeedDecoder(const TCallerIdDecoder& decoder, const std::vector<std::int16_t>& samples) {
    for (std::size_t offset = 0; offset < samples.size(); offset += MaxSamplesPerCall) {
        const std::size_t count = std::min(MaxSamplesPerCall, samples.size() - offset);
        decoder.CalcConnect(static_cast<std::uint16_t>(count), samples.data() + offset);
    }
}

} // namespace

std::uint64_t SoundFileSeconds(std::uint64_t dataSize, unsigned channels,
                               std::uint32_t samplesPerSec, unsigned bitsPerSample) {
    const double bytesPerSecond = double(samplesPerSec) * channels * (bitsPerSample * 0.125);
    if (!(bytesPerSecond > 0))
        return 0;
    return static_cast<std::uint64_t>(double(dataSize) / bytesPerSecond);
}

TSoundFileScan ScanSoundFile(TWaveFile& wave, const TCallerIdDecoder* decoder) {
    TSoundFileScan scan;
    scan.Format = wave.GetFormat();
    scan.DataSize = wave.GetDataSize();
    scan.StatedDataSize = wave.GetStatedDataSize();
    scan.LengthSeconds = SoundFileSeconds(scan.DataSize, scan.Format.Channels,
                                          scan.Format.SamplesPerSec, scan.Format.BitsPerSample);
    scan.AddInfo.Version = 0;
    if (wave.HasAddInfo()) {
        // A record cut short keeps the version its chunk states, so its check word is read
        // as that version stores it.
        scan.AddInfoHeld = wave.GetAddInfoSize();
        scan.AddInfoStated = wave.GetStatedAddInfoSize();
        const auto stated = static_cast<std::int32_t>(
            std::min<std::int64_t>(scan.AddInfoStated, WaveAddInfoMaxSize + 1));
        scan.AddInfo = ParseWaveAddInfo(wave.GetAddInfo().data(), wave.GetAddInfoSize(), stated);
    }

    TSoundInfoFeed feed(scan.Format);
    scan.FeedUsable = feed.IsUsable();
    scan.Decoding = decoder != nullptr && decoder->IsBound() && scan.FeedUsable &&
                    decoder->ResetConnect(feed.GetOutputRate()) == 0;

    TCrc32 crc;
    std::vector<std::uint8_t> block(ReadBlockSize);
    std::vector<std::int16_t> samples;
    for (;;) {
        const std::int32_t got = wave.Read(block.data(), ReadBlockSize);
        if (got <= 0)
            break;
        crc.Update(block.data(), static_cast<std::size_t>(got));
        if (scan.Decoding) {
            samples.clear();
            feed.Convert(block.data(), static_cast<std::size_t>(got), samples);
            FeedDecoder(*decoder, samples);
        }
    }
    scan.DataCrc = crc.GetValue();
    if (scan.AddInfo.Version != 0 && scan.AddInfo.CheckWordRead) {
        scan.IntegrityChecked = true;
        scan.IntegrityPassed =
            WaveCheckWordMatches(scan.AddInfo.Version, scan.AddInfo.CheckWord, scan.DataCrc);
    }
    if (scan.Decoding)
        decoder->GetStatus(&scan.Status);
    wave.Close();
    return scan;
}
