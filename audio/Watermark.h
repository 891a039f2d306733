#pragma once

#include <cstdint>
#include <functional>

// The streaming watermark embedder and its checker. One mark stream exists at a time:
//   mrk_Init, mrk_Process with data any number of times, mrk_Process with count 0 (end),
//   mrk_GetAddInfo.
// With flag bit 0 the output is the scrambled record as it stood at the first call, the audio
// with one record in the least significant bits of every 512 samples, a tail of at most 1024
// bytes with those bits cleared, and the final scrambled record: the input plus 128 bytes.

#define QUORVEX_EXPORT __attribute__((visibility("default")))

// Gives the bytes read into buffer, at most count.
typedef std::int32_t (*TMarkReadFunction)(void* buffer, std::int32_t count);

extern "C" {
// config: the 53-byte configuration record (see TMarkConfig in audio/Utcrc.h).
QUORVEX_EXPORT void mrk_Init(const void* config);
// input: 16-bit little-endian samples. The output belongs to the embedder and stays valid
// until the next call. A count of 0 ends the stream; a negative count gives nothing.
QUORVEX_EXPORT void mrk_Process(const void* input, std::int32_t count, const std::uint8_t** output,
                                std::int32_t* outputCount);
// Copies the final scrambled record (64 bytes); before the stream has ended it leaves the
// destination untouched.
QUORVEX_EXPORT void mrk_GetAddInfo(void* record64);
// 0 all records intact; 1, 2, ... that embedded block is damaged; -1 trailing record, -2
// leading record, -3 tail, -4 the given trailer missing or damaged.
QUORVEX_EXPORT std::int32_t mrk_Check(TMarkReadFunction read, const std::uint8_t* trailer64,
                                      std::uint8_t* plainTrailer64);
}

// mrk_Check over any callable, for readers that carry state.
std::int32_t MarkCheck(const std::function<std::int32_t(void*, std::int32_t)>& read,
                       const std::uint8_t* trailer64, std::uint8_t* plainTrailer64);

// True once a stream has ended and its final record is there.
bool MarkStreamEnded();
