#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/Codecsfunc.h"
#include "audio/CustomFile.h"
#include "engine/RecClasses.h"
#include "engine/RecClassesScan.h"
#include "engine/RecClassesUtils.h"
#include "link/DebugLog.h"
#include "link/ReedSolomon.h"
#include "platform/PosixFile.h"

// The read operations: a recording (or a stretch or voice part of it) decoded into the output
// sink, and a flash-drive file copied into a PC file with Reed-Solomon correction.

namespace {

// The sink refused a write: the read stops and ends as failed, not as cancelled.
class ESinkRefused : public std::runtime_error {
public:
    ESinkRefused() : std::runtime_error(LangText("SinkRefusedStr")) {}
};

// Floating-point position error that must not turn into one more second of silence.
constexpr double TrailingSilenceEpsilon = 0.005;
constexpr int DriveReadAttempts = 3;
constexpr std::uint32_t ModelClassWithoutEcc = 2;

// What a recording read works on, fixed when the operation starts.
struct TReadSoundParams {
    const TSoundFileInfo* Info = nullptr;
    std::uint32_t Start = 0;    // seconds from the recording's start
    std::uint32_t Duration = 0; // seconds
    bool Whole = false;         // every page, whatever the page times say
};

// ReadSFThread: walks the page list in runs of pages that lie in one block and end at the
// block's end or at a break, decodes each run into PCM and hands it to the sink, bridging the
// breaks with silence of every channel.
class TSoundFileReader {
public:
    TSoundFileReader(TRecorder& recorder, const TReadSoundParams& params, TCustomFile& sink)
        : Recorder(recorder), Params(params), Info(*params.Info), Sink(sink),
          Geometry(recorder.Geometry()) {}

    void Run();

private:
    std::uint32_t FrameBytes() const { return 2u * std::max<std::uint16_t>(1, Channels()); }
    std::uint16_t Channels() const { return Info.WaveFormat.Channels; }
    double SecondsPerBlock() const { return Info.SecondsPerPage * Geometry.PagesPerBlock; }
    bool Stopped() const { return Recorder.IsCancelRequested(); }

    void FindStartPage(double absoluteStart);
    void CountPages(double absoluteEnd);
    std::uint64_t DecodedBytesOfPage(const TSoundPage& page) const;
    int RunLength(int first, int done) const;
    void ReadRun(int first, int count, bool pause);
    void WritePause(double gap);
    void WriteTrailingSilence(double rest);
    void Write(const std::uint8_t* data, std::size_t count);

    TRecorder& Recorder;
    const TReadSoundParams& Params;
    const TSoundFileInfo& Info;
    TCustomFile& Sink;
    const TFlashGeometry& Geometry;

    int StartPage = 0;
    int PageCount = 0;
    std::uint32_t DataToSkip = 0; // decoded bytes to drop so the output starts on a frame
    double Position = 0;
    std::uint64_t Total = 0; // real data bytes written, the zero bytes after a break included
    std::vector<std::uint8_t> PageBuffer;
    std::vector<std::uint8_t> Silence; // one second of every channel
};

void TSoundFileReader::Run() {
    const TSoundPageList& pages = Info.Pages;
    if (pages.Count() == 0) {
        WriteDebugLog("Recording has no sound pages");
        return;
    }
    const std::uint32_t rate = std::max<std::uint32_t>(1, Info.WaveFormat.SamplesPerSec);
    PageBuffer.resize(Geometry.BlockSize());

    // The span to read, in absolute seconds; the start is truncated to a whole second.
    const double absoluteStart = std::trunc(pages.Get(0).Time + Params.Start);
    const double absoluteEnd = absoluteStart + Params.Duration;
    FindStartPage(absoluteStart);
    WriteDebugLogF("DataToSkip: %u", DataToSkip);
    CountPages(absoluteEnd);
    WriteDebugLogF("StartPage: %d; PageCount: %d; ", StartPage, PageCount);

    Silence.assign(std::size_t{2} * std::max<std::uint16_t>(1, Channels()) * rate, 0);
    const double firstTime = pages.Get(StartPage).Time;
    Position = firstTime - absoluteStart > SecondsPerBlock() ? absoluteStart : firstTime;

    int done = 0;
    bool pause = false;
    while (done < PageCount && !Stopped()) {
        const int first = StartPage + done;
        if (pause) {
            WriteDebugLog("Writing pause...");
            const double gap = pages.Get(first).Time - Position;
            Position = pages.Get(first).Time;
            WritePause(gap);
        }
        const int count = RunLength(first, done);
        pause = pages.Get(first + count - 1).Break != 0;
        if (!Stopped())
            ReadRun(first, count, pause);
        done += count;
        Recorder.SetProgress(static_cast<std::uint64_t>(done),
                             static_cast<std::uint64_t>(PageCount));
    }
    if (!Stopped())
        WriteTrailingSilence(absoluteEnd - Position);
}

// The start page is the last page that begins before the start (the first page when none
// does). DataToSkip aligns the output to a frame of the stream since the last break.
void TSoundFileReader::FindStartPage(double absoluteStart) {
    const TSoundPageList& pages = Info.Pages;
    std::uint64_t sinceBreak = 0;
    int i = 1;
    while (i < pages.Count() && pages.Get(i).Time < absoluteStart) {
        const TSoundPage& previous = pages.Get(i - 1);
        sinceBreak = previous.Break ? 0 : sinceBreak + DecodedBytesOfPage(previous);
        ++i;
    }
    StartPage = i - 1;
    const std::uint32_t frame = FrameBytes();
    DataToSkip = static_cast<std::uint32_t>((frame - sinceBreak % frame) % frame);
}

void TSoundFileReader::CountPages(double absoluteEnd) {
    const int n = Info.Pages.Count();
    if (Params.Whole) {
        PageCount = n - StartPage;
        return;
    }
    PageCount = 1;
    while (StartPage + PageCount < n && Info.Pages.Get(StartPage + PageCount).Time <= absoluteEnd)
        ++PageCount;
}

// Bytes of PCM the decoder makes of one page; the alignment is counted in decoded bytes,
// since skipping stored bytes inside a page would put its codec out of step.
std::uint64_t TSoundFileReader::DecodedBytesOfPage(const TSoundPage& page) const {
    const std::uint32_t soundEnd = Geometry.PageSize - static_cast<std::uint32_t>(PageInfoSize);
    const std::uint64_t stored = page.DataOffset < soundEnd ? soundEnd - page.DataOffset : 0;
    const TBlockHeader& header = Info.FirstHeader;
    switch (header.CompressionType()) {
    case CompressNone:
        return stored;
    case CompressULaw: {
        // Every page starts a companding block: one scale byte, then up to L samples.
        const std::uint64_t perBlock =
            std::max<std::uint16_t>(1, CompandSamplesPerBlock(RateCodeToHz(header.RateCode())));
        const std::uint64_t scaleBytes = (stored + perBlock) / (perBlock + 1);
        return 2 * (stored - scaleBytes);
    }
    case CompressAdpcm:
        return stored * (header.CompressionParam() == AdpcmParam2Bit ? 8 : 4);
    default:
        return 0;
    }
}

// A run grows while its last page goes on without a break, the next page follows in the same
// block and the pages to read are not exhausted.
int TSoundFileReader::RunLength(int first, int done) const {
    const TSoundPageList& pages = Info.Pages;
    int count = 1;
    while (done + count < PageCount) {
        const TSoundPage& last = pages.Get(first + count - 1);
        const TSoundPage& next = pages.Get(first + count);
        if (last.Break || next.Page % Geometry.PagesPerBlock == 0 || next.Page != last.Page + 1)
            break;
        ++count;
    }
    return count;
}

void TSoundFileReader::ReadRun(int first, int count, bool pause) {
    const TSoundPage& page = Info.Pages.Get(first);
    Recorder.FlashRead(PageBuffer.data(), page.Page, static_cast<std::uint32_t>(count), 1,
                       Geometry.PageSize, 0);
    const bool atBlockStart = page.Page % Geometry.PagesPerBlock == 0;
    const std::vector<std::uint8_t> pcm =
        Recorder.DecodePages(Info.FirstHeader, atBlockStart, static_cast<std::uint32_t>(count),
                             PageBuffer.data(), page.DataOffset, pause);
    Position += count * Info.SecondsPerPage;
    const std::size_t skip = std::min<std::size_t>(DataToSkip, pcm.size());
    DataToSkip = 0;
    const std::size_t length = pcm.size() - skip;
    WriteDebugLogF("Writing real sound data (%zu bytes)...", length);
    if (length > 0)
        Write(pcm.data() + skip, length);
    Total += length;
    if (pause) {
        // The silence after a break must start on a frame.
        const std::uint32_t frame = FrameBytes();
        const std::size_t pad = (frame - Total % frame) % frame;
        if (pad > 0) {
            const std::uint8_t zeros[16] = {};
            Write(zeros, pad);
            Total += pad;
        }
    }
}

// Whole seconds of silence, then the fraction of a second cut to whole frames. Whatever the
// page times say, a pause is never longer than the scan lets one be, nor than the recording
// it lies in: the silence stays within what the recording's own length can hold.
void TSoundFileReader::WritePause(double gap) {
    const double longest = std::min<double>(MaxRecordingPauseSeconds, Info.Duration);
    if (gap > longest) {
        WriteDebugLogF("ERROR: a pause of %.0f s is longer than the recording; cut to %.0f s", gap,
                       longest);
        gap = longest;
    }
    while (gap >= 1.0 && !Stopped()) {
        Write(Silence.data(), Silence.size());
        gap -= 1.0;
    }
    if (gap > 0.0 && !Stopped()) {
        const std::uint32_t frame = FrameBytes();
        const auto bytes = static_cast<std::size_t>(static_cast<double>(Silence.size()) * gap);
        const std::size_t aligned = bytes / frame * frame;
        if (aligned > 0)
            Write(Silence.data(), aligned);
    }
}

// Whole seconds of silence up to the end of the requested span.
void TSoundFileReader::WriteTrailingSilence(double rest) {
    while (rest > TrailingSilenceEpsilon && !Stopped()) {
        Write(Silence.data(), Silence.size());
        rest -= 1.0;
    }
}

void TSoundFileReader::Write(const std::uint8_t* data, std::size_t count) {
    if (Sink.Write(data, static_cast<std::int32_t>(count)) == 0)
        throw ESinkRefused();
}

// ReadDFThread: copies a drive file block by block into the target. With error correction
// every 256-byte slot of pages 1.. holds one RS(255,249) codeword of file data. Each block's
// data goes to its own place in the target (by its index in the file), so a damaged or
// missing block never shifts the bytes after it. Whatever could be read reaches the target,
// which ends at the drive file's size; uncorrectable bytes and missing blocks are reported
// to the user with their places, not taken as a reason to give the user nothing.
class TDriveFileReader {
public:
    TDriveFileReader(TRecorder& recorder, const TDriveFileInfo& file, TPosixFile& target)
        : Recorder(recorder), File(file), Target(target), Geometry(recorder.Geometry()),
          Ecc(recorder.GetModelClass() != ModelClassWithoutEcc) {}

    void Run();

private:
    std::uint32_t DataPerPage() const {
        return Ecc ? Geometry.PageSize / RsSlotSize * RsDataSize : Geometry.PageSize;
    }
    std::uint64_t DataPerBlock() const {
        return std::uint64_t{DataPerPage()} * (Geometry.PagesPerBlock - 1u);
    }
    void ReadBlock(const TBlockEntry& entry);
    bool DecodeBlock(std::uint32_t blockInFile, bool lastAttempt);
    void WriteData(std::uint64_t offset, std::uint64_t length);
    std::uint64_t BlocksFor(std::uint64_t size) const;
    std::string DamageReport(std::uint64_t missingBlocks, std::uint64_t fileBlocks) const;

    TRecorder& Recorder;
    const TDriveFileInfo& File;
    TPosixFile& Target;
    const TFlashGeometry& Geometry;
    const bool Ecc;

    std::vector<std::uint8_t> BlockBuffer;
    std::vector<std::uint8_t> Data; // one block's file data
    std::uint64_t Size = 0;
    // (page in block from 1, block in file from 0) of each page with uncorrectable bytes.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> Damage;
};

// Places of damage named in the message; more are counted in the log only.
constexpr std::size_t MaxDamagePlacesShown = 8;

void TDriveFileReader::Run() {
    Size = File.Size > 0 ? static_cast<std::uint64_t>(File.Size) : 0;
    BlockBuffer.resize(Geometry.BlockSize());
    Data.resize(static_cast<std::size_t>(DataPerBlock()));
    const std::vector<TBlockEntry>& blocks = File.Blocks.Entries();
    std::vector<bool> present(static_cast<std::size_t>(BlocksFor(Size)), false);
    for (std::size_t k = 0; k < blocks.size() && !Recorder.IsCancelRequested(); ++k) {
        const std::uint16_t index = blocks[k].Header.DriveBlockIndex();
        // A block out of the file's range, or doubled, has no place of its own.
        if (index == 0 || index > present.size() || present[index - 1u]) {
            WriteDebugLogF("Drive file %u: block %u of the file skipped (out of range or "
                           "doubled)",
                           File.Number, index);
        } else {
            present[index - 1u] = true;
            ReadBlock(blocks[k]);
        }
        Recorder.SetProgress(std::uint64_t{k + 1}, blocks.size());
    }
    if (Recorder.IsCancelRequested())
        return; // the caller removes what a cancelled download wrote
    // The file ends at the drive file's size; a missing block's place reads as zeros.
    if (!Target.Truncate(Size))
        throw std::runtime_error(LangText("PcFileNotCutStr"));
    // Blocks past the size the scan could confirm are missing too.
    const std::uint64_t statedBlocks = std::max(BlocksFor(File.FirstHeader.DriveFileSize()),
                                                static_cast<std::uint64_t>(present.size()));
    const std::uint64_t missing =
        static_cast<std::uint64_t>(std::count(present.begin(), present.end(), false)) +
        (statedBlocks - present.size());
    if (!Damage.empty() || missing > 0)
        throw EOperationDamaged(DamageReport(missing, statedBlocks));
}

// Blocks a file of the size takes, at least the one that holds its name.
std::uint64_t TDriveFileReader::BlocksFor(std::uint64_t size) const {
    const std::uint64_t perBlock = DataPerBlock();
    const std::uint64_t blocks = perBlock == 0 ? 0 : (size + perBlock - 1) / perBlock;
    return std::max<std::uint64_t>(blocks, 1);
}

std::string TDriveFileReader::DamageReport(std::uint64_t missingBlocks,
                                           std::uint64_t fileBlocks) const {
    std::string text;
    if (!Damage.empty()) {
        std::string places;
        for (std::size_t i = 0; i < Damage.size() && i < MaxDamagePlacesShown; ++i) {
            if (i > 0)
                places += ", ";
            places += FormatLangConstant("PageOfBlockStr", Damage[i].first, Damage[i].second);
        }
        if (Damage.size() > MaxDamagePlacesShown)
            places += ", ...";
        text = FormatLangConstant("EccUncorrectableStr", File.Name, places);
    }
    if (missingBlocks > 0) {
        if (!text.empty())
            text += "\r\n";
        text += FormatLangConstant("FileIncompleteStr", File.Name, missingBlocks, fileBlocks);
    }
    return text;
}

void TDriveFileReader::ReadBlock(const TBlockEntry& entry) {
    const std::uint32_t blockInFile = entry.Header.DriveBlockIndex() - 1u;
    const std::uint64_t offset = blockInFile * DataPerBlock();
    if (offset >= Size)
        return; // the block of an empty file's name: no data
    for (int attempt = 1; attempt <= DriveReadAttempts; ++attempt) {
        if (Recorder.IsCancelRequested())
            return;
        Recorder.FlashReadBlock(entry.Block, BlockBuffer.data());
        if (!Ecc) {
            std::copy(BlockBuffer.begin() + Geometry.PageSize, BlockBuffer.end(), Data.begin());
            break;
        }
        if (DecodeBlock(blockInFile, attempt == DriveReadAttempts))
            break;
    }
    WriteData(offset, std::min<std::uint64_t>(DataPerBlock(), Size - offset));
}

// False when a slot could not be corrected and another attempt remains. On the last attempt
// an uncorrectable slot keeps its stored bytes, and its page is noted.
bool TDriveFileReader::DecodeBlock(std::uint32_t blockInFile, bool lastAttempt) {
    const std::uint32_t slots = Geometry.PageSize / RsSlotSize;
    std::uint8_t* out = Data.data();
    for (std::uint32_t page = 1; page < Geometry.PagesPerBlock; ++page) {
        for (std::uint32_t slot = 0; slot < slots; ++slot) {
            const std::uint8_t* codeword =
                &BlockBuffer[std::size_t{page} * Geometry.PageSize + slot * RsSlotSize];
            const int status = RsDecodeBlock(
                std::span<const std::uint8_t, RsCodewordSize>(codeword, RsCodewordSize),
                std::span<std::uint8_t, RsDataSize>(out, RsDataSize));
            out += RsDataSize;
            if (status <= 0)
                continue;
            const std::string where =
                "page " + std::to_string(page) + " of block " + std::to_string(blockInFile);
            if (status <= RsMaxCorrectable) {
                WriteDebugLog("ECC correctable error in " + where);
                continue;
            }
            WriteDebugLog("ECC uncorrectable error in " + where);
            if (!lastAttempt)
                return false;
            if (Damage.empty() || Damage.back() != std::make_pair(page, blockInFile))
                Damage.emplace_back(page, blockInFile);
        }
    }
    return true;
}

void TDriveFileReader::WriteData(std::uint64_t offset, std::uint64_t length) {
    if (!Target.WriteExact(offset, Data.data(), static_cast<std::size_t>(length)))
        throw std::runtime_error(LangText("PcFileNotWrittenStr"));
}

// The reader thread of a recording and of a voice part; the texts name what was asked for.
void StartSoundRead(TRecorder& recorder, const TReadSoundParams& params, TCustomFile* sink,
                    std::string sought, std::string output) {
    recorder.StartOperation(
        StateRunning, "ReadSFThread",
        [&recorder, params, sink, sought = std::move(sought), output = std::move(output)] {
            if (params.Info == nullptr)
                throw std::runtime_error(sought + " not found");
            if (sink == nullptr)
                throw std::runtime_error("No output for " + output);
            WriteDebugLog("ReadSoundFile thread started");
            {
                TDebugLogNesting nesting;
                TSoundFileReader(recorder, params, *sink).Run();
            }
            WriteDebugLog("ReadSoundFile thread finished");
        });
}

} // namespace

void TRecorder::ReadSoundFile(std::uint16_t number, std::uint32_t startSecond,
                              std::uint32_t duration) {
    WriteDebugLog("Starting ReadSoundFile thread");
    WriteDebugLogF("FileIdx: %d; StartTime: %u; Duration %u", number, startSecond, duration);
    const TSoundFileInfo* info = SoundFiles.ByNumber(number);
    TReadSoundParams params{info, startSecond, duration,
                            info != nullptr && startSecond == 0 && duration >= info->Duration};
    StartSoundRead(*this, params, OutputSink, "Recording " + std::to_string(number),
                   "the recording");
}

void TRecorder::ReadSubRecord(std::uint16_t number, std::uint16_t voicePart, std::uint32_t) {
    WriteDebugLog("Starting ReadSubRecord thread");
    const TSoundFileInfo* recording = SoundFiles.ByNumber(number);
    const TSoundFileInfo* part = nullptr;
    if (recording != nullptr && recording->VoiceParts != nullptr && voicePart >= 1 &&
        voicePart <= recording->VoiceParts->Count())
        part = recording->VoiceParts->Get(voicePart - 1);
    const std::uint32_t duration = part != nullptr ? part->Duration : 0;
    WriteDebugLogF("FileIdx: %d; SubRecord: %d; StartTime: %d; Duration %u", number, voicePart, 0,
                   duration);
    TReadSoundParams params{part, 0, duration, true};
    StartSoundRead(*this, params, OutputSink,
                   "Voice part " + std::to_string(voicePart) + " of recording " +
                       std::to_string(number),
                   "the voice part");
}

void TRecorder::ReadDriveFile(int index, TPosixFile* target) {
    const TDriveFileInfo* file =
        index >= 0 && index < DriveFiles.Count() ? DriveFiles.Get(index) : nullptr;
    StartOperation(StateRunning, "ReadDFThread", [this, file, target, index] {
        if (file == nullptr)
            throw std::runtime_error("Drive file " + std::to_string(index) + " not found");
        if (target == nullptr || !target->IsOpen())
            throw std::runtime_error("No PC file for the drive file");
        TDriveFileReader(*this, *file, *target).Run();
    });
}
