#include "ui/SoundInfoFeed.h"

TSoundInfoFeed::TSoundInfoFeed(const TWaveFormat& format) {
    const unsigned bits = format.BitsPerSample;
    if (format.FormatTag != WaveFormatPcm || format.Channels == 0 || format.SamplesPerSec == 0 ||
        (bits != 8 && bits != 16 && bits != 24 && bits != 32)) {
        return;
    }
    Channels = format.Channels;
    BytesPerSample = bits / 8;
    FrameSize = Channels * BytesPerSample;
    if (format.BlockAlign != FrameSize || format.SamplesPerSec < MinDecoderRate) {
        return;
    }
    // In 64 bits: a rate near 2^32 would wrap the rounding up to a factor of 0.
    const std::uint64_t rate = format.SamplesPerSec;
    Decimation = static_cast<unsigned>((rate + MaxDecoderRate - 1) / MaxDecoderRate);
    OutputRate = static_cast<std::int32_t>(rate / Decimation);
    PartialFrame.reserve(FrameSize);
    Usable = true;
}

std::int32_t TSoundInfoFeed::SampleValue(const std::uint8_t* sample) const {
    switch (BytesPerSample) {
    case 1: // 8-bit WAV samples are unsigned around 128
        return (static_cast<std::int32_t>(sample[0]) - 128) * 256;
    case 2:
        return static_cast<std::int16_t>(sample[0] | (sample[1] << 8));
    default: // the upper two bytes of a 24- or 32-bit sample
        return static_cast<std::int16_t>(sample[BytesPerSample - 2] |
                                         (sample[BytesPerSample - 1] << 8));
    }
}

std::int32_t TSoundInfoFeed::FrameValue(const std::uint8_t* frame) const {
    std::int64_t sum = 0;
    for (unsigned channel = 0; channel < Channels; ++channel) {
        sum += SampleValue(frame + channel * BytesPerSample);
    }
    return static_cast<std::int32_t>(sum / static_cast<std::int64_t>(Channels));
}

void TSoundInfoFeed::Convert(const std::uint8_t* data, std::size_t count,
                             std::vector<std::int16_t>& out) {
    if (!Usable) {
        return;
    }
    auto take = [&](const std::uint8_t* frame) {
        DecimationSum += FrameValue(frame);
        if (++DecimationCount == Decimation) {
            out.push_back(static_cast<std::int16_t>(DecimationSum / Decimation));
            DecimationSum = 0;
            DecimationCount = 0;
        }
    };
    std::size_t pos = 0;
    while (!PartialFrame.empty() && pos < count) {
        PartialFrame.push_back(data[pos++]);
        if (PartialFrame.size() == FrameSize) {
            take(PartialFrame.data());
            PartialFrame.clear();
        }
    }
    for (; pos + FrameSize <= count; pos += FrameSize) {
        take(data + pos);
    }
    PartialFrame.insert(PartialFrame.end(), data + pos, data + count);
}
