// A WAV file as the sound-information dialog reads it: header, private chunk, every data
// byte through the CRC-32, the check word, and the watermark check over the data.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "FuzzFiles.h"
#include "audio/Crc.h"
#include "audio/Watermark.h"
#include "audio/WaveAddInfo.h"
#include "audio/Wavefunc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::WriteInputFile(".wav", data, size);
    IsWaveFile(path);
    TWaveFile wave;
    wave.SetFileName(path);
    if (!wave.Open())
        return 0;
    TCrc32 crc;
    std::vector<std::uint8_t> audio;
    std::vector<std::uint8_t> block(4096);
    for (;;) {
        const std::int32_t got = wave.Read(block.data(), static_cast<std::int32_t>(block.size()));
        if (got <= 0)
            break;
        crc.Update(block.data(), static_cast<std::uint32_t>(got));
        if (audio.size() < (1u << 20))
            audio.insert(audio.end(), block.begin(), block.begin() + got);
    }
    if (wave.HasAddInfo()) {
        const std::vector<std::uint8_t>& record = wave.GetAddInfo();
        const TWaveAddInfo info =
            ParseWaveAddInfo(record.data(), static_cast<std::int32_t>(record.size()));
        WaveCheckWordMatches(info.Version, info.CheckWord, crc.GetValue());
        TSystemTime time;
        ReadWaveAddInfoTime(record, time);
        // The last 64 data bytes carry the mark stream's closing record.
        if (info.Version >= 4 && audio.size() >= 128) {
            const std::size_t end = audio.size() - 64;
            std::size_t at = 0;
            MarkCheck(
                [&](void* buffer, std::int32_t count) {
                    const std::size_t n =
                        std::min<std::size_t>(static_cast<std::size_t>(count), end - at);
                    std::copy_n(audio.data() + at, n, static_cast<std::uint8_t*>(buffer));
                    at += n;
                    return static_cast<std::int32_t>(n);
                },
                audio.data() + end, nullptr);
        }
    }
    wave.Close();
    return 0;
}
