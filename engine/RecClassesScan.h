#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/RecClassesBlocks.h"
#include "engine/RecClassesGeometry.h"
#include "engine/RecClassesLists.h"

class TRecorder;

// The longest pauses a break in a recording may stand for. A recorder waiting for voice or for
// its timer pauses for hours, and over a weekend or a holiday for days, until the next block
// it records. A pause that only a resume time of the recording's last block tells of (nothing
// after it bounds it) is taken up to a day; one that the next block bounds up to a month.
// Further on the times come from a clock set anew or a stale block, and bridged with silence
// they would fill the disk (years of it): such a break is logged and the sound goes on
// without a gap.
constexpr double MaxOpenPauseSeconds = 24.0 * 3600.0;
constexpr double MaxRecordingPauseSeconds = 31.0 * 24.0 * 3600.0;

// Block order within a recording: block time compared as unsigned, then the block's index
// within the recording. Negative, zero or positive.
int CompareBlockTime(const TBlockEntry& a, const TBlockEntry& b);

// The memory scan (the body of ReadHeadersThread): reads the header of every block, sorts
// the valid blocks into empty, recording and flash-drive blocks and works out every
// recording's pages, breaks, voice parts and texts and every drive file's name and size.
// Memory and time grow with the number of blocks; recordings and files are found by number
// through direct indexes, never by searching the lists.
class TMemoryScan {
public:
    explicit TMemoryScan(TRecorder& recorder);
    // Fills the recorder's lists and totals; on a failure only what was complete remains.
    void Run();

private:
    void SetTotals();
    void ReadAllHeaders();
    void ClassifyBlocks();
    void CollectSoundFileInfo(TSoundFileInfo& recording);
    void CollectBlockPages(TSoundFileInfo& recording, std::size_t k, double& time);
    bool ReadPageInfo(std::uint32_t block);
    void ReadResumeTimes(std::uint32_t block);
    void BuildVoiceParts(TSoundFileInfo& recording);
    void BuildModeText(TSoundFileInfo& record) const;
    std::string CallText(const TBlockEntry& first) const;
    void CollectDriveFileInfo(TDriveFileInfo& file);
    std::uint32_t DriveDataPerBlock() const;

    TRecorder& Recorder;
    TFlashGeometry Geometry;
    std::vector<TBlockHeader> Headers;
    // Working buffers of one block, reset for every block.
    std::vector<std::uint16_t> PageInfo;
    std::vector<std::uint32_t> ResumeTimes; // one more entry: the next block's time
    std::vector<std::uint8_t> RawBuffer;
};
