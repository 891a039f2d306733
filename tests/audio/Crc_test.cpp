#include <gtest/gtest.h>
#include <random>
#include <string>
#include <zlib.h>

#include "WaveTestSupport.h"
#include "audio/Crc.h"

namespace {

std::uint32_t CrcOf(const std::string& text) {
    TCrc32 crc;
    crc.Reset();
    return crc.Update(text.data(), text.size());
}

TEST(Crc32, KnownRegisters) {
    EXPECT_EQ(CrcOf(""), 0x3268A97Eu);
    EXPECT_EQ(CrcOf("abc"), 0xA8A63372u);
    EXPECT_EQ(CrcOf("123456789"), 0x51756D4Cu);
    // The check word a download stores for "abc".
    EXPECT_EQ(~(CrcOf("abc") ^ 0x55555555u), 0x020C99D8u);
}

TEST(Crc32, TableMatchesZlib) {
    const z_crc_t* zlibTable = get_crc_table();
    for (int n = 0; n < 256; ++n)
        EXPECT_EQ(Crc32TableEntry(static_cast<std::uint8_t>(n)), zlibTable[n]) << n;
}

TEST(Crc32, AgreesWithZlibOverRandomDataInRandomPieces) {
    std::mt19937 random(20240611);
    for (std::size_t size : {0u, 1u, 7u, 8u, 9u, 63u, 64u, 1000u, 4097u, 65536u}) {
        std::vector<std::uint8_t> data(size);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(random());
        TCrc32 crc;
        crc.Reset();
        // Pieces of every alignment must chain like one pass.
        std::size_t at = 0;
        while (at < size) {
            const std::size_t piece = std::min<std::size_t>(size - at, 1 + random() % 37);
            crc.Update(data.data() + at, piece);
            at += piece;
        }
        EXPECT_EQ(crc.GetValue(), wavetest::ZlibRegister(data.data(), size)) << size;
    }
}

TEST(Crc32, ResetStartsOver) {
    TCrc32 crc;
    crc.Update("xyz", 3);
    crc.Reset();
    EXPECT_EQ(crc.GetValue(), TCrc32::InitialValue);
    EXPECT_EQ(crc.Update("abc", 3), 0xA8A63372u);
}

} // namespace
