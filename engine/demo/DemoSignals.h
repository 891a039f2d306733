#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Synthetic call audio for the demo image: speech-like voices, background noise and the call
// signalling the caller-ID decoder recognises. Everything is computed from fixed seeds, so the
// same build makes the same samples.
namespace demo {

using TPcm = std::vector<std::int16_t>;

// A small deterministic generator (xorshift32); the same seed gives the same sequence.
class TRandom {
public:
    explicit TRandom(std::uint32_t seed) : State(seed == 0 ? 0x9E3779B9u : seed) {}
    std::uint32_t Next();
    double Uniform(); // [0, 1)
    double Between(double low, double high);
    double Gaussian(); // mean 0, deviation 1

private:
    std::uint32_t State;
};

// A voice: its pitch and how loud and bright it sounds.
struct TVoice {
    double PitchHz = 120;
    double Amplitude = 6000;
    double Brightness = 1.0; // scales the upper formants' strength
    std::uint32_t Seed = 1;
};

// Level of a sine at dBm0 (0 dBm0 is 3.17 dB below a full-scale sine).
double DbM0Amplitude(double dbm0);

TPcm Silence(std::uint32_t rate, std::uint32_t ms);
// Sine tones of equal amplitude, with 5 ms raised-cosine edges.
TPcm Tones(std::uint32_t rate, const std::vector<double>& frequencies, double amplitude,
           std::uint32_t ms);
// Phrases of syllables: a pulse source at a gliding pitch through vowel formants, with noise
// consonants, and pauses between the phrases.
TPcm SpeechLike(std::uint32_t rate, std::uint32_t ms, const TVoice& voice);
// Low background: pink-ish noise with a faint mains hum.
TPcm Background(std::uint32_t rate, std::uint32_t ms, double amplitude, std::uint32_t seed);
// A small melody of harmonic notes (music on hold).
TPcm Melody(std::uint32_t rate, std::uint32_t ms, double amplitude);

// DTMF digits "0"-"9", "*", "#", "A"-"D": both tones at levelDbm0, onMs tone, offMs pause.
TPcm DtmfDigits(std::uint32_t rate, const std::string& digits, double levelDbm0, std::uint32_t onMs,
                std::uint32_t offMs);
// The exchange's 500 Hz request tone, then the multi-frequency answer: cycles of nine
// symbols (start, category, the seven digits from the last to the first, a digit equal to
// the one sent after it as the repeat symbol), 40 ms each without pauses.
TPcm MfCallerNumber(std::uint32_t rate, int category, const std::string& sevenDigits, int cycles);
// The symbol rows (0-11) of one cycle, in transmission order.
std::vector<int> MfCycleRows(int category, const std::string& sevenDigits);

// A Bell 202 caller-ID burst (1200 baud, mark 1200 Hz, space 2200 Hz, continuous phase):
// channel seizure, marks, the message bytes framed with start and stop bits, a few marks.
TPcm FskBurst(std::uint32_t rate, const std::vector<std::uint8_t>& message, double levelDbm0);
// A multiple-data message: type 0x80, length, parameters (1 date and time MMDDHHMM,
// 2 number, 7 name), and the checksum that makes the byte sum 0.
std::vector<std::uint8_t> MdmfMessage(const std::string& dateTime, const std::string& number,
                                      const std::string& name);

void Append(TPcm& to, const TPcm& from);
// Adds from into to at offset (growing to as needed), saturating.
void MixInto(TPcm& to, const TPcm& from, std::size_t offset = 0);
// Band-limits a far-end voice as a telephone line does (300-3400 Hz, first order each).
TPcm TelephoneBand(const TPcm& pcm, std::uint32_t rate);

} // namespace demo
