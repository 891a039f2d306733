// A recorder image file through the program's own entry: connect, scan, read every recording
// into a sink that stops after a few MB, read every flash-drive file.
#include <chrono>
#include <cstdint>
#include <thread>

#include "FuzzFiles.h"
#include "ImageRepair.h"
#include "audio/CustomFile.h"
#include "engine/RecClassesJournal.h"
#include "engine/RecClassesLists.h"
#include "engine/Recinterface.h"
#include "platform/PosixFile.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace {

// Takes PCM until the cap, then refuses, which ends the read as a cancel does.
class TCappedSink : public TCustomFile {
public:
    std::int32_t Read(void*, std::int32_t) override { return 0; }
    std::int32_t Write(const void*, std::int32_t count) override {
        if (count < 0 || Taken + static_cast<std::uint64_t>(count) > Cap)
            return 0;
        Taken += static_cast<std::uint64_t>(count);
        return count;
    }

private:
    static constexpr std::uint64_t Cap = 4u << 20;
    std::uint64_t Taken = 0;
};

// The worker always ends (the fuzzer's own time-out catches one that does not).
void WaitForIdle(TCustomRecorder& recorder) {
    while (recorder.GetState() != StateIdle)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

} // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned) {
    size = LLVMFuzzerMutate(data, size, maxSize);
    fuzz::RepairImageChecks(data, size);
    return size;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // No copy of a block is ever kept here; the scan's look for one stays out of the user's
    // data folder.
    static const bool privateDataFolder = (SetRecorderDataFolder(fuzz::ScratchPath(".data")), true);
    (void)privateDataFolder;
    const std::string image = fuzz::WriteInputFile(".ovk", data, size);
    TCustomRecorder* recorder = CreateRecorder(ConnImageFile);
    if (recorder == nullptr)
        return 0;
    try {
        recorder->SetImageFileName(image);
        if (recorder->IsConnected()) {
            recorder->Refresh();
            WaitForIdle(*recorder);
            TSoundFileList& recordings = *recorder->GetSoundFileList();
            for (int i = 0; i < recordings.Count(); ++i) {
                TCappedSink sink;
                recorder->OutputSink = &sink;
                const TSoundFileInfo& recording = *recordings.Get(i);
                recorder->ReadSoundFile(recording.Number, 0, recording.Duration);
                WaitForIdle(*recorder);
                recorder->OutputSink = nullptr;
            }
            TDriveFileList& files = *recorder->GetDriveFileList();
            for (int i = 0; i < files.Count(); ++i) {
                TPosixFile target;
                if (!target.Open(fuzz::ScratchPath(".bin"), TPosixFile::TMode::CreateTruncate))
                    break;
                recorder->ReadDriveFile(i, &target);
                WaitForIdle(*recorder);
            }
        }
    } catch (const std::exception&) {
        // A refused command is an answer; only a crash, a leak or a hang is a finding.
    }
    DestroyRecorder(recorder);
    return 0;
}
