#include <gtest/gtest.h>
#include <string>

#include "link/Crc16.h"
#include "tests/support/BitwiseCrc16.h"

namespace {

using testsupport::BitwiseCrc16;

TEST(Crc16, CatalogueCheckValues) {
    const std::string check = "123456789";
    EXPECT_EQ(Crc16Update(check.data(), 9, 0x0000), 0x31C3); // CRC-16/XMODEM
    EXPECT_EQ(Crc16Update(check.data(), 9, 0xFFFF), 0x29B1); // CRC-16/IBM-3740
}

TEST(Crc16, ZeroLengthReturnsStart) {
    for (std::uint16_t start : {0x0000, 0x00AB, 0x11EE, 0xA269, 0xFFFF})
        EXPECT_EQ(Crc16Update(nullptr, 0, start), start);
}

TEST(Crc16, ChainingAnySplitEqualsOneCall) {
    std::string data;
    for (int i = 0; i < 300; ++i)
        data.push_back(static_cast<char>(i * 37 + 11));
    for (std::uint16_t start : {0x0000, 0x11EE, 0xFFFF}) {
        const std::uint16_t whole = Crc16Update(data.data(), data.size(), start);
        EXPECT_EQ(whole, BitwiseCrc16(data.data(), data.size(), start));
        for (std::size_t cut = 0; cut <= data.size(); cut += 7) {
            const std::uint16_t first = Crc16Update(data.data(), cut, start);
            EXPECT_EQ(Crc16Update(data.data() + cut, data.size() - cut, first), whole) << cut;
        }
    }
}

} // namespace
