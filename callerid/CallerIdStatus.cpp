#include "callerid/CallerIdStatus.h"

#include <algorithm>

#include "callerid/MfDecoder.h"

namespace norvel {

namespace {

constexpr uint16_t kFirstGroupWord = 3;
constexpr uint16_t kMfRepeatCode = 10;
constexpr uint16_t kMfNumberDigits = 7;

enum : uint16_t { kNothingFound = 0, kInProgress = 1, kResults = 2 };
enum : uint16_t { kPulseDigits = 0, kToneDigits = 1 };
enum : uint16_t { kMfNumber = 0, kFskMessage = 1 };

// Group 1; returns its length in words.
uint16_t FillDigitGroup(const TNorvelState& state, uint16_t* words) {
    const bool tones = state.ToneDigitCount >= state.Pulse.DigitCount;
    const uint16_t count = tones ? state.ToneDigitCount : state.Pulse.DigitCount;
    if (count == 0) {
        return 0;
    }
    const uint8_t* digits = tones ? state.ToneDigits.data() : state.Pulse.Digits.data();
    words[kFirstGroupWord] = tones ? kToneDigits : kPulseDigits;
    for (uint16_t i = 0; i < count; ++i) {
        words[kFirstGroupWord + 1 + i] = digits[i];
    }
    return static_cast<uint16_t>(count + 1);
}

uint16_t FillFskGroup(const TMessageBuffer& message, uint16_t* words, uint16_t kindWord) {
    const uint16_t room = static_cast<uint16_t>(NORVEL_STATUS_WORDS - kindWord - 1);
    const uint16_t length = std::min<uint16_t>(message.Entries[1], room);
    words[kindWord] = kFskMessage;
    for (uint16_t i = 0; i < length; ++i) {
        words[kindWord + 1 + i] = message.Entries[2 + i];
    }
    return static_cast<uint16_t>(length + 1);
}

// Category, then the number: the seven symbols before the start symbol, read backwards,
// a repeat symbol standing for the digit read just before it.
uint16_t FillMfGroup(const TMessageBuffer& message, int start, uint16_t* words, uint16_t kindWord) {
    words[kindWord] = kMfNumber;
    words[kindWord + 1] = MfRowCode(message.Entries[(start + 1) % kMfCycle]);
    uint16_t previous = 0;
    for (uint16_t k = 1; k <= kMfNumberDigits; ++k) {
        uint16_t code = MfRowCode(message.Entries[(start + kMfCycle - k) % kMfCycle]);
        if (code == kMfRepeatCode) {
            code = previous;
        }
        words[kindWord + 1 + k] = code;
        previous = code;
    }
    return kMfCycle;
}

} // namespace

void FillCallerIdStatus(const TNorvelState& state, TCallerIdStatus& record) {
    uint16_t* words = record.Words;
    std::fill(words, words + NORVEL_STATUS_WORDS, uint16_t{0});
    const bool anyDigits = state.ToneDigitCount > 0 || state.Pulse.DigitCount > 0;
    if (state.State != TDecoderState::Idle) {
        words[0] = kInProgress;
    } else {
        words[0] = anyDigits ? kResults : kNothingFound;
    }
    words[1] = FillDigitGroup(state, words);
    const uint16_t kindWord = static_cast<uint16_t>(kFirstGroupWord + words[1]);
    if (state.State == TDecoderState::FskComplete) {
        words[2] = FillFskGroup(state.Message, words, kindWord);
        return;
    }
    if (state.State == TDecoderState::MfReception || state.State == TDecoderState::MfComplete) {
        const int start = FindMfCycleStart(state.Message);
        if (start >= 0) {
            words[2] = FillMfGroup(state.Message, start, words, kindWord);
        }
    }
}

} // namespace norvel
