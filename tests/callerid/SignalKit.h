#pragma once

// Test signals for the caller-ID decoder. Tones, DTMF, FSK caller ID and noise come from
// libspandsp (at 8000 Hz, resampled for other rates); pulse clicks and speech-like sound are
// synthesised here from simple models.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "callerid/Norvel.h"
#include "callerid/private/NorvelState.h"

namespace norvel_test {

using TSamples = std::vector<int16_t>;

constexpr int kSpanRate = 8000;

void Append(TSamples& to, const TSamples& from);
TSamples Silence(int sampleRate, int milliseconds);
TSamples Sine(int sampleRate, double frequency, double amplitude, int milliseconds);
TSamples Scaled(const TSamples& samples, double gain);
// Adds in place, `from` starting at `offset`; the result saturates.
void MixInto(TSamples& to, const TSamples& from, size_t offset = 0);
double RmsOf(const TSamples& samples);

// Windowed-sinc interpolation from 8000 Hz to a higher rate (any ratio).
TSamples Resample(const TSamples& samples, int fromRate, int toRate);
TSamples FromSpanRate(const TSamples& samples, int sampleRate);
// An 8000 Hz signal at `sampleRate`, resampled as above and started `delayUs` microseconds
// late: results must not depend on where a signal begins inside the 10 ms analysis frame.
TSamples Placed(const TSamples& samples8k, int sampleRate, int delayUs);

// DTMF from spandsp's generator; `level` per tone in dBm0.
TSamples DtmfDigits(const std::string& digits, int level, int onMs, int offMs, int twist = 0);
// One or two tones from spandsp's tone generator; frequency 0 for none.
TSamples Tones(int f1, int level1, int f2, int level2, int milliseconds);
// Two sines at 8000 Hz with levels in dBm0 (a level of -99 or less leaves a tone out).
TSamples TonePair(double f1, double level1, double f2, double level2, int milliseconds);
// DTMF keys from two sines each: row tone at `rowLevel`, column tone at `columnLevel` dBm0,
// both frequencies scaled by `frequencyScale`.
TSamples DtmfKeys(const std::string& keys, double rowLevel, double columnLevel,
                  double frequencyScale, int onMs, int offMs);
// The same with the row and the column frequencies scaled apart (one tone off, the other on).
TSamples DtmfKeys(const std::string& keys, double rowLevel, double columnLevel, double rowScale,
                  double columnScale, int onMs, int offMs);
// Noise of `milliseconds` at `level` dBm0 whose power is measured against `signal`: adds
// white noise at `snr` dB below the signal's power over its non-silent samples.
void AddNoiseAtSnr(TSamples& signal, double snr, int seed);
double PowerDbm0(const TSamples& samples);
// White noise from spandsp at `level` dBm0.
TSamples WhiteNoise(int milliseconds, float level, int seed);
// Speech-shaped (Hoth) noise from spandsp.
TSamples HothNoise(int milliseconds, float level, int seed);

// Multi-frequency symbols (rows 0..11 of the code table), each `symbolMs` long, no gaps.
TSamples MfSymbols(const std::vector<int>& rows, int level, int symbolMs);
// The nine-symbol cycle for `category` and a seven-digit number, in transmission order
// (start, category, the number's digits from the last to the first, equal neighbours sent as
// the repeat symbol). Rows, not codes.
std::vector<int> MfCycleRows(int category, const std::string& number);

// The number after the 500 Hz request tone, two cycles of 40 ms symbols, with each symbol's
// lower tone at `lowLevel` and its upper tone at `highLevel` dBm0, both frequencies scaled.
TSamples MfCallOnLine(int category, const std::string& number, double frequencyScale,
                      double lowLevel, double highLevel);
struct TMfNumber {
    int Category = 0;
    std::string Number;
    std::vector<uint16_t> Expected; // the status record's group 2 values
};
// Seven-digit numbers; the category is never the number's last digit, which it precedes on
// the line (two equal symbols in a row would merge).
std::vector<TMfNumber> RandomMfNumbers(int count, uint32_t seed);

// The digits spandsp's DTMF receiver takes from 8000 Hz audio.
std::string SpandspDtmfDigits(const TSamples& samples8k);

struct TCallerIdFields {
    std::string DateTime; // MMDDHHMM, empty for none
    std::string Number;
    std::string Name;
};
// Fields of caller-ID messages: a date and time, a ten-digit number, a twelve-letter name.
std::vector<TCallerIdFields> RandomCallerIdFields(int count, uint32_t seed);
// The multiple-data message bytes: type 0x80, length, fields, checksum (mod 256 sum 0).
std::vector<uint8_t> MdmfMessage(const TCallerIdFields& fields);
// Bell 202 caller ID from spandsp's ADSI transmitter: 300 bits of channel seizure, 180 mark
// bits, the message, `postambleBits` marks, then silence. `gain` scales spandsp's output.
TSamples FskCallerId(const TCallerIdFields& fields, double gain = 1.0, int postambleBits = 5);
// Same modulator for raw message bytes (for messages a standard transmitter would refuse).
TSamples FskBytes(const std::vector<uint8_t>& bytes, double gain = 1.0, int postambleBits = 5);
// A transmitter off nominal: both tones and the bit rate scaled, and the seizure and the mark
// bits before the message of a given length (a recording that starts late loses the first).
struct TFskLine {
    double ToneScale = 1.0;
    double BitRateScale = 1.0;
    int SeizureBits = 300;
    int MarkBits = 180;
};
TSamples FskBytesOn(const std::vector<uint8_t>& bytes, const TFskLine& line, double gain = 1.0,
                    int postambleBits = 5);

// Pulse dialling clicks: a lobe of one sign, then a short tail of the other sign below the
// click threshold.
struct TClickShape {
    int Polarity = 1; // 1 positive, 2 negative
    double DurationMs = 2.0;
    double Peak = 20000.0;
};
struct TDialTiming {
    int BreakMs = 60;
    int MakeMs = 40;
    int PauseMs = 700; // between digits
};
// Each digit (1..10 pulses; '0' = 10) as break/make click pairs. A break click starts every
// break, a make click every make.
TSamples PulseDigits(int sampleRate, const std::string& digits, const TClickShape& breakClick,
                     const TClickShape& makeClick, const TDialTiming& timing = {});
// Clicks at given times (ms from the start), each with its shape.
TSamples ClickTrack(int sampleRate, int totalMs, const std::vector<int>& timesMs,
                    const std::vector<TClickShape>& shapes);

// Voiced, formant-filtered syllables with pauses and some fricatives, at about `level` dBm0.
TSamples SpeechLike(int sampleRate, int milliseconds, int seed, double level = -15.0);

// Runs a fresh decoder over the samples in blocks of `block` samples.
std::unique_ptr<norvel::TNorvelState> Decode(int sampleRate, const TSamples& samples,
                                             size_t block = 8192);
TCallerIdStatus StatusOf(const norvel::TNorvelState& state);

// Group 1 and group 2 values of a status record (without their kind words), and kinds.
std::vector<uint16_t> DigitGroup(const TCallerIdStatus& status);
std::vector<uint16_t> MessageGroup(const TCallerIdStatus& status);
// Group 1 digits as text: 0-9, A-D, '*', '#'.
std::string DigitText(const TCallerIdStatus& status);
// The text fields of an MDMF group, by parameter type.
std::string MessageField(const TCallerIdStatus& status, uint16_t type);

} // namespace norvel_test
