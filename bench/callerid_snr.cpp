// Lowest signal-to-noise ratio (white noise over the telephone band) at which 100 DTMF digits
// and 100 FSK caller-ID messages all decode without error, for libnorvel at 8000 and
// 40000 Hz and for spandsp's own receivers at 8000 Hz.

#include <cmath>
#include <cstdio>
#include <random>
#include <spandsp.h>
#include <string>
#include <vector>

#include "callerid/CallerIdStatus.h"
#include "tests/callerid/SignalKit.h"

namespace {

using namespace norvel_test;

constexpr int kDigitLevel = -15; // dBm0 per tone
constexpr double kHighestSnr = 30.0;
constexpr double kLowestSnr = -6.0;

std::string DecodeDigits(int rate, const TSamples& call8k) {
    const auto state = Decode(rate, FromSpanRate(call8k, rate));
    return DigitText(StatusOf(*state));
}

struct TSweepLine {
    double Snr;
    int Good[3]; // libnorvel 8000, libnorvel 40000, spandsp
};

void PrintSweep(const char* what, const std::vector<TSweepLine>& lines, int total) {
    std::printf("%s: correct of %d\n  SNR dB   norvel@8k  norvel@40k  spandsp@8k\n", what, total);
    for (const TSweepLine& line : lines) {
        std::printf("  %6.1f   %9d  %10d  %10d\n", line.Snr, line.Good[0], line.Good[1],
                    line.Good[2]);
    }
    const char* names[3] = {"libnorvel at 8000 Hz", "libnorvel at 40000 Hz", "spandsp at 8000 Hz"};
    for (int d = 0; d < 3; ++d) {
        double lowest = kHighestSnr + 1.0;
        for (const TSweepLine& line : lines) {
            if (line.Good[d] != total) {
                break;
            }
            lowest = line.Snr;
        }
        std::printf("  lowest SNR without error, %s: %.0f dB\n", names[d], lowest);
    }
}

void SweepDtmf(int onMs, int offMs) {
    std::mt19937 random(2024);
    const std::string keys = "0123456789*#ABCD";
    std::string digits;
    for (int i = 0; i < 100; ++i) {
        digits.push_back(keys[random() % keys.size()]);
    }
    TSamples call = Silence(kSpanRate, 200);
    Append(call, DtmfDigits(digits, kDigitLevel, onMs, offMs));
    Append(call, Silence(kSpanRate, 200));
    const double pairPower = kDigitLevel + 10.0 * std::log10(2.0);

    std::vector<TSweepLine> lines;
    for (double snr = kHighestSnr; snr >= kLowestSnr; snr -= 1.0) {
        TSamples noisy = call;
        MixInto(noisy,
                WhiteNoise(static_cast<int>(call.size() / 8), static_cast<float>(pairPower - snr),
                           static_cast<int>(snr * 7 + 100)));
        lines.push_back({snr,
                         {DecodeDigits(8000, noisy) == digits ? 100 : 0,
                          DecodeDigits(40000, noisy) == digits ? 100 : 0,
                          SpandspDtmfDigits(noisy) == digits ? 100 : 0}});
        // Count digits right when the string is not: position by position.
        const std::string results[3] = {DecodeDigits(8000, noisy), DecodeDigits(40000, noisy),
                                        SpandspDtmfDigits(noisy)};
        for (int d = 0; d < 3; ++d) {
            if (results[d] != digits) {
                int same = 0;
                for (size_t i = 0; i < std::min(results[d].size(), digits.size()); ++i) {
                    same += results[d][i] == digits[i] ? 1 : 0;
                }
                lines.back().Good[d] = std::min(same, 99);
            }
        }
    }
    char title[96];
    std::snprintf(title, sizeof title, "100 DTMF digits (%d ms on, %d ms off, %d dBm0 per tone)",
                  onMs, offMs, kDigitLevel);
    PrintSweep(title, lines, 100);
}

struct TMessageCase {
    TCallerIdFields Fields;
    std::vector<uint8_t> Bytes;
    TSamples Burst;
};

struct TAdsiCapture {
    std::vector<uint8_t> Bytes;
};

void CaptureMessage(void* user, const uint8_t* message, int length) {
    auto* capture = static_cast<TAdsiCapture*>(user);
    capture->Bytes.assign(message, message + length);
}

bool SpandspTakes(const TSamples& call8k, const std::vector<uint8_t>& bytes) {
    TAdsiCapture capture;
    adsi_rx_state_t* receiver =
        adsi_rx_init(nullptr, ADSI_STANDARD_CLASS, CaptureMessage, &capture);
    adsi_rx(receiver, call8k.data(), static_cast<int>(call8k.size()));
    adsi_rx_free(receiver);
    return capture.Bytes == std::vector<uint8_t>(bytes.begin(), bytes.end() - 1);
}

bool NorvelTakes(int rate, const TSamples& call8k, const TCallerIdFields& fields) {
    const auto state = Decode(rate, FromSpanRate(call8k, rate));
    const TCallerIdStatus status = StatusOf(*state);
    return MessageField(status, 1) == fields.DateTime && MessageField(status, 2) == fields.Number &&
           MessageField(status, 7) == fields.Name;
}

void SweepFsk() {
    std::vector<TMessageCase> cases;
    for (const TCallerIdFields& fields : RandomCallerIdFields(100, 77)) {
        TMessageCase c;
        c.Fields = fields;
        c.Bytes = MdmfMessage(c.Fields);
        c.Burst = FskCallerId(c.Fields);
        cases.push_back(std::move(c));
    }
    const double burstPower = PowerDbm0(cases[0].Burst);

    std::vector<TSweepLine> lines;
    for (double snr = kHighestSnr; snr >= kLowestSnr; snr -= 1.0) {
        TSweepLine line{snr, {0, 0, 0}};
        for (size_t m = 0; m < cases.size(); ++m) {
            TSamples call = Silence(kSpanRate, 200);
            Append(call, cases[m].Burst);
            Append(call, Silence(kSpanRate, 200));
            MixInto(call, WhiteNoise(static_cast<int>(call.size() / 8),
                                     static_cast<float>(burstPower - snr),
                                     static_cast<int>(m * 1000 + snr * 7 + 100)));
            line.Good[0] += NorvelTakes(8000, call, cases[m].Fields) ? 1 : 0;
            line.Good[1] += NorvelTakes(40000, call, cases[m].Fields) ? 1 : 0;
            line.Good[2] += SpandspTakes(call, cases[m].Bytes) ? 1 : 0;
        }
        lines.push_back(line);
    }
    std::printf("\n");
    PrintSweep("100 FSK caller-ID messages (Bell 202, multiple-data format, date, number, name)",
               lines, 100);
}

} // namespace

// Arguments: "dtmf", "fsk" or nothing for both.
int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    if (only.empty() || only == "dtmf") {
        SweepDtmf(50, 55);
        std::printf("\n");
        SweepDtmf(70, 70);
    }
    if (only.empty() || only == "fsk") {
        SweepFsk();
    }
    return 0;
}
