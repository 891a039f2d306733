#include "engine/RecClassesWrite.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "audio/Codecsfunc.h"
#include "audio/Wavefunc.h"
#include "engine/RecClasses.h"
#include "engine/RecClassesUtils.h"
#include "i18n/VexaLang.h"
#include "link/DebugLog.h"
#include "link/ReedSolomon.h"
#include "platform/ByteOrder.h"
#include "platform/CodePage.h"
#include "platform/PosixFile.h"

namespace {

constexpr std::uint8_t UploadedStatusBits = 0x80; // bits 7-6 = 10
constexpr std::size_t AdpcmPlainSampleSize = 2;

// --- Page encoder helpers ---------------------------------------------------------------

std::size_t CompandSamplesIn(std::size_t pageBytes, std::uint16_t blockSamples) {
    // Every companding block is a header byte and up to blockSamples codes; the page's last
    // block is cut where the page ends.
    const std::size_t blocks = (pageBytes + blockSamples) / (std::size_t{blockSamples} + 1);
    return pageBytes - blocks;
}

// --- What one upload has written, to take back when it does not end well --------------

class TWrittenBlocks {
public:
    explicit TWrittenBlocks(TRecorder& recorder) : Recorder(recorder) {}

    void Add(std::uint16_t block) {
        if (Blocks.empty() || Blocks.back() != block)
            Blocks.push_back(block);
    }
    std::size_t Count() const { return Blocks.size(); }

    // A cancelled upload: a failed erase ends the operation as failed.
    void EraseAll() {
        for (std::uint16_t block : Blocks)
            Recorder.FlashEraseBlock(block);
        Blocks.clear();
    }
    // After a failure the first error is the one reported; the erase only tries its best.
    void EraseAfterFailure() noexcept {
        for (std::uint16_t block : Blocks) {
            try {
                Recorder.FlashEraseBlock(block);
            } catch (...) {
                WriteDebugLogF("ERROR: Block %u of the failed upload could not be erased", block);
            }
        }
        Blocks.clear();
    }

private:
    TRecorder& Recorder;
    std::vector<std::uint16_t> Blocks;
};

// The write phase of an upload: a failure or a cancel erases what was written, so that the
// flash holds the whole upload or none of it. The bar ends at 100 on success, since a
// recording's last block may end pages before the block does.
template <class TWriteBlocks>
void WriteWholeOrNothing(TRecorder& recorder, TWrittenBlocks& written, const char* operation,
                         TWriteBlocks writeBlocks) {
    recorder.SetState(StateWriting);
    recorder.SetProgress(std::uint8_t{0});
    try {
        writeBlocks();
    } catch (...) {
        written.EraseAfterFailure();
        recorder.SetModified();
        throw;
    }
    if (recorder.IsCancelRequested()) {
        WriteDebugLogF("%s cancelled: erasing %zu blocks", operation, written.Count());
        written.EraseAll();
    } else {
        recorder.SetProgress(std::uint8_t{100});
    }
    recorder.SetModified();
}

// The first count empty blocks of the last scan.
std::vector<std::uint16_t> TakeFreeBlocks(const TRecorder& recorder, std::uint64_t count) {
    std::vector<std::uint16_t> blocks;
    blocks.reserve(count);
    for (int i = 0; i < recorder.FreeBlocks().Count() && blocks.size() < count; ++i)
        blocks.push_back(recorder.FreeBlocks().Get(i).Block);
    return blocks;
}

// The free-block list is as old as the last scan: a block used since then is not
// overwritten.
void CheckBlocksEmpty(TRecorder& recorder, const std::vector<std::uint16_t>& blocks) {
    const std::uint32_t pagesPerBlock = recorder.Geometry().PagesPerBlock;
    std::uint8_t area[HeaderAreaSize];
    for (std::uint16_t block : blocks) {
        recorder.FlashReadUnit(std::uint32_t{block} * pagesPerBlock, HeaderAreaSize, area);
        if (std::any_of(std::begin(area), std::end(area), [](std::uint8_t b) { return b != 0xFF; }))
            throw EUploadRefused(FormatLangConstant("UploadBlockNotEmptyStr", block));
    }
}

std::string NotEnoughSpace(std::uint64_t needed, std::uint64_t free) {
    return LangText("NotEnoughSpaceStr") + FormatText(" (%llu blocks needed, %llu free)",
                                                      static_cast<unsigned long long>(needed),
                                                      static_cast<unsigned long long>(free));
}

// The caller's number when it is a recording number nobody uses, else the lowest free one.
std::uint16_t ChooseRecordNumber(const TSoundFileList& recordings, std::uint16_t wanted) {
    auto used = [&](std::uint16_t n) { return recordings.FindByNumber(n) >= 0; };
    if (wanted >= 1 && wanted <= MaxFileNumber && !used(wanted))
        return wanted;
    for (std::uint16_t n = 1; n <= MaxFileNumber; ++n)
        if (!used(n))
            return n;
    throw EUploadRefused(LangText("NoFreeRecordNumberStr"));
}

std::uint16_t ChooseDriveFileNumber(const TDriveFileList& files) {
    for (std::uint16_t n = 1; n <= MaxFileNumber; ++n)
        if (files.FindByNumber(n) < 0)
            return n;
    throw EUploadRefused(LangText("NoFreeDriveFileNumberStr"));
}

// The name as stored: UTF-16 with a zero character after it, refused rather than cut.
std::u16string StoredDriveName(const std::string& name, const TDriveFileLayout& layout) {
    if (name.empty())
        throw EUploadRefused(LangText("DriveFileNameEmptyStr"));
    if (!IsValidUtf8(name) || name.find('\0') != std::string::npos)
        throw EUploadRefused(FormatLangConstant("DriveFileNameCharsStr", name));
    std::u16string text = Utf8ToUtf16(name);
    if (text.size() > layout.MaxNameChars)
        throw EUploadRefused(
            FormatLangConstant("DriveFileNameTooLongStr", text.size(), layout.MaxNameChars));
    return text;
}

// --- The recording upload ---------------------------------------------------------------

class TSoundUpload {
public:
    TSoundUpload(TRecorder& recorder, TWaveFile& source, std::uint16_t number, std::uint32_t time)
        : Recorder(recorder), Source(source), WantedNumber(number), Time(time), Written(recorder) {}

    void Run();

private:
    void Plan();
    void WriteBlocks();
    void ReadSamples(std::size_t count);

    TRecorder& Recorder;
    TWaveFile& Source;
    std::uint16_t WantedNumber;
    std::uint32_t Time;
    TWrittenBlocks Written;

    std::uint8_t Type = 0;
    std::uint8_t Param = 0;
    std::uint8_t RateCode = 0;
    std::uint16_t Number = 0;
    std::uint64_t SamplesLeft = 0;
    std::vector<std::uint16_t> Targets;
    std::vector<std::int16_t> Samples;
    std::vector<std::uint8_t> Bytes;
};

void TSoundUpload::Run() {
    Plan();
    WriteWholeOrNothing(Recorder, Written, "WriteSoundFile", [this] { WriteBlocks(); });
}

void TSoundUpload::Plan() {
    if (!Recorder.HasValidGeometry())
        throw EUploadRefused(LangText("MemoryNotKnownStr"));
    const TWaveFormat& format = Source.GetFormat();
    Type = Recorder.GetUploadCompression();
    Param = Type == CompressNone ? 0 : Recorder.GetUploadCompressParam();
    if (!Source.IsOpen() || Recorder.GetUploadSize(Source) < 0 ||
        !TUploadPageEncoder::IsUploadable(Type, Param))
        throw EUploadRefused(LangText("UnsuppAudioFmtStr"));
    RateCode = HzToRateCode(format.SamplesPerSec);

    const TUploadPageEncoder encoder(Recorder.Geometry(), Type, Param, format.SamplesPerSec);
    SamplesLeft = Source.GetDataSize() / 2;
    const std::uint64_t needed = encoder.BlocksFor(SamplesLeft);
    if (needed == 0)
        throw EUploadRefused(LangText("WaveNoSoundStr"));
    const auto free = static_cast<std::uint64_t>(Recorder.FreeBlocks().Count());
    std::uint64_t blocks = needed;
    if (needed > free) {
        // The recording is cut at the last free block: the main window has asked the user
        // before, since the upload size counts the same blocks as the free memory.
        if (free == 0)
            throw EUploadRefused(NotEnoughSpace(needed, free));
        blocks = free;
        SamplesLeft = std::min(SamplesLeft, blocks * encoder.SamplesPerBlock());
        WriteDebugLogF("Recording cut to the %llu free blocks",
                       static_cast<unsigned long long>(free));
    }
    if (blocks > 0xFFFF)
        throw EUploadRefused(LangText("RecordingTooLongStr"));
    Number = ChooseRecordNumber(*Recorder.GetSoundFileList(), WantedNumber);
    if (Number != WantedNumber)
        WriteDebugLogF("Record number %u is not free; using %u", WantedNumber, Number);
    Targets = TakeFreeBlocks(Recorder, blocks);
    CheckBlocksEmpty(Recorder, Targets);
    WriteDebugLogF("WriteSoundFile: number %u, %zu blocks, compression %u/%u, rate code %u", Number,
                   Targets.size(), Type, Param, RateCode);
}

void TSoundUpload::WriteBlocks() {
    const TFlashGeometry& g = Recorder.Geometry();
    TUploadPageEncoder encoder(g, Type, Param, RateCodeToHz(RateCode));
    const long double secondsPerBlock = Recorder.CalcSecondsPerBlock(1, RateCode, Param, Type);
    std::vector<std::uint8_t> page(g.PageSize);
    const std::uint64_t totalPages = std::uint64_t{g.PagesPerBlock} * Targets.size();

    for (std::size_t i = 0; i < Targets.size(); ++i) {
        // Each block's time from the start, so that rounding does not add up.
        const auto blockTime = static_cast<std::uint32_t>(
            static_cast<std::uint64_t>(std::floor(Time + i * secondsPerBlock)));
        const TBlockHeader header = MakeUploadHeader(
            Number, blockTime, static_cast<std::uint16_t>(i + 1), Type, Param, RateCode);
        for (std::uint32_t p = 0; p < g.PagesPerBlock; ++p) {
            if (Recorder.IsCancelRequested())
                return;
            const bool first = p == 0;
            const std::size_t count = static_cast<std::size_t>(
                std::min<std::uint64_t>(encoder.SamplesOfPage(first), SamplesLeft));
            if (count == 0 && !first)
                break; // the rest of the last block stays erased
            ReadSamples(count);
            std::fill(page.begin(), page.end(), 0xFF);
            if (first) {
                std::uint8_t raw[TBlockHeader::Size];
                header.WriteTo(raw);
                MakeTripleCopy(page.data(), raw, TBlockHeader::Size);
            }
            const bool soundEnds = count == SamplesLeft;
            encoder.EncodePage(std::span(Samples.data(), count), first, soundEnds, page.data());
            Written.Add(Targets[i]);
            Recorder.FlashWritePages(page.data(), std::uint32_t{Targets[i]} * g.PagesPerBlock + p,
                                     1);
            SamplesLeft -= count;
            Recorder.SetProgress(std::uint64_t{g.PagesPerBlock} * i + p + 1, totalPages);
        }
    }
}

void TSoundUpload::ReadSamples(std::size_t count) {
    Bytes.resize(count * 2);
    Samples.resize(count);
    if (count == 0)
        return;
    if (Source.Read(Bytes.data(), static_cast<std::int32_t>(Bytes.size())) !=
        static_cast<std::int32_t>(Bytes.size()))
        throw std::runtime_error(FormatLangConstant("FileNotReadStr", Source.GetFileName()));
    for (std::size_t i = 0; i < count; ++i)
        Samples[i] = GetI16(&Bytes[2 * i]);
}

// --- The flash-drive upload -------------------------------------------------------------

class TDriveUpload {
public:
    TDriveUpload(TRecorder& recorder, const std::string& name, TPosixFile* source,
                 std::uint32_t time)
        : Recorder(recorder), Name(name), Source(source), Time(time), Written(recorder) {}

    void Run();

private:
    void Plan();
    void WriteBlocks();
    void FillBlock(std::size_t i, std::vector<std::uint8_t>& block,
                   std::vector<std::uint8_t>& data);

    TRecorder& Recorder;
    std::string Name;
    TPosixFile* Source;
    std::uint32_t Time;
    TWrittenBlocks Written;

    TDriveFileLayout Layout;
    std::u16string StoredName;
    std::uint64_t Size = 0;
    std::uint16_t Number = 0;
    std::vector<std::uint16_t> Targets;
};

void TDriveUpload::Run() {
    Plan();
    WriteWholeOrNothing(Recorder, Written, "WriteDriveFile", [this] { WriteBlocks(); });
}

void TDriveUpload::Plan() {
    if (!Recorder.HasValidGeometry())
        throw EUploadRefused(LangText("MemoryNotKnownStr"));
    Layout = TDriveFileLayout::For(Recorder.Geometry(), Recorder.GetModelClass());
    StoredName = StoredDriveName(Name, Layout);
    if (Source != nullptr) {
        const std::int64_t size = Source->Size();
        if (size < 0)
            throw std::runtime_error(FormatLangConstant("FileSizeNotReadStr", Name));
        Size = static_cast<std::uint64_t>(size);
    }
    if (const std::string refusal = Recorder.DriveUploadRefusal(Name, Size, -1); !refusal.empty())
        throw EUploadRefused(refusal);
    const std::uint64_t needed = std::max<std::uint64_t>(Layout.BlocksFor(Size), 1);
    Number = ChooseDriveFileNumber(*Recorder.GetDriveFileList());
    Targets = TakeFreeBlocks(Recorder, needed);
    CheckBlocksEmpty(Recorder, Targets);
    WriteDebugLogF("WriteDriveFile: number %u, %llu bytes, %zu blocks, correction %s", Number,
                   static_cast<unsigned long long>(Size), Targets.size(),
                   Layout.Correction ? "on" : "off");
}

void TDriveUpload::WriteBlocks() {
    const TFlashGeometry& g = Recorder.Geometry();
    std::vector<std::uint8_t> block(g.BlockSize());
    std::vector<std::uint8_t> data(Layout.DataPerBlock);
    for (std::size_t i = 0; i < Targets.size(); ++i) {
        if (Recorder.IsCancelRequested())
            return;
        FillBlock(i, block, data);
        Written.Add(Targets[i]);
        Recorder.FlashWriteBlock(Targets[i], block.data());
        Recorder.SetProgress(i + 1, Targets.size());
    }
}

void TDriveUpload::FillBlock(std::size_t i, std::vector<std::uint8_t>& block,
                             std::vector<std::uint8_t>& data) {
    const TFlashGeometry& g = Recorder.Geometry();
    const std::size_t pageSize = g.PageSize;
    std::fill(block.begin(), block.end(), 0xFF);
    std::uint8_t raw[TBlockHeader::Size];
    MakeDriveFileHeader(Number, Time, static_cast<std::uint32_t>(Size),
                        static_cast<std::uint16_t>(i + 1), Source == nullptr)
        .WriteTo(raw);
    MakeTripleCopy(block.data(), raw, TBlockHeader::Size);
    if (i == 0) {
        std::uint8_t* at = &block[HeaderAreaSize];
        for (char16_t c : StoredName) {
            PutU16(at, c);
            at += 2;
        }
        PutU16(at, 0);
    }

    const std::uint64_t offset = i * Layout.DataPerBlock;
    const auto count = static_cast<std::size_t>(std::min(Layout.DataPerBlock, Size - offset));
    // Without the code the data fill pages 1 .. B-1 as they are.
    std::uint8_t* target = Layout.Correction ? data.data() : &block[pageSize];
    if (Layout.Correction)
        std::fill(data.begin(), data.end(), 0xFF); // bytes past the file's end
    if (count > 0 && !Source->ReadExact(offset, target, count))
        throw std::runtime_error(FormatLangConstant("FileNotReadStr", Name));
    if (!Layout.Correction)
        return;
    for (std::uint32_t p = 1; p < g.PagesPerBlock; ++p)
        for (std::uint32_t s = 0; s < Layout.SlotsPerPage; ++s) {
            const std::size_t from = (p - 1) * std::size_t{Layout.DataPerPage} + s * RsDataSize;
            const std::size_t to = p * pageSize + s * RsSlotSize;
            RsEncodeBlock(std::span<const std::uint8_t, RsDataSize>(&data[from], RsDataSize),
                          std::span<std::uint8_t, RsCodewordSize>(&block[to], RsCodewordSize));
        }
}

} // namespace

// --- Page encoder -------------------------------------------------------------------------

TUploadPageEncoder::TUploadPageEncoder(const TFlashGeometry& geometry, std::uint8_t type,
                                       std::uint8_t param, std::uint32_t rateHz)
    : PageSize(geometry.PageSize), PagesPerBlock(geometry.PagesPerBlock), Type(type), Param(param) {
    if (!IsUploadable(type, param))
        throw EUploadRefused(LangText("UnsuppAudioFmtStr"));
    if (type == CompressULaw) {
        CompandBlockSamples = CompandSamplesPerBlock(rateHz);
        if (CompandBlockSamples == 0)
            throw EUploadRefused(LangText("UnsuppAudioFmtStr"));
    }
}

bool TUploadPageEncoder::IsUploadable(std::uint8_t type, std::uint8_t param) {
    switch (type) {
    case CompressNone:
        return true;
    case CompressULaw:
        return param <= CompandMaxExponent;
    case CompressAdpcm:
        return param == AdpcmParam2Bit || param == 2;
    default:
        return false;
    }
}

std::uint32_t TUploadPageEncoder::SoundBytes(bool firstPageOfBlock) const {
    return PageSize - PageInfoSize - (firstPageOfBlock ? HeaderAreaSize : 0);
}

std::size_t TUploadPageEncoder::SamplesOfPage(bool firstPageOfBlock) const {
    const std::uint32_t bytes = SoundBytes(firstPageOfBlock);
    switch (Type) {
    case CompressNone:
        return bytes / 2;
    case CompressULaw:
        return CompandSamplesIn(bytes, CompandBlockSamples);
    default: {
        const std::uint32_t codeBytes = bytes - AdpcmPlainSampleSize;
        return std::size_t{codeBytes} * (Param == AdpcmParam2Bit ? 4 : 2);
    }
    }
}

std::uint64_t TUploadPageEncoder::SamplesPerBlock() const {
    return SamplesOfPage(true) + std::uint64_t{PagesPerBlock - 1} * SamplesOfPage(false);
}

std::uint64_t TUploadPageEncoder::BlocksFor(std::uint64_t samples) const {
    const std::uint64_t perBlock = SamplesPerBlock();
    return (samples + perBlock - 1) / perBlock;
}

void TUploadPageEncoder::EncodePage(std::span<const std::int16_t> samples, bool firstPageOfBlock,
                                    bool soundEnds, std::uint8_t* page) const {
    const std::size_t capacity = SamplesOfPage(firstPageOfBlock);
    samples = samples.first(std::min(samples.size(), capacity));
    std::uint8_t* sound = page + (firstPageOfBlock ? HeaderAreaSize : 0);
    const std::span<std::uint8_t> area(sound, SoundBytes(firstPageOfBlock));
    switch (Type) {
    case CompressNone:
        for (std::size_t i = 0; i < samples.size(); ++i)
            PutI16(sound + 2 * i, samples[i]);
        break;
    case CompressULaw: {
        const TCodecRun run = CompandEncodePage(samples, Param, CompandBlockSamples, area);
        if (run.Consumed != samples.size())
            throw std::logic_error("companded page took an unexpected number of samples");
        break;
    }
    default: {
        // The missing end of the source is taken as silence.
        std::vector<std::int16_t> padded(samples.begin(), samples.end());
        padded.resize(capacity, 0);
        PutI16(sound, padded.empty() ? 0 : padded[0]);
        TAdpcmState state; // every page starts from 0
        const auto codes = area.subspan(AdpcmPlainSampleSize);
        if (Param == AdpcmParam2Bit)
            Adpcm2EncodeRun(padded, state, codes);
        else
            ImaAdpcmEncode4Run(padded, state, codes);
        break;
    }
    }
    if (!soundEnds)
        PutU16(page + PageSize - PageInfoSize, ContinuousPageInfo);
}

// --- Drive-file layout --------------------------------------------------------------------

TDriveFileLayout TDriveFileLayout::For(const TFlashGeometry& g, std::uint32_t modelClass) {
    TDriveFileLayout layout;
    layout.Correction = modelClass != 2;
    layout.SlotsPerPage = layout.Correction ? g.PageSize / RsSlotSize : 0;
    layout.DataPerPage = layout.Correction
                             ? layout.SlotsPerPage * static_cast<std::uint32_t>(RsDataSize)
                             : g.PageSize;
    layout.DataPerBlock = std::uint64_t{layout.DataPerPage} * (g.PagesPerBlock - 1u);
    const std::uint32_t nameBytes =
        std::min<std::uint32_t>(layout.DataPerPage, g.PageSize - PageInfoSize) - HeaderAreaSize;
    layout.MaxNameChars = nameBytes / 2 - 1;
    return layout;
}

std::string TRecorder::DriveUploadRefusal(const std::string& name, std::uint64_t size,
                                          int replacedIndex) const {
    if (!HasValidGeometry())
        return LangText("MemoryNotKnownStr");
    if (size > MaxDriveFileSize)
        return FormatLangConstant("FileOver4GiBStr", name);
    const TDriveFileLayout layout = TDriveFileLayout::For(Geometry(), ModelClass);
    // An empty file or a folder entry takes one block for its header and name: stored in
    // none, it would not be on the recorder at all (and a folder's files would be out of
    // sight, since the drive view shows a folder only by its entry).
    const std::uint64_t needed = std::max<std::uint64_t>(layout.BlocksFor(size), 1);
    auto free = static_cast<std::uint64_t>(FreeBlocks().Count());
    if (replacedIndex >= 0 && replacedIndex < DriveFiles.Count())
        free += static_cast<std::uint64_t>(DriveFiles.Get(replacedIndex)->Blocks.Count());
    if (needed > free)
        return NotEnoughSpace(needed, free);
    if (needed > 0xFFFF)
        return FormatLangConstant("FileTooLargeStr", name);
    return {};
}

std::uint64_t TDriveFileLayout::BlocksFor(std::uint64_t fileSize) const {
    return DataPerBlock == 0 ? 0 : (fileSize + DataPerBlock - 1) / DataPerBlock;
}

// --- Headers ------------------------------------------------------------------------------

TBlockHeader MakeUploadHeader(std::uint16_t number, std::uint32_t blockTime, std::uint16_t index,
                              std::uint8_t type, std::uint8_t param, std::uint8_t rateCode) {
    TBlockHeader h; // bytes 15-17 stay 0xFF: nothing reads them
    h.SetU16(0, number);
    h.SetU32(2, blockTime);
    h.SetU16(6, index);
    h.SetByte(8, type);
    h.SetByte(9, param);
    h.SetByte(10, rateCode);
    h.SetByte(11, UploadedStatusBits);
    h.SetByte(12, 0); // not cyclic
    h.SetByte(13, 0); // no first-block data
    h.SetByte(14, 0); // mono, for the models that read a channel mode
    h.UpdateCrc();
    return h;
}

TBlockHeader MakeDriveFileHeader(std::uint16_t number, std::uint32_t time, std::uint32_t size,
                                 std::uint16_t index, bool folder) {
    TBlockHeader h; // bytes 14-17 stay 0xFF
    h.SetU16(0, static_cast<std::uint16_t>(DriveFileFlag | number));
    h.SetU32(2, time);
    h.SetU32(6, size);
    h.SetU16(10, index);
    h.SetByte(12, folder ? 1 : 0);
    h.SetByte(13, 0);
    h.UpdateCrc();
    return h;
}

// --- Operations ---------------------------------------------------------------------------

void TRecorder::WriteSoundFile(std::uint16_t number, TWaveFile& source, TSystemTime time) {
    const std::uint32_t unixTime = SystemTimeToUnixTime(time);
    WriteDebugLog("Starting WriteSoundFile thread");
    StartOperation(StateRunning, "WriteSFThread", [this, &source, number, unixTime] {
        RefuseWritesToReadOnlyImage(CmdFlashWrite);
        TSoundUpload(*this, source, number, unixTime).Run();
    });
}

void TRecorder::WriteDriveFile(const std::string& name, TPosixFile* source, TSystemTime time) {
    const std::uint32_t unixTime = SystemTimeToUnixTime(time);
    WriteDebugLog("Starting WriteDriveFile thread");
    StartOperation(StateRunning, "WriteDFThread", [this, name, source, unixTime] {
        RefuseWritesToReadOnlyImage(CmdFlashWrite);
        TDriveUpload(*this, name, source, unixTime).Run();
    });
}
