#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The recorder's settings record: eight recording profiles, a few device-wide values, the
// access password and thirteen telephone-line parameter pairs. Packed, little-endian; the
// serialisers below are the only way between the fields and the bytes.

// One recording profile (37 bytes). The comments name the profile-file key of each field.
struct TRecProfile {
    static constexpr std::size_t Size = 37;
    static constexpr std::size_t NameSize = 8;

    std::uint8_t Request = 0;                  // command 6: 0x00 read, 0xFF write
    std::uint8_t Number = 0;                   // 1..8, rewritten as index + 1
    std::array<std::uint8_t, NameSize> Name{}; // "Name", not terminated when 8 long
    std::uint8_t SampleRate = 0;               // "Sample Rate", rate code
    std::uint8_t Compress = 0;                 // "Compress": 0 none, 1 uLaw, 2 ADPCM
    std::uint8_t CompressParam = 0;            // "CompressParam"
    std::uint8_t CyclicRecord = 0;             // "CyclicRecord": non-zero on
    std::uint8_t CycleBufSize = 0;             // "CycleBufSize"
    std::uint8_t TimerType = 0;                // "TimerType": 0xFF off, 1 daily, 2 once
    std::uint8_t TimerStartHour = 0;
    std::uint8_t TimerStartMin = 0;
    std::uint8_t TimerStartDay = 0;
    std::uint8_t TimerStartMonth = 0;
    std::uint16_t TimerStartYear = 0;
    std::uint8_t TimerStopHour = 0;
    std::uint8_t TimerStopMin = 0;
    std::uint8_t TimerStopDay = 0;
    std::uint8_t TimerStopMonth = 0;
    std::uint16_t TimerStopYear = 0;
    std::uint8_t Vas = 0;      // "VAS": 1 on
    std::int8_t VasLevel = 0;  // "VasLevel", dB -55..0 here; negated on the wire
    std::uint8_t VasTime = 0;  // "VasTime"
    std::uint8_t PgacGain = 0; // "PGAC_Gain"
    std::uint8_t PgacMode = 0; // "PGAC_Mode": 0 AGC on, 0xFF off
    std::uint8_t PgacFastAttack = 0;
    std::uint8_t PgacFastRelease = 0;
    std::uint8_t PgacSlowAttack = 0;
    std::uint8_t PgacSlowRelease = 0;

    void WriteTo(std::uint8_t* out) const;
    std::array<std::uint8_t, Size> ToBytes() const;
    static TRecProfile FromBytes(const std::uint8_t* in);

    bool operator==(const TRecProfile&) const = default;
};

// One telephone-line / caller-identification parameter: a tag and its value byte.
struct TLineParamPair {
    std::uint8_t Tag = 0;
    std::uint8_t Value = 0;
    bool operator==(const TLineParamPair&) const = default;
};

// Tags of the thirteen pairs in their stored order.
enum TLineParamTag : std::uint8_t {
    LineTagAnswerAndCallerId = 0x7C, // bit 3 auto answer; bits 0-2 detection type
    LineTagRingVoltage = 0x7E,
    LineTagBusyVoltage = 0x7F,
    LineTagNumberLength = 0xA1,
    LineTagRingsBeforeAnswer = 0xA2,
    LineTagFirstRequestDelay = 0xA3,
    LineTagRequestDuration = 0xA4,
    LineTagRequestFormAndCount = 0xA5, // bits 3-7 form, bits 0-2 count
    LineTagRequestAmplitude = 0xA6,
    LineTagMinDigits = 0xA7,
    LineTagNextRequestDelay = 0xA8,
    LineTagDtmfVoltage = 0xA9,
    LineTagDialDelay = 0xAA,
};
extern const std::array<std::uint8_t, 13> LineParamTags;

struct TRecSettings {
    static constexpr std::size_t Size = 356;
    static constexpr std::size_t ProfileCount = 8;
    static constexpr std::size_t PasswordSize = 21;
    static constexpr std::size_t PairCount = 13;

    // Byte offsets of the fields in the record.
    static constexpr std::size_t ProfilesOfs = 0;
    static constexpr std::size_t SearchStepOfs = 296;
    static constexpr std::size_t KeyPressTypeOfs = 297;
    static constexpr std::size_t AccessLevelOfs = 298;
    static constexpr std::size_t BatteryThresholdsOfs = 299;
    static constexpr std::size_t AntialiasFilterOfs = 307;
    static constexpr std::size_t CurrentProfileOfs = 308;
    static constexpr std::size_t PasswordOfs = 309;
    static constexpr std::size_t LineParamsOfs = 330;

    std::array<TRecProfile, ProfileCount> Profiles{};
    std::uint8_t SearchStep = 0;
    std::uint8_t KeyPressType = 0;                    // 1 double press, 0 single
    std::uint8_t AccessLevel = 0;                     // 1 low, 2 middle, 3 high
    std::array<std::uint16_t, 4> BatteryThresholds{}; // ADC units of levels 0..3
    std::uint8_t AntialiasFilter = 0;
    std::uint8_t CurrentProfile = 0; // 0..7
    std::array<std::uint8_t, PasswordSize> Password{};
    std::array<TLineParamPair, PairCount> LineParams{};

    void WriteTo(std::uint8_t* out) const;
    std::array<std::uint8_t, Size> ToBytes() const;
    static TRecSettings FromBytes(const std::uint8_t* in);

    // The first pair with this tag, or null; unknown tags are ignored by readers.
    const TLineParamPair* FindLineParam(std::uint8_t tag) const;

    bool operator==(const TRecSettings&) const = default;
};

// Twenty bytes 0xFF and a zero byte: the password field whenever no password is known.
using TPasswordField = std::array<std::uint8_t, TRecSettings::PasswordSize>;
extern const TPasswordField NoPasswordBlock;

// The longest password the field holds with its terminating zero byte.
constexpr std::size_t MaxPasswordLength = TRecSettings::PasswordSize - 1;

// Printable ASCII (0x20..0x7E), at most MaxPasswordLength characters.
bool IsValidPassword(const std::string& password);
// The field for a password: the no-password block for an empty one, otherwise the
// characters and a zero byte over the no-password block. Null for an invalid password.
std::optional<TPasswordField> MakePasswordField(const std::string& password);
// The password a field holds: empty for the no-password block; null when the field holds
// neither that block nor a valid password with its zero byte.
std::optional<std::string> PasswordFromField(const TPasswordField& field);

// Sample-rate codes: 0 = 40000, 1 = 20000, 2 = 13333, 3 = 8000, 4 = 4000, 5 = 16000 Hz.
// Any other code gives 4000 Hz; any other rate gives code 1.
std::uint32_t RateCodeToHz(std::uint8_t code);
std::uint8_t HzToRateCode(std::uint32_t hz);

// What a read leaves in the record: current profile 0..7, profile numbers index + 1,
// rate codes 0, 1, 2, 3 or 5 else 4, compression types 0..2 else 0, access level 0 -> 1.
void NormaliseRecSettings(TRecSettings& settings);

// The VAS level as it travels in commands 6 (sent and received negated).
std::int8_t NegateVasLevel(std::int8_t level);
