#pragma once

// Images and waves the transfer and window tests start from, written through the engine.
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "audio/Wavefunc.h"
#include "engine/RecClasses.h"
#include "engine/RecorderUi.h"
#include "i18n/VexaLang.h"
#include "platform/ByteOrder.h"

namespace {

// The engine's UI while the test builds an image: uploads without compression.
class TPlainUploadUi : public TRecorderUi {
public:
    std::optional<TUploadFormatChoice> ChooseUploadFormat() override {
        return TUploadFormatChoice{};
    }
};

// A mono 16-bit wave of a plain tone.
void WriteTone(const std::string& path, double seconds, std::uint32_t rate = 8000) {
    const auto count = static_cast<std::uint32_t>(seconds * rate);
    std::vector<std::uint8_t> file(44 + std::size_t{count} * 2);
    std::memcpy(&file[0], "RIFF", 4);
    PutU32(&file[4], 36 + count * 2);
    std::memcpy(&file[8], "WAVEfmt ", 8);
    PutU32(&file[16], 16);
    PutU16(&file[20], 1);
    PutU16(&file[22], 1);
    PutU32(&file[24], rate);
    PutU32(&file[28], rate * 2);
    PutU16(&file[32], 2);
    PutU16(&file[34], 16);
    std::memcpy(&file[36], "data", 4);
    PutU32(&file[40], count * 2);
    for (std::uint32_t i = 0; i < count; ++i)
        PutU16(&file[44 + std::size_t{i} * 2],
               static_cast<std::uint16_t>(std::lround(4000 * std::sin(i * 0.3))));
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
}

// One recording of a test image: its number, length and time.
struct TImageRecording {
    std::uint16_t Number = 1;
    double Seconds = 1.0;
    TSystemTime Time{};
};

// A blank image holding the recordings, uploaded in order by the engine itself; statuses,
// when given, go to the recordings in order.
[[maybe_unused]] void MakeImageOf(const std::string& path,
                                  const std::vector<TImageRecording>& recordings,
                                  const std::vector<std::uint8_t>& statuses = {}) {
    TPlainUploadUi ui;
    TRecorder recorder(ConnDemo, ui); // the demo kind creates the blank image
    recorder.SetImageFileName(path);
    ASSERT_TRUE(recorder.IsConnected());
    recorder.Refresh();
    recorder.WaitForOperation();
    ASSERT_EQ(recorder.ChooseUploadFormat(), 0);
    const std::string wavePath = path + ".wav";
    for (const TImageRecording& recording : recordings) {
        WriteTone(wavePath, recording.Seconds);
        TWaveFile wave;
        wave.SetFileName(wavePath);
        ASSERT_TRUE(wave.Open());
        recorder.WriteSoundFile(recording.Number, wave, recording.Time);
        recorder.WaitForOperation();
        ASSERT_EQ(recorder.GetOutcome().Kind, TOperationOutcome::TKind::Succeeded)
            << recorder.GetOutcome().Message;
        recorder.Refresh(); // the next upload needs the lists as they are now
        recorder.WaitForOperation();
    }
    std::remove(wavePath.c_str());
    for (std::size_t i = 0; i < statuses.size() && i < recordings.size(); ++i)
        recorder.ChangeSoundFileStatus(recordings[i].Number, statuses[i]);
}

// A blank image holding one uploaded recording per duration, numbered from 1; statuses,
// when given, are set afterwards by record number from 1.
[[maybe_unused]] void MakeImage(const std::string& path, const std::vector<double>& durations,
                                const std::vector<std::uint8_t>& statuses = {}) {
    std::vector<TImageRecording> recordings;
    for (std::size_t i = 0; i < durations.size(); ++i) {
        const auto number = static_cast<std::uint16_t>(i + 1);
        recordings.push_back({number, durations[i], TSystemTime{2024, 3, 4, 14, 9, 30, number, 0}});
    }
    MakeImageOf(path, recordings, statuses);
}

} // namespace
