#include "link/ImageFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "link/Crc16.h"
#include "link/DebugLog.h"
#include "link/RecXchange.h"
#include "platform/ByteOrder.h"
#include "platform/PosixFile.h"
#include "platform/SystemTime.h"

namespace {

// Magic search: windows of 16384 bytes, 16380 apart so that a magic across a window edge is
// still found, up to 120 block sizes into the file.
constexpr std::size_t MagicWindow = 16384;
constexpr std::size_t MagicStep = MagicWindow - 4;
constexpr std::uint64_t MagicSearchBlocks = 120;
constexpr std::size_t TablePageBytes = 512;
constexpr std::size_t TableEntriesPerPage = TablePageBytes / 2;
constexpr std::size_t ProfileCount = 8;
constexpr std::size_t ProfileSize = 37;
constexpr std::size_t ProfileNameOfs = 2;
constexpr std::size_t ProfileNameSize = 8;

struct TImageState {
    std::string Path;
    TImageHeader Header{};
    TFlashInfo Geometry;
    bool GeometryValid = false;
    // Writing the file is refused (no permission, read-only media): it is served for reading
    // only, and every command that would change it fails.
    bool ReadOnly = false;
    TPosixFile File;
};

// The image back end is one module-wide object, as there is one recorder object at a time.
// The lock only makes stray concurrent calls safe; the engine never issues two at once.
std::recursive_mutex ImageLock;
TImageState& State() {
    static TImageState state;
    return state;
}

[[noreturn]] void FailIo(std::uint8_t command) {
    throw TERecXchange("I/O Error", command, RecErrIo);
}

bool WritingRefused(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

bool OpenImageHandle() {
    TImageState& s = State();
    if (s.File.IsOpen())
        return true;
    if (s.File.Open(s.Path, TPosixFile::TMode::ReadWrite, /*writeThrough=*/true)) {
        s.ReadOnly = false;
        return true;
    }
    if (!WritingRefused(errno) || !s.File.Open(s.Path, TPosixFile::TMode::ReadOnly))
        return false;
    if (!s.ReadOnly)
        WriteDebugLog("Image file: writing " + s.Path + " is not permitted; opened read-only");
    s.ReadOnly = true;
    return true;
}

void CloseImageHandle() {
    State().File.Close();
}

// Opens the handle for one operation and closes it on every path out, unless an enclosing
// operation had it open already.
struct THandleScope {
    bool OwnsHandle = !State().File.IsOpen();
    bool Opened = OpenImageHandle();
    ~THandleScope() {
        if (OwnsHandle)
            CloseImageHandle();
    }
};

std::uint32_t FirstStoredBlock(const TImageHeader& h) {
    return GetU32(&h[ImgFirstStoredBlockOfs]);
}

std::uint64_t TableEntryCount(const TFlashInfo& g) {
    return static_cast<std::uint64_t>(g.FlashCount) * g.BlocksPerFlash;
}

std::uint64_t TablePageCount(const TFlashInfo& g) {
    return (TableEntryCount(g) + TableEntriesPerPage - 1) / TableEntriesPerPage;
}

// A geometry we can serve commands from without reading or writing outside the file. Whether
// the block table fits the first stored block matters only to rebuilding it (TableFits).
bool GeometryIsSound(const TFlashInfo& g, std::uint32_t firstStored, std::int64_t fileSize) {
    if (g.PageSize < TablePageBytes || g.PagesPerBlock == 0 || g.PagesPerBlock > 0xFFFF)
        return false;
    if (g.PagesPerTransfer == 0 || g.PagesPerBlock % g.PagesPerTransfer != 0)
        return false;
    if (g.BlockSize != static_cast<std::uint32_t>(g.PageSize) * g.PagesPerBlock)
        return false;
    if (g.DataStart < ImageHeaderSize || fileSize < 0 ||
        static_cast<std::uint64_t>(g.DataStart) + g.BlockSize >
            static_cast<std::uint64_t>(fileSize))
        return false;
    return g.FlashCount != 0 && g.BlocksPerFlash > firstStored &&
           TableEntryCount(g) <= MaxImageBlocks;
}

// Pages 1..n of the first stored block hold the table, page n + 1 its CRC: with 64 pages a
// block, 15,872 blocks at most.
bool TableFits(const TFlashInfo& g) {
    return TablePageCount(g) + 2 <= g.PagesPerBlock;
}

std::int64_t FindMagic(const TPosixFile& file, std::uint32_t blockSize) {
    std::vector<std::uint8_t> window(MagicWindow);
    const std::uint64_t limit = MagicSearchBlocks * blockSize;
    for (std::uint64_t start = 0; start <= limit; start += MagicStep) {
        const std::size_t got = file.ReadAt(ImageHeaderSize + start, window.data(), window.size());
        if (got < ImageMagic.size())
            break;
        const std::size_t lastPos = std::min(got - ImageMagic.size(), MagicStep - 1);
        for (std::size_t pos = 0; pos <= lastPos; ++pos)
            if (std::memcmp(&window[pos], ImageMagic.data(), ImageMagic.size()) == 0)
                return static_cast<std::int64_t>(ImageHeaderSize + start + pos);
        if (got < window.size())
            break;
    }
    return -1;
}

bool ReadHeaderInto(const std::string& path, TImageHeader& header, bool& couldOpen) {
    TPosixFile file;
    couldOpen = file.Open(path, TPosixFile::TMode::ReadOnly);
    if (!couldOpen || !file.ReadExact(0, header.data(), header.size()))
        return false;
    return GetU16(&header[ImgCrcOfs]) == ImageHeaderCrc(header);
}

enum class TProbe {
    Sound,      // commands are served from the file
    NoDataArea, // no magic, or the file ends before the first stored block does
    Unusable,   // a data area whose geometry we cannot serve: the file is left as it is
};

// Finds the data start and the geometry of the file at the state's path.
TProbe ProbeImage() {
    TImageState& s = State();
    s.GeometryValid = false;
    s.Geometry.DataStart = 0xFFFFFFFF;
    TPosixFile file;
    if (!file.Open(s.Path, TPosixFile::TMode::ReadOnly))
        return TProbe::Unusable;
    const std::int64_t fileSize = file.Size();
    TFlashInfo g;
    g.PageSize = GetU16(&s.Header[ImgPageSizeOfs]);
    g.PageDataBytes = g.PageSize;
    g.SpareBytes = 0;
    g.PagesPerBlock = GetU16(&s.Header[ImgPagesPerBlockOfs]);
    g.BlockSize = static_cast<std::uint32_t>(g.PageSize) * g.PagesPerBlock;
    // One transfer covers a whole block: the image has no transfer limit of its own.
    g.PagesPerTransfer = static_cast<std::uint16_t>(g.PagesPerBlock);
    g.FlashCount = 1;
    if (g.BlockSize == 0 || fileSize < 0) {
        WriteDebugLog("Image file: zero page or block size in the header");
        return TProbe::Unusable;
    }
    const std::int64_t magicAt = FindMagic(file, g.BlockSize);
    if (magicAt < 0) {
        WriteDebugLog("Image file: data start not found");
        return TProbe::NoDataArea;
    }
    g.DataStart = static_cast<std::uint32_t>(magicAt);
    if (static_cast<std::uint64_t>(magicAt) + g.BlockSize > static_cast<std::uint64_t>(fileSize)) {
        WriteDebugLog("Image file: the file ends inside its first stored block");
        return TProbe::NoDataArea;
    }
    const std::uint32_t firstStored = FirstStoredBlock(s.Header);
    const std::uint64_t blocks =
        (static_cast<std::uint64_t>(fileSize) - g.DataStart) / g.BlockSize + firstStored;
    g.BlocksPerFlash = static_cast<std::uint32_t>(std::min<std::uint64_t>(blocks, 0xFFFFFFFFu));
    s.Geometry = g;
    if (!GeometryIsSound(g, firstStored, fileSize)) {
        WriteDebugLog("Image file: geometry in the header does not fit the file");
        return TProbe::Unusable;
    }
    s.GeometryValid = true;
    return TProbe::Sound;
}

bool ProbeGeometry() {
    return ProbeImage() == TProbe::Sound;
}

void PutProfileName(TImageHeader& h, std::size_t profile) {
    const std::string name = "Profile" + std::to_string(profile + 1);
    std::uint8_t* field = &h[ImgSettingsOfs + ProfileSize * profile + ProfileNameOfs];
    std::memset(field, 0, ProfileNameSize);
    std::memcpy(field, name.data(), std::min(name.size(), ProfileNameSize));
}

TImageHeader NewImageHeader() {
    TImageHeader h;
    h.fill(0xFF);
    PutU16(&h[ImgPageSizeOfs], DefaultImagePageSize);
    PutU16(&h[ImgPagesPerBlockOfs], DefaultImagePagesPerBlock);
    PutU32(&h[ImgFirstStoredBlockOfs], 0);
    PutU16(&h[ImgFirstRecBlockOfs], 1);
    PutU16(&h[ImgTableVersionOfs], 10);
    FillDefaultImageSettings(h);
    h[ImgWriteMarkOfs] = 0xFF;
    PutU16(&h[ImgCrcOfs], ImageHeaderCrc(h));
    return h;
}

// Writes a blank image of the default geometry beside the path and renames it over the path,
// so that a user's file is replaced only by a complete new one.
bool CreateBlankImage(const std::string& path) {
    const std::string temp = MakeTemporaryName(path);
    TPosixFile file;
    if (!file.Open(temp, TPosixFile::TMode::CreateTemporary)) {
        WriteDebugLog("Image file: cannot create " + temp);
        return false;
    }
    const TImageHeader header = NewImageHeader();
    std::vector<std::uint8_t> filler(DefaultImagePageSize - ImageHeaderSize, 0);
    const std::uint32_t blockSize = std::uint32_t{DefaultImagePageSize} * DefaultImagePagesPerBlock;
    std::vector<std::uint8_t> block(blockSize, 0xFF);
    bool ok = file.WriteExact(0, header.data(), header.size()) &&
              file.WriteExact(ImageHeaderSize, filler.data(), filler.size());
    for (std::uint32_t b = 0; ok && b < DefaultImageBlocks; ++b)
        ok = file.WriteExact(DefaultImagePageSize + std::uint64_t{b} * blockSize, block.data(),
                             block.size());
    ok = ok && file.WriteExact(DefaultImagePageSize, ImageMagic.data(), ImageMagic.size());
    ok = ok && file.Sync() && file.Publish();
    file.Close();
    if (!ok || !CommitFiles({{temp, path}})) {
        RemoveFile(temp);
        WriteDebugLog("Image file: cannot write a new image " + path);
        return false;
    }
    State().Header = header;
    return true;
}

std::uint64_t FileOffsetOfPage(const TFlashInfo& g, std::uint64_t page, std::uint64_t firstPage) {
    return g.DataStart + (page - firstPage) * g.PageSize;
}

bool FillWithFF(TPosixFile& file, std::uint64_t offset, std::uint64_t length) {
    static const std::vector<std::uint8_t> ones(1 << 16, 0xFF);
    while (length > 0) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(length, ones.size()));
        if (!file.WriteExact(offset, ones.data(), n))
            return false;
        offset += n;
        length -= n;
    }
    return true;
}

// Expected reply sizes, which the image checks as the adapter does; -1 for the commands the
// image does not answer (its settings travel in the header, not through PROF and ACTIVE_PROF).
std::int64_t ReplySize(std::uint8_t command) {
    if (command == CmdFlashRead || command == CmdFlashWrite)
        return 0;
    if (command == CmdProf || command == CmdActiveProf)
        return -1;
    return FramedReplySize(command);
}

void Reply(void* in, const std::uint8_t* bytes, std::size_t size) {
    if (in != nullptr)
        std::memcpy(in, bytes, size);
}

class TImageCommand {
public:
    TImageCommand(std::uint8_t command, const void* out, std::uint32_t outSize, void* in)
        : Command(command), Out(static_cast<const std::uint8_t*>(out)), OutSize(outSize), In(in),
          S(State()) {}

    void Run() {
        switch (Command) {
        case CmdRtc:
            return Rtc();
        case CmdFlashRead:
            return FlashRead();
        case CmdFlashWrite:
            return FlashWrite();
        case CmdEraseBlock:
            return EraseBlock();
        case CmdEraseBlockPhy:
            return EraseBlockPhy();
        case CmdPwVolt:
            return Reply(In, TPwVoltRecord{4200}.ToBytes().data(), TPwVoltRecord::Size);
        case CmdFwVer:
            return Reply(In, TFwVerRecord{0x010A, 0x0101}.ToBytes().data(), TFwVerRecord::Size);
        case CmdProdParam: {
            TProdParamRecord r;
            r.SerialNumber = 123456789;
            return Reply(In, r.ToBytes().data(), TProdParamRecord::Size);
        }
        case CmdFlashParam:
            return FlashParam();
        case CmdCheckPw:
            return CheckPw();
        case CmdSetDefault:
            return SetDefault();
        case CmdCloseLink:
            return;
        default:
            FailIo(Command);
        }
    }

private:
    void RequireGeometry() const {
        if (!S.GeometryValid)
            FailIo(Command);
    }
    void RequireWritable() const {
        if (S.ReadOnly)
            throw TERecXchange(ImageReadOnlyMessage, Command, RecErrIo);
    }
    void RequireOut(std::size_t size) const {
        if (Out == nullptr || OutSize < size)
            FailIo(Command);
    }
    std::uint64_t FirstStoredPage() const {
        return std::uint64_t{FirstStoredBlock(S.Header)} * S.Geometry.PagesPerBlock;
    }
    std::uint64_t FileSize() const {
        const std::int64_t size = S.File.Size();
        if (size < 0)
            FailIo(Command);
        return static_cast<std::uint64_t>(size);
    }

    void Rtc() {
        TRtcRecord r;
        if (Out != nullptr && OutSize >= 1)
            r.Request = Out[0];
        // Setting the time changes nothing: the image has the computer's clock.
        r.Time = static_cast<std::uint32_t>(LocalUnixSecondsNow());
        Reply(In, r.ToBytes().data(), TRtcRecord::Size);
    }

    void FlashRead() {
        RequireGeometry();
        if (Out == nullptr || OutSize != sizeof(TFlashReadRequest))
            FailIo(Command);
        TFlashReadRequest r;
        std::memcpy(&r, Out, sizeof r);
        const std::uint64_t total = std::uint64_t{r.Cycles} * r.Count;
        if (total > 0 && r.HostBuffer == nullptr)
            FailIo(Command);
        const std::uint64_t fileSize = FileSize();
        const std::uint64_t firstPage = FirstStoredPage();
        for (std::uint32_t i = 0; i < r.Cycles; ++i) {
            const std::uint64_t page = r.PageAddr + std::uint64_t{i} * r.AddrInc;
            std::uint8_t* dest = r.HostBuffer + std::uint64_t{i} * r.Count;
            if (page < firstPage) {
                std::memset(dest, 0xFF, r.Count);
                continue;
            }
            const std::uint64_t offset = FileOffsetOfPage(S.Geometry, page, firstPage) + r.Offset;
            if (offset + r.Count > fileSize || !S.File.ReadExact(offset, dest, r.Count))
                FailIo(Command);
        }
    }

    void FlashWrite() {
        RequireGeometry();
        RequireWritable();
        if (Out == nullptr || OutSize != sizeof(TFlashWriteRequest))
            FailIo(Command);
        TFlashWriteRequest r;
        std::memcpy(&r, Out, sizeof r);
        const std::uint64_t firstPage = FirstStoredPage();
        if (r.PageAddr < firstPage || (r.TotalCount > 0 && r.Data == nullptr))
            FailIo(Command);
        const std::uint64_t offset = FileOffsetOfPage(S.Geometry, r.PageAddr, firstPage);
        if (offset + r.TotalCount > FileSize() || !S.File.WriteExact(offset, r.Data, r.TotalCount))
            FailIo(Command);
    }

    void EraseRange(std::uint64_t offset, std::uint64_t length) {
        if (offset + length > FileSize() || !FillWithFF(S.File, offset, length))
            FailIo(Command);
    }

    void EraseBlock() {
        RequireGeometry();
        RequireWritable();
        RequireOut(TBlockNumberRecord::Size);
        const std::uint32_t block = TBlockNumberRecord::FromBytes(Out).BlockNumber;
        const std::uint32_t first = FirstStoredBlock(S.Header);
        if (block < first)
            return;
        EraseRange(S.Geometry.DataStart + std::uint64_t{block - first} * S.Geometry.BlockSize,
                   S.Geometry.BlockSize);
    }

    // A physical block is one transfer's worth of pages.
    void EraseBlockPhy() {
        RequireGeometry();
        RequireWritable();
        RequireOut(TBlockNumberRecord::Size);
        const std::uint64_t phy = TBlockNumberRecord::FromBytes(Out).BlockNumber;
        const std::uint64_t firstPage = phy * S.Geometry.PagesPerTransfer;
        if (firstPage < FirstStoredPage())
            return;
        EraseRange(FileOffsetOfPage(S.Geometry, firstPage, FirstStoredPage()),
                   std::uint64_t{S.Geometry.PageSize} * S.Geometry.PagesPerTransfer);
    }

    void FlashParam() {
        RequireGeometry();
        const TFlashInfo& g = S.Geometry;
        TFlashParamRecord r;
        // The reply numbers a flash's blocks in 16 bits: 65,536 blocks answer as two flashes
        // of 32,768, which address the same pages.
        std::uint32_t flashes = g.FlashCount;
        std::uint32_t blocks = g.BlocksPerFlash;
        while (blocks > 0xFFFF && blocks % 2 == 0 && flashes * 2 <= 0xFF) {
            flashes *= 2;
            blocks /= 2;
        }
        if (blocks > 0xFFFF)
            FailIo(Command);
        r.FlashCount = static_cast<std::uint8_t>(flashes);
        r.PagesPerBlock = static_cast<std::uint16_t>(g.PagesPerBlock);
        r.BlocksPerFlash = static_cast<std::uint16_t>(blocks);
        r.PageSize = g.PageSize;
        r.FirstRecBlock = GetU16(&S.Header[ImgFirstRecBlockOfs]);
        r.TransferDivisor = static_cast<std::uint16_t>(g.PagesPerBlock / g.PagesPerTransfer);
        Reply(In, r.ToBytes().data(), TFlashParamRecord::Size);
    }

    void CheckPw() {
        TCheckPwRecord request = TCheckPwRecord::FromBytes(Out);
        std::uint8_t* stored = &S.Header[ImgPasswordOfs];
        auto reply = request.ToBytes();
        if (request.Request == RequestSet) {
            std::memcpy(stored, request.Password.data(), TCheckPwRecord::PasswordSize);
        } else if (std::memcmp(stored, request.Password.data(), TCheckPwRecord::PasswordSize) !=
                   0) {
            reply.fill(0);
            // A wrong password must never be answered with the request itself, which an
            // all-zero try would otherwise get.
            if (std::equal(reply.begin() + 1, reply.end(), request.Password.begin()))
                std::fill(reply.begin() + 1, reply.end(), 0xFF);
        }
        Reply(In, reply.data(), reply.size());
    }

    // Restores the default settings in the header, keeping the image's geometry; with 0xFF it
    // also erases every data block. The file is changed in place, never deleted.
    void SetDefault() {
        RequireGeometry();
        RequireWritable();
        RequireOut(TSetDefaultRecord::Size);
        const bool eraseMemory = TSetDefaultRecord::FromBytes(Out).Request == RequestSet;
        FillDefaultImageSettings(S.Header);
        if (!WriteImageHeader())
            FailIo(Command);
        if (!eraseMemory)
            return;
        const std::uint32_t first = FirstStoredBlock(S.Header);
        for (std::uint32_t b = first + 1; b < S.Geometry.BlocksPerFlash; ++b)
            EraseRange(S.Geometry.DataStart + std::uint64_t{b - first} * S.Geometry.BlockSize,
                       S.Geometry.BlockSize);
        if (!RebuildBlockTable())
            FailIo(Command);
    }

    std::uint8_t Command;
    const std::uint8_t* Out;
    std::uint32_t OutSize;
    void* In;
    TImageState& S;
};

void CheckSizes(std::uint8_t command, const void* out, std::uint32_t outSize, void* in,
                std::uint32_t inSize) {
    const std::int64_t replySize = ReplySize(command);
    if (replySize < 0)
        FailIo(command);
    if (command == CmdCheckPw &&
        (outSize != TCheckPwRecord::Size || inSize != TCheckPwRecord::Size || out == nullptr))
        FailIo(command);
    if (command != CmdFlashRead && command != CmdFlashWrite && outSize > MaxFrameData)
        throw TERecXchange(RecErrorMessage(RecErrOutSize), command, RecErrOutSize);
    if (in != nullptr && inSize != replySize)
        throw TERecXchange(RecErrorMessage(RecErrInSize), command, RecErrInSize);
}

} // namespace

std::uint16_t ImageHeaderCrc(const TImageHeader& h) {
    struct TPiece {
        std::size_t Offset, Length;
    };
    static constexpr TPiece Pieces[] = {
        {0, 289}, {289, 1}, {298, 2}, {300, 2}, {302, 2}, {304, 4}, {308, 356}, {664, 1},
        {665, 2}, {675, 2}, {677, 2}, {679, 4}, {683, 4}, {687, 4}, {691, 4},   {695, 4},
    };
    std::uint16_t crc = 0x11EE;
    for (const TPiece& p : Pieces)
        crc = Crc16Update(&h[p.Offset], static_cast<std::uint32_t>(p.Length), crc);
    return crc;
}

void FillDefaultImageSettings(TImageHeader& h) {
    std::fill(h.begin() + ImgSettingsOfs, h.begin() + ImgSettingsOfs + ImgSettingsSize, 0xFF);
    std::fill(h.begin() + ImgSettingsOfs, h.begin() + ImgSettingsOfs + ProfileCount * ProfileSize,
              1);
    for (std::size_t i = 0; i < ProfileCount; ++i)
        PutProfileName(h, i);
}

bool ReadImageHeader() {
    std::lock_guard lock(ImageLock);
    bool couldOpen = false;
    return ReadHeaderInto(State().Path, State().Header, couldOpen);
}

bool WriteImageHeader() {
    std::lock_guard lock(ImageLock);
    TImageState& s = State();
    s.Header[ImgWriteMarkOfs] = 0xFF;
    PutU16(&s.Header[ImgCrcOfs], ImageHeaderCrc(s.Header));
    THandleScope handle;
    return handle.Opened && !s.ReadOnly && s.File.WriteExact(0, s.Header.data(), s.Header.size());
}

bool RebuildBlockTable() {
    std::lock_guard lock(ImageLock);
    TImageState& s = State();
    if (!s.GeometryValid)
        return false;
    THandleScope handle;
    if (!handle.Opened || s.ReadOnly)
        return false;
    const TFlashInfo& g = s.Geometry;
    const std::uint64_t entries = TableEntryCount(g);
    if (!TableFits(g)) {
        // Nothing on the recorder's side reads the table; an image too large for it keeps
        // its first stored block as it is.
        WriteDebugLog("Image file: a block table of " + std::to_string(entries) +
                      " blocks does not fit one block; not rebuilt");
        return true;
    }
    const std::uint64_t pages = TablePageCount(g);
    std::vector<std::uint8_t> table(pages * TablePageBytes, 0xFF);
    for (std::uint64_t p = 0; p < pages; ++p)
        s.File.ReadAt(g.DataStart + (p + 1) * g.PageSize, &table[p * TablePageBytes],
                      TablePageBytes);
    const std::uint32_t first = FirstStoredBlock(s.Header);
    for (std::uint64_t b = first; b < entries; ++b) {
        std::uint8_t head[2];
        if (s.File.ReadExact(g.DataStart + (b - first) * g.BlockSize, head, 2))
            std::memcpy(&table[2 * b], head, 2);
    }
    std::uint16_t crc = Crc16Update(ImageMagic.data(), ImageMagic.size(), 0);
    crc = Crc16Update(table.data(), static_cast<std::uint32_t>(2 * entries), crc);
    std::uint8_t crcBytes[2];
    PutU16(crcBytes, crc);
    bool ok = s.File.WriteExact(g.DataStart, ImageMagic.data(), ImageMagic.size());
    for (std::uint64_t p = 0; ok && p < pages; ++p)
        ok = s.File.WriteExact(g.DataStart + (p + 1) * g.PageSize, &table[p * TablePageBytes],
                               TablePageBytes);
    return ok && s.File.WriteExact(g.DataStart + (pages + 1) * g.PageSize, crcBytes, 2);
}

void SetImageFile(const std::string& path, bool create) {
    std::lock_guard lock(ImageLock);
    TImageState& s = State();
    CloseImageHandle();
    s.Path = path;
    s.ReadOnly = false;
    s.GeometryValid = false;
    s.Geometry = TFlashInfo{};
    if (!create)
        return;
    bool couldOpen = false;
    const bool headerValid = ReadHeaderInto(path, s.Header, couldOpen);
    if (!headerValid) {
        // A file we could not open but that is there (no permission, say) is the user's;
        // only a missing file or one with a bad header is replaced.
        if (!couldOpen && FileExists(path)) {
            WriteDebugLog("Image file: cannot open " + path);
            return;
        }
        if (!CreateBlankImage(path))
            return;
    } else {
        const TProbe probe = ProbeImage();
        if (probe == TProbe::Unusable) {
            // A valid header over a data area: the user's image, whatever we make of it.
            WriteDebugLog("Image file: " + path + " is kept as it is");
            return;
        }
        if (probe == TProbe::NoDataArea) {
            // A good header over a damaged data area (the magic gone, the file cut short)
            // would never connect: the demo gets a blank image as for a damaged header.
            WriteDebugLog("Image file: the data area of " + path +
                          " is damaged; a new image replaces it");
            if (!CreateBlankImage(path))
                return;
        }
    }
    if (ProbeGeometry())
        RebuildBlockTable();
}

bool OpenImageFile() {
    std::lock_guard lock(ImageLock);
    State().GeometryValid = false;
    State().Geometry.DataStart = 0xFFFFFFFF;
    if (!ReadImageHeader())
        return false;
    {
        // Finds out whether the file may be written.
        THandleScope handle;
        if (!handle.Opened)
            return false;
    }
    return ProbeGeometry();
}

bool ImageFileIsReadOnly() {
    std::lock_guard lock(ImageLock);
    return State().ReadOnly;
}

void ImageExchangeCmd(std::uint8_t command, const void* out, std::uint32_t outSize, void* in,
                      std::uint32_t inSize, std::uint32_t /*timeoutMs*/) {
    DescribeCommand(true, command, out, outSize);
    try {
        std::lock_guard lock(ImageLock);
        CheckSizes(command, out, outSize, in, inSize);
        THandleScope handle;
        if (!handle.Opened)
            FailIo(command);
        TImageCommand(command, out, outSize, in).Run();
    } catch (const TERecXchange& error) {
        LogExchangeFailure(error);
        throw;
    }
    DescribeCommand(false, command, in, inSize);
}

TImageHeader GetImageHeader() {
    std::lock_guard lock(ImageLock);
    return State().Header;
}

void SetImageHeaderSettings(const std::uint8_t* settings356) {
    std::lock_guard lock(ImageLock);
    std::memcpy(&State().Header[ImgSettingsOfs], settings356, ImgSettingsSize);
}

TFlashInfo GetImageGeometry() {
    std::lock_guard lock(ImageLock);
    return State().Geometry;
}

std::string GetImageFilePath() {
    std::lock_guard lock(ImageLock);
    return State().Path;
}
