// The download benchmark, as the main job is measured:
//
//   quorvex_bench download IMAGE OUTDIR   every recording of the image, whole, through the WAV
//                                         sink (watermark, mark record, add-info, check word)
//                                         into OUTDIR/<number>.wav; the image is not changed
//   quorvex_bench scan IMAGE              counts of recordings, voice parts and drive files
//   quorvex_bench make-image IMAGE [MB]   a recorder image of about MB megabytes (default 256)
//                                         full of recordings in every codec, made as the
//                                         recorder lays them out, with synthetic sound
//
// Exit status 0 only when everything succeeded.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "audio/Codecsfunc.h"
#include "bench/BenchImage.h"
#include "engine/RecClassesBlocks.h"
#include "engine/RecClassesLists.h"
#include "engine/RecDownload.h"
#include "engine/Recinterface.h"
#include "link/ImageFile.h"
#include "link/RecXchange.h"
#include "platform/ByteOrder.h"
#include "platform/PosixFile.h"

namespace {

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point start) {
    return std::chrono::duration<double>(TClock::now() - start).count();
}

const char* KindText(TOperationOutcome::TKind kind) {
    switch (kind) {
    case TOperationOutcome::TKind::None:
        return "no outcome";
    case TOperationOutcome::TKind::Succeeded:
        return "succeeded";
    case TOperationOutcome::TKind::Cancelled:
        return "cancelled";
    case TOperationOutcome::TKind::ExchangeFailed:
        return "exchange failed";
    case TOperationOutcome::TKind::Failed:
        return "failed";
    case TOperationOutcome::TKind::Damaged:
        return "damaged";
    }
    return "?";
}

// Why a download did not succeed, as the download itself tells it: the PC side's file and
// error, or the recorder's outcome.
std::string DownloadReasonText(const TDownloadResult& result) {
    const auto file = [&](const char* what) {
        return std::string(what) + " " + result.FailedFile + ": " + std::strerror(result.Errno);
    };
    const auto outcome = [&](const char* what) {
        return std::string(what) + ": " + KindText(result.Outcome.Kind) + ": " +
               result.Outcome.Message + " (command " + std::to_string(result.Outcome.Command) +
               ", code " + std::to_string(result.Outcome.ErrorCode) + ")";
    };
    switch (result.Reason) {
    case TDownloadReason::Succeeded:
        return "succeeded";
    case TDownloadReason::Cancelled:
        return "cancelled";
    case TDownloadReason::RecorderFailed:
        return outcome("the recorder's read failed");
    case TDownloadReason::CantCreate:
        return file("cannot create");
    case TDownloadReason::CantWrite:
        return file("cannot write");
    case TDownloadReason::Declined:
        return "the existing files were kept";
    case TDownloadReason::MarkFailed:
        return outcome("marking failed");
    case TDownloadReason::Damaged:
        return outcome("damaged");
    }
    return "?";
}

// --- Opening and scanning an image ---------------------------------------------------------

struct TRecorderDeleter {
    void operator()(TCustomRecorder* recorder) const { DestroyRecorder(recorder); }
};
using TRecorderPtr = std::unique_ptr<TCustomRecorder, TRecorderDeleter>;

void WaitUntilIdle(TCustomRecorder& recorder) {
    while (recorder.GetState() != StateIdle)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The image opened as the image connection kind and scanned; null (with a message) when not.
TRecorderPtr OpenAndScan(const std::string& image, double& scanSeconds) {
    TRecorderPtr recorder(CreateRecorder(ConnImageFile));
    if (!recorder) {
        std::fprintf(stderr, "cannot create the recorder object\n");
        return nullptr;
    }
    recorder->SetImageFileName(image);
    if (!recorder->IsConnected()) {
        std::fprintf(stderr, "%s: not a recorder image that opens\n", image.c_str());
        return nullptr;
    }
    const TClock::time_point start = TClock::now();
    try {
        recorder->Refresh();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "scan of %s could not start: %s\n", image.c_str(), error.what());
        return nullptr;
    } catch (const TERecXchange& error) {
        std::fprintf(stderr, "scan of %s could not start: %s (command %d, code %d)\n",
                     image.c_str(), error.MessageUtf8().c_str(), error.Command(),
                     error.ErrorCode());
        return nullptr;
    }
    WaitUntilIdle(*recorder);
    scanSeconds = SecondsSince(start);
    const TOperationOutcome outcome = recorder->GetOutcome();
    if (outcome.Kind != TOperationOutcome::TKind::Succeeded) {
        std::fprintf(stderr, "scan of %s %s: %s\n", image.c_str(), KindText(outcome.Kind),
                     outcome.Message.c_str());
        return nullptr;
    }
    return recorder;
}

int RunScan(const std::string& image) {
    double seconds = 0;
    TRecorderPtr recorder = OpenAndScan(image, seconds);
    if (!recorder)
        return 1;
    const TSoundFileList& sounds = *recorder->GetSoundFileList();
    int parts = 0;
    for (int i = 0; i < sounds.Count(); ++i)
        parts += sounds.Get(i)->VoiceParts != nullptr ? sounds.Get(i)->VoiceParts->Count() : 0;
    std::printf("%d recordings, %d voice parts, %d drive files, scanned in %.3f s\n",
                sounds.Count(), parts, recorder->GetDriveFileList()->Count(), seconds);
    return 0;
}

// --- Downloading every recording -------------------------------------------------------------

std::uint64_t FileSizes(const std::vector<std::string>& files) {
    std::uint64_t total = 0;
    for (const std::string& name : files) {
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(name, error);
        total += error ? 0 : size;
    }
    return total;
}

int RunDownload(const std::string& image, const std::string& outDir) {
    std::error_code error;
    std::filesystem::create_directories(outDir, error);
    if (!std::filesystem::is_directory(outDir)) {
        std::fprintf(stderr, "%s: no folder to write into\n", outDir.c_str());
        return 1;
    }
    double scanSeconds = 0;
    TRecorderPtr recorder = OpenAndScan(image, scanSeconds);
    if (!recorder)
        return 1;
    std::fprintf(stderr, "scanned %s in %.3f s\n", image.c_str(), scanSeconds);

    const TSoundFileList& sounds = *recorder->GetSoundFileList();
    int downloaded = 0;
    bool failed = false;
    std::uint64_t audioBytes = 0;
    std::uint64_t waveBytes = 0;
    const TClock::time_point start = TClock::now();
    for (int i = 0; i < sounds.Count(); ++i) {
        const TSoundFileInfo& info = *sounds.Get(i);
        TWaveDownloadOptions options;
        options.FileName = outDir + "/" + std::to_string(info.Number) + ".wav";
        options.MarkDownloaded = false; // the image stays as it was
        const TClock::time_point one = TClock::now();
        const TDownloadResult result =
            DownloadRecordToWave(*recorder, MakeRecordToDownload(info), options);
        const double seconds = SecondsSince(one);
        if (!result.Succeeded()) {
            failed = true;
            std::printf("recording %u: %s\n", info.Number, DownloadReasonText(result).c_str());
            continue;
        }
        const std::uint64_t fileBytes = FileSizes(result.Files);
        ++downloaded;
        audioBytes += result.DataBytes;
        waveBytes += fileBytes;
        std::printf("recording %u: %llu bytes of audio, %zu file(s) of %llu bytes in %.3f s\n",
                    info.Number, static_cast<unsigned long long>(result.DataBytes),
                    result.Files.size(), static_cast<unsigned long long>(fileBytes), seconds);
    }
    const double seconds = SecondsSince(start);
    std::fprintf(stderr, "WAV output %llu bytes: %.1f MB/s\n",
                 static_cast<unsigned long long>(waveBytes),
                 seconds > 0 ? waveBytes / seconds / 1e6 : 0.0);
    std::printf("downloaded %d recordings, %llu bytes of audio in %.3f s\n", downloaded,
                static_cast<unsigned long long>(audioBytes), seconds);
    return failed ? 1 : 0;
}

// --- A large image ---------------------------------------------------------------------------

constexpr std::uint16_t ImagePageSize = 2112;
constexpr std::uint16_t ImagePagesPerBlock = 64;
constexpr std::uint32_t ImageBlockSize = std::uint32_t{ImagePageSize} * ImagePagesPerBlock;
constexpr std::uint32_t BlocksPerRecording = 32;
constexpr std::uint32_t SampleRate = 8000;

struct TImageCodec {
    std::uint8_t Type;
    std::uint8_t Param;
};
constexpr TImageCodec ImageCodecs[] = {{0, 0}, {1, 2}, {2, 2}, {2, 1}};

// Speech-like sound: a few harmonics under a slowly moving pitch and a syllable envelope,
// with a little noise. Made once for about two minutes and then repeated.
class TSyntheticVoice {
public:
    TSyntheticVoice() : Samples(std::size_t{1} << 20) {
        double phase = 0;
        std::uint32_t noise = 1;
        for (std::size_t i = 0; i < Samples.size(); ++i) {
            const double t = static_cast<double>(i) / SampleRate;
            phase += 2 * M_PI * (140 + 40 * std::sin(2 * M_PI * 0.7 * t)) / SampleRate;
            const double envelope = 0.55 + 0.45 * std::sin(2 * M_PI * 3.1 * t);
            double v = 0;
            for (int h = 1; h <= 5; ++h)
                v += std::sin(h * phase) / h;
            noise = noise * 1103515245u + 12345u;
            const double hiss = static_cast<double>((noise >> 16) & 0x3FF) - 512;
            Samples[i] = static_cast<std::int16_t>(std::lround(7000 * envelope * v + hiss));
        }
    }
    std::int16_t Next() {
        const std::int16_t s = Samples[At];
        At = (At + 1) % Samples.size();
        return s;
    }

private:
    std::vector<std::int16_t> Samples;
    std::size_t At = 0;
};

double SecondsPerImageBlock(const TImageCodec& codec) {
    const double plain = ImageBlockSize - 64 - 2.0 * ImagePagesPerBlock;
    const double adpcm = ImageBlockSize - 64 - 4.0 * ImagePagesPerBlock + 2;
    const double pcm = codec.Type == 0   ? plain
                       : codec.Type == 1 ? plain * 2
                                         : adpcm * (codec.Param == 1 ? 8 : 4);
    return pcm / (SampleRate * 2.0);
}

// Fills one page's sound bytes [offset, PageSize - 2) in the codec from the voice.
void EncodeImagePage(std::uint8_t* page, std::uint32_t offset, const TImageCodec& codec,
                     TSyntheticVoice& voice, std::vector<std::int16_t>& samples) {
    const std::span<std::uint8_t> area(page + offset, ImagePageSize - PageInfoSize - offset);
    if (codec.Type == CompressNone) {
        for (std::size_t i = 0; i + 1 < area.size(); i += 2)
            PutI16(&area[i], voice.Next());
        return;
    }
    if (codec.Type == CompressULaw) {
        samples.resize(area.size());
        for (std::int16_t& s : samples)
            s = voice.Next();
        CompandEncodePage(samples, codec.Param, CompandSamplesPerBlock(SampleRate), area);
        return;
    }
    // ADPCM: the page starts with its first sample in plain form, then the codes.
    const bool twoBit = codec.Param == AdpcmParam2Bit;
    const std::span<std::uint8_t> codes = area.subspan(2);
    samples.resize(codes.size() * (twoBit ? 4 : 2));
    for (std::int16_t& s : samples)
        s = voice.Next();
    PutI16(area.data(), samples.front());
    TAdpcmState state;
    if (twoBit)
        Adpcm2EncodeRun(samples, state, codes);
    else
        ImaAdpcmEncode4Run(samples, state, codes);
}

int RunMakeImage(const std::string& path, std::uint64_t megabytes) {
    const std::uint64_t blocks = std::max<std::uint64_t>(2, (megabytes << 20) / ImageBlockSize);
    if (blocks > 0xFFFF) {
        std::fprintf(stderr, "at most %u MB\n", 0xFFFFu * ImageBlockSize >> 20);
        return 1;
    }
    TPosixFile file;
    if (!file.Open(path, TPosixFile::TMode::CreateTruncate)) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        return 1;
    }
    const TImageHeader header = MakeBenchImageHeader(ImagePageSize, ImagePagesPerBlock);
    std::vector<std::uint8_t> firstPage(ImagePageSize, 0xFF);
    std::copy(header.begin(), header.end(), firstPage.begin());
    bool ok = file.WriteExact(0, firstPage.data(), firstPage.size());

    // Block 0 is the recorder's own and carries the image's magic.
    std::vector<std::uint8_t> block(ImageBlockSize, 0xFF);
    std::copy(ImageMagic.begin(), ImageMagic.end(), block.begin());
    ok = ok && file.WriteExact(ImagePageSize, block.data(), block.size());

    TSyntheticVoice voice;
    std::vector<std::int16_t> samples;
    std::uint32_t recordings = 0;
    for (std::uint64_t b = 1; b < blocks && ok; ++b) {
        const std::uint32_t k = static_cast<std::uint32_t>((b - 1) % BlocksPerRecording);
        const auto number = static_cast<std::uint16_t>((b - 1) / BlocksPerRecording + 1);
        const TImageCodec& codec = ImageCodecs[(number - 1) % std::size(ImageCodecs)];
        const std::uint32_t start = 1700000000u + number * 100000u;
        std::fill(block.begin(), block.end(), 0xFF);
        PutBenchBlockHeader(block.data(), number,
                            start + static_cast<std::uint32_t>(k * SecondsPerImageBlock(codec)),
                            static_cast<std::uint16_t>(k + 1), codec.Type, codec.Param);
        for (std::uint32_t p = 0; p < ImagePagesPerBlock; ++p) {
            std::uint8_t* page = &block[std::size_t{p} * ImagePageSize];
            const std::uint32_t offset = p == 0 ? static_cast<std::uint32_t>(HeaderAreaSize) : 0;
            EncodeImagePage(page, offset, codec, voice, samples);
            PutU16(page + ImagePageSize - PageInfoSize, ContinuousPageInfo);
        }
        ok = file.WriteExact(ImagePageSize + b * std::uint64_t{ImageBlockSize}, block.data(),
                             block.size());
        recordings = number;
    }
    if (!ok || !file.Sync()) {
        std::fprintf(stderr, "writing %s failed\n", path.c_str());
        return 1;
    }
    std::printf("%s: %llu blocks of %u bytes, %u recordings\n", path.c_str(),
                static_cast<unsigned long long>(blocks), ImageBlockSize, recordings);
    return 0;
}

int Usage() {
    std::fprintf(stderr, "usage: quorvex_bench download IMAGE OUTDIR\n"
                         "       quorvex_bench scan IMAGE\n"
                         "       quorvex_bench make-image IMAGE [MEGABYTES]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "download")
        return RunDownload(args[1], args[2]);
    if (args.size() == 2 && args[0] == "scan")
        return RunScan(args[1]);
    if ((args.size() == 2 || args.size() == 3) && args[0] == "make-image") {
        const std::uint64_t megabytes =
            args.size() == 3 ? std::strtoull(args[2].c_str(), nullptr, 10) : 256;
        return RunMakeImage(args[1], megabytes);
    }
    return Usage();
}
