#include <bit>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <numeric>
#include <random>

#include "WaveTestSupport.h"
#include "audio/Utcrc.h"
#include "audio/Watermark.h"
#include "link/Crc16.h"
#include "tests/support/ByteStreamReader.h"

namespace {

using wavetest::SampleBytes;

TMarkConfig TestConfig(std::uint8_t flags = TMarkConfig::FlagFrameRecords,
                       std::uint16_t rate = 8000, std::uint8_t channels = 1) {
    TMarkConfig c;
    const char identity[] = "TESTSERIAL0123456789";
    std::memcpy(c.Identity.data(), identity, 20);
    c.Flags = flags;
    c.RecordTime = 1700000000;
    c.SampleRate = rate;
    c.Channels = channels;
    c.BitsPerSample = 16;
    c.InfoA = 2;
    c.InfoB = 1;
    c.Tones = {TMarkTone{10.5f, 80}, TMarkTone{3600.25f, 6}, TMarkTone{3800.75f, 6}};
    return c;
}

void Init(const TMarkConfig& config) {
    mrk_Init(EncodeMarkConfig(config).data());
}

struct TStreamResult {
    std::vector<std::uint8_t> Output;
    std::vector<std::int32_t> PerCall; // output count of each call, the end call last
};

// Feeds the input in pieces of the given sizes, then ends the stream.
TStreamResult RunStream(const TMarkConfig& config, const std::vector<std::uint8_t>& input,
                        const std::vector<std::size_t>& pieces) {
    Init(config);
    TStreamResult result;
    std::size_t at = 0;
    auto call = [&](const std::uint8_t* data, std::size_t size) {
        const std::uint8_t* out = nullptr;
        std::int32_t count = -1;
        mrk_Process(data, static_cast<std::int32_t>(size), &out, &count);
        result.PerCall.push_back(count);
        if (count > 0)
            result.Output.insert(result.Output.end(), out, out + count);
    };
    for (std::size_t piece : pieces) {
        call(input.data() + at, piece);
        at += piece;
    }
    call(nullptr, 0);
    return result;
}

std::vector<std::uint8_t> Ramp(std::size_t bytes, int seed = 1) {
    std::vector<std::int16_t> samples(bytes / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>((static_cast<int>(i) * 37 * seed) % 20000 - 10000);
    auto out = SampleBytes(samples);
    out.resize(bytes, 0x5A);
    return out;
}

std::int32_t Check(const std::vector<std::uint8_t>& stream, const std::uint8_t* trailer,
                   std::uint8_t* plain = nullptr) {
    return MarkCheck(testsupport::ByteStreamReader(stream), trailer, plain);
}

TMarkRecord EmbeddedRecord(const std::uint8_t* block1024, bool* crcValid) {
    std::uint8_t scrambled[64] = {};
    for (int i = 0; i < 512; ++i)
        scrambled[i / 8] |= static_cast<std::uint8_t>((block1024[2 * i] & 1) << (7 - i % 8));
    const TMarkBytes plain = UnscrambleMarkRecord(scrambled);
    *crcValid = MarkRecordCrcIsValid(plain);
    return DecodeMarkRecord(plain);
}

// --- Records ---------------------------------------------------------------------------------

TEST(MarkRecord, SubstitutionIsAFixedPermutationWithItsInverse) {
    const auto& s = MarkSubstitutionTable();
    const auto& inverse = MarkInverseSubstitutionTable();
    std::array<int, 256> seen{};
    for (int i = 0; i < 256; ++i) {
        ++seen[s[i]];
        EXPECT_EQ(inverse[s[i]], i);
        EXPECT_NE(s[i], i);
    }
    for (int n : seen)
        EXPECT_EQ(n, 1);
    // Files written once must stay readable: the table never changes.
    EXPECT_EQ(crc32(0, s.data(), 256), 0x98E62275u);
}

TEST(MarkRecord, LayoutsAtTheirOffsets) {
    TMarkConfig config = TestConfig();
    config.Reserved = 0;
    const auto c = EncodeMarkConfig(config);
    ASSERT_EQ(c.size(), 53u);
    EXPECT_EQ(c[0], 'T');
    EXPECT_EQ(c[20], 1);
    EXPECT_EQ(GetU32(c.data() + 21), 1700000000u);
    EXPECT_EQ(GetU16(c.data() + 25), 8000);
    EXPECT_EQ(c[27], 1);
    EXPECT_EQ(c[28], 16);
    EXPECT_EQ(c[29], 2);
    EXPECT_EQ(c[34], 1);
    EXPECT_EQ(GetU32(c.data() + 35), std::bit_cast<std::uint32_t>(10.5f));
    EXPECT_EQ(GetU16(c.data() + 39), 80);
    EXPECT_EQ(GetU32(c.data() + 41), std::bit_cast<std::uint32_t>(3600.25f));
    EXPECT_EQ(GetU32(c.data() + 47), std::bit_cast<std::uint32_t>(3800.75f));
    EXPECT_EQ(GetU16(c.data() + 51), 6);
    EXPECT_EQ(EncodeMarkConfig(DecodeMarkConfig(c.data())), c);

    TMarkRecord r;
    r.Identity = config.Identity;
    r.RecordTime = 0x11223344;
    r.Frequencies = {1.0f, 2.0f, 3.0f};
    r.BlockCounter = 0x55667788;
    r.ByteCounter = 0x99AABBCC;
    r.InfoA = 0xDD;
    r.InfoB = 0xEE;
    const TMarkBytes p = EncodeMarkRecord(r);
    EXPECT_EQ(GetU16(p.data()), 0xFFFF);
    EXPECT_EQ(p[2], 'T');
    EXPECT_EQ(GetU32(p.data() + 22), 0x11223344u);
    EXPECT_EQ(GetU32(p.data() + 34), std::bit_cast<std::uint32_t>(3.0f));
    EXPECT_EQ(GetU32(p.data() + 38), 0x55667788u);
    EXPECT_EQ(GetU32(p.data() + 42), 0x99AABBCCu);
    EXPECT_EQ(p[46], 0xDD);
    EXPECT_EQ(p[47], 0xEE);
    for (int i = 48; i < 62; ++i)
        EXPECT_EQ(p[i], 0) << i;
    EXPECT_EQ(GetU16(p.data() + 62), Crc16Update(p.data(), 62, 0xA269));

    // Scrambled: the CRC word becomes NOT(w XOR 0x5555), then each byte is substituted.
    const TMarkBytes s = ScrambleMarkRecord(r);
    const auto& table = MarkSubstitutionTable();
    EXPECT_EQ(s[0], table[0xFF]);
    const std::uint16_t word = static_cast<std::uint16_t>(~(GetU16(p.data() + 62) ^ 0x5555));
    EXPECT_EQ(s[62], table[word & 0xFF]);
    EXPECT_EQ(s[63], table[word >> 8]);
    EXPECT_EQ(UnscrambleMarkRecord(s.data()), p);
    TMarkBytes damaged = s;
    damaged[30] ^= 0x10;
    EXPECT_FALSE(MarkRecordCrcIsValid(UnscrambleMarkRecord(damaged.data())));
}

// --- The embedder ----------------------------------------------------------------------------

TEST(MarkEmbedder, FirstCallGivesTheLeadingRecordOrNothing) {
    for (std::size_t size : {2u, 100u, 1024u, 5000u}) {
        SCOPED_TRACE(size);
        const auto input = Ramp(size);
        const std::uint8_t* out = nullptr;
        std::int32_t count = -1;
        Init(TestConfig());
        mrk_Process(input.data(), static_cast<std::int32_t>(size), &out, &count);
        ASSERT_EQ(count, 64);
        const TMarkBytes plain = UnscrambleMarkRecord(out);
        EXPECT_TRUE(MarkRecordCrcIsValid(plain));
        EXPECT_EQ(DecodeMarkRecord(plain).ByteCounter, size);

        Init(TestConfig(0));
        mrk_Process(input.data(), static_cast<std::int32_t>(size), &out, &count);
        EXPECT_EQ(count, 0);
    }
}

TEST(MarkEmbedder, EveryStreamIsInputPlusRecordsAndChecksClean) {
    std::mt19937 random(7);
    std::vector<std::size_t> randomPieces;
    for (int i = 0; i < 40; ++i)
        randomPieces.push_back(2 * (1 + random() % 1500));
    const std::vector<std::vector<std::size_t>> patterns = {
        {2},          {1024}, {1000, 24},         {2048},       {1026}, {2000, 48}, {3000, 100, 48},
        {4096, 4096}, {3082}, {1024, 1024, 1024}, randomPieces,
    };
    for (std::uint8_t channels : {1, 2}) {
        for (const auto& pieces : patterns) {
            const std::size_t total = std::accumulate(pieces.begin(), pieces.end(), std::size_t{0});
            SCOPED_TRACE(std::to_string(channels) + " channels, " + std::to_string(total) +
                         " bytes in " + std::to_string(pieces.size()) + " pieces");
            const auto input = Ramp(total);
            const auto result = RunStream(TestConfig(1, 8000, channels), input, pieces);
            ASSERT_EQ(result.Output.size(), total + 128);
            std::uint8_t final[64];
            std::memset(final, 0xCC, 64);
            mrk_GetAddInfo(final);
            EXPECT_EQ(std::memcmp(final, result.Output.data() + total + 64, 64), 0);
            std::uint8_t plain[64] = {};
            EXPECT_EQ(Check(result.Output, final, plain), 0);
            const TMarkRecord trailer = DecodeMarkRecord(std::to_array(plain));
            EXPECT_EQ(trailer.ByteCounter, total);
            EXPECT_EQ(trailer.InfoA, 2);
            EXPECT_EQ(trailer.InfoB, 1);
            EXPECT_EQ(trailer.RecordTime, 1700000000u);
            EXPECT_EQ(trailer.Frequencies[1], 3600.25f);
            EXPECT_EQ(std::memcmp(trailer.Identity.data(), "TESTSERIAL0123456789", 20), 0);
        }
    }
}

TEST(MarkEmbedder, ShortStreamIsOnlyClearedAndComesAtTheEnd) {
    std::vector<std::uint8_t> input(600);
    for (std::size_t i = 0; i < input.size(); ++i)
        input[i] = static_cast<std::uint8_t>(i * 7 + 1);
    const auto result = RunStream(TestConfig(), input, {200, 400});
    ASSERT_EQ(result.PerCall, (std::vector<std::int32_t>{64, 0, 600 + 64}));
    for (std::size_t i = 0; i < input.size(); ++i) {
        const std::uint8_t expected = i % 2 == 0 ? (input[i] & 0xFE) : input[i];
        ASSERT_EQ(result.Output[64 + i], expected) << i;
    }
}

TEST(MarkEmbedder, StreamOf2048BytesEmbedsTheFirstHalfAndClearsTheRest) {
    const auto input = Ramp(2048);
    const auto result = RunStream(TestConfig(), input, {2048});
    const std::uint8_t* audio = result.Output.data() + 64;
    bool valid = false;
    const TMarkRecord first = EmbeddedRecord(audio, &valid);
    EXPECT_TRUE(valid);
    EXPECT_EQ(first.BlockCounter, 0u);
    EXPECT_EQ(first.ByteCounter, 0u);
    int changedBeyondBit0 = 0;
    for (std::size_t i = 0; i < 1024; i += 2)
        changedBeyondBit0 += (GetI16(audio + i) & ~1) != (GetI16(input.data() + i) & ~1);
    EXPECT_GT(changedBeyondBit0, 100); // the tones are in
    for (std::size_t i = 1024; i < 2048; i += 2)
        ASSERT_EQ(GetI16(audio + i), GetI16(input.data() + i) & ~1) << i;
}

TEST(MarkEmbedder, BlockRecordsCarryTheCountersAsTheyStood) {
    const std::vector<std::size_t> pieces = {3000, 5000, 2000, 6000, 1000};
    const std::size_t total = 17000;
    const auto result = RunStream(TestConfig(), Ramp(total), pieces);
    // The byte counter when each block was embedded: the running input total of that call.
    std::vector<std::uint32_t> counterAtBlock;
    std::uint32_t running = 0;
    for (std::size_t call = 0; call < result.PerCall.size(); ++call) {
        running += call < pieces.size() ? static_cast<std::uint32_t>(pieces[call]) : 0;
        if (call == 0)
            continue;
        const std::size_t audio = call + 1 == result.PerCall.size()
                                      ? static_cast<std::size_t>(result.PerCall[call]) - 64
                                      : static_cast<std::size_t>(result.PerCall[call]);
        for (std::size_t b = 0; b < audio / 1024; ++b)
            counterAtBlock.push_back(running);
    }
    const std::size_t blocks = (total - 1) / 1024;
    ASSERT_EQ(counterAtBlock.size(), blocks + (total % 1024 == 0 ? 0 : 0));
    for (std::size_t k = 1; k <= blocks; ++k) {
        bool valid = false;
        const TMarkRecord r = EmbeddedRecord(result.Output.data() + 64 + (k - 1) * 1024, &valid);
        EXPECT_TRUE(valid) << k;
        EXPECT_EQ(r.BlockCounter, k - 1) << k;
        EXPECT_EQ(r.ByteCounter, k == 1 ? 0u : counterAtBlock[k - 2]) << k;
    }
    const TMarkRecord trailer =
        DecodeMarkRecord(UnscrambleMarkRecord(result.Output.data() + total + 64));
    EXPECT_EQ(trailer.BlockCounter, blocks);
}

TEST(MarkEmbedder, SumsAreClampedBeforeBitZeroIsSet) {
    // 4 samples a period: tone values 0, +1000, 0, -1000.
    TMarkConfig config = TestConfig(1, 4, 1);
    config.Tones = {TMarkTone{1.0f, 1000}, TMarkTone{0.0f, 0}, TMarkTone{0.0f, 0}};
    std::vector<std::int16_t> samples(2048, 32767);
    std::fill(samples.begin() + 1024, samples.end(), -32768);
    const auto input = SampleBytes(samples);
    const auto result = RunStream(config, input, {input.size()});
    const auto out = wavetest::Samples(result.Output.data() + 64, input.size());
    // Expected value with bit 0 set, by tone (0, +1000, 0, -1000) for each half of the input.
    const int fromTop[4] = {32767, 32767, 32767, 31767};
    const int fromBottom[4] = {-32767, -31767, -32767, -32767};
    for (std::size_t i = 0; i < 1536; ++i) { // the embedded part
        const int expected = i < 1024 ? fromTop[i % 4] : fromBottom[i % 4];
        ASSERT_EQ(out[i] | 1, expected) << i << " " << out[i - 1] << " " << out[i + 1];
    }
    std::uint8_t trailer[64];
    mrk_GetAddInfo(trailer);
    EXPECT_EQ(Check(result.Output, trailer), 0); // and bit 0 is the record's
}

TEST(MarkEmbedder, ToneFollowsTheSineOfItsPhase) {
    // One tone of 1000 at 1234.5 Hz over silence, against the C library's double sine.
    TMarkConfig config = TestConfig(1, 8000, 1);
    config.Tones = {TMarkTone{1234.5f, 1000}, TMarkTone{0.0f, 0}, TMarkTone{0.0f, 0}};
    const std::vector<std::uint8_t> silence(40960, 0);
    const auto result = RunStream(config, silence, {silence.size()});
    const auto out = wavetest::Samples(result.Output.data() + 64, 39936); // the embedded part
    for (std::size_t n = 0; n < out.size(); ++n) {
        const double expected = 1000 * std::sin(2 * M_PI * 1234.5 * static_cast<double>(n) / 8000);
        // Truncation and the record bit move a sample by up to 2, the phase a little more.
        ASSERT_NEAR(out[n], expected, 2.05) << n;
    }
}

TEST(MarkEmbedder, StereoFramesShareOneToneValue) {
    const std::vector<std::uint8_t> silence(8192, 0);
    const auto result = RunStream(TestConfig(1, 8000, 2), silence, {silence.size()});
    const auto out = wavetest::Samples(result.Output.data() + 64, 7168);
    int loudest = 0;
    for (std::size_t i = 0; i + 1 < out.size(); i += 2) {
        ASSERT_EQ(out[i] & ~1, out[i + 1] & ~1) << i;
        loudest = std::max(loudest, std::abs(static_cast<int>(out[i])));
    }
    EXPECT_GT(loudest, 40);
    EXPECT_LE(loudest, 93);
}

TEST(MarkEmbedder, EndedStreamGivesNothingAndAddInfoWaitsForTheEnd) {
    Init(TestConfig());
    const auto input = Ramp(4000);
    const std::uint8_t* out = nullptr;
    std::int32_t count = 0;
    mrk_Process(input.data(), 4000, &out, &count);
    std::uint8_t destination[64];
    std::memset(destination, 0xAB, 64);
    mrk_GetAddInfo(destination);
    for (std::uint8_t b : destination)
        ASSERT_EQ(b, 0xAB);
    EXPECT_FALSE(MarkStreamEnded());

    mrk_Process(nullptr, 0, &out, &count);
    EXPECT_EQ(count, 4000 + 64);
    EXPECT_TRUE(MarkStreamEnded());
    mrk_Process(input.data(), 4000, &out, &count);
    EXPECT_EQ(count, 0);
    mrk_Process(input.data(), -5, &out, &count);
    EXPECT_EQ(count, 0);

    // An empty stream: the first call gives the leading record, the next one ends it.
    Init(TestConfig());
    mrk_Process(nullptr, 0, &out, &count);
    EXPECT_EQ(count, 64);
    std::vector<std::uint8_t> stream(out, out + count);
    mrk_Process(nullptr, 0, &out, &count);
    EXPECT_EQ(count, 64);
    stream.insert(stream.end(), out, out + count);
    mrk_GetAddInfo(destination);
    EXPECT_EQ(Check(stream, destination), 0);
}

// --- The checker -----------------------------------------------------------------------------

std::vector<std::uint8_t> CheckedStream;
std::size_t CheckedAt = 0;

std::int32_t ReadCheckedStream(void* buffer, std::int32_t count) {
    const std::size_t n = std::min<std::size_t>(count, CheckedStream.size() - CheckedAt);
    std::memcpy(buffer, CheckedStream.data() + CheckedAt, n);
    CheckedAt += n;
    return static_cast<std::int32_t>(n);
}

TEST(MarkCheck, TellsWhichRecordIsDamaged) {
    const std::size_t total = 10 * 1024 + 300;
    const auto clean = RunStream(TestConfig(), Ramp(total), {4000, 4000, total - 8000}).Output;
    TMarkBytes trailer;
    mrk_GetAddInfo(trailer.data());
    const std::size_t audio = 64;
    struct TCase {
        const char* Name;
        std::function<void(std::vector<std::uint8_t>&, TMarkBytes&)> Damage;
        std::int32_t Expected;
    } cases[] = {
        {"clean", [](auto&, auto&) {}, 0},
        {"high bit of a sample", [](auto& s, auto&) { s[audio + 2 * 1024 + 11] ^= 0x40; }, 0},
        {"bit 0 in block 3", [](auto& s, auto&) { s[audio + 2 * 1024 + 10] ^= 1; }, 3},
        {"bit 0 in block 1", [](auto& s, auto&) { s[audio] ^= 1; }, 1},
        {"bit 0 in block 10", [](auto& s, auto&) { s[audio + 9 * 1024 + 1022] ^= 1; }, 10},
        {"bit 0 set in the tail", [](auto& s, auto&) { s[audio + 10 * 1024 + 40] |= 1; }, -3},
        {"tail cut short", [](auto& s, auto&) { s.resize(audio + 10 * 1024 + 100); }, -3},
        {"leading record", [](auto& s, auto&) { s[5] ^= 0x01; }, -2},
        {"trailing record", [](auto& s, auto&) { s[s.size() - 3] ^= 0x80; }, -1},
        {"trailing record missing", [](auto& s, auto&) { s.resize(s.size() - 64); }, -1},
        {"given trailer", [](auto&, auto& t) { t[7] ^= 0x22; }, -4},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::uint8_t> stream = clean;
        TMarkBytes given = trailer;
        c.Damage(stream, given);
        EXPECT_EQ(Check(stream, given.data()), c.Expected);
        // The exported C entry gives the same answer.
        CheckedStream = stream;
        CheckedAt = 0;
        EXPECT_EQ(mrk_Check(ReadCheckedStream, given.data(), nullptr), c.Expected);
    }
    EXPECT_EQ(Check(clean, nullptr), -4);
    EXPECT_EQ(mrk_Check(nullptr, trailer.data(), nullptr), -4);
}

TEST(MarkCheck, StreamWithoutFramingRecordsFailsOnTheLeadingOne) {
    const auto result = RunStream(TestConfig(0), Ramp(5000), {5000});
    ASSERT_EQ(result.Output.size(), 5000u);
    TMarkBytes trailer;
    mrk_GetAddInfo(trailer.data());
    EXPECT_EQ(Check(result.Output, trailer.data()), -2);
}

} // namespace
