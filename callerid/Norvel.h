#pragma once

/* libnorvel: recovers a calling or dialled number from 16-bit mono call audio (FSK caller
 * ID, DTMF, the multi-frequency code after a 500 Hz request tone, pulse dialling).
 *
 * Use: _lnResetConnect(rate), then _lnCalcConnect for every block of samples, then
 * _lnGetStatus. One decoder per process, one calling thread. */

#include <stdint.h>

#if defined(__cplusplus)
extern "C" {
#endif

#define NORVEL_EXPORT __attribute__((visibility("default")))

enum { NORVEL_STATUS_WORDS = 128 };

/* Result record, 128 words:
 *   0      0 nothing found, 1 decoding in progress or a caller-ID message, 2 dialled digits
 *   1      group 1 length in words including its kind word, 0 for none
 *   2      group 2 length in words including its kind word, 0 for none
 *   3      group 1 kind: 0 pulse digits, 1 DTMF digits; its digits follow
 *   3 + w1 group 2 kind: 1 FSK message (its data bytes follow), 0 multi-frequency number
 *          (category, then seven digits) */
typedef struct TCallerIdStatus {
    uint16_t Words[NORVEL_STATUS_WORDS];
} TCallerIdStatus;

/* Decodes `count` samples; samples are never refused. Returns 0. */
NORVEL_EXPORT int16_t _lnCalcConnect(uint16_t count, const int16_t* samples);
/* Fills the whole record. Returns 0. */
NORVEL_EXPORT int16_t _lnGetStatus(TCallerIdStatus* record);
/* Starts a new analysis at `sampleRate` Hz. Returns 0, or 1 for a rate outside 4000..40000:
 * the decoder is then cleared and ignores samples until a valid reset. */
NORVEL_EXPORT int16_t _lnResetConnect(int32_t sampleRate);

typedef int16_t (*TLnCalcConnect)(uint16_t count, const int16_t* samples);
typedef int16_t (*TLnGetStatus)(TCallerIdStatus* record);
typedef int16_t (*TLnResetConnect)(int32_t sampleRate);

#if defined(__cplusplus)
}
static_assert(sizeof(TCallerIdStatus) == 256, "the status record is 128 16-bit words");
#endif
