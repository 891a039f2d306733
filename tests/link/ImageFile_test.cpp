#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "link/ImageFile.h"
#include "link/RecXchange.h"
#include "tests/support/BitwiseCrc16.h"
#include "tests/support/TempDir.h"

namespace {

using testsupport::TTempDir;

using Bytes = std::vector<std::uint8_t>;

using testsupport::BitwiseCrc16;

// The header CRC from the layout: the covered ranges in order, starting with 0x11EE.
std::uint16_t LayoutHeaderCrc(const std::uint8_t* h) {
    const std::pair<int, int> covered[] = {{0, 290}, {298, 664}, {664, 667}, {675, 699}};
    std::uint16_t crc = 0x11EE;
    for (auto [from, to] : covered)
        crc = BitwiseCrc16(h + from, to - from, crc);
    return crc;
}

std::uint16_t U16(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8);
}
void PutU16At(Bytes& b, std::size_t at, unsigned v) {
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
}
void PutU32At(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = (v >> (8 * i)) & 0xFF;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
// The first bytes of a file too large to read whole.
Bytes ReadFile(const std::string& path, std::size_t count) {
    std::ifstream in(path, std::ios::binary);
    Bytes bytes(count);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}
void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

struct TImageSpec {
    unsigned PageSize = 528;
    unsigned PagesPerBlock = 32;
    unsigned StoredBlocks = 8;
    std::uint32_t FirstStored = 0;
    std::size_t DataStart = 1024;
    unsigned FirstRecBlock = 1;
};

// An image written straight from the layout, not through the code under test.
Bytes BuildImage(const TImageSpec& s) {
    const std::size_t blocks = std::size_t{s.StoredBlocks} * s.PageSize * s.PagesPerBlock;
    Bytes file(s.DataStart + std::max<std::size_t>(blocks, 4), 0xFF);
    std::fill(file.begin() + 730, file.begin() + s.DataStart, 0);
    PutU16At(file, 298, s.FirstRecBlock);
    PutU16At(file, 300, s.PageSize);
    PutU16At(file, 302, s.PagesPerBlock);
    PutU32At(file, 304, s.FirstStored);
    PutU16At(file, 728, LayoutHeaderCrc(file.data()));
    const std::uint8_t magic[] = {0xEE, 0x7F, 0xCD, 0xFE};
    std::copy(magic, magic + 4, file.begin() + s.DataStart);
    return file;
}

void Exchange(std::uint8_t cmd, const void* out, std::uint32_t outSize, void* in,
              std::uint32_t inSize) {
    ImageExchangeCmd(cmd, out, outSize, in, inSize, DefaultTimeoutMs);
}

int ErrorOf(std::uint8_t cmd, const void* out, std::uint32_t outSize, void* in,
            std::uint32_t inSize) {
    try {
        Exchange(cmd, out, outSize, in, inSize);
    } catch (const TERecXchange& e) {
        EXPECT_EQ(e.Command(), cmd);
        return e.ErrorCode();
    }
    return 0;
}

TFlashParamRecord FlashParam() {
    std::array<std::uint8_t, TFlashParamRecord::Size> reply{};
    Exchange(CmdFlashParam, nullptr, 0, reply.data(), reply.size());
    return TFlashParamRecord::FromBytes(reply.data());
}

Bytes ReadPages(std::uint32_t page, std::uint16_t count, std::uint16_t offset = 0,
                std::uint32_t cycles = 1, std::uint16_t addrInc = 1) {
    Bytes data(std::size_t{count} * cycles, 0xA5);
    TFlashReadRequest r;
    r.HostBuffer = data.data();
    r.PageAddr = page;
    r.Count = count;
    r.Offset = offset;
    r.Cycles = cycles;
    r.AddrInc = addrInc;
    Exchange(CmdFlashRead, &r, sizeof r, nullptr, 0);
    return data;
}

class ImageFileTest : public ::testing::Test {
protected:
    TTempDir Dir;
    std::string Path = Dir.File("rec.ovk");

    void OpenSpec(const TImageSpec& spec) {
        WriteFile(Path, BuildImage(spec));
        SetImageFile(Path, false);
        ASSERT_TRUE(OpenImageFile());
    }
};

TEST_F(ImageFileTest, FreshImageMatchesTheLayout) {
    SetImageFile(Path, true);
    const Bytes file = ReadFile(Path);
    ASSERT_EQ(file.size(), 8'652'864u);
    ASSERT_EQ(file.size(), 2112u + 64u * 135168u);
    EXPECT_EQ(U16(file, 728), LayoutHeaderCrc(file.data()));
    EXPECT_EQ(U16(file, 300), 2112);
    EXPECT_EQ(U16(file, 302), 64);
    EXPECT_EQ(U16(file, 298), 1);
    EXPECT_EQ(U16(file, 675), 10);
    EXPECT_EQ(file[664], 0xFF);
    for (int i = 0; i < 8; ++i) {
        const std::size_t profile = 308 + 37 * i;
        EXPECT_EQ(std::string(file.begin() + profile + 2, file.begin() + profile + 10),
                  "Profile" + std::to_string(i + 1));
        EXPECT_EQ(file[profile], 1);
        EXPECT_EQ(file[profile + 36], 1);
    }
    EXPECT_EQ(file[617], 0xFF); // no password
    EXPECT_TRUE(
        std::all_of(file.begin() + 730, file.begin() + 2112, [](auto b) { return b == 0; }));
    EXPECT_EQ(Bytes(file.begin() + 2112, file.begin() + 2116), (Bytes{0xEE, 0x7F, 0xCD, 0xFE}));

    // The file holds one flash of 64 blocks: entry 0 is block 0's first two bytes (the magic),
    // the rest unknown; one table page, its CRC at the start of page 2.
    Bytes table(128, 0xFF);
    table[0] = 0xEE;
    table[1] = 0x7F;
    EXPECT_EQ(Bytes(file.begin() + 2112 * 2, file.begin() + 2112 * 2 + 128), table);
    const std::uint16_t tableCrc =
        BitwiseCrc16(table.data(), table.size(), BitwiseCrc16(file.data() + 2112, 4, 0));
    EXPECT_EQ(U16(file, 2112 + 2 * 2112), tableCrc);

    ASSERT_TRUE(OpenImageFile());
    EXPECT_EQ(GetImageGeometry().DataStart, 2112u);
    const TFlashParamRecord g = FlashParam();
    EXPECT_EQ(g.FlashCount, 1);
    EXPECT_EQ(g.BlocksPerFlash, 64);
    EXPECT_EQ(g.PagesPerBlock, 64);
    EXPECT_EQ(g.PageSize, 2112);
    EXPECT_EQ(g.FirstRecBlock, 1);
    EXPECT_EQ(g.TransferDivisor, 1);
}

TEST_F(ImageFileTest, CreateKeepsAValidImageWithItsGeometryAndData) {
    TImageSpec spec;
    spec.DataStart = 730 + 3000;
    Bytes image = BuildImage(spec);
    const std::size_t dataByte = spec.DataStart + 3 * 528 * 32 + 5;
    image[dataByte] = 0x42;
    WriteFile(Path, image);
    SetImageFile(Path, true);
    const Bytes after = ReadFile(Path);
    ASSERT_EQ(after.size(), image.size());
    EXPECT_EQ(after[dataByte], 0x42);
    EXPECT_EQ(GetImageGeometry().DataStart, spec.DataStart);
    ASSERT_TRUE(OpenImageFile());
    EXPECT_EQ(FlashParam().PageSize, 528);
    EXPECT_EQ(FlashParam().BlocksPerFlash, 8);
}

TEST_F(ImageFileTest, CreateReplacesMissingTruncatedOrCorruptHeaders) {
    const Bytes broken[] = {{}, Bytes(100, 0x11), [] {
                                Bytes b = BuildImage({});
                                b[10] ^= 1; // header CRC no longer matches
                                return b;
                            }()};
    for (const Bytes& content : broken) {
        std::filesystem::remove(Path);
        if (!content.empty())
            WriteFile(Path, content);
        SetImageFile(Path, true);
        EXPECT_EQ(std::filesystem::file_size(Path), 8'652'864u);
        EXPECT_TRUE(OpenImageFile());
        EXPECT_EQ(Dir.EntryCount(), 1u) << "a temporary was left beside the image";
    }
}

// A header that checks over a data area that does not: no magic where the data start, or a
// file cut short of one block. The demo would never connect to it; it gets a new image.
TEST_F(ImageFileTest, CreateReplacesAValidHeaderOverADamagedDataArea) {
    const struct {
        const char* Name;
        std::function<void(Bytes&)> Damage;
    } cases[] = {
        {"magic overwritten", [](Bytes& b) { std::fill(b.begin() + 1024, b.end(), 0); }},
        {"cut inside the first block", [](Bytes& b) { b.resize(1024 + 528 * 3); }},
        {"cut at the data start", [](Bytes& b) { b.resize(1024); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Bytes image = BuildImage({});
        c.Damage(image);
        WriteFile(Path, image);
        SetImageFile(Path, false);
        ASSERT_FALSE(OpenImageFile());
        SetImageFile(Path, true);
        EXPECT_EQ(std::filesystem::file_size(Path), 8'652'864u);
        EXPECT_TRUE(OpenImageFile());
        EXPECT_EQ(GetImageGeometry().DataStart, 2112u);
        EXPECT_EQ(Dir.EntryCount(), 1u) << "a temporary was left beside the image";
    }
}

TEST_F(ImageFileTest, CreateNeverDestroysWhatItCannotRead) {
    std::filesystem::create_directory(Path); // something there that is not a readable image
    SetImageFile(Path, true);
    EXPECT_TRUE(std::filesystem::is_directory(Path));
    EXPECT_FALSE(OpenImageFile());
}

TEST_F(ImageFileTest, MagicFoundAcrossReadWindowsButNotInsideTheHeader) {
    for (std::size_t dataStart : {730u + 16381u, 730u + 16380u, 730u + 16379u, 731u, 40000u}) {
        TImageSpec spec;
        spec.DataStart = dataStart;
        Bytes image = BuildImage(spec);
        // A magic among the reserved header bytes must not be taken for the data start.
        const std::uint8_t magic[] = {0xEE, 0x7F, 0xCD, 0xFE};
        std::copy(magic, magic + 4, image.begin() + 100);
        PutU16At(image, 728, LayoutHeaderCrc(image.data()));
        WriteFile(Path, image);
        SetImageFile(Path, false);
        ASSERT_TRUE(OpenImageFile()) << dataStart;
        EXPECT_EQ(GetImageGeometry().DataStart, dataStart);
    }
}

TEST_F(ImageFileTest, ProbeRefusesBadHeadersAndGeometry) {
    struct TCase {
        const char* Name;
        TImageSpec Spec;
        bool Truncate;
    } cases[] = {
        {"zero page size", {0, 32, 8, 0, 1024, 1}, false},
        {"page too small for the table", {100, 32, 8, 0, 1024, 1}, false},
        {"zero pages per block", {528, 0, 8, 0, 1024, 1}, false},
        {"first stored block beyond the flash", {528, 32, 8, 70000, 1024, 1}, false},
        {"file shorter than one block", {528, 32, 1, 0, 1024, 1}, true},
    };
    for (const TCase& c : cases) {
        Bytes image = BuildImage(c.Spec);
        if (c.Truncate)
            image.resize(c.Spec.DataStart + 100);
        WriteFile(Path, image);
        SetImageFile(Path, false);
        EXPECT_FALSE(OpenImageFile()) << c.Name;
        // Nothing is served from a geometry that was refused.
        Bytes buffer(16);
        TFlashReadRequest r{buffer.data(), 0, 1, 16, 0, 1};
        EXPECT_EQ(ErrorOf(CmdFlashRead, &r, sizeof r, nullptr, 0), RecErrIo) << c.Name;
    }
    // A block table that cannot fit its block matters only to rebuilding it: served.
    WriteFile(Path, BuildImage({528, 1, 8, 0, 1024, 1}));
    SetImageFile(Path, false);
    EXPECT_TRUE(OpenImageFile());
    WriteFile(Path, Bytes(730, 0xFF)); // CRC does not match
    EXPECT_FALSE(OpenImageFile());
    std::filesystem::remove(Path);
    EXPECT_FALSE(OpenImageFile());
}

TEST_F(ImageFileTest, RandomGarbageNeverTripsTheProbeOrCommands) {
    std::mt19937 rng(7);
    for (int round = 0; round < 40; ++round) {
        Bytes image(2000 + rng() % 50000);
        for (auto& b : image)
            b = static_cast<std::uint8_t>(rng());
        if (round % 2 == 0) { // a valid CRC over random geometry
            image[730 + rng() % 500] = 0xEE;
            PutU16At(image, 728, LayoutHeaderCrc(image.data()));
        }
        WriteFile(Path, image);
        SetImageFile(Path, false);
        EXPECT_FALSE(OpenImageFile()) << "round " << round;
        // Every flash command on the refused image fails with the I/O code and touches
        // neither the caller's buffer nor the file.
        Bytes buffer(64, 0xA5);
        TFlashReadRequest read{buffer.data(), static_cast<std::uint32_t>(rng()), 4, 16, 0, 3};
        EXPECT_EQ(ErrorOf(CmdFlashRead, &read, sizeof read, nullptr, 0), RecErrIo) << round;
        EXPECT_EQ(buffer, Bytes(64, 0xA5)) << "round " << round;
        const Bytes page(528, 0x00);
        TFlashWriteRequest write{page.data(), static_cast<std::uint32_t>(rng()), 1,
                                 static_cast<std::uint32_t>(page.size())};
        EXPECT_EQ(ErrorOf(CmdFlashWrite, &write, sizeof write, nullptr, 0), RecErrIo) << round;
        const TBlockNumberRecord block{static_cast<std::uint32_t>(rng() % 64)};
        EXPECT_EQ(
            ErrorOf(CmdEraseBlock, block.ToBytes().data(), TBlockNumberRecord::Size, nullptr, 0),
            RecErrIo)
            << round;
        EXPECT_EQ(ReadFile(Path), image) << "round " << round;
    }
}

TEST_F(ImageFileTest, PagesReadWriteAndEraseAtTheirFileOffsets) {
    TImageSpec spec;
    spec.FirstStored = 2; // blocks 0 and 1 are not in the file
    OpenSpec(spec);
    const std::uint32_t firstPage = 2 * 32;
    EXPECT_EQ(ReadPages(0, 528), Bytes(528, 0xFF));

    Bytes pages(3 * 528);
    for (std::size_t i = 0; i < pages.size(); ++i)
        pages[i] = static_cast<std::uint8_t>(i * 7);
    const std::uint32_t page = firstPage + 32 + 4; // block 3, page 4
    TFlashWriteRequest w{pages.data(), page, 3, static_cast<std::uint32_t>(pages.size())};
    Exchange(CmdFlashWrite, &w, sizeof w, nullptr, 0);
    const Bytes file = ReadFile(Path);
    const std::size_t at = spec.DataStart + std::size_t{page - firstPage} * 528;
    EXPECT_EQ(Bytes(file.begin() + at, file.begin() + at + pages.size()), pages);

    // Units of 20 bytes at offset 500 of every page.
    const Bytes units = ReadPages(page, 20, 500, 3, 1);
    for (int u = 0; u < 3; ++u)
        EXPECT_EQ(Bytes(units.begin() + 20 * u, units.begin() + 20 * u + 20),
                  Bytes(pages.begin() + 528 * u + 500, pages.begin() + 528 * u + 520));

    const auto block = TBlockNumberRecord{3}.ToBytes();
    Exchange(CmdEraseBlock, block.data(), 4, nullptr, 0);
    EXPECT_EQ(ReadPages(page, 528), Bytes(528, 0xFF));
    const auto low = TBlockNumberRecord{1}.ToBytes(); // below the stored blocks: nothing
    Exchange(CmdEraseBlock, low.data(), 4, nullptr, 0);
}

TEST_F(ImageFileTest, PhysicalEraseCoversOneTransferOfPages) {
    TImageSpec spec;
    spec.FirstStored = 1;
    OpenSpec(spec);
    const std::uint32_t ppt = 32; // an opened image transfers whole blocks
    Bytes page(528, 0x00);
    for (std::uint32_t p : {2 * ppt, 3 * ppt}) {
        TFlashWriteRequest w{page.data(), p, 1, 528};
        Exchange(CmdFlashWrite, &w, sizeof w, nullptr, 0);
    }
    const auto phy = TBlockNumberRecord{2}.ToBytes();
    Exchange(CmdEraseBlockPhy, phy.data(), 4, nullptr, 0);
    EXPECT_EQ(ReadPages(2 * ppt, 528), Bytes(528, 0xFF));
    EXPECT_EQ(ReadPages(3 * ppt, 528), page);
    const auto below = TBlockNumberRecord{0}.ToBytes();
    Exchange(CmdEraseBlockPhy, below.data(), 4, nullptr, 0);
    EXPECT_EQ(ReadFile(Path)[spec.DataStart], 0xEE); // the magic block was not touched
}

TEST_F(ImageFileTest, CommandsOutsideTheFileFailWithoutTouchingTheBuffer) {
    OpenSpec({});
    const std::uint32_t pages = 8 * 32;
    Bytes buffer(528, 0xA5);
    TFlashReadRequest past{buffer.data(), pages, 1, 528, 0, 1};
    EXPECT_EQ(ErrorOf(CmdFlashRead, &past, sizeof past, nullptr, 0), RecErrIo);
    TFlashReadRequest straddling{buffer.data(), pages - 1, 1, 528, 10, 1};
    EXPECT_EQ(ErrorOf(CmdFlashRead, &straddling, sizeof straddling, nullptr, 0), RecErrIo);
    TFlashReadRequest noBuffer{nullptr, 0, 1, 528, 0, 1};
    EXPECT_EQ(ErrorOf(CmdFlashRead, &noBuffer, sizeof noBuffer, nullptr, 0), RecErrIo);
    EXPECT_EQ(ErrorOf(CmdFlashRead, &past, 4, nullptr, 0), RecErrIo);
    TFlashWriteRequest write{buffer.data(), pages - 1, 2, 2 * 528};
    EXPECT_EQ(ErrorOf(CmdFlashWrite, &write, sizeof write, nullptr, 0), RecErrIo);
    const auto block = TBlockNumberRecord{8}.ToBytes();
    EXPECT_EQ(ErrorOf(CmdEraseBlock, block.data(), 4, nullptr, 0), RecErrIo);
    EXPECT_EQ(ErrorOf(CmdEraseBlock, block.data(), 2, nullptr, 0), RecErrIo);
    const std::size_t size = std::filesystem::file_size(Path);
    EXPECT_EQ(std::filesystem::file_size(Path), size);

    // An image that disappears fails the next command instead of answering from nothing.
    std::filesystem::remove(Path);
    std::array<std::uint8_t, 2> volt{};
    EXPECT_EQ(ErrorOf(CmdPwVolt, nullptr, 0, volt.data(), 2), RecErrIo);
}

TEST_F(ImageFileTest, FixedAnswersAndSizeChecks) {
    OpenSpec({});
    std::array<std::uint8_t, 2> volt{};
    Exchange(CmdPwVolt, nullptr, 0, volt.data(), 2);
    EXPECT_EQ(TPwVoltRecord::FromBytes(volt.data()).Millivolts, 4200);
    std::array<std::uint8_t, 4> fw{};
    Exchange(CmdFwVer, nullptr, 0, fw.data(), 4);
    EXPECT_EQ(TFwVerRecord::FromBytes(fw.data()).Version, 0x010A);
    EXPECT_EQ(TFwVerRecord::FromBytes(fw.data()).Second, 0x0101);
    std::array<std::uint8_t, 9> prod{};
    const std::array<std::uint8_t, 9> prodRequest{};
    Exchange(CmdProdParam, prodRequest.data(), 9, prod.data(), 9);
    EXPECT_EQ(TProdParamRecord::FromBytes(prod.data()).SerialNumber, 123456789u);
    std::array<std::uint8_t, 5> rtc{};
    const std::array<std::uint8_t, 5> rtcRequest{};
    Exchange(CmdRtc, rtcRequest.data(), 5, rtc.data(), 5);
    EXPECT_GT(TRtcRecord::FromBytes(rtc.data()).Time, 1'700'000'000u);
    Exchange(CmdRtc, rtcRequest.data(), 5, nullptr, 5); // a null buffer only checks
    Exchange(CmdCloseLink, nullptr, 0, nullptr, 0);

    EXPECT_EQ(ErrorOf(CmdPwVolt, nullptr, 0, volt.data(), 3), RecErrInSize);
    EXPECT_EQ(ErrorOf(CmdFlashParam, nullptr, 0, fw.data(), 4), RecErrInSize);
    Bytes big(129);
    EXPECT_EQ(ErrorOf(CmdRtc, big.data(), 129, nullptr, 0), RecErrOutSize);
    std::array<std::uint8_t, 37> profile{};
    std::array<std::uint8_t, 2> active{};
    for (std::uint8_t cmd : {CmdProf, CmdActiveProf})
        EXPECT_EQ(ErrorOf(cmd, profile.data(), cmd == CmdProf ? 37 : 2, profile.data(),
                          cmd == CmdProf ? 37 : 2),
                  RecErrIo);
    for (std::uint8_t cmd : {5, 11, 17, 200})
        EXPECT_EQ(ErrorOf(cmd, nullptr, 0, nullptr, 0), RecErrIo);
    (void)active;
}

TEST_F(ImageFileTest, PasswordCheckAndStore) {
    SetImageFile(Path, true);
    ASSERT_TRUE(OpenImageFile());
    auto check = [](std::uint8_t request, const std::string& text, std::uint8_t pad) {
        TCheckPwRecord r;
        r.Request = request;
        r.Password.fill(pad);
        std::copy(text.begin(), text.end(), r.Password.begin());
        const auto bytes = r.ToBytes();
        std::array<std::uint8_t, 21> reply{};
        Exchange(CmdCheckPw, bytes.data(), 21, reply.data(), 21);
        return std::make_pair(bytes, reply);
    };
    // No password stored: the all-0xFF block is the right one.
    auto [noPw, noPwReply] = check(RequestGet, "", 0xFF);
    EXPECT_EQ(noPwReply, noPw);
    auto [wrong, wrongReply] = check(RequestGet, "secret", 0);
    EXPECT_EQ(wrongReply, (std::array<std::uint8_t, 21>{}));
    // An all-zero try must not be answered with itself.
    auto [zeros, zerosReply] = check(RequestGet, "", 0);
    EXPECT_FALSE(std::equal(zerosReply.begin() + 1, zerosReply.end(), zeros.begin() + 1));

    check(RequestSet, "secret", 0);
    auto [right, rightReply] = check(RequestGet, "secret", 0);
    EXPECT_EQ(rightReply, right);
    auto [old, oldReply] = check(RequestGet, "", 0xFF);
    EXPECT_NE(oldReply, old);

    std::array<std::uint8_t, 21> buf{};
    EXPECT_EQ(ErrorOf(CmdCheckPw, buf.data(), 20, buf.data(), 21), RecErrIo);
    EXPECT_EQ(ErrorOf(CmdCheckPw, buf.data(), 21, buf.data(), 20), RecErrIo);
}

TEST_F(ImageFileTest, SetDefaultHonoursItsRequestAndKeepsGeometry) {
    TImageSpec spec;
    spec.FirstStored = 0;
    Bytes image = BuildImage(spec);
    image[308 + 10] = 3;                                    // a changed profile value
    const std::size_t data = spec.DataStart + 2 * 528 * 32; // block 2
    image[data] = 0x12;
    PutU16At(image, 728, LayoutHeaderCrc(image.data()));
    WriteFile(Path, image);
    SetImageFile(Path, false);
    ASSERT_TRUE(OpenImageFile());

    const std::uint8_t settingsOnly = RequestGet;
    Exchange(CmdSetDefault, &settingsOnly, 1, nullptr, 0);
    Bytes after = ReadFile(Path);
    ASSERT_EQ(after.size(), image.size());
    EXPECT_EQ(after[308 + 10], 1);
    EXPECT_EQ(std::string(after.begin() + 310, after.begin() + 318), "Profile1");
    EXPECT_EQ(after[data], 0x12);
    EXPECT_EQ(U16(after, 728), LayoutHeaderCrc(after.data()));
    EXPECT_EQ(U16(after, 300), 528); // geometry kept

    const std::uint8_t eraseToo = RequestSet;
    Exchange(CmdSetDefault, &eraseToo, 1, nullptr, 0);
    after = ReadFile(Path);
    ASSERT_EQ(after.size(), image.size());
    EXPECT_EQ(after[data], 0xFF);
    EXPECT_EQ(after[spec.DataStart], 0xEE); // bookkeeping block stays
    ASSERT_TRUE(OpenImageFile());
    EXPECT_EQ(FlashParam().PageSize, 528);
}

TEST_F(ImageFileTest, HeaderWriteKeepsItsCrcValid) {
    SetImageFile(Path, true);
    ASSERT_TRUE(OpenImageFile());
    std::array<std::uint8_t, 356> settings{};
    settings.fill(7);
    SetImageHeaderSettings(settings.data());
    ASSERT_TRUE(WriteImageHeader());
    const Bytes file = ReadFile(Path);
    EXPECT_EQ(file[308], 7);
    EXPECT_EQ(file[663], 7);
    EXPECT_EQ(U16(file, 728), LayoutHeaderCrc(file.data()));
    EXPECT_TRUE(ReadImageHeader());
}

// Images of the recorder's size, as sparse files: 64-page blocks of 2112 bytes, up to the
// 65,536 blocks that 16-bit block numbers reach. Both kinds open them as they are; the block
// table, which cannot fit one block beyond 15,872 blocks, is left alone.
TEST_F(ImageFileTest, LargeImagesOpenInBothKindsAndStayWhole) {
    constexpr std::uint64_t BlockBytes = 2112 * 64;
    for (const std::uint32_t blocks : {15'872u, 16'384u, 32'768u, 65'536u}) {
        SCOPED_TRACE(blocks);
        TImageSpec spec{2112, 64, 1, 0, 2112, 1};
        Bytes head = BuildImage(spec);
        head[2112 + 2 * 2112] = 0x5A; // where a table's CRC would go for small images
        const std::uint64_t size = 2112 + blocks * BlockBytes;
        for (const bool create : {false, true}) {
            SCOPED_TRACE(create ? "demo kind" : "image kind");
            std::filesystem::remove(Path);
            WriteFile(Path, head);
            std::filesystem::resize_file(Path, size);
            SetImageFile(Path, create);
            ASSERT_EQ(std::filesystem::file_size(Path), size);
            ASSERT_TRUE(OpenImageFile());
            const TFlashParamRecord g = FlashParam();
            EXPECT_EQ(std::uint32_t{g.FlashCount} * g.BlocksPerFlash, blocks);
            EXPECT_EQ(g.PagesPerBlock, 64);
            EXPECT_EQ(g.PageSize, 2112);

            // The last block is served at its place in the file.
            const std::uint32_t lastPage = (blocks - 1) * 64 + 63;
            const Bytes page(2112, 0x3C);
            TFlashWriteRequest write{page.data(), lastPage, 1, 2112};
            Exchange(CmdFlashWrite, &write, sizeof write, nullptr, 0);
            EXPECT_EQ(ReadPages(lastPage, 2112), page);
            std::ifstream in(Path, std::ios::binary);
            in.seekg(static_cast<std::streamoff>(size - 2112));
            Bytes tail(2112);
            in.read(reinterpret_cast<char*>(tail.data()), 2112);
            EXPECT_EQ(tail, page);
            const TBlockNumberRecord last{blocks - 1};
            Exchange(CmdEraseBlock, last.ToBytes().data(), TBlockNumberRecord::Size, nullptr, 0);
            EXPECT_EQ(ReadPages(lastPage, 2112), Bytes(2112, 0xFF));

            // The table is rebuilt only where it fits.
            const Bytes file = ReadFile(Path, 2112 * 4);
            EXPECT_EQ(Bytes(file.begin(), file.begin() + 2112),
                      Bytes(head.begin(), head.begin() + 2112));
            const bool rebuilt = create && blocks <= 15'872;
            EXPECT_EQ(file[2112 + 2 * 2112] == 0x5A, !rebuilt);
        }
    }
}

// One block more than 16 bits can number: refused, and the demo kind leaves it as it is.
TEST_F(ImageFileTest, ImagesBeyondTheBlockLimitAreRefusedNotReplaced) {
    const std::uint64_t size = 2112 + 65'537ull * 2112 * 64;
    const Bytes head = BuildImage({2112, 64, 1, 0, 2112, 1});
    for (const bool create : {false, true}) {
        WriteFile(Path, head);
        std::filesystem::resize_file(Path, size);
        SetImageFile(Path, create);
        EXPECT_FALSE(OpenImageFile());
        EXPECT_EQ(std::filesystem::file_size(Path), size);
        EXPECT_EQ(ReadFile(Path, head.size()), head);
        EXPECT_FALSE(std::filesystem::exists(Path + ".tmp"));
    }
}

} // namespace
