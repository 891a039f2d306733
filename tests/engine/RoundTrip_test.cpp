#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>

#include "FixtureDevice.h"
#include "FixtureFlash.h"
#include "FixtureWave.h"
#include "audio/Wavefunc.h"
#include "engine/RecClasses.h"
#include "engine/RecDownload.h"
#include "tests/support/TempDir.h"

// A WAV file uploaded into a recorder image and downloaded again, in every codec at every rate
// it stores, on the geometry of the recorder's own memory (64 pages of 2112 bytes a block).
namespace {

using namespace fixture;
using testsupport::TTempDir;
using TKind = TOperationOutcome::TKind;
using TCompression = TUploadFormatChoice::TCompression;

constexpr std::uint16_t PageSize = 2112;
constexpr std::uint16_t PagesPerBlock = 64;
const TSystemTime StartTime{2024, 5, 6, 0, 10, 20, 30, 0};

// A steady tone that ends at full level: whatever follows it in the download is the codec's
// page padding or something read from flash that holds no sound.
std::vector<std::int16_t> Tone(std::size_t count, std::uint32_t rate) {
    std::vector<std::int16_t> s(count);
    const double pi = std::acos(-1.0);
    for (std::size_t i = 0; i < count; ++i)
        s[i] = static_cast<std::int16_t>(std::lround(6000 * std::sin(2 * pi * 431 * i / rate)));
    return s;
}

// The audio of a downloaded WAV file: its data without the 64-byte mark records that stand
// before and after the sound.
std::vector<std::int16_t> DownloadedSound(const std::string& path) {
    constexpr std::size_t MarkRecordBytes = 64;
    TWaveFile wave;
    wave.SetFileName(path);
    EXPECT_TRUE(wave.Open()) << path;
    Bytes data(wave.GetDataSize());
    EXPECT_EQ(wave.Read(data.data(), static_cast<std::int32_t>(data.size())),
              static_cast<std::int32_t>(data.size()));
    wave.Close();
    if (data.size() < 2 * MarkRecordBytes)
        return {};
    std::vector<std::int16_t> samples((data.size() - 2 * MarkRecordBytes) / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const std::uint8_t* at = &data[MarkRecordBytes + 2 * i];
        samples[i] = static_cast<std::int16_t>(at[0] | (at[1] << 8));
    }
    return samples;
}

// Samples of 16-bit mono PCM one later page holds in each codec: the most padding a
// recording's last page can add.
std::size_t SamplesPerPage(std::uint8_t type, std::uint8_t param, std::uint32_t rate) {
    switch (type) {
    case 0:
        return (PageSize - 2) / 2;
    case 1: {
        const std::size_t block = rate / 50;
        const std::size_t bytes = PageSize - 2;
        return bytes - (bytes + block) / (block + 1);
    }
    default:
        return std::size_t{PageSize - 4} * (param == 1 ? 4 : 2);
    }
}

struct TRoundTripCase {
    const char* Name;
    TCompression Compression;
    std::uint8_t Scale;
    std::uint8_t Type, Param;
    std::uint32_t Rate;
};

std::string CaseName(const ::testing::TestParamInfo<TRoundTripCase>& info) {
    return info.param.Name;
}

void PrintTo(const TRoundTripCase& c, std::ostream* os) {
    *os << c.Name;
}

class UploadDownloadRoundTrip : public ::testing::TestWithParam<TRoundTripCase> {
protected:
    TTempDir Dir;
    TFakeUi Ui;
};

TEST_P(UploadDownloadRoundTrip, GivesTheInputsLengthWithinOnePageAndNothingFromErasedFlash) {
    const TRoundTripCase& c = GetParam();
    const std::string image = Dir.File("memory.ovk");
    TFlashImage(TFlashShape{PageSize, PagesPerBlock, 64, 1}).WriteImageFile(image);
    TRecorder recorder(ConnImageFile, Ui);
    recorder.SetImageFileName(image);
    ASSERT_TRUE(recorder.IsConnected());
    recorder.Refresh();
    recorder.WaitForOperation();
    Ui.UploadChoice = TUploadFormatChoice{c.Compression, c.Scale};
    ASSERT_EQ(recorder.ChooseUploadFormat(), 0);

    // 5.00 s of sound.
    const std::vector<std::int16_t> source = Tone(5 * c.Rate, c.Rate);
    const std::string input = Dir.File("input.wav");
    WriteWave(input, source, c.Rate);
    TWaveFile wave;
    wave.SetFileName(input);
    ASSERT_TRUE(wave.Open());
    recorder.WriteSoundFile(1, wave, StartTime);
    recorder.WaitForOperation();
    ASSERT_EQ(recorder.GetOutcome().Kind, TKind::Succeeded) << recorder.GetOutcome().Message;
    wave.Close();
    recorder.Refresh();
    recorder.WaitForOperation();
    const TSoundFileInfo* listed = recorder.GetSoundFileList()->ByNumber(1);
    ASSERT_NE(listed, nullptr);
    const std::size_t padding = SamplesPerPage(c.Type, c.Param, c.Rate);
    EXPECT_GE(listed->Duration, 5u);
    EXPECT_LE(listed->Duration, (source.size() + padding) / c.Rate);

    TWaveDownloadOptions options;
    options.FileName = Dir.File("output.wav");
    const TDownloadResult result =
        DownloadRecordToWave(recorder, MakeRecordToDownload(*listed), options);
    ASSERT_TRUE(result.Succeeded()) << result.Outcome.Message;
    const std::vector<std::int16_t> output = DownloadedSound(options.FileName);
    ASSERT_GE(output.size(), source.size());
    EXPECT_LE(output.size(), source.size() + padding)
        << "output " << output.size() << " samples for " << source.size();
    // After the tone the padding is silence with the watermark's quiet tones: the codecs
    // settle within a few samples, and erased flash decoded as sound would ramp up to full
    // scale.
    int peak = 0;
    for (std::size_t i = source.size() + 64; i < output.size(); ++i)
        peak = std::max(peak, std::abs(int{output[i]}));
    EXPECT_LE(peak, 256) << "a sample after the sound";
}

INSTANTIATE_TEST_SUITE_P(
    EveryCodecAndRate, UploadDownloadRoundTrip,
    ::testing::Values(TRoundTripCase{"None4000", TCompression::None, 0, 0, 0, 4000},
                      TRoundTripCase{"None8000", TCompression::None, 0, 0, 0, 8000},
                      TRoundTripCase{"None13333", TCompression::None, 0, 0, 0, 13333},
                      TRoundTripCase{"None20000", TCompression::None, 0, 0, 0, 20000},
                      TRoundTripCase{"None40000", TCompression::None, 0, 0, 0, 40000},
                      TRoundTripCase{"ULaw4000", TCompression::ULaw, 0, 1, 0, 4000},
                      TRoundTripCase{"ULaw8000", TCompression::ULaw, 0, 1, 0, 8000},
                      TRoundTripCase{"ULaw13333Scale2", TCompression::ULaw, 2, 1, 2, 13333},
                      TRoundTripCase{"ULaw20000Scale4", TCompression::ULaw, 4, 1, 4, 20000},
                      TRoundTripCase{"Adpcm4At4000", TCompression::Adpcm4, 0, 2, 2, 4000},
                      TRoundTripCase{"Adpcm4At8000", TCompression::Adpcm4, 0, 2, 2, 8000},
                      TRoundTripCase{"Adpcm2At4000", TCompression::Adpcm2, 0, 2, 1, 4000},
                      TRoundTripCase{"Adpcm2At8000", TCompression::Adpcm2, 0, 2, 1, 8000}),
    CaseName);

} // namespace
