#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/RecClassesSettings.h"

// Ready-made values the settings dialog offers for a profile, from three INI files beside the
// program. Each section is one preset, in file order; its display name is the value of the
// key named after the language id ("1033=Best quality"), else the section name.

// Rate and compression (profile bytes 10, 11, 12); keys "Compression", "CompressParam",
// "BitRate".
struct TQualityPreset {
    std::string Name;
    std::uint8_t Compression = 0;
    std::uint8_t CompressParam = 0;
    std::uint8_t BitRate = 0; // sample-rate code
};

// Voice-activated start (profile bytes 29, 30); keys "Level", "Time".
struct TVasPreset {
    std::string Name;
    std::int8_t Level = 0; // dB, -55..0
    std::uint8_t Time = 0; // 1..15
};

// Automatic gain control (profile bytes 32..36); keys "Mode", "FastAttack", "FastRelease",
// "SlowAttack", "SlowRelease".
struct TAmpPreset {
    std::string Name;
    std::uint8_t Mode = 0; // 0 on, 0xFF off
    std::uint8_t FastAttack = 0;
    std::uint8_t FastRelease = 0;
    std::uint8_t SlowAttack = 0;
    std::uint8_t SlowRelease = 0;
};

// A list that owns its records, in the order they were added.
template <typename T> class TTypedList {
public:
    int Count() const { return static_cast<int>(Items.size()); }
    const T& Get(int index) const { return Items.at(static_cast<std::size_t>(index)); }
    const T& operator[](int index) const { return Get(index); }
    void Add(T item) { Items.push_back(std::move(item)); }
    void Clear() { Items.clear(); }
    auto begin() const { return Items.begin(); }
    auto end() const { return Items.end(); }

private:
    std::vector<T> Items;
};

using TQualityPresetList = TTypedList<TQualityPreset>;
using TVasPresetList = TTypedList<TVasPreset>;
using TAmpPresetList = TTypedList<TAmpPreset>;

// Each clears the list, then fills it from the file when it exists, one preset per section.
// A key that is missing or holds no number reads as 0; numbers are truncated to their byte.
void LoadQualityPresets(const std::string& fileName, std::uint16_t langId,
                        TQualityPresetList& list);
void LoadVasPresets(const std::string& fileName, std::uint16_t langId, TVasPresetList& list);
void LoadAmpPresets(const std::string& fileName, std::uint16_t langId, TAmpPresetList& list);

// The index of the first preset whose bytes equal the profile's, or -1.
int FindQualityPreset(const TQualityPresetList& list, const TRecProfile& profile);
int FindVasPreset(const TVasPresetList& list, const TRecProfile& profile);
int FindAmpPreset(const TAmpPresetList& list, const TRecProfile& profile);

// Writes the preset's bytes into the profile.
void ApplyQualityPreset(const TQualityPreset& preset, TRecProfile& profile);
void ApplyVasPreset(const TVasPreset& preset, TRecProfile& profile);
void ApplyAmpPreset(const TAmpPreset& preset, TRecProfile& profile);
