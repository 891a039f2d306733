#pragma once

#include <cstdint>

#include <QString>

#include "callerid/Norvel.h"

class TWaveFile;
class TNorvelLibrary;

// What the sound-information dialog shows of one WAV file.
struct TSoundInfoTexts {
    QString FileInfo;       // format and length
    QString AddInfo;        // the recording information of the private chunk, and a note
                            // when the file is shorter than its header claims
    QString CallInfo;       // what the caller-ID analysis found
    QString AnalysisNote;   // why no analysis ran (no library, a format it cannot take)
    int AddInfoVersion = 0; // 0: no known private chunk
    bool IntegrityChecked = false;
    bool IntegrityPassed = false;
};

// Reads the whole sample data of a WAV file opened for reading, runs the integrity check and,
// with a loaded library, the caller-ID analysis; closes the file. Without a library (or for a
// format the decoder cannot take) the call information reads as nothing found.
TSoundInfoTexts AnalyseSoundFile(TWaveFile& wave, TNorvelLibrary* library);

// The call-information text of a status record. Lengths and counts in the record are
// bounded by the record itself.
QString CallInfoText(const TCallerIdStatus& status);

// The file-information text: data size, channels, rate, block align and length.
QString SoundFileInfoText(std::uint64_t dataSize, unsigned channels, std::uint32_t samplesPerSec,
                          unsigned blockAlign, unsigned bitsPerSample);

// The caption of the recorder's compression setting for a source-compression value, in the
// current language; "Unknown" for a value without one.
QString SourceCompressionName(std::uint16_t value);

// Text constants hold Windows line ends; a label wants plain ones.
QString LabelText(const std::string& constantText);
