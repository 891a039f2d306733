#include "callerid/MfDecoder.h"

#include "callerid/SymbolHistory.h"
#include "callerid/ToneAnalysis.h"

namespace norvel {

namespace {

constexpr int kMfMinFrames = 3;
constexpr uint32_t kMfEndZeroFrames = 3;
constexpr uint16_t kMfStartRow = 10;

// Multi-frequency: mask bit j = 700 + 200 j Hz. Row 10 is the start symbol, row 11 the repeat.
constexpr TMaskCode kMfTable[12] = {
    {0x03, 1}, {0x05, 2}, {0x06, 3}, {0x09, 4}, {0x0A, 5},  {0x0C, 6},
    {0x11, 7}, {0x12, 8}, {0x14, 9}, {0x18, 0}, {0x24, 11}, {0x28, 10},
};

void EndMfSequence(TNorvelState& state) {
    if (FindMfCycleStart(state.Message) >= 0) {
        state.State = TDecoderState::MfComplete;
    } else {
        // Nothing usable was heard: listen again rather than stay deaf for the call.
        ReturnToIdle(state);
    }
}

void AppendMfSymbol(TNorvelState& state, uint16_t row) {
    TMessageBuffer& message = state.Message;
    if (message.Count < kMessageCapacity) {
        message.Entries[message.Count++] = row;
    }
}

void FeedMfFrame(TNorvelState& state, uint8_t symbol) {
    TMfRun& run = state.MfRun;
    if (symbol == run.Symbol) {
        if (run.Length < UINT32_MAX) {
            ++run.Length;
        }
    } else {
        if (run.Symbol != 0 && run.Length >= kMfMinFrames) {
            AppendMfSymbol(state, static_cast<uint16_t>(run.Symbol - 1));
        }
        run.Symbol = symbol;
        run.Length = 1;
    }
    run.ZeroFrames = symbol == 0 ? run.ZeroFrames + 1 : 0;
    if (state.Message.Count > 0 && run.ZeroFrames >= kMfEndZeroFrames) {
        EndMfSequence(state);
    }
}

} // namespace

uint8_t ClassifyMfFrame(const TNorvelState& state) {
    int first = -1;
    int second = -1;
    for (int tone = kMfFirst; tone < kMfFirst + kMfToneCount; ++tone) {
        const double amplitude = state.Readings[tone].Amplitude;
        if (first < 0 || amplitude > state.Readings[first].Amplitude) {
            second = first;
            first = tone;
        } else if (second < 0 || amplitude > state.Readings[second].Amplitude) {
            second = tone;
        }
    }
    const double a1 = state.Readings[first].Amplitude;
    const double a2 = state.Readings[second].Amplitude;
    const double level = state.Readings[first].Level;
    if (!(level < 3.0 * a1 && level > kMinToneLevel && 4.0 * a2 > a1)) {
        return 0;
    }
    const uint8_t mask =
        static_cast<uint8_t>((1u << (first - kMfFirst)) | (1u << (second - kMfFirst)));
    return SymbolOfMask(kMfTable, mask);
}

void PushMfFrame(TNorvelState& state, uint8_t symbol) {
    PushHistory(state.MfHistory, THistoryEntry{symbol});
    THistoryEntry settled;
    while (state.State == TDecoderState::MfReception &&
           TakeSettledEntry(state.MfHistory, settled)) {
        FeedMfFrame(state, settled.Symbol);
    }
}

int FindMfCycleStart(const TMessageBuffer& message) {
    if (message.Count <= kMfCycle || message.Entries[0] != message.Entries[kMfCycle]) {
        return -1;
    }
    for (int i = 0; i < kMfCycle; ++i) {
        if (message.Entries[i] == kMfStartRow) {
            return i;
        }
    }
    return -1;
}

uint8_t MfRowCode(uint16_t row) {
    return row < 12 ? kMfTable[row].Code : 0;
}

} // namespace norvel
