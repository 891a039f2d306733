#pragma once

#include <cstdint>
#include <vector>

#include "link/SpiWireParams.h"

// A reply the simulated recorder puts in its frame: status 0 done, 2 or 4 error.
struct TSimReply {
    std::uint8_t Status = 0;
    std::vector<std::uint8_t> Data;
};

// What answers the commands a simulated recorder receives: the recorder's memory and
// settings, behind the SPI wire simulation of SimSpiAdapter.
class SimRecorderDevice {
public:
    virtual ~SimRecorderDevice() = default;
    // A framed command other than the two bulk ones.
    virtual TSimReply Answer(std::uint8_t command, const std::uint8_t* data,
                             std::uint32_t size) = 0;
    // The units of a bulk read, one after the other (Cycles x UnitSize bytes); false when
    // the recorder cannot read them and sends nothing.
    virtual bool ReadUnits(const TFlashReadParams& params, std::vector<std::uint8_t>& units) = 0;
    // The pages of a completed bulk write.
    virtual bool WritePages(std::uint32_t pageAddr, std::uint32_t cycles,
                            const std::vector<std::uint8_t>& data) = 0;
};
