#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "audio/Codecsfunc.h"
#include "tests/support/TestData.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Reference vectors written by Codecsfunc_vectors.py from Python's audioop.

struct TVectors {
    std::vector<int> Steps;
    // key ("enc_pcm", "dec_codes", ...) -> vector name -> values
    std::map<std::string, std::map<std::string, std::vector<int>>> Lines;

    const std::map<std::string, std::vector<int>>& Of(const std::string& key) const {
        static const std::map<std::string, std::vector<int>> none;
        const auto it = Lines.find(key);
        return it == Lines.end() ? none : it->second;
    }
};

using testsupport::TestDataFolder;

const TVectors& Vectors() {
    static const TVectors vectors = [] {
        TVectors v;
        std::ifstream file(TestDataFolder() / "Codecsfunc_vectors.txt");
        std::string text;
        while (std::getline(file, text)) {
            if (text.empty() || text[0] == '#')
                continue;
            std::istringstream in(text);
            std::string key, name;
            in >> key;
            std::vector<int>* target = &v.Steps;
            if (key != "steps") {
                in >> name;
                target = &v.Lines[key][name];
            }
            for (int value; in >> value;)
                target->push_back(value);
        }
        return v;
    }();
    return vectors;
}

std::vector<std::int16_t> ToSamples(const std::vector<int>& values) {
    return {values.begin(), values.end()};
}

std::vector<std::uint8_t> PackNibbles(const std::vector<int>& codes) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < codes.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(codes[i] << 4 | codes[i + 1]));
    return bytes;
}

TEST(ImaAdpcm4Reference, VectorFileIsPresent) {
    const TVectors& v = Vectors();
    ASSERT_EQ(v.Steps.size(), ImaStepCount) << "Codecsfunc_vectors.txt missing or damaged";
    EXPECT_GE(v.Of("enc_pcm").size(), 5u);
    EXPECT_GE(v.Of("dec_codes").size(), 3u);
    // At least one vector must exercise the lower clamp, where audioop alone would differ.
    EXPECT_LT(v.Of("enc_packed").size(), v.Of("enc_pcm").size());
}

TEST(ImaAdpcm4Reference, StepTableMatchesAudioop) {
    const std::vector<int> ours(ImaStepTable.begin(), ImaStepTable.end());
    EXPECT_EQ(ours, Vectors().Steps);
}

TEST(ImaAdpcm4Reference, EncoderMatchesAudioopSampleBySample) {
    for (const auto& [name, pcm] : Vectors().Of("enc_pcm")) {
        const auto& codes = Vectors().Of("enc_codes").at(name);
        const auto& estimates = Vectors().Of("enc_est").at(name);
        ASSERT_EQ(codes.size(), pcm.size()) << name;
        TAdpcmState state;
        for (std::size_t i = 0; i < pcm.size(); ++i) {
            const int code = ImaAdpcmEncode4(static_cast<std::int16_t>(pcm[i]), state);
            ASSERT_EQ(code, codes[i]) << name << " sample " << i;
            ASSERT_EQ(state.Estimate, estimates[i]) << name << " sample " << i;
        }
    }
}

TEST(ImaAdpcm4Reference, EncodeRunPacksHighNibbleFirst) {
    for (const auto& [name, pcm] : Vectors().Of("enc_pcm")) {
        const std::vector<std::int16_t> samples = ToSamples(pcm);
        std::vector<std::uint8_t> bytes(samples.size() / 2);
        TAdpcmState state;
        ASSERT_EQ(ImaAdpcmEncode4Run(samples, state, bytes), bytes.size());
        EXPECT_EQ(bytes, PackNibbles(Vectors().Of("enc_codes").at(name))) << name;
        const auto packed = Vectors().Of("enc_packed").find(name);
        if (packed != Vectors().Of("enc_packed").end()) {
            const std::vector<std::uint8_t> audioop(packed->second.begin(), packed->second.end());
            EXPECT_EQ(bytes, audioop) << name;
        }
    }
}

TEST(ImaAdpcm4Reference, DecoderMatchesAudioop) {
    for (const auto& [name, codes] : Vectors().Of("dec_codes")) {
        const auto& expected = Vectors().Of("dec_pcm").at(name);
        TAdpcmState state;
        for (std::size_t i = 0; i < codes.size(); ++i)
            ASSERT_EQ(ImaAdpcmDecode4(static_cast<std::uint8_t>(codes[i]), state), expected[i])
                << name << " code " << i;

        const std::vector<std::uint8_t> bytes = PackNibbles(codes);
        std::vector<std::int16_t> samples(bytes.size() * 2);
        TAdpcmState runState;
        ASSERT_EQ(ImaAdpcmDecode4Run(bytes, runState, samples), samples.size());
        EXPECT_TRUE(std::equal(samples.begin(), samples.end(), expected.begin())) << name;
    }
}

TEST(ImaAdpcm4Reference, DecodingTheEncodersCodesGivesItsEstimates) {
    for (const auto& [name, codes] : Vectors().Of("enc_codes")) {
        const auto& estimates = Vectors().Of("enc_est").at(name);
        TAdpcmState state;
        for (std::size_t i = 0; i < codes.size(); ++i)
            ASSERT_EQ(ImaAdpcmDecode4(static_cast<std::uint8_t>(codes[i]), state), estimates[i])
                << name << " code " << i;
    }
}

// ---------------------------------------------------------------------------------------------
// ADPCM rules at their clamps.

struct TAdpcmCase {
    const char* Name;
    TAdpcmState Start;
    std::uint8_t Code;
    std::int16_t Sample;
    std::int8_t Index;
};

TEST(ImaAdpcm4, DecodeSteps) {
    const TAdpcmCase cases[] = {
        {"code 0 from rest", {0, 0}, 0, 0, 0},
        {"code 7 from rest", {0, 0}, 7, 11, 8},
        {"code 15 from rest", {0, 0}, 15, -11, 8},
        {"high bits ignored", {0, 0}, 0xF7, 11, 8},
        {"top of the table", {32000, 88}, 7, 32767, 88},
        {"bottom clamp", {-32000, 88}, 15, -32767, 88},
        {"index floor", {100, 0}, 3, 100 + 0 + 3 + 1, 0},
        {"index beyond the table is clamped", {0, 100}, 4, 32767, 88},
        {"negative index is clamped", {0, -5}, 0, 0, 0},
    };
    for (const auto& c : cases) {
        TAdpcmState state = c.Start;
        EXPECT_EQ(ImaAdpcmDecode4(c.Code, state), c.Sample) << c.Name;
        EXPECT_EQ(state.Estimate, c.Sample) << c.Name;
        EXPECT_EQ(state.Index, c.Index) << c.Name;
    }
}

TEST(ImaAdpcm4, LongRunsSettleAtTheClampsAndNeverGiveMinus32768) {
    for (std::uint8_t code : {7, 15}) {
        TAdpcmState state;
        for (int i = 0; i < 500; ++i) {
            const std::int16_t sample = ImaAdpcmDecode4(code, state);
            ASSERT_GE(sample, -32767);
            ASSERT_GE(state.Index, 0);
            ASSERT_LE(state.Index, 88);
        }
        EXPECT_EQ(state.Index, 88);
        EXPECT_EQ(state.Estimate, code == 7 ? 32767 : -32767);
    }
    TAdpcmState state;
    for (int i = 0; i < 500; ++i)
        ImaAdpcmEncode4(-32768, state);
    EXPECT_EQ(state.Estimate, -32767);
}

TEST(ImaAdpcm4, RunsHandleShortBuffersAndOddCounts) {
    const std::vector<std::int16_t> samples = {1000, -2000, 3000};
    std::vector<std::uint8_t> bytes(2);
    TAdpcmState state;
    ASSERT_EQ(ImaAdpcmEncode4Run(samples, state, bytes), 2u);
    TAdpcmState perSample;
    const int c0 = ImaAdpcmEncode4(1000, perSample);
    const int c1 = ImaAdpcmEncode4(-2000, perSample);
    const int c2 = ImaAdpcmEncode4(3000, perSample);
    const int c3 = ImaAdpcmEncode4(0, perSample); // the missing fourth sample is a zero
    EXPECT_EQ(bytes[0], c0 << 4 | c1);
    EXPECT_EQ(bytes[1], c2 << 4 | c3);
    EXPECT_EQ(state.Estimate, perSample.Estimate);
    EXPECT_EQ(state.Index, perSample.Index);

    // Only whole bytes are decoded into the room given.
    std::vector<std::int16_t> out(3);
    TAdpcmState decodeState;
    EXPECT_EQ(ImaAdpcmDecode4Run(bytes, decodeState, out), 2u);
    std::vector<std::uint8_t> none;
    EXPECT_EQ(ImaAdpcmDecode4Run(none, decodeState, out), 0u);
}

TEST(Adpcm2, DecodeSteps) {
    const TAdpcmCase cases[] = {
        {"code 0 from rest", {0, 0}, 0, 0, 0},
        {"code 1 from rest", {0, 0}, 1, 7, 1},
        {"code 2 from rest", {0, 0}, 2, 0, 0},
        {"code 3 from rest", {0, 0}, 3, -7, 1},
        {"small step at index 40", {1000, 40}, 0, 1000 + (337 >> 5), 39},
        {"large step at index 40", {1000, 40}, 3, 1000 - (337 >> 5) - 337, 41},
        {"high bits ignored", {0, 0}, 0xFD, 7, 1},
        {"top clamp", {32700, 88}, 1, 32767, 88},
        {"bottom clamp", {-32700, 88}, 3, -32767, 88},
        {"index beyond the table is clamped", {0, 120}, 2, -(32767 >> 5), 87},
    };
    for (const auto& c : cases) {
        TAdpcmState state = c.Start;
        EXPECT_EQ(Adpcm2Decode(c.Code, state), c.Sample) << c.Name;
        EXPECT_EQ(state.Index, c.Index) << c.Name;
    }
}

TEST(Adpcm2, EncodeSteps) {
    struct TCase {
        const char* Name;
        TAdpcmState Start;
        std::int16_t Input;
        std::uint8_t Code;
        std::int16_t Estimate;
    };
    const TCase cases[] = {
        {"difference below the step", {0, 0}, 6, 0, 0},
        {"difference of one step", {0, 0}, 7, 1, 7},
        {"negative below the step", {0, 0}, -6, 2, 0},
        {"negative of one step", {0, 0}, -7, 3, -7},
        {"-32768 from the bottom", {-32767, 88}, -32768, 2, -32767},
        {"+32767 from the top", {32767, 88}, 32767, 0, 32767},
    };
    for (const auto& c : cases) {
        TAdpcmState state = c.Start;
        EXPECT_EQ(Adpcm2Encode(c.Input, state), c.Code) << c.Name;
        EXPECT_EQ(state.Estimate, c.Estimate) << c.Name;
    }
}

TEST(Adpcm2, LongRunsSettleAtTheClamps) {
    for (std::uint8_t code : {1, 3}) {
        TAdpcmState state;
        for (int i = 0; i < 400; ++i) {
            ASSERT_GE(Adpcm2Decode(code, state), -32767);
            ASSERT_LE(state.Index, 88);
        }
        EXPECT_EQ(state.Index, 88);
        EXPECT_EQ(state.Estimate, code == 1 ? 32767 : -32767);
    }
}

TEST(Adpcm2, RunsPackEarliestSampleInTheTopBits) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> level(-20000, 20000);
    std::vector<std::int16_t> samples(403);
    for (auto& s : samples)
        s = static_cast<std::int16_t>(level(rng));

    std::vector<std::uint8_t> bytes(101);
    TAdpcmState state;
    ASSERT_EQ(Adpcm2EncodeRun(samples, state, bytes), 101u);

    TAdpcmState perSample;
    std::vector<std::int16_t> estimates;
    for (std::size_t i = 0; i < 404; ++i) {
        const std::int16_t input = i < samples.size() ? samples[i] : 0;
        const std::uint8_t code = Adpcm2Encode(input, perSample);
        ASSERT_EQ((bytes[i / 4] >> (6 - 2 * (i % 4))) & 3, code) << i;
        estimates.push_back(perSample.Estimate);
    }

    std::vector<std::int16_t> decoded(404);
    TAdpcmState decodeState;
    ASSERT_EQ(Adpcm2DecodeRun(bytes, decodeState, decoded), 404u);
    EXPECT_EQ(decoded, estimates);
    // No room for a whole byte: nothing is decoded.
    std::vector<std::int16_t> small(3);
    EXPECT_EQ(Adpcm2DecodeRun(bytes, decodeState, small), 0u);
}

// ---------------------------------------------------------------------------------------------
// The 8-bit block-companded codec.

TEST(CompandTables, DecodeTableIsTheListedExpansion) {
    const std::uint16_t listed[128] = {
        0,    1,    1,    2,    2,    2,    3,    3,    4,    4,    5,    5,    6,    7,    7,
        8,    9,    9,    10,   11,   12,   13,   14,   15,   16,   17,   18,   19,   20,   21,
        23,   24,   26,   27,   29,   30,   32,   34,   35,   37,   39,   41,   44,   46,   48,
        51,   53,   56,   59,   62,   65,   68,   72,   75,   79,   83,   87,   91,   95,   100,
        105,  110,  115,  120,  126,  132,  138,  145,  151,  159,  166,  174,  182,  190,  199,
        208,  218,  228,  238,  249,  260,  272,  285,  297,  311,  325,  340,  355,  371,  388,
        406,  424,  443,  463,  484,  506,  528,  552,  577,  603,  630,  658,  688,  719,  751,
        784,  819,  856,  894,  934,  976,  1019, 1065, 1112, 1162, 1214, 1268, 1324, 1383, 1445,
        1509, 1577, 1647, 1720, 1797, 1876, 1960, 2047};
    for (std::size_t c = 0; c < 128; ++c)
        EXPECT_EQ(CompandDecodeTable[c], listed[c]) << c;
}

TEST(CompandTables, EncodeTableTellingRows) {
    const std::pair<int, int> rows[] = {{0, 0}, {1, 3}, {2, 5}, {3, 7}, {8, 16}, {63, 50}};
    for (const auto& [m, code] : rows)
        EXPECT_EQ(CompandEncodeTable[m], code) << m;
    for (int m = 2003; m <= 2047; ++m)
        EXPECT_EQ(CompandEncodeTable[m], 127) << m;
    EXPECT_TRUE(std::is_sorted(CompandEncodeTable.begin(), CompandEncodeTable.end()));
    // Not an inverse of the decode table: 1 codes as 3, which expands to 2.
    EXPECT_EQ(CompandDecodeTable[CompandEncodeTable[1]], 2);
}

TEST(CompandDecode8, HeadersAndSamples) {
    struct TCase {
        const char* Name;
        TCompandState Start;
        std::uint8_t Byte;
        std::int16_t Sample;
        std::uint8_t Shift, Scale;
        std::uint16_t Count;
    };
    const TCase cases[] = {
        {"header", {0, 0, 0}, 0x32, 0, 3, 2, 65535},
        {"header 0x44", {0, 0, 0}, 0x44, 0, 4, 4, 65535},
        {"header 0x5A: both above 4", {3, 3, 0}, 0x5A, 0, 0, 0, 65535},
        {"header 0x4F: scale above 4", {0, 0, 0}, 0x4F, 0, 4, 0, 65535},
        {"0xFF at exponent 0", {0, 0, 5}, 0xFF, -2047, 0, 0, 4},
        {"0x7F at exponent 0", {0, 0, 5}, 0x7F, 2047, 0, 0, 4},
        {"0x81 at exponent 2", {1, 1, 5}, 0x81, -4, 1, 1, 4},
        {"negative zero", {2, 2, 5}, 0x80, 0, 2, 2, 4},
        {"0x40 at shift 4", {4, 0, 2}, 0x40, 126 << 4, 4, 0, 1},
        // The literal 16-bit product wraps 2047 << 8 to -256; it saturates instead.
        {"0x7F at shift 4, scale 4", {4, 4, 9}, 0x7F, 32767, 4, 4, 8},
        {"0xFF at shift 4, scale 4", {4, 4, 9}, 0xFF, -32767, 4, 4, 8},
        {"caller state out of range", {200, 200, 9}, 0x01, 32767, 200, 200, 8},
    };
    for (const auto& c : cases) {
        TCompandState state = c.Start;
        EXPECT_EQ(CompandDecode8(c.Byte, state), c.Sample) << c.Name;
        EXPECT_EQ(state.Shift, c.Shift) << c.Name;
        EXPECT_EQ(state.Scale, c.Scale) << c.Name;
        EXPECT_EQ(state.Count, c.Count) << c.Name;
    }
}

TEST(CompandEncode8, HeadersAndSamples) {
    struct TCase {
        const char* Name;
        TCompandState Start;
        std::int16_t Sample;
        std::uint8_t Byte;
        std::uint8_t Shift;
        std::uint16_t Count;
    };
    const std::uint8_t top = CompandEncodeTable[2047];
    const TCase cases[] = {
        {"header from the state", {3, 2, 0}, 12345, 0x32, 3, 65535},
        {"shift relaxes by one", {3, 0, 5}, 0, 0, 2, 4},
        {"shift stays at 0", {0, 1, 5}, 100, CompandEncodeTable[50], 0, 4},
        {"negative sample", {0, 0, 5}, -63, static_cast<std::uint8_t>(0x80 | 50), 0, 4},
        {"32767 raises the shift to 4", {0, 0, 5}, 32767, top, 4, 4},
        {"-32768 raises the shift to 5",
         {0, 0, 5},
         -32768,
         static_cast<std::uint8_t>(0x80 | CompandEncodeTable[1024]),
         5,
         4},
        {"scale 4 needs no shift", {0, 4, 5}, 32767, top, 0, 4},
    };
    for (const auto& c : cases) {
        TCompandState state = c.Start;
        EXPECT_EQ(CompandEncode8(c.Sample, state), c.Byte) << c.Name;
        EXPECT_EQ(state.Shift, c.Shift) << c.Name;
        EXPECT_EQ(state.Count, c.Count) << c.Name;
    }
}

// The per-sample encoder writes a block's header before it sees the block, with the shift the
// previous block left: after a loud block, a quiet one is labelled with the loud block's shift.
// This is why uploads use CompandEncodePage.
TEST(CompandEncode8, HeaderLagsBehindItsBlock) {
    TCompandState state{0, 0, 0};
    auto encode = [&](std::int16_t sample) {
        std::uint8_t byte = CompandEncode8(sample, state);
        if (state.Count == 65535) {
            state.Count = 4;
            byte = CompandEncode8(sample, state);
        }
        return byte;
    };
    for (int i = 0; i < 4; ++i)
        encode(30000);
    EXPECT_EQ(state.Shift, 4);
    state.Count = 0;
    EXPECT_EQ(CompandEncode8(100, state), 0x40);
    state.Count = 4;
    // ...while the block's quiet samples are coded with shifts 3, 2, 1, 0.
    CompandEncode8(100, state);
    CompandEncode8(100, state);
    CompandEncode8(100, state);
    EXPECT_EQ(CompandEncode8(100, state), CompandEncodeTable[100]);
}

TEST(CompandDecodePage, HeadersGiveNoSamples) {
    const std::vector<std::uint8_t> page = {0x21, 0x01, 0x81, 0x7F, // shift 2, scale 1
                                            0x00, 0x10, 0xFF, 0x90, // exponent 0
                                            0x5A, 0x7F};            // invalid header: 0, 0
    std::vector<std::int16_t> out(page.size());
    const TCodecRun run = CompandDecodePage(page, 3, out);
    EXPECT_EQ(run.Consumed, page.size());
    ASSERT_EQ(run.Produced, 7u);
    const int nine = CompandDecodeTable[16];
    const std::vector<int> expected = {8, -8, 2047 * 8, nine, -2047, -nine, 2047};
    EXPECT_EQ(std::vector<int>(out.begin(), out.begin() + 7), expected);
}

TEST(CompandDecodePage, StopsWhenTheOutputIsFull) {
    const std::vector<std::uint8_t> page = {0x00, 1, 2, 3, 0x00, 4, 5, 6};
    std::vector<std::int16_t> out(4);
    const TCodecRun run = CompandDecodePage(page, 3, out);
    EXPECT_EQ(run.Produced, 4u);
    EXPECT_EQ(out[3], CompandDecodeTable[4]);
    EXPECT_EQ(run.Consumed, 6u);

    std::vector<std::int16_t> room(8);
    EXPECT_EQ(CompandDecodePage(page, 0, room).Produced, 0u); // every byte a header
    EXPECT_EQ(CompandDecodePage({}, 3, room).Produced, 0u);
}

// The largest error of expanding a coded 11-bit magnitude, from the tables themselves.
int RoundTripError() {
    int worst = 0;
    for (int m = 0; m <= CompandMaxMagnitude; ++m)
        worst = std::max(worst, std::abs(CompandDecodeTable[CompandEncodeTable[m]] - m));
    return worst;
}

int SmallestFittingShift(int peak, int scale) {
    int shift = 0;
    while ((peak >> (shift + scale)) > 2047)
        ++shift;
    return shift;
}

TEST(CompandEncodePage, EachHeaderFitsItsOwnBlock) {
    // Loud and quiet blocks in turn, the peak of each at a different place.
    const std::uint16_t perBlock = 160;
    std::vector<std::int16_t> samples;
    const int peaks[] = {300, 32767, 100, 9000, 32767, 0, 2047, 2048, 16000, 40};
    for (std::size_t b = 0; b < std::size(peaks); ++b)
        for (int i = 0; i < perBlock; ++i) {
            const int at = static_cast<int>((b * 37) % perBlock);
            const int level = i == at ? peaks[b] : peaks[b] / 3;
            samples.push_back(static_cast<std::int16_t>((i % 2) ? -level : level));
        }

    for (std::uint8_t scale = 0; scale <= 4; ++scale) {
        std::vector<std::uint8_t> page(std::size(peaks) * (perBlock + 1));
        const TCodecRun run = CompandEncodePage(samples, scale, perBlock, page);
        ASSERT_EQ(run.Consumed, samples.size());
        ASSERT_EQ(run.Produced, page.size());

        std::vector<std::int16_t> decoded(samples.size());
        ASSERT_EQ(CompandDecodePage(page, perBlock, decoded).Produced, samples.size());
        for (std::size_t b = 0; b < std::size(peaks); ++b) {
            const std::uint8_t header = page[b * (perBlock + 1)];
            const int shift = SmallestFittingShift(peaks[b], scale);
            ASSERT_EQ(header, shift << 4 | scale) << "block " << b << " scale " << int(scale);
            const int exponent = shift + scale;
            const int bound = (RoundTripError() + 1) << exponent;
            for (std::size_t i = b * perBlock; i < (b + 1) * perBlock; ++i) {
                ASSERT_LE(std::abs(decoded[i] - samples[i]), bound) << i;
                ASSERT_GE(decoded[i] * samples[i], 0) << "sign flipped at " << i;
            }
        }
    }
}

TEST(CompandEncodePage, ClampsMinus32768AndTheScale) {
    struct TCase {
        const char* Name;
        std::int16_t Sample;
        std::uint8_t Scale;
        std::uint8_t Header;
        std::uint8_t Code;
    };
    const TCase cases[] = {
        {"-32768 codes as -32767", -32768, 0, 0x40, 0xFF},
        {"32767 at scale 0", 32767, 0, 0x40, 0x7F},
        {"scale 7 stored as 4", 1000, 7, 0x04, CompandEncodeTable[1000 >> 4]},
        {"scale 15 stored as 4", -32768, 15, 0x04, 0xFF},
        {"-32768 at scale 2", -32768, 2, 0x22, 0xFF},
    };
    for (const auto& c : cases) {
        const std::vector<std::int16_t> samples = {c.Sample};
        std::vector<std::uint8_t> page(2);
        CompandEncodePage(samples, c.Scale, 8, page);
        EXPECT_EQ(page[0], c.Header) << c.Name;
        EXPECT_EQ(page[1], c.Code) << c.Name;
        TCompandState state;
        CompandDecode8(page[0], state);
        state.Count = 8;
        EXPECT_GT(CompandDecode8(page[1], state) * c.Sample, 0) << c.Name;
    }
}

TEST(CompandEncodePage, FillsThePageAndCountsWhatItTook) {
    struct TCase {
        const char* Name;
        std::size_t PageBytes;
        std::uint16_t PerBlock;
        std::size_t Samples;
        std::size_t Consumed;
    };
    const TCase cases[] = {
        // 2046 bytes in blocks of 161: 13 headers (the last block cut short).
        {"8 kHz page", 2046, 160, 4000, 2046 - 13},
        {"40 kHz page", 2046, 800, 4000, 2046 - 3},
        {"source runs out", 2046, 160, 500, 500},
        {"no samples", 100, 160, 0, 0},
        {"header only", 1, 160, 10, 0},
        {"empty page", 0, 160, 10, 0},
        {"blocks of no samples", 50, 0, 10, 0},
    };
    for (const auto& c : cases) {
        std::vector<std::int16_t> samples(c.Samples);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::int16_t>(100 + (i * 7919) % 20000);
        std::vector<std::uint8_t> page(c.PageBytes, 0xEE);
        const TCodecRun run = CompandEncodePage(samples, 1, c.PerBlock, page);
        EXPECT_EQ(run.Consumed, c.Consumed) << c.Name;
        EXPECT_EQ(run.Produced, c.PageBytes) << c.Name;
        EXPECT_EQ(std::count(page.begin(), page.end(), 0xEE), 0) << c.Name;

        // The decoder gives back the samples taken, then the silence that completed the page.
        std::vector<std::int16_t> decoded(c.PageBytes);
        const TCodecRun back = CompandDecodePage(page, c.PerBlock, decoded);
        EXPECT_EQ(back.Consumed, c.PageBytes) << c.Name;
        ASSERT_GE(back.Produced, run.Consumed) << c.Name;
        for (std::size_t i = 0; i < back.Produced; ++i) {
            if (i < run.Consumed)
                ASSERT_GT(decoded[i], 0) << c.Name << " " << i;
            else
                ASSERT_EQ(decoded[i], 0) << c.Name << " " << i;
        }
    }
}

} // namespace
