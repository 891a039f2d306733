// The sound-information dialog: file and recording texts, the integrity check of the samples,
// and the caller-ID analysis through the built library, over WAV files the program's own
// writer produces from synthesised call audio.
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <numbers>
#include <string>
#include <vector>

#include <QDate>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>

#include "audio/CrcWaveFile.h"
#include "audio/RecorderWaveFile.h"
#include "audio/WaveAddInfo.h"
#include "audio/Wavefunc.h"
#include "ui/NorvelLoader.h"
#include "ui/SoundInfoAnalysis.h"
#include "ui/SoundInfoFeed.h"
#include "ui/SoundInfoFrm.h"

// Failures show the texts, not their bytes.
void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

using TSamples = std::vector<double>; // one value per frame, full scale 1.0

// The library the build places beside the callerid folder: <build>/callerid/libnorvel.so,
// the test being <build>/tests/ui/test_ui.
std::string BuiltLibraryPath() {
    const auto exe = std::filesystem::read_symlink("/proc/self/exe");
    return (exe.parent_path().parent_path().parent_path() / "callerid" / TNorvelLibrary::FileName)
        .string();
}

#define REQUIRE_BUILT_LIBRARY()                                                                    \
    if (!std::filesystem::exists(BuiltLibraryPath())) {                                            \
        GTEST_SKIP() << "build the norvel target first: " << BuiltLibraryPath();                   \
    }

void AppendSilence(TSamples& out, int rate, int ms) {
    out.resize(out.size() + rate * ms / 1000);
}

// A DTMF digit as the sum of its two sines, each at a third of full scale... well below the
// level at which the decoder takes a sample for a dialling click.
void AppendDtmf(TSamples& out, int rate, char digit, int ms) {
    static const std::string keys = "123A456B789C*0#D";
    static const double rows[] = {697, 770, 852, 941};
    static const double columns[] = {1209, 1336, 1477, 1633};
    const auto index = keys.find(digit);
    ASSERT_NE(index, std::string::npos);
    const double low = rows[index / 4];
    const double high = columns[index % 4];
    const int count = rate * ms / 1000;
    for (int i = 0; i < count; ++i) {
        const double t = double(i) / rate;
        out.push_back(0.09 * (std::sin(2 * std::numbers::pi * low * t) +
                              std::sin(2 * std::numbers::pi * high * t)));
    }
}

TSamples DtmfCall(int rate, const std::string& digits) {
    TSamples out;
    AppendSilence(out, rate, 200);
    for (const char digit : digits) {
        AppendDtmf(out, rate, digit, 100);
        AppendSilence(out, rate, 100);
    }
    AppendSilence(out, rate, 300);
    return out;
}

// A caller-ID message after its 1200 Hz announcement: Bell 202 FSK at 1200 baud, continuous
// phase, one start bit, eight data bits (least significant first), one stop bit. The message
// frame is 0x80, the length, the parameters and a checksum that brings the byte sum to 0.
TSamples FskCall(int rate, const std::vector<std::uint8_t>& parameters) {
    std::vector<std::uint8_t> message = {0x80, static_cast<std::uint8_t>(parameters.size())};
    message.insert(message.end(), parameters.begin(), parameters.end());
    unsigned sum = 0;
    for (const std::uint8_t byte : message) {
        sum += byte;
    }
    message.push_back(static_cast<std::uint8_t>(-sum));

    std::vector<int> bits(240, 1); // 200 ms of mark
    for (const std::uint8_t byte : message) {
        bits.push_back(0);
        for (int i = 0; i < 8; ++i) {
            bits.push_back((byte >> i) & 1);
        }
        bits.push_back(1);
    }
    bits.insert(bits.end(), 12, 1);

    TSamples out;
    AppendSilence(out, rate, 200);
    double phase = 0;
    const double samplesPerBit = double(rate) / 1200;
    const auto total = static_cast<std::size_t>(bits.size() * samplesPerBit);
    for (std::size_t i = 0; i < total; ++i) {
        const int bit = bits[static_cast<std::size_t>(i / samplesPerBit)];
        phase += 2 * std::numbers::pi * (bit != 0 ? 1200.0 : 2200.0) / rate;
        out.push_back(0.18 * std::sin(phase));
    }
    AppendSilence(out, rate, 300);
    return out;
}

// Little-endian PCM bytes of the frames, every channel holding the same value.
std::vector<std::uint8_t> PcmBytes(const TSamples& frames, int channels, int bits) {
    std::vector<std::uint8_t> bytes;
    for (const double value : frames) {
        for (int c = 0; c < channels; ++c) {
            const auto s16 = static_cast<std::int16_t>(std::lround(value * 32767));
            if (bits == 8) {
                bytes.push_back(static_cast<std::uint8_t>((s16 >> 8) + 128));
            } else {
                bytes.push_back(static_cast<std::uint8_t>(s16 & 0xFF));
                bytes.push_back(static_cast<std::uint8_t>((s16 >> 8) & 0xFF));
            }
        }
    }
    return bytes;
}

struct TFileSpec {
    int Channels = 1;
    int Rate = 8000;
    int Bits = 16;
    int AddInfoVersion = 5; // 0: no private chunk
    std::uint16_t SourceCompression = 1;
};

// A file as a download writes it: the data through TCrcWaveFile, then the add-info record
// with the check word of the CRC the writes ran.
std::string WriteWave(const QTemporaryDir& dir, const std::string& name,
                      const std::vector<std::uint8_t>& data, const TFileSpec& spec) {
    const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
    TCrcWaveFile wave;
    wave.SetFileName(path);
    SetPcmFormat(&wave.GetFormat(), spec.Channels, spec.Rate, spec.Bits);
    EXPECT_TRUE(wave.Create());
    EXPECT_EQ(wave.Write(data.data(), static_cast<std::int32_t>(data.size())),
              static_cast<std::int32_t>(data.size()));
    if (spec.AddInfoVersion > 0) {
        TWaveAddInfo info;
        info.Version = spec.AddInfoVersion;
        info.CheckWord = EncodeWaveCheckWord(spec.AddInfoVersion, wave.GetCrc());
        info.SerialNumber = u"SN-004711";
        info.ModelName = u"Q70";
        info.RecordTime = TSystemTime{2024, 3, 0, 9, 14, 5, 6, 0};
        info.SourceCompression = spec.SourceCompression;
        EXPECT_TRUE(wave.SetAddInfo(BuildWaveAddInfo(info)));
    }
    EXPECT_TRUE(wave.Close());
    return path;
}

// Flips one byte of the data chunk in place, as a later edit of the file would.
void ChangeDataByte(const std::string& path, std::uint64_t offsetInData) {
    TWaveFile probe;
    probe.SetFileName(path);
    ASSERT_TRUE(probe.Open());
    const std::uint64_t at = probe.GetDataStart() + offsetInData;
    probe.Close();
    FILE* file = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(file, nullptr);
    std::fseek(file, static_cast<long>(at), SEEK_SET);
    const int old = std::fgetc(file);
    std::fseek(file, static_cast<long>(at), SEEK_SET);
    std::fputc(old ^ 0x01, file);
    std::fclose(file);
}

TSoundInfoTexts Analyse(const std::string& path, const std::vector<std::string>& library) {
    TWaveFile wave;
    wave.SetFileName(path);
    EXPECT_TRUE(wave.Open());
    TNorvelLibrary norvel;
    norvel.Load(library);
    TSoundInfoTexts texts = AnalyseSoundFile(wave, &norvel);
    EXPECT_FALSE(wave.IsOpen());
    return texts;
}

TCallerIdStatus Record(std::initializer_list<std::uint16_t> words) {
    TCallerIdStatus status{};
    int i = 0;
    for (const std::uint16_t word : words) {
        status.Words[i++] = word;
    }
    return status;
}

} // namespace

TEST(SoundInfoCallText, StatusRecordsAsText) {
    struct TCase {
        const char* Name;
        TCallerIdStatus Status;
        QString Expected;
    };
    const TCase cases[] = {
        {"nothing found", Record({}), "No call information was found"},
        {"outgoing DTMF with keys", Record({2, 4, 0, 1, 5, 14, 0}),
         "Output call\nDTMF number: 5140\n"},
        {"incoming pulse digits", Record({1, 3, 0, 0, 7, 0}), "Input call\nPulse number: 70\n"},
        {"multi-frequency number after the digits",
         Record({2, 2, 9, 1, 3, 0, 1, 2, 3, 4, 5, 6, 7, 8}),
         "Output call\nDTMF number: 3\nRussian AON: 12345678\n"},
        {"FSK parameters, known types and one other",
         Record({1, 0, 12, 1, 2, 2, 'A', 'B', 4, 3, 'x', 'y', 'z', 7, 0}),
         "Input call\nCaller ID\nName parameter: Call identifier: 2\nAB\n"
         "Name parameter: 4 3\nxyz\nName parameter: Call name: 0\n\n"},
        {"control codes are not put into the label", Record({1, 0, 4, 1, 1, 1, 0}),
         "Input call\nCaller ID\nName parameter: Date and time: 1\n.\n"},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(CallInfoText(c.Status), c.Expected) << c.Name;
    }
}

TEST(SoundInfoCallText, LengthsPastTheRecordStayInside) {
    // Group lengths and parameter lengths far beyond the 128 words: the text is built from
    // the words the record has, nothing is read past it (the sanitizer build checks).
    TCallerIdStatus digits = Record({2, 500, 0, 1});
    const QString digitText = CallInfoText(digits);
    EXPECT_TRUE(digitText.startsWith("Output call\nDTMF number: ")) << digitText.toStdString();
    EXPECT_EQ(digitText.size(), QString("Output call\nDTMF number: \n").size() + 124);

    TCallerIdStatus fsk = Record({1, 0, 60000, 1, 2, 60000, 'Q'});
    const QString fskText = CallInfoText(fsk);
    EXPECT_TRUE(
        fskText.startsWith("Input call\nCaller ID\nName parameter: Call identifier: 122\nQ"))
        << fskText.toStdString();

    TCallerIdStatus lone = Record({1, 0, 2, 1, 2}); // a type word without its length
    EXPECT_EQ(CallInfoText(lone), "Input call\nCaller ID\n");
}

TEST(SoundInfoFileText, LengthFromTheFormat) {
    struct TCase {
        std::uint64_t Size;
        unsigned Channels, Rate, Align, Bits;
        const char* Length;
    };
    const TCase cases[] = {
        {16000, 1, 8000, 2, 16, "00:00:01"},
        {15999, 1, 8000, 2, 16, "00:00:00"},
        {3723ull * 8000, 1, 8000, 1, 8, "01:02:03"},
        {3723ull * 44100 * 4, 2, 44100, 4, 16, "01:02:03"},
        {16000, 0, 8000, 2, 16, "00:00:00"}, // undefined lengths read as 0, no trap
        {16000, 1, 0, 2, 16, "00:00:00"},
        {16000, 1, 8000, 2, 0, "00:00:00"},
    };
    for (const TCase& c : cases) {
        const QString text = SoundFileInfoText(c.Size, c.Channels, c.Rate, c.Align, c.Bits);
        EXPECT_TRUE(text.contains(QString("Length: ") + c.Length)) << text.toStdString();
        EXPECT_TRUE(text.contains(QString("Data size: %1\n").arg(c.Size))) << text.toStdString();
        EXPECT_FALSE(text.contains('\r'));
    }
    EXPECT_EQ(SourceCompressionName(0), "No compress");
    EXPECT_EQ(SourceCompressionName(3), "ADPCM 2 bit");
    EXPECT_EQ(SourceCompressionName(4), "Unknown");
}

TEST(SoundInfoFeed, ConvertsToSixteenBitMono) {
    struct TCase {
        const char* Name;
        TWaveFormat Format;
        std::vector<std::uint8_t> Bytes;
        std::int32_t Rate;
        std::vector<std::int16_t> Expected;
    };
    auto format = [](unsigned channels, unsigned rate, unsigned bits) {
        TWaveFormat f;
        SetPcmFormat(&f, channels, rate, bits);
        return f;
    };
    const TCase cases[] = {
        {"16-bit mono as it is",
         format(1, 8000, 16),
         {0x34, 0x12, 0x00, 0x80},
         8000,
         {0x1234, -32768}},
        {"8-bit is unsigned", format(1, 8000, 8), {0x80, 0xFF, 0x00}, 8000, {0, 127 * 256, -32768}},
        {"stereo averaged",
         format(2, 8000, 16),
         {0x00, 0x10, 0x00, 0x30, 0xFF, 0xFF, 0x01, 0x00},
         8000,
         {0x2000, 0}},
        {"44100 Hz halved",
         format(1, 44100, 16),
         {0x10, 0x00, 0x30, 0x00, 0x50, 0x00},
         22050,
         {0x20}},
        {"24-bit keeps its upper bytes", format(1, 8000, 24), {0xAA, 0x34, 0x12}, 8000, {0x1234}},
    };
    for (const TCase& c : cases) {
        TSoundInfoFeed feed(c.Format);
        ASSERT_TRUE(feed.IsUsable()) << c.Name;
        EXPECT_EQ(feed.GetOutputRate(), c.Rate) << c.Name;
        // Byte by byte: frames split across blocks come out whole.
        std::vector<std::int16_t> out;
        for (const std::uint8_t byte : c.Bytes) {
            feed.Convert(&byte, 1, out);
        }
        EXPECT_EQ(out, c.Expected) << c.Name;
    }
    TWaveFormat adpcm = format(1, 8000, 4);
    adpcm.FormatTag = WaveFormatImaAdpcm;
    EXPECT_FALSE(TSoundInfoFeed(adpcm).IsUsable());
    EXPECT_FALSE(TSoundInfoFeed(format(1, 3000, 16)).IsUsable());

    // Rates up to the largest a header can state are reduced to what the decoder takes; near
    // 2^32 the rounding up of the factor would wrap in 32 bits to a division by zero.
    for (const std::uint32_t rate : {40001u, 0x7FFFFFFFu, 0xFFFF63C0u, 0xFFFF63C1u, 0xFFFFFFFFu}) {
        TSoundInfoFeed feed(format(1, rate, 16));
        ASSERT_TRUE(feed.IsUsable()) << rate;
        EXPECT_GE(feed.GetOutputRate(), TSoundInfoFeed::MinDecoderRate) << rate;
        EXPECT_LE(feed.GetOutputRate(), TSoundInfoFeed::MaxDecoderRate) << rate;
        std::vector<std::int16_t> out;
        const std::vector<std::uint8_t> bytes(4096, 0x11);
        feed.Convert(bytes.data(), bytes.size(), out);
        EXPECT_LE(out.size(), 2048u / 2) << rate;
    }
}

class SoundInfoFile : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    std::vector<std::string> Library{BuiltLibraryPath()};
};

TEST_F(SoundInfoFile, DownloadedFilePassesAndAnEditFails) {
    REQUIRE_BUILT_LIBRARY();
    const std::string path =
        WriteWave(Dir, "call.wav", PcmBytes(DtmfCall(8000, "4711"), 1, 16), {});

    const TSoundInfoTexts intact = Analyse(path, Library);
    EXPECT_EQ(intact.AddInfoVersion, 5);
    EXPECT_TRUE(intact.IntegrityPassed);
    EXPECT_TRUE(intact.AddInfo.startsWith("Recorder model: Q70\n    S/N:SN-004711.\n"
                                          "    Integerity checking: passed.\n    "))
        << intact.AddInfo.toStdString();
    EXPECT_TRUE(intact.AddInfo.endsWith("06\n    Source compress type: ADPCM 4 bit\n\n"))
        << intact.AddInfo.toStdString();
    EXPECT_EQ(intact.CallInfo, "Output call\nDTMF number: 4711\n");
    EXPECT_TRUE(intact.AnalysisNote.isEmpty());

    ChangeDataByte(path, 1001);
    const TSoundInfoTexts edited = Analyse(path, Library);
    EXPECT_TRUE(edited.IntegrityChecked);
    EXPECT_FALSE(edited.IntegrityPassed);
    EXPECT_TRUE(edited.AddInfo.contains("Integerity checking: FAILED!\n"));
}

// A download cut short loses its add-info record at the end: the check cannot pass, the
// length is what the file holds, and the dialog says the file is shorter than it claims.
TEST_F(SoundInfoFile, AFileCutShortIsAnalysedAndSaysSo) {
    REQUIRE_BUILT_LIBRARY();
    const std::vector<std::uint8_t> data = PcmBytes(DtmfCall(8000, "4711"), 1, 16);
    const std::string path = WriteWave(Dir, "cut.wav", data, {});
    std::filesystem::resize_file(path, 44 + 16000);

    const TSoundInfoTexts texts = Analyse(path, Library);
    EXPECT_EQ(texts.AddInfoVersion, 0);
    EXPECT_FALSE(texts.IntegrityPassed);
    EXPECT_TRUE(texts.FileInfo.contains("Data size: 16000\n")) << texts.FileInfo.toStdString();
    EXPECT_TRUE(texts.AddInfo.endsWith(QString("The file is shorter than its header claims: "
                                               "16000 of %1 data bytes are there.\n")
                                           .arg(data.size())))
        << texts.AddInfo.toStdString();
}

// A download cut short inside its add-info record keeps the version its chunk states: the
// check word is compared as that version stores it, the fields that are there are shown, and
// the dialog says the record is cut short.
TEST_F(SoundInfoFile, AnAddInfoRecordCutShortKeepsItsVersionAndSaysSo) {
    const struct {
        const char* Name;
        int Held; // bytes of the 170-byte record left in the file
        bool Checked;
        bool HasTime;
    } cases[] = {
        {"cut to the size of version 3", 104, true, true},
        {"cut inside the mark record", 130, true, true},
        {"cut inside the source compression", 169, true, true},
        {"cut inside the serial number", 20, true, false},
        {"cut inside the check word", 2, false, false},
    };
    const std::vector<std::uint8_t> data = PcmBytes(DtmfCall(8000, "1"), 1, 16);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = WriteWave(Dir, "cut.wav", data, {});
        std::filesystem::resize_file(path, std::filesystem::file_size(path) - (170 - c.Held));
        const TSoundInfoTexts texts = Analyse(path, {});
        EXPECT_EQ(texts.AddInfoVersion, 5);
        EXPECT_EQ(texts.IntegrityChecked, c.Checked);
        EXPECT_EQ(texts.IntegrityPassed, c.Checked);
        EXPECT_EQ(texts.AddInfo.contains("checking: passed."), c.Checked)
            << texts.AddInfo.toStdString();
        EXPECT_FALSE(texts.AddInfo.contains("FAILED"));
        EXPECT_EQ(texts.AddInfo.contains("14:05:06"), c.HasTime) << texts.AddInfo.toStdString();
        EXPECT_FALSE(texts.AddInfo.contains("Source compress type"));
        EXPECT_TRUE(texts.AddInfo.endsWith(
            QString("The recording information is cut short: %1 of 170 bytes are there.\n")
                .arg(c.Held)))
            << texts.AddInfo.toStdString();
    }
}

TEST_F(SoundInfoFile, FileOfTheDownloadSinkPasses) {
    REQUIRE_BUILT_LIBRARY();
    // The sink of a real download marks the audio and stores the check word itself.
    TCrcWaveFile wave;
    wave.SetFileName(Dir.filePath("download.wav").toStdString());
    SetPcmFormat(&wave.GetFormat(), 1, 8000, 16);
    TWaveAddInfo info;
    info.SerialNumber = u"SER12345";
    info.ModelName = u"Q70";
    info.SourceCompression = 2;
    ASSERT_TRUE(wave.SetAddInfo(BuildWaveAddInfo(info)));
    TRecorderWaveFile sink(wave);
    sink.SetSerialNumber("SER12345");
    sink.SetSourceCompression(2);
    sink.SetRandomSource([](std::uint32_t n) { return n / 3; });
    const auto data = PcmBytes(DtmfCall(8000, "0815"), 1, 16);
    ASSERT_EQ(sink.Write(data.data(), static_cast<std::int32_t>(data.size())),
              static_cast<std::int32_t>(data.size()));
    ASSERT_TRUE(sink.Finish());
    ASSERT_EQ(sink.GetPartFileNames().size(), 1u);

    const TSoundInfoTexts texts = Analyse(sink.GetPartFileNames()[0], Library);
    EXPECT_EQ(texts.AddInfoVersion, 5);
    EXPECT_TRUE(texts.IntegrityPassed) << texts.AddInfo.toStdString();
    EXPECT_TRUE(texts.AddInfo.contains("Source compress type: uLaw\n"));
    EXPECT_EQ(texts.CallInfo, "Output call\nDTMF number: 0815\n");
}

TEST_F(SoundInfoFile, CallerIdMessageIsShownByParameter) {
    REQUIRE_BUILT_LIBRARY();
    const std::vector<std::uint8_t> parameters = {2, 4, '4', '7', '1', '1', 7, 3, 'B', 'o', 'b'};
    const std::string path =
        WriteWave(Dir, "fsk.wav", PcmBytes(FskCall(8000, parameters), 1, 16), {});
    EXPECT_EQ(Analyse(path, Library).CallInfo,
              "Input call\nCaller ID\nName parameter: Call identifier: 4\n4711\n"
              "Name parameter: Call name: 3\nBob\n");
}

TEST_F(SoundInfoFile, CheckWordByVersionAndOtherRecords) {
    struct TCase {
        const char* Name;
        int Version;
        std::uint16_t Compression;
        QString Contains;
    };
    // The date in the short format of the locale in force.
    const QString recorded = QLocale().toString(QDate(2024, 3, 9), QLocale::ShortFormat);
    const TCase cases[] = {
        {"version 3 compares the word as stored", 3, 0,
         "checking: passed.\n    " + recorded + " 14:05:06\n\n"},
        {"version 1 has no time", 1, 0, "checking: passed.\n\n"},
        {"version 5 with an unknown compression", 5, 4, "Source compress type: Unknown\n"},
        {"no private chunk", 0, 0, "File was created (or modified)\n"},
    };
    const auto data = PcmBytes(DtmfCall(8000, ""), 1, 16);
    for (const TCase& c : cases) {
        const std::string path =
            WriteWave(Dir,
                      std::string("v") + std::to_string(c.Version) + "_" +
                          std::to_string(c.Compression) + ".wav",
                      data, {.AddInfoVersion = c.Version, .SourceCompression = c.Compression});
        const TSoundInfoTexts texts =
            Analyse(path, {"/nonexistent/" + std::string("libnorvel.so")});
        EXPECT_TRUE(texts.AddInfo.contains(c.Contains))
            << c.Name << ": " << texts.AddInfo.toStdString();
        EXPECT_EQ(texts.IntegrityChecked, c.Version != 0) << c.Name;
        EXPECT_EQ(texts.CallInfo, "No call information was found") << c.Name;
    }

    // A version 3 record carrying the transformed word of the newer versions fails.
    TWaveFile wave;
    const std::string path = WriteWave(Dir, "v3.wav", data, {.AddInfoVersion = 3});
    wave.SetFileName(path);
    ASSERT_TRUE(wave.Open());
    std::vector<std::uint8_t> record = wave.GetAddInfo();
    wave.Close();
    TCrc32 crc;
    crc.Update(data.data(), data.size());
    const std::uint32_t transformed = EncodeWaveCheckWord(5, crc.GetValue());
    for (int i = 0; i < 4; ++i) {
        record[i] = static_cast<std::uint8_t>(transformed >> (8 * i));
    }
    TCrcWaveFile rewrite;
    rewrite.SetFileName(path);
    ASSERT_TRUE(rewrite.Create());
    rewrite.Write(data.data(), static_cast<std::int32_t>(data.size()));
    rewrite.SetAddInfo(record);
    ASSERT_TRUE(rewrite.Close());
    EXPECT_FALSE(Analyse(path, {}).IntegrityPassed);
}

TEST_F(SoundInfoFile, OtherFormatsAreConvertedForTheDecoder) {
    REQUIRE_BUILT_LIBRARY();
    struct TCase {
        int Channels, Rate, Bits;
    };
    for (const TCase c : {TCase{2, 8000, 16}, TCase{1, 8000, 8}, TCase{2, 11025, 8},
                          TCase{1, 44100, 16}, TCase{2, 48000, 16}}) {
        const std::string name = std::to_string(c.Channels) + "_" + std::to_string(c.Rate) + "_" +
                                 std::to_string(c.Bits) + ".wav";
        const std::string path =
            WriteWave(Dir, name, PcmBytes(DtmfCall(c.Rate, "905"), c.Channels, c.Bits),
                      {.Channels = c.Channels, .Rate = c.Rate, .Bits = c.Bits});
        const TSoundInfoTexts texts = Analyse(path, Library);
        EXPECT_EQ(texts.CallInfo, "Output call\nDTMF number: 905\n") << name;
        EXPECT_TRUE(texts.IntegrityPassed) << name;
    }
}

TEST_F(SoundInfoFile, ShortLastBlockFeedsOnlyWhatWasRead) {
    REQUIRE_BUILT_LIBRARY();
    // One full 16384-byte block with a digit near its end, then 300 bytes of silence: a feed
    // of the whole buffer for the last block would hand the decoder the digit a second time.
    TSamples frames;
    AppendSilence(frames, 8000, 800);
    AppendDtmf(frames, 8000, '6', 100);
    frames.resize(8192 + 150);
    const std::string path = WriteWave(Dir, "short.wav", PcmBytes(frames, 1, 16), {});
    EXPECT_EQ(Analyse(path, Library).CallInfo, "Output call\nDTMF number: 6\n");
}

TEST_F(SoundInfoFile, MissingLibraryIsReportedAndTheCheckStillRuns) {
    const std::string path = WriteWave(Dir, "call.wav", PcmBytes(DtmfCall(8000, "12"), 1, 16), {});
    // A file that is no caller-ID library counts as missing, like an absent one.
    for (const std::vector<std::string>& candidates :
         {std::vector<std::string>{},
          std::vector<std::string>{Dir.filePath("none.so").toStdString()},
          std::vector<std::string>{"libm.so.6"}}) {
        const TSoundInfoTexts texts = Analyse(path, candidates);
        EXPECT_EQ(texts.CallInfo, "No call information was found");
        EXPECT_TRUE(texts.AnalysisNote.startsWith("The caller-ID library is not available"));
        EXPECT_TRUE(texts.IntegrityPassed);
    }
}

// Any sample rate a header states, up to 0xFFFFFFFF, is shown as it stands and the file is
// analysed; none of them stops the program.
TEST_F(SoundInfoFile, AnyStatedRateIsShownWithoutACrash) {
    REQUIRE_BUILT_LIBRARY();
    const std::vector<std::uint8_t> data = PcmBytes(DtmfCall(8000, "12"), 1, 16);
    TfrmSoundInfo form;
    form.SetLibraryCandidates(Library);
    for (const std::uint32_t rate : {0xFFFF63C1u, 0xFFFFFFFFu, 0x80000000u, 3999u, 1u}) {
        const std::string path = WriteWave(Dir, "rate.wav", data, {});
        FILE* file = std::fopen(path.c_str(), "r+b");
        ASSERT_NE(file, nullptr);
        std::fseek(file, 24, SEEK_SET); // the rate field of the 16-byte "fmt " chunk
        for (int i = 0; i < 4; ++i) {
            std::fputc(static_cast<int>((rate >> (8 * i)) & 0xFF), file);
        }
        std::fclose(file);

        TWaveFile wave;
        wave.SetFileName(path);
        ASSERT_TRUE(wave.Open()) << rate;
        ASSERT_EQ(wave.GetFormat().SamplesPerSec, rate);
        form.PrepareSoundInfo(wave);
        EXPECT_TRUE(form.lbSoundInfo->text().contains(QString("Sample rate: %1\n").arg(rate)))
            << form.lbSoundInfo->text().toStdString();
        EXPECT_TRUE(form.GetTexts().IntegrityPassed) << rate;
        form.btnSoundAnalyse->click();
        EXPECT_FALSE(form.lbCallInfo->text().isEmpty()) << rate;
    }
}

TEST_F(SoundInfoFile, DialogShowsTheCallInformationOnRequest) {
    REQUIRE_BUILT_LIBRARY();
    const std::string path = WriteWave(Dir, "call.wav", PcmBytes(DtmfCall(8000, "31"), 1, 16), {});
    TfrmSoundInfo form;
    form.SetLibraryCandidates(Library);
    for (int round = 0; round < 2; ++round) { // each showing starts with the button again
        TWaveFile wave;
        wave.SetFileName(path);
        ASSERT_TRUE(wave.Open());
        form.PrepareSoundInfo(wave);
        EXPECT_FALSE(wave.IsOpen());
        EXPECT_TRUE(form.lbSoundInfo->text().startsWith("File info:\n    Data size: "));
        EXPECT_TRUE(form.lbSoundInfo->text().contains("passed."));
        EXPECT_EQ(form.btnSoundAnalyse->text(), "Analyse call info");
        EXPECT_FALSE(form.btnSoundAnalyse->isHidden());
        EXPECT_TRUE(form.lbCallInfo->isHidden());
        EXPECT_TRUE(form.btnOK->isDefault());

        form.btnSoundAnalyse->click();
        EXPECT_TRUE(form.btnSoundAnalyse->isHidden());
        EXPECT_FALSE(form.lbCallInfo->isHidden());
        EXPECT_EQ(form.lbCallInfo->text(), "Output call\nDTMF number: 31\n");
    }
}
