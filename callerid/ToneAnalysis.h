#pragma once

// The analysis every 10 ms: request-tone and carrier flags, DTMF and multi-frequency symbols,
// their smoothed histories and the extraction of digits and symbols.

#include <cstdint>

#include "callerid/private/NorvelState.h"

namespace norvel {

void RunToneAnalysis(TNorvelState& state);

// Back to state 0 with the histories and the message buffer cleared; digits are kept.
void ReturnToIdle(TNorvelState& state);

// Symbol histories. A new entry may still replace the one before it (a one-frame outlier
// takes its predecessor's value), so only entries older than the newest are settled.
void PushHistory(TSymbolHistory& history, const THistoryEntry& entry);
bool TakeSettledEntry(TSymbolHistory& history, THistoryEntry& entry);
int CountTrailing(const TSymbolHistory& history, uint8_t symbol);

// One frame into a history and on to its extraction: DTMF digits into the tone-digit list,
// multi-frequency symbols into the message buffer (ending the sequence after three empty
// frames).
void PushDtmfFrame(TNorvelState& state, const THistoryEntry& entry);
void PushMfFrame(TNorvelState& state, uint8_t symbol);

// Frame classifiers over the tone readings; symbol 0 when the frame carries none.
THistoryEntry ClassifyDtmfFrame(const TNorvelState& state);
uint8_t ClassifyMfFrame(const TNorvelState& state);

// Digit code of a DTMF symbol (1..16), and the multi-frequency code of a row (0..11).
uint8_t DtmfSymbolCode(uint8_t symbol);
uint8_t MfRowCode(uint16_t row);

} // namespace norvel
