#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "WaveTestSupport.h"
#include "audio/RecorderWaveFile.h"
#include "audio/SpikeFilter.h"
#include "audio/Watermark.h"
#include "audio/WaveAddInfo.h"
#include "platform/PosixFile.h"
#include "tests/support/ByteStreamReader.h"

namespace {

using wavetest::SampleBytes;
using wavetest::Samples;
using wavetest::TTempDir;

// --- Part names and the spike filter ---------------------------------------------------------

TEST(MakeNumberedFileName, NumberGoesBeforeTheExtension) {
    const struct {
        const char* Name;
        std::uint32_t Part;
        const char* Expected;
    } cases[] = {
        {"/rec/call.wav", 1, "/rec/call_0001.wav"},
        {"/rec/call.wav", 12, "/rec/call_0012.wav"},
        {"/rec/call.wav", 12345, "/rec/call_12345.wav"},
        {"/rec/x.tar.gz", 2, "/rec/x.tar_0002.gz"},
        {"/rec.d/call", 3, "/rec.d/call_0003"},
        {"call", 4, "call_0004"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MakeNumberedFileName(c.Name, c.Part), c.Expected) << c.Name;
}

std::vector<std::int16_t> Filtered(std::vector<std::int16_t> samples, unsigned channels) {
    auto bytes = SampleBytes(samples);
    FilterSpikes(bytes.data(), samples.size(), channels);
    return Samples(bytes.data(), bytes.size());
}

TEST(SpikeFilter, ReplacesLoneSpikesByTheMeanOfTheirNeighbours) {
    using V = std::vector<std::int16_t>;
    const struct {
        const char* Name;
        V In;
        V Out;
    } cases[] = {
        {"positive spike", {10, 10, 11, 500, 12, 12, 12}, {10, 10, 11, 11, 12, 12, 12}},
        {"mean truncates toward zero",
         {-10, -10, -11, -500, -12, -12, -12},
         {-10, -10, -11, -11, -12, -12, -12}},
        {"full-scale spike", {0, 0, 0, 32767, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}},
        {"steps are not spikes", {0, 0, 0, 900, 900, 900, 900}, {0, 0, 0, 900, 900, 900, 900}},
        {"noisy neighbours keep it", {0, 500, 0, 900, 0, 500, 0}, {0, 500, 0, 900, 0, 500, 0}},
        {"first two and last two stay", {900, 0, 0, 0, 0, 0, 900}, {900, 0, 0, 0, 0, 0, 900}},
        {"second and second-last stay", {0, 900, 0, 0, 0, 900, 0}, {0, 900, 0, 0, 0, 900, 0}},
        // 300 is a spike only beside the 1000 already smoothed to 0.
        {"smoothed samples count as smoothed",
         {0, 0, 0, 1000, 0, 300, 0, 0},
         {0, 0, 0, 0, 0, 0, 0, 0}},
        {"too short to filter", {0, 0, 900, 0}, {0, 0, 900, 0}},
        {"extreme differences do not overflow",
         {-32768, -32768, -32768, 32767, -32768, -32768},
         {-32768, -32768, -32768, -32768, -32768, -32768}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Filtered(c.In, 1), c.Out) << c.Name;
}

TEST(SpikeFilter, EachChannelOnItsOwn) {
    // Left: a lone spike of 300 among zeros; right: steady 1000. Filtering the interleaved
    // stream as one would keep the spike (its neighbours would be right samples).
    std::vector<std::int16_t> stereo;
    const std::int16_t left[] = {0, 0, 0, 300, 0, 0, 0};
    for (std::int16_t l : left) {
        stereo.push_back(l);
        stereo.push_back(1000);
    }
    std::vector<std::int16_t> expected = stereo;
    expected[6] = 0;
    EXPECT_EQ(Filtered(stereo, 2), expected);
    EXPECT_EQ(Filtered(stereo, 1), stereo);
}

// --- The mark configuration of a part --------------------------------------------------------

TEST(SetupWatermark, ConfigurationFromTheFileAndTheRandomSource) {
    TCrcWaveFile wave;
    SetPcmFormat(&wave.GetFormat(), 2, 8000, 16);
    TWaveAddInfo info;
    info.RecordTime = {2001, 2, 0, 3, 4, 5, 6, 0};
    ASSERT_TRUE(wave.SetAddInfo(BuildWaveAddInfo(info)));
    const std::string serial = "123456789012345678901234"; // cut to 20
    for (bool highest : {false, true}) {
        SCOPED_TRACE(highest);
        const TMarkRandom random = [highest](std::uint32_t n) { return highest ? n - 1 : 0; };
        const TMarkConfig c = MakeWatermarkConfig(wave, 3, 1, serial, random);
        EXPECT_EQ(std::string(c.Identity.begin(), c.Identity.end()), serial.substr(0, 20));
        EXPECT_EQ(c.Flags, 3);
        EXPECT_EQ(c.RecordTime, 981173106u); // 2001-02-03 04:05:06
        EXPECT_EQ(c.SampleRate, 8000);
        EXPECT_EQ(c.Channels, 2);
        EXPECT_EQ(c.BitsPerSample, 16);
        EXPECT_EQ(c.InfoA, 3);
        EXPECT_EQ(c.InfoB, 1);
        EXPECT_FLOAT_EQ(c.Tones[0].Frequency, highest ? 14.0f : 5.0f);
        EXPECT_FLOAT_EQ(c.Tones[1].Frequency, highest ? 3750.0f : 3550.0f);
        EXPECT_FLOAT_EQ(c.Tones[2].Frequency, highest ? 3950.0f : 3755.0f);
        EXPECT_EQ(c.Tones[0].Amplitude, 80);
        EXPECT_EQ(c.Tones[1].Amplitude, 6);
        EXPECT_EQ(c.Tones[2].Amplitude, 6);
    }
    wave.ClearAddInfo();
    EXPECT_EQ(MakeWatermarkConfig(wave, 0, 0, "", MakeTimeSeededMarkRandom()).RecordTime, 0u);
    EXPECT_EQ(SystemTimeToMarkSeconds({1969, 12, 3, 31, 23, 59, 59, 0}), 0u);
    EXPECT_EQ(SystemTimeToMarkSeconds({2020, 13, 0, 1, 0, 0, 0, 0}), 0u);
}

// --- The sink --------------------------------------------------------------------------------

const TMarkRandom MiddleRandom = [](std::uint32_t n) { return n / 2; };

struct TSinkFixture {
    TTempDir Dir;
    TCrcWaveFile Wave;
    std::unique_ptr<TRecorderWaveFile> Sink;
    std::vector<std::pair<std::string, std::string>> Reports;

    TSinkFixture(std::uint16_t channels, std::uint16_t bits, bool withAddInfo,
                 const std::string& name = "call.wav") {
        Wave.SetFileName(Dir.File(name));
        SetPcmFormat(&Wave.GetFormat(), channels, 8000, bits);
        Sink = std::make_unique<TRecorderWaveFile>(Wave);
        if (withAddInfo) {
            TWaveAddInfo info;
            info.SerialNumber = u"SER12345";
            info.ModelName = u"Q70";
            info.RecordTime = {2024, 3, 5, 15, 10, 20, 30, 0};
            info.SourceCompression = 2;
            EXPECT_TRUE(Wave.SetAddInfo(BuildWaveAddInfo(info)));
        }
        Sink->SetSerialNumber("SER12345");
        Sink->SetSourceCompression(2);
        Sink->SetUploaded(withAddInfo ? 0 : 1);
        Sink->SetRandomSource(MiddleRandom);
        Sink->SetErrorReport([this](const std::string& caption, const std::string& text) {
            Reports.emplace_back(caption, text);
        });
    }

    void WriteAll(const std::vector<std::uint8_t>& input, const std::vector<std::size_t>& pieces) {
        std::size_t at = 0;
        for (std::size_t piece : pieces) {
            ASSERT_EQ(Sink->Write(input.data() + at, static_cast<std::int32_t>(piece)),
                      static_cast<std::int32_t>(piece));
            at += piece;
        }
        ASSERT_EQ(at, input.size());
        ASSERT_TRUE(Sink->Finish());
    }
};

struct TPart {
    std::vector<std::uint8_t> Data;
    std::vector<std::uint8_t> AddInfo;
    bool HasAddInfo = false;
    std::uint64_t FileSize = 0;
};

TPart ReadPart(const std::string& path) {
    TPart part;
    TWaveFile wave;
    wave.SetFileName(path);
    EXPECT_TRUE(wave.Open()) << path;
    part.Data.resize(wave.GetDataSize());
    EXPECT_EQ(wave.Read(part.Data.data(), static_cast<std::int32_t>(part.Data.size())),
              static_cast<std::int32_t>(part.Data.size()));
    part.HasAddInfo = wave.HasAddInfo();
    part.AddInfo = wave.GetAddInfo();
    wave.Close();
    part.FileSize = std::filesystem::file_size(path);
    return part;
}

std::int32_t CheckData(const std::vector<std::uint8_t>& data, const std::uint8_t* trailer) {
    return MarkCheck(testsupport::ByteStreamReader(data), trailer, nullptr);
}

// What a part must hold: its own records, check word and mark in the add-info.
void ExpectWholePart(const TPart& part) {
    ASSERT_GE(part.Data.size(), 128u);
    const std::uint8_t* trailer = part.Data.data() + part.Data.size() - 64;
    EXPECT_EQ(CheckData(part.Data, trailer), 0);
    if (!part.HasAddInfo)
        return;
    ASSERT_EQ(part.AddInfo.size(), 170u);
    const TWaveAddInfo info = ParseWaveAddInfo(part.AddInfo.data(), 170);
    EXPECT_EQ(info.CheckWord,
              EncodeWaveCheckWord(5, wavetest::ZlibRegister(part.Data.data(), part.Data.size())));
    EXPECT_EQ(std::memcmp(info.MarkRecord.data(), trailer, 64), 0);
    EXPECT_EQ(info.SerialNumber, u"SER12345");
}

// A smooth stereo signal the spike filter leaves alone, different in every frame.
std::vector<std::uint8_t> Triangle(std::size_t frames) {
    std::vector<std::int16_t> samples;
    for (std::size_t i = 0; i < frames; ++i) {
        const int phase = static_cast<int>(i % 8000);
        const int v = (phase < 4000 ? phase : 8000 - phase) * 5 - 10000;
        samples.push_back(static_cast<std::int16_t>(v));
        samples.push_back(static_cast<std::int16_t>(-v / 2));
    }
    return SampleBytes(samples);
}

TEST(RecorderWaveFile, OneFileUnderTheBaseNameWhenTheLimitIsNotReached) {
    TSinkFixture f(1, 16, true);
    std::vector<std::int16_t> samples(30000);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>((i * 13) % 3000);
    const auto input = SampleBytes(samples);
    f.WriteAll(input, {10000, 20000, 30000});
    EXPECT_EQ(f.Dir.EntryCount(), 1u);
    EXPECT_EQ(f.Sink->GetPartFileNames(), std::vector<std::string>{f.Dir.File("call.wav")});
    const TPart part = ReadPart(f.Dir.File("call.wav"));
    EXPECT_EQ(part.Data.size(), input.size() + 128);
    ExpectWholePart(part);
    const TMarkRecord trailer =
        DecodeMarkRecord(UnscrambleMarkRecord(part.Data.data() + part.Data.size() - 64));
    EXPECT_EQ(trailer.InfoA, 2);
    EXPECT_EQ(trailer.InfoB, 0);
    EXPECT_EQ(trailer.ByteCounter, input.size());
    EXPECT_EQ(trailer.RecordTime, SystemTimeToMarkSeconds({2024, 3, 5, 15, 10, 20, 30, 0}));
    EXPECT_EQ(std::memcmp(trailer.Identity.data(), "SER12345\0", 9), 0);
    EXPECT_TRUE(f.Reports.empty());
}

TEST(RecorderWaveFile, SplitPartsAreWholeAndLoseNothing) {
    TSinkFixture f(2, 16, true);
    ASSERT_TRUE(f.Sink->SetMaxPartSize(64 * 1024));
    const auto input = Triangle(90000); // 360000 bytes: six parts
    // Pieces that are whole samples but not whole frames, one spanning several parts.
    f.WriteAll(input, {10002, 7778, 150000, 2, 62218, 130000});
    const auto& names = f.Sink->GetPartFileNames();
    ASSERT_EQ(names.size(), 6u);
    EXPECT_EQ(f.Dir.EntryCount(), 6u);
    std::vector<std::uint8_t> audio;
    for (std::size_t n = 0; n < names.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(names[n], n == 0 ? f.Dir.File("call.wav")
                                   : f.Dir.File("call_000" + std::to_string(n) + ".wav"));
        const TPart part = ReadPart(names[n]);
        ExpectWholePart(part);
        EXPECT_LE(part.FileSize, 64u * 1024u);
        if (n + 1 < names.size()) {
            EXPECT_GT(part.FileSize, 64u * 1024u - 4u); // cut on the last frame that fits
        }
        EXPECT_EQ((part.Data.size() - 128) % 4, 0u); // whole frames
        audio.insert(audio.end(), part.Data.begin() + 64, part.Data.end() - 64);
    }
    ASSERT_EQ(audio.size(), input.size());
    // The marked audio stays within the tones and bit 0 of the input, in order.
    const auto in = Samples(input.data(), input.size());
    const auto out = Samples(audio.data(), audio.size());
    int worst = 0;
    for (std::size_t i = 0; i < in.size(); ++i)
        worst = std::max(worst, std::abs(in[i] - out[i]));
    EXPECT_LE(worst, 94);
}

TEST(RecorderWaveFile, EachPartIsTheMarkStreamOfItsFilteredAudio) {
    TSinkFixture f(2, 16, false);
    ASSERT_TRUE(f.Sink->SetMaxPartSize(20000));
    std::vector<std::int16_t> samples(24000);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(i % 97 == 0 ? 20000 : (i % 5) * 3);
    const auto input = SampleBytes(samples);
    const std::vector<std::size_t> pieces = {30000, 18000};
    f.WriteAll(input, pieces);
    ASSERT_EQ(f.Sink->GetPartFileNames().size(), 3u);
    // The filter runs once on each write's whole buffer, each channel apart.
    std::vector<std::uint8_t> filtered = input;
    FilterSpikes(filtered.data(), 15000, 2);
    FilterSpikes(filtered.data() + 30000, 9000, 2);
    ASSERT_NE(filtered, input);

    // The sink hands each write's share of a part to the mark stream in one call.
    std::vector<std::size_t> writeEnds;
    std::size_t end = 0;
    for (std::size_t piece : pieces)
        writeEnds.push_back(end += piece);
    std::size_t at = 0;
    for (const std::string& name : f.Sink->GetPartFileNames()) {
        SCOPED_TRACE(name);
        const TPart part = ReadPart(name);
        EXPECT_FALSE(part.HasAddInfo);
        const std::size_t partEnd = at + part.Data.size() - 128;
        TCrcWaveFile probe;
        SetPcmFormat(&probe.GetFormat(), 2, 8000, 16);
        SetupWatermark(probe, 2, 1, "SER12345", MiddleRandom);
        std::vector<std::uint8_t> expected;
        const std::uint8_t* out = nullptr;
        std::int32_t count = 0;
        while (at < partEnd) {
            const std::size_t next =
                std::min(partEnd, *std::upper_bound(writeEnds.begin(), writeEnds.end(), at));
            mrk_Process(filtered.data() + at, static_cast<std::int32_t>(next - at), &out, &count);
            expected.insert(expected.end(), out, out + count);
            at = next;
        }
        mrk_Process(nullptr, 0, &out, &count);
        expected.insert(expected.end(), out, out + count);
        EXPECT_EQ(part.Data, expected);
    }
    EXPECT_EQ(at, input.size());
}

TEST(RecorderWaveFile, EightBitDataIsNotFiltered) {
    TSinkFixture f(1, 8, false);
    std::vector<std::uint8_t> input(3000, 0x80);
    for (std::size_t i = 10; i < input.size(); i += 50)
        input[i] = 0xFF;
    f.WriteAll(input, {input.size()});
    const TPart part = ReadPart(f.Dir.File("call.wav"));
    TCrcWaveFile probe;
    SetPcmFormat(&probe.GetFormat(), 1, 8000, 8);
    SetupWatermark(probe, 2, 1, "SER12345", MiddleRandom);
    std::vector<std::uint8_t> expected;
    const std::uint8_t* out = nullptr;
    std::int32_t count = 0;
    mrk_Process(input.data(), 3000, &out, &count);
    expected.insert(expected.end(), out, out + count);
    mrk_Process(nullptr, 0, &out, &count);
    expected.insert(expected.end(), out, out + count);
    EXPECT_EQ(part.Data, expected);
}

TEST(RecorderWaveFile, NoDataWritesNothing) {
    TSinkFixture f(1, 16, true);
    EXPECT_EQ(f.Sink->Write(nullptr, 10), 0);
    EXPECT_FALSE(f.Sink->HasFailed());
    EXPECT_TRUE(f.Sink->Finish());
    EXPECT_EQ(f.Dir.EntryCount(), 0u);
}

TEST(RecorderWaveFile, PartSizeLimits) {
    TCrcWaveFile wave;
    TRecorderWaveFile sink(wave);
    EXPECT_EQ(sink.GetMaxPartSize(), 0xFFFFFC00u);
    EXPECT_FALSE(sink.SetMaxPartSize(4095));
    EXPECT_EQ(sink.GetMaxPartSize(), 0xFFFFFC00u);
    EXPECT_TRUE(sink.SetMaxPartSize(4096));
    EXPECT_EQ(sink.GetMaxPartSize(), 4096u);
    EXPECT_TRUE(sink.SetMaxPartSize(5000ull * 1024 * 1024)); // no wrap past 4 GiB
    EXPECT_EQ(sink.GetMaxPartSize(), 0xFFFFFC00u);
}

TEST(RecorderWaveFile, SmallestLimitStillMakesProgress) {
    TSinkFixture f(1, 16, true);
    ASSERT_TRUE(f.Sink->SetMaxPartSize(4096));
    const auto input = SampleBytes(std::vector<std::int16_t>(10000, 100));
    f.WriteAll(input, {input.size()});
    std::size_t audio = 0;
    for (const std::string& name : f.Sink->GetPartFileNames()) {
        const TPart part = ReadPart(name);
        EXPECT_LE(part.FileSize, 4096u);
        ExpectWholePart(part);
        audio += part.Data.size() - 128;
    }
    EXPECT_EQ(audio, input.size());
}

TEST(RecorderWaveFile, PartThatCannotBeCreatedIsReported) {
    TSinkFixture f(1, 16, true, "missing/folder/call.wav");
    f.Sink->SetMessageCaption("Quorvex 1.0");
    const auto input = SampleBytes(std::vector<std::int16_t>(100, 1));
    EXPECT_EQ(f.Sink->Write(input.data(), 200), 0);
    ASSERT_EQ(f.Reports.size(), 1u);
    EXPECT_EQ(f.Reports[0].first, "Quorvex 1.0");
    EXPECT_EQ(f.Reports[0].second,
              "Can't create (modify) file call.wav\nNo such file or directory");
    // The read stops here; a later write or the final close reports nothing more.
    EXPECT_EQ(f.Sink->Write(input.data(), 200), 0);
    EXPECT_EQ(f.Reports.size(), 1u);
    EXPECT_TRUE(f.Sink->HasFailed());
    EXPECT_FALSE(f.Sink->Finish());
    EXPECT_TRUE(f.Sink->GetPartFileNames().empty());
}

TEST(RecorderWaveFile, UploadedRecordingHasNoAddInfoButIsMarked) {
    TSinkFixture f(1, 16, false);
    const auto input = SampleBytes(std::vector<std::int16_t>(5000, -7));
    f.WriteAll(input, {input.size()});
    const TPart part = ReadPart(f.Dir.File("call.wav"));
    EXPECT_FALSE(part.HasAddInfo);
    ExpectWholePart(part);
    const TMarkRecord trailer =
        DecodeMarkRecord(UnscrambleMarkRecord(part.Data.data() + part.Data.size() - 64));
    EXPECT_EQ(trailer.InfoB, 1);
    EXPECT_EQ(trailer.RecordTime, 0u);
}

} // namespace

// --- A download killed at any step -----------------------------------------------------------

namespace {

int StepsLeft = 0;
bool NoUnnamedFiles = false;

int KillingHook(const char* call) {
    if (--StepsLeft == 0)
        ::raise(SIGKILL);
    return NoUnnamedFiles && std::strcmp(call, "open_tmpfile") == 0 ? EOPNOTSUPP : 0;
}

const std::vector<std::uint8_t> KillInput = SampleBytes(std::vector<std::int16_t>(6000, 100));

// The split download of the sink into folder; true when it finished.
bool SplitDownload(const std::string& folder, std::vector<std::string>* parts = nullptr) {
    TCrcWaveFile wave;
    wave.SetFileName(folder + "/call.wav");
    SetPcmFormat(&wave.GetFormat(), 1, 8000, 16);
    TRecorderWaveFile sink(wave);
    sink.SetMaxPartSize(4096);
    sink.SetUploaded(1);
    sink.SetRandomSource(MiddleRandom);
    for (std::size_t at = 0; at < KillInput.size(); at += 1000) {
        const auto piece =
            static_cast<std::int32_t>(std::min<std::size_t>(1000, KillInput.size() - at));
        if (sink.Write(KillInput.data() + at, piece) != piece)
            return false;
    }
    const bool finished = sink.Finish();
    if (parts != nullptr)
        *parts = sink.GetPartFileNames();
    return finished;
}

TEST(RecorderWaveFile, AKilledSplitDownloadLeavesEachPartOldOrWholeAndNothingAfterTheNextRun) {
    std::vector<std::string> names;
    {
        TTempDir reference;
        ASSERT_TRUE(SplitDownload(reference.Path.string(), &names));
        for (std::string& name : names)
            name = std::filesystem::path(name).filename().string();
        ASSERT_GE(names.size(), 3u);
    }
    const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
    for (const bool noUnnamedFiles : {false, true}) {
        SCOPED_TRACE(noUnnamedFiles ? "named temporaries" : "unnamed temporaries");
        TTempDir dir;
        bool finished = false;
        for (int killAt = 1; !finished && killAt < 5000; ++killAt) {
            // The user has files under the first two part names.
            for (std::size_t i = 0; i < names.size(); ++i) {
                std::filesystem::remove(dir.File(names[i]));
                if (i < 2)
                    wavetest::WriteAll(dir.File(names[i]), old);
            }
            StepsLeft = killAt;
            NoUnnamedFiles = noUnnamedFiles;
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                SetFileStepHook(KillingHook);
                ::_exit(SplitDownload(dir.Path.string()) ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            finished = WIFEXITED(status);
            if (finished) {
                ASSERT_EQ(WEXITSTATUS(status), 0);
            }
            for (std::size_t i = 0; i < names.size(); ++i) {
                SCOPED_TRACE(names[i] + ", kill at step " + std::to_string(killAt));
                const std::string path = dir.File(names[i]);
                if (!std::filesystem::exists(path)) {
                    EXPECT_FALSE(i < 2 || finished);
                    continue;
                }
                if (!finished && i < 2 && wavetest::ReadAll(path) == old)
                    continue;
                ExpectWholePart(ReadPart(path));
            }
            RemoveStaleTemporaries(dir.Path.string());
            for (const auto& entry : std::filesystem::directory_iterator(dir.Path)) {
                const std::string name = entry.path().filename().string();
                EXPECT_NE(std::find(names.begin(), names.end(), name), names.end())
                    << name << " left over, kill at step " << killAt;
            }
        }
        EXPECT_TRUE(finished);
    }
}

} // namespace
