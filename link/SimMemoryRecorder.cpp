#include "link/SimMemoryRecorder.h"

#include <algorithm>

namespace {
// A bulk read larger than this is refused, like an unreadable one.
constexpr std::uint64_t MaxUnitsBytes = 256ull << 20;
} // namespace

SimMemoryRecorder::SimMemoryRecorder(std::uint32_t pageSize, std::uint32_t pageCount)
    : PageBytes(pageSize), Pages(pageCount),
      Memory(static_cast<std::size_t>(pageSize) * pageCount, 0xFF) {}

void SimMemoryRecorder::SetAnswer(std::uint8_t command, TSimReply reply) {
    Answers[command] = std::move(reply);
}

TSimReply SimMemoryRecorder::Answer(std::uint8_t command, const std::uint8_t*, std::uint32_t) {
    const auto it = Answers.find(command);
    if (it == Answers.end())
        return TSimReply{4, {}};
    return it->second;
}

bool SimMemoryRecorder::ReadUnits(const TFlashReadParams& p, std::vector<std::uint8_t>& units) {
    const std::uint64_t total = std::uint64_t{p.Cycles} * p.UnitSize;
    if (total > MaxUnitsBytes)
        return false;
    units.assign(static_cast<std::size_t>(total), 0xFF);
    for (std::uint32_t i = 0; i < p.Cycles; ++i) {
        // A unit runs on into the next page and reads 0xFF past the end of the flash.
        const std::uint64_t from =
            (std::uint64_t{p.PageAddr} + std::uint64_t{i} * p.AddrInc) * PageBytes + p.Offset;
        if (from >= Memory.size())
            continue;
        const std::uint64_t n = std::min<std::uint64_t>(p.UnitSize, Memory.size() - from);
        std::copy_n(Memory.begin() + static_cast<std::ptrdiff_t>(from), n,
                    units.begin() + static_cast<std::ptrdiff_t>(std::uint64_t{i} * p.UnitSize));
    }
    return true;
}

bool SimMemoryRecorder::WritePages(std::uint32_t pageAddr, std::uint32_t,
                                   const std::vector<std::uint8_t>& data) {
    const std::uint64_t from = std::uint64_t{pageAddr} * PageBytes;
    if (from > Memory.size() || data.size() > Memory.size() - from)
        return false;
    std::copy(data.begin(), data.end(), Memory.begin() + static_cast<std::ptrdiff_t>(from));
    return true;
}
