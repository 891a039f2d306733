#include "link/SimImageRecorder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "link/ImageFile.h"
#include "link/RecXchange.h"

namespace {

constexpr std::size_t ProfileCount = 8;
constexpr std::size_t VasLevelOfs = 29;        // the recorder holds it negated
constexpr std::size_t CurrentProfileOfs = 308; // in the settings record
constexpr std::uint64_t MaxUnitsBytes = 256ull << 20;

std::vector<std::uint8_t> Settings() {
    const TImageHeader header = GetImageHeader();
    return {header.begin() + ImgSettingsOfs, header.begin() + ImgSettingsOfs + ImgSettingsSize};
}

bool StoreSettings(const std::vector<std::uint8_t>& settings) {
    SetImageHeaderSettings(settings.data());
    return WriteImageHeader();
}

} // namespace

SimImageRecorder::SimImageRecorder(const std::string& imagePath) : Path(imagePath) {
    if (!Select())
        throw std::runtime_error("image does not open: " + imagePath);
}

bool SimImageRecorder::Select() {
    if (GetImageFilePath() == Path && GetImageGeometry().DataStart != 0xFFFFFFFF)
        return true;
    SetImageFile(Path, false);
    return OpenImageFile();
}

TSimReply SimImageRecorder::Profile(const std::uint8_t* data, std::uint32_t size) {
    if (size != ProfRecordSize || data[1] < 1 || data[1] > ProfileCount)
        return TSimReply{4, {}};
    std::vector<std::uint8_t> settings = Settings();
    std::uint8_t* stored = &settings[ProfRecordSize * (data[1] - 1)];
    if (data[0] == RequestSet) {
        std::memcpy(stored, data, ProfRecordSize);
        stored[VasLevelOfs] = static_cast<std::uint8_t>(-data[VasLevelOfs]);
        if (!StoreSettings(settings))
            return TSimReply{4, {}};
        return TSimReply{0, {data, data + size}};
    }
    TSimReply reply{0, {stored, stored + ProfRecordSize}};
    reply.Data[0] = data[0];
    reply.Data[1] = data[1];
    reply.Data[VasLevelOfs] = static_cast<std::uint8_t>(-stored[VasLevelOfs]);
    return reply;
}

TSimReply SimImageRecorder::ActiveProfile(const std::uint8_t* data, std::uint32_t size) {
    if (size != TActiveProfRecord::Size)
        return TSimReply{4, {}};
    std::vector<std::uint8_t> settings = Settings();
    if (data[0] == RequestSet) {
        settings[CurrentProfileOfs] = data[1];
        if (!StoreSettings(settings))
            return TSimReply{4, {}};
    }
    return TSimReply{0, {data[0], settings[CurrentProfileOfs]}};
}

TSimReply SimImageRecorder::Answer(std::uint8_t command, const std::uint8_t* data,
                                   std::uint32_t size) {
    if (!Select())
        return TSimReply{4, {}};
    if (command == CmdProf)
        return Profile(data, size);
    if (command == CmdActiveProf)
        return ActiveProfile(data, size);
    const auto replySize = FramedReplySize(command);
    if (replySize < 0)
        return TSimReply{2, {}};
    // Commands whose answer the image does not fill echo the request.
    std::vector<std::uint8_t> reply(static_cast<std::size_t>(replySize), 0);
    std::copy_n(data, std::min<std::size_t>(size, reply.size()), reply.begin());
    try {
        ImageExchangeCmd(command, size > 0 ? data : nullptr, size,
                         reply.empty() ? nullptr : reply.data(),
                         static_cast<std::uint32_t>(replySize), 0);
    } catch (const TERecXchange&) {
        return TSimReply{4, {}};
    }
    return TSimReply{0, reply};
}

bool SimImageRecorder::ReadUnit(const TFlashReadParams& p, std::uint32_t index,
                                std::uint8_t* unit) {
    const std::uint64_t page = std::uint64_t{p.PageAddr} + std::uint64_t{index} * p.AddrInc;
    if (page > 0xFFFFFFFFu || p.UnitSize > 0xFFFF || p.Offset > 0xFFFF)
        return false;
    TFlashReadRequest request;
    request.HostBuffer = unit;
    request.PageAddr = static_cast<std::uint32_t>(page);
    request.Cycles = 1;
    request.Count = static_cast<std::uint16_t>(p.UnitSize);
    request.Offset = static_cast<std::uint16_t>(p.Offset);
    request.AddrInc = 1;
    try {
        ImageExchangeCmd(CmdFlashRead, &request, sizeof request, nullptr, 0, 0);
    } catch (const TERecXchange&) {
        return false;
    }
    return true;
}

bool SimImageRecorder::ReadUnits(const TFlashReadParams& p, std::vector<std::uint8_t>& units) {
    if (!Select())
        return false;
    const std::uint64_t total = std::uint64_t{p.Cycles} * p.UnitSize;
    if (total > MaxUnitsBytes || p.UnitSize > 0xFFFF || p.Offset > 0xFFFF || p.AddrInc > 0xFFFF)
        return false;
    units.assign(static_cast<std::size_t>(total), 0xFF);
    if (total == 0)
        return true;
    TFlashReadRequest request;
    request.HostBuffer = units.data();
    request.PageAddr = p.PageAddr;
    request.Cycles = p.Cycles;
    request.Count = static_cast<std::uint16_t>(p.UnitSize);
    request.Offset = static_cast<std::uint16_t>(p.Offset);
    request.AddrInc = static_cast<std::uint16_t>(p.AddrInc);
    try {
        ImageExchangeCmd(CmdFlashRead, &request, sizeof request, nullptr, 0, 0);
        return true;
    } catch (const TERecXchange&) {
    }
    // A padded unit may run past the end of the image: read what is there unit by unit,
    // the rest stays erased.
    for (std::uint32_t i = 0; i < p.Cycles; ++i) {
        std::uint8_t* unit = units.data() + std::uint64_t{i} * p.UnitSize;
        if (!ReadUnit(p, i, unit))
            std::fill_n(unit, p.UnitSize, 0xFF);
    }
    return true;
}

bool SimImageRecorder::WritePages(std::uint32_t pageAddr, std::uint32_t cycles,
                                  const std::vector<std::uint8_t>& data) {
    if (!Select())
        return false;
    TFlashWriteRequest request;
    request.Data = data.data();
    request.PageAddr = pageAddr;
    request.Cycles = cycles;
    request.TotalCount = static_cast<std::uint32_t>(data.size());
    try {
        ImageExchangeCmd(CmdFlashWrite, &request, sizeof request, nullptr, 0, 0);
    } catch (const TERecXchange&) {
        return false;
    }
    return true;
}
