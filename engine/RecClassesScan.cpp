#include "engine/RecClassesScan.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "engine/RecClasses.h"
#include "engine/RecClassesUtils.h"
#include "link/DebugLog.h"
#include "platform/ByteOrder.h"

namespace {

constexpr std::uint32_t HeadersPerRequestSeries = 4096;
constexpr std::uint32_t UnknownTime = 0xFFFFFFFF;
constexpr std::size_t PageStartBytes = 16; // break records are read in units of 16 bytes
constexpr std::uint32_t FileNumbers = 0x8000;
constexpr std::uint8_t ModelClassWithChannelModes = 4;

std::uint32_t SecondOf(double time) {
    if (!(time > 0))
        return 0;
    return time >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(time);
}

// Truncated seconds, never negative and never past u32.
std::uint32_t DurationOf(double seconds) {
    if (!(seconds > 0))
        return 0;
    return seconds >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(seconds);
}

std::string HexBytes(const std::array<std::uint8_t, TBlockHeader::Size>& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
        text += ' ';
    }
    return text;
}

std::uint16_t ChannelsOf(const TBlockHeader& header, std::uint32_t modelClass) {
    if (modelClass != ModelClassWithChannelModes)
        return 1;
    switch (header.ChannelMode()) {
    case 1:
    case 4:
        return 2;
    case 3:
        return 8;
    default:
        return 1;
    }
}

} // namespace

int CompareBlockTime(const TBlockEntry& a, const TBlockEntry& b) {
    const std::uint32_t ta = a.Header.Time();
    const std::uint32_t tb = b.Header.Time();
    if (ta != tb)
        return ta < tb ? -1 : 1;
    const std::uint16_t ia = a.Header.BlockIndex();
    const std::uint16_t ib = b.Header.BlockIndex();
    return ia == ib ? 0 : (ia < ib ? -1 : 1);
}

TMemoryScan::TMemoryScan(TRecorder& recorder) : Recorder(recorder), Geometry(recorder.Geometry()) {}

void TMemoryScan::Run() {
    if (!Recorder.HasValidGeometry())
        throw std::runtime_error(LangText("FlashGeometryBadStr"));
    Recorder.FreeBlockList.Clear();
    Recorder.SoundFiles.Clear();
    Recorder.DriveFiles.Clear();
    PageInfo.assign(Geometry.PagesPerBlock, 0);
    ResumeTimes.assign(std::size_t{Geometry.PagesPerBlock} + 1, UnknownTime);
    RawBuffer.assign(std::size_t{Geometry.PagesPerBlock} * PageStartBytes, 0);

    int collectedRecordings = 0;
    int collectedDriveFiles = 0;
    try {
        WriteDebugLog("Reading block headers...");
        ReadAllHeaders();
        ClassifyBlocks();
        TSoundFileList& recordings = Recorder.SoundFiles;
        for (int i = 0; i < recordings.Count(); ++i) {
            Recorder.SetProgress(static_cast<std::uint64_t>(i),
                                 static_cast<std::uint64_t>(recordings.Count()));
            CollectSoundFileInfo(*recordings.Get(i));
            collectedRecordings = i + 1;
        }
        TDriveFileList& driveFiles = Recorder.DriveFiles;
        for (int i = 0; i < driveFiles.Count(); ++i) {
            Recorder.SetProgress(static_cast<std::uint64_t>(i),
                                 static_cast<std::uint64_t>(driveFiles.Count()));
            CollectDriveFileInfo(*driveFiles.Get(i));
            collectedDriveFiles = i + 1;
        }
    } catch (...) {
        // Only records that were worked out in full may be shown or read. The content flag
        // is cleared all the same: the outcome reports the failure, and a flag left set would
        // make the main window rescan and fail again without end.
        WriteDebugLog("Scan failed: keeping " + std::to_string(collectedRecordings) +
                      " recordings and " + std::to_string(collectedDriveFiles) + " drive files");
        Recorder.SoundFiles.Truncate(collectedRecordings);
        Recorder.DriveFiles.Truncate(collectedDriveFiles);
        SetTotals();
        throw;
    }
    SetTotals();
}

void TMemoryScan::SetTotals() {
    Recorder.TotalMemory = static_cast<std::int64_t>(Geometry.TotalBytes());
    Recorder.FreeMemory = static_cast<std::int64_t>(Recorder.FreeBlockList.Count()) *
                          (static_cast<std::int64_t>(Geometry.BlockSize()) -
                           static_cast<std::int64_t>(HeaderAreaSize));
    Recorder.Modified.store(false);
    Headers.clear();
    Headers.shrink_to_fit();
}

void TMemoryScan::ReadAllHeaders() {
    const std::uint32_t total = Geometry.TotalBlocks();
    Headers.assign(total, TBlockHeader());
    for (std::uint32_t first = 0; first < total; first += HeadersPerRequestSeries) {
        const std::uint32_t count = std::min(HeadersPerRequestSeries, total - first);
        Recorder.ReadBlockHeaders(count, first, &Headers[first]);
        Recorder.SetProgress(std::uint64_t{first} + count, total);
    }
}

void TMemoryScan::ClassifyBlocks() {
    std::vector<std::int32_t> recordingIndex(FileNumbers, -1);
    std::vector<std::int32_t> driveIndex(FileNumbers, -1);
    std::vector<std::uint8_t> firstPage(TFirstBlockData::Offset + TFirstBlockData::Size);
    const std::uint32_t total = Geometry.TotalBlocks();
    for (std::uint32_t b = Geometry.FirstRecBlock; b < total; ++b) {
        const TBlockHeader& h = Headers[b];
        if (!h.IsValid()) {
            WriteDebugLogF("ERROR: Block %u is not empty, but has invalid header.", b);
            if (GetDebugLogLevel() > 0)
                WriteDebugLog("    " + HexBytes(h.Raw()));
            continue;
        }
        TBlockEntry entry;
        entry.Block = static_cast<std::uint16_t>(b);
        const std::uint16_t number = h.FileNumber();
        if (number == EmptyFileNumber) {
            Recorder.FreeBlockList.Add(entry);
        } else if (number < DriveFileFlag) {
            std::int32_t& index = recordingIndex[number];
            if (index < 0) {
                auto recording = std::make_unique<TSoundFileInfo>();
                recording->Number = number;
                index = Recorder.SoundFiles.Add(std::move(recording));
            }
            WriteDebugLogF("Block %u belongs to sound file %u. Internal number %u", b, number,
                           h.BlockIndex());
            entry.Header = h;
            if (h.IsFirstBlock()) {
                Recorder.FlashReadUnit(b * Geometry.PagesPerBlock,
                                       static_cast<std::uint16_t>(firstPage.size()),
                                       firstPage.data());
                entry.FirstBlockData =
                    TFirstBlockData::FromBytes(&firstPage[TFirstBlockData::Offset]);
            }
            entry.PagesPerBlock = Geometry.PagesPerBlock;
            Recorder.SoundFiles.Get(index)->Blocks.Add(entry);
        } else {
            std::int32_t& index = driveIndex[h.DriveFileNumber()];
            if (index < 0) {
                auto file = std::make_unique<TDriveFileInfo>();
                file->Number = h.DriveFileNumber();
                file->FirstHeader = h;
                index = Recorder.DriveFiles.Add(std::move(file));
            }
            entry.Header = h;
            entry.PagesPerBlock = Geometry.PagesPerBlock;
            Recorder.DriveFiles.Get(index)->Blocks.Add(entry);
        }
    }
}

void TMemoryScan::CollectSoundFileInfo(TSoundFileInfo& recording) {
    std::vector<TBlockEntry>& blocks = recording.Blocks.Entries();
    std::stable_sort(blocks.begin(), blocks.end(), [](const TBlockEntry& a, const TBlockEntry& b) {
        return CompareBlockTime(a, b) < 0;
    });
    WriteDebugLogF("Collecting info of sound file N %u...", recording.Number);
    TDebugLogNesting nesting;
    WriteDebugLogF("Block count: %zu;", blocks.size());
    WriteDebugLogF("First block number: %u", blocks.front().Block);

    const TBlockHeader& first = blocks.front().Header;
    recording.FirstHeader = first;
    recording.Name = WordToStr(recording.Number);
    const std::uint16_t channels = ChannelsOf(first, Recorder.GetModelClass());
    SetPcmFormat(&recording.WaveFormat, channels, RateCodeToHz(first.RateCode()), 16);
    const long double secondsPerBlock = Recorder.CalcSecondsPerBlock(
        channels, first.RateCode(), first.CompressionParam(), first.CompressionType());
    recording.SecondsPerBlock = static_cast<float>(secondsPerBlock);
    recording.SecondsPerPage = static_cast<double>(secondsPerBlock) / Geometry.PagesPerBlock;
    recording.CreateVoicePartList();

    recording.Pages.Clear();
    recording.Pages.Reserve(blocks.size() * Geometry.PagesPerBlock);
    double time = first.Time();
    for (std::size_t k = 0; k < blocks.size(); ++k)
        CollectBlockPages(recording, k, time);
    recording.Pages.GetOwned(recording.Pages.Count() - 1).Break = 1;
    WriteDebugLogF("Sound file consist of %d sound pages", recording.Pages.Count());

    BuildVoiceParts(recording);
    BuildModeText(recording);
    recording.Size = static_cast<std::int64_t>(blocks.size()) * Geometry.BlockSize();
    recording.CallText = CallText(blocks.front());
    if (!recording.CallText.empty())
        recording.ModeText = recording.CallText + "; " + recording.ModeText;
    for (int j = 0; j < recording.VoiceParts->Count(); ++j)
        BuildModeText(*recording.VoiceParts->Get(j));
}

// Adds the sound pages of block k of the sorted list and advances the running time.
void TMemoryScan::CollectBlockPages(TSoundFileInfo& recording, std::size_t k, double& time) {
    const std::vector<TBlockEntry>& blocks = recording.Blocks.Entries();
    const TBlockEntry& entry = blocks[k];
    const std::uint32_t pagesPerBlock = Geometry.PagesPerBlock;
    const double secondsPerPage = recording.SecondsPerPage;
    const double secondsPerBlock = secondsPerPage * pagesPerBlock;
    const double blockTime = entry.Header.Time();
    const double firstTime = blocks.front().Header.Time();
    const bool hasNext = k + 1 < blocks.size();
    const double nextTime = hasNext ? blocks[k + 1].Header.Time() : -1.0;

    std::fill(ResumeTimes.begin(), ResumeTimes.end(), UnknownTime);
    ResumeTimes[pagesPerBlock] = hasNext ? blocks[k + 1].Header.Time() : UnknownTime;
    WriteDebugLogF("Block N: %4zu; PhyAddr: %4u; Next calc RTC: %10.6f; Next RTC: %10.6f; Diff: %f",
                   k, entry.Block, blockTime - firstTime + secondsPerBlock, nextTime - firstTime,
                   blockTime + secondsPerBlock - nextTime);

    const double tolerance = std::max(0.05 * secondsPerBlock, 1.0);
    const double end = blockTime + secondsPerBlock;
    if (hasNext && end >= nextTime - tolerance && end <= nextTime + tolerance) {
        std::fill(PageInfo.begin(), PageInfo.end(), ContinuousPageInfo);
    } else {
        WriteDebugLogF("Block %zu has breaks or not filled fully. Reading pages info...", k);
        if (ReadPageInfo(entry.Block)) {
            WriteDebugLogF("Block %zu has breaks. Reading break info...", k);
            ReadResumeTimes(entry.Block);
        }
    }

    // A resume time that is unwritten, or outside what this block can span, is damaged: the
    // sound then resumes with the next block (or without a gap when there is none). A pause
    // up to the next block is bounded by it; one in the last block has nothing after it and is
    // held to a day.
    auto resumeAfter = [&](std::uint32_t page, double now) {
        const std::uint32_t raw = ResumeTimes[page + 1];
        const double low = std::floor(now);
        const double high = hasNext ? nextTime : blockTime + MaxOpenPauseSeconds;
        double resume = now + secondsPerPage;
        if (raw != UnknownTime && raw >= low && raw <= high)
            resume = raw;
        else if (hasNext && nextTime >= now)
            resume = nextTime;
        const double longest = hasNext ? MaxRecordingPauseSeconds : MaxOpenPauseSeconds;
        if (resume - now > longest) {
            WriteDebugLogF("ERROR: Block %zu: a pause of %.0f s after page %u is longer than a "
                           "recorder pauses; the sound goes on without it",
                           k, resume - now, page);
            resume = now + secondsPerPage;
        }
        return resume;
    };

    const bool adpcm = entry.Header.CompressionType() == CompressAdpcm;
    const std::uint32_t soundEnd = Geometry.PageSize - PageInfoSize;
    std::uint32_t firstOffset = HeaderAreaSize;
    if (entry.Header.IsFirstBlock()) {
        const std::uint32_t length = entry.FirstBlockData.DataLength();
        if (HeaderAreaSize + length > soundEnd)
            WriteDebugLogF("ERROR: Block %u: first-block data length %u past the page", entry.Block,
                           length);
        firstOffset = std::min<std::uint32_t>(HeaderAreaSize + length, soundEnd);
    }

    bool previousWasBreak = false; // per block: a block's page 0 always counts
    for (std::uint32_t i = 0; i < pagesPerBlock; ++i) {
        const bool isBreak = PageInfoMarksBreak(PageInfo[i]);
        if (isBreak && previousWasBreak) {
            WriteDebugLogF("Page %u is last sound page", i - 1);
            break;
        }
        TSoundPage page;
        page.Time = time;
        page.Second = SecondOf(time);
        page.Page = std::uint32_t{entry.Block} * pagesPerBlock + i;
        std::uint32_t offset = i == 0 ? firstOffset : (previousWasBreak ? BreakAreaSize : 0);
        if (adpcm)
            offset += 2;
        page.DataOffset = std::min(offset, soundEnd);
        page.Break = isBreak ? 1 : 0;
        if (!isBreak) {
            time += secondsPerPage;
        } else {
            WriteDebugLogF("Block %zu has break at page %u", k, i);
            time = Recorder.GetSkipSilence() ? time + secondsPerPage : resumeAfter(i, time);
        }
        recording.Pages.Add(page);
        previousWasBreak = isBreak;
    }
}

// Reads the block's page-information words; true when the block breaks before its written
// end (so its break records are worth reading).
bool TMemoryScan::ReadPageInfo(std::uint32_t block) {
    const std::uint32_t pages = Geometry.PagesPerBlock;
    Recorder.FlashRead(RawBuffer.data(), block * pages, pages, 1, PageInfoSize,
                       static_cast<std::uint16_t>(Geometry.PageSize - PageInfoSize));
    for (std::uint32_t i = 0; i < pages; ++i)
        PageInfo[i] = GetU16(&RawBuffer[std::size_t{i} * PageInfoSize]);
    // Walk back over the unwritten or ending pages, then over continuous sound: a page left
    // before that is a break inside the block.
    std::int64_t i = static_cast<std::int64_t>(pages) - 1;
    while (i >= 0 && PageInfoMarksBreak(PageInfo[static_cast<std::size_t>(i)]))
        --i;
    while (i >= 0 && !PageInfoMarksBreak(PageInfo[static_cast<std::size_t>(i)]))
        --i;
    return i >= 0;
}

void TMemoryScan::ReadResumeTimes(std::uint32_t block) {
    const std::uint32_t pages = Geometry.PagesPerBlock;
    Recorder.FlashRead(RawBuffer.data(), block * pages, pages, 1, PageStartBytes, 0);
    std::uint8_t voted[BreakRecordSize];
    for (std::uint32_t i = 0; i < pages; ++i) {
        VoteTripleCopy(&RawBuffer[std::size_t{i} * PageStartBytes], voted, BreakRecordSize);
        ResumeTimes[i] = GetU32(voted);
    }
}

void TMemoryScan::BuildVoiceParts(TSoundFileInfo& recording) {
    const TSoundPageList& pages = recording.Pages;
    const int count = pages.Count();
    std::vector<std::pair<int, int>> stretches;
    int start = 0;
    for (int p = 0; p < count - 1; ++p) {
        if (pages.Get(p).Break) {
            stretches.emplace_back(start, p - start + 1);
            start = p + 1;
        }
    }
    if (stretches.empty())
        return; // no inner break: no voice parts
    stretches.emplace_back(start, count - start);
    TSoundFileList& parts = *recording.VoiceParts;
    for (std::size_t j = 0; j < stretches.size(); ++j) {
        auto part = std::make_unique<TSoundFileInfo>();
        part->Parent = &recording;
        part->FirstHeader = recording.FirstHeader;
        part->WaveFormat = recording.WaveFormat;
        part->Reserved = recording.Reserved;
        part->SecondsPerBlock = recording.SecondsPerBlock;
        part->SecondsPerPage = recording.SecondsPerPage;
        part->Start = recording.Start;
        part->Number = static_cast<std::uint16_t>(j + 1);
        part->Name = recording.Name + "." + std::to_string(j + 1);
        part->Pages = TSoundPageList::SharedRange(pages, stretches[j].first, stretches[j].second);
        parts.Add(std::move(part));
    }
}

void TMemoryScan::BuildModeText(TSoundFileInfo& record) const {
    static const char* const channelModes[] = {"MonoStr", "StereoStr", "HighSNStr", "Ch8Str",
                                               "HighSNStereoStr"};
    const TBlockHeader& h = record.FirstHeader;
    std::string text;
    if (Recorder.GetModelClass() == ModelClassWithChannelModes && h.ChannelMode() < 5)
        text += LangText(channelModes[h.ChannelMode()]) + "; ";
    text += std::to_string(RateCodeToHz(h.RateCode())) + " " + LangText("HzStr") + "; ";
    record.SourceCompression = SourceCompressionOf(h.CompressionType(), h.CompressionParam());
    text += Recorder.CompressionCaption(record.SourceCompression) + "; ";
    record.Status = h.Status();
    if (h.IsCyclic())
        text.append(" ").append(LangText("CircularRecStr")).append("; ");
    if (record.Status != StatusUploaded && h.RecordedWithVas())
        text += "VAS; ";
    record.ModeText = text;
    const TSoundPageList& pages = record.Pages;
    record.Size = static_cast<std::int64_t>(pages.Count()) * Geometry.PageSize;
    if (pages.Count() == 0)
        return;
    const TSoundPage& firstPage = pages.Get(0);
    const TSoundPage& lastPage = pages.Get(pages.Count() - 1);
    record.Duration = DurationOf(lastPage.Time - firstPage.Time + record.SecondsPerPage);
    record.Start = UnixTimeToSystemTime(firstPage.Second);
}

std::string TMemoryScan::CallText(const TBlockEntry& first) const {
    if (!first.Header.IsFirstBlock() || !first.FirstBlockData.HasCallInfo())
        return "";
    const TFirstBlockData& data = first.FirstBlockData;
    return LangText(data.IsOutgoingCall() ? "OutcomingCallStr" : "IncomingCallStr") + " " +
           LangText("TelNumberStr") + " " + data.DigitText();
}

// File bytes one drive-file block carries: pages 1.. of the block, each S bytes, or with the
// error-correcting code (every model class but 2) 249 of each 256 bytes.
std::uint32_t TMemoryScan::DriveDataPerBlock() const {
    const std::uint32_t perPage = Recorder.GetModelClass() == 2
                                      ? Geometry.PageSize
                                      : std::uint32_t{Geometry.PageSize} / 256 * 249;
    return perPage * (Geometry.PagesPerBlock - 1u);
}

void TMemoryScan::CollectDriveFileInfo(TDriveFileInfo& file) {
    std::vector<TBlockEntry>& blocks = file.Blocks.Entries();
    if (blocks.empty())
        return;
    std::stable_sort(blocks.begin(), blocks.end(), [](const TBlockEntry& a, const TBlockEntry& b) {
        return a.Header.DriveBlockIndex() < b.Header.DriveBlockIndex();
    });
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (blocks[i].Header.DriveBlockIndex() != i + 1) {
            WriteDebugLogF("ERROR: Drive file %u: block %zu of the file is missing or doubled",
                           file.Number, i + 1);
            file.Incomplete = 1;
            break;
        }
    }
    file.FirstHeader = blocks.front().Header;
    std::vector<std::uint8_t> page(Geometry.PageSize);
    Recorder.FlashReadUnit(std::uint32_t{blocks.front().Block} * Geometry.PagesPerBlock,
                           Geometry.PageSize, page.data());
    file.Size = file.FirstHeader.DriveFileSize();
    // The file reaches as far as its last block that can belong to it: a block's index must
    // fit the stated size and the recording area. A missing block before it leaves a gap the
    // download fills with zeros; missing blocks at the end shorten the file.
    const std::uint64_t perBlock = DriveDataPerBlock();
    const std::uint64_t statedBlocks =
        perBlock == 0 ? 0 : (static_cast<std::uint64_t>(file.Size) + perBlock - 1) / perBlock;
    const std::uint64_t areaBlocks = Geometry.TotalBlocks() - Geometry.FirstRecBlock;
    std::uint64_t lastIndex = 0;
    for (const TBlockEntry& entry : blocks) {
        const std::uint64_t index = entry.Header.DriveBlockIndex();
        if (index <= statedBlocks && index <= areaBlocks)
            lastIndex = std::max(lastIndex, index);
    }
    const auto capacity = static_cast<std::int64_t>(lastIndex * perBlock);
    if (file.Size > capacity) {
        WriteDebugLogF("ERROR: Drive file %u: size %lld larger than its %zu blocks hold",
                       file.Number, static_cast<long long>(file.Size), blocks.size());
        file.Size = capacity;
        file.Incomplete = 1;
    }
    file.Folder = file.FirstHeader.IsFolder() ? 1 : 0;
    const std::size_t nameChars = (Geometry.PageSize - PageInfoSize - HeaderAreaSize) / 2;
    file.Name = Utf16LeToUtf8(&page[HeaderAreaSize], nameChars);
    file.Date = UnixTimeToSystemTime(file.FirstHeader.Time());
    file.SecondText.clear();
}
