#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "FixtureDevice.h"
#include "FixtureFlash.h"
#include "engine/RecClasses.h"
#include "engine/RecClassesJournal.h"
#include "i18n/VexaLang.h"
#include "i18n/VexaLangFile.h"
#include "link/ImageFile.h"
#include "tests/support/BoundedWait.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestData.h"

namespace {

using namespace fixture;
using testsupport::TTempDir;

// 16 blocks of 8 pages of 512 bytes; with the transfer divisor 2 a physical block (what
// command 16 erases) is the first or second half of a block.
constexpr std::uint16_t PageSize = 512;
constexpr std::uint16_t PagesPerBlock = 8;
constexpr std::uint16_t Divisor = 2;
constexpr std::uint32_t PhysicalPages = PagesPerBlock / Divisor;
constexpr std::uint32_t BlockBytes = PageSize * PagesPerBlock;

TFlashShape Shape(std::uint16_t firstRecBlock = 1) {
    return {PageSize, PagesPerBlock, 16, firstRecBlock};
}

// In front of the fake device: answers command 16 from the device's flash, and can spoil
// the page writes and physical erases that pass through. Every command is logged in order.
class TSpoilingFlash {
public:
    enum class TSpoil { None, DropPage, CorruptPage };

    explicit TSpoilingFlash(TFakeDevice& device) : Device(device) { Current = this; }
    ~TSpoilingFlash() { Current = nullptr; }
    TSpoilingFlash(const TSpoilingFlash&) = delete;
    TSpoilingFlash& operator=(const TSpoilingFlash&) = delete;

    TTransport Transport() { return {&Exchange, &Probe}; }

    // The next `writes` page writes leave page `page` of the write erased (Drop) or with
    // one byte flipped (Corrupt).
    void SpoilWrites(TSpoil spoil, std::uint32_t page, int writes) {
        Spoil = spoil;
        SpoiledPage = page;
        SpoiledWrites = writes;
    }

    // The next `writes` page writes fail as an exchange with the error code.
    void FailWrites(int writes, int errorCode) {
        FailedWrites = writes;
        FailCode = errorCode;
    }

    std::vector<std::uint8_t> Commands;
    std::vector<std::uint32_t> PhysicalErases;

    int CountOf(std::uint8_t command) const {
        return static_cast<int>(std::count(Commands.begin(), Commands.end(), command));
    }

private:
    static void Exchange(std::uint8_t command, const void* out, std::uint32_t outSize, void* in,
                         std::uint32_t inSize, std::uint32_t) {
        Current->Handle(command, out, outSize, in, inSize);
    }
    static bool Probe() { return Current != nullptr && Current->Device.Reachable; }

    void Handle(std::uint8_t command, const void* out, std::uint32_t outSize, void* in,
                std::uint32_t inSize) {
        Commands.push_back(command);
        if (command == CmdEraseBlockPhy)
            return ErasePhysical(static_cast<const std::uint8_t*>(out), outSize, in, inSize);
        if (command == CmdFlashWrite && FailedWrites > 0) {
            --FailedWrites;
            throw TERecXchange("Exchange error", command, FailCode);
        }
        if (command == CmdFlashWrite && SpoiledWrites > 0)
            return SpoiledWrite(out, outSize, in, inSize);
        Device.Exchange(command, out, outSize, in, inSize);
    }

    void ErasePhysical(const std::uint8_t* out, std::uint32_t outSize, void* in,
                       std::uint32_t inSize) {
        if (outSize != 4 || inSize != 4)
            throw TERecXchange("Invalid In Data Size", CmdEraseBlockPhy, 8);
        const std::uint32_t phy = Get32(out);
        PhysicalErases.push_back(phy);
        std::memset(Device.Flash.PageAt(phy * PhysicalPages), 0xFF, PhysicalPages * PageSize);
        std::memcpy(in, out, 4);
    }

    void SpoiledWrite(const void* out, std::uint32_t outSize, void* in, std::uint32_t inSize) {
        --SpoiledWrites;
        TFlashWriteRequest request;
        std::memcpy(&request, out, sizeof request);
        Bytes data(request.Data, request.Data + request.TotalCount);
        std::uint8_t* page = &data[std::size_t{SpoiledPage} * PageSize];
        if (Spoil == TSpoil::DropPage)
            std::memset(page, 0xFF, PageSize);
        else
            page[100] ^= 0x10;
        request.Data = data.data();
        Device.Exchange(CmdFlashWrite, &request, outSize, in, inSize);
    }

    static inline TSpoilingFlash* Current = nullptr;
    TFakeDevice& Device;
    TSpoil Spoil = TSpoil::None;
    std::uint32_t SpoiledPage = 0;
    int SpoiledWrites = 0;
    int FailedWrites = 0;
    int FailCode = 0;
};

double BlockSeconds() {
    return LayoutSecondsPerBlock(Shape(), 0, 0, 8000);
}

// Gives every sound byte of the block a value of its own per page, so that a block that is
// erased, rewritten or left alone can be told apart byte for byte.
// The first page is filled from `firstPageFrom` on.
void FillBlock(TFlashImage& flash, std::uint32_t block, std::uint8_t seed,
               std::uint32_t firstPageFrom = HeaderAreaSize) {
    for (std::uint32_t page = 0; page < PagesPerBlock; ++page)
        flash.FillSound(block, page, page == 0 ? firstPageFrom : 0,
                        static_cast<std::uint8_t>(seed + page));
}

// The content used by most tests:
//   recording 1: blocks 2, 5, 7 (in time order 5, 2, 7)   recording 2: blocks 3, 4
//   drive file 2 "notes.txt": blocks 9, 10                  block 0: the recorder's own
struct EraseTest : ::testing::Test {
    TFakeDevice Device{Shape()};
    TSpoilingFlash Flash{Device};
    TFakeUi Ui;
    std::unique_ptr<TRecorder> Recorder;

    void SetUp() override {
        SetFlashParams(Device, 1, PagesPerBlock, 16, PageSize, 1, Divisor);
        TFlashImage& f = Device.Flash;
        std::fill_n(f.Page(0, 0), BlockBytes, 0x3C);
        THeaderSpec first;
        first.Flags = 0x80;
        first.Status = 0x15; // not downloaded, VAS bits set
        const std::vector<std::uint32_t> order = {5, 2, 7};
        f.PutContinuousRecording(1, 100000, order, BlockSeconds(), first);
        f.PutContinuousRecording(2, 200000, {3, 4}, BlockSeconds());
        for (std::uint32_t b : {2, 3, 4, 5, 7})
            FillBlock(f, b, static_cast<std::uint8_t>(b * 16));
        f.PutFirstBlockData(5, Bytes(26, 0));
        PutDriveBlock(9, 1, true);
        PutDriveBlock(10, 2, false);
        Recorder = std::make_unique<TRecorder>(ConnUsb20SpiAdapter, Ui, Flash.Transport());
        Scan();
        Flash.Commands.clear();
    }

    void PutDriveBlock(std::uint32_t block, std::uint16_t index, bool first) {
        THeaderSpec h;
        h.Drive = true;
        h.Number = 2;
        h.Time = 300000;
        h.DriveIndex = index;
        h.DriveSize = 4000;
        h.Flags = first ? 0x80 : 0;
        Device.Flash.PutHeader(block, h);
        FillBlock(Device.Flash, block, static_cast<std::uint8_t>(block * 16), 200);
        if (first)
            Device.Flash.PutDriveName(block, u"notes.txt");
    }

    void Scan() {
        ASSERT_TRUE(Recorder->IsConnected());
        Recorder->Refresh();
        Recorder->WaitForOperation();
        ASSERT_EQ(Recorder->GetOutcome().Kind, TOperationOutcome::TKind::Succeeded);
    }

    TOperationOutcome Wait() {
        Recorder->WaitForOperation();
        EXPECT_EQ(Recorder->GetState(), StateIdle);
        return Recorder->GetOutcome();
    }

    TSoundFileInfo* Recording(std::uint16_t number) {
        return Recorder->GetSoundFileList()->ByNumber(number);
    }

    bool IsErased(std::uint32_t block) {
        const std::uint8_t* p = Device.Flash.Page(block, 0);
        return std::all_of(p, p + BlockBytes, [](std::uint8_t b) { return b == 0xFF; });
    }

    // Blocks not in `erased` are byte for byte what they were; those in it are all 0xFF.
    void ExpectOnlyErased(const Bytes& before, const std::vector<std::uint32_t>& erased,
                          const std::string& name) {
        for (std::uint32_t b = 0; b < 16; ++b) {
            const bool shouldBeErased = std::find(erased.begin(), erased.end(), b) != erased.end();
            if (shouldBeErased)
                EXPECT_TRUE(IsErased(b)) << name << ": block " << b;
            else
                EXPECT_TRUE(std::equal(before.begin() + b * BlockBytes,
                                       before.begin() + (b + 1) * BlockBytes,
                                       Device.Flash.Page(b, 0)))
                    << name << ": block " << b << " changed";
        }
    }

    std::vector<std::uint32_t> ErasedBlocks() const {
        std::vector<std::uint32_t> blocks;
        for (const TSentCommand& s : Device.Sent)
            if (s.Command == CmdEraseBlock)
                blocks.push_back(Get32(s.Out.data()));
        return blocks;
    }
};

TEST_F(EraseTest, ErasingFreesExactlyTheFilesBlocks) {
    struct Case {
        const char* name;
        std::function<void(TRecorder&)> start;
        std::vector<std::uint32_t> erased; // in the order sent
        int recordings, driveFiles;
    };
    const Case cases[] = {
        {"recording of three blocks", [](TRecorder& r) { r.EraseSoundFile(1); }, {5, 2, 7}, 1, 1},
        {"recording of two blocks", [](TRecorder& r) { r.EraseSoundFile(2); }, {3, 4}, 1, 1},
        {"drive file",
         [](TRecorder& r) { r.EraseDriveFile(r.GetDriveFileList()->IndexOfName("notes.txt")); },
         {9, 10},
         2,
         0},
    };
    const Bytes pristine = Device.Flash.Data();
    for (const Case& c : cases) {
        Device.Flash.Data() = pristine;
        Scan();
        const int freeBefore = Recorder->FreeBlocks().Count();
        Device.ClearLog();
        c.start(*Recorder);
        const TOperationOutcome outcome = Wait();
        EXPECT_EQ(outcome.Kind, TOperationOutcome::TKind::Succeeded) << c.name << outcome.Message;
        EXPECT_EQ(outcome.Operation, "EraseThread") << c.name;
        EXPECT_EQ(Recorder->GetProgress(), 100) << c.name;
        EXPECT_TRUE(Recorder->IsModified()) << c.name;
        EXPECT_EQ(ErasedBlocks(), c.erased) << c.name;
        ExpectOnlyErased(pristine, c.erased, c.name);

        Scan();
        EXPECT_EQ(Recorder->GetSoundFileList()->Count(), c.recordings) << c.name;
        EXPECT_EQ(Recorder->GetDriveFileList()->Count(), c.driveFiles) << c.name;
        EXPECT_EQ(Recorder->FreeBlocks().Count(), freeBefore + static_cast<int>(c.erased.size()))
            << c.name;
    }
}

TEST_F(EraseTest, ABlockThatChangedSinceTheScanIsLeftAlone) {
    // Block 2 now holds another recording than the scan found there.
    THeaderSpec other;
    other.Number = 9;
    other.Time = 4242;
    Device.Flash.PutHeader(2, other);
    const Bytes before = Device.Flash.Data();
    Recorder->EraseSoundFile(1);
    const TOperationOutcome outcome = Wait();
    EXPECT_EQ(outcome.Kind, TOperationOutcome::TKind::Failed);
    EXPECT_NE(outcome.Message.find("not erased"), std::string::npos) << outcome.Message;
    EXPECT_EQ(ErasedBlocks(), (std::vector<std::uint32_t>{5, 7}));
    ExpectOnlyErased(before, {5, 7}, "changed block");
    EXPECT_TRUE(Recorder->IsModified());
}

// What the erase and the status change tell the user is in the current language.
TEST_F(EraseTest, RefusalsAreInTheCurrentLanguage) {
    TVexaLanguageManager& manager = *LangManager();
    manager.SetFileReader(std::make_shared<TVexaLangFileParser>());
    ASSERT_TRUE(manager.AddLanguageFile(
        (testsupport::TestDataFolder() / ".." / ".." / "i18n" / "lang" / "Quorvex_deu.lng")
            .lexically_normal()
            .string()));
    manager.SetCurrentLanguageID(1031);
    Recorder->EraseSoundFile(77);
    EXPECT_EQ(Wait().Message, "Auf dem Rekorder gibt es keine Aufnahme 77: aktualisieren Sie die "
                              "Listen");
    Recording(2)->Blocks.Get(1).Block = 0;
    Recorder->EraseSoundFile(2);
    EXPECT_EQ(Wait().Message, "Block 0 liegt außerhalb des Aufnahmebereichs: nichts wurde "
                              "gelöscht");
    Scan();
    THeaderSpec moved;
    moved.Number = 1;
    moved.Time = 100001;
    moved.Flags = 0x80;
    Device.Flash.PutHeader(5, moved);
    try {
        Recorder->ChangeSoundFileStatus(1, StatusDownloaded);
        ADD_FAILURE() << "no exception";
    } catch (const TERecXchange& e) {
        EXPECT_EQ(e.MessageUtf8(), "Status der Aufnahme 1 nicht geändert: ihr erster Block "
                                   "enthält einen anderen Kopf als zuletzt gelesen");
    }
    manager.SetCurrentLanguageID(1033);
}

TEST_F(EraseTest, NothingOutsideTheRecordingAreaIsEverErased) {
    // A list entry pointing at the recorder's own block refuses the whole erase.
    Recording(2)->Blocks.Get(1).Block = 0;
    const Bytes before = Device.Flash.Data();
    Recorder->EraseSoundFile(2);
    EXPECT_EQ(Wait().Kind, TOperationOutcome::TKind::Failed);
    EXPECT_TRUE(ErasedBlocks().empty());
    EXPECT_EQ(Device.Flash.Data(), before);
}

TEST_F(EraseTest, UnknownFilesEndAsFailedWithoutAnyCommand) {
    struct Case {
        const char* name;
        std::function<void(TRecorder&)> start;
    };
    const Case cases[] = {
        {"recording number", [](TRecorder& r) { r.EraseSoundFile(77); }},
        {"negative drive index", [](TRecorder& r) { r.EraseDriveFile(-1); }},
        {"drive index past the list", [](TRecorder& r) { r.EraseDriveFile(1); }},
    };
    for (const Case& c : cases) {
        c.start(*Recorder);
        const TOperationOutcome outcome = Wait();
        EXPECT_EQ(outcome.Kind, TOperationOutcome::TKind::Failed) << c.name;
        EXPECT_EQ(outcome.Operation, "EraseThread") << c.name;
        EXPECT_FALSE(outcome.Message.empty()) << c.name;
        EXPECT_TRUE(Flash.Commands.empty()) << c.name;
    }
}

TEST_F(EraseTest, FormatErasesTheRecordingAreaOnly) {
    SetFlashParams(Device, 1, PagesPerBlock, 16, PageSize, 3, Divisor);
    Recorder = std::make_unique<TRecorder>(ConnUsb20SpiAdapter, Ui, Flash.Transport());
    ASSERT_TRUE(Recorder->IsConnected());
    const Bytes before = Device.Flash.Data();
    Device.ClearLog();
    Recorder->FormatMemory();
    const TOperationOutcome outcome = Wait();
    EXPECT_EQ(outcome.Kind, TOperationOutcome::TKind::Succeeded) << outcome.Message;
    EXPECT_EQ(outcome.Operation, "FormatThread");
    std::vector<std::uint32_t> area;
    for (std::uint32_t b = 3; b < 16; ++b)
        area.push_back(b);
    EXPECT_EQ(ErasedBlocks(), area);
    ExpectOnlyErased(before, area, "format");
    EXPECT_EQ(Recorder->GetProgress(), 15 * 100 / 16); // one step short of 100
    EXPECT_TRUE(Recorder->IsModified());
}

TEST_F(EraseTest, ACancelStopsAfterTheBlockBeingErased) {
    struct Case {
        const char* name;
        std::function<void(TRecorder&)> start;
        std::uint32_t onlyErased;
    };
    const Case cases[] = {
        {"erase", [](TRecorder& r) { r.EraseSoundFile(1); }, 5},
        {"format", [](TRecorder& r) { r.FormatMemory(); }, 1},
    };
    const Bytes pristine = Device.Flash.Data();
    for (const Case& c : cases) {
        Device.Flash.Data() = pristine;
        Device.ClearLog();
        Device.BeforeCommand = [this](std::uint8_t command) {
            if (command == CmdEraseBlock)
                Recorder->Cancel();
        };
        c.start(*Recorder);
        const TOperationOutcome outcome = Wait();
        Device.BeforeCommand = nullptr;
        EXPECT_EQ(outcome.Kind, TOperationOutcome::TKind::Cancelled) << c.name;
        EXPECT_EQ(ErasedBlocks(), (std::vector<std::uint32_t>{c.onlyErased})) << c.name;
        ExpectOnlyErased(pristine, {c.onlyErased}, c.name);
        EXPECT_TRUE(Recorder->IsModified()) << c.name;
    }
}

TEST_F(EraseTest, AFailedEraseCommandEndsTheOperationWithItsCode) {
    struct Case {
        const char* name;
        std::function<void(TRecorder&)> start;
        std::uint32_t erasedBeforeFailure;
    };
    const Case cases[] = {
        {"erase", [](TRecorder& r) { r.EraseSoundFile(1); }, 5},
        {"format", [](TRecorder& r) { r.FormatMemory(); }, 1},
    };
    const Bytes pristine = Device.Flash.Data();
    for (const Case& c : cases) {
        Device.Flash.Data() = pristine;
        Device.ClearLog();
        Device.FailCommand(CmdEraseBlock, 2, RecErrTimeout);
        c.start(*Recorder);
        const TOperationOutcome outcome = Wait();
        EXPECT_EQ(outcome.Kind, TOperationOutcome::TKind::ExchangeFailed) << c.name;
        EXPECT_EQ(outcome.Command, CmdEraseBlock) << c.name;
        EXPECT_EQ(outcome.ErrorCode, RecErrTimeout) << c.name;
        ExpectOnlyErased(pristine, {c.erasedBeforeFailure}, c.name);
        EXPECT_TRUE(Recorder->IsModified()) << c.name;
    }
}

TEST_F(EraseTest, EveryDeviceActionIsRefusedWhileAnEraseOrFormatRuns) {
    struct Case {
        const char* name;
        std::function<void(TRecorder&)> start;
        std::uint32_t state;
    };
    const Case cases[] = {
        {"erase", [](TRecorder& r) { r.EraseDriveFile(0); }, StateErasing},
        {"format", [](TRecorder& r) { r.FormatMemory(); }, StateFormatting},
    };
    for (const Case& c : cases) {
        std::atomic<bool> inErase{false};
        std::atomic<bool> release{false};
        Device.BeforeCommand = [&](std::uint8_t command) {
            if (command != CmdEraseBlock)
                return;
            inErase = true;
            testsupport::WaitUntil([&] { return release.load(); });
        };
        c.start(*Recorder);
        EXPECT_TRUE(testsupport::WaitUntil([&] { return inErase.load(); })) << c.name;
        EXPECT_EQ(Recorder->GetState(), c.state) << c.name;
        const std::size_t sent = Flash.Commands.size();
        EXPECT_THROW(Recorder->EraseSoundFile(2), ERecorderBusy) << c.name;
        EXPECT_THROW(Recorder->EraseDriveFile(0), ERecorderBusy) << c.name;
        EXPECT_THROW(Recorder->FormatMemory(), ERecorderBusy) << c.name;
        EXPECT_THROW(Recorder->ChangeSoundFileStatus(1, StatusDownloaded), ERecorderBusy) << c.name;
        EXPECT_THROW(Recorder->Refresh(), ERecorderBusy) << c.name;
        EXPECT_EQ(Flash.Commands.size(), sent) << c.name;
        release = true;
        Wait();
        Device.BeforeCommand = nullptr;
        EXPECT_EQ(Recorder->GetOutcome().Kind, TOperationOutcome::TKind::Succeeded) << c.name;
        Scan();
    }
}

// --- Status change ---------------------------------------------------------------------

struct StatusChangeTest : EraseTest {
    // The first block of recording 1 is block 5: page 40, physical block 10.
    static constexpr std::uint32_t FirstPage = 5 * PagesPerBlock;

    // The header recording 1's first block must carry with byte 11 as given.
    static Bytes ExpectedHeader(std::uint8_t byte11) {
        THeaderSpec h;
        h.Number = 1;
        h.Time = 100000;
        h.Flags = 0x80;
        h.Status = byte11;
        return h.ToBytes();
    }

    void SetByte11(std::uint8_t byte11) {
        const Bytes h = ExpectedHeader(byte11);
        for (int copy = 0; copy < 3; ++copy)
            Device.Flash.PutHeaderCopy(5, copy, h);
        Scan();
        Flash.Commands.clear();
    }

    // Every byte of the flash but the three header copies is what it was before.
    void ExpectHeaderRewrittenOnly(const Bytes& before, std::uint8_t byte11,
                                   const std::string& name) {
        const Bytes header = ExpectedHeader(byte11);
        Bytes expected = before;
        for (int copy = 0; copy < 3; ++copy)
            std::copy(header.begin(), header.end(),
                      expected.begin() + FirstPage * PageSize + copy * 20);
        EXPECT_TRUE(Device.Flash.Data() == expected) << name;
    }
};

TEST_F(StatusChangeTest, SetsTheTwoStatusBitsAndKeepsEverythingElse) {
    struct Case {
        std::uint8_t byte11, status, newByte11;
    };
    const Case cases[] = {
        {0x15, StatusDownloaded, 0x55},    {0x15, StatusUploaded, 0x95},
        {0x55, StatusNotDownloaded, 0x15}, {0x95, StatusNotDownloaded, 0x15},
        {0xD5, StatusDownloaded, 0x55},    {0x95, StatusDownloaded, 0x55},
    };
    for (const Case& c : cases) {
        const std::string name =
            "byte 11 " + std::to_string(c.byte11) + " to status " + std::to_string(c.status);
        SetByte11(c.byte11);
        const Bytes before = Device.Flash.Data();
        Recorder->ChangeSoundFileStatus(1, c.status);
        ExpectHeaderRewrittenOnly(before, c.newByte11, name);
        EXPECT_EQ(Flash.Commands, (std::vector<std::uint8_t>{CmdFlashRead, CmdEraseBlockPhy,
                                                             CmdFlashWrite, CmdFlashRead}))
            << name;
        EXPECT_EQ(Flash.PhysicalErases, (std::vector<std::uint32_t>{5 * Divisor})) << name;
        Flash.PhysicalErases.clear();
        const TSoundFileInfo* r = Recording(1);
        EXPECT_EQ(r->Status, c.status) << name;
        EXPECT_EQ(r->FirstHeader.Raw()[11], c.newByte11) << name;
        EXPECT_TRUE(r->FirstHeader.IsValid()) << name;
        EXPECT_EQ(r->Blocks.Get(0).Header, r->FirstHeader) << name;

        // Cached and stored agree: the same status again costs nothing, and a scan agrees.
        Flash.Commands.clear();
        Recorder->ChangeSoundFileStatus(1, c.status);
        EXPECT_TRUE(Flash.Commands.empty()) << name;
        Scan();
        EXPECT_EQ(Recording(1)->Status, c.status) << name;
        EXPECT_EQ(Recording(1)->FirstHeader.Raw()[11], c.newByte11) << name;
    }
}

TEST_F(StatusChangeTest, TheStatusItAlreadyHasIssuesNoCommand) {
    for (std::uint8_t byte11 : {0x15, 0x55, 0x95, 0xD5}) {
        SetByte11(byte11);
        Recorder->ChangeSoundFileStatus(1, Recording(1)->Status);
        EXPECT_TRUE(Flash.Commands.empty()) << int(byte11);
    }
}

TEST_F(StatusChangeTest, AVerifyThatFailsOnceIsRewrittenFromMemory) {
    struct Case {
        const char* name;
        TSpoilingFlash::TSpoil spoil;
        std::uint32_t page;
    };
    // A spoiled page after the first one is found too: every page written is read back.
    const Case cases[] = {
        {"dropped first page", TSpoilingFlash::TSpoil::DropPage, 0},
        {"dropped last page", TSpoilingFlash::TSpoil::DropPage, PhysicalPages - 1},
        {"corrupted middle page", TSpoilingFlash::TSpoil::CorruptPage, 2},
    };
    for (const Case& c : cases) {
        SetByte11(0x15);
        const Bytes before = Device.Flash.Data();
        Flash.SpoilWrites(c.spoil, c.page, 1);
        Recorder->ChangeSoundFileStatus(1, StatusDownloaded);
        EXPECT_EQ(Flash.CountOf(CmdFlashRead), 1 + 2) << c.name; // block once, two verifies
        EXPECT_EQ(Flash.CountOf(CmdEraseBlockPhy), 2) << c.name;
        EXPECT_EQ(Flash.CountOf(CmdFlashWrite), 2) << c.name;
        ExpectHeaderRewrittenOnly(before, 0x55, c.name);
        EXPECT_EQ(Recording(1)->Status, StatusDownloaded) << c.name;
    }
}

TEST_F(StatusChangeTest, AWriteThatKeepsFailingLeavesTheCachedHeaderAndFailsWithACode) {
    struct Case {
        const char* name;
        std::function<void()> spoil;
        int command, code;
    };
    const Case cases[] = {
        {"verify fails", [this] { Flash.SpoilWrites(TSpoilingFlash::TSpoil::DropPage, 1, 99); },
         CmdFlashWrite, RecErrIo},
        {"write exchange fails", [this] { Flash.FailWrites(99, RecErrTimeout); }, CmdFlashWrite,
         RecErrTimeout},
    };
    for (const Case& c : cases) {
        SetByte11(0x15);
        const TBlockHeader cached = Recording(1)->FirstHeader;
        ASSERT_FALSE(Recorder->IsModified()) << c.name;
        c.spoil();
        try {
            Recorder->ChangeSoundFileStatus(1, StatusDownloaded);
            ADD_FAILURE() << c.name << ": no exception";
        } catch (const TERecXchange& e) {
            EXPECT_EQ(e.Command(), c.command) << c.name;
            EXPECT_EQ(e.ErrorCode(), c.code) << c.name;
        }
        Flash.SpoilWrites(TSpoilingFlash::TSpoil::None, 0, 0);
        Flash.FailWrites(0, 0);
        EXPECT_EQ(Flash.CountOf(CmdEraseBlockPhy), 5) << c.name;
        EXPECT_EQ(Flash.CountOf(CmdFlashWrite), 5) << c.name;
        EXPECT_EQ(Recording(1)->Status, StatusNotDownloaded) << c.name;
        EXPECT_EQ(Recording(1)->FirstHeader, cached) << c.name;
        EXPECT_TRUE(Recorder->IsModified()) << c.name; // the flash may differ from the lists
    }
}

// A rewrite that keeps failing after the erase leaves the block erased or half written on the
// recorder; its copy on disk brings it back, byte for byte, at the next connection.
TEST_F(StatusChangeTest, ABlockLeftErasedIsWrittenBackAtTheNextConnection) {
    struct Case {
        const char* name;
        std::function<void()> spoil;
        int command, code;
    };
    const Case cases[] = {
        {"five failed writes", [this] { Flash.FailWrites(5, RecErrTimeout); }, CmdFlashWrite,
         RecErrTimeout},
        {"five writes that lose a page",
         [this] { Flash.SpoilWrites(TSpoilingFlash::TSpoil::DropPage, 2, 5); }, CmdFlashWrite,
         RecErrIo},
    };
    for (const Case& c : cases) {
        SetByte11(0x15);
        const Bytes before = Device.Flash.Data();
        const std::string key = Recorder->StatusJournalKey();
        c.spoil();
        try {
            Recorder->ChangeSoundFileStatus(1, StatusDownloaded);
            ADD_FAILURE() << c.name << ": no exception";
        } catch (const TERecXchange& e) {
            EXPECT_EQ(e.Command(), c.command) << c.name;
            EXPECT_EQ(e.ErrorCode(), c.code) << c.name;
            EXPECT_NE(e.MessageUtf8().find("A copy of the block is kept on this computer and is "
                                           "written back at the next connection"),
                      std::string::npos)
                << e.MessageUtf8();
        }
        EXPECT_NE(Device.Flash.Data(), before) << c.name;
        ASSERT_EQ(BlockJournalsOf(key).size(), 1u) << c.name;

        Recorder.reset();
        Ui.Messages.clear();
        Recorder = std::make_unique<TRecorder>(ConnUsb20SpiAdapter, Ui, Flash.Transport());
        Scan();
        EXPECT_TRUE(Device.Flash.Data() == before) << c.name;
        EXPECT_TRUE(BlockJournalsOf(key).empty()) << c.name;
        ASSERT_EQ(Ui.Messages.size(), 1u) << c.name;
        EXPECT_EQ(Ui.Messages[0], "The status change of recording 1 was cut off after its first "
                                  "block had been erased. The block has been written back from "
                                  "the copy kept on this computer.");
        EXPECT_EQ(Recording(1)->Status, StatusNotDownloaded) << c.name;
        EXPECT_EQ(Recording(1)->Blocks.Count(), 3) << c.name;

        // A second connection finds nothing more to do.
        Ui.Messages.clear();
        Scan();
        EXPECT_TRUE(Ui.Messages.empty()) << c.name;
    }
}

// A copy is never written over a block that another file has taken since, nor is a block
// erased when no copy could be kept.
TEST_F(StatusChangeTest, TheCopyNeverOverwritesAnotherFileAndNoCopyMeansNoErase) {
    SetByte11(0x15);
    const std::string key = Recorder->StatusJournalKey();
    Flash.FailWrites(5, RecErrTimeout);
    EXPECT_THROW(Recorder->ChangeSoundFileStatus(1, StatusDownloaded), TERecXchange);
    THeaderSpec other;
    other.Number = 9;
    other.Time = 700000;
    Device.Flash.PutHeader(5, other);
    const Bytes taken = Device.Flash.Data();
    Scan();
    EXPECT_TRUE(Device.Flash.Data() == taken);
    EXPECT_EQ(BlockJournalsOf(key).size(), 1u);
    EXPECT_TRUE(Ui.Messages.empty());
    RemoveBlockJournal(BlockJournalsOf(key).at(0));

    // The data folder is a file: no copy can be kept.
    TTempDir dir;
    const std::string notAFolder = dir.File("data");
    std::ofstream(notAFolder) << "x";
    SetByte11(0x15);
    const Bytes before = Device.Flash.Data();
    const std::string folder = RecorderDataFolder();
    SetRecorderDataFolder(notAFolder);
    try {
        Recorder->ChangeSoundFileStatus(1, StatusDownloaded);
        ADD_FAILURE() << "no exception";
    } catch (const TERecXchange& e) {
        EXPECT_NE(e.MessageUtf8().find("no copy of its first block could be kept"),
                  std::string::npos)
            << e.MessageUtf8();
    }
    SetRecorderDataFolder(folder);
    EXPECT_EQ(Flash.CountOf(CmdEraseBlockPhy), 0);
    EXPECT_TRUE(Device.Flash.Data() == before);
    EXPECT_EQ(Recording(1)->Status, StatusNotDownloaded);
}

TEST_F(StatusChangeTest, AFailedWriteExchangeIsRetriedFromMemoryNotFromTheErasedFlash) {
    SetByte11(0x15);
    const Bytes before = Device.Flash.Data();
    // The physical block is erased, then the write fails: only memory still holds it.
    Flash.FailWrites(1, RecErrChecksum);
    Recorder->ChangeSoundFileStatus(1, StatusDownloaded);
    EXPECT_EQ(Flash.CountOf(CmdEraseBlockPhy), 2);
    EXPECT_EQ(Flash.CountOf(CmdFlashRead), 1 + 1);
    ExpectHeaderRewrittenOnly(before, 0x55, "write failed once");
    EXPECT_EQ(Recording(1)->Status, StatusDownloaded);
}

TEST_F(StatusChangeTest, AFailedFirstReadReachesTheCallerUnchanged) {
    SetByte11(0x15);
    Device.FailCommand(CmdFlashRead, 1, RecErrTimeout);
    try {
        Recorder->ChangeSoundFileStatus(1, StatusDownloaded);
        ADD_FAILURE() << "no exception";
    } catch (const TERecXchange& e) {
        EXPECT_EQ(e.Command(), CmdFlashRead);
        EXPECT_EQ(e.ErrorCode(), RecErrTimeout);
    }
    EXPECT_EQ(Flash.CountOf(CmdEraseBlockPhy), 0);
    EXPECT_EQ(Recording(1)->Status, StatusNotDownloaded);
}

TEST_F(StatusChangeTest, AHeaderThatDiffersFromTheScannedOneIsNeverRewritten) {
    SetByte11(0x15);
    THeaderSpec moved;
    moved.Number = 1;
    moved.Time = 100001;
    moved.Flags = 0x80;
    Device.Flash.PutHeader(5, moved);
    const Bytes before = Device.Flash.Data();
    try {
        Recorder->ChangeSoundFileStatus(1, StatusDownloaded);
        ADD_FAILURE() << "no exception";
    } catch (const TERecXchange& e) {
        EXPECT_NE(e.ErrorCode(), 0);
    }
    EXPECT_EQ(Flash.CountOf(CmdFlashRead), 5);
    EXPECT_EQ(Flash.CountOf(CmdEraseBlockPhy), 0);
    EXPECT_EQ(Flash.CountOf(CmdFlashWrite), 0);
    EXPECT_EQ(Device.Flash.Data(), before);
    EXPECT_EQ(Recording(1)->Status, StatusNotDownloaded);
}

TEST_F(StatusChangeTest, RefusesStatusesAndRecordingsThatDoNotExist) {
    EXPECT_THROW(Recorder->ChangeSoundFileStatus(1, 0x12), std::invalid_argument);
    EXPECT_THROW(Recorder->ChangeSoundFileStatus(1, 0x00), std::invalid_argument);
    EXPECT_THROW(Recorder->ChangeSoundFileStatus(77, StatusDownloaded), std::invalid_argument);
    EXPECT_TRUE(Flash.Commands.empty());
}

// The image file answers commands 4 and 16 with code of its own, apart from this fixture.
struct OnImage : ::testing::Test {
    static constexpr std::uint16_t ImagePageSize = 2112;
    static constexpr std::uint16_t ImagePages = 16;

    TTempDir Dir;
    std::string Path = Dir.File("memory.ovk");
    TFlashImage Flash{{ImagePageSize, ImagePages, 8, 1}};
    TFakeUi Ui;
    std::unique_ptr<TRecorder> Recorder;

    // Recording 3: blocks 4 and 2, breaking after page 5 of block 4 and resuming at page 6
    // (two voice parts). Recording 6: block 6.
    void SetUp() override {
        const double seconds = LayoutSecondsPerBlock(Flash.Shape(), 0, 0, 8000);
        THeaderSpec first;
        first.Flags = 0x80;
        first.Status = 0x01;
        Flash.PutContinuousRecording(3, 5000, {4, 2}, seconds, first);
        Flash.PutContinuousRecording(6, 9000, {6}, seconds);
        for (std::uint32_t b : {2, 4, 6})
            for (std::uint32_t page = 0; page < ImagePages; ++page)
                Flash.FillSound(b, page, page == 0 ? 64 : 0, static_cast<std::uint8_t>(b + page));
        THeaderSpec later;
        later.Number = 3;
        later.Index = 2;
        later.Time = 5100;
        Flash.PutHeader(2, later);
        Flash.PutPageInfo(4, 5, 0x55FF);
        Flash.PutBreakRecord(4, 6, 5090);
        Flash.WriteImageFile(Path);
        Recorder = std::make_unique<TRecorder>(ConnImageFile, Ui);
        Recorder->SetImageFileName(Path);
        ASSERT_TRUE(Recorder->IsConnected());
        Scan();
    }
    void Scan() {
        Recorder->Refresh();
        Recorder->WaitForOperation();
        ASSERT_EQ(Recorder->GetOutcome().Kind, TOperationOutcome::TKind::Succeeded);
    }
    void Run(const std::function<void()>& start) {
        start();
        Recorder->WaitForOperation();
        EXPECT_EQ(Recorder->GetOutcome().Kind, TOperationOutcome::TKind::Succeeded)
            << Recorder->GetOutcome().Message;
    }
    Bytes ReadFile() const {
        std::ifstream in(Path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(OnImage, StatusChangeRewritesTheFileAndTheVoicePartsFollow) {
    const Bytes before = ReadFile();
    TSoundFileInfo* r = Recorder->GetSoundFileList()->ByNumber(3);
    ASSERT_EQ(r->VoiceParts->Count(), 2);
    Recorder->ChangeSoundFileStatus(3, StatusUploaded);

    THeaderSpec h;
    h.Number = 3;
    h.Time = 5000;
    h.Flags = 0x80;
    h.Status = 0x81;
    const Bytes header = h.ToBytes();
    Bytes expected = before;
    // The image stores every block from block 0 after one page of header and filler.
    const std::size_t blockStart = ImagePageSize + std::size_t{4} * ImagePages * ImagePageSize;
    for (int copy = 0; copy < 3; ++copy)
        std::copy(header.begin(), header.end(), expected.begin() + blockStart + copy * 20);
    EXPECT_TRUE(ReadFile() == expected);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(r->VoiceParts->Get(i)->Status, StatusUploaded);
        EXPECT_EQ(r->VoiceParts->Get(i)->FirstHeader, r->FirstHeader);
    }

    Scan();
    r = Recorder->GetSoundFileList()->ByNumber(3);
    EXPECT_EQ(r->Status, StatusUploaded);
    EXPECT_EQ(r->VoiceParts->Get(1)->Status, StatusUploaded);
}

TEST_F(OnImage, EraseThenFormatLeaveWhatAScanExpects) {
    const Bytes before = ReadFile();
    Run([this] { Recorder->EraseSoundFile(3); });
    Scan();
    ASSERT_EQ(Recorder->GetSoundFileList()->Count(), 1);
    EXPECT_NE(Recorder->GetSoundFileList()->ByNumber(6), nullptr);
    EXPECT_EQ(Recorder->FreeBlocks().Count(), 6);
    const Bytes erased = ReadFile();
    const std::size_t block = std::size_t{ImagePages} * ImagePageSize;
    const std::size_t sixStart = ImagePageSize + 6 * block;
    EXPECT_TRUE(std::equal(before.begin() + sixStart, before.begin() + sixStart + block,
                           erased.begin() + sixStart));

    Run([this] { Recorder->FormatMemory(); });
    Scan();
    EXPECT_EQ(Recorder->GetSoundFileList()->Count(), 0);
    EXPECT_EQ(Recorder->FreeBlocks().Count(), 7);
}

// The program killed at each step of a status change on an image file, in a child process:
// the next connection finds the recording's first block whole, as it was or as it was to be.
struct KilledStatusChange : ::testing::Test {
    static constexpr std::uint16_t ImagePageSize = 2112;
    static constexpr std::uint16_t ImagePages = 16;
    static constexpr std::size_t BlockStart =
        ImagePageSize + std::size_t{4} * ImagePages * ImagePageSize; // block 4

    // Where the child dies: at the nth use of the command since the status change began,
    // before or after it runs.
    struct TKillPoint {
        std::uint8_t Command;
        int Nth;
        bool After;
    };
    static inline TKillPoint Kill{};
    static inline bool Armed = false;
    static inline int Seen = 0;

    static void KillingExchange(std::uint8_t command, const void* out, std::uint32_t outSize,
                                void* in, std::uint32_t inSize, std::uint32_t timeout) {
        const bool here = Armed && command == Kill.Command && ++Seen == Kill.Nth;
        if (here && !Kill.After)
            _exit(0);
        ImageExchangeCmd(command, out, outSize, in, inSize, timeout);
        if (here)
            _exit(0);
    }

    TTempDir Dir;
    std::string Path = Dir.File("memory.ovk");
    TFakeUi Ui;

    void SetUp() override {
        TFlashImage flash{{ImagePageSize, ImagePages, 8, 1}};
        THeaderSpec first;
        first.Flags = 0x80;
        first.Status = 0x01;
        flash.PutContinuousRecording(3, 5000, {4}, LayoutSecondsPerBlock(flash.Shape(), 0, 0, 8000),
                                     first);
        for (std::uint32_t page = 0; page < ImagePages; ++page)
            flash.FillSound(4, page, page == 0 ? 64 : 0, static_cast<std::uint8_t>(page + 1));
        flash.WriteImageFile(Path);
    }

    Bytes ReadFile() const {
        std::ifstream in(Path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    // The child connects, scans and changes the status; it must die at the kill point.
    int RunChild(const TKillPoint& kill) {
        const pid_t child = fork();
        if (child == 0) {
            Kill = kill;
            TRecorder recorder(ConnImageFile, Ui, {KillingExchange, OpenImageFile});
            recorder.SetImageFileName(Path);
            if (!recorder.IsConnected())
                _exit(3);
            recorder.Refresh();
            recorder.WaitForOperation();
            Armed = true;
            try {
                recorder.ChangeSoundFileStatus(3, StatusUploaded);
            } catch (...) {
                _exit(4);
            }
            _exit(5); // not killed
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(KilledStatusChange, TheNextConnectionFindsTheBlockWhole) {
    struct Case {
        const char* name;
        TKillPoint kill;
        bool changed;  // the block holds the new status
        bool restored; // it was written back from its copy
    };
    const Case cases[] = {
        {"before the erase", {CmdEraseBlockPhy, 1, false}, false, false},
        {"between the erase and the write", {CmdEraseBlockPhy, 1, true}, false, true},
        {"between the write and the verify", {CmdFlashWrite, 1, true}, true, false},
        {"after the verify", {CmdFlashRead, 2, true}, true, false},
    };
    for (const Case& c : cases) {
        SetUp();
        const Bytes before = ReadFile();
        Bytes changed = before;
        THeaderSpec h;
        h.Number = 3;
        h.Time = 5000;
        h.Flags = 0x80;
        h.Status = 0x81;
        const Bytes header = h.ToBytes();
        for (int copy = 0; copy < 3; ++copy)
            std::copy(header.begin(), header.end(), changed.begin() + BlockStart + copy * 20);

        ASSERT_EQ(RunChild(c.kill), 0) << c.name;
        if (c.restored)
            EXPECT_NE(ReadFile(), before) << c.name;

        Ui.Messages.clear();
        TRecorder recorder(ConnImageFile, Ui);
        recorder.SetImageFileName(Path);
        ASSERT_TRUE(recorder.IsConnected()) << c.name;
        recorder.Refresh();
        recorder.WaitForOperation();
        EXPECT_TRUE(ReadFile() == (c.changed ? changed : before)) << c.name;
        EXPECT_EQ(Ui.Messages.size(), c.restored ? 1u : 0u) << c.name;
        EXPECT_TRUE(BlockJournalsOf(recorder.StatusJournalKey()).empty()) << c.name;
        const TSoundFileInfo* r = recorder.GetSoundFileList()->ByNumber(3);
        ASSERT_NE(r, nullptr) << c.name;
        EXPECT_EQ(r->Status, c.changed ? StatusUploaded : StatusNotDownloaded) << c.name;
    }
}

} // namespace
