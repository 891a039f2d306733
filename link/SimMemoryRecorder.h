#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "link/SimRecorderDevice.h"

// A simulated recorder over plain memory: flash pages in a vector (erased to 0xFF) and a
// table of answers by command code. A command without an answer gets status 4.
class SimMemoryRecorder final : public SimRecorderDevice {
public:
    SimMemoryRecorder(std::uint32_t pageSize, std::uint32_t pageCount);

    void SetAnswer(std::uint8_t command, TSimReply reply);
    std::uint32_t PageSize() const { return PageBytes; }
    std::uint32_t PageCount() const { return Pages; }
    // The flash as one array; page p starts at p x PageSize().
    std::vector<std::uint8_t>& Flash() { return Memory; }
    const std::vector<std::uint8_t>& Flash() const { return Memory; }

    TSimReply Answer(std::uint8_t command, const std::uint8_t* data, std::uint32_t size) override;
    bool ReadUnits(const TFlashReadParams& params, std::vector<std::uint8_t>& units) override;
    bool WritePages(std::uint32_t pageAddr, std::uint32_t cycles,
                    const std::vector<std::uint8_t>& data) override;

private:
    std::uint32_t PageBytes;
    std::uint32_t Pages;
    std::vector<std::uint8_t> Memory;
    std::map<std::uint8_t, TSimReply> Answers;
};
