#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

#include "FixtureDevice.h"
#include "FixtureFlash.h"
#include "audio/Codecsfunc.h"
#include "audio/CustomFile.h"
#include "engine/RecClasses.h"
#include "link/ReedSolomon.h"
#include "platform/PosixFile.h"
#include "tests/support/TempDir.h"

namespace {

using namespace fixture;
using testsupport::TTempDir;
using TKind = TOperationOutcome::TKind;

constexpr std::uint16_t FirmwareClass0 = 0x0105; // model 1: drive files with error correction
constexpr std::uint16_t FirmwareClass2 = 0x0A05; // model 10: drive files without it
constexpr std::uint16_t FirmwareClass4 = 0x0305; // model 3: channel modes (stereo)

// Takes the PCM of a read; can refuse its n-th write or run a hook before each write.
class TMemorySink : public TCustomFile {
public:
    std::int32_t Read(void*, std::int32_t) override { return 0; }
    std::int32_t Write(const void* data, std::int32_t count) override {
        ++Writes;
        if (Writes == RefuseAt)
            return 0;
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        Data.insert(Data.end(), bytes, bytes + count);
        return count;
    }
    Bytes Data;
    int Writes = 0;
    int RefuseAt = -1;
};

struct TCodec {
    const char* Name;
    std::uint8_t Type;
    std::uint8_t Param;
};
const TCodec Codecs[] = {
    {"plain", 0, 0},  {"uLawScale1", 1, 0}, {"uLawScale16", 1, 4},
    {"adpcm4", 2, 2}, {"adpcm2", 2, 1},
};

// A test signal: two tones and some noise, well inside 16 bits.
std::vector<std::int16_t> Signal(std::size_t samples, unsigned seed = 7) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-300, 300);
    std::vector<std::int16_t> s(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        const double t = static_cast<double>(i) / 8000.0;
        const double v = 6000 * std::sin(2 * M_PI * 440 * t) + 2500 * std::sin(2 * M_PI * 1230 * t);
        s[i] = static_cast<std::int16_t>(v + noise(random));
    }
    return s;
}

Bytes Pcm(std::span<const std::int16_t> samples) {
    Bytes out(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        Put16(&out[2 * i], static_cast<std::uint16_t>(samples[i]));
    return out;
}

std::vector<std::int16_t> Samples(const Bytes& pcm) {
    std::vector<std::int16_t> s(pcm.size() / 2);
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<std::int16_t>(Get16(&pcm[2 * i]));
    return s;
}

Bytes Concat(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Writes the codec's coding of the next samples into the sound area of a page (from the
// data offset the scan gives it to the page-information word) and returns what the codec's
// decoder makes of those codes: the PCM the read must produce for this page.
Bytes EncodePage(std::uint8_t* page, std::uint32_t pageSize, std::uint32_t offset,
                 const TCodec& codec, std::span<const std::int16_t>& source) {
    const std::span<std::uint8_t> area(page + offset, pageSize - 2 - offset);
    std::vector<std::int16_t> decoded(area.size() * 8);
    std::size_t produced = 0;
    switch (codec.Type) {
    case 0: {
        const std::size_t n = std::min(area.size() / 2, source.size());
        const Bytes pcm = Pcm(source.first(n));
        std::copy(pcm.begin(), pcm.end(), area.begin());
        source = source.subspan(n);
        return Bytes(area.begin(), area.end()); // an odd last byte is sound too
    }
    case 1: {
        const TCodecRun run = CompandEncodePage(source, codec.Param, 160, area);
        source = source.subspan(run.Consumed);
        produced = CompandDecodePage(area, 160, decoded).Produced;
        break;
    }
    default: {
        const bool twoBit = codec.Param == 1;
        const std::size_t n = std::min(area.size() * (twoBit ? 4 : 2), source.size());
        Put16(page + offset - 2, static_cast<std::uint16_t>(source.empty() ? 0 : source[0]));
        TAdpcmState encoder;
        if (twoBit)
            Adpcm2EncodeRun(source.first(n), encoder, area);
        else
            ImaAdpcmEncode4Run(source.first(n), encoder, area);
        source = source.subspan(n);
        TAdpcmState decoder;
        produced = twoBit ? Adpcm2DecodeRun(area, decoder, decoded)
                          : ImaAdpcmDecode4Run(area, decoder, decoded);
        break;
    }
    }
    return Pcm(std::span<const std::int16_t>(decoded.data(), produced));
}

// Bytes of a page that are not sound, as the scan gives them: the header area of a block's
// first page, the break record of a page after a break, ADPCM's leading sample word.
std::uint32_t DataOffset(std::uint32_t pageInBlock, bool afterBreak, const TCodec& codec) {
    const std::uint32_t base = pageInBlock == 0 ? 64 : afterBreak ? 12 : 0;
    return base + (codec.Type == 2 ? 2 : 0);
}

struct ReadFixture : ::testing::Test {
    TFlashShape Shape{512, 8, 16, 1};
    std::unique_ptr<TFakeDevice> Device;
    TFakeUi Ui;
    std::unique_ptr<TRecorder> Recorder;
    TMemorySink Sink;

    void MakeDevice(TFlashShape shape, std::uint16_t firmware = FirmwareClass0) {
        Shape = shape;
        Device = std::make_unique<TFakeDevice>(shape);
        Device->FirmwareVersion = firmware;
    }
    void SetUp() override { MakeDevice(Shape); }

    void Scan() {
        Recorder = std::make_unique<TRecorder>(ConnUsb20SpiAdapter, Ui, Device->Transport());
        ASSERT_TRUE(Recorder->IsConnected());
        Recorder->Refresh();
        Recorder->WaitForOperation();
        ASSERT_EQ(Recorder->GetOutcome().Kind, TKind::Succeeded) << Recorder->GetOutcome().Message;
        Recorder->OutputSink = &Sink;
        Device->ClearLog();
    }
    TSoundFileInfo& Recording(std::uint16_t number) {
        TSoundFileInfo* r = Recorder->GetSoundFileList()->ByNumber(number);
        EXPECT_NE(r, nullptr);
        return *r;
    }
    TOperationOutcome Read(std::uint16_t number, std::uint32_t start, std::uint32_t duration) {
        Sink.Data.clear();
        Recorder->ReadSoundFile(number, start, duration);
        Recorder->WaitForOperation();
        EXPECT_EQ(Recorder->GetState(), StateIdle);
        return Recorder->GetOutcome();
    }
    TOperationOutcome ReadPart(std::uint16_t number, std::uint16_t part) {
        Sink.Data.clear();
        Recorder->ReadSubRecord(number, part, 0);
        Recorder->WaitForOperation();
        return Recorder->GetOutcome();
    }
    int BlockReads(std::uint32_t block) const {
        return static_cast<int>(
            std::count_if(Device->Reads.begin(), Device->Reads.end(), [&](const TFlashReadLog& r) {
                return r.PageAddr == block * Shape.PagesPerBlock && r.Count == Shape.PageSize;
            }));
    }

    // A continuous recording over the blocks in the codec, its pages filled from the signal.
    // Returns the PCM each page must decode to, in recording order.
    std::vector<Bytes> PutRecording(std::uint16_t number, const std::vector<std::uint32_t>& blocks,
                                    const TCodec& codec, std::uint8_t channelMode = 0,
                                    std::uint32_t start = 1000) {
        THeaderSpec base;
        base.Type = codec.Type;
        base.Param = codec.Param;
        base.Rate = 3;
        base.ChannelMode = channelMode;
        const unsigned channels = channelMode == 1 ? 2 : 1;
        const double seconds =
            LayoutSecondsPerBlock(Shape, codec.Type, codec.Param, 8000, channels);
        Device->Flash.PutContinuousRecording(number, start, blocks, seconds, base);
        const std::vector<std::int16_t> signal =
            Signal(blocks.size() * Shape.PagesPerBlock * Shape.PageSize * 4);
        std::span<const std::int16_t> source(signal);
        std::vector<Bytes> pages;
        for (std::uint32_t block : blocks)
            for (std::uint32_t p = 0; p < Shape.PagesPerBlock; ++p)
                pages.push_back(EncodePage(Device->Flash.Page(block, p), Shape.PageSize,
                                           DataOffset(p, false, codec), codec, source));
        return pages;
    }
};

// --- Every codec read back ---------------------------------------------------------------

class CodecRead : public ReadFixture, public ::testing::WithParamInterface<TCodec> {};

TEST_P(CodecRead, AWholeReadGivesTheCodecsDecodeOfEveryPage) {
    const TCodec& codec = GetParam();
    const std::vector<Bytes> pages = PutRecording(3, {4, 2, 7}, codec);
    const std::vector<std::int16_t> original = Signal(pages.size() * Shape.PageSize * 4);
    Scan();
    const TSoundFileInfo& r = Recording(3);
    ASSERT_EQ(r.Pages.Count(), 24);

    const TOperationOutcome outcome = Read(3, 0, r.Duration);
    ASSERT_EQ(outcome.Kind, TKind::Succeeded) << outcome.Message;
    EXPECT_EQ(Sink.Data, Concat(pages));
    EXPECT_EQ(Recorder->GetProgress(), 100);
    EXPECT_EQ(BlockReads(4) + BlockReads(2) + BlockReads(7), 3); // one request per block

    // Within the codec's error of what was recorded.
    const std::vector<std::int16_t> decoded = Samples(Sink.Data);
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        signal += double(original[i]) * original[i];
        noise += (double(decoded[i]) - original[i]) * (double(decoded[i]) - original[i]);
    }
    const double snr = 10 * std::log10(signal / std::max(noise, 1.0));
    const double least = codec.Type == 0 ? 90 : codec.Type == 1 ? 25 : codec.Param == 1 ? 5 : 15;
    EXPECT_GT(snr, least) << codec.Name;
}

INSTANTIATE_TEST_SUITE_P(Read, CodecRead, ::testing::ValuesIn(Codecs),
                         [](const ::testing::TestParamInfo<TCodec>& info) {
                             return std::string(info.param.Name);
                         });

// --- Breaks, voice parts and silence -------------------------------------------------------

// Two blocks 2 and 3 of plain sound at 8000 Hz; the first breaks after breakPage and resumes
// at second 1003, where block 3 follows the block's remaining pages.
struct BreakCase {
    const char* name;
    std::uint8_t channelMode;
    std::uint32_t breakPage;
    std::size_t zeroPad; // zero bytes between the first part and the silence
};

std::size_t ZeroPad(std::size_t bytes, std::size_t frame) {
    return (frame - bytes % frame) % frame;
}

class BreakRead : public ReadFixture, public ::testing::WithParamInterface<BreakCase> {};

TEST_P(BreakRead, SilenceBridgesThePauseForEveryChannel) {
    const BreakCase& c = GetParam();
    MakeDevice(Shape, FirmwareClass4);
    const TCodec plain{"plain", 0, 0};
    std::vector<Bytes> pages = PutRecording(6, {2, 3}, plain, c.channelMode);
    THeaderSpec second;
    second.Number = 6;
    second.Index = 2;
    second.Time = 1003;
    second.ChannelMode = c.channelMode;
    Device->Flash.PutHeader(3, second);
    Device->Flash.PutPageInfo(2, c.breakPage, 0x55FF);
    Device->Flash.PutBreakRecord(2, c.breakPage + 1, 1003);
    pages[c.breakPage + 1].erase(pages[c.breakPage + 1].begin(),
                                 pages[c.breakPage + 1].begin() + 12); // the break record
    Scan();
    const TSoundFileInfo& r = Recording(6);
    ASSERT_EQ(r.VoiceParts->Count(), 2);
    ASSERT_EQ(r.Pages.Get(static_cast<int>(c.breakPage) + 1).Time, 1003.0);
    const unsigned channels = c.channelMode == 1 ? 2 : 1;
    ASSERT_EQ(r.WaveFormat.Channels, channels);

    const Bytes first = Concat({pages.begin(), pages.begin() + c.breakPage + 1});
    const Bytes rest = Concat({pages.begin() + c.breakPage + 1, pages.end()});
    // The pause: whole seconds of every channel, then the fraction cut to whole frames.
    const double gap = 1003 - (1000 + (c.breakPage + 1) * r.SecondsPerPage);
    const std::size_t second_ = 2 * channels * 8000;
    const std::size_t frame = 2 * channels;
    const std::size_t silence =
        std::size_t(gap) * second_ + std::size_t(second_ * (gap - std::floor(gap))) / frame * frame;
    ASSERT_GT(gap, 2.0);

    ASSERT_EQ(ZeroPad(first.size(), frame), c.zeroPad);
    // Each part ends on a frame: zero bytes after the real data of a run that ends at a break.
    Bytes firstPart = first;
    firstPart.insert(firstPart.end(), c.zeroPad, 0);
    Bytes secondPart = rest;
    secondPart.insert(secondPart.end(), ZeroPad(rest.size(), frame), 0);

    Bytes expected = firstPart;
    expected.insert(expected.end(), silence, 0);
    expected.insert(expected.end(), secondPart.begin(), secondPart.end());
    ASSERT_EQ(Read(6, 0, r.Duration).Kind, TKind::Succeeded);
    EXPECT_EQ(Sink.Data.size(), expected.size());
    EXPECT_EQ(Sink.Data, expected);

    // Each voice part whole, without the pause and without trailing silence.
    ASSERT_EQ(ReadPart(6, 1).Kind, TKind::Succeeded);
    EXPECT_EQ(Sink.Data, firstPart);
    ASSERT_EQ(ReadPart(6, 2).Kind, TKind::Succeeded);
    EXPECT_EQ(Sink.Data, secondPart);
}

INSTANTIATE_TEST_SUITE_P(
    Read, BreakRead,
    ::testing::Values(BreakCase{"mono", 0, 5, 0},
                      // 446 + 4 x 510 bytes = 4n + 2: two zero bytes end the frame.
                      BreakCase{"stereoEndsMidFrame", 1, 4, 2},
                      BreakCase{"stereoEndsOnFrame", 1, 5, 0}),
    [](const ::testing::TestParamInfo<BreakCase>& info) { return std::string(info.param.name); });

// --- Partial reads -----------------------------------------------------------------------

// Stereo recordings of four blocks of 16 pages of 2112 bytes: a read of a stretch gives the
// whole read's bytes from a frame boundary on, whatever the codec makes of a page.
struct SpanCase {
    const char* name;
    TCodec codec;
    std::uint32_t start, duration;
};

class SpanRead : public ReadFixture, public ::testing::WithParamInterface<SpanCase> {};

TEST_P(SpanRead, AStretchStartsOnAFrameOfTheWholeRead) {
    const SpanCase& c = GetParam();
    MakeDevice({2112, 16, 8, 1}, FirmwareClass4);
    const std::vector<Bytes> pages = PutRecording(2, {1, 2, 3, 4}, c.codec, 1);
    Scan();
    const TSoundFileInfo& r = Recording(2);
    ASSERT_EQ(Read(2, 0, r.Duration).Kind, TKind::Succeeded);
    const Bytes whole = Sink.Data;
    ASSERT_EQ(whole, Concat(pages));

    // The pages the stretch covers, from the scan's page times.
    const double start = 1000 + c.start;
    int startPage = 0;
    while (startPage + 1 < r.Pages.Count() && r.Pages.Get(startPage + 1).Time < start)
        ++startPage;
    int count = 1;
    while (startPage + count < r.Pages.Count() &&
           r.Pages.Get(startPage + count).Time <= start + c.duration)
        ++count;
    std::size_t before = 0, covered = 0;
    for (int i = 0; i < startPage; ++i)
        before += pages[i].size();
    for (int i = startPage; i < startPage + count; ++i)
        covered += pages[i].size();
    const std::size_t from = (before + 3) / 4 * 4;

    ASSERT_EQ(Read(2, c.start, c.duration).Kind, TKind::Succeeded);
    ASSERT_EQ(Sink.Data.size(), before + covered - from);
    EXPECT_TRUE(std::equal(Sink.Data.begin(), Sink.Data.end(), whole.begin() + from));
}

INSTANTIATE_TEST_SUITE_P(Read, SpanRead,
                         ::testing::Values(SpanCase{"plainInTheFirstPage", {"", 0, 0}, 0, 1},
                                           SpanCase{"plainFromSecondOne", {"", 0, 0}, 1, 1},
                                           SpanCase{"plainFromSecondTwo", {"", 0, 0}, 2, 1},
                                           SpanCase{"uLawFromSecondThree", {"", 1, 2}, 3, 2},
                                           SpanCase{"uLawFromSecondFive", {"", 1, 2}, 5, 1},
                                           SpanCase{"adpcm4FromSecondSeven", {"", 2, 2}, 7, 3},
                                           SpanCase{"adpcm2FromSecondEleven", {"", 2, 1}, 11, 4}),
                         [](const ::testing::TestParamInfo<SpanCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(ReadFixture, ARequestPastTheEndIsPaddedWithWholeSecondsOfSilence) {
    const std::vector<Bytes> pages = PutRecording(1, {1, 2}, {"plain", 0, 0});
    Scan();
    const TSoundFileInfo& r = Recording(1);
    ASSERT_EQ(Read(1, 0, r.Duration + 2).Kind, TKind::Succeeded);
    Bytes expected = Concat(pages);
    expected.insert(expected.end(), 2 * 16000, 0);
    EXPECT_EQ(Sink.Data, expected);
}

// Pages of 1610 bytes hold 0.1 s each, which binary floating point cannot hold: five blocks
// last exactly 4 s, but the read's running position ends a hair before that.
TEST_F(ReadFixture, FloatingPointErrorAddsNoSecondOfSilence) {
    MakeDevice({1610, 8, 16, 1});
    const std::vector<Bytes> pages = PutRecording(1, {1, 2, 3, 4, 5}, {"plain", 0, 0});
    Scan();
    const TSoundFileInfo& r = Recording(1);
    ASSERT_EQ(r.Duration, 4u);
    double position = r.Pages.Get(0).Time;
    for (int run = 0; run < 5; ++run)
        position += 8 * r.SecondsPerPage;
    ASSERT_GT(1004.0 - position, 0.0); // without a tolerance this would be one more second

    ASSERT_EQ(Read(1, 0, r.Duration).Kind, TKind::Succeeded);
    EXPECT_EQ(Sink.Data, Concat(pages));
}

// --- Failures and cancel ----------------------------------------------------------------

TEST_F(ReadFixture, ACancelInTheMiddleStopsReadingAndWritesNoSilence) {
    const std::vector<Bytes> pages = PutRecording(1, {1, 2, 3, 4, 5}, {"plain", 0, 0});
    Scan();
    const TSoundFileInfo& r = Recording(1);
    int reads = 0;
    Device->BeforeCommand = [&](std::uint8_t command) {
        if (command == CmdFlashRead && ++reads == 3)
            Recorder->Cancel();
    };
    const TOperationOutcome outcome = Read(1, 0, r.Duration + 5);
    EXPECT_EQ(outcome.Kind, TKind::Cancelled);
    EXPECT_EQ(reads, 3);
    const Bytes whole = Concat(pages);
    ASSERT_LT(Sink.Data.size(), whole.size());
    EXPECT_TRUE(std::equal(Sink.Data.begin(), Sink.Data.end(), whole.begin()));
    EXPECT_LT(Recorder->GetProgress(), 100);
}

TEST_F(ReadFixture, AFailedExchangeOrARefusedWriteFailsTheRead) {
    PutRecording(1, {1, 2, 3, 4}, {"plain", 0, 0});
    Scan();
    const TSoundFileInfo& r = Recording(1);

    Device->FailCommand(CmdFlashRead, 2, RecErrTimeout);
    TOperationOutcome outcome = Read(1, 0, r.Duration);
    EXPECT_EQ(outcome.Kind, TKind::ExchangeFailed);
    EXPECT_EQ(outcome.Command, CmdFlashRead);
    EXPECT_EQ(outcome.ErrorCode, RecErrTimeout);
    EXPECT_EQ(outcome.Operation, "ReadSFThread");

    Device->ClearLog();
    Sink.Writes = 0;
    Sink.RefuseAt = 2;
    outcome = Read(1, 0, r.Duration + 3);
    EXPECT_EQ(outcome.Kind, TKind::Failed);
    EXPECT_FALSE(outcome.Message.empty());
    EXPECT_EQ(Sink.Writes, 2); // nothing more after the refusal, no silence either
    EXPECT_EQ(Device->CountOf(CmdFlashRead), 2);
}

TEST_F(ReadFixture, UnknownRecordsAndAMissingSinkFail) {
    PutRecording(1, {1, 2}, {"plain", 0, 0});
    // Recording 6 breaks after page 5 of block 3: two voice parts.
    PutRecording(6, {3, 4}, {"plain", 0, 0});
    THeaderSpec second;
    second.Number = 6;
    second.Index = 2;
    second.Time = 1003;
    Device->Flash.PutHeader(4, second);
    Device->Flash.PutPageInfo(3, 5, 0x55FF);
    Device->Flash.PutBreakRecord(3, 6, 1003);
    Scan();
    ASSERT_EQ(Recording(6).VoiceParts->Count(), 2);
    struct Case {
        const char* name;
        std::function<void()> start;
        const char* message;
    };
    const Case cases[] = {
        {"no such recording", [&] { Recorder->ReadSoundFile(9, 0, 10); }, "Recording 9 not found"},
        {"no voice parts", [&] { Recorder->ReadSubRecord(1, 1, 0); },
         "Voice part 1 of recording 1 not found"},
        {"voice part 0", [&] { Recorder->ReadSubRecord(6, 0, 0); },
         "Voice part 0 of recording 6 not found"},
        {"voice part past the last", [&] { Recorder->ReadSubRecord(6, 3, 0); },
         "Voice part 3 of recording 6 not found"},
        {"no sink for a recording",
         [&] {
             Recorder->OutputSink = nullptr;
             Recorder->ReadSoundFile(1, 0, 10);
         },
         "No output for the recording"},
        {"no sink for a voice part",
         [&] {
             Recorder->OutputSink = nullptr;
             Recorder->ReadSubRecord(6, 2, 0);
         },
         "No output for the voice part"},
    };
    for (const Case& c : cases) {
        c.start();
        Recorder->WaitForOperation();
        EXPECT_EQ(Recorder->GetState(), StateIdle) << c.name;
        const TOperationOutcome outcome = Recorder->GetOutcome();
        EXPECT_EQ(outcome.Kind, TKind::Failed) << c.name;
        EXPECT_EQ(outcome.Operation, "ReadSFThread") << c.name;
        EXPECT_EQ(outcome.Message, c.message) << c.name;
    }
    EXPECT_TRUE(Sink.Data.empty());
}

// --- Drive files ---------------------------------------------------------------------------

// 512-byte pages hold two slots of 249 data bytes: 7 x 498 bytes of file data per block.
constexpr std::uint32_t SlotsPerPage = 2;
constexpr std::uint32_t EccDataPerBlock = 7 * SlotsPerPage * 249;

struct DriveFixture : ReadFixture {
    TTempDir Dir;
    TPosixFile Target;
    Bytes Content;

    // A drive file numbered 3 over the blocks (file order), its data RS-coded per slot, or
    // stored raw in pages 1.. without correction.
    void PutDriveFile(const std::vector<std::uint32_t>& blocks, std::uint32_t size, bool ecc,
                      const std::vector<std::uint16_t>& indexes = {}) {
        std::mt19937 random(11);
        Content.resize(size);
        for (std::uint8_t& b : Content)
            b = static_cast<std::uint8_t>(random());
        const std::uint32_t perBlock = ecc ? EccDataPerBlock : 7 * Shape.PageSize;
        for (std::size_t k = 0; k < blocks.size(); ++k) {
            const std::uint16_t index =
                indexes.empty() ? static_cast<std::uint16_t>(k + 1) : indexes[k];
            THeaderSpec h;
            h.Drive = true;
            h.Number = 3;
            h.Time = 5000;
            h.DriveSize = size;
            h.DriveIndex = index;
            h.Flags = k == 0 ? 0x80 : 0;
            Device->Flash.PutHeader(blocks[k], h);
            if (k == 0)
                Device->Flash.PutDriveName(blocks[k], u"Docs\\report.bin");
            Bytes data(perBlock, 0);
            const std::size_t from = std::size_t{index - 1u} * perBlock;
            for (std::size_t i = 0; i < perBlock && from + i < size; ++i)
                data[i] = Content[from + i];
            for (std::uint32_t p = 1; p < Shape.PagesPerBlock; ++p) {
                std::uint8_t* page = Device->Flash.Page(blocks[k], p);
                if (!ecc) {
                    std::memcpy(page, &data[(p - 1) * Shape.PageSize], Shape.PageSize);
                    continue;
                }
                for (std::uint32_t s = 0; s < SlotsPerPage; ++s)
                    RsEncodeBlock(std::span<const std::uint8_t, 249>(
                                      &data[((p - 1) * SlotsPerPage + s) * 249], 249),
                                  std::span<std::uint8_t, 255>(page + s * 256, 255));
            }
        }
    }
    std::uint8_t* Slot(std::uint32_t block, std::uint32_t page, std::uint32_t slot) {
        return Device->Flash.Page(block, page) + slot * 256;
    }
    // The file position where a slot's data lands.
    static std::size_t SlotOffset(std::uint32_t k, std::uint32_t page, std::uint32_t slot) {
        return k * EccDataPerBlock + ((page - 1) * SlotsPerPage + slot) * 249;
    }
    TOperationOutcome ReadDrive() {
        const std::string path = Dir.File("out.bin");
        Target.Close();
        EXPECT_TRUE(Target.Open(path, TPosixFile::TMode::CreateTruncate));
        Recorder->ReadDriveFile(Recorder->GetDriveFileList()->FindByNumber(3), &Target);
        Recorder->WaitForOperation();
        EXPECT_EQ(Recorder->GetState(), StateIdle);
        return Recorder->GetOutcome();
    }
    Bytes TargetBytes() const {
        const std::int64_t size = Target.Size();
        Bytes data(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)));
        EXPECT_TRUE(Target.ReadExact(0, data.data(), data.size()));
        return data;
    }
};

struct ByteErrorCase {
    const char* name;
    int errors; // bytes changed in slot 1 of page 3 of the file's second block
};

class DriveByteErrors : public DriveFixture, public ::testing::WithParamInterface<ByteErrorCase> {};

TEST_P(DriveByteErrors, UpToThreeAreCorrectedFourAreWrittenAsStoredAndReported) {
    const ByteErrorCase& c = GetParam();
    const std::uint32_t size = 2 * EccDataPerBlock + 1000;
    PutDriveFile({5, 2, 9}, size, true);
    // Data and parity bytes alike. About one pattern of four errors in seven lies within
    // three of another codeword and is "corrected" wrongly; this one is detected.
    const std::uint32_t positions[] = {10, 60, 110, 250};
    for (int e = 0; e < c.errors; ++e)
        Slot(2, 3, 1)[positions[e]] ^= 0x5A;
    Bytes stored(249);
    const int status = RsDecodeBlock(std::span<const std::uint8_t, 255>(Slot(2, 3, 1), 255),
                                     std::span<std::uint8_t, 249>(stored));
    Scan();

    const TOperationOutcome outcome = ReadDrive();
    const Bytes file = TargetBytes();
    ASSERT_EQ(file.size(), size) << "later bytes must not shift, nothing may be lost";
    if (c.errors <= 3) {
        EXPECT_EQ(outcome.Kind, TKind::Succeeded) << outcome.Message;
        EXPECT_EQ(file, Content);
        EXPECT_EQ(BlockReads(2), 1);
        return;
    }
    // The file is kept whole with the slot as stored, and the user is told where it is.
    ASSERT_EQ(status, RsUncorrectable);
    EXPECT_EQ(outcome.Kind, TKind::Damaged);
    EXPECT_EQ(outcome.Message.rfind("ECC UNCORRECTABLE ERROR", 0), 0u) << outcome.Message;
    EXPECT_NE(outcome.Message.find("Docs\\report.bin"), std::string::npos) << outcome.Message;
    EXPECT_NE(outcome.Message.find("page 3 of block 1"), std::string::npos) << outcome.Message;
    EXPECT_EQ(BlockReads(2), 3);
    const std::size_t at = SlotOffset(1, 3, 1);
    EXPECT_TRUE(std::equal(file.begin(), file.begin() + at, Content.begin()));
    EXPECT_TRUE(std::equal(file.begin() + at, file.begin() + at + 249, stored.begin()));
    EXPECT_TRUE(std::equal(file.begin() + at + 249, file.end(), Content.begin() + at + 249));
    EXPECT_TRUE(Ui.Messages.empty()); // the outcome carries it, no box from the worker
}

INSTANTIATE_TEST_SUITE_P(Read, DriveByteErrors,
                         ::testing::Values(ByteErrorCase{"none", 0}, ByteErrorCase{"one", 1},
                                           ByteErrorCase{"two", 2}, ByteErrorCase{"three", 3},
                                           ByteErrorCase{"four", 4}),
                         [](const ::testing::TestParamInfo<ByteErrorCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(DriveFixture, ASlotDamagedOnlyOnTheFirstAttemptReadsCleanOnTheSecond) {
    PutDriveFile({4, 6}, EccDataPerBlock + 321, true);
    Scan();
    std::uint8_t* slot = Slot(6, 7, 0);
    const Bytes good(slot, slot + 255);
    // One request per block read: block 4, then block 6 damaged, then block 6 as stored.
    int reads = 0;
    Device->BeforeCommand = [&](std::uint8_t command) {
        if (command != CmdFlashRead)
            return;
        if (++reads == 2)
            for (int i : {0, 50, 100, 150, 200})
                slot[i] ^= 0xFF;
        else if (reads == 3)
            std::memcpy(slot, good.data(), good.size());
    };
    const TOperationOutcome outcome = ReadDrive();
    EXPECT_EQ(outcome.Kind, TKind::Succeeded) << outcome.Message;
    EXPECT_EQ(BlockReads(4), 1);
    EXPECT_EQ(BlockReads(6), 2);
    EXPECT_EQ(TargetBytes(), Content);
}

TEST_F(DriveFixture, WithoutCorrectionThePagesAreCopiedRawAndCutToTheSize) {
    MakeDevice(Shape, FirmwareClass2);
    const std::uint32_t size = 7 * 512 + 100;
    PutDriveFile({3, 8}, size, false);
    Scan();
    ASSERT_EQ(ReadDrive().Kind, TKind::Succeeded);
    EXPECT_EQ(TargetBytes(), Content);
}

TEST_F(DriveFixture, ACancelOrAFailureNeverGrowsTheFile) {
    const std::uint32_t size = 3 * EccDataPerBlock;
    PutDriveFile({2, 3, 4}, size, true);
    Scan();
    int reads = 0;
    Device->BeforeCommand = [&](std::uint8_t command) {
        if (command == CmdFlashRead && ++reads == 2)
            Recorder->Cancel();
    };
    EXPECT_EQ(ReadDrive().Kind, TKind::Cancelled);
    Bytes file = TargetBytes();
    ASSERT_LE(file.size(), 2 * EccDataPerBlock);
    EXPECT_GE(file.size(), EccDataPerBlock);
    EXPECT_TRUE(std::equal(file.begin(), file.end(), Content.begin()));

    Device->BeforeCommand = nullptr;
    Device->FailCommand(CmdFlashRead, 3, RecErrChecksum);
    const TOperationOutcome failed = ReadDrive();
    EXPECT_EQ(failed.Kind, TKind::ExchangeFailed);
    EXPECT_EQ(failed.ErrorCode, RecErrChecksum);
    file = TargetBytes();
    EXPECT_EQ(file.size(), 2 * EccDataPerBlock);
    EXPECT_TRUE(std::equal(file.begin(), file.end(), Content.begin()));
}

// A file incomplete on the recorder keeps every block that is there in its own place: the
// place of a missing block reads as zeros, a missing end shortens the file, and the user is
// told how many blocks are missing.
TEST_F(DriveFixture, AFileWithMissingBlocksKeepsEveryBlockThatIsThereInItsPlace) {
    const std::uint32_t size = 3 * EccDataPerBlock - 500;
    const struct {
        const char* name;
        std::vector<std::uint16_t> indexes; // of the two blocks present
        std::uint32_t fileSize;
    } cases[] = {
        {"middle", {1, 3}, size},
        {"first", {2, 3}, size},
        {"end", {1, 2}, 2 * EccDataPerBlock},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::fill(Device->Flash.Data().begin(), Device->Flash.Data().end(), 0xFF);
        PutDriveFile({2, 4}, size, true, c.indexes);
        Scan();
        const TDriveFileInfo& listed = *Recorder->GetDriveFileList()->Get(0);
        EXPECT_EQ(listed.Incomplete, 1);
        EXPECT_EQ(listed.Size, c.fileSize);
        const TOperationOutcome outcome = ReadDrive();
        EXPECT_EQ(outcome.Kind, TKind::Damaged);
        EXPECT_NE(outcome.Message.find("not complete on the recorder: 1 of its 3 blocks"),
                  std::string::npos)
            << outcome.Message;
        const Bytes file = TargetBytes();
        ASSERT_EQ(file.size(), c.fileSize);
        for (std::uint16_t block = 1; block <= 3; ++block) {
            const std::size_t from = (block - 1u) * std::size_t{EccDataPerBlock};
            const std::size_t to = std::min<std::size_t>(from + EccDataPerBlock, c.fileSize);
            if (from >= to)
                continue;
            const bool present =
                std::find(c.indexes.begin(), c.indexes.end(), block) != c.indexes.end();
            if (present)
                EXPECT_TRUE(
                    std::equal(file.begin() + from, file.begin() + to, Content.begin() + from))
                    << "block " << block;
            else
                EXPECT_TRUE(std::all_of(file.begin() + from, file.begin() + to,
                                        [](std::uint8_t b) { return b == 0; }))
                    << "block " << block;
        }
    }
}

TEST_F(DriveFixture, AnUnknownIndexOrNoTargetFails) {
    PutDriveFile({2}, 100, true);
    Scan();
    Recorder->ReadDriveFile(5, &Target);
    Recorder->WaitForOperation();
    EXPECT_EQ(Recorder->GetOutcome().Kind, TKind::Failed);
    Recorder->ReadDriveFile(0, nullptr);
    Recorder->WaitForOperation();
    EXPECT_EQ(Recorder->GetOutcome().Kind, TKind::Failed);
}

} // namespace
