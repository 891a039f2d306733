#include <gtest/gtest.h>
#include <optional>

#include "WaveTestSupport.h"
#include "audio/WaveAddInfo.h"
#include "audio/Wavefunc.h"

namespace {

using wavetest::ReadAll;
using wavetest::TTempDir;
using wavetest::WriteAll;

// --- Files built byte by byte for the reader -------------------------------------------------

struct TChunkSpec {
    TChunkSpec(std::string id, std::vector<std::uint8_t> body,
               std::optional<std::uint32_t> declaredSize = std::nullopt)
        : Id(std::move(id)), Body(std::move(body)), DeclaredSize(declaredSize) {}

    std::string Id; // four characters
    std::vector<std::uint8_t> Body;
    std::optional<std::uint32_t> DeclaredSize; // a lie about the size, when set
};

std::vector<std::uint8_t> FmtBody(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                                  std::size_t size = 16, std::uint16_t blockAlign = 0xFFFF) {
    std::vector<std::uint8_t> body(size, 0);
    std::uint8_t full[18] = {};
    const std::uint16_t align =
        blockAlign != 0xFFFF ? blockAlign : static_cast<std::uint16_t>(channels * ((bits + 7) / 8));
    PutU16(full + 0, 1);
    PutU16(full + 2, channels);
    PutU32(full + 4, rate);
    PutU32(full + 8, rate * align);
    PutU16(full + 12, align);
    PutU16(full + 14, bits);
    std::copy_n(full, std::min<std::size_t>(size, sizeof full), body.begin());
    return body;
}

std::vector<std::uint8_t> BuildRiff(const std::vector<TChunkSpec>& chunks,
                                    std::optional<std::uint32_t> riffSize = {},
                                    const std::string& form = "WAVE",
                                    const std::string& riffId = "RIFF") {
    std::vector<std::uint8_t> body(form.begin(), form.end());
    for (const TChunkSpec& c : chunks) {
        std::uint8_t header[8];
        std::copy_n(c.Id.begin(), 4, header);
        PutU32(header + 4, c.DeclaredSize.value_or(static_cast<std::uint32_t>(c.Body.size())));
        body.insert(body.end(), header, header + 8);
        body.insert(body.end(), c.Body.begin(), c.Body.end());
        if (c.Body.size() & 1u)
            body.push_back(0);
    }
    std::vector<std::uint8_t> file(riffId.begin(), riffId.end());
    file.resize(8);
    PutU32(file.data() + 4, riffSize.value_or(static_cast<std::uint32_t>(body.size())));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

const std::string AddInfoId = "\x21\x08\x19\x62";

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t first = 1) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>(first + i);
    return v;
}

TWaveAddInfo SampleAddInfo() {
    TWaveAddInfo info;
    info.Version = 5;
    info.CheckWord = 0x01020304;
    info.SerialNumber = u"SN-000123456789-ABCDEFG"; // longer than 20: cut
    info.ModelName = u"Q70 \u0436";
    info.RecordTime = {2023, 11, 4, 30, 23, 59, 58, 0};
    for (int i = 0; i < 64; ++i)
        info.MarkRecord[i] = static_cast<std::uint8_t>(200 + i);
    info.SourceCompression = 3;
    return info;
}

// --- Reading files we did not write ----------------------------------------------------------

struct TBadFileCase {
    const char* Name;
    std::vector<std::uint8_t> File;
    TWaveError Expected;
};

std::vector<TBadFileCase> BadFiles() {
    const auto fmt = FmtBody(1, 8000, 16);
    const auto data = Bytes(100);
    return {
        {"not RIFF", BuildRiff({{"fmt ", fmt}, {"data", data}}, {}, "WAVE", "RIFX"),
         TWaveError::NotWave},
        {"form not WAVE", BuildRiff({{"fmt ", fmt}, {"data", data}}, {}, "AVI "),
         TWaveError::NotWave},
        {"no fmt", BuildRiff({{"data", data}}), TWaveError::NoFormat},
        {"fmt of 15 bytes", BuildRiff({{"fmt ", FmtBody(1, 8000, 16, 15)}, {"data", data}}),
         TWaveError::BadFormatSize},
        {"fmt larger than the format area",
         BuildRiff({{"fmt ", FmtBody(1, 8000, 16, 149)}, {"data", data}}),
         TWaveError::BadFormatSize},
        {"fmt reaching past RIFF", BuildRiff({{"fmt ", fmt, 5000}}), TWaveError::NoFormat},
        {"zero channels", BuildRiff({{"fmt ", FmtBody(0, 8000, 16)}, {"data", data}}),
         TWaveError::BadFormat},
        {"zero rate", BuildRiff({{"fmt ", FmtBody(1, 0, 16)}, {"data", data}}),
         TWaveError::BadFormat},
        {"zero bits", BuildRiff({{"fmt ", FmtBody(1, 8000, 0, 16, 2)}, {"data", data}}),
         TWaveError::BadFormat},
        {"zero block align", BuildRiff({{"fmt ", FmtBody(1, 8000, 16, 16, 0)}, {"data", data}}),
         TWaveError::BadFormat},
        {"add-info over 64 KiB",
         BuildRiff({{"fmt ", fmt}, {"data", data}, {AddInfoId, Bytes(64 * 1024 + 2)}}),
         TWaveError::BadAddInfo},
        {"no data", BuildRiff({{"fmt ", fmt}}), TWaveError::NoData},
        {"cut inside fmt",
         [&] {
             auto file = BuildRiff({{"fmt ", fmt}, {"data", data}});
             file.resize(12 + 8 + 10);
             return file;
         }(),
         TWaveError::NoFormat},
        {"cut before data",
         [&] {
             auto file = BuildRiff({{"fmt ", fmt}, {"data", data}});
             file.resize(12 + 8 + 16 + 4);
             return file;
         }(),
         TWaveError::NoData},
        // A junk chunk claiming nearly 4 GiB must end the walk, not wrap it.
        {"huge junk before data",
         BuildRiff({{"fmt ", fmt}, {"junk", Bytes(8), 0xFFFFFFF8u}, {"data", data}}),
         TWaveError::NoData},
    };
}

TEST(WaveFileOpen, RefusesBadFilesClearly) {
    TTempDir dir;
    for (const TBadFileCase& c : BadFiles()) {
        SCOPED_TRACE(c.Name);
        const std::string path = dir.File("bad.wav");
        WriteAll(path, c.File);
        TWaveFile wave;
        wave.SetFileName(path);
        EXPECT_FALSE(wave.Open());
        EXPECT_EQ(wave.GetLastError(), c.Expected);
        EXPECT_FALSE(wave.IsOpen());
        EXPECT_EQ(wave.GetAddInfoSize(), -1);
        EXPECT_FALSE(IsWaveFile(path));
    }
}

// A file whose RIFF or data size states more than the file holds (cut short, written to a
// pipe with sizes 0xFFFFFFFF, without its pad byte) is read as far as it goes: the data that
// is there, nothing past the file's end, and the size the header states for the caller to
// report.
TEST(WaveFileOpen, AFileShorterThanItsHeaderGivesTheDataThatIsThere) {
    const auto fmt = FmtBody(1, 8000, 16);
    const auto data = Bytes(1001, 3); // odd: the RIFF writer pads it
    const auto whole = BuildRiff({{"fmt ", fmt}, {"data", data}, {AddInfoId, Bytes(170, 9)}});
    constexpr std::size_t DataStart = 12 + 8 + 16 + 8;
    const std::size_t addInfoAt = DataStart + 1001 + 1; // after the pad byte
    struct TCutCase {
        const char* Name;
        std::vector<std::uint8_t> File;
        std::uint64_t Data;       // bytes of data read
        std::uint64_t StatedData; // as the header states it
        std::int32_t AddInfo;     // its size, -1 for none
    };
    const auto cut = [&](std::size_t size) {
        return std::vector<std::uint8_t>(whole.begin(), whole.begin() + size);
    };
    const auto piped = [&] {
        auto file = BuildRiff({{"fmt ", fmt}, {"data", data, 0xFFFFFFFFu}}, 0xFFFFFFFFu);
        file.pop_back(); // no pad byte either
        return file;
    }();
    const TCutCase cases[] = {
        {"whole", whole, 1001, 1001, 170},
        {"cut after one byte of data", cut(DataStart + 1), 1, 1001, -1},
        {"cut in the middle of data", cut(DataStart + 500), 500, 1001, -1},
        {"cut before the pad byte", cut(DataStart + 1001), 1001, 1001, -1},
        {"cut inside the add-info header", cut(addInfoAt + 5), 1001, 1001, -1},
        {"cut inside the add-info", cut(addInfoAt + 8 + 100), 1001, 1001, 100},
        {"written to a pipe", piped, 1001, 0xFFFFFFFFu, -1},
    };
    TTempDir dir;
    for (const TCutCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = dir.File("cut.wav");
        WriteAll(path, c.File);
        EXPECT_TRUE(IsWaveFile(path));
        TWaveFile wave;
        wave.SetFileName(path);
        ASSERT_TRUE(wave.Open()) << static_cast<int>(wave.GetLastError());
        EXPECT_EQ(wave.GetDataSize(), c.Data);
        EXPECT_EQ(wave.GetStatedDataSize(), c.StatedData);
        EXPECT_EQ(wave.GetAddInfoSize(), c.AddInfo);
        std::vector<std::uint8_t> got(2000);
        const std::int32_t n = wave.Read(got.data(), static_cast<std::int32_t>(got.size()));
        ASSERT_EQ(n, static_cast<std::int32_t>(c.Data));
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + n, data.begin()));
        EXPECT_EQ(wave.Read(got.data(), 10), 0);
        EXPECT_TRUE(wave.Close());
    }
}

TEST(WaveFileOpen, WalksPastOtherChunksAndPicksTheFirstAddInfoAfterFmt) {
    TTempDir dir;
    const std::string path = dir.File("walk.wav");
    std::vector<TChunkSpec> chunks;
    chunks.push_back({AddInfoId, Bytes(46, 90)}); // before "fmt ": not looked at
    chunks.push_back({"fmt ", FmtBody(2, 44100, 16, 18)});
    for (int i = 0; i < 50; ++i)
        chunks.push_back({"zero", {}}); // empty chunks still move the walk on
    chunks.push_back({"LIST", Bytes(33)});
    chunks.push_back({"data", Bytes(400)});
    chunks.push_back({AddInfoId, Bytes(170, 7)});
    chunks.push_back({AddInfoId, Bytes(62, 50)});
    WriteAll(path, BuildRiff(chunks));

    TWaveFile wave;
    wave.SetFileName(path);
    ASSERT_TRUE(wave.Open());
    EXPECT_EQ(wave.GetFormat().Channels, 2);
    EXPECT_EQ(wave.GetFormat().SamplesPerSec, 44100u);
    EXPECT_EQ(wave.GetDataSize(), 400u);
    ASSERT_EQ(wave.GetAddInfoSize(), 170);
    EXPECT_EQ(wave.GetAddInfo()[0], 7);

    std::vector<std::uint8_t> buffer(1000);
    EXPECT_EQ(wave.Read(buffer.data(), 150), 150);
    EXPECT_EQ(wave.Read(buffer.data() + 150, 1000), 250);
    // At the end of the data nothing more comes, though chunks follow it.
    EXPECT_EQ(wave.Read(buffer.data(), 1000), 0);
    buffer.resize(400);
    EXPECT_EQ(buffer, Bytes(400));
    EXPECT_TRUE(wave.Close());
    EXPECT_EQ(wave.GetAddInfoSize(), -1);
}

// --- Add-info versions ----------------------------------------------------------------------

TEST(WaveAddInfo, VersionIsTheSize) {
    const std::pair<std::int32_t, int> cases[] = {{46, 1},  {62, 2},  {104, 3}, {168, 4},
                                                  {170, 5}, {100, 0}, {0, 0},   {-1, 0}};
    for (const auto& [size, version] : cases)
        EXPECT_EQ(WaveAddInfoVersion(size), version) << size;
}

TEST(WaveAddInfo, EveryVersionRoundTripsAtItsOffsets) {
    for (int version = 1; version <= 5; ++version) {
        SCOPED_TRACE(version);
        TWaveAddInfo info = SampleAddInfo();
        info.Version = version;
        const std::vector<std::uint8_t> raw = BuildWaveAddInfo(info);
        ASSERT_EQ(static_cast<std::int32_t>(raw.size()), WaveAddInfoSizes[version]);
        const TWaveAddInfo back =
            ParseWaveAddInfo(raw.data(), static_cast<std::int32_t>(raw.size()));
        EXPECT_EQ(back.Version, version);
        EXPECT_EQ(GetU32(raw.data()), 0x01020304u);
        EXPECT_EQ(back.SerialNumber, u"SN-000123456789-ABCD");
        // Offsets of the serial's first character and the model text.
        if (version >= 3) {
            EXPECT_EQ(GetU16(raw.data() + 4), u'S');
            EXPECT_EQ(GetU16(raw.data() + 46), u'Q');
            EXPECT_EQ(back.ModelName, u"Q70 \u0436");
            EXPECT_EQ(GetU16(raw.data() + 88), 2023);  // SYSTEMTIME
            EXPECT_EQ(GetU16(raw.data() + 88 + 4), 4); // DayOfWeek
        } else {
            EXPECT_EQ(raw[4], 'S');
            EXPECT_EQ(raw[25], 'Q');
            EXPECT_EQ(back.ModelName, u"Q70 ?"); // 8-bit text
        }
        if (version == 2) {
            EXPECT_EQ(GetU16(raw.data() + 46), 2023);
        }
        if (version >= 2) {
            EXPECT_EQ(back.RecordTime, info.RecordTime);
        }
        if (version >= 4) {
            EXPECT_EQ(raw[104], 200);
            EXPECT_EQ(back.MarkRecord, info.MarkRecord);
        }
        if (version == 5) {
            EXPECT_EQ(GetU16(raw.data() + 168), 3);
            EXPECT_EQ(back.SourceCompression, 3);
        }
    }
}

TEST(WaveAddInfo, CheckWordTransformFromVersionFour) {
    const std::uint32_t crc = 0xA8A63372u;
    EXPECT_EQ(EncodeWaveCheckWord(5, crc), 0x020C99D8u);
    EXPECT_EQ(EncodeWaveCheckWord(4, crc), 0x020C99D8u);
    EXPECT_EQ(EncodeWaveCheckWord(3, crc), crc);
    EXPECT_TRUE(WaveCheckWordMatches(5, 0x020C99D8u, crc));
    EXPECT_TRUE(WaveCheckWordMatches(3, crc, crc));
    EXPECT_FALSE(WaveCheckWordMatches(3, 0x020C99D8u, crc));
    EXPECT_FALSE(WaveCheckWordMatches(0, crc, crc));
}

// --- Writing ---------------------------------------------------------------------------------

struct TWrittenFile {
    std::string Path;
    std::vector<std::uint8_t> Data;
};

TWrittenFile WriteWave(const TTempDir& dir, const std::string& name, std::uint16_t channels,
                       std::uint32_t rate, std::uint16_t bits, std::size_t dataBytes,
                       std::optional<std::vector<std::uint8_t>> addInfo) {
    TWrittenFile written{dir.File(name), Bytes(dataBytes, 3)};
    TWaveFile wave;
    wave.SetFileName(written.Path);
    SetPcmFormat(&wave.GetFormat(), channels, rate, bits);
    EXPECT_TRUE(wave.Create());
    // Odd pieces on purpose: the file must not care how the data came.
    std::size_t at = 0;
    while (at < dataBytes) {
        const std::size_t piece = std::min<std::size_t>(dataBytes - at, 333);
        EXPECT_EQ(wave.Write(written.Data.data() + at, static_cast<std::int32_t>(piece)),
                  static_cast<std::int32_t>(piece));
        at += piece;
    }
    if (addInfo) {
        EXPECT_TRUE(wave.SetAddInfo(*addInfo));
    }
    EXPECT_TRUE(wave.Close());
    return written;
}

TEST(WaveFileCreate, PcmHeaderHasSixteenByteFmtAndNoFact) {
    TTempDir dir;
    const auto written = WriteWave(dir, "pcm.wav", 1, 8000, 16, 1000, std::nullopt);
    const auto file = ReadAll(written.Path);
    ASSERT_EQ(file.size(), 44u + 1000u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(GetU32(file.data() + 4), file.size() - 8);
    EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(GetU32(file.data() + 16), 16u);
    EXPECT_EQ(GetU16(file.data() + 20), 1);      // PCM
    EXPECT_EQ(GetU32(file.data() + 28), 16000u); // average bytes per second
    EXPECT_EQ(GetU16(file.data() + 32), 2);      // block align
    EXPECT_EQ(std::string(file.begin() + 36, file.begin() + 40), "data");
    EXPECT_EQ(GetU32(file.data() + 40), 1000u);
}

TEST(WaveFileCreate, ImaAdpcmGetsItsFormatSizeAndAFactChunk) {
    TTempDir dir;
    const std::string path = dir.File("ima.wav");
    TWaveFile wave;
    wave.SetFileName(path);
    TWaveFormat& f = wave.GetFormat();
    f.FormatTag = WaveFormatImaAdpcm;
    f.Channels = 1;
    f.SamplesPerSec = 8000;
    f.BitsPerSample = 4;
    f.BlockAlign = 256;
    f.AvgBytesPerSec = 4055;
    f.ExtraSize = 2;
    PutU16(f.Extra.data(), 505);
    ASSERT_TRUE(wave.Create());
    const auto data = Bytes(1001);
    EXPECT_EQ(wave.Write(data.data(), 1001), 1001);
    EXPECT_EQ(wave.GetSampleCount(), 1001u * 8 / 4);
    ASSERT_TRUE(wave.Close());

    const auto file = ReadAll(path);
    EXPECT_EQ(GetU32(file.data() + 16), 20u);
    EXPECT_EQ(GetU16(file.data() + 36), 2);   // extra size
    EXPECT_EQ(GetU16(file.data() + 38), 505); // samples per block
    EXPECT_EQ(std::string(file.begin() + 40, file.begin() + 44), "fact");
    EXPECT_EQ(GetU32(file.data() + 48), 2002u);
    EXPECT_EQ(std::string(file.begin() + 52, file.begin() + 56), "data");
    EXPECT_EQ(GetU32(file.data() + 56), 1001u);
    EXPECT_EQ(file.size() % 2, 0u); // the odd data chunk got its pad byte

    TWaveFile back;
    back.SetFileName(path);
    ASSERT_TRUE(back.Open());
    EXPECT_EQ(back.GetFormat(), f);
    EXPECT_EQ(back.GetDataSize(), 1001u);
}

TEST(WaveFileCreate, RoundTripWithEveryKindOfAddInfo) {
    TTempDir dir;
    struct TCase {
        const char* Name;
        std::optional<std::vector<std::uint8_t>> AddInfo;
        int Version;
    } cases[] = {
        {"none", std::nullopt, 0},
        {"version 5", BuildWaveAddInfo(SampleAddInfo()), 5},
        {"odd size, no known version", Bytes(47), 0},
        {"100 bytes, no known version", Bytes(100), 0},
        {"empty", std::vector<std::uint8_t>{}, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto written = WriteWave(dir, "rt.wav", 2, 22050, 16, 4000, c.AddInfo);
        const auto file = ReadAll(written.Path);
        EXPECT_EQ(file.size() % 2, 0u);
        EXPECT_EQ(GetU32(file.data() + 4), file.size() - 8);

        TWaveFile wave;
        wave.SetFileName(written.Path);
        ASSERT_TRUE(wave.Open());
        EXPECT_EQ(wave.GetFormat().Channels, 2);
        EXPECT_EQ(wave.GetFormat().SamplesPerSec, 22050u);
        EXPECT_EQ(wave.GetFormat().BlockAlign, 4);
        EXPECT_EQ(wave.GetDataSize(), 4000u);
        if (c.AddInfo) {
            ASSERT_TRUE(wave.HasAddInfo());
            EXPECT_EQ(wave.GetAddInfo(), *c.AddInfo);
        } else {
            EXPECT_EQ(wave.GetAddInfoSize(), -1);
        }
        EXPECT_EQ(WaveAddInfoVersion(wave.GetAddInfoSize()), c.Version);
        std::vector<std::uint8_t> data(5000);
        data.resize(static_cast<std::size_t>(wave.Read(data.data(), 5000)));
        EXPECT_EQ(data, written.Data);
        EXPECT_TRUE(wave.Close());
        EXPECT_EQ(wave.GetAddInfoSize(), -1);
    }
}

TEST(WaveFileCreate, ReplacesTheTargetOnlyOnASuccessfulClose) {
    TTempDir dir;
    const std::string path = dir.File("keep.wav");
    const std::vector<std::uint8_t> original = {'o', 'l', 'd'};
    WriteAll(path, original);
    const auto samples = Bytes(64);
    {
        TWaveFile wave;
        wave.SetFileName(path);
        ASSERT_TRUE(wave.Create());
        wave.Write(samples.data(), 64);
        wave.Abandon();
        EXPECT_FALSE(wave.IsOpen());
    }
    {
        TWaveFile wave; // destroyed while still being written
        wave.SetFileName(path);
        ASSERT_TRUE(wave.Create());
        wave.Write(samples.data(), 64);
    }
    EXPECT_EQ(ReadAll(path), original);
    EXPECT_EQ(dir.EntryCount(), 1u); // no temporary file left behind

    TWaveFile wave;
    wave.SetFileName(path);
    ASSERT_TRUE(wave.Create());
    wave.Write(samples.data(), 64);
    ASSERT_TRUE(wave.Close());
    EXPECT_EQ(ReadAll(path).size(), 44u + 64u);
    EXPECT_EQ(dir.EntryCount(), 1u);
}

TEST(WaveFileCreate, RefusesWhatItCannotWrite) {
    TTempDir dir;
    TWaveFile wave;
    wave.SetFileName(dir.File("x.wav"));
    wave.GetFormat().FormatTag = 3; // IEEE float: not in our table
    EXPECT_FALSE(wave.Create());
    EXPECT_EQ(wave.GetLastError(), TWaveError::UnsupportedTag);
    SetPcmFormat(&wave.GetFormat(), 1, 8000, 0);
    EXPECT_FALSE(wave.Create());
    EXPECT_EQ(wave.GetLastError(), TWaveError::BadFormat);
    EXPECT_EQ(dir.EntryCount(), 0u);

    wave.SetFileName(dir.File("no/such/folder/x.wav"));
    SetPcmFormat(&wave.GetFormat(), 1, 8000, 16);
    EXPECT_FALSE(wave.Create());
    EXPECT_EQ(wave.GetLastError(), TWaveError::CantOpen);
    EXPECT_NE(wave.GetLastErrno(), 0);
    EXPECT_FALSE(wave.Close());
    std::uint8_t byte = 0;
    EXPECT_EQ(wave.Write(&byte, 1), -1);
    EXPECT_FALSE(SetPcmFormat(nullptr, 1, 8000, 16));
}

// --- Readers nobody here wrote ----------------------------------------------------------------

TEST(WaveFileReference, PythonWaveReadsOurFiles) {
    if (!wavetest::ToolAvailable("python3"))
        GTEST_SKIP() << "python3 not installed";
    TTempDir dir;
    struct TCase {
        std::uint16_t Channels;
        std::uint32_t Rate;
        std::uint16_t Bits;
        std::size_t Bytes;
        bool AddInfo;
    } cases[] = {{1, 8000, 16, 16000, true},
                 {2, 40000, 16, 40000, true},
                 {1, 11025, 8, 999, true},
                 {2, 16000, 16, 0, false}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Channels * 100000 + c.Rate);
        std::optional<std::vector<std::uint8_t>> addInfo;
        if (c.AddInfo)
            addInfo = BuildWaveAddInfo(SampleAddInfo());
        const auto written = WriteWave(dir, "py.wav", c.Channels, c.Rate, c.Bits, c.Bytes, addInfo);
        const std::string script =
            "import sys, wave, zlib\n"
            "w = wave.open(sys.argv[1], 'rb')\n"
            "f = w.readframes(w.getnframes())\n"
            "print(w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes(), "
            "len(f), zlib.crc32(f))\n";
        const std::string scriptPath = dir.File("read.py");
        WriteAll(scriptPath, std::vector<std::uint8_t>(script.begin(), script.end()));
        const std::string output =
            wavetest::RunCommand("python3 '" + scriptPath + "' '" + written.Path + "'");
        const std::size_t frames = c.Bytes / (c.Channels * c.Bits / 8);
        const std::string expected =
            std::to_string(c.Channels) + " " + std::to_string(c.Bits / 8) + " " +
            std::to_string(c.Rate) + " " + std::to_string(frames) + " " + std::to_string(c.Bytes) +
            " " +
            std::to_string(crc32(0, written.Data.data(), static_cast<uInt>(written.Data.size())));
        EXPECT_EQ(output, expected);
    }
}

TEST(WaveFileReference, SoxiReadsOurFiles) {
    if (!wavetest::ToolAvailable("soxi"))
        GTEST_SKIP() << "soxi not installed";
    TTempDir dir;
    struct TCase {
        std::uint16_t Channels;
        std::uint32_t Rate;
        std::uint16_t Bits;
        std::size_t Bytes;
    } cases[] = {{1, 8000, 16, 16000}, {2, 40000, 16, 8000}, {1, 13333, 8, 1001}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Rate);
        const auto written = WriteWave(dir, "sox.wav", c.Channels, c.Rate, c.Bits, c.Bytes,
                                       BuildWaveAddInfo(SampleAddInfo()));
        const std::string q = " '" + written.Path + "'";
        EXPECT_EQ(wavetest::RunCommand("soxi -c" + q), std::to_string(c.Channels));
        EXPECT_EQ(wavetest::RunCommand("soxi -r" + q), std::to_string(c.Rate));
        EXPECT_EQ(wavetest::RunCommand("soxi -b" + q), std::to_string(c.Bits));
        EXPECT_EQ(wavetest::RunCommand("soxi -s" + q),
                  std::to_string(c.Bytes / (c.Channels * c.Bits / 8)));
        EXPECT_EQ(wavetest::RunCommand("soxi -t" + q), "wav");
    }
}

} // namespace
