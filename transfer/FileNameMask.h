#pragma once

#include <cstdint>
#include <string>

#include "platform/SystemTime.h"

class TCustomSoundFileInfo;

// Voice-part number meaning "a whole recording, not a voice part".
constexpr std::uint32_t NoVoicePart = 0xFFFFFFFF;

// The masks the settings dialog offers for choice, in the order shown.
constexpr const char* OfferedFileNameMasks[] = {
    "file_[rn] [ei] ([yyyy]_[mm]_[dd]-[hh_nn_ss])_[sn].wav",
    "file_[rn]_([yymmdd]-[hhnnss])_[sn].wav",
    "recorded [dd mmmm yyyy] at [hh.nn.ss].wav",
};

// Replaces the bracketed tokens of mask: [sn] the serial text, [rn] the record number (with
// "_" and the voice-part number for a voice part), [ei] the call text, anything else the
// record time formatted with the token as a date/time format. Tokens are compared without
// regard to case; an unclosed token is copied as plain text without its "[".
// Inserted texts (serial, call text) are made safe for one file name; the mask's own
// characters are copied as typed.
std::string ExpandFileNameMask(const std::string& mask, const TSystemTime& time,
                               const std::string& serialText, std::uint16_t recordNumber,
                               std::uint32_t voicePart, const std::string& callText);

// The record time formatted with a date/time format: yyyy/yy year, m/mm month, mmm/mmmm its
// short/full English name, d/dd day, ddd/dddd weekday name, h/hh hour 0-23, n/nn minute
// (m/mm right after an hour also mean minutes), s/ss second, z/zzz milliseconds; text in
// single or double quotes is copied without them; letters in either case; all else copied.
std::string FormatMaskDateTime(const std::string& format, const TSystemTime& time);

// A text made safe as one path component: "/", "\" and control characters become "_", a
// name of dots only ("." or "..") gets a leading "_", an empty name becomes "_". Safe names
// come back unchanged.
std::string SanitizeFileName(const std::string& name);

// The file name (without folder) of one record entry. A recording takes its own number and
// the given time; a voice part its parent's number, its own part number and its own start
// time (the given time is not used). The result is safe as one file name in the target
// folder.
std::string MakeRecordFileName(const TCustomSoundFileInfo& entry, const TSystemTime& time,
                               const std::string& serialText, const std::string& mask);
