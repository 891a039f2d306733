// Writes the seed corpus of every fuzz target, from the program's own writers and the tests'
// fixture builders, so that no binary seed lives in the repository.
// Usage: quorvex_fuzz_seeds <folder>; each target's seeds go to <folder>/<target>/.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FixtureFlash.h"
#include "FuzzFiles.h"
#include "ImageRepair.h"
#include "audio/WaveAddInfo.h"
#include "audio/Wavefunc.h"
#include "engine/RecClassesProfiles.h"
#include "engine/RecClassesSettings.h"
#include "engine/demo/DemoSignals.h"
#include "i18n/VexaLangConstants.h"
#include "i18n/VexaLangFile.h"
#include "i18n/VexaLangResources.h"
#include "link/SimSpiAdapter.h"
#include "platform/ByteOrder.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

fs::path Root;

void Put(const std::string& target, const std::string& name, const Bytes& bytes) {
    const fs::path folder = Root / target;
    fs::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void Put(const std::string& target, const std::string& name, const std::string& text) {
    Put(target, name, Bytes(text.begin(), text.end()));
}

Bytes FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void AppendU16(Bytes& to, std::uint16_t value) {
    to.push_back(static_cast<std::uint8_t>(value));
    to.push_back(static_cast<std::uint8_t>(value >> 8));
}

// --- WAV files --------------------------------------------------------------------------

Bytes WaveWith(std::uint16_t channels, std::uint32_t rate, const demo::TPcm& pcm,
               bool withAddInfo) {
    const std::string path = fuzz::ScratchPath(".wav");
    TWaveFile wave;
    wave.SetFileName(path);
    TWaveFormat format;
    SetPcmFormat(&format, channels, rate, 16);
    wave.SetFormat(format);
    if (withAddInfo) {
        TWaveAddInfo info;
        info.SerialNumber = u"SN123OCV345";
        info.ModelName = u"Q70";
        info.RecordTime = TSystemTime{2011, 3, 6, 5, 14, 7, 9, 0};
        wave.SetAddInfo(BuildWaveAddInfo(info));
    }
    if (!wave.Create() || wave.Write(pcm.data(), static_cast<std::int32_t>(pcm.size() * 2)) < 0 ||
        !wave.Close())
        throw std::runtime_error("cannot write a seed WAV file");
    return FileBytes(path);
}

void WaveSeeds() {
    Put("WaveFile", "mono-8000", WaveWith(1, 8000, demo::Tones(8000, {440}, 3000, 40), false));
    Put("WaveFile", "mono-addinfo",
        WaveWith(1, 8000, demo::DtmfDigits(8000, "12", -10, 40, 40), true));
    Put("WaveFile", "stereo-16000",
        WaveWith(2, 16000, demo::Tones(16000, {700, 2100}, 3000, 20), true));
    // A stated rate near 2^32, where reducing it for the caller-ID decoder once wrapped.
    Bytes huge = WaveWith(1, 8000, demo::DtmfDigits(8000, "3", -10, 40, 40), true);
    PutU32(huge.data() + 24, 0xFFFF63C1u); // the rate field of the 16-byte "fmt " chunk
    Put("WaveFile", "rate-near-2-32", huge);
}

// --- Recorder images ----------------------------------------------------------------------

Bytes Image(const fixture::TFlashImage& flash) {
    const std::string path = fuzz::ScratchPath(".ovk");
    flash.WriteImageFile(path);
    return FileBytes(path);
}

void ImageSeeds() {
    // Small pages and blocks keep every input quick to scan (the header fills one page).
    const fixture::TFlashShape shape{1056, 4, 10, 1};
    fixture::TFlashImage empty(shape);
    Put("ImageRecorder", "erased", Image(empty));

    fixture::TFlashImage full(shape);
    const double seconds = fixture::LayoutSecondsPerBlock(shape, 0, 0, 8000);
    full.PutContinuousRecording(1, 1000, {1, 2, 3}, seconds);
    for (std::uint32_t page = 0; page < shape.PagesPerBlock; ++page)
        full.FillSound(2, page, page == 0 ? 64 : 0, static_cast<std::uint8_t>(page * 17));
    fixture::THeaderSpec ulaw;
    ulaw.Number = 2;
    ulaw.Time = 5000;
    ulaw.Type = 1;
    ulaw.Param = 2;
    ulaw.Flags = 0x80;
    full.PutContinuousRecording(2, 5000, {4, 5}, fixture::LayoutSecondsPerBlock(shape, 1, 2, 8000),
                                ulaw);
    full.PutBreakRecord(5, 3, 5100);
    fixture::THeaderSpec drive;
    drive.Drive = true;
    drive.Number = 1;
    drive.DriveSize = 700;
    drive.Time = 7000;
    full.PutHeader(6, drive);
    full.PutDriveName(6, u"notes.txt");
    drive.DriveIndex = 2;
    full.PutHeader(7, drive);
    Bytes bytes = Image(full);
    fuzz::RepairImageChecks(bytes.data(), bytes.size());
    Put("ImageRecorder", "recordings-and-file", bytes);
}

// --- Text files -----------------------------------------------------------------------------

void LanguageSeeds() {
    // The program's own constants written as a language file's constants section.
    TVexaLang_Constants program;
    program.LoadFromResource(ProgramModule(), ConstantsResourceName);
    std::vector<std::string> lines = {"LANGID=1031", "NAME=Deutsch"};
    WriteConstantsSource(program, 0, lines);
    lines.insert(lines.end(), {"[TfrmQuorvMain]", "1=Datei", "2=Hilfe\\tF1"});
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    Put("LanguageFile", "constants-ansi", text);
    Put("LanguageFile", "constants-utf8", "\xEF\xBB\xBF" + text);
    Bytes utf16 = {0xFF, 0xFE};
    for (char c : text.substr(0, 400))
        AppendU16(utf16, static_cast<std::uint8_t>(c));
    Put("LanguageFile", "constants-utf16", utf16);

    Put("ConstantsStream", "program", program.WriteConstantsStream());
    TVexaLang_Constants small;
    small.Add("AStr", "a\r\nb");
    small.Add("BStr", "%s: %d");
    Put("ConstantsStream", "small", small.WriteConstantsStream());
}

void ProfileSeeds() {
    for (std::uint8_t model : {std::uint8_t{1}, std::uint8_t{3}}) {
        TRecSettings settings;
        for (std::size_t i = 0; i < settings.Profiles.size(); ++i) {
            TRecProfile& p = settings.Profiles[i];
            p.Number = static_cast<std::uint8_t>(i + 1);
            p.SampleRate = 3;
            p.Compress = static_cast<std::uint8_t>(i % 3);
            p.CompressParam = p.Compress == 2 ? 2 : p.Compress == 1 ? 1 : 0;
            p.TimerType = 0xFF;
            p.Name = {'P', static_cast<std::uint8_t>('1' + i)};
        }
        const std::string path = fuzz::ScratchPath(".rpr");
        if (SaveProfileFile(path, settings, model)) {
            Put("ProfileFile", "saved-model-" + std::to_string(model), FileBytes(path));
            Put("IniFile", "profile-model-" + std::to_string(model), FileBytes(path));
        }
    }
    // The files that ship beside the program.
    const std::string prefix =
        RecFilePrefixPath((fs::path(QUORVEX_SOURCE_DIR) / "engine" / "files").string());
    for (const std::string& file : {DefaultProfileFileName(prefix), QualityPresetFileName(prefix),
                                    VasPresetFileName(prefix), AmpPresetFileName(prefix)}) {
        Put("ProfileFile", fs::path(file).filename().string(), FileBytes(file));
        Put("IniFile", fs::path(file).filename().string(), FileBytes(file));
    }
    Put("IniFile", "quoted-and-duplicates",
        "; comment\r\n[Settings]\r\nFileNameMask = \"file_[rn].wav\"\r\nSplit=10\r\n"
        "split=20\r\n[settings]\r\nAutoDownload=1\r\n[Other Settings]\r\nRecent1=a.ovk\r\n");
}

// --- The adapter's replies ----------------------------------------------------------------

void SpiSeeds() {
    const Bytes fwVer = SimSpiAdapter::ReplyFrame(0, 9, {0x0A, 0x01, 0x01, 0x01}, 4);
    const Bytes flashParam =
        SimSpiAdapter::ReplyFrame(0, 12, {1, 8, 0, 10, 0, 0x10, 0x02, 1, 0, 1, 0}, 11);
    Put("SpiReply", "firmware", fwVer);
    Bytes both = fwVer;
    both.insert(both.end(), flashParam.begin(), flashParam.end());
    Put("SpiReply", "firmware-and-geometry", both);
    const TSimShape shifted{3, 5, 2};
    Put("SpiReply", "shifted",
        SimSpiAdapter::ShapeStream(shifted, fwVer.data(), fwVer.size(), fwVer.size() + 8));
}

// --- Audio for the caller-ID decoder and the encoder ------------------------------------------

// The decoder target's format: a rate choice, then blocks of 1024 samples, each announced by
// an op byte of 0x40 and a spare byte, then a status read (0xFE).
Bytes DecoderInput(std::uint8_t rateChoice, const demo::TPcm& pcm) {
    Bytes input = {rateChoice};
    for (std::size_t at = 0; at < pcm.size(); at += 1024) {
        input.push_back(0x40);
        input.push_back(0);
        for (std::size_t i = 0; i < 1024; ++i)
            AppendU16(input, static_cast<std::uint16_t>(at + i < pcm.size() ? pcm[at + i] : 0));
    }
    input.push_back(0xFE);
    return input;
}

void AudioSeeds() {
    Put("Norvel", "dtmf-8000", DecoderInput(0, demo::DtmfDigits(8000, "5551234", -10, 60, 60)));
    Put("Norvel", "fsk-8000",
        DecoderInput(0, demo::FskBurst(8000, demo::MdmfMessage("03061407", "5551234", "A"), -12)));
    Put("Norvel", "mf-16000", DecoderInput(1, demo::MfCallerNumber(16000, 1, "5551234", 2)));

    const demo::TPcm speech = demo::SpeechLike(8000, 100, demo::TVoice{});
    struct TCodec {
        const char* Name;
        std::uint8_t Type;
        std::uint8_t Param;
    };
    for (const TCodec& codec : {TCodec{"plain", 0, 0}, TCodec{"ulaw", 1, 2}, TCodec{"adpcm2", 2, 1},
                                TCodec{"adpcm4", 2, 2}}) {
        Bytes input;
        AppendU16(input, 16);  // pages per block
        AppendU16(input, 528); // page size
        input.insert(input.end(), {codec.Type, codec.Param, 3, 0});
        for (std::int16_t s : speech)
            AppendU16(input, static_cast<std::uint16_t>(s));
        Put("UploadEncoder", codec.Name, input);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <seed folder>\n", argv[0]);
        return 2;
    }
    Root = argv[1];
    try {
        WaveSeeds();
        ImageSeeds();
        LanguageSeeds();
        ProfileSeeds();
        SpiSeeds();
        AudioSeeds();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
