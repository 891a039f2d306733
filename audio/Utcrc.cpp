#include "audio/Utcrc.h"

#include <bit>
#include <cstring>

#include "link/Crc16.h"
#include "platform/ByteOrder.h"

namespace {

// A fixed permutation without fixed points: a byte never reads as itself once scrambled.
constexpr std::array<std::uint8_t, 256> Substitution = {
    0x2B, 0x77, 0x1E, 0x75, 0x09, 0x86, 0xF7, 0x35, 0x20, 0xAD, 0xE5, 0x4B, 0xCE, 0x39, 0x7B, 0xB2,
    0xEB, 0x4D, 0xE9, 0x62, 0x40, 0x6E, 0x56, 0xF0, 0x60, 0xFE, 0xF9, 0x90, 0x4C, 0x4E, 0x74, 0x3A,
    0x78, 0xA1, 0x05, 0x7E, 0x94, 0xBA, 0xE6, 0x23, 0x5C, 0x5B, 0x19, 0xF5, 0x1B, 0xC1, 0xD8, 0x42,
    0xD4, 0x15, 0x38, 0x34, 0xA6, 0x83, 0x1D, 0x3C, 0x64, 0x0C, 0xA9, 0x29, 0x73, 0xF1, 0x0D, 0x6F,
    0x37, 0x3E, 0x8C, 0x79, 0x6B, 0x1A, 0xEE, 0x7D, 0x4A, 0x72, 0x12, 0x92, 0x89, 0x02, 0x8B, 0xAA,
    0xF8, 0xF2, 0x0B, 0xEA, 0xC5, 0xC7, 0x82, 0xD6, 0xEC, 0x25, 0x7C, 0x30, 0x95, 0x50, 0x93, 0xD3,
    0x13, 0x24, 0x47, 0x76, 0xB8, 0x32, 0xCD, 0x27, 0xD1, 0x2C, 0xB6, 0x8E, 0x36, 0x6A, 0x66, 0x51,
    0x8A, 0xD5, 0x9B, 0xA5, 0x81, 0x22, 0x4F, 0xD7, 0x0A, 0xC9, 0x63, 0x7A, 0xFF, 0x6C, 0xBB, 0x16,
    0xBC, 0x14, 0x71, 0xC4, 0xA3, 0x53, 0xB5, 0x26, 0x45, 0x54, 0xDE, 0xCC, 0x67, 0x49, 0xFD, 0xAF,
    0x9C, 0x0E, 0xFC, 0x04, 0x5F, 0xDC, 0x5E, 0xAC, 0x8F, 0x44, 0x2A, 0xF3, 0xE8, 0xA7, 0xE4, 0x5A,
    0x99, 0x5D, 0xC6, 0x52, 0xAB, 0x28, 0x9A, 0x1F, 0x59, 0xB4, 0x69, 0x6D, 0x10, 0x1C, 0x2F, 0xFB,
    0xD0, 0x17, 0x03, 0xCA, 0xDB, 0xBE, 0x31, 0x87, 0xCB, 0x97, 0xF4, 0xC3, 0x9F, 0xFA, 0xED, 0xCF,
    0xB1, 0x00, 0x3F, 0xB9, 0xE7, 0xA8, 0x58, 0xA0, 0x3B, 0xDA, 0x96, 0x85, 0x2E, 0x70, 0x08, 0x0F,
    0x84, 0x41, 0x80, 0x9D, 0x3D, 0x98, 0xA2, 0xE0, 0x06, 0x57, 0xBF, 0x33, 0xAE, 0x11, 0x68, 0xB3,
    0x55, 0xB0, 0x21, 0xDF, 0x2D, 0x7F, 0x9E, 0xA4, 0xBD, 0xF6, 0x88, 0x91, 0xC0, 0x07, 0x18, 0x8D,
    0xE3, 0xC2, 0xE1, 0x01, 0xE2, 0xEF, 0xDD, 0x46, 0xD2, 0x61, 0xD9, 0x43, 0xB7, 0xC8, 0x65, 0x48,
};

constexpr std::array<std::uint8_t, 256> Invert(const std::array<std::uint8_t, 256>& table) {
    std::array<std::uint8_t, 256> inverse{};
    for (int i = 0; i < 256; ++i)
        inverse[table[i]] = static_cast<std::uint8_t>(i);
    return inverse;
}

constexpr bool IsPermutation(const std::array<std::uint8_t, 256>& table) {
    std::array<bool, 256> seen{};
    for (std::uint8_t v : table) {
        if (seen[v])
            return false;
        seen[v] = true;
    }
    return true;
}

static_assert(IsPermutation(Substitution));
constexpr std::array<std::uint8_t, 256> InverseSubstitution = Invert(Substitution);

constexpr std::uint16_t CrcWordMask = 0x5555;

void PutF32(std::uint8_t* p, float v) {
    PutU32(p, std::bit_cast<std::uint32_t>(v));
}
float GetF32(const std::uint8_t* p) {
    return std::bit_cast<float>(GetU32(p));
}

} // namespace

std::array<std::uint8_t, TMarkConfig::Size> EncodeMarkConfig(const TMarkConfig& c) {
    std::array<std::uint8_t, TMarkConfig::Size> out{};
    std::uint8_t* p = out.data();
    std::memcpy(p, c.Identity.data(), c.Identity.size());
    p[20] = c.Flags;
    PutU32(p + 21, c.RecordTime);
    PutU16(p + 25, c.SampleRate);
    p[27] = c.Channels;
    p[28] = c.BitsPerSample;
    p[29] = c.InfoA;
    PutU32(p + 30, c.Reserved);
    p[34] = c.InfoB;
    for (int k = 0; k < 3; ++k) {
        PutF32(p + 35 + 6 * k, c.Tones[k].Frequency);
        PutU16(p + 39 + 6 * k, c.Tones[k].Amplitude);
    }
    return out;
}

TMarkConfig DecodeMarkConfig(const std::uint8_t* p) {
    TMarkConfig c;
    std::memcpy(c.Identity.data(), p, c.Identity.size());
    c.Flags = p[20];
    c.RecordTime = GetU32(p + 21);
    c.SampleRate = GetU16(p + 25);
    c.Channels = p[27];
    c.BitsPerSample = p[28];
    c.InfoA = p[29];
    c.Reserved = GetU32(p + 30);
    c.InfoB = p[34];
    for (int k = 0; k < 3; ++k) {
        c.Tones[k].Frequency = GetF32(p + 35 + 6 * k);
        c.Tones[k].Amplitude = GetU16(p + 39 + 6 * k);
    }
    return c;
}

std::uint16_t MarkRecordCrc(const TMarkBytes& plain) {
    return Crc16Update(plain.data(), TMarkRecord::CrcOffset, TMarkRecord::CrcStart);
}

bool MarkRecordCrcIsValid(const TMarkBytes& plain) {
    return GetU16(plain.data() + TMarkRecord::CrcOffset) == MarkRecordCrc(plain);
}

TMarkBytes EncodeMarkRecord(const TMarkRecord& r) {
    TMarkBytes out{};
    std::uint8_t* p = out.data();
    PutU16(p, 0xFFFF);
    std::memcpy(p + 2, r.Identity.data(), r.Identity.size());
    PutU32(p + 22, r.RecordTime);
    for (int k = 0; k < 3; ++k)
        PutF32(p + 26 + 4 * k, r.Frequencies[k]);
    PutU32(p + 38, r.BlockCounter);
    PutU32(p + 42, r.ByteCounter);
    p[46] = r.InfoA;
    p[47] = r.InfoB;
    PutU16(p + TMarkRecord::CrcOffset, MarkRecordCrc(out));
    return out;
}

TMarkRecord DecodeMarkRecord(const TMarkBytes& plain) {
    const std::uint8_t* p = plain.data();
    TMarkRecord r;
    std::memcpy(r.Identity.data(), p + 2, r.Identity.size());
    r.RecordTime = GetU32(p + 22);
    for (int k = 0; k < 3; ++k)
        r.Frequencies[k] = GetF32(p + 26 + 4 * k);
    r.BlockCounter = GetU32(p + 38);
    r.ByteCounter = GetU32(p + 42);
    r.InfoA = p[46];
    r.InfoB = p[47];
    return r;
}

TMarkBytes ScrambleMarkRecord(const TMarkRecord& record) {
    TMarkBytes bytes = EncodeMarkRecord(record);
    std::uint8_t* word = bytes.data() + TMarkRecord::CrcOffset;
    PutU16(word, static_cast<std::uint16_t>(~(GetU16(word) ^ CrcWordMask)));
    for (std::uint8_t& b : bytes)
        b = Substitution[b];
    return bytes;
}

TMarkBytes UnscrambleMarkRecord(const std::uint8_t* scrambled) {
    TMarkBytes bytes{};
    for (int i = 0; i < TMarkRecord::Size; ++i)
        bytes[i] = InverseSubstitution[scrambled[i]];
    std::uint8_t* word = bytes.data() + TMarkRecord::CrcOffset;
    PutU16(word, static_cast<std::uint16_t>(~(GetU16(word) ^ CrcWordMask)));
    return bytes;
}

const std::array<std::uint8_t, 256>& MarkSubstitutionTable() {
    return Substitution;
}
const std::array<std::uint8_t, 256>& MarkInverseSubstitutionTable() {
    return InverseSubstitution;
}
