#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

// Makes a mutated recorder image pass its integrity checks again, so that the fuzzer reaches
// the scan and the reads behind them: the header CRC, the CRC of every stored copy of every
// block header, and the block table's CRC, each recomputed over the bytes as they now are.
void RepairImageChecks(std::uint8_t* data, std::size_t size);

} // namespace fuzz
