#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// The recorder's sample codecs: 4-bit IMA ADPCM, a 2-bit ADPCM of the recorder's own and the
// 8-bit block-companded codec the user interface calls "uLaw". Every function works on state
// the caller holds; none keeps state of its own, so channels and threads never interfere.
//
// The tables are built when the program starts; do not call these functions from the static
// initialiser of another unit.

// One ADPCM channel in one direction. Callers reset it to {0, 0} at every flash page, so each
// page decodes by itself.
struct TAdpcmState {
    std::int16_t Estimate = 0; // the last reconstructed sample
    std::int8_t Index = 0;     // position in ImaStepTable, 0..88
};

// The 8-bit codec. A block is one header byte (high nibble shift, low nibble scale) followed by
// one code per sample (bit 7 sign, bits 6-0 index into CompandDecodeTable).
struct TCompandState {
    std::uint8_t Shift = 0;  // adaptive exponent of the block, 0..4 in a stored header
    std::uint8_t Scale = 0;  // fixed exponent 0..4 (factor 1, 2, 4, 8, 16)
    std::uint16_t Count = 0; // samples still to come in the block; 0: the next byte is a header
};

constexpr std::size_t ImaStepCount = 89;
constexpr int AdpcmMaxIndex = static_cast<int>(ImaStepCount) - 1;
// Both ADPCM codecs keep their estimate symmetric: -32768 is never produced.
constexpr int AdpcmMinSample = -32767;
constexpr int AdpcmMaxSample = 32767;

inline constexpr std::array<std::int16_t, ImaStepCount> ImaStepTable = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// Index adjustment by code: the 4-bit codec by its magnitude bits, the 2-bit one by bit 0.
inline constexpr std::array<std::int8_t, 16> ImaIndexTable4 = {-1, -1, -1, -1, 2, 4, 6, 8,
                                                               -1, -1, -1, -1, 2, 4, 6, 8};
inline constexpr std::array<std::int8_t, 4> AdpcmIndexTable2 = {-1, 1, -1, 1};

constexpr std::uint8_t CompandMaxExponent = 4; // the largest shift or scale a header may hold
constexpr std::uint16_t CompandMaxMagnitude = 2047;

// Mu-law (mu = 255) expansion of a 7-bit code to an 11-bit magnitude, and the compression of
// an 11-bit magnitude to a 7-bit code. They are not exact inverses of each other.
extern const std::array<std::uint16_t, 128> CompandDecodeTable;
extern const std::array<std::uint8_t, CompandMaxMagnitude + 1> CompandEncodeTable;

// Samples per companding block: 20 ms at the recording's rate.
constexpr std::uint16_t CompandSamplesPerBlock(std::uint32_t rateHz) {
    return static_cast<std::uint16_t>(rateHz / 50);
}

// Per-sample codecs. The decoders use only the low 4 or 2 bits of the code.
std::uint8_t ImaAdpcmEncode4(std::int16_t sample, TAdpcmState& state);
std::int16_t ImaAdpcmDecode4(std::uint8_t code, TAdpcmState& state);
std::uint8_t Adpcm2Encode(std::int16_t sample, TAdpcmState& state);
std::int16_t Adpcm2Decode(std::uint8_t code, TAdpcmState& state);

// Returns a header byte when state.Count is 0 (Count then reads 65535: the caller sets the
// samples per block and offers the same sample again), else the code of the sample. The shift
// relaxes by one step per sample and rises as far as the sample needs.
std::uint8_t CompandEncode8(std::int16_t sample, TCompandState& state);
// Returns 0 for a header byte (Count then reads 65535: the caller sets the samples per block
// and stores no sample), else the sample, saturated at -32767..32767.
std::int16_t CompandDecode8(std::uint8_t byte, TCompandState& state);

// Runs of codes in the order pages store them: 4-bit codes two to a byte, the earlier sample in
// the high nibble; 2-bit codes four to a byte, the earliest sample in bits 7-6.

// Decode as many whole bytes as fit into samples; return the number of samples written.
std::size_t ImaAdpcmDecode4Run(std::span<const std::uint8_t> codes, TAdpcmState& state,
                               std::span<std::int16_t> samples);
std::size_t Adpcm2DecodeRun(std::span<const std::uint8_t> codes, TAdpcmState& state,
                            std::span<std::int16_t> samples);

// Encode into at most codes.size() bytes; a last byte that the samples do not fill is completed
// with encoded zero samples. Return the number of bytes written.
std::size_t ImaAdpcmEncode4Run(std::span<const std::int16_t> samples, TAdpcmState& state,
                               std::span<std::uint8_t> codes);
std::size_t Adpcm2EncodeRun(std::span<const std::int16_t> samples, TAdpcmState& state,
                            std::span<std::uint8_t> codes);

// Input taken and output given by a run.
struct TCodecRun {
    std::size_t Consumed = 0;
    std::size_t Produced = 0;
};

// Decodes the companded bytes of one page; every page starts a new block, so its first byte is
// a header. Header bytes give no sample. Stops when the bytes end or samples is full; Consumed
// counts bytes, Produced samples.
TCodecRun CompandDecodePage(std::span<const std::uint8_t> bytes, std::uint16_t samplesPerBlock,
                            std::span<std::int16_t> samples);

// Fills a whole page with companded blocks of samplesPerBlock samples (a block is cut where the
// page ends). Each block's shift is the smallest that fits that block's peak and holds for all
// of its samples, so the header the decoder reads is the one the samples were coded with.
// -32768 is coded as -32767; a scale above 4 is coded as 4. Once the samples run out the page
// is completed with silence. Consumed counts the samples taken (advance the source by it),
// Produced the bytes written (always page.size()).
TCodecRun CompandEncodePage(std::span<const std::int16_t> samples, std::uint8_t scale,
                            std::uint16_t samplesPerBlock, std::span<std::uint8_t> page);
