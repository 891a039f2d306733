// The 128-word status record built from decoder states set up directly.

#include <gtest/gtest.h>

#include "callerid/CallerIdStatus.h"
#include "callerid/NorvelDecoder.h"
#include "tests/callerid/SignalKit.h"

namespace norvel_test {
namespace {

using norvel::TDecoderState;
using norvel::TNorvelState;

std::unique_ptr<TNorvelState> Fresh() {
    auto state = std::make_unique<TNorvelState>();
    norvel::ResetDecoder(*state, 8000);
    return state;
}

void SetToneDigits(TNorvelState& state, const std::vector<uint8_t>& digits) {
    state.ToneDigitCount = static_cast<uint16_t>(digits.size());
    std::copy(digits.begin(), digits.end(), state.ToneDigits.begin());
}

void SetPulseDigits(TNorvelState& state, const std::vector<uint8_t>& digits) {
    state.Pulse.DigitCount = static_cast<uint16_t>(digits.size());
    std::copy(digits.begin(), digits.end(), state.Pulse.Digits.begin());
}

void SetMessage(TNorvelState& state, const std::vector<uint16_t>& entries) {
    state.Message.Count = static_cast<uint16_t>(entries.size());
    std::copy(entries.begin(), entries.end(), state.Message.Entries.begin());
}

TEST(Status, WordZeroFollowsTheStateAndTheDigits) {
    struct TCase {
        TDecoderState State;
        bool Digits;
        uint16_t Word0;
    };
    const TCase cases[] = {
        {TDecoderState::Idle, false, 0},         {TDecoderState::Idle, true, 2},
        {TDecoderState::MfReception, false, 1},  {TDecoderState::MfComplete, true, 1},
        {TDecoderState::FskReception, false, 1}, {TDecoderState::FskComplete, true, 1}};
    for (const TCase& c : cases) {
        auto state = Fresh();
        state->State = c.State;
        if (c.Digits) {
            SetPulseDigits(*state, {4});
        }
        EXPECT_EQ(StatusOf(*state).Words[0], c.Word0) << static_cast<int>(c.State);
    }
}

TEST(Status, GroupOneHoldsTheLongerDigitList) {
    struct TCase {
        std::vector<uint8_t> Tone;
        std::vector<uint8_t> Pulse;
        uint16_t Kind;
        std::vector<uint16_t> Digits;
    };
    const TCase cases[] = {
        {{1, 2, 3}, {4, 5}, 1, {1, 2, 3}}, // three tone digits beat two pulse digits
        {{1, 2}, {4, 5}, 1, {1, 2}},       // a tie goes to the tone digits
        {{1}, {4, 5, 6, 0}, 0, {4, 5, 6, 0}},
        {{}, {7}, 0, {7}},
    };
    for (const TCase& c : cases) {
        auto state = Fresh();
        SetToneDigits(*state, c.Tone);
        SetPulseDigits(*state, c.Pulse);
        const TCallerIdStatus status = StatusOf(*state);
        EXPECT_EQ(status.Words[0], 2);
        EXPECT_EQ(status.Words[1], c.Digits.size() + 1);
        EXPECT_EQ(status.Words[3], c.Kind);
        EXPECT_EQ(DigitGroup(status), c.Digits);
    }
    const TCallerIdStatus none = StatusOf(*Fresh());
    EXPECT_EQ(none.Words[1], 0);
    EXPECT_EQ(none.Words[2], 0);
}

TEST(Status, TheMultiFrequencyCycleIsReadBackwardsFromTheStartSymbol) {
    // Rows: 0-8 digits 1-9, 9 digit 0, 10 start, 11 repeat.
    struct TCase {
        const char* Name;
        std::vector<uint16_t> Rows;
        std::vector<uint16_t> Expected; // category and seven digits; empty for none
    };
    const std::vector<uint16_t> cycle = {10, 2, 6, 5, 11, 3, 2, 1, 0};
    std::vector<uint16_t> twice = cycle;
    twice.insert(twice.end(), cycle.begin(), cycle.end());
    // The same cycle taken from its fourth symbol on.
    std::vector<uint16_t> shifted(twice.begin() + 3, twice.end());
    shifted.insert(shifted.end(), cycle.begin(), cycle.begin() + 4);
    std::vector<uint16_t> noStart = twice;
    std::replace(noStart.begin(), noStart.end(), uint16_t{10}, uint16_t{4});
    std::vector<uint16_t> notRepeated = twice;
    notRepeated[9] = 7;
    const TCase cases[] = {
        // Backwards from the start: rows 0 1 2 3 11 5 6 -> 1 2 3 4 4 6 7.
        {"cycle twice", twice, {3, 1, 2, 3, 4, 4, 6, 7}},
        {"started mid-cycle", shifted, {3, 1, 2, 3, 4, 4, 6, 7}},
        {"ten symbols",
         std::vector<uint16_t>(twice.begin(), twice.begin() + 10),
         {3, 1, 2, 3, 4, 4, 6, 7}},
        {"nine symbols", cycle, {}},
        {"no start symbol", noStart, {}},
        {"first differs from tenth", notRepeated, {}},
        {"a repeat read first stands for 0",
         {10, 2, 6, 5, 4, 3, 2, 1, 11, 10},
         {3, 0, 2, 3, 4, 5, 6, 7}},
    };
    for (const TCase& c : cases) {
        auto state = Fresh();
        state->State = TDecoderState::MfComplete;
        SetMessage(*state, c.Rows);
        const TCallerIdStatus status = StatusOf(*state);
        if (c.Expected.empty()) {
            EXPECT_EQ(status.Words[2], 0) << c.Name;
            continue;
        }
        EXPECT_EQ(status.Words[2], 9) << c.Name;
        EXPECT_EQ(status.Words[3], 0) << c.Name;
        EXPECT_EQ(MessageGroup(status), c.Expected) << c.Name;
    }
}

TEST(Status, FskBytesInStatesOtherThanCompleteAreNotANumber) {
    // The buffer holds FSK bytes during reception; they are no multi-frequency cycle.
    auto state = Fresh();
    state->State = TDecoderState::FskReception;
    SetMessage(*state, {10, 2, 6, 5, 11, 3, 2, 1, 0, 10, 2});
    EXPECT_EQ(StatusOf(*state).Words[2], 0);
}

TEST(Status, NothingIsWrittenPastTheRecord) {
    // A hundred digits and the longest message: the message group is clipped to fit.
    auto state = Fresh();
    std::vector<uint8_t> digits(100, 9);
    SetPulseDigits(*state, digits);
    std::vector<uint16_t> message = {0x80, 255};
    for (int i = 0; i < 256; ++i) {
        message.push_back(static_cast<uint16_t>(i & 0xFF));
    }
    SetMessage(*state, message);
    state->State = TDecoderState::FskComplete;

    struct TGuarded {
        TCallerIdStatus Status;
        uint16_t Guard[8];
    } guarded;
    std::fill(std::begin(guarded.Guard), std::end(guarded.Guard), uint16_t{0xBEEF});
    norvel::FillCallerIdStatus(*state, guarded.Status);
    for (const uint16_t word : guarded.Guard) {
        EXPECT_EQ(word, 0xBEEF);
    }
    const TCallerIdStatus& status = guarded.Status;
    EXPECT_EQ(status.Words[1], 101);
    EXPECT_EQ(3 + status.Words[1] + status.Words[2], NORVEL_STATUS_WORDS);
    EXPECT_EQ(status.Words[3 + 101], 1);
    EXPECT_EQ(status.Words[3 + 101 + 1], 0); // first data byte
    EXPECT_EQ(status.Words[127], 22);
}

TEST(Status, AnUnconfiguredDecoderReportsNothing) {
    auto state = std::make_unique<TNorvelState>();
    EXPECT_EQ(norvel::ResetDecoder(*state, 3999), 1);
    const TSamples tones = DtmfDigits("123", -10, 60, 60);
    norvel::ProcessSamples(*state, tones.data(), tones.size());
    EXPECT_EQ(state->Milliseconds, 0u);
    const TCallerIdStatus status = StatusOf(*state);
    for (const uint16_t word : status.Words) {
        EXPECT_EQ(word, 0);
    }
}

} // namespace
} // namespace norvel_test
