#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "FixtureFlash.h"
#include "engine/RecClasses.h"

// A recorder behind the adapter exchange, simulated in memory: it answers the numbered
// commands from its own state and flash and keeps a log of what it was sent.
namespace fixture {

struct TSentCommand {
    std::uint8_t Command = 0;
    Bytes Out; // the outgoing record (FLASH_READ/WRITE: empty, see Reads)
};

struct TFlashReadLog {
    std::uint32_t PageAddr, Cycles, Count, Offset, AddrInc;
};

class TFakeDevice {
public:
    explicit TFakeDevice(TFlashShape shape = {});
    ~TFakeDevice();

    // The transport pair that reaches this device (one device at a time).
    TTransport Transport();

    TFlashImage Flash;
    std::array<std::uint8_t, 11> FlashParams{}; // the command 12 reply
    std::uint16_t FirmwareVersion = 0x0A05;
    std::uint32_t SerialNumber = 4711;
    std::uint16_t Millivolts = 3900;
    std::uint32_t Clock = 86400;
    std::uint8_t ActiveProfile = 2;
    std::array<Bytes, 8> Profiles; // as the device holds them (VAS level as on the wire)
    std::array<std::uint8_t, 20> Password{};
    bool Reachable = true;

    // Fails the n-th (from 1) next use of a command with the error code.
    void FailCommand(std::uint8_t command, int nth, int errorCode);
    // Runs before every command (after the failure check); may block or throw.
    std::function<void(std::uint8_t command)> BeforeCommand;

    std::vector<TSentCommand> Sent;
    std::vector<TFlashReadLog> Reads;
    int CountOf(std::uint8_t command) const;
    void ClearLog();

    void Exchange(std::uint8_t command, const void* out, std::uint32_t outSize, void* in,
                  std::uint32_t inSize);

private:
    struct TFailure {
        std::uint8_t Command;
        int Remaining;
        int Code;
    };
    std::vector<TFailure> Failures;
};

// Sets the device's flash parameters reply.
void SetFlashParams(TFakeDevice& device, std::uint8_t flashCount, std::uint16_t pagesPerBlock,
                    std::uint16_t blocksPerFlash, std::uint16_t pageSize,
                    std::uint16_t firstRecBlock, std::uint16_t divisor);

// A UI that records what the engine asks of it.
class TFakeUi : public TRecorderUi {
public:
    void AttachRecorder(TRecorder* recorder) override { Attached = recorder; }
    void DetachRecorder(TRecorder* recorder) override {
        if (Attached == recorder)
            Attached = nullptr;
        ++Detaches;
    }
    void RestoreSettings() override { ++Restores; }
    void SetHiddenTabVisible(bool visible) override { HiddenTab = visible; }
    std::optional<TUploadFormatChoice> ChooseUploadFormat() override { return UploadChoice; }
    void ShowMessage(const std::string& text) override { Messages.push_back(text); }

    TRecorder* Attached = nullptr;
    int Detaches = 0;
    int Restores = 0;
    std::optional<bool> HiddenTab;
    std::optional<TUploadFormatChoice> UploadChoice;
    std::vector<std::string> Messages;
};

} // namespace fixture
