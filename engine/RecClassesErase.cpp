#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/RecClasses.h"
#include "engine/RecClassesJournal.h"
#include "engine/RecClassesUtils.h"
#include "i18n/VexaLang.h"
#include "link/DebugLog.h"
#include "link/ImageFile.h"

// Erasing a recording or a flash-drive file, formatting the recording area, and rewriting a
// recording's status bits in place.

namespace {

constexpr int StatusChangeAttempts = 5;

bool IsStatusByte(std::uint8_t status) {
    return status == StatusNotDownloaded || status == StatusDownloaded || status == StatusUploaded;
}

[[noreturn]] void NoGeometry(std::uint8_t command) {
    throw TERecXchange(LangText("FlashGeometryBadStr"), command, RecErrInSize);
}

// The content changed as soon as one block was erased, however the operation ends.
class TModifiedOnExit {
public:
    explicit TModifiedOnExit(TRecorder& recorder) : Recorder(recorder) {}
    ~TModifiedOnExit() { Recorder.SetModified(); }
    TModifiedOnExit(const TModifiedOnExit&) = delete;
    TModifiedOnExit& operator=(const TModifiedOnExit&) = delete;

private:
    TRecorder& Recorder;
};

// One block to erase with the header the scan found in it.
struct TEraseBlock {
    std::uint16_t Block = 0;
    TBlockHeader Header;
};

// What EraseThread works on: a copy taken on the caller's thread, so the thread never reads
// the lists, which only a scan may change.
struct TEraseJob {
    std::string What; // for the log: "sound file 5", "drive file 3"
    std::vector<TEraseBlock> Blocks;
};

TEraseJob MakeEraseJob(std::string what, const TBlockList& blocks) {
    TEraseJob job{std::move(what), {}};
    job.Blocks.reserve(blocks.Entries().size());
    for (const TBlockEntry& entry : blocks.Entries())
        job.Blocks.push_back({entry.Block, entry.Header});
    return job;
}

// The voted header of a block as the flash holds it now.
TBlockHeader ReadHeaderOnFlash(TRecorder& recorder, std::uint32_t block) {
    std::uint8_t area[HeaderAreaSize];
    recorder.FlashRead(area, block * recorder.Geometry().PagesPerBlock, 1, 1, HeaderAreaSize, 0);
    std::uint8_t voted[TBlockHeader::Size];
    VoteTripleCopy(area, voted, TBlockHeader::Size);
    return TBlockHeader::FromBytes(voted);
}

// The block still holds the file the scan found there: same number, same time.
bool StillHoldsTheFile(const TBlockHeader& now, const TBlockHeader& scanned) {
    return now.IsValid() && !now.IsEmpty() && now.FileNumber() == scanned.FileNumber() &&
           now.Time() == scanned.Time();
}

// Every block must lie in the recording area: nothing below FirstRecBlock is ever erased.
void CheckEraseBlocks(const TRecorder& recorder, const TEraseJob& job) {
    if (!recorder.HasValidGeometry())
        NoGeometry(CmdEraseBlock);
    const TFlashGeometry& g = recorder.Geometry();
    for (const TEraseBlock& b : job.Blocks)
        if (b.Block < g.FirstRecBlock || b.Block >= g.TotalBlocks())
            throw std::out_of_range(FormatLangConstant("EraseOutsideAreaStr", b.Block));
}

// Erases the job's blocks in list order. A cancel ends the erase between two blocks. A
// block that no longer holds the file (the content changed since the scan) is left alone,
// and the erase then ends as failed after the other blocks.
void RunEraseThread(TRecorder& recorder, const TEraseJob& job) {
    recorder.RefuseWritesToReadOnlyImage(CmdEraseBlock);
    CheckEraseBlocks(recorder, job);
    TModifiedOnExit modified(recorder);
    WriteDebugLogF("Erasing %s: %zu blocks", job.What.c_str(), job.Blocks.size());
    TDebugLogNesting nesting;
    std::vector<std::uint16_t> leftAlone;
    const std::size_t count = job.Blocks.size();
    for (std::size_t j = 0; j < count; ++j) {
        if (recorder.IsCancelRequested()) {
            WriteDebugLogF("Erase cancelled after %zu of %zu blocks", j, count);
            return;
        }
        const TEraseBlock& b = job.Blocks[j];
        const TBlockHeader now = ReadHeaderOnFlash(recorder, b.Block);
        if (now.IsEmpty() || StillHoldsTheFile(now, b.Header)) {
            recorder.FlashEraseBlock(b.Block);
        } else {
            WriteDebugLogF("ERROR: Block %u no longer belongs to %s; left as it is", b.Block,
                           job.What.c_str());
            leftAlone.push_back(b.Block);
        }
        recorder.SetProgress(j + 1, count);
    }
    if (count == 0)
        recorder.SetProgress(std::uint8_t{100});
    if (!leftAlone.empty())
        throw std::runtime_error(FormatLangConstant("EraseBlocksLeftStr", leftAlone.size()));
}

// Erases every block of the recording area; the blocks below FirstRecBlock are the
// recorder's own. A cancel stops the format after the block being erased.
void RunFormatThread(TRecorder& recorder) {
    recorder.RefuseWritesToReadOnlyImage(CmdEraseBlock);
    TModifiedOnExit modified(recorder);
    if (!recorder.HasValidGeometry())
        NoGeometry(CmdEraseBlock);
    const TFlashGeometry& g = recorder.Geometry();
    const std::uint32_t total = g.TotalBlocks();
    WriteDebugLogF("Formatting blocks %u to %u", unsigned{g.FirstRecBlock}, total - 1);
    for (std::uint32_t b = g.FirstRecBlock; b < total; ++b) {
        recorder.FlashEraseBlock(b);
        recorder.SetProgress(b, total);
        if (recorder.IsCancelRequested()) {
            WriteDebugLogF("Format cancelled after block %u", b);
            break;
        }
    }
}

// Rewrites the status bits of a recording's first block. The first physical block (the
// pages that command 16 erases) is read once into memory; every later attempt erases and
// writes it again from there, so a failed write never makes us read back a damaged block.
// Every page written is read back, and the recording's cached header and status change only
// once the flash verifiably holds the new header.
class TFirstBlockRewrite {
public:
    TFirstBlockRewrite(TRecorder& recorder, TSoundFileInfo& recording, std::uint8_t status);
    void Run();

private:
    enum class TFailure { None, HeaderMismatch, Verify, Exchange };

    bool ReadIntoMemory();
    void PutNewHeader();
    void KeepCopy();
    bool RewriteAndVerify();
    void Commit();
    [[noreturn]] void Fail();

    TRecorder& Recorder;
    TSoundFileInfo& Recording;
    const std::uint8_t Status;
    std::uint32_t FirstPage = 0;
    std::uint32_t PhysicalBlock = 0;
    std::uint32_t Pages = 0;
    std::uint16_t PageSize = 0;
    std::vector<std::uint8_t> Block;
    std::vector<std::uint8_t> Original; // the block as read, before the new header
    std::vector<std::uint8_t> ReadBack;
    TBlockHeader NewHeader;
    std::string JournalPath; // the copy on disk, empty while none is kept
    TFailure LastFailure = TFailure::None;
    std::optional<TERecXchange> LastExchangeError;
    bool EraseSent = false;
};

TFirstBlockRewrite::TFirstBlockRewrite(TRecorder& recorder, TSoundFileInfo& recording,
                                       std::uint8_t status)
    : Recorder(recorder), Recording(recording), Status(status) {
    if (!recorder.HasValidGeometry())
        NoGeometry(CmdFlashRead);
    const TFlashGeometry& g = recorder.Geometry();
    const std::uint32_t first = recording.Blocks.Count() > 0 ? recording.Blocks.Get(0).Block : 0;
    if (recording.Blocks.Count() == 0 || first < g.FirstRecBlock || first >= g.TotalBlocks())
        throw std::out_of_range(FormatLangConstant("RecordingBlocksBadStr", recording.Number));
    Pages = g.PagesPerTransfer;
    PageSize = g.PageSize;
    FirstPage = first * g.PagesPerBlock;
    PhysicalBlock = first * (g.PagesPerBlock / g.PagesPerTransfer);
    Block.assign(std::size_t{Pages} * PageSize, 0);
    ReadBack.assign(Block.size(), 0);
}

void TFirstBlockRewrite::Run() {
    WriteDebugLogF("Changing status of sound file %u",
                   unsigned{Recording.FirstHeader.FileNumber()});
    bool done = false;
    {
        TDebugLogNesting nesting;
        bool inMemory = false;
        for (int attempt = 0; attempt < StatusChangeAttempts && !done; ++attempt) {
            if (!inMemory) {
                // Nothing is written yet: a failed read reaches the caller as it is.
                if (!ReadIntoMemory()) {
                    WriteDebugLog("ERROR: Header mismatch.");
                    LastFailure = TFailure::HeaderMismatch;
                    continue;
                }
                inMemory = true;
                PutNewHeader();
                KeepCopy();
            }
            done = RewriteAndVerify();
        }
    }
    if (!done)
        Fail();
    // The block verifies: its copy has done its work. A copy that cannot be removed is found
    // again at the next connection, where the block matches it with the new header.
    if (!RemoveBlockJournal(JournalPath))
        WriteDebugLog("ERROR: cannot remove the copy " + JournalPath);
    Commit();
}

bool TFirstBlockRewrite::ReadIntoMemory() {
    WriteDebugLog("Reading first block");
    Recorder.FlashRead(Block.data(), FirstPage, Pages, 1, PageSize, 0);
    Original = Block;
    std::uint8_t voted[TBlockHeader::Size];
    VoteTripleCopy(Block.data(), voted, TBlockHeader::Size);
    NewHeader = TBlockHeader::FromBytes(voted);
    return NewHeader == Recording.FirstHeader;
}

void TFirstBlockRewrite::PutNewHeader() {
    NewHeader.SetStatus(Status);
    NewHeader.UpdateCrc();
    MakeTripleCopy(Block.data(), NewHeader.Raw().data(), TBlockHeader::Size);
}

// The erase must never take the only copy of the block: it goes to disk first.
void TFirstBlockRewrite::KeepCopy() {
    TBlockJournal journal;
    journal.RecorderKey = Recorder.StatusJournalKey();
    journal.Block = Recording.Blocks.Get(0).Block;
    journal.PhysicalBlock = PhysicalBlock;
    journal.FirstPage = FirstPage;
    journal.Pages = Pages;
    journal.PageSize = PageSize;
    journal.OldHeader = Recording.FirstHeader;
    journal.NewHeader = NewHeader;
    journal.Bytes = Original;
    std::string whyNot;
    if (!WriteBlockJournal(journal, whyNot)) {
        WriteDebugLog("ERROR: cannot keep a copy of the first block: " + whyNot);
        throw TERecXchange(FormatLangConstant("StatusCopyFailedStr", Recording.Number, whyNot),
                           CmdEraseBlockPhy, RecErrIo);
    }
    JournalPath = BlockJournalPath(journal.RecorderKey, journal.Block);
    WriteDebugLog("Copy of the first block kept in " + JournalPath);
}

bool TFirstBlockRewrite::RewriteAndVerify() {
    WriteDebugLog("Rewriting first physical block");
    try {
        EraseSent = true;
        std::uint8_t reply[TBlockNumberRecord::Size] = {};
        Recorder.Exchange(CmdEraseBlockPhy, TBlockNumberRecord{PhysicalBlock}.ToBytes().data(),
                          TBlockNumberRecord::Size, reply, TBlockNumberRecord::Size,
                          EraseBlockPhyTimeoutMs);
        Recorder.FlashWritePages(Block.data(), FirstPage, Pages);
        WriteDebugLog("Verify first physical block");
        Recorder.FlashRead(ReadBack.data(), FirstPage, Pages, 1, PageSize, 0);
    } catch (const TERecXchange& error) {
        // The block may be erased now: it is written again from memory, never read back.
        WriteDebugLogF("ERROR: Rewrite failed: command %d, error code %d", error.Command(),
                       error.ErrorCode());
        LastFailure = TFailure::Exchange;
        LastExchangeError = error;
        return false;
    }
    for (std::uint32_t page = 0; page < Pages; ++page) {
        const std::size_t offset = std::size_t{page} * PageSize;
        if (std::memcmp(&Block[offset], &ReadBack[offset], PageSize) != 0) {
            WriteDebugLog("ERROR: Verify failed.");
            WriteDebugLogF("Page %u of the block reads back differently", page);
            LastFailure = TFailure::Verify;
            return false;
        }
    }
    WriteDebugLog("OK");
    return true;
}

void TFirstBlockRewrite::Commit() {
    Recording.FirstHeader = NewHeader;
    Recording.Blocks.Get(0).Header = NewHeader;
    Recording.Status = Status;
    if (Recording.VoiceParts != nullptr) {
        for (int i = 0; i < Recording.VoiceParts->Count(); ++i) {
            TSoundFileInfo* part = Recording.VoiceParts->Get(i);
            part->FirstHeader = NewHeader;
            part->Status = Status;
        }
    }
}

void TFirstBlockRewrite::Fail() {
    WriteDebugLog("FAILED!!!");
    // The flash may no longer match the lists: the main window reads them again.
    if (EraseSent)
        Recorder.SetModified();
    // After an erase the flash may hold nothing of the block; its copy stays on disk.
    if (EraseSent) {
        const int command =
            LastFailure == TFailure::Exchange ? LastExchangeError->Command() : int{CmdFlashWrite};
        const int code =
            LastFailure == TFailure::Exchange ? LastExchangeError->ErrorCode() : int{RecErrIo};
        throw TERecXchange(FormatLangConstant("StatusBlockKeptStr", Recording.Number), command,
                           code);
    }
    switch (LastFailure) {
    case TFailure::Exchange:
        throw *LastExchangeError;
    case TFailure::HeaderMismatch:
        throw TERecXchange(FormatLangConstant("StatusHeaderChangedStr", Recording.Number),
                           CmdFlashRead, RecErrIo);
    default:
        throw TERecXchange(FormatLangConstant("StatusVerifyFailedStr", Recording.Number),
                           CmdFlashWrite, RecErrIo);
    }
}

// Puts a first physical block back as its kept copy holds it, when a status change was cut
// off between the erase and the verified rewrite.
class TFirstBlockRestore {
public:
    TFirstBlockRestore(TRecorder& recorder, std::string path, TBlockJournal journal)
        : Recorder(recorder), Path(std::move(path)), Journal(std::move(journal)) {}
    void Run();

private:
    bool FitsTheGeometry() const;
    bool WriteBack();

    TRecorder& Recorder;
    std::string Path;
    TBlockJournal Journal;
};

bool TFirstBlockRestore::FitsTheGeometry() const {
    const TFlashGeometry& g = Recorder.Geometry();
    return Journal.Pages == g.PagesPerTransfer && Journal.PageSize == g.PageSize &&
           Journal.Block >= g.FirstRecBlock && Journal.Block < g.TotalBlocks() &&
           Journal.FirstPage == Journal.Block * g.PagesPerBlock &&
           Journal.PhysicalBlock == Journal.Block * (g.PagesPerBlock / g.PagesPerTransfer);
}

void TFirstBlockRestore::Run() {
    if (!FitsTheGeometry()) {
        WriteDebugLog("ERROR: the copy " + Path + " does not fit this recorder; left as it is");
        return;
    }
    std::vector<std::uint8_t> now(Journal.Bytes.size());
    Recorder.FlashRead(now.data(), Journal.FirstPage, Journal.Pages, 1,
                       static_cast<std::uint16_t>(Journal.PageSize), 0);
    std::vector<std::uint8_t> changed = Journal.Bytes;
    MakeTripleCopy(changed.data(), Journal.NewHeader.Raw().data(), TBlockHeader::Size);
    if (now == Journal.Bytes || now == changed) {
        // The change never began its erase, or ended before its copy went.
        WriteDebugLogF("The first block of sound file %u is whole; its copy goes",
                       unsigned{Journal.OldHeader.FileNumber()});
        RemoveBlockJournal(Path);
        return;
    }
    std::uint8_t voted[TBlockHeader::Size];
    VoteTripleCopy(now.data(), voted, TBlockHeader::Size);
    const TBlockHeader header = TBlockHeader::FromBytes(voted);
    if (header.IsValid() && !header.IsEmpty() && header != Journal.OldHeader &&
        header != Journal.NewHeader) {
        // Another file lives there now: what the copy holds was given up on the recorder.
        WriteDebugLog("ERROR: block " + std::to_string(Journal.Block) +
                      " holds another file now; the copy " + Path + " is not written back");
        return;
    }
    if (!WriteBack())
        return;
    RemoveBlockJournal(Path);
    Recorder.SetModified();
    Recorder.Ui().ShowMessage(
        FormatLangConstant("StatusBlockRestoredStr", Journal.OldHeader.FileNumber()));
}

bool TFirstBlockRestore::WriteBack() {
    WriteDebugLogF("Writing back the first block of sound file %u from its copy",
                   unsigned{Journal.OldHeader.FileNumber()});
    TDebugLogNesting nesting;
    std::vector<std::uint8_t> readBack(Journal.Bytes.size());
    for (int attempt = 0; attempt < StatusChangeAttempts; ++attempt) {
        try {
            std::uint8_t reply[TBlockNumberRecord::Size] = {};
            Recorder.Exchange(
                CmdEraseBlockPhy, TBlockNumberRecord{Journal.PhysicalBlock}.ToBytes().data(),
                TBlockNumberRecord::Size, reply, TBlockNumberRecord::Size, EraseBlockPhyTimeoutMs);
            Recorder.FlashWritePages(Journal.Bytes.data(), Journal.FirstPage, Journal.Pages);
            Recorder.FlashRead(readBack.data(), Journal.FirstPage, Journal.Pages, 1,
                               static_cast<std::uint16_t>(Journal.PageSize), 0);
        } catch (const TERecXchange& error) {
            WriteDebugLogF("ERROR: Write-back failed: command %d, error code %d", error.Command(),
                           error.ErrorCode());
            continue;
        }
        if (readBack == Journal.Bytes) {
            WriteDebugLog("OK");
            return true;
        }
        WriteDebugLog("ERROR: Verify failed.");
    }
    // The copy stays for the next connection.
    WriteDebugLog("FAILED!!!");
    Recorder.SetModified();
    return false;
}

} // namespace

std::string TRecorder::StatusJournalKey() const {
    if (!IsImageConnection(ConnectionKind))
        return SerialNumber;
    std::error_code error;
    const std::filesystem::path image = std::filesystem::absolute(ImageFileName, error);
    return SerialNumber + "|" + (error ? ImageFileName : image.lexically_normal().string());
}

void TRecorder::RestoreInterruptedStatusChanges() {
    // An image that may not be written keeps its copies until it may.
    if (!GeometryValid || (IsImageConnection(ConnectionKind) && ImageFileIsReadOnly()))
        return;
    const std::string key = StatusJournalKey();
    for (const std::string& path : BlockJournalsOf(key)) {
        std::optional<TBlockJournal> journal = ReadBlockJournal(path);
        if (!journal || journal->RecorderKey != key) {
            WriteDebugLog("ERROR: " + path + " is no whole copy of a block; left as it is");
            continue;
        }
        try {
            TFirstBlockRestore(*this, path, std::move(*journal)).Run();
        } catch (const TERecXchange& error) {
            // The copy stays; the next Refresh tries again.
            WriteDebugLog("ERROR: cannot check the block of " + path + ": " + error.MessageUtf8());
        }
    }
}

void TRecorder::ChangeSoundFileStatus(std::uint16_t number, std::uint8_t status) {
    if (GetState() != StateIdle)
        throw ERecorderBusy();
    if (!IsStatusByte(status))
        throw std::invalid_argument("status " + std::to_string(status) +
                                    " is none of 0x55, 0xAA and 0xFF");
    TSoundFileInfo* recording = SoundFiles.ByNumber(number);
    if (recording == nullptr)
        throw std::invalid_argument(FormatLangConstant("RecordingNotFoundStr", number));
    if (recording->Status == status)
        return;
    RefuseWritesToReadOnlyImage(CmdEraseBlockPhy);
    TFirstBlockRewrite(*this, *recording, status).Run();
}

void TRecorder::EraseSoundFile(std::uint16_t number) {
    if (GetState() != StateIdle)
        throw ERecorderBusy();
    const TSoundFileInfo* recording = SoundFiles.ByNumber(number);
    if (recording == nullptr) {
        StartOperation(StateErasing, "EraseThread", [number] {
            throw std::invalid_argument(FormatLangConstant("RecordingNotFoundStr", number));
        });
        return;
    }
    StartOperation(StateErasing, "EraseThread",
                   [this, job = MakeEraseJob("sound file " + std::to_string(number),
                                             recording->Blocks)] { RunEraseThread(*this, job); });
}

void TRecorder::EraseDriveFile(int index) {
    if (GetState() != StateIdle)
        throw ERecorderBusy();
    if (index < 0 || index >= DriveFiles.Count()) {
        StartOperation(StateErasing, "EraseThread",
                       [index] { throw std::invalid_argument(LangText("DriveFileNotFoundStr")); });
        return;
    }
    const TDriveFileInfo& file = *DriveFiles.Get(index);
    StartOperation(StateErasing, "EraseThread",
                   [this, job = MakeEraseJob("drive file " + std::to_string(file.Number),
                                             file.Blocks)] { RunEraseThread(*this, job); });
}

void TRecorder::FormatMemory() {
    StartOperation(
        StateFormatting, "FormatThread", [this] { RunFormatThread(*this); },
        /*setModified=*/false);
}
