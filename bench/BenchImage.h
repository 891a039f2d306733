#pragma once

#include <cstdint>

#include "link/ImageFile.h"

// What the benchmarks that make recorder images share, so that every image they make
// carries the same header and block headers.

// The header of an image of one flash with the geometry, recordings from block 1 on and the
// settings of a new image; its CRC is set.
TImageHeader MakeBenchImageHeader(std::uint16_t pageSize, std::uint16_t pagesPerBlock);

// The three copies of the block header of a recording at 8000 Hz that is not yet downloaded,
// in the 60 bytes from area on.
void PutBenchBlockHeader(std::uint8_t* area, std::uint16_t number, std::uint32_t time,
                         std::uint16_t index, std::uint8_t type, std::uint8_t param);
