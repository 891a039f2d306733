#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

#include "WaveTestSupport.h"
#include "audio/SorvaneError.h"
#include "audio/SorvaneExport.h"
#include "audio/SorvaneSample.h"
#include "audio/SorvaneSoxChain.h"
#include "audio/SorvaneWaveFile.h"
#include "i18n/VexaLang.h"
#include "platform/ByteOrder.h"
#include "platform/PosixFile.h"
#include "tests/support/BoundedWait.h"

namespace {

using wavetest::ReadAll;
using wavetest::TTempDir;
using wavetest::WriteAll;

constexpr double Pi = 3.14159265358979323846;

// Interleaved 16-bit tones, channel c at frequencies[c].
std::vector<std::uint8_t> MakeTone(std::uint32_t rate, const std::vector<double>& frequencies,
                                   double seconds, double amplitude) {
    const std::size_t frames = static_cast<std::size_t>(rate * seconds);
    const std::size_t channels = frequencies.size();
    std::vector<std::uint8_t> bytes(frames * channels * 2);
    for (std::size_t i = 0; i < frames; ++i)
        for (std::size_t c = 0; c < channels; ++c) {
            const double v = amplitude * std::sin(2 * Pi * frequencies[c] * i / rate);
            PutU16(bytes.data() + 2 * (i * channels + c),
                   static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(v))));
        }
    return bytes;
}

// Feeds bytes to the sink in blocks of blockSize (the last one shorter); false when a write
// did not take its whole block.
bool FeedInBlocks(TCustomFile& sink, const std::vector<std::uint8_t>& bytes,
                  std::size_t blockSize) {
    for (std::size_t at = 0; at < bytes.size(); at += blockSize) {
        const auto count = static_cast<std::int32_t>(std::min(blockSize, bytes.size() - at));
        if (sink.Write(bytes.data() + at, count) != count)
            return false;
    }
    return true;
}

struct TRawFile {
    std::uint32_t HeaderLength = 0;
    bool HeaderRestIsZero = false;
    std::vector<std::uint16_t> Samples; // the stored 12-bit values
};

TRawFile ReadRaw(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadAll(path);
    TRawFile raw;
    if (bytes.size() < SorvaneHeaderSize)
        return raw;
    raw.HeaderLength = GetU32(bytes.data());
    raw.HeaderRestIsZero = std::all_of(bytes.begin() + 4, bytes.begin() + SorvaneHeaderSize,
                                       [](std::uint8_t b) { return b == 0; });
    for (std::size_t at = SorvaneHeaderSize; at + 1 < bytes.size(); at += 2)
        raw.Samples.push_back(GetU16(bytes.data() + at));
    return raw;
}

// One channel of interleaved 12-bit values, centred on 0.
std::vector<double> Channel(const std::vector<std::uint16_t>& samples, std::size_t channels,
                            std::size_t channel) {
    std::vector<double> out;
    for (std::size_t i = channel; i < samples.size(); i += channels)
        out.push_back(static_cast<double>(samples[i]) - 2048.0);
    return out;
}

// The frequency from the upward zero crossings of the middle of the signal, interpolated.
double MeasureFrequency(const std::vector<double>& x, double rate) {
    const std::size_t from = x.size() / 10;
    const std::size_t to = x.size() - x.size() / 10;
    double first = -1;
    double last = -1;
    int crossings = 0;
    for (std::size_t i = from; i + 1 < to; ++i)
        if (x[i] < 0 && x[i + 1] >= 0) {
            const double t = i + (-x[i]) / (x[i + 1] - x[i]);
            if (first < 0)
                first = t;
            last = t;
            ++crossings;
        }
    if (crossings < 2)
        return 0;
    return (crossings - 1) * rate / (last - first);
}

double Peak(const std::vector<double>& x) {
    double peak = 0;
    for (std::size_t i = x.size() / 10; i < x.size() - x.size() / 10; ++i)
        peak = std::max(peak, std::fabs(x[i]));
    return peak;
}

// The threads of the process. A sanitizer's runtime starts a helper thread of its own with the
// first thread the program makes, so one thread is made and joined before any counting.
std::size_t ThreadCount() {
    static const bool helperStarted = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)helperStarted;
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                      std::filesystem::directory_iterator()));
}

struct TReports {
    std::vector<std::string> Captions;
    std::vector<std::string> Texts;
    TSinkErrorReport Callback() {
        return [this](const std::string& caption, const std::string& text) {
            Captions.push_back(caption);
            Texts.push_back(text);
        };
    }
};

// Reports as a window shows them: a message box can only be shown from the window's thread,
// so a report from any other thread would have to wait for that thread.
struct TOwnerThreadReports {
    std::thread::id Owner = std::this_thread::get_id();
    std::vector<std::string> Texts;
    std::atomic<int> FromOtherThreads{0};
    TSinkErrorReport Callback() {
        return [this](const std::string&, const std::string& text) {
            if (std::this_thread::get_id() != Owner)
                ++FromOtherThreads;
            else
                Texts.push_back(text);
        };
    }
};

// Files this process writes end at a size, as on a disk that fills up: a write past it fails
// with EFBIG instead of raising SIGXFSZ.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &Old);
        OldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = Old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &Old);
        std::signal(SIGXFSZ, OldHandler);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    rlimit Old{};
    void (*OldHandler)(int) = SIG_DFL;
};

// The 12-bit values the export writes, worked out independently of ToSorvaneSample.
TEST(SorvaneSample, TwelveBitsWithOffset) {
    static_assert(ToSorvaneSample(32767) == 4095);
    const struct {
        std::int16_t In;
        std::uint16_t Out;
    } cases[] = {{32767, 4095}, {-32768, 0}, {-1, 2048}, {-16, 2047}, {-17, 2047},
                 {0, 2048},     {15, 2048},  {16, 2049}, {-15, 2048}, {32752, 4095}};
    for (const auto& c : cases)
        EXPECT_EQ(ToSorvaneSample(c.In), c.Out) << c.In;
}

struct TToneCase {
    std::uint32_t Rate;
    std::vector<double> Frequencies;
};

class SorvaneExportTone : public ::testing::TestWithParam<TToneCase> {};

TEST_P(SorvaneExportTone, ResampledToneKeepsCountFrequencyAndLevel) {
    const TToneCase& tone = GetParam();
    const std::size_t channels = tone.Frequencies.size();
    const double seconds = 1.5;
    const double amplitude = 20000;
    const std::vector<std::uint8_t> input =
        MakeTone(tone.Rate, tone.Frequencies, seconds, amplitude);
    TTempDir dir;
    const std::string name = dir.File("tone.raw");
    TReports reports;
    std::string error;
    // Odd block sizes split samples and frames across writes.
    ASSERT_TRUE(ExportSorvaneRaw(
        name, static_cast<std::uint16_t>(channels), tone.Rate,
        [&](TCustomFile& sink) { return FeedInBlocks(sink, input, 1001); }, reports.Callback(),
        &error))
        << error;
    EXPECT_TRUE(reports.Texts.empty());
    EXPECT_EQ(dir.EntryCount(), 1u); // no temporary file left

    const TRawFile raw = ReadRaw(name);
    EXPECT_EQ(raw.HeaderLength, std::filesystem::file_size(name));
    EXPECT_TRUE(raw.HeaderRestIsZero);
    ASSERT_EQ(raw.Samples.size() % channels, 0u);
    const double inputFrames = static_cast<double>(input.size() / (2 * channels));
    const double expectedFrames = inputFrames * SorvaneSampleRate / tone.Rate;
    EXPECT_NEAR(static_cast<double>(raw.Samples.size() / channels), expectedFrames, 2.0);
    EXPECT_TRUE(std::all_of(raw.Samples.begin(), raw.Samples.end(),
                            [](std::uint16_t s) { return s <= 4095; }));
    for (std::size_t c = 0; c < channels; ++c) {
        const std::vector<double> x = Channel(raw.Samples, channels, c);
        EXPECT_NEAR(MeasureFrequency(x, SorvaneSampleRate), tone.Frequencies[c],
                    tone.Frequencies[c] * 0.002)
            << "channel " << c;
        EXPECT_NEAR(Peak(x), amplitude / 16, amplitude / 16 * 0.02) << "channel " << c;
    }
}

INSTANTIATE_TEST_SUITE_P(RatesAndChannels, SorvaneExportTone,
                         ::testing::Values(TToneCase{8000, {440}}, TToneCase{16000, {1000}},
                                           TToneCase{40000, {3000}}, TToneCase{8000, {440, 1250}},
                                           TToneCase{16000, {700, 2100}},
                                           TToneCase{40000, {330, 4400}}),
                         [](const ::testing::TestParamInfo<TToneCase>& tone) {
                             return std::string(tone.param.Frequencies.size() == 1 ? "Mono"
                                                                                   : "Stereo") +
                                    std::to_string(tone.param.Rate) + "Hz";
                         });

// The sox program's own "rate -v" over the same raw input, undithered so that both sides
// round alike; each 12-bit value may differ by one where the two round across a step.
void CompareWithSoxProgram(std::uint32_t rate, const std::vector<double>& frequencies) {
    const auto channels = static_cast<std::uint16_t>(frequencies.size());
    TTempDir dir;
    // Two tones per channel make a signal whose every sample matters.
    std::vector<std::uint8_t> input = MakeTone(rate, frequencies, 1.0, 12000);
    const std::vector<std::uint8_t> second = MakeTone(rate, {frequencies.back() * 2.3}, 1.0, 6000);
    for (std::size_t i = 0; i < input.size() / 2; ++i) {
        const auto sum = static_cast<std::int16_t>(GetI16(input.data() + 2 * i) +
                                                   GetI16(second.data() + 2 * (i / channels)));
        PutU16(input.data() + 2 * i, static_cast<std::uint16_t>(sum));
    }
    WriteAll(dir.File("in.raw"), input);
    const std::string command = "sox -D -r " + std::to_string(rate) + " -e signed -b 16 -c " +
                                std::to_string(channels) + " '" + dir.File("in.raw") + "' '" +
                                dir.File("out.raw") + "' rate -v 11150 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::vector<std::uint8_t> reference = ReadAll(dir.File("out.raw"));

    std::string error;
    ASSERT_TRUE(ExportSorvaneRaw(
        dir.File("ours.raw"), channels, rate,
        [&](TCustomFile& sink) { return FeedInBlocks(sink, input, 4096); }, {}, &error))
        << error;
    const TRawFile ours = ReadRaw(dir.File("ours.raw"));
    ASSERT_EQ(ours.Samples.size(), reference.size() / 2);
    std::size_t differing = 0;
    for (std::size_t i = 0; i < ours.Samples.size(); ++i) {
        const int expected = ToSorvaneSample(GetI16(reference.data() + 2 * i));
        const int got = ours.Samples[i];
        ASSERT_LE(std::abs(got - expected), 1) << "sample " << i;
        differing += got != expected;
    }
    EXPECT_LT(differing, ours.Samples.size() / 100);
}

TEST(SorvaneExport, AgreesWithTheSoxProgram) {
    CompareWithSoxProgram(8000, {440});
    CompareWithSoxProgram(16000, {700, 1900});
    CompareWithSoxProgram(40000, {2500});
}

// Write must not return before the conversion has read the block: a caller that reuses
// (and scribbles over) its buffer at once gets the same file as one that never does.
TEST(SorvaneExport, BlockIsReadBeforeWriteReturns) {
    TTempDir dir;
    const std::vector<std::uint8_t> input = MakeTone(16000, {900, 1500}, 1.0, 15000);
    ASSERT_TRUE(ExportSorvaneRaw(dir.File("whole.raw"), 2, 16000, [&](TCustomFile& sink) {
        return FeedInBlocks(sink, input, input.size());
    }));
    ASSERT_TRUE(ExportSorvaneRaw(dir.File("reused.raw"), 2, 16000, [&](TCustomFile& sink) {
        std::vector<std::uint8_t> buffer(777);
        for (std::size_t at = 0; at < input.size(); at += buffer.size()) {
            const std::size_t n = std::min(buffer.size(), input.size() - at);
            std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(at), n, buffer.begin());
            if (sink.Write(buffer.data(), static_cast<std::int32_t>(n)) !=
                static_cast<std::int32_t>(n))
                return false;
            std::fill(buffer.begin(), buffer.end(), 0x7F);
        }
        return true;
    }));
    EXPECT_EQ(ReadAll(dir.File("whole.raw")), ReadAll(dir.File("reused.raw")));
}

TEST(SorvaneExport, NoAudioGivesHeaderOnly) {
    TTempDir dir;
    ASSERT_TRUE(
        ExportSorvaneRaw(dir.File("empty.raw"), 1, 8000, [](TCustomFile&) { return true; }));
    const TRawFile raw = ReadRaw(dir.File("empty.raw"));
    EXPECT_EQ(raw.HeaderLength, SorvaneHeaderSize);
    EXPECT_EQ(std::filesystem::file_size(dir.File("empty.raw")), SorvaneHeaderSize);
    EXPECT_TRUE(raw.HeaderRestIsZero);
}

// A cancelled or failed read leaves neither the file nor a temporary one, keeps a file that
// was there before, and leaves no thread behind.
TEST(SorvaneExport, CancelledReadLeavesNothingAndKeepsOldFile) {
    TTempDir dir;
    const std::string name = dir.File("old.raw");
    WriteAll(name, {1, 2, 3});
    const std::size_t threads = ThreadCount();
    const std::vector<std::uint8_t> input = MakeTone(8000, {440}, 1.0, 10000);
    std::string error;
    EXPECT_FALSE(ExportSorvaneRaw(
        name, 1, 8000,
        [&](TCustomFile& sink) {
            EXPECT_TRUE(FeedInBlocks(sink, input, 1024));
            return false; // the user cancelled
        },
        {}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadAll(name), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(dir.EntryCount(), 1u);
    EXPECT_EQ(ThreadCount(), threads);

    {
        TSorvaneExport abandoned; // dropped half way, as when the read throws
        ASSERT_TRUE(abandoned.Begin(dir.File("gone.raw"), 2, 16000));
        EXPECT_TRUE(FeedInBlocks(abandoned.GetSink(), MakeTone(16000, {1, 2}, 0.3, 100), 500));
    }
    EXPECT_EQ(dir.EntryCount(), 1u);
    EXPECT_EQ(ThreadCount(), threads);
}

TEST(SorvaneExport, SuccessReplacesOldFile) {
    TTempDir dir;
    const std::string name = dir.File("old.raw");
    WriteAll(name, std::vector<std::uint8_t>(5000, 0xEE));
    ASSERT_TRUE(ExportSorvaneRaw(name, 1, 8000, [](TCustomFile& sink) {
        return FeedInBlocks(sink, MakeTone(8000, {500}, 0.2, 1000), 800);
    }));
    const TRawFile raw = ReadRaw(name);
    EXPECT_EQ(raw.HeaderLength, std::filesystem::file_size(name));
    EXPECT_NEAR(raw.Samples.size(), 0.2 * 11150, 2);
    EXPECT_EQ(dir.EntryCount(), 1u);
}

TEST(SorvaneExport, BeginRefusesWhatItCannotDo) {
    TTempDir dir;
    const std::size_t threads = ThreadCount();
    {
        TReports reports;
        TSorvaneExport exported;
        exported.SetErrorReport(reports.Callback());
        EXPECT_FALSE(exported.Begin(dir.File("missing/x.raw"), 1, 8000));
        ASSERT_EQ(reports.Texts.size(), 1u);
        EXPECT_EQ(reports.Captions[0], "Quorvex");
        EXPECT_EQ(reports.Texts[0].rfind("Can't create (modify) file x.raw\n", 0), 0u)
            << reports.Texts[0];
        EXPECT_GT(reports.Texts[0].size(),
                  std::string("Can't create (modify) file x.raw\n").size());
        EXPECT_THROW(exported.GetSink(), ESorvaneError);
    }
    const struct {
        std::uint16_t Channels;
        std::uint32_t Rate;
    } unusable[] = {{0, 8000}, {1, 0}, {2, 500}, {1, 1000000}, {17, 8000}};
    for (const auto& u : unusable) {
        TReports reports;
        TSorvaneExport exported;
        exported.SetErrorReport(reports.Callback());
        EXPECT_FALSE(exported.Begin(dir.File("bad.raw"), u.Channels, u.Rate))
            << u.Channels << " " << u.Rate;
        EXPECT_FALSE(exported.GetError().empty());
        EXPECT_EQ(reports.Texts.size(), 1u);
        EXPECT_FALSE(exported.Finish());
    }
    EXPECT_EQ(dir.EntryCount(), 0u);
    EXPECT_EQ(ThreadCount(), threads);
}

// A disk that refuses the converted audio: "Can't write file" with the file's name and the
// system's reason once, Write gives 0 from then on, the conversion ends and reports failure.
TEST(SorvaneWaveFile, FailedFileWriteStopsTheExport) {
    TPosixFile full;
    ASSERT_TRUE(full.Open("/dev/full", TPosixFile::TMode::ReadWrite));
    const std::size_t threads = ThreadCount();
    TReports reports;
    {
        TSorvaneWaveFile sink(full);
        sink.SetErrorReport(reports.Callback());
        sink.SetFileName("/home/owner/call.raw");
        sink.StartConversion(1, 8000);
        const std::vector<std::uint8_t> input = MakeTone(8000, {440}, 2.0, 10000);
        std::int32_t result = 1;
        for (std::size_t at = 0; at < input.size() && result != 0; at += 1000)
            result = sink.Write(input.data() + at, 1000);
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(sink.HasFailed());
        EXPECT_EQ(sink.Write(input.data(), 1000), 0);
        EXPECT_FALSE(sink.FinishConversion());
        ASSERT_EQ(reports.Texts.size(), 1u);
        EXPECT_EQ(reports.Texts[0],
                  GetLangConstant("CantWriteStr") + " call.raw\nNo space left on device");
        EXPECT_EQ(reports.Captions[0], "Quorvex");
    }
    EXPECT_EQ(ThreadCount(), threads);
}

// The disk fills while the conversion is drained at the end of the file: the conversion
// thread's failed write is reported on the thread that drains it, after the conversion
// thread has ended (a window's message box from the conversion thread would wait for the
// window's thread, which waits for the conversion thread), and the export leaves nothing.
TEST(SorvaneExport, ADiskFillingAtTheEndIsReportedOnTheOwnersThreadAfterTheDrain) {
    TTempDir dir;
    const std::vector<std::uint8_t> input = MakeTone(8000, {440}, 1.0, 10000);
    const auto feed = [&](TCustomFile& sink) { return FeedInBlocks(sink, input, 4000); };
    ASSERT_TRUE(ExportSorvaneRaw(dir.File("whole.raw"), 1, 8000, feed));
    const auto whole = static_cast<rlim_t>(std::filesystem::file_size(dir.File("whole.raw")));
    std::filesystem::remove(dir.File("whole.raw"));

    const std::size_t threads = ThreadCount();
    TOwnerThreadReports reports;
    std::string error;
    bool exported = true;
    {
        TFileSizeLimit limit(whole - 2); // only the last converted block does not fit
        exported =
            ExportSorvaneRaw(dir.File("full.raw"), 1, 8000, feed, reports.Callback(), &error);
    }
    EXPECT_FALSE(exported);
    EXPECT_EQ(reports.FromOtherThreads.load(), 0);
    ASSERT_EQ(reports.Texts.size(), 1u);
    EXPECT_EQ(reports.Texts[0], GetLangConstant("CantWriteStr") + " full.raw\nFile too large");
    EXPECT_EQ(dir.EntryCount(), 0u);
    EXPECT_EQ(ThreadCount(), threads);
}

TEST(SorvaneWaveFile, LengthMustFitTheHeader) {
    TTempDir dir;
    TPosixFile file;
    ASSERT_TRUE(file.Open(dir.File("big.raw"), TPosixFile::TMode::CreateTruncate));
    TReports reports;
    TSorvaneWaveFile sink(file);
    sink.SetErrorReport(reports.Callback());
    sink.SetFileName(dir.File("big.raw"));
    EXPECT_TRUE(sink.AddByteCount(0xFFFFF000u));
    EXPECT_FALSE(sink.AddByteCount(0x2000u));
    EXPECT_EQ(sink.GetByteCount(), 0xFFFFF000u);
    sink.StartConversion(1, 11025);
    const std::vector<std::uint8_t> input = MakeTone(11025, {440}, 1.0, 10000);
    EXPECT_FALSE(FeedInBlocks(sink, input, 2000));
    EXPECT_FALSE(sink.FinishConversion());
    EXPECT_LE(sink.GetByteCount(), 0xFFFFFFFFu);
    ASSERT_EQ(reports.Texts.size(), 1u);
    EXPECT_EQ(reports.Texts[0], GetLangConstant("CantWriteStr") + " big.raw\nFile too large");
}

TEST(SorvaneWaveFile, WritesNeedARunningConversion) {
    TTempDir dir;
    TPosixFile file;
    ASSERT_TRUE(file.Open(dir.File("x.raw"), TPosixFile::TMode::CreateTruncate));
    TSorvaneWaveFile sink(file);
    std::uint8_t block[64] = {};
    EXPECT_EQ(sink.Read(block, 64), 0);
    EXPECT_EQ(sink.Write(block, 64), 0); // not started
    sink.StartConversion(1, 8000);
    EXPECT_EQ(sink.Write(block, 0), 0);
    EXPECT_EQ(sink.Write(block, 64), 64);
    EXPECT_THROW(sink.StartConversion(1, 8000), ESorvaneError);
    sink.CancelConversion();
    EXPECT_EQ(sink.Write(block, 64), 0);
    EXPECT_FALSE(sink.FinishConversion());
}

// A cancel from another thread releases a writer and ends the conversion thread.
TEST(SorvaneWaveFile, CancelReleasesAWriterOnAnotherThread) {
    TTempDir dir;
    TPosixFile file;
    ASSERT_TRUE(file.Open(dir.File("x.raw"), TPosixFile::TMode::CreateTruncate));
    const std::size_t threads = ThreadCount();
    {
        TSorvaneWaveFile sink(file);
        sink.StartConversion(2, 40000);
        const std::vector<std::uint8_t> block = MakeTone(40000, {100, 200}, 0.05, 1000);
        std::atomic<int> accepted{0};
        std::atomic<bool> refused{false};
        std::thread writer([&] {
            while (sink.Write(block.data(), static_cast<std::int32_t>(block.size())) != 0)
                ++accepted;
            refused = true;
        });
        EXPECT_TRUE(testsupport::WaitUntil([&] { return accepted.load() >= 3 || refused.load(); }));
        sink.CancelConversion();
        writer.join();
        EXPECT_TRUE(refused.load());
        EXPECT_TRUE(sink.HasFailed());
    }
    EXPECT_EQ(ThreadCount(), threads);
}

// Every libsox refusal reaches the caller as an exception with libsox's reason.
TEST(SorvaneSoxChain, LibsoxRefusalsAreReported) {
    TSorvaneSoxChain chain(1, 8000, 11150);
    EXPECT_THROW(chain.AddEffect("no-such-effect", {}), ESorvaneError);
    try {
        chain.AddEffect("rate", {"-v", "not-a-rate"});
        FAIL() << "bad options were accepted";
    } catch (const ESorvaneError& e) {
        EXPECT_NE(std::string(e.what()).find("rate"), std::string::npos) << e.what();
    }
    EXPECT_THROW(chain.Flow({}), ESorvaneError); // no source, no target
    EXPECT_THROW(TSorvaneSoxChain(0, 8000, 11150), ESorvaneError);
    EXPECT_THROW(TSorvaneSoxChain(1, 8000, 10), ESorvaneError);
}

// A callback that throws ends the flow with an error instead of unwinding through libsox.
TEST(SorvaneSoxChain, CallbackFailureEndsTheFlow) {
    TSorvaneSoxChain chain(1, 8000, 11150);
    int fills = 0;
    chain.AddSource([&](std::int16_t* samples, std::size_t capacity) -> std::size_t {
        if (++fills > 3)
            throw std::runtime_error("source broke");
        std::fill_n(samples, capacity, std::int16_t{100});
        return capacity;
    });
    chain.AddEffect("rate", {"-v", "11150"});
    std::size_t taken = 0;
    chain.AddTarget([&](const std::int16_t*, std::size_t n) {
        taken += n;
        return true;
    });
    try {
        chain.Flow({});
        FAIL() << "the flow ended normally";
    } catch (const ESorvaneError& e) {
        EXPECT_STREQ(e.what(), "source broke");
    }
}

} // namespace
