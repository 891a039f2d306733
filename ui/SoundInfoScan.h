#pragma once

#include <cstdint>

#include "audio/WaveAddInfo.h"
#include "audio/WaveFormat.h"
#include "callerid/Norvel.h"

class TWaveFile;

// The caller-ID decoder's three entry points, from the loaded library or a linked copy.
struct TCallerIdDecoder {
    TLnResetConnect ResetConnect = nullptr;
    TLnCalcConnect CalcConnect = nullptr;
    TLnGetStatus GetStatus = nullptr;

    bool IsBound() const {
        return ResetConnect != nullptr && CalcConnect != nullptr && GetStatus != nullptr;
    }
};

// What the sound-information dialog learns from one WAV file, before any text is made of it.
// Kept apart from the texts (and from Qt) so that the fuzz target runs exactly this path.
struct TSoundFileScan {
    TWaveFormat Format;
    std::uint64_t DataSize = 0;
    std::uint64_t StatedDataSize = 0;
    std::uint64_t LengthSeconds = 0;
    TWaveAddInfo AddInfo; // Version 0: no known private chunk
    // Bytes of the private chunk the file holds and the size it states (-1 without one).
    std::int64_t AddInfoHeld = -1;
    std::int64_t AddInfoStated = -1;
    std::uint32_t DataCrc = 0;
    bool IntegrityChecked = false;
    bool IntegrityPassed = false;
    bool FeedUsable = false; // the format can be fed to the decoder
    bool Decoding = false;   // the decoder took the rate and was fed every sample
    TCallerIdStatus Status{};
};

// The length in whole seconds of dataSize bytes in the format; 0 when a field is 0.
std::uint64_t SoundFileSeconds(std::uint64_t dataSize, unsigned channels,
                               std::uint32_t samplesPerSec, unsigned bitsPerSample);

// Reads the whole sample data of a WAV file opened for reading through the CRC-32 and, with a
// bound decoder and a format it can be fed from, through the caller-ID decoder; checks the
// check word of the private chunk; closes the file.
TSoundFileScan ScanSoundFile(TWaveFile& wave, const TCallerIdDecoder* decoder);
