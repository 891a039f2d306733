// libnorvel beside spandsp's receivers on the same generated audio, in one run: DTMF twist,
// frequency tolerance, noise and talk-off; FSK caller ID in noise, off nominal and with a
// short preamble; the multi-frequency code off nominal. libnorvel runs at 8000, 16000 and
// 40000 Hz (the audio resampled with a real filter and started at several places inside the
// 10 ms frame), spandsp at 8000 Hz, its own rate.

#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <spandsp.h>
#include <string>
#include <vector>

#include "callerid/CallerIdStatus.h"
#include "tests/callerid/SignalKit.h"
#include "tests/callerid/SpeechCorpus.h"

namespace {

using namespace norvel_test;

constexpr int kRates[] = {8000, 16000, 40000};
constexpr int kRateCount = 3;
// Where the signal starts inside the analysis frame, in microseconds.
constexpr int kDelaysUs[] = {0, 2300, 4700, 6100, 8900};
const std::string kAllKeys = "1234567890*#ABCD";

std::string NorvelDigits(int rate, const TSamples& call8k, int delayUs) {
    return DigitText(StatusOf(*Decode(rate, Placed(call8k, rate, delayUs))));
}

TSamples Padded(const TSamples& signal) {
    TSamples call = Silence(kSpanRate, 200);
    Append(call, signal);
    Append(call, Silence(kSpanRate, 200));
    return call;
}

// Figures of one row: libnorvel at each rate, spandsp at 8000 Hz.
struct TRow {
    std::string Norvel[kRateCount];
    std::string Spandsp;
};

void PrintRow(const char* name, const TRow& row) {
    std::printf("| %s | %s | %s / %s / %s |\n", name, row.Spandsp.c_str(), row.Norvel[0].c_str(),
                row.Norvel[1].c_str(), row.Norvel[2].c_str());
    std::fflush(stdout);
}

std::string Decibels(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dB", value);
    return text;
}

std::string Count(int good, int total) {
    return std::to_string(good) + " of " + std::to_string(total);
}

// Largest value from `start` in `step`s for which `passes` holds at it and at every step before.
double LastPassing(double start, double step, double stop,
                   const std::function<bool(double)>& passes) {
    double last = start - step;
    for (double value = start; step > 0 ? value <= stop : value >= stop; value += step) {
        if (!passes(value)) {
            break;
        }
        last = value;
    }
    return last;
}

// --- DTMF ---------------------------------------------------------------------------------

// All keys at `twist` dB (normal: the column tone weaker; reverse: the row tone weaker).
TSamples TwistedKeys(double twist, bool reverse) {
    const double strong = -8.0;
    return Padded(reverse ? DtmfKeys(kAllKeys, strong - twist, strong, 1.0, 50, 50)
                          : DtmfKeys(kAllKeys, strong, strong - twist, 1.0, 50, 50));
}

bool NorvelTakesAll(int rate, const TSamples& call, const std::string& expected) {
    for (const int delay : kDelaysUs) {
        if (NorvelDigits(rate, call, delay) != expected) {
            return false;
        }
    }
    return true;
}

void DtmfTwist() {
    for (const bool reverse : {false, true}) {
        TRow row;
        for (int r = 0; r < kRateCount; ++r) {
            row.Norvel[r] = Decibels(LastPassing(0.0, 0.5, 16.0, [&](double twist) {
                return NorvelTakesAll(kRates[r], TwistedKeys(twist, reverse), kAllKeys);
            }));
        }
        row.Spandsp = Decibels(LastPassing(0.0, 0.5, 16.0, [&](double twist) {
            return SpandspDtmfDigits(TwistedKeys(twist, reverse)) == kAllKeys;
        }));
        PrintRow(reverse ? "DTMF reverse twist accepted (needed 4 dB)"
                         : "DTMF normal twist accepted (needed 8 dB)",
                 row);
    }
}

void DtmfFrequencyTolerance() {
    for (const double percent : {-1.5, 1.5, -3.5, 3.5}) {
        const TSamples call =
            Padded(DtmfKeys(kAllKeys, -10.0, -10.0, 1.0 + percent / 100.0, 50, 50));
        TRow row;
        for (int r = 0; r < kRateCount; ++r) {
            int taken = 0;
            for (const int delay : kDelaysUs) {
                taken += static_cast<int>(NorvelDigits(kRates[r], call, delay).size());
            }
            row.Norvel[r] = Count(taken, static_cast<int>(kAllKeys.size() * std::size(kDelaysUs)));
        }
        row.Spandsp = Count(static_cast<int>(SpandspDtmfDigits(call).size()),
                            static_cast<int>(kAllKeys.size()));
        char name[96];
        std::snprintf(name, sizeof name, "DTMF keys taken, tones %+.1f %% off", percent);
        PrintRow(name, row);
    }
}

void DtmfNoise() {
    std::mt19937 random(2024);
    std::string digits;
    for (int i = 0; i < 100; ++i) {
        digits.push_back(kAllKeys[random() % kAllKeys.size()]);
    }
    const int level = -15;
    const TSamples clean = Padded(DtmfDigits(digits, level, 50, 50));
    const double pairPower = level + 10.0 * std::log10(2.0);
    const auto noisy = [&](double snr) {
        TSamples call = clean;
        MixInto(call,
                WhiteNoise(static_cast<int>(call.size() / 8), static_cast<float>(pairPower - snr),
                           static_cast<int>(snr * 7 + 100)));
        return call;
    };
    TRow row;
    for (int r = 0; r < kRateCount; ++r) {
        row.Norvel[r] = Decibels(LastPassing(30.0, -1.0, -5.0, [&](double snr) {
            return NorvelTakesAll(kRates[r], noisy(snr), digits);
        }));
    }
    row.Spandsp = Decibels(LastPassing(
        30.0, -1.0, -5.0, [&](double snr) { return SpandspDtmfDigits(noisy(snr)) == digits; }));
    PrintRow("DTMF 50 ms on / 50 ms off, lowest S/N with no error in 100 digits", row);
}

// Keys of one length: key "5" (770 + 1336 Hz) ten times with 100 ms gaps at each level per
// tone, every start in the frame. Prints the count taken and the count per level.
void DtmfKeyLength(int onMs) {
    const int levels[] = {-4, -10, -20, -30};
    TRow row;
    for (int r = 0; r < kRateCount; ++r) {
        int total = 0;
        std::string perLevel;
        for (const int level : levels) {
            const TSamples call = Padded(DtmfDigits("5555555555", level, onMs, 100));
            int taken = 0;
            for (const int delay : kDelaysUs) {
                taken += static_cast<int>(NorvelDigits(kRates[r], call, delay).size());
            }
            total += taken;
            perLevel += (perLevel.empty() ? "" : "/") + std::to_string(taken);
        }
        row.Norvel[r] = Count(total, 200) + " (" + perLevel + ")";
    }
    int spandsp = 0;
    for (const int level : levels) {
        spandsp += static_cast<int>(
            SpandspDtmfDigits(Padded(DtmfDigits("5555555555", level, onMs, 100))).size());
    }
    row.Spandsp = Count(spandsp, 40);
    char name[128];
    std::snprintf(name, sizeof name,
                  "%d ms keys taken, 770+1336 Hz, -4/-10/-20/-30 dBm0, five starts, 10 keys each",
                  onMs);
    PrintRow(name, row);
}

// One tone of every key off by `percent` (row or column, low or high), -10 dBm0.
void DtmfOneToneOff(double percent, int onMs, int offMs) {
    TRow row;
    int spandsp = 0;
    int norvel[kRateCount] = {};
    for (const bool rowOff : {true, false}) {
        for (const double sign : {-1.0, 1.0}) {
            const double scale = 1.0 + sign * percent / 100.0;
            const TSamples call = Padded(DtmfKeys(kAllKeys, -10.0, -10.0, rowOff ? scale : 1.0,
                                                  rowOff ? 1.0 : scale, onMs, offMs));
            spandsp += static_cast<int>(SpandspDtmfDigits(call).size());
            for (int r = 0; r < kRateCount; ++r) {
                for (const int delay : kDelaysUs) {
                    norvel[r] += static_cast<int>(NorvelDigits(kRates[r], call, delay).size());
                }
            }
        }
    }
    for (int r = 0; r < kRateCount; ++r) {
        row.Norvel[r] =
            Count(norvel[r], static_cast<int>(4 * kAllKeys.size() * std::size(kDelaysUs)));
    }
    row.Spandsp = Count(spandsp, static_cast<int>(4 * kAllKeys.size()));
    char name[128];
    std::snprintf(name, sizeof name,
                  "one tone %.1f %% off (row or column, low or high), -10 dBm0, %d ms keys with "
                  "%d ms gaps: keys taken",
                  percent, onMs, offMs);
    PrintRow(name, row);
}

// Widest span of levels per tone from `top` down, in whole dB, at every one of which all keys
// are taken.
std::string LevelSpan(int top, const std::function<bool(int)>& passes) {
    int best = -1, bestTop = 0, runTop = 0, run = -1;
    for (int level = top; level >= -50; --level) {
        if (passes(level)) {
            if (run < 0) {
                runTop = level;
            }
            ++run;
            if (run > best) {
                best = run;
                bestTop = runTop;
            }
        } else {
            run = -1;
        }
    }
    if (best < 0) {
        return "none";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%d dB (%d to %d dBm0)", best, bestTop, bestTop - best);
    return text;
}

// Keys from spandsp's generator, which wraps round above -3 dBm0 per tone, and keys of two
// sines that saturate as a line's converter would, from 0 dBm0 per tone (the top of a keypad's
// range) down.
void DtmfLevelRange(int onMs, int offMs, bool saturating) {
    TRow row;
    const auto call = [&](int level) {
        return Padded(saturating ? DtmfKeys(kAllKeys, level, level, 1.0, onMs, offMs)
                                 : DtmfDigits(kAllKeys, level, onMs, offMs));
    };
    const int top = saturating ? 0 : 3;
    for (int r = 0; r < kRateCount; ++r) {
        row.Norvel[r] = LevelSpan(
            top, [&](int level) { return NorvelTakesAll(kRates[r], call(level), kAllKeys); });
    }
    row.Spandsp =
        LevelSpan(top, [&](int level) { return SpandspDtmfDigits(call(level)) == kAllKeys; });
    char name[160];
    std::snprintf(name, sizeof name,
                  "%d/%d ms keys (%s), range of levels per tone with every key taken", onMs, offMs,
                  saturating ? "two sines, saturating, from 0 dBm0" : "spandsp's generator");
    PrintRow(name, row);
}

// Anything a decoder reports on speech is false.
struct TFalseResults {
    int Digits = 0;
    int Other = 0; // FSK, multi-frequency or a reception left running
};

TFalseResults NorvelOnSpeech(int rate, const std::vector<TSamples>& utterances) {
    TFalseResults results;
    for (const TSamples& utterance : utterances) {
        const auto state = Decode(rate, utterance);
        const TCallerIdStatus status = StatusOf(*state);
        results.Digits += static_cast<int>(DigitGroup(status).size());
        results.Other +=
            status.Words[2] != 0 || state->State != norvel::TDecoderState::Idle ? 1 : 0;
    }
    return results;
}

void TalkOffRow(const char* corpus, const std::vector<TUtterance>& utterances) {
    TRow row;
    double seconds = 0.0;
    for (int r = 0; r < kRateCount; ++r) {
        std::vector<TSamples> speech;
        for (const TUtterance& utterance : utterances) {
            speech.push_back(Speak(utterance, kRates[r]));
        }
        if (r == 0) {
            int spandsp = 0;
            for (const TSamples& s : speech) {
                seconds += static_cast<double>(s.size()) / kRates[r];
                spandsp += static_cast<int>(SpandspDtmfDigits(s).size());
            }
            row.Spandsp = std::to_string(spandsp);
        }
        const TFalseResults results = NorvelOnSpeech(kRates[r], speech);
        row.Norvel[r] =
            std::to_string(results.Digits) +
            (results.Other != 0 ? " (+" + std::to_string(results.Other) + " other)" : "");
    }
    char name[160];
    std::snprintf(name, sizeof name, "talk-off, %s: false digits in %.0f s of speech (%zu voices)",
                  corpus, seconds, utterances.size());
    PrintRow(name, row);
}

void DtmfTalkOff() {
    TalkOffRow("eight languages", TalkOffUtterances());
    TalkOffRow("wide corpus half A (tuned on)", WideSpeechUtterances(0));
    TalkOffRow("wide corpus half B (held out)", WideSpeechUtterances(1));
}

// --- FSK ----------------------------------------------------------------------------------

struct TMessage {
    TCallerIdFields Fields;
    std::vector<uint8_t> Bytes;
};

std::vector<TMessage> Messages(int count, uint32_t seed) {
    std::vector<TMessage> messages;
    for (const TCallerIdFields& fields : RandomCallerIdFields(count, seed)) {
        messages.push_back({fields, MdmfMessage(fields)});
    }
    return messages;
}

void CaptureMessage(void* user, const uint8_t* message, int length) {
    static_cast<std::vector<uint8_t>*>(user)->assign(message, message + length);
}

bool SpandspTakes(const TSamples& call8k, const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> captured;
    adsi_rx_state_t* receiver =
        adsi_rx_init(nullptr, ADSI_STANDARD_CLASS, CaptureMessage, &captured);
    adsi_rx(receiver, call8k.data(), static_cast<int>(call8k.size()));
    adsi_rx_free(receiver);
    return captured == std::vector<uint8_t>(bytes.begin(), bytes.end() - 1);
}

bool NorvelTakes(int rate, const TSamples& call8k, int delayUs, const TCallerIdFields& fields) {
    const TCallerIdStatus status = StatusOf(*Decode(rate, Placed(call8k, rate, delayUs)));
    return MessageField(status, 1) == fields.DateTime && MessageField(status, 2) == fields.Number &&
           MessageField(status, 7) == fields.Name;
}

// Counts the messages taken; each message goes out at one of the frame delays in turn.
TRow FskCounts(const std::vector<TMessage>& messages, const TFskLine& line, double snr) {
    int norvel[kRateCount] = {};
    int spandsp = 0;
    for (size_t m = 0; m < messages.size(); ++m) {
        TSamples call = Padded(FskBytesOn(messages[m].Bytes, line));
        if (snr < 90.0) {
            AddNoiseAtSnr(call, snr, static_cast<int>(m * 1000 + snr * 7 + 100));
        }
        const int delay = kDelaysUs[m % std::size(kDelaysUs)];
        for (int r = 0; r < kRateCount; ++r) {
            norvel[r] += NorvelTakes(kRates[r], call, delay, messages[m].Fields) ? 1 : 0;
        }
        spandsp += SpandspTakes(call, messages[m].Bytes) ? 1 : 0;
    }
    TRow row;
    const int total = static_cast<int>(messages.size());
    for (int r = 0; r < kRateCount; ++r) {
        row.Norvel[r] = Count(norvel[r], total);
    }
    row.Spandsp = Count(spandsp, total);
    return row;
}

void FskNoise() {
    const std::vector<TMessage> messages = Messages(20, 77);
    // Lowest S/N from which up all 20 messages are taken, for each receiver separately.
    double lowest[kRateCount + 1];
    for (double& l : lowest) {
        l = 31.0;
    }
    bool failed[kRateCount + 1] = {};
    for (double snr = 30.0; snr >= 0.0; snr -= 1.0) {
        const TRow row = FskCounts(messages, TFskLine{}, snr);
        const std::string all = Count(20, 20);
        for (int r = 0; r <= kRateCount; ++r) {
            const std::string& figure = r < kRateCount ? row.Norvel[r] : row.Spandsp;
            if (!failed[r] && figure == all) {
                lowest[r] = snr;
            } else {
                failed[r] = true;
            }
        }
        if (std::all_of(std::begin(failed), std::end(failed), [](bool f) { return f; })) {
            break;
        }
    }
    TRow row;
    for (int r = 0; r < kRateCount; ++r) {
        row.Norvel[r] = Decibels(lowest[r]);
    }
    row.Spandsp = Decibels(lowest[kRateCount]);
    PrintRow("FSK caller ID (Bell 202, multiple-data format), lowest S/N with 20 of 20", row);
}

void FskOffNominal() {
    const std::vector<TMessage> messages = Messages(10, 91);
    struct TCase {
        const char* Name;
        TFskLine Line;
    };
    const TCase cases[] = {
        {"FSK tones 1 % low", {0.99, 1.0, 300, 180}},
        {"FSK tones 0.5 % low", {0.995, 1.0, 300, 180}},
        {"FSK tones 0.5 % high", {1.005, 1.0, 300, 180}},
        {"FSK tones 1 % high", {1.01, 1.0, 300, 180}},
        {"FSK bit rate 2 % low", {1.0, 0.98, 300, 180}},
        {"FSK bit rate 2 % high", {1.0, 1.02, 300, 180}},
        {"FSK tones 1 % high, bit rate 2 % low", {1.01, 0.98, 300, 180}},
        {"FSK 155 mark bits after the seizure", {1.0, 1.0, 300, 155}},
        {"FSK 140 mark bits after the seizure", {1.0, 1.0, 300, 140}},
        {"FSK 155 mark bits, no seizure", {1.0, 1.0, 0, 155}},
        {"FSK 140 mark bits, no seizure", {1.0, 1.0, 0, 140}},
    };
    for (const TCase& c : cases) {
        PrintRow(c.Name, FskCounts(messages, c.Line, 99.0));
    }
}

// --- Multi-frequency ------------------------------------------------------------------------

void MultiFrequency() {
    const std::vector<TMfNumber> numbers = RandomMfNumbers(10, 5);
    struct TCase {
        const char* Name;
        double Scale;
        double Low;
        double High;
    };
    const TCase cases[] = {
        {"MF tones 1.5 % low", 0.985, -10.0, -10.0},
        {"MF tones 1.5 % high", 1.015, -10.0, -10.0},
        {"MF tones 2 % low", 0.98, -10.0, -10.0},
        {"MF tones 2 % high", 1.02, -10.0, -10.0},
        {"MF lower tone 6 dB weaker", 1.0, -16.0, -10.0},
        {"MF upper tone 6 dB weaker", 1.0, -10.0, -16.0},
        {"MF lower tone 9 dB weaker", 1.0, -19.0, -10.0},
    };
    for (const TCase& c : cases) {
        TRow row;
        for (int r = 0; r < kRateCount; ++r) {
            int worst = 10;
            for (const int delay : kDelaysUs) {
                int taken = 0;
                for (const TMfNumber& number : numbers) {
                    const TSamples call =
                        MfCallOnLine(number.Category, number.Number, c.Scale, c.Low, c.High);
                    const TCallerIdStatus status =
                        StatusOf(*Decode(kRates[r], Placed(call, kRates[r], delay)));
                    taken += MessageGroup(status) == number.Expected ? 1 : 0;
                }
                worst = std::min(worst, taken);
            }
            row.Norvel[r] = "worst " + Count(worst, 10);
        }
        row.Spandsp = "-";
        PrintRow(c.Name, row);
    }
}

} // namespace

// Arguments: any of "keys", "levels", "dtmf", "talkoff", "fsk", "mf"; nothing for all.
int main(int argc, char** argv) {
    const auto wanted = [&](const char* part) {
        if (argc < 2) {
            return true;
        }
        for (int i = 1; i < argc; ++i) {
            if (std::string(argv[i]) == part) {
                return true;
            }
        }
        return false;
    };
    std::printf("| test | libspandsp (8 kHz) | libnorvel 8 / 16 / 40 kHz |\n|---|---|---|\n");
    if (wanted("keys")) {
        for (const int onMs : {40, 45, 50, 60}) {
            DtmfKeyLength(onMs);
        }
        for (const double percent : {1.5, 3.5}) {
            DtmfOneToneOff(percent, 50, 50);
            DtmfOneToneOff(percent, 70, 73);
        }
    }
    if (wanted("levels")) {
        for (const bool saturating : {false, true}) {
            DtmfLevelRange(50, 50, saturating);
            DtmfLevelRange(70, 73, saturating);
        }
    }
    if (wanted("dtmf")) {
        DtmfTwist();
        DtmfFrequencyTolerance();
        DtmfNoise();
    }
    if (wanted("talkoff")) {
        DtmfTalkOff();
    }
    if (wanted("fsk")) {
        FskNoise();
        FskOffNominal();
    }
    if (wanted("mf")) {
        MultiFrequency();
    }
    return 0;
}
