#include "FixtureFlash.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace fixture {

Bytes THeaderSpec::ToBytes() const {
    Bytes h(20, 0xFF);
    Put16(&h[0], Drive ? (0x8000 | Number) : Number);
    Put32(&h[2], Time);
    if (Drive) {
        Put32(&h[6], DriveSize);
        Put16(&h[10], DriveIndex);
        h[12] = Cyclic;
        h[13] = Flags;
    } else {
        Put16(&h[6], Index);
        h[8] = Type;
        h[9] = Param;
        h[10] = Rate;
        h[11] = Status;
        h[12] = Cyclic;
        h[13] = Flags;
        h[14] = ChannelMode;
    }
    Put16(&h[18], BitwiseCrc16(h.data(), 18, 0xAB));
    return h;
}

TFlashImage::TFlashImage(TFlashShape shape)
    : Geometry(shape),
      Flash(std::size_t{shape.Blocks} * shape.PagesPerBlock * shape.PageSize, 0xFF) {}

std::uint8_t* TFlashImage::PageAt(std::uint32_t pageAddress) {
    const std::size_t at = std::size_t{pageAddress} * Geometry.PageSize;
    if (at + Geometry.PageSize > Flash.size())
        throw std::out_of_range("fixture page");
    return &Flash[at];
}

std::uint8_t* TFlashImage::Page(std::uint32_t block, std::uint32_t page) {
    return PageAt(block * Geometry.PagesPerBlock + page);
}

void TFlashImage::PutHeader(std::uint32_t block, const THeaderSpec& header) {
    const Bytes h = header.ToBytes();
    for (int copy = 0; copy < 3; ++copy)
        PutHeaderCopy(block, copy, h);
}

void TFlashImage::PutHeaderCopy(std::uint32_t block, int copy, const Bytes& bytes) {
    std::memcpy(Page(block, 0) + 20 * copy, bytes.data(), 20);
}

void TFlashImage::PutFirstBlockData(std::uint32_t block, const Bytes& data26) {
    std::memcpy(Page(block, 0) + 64, data26.data(), 26);
}

void TFlashImage::PutPageInfo(std::uint32_t block, std::uint32_t page, std::uint16_t word) {
    Put16(Page(block, page) + Geometry.PageSize - 2, word);
}

void TFlashImage::PutPageInfoRange(std::uint32_t block, std::uint32_t from, std::uint32_t to,
                                   std::uint16_t word) {
    for (std::uint32_t p = from; p < to; ++p)
        PutPageInfo(block, p, word);
}

void TFlashImage::PutBreakRecord(std::uint32_t block, std::uint32_t page, std::uint32_t time) {
    for (int copy = 0; copy < 3; ++copy)
        Put32(Page(block, page) + 4 * copy, time);
}

void TFlashImage::PutDriveName(std::uint32_t block, const std::u16string& name, bool terminate) {
    std::uint8_t* at = Page(block, 0) + 64;
    for (std::size_t i = 0; i < name.size(); ++i)
        Put16(at + 2 * i, name[i]);
    if (terminate)
        Put16(at + 2 * name.size(), 0);
}

void TFlashImage::FillSound(std::uint32_t block, std::uint32_t page, std::uint32_t from,
                            std::uint8_t value) {
    std::memset(Page(block, page) + from, value, Geometry.PageSize - 2 - from);
}

std::vector<std::uint32_t>
TFlashImage::PutContinuousRecording(std::uint16_t number, std::uint32_t startTime,
                                    const std::vector<std::uint32_t>& blocks,
                                    double secondsPerBlock, THeaderSpec base) {
    std::vector<std::uint32_t> times;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        THeaderSpec h = base;
        h.Number = number;
        h.Index = static_cast<std::uint16_t>(i + 1);
        h.Time = static_cast<std::uint32_t>(std::floor(startTime + i * secondsPerBlock));
        h.Flags = i == 0 ? base.Flags : 0;
        PutHeader(blocks[i], h);
        PutPageInfoRange(blocks[i], 0, Geometry.PagesPerBlock, 0x5555);
        times.push_back(h.Time);
    }
    return times;
}

std::uint16_t ImageHeaderLayoutCrc(const std::uint8_t* h) {
    const std::pair<int, int> covered[] = {{0, 290}, {298, 667}, {675, 699}};
    std::uint16_t crc = 0x11EE;
    for (auto [from, to] : covered)
        crc = BitwiseCrc16(h + from, static_cast<std::size_t>(to - from), crc);
    return crc;
}

void TFlashImage::WriteImageFile(const std::string& path, const Bytes* settings356) const {
    Bytes header(730, 0xFF);
    Put16(&header[298], Geometry.FirstRecBlock);
    Put16(&header[300], Geometry.PageSize);
    Put16(&header[302], Geometry.PagesPerBlock);
    Put32(&header[304], 0);
    if (settings356 != nullptr) {
        std::memcpy(&header[308], settings356->data(), 356);
    } else {
        std::memset(&header[308], 1, 8 * 37);
    }
    Put16(&header[675], 10);
    Put16(&header[728], ImageHeaderLayoutCrc(header.data()));

    // The data start after the header: one page, or just the header for pages smaller.
    const std::size_t dataStart = std::max<std::size_t>(Geometry.PageSize, header.size());
    Bytes file(dataStart, 0);
    std::memcpy(file.data(), header.data(), header.size());
    file.insert(file.end(), Flash.begin(), Flash.end());
    const std::uint8_t magic[4] = {0xEE, 0x7F, 0xCD, 0xFE};
    std::memcpy(&file[dataStart], magic, 4);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    if (!out)
        throw std::runtime_error("cannot write fixture image " + path);
}

double LayoutSecondsPerBlock(const TFlashShape& s, std::uint8_t type, std::uint8_t param,
                             std::uint32_t rateHz, unsigned channels) {
    const double blockSize = double(s.PageSize) * s.PagesPerBlock;
    double pcm = 0;
    if (type == 0)
        pcm = blockSize - 64 - 2.0 * s.PagesPerBlock;
    else if (type == 1)
        pcm = (blockSize - 64 - 2.0 * s.PagesPerBlock) * 2;
    else if (type == 2)
        pcm = (blockSize - 64 - 4.0 * s.PagesPerBlock + 2) * (param == 1 ? 8 : 4);
    return pcm / (rateHz * 2.0 * channels);
}

} // namespace fixture
