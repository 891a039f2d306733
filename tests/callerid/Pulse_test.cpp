// Pulse dialling from the click model: a break click of one polarity starts every 60 ms
// break, a make click of the other polarity every 40 ms make.

#include <gtest/gtest.h>

#include "callerid/NorvelDecoder.h"
#include "callerid/PulseDialing.h"
#include "tests/callerid/SignalKit.h"

namespace norvel_test {
namespace {

const TClickShape kBreakClick = {1, 2.0, 20000.0};
const TClickShape kMakeClick = {2, 1.0, 14000.0};

std::string PulseText(const norvel::TNorvelState& state) {
    std::string text;
    for (uint16_t i = 0; i < state.Pulse.DigitCount; ++i) {
        text.push_back(static_cast<char>('0' + state.Pulse.Digits[i]));
    }
    return text;
}

TEST(Pulse, DialledDigitsAtEveryRate) {
    // A train needs a make and a break to be found, so the first digit has two pulses or more.
    for (const std::string digits : {"2580", "90", "31415", "7"}) {
        for (const int rate : {4000, 8000, 13333, 16000, 40000}) {
            const auto state = Decode(rate, PulseDigits(rate, digits, kBreakClick, kMakeClick));
            const TCallerIdStatus status = StatusOf(*state);
            EXPECT_EQ(PulseText(*state), digits) << rate;
            EXPECT_EQ(status.Words[0], 2);
            EXPECT_EQ(status.Words[3], 0); // pulse digits
            EXPECT_EQ(DigitText(status), digits) << rate;
        }
    }
}

TEST(Pulse, TenPulsesAreZeroAndLineNoiseIsTolerated) {
    TSamples call = PulseDigits(8000, "20", kBreakClick, kMakeClick);
    MixInto(call, HothNoise(static_cast<int>(call.size() / 8), -35.0f, 9));
    EXPECT_EQ(PulseText(*Decode(8000, call)), "20");
}

TEST(Pulse, ClicksOfTheSameShapeForBothEdges) {
    EXPECT_EQ(PulseText(*Decode(8000, PulseDigits(8000, "468", kBreakClick, kBreakClick))), "468");
}

TEST(Pulse, ClicksOfDifferingPolarityFormNoTrain) {
    // The right rhythm, but each click's polarity differs from the one a pulse ago.
    std::vector<int> times;
    std::vector<TClickShape> shapes;
    int now = 500;
    for (int pulse = 0; pulse < 6; ++pulse) {
        const bool odd = pulse % 2 == 1;
        times.push_back(now);
        shapes.push_back(odd ? kMakeClick : kBreakClick);
        times.push_back(now + 60);
        shapes.push_back(odd ? kBreakClick : kMakeClick);
        now += 100;
    }
    const auto state = Decode(8000, ClickTrack(8000, now + 500, times, shapes));
    EXPECT_EQ(PulseText(*state), "");
    EXPECT_EQ(StatusOf(*state).Words[0], 0);
}

TEST(Pulse, ClicksFollowedCloselyByOthersFormNoTrain) {
    // The dial's rhythm, but each click with a second one 15 ms after it, as the pitch pulses
    // of a loud deep voice come: none of them stands alone.
    for (const bool echoes : {false, true}) {
        std::vector<int> times;
        std::vector<TClickShape> shapes;
        int now = 500;
        for (int pulse = 0; pulse < 3; ++pulse) {
            for (const auto& [offset, shape] : {std::pair{0, kBreakClick}, {60, kMakeClick}}) {
                times.push_back(now + offset);
                shapes.push_back(shape);
                if (echoes) {
                    times.push_back(now + offset + 15);
                    shapes.push_back(shape);
                }
            }
            now += 100;
        }
        const auto state = Decode(8000, ClickTrack(8000, now + 500, times, shapes));
        EXPECT_EQ(PulseText(*state), echoes ? "" : "3") << echoes;
    }
}

TEST(Pulse, SteadyLoudTonesNeverBecomePulses) {
    // Every half-wave is a click; the dead time after each keeps them all out.
    for (const double frequency : {50.0, 90.0, 400.0, 1000.0}) {
        TSamples call = Silence(8000, 300);
        Append(call, Sine(8000, frequency, 30000.0, 3000));
        Append(call, Silence(8000, 300));
        Append(call, Sine(8000, frequency, 30000.0, 3000));
        EXPECT_EQ(PulseText(*Decode(8000, call)), "") << frequency;
    }
}

// Clicks committed straight to the decoder, with the millisecond clock run between them.
class TClickFeeder {
public:
    TClickFeeder() : State(std::make_unique<norvel::TNorvelState>()) {
        norvel::ResetDecoder(*State, 8000);
    }

    void RunClockTo(uint32_t milliseconds) {
        while (State->Milliseconds < milliseconds) {
            ++State->Milliseconds;
            norvel::CheckPulseTimeout(*State);
        }
    }
    void Click(uint32_t time, bool breakClick) {
        RunClockTo(time);
        const TClickShape& shape = breakClick ? kBreakClick : kMakeClick;
        norvel::TClick click{time, static_cast<uint16_t>(shape.Polarity),
                             static_cast<uint16_t>(breakClick ? 16 : 8),
                             static_cast<uint16_t>(shape.Peak), 0};
        norvel::CommitClick(*State, click);
        State->Pulse.LastClickTime = time;
    }
    // `pulses` break/make pairs from `start`; returns the time of the last click.
    uint32_t Train(uint32_t start, int pulses) {
        uint32_t now = start;
        for (int p = 0; p < pulses; ++p) {
            Click(now, true);
            Click(now + 60, false);
            now += 100;
        }
        return now - 40;
    }
    std::string Digits() {
        RunClockTo(State->Milliseconds + 200);
        return PulseText(*State);
    }

    std::unique_ptr<norvel::TNorvelState> State;
};

TEST(Pulse, ATrainCloseBehindTheLastOneAmendsItsDigit) {
    // First train (two pulses): its first counted edge is the make from 60 to 100 ms.
    TClickFeeder feeder;
    feeder.Train(0, 2);
    // The second train begins 300 ms after that edge's end: the digit becomes the time from
    // 60 ms to the second train's first edge end (400 + 60), in tenths: 400 / 100 = 4.
    feeder.Train(400, 1);
    EXPECT_EQ(feeder.Digits(), "4");

    TClickFeeder apart;
    apart.Train(0, 2);
    apart.Train(450, 1); // 350 ms after: a digit of its own
    EXPECT_EQ(apart.Digits(), "21");
}

TEST(Pulse, ALonePulseLongAfterThreeDigitsIsDiscarded) {
    TClickFeeder feeder;
    uint32_t end = feeder.Train(0, 3);
    end = feeder.Train(end + 700, 2);
    end = feeder.Train(end + 700, 4);
    // A single short break-and-make more than three seconds later: a stray hook flick.
    feeder.Click(end + 3500, true);
    feeder.Click(end + 3540, false);
    EXPECT_EQ(feeder.Digits(), "324");
}

TEST(Pulse, AMissedMakeClickStillCountsThePulse) {
    TClickFeeder feeder;
    uint32_t now = 0;
    // Four pulses; the make click of the third is lost, leaving a whole-period gap.
    for (int p = 0; p < 4; ++p) {
        feeder.Click(now, true);
        if (p != 2) {
            feeder.Click(now + 60, false);
        }
        now += 100;
    }
    EXPECT_EQ(feeder.Digits(), "4");
}

TEST(Pulse, TheDigitListKeepsAHundredDigits) {
    TClickFeeder feeder;
    uint32_t end = 0;
    for (int digit = 0; digit < 110; ++digit) {
        end = feeder.Train(end + 700, 2 + digit % 3);
    }
    const std::string digits = feeder.Digits();
    ASSERT_EQ(digits.size(), 100u);
    EXPECT_EQ(digits.substr(0, 6), "234234");
}

TEST(Pulse, ClickReferenceWindows) {
    const norvel::TClickReference reference =
        norvel::SetClickReference(norvel::TClick{0, 1, 20, 9000, 0});
    struct TCase {
        uint16_t Polarity;
        uint16_t Duration;
        uint16_t Peak;
        bool Match;
    };
    // Duration 20: 16 to 24 (4 either side beats 15%); peak 9000: 2970 to 27000.
    const TCase cases[] = {{1, 20, 9000, true},  {2, 20, 9000, false}, {1, 16, 9000, true},
                           {1, 15, 9000, false}, {1, 24, 9000, true},  {1, 25, 9000, false},
                           {1, 20, 2970, true},  {1, 20, 2900, false}, {1, 20, 27000, true},
                           {1, 20, 27100, false}};
    for (const TCase& c : cases) {
        EXPECT_EQ(
            norvel::MatchClick(reference, norvel::TClick{0, c.Polarity, c.Duration, c.Peak, 0}),
            c.Match)
            << c.Polarity << " " << c.Duration << " " << c.Peak;
    }
}

} // namespace
} // namespace norvel_test
