#pragma once

#include <cstdint>

// Little-endian field access for the byte layouts of records, headers and chunks.
inline std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t GetU64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(GetU32(p)) |
           (static_cast<std::uint64_t>(GetU32(p + 4)) << 32);
}
inline std::int16_t GetI16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(GetU16(p));
}
inline std::int32_t GetI32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(GetU32(p));
}

inline void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void PutU64(std::uint8_t* p, std::uint64_t v) {
    PutU32(p, static_cast<std::uint32_t>(v));
    PutU32(p + 4, static_cast<std::uint32_t>(v >> 32));
}
inline void PutI16(std::uint8_t* p, std::int16_t v) {
    PutU16(p, static_cast<std::uint16_t>(v));
}
inline void PutI32(std::uint8_t* p, std::int32_t v) {
    PutU32(p, static_cast<std::uint32_t>(v));
}
