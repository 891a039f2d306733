#pragma once

#include <string>

#include "link/SimRecorderDevice.h"

// A simulated recorder whose memory is a recorder image file: every command is answered
// by the image exchange (link/ImageFile.h) over that file, and the profile commands, which
// an image does not take, from and into the settings record in the image's header. The
// image module is one per program, so one image recorder exists at a time; it points the
// module back at its image before each command, should someone else have moved it.
class SimImageRecorder final : public SimRecorderDevice {
public:
    // Selects the image; throws std::runtime_error when it does not open.
    explicit SimImageRecorder(const std::string& imagePath);

    TSimReply Answer(std::uint8_t command, const std::uint8_t* data, std::uint32_t size) override;
    bool ReadUnits(const TFlashReadParams& params, std::vector<std::uint8_t>& units) override;
    bool WritePages(std::uint32_t pageAddr, std::uint32_t cycles,
                    const std::vector<std::uint8_t>& data) override;

private:
    bool Select();
    TSimReply Profile(const std::uint8_t* data, std::uint32_t size);
    TSimReply ActiveProfile(const std::uint8_t* data, std::uint32_t size);
    bool ReadUnit(const TFlashReadParams& params, std::uint32_t index, std::uint8_t* unit);

    std::string Path;
};
