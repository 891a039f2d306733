#include "engine/RecClassesSettings.h"

#include <algorithm>
#include <cstring>

#include "platform/ByteOrder.h"

namespace {

// Offsets within a profile.
constexpr std::size_t PrfRequest = 0;
constexpr std::size_t PrfNumber = 1;
constexpr std::size_t PrfName = 2;
constexpr std::size_t PrfSampleRate = 10;
constexpr std::size_t PrfCompress = 11;
constexpr std::size_t PrfCompressParam = 12;
constexpr std::size_t PrfCyclicRecord = 13;
constexpr std::size_t PrfCycleBufSize = 14;
constexpr std::size_t PrfTimerType = 15;
constexpr std::size_t PrfTimerStartHour = 16;
constexpr std::size_t PrfTimerStartMin = 17;
constexpr std::size_t PrfTimerStartDay = 18;
constexpr std::size_t PrfTimerStartMonth = 19;
constexpr std::size_t PrfTimerStartYear = 20; // u16
constexpr std::size_t PrfTimerStopHour = 22;
constexpr std::size_t PrfTimerStopMin = 23;
constexpr std::size_t PrfTimerStopDay = 24;
constexpr std::size_t PrfTimerStopMonth = 25;
constexpr std::size_t PrfTimerStopYear = 26; // u16
constexpr std::size_t PrfVas = 28;
constexpr std::size_t PrfVasLevel = 29;
constexpr std::size_t PrfVasTime = 30;
constexpr std::size_t PrfPgacGain = 31;
constexpr std::size_t PrfPgacMode = 32;
constexpr std::size_t PrfPgacFastAttack = 33;
constexpr std::size_t PrfPgacFastRelease = 34;
constexpr std::size_t PrfPgacSlowAttack = 35;
constexpr std::size_t PrfPgacSlowRelease = 36;
static_assert(PrfName + TRecProfile::NameSize == PrfSampleRate);
static_assert(PrfPgacSlowRelease + 1 == TRecProfile::Size);

static_assert(TRecSettings::ProfilesOfs + TRecSettings::ProfileCount * TRecProfile::Size ==
              TRecSettings::SearchStepOfs);
static_assert(TRecSettings::BatteryThresholdsOfs + 4 * 2 == TRecSettings::AntialiasFilterOfs);
static_assert(TRecSettings::PasswordOfs + TRecSettings::PasswordSize ==
              TRecSettings::LineParamsOfs);
static_assert(TRecSettings::LineParamsOfs + TRecSettings::PairCount * 2 == TRecSettings::Size);

} // namespace

const std::array<std::uint8_t, 13> LineParamTags = {
    LineTagAnswerAndCallerId, LineTagRingVoltage,         LineTagBusyVoltage,
    LineTagNumberLength,      LineTagRingsBeforeAnswer,   LineTagFirstRequestDelay,
    LineTagRequestDuration,   LineTagRequestFormAndCount, LineTagRequestAmplitude,
    LineTagMinDigits,         LineTagNextRequestDelay,    LineTagDtmfVoltage,
    LineTagDialDelay,
};

const TPasswordField NoPasswordBlock = [] {
    TPasswordField block;
    block.fill(0xFF);
    block.back() = 0;
    return block;
}();

void TRecProfile::WriteTo(std::uint8_t* p) const {
    p[PrfRequest] = Request;
    p[PrfNumber] = Number;
    std::memcpy(p + PrfName, Name.data(), NameSize);
    p[PrfSampleRate] = SampleRate;
    p[PrfCompress] = Compress;
    p[PrfCompressParam] = CompressParam;
    p[PrfCyclicRecord] = CyclicRecord;
    p[PrfCycleBufSize] = CycleBufSize;
    p[PrfTimerType] = TimerType;
    p[PrfTimerStartHour] = TimerStartHour;
    p[PrfTimerStartMin] = TimerStartMin;
    p[PrfTimerStartDay] = TimerStartDay;
    p[PrfTimerStartMonth] = TimerStartMonth;
    PutU16(p + PrfTimerStartYear, TimerStartYear);
    p[PrfTimerStopHour] = TimerStopHour;
    p[PrfTimerStopMin] = TimerStopMin;
    p[PrfTimerStopDay] = TimerStopDay;
    p[PrfTimerStopMonth] = TimerStopMonth;
    PutU16(p + PrfTimerStopYear, TimerStopYear);
    p[PrfVas] = Vas;
    p[PrfVasLevel] = static_cast<std::uint8_t>(VasLevel);
    p[PrfVasTime] = VasTime;
    p[PrfPgacGain] = PgacGain;
    p[PrfPgacMode] = PgacMode;
    p[PrfPgacFastAttack] = PgacFastAttack;
    p[PrfPgacFastRelease] = PgacFastRelease;
    p[PrfPgacSlowAttack] = PgacSlowAttack;
    p[PrfPgacSlowRelease] = PgacSlowRelease;
}

std::array<std::uint8_t, TRecProfile::Size> TRecProfile::ToBytes() const {
    std::array<std::uint8_t, Size> bytes{};
    WriteTo(bytes.data());
    return bytes;
}

TRecProfile TRecProfile::FromBytes(const std::uint8_t* p) {
    TRecProfile r;
    r.Request = p[PrfRequest];
    r.Number = p[PrfNumber];
    std::memcpy(r.Name.data(), p + PrfName, NameSize);
    r.SampleRate = p[PrfSampleRate];
    r.Compress = p[PrfCompress];
    r.CompressParam = p[PrfCompressParam];
    r.CyclicRecord = p[PrfCyclicRecord];
    r.CycleBufSize = p[PrfCycleBufSize];
    r.TimerType = p[PrfTimerType];
    r.TimerStartHour = p[PrfTimerStartHour];
    r.TimerStartMin = p[PrfTimerStartMin];
    r.TimerStartDay = p[PrfTimerStartDay];
    r.TimerStartMonth = p[PrfTimerStartMonth];
    r.TimerStartYear = GetU16(p + PrfTimerStartYear);
    r.TimerStopHour = p[PrfTimerStopHour];
    r.TimerStopMin = p[PrfTimerStopMin];
    r.TimerStopDay = p[PrfTimerStopDay];
    r.TimerStopMonth = p[PrfTimerStopMonth];
    r.TimerStopYear = GetU16(p + PrfTimerStopYear);
    r.Vas = p[PrfVas];
    r.VasLevel = static_cast<std::int8_t>(p[PrfVasLevel]);
    r.VasTime = p[PrfVasTime];
    r.PgacGain = p[PrfPgacGain];
    r.PgacMode = p[PrfPgacMode];
    r.PgacFastAttack = p[PrfPgacFastAttack];
    r.PgacFastRelease = p[PrfPgacFastRelease];
    r.PgacSlowAttack = p[PrfPgacSlowAttack];
    r.PgacSlowRelease = p[PrfPgacSlowRelease];
    return r;
}

void TRecSettings::WriteTo(std::uint8_t* p) const {
    for (std::size_t i = 0; i < ProfileCount; ++i)
        Profiles[i].WriteTo(p + ProfilesOfs + i * TRecProfile::Size);
    p[SearchStepOfs] = SearchStep;
    p[KeyPressTypeOfs] = KeyPressType;
    p[AccessLevelOfs] = AccessLevel;
    for (std::size_t i = 0; i < BatteryThresholds.size(); ++i)
        PutU16(p + BatteryThresholdsOfs + 2 * i, BatteryThresholds[i]);
    p[AntialiasFilterOfs] = AntialiasFilter;
    p[CurrentProfileOfs] = CurrentProfile;
    std::memcpy(p + PasswordOfs, Password.data(), PasswordSize);
    for (std::size_t i = 0; i < PairCount; ++i) {
        p[LineParamsOfs + 2 * i] = LineParams[i].Tag;
        p[LineParamsOfs + 2 * i + 1] = LineParams[i].Value;
    }
}

std::array<std::uint8_t, TRecSettings::Size> TRecSettings::ToBytes() const {
    std::array<std::uint8_t, Size> bytes{};
    WriteTo(bytes.data());
    return bytes;
}

TRecSettings TRecSettings::FromBytes(const std::uint8_t* p) {
    TRecSettings r;
    for (std::size_t i = 0; i < ProfileCount; ++i)
        r.Profiles[i] = TRecProfile::FromBytes(p + ProfilesOfs + i * TRecProfile::Size);
    r.SearchStep = p[SearchStepOfs];
    r.KeyPressType = p[KeyPressTypeOfs];
    r.AccessLevel = p[AccessLevelOfs];
    for (std::size_t i = 0; i < r.BatteryThresholds.size(); ++i)
        r.BatteryThresholds[i] = GetU16(p + BatteryThresholdsOfs + 2 * i);
    r.AntialiasFilter = p[AntialiasFilterOfs];
    r.CurrentProfile = p[CurrentProfileOfs];
    std::memcpy(r.Password.data(), p + PasswordOfs, PasswordSize);
    for (std::size_t i = 0; i < PairCount; ++i)
        r.LineParams[i] = {p[LineParamsOfs + 2 * i], p[LineParamsOfs + 2 * i + 1]};
    return r;
}

const TLineParamPair* TRecSettings::FindLineParam(std::uint8_t tag) const {
    for (const TLineParamPair& pair : LineParams)
        if (pair.Tag == tag)
            return &pair;
    return nullptr;
}

bool IsValidPassword(const std::string& password) {
    return password.size() <= MaxPasswordLength &&
           std::all_of(password.begin(), password.end(),
                       [](char c) { return c >= 0x20 && c <= 0x7E; });
}

std::optional<TPasswordField> MakePasswordField(const std::string& password) {
    if (!IsValidPassword(password))
        return std::nullopt;
    TPasswordField field = NoPasswordBlock;
    if (password.empty())
        return field;
    std::memcpy(field.data(), password.data(), password.size());
    field[password.size()] = 0;
    return field;
}

std::optional<std::string> PasswordFromField(const TPasswordField& field) {
    if (std::equal(field.begin(), field.begin() + MaxPasswordLength, NoPasswordBlock.begin()))
        return std::string();
    const auto zero = std::find(field.begin(), field.end(), std::uint8_t{0});
    if (zero == field.end() || zero == field.begin())
        return std::nullopt;
    std::string password(field.begin(), zero);
    if (!IsValidPassword(password))
        return std::nullopt;
    return password;
}

std::uint32_t RateCodeToHz(std::uint8_t code) {
    switch (code) {
    case 0:
        return 40000;
    case 1:
        return 20000;
    case 2:
        return 13333;
    case 3:
        return 8000;
    case 5:
        return 16000;
    default:
        return 4000;
    }
}

std::uint8_t HzToRateCode(std::uint32_t hz) {
    switch (hz) {
    case 40000:
        return 0;
    case 20000:
        return 1;
    case 13333:
        return 2;
    case 8000:
        return 3;
    case 4000:
        return 4;
    case 16000:
        return 5;
    default:
        return 1;
    }
}

void NormaliseRecSettings(TRecSettings& s) {
    if (s.CurrentProfile >= TRecSettings::ProfileCount)
        s.CurrentProfile = 0;
    for (std::size_t i = 0; i < TRecSettings::ProfileCount; ++i) {
        TRecProfile& p = s.Profiles[i];
        p.Number = static_cast<std::uint8_t>(i + 1);
        if (p.SampleRate > 5 || p.SampleRate == 4)
            p.SampleRate = 4;
        if (p.Compress > 2)
            p.Compress = 0;
    }
    if (s.AccessLevel == 0)
        s.AccessLevel = 1;
}

std::int8_t NegateVasLevel(std::int8_t level) {
    return static_cast<std::int8_t>(-static_cast<int>(level));
}
