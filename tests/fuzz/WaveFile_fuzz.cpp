// A WAV file as the sound-information dialog reads it: the header and private chunk, then the
// dialog's own scan (every data byte through the CRC-32 and, converted, through the caller-ID
// decoder; the check word; the length), and the watermark check over the data.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "FuzzFiles.h"
#include "audio/Watermark.h"
#include "audio/WaveAddInfo.h"
#include "audio/Wavefunc.h"
#include "callerid/Norvel.h"
#include "ui/SoundInfoScan.h"

namespace {

// The whole data chunk, read as the dialog's scan reads it, for the watermark check.
std::vector<std::uint8_t> DataOf(const std::string& path) {
    TWaveFile wave;
    wave.SetFileName(path);
    std::vector<std::uint8_t> audio;
    if (!wave.Open())
        return audio;
    std::vector<std::uint8_t> block(4096);
    for (;;) {
        const std::int32_t got = wave.Read(block.data(), static_cast<std::int32_t>(block.size()));
        if (got <= 0 || audio.size() >= (1u << 20))
            break;
        audio.insert(audio.end(), block.begin(), block.begin() + got);
    }
    wave.Close();
    return audio;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::WriteInputFile(".wav", data, size);
    IsWaveFile(path);
    TWaveFile wave;
    wave.SetFileName(path);
    if (!wave.Open())
        return 0;
    const std::vector<std::uint8_t> record = wave.GetAddInfo();
    const TCallerIdDecoder decoder{_lnResetConnect, _lnCalcConnect, _lnGetStatus};
    const TSoundFileScan scan = ScanSoundFile(wave, &decoder);
    if (wave.IsOpen())
        __builtin_trap(); // the scan closes the file it was given
    if (scan.AddInfo.Version != 0) {
        TSystemTime time;
        ReadWaveAddInfoTime(record, time);
    }
    // The last 64 data bytes carry the mark stream's closing record.
    if (scan.AddInfo.Version >= 4) {
        const std::vector<std::uint8_t> audio = DataOf(path);
        if (audio.size() >= 128) {
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
    return 0;
}
