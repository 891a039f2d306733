#include "link/SpiWireParams.h"

#include "platform/ByteOrder.h"

std::array<std::uint8_t, TFlashReadParams::Size> TFlashReadParams::ToBytes() const {
    std::array<std::uint8_t, Size> b{};
    PutU32(&b[0], PageAddr);
    PutU32(&b[4], Cycles);
    PutU32(&b[8], UnitSize);
    PutU32(&b[12], Offset);
    PutU32(&b[16], AddrInc);
    PutU16(&b[20], ChunkSize);
    return b;
}

TFlashReadParams TFlashReadParams::FromBytes(const std::uint8_t* b) {
    TFlashReadParams p;
    p.PageAddr = GetU32(b);
    p.Cycles = GetU32(b + 4);
    p.UnitSize = GetU32(b + 8);
    p.Offset = GetU32(b + 12);
    p.AddrInc = GetU32(b + 16);
    p.ChunkSize = GetU16(b + 20);
    return p;
}

std::array<std::uint8_t, TFlashWriteParams::Size> TFlashWriteParams::ToBytes() const {
    std::array<std::uint8_t, Size> b{};
    PutU32(&b[0], PageAddr);
    PutU32(&b[4], Cycles);
    PutU32(&b[8], TotalCount);
    PutU16(&b[12], ChunkSize);
    return b;
}

TFlashWriteParams TFlashWriteParams::FromBytes(const std::uint8_t* b) {
    TFlashWriteParams p;
    p.PageAddr = GetU32(b);
    p.Cycles = GetU32(b + 4);
    p.TotalCount = GetU32(b + 8);
    p.ChunkSize = GetU16(b + 12);
    return p;
}
