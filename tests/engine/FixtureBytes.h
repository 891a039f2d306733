#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tests/support/BitwiseCrc16.h"

// Byte helpers for building fixtures straight from the layouts, apart from the engine's code.
namespace fixture {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(std::uint8_t* p, unsigned v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline unsigned Get16(const std::uint8_t* p) {
    return p[0] | (p[1] << 8);
}

inline std::uint32_t Get32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}

using testsupport::BitwiseCrc16;

} // namespace fixture
